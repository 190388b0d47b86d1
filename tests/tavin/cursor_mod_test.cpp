// CursorMod through the reference host: registration, its two settings through every slot,
// and the cursor it asks for.
#include "tavin/cursor_mod.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/common/plugin_fixture.h"
#include "tests/common/trace_calls.h"

namespace {

using refhost::Value;
using testing_support::MessageId;
using testing_support::SlotTrace;
using Lines = std::vector<std::string>;

ChoiceValue Choice(uint32_t selection, uint32_t word = 0) {
  return ChoiceValue{tag::kChoice, selection, word};
}

class CursorMod : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    owner_ = host_->AddObject(0, "movie");
    cursor_ = host_->Create("CursorMod", owner_);
    ASSERT_NE(cursor_, nullptr);
  }

  tavin::CursorModRecord Record(refhost::Instance* instance) const {
    tavin::CursorModRecord record;
    std::memcpy(&record, instance->Record(), sizeof record);
    return record;
  }
  void Set(refhost::Instance* instance, MessageIdValue event, ChoiceValue choice) {
    auto* record = instance->As<tavin::CursorModRecord>();
    std::memcpy(&record->cursorEvent, &event, sizeof event);
    std::memcpy(&record->cursorChoice, &choice, sizeof choice);
  }
  // The cursor numbers the host was asked to show, in order.
  std::vector<int32_t> Cursors() const {
    std::vector<int32_t> numbers;
    for (const refhost::CursorEntry& entry : host_->Cursors()) {
      EXPECT_EQ(entry.instance, cursor_);
      numbers.push_back(entry.cursor);
    }
    return numbers;
  }
  std::vector<uint8_t> Bytes(refhost::Instance* instance) const {
    const auto* at = static_cast<const uint8_t*>(instance->Record());
    return {at, at + sizeof(tavin::CursorModRecord)};
  }

  uint32_t owner_ = 0;
  refhost::Instance* cursor_ = nullptr;
};

TEST_F(CursorMod, RegistersAsTheHostExpects) {
  const refhost::ClassInfo* info = host_->FindClass("CursorMod");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->usable) << info->error;
  EXPECT_EQ(info->instanceSize, 22u);
  EXPECT_EQ(info->classFlags, 1u);
  EXPECT_EQ(info->interfaceName, "_QComponent");
  std::vector<uint16_t> columns;
  for (const refhost::SlotInfo& slot : info->slots) {
    EXPECT_EQ(slot.row, 0);
    columns.push_back(slot.column);
  }
  EXPECT_EQ(columns, (std::vector<uint16_t>{7, 34, 8, 9, 26, 27, 17, 19, 18, 22, 23, 25, 13, 14}));
}

TEST_F(CursorMod, FreshCopiedAndAssignedInstances) {
  tavin::CursorModRecord fresh = Record(cursor_);
  EXPECT_EQ(+fresh.cursorEvent.tag, tag::kMessageId);
  EXPECT_EQ(+fresh.cursorEvent.id, 303u);
  EXPECT_EQ(+fresh.cursorEvent.second, 0u);
  EXPECT_EQ(+fresh.cursorChoice.tag, tag::kChoice);
  EXPECT_EQ(+fresh.cursorChoice.selection, 0u);
  EXPECT_EQ(+fresh.cursorChoice.word, 0u);

  Set(cursor_, MessageId(40, 4), Choice(3, 9));
  // Memory the host did not clear: the copy is the settings, whatever the memory held.
  host_->SetFreshInstanceBytes({0xA5});
  refhost::Instance* copy = host_->CopyConstruct(*cursor_, owner_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Bytes(copy), Bytes(cursor_));

  refhost::Instance* other = host_->Create("CursorMod", owner_);
  EXPECT_EQ(other->Assign(*cursor_), 0);
  EXPECT_EQ(std::memcmp(other->Record(), cursor_->Record(), 20), 0);
  EXPECT_EQ(cursor_->Assign(*cursor_), 0);
  EXPECT_EQ(+Record(cursor_).cursorChoice.selection, 3u);
}

