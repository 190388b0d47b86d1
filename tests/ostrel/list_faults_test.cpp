// The faults a ListMod built to the letter would have, each pinned: lost and leaked texts and
// path blocks, memory shared with a caller, answers of the wrong kind, lists emptied or grown
// by bad input. The fixture's books (no fault, no leak) are part of every case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_method.h"
#include "tests/ostrel/list_mod_support.h"

namespace {

using list_testing::ListModTest;
using list_testing::Out;
using refhost::Instance;
using refhost::Value;
using testing_support::Integer;
using testing_support::Reference;
using testing_support::TestText;
using testing_support::TextBuffer;

class ListFaults : public ListModTest {
 protected:
  ObjectPathValue PathAt(Instance* list, uint32_t position) {
    ObjectPathValue path;
    std::memcpy(&path, Records(Rec(list)->list, 18).at(position - 1).data(), sizeof path);
    return path;
  }
  uint16_t StoredSize(Instance* list) {
    int16_t version = 0;
    uint32_t size = 0;
    return list->StoredSize(host_->NewStream(), &version, &size);
  }
};

// Without their own empty text, copies shift every later element one place up.
TEST_F(ListFaults, EmptyStringsSurviveCopiesTransfersAndLoads) {
  Instance* list = Make(list_testing::kString);
  FillTexts(list, {"", "b", ""});
  SetCount(list, 4);  // a default element
  const std::vector<std::string> texts = {"", "b", "", ""};
  Instance* copy = host_->CopyConstruct(*list, stage_);
  EXPECT_EQ(Texts(copy), texts);
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = 0;
  uint32_t size = 0;
  list->StoredSize(stream, &version, &size);
  list->Save(stream);
  stream.Rewind();
  Instance* loaded = Make();
  ASSERT_EQ(loaded->Load(stream, 1), 0);
  EXPECT_EQ(Texts(loaded), texts);
}

// A replaced element gives back what it owned: the text of a string, the entry block of a
// path (the fixture counts the leaks).
TEST_F(ListFaults, ReplacedElementsReleaseWhatTheyOwned) {
  const uint32_t a = host_->AddObject(stage_, "a");
  Instance* references = Make(list_testing::kReference);
  const ReferenceValue ra = Reference(a);
  SetAt(references, 1, &ra);
  SetAt(references, 2, &ra);
  ASSERT_EQ(StoredSize(references), 0);
  ASSERT_NE(+PathAt(references, 1).entries, nullptr);
  EXPECT_EQ(SetAt(references, 1, &ra), 0);
  EXPECT_EQ(+PathAt(references, 1).tag, tag::kReference);
  // The whole-list assignment empties the list without losing a block.
  IntegerValue index = Integer(0);
  EXPECT_EQ(Set(references, "value", &index, &ra), 0);
  EXPECT_EQ(Count(references), 1u);

  Instance* texts = Make(list_testing::kString);
  FillTexts(texts, {"old", "older"});
  TestText fresh("new");
  index = Integer(0);
  EXPECT_EQ(Set(texts, "value", &index, fresh.Value()), 0);
  EXPECT_EQ(Texts(texts), (std::vector<std::string>{"new"}));
  EXPECT_EQ(SetAt(texts, 1, fresh.Value()), 0);
  TestText none("");
  EXPECT_EQ(SetAt(texts, 1, none.Value()), 0);
  EXPECT_EQ(Texts(texts), (std::vector<std::string>{""}));
}

// A list never keeps a host chain's links in its items.
TEST_F(ListFaults, StoredReferencesCarryNoLinks) {
  const uint32_t a = host_->AddObject(stage_, "a");
  IdentityValue identity{};
  ReferenceValue chained = Reference(a, &identity);
  ASSERT_EQ(refhost::CallHostMethod(host_->ServiceObject(abi::service::kMemory), 1,
                                    abi::method::kRegisterReference, static_cast<void*>(&chained)),
            0);
  Instance* list = Make(list_testing::kReference);
  ASSERT_EQ(SetAt(list, 1, &chained), 0);
  Instance* copy = host_->CopyConstruct(*list, stage_);
  for (Instance* l : {list, copy}) {
    ReferenceValue stored;
    std::memcpy(&stored, Records(Rec(l)->list, 18)[0].data(), sizeof stored);
    EXPECT_EQ(+stored.previous, nullptr);
    EXPECT_EQ(+stored.next, nullptr);
    EXPECT_EQ(+stored.object, a);
  }
  refhost::CallHostMethod(host_->ServiceObject(abi::service::kObject), 1,
                          abi::method::kReleaseValue, static_cast<void*>(&chained));
}

// A reference the host cannot write as a path (more levels than a path holds) stays a
// reference, and StoredSize and Save say so instead of storing it raw.
TEST_F(ListFaults, AConversionThatFailsKeepsTheElement) {
  uint32_t deep = stage_;
  for (int level = 0; level < 260; ++level) deep = host_->AddObject(deep, "n");
  Instance* list = Make(list_testing::kReference);
  const ReferenceValue r = Reference(deep);
  ASSERT_EQ(SetAt(list, 1, &r), 0);
  EXPECT_EQ(StoredSize(list), 1);
  EXPECT_EQ(Error(list), 3);
  refhost::HostStream& stream = host_->NewStream();
  EXPECT_EQ(list->Save(stream), 1);
  EXPECT_TRUE(stream.Bytes().empty());
  EXPECT_EQ(At(list, 1), Value::Reference(deep));
}

// A path element read into anything but a reference gets the host's copy, never the list's
// block, which "delete" then frees.
TEST_F(ListFaults, APathIsNeverHandedOutWithTheListsOwnBlock) {
  const uint32_t a = host_->AddObject(stage_, "a");
  Instance* list = Make(list_testing::kReference);
  const ReferenceValue ra = Reference(a);
  SetAt(list, 1, &ra);
  ASSERT_EQ(StoredSize(list), 0);
  const uint32_t* block = PathAt(list, 1).entries;
  Out out(tag::kObjectPath);
  const IntegerValue one = Integer(1);
  ASSERT_EQ(Get(list, "delete", &one, out.data()), 0);
  const auto answer = out.As<ObjectPathValue>();
  EXPECT_EQ(+answer.count, 2u);
  EXPECT_NE(+answer.entries, block);
  FreeAnswer(out.data());

  SetAt(list, 1, &ra);
  ASSERT_EQ(StoredSize(list), 0);
  TextBuffer text(64);
  ASSERT_EQ(Get(list, "value", &one, text.Value()), 0);
  EXPECT_EQ(text.Text(), "/stage/a");
}

// "randomBegin" answers the element in the caller's type, and never fails on a list that has
// elements, even after it shrank below positions still in the pool.
TEST_F(ListFaults, RandomBeginAnswersTheElementAndSkipsPositionsThatAreGone) {
  Instance* list = Make(list_testing::kString);
  FillTexts(list, {"a", "b", "c", "d", "e", "f"});
  TextBuffer text(16);
  ASSERT_EQ(Get(list, "randomBegin", nullptr, text.Value()), 0);
  EXPECT_EQ(text.Text().size(), 1u);
  SetCount(list, 2);
  for (int i = 0; i < 8; ++i) {
    TextBuffer drawn(16);
    ASSERT_EQ(Get(list, "randomBegin", nullptr, drawn.Value()), 0) << i;
    EXPECT_TRUE(drawn.Text() == "a" || drawn.Text() == "b") << drawn.Text();
  }
  EXPECT_EQ(Error(list), 0);
}

// An inserted string is a copy the list owns; the text the host made for the conversion goes.
TEST_F(ListFaults, AnInsertedTextIsTheLists) {
  Instance* list = Make(list_testing::kString);
  FillTexts(list, {"b"});
  TestText a("a");
  const IntegerValue one = Integer(1);
  ASSERT_EQ(Set(list, "insert", &one, a.Value()), 0);
  TextValue stored;
  std::memcpy(&stored, Records(Rec(list)->list, 18)[0].data(), sizeof stored);
  EXPECT_EQ(+stored.owner, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(list->Record())));
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "b"}));
}

