// The host calls ListMod's slots make, in order: the conversation a host relies on, and what
// the ordering operations cost in calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/trace_calls.h"
#include "tests/ostrel/list_mod_support.h"

namespace {

using list_testing::ListModTest;
using list_testing::Out;
using testing_support::Integer;
using testing_support::SlotTrace;
using Lines = std::vector<std::string>;

class ListModCalls : public ListModTest {
 protected:
  void SetUp() override {
    ListModTest::SetUp();
    other_ = host_->AddObject(stage_, "other");
    host_->SetTracing(true);
    list_ = Make();
  }
  uint32_t other_ = 0;
  refhost::Instance* list_ = nullptr;
};

TEST_F(ListModCalls, ElementsAreWrittenAndReadThroughTheListService) {
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> ListMod#1.Construct", "ListService.CreateList(6, out)"}));
  host_->ClearTrace();
  ASSERT_EQ(SetInt(list_, 2, 7), 0);
  Out out;
  const IntegerValue two = Integer(2);
  ASSERT_EQ(Get(list_, "value", &two, out.data()), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ListMod#1.SetAttribute", "ListService.ListCount(list 0x4c000001, out)",
                   "ConvertService.ConvertValue(ListMod#1, integer 7, out integer)",
                   "ListService.ListCount(list 0x4c000001, out)",
                   "ListService.AppendListItem(list 0x4c000001, item)",
                   "ListService.AppendListItem(list 0x4c000001, item)",
                   "ListService.SetListItem(list 0x4c000001, 2, item)", "-> ListMod#1.GetAttribute",
                   "ListService.ListCount(list 0x4c000001, out)",
                   "ListService.GetListItem(list 0x4c000001, 2, out)"}));
  host_->ClearTrace();
  EXPECT_EQ(list_->HandleMessage(stage_, 102, 0), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ListMod#1.HandleMessage", "ListService.ListCount(list 0x4c000001, out)",
                   "ListService.GetListItem(list 0x4c000001, 1, out)",
                   "ListService.GetListItem(list 0x4c000001, 2, out)",
                   "ListService.ClearList(list 0x4c000001)"}));
}

TEST_F(ListModCalls, ADrawWithoutRepetitionTakesSixCalls) {
  FillInts(list_, {1, 2, 3});
  Out out;
  ASSERT_EQ(Get(list_, "randomBegin", nullptr, out.data()), 0);
  host_->ClearTrace();
  ASSERT_EQ(Get(list_, "randomBegin", nullptr, out.data()), 0);
  const Lines calls = SlotTrace(*host_);
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(calls[1], "ListService.ListCount(list 0x4c000001, out)");
  EXPECT_EQ(calls[2], "ListService.ListCount(list 0x4c000002, out)");
  EXPECT_EQ(calls[3], "SystemService.RandomInteger(1, 2, out)");
  EXPECT_EQ(calls[5].rfind("ListService.DeleteListItem(list 0x4c000002, ", 0), 0u);
  EXPECT_EQ(calls[6].rfind("ListService.GetListItem(list 0x4c000001, ", 0), 0u);
}

TEST_F(ListModCalls, ASortReadsEachElementOnceAndWritesWhatMoved) {
  FillInts(list_, {2, 1, 3});
  host_->ClearTrace();
  ASSERT_EQ(Set(list_, "sortAscend", nullptr, nullptr), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ListMod#1.SetAttribute", "ListService.ListCount(list 0x4c000001, out)",
                   "MemoryService.AllocMemory(116, out)",
                   "ListService.GetListItem(list 0x4c000001, 1, out)",
                   "ListService.GetListItem(list 0x4c000001, 2, out)",
                   "ListService.GetListItem(list 0x4c000001, 3, out)",
                   "ListService.SetListItem(list 0x4c000001, 1, item)",
                   "ListService.SetListItem(list 0x4c000001, 2, item)",
                   "MemoryService.FreeMemory(block of 116 bytes)"}));
  // Without the memory, the sort runs on the host list itself, comparison by comparison.
  FillInts(list_, {2, 1});
  host_->FailAllocations(0);
  host_->ClearTrace();
  ASSERT_EQ(Set(list_, "sortAscend", nullptr, nullptr), 0);
  host_->StopFailingAllocations();
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ListMod#1.SetAttribute", "ListService.ListCount(list 0x4c000001, out)",
                   "MemoryService.AllocMemory(72, out)",
                   "ListService.GetListItem(list 0x4c000001, 2, out)",
                   "ListService.GetListItem(list 0x4c000001, 1, out)",
                   "ListService.GetListItem(list 0x4c000001, 2, out)",
                   "ListService.GetListItem(list 0x4c000001, 1, out)",
                   "ListService.GetListItem(list 0x4c000001, 1, out)",
                   "ListService.GetListItem(list 0x4c000001, 2, out)",
                   "ListService.SetListItem(list 0x4c000001, 1, item)",
                   "ListService.SetListItem(list 0x4c000001, 2, item)"}));
  EXPECT_EQ(Ints(list_), (std::vector<int32_t>{1, 2}));
}

