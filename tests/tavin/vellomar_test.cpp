// Vellomar through the reference host: registration, its settings, and the deal it writes into
// a target object's component when its message arrives.
#include "tavin/vellomar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tavin/tile_layout.h"
#include "tests/common/plugin_fixture.h"
#include "tests/common/trace_calls.h"
#include "win32/stand_in.h"

namespace {

using refhost::Instance;
using testing_support::Integer;
using testing_support::TestText;
using Kinds = std::vector<int32_t>;  // "count" entries as the board holds them

constexpr uint32_t kEvents = tavin::kVellomarEventsDefault;

class Vellomar : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    ASSERT_TRUE(host_->Load(BOARD_PLUGIN_PATH).ok);
    stage_ = host_->AddObject(0, "stage");
    tableObject_ = host_->AddObject(stage_, "table");
    dealerObject_ = host_->AddObject(stage_, "dealer");
    board_ = host_->Create("Board", tableObject_);
    dealer_ = host_->Create("Vellomar", dealerObject_);
    ASSERT_NE(board_, nullptr);
    ASSERT_NE(dealer_, nullptr);
  }

  const tavin::VellomarRecord& Record(Instance* instance) const {
    return *instance->As<tavin::VellomarRecord>();
  }
  uint16_t TargetTag(Instance* instance) const {
    uint16_t t;
    std::memcpy(&t, Record(instance).target, sizeof t);
    return t;
  }

  // Chooses a target in the editor, as an author does.
  uint16_t ChooseTarget(Instance* instance, uint32_t object) {
    refhost::HostEditor& editor = host_->NewEditor();
    instance->ToEditor(editor, 0);
    const refhost::TargetDesignationValue target = host_->MakeTarget(object);
    editor.SetItemRecord(tavin::kVellomarTargetItem, &target);
    return instance->FromEditor(editor);
  }

  Kinds BoardValues(Instance* board) const {
    IntegerValue count = Integer(0);
    EXPECT_EQ(board->GetAttribute("count", nullptr, &count), 0);
    Kinds values;
    for (int32_t i = 1; i <= count.value; ++i) {
      const IntegerValue index = Integer(i);
      IntegerValue value = Integer(0);
      EXPECT_EQ(board->GetAttribute("value", &index, &value), 0);
      values.push_back(+value.value);
    }
    return values;
  }

  // The deal of one second, as the board would hold it.
  static Kinds DealOf(uint32_t second) {
    tavin::tiles::GenerateLayoutFromSeed(second);
    const uint8_t* kinds = tavin::tiles::LastDeal().kinds;
    return Kinds(kinds + 1, kinds + tavin::tiles::kPositions + 1);
  }

  // The host calls Vellomar made that wrote an attribute of another instance.
  std::vector<std::string> Writes() const {
    std::vector<std::string> writes;
    for (const std::string& line : testing_support::SlotTrace(*host_)) {
      if (line.rfind("Instance.SetAttribute(", 0) == 0) writes.push_back(line);
    }
    return writes;
  }

  uint32_t stage_ = 0, tableObject_ = 0, dealerObject_ = 0;
  Instance* board_ = nullptr;
  Instance* dealer_ = nullptr;
};

TEST_F(Vellomar, RegistersAsTheHostExpects) {
  const refhost::ClassInfo* info = host_->FindClass("Vellomar");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->usable) << info->error;
  EXPECT_EQ(info->instanceSize, 52u);
  EXPECT_EQ(info->classFlags, 1u);
  std::vector<uint16_t> columns;
  for (const refhost::SlotInfo& slot : info->slots) {
    EXPECT_EQ(slot.row, 0);
    columns.push_back(slot.column);
  }
  EXPECT_EQ(columns, (std::vector<uint16_t>{7, 34, 8, 9, 26, 27, 17, 19, 18, 25, 22, 23, 37}));
  // No Enable: its message comes to it as one addressed to its object.
  EXPECT_EQ(dealer_->Enable(), refhost::kSlotNotRegistered);
}

TEST_F(Vellomar, AFreshInstanceWaitsForMessageOneHundredOneAndHasNoTarget) {
  EXPECT_EQ(+Record(dealer_).events.tag, tag::kMessageId);
  EXPECT_EQ(+Record(dealer_).events.id, 101u);
  EXPECT_EQ(+Record(dealer_).events.second, 0u);
  EXPECT_EQ(TargetTag(dealer_), tag::kEmpty);
  host_->SetTracing(true);
  EXPECT_EQ(dealer_->HandleMessage(dealerObject_, kEvents, 0), 1);
  EXPECT_TRUE(Writes().empty());
  EXPECT_TRUE(BoardValues(board_).empty());
}