// Bad counts and positions are refused instead of emptying the list or growing it without end.
TEST_F(ListFaults, CountsAndPositionsStayWithinTheLongestList) {
  Instance* list = Make();
  ASSERT_EQ(SetCount(list, 32767), 0);
  const IntegerValue one = Integer(1);
  const IntegerValue nine = Integer(9);
  EXPECT_EQ(Set(list, "insert", &one, &nine), 1);
  EXPECT_EQ(Error(list), 2);
  EXPECT_EQ(SetInt(list, 32768, 1), 1);
  EXPECT_EQ(Error(list), 2);
  EXPECT_EQ(SetInt(list, 32767, 5), 0);
  EXPECT_EQ(Count(list), 32767u);
  TestText notANumber("lots");
  EXPECT_EQ(Set(list, "count", nullptr, notANumber.Value()), 1);
  EXPECT_EQ(Error(list), 3);
  EXPECT_EQ(Count(list), 32767u);
}

// Fresh memory may hold anything: a copy must not take it for lists to release.
TEST_F(ListFaults, CopyConstructIgnoresWhatFreshMemoryHeld) {
  Instance* list = Make();
  FillInts(list, {1, 2});
  host_->SetFreshInstanceBytes({0x4C, 0x00, 0x00, 0x4C});
  Instance* copy = host_->CopyConstruct(*list, stage_);
  host_->SetFreshInstanceBytes({});
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Ints(copy), (std::vector<int32_t>{1, 2}));
}

// The editor cannot give a list a kind it cannot hold.
TEST_F(ListFaults, AKindOutsideTheTableKeepsTheOldOne) {
  Instance* list = Make();
  FillInts(list, {1});
  for (uint32_t kind : {0u, 10u, 0xFFFFFFFFu}) {
    EXPECT_EQ(ChooseKind(list, kind), 1) << kind;
    EXPECT_EQ(+Rec(list)->kindValue.selection, 1u);
    EXPECT_EQ(+Rec(list)->elementTag, tag::kInteger);
    EXPECT_EQ(Ints(list), (std::vector<int32_t>{1}));
  }
}

}  // namespace