TEST_F(CursorMod, ItsMessageAsksForTheChosenCursorOnce) {
  EXPECT_EQ(cursor_->HandleMessage(owner_, 303, 0), 0);
  EXPECT_EQ(Cursors(), (std::vector<int32_t>{0}));

  // Both words must match; the tags are not compared, and a foreign message calls nothing.
  EXPECT_EQ(cursor_->HandleMessage(owner_, 303, 1), 1);
  EXPECT_EQ(cursor_->HandleMessage(owner_, 304, 0), 1);
  EXPECT_EQ(cursor_->HandleMessage(owner_, 0, 303), 1);
  EXPECT_EQ(cursor_->HandleMessage(nullptr), 1);
  EXPECT_EQ(Cursors().size(), 1u);

  MessageIdValue odd = MessageId(7, 8);
  odd.tag = tag::kInteger;
  Set(cursor_, odd, Choice(0xFFFFFFFE, 5));
  EXPECT_EQ(cursor_->HandleMessage(owner_, 7, 8), 0);
  EXPECT_EQ(cursor_->HandleMessage(owner_, 7, 8), 0);  // each delivery sets it again
  EXPECT_EQ(Cursors(), (std::vector<int32_t>{0, -2, -2}));
}

TEST_F(CursorMod, EnabledItListensForItsMessageOnly) {
  Set(cursor_, MessageId(900, 2), Choice(4));
  EXPECT_EQ(cursor_->Enable(), 0);
  EXPECT_TRUE(host_->Listening(cursor_, 900, 2));
  EXPECT_EQ(host_->SendMessage(owner_, 900, 0).delivered, 0);
  refhost::MessageOutcome outcome = host_->SendMessage(owner_, 900, 2);
  EXPECT_EQ(outcome.handled, 1);
  EXPECT_EQ(Cursors(), (std::vector<int32_t>{4}));
  EXPECT_EQ(cursor_->Disable(), 0);
  EXPECT_FALSE(host_->Listening(cursor_, 900, 2));
}

TEST_F(CursorMod, HasNoAttributes) {
  const ChoiceValue untouched = Choice(0x5A5A5A5A, 0xA5A5A5A5);
  const IntegerValue index = testing_support::Integer(1);
  for (const char* name : {"cursorChoice", "cursorEvent", "cursor", "events", ""}) {
    ChoiceValue out = untouched;
    EXPECT_EQ(cursor_->GetAttribute(name, nullptr, &out), 1) << name;
    EXPECT_EQ(cursor_->GetAttribute(name, &index, &out), 1) << name;
    EXPECT_EQ(std::memcmp(&out, &untouched, sizeof out), 0) << name;
    EXPECT_EQ(cursor_->SetAttribute(name, nullptr, &untouched), 1) << name;
  }
  EXPECT_EQ(+Record(cursor_).cursorChoice.selection, 0u);
}

TEST_F(CursorMod, EditorShowsAndTakesBothSettings) {
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(cursor_->ToEditor(editor, 1), 1);
  EXPECT_EQ(editor.PutCount(), 0);
  EXPECT_EQ(cursor_->ToEditor(editor, 0), 0);
  ASSERT_NE(editor.Item(9), nullptr);
  ASSERT_NE(editor.Item(7), nullptr);
  EXPECT_EQ(editor.Item(9)->tag, tag::kMessageId);
  EXPECT_EQ(editor.Item(7)->tag, tag::kChoice);

  editor.SetItem(9, Value::MessageId(1500, 1));
  ChoiceValue choice = Choice(6, 2);
  ASSERT_TRUE(editor.SetItemRecord(7, &choice));
  EXPECT_EQ(cursor_->FromEditor(editor), 0);
  EXPECT_EQ(+Record(cursor_).cursorEvent.id, 1500u);
  EXPECT_EQ(+Record(cursor_).cursorEvent.second, 1u);
  EXPECT_EQ(+Record(cursor_).cursorChoice.selection, 6u);
  EXPECT_EQ(+Record(cursor_).cursorChoice.word, 2u);
}