TEST_F(Vellomar, ItsMessageDealsALayoutAsCountThenTwentyEightValuesInOrder) {
  ASSERT_EQ(ChooseTarget(dealer_, tableObject_), 0);
  EXPECT_EQ(TargetTag(dealer_), tavin::kTargetDesignationTag);
  host_->SetTracing(true);
  EXPECT_EQ(dealer_->HandleMessage(dealerObject_, kEvents, 0), 0);

  // The deal is the layout of the second the system clock says it is.
  const Kinds dealt = BoardValues(board_);
  ASSERT_EQ(dealt.size(), 28u);
  EXPECT_EQ(dealt, DealOf(static_cast<uint32_t>(stand_in::Machine().calendarSeconds)));

  std::vector<std::string> expected = {
      "Instance.SetAttribute(Board#1, \"count\", none, integer 28)"};
  for (int i = 1; i <= 28; ++i) {
    expected.push_back("Instance.SetAttribute(Board#1, \"value\", integer " + std::to_string(i) +
                       ", integer " + std::to_string(dealt[i - 1]) + ")");
  }
  EXPECT_EQ(Writes(), expected);
  // Seven kinds from 1..23, four times each.
  for (int32_t kind : dealt) {
    EXPECT_GE(kind, 1);
    EXPECT_LE(kind, 23);
    EXPECT_EQ(std::count(dealt.begin(), dealt.end(), kind), 4);
  }
}

// Whatever stands in the way, the answer is 1 and the target gets no write.
TEST_F(Vellomar, NoDealWithoutItsOwnMessageAndATargetThatTakesWrites) {
  const uint32_t empty = host_->AddObject(stage_, "empty");
  const uint32_t gone = host_->AddObject(stage_, "gone");
  const uint32_t quitting = host_->AddObject(stage_, "quitting");
  host_->Create("Quit", quitting);
  constexpr uint32_t kNone = 0;
  constexpr uint32_t kOwnObject = 1;
  struct Case {
    const char* what;
    uint32_t target;
    uint32_t id;
    uint32_t second;
  };
  const Case cases[] = {
      {"another message", tableObject_, kEvents + 1, 0},
      {"its id with another second word", tableObject_, kEvents, 1},
      {"no target chosen", kNone, kEvents, 0},
      {"a target object that is gone", gone, kEvents, 0},
      {"a target object without components", empty, kEvents, 0},
      {"a target whose component has no SetAttribute", quitting, kEvents, 0},
      {"its own object, where it is the only component", kOwnObject, kEvents, 0},
  };
  int desks = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t desk = host_->AddObject(stage_, "desk" + std::to_string(++desks));
    Instance* dealer = host_->Create("Vellomar", desk);
    if (c.target != kNone) {
      ASSERT_EQ(ChooseTarget(dealer, c.target == kOwnObject ? desk : c.target), 0);
    }
    if (c.target == gone) host_->RemoveObject(gone);
    host_->ClearTrace();
    host_->SetTracing(true);
    EXPECT_EQ(dealer->HandleMessage(desk, c.id, c.second), 1);
    host_->SetTracing(false);
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(BoardValues(board_).empty());
  }
  // On its own object beside a board, it deals into the board.
  const uint32_t desk = host_->AddObject(stage_, "shared");
  Instance* dealer = host_->Create("Vellomar", desk);
  Instance* board = host_->Create("Board", desk);
  ASSERT_EQ(ChooseTarget(dealer, desk), 0);
  EXPECT_EQ(dealer->HandleMessage(desk, kEvents, 0), 0);
  EXPECT_EQ(BoardValues(board).size(), 28u);
}

TEST_F(Vellomar, MessagesWithinOneSecondDealTheSameLayoutAndTheNextSecondAnother) {
  ASSERT_EQ(ChooseTarget(dealer_, tableObject_), 0);
  stand_in::Machine().calendarSeconds = 1765281600;
  ASSERT_EQ(dealer_->HandleMessage(dealerObject_, kEvents, 0), 0);
  const Kinds first = BoardValues(board_);
  ASSERT_EQ(dealer_->HandleMessage(dealerObject_, kEvents, 0), 0);
  EXPECT_EQ(BoardValues(board_), first);
  EXPECT_EQ(first, DealOf(1765281600));
  stand_in::Machine().calendarSeconds = 1765281601;
  ASSERT_EQ(dealer_->HandleMessage(dealerObject_, kEvents, 0), 0);
  EXPECT_EQ(BoardValues(board_), DealOf(1765281601));
  EXPECT_NE(BoardValues(board_), first);
}

