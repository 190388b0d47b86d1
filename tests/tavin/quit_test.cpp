// Quit through the reference host: registration as the host sees it, and every slot.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "tests/common/plugin_fixture.h"

namespace {

using testing_support::EventsIndex;
using testing_support::MessageId;

struct Ids {
  uint16_t tag;
  uint32_t id;
  uint32_t second;
  bool operator==(const Ids&) const = default;
};

Ids IdsAt(const void* bytes) {
  MessageIdValue value;
  std::memcpy(&value, bytes, sizeof value);
  return {value.tag, value.id, value.second};
}

class Quit : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    owner_ = host_->AddObject(0, "movie");
    quit_ = host_->Create("Quit", owner_);
    ASSERT_NE(quit_, nullptr);
  }

  uint8_t* Bytes(refhost::Instance* instance) const {
    return static_cast<uint8_t*>(instance->Record());
  }
  Ids First(refhost::Instance* instance) const { return IdsAt(Bytes(instance)); }
  Ids Second(refhost::Instance* instance) const { return IdsAt(Bytes(instance) + 10); }
  void SetIds(refhost::Instance* instance, MessageIdValue first, MessageIdValue second) {
    std::memcpy(Bytes(instance), &first, sizeof first);
    std::memcpy(Bytes(instance) + 10, &second, sizeof second);
  }

  uint32_t owner_ = 0;
  refhost::Instance* quit_ = nullptr;
};

TEST_F(Quit, RegistersAsTheHostExpects) {
  const refhost::ClassInfo* info = host_->FindClass("Quit");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->usable) << info->error;
  EXPECT_EQ(info->instanceSize, 20u);
  EXPECT_EQ(info->classFlags, 1u);
  EXPECT_EQ(info->interfaceName, "_QComponent");
  const std::vector<uint16_t> expected = {7, 8, 34, 9, 22, 26, 27, 29, 17, 19, 18, 13, 14, 25, 37};
  std::vector<uint16_t> columns;
  for (const refhost::SlotInfo& slot : info->slots) {
    EXPECT_EQ(slot.row, 0);
    columns.push_back(slot.column);
    const abi::MethodEntry* entry = info->Entry(slot.row, slot.column);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(+entry->flags, 1);
  }
  EXPECT_EQ(columns, expected);
  // The attribute is read-only: no SetAttribute slot.
  EXPECT_FALSE(info->HasSlot(0, abi::slot::kSetAttribute));
  const auto index = EventsIndex(0x80, 1);
  const auto value = MessageId(5);
  EXPECT_EQ(quit_->SetAttribute("events", &index, &value), refhost::kSlotNotRegistered);
}

TEST_F(Quit, FreshCopiedAndAssignedInstances) {
  EXPECT_EQ(First(quit_), (Ids{23, 1802, 0}));
  EXPECT_EQ(Second(quit_), (Ids{23, 1803, 0}));

  SetIds(quit_, MessageId(40, 4), MessageId(50, 5));
  refhost::Instance* copy = host_->CopyConstruct(*quit_, owner_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::memcmp(copy->Record(), quit_->Record(), 20), 0);

  refhost::Instance* other = host_->Create("Quit", owner_);
  EXPECT_EQ(other->Assign(*quit_), 0);
  EXPECT_EQ(First(other), (Ids{23, 40, 4}));
  EXPECT_EQ(Second(other), (Ids{23, 50, 5}));
  host_->Destroy(copy);
  host_->Destroy(other);
}

TEST_F(Quit, EventsReadsByEveryIndexForm) {
  SetIds(quit_, MessageId(111, 1), MessageId(222, 2));
  for (const char* name : {"events", "EVENTS", "Events", "eVeNtS"}) {
    SCOPED_TRACE(name);
    MessageIdValue out = MessageId(0);
    auto index = EventsIndex(0x80, 1);
    EXPECT_EQ(quit_->GetAttribute(name, &index, &out), 0);
    EXPECT_EQ(IdsAt(&out), (Ids{23, 111, 1}));
    index = EventsIndex(0x40, 1);
    EXPECT_EQ(quit_->GetAttribute(name, &index, &out), 0);
    EXPECT_EQ(IdsAt(&out), (Ids{23, 222, 2}));
  }

  // Every refusal leaves the output as it was.
  const MessageIdValue untouched = MessageId(9, 9);
  auto refused = [&](const char* name, const void* index) {
    MessageIdValue out = untouched;
    const uint16_t result = quit_->GetAttribute(name, index, &out);
    EXPECT_EQ(std::memcmp(&out, &untouched, sizeof out), 0) << name;
    return result;
  };
  for (auto index : {EventsIndex(0x80, 2), EventsIndex(0x40, 0), EventsIndex(0x20, 1),
                     EventsIndex(0x00, 1), EventsIndex(0xC0, 1), EventsIndex(0x80, 0x10001)}) {
    EXPECT_EQ(refused("events", &index), 1) << std::hex << +index.value;
  }
  const RealValue real = testing_support::Real(1.0);
  EXPECT_EQ(refused("events", &real), 1);
  const MessageIdValue wrongTag = MessageId(static_cast<uint32_t>(0x80000001));
  EXPECT_EQ(refused("events", &wrongTag), 1);
  EXPECT_EQ(refused("events", nullptr), 1);
  // A two-byte index (empty, unassigned) is refused without reading past it.
  for (uint16_t shortTag : {tag::kEmpty, tag::kUnassigned}) {
    const auto shortIndex = std::make_unique<uint16_t>(shortTag);
    EXPECT_EQ(refused("events", shortIndex.get()), 1);
  }
  const auto index = EventsIndex(0x80, 1);
  EXPECT_EQ(refused("event", &index), 1);
  EXPECT_EQ(refused("eventsx", &index), 1);
  EXPECT_EQ(refused("count", &index), 1);
}