TEST_F(CursorMod, SaveAndLoad) {
  Set(cursor_, MessageId(501, 5), Choice(2, 1));
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = 99;
  uint32_t size = 0;
  EXPECT_EQ(cursor_->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(version, 0);
  EXPECT_EQ(cursor_->Save(stream), 0);
  EXPECT_EQ(stream.Bytes().size(), size);
  EXPECT_EQ(size, 20u);

  refhost::Instance* loaded = host_->Create("CursorMod", owner_);
  stream.Rewind();
  EXPECT_EQ(loaded->Load(stream, 1), 1);
  EXPECT_EQ(stream.ReadPosition(), 0u);
  EXPECT_EQ(+Record(loaded).cursorEvent.id, 303u);
  EXPECT_EQ(loaded->Load(stream, 0), 0);
  EXPECT_EQ(std::memcmp(loaded->Record(), cursor_->Record(), 20), 0);
  EXPECT_EQ(stream.ReadPosition(), stream.Bytes().size());
}

// An editor item or stored value the slot cannot take (a failed read, a text where a 10-byte
// value lives) leaves the old setting, never writes past the slot, and is given back.
TEST_F(CursorMod, ReadsThatDoNotFitKeepTheOldSetting) {
  Set(cursor_, MessageId(11, 1), Choice(5, 5));
  refhost::HostEditor& editor = host_->NewEditor();
  // No items at all: both reads fail.
  EXPECT_EQ(cursor_->FromEditor(editor), 0);
  EXPECT_EQ(+Record(cursor_).cursorEvent.id, 11u);
  EXPECT_EQ(+Record(cursor_).cursorChoice.selection, 5u);

  // Slots that hold no value (as a foreign title may leave them) preset no kind: the host
  // then answers with whatever the item holds.
  MessageIdValue none = MessageId(0);
  none.tag = tag::kEmpty;
  Set(cursor_, none, Choice(5, 5));
  auto* choice = &cursor_->As<tavin::CursorModRecord>()->cursorChoice;
  const uint16_t empty = tag::kEmpty;
  std::memcpy(&choice->tag, &empty, sizeof empty);
  const std::vector<uint8_t> before = Bytes(cursor_);

  editor.SetItemText(9, "a text far longer than any ten-byte slot");
  editor.SetItem(7, Value::MessageId(77));
  EXPECT_EQ(cursor_->FromEditor(editor), 0);
  std::vector<uint8_t> after = Bytes(cursor_);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 10, after.begin()));
  EXPECT_EQ(+Record(cursor_).cursorChoice.tag, tag::kMessageId);  // a fitting kind is taken
  EXPECT_EQ(+Record(cursor_).cursorChoice.selection, 77u);

  // The same through the stored form: a text where the event was.
  refhost::HostStream& texts = host_->NewStream();
  ASSERT_TRUE(texts.Write(Value::Text("stored text")));
  ASSERT_TRUE(texts.Write(Value::MessageId(78)));
  texts.Rewind();
  Set(cursor_, none, Choice(1));
  EXPECT_EQ(cursor_->Load(texts, 0), 0);
  EXPECT_EQ(+Record(cursor_).cursorEvent.tag, tag::kEmpty);
  EXPECT_EQ(+Record(cursor_).cursorChoice.selection, 1u);  // a choice does not take an id
}

TEST_F(CursorMod, HostCallsOfEachSlot) {
  host_->SetTracing(true);
  refhost::HostEditor& editor = host_->NewEditor();
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = 0;
  uint32_t size = 0;
  cursor_->Enable();
  cursor_->Disable();
  cursor_->ToEditor(editor, 0);
  cursor_->FromEditor(editor);
  cursor_->StoredSize(stream, &version, &size);
  cursor_->Save(stream);
  stream.Rewind();
  cursor_->Load(stream, 0);
  cursor_->HandleMessage(owner_, 303, 0);
  cursor_->HandleMessage(owner_, 303, 1);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> CursorMod#1.Enable",
                                      "Instance.Listen(1, id(303,0))",
                                      "-> CursorMod#1.Disable",
                                      "Instance.Listen(2, id(303,0))",
                                      "-> CursorMod#1.ToEditor",
                                      "Editor.PutItem(9, id(303,0))",
                                      "Editor.PutItem(7, choice(0,0))",
                                      "-> CursorMod#1.FromEditor",
                                      "Editor.GetItem(9, out id)",
                                      "Editor.GetItem(7, out choice)",
                                      "-> CursorMod#1.StoredSize",
                                      "Stream.StoredSizeOf(id(303,0), out)",
                                      "Stream.StoredSizeOf(choice(0,0), out)",
                                      "-> CursorMod#1.Save",
                                      "Stream.WriteValue(id(303,0))",
                                      "Stream.WriteValue(choice(0,0))",
                                      "-> CursorMod#1.Load",
                                      "Stream.ReadValue(out id)",
                                      "Stream.ReadValue(out choice)",
                                      "-> CursorMod#1.HandleMessage",
                                      "SystemService.SetCursor(CursorMod#1, 0)",
                                      "-> CursorMod#1.HandleMessage"}));
}

}  // namespace