TEST_F(Vellomar, HasNoAttributesOfItsOwn) {
  const IntegerValue index = Integer(1);
  for (const char* name : {"count", "value", "events", "target", ""}) {
    IntegerValue value = Integer(7);
    EXPECT_EQ(dealer_->GetAttribute(name, nullptr, &value), 1) << name;
    EXPECT_EQ(dealer_->GetAttribute(name, &index, &value), 1) << name;
    EXPECT_EQ(+value.value, 7);
    EXPECT_EQ(dealer_->SetAttribute(name, nullptr, &value), 1) << name;
    EXPECT_EQ(dealer_->SetAttribute(name, &index, &value), 1) << name;
  }
}

TEST_F(Vellomar, TheEditorShowsAndTakesItsMessageAndItsTarget) {
  refhost::HostEditor& refused = host_->NewEditor();
  EXPECT_EQ(dealer_->ToEditor(refused, 1), 1);
  EXPECT_EQ(refused.PutCount(), 0);

  refhost::HostEditor& editor = host_->NewEditor();
  ASSERT_EQ(dealer_->ToEditor(editor, 0), 0);
  EXPECT_EQ(*editor.Item(tavin::kVellomarEventsItem), refhost::Value::MessageId(101));
  EXPECT_EQ(editor.Item(tavin::kVellomarTargetItem)->tag, tag::kEmpty);

  // A target may be chosen by its path; the editor hands it over as a designation.
  editor.SetItem(tavin::kVellomarEventsItem, refhost::Value::MessageId(7, 2));
  editor.SetItemText(tavin::kVellomarTargetItem, "/stage/table");
  ASSERT_EQ(dealer_->FromEditor(editor), 0);
  EXPECT_EQ(+Record(dealer_).events.id, 7u);
  EXPECT_EQ(+Record(dealer_).events.second, 2u);
  EXPECT_EQ(TargetTag(dealer_), tavin::kTargetDesignationTag);
  EXPECT_EQ(dealer_->HandleMessage(dealerObject_, 7, 2), 0);
  EXPECT_EQ(BoardValues(board_).size(), 28u);

  // An item the editor cannot give as a designation leaves the target as it was; an empty one
  // clears it.
  editor.SetItem(tavin::kVellomarTargetItem, refhost::Value::Integer(5));
  ASSERT_EQ(dealer_->FromEditor(editor), 0);
  EXPECT_EQ(TargetTag(dealer_), tavin::kTargetDesignationTag);
  editor.SetItem(tavin::kVellomarTargetItem, refhost::Value{});
  ASSERT_EQ(dealer_->FromEditor(editor), 0);
  EXPECT_EQ(TargetTag(dealer_), tag::kEmpty);
  EXPECT_EQ(dealer_->HandleMessage(dealerObject_, 7, 2), 1);
}

// A runtime whose editor answers more than the slot holds, or a value of another kind.
TEST_F(Vellomar, AnEditorAnswerThatDoesNotFitTheTargetIsNotTaken) {
  ASSERT_EQ(ChooseTarget(dealer_, tableObject_), 0);
  const std::vector<uint8_t> before(Record(dealer_).target, Record(dealer_).target + 42);
  refhost::HostEditor& editor = host_->NewEditor();
  std::vector<uint8_t> oversized(60, 0xEE);
  oversized[0] = 0x77;  // tag 0xEE77: no kind whose size is known
  editor.SetRawAnswer(tavin::kVellomarTargetItem, oversized);
  ASSERT_EQ(dealer_->FromEditor(editor), 0);
  EXPECT_EQ(std::vector<uint8_t>(Record(dealer_).target, Record(dealer_).target + 42), before);
  EXPECT_EQ(dealer_->HandleMessage(dealerObject_, kEvents, 0), 0);

  // A record of 42 bytes fits whole; it is no designation, so nothing is dealt with it.
  std::vector<uint8_t> record(42, 0x11);
  record[0] = 104;
  record[1] = 0;
  editor.SetRawAnswer(tavin::kVellomarTargetItem, record);
  ASSERT_EQ(dealer_->FromEditor(editor), 0);
  EXPECT_EQ(TargetTag(dealer_), tag::kRecord40);
  EXPECT_EQ(dealer_->HandleMessage(dealerObject_, kEvents, 0), 1);
}