TEST_F(ListModCalls, AWholeListCrossesAsATransferThatTheAskerDisposes) {
  refhost::Instance* other = Make(list_testing::kInteger, other_);
  FillInts(other, {5});
  host_->ClearTrace();
  IntegerValue index = Integer(0);
  const ReferenceValue from = testing_support::Reference(other_);
  ASSERT_EQ(Set(list_, "value", &index, &from), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ListMod#1.SetAttribute",
                   "ObjectService.GetObjectAttribute(/stage/other, \"value\", integer 0, out ref)",
                   "ListService.ListCount(list 0x4c000003, out)", "ListService.CreateList(6, out)",
                   "ListService.GetListItem(list 0x4c000003, 1, out)",
                   "ConvertService.ConvertValue(ListMod#1, integer 5, out integer)",
                   "ListService.AppendListItem(list 0x4c000004, item)",
                   "ListService.ListCount(list 0x4c000001, out)",
                   "ListService.DisposeList(list 0x4c000001)",
                   "ListService.DisposeList(list 0x4c000003)"}));
  EXPECT_EQ(Ints(list_), (std::vector<int32_t>{5}));
}

// A string write reads the old element, copies the new text once, stores it, and only then
// frees the old text and the host's converted one.
TEST_F(ListModCalls, AStringWriteTakesTheTextsLengthOnce) {
  refhost::Instance* texts = Make(list_testing::kString, other_);
  FillTexts(texts, {"old"});
  host_->ClearTrace();
  testing_support::TestText text("new");
  ASSERT_EQ(SetAt(texts, 1, text.Value()), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ListMod#2.SetAttribute", "ListService.ListCount(list 0x4c000003, out)",
                   "ConvertService.ConvertValue(ListMod#2, text \"new\", out text)",
                   "ListService.GetListItem(list 0x4c000003, 1, out)",
                   "StringService.StringLength(out, \"new\")",
                   "StringService.DuplicateString(out, \"new\")",
                   "ListService.SetListItem(list 0x4c000003, 1, item)",
                   "StringService.FreeString(string of 4 bytes)",
                   "StringService.FreeString(string of 4 bytes)"}));
}

// A delete releases the element before the list drops it, as a shrinking count does.
TEST_F(ListModCalls, ADeleteReleasesTheElementBeforeTheListDropsIt) {
  refhost::Instance* texts = Make(list_testing::kString, other_);
  FillTexts(texts, {"a", "b"});
  host_->ClearTrace();
  Out out;
  const IntegerValue one = Integer(1);
  ASSERT_EQ(Get(texts, "delete", &one, out.data()), 0);
  const Lines calls = SlotTrace(*host_);
  EXPECT_EQ(testing_support::TextOf(out.data()), "a");
  FreeAnswer(out.data());
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(Lines(calls.end() - 4, calls.end()),
            (Lines{"ListService.ListCount(list 0x4c000003, out)",
                   "ListService.GetListItem(list 0x4c000003, 1, out)",
                   "StringService.FreeString(string of 2 bytes)",
                   "ListService.DeleteListItem(list 0x4c000003, 1)"}));
  EXPECT_EQ(Texts(texts), (std::vector<std::string>{"b"}));
}

// A path element read as a reference: its entries are freed before the reference replaces it.
TEST_F(ListModCalls, APathReadAsAReferenceFreesItsEntriesBeforeItIsReplaced) {
  refhost::Instance* references = Make(list_testing::kReference, other_);
  const ReferenceValue to = testing_support::Reference(other_);
  ASSERT_EQ(SetAt(references, 1, &to), 0);
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = 0;
  uint32_t size = 0;
  ASSERT_EQ(references->StoredSize(stream, &version, &size), 0);
  host_->ClearTrace();
  Out out(tag::kReference);
  const IntegerValue one = Integer(1);
  ASSERT_EQ(Get(references, "value", &one, out.data()), 0);
  EXPECT_EQ(+out.As<ReferenceValue>().object, other_);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ListMod#2.GetAttribute", "ListService.ListCount(list 0x4c000003, out)",
                   "ListService.GetListItem(list 0x4c000003, 1, out)",
                   "ConvertService.ConvertValue(ListMod#2, path, out ref)",
                   "MemoryService.FreeMemory(block of 8 bytes)",
                   "ListService.SetListItem(list 0x4c000003, 1, item)"}));
}

}  // namespace