TEST_F(Quit, HandleMessageMatchesTheIdPairOnly) {
  EXPECT_EQ(quit_->HandleMessage(owner_, 1802, 0), 0);
  EXPECT_EQ(quit_->HandleMessage(owner_, 1803, 0), 0);
  EXPECT_EQ(quit_->HandleMessage(owner_, 1803, 7), 1);  // the second word counts
  EXPECT_EQ(quit_->HandleMessage(owner_, 1804, 0), 1);
  EXPECT_EQ(quit_->HandleMessage(owner_, 0, 1802), 1);

  // A stored tag that is not 23 still matches: tags are not compared.
  MessageIdValue odd = MessageId(60, 6);
  odd.tag = 1;
  SetIds(quit_, odd, MessageId(70));
  EXPECT_EQ(quit_->HandleMessage(owner_, 60, 6), 0);
  abi::MessageRecord record{};
  record.object = 0xFFFFFFFF;  // whatever a tag at byte 10 would read
  record.id = 70;
  EXPECT_EQ(quit_->HandleMessage(&record), 0);
  record.second = 1;
  EXPECT_EQ(quit_->HandleMessage(&record), 1);
}

TEST_F(Quit, EditorRoundTrip) {
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(quit_->ToEditor(editor, 1), 1);
  EXPECT_EQ(editor.PutCount(), 0);
  EXPECT_FALSE(editor.HasItem(6));

  EXPECT_EQ(quit_->ToEditor(editor, 0), 0);
  EXPECT_EQ(editor.PutCount(), 2);
  ASSERT_NE(editor.Item(6), nullptr);
  ASSERT_NE(editor.Item(8), nullptr);
  EXPECT_EQ(editor.Item(6)->tag, tag::kMessageId);
  EXPECT_EQ(IdsAt(editor.Item(6)->raw.data()), (Ids{23, 1802, 0}));
  EXPECT_EQ(IdsAt(editor.Item(8)->raw.data()), (Ids{23, 1803, 0}));

  editor.SetItem(6, refhost::Value::MessageId(3001, 1));
  editor.SetItem(8, refhost::Value::MessageId(3002));
  EXPECT_EQ(quit_->FromEditor(editor), 0);
  EXPECT_EQ(First(quit_), (Ids{23, 3001, 1}));
  EXPECT_EQ(Second(quit_), (Ids{23, 3002, 0}));
  EXPECT_EQ(quit_->EditorItemChanged(editor, 6), 0);
  EXPECT_EQ(First(quit_), (Ids{23, 3001, 1}));
}

TEST_F(Quit, SaveAndLoad) {
  SetIds(quit_, MessageId(501, 5), MessageId(502));
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = 99;
  uint32_t size = 0;
  EXPECT_EQ(quit_->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(version, 0);
  EXPECT_EQ(quit_->Save(stream), 0);
  EXPECT_EQ(stream.Bytes().size(), size);
  EXPECT_GT(size, 0u);

  refhost::Instance* loaded = host_->Create("Quit", owner_);
  stream.Rewind();
  EXPECT_EQ(loaded->Load(stream, 1), 1);
  EXPECT_EQ(stream.ReadPosition(), 0u);
  EXPECT_EQ(First(loaded), (Ids{23, 1802, 0}));
  EXPECT_EQ(Second(loaded), (Ids{23, 1803, 0}));

  EXPECT_EQ(loaded->Load(stream, 0), 0);
  EXPECT_EQ(First(loaded), (Ids{23, 501, 5}));
  EXPECT_EQ(Second(loaded), (Ids{23, 502, 0}));
  EXPECT_EQ(stream.ReadPosition(), stream.Bytes().size());
  host_->Destroy(loaded);
}

TEST_F(Quit, EnableAndDisableSteerDelivery) {
  SetIds(quit_, MessageId(900), MessageId(901, 2));
  EXPECT_EQ(host_->SendMessage(owner_, 900).delivered, 0);

  EXPECT_EQ(quit_->Enable(), 0);
  EXPECT_TRUE(host_->Listening(quit_, 900, 0));
  EXPECT_TRUE(host_->Listening(quit_, 901, 2));
  refhost::MessageOutcome outcome = host_->SendMessage(owner_, 901, 2);
  EXPECT_EQ(outcome.delivered, 1);
  EXPECT_EQ(outcome.handled, 1);
  EXPECT_EQ(host_->SendMessage(owner_, 901, 0).delivered, 0);

  EXPECT_EQ(quit_->Disable(), 0);
  EXPECT_FALSE(host_->Listening(quit_, 900, 0));
  EXPECT_FALSE(host_->Listening(quit_, 901, 2));
  EXPECT_EQ(host_->SendMessage(owner_, 900).delivered, 0);
}

TEST_F(Quit, VisitMessageIdsPassesBothIdsWithTheHostsValues) {
  SetIds(quit_, MessageId(31, 3), MessageId(32));
  EXPECT_EQ(quit_->VisitMessageIds(0xA1, 0xB2), 0);
  const std::vector<refhost::VisitEntry>& visits = host_->Visits();
  ASSERT_EQ(visits.size(), 2u);
  EXPECT_EQ(visits[0].a, 0xA1u);
  EXPECT_EQ(visits[0].b, 0xB2u);
  EXPECT_EQ(visits[0].id, 31u);
  EXPECT_EQ(visits[0].second, 3u);
  EXPECT_EQ(visits[0].tag, tag::kMessageId);
  EXPECT_EQ(visits[1].a, 0xA1u);
  EXPECT_EQ(visits[1].b, 0xB2u);
  EXPECT_EQ(visits[1].id, 32u);
  EXPECT_EQ(visits[1].second, 0u);
}

}  // namespace