TEST_F(Vellomar, StoredFormKeepsTheMessageAndTheTargetAcrossAReload) {
  refhost::HostEditor& editor = host_->NewEditor();
  dealer_->ToEditor(editor, 0);
  editor.SetItem(tavin::kVellomarEventsItem, refhost::Value::MessageId(300));
  const refhost::TargetDesignationValue target = host_->MakeTarget(tableObject_);
  editor.SetItemRecord(tavin::kVellomarTargetItem, &target);
  ASSERT_EQ(dealer_->FromEditor(editor), 0);

  refhost::HostStream& stream = host_->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  ASSERT_EQ(dealer_->StoredSize(stream, &version, &size), 0);
  ASSERT_EQ(dealer_->Save(stream), 0);
  EXPECT_EQ(version, 0);
  EXPECT_EQ(size, stream.Bytes().size());

  // An unknown version reads nothing.
  Instance* other = host_->Create("Vellomar", dealerObject_);
  stream.Rewind();
  EXPECT_EQ(other->Load(stream, 1), 1);
  EXPECT_EQ(stream.ReadPosition(), 0u);
  EXPECT_EQ(+Record(other).events.id, 101u);

  // The title is reloaded: the table is a new object with the same identity.
  const uint32_t reloaded = host_->ReplaceObject(tableObject_);
  ASSERT_NE(reloaded, 0u);
  stream.Rewind();
  ASSERT_EQ(other->Load(stream, 0), 0);
  EXPECT_EQ(stream.ReadPosition(), stream.Bytes().size());
  EXPECT_EQ(+Record(other).events.id, 300u);
  EXPECT_EQ(other->HandleMessage(dealerObject_, 300, 0), 0);
  EXPECT_EQ(BoardValues(host_->InstancesOf(reloaded).front()).size(), 28u);

  // A stored form without a target loads as one without a target.
  Instance* fresh = host_->Create("Vellomar", dealerObject_);
  refhost::HostStream& empty = host_->NewStream();
  fresh->Save(empty);
  empty.Rewind();
  ASSERT_EQ(other->Load(empty, 0), 0);
  EXPECT_EQ(TargetTag(other), tag::kEmpty);
  EXPECT_EQ(+Record(other).events.id, 101u);
}

TEST_F(Vellomar, CopiesAndAssignmentsTakeTheMessageAndTheTarget) {
  refhost::HostEditor& editor = host_->NewEditor();
  dealer_->ToEditor(editor, 0);
  editor.SetItem(tavin::kVellomarEventsItem, refhost::Value::MessageId(55, 5));
  editor.SetItemText(tavin::kVellomarTargetItem, "/stage/table");
  ASSERT_EQ(dealer_->FromEditor(editor), 0);

  Instance* copy = host_->CopyConstruct(*dealer_, stage_);
  ASSERT_NE(copy, nullptr);
  Instance* assigned = host_->Create("Vellomar", stage_);
  ASSERT_EQ(ChooseTarget(assigned, dealerObject_), 0);
  ASSERT_EQ(assigned->Assign(*dealer_), 0);
  EXPECT_EQ(assigned->Assign(*assigned), 0);
  host_->Destroy(dealer_);
  for (Instance* instance : {copy, assigned}) {
    EXPECT_EQ(+Record(instance).events.id, 55u);
    EXPECT_EQ(+Record(instance).events.second, 5u);
    EXPECT_EQ(instance->HandleMessage(stage_, 55, 5), 0);
  }
  EXPECT_EQ(BoardValues(board_).size(), 28u);
}

// Nothing Vellomar does needs memory of its own: with every allocation refused, a whole life
// still deals.
TEST_F(Vellomar, AWholeLifeNeedsNoMemory) {
  host_->FailAllocations(0);
  Instance* dealer = host_->Create("Vellomar", dealerObject_);
  ASSERT_NE(dealer, nullptr);
  refhost::HostEditor& editor = host_->NewEditor();
  dealer->ToEditor(editor, 0);
  editor.SetItemText(tavin::kVellomarTargetItem, "/stage/table");
  dealer->FromEditor(editor);
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = 0;
  uint32_t size = 0;
  dealer->StoredSize(stream, &version, &size);
  dealer->Save(stream);
  Instance* copy = host_->CopyConstruct(*dealer, stage_);
  ASSERT_NE(copy, nullptr);
  stream.Rewind();
  EXPECT_EQ(copy->Load(stream, version), 0);
  EXPECT_EQ(copy->Assign(*dealer), 0);
  EXPECT_EQ(copy->HandleMessage(stage_, kEvents, 0), 0);
  EXPECT_EQ(BoardValues(board_).size(), 28u);
  EXPECT_EQ(host_->RefusedAllocations(), 0u);
  host_->StopFailingAllocations();
}

}  // namespace
