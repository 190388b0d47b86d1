// ListMod through the reference host: the kinds and their defaults, every attribute with its
// answer and error code, the editor, the clearing message and copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/host_method.h"
#include "tests/ostrel/list_mod_support.h"

namespace {

using list_testing::Kind;
using list_testing::ListModTest;
using list_testing::Out;
using refhost::Instance;
using refhost::Value;
using testing_support::Integer;
using testing_support::MessageId;
using testing_support::Real;
using testing_support::Reference;
using testing_support::TestText;
using testing_support::TextBuffer;

class ListMod : public ListModTest {};

TEST_F(ListMod, ANewListIsAnEmptyIntegerList) {
  Instance* list = Make();
  EXPECT_EQ(+Rec(list)->kindValue.tag, tag::kChoice);
  EXPECT_EQ(+Rec(list)->kindValue.selection, 1u);
  EXPECT_EQ(+Rec(list)->elementTag, tag::kInteger);
  EXPECT_NE(+Rec(list)->list, 0u);
  EXPECT_EQ(+Rec(list)->randomBeginPool, 0u);
  EXPECT_EQ(+Rec(list)->clearMessage.id, 102u);
  EXPECT_EQ(Count(list), 0u);
  EXPECT_EQ(Error(list), 0);
}

// Growing a list of each kind gives its default element, of the kind's record size.
TEST_F(ListMod, EachKindGrowsWithItsDefaultElement) {
  struct Case {
    uint32_t kind;
    uint16_t elementTag;
    uint32_t recordSize;
  };
  const Case cases[] = {
      {list_testing::kInteger, tag::kInteger, 6},
      {list_testing::kPoint, tag::kPoint, 6},
      {list_testing::kRange, tag::kRange, 10},
      {list_testing::kReal, tag::kReal, 10},
      {list_testing::kString, tag::kText, 18},
      {list_testing::kReference, tag::kReference, 18},
      {list_testing::kDuration, tag::kDuration, 14},
      {list_testing::kTriple, tag::kTripleReal, 26},
      {list_testing::kFlag, tag::kFlag, 4},
  };
  for (const Case& c : cases) {
    Instance* list = Make(c.kind);
    EXPECT_EQ(+Rec(list)->elementTag, c.elementTag) << c.kind;
    ASSERT_EQ(SetCount(list, 2), 0) << c.kind;
    std::vector<std::vector<uint8_t>> records = Records(Rec(list)->list, c.recordSize);
    ASSERT_EQ(records.size(), 2u);
    for (const auto& record : records) {
      uint16_t t;
      std::memcpy(&t, record.data(), 2);
      EXPECT_EQ(t, c.elementTag) << c.kind;
    }
    if (c.kind == list_testing::kTriple) {
      TripleRealValue triple;
      std::memcpy(&triple, records[1].data(), sizeof triple);
      EXPECT_EQ(+triple.values[0], 0.0);
      EXPECT_EQ(+triple.values[2], 1000.0);
    }
    if (c.kind == list_testing::kString) {
      // Each default string has a 1-byte text of its own.
      TextValue a, b;
      std::memcpy(&a, records[0].data(), sizeof a);
      std::memcpy(&b, records[1].data(), sizeof b);
      EXPECT_NE(+a.chars, nullptr);
      EXPECT_NE(+a.chars, +b.chars);
      EXPECT_EQ(+a.capacity, 1u);
      EXPECT_EQ(+a.length, 0u);
      EXPECT_EQ(+a.owner, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(list->Record())));
    }
    uint16_t status = 1;
    At(list, 2, &status);
    EXPECT_EQ(status, 0) << c.kind;
    host_->Destroy(list);
  }
}

TEST_F(ListMod, ElementsAreReadAndWrittenByPosition) {
  Instance* list = Make();
  // Writing past the end fills with defaults first.
  EXPECT_EQ(SetInt(list, 5, 42), 0);
  EXPECT_EQ(Ints(list), (std::vector<int32_t>{0, 0, 0, 0, 42}));
  EXPECT_EQ(Error(list), 0);
  EXPECT_EQ(SetInt(list, 2, 7), 0);
  EXPECT_EQ(At(list, 2), Value::Integer(7));

  // Reads past the end or at a negative position fail with 2; "listError" reads once.
  struct Case {
    int32_t position;
    uint16_t status;
    int32_t error;
  };
  for (const Case& c : {Case{6, 1, 2}, Case{-1, 1, 2}, Case{INT32_MIN, 1, 2}, Case{5, 0, 0}}) {
    uint16_t status = 0;
    At(list, c.position, &status);
    EXPECT_EQ(status, c.status) << c.position;
    EXPECT_EQ(Error(list), c.error) << c.position;
    EXPECT_EQ(Error(list), 0);
  }
  // Writes at a negative position, or past the longest list, fail with 2 and change nothing.
  for (int32_t position : {-1, 32768, INT32_MAX}) {
    EXPECT_EQ(SetInt(list, position, 1), 1) << position;
    EXPECT_EQ(Error(list), 2) << position;
  }
  EXPECT_EQ(Count(list), 5u);

  // The element's own kind decides the answer, whatever the output was preset to.
  Out text(tag::kText);
  const IntegerValue five = Integer(5);
  ASSERT_EQ(Get(list, "value", &five, text.data()), 0);
  EXPECT_EQ(text.Tag(), tag::kInteger);
  EXPECT_EQ(text.Int(), 42);
}

TEST_F(ListMod, ValuesAreConvertedToTheKindOrRefused) {
  Instance* reals = Make(list_testing::kReal);
  EXPECT_EQ(SetInt(reals, 1, 3), 0);
  EXPECT_EQ(At(reals, 1), Value::Real(3.0));
  Instance* ints = Make();
  const RealValue half = Real(2.5);
  EXPECT_EQ(SetAt(ints, 1, &half), 0);
  EXPECT_EQ(At(ints, 1), Value::Integer(3));
  // A real out of the integers' range cannot be converted: 3, nothing stored.
  const RealValue huge = Real(1e12);
  EXPECT_EQ(SetAt(ints, 1, &huge), 1);
  EXPECT_EQ(Error(ints), 3);
  EXPECT_EQ(At(ints, 1), Value::Integer(3));

  // Kinds that do not fit are refused before anything changes.
  TestText text("12");
  EXPECT_EQ(SetAt(ints, 2, text.Value()), 1);
  EXPECT_EQ(Error(ints), 3);
  EXPECT_EQ(Count(ints), 1u);
  const FlagValue flag = testing_support::Flag(true);
  EXPECT_EQ(SetAt(ints, 1, &flag), 1);
  EXPECT_EQ(Error(ints), 3);
  Instance* texts = Make(list_testing::kString);
  const IntegerValue one = Integer(1);
  EXPECT_EQ(SetAt(texts, 1, &one), 1);
  EXPECT_EQ(Error(texts), 3);
  EXPECT_EQ(SetAt(texts, 1, text.Value()), 0);
  EXPECT_EQ(Texts(texts), (std::vector<std::string>{"12"}));
}

TEST_F(ListMod, AnIndexOfAnotherKindOrNoneIsNotAnAttributeUse) {
  Instance* list = Make();
  FillInts(list, {1, 2});
  Set(list, "value", nullptr, nullptr);  // no value at all
  const RealValue realIndex = Real(1);
  const IntegerValue value = Integer(9);
  Out out;
  struct Case {
    const char* name;
    const void* index;
    bool write;
  };
  const Case cases[] = {{"value", nullptr, false},      {"value", &realIndex, false},
                        {"delete", nullptr, false},     {"delete", &realIndex, false},
                        {"value", nullptr, true},       {"value", &realIndex, true},
                        {"insert", nullptr, true},      {"insert", &realIndex, true},
                        {"nosuchname", nullptr, false}, {"nosuchname", nullptr, true}};
  list->SetAttribute("value", nullptr, &value);
  for (const Case& c : cases) {
    // An earlier error stays: these answers leave "listError" alone.
    Rec(list)->listError = 4;
    const uint16_t status =
        c.write ? Set(list, c.name, c.index, &value) : Get(list, c.name, c.index, out.data());
    EXPECT_EQ(status, 1) << c.name;
    EXPECT_EQ(+Rec(list)->listError, 4) << c.name;
  }
  EXPECT_EQ(Ints(list), (std::vector<int32_t>{1, 2}));
}

TEST_F(ListMod, CountWritesResizeTheList) {
  Instance* list = Make(list_testing::kString);
  FillTexts(list, {"a", "b", "c"});
  EXPECT_EQ(SetCount(list, 1), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"a"}));
  EXPECT_EQ(SetCount(list, 3), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "", ""}));
  // Negative, too large, or not a number: refused, the list as it was.
  struct Case {
    int32_t count;
    int32_t error;
  };
  for (const Case& c : {Case{-1, 4}, Case{32768, 4}, Case{INT32_MAX, 4}}) {
    EXPECT_EQ(SetCount(list, c.count), 1) << c.count;
    EXPECT_EQ(Error(list), c.error) << c.count;
    EXPECT_EQ(Count(list), 3u);
  }
  TestText words("many");
  EXPECT_EQ(Set(list, "count", nullptr, words.Value()), 1);
  EXPECT_EQ(Error(list), 3);
  TestText digits("2");
  EXPECT_EQ(Set(list, "count", nullptr, digits.Value()), 0);
  EXPECT_EQ(Count(list), 2u);
  // A count write keeps an older error.
  Rec(list)->listError = 2;
  EXPECT_EQ(SetCount(list, 0), 0);
  EXPECT_EQ(Error(list), 2);
  EXPECT_EQ(Count(list), 0u);
}

TEST_F(ListMod, InsertAndDeleteShiftTheElements) {
  Instance* list = Make();
  const IntegerValue nine = Integer(9);
  const IntegerValue one = Integer(1);
  // An empty list takes no insert.
  EXPECT_EQ(Set(list, "insert", &one, &nine), 1);
  EXPECT_EQ(Error(list), 2);
  FillInts(list, {1, 2, 3});
  EXPECT_EQ(Set(list, "insert", &one, &nine), 0);
  EXPECT_EQ(Ints(list), (std::vector<int32_t>{9, 1, 2, 3}));
  for (int32_t position : {0, -1, 5}) {
    const IntegerValue at = Integer(position);
    EXPECT_EQ(Set(list, "insert", &at, &nine), 1) << position;
    EXPECT_EQ(Error(list), 2) << position;
  }
  TestText text("x");
  EXPECT_EQ(Set(list, "insert", &one, text.Value()), 1);
  EXPECT_EQ(Error(list), 3);

  const IntegerValue three = Integer(3);
  Out out;
  EXPECT_EQ(Get(list, "delete", &three, out.data()), 0);
  EXPECT_EQ(out.Int(), 2);
  EXPECT_EQ(Ints(list), (std::vector<int32_t>{9, 1, 3}));
  for (int32_t position : {0, -2, 4}) {
    const IntegerValue at = Integer(position);
    EXPECT_EQ(Get(list, "delete", &at, out.data()), 1) << position;
    EXPECT_EQ(Error(list), 2) << position;
  }
  EXPECT_EQ(Count(list), 3u);
}

TEST_F(ListMod, SortsShufflesAndDrawsAnswerTheirCodes) {
  Instance* list = Make();
  struct Case {
    const char* name;
    bool write;
    uint16_t status;
  };
  // On an empty list everything is answered 1 with listError 1, but a "shuffle" read is done.
  const Case empty[] = {
      {"sortAscend", false, 1},  {"sortDescend", false, 1}, {"shuffle", false, 0},
      {"randomBegin", false, 1}, {"random", false, 1},      {"randomDelete", false, 1},
      {"sortAscend", true, 1},   {"sortDescend", true, 1},  {"shuffle", true, 1}};
  for (const Case& c : empty) {
    Out out;
    const IntegerValue zero = Integer(0);
    const uint16_t status =
        c.write ? Set(list, c.name, nullptr, &zero) : Get(list, c.name, nullptr, out.data());
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(Error(list), 1) << c.name;
    if (!c.write && std::string(c.name) != "random" && std::string(c.name) != "randomDelete") {
      EXPECT_EQ(out.Tag(), tag::kInteger) << c.name;
      EXPECT_EQ(out.Int(), 0) << c.name;
    }
  }
  FillInts(list, {3, 1, 2});
  Out out;
  EXPECT_EQ(Get(list, "sortAscend", nullptr, out.data()), 0);
  EXPECT_EQ(out.Int(), 3);
  EXPECT_EQ(Ints(list), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Set(list, "sortDescend", nullptr, nullptr), 0);
  EXPECT_EQ(Ints(list), (std::vector<int32_t>{3, 2, 1}));
  EXPECT_EQ(Get(list, "random", nullptr, out.data()), 0);
  EXPECT_EQ(out.Tag(), tag::kInteger);
  EXPECT_EQ(Get(list, "randomDelete", nullptr, out.data()), 0);
  EXPECT_EQ(Count(list), 2u);

  // A reference list has no order.
  Instance* references = Make(list_testing::kReference);
  SetCount(references, 2);
  EXPECT_EQ(Get(references, "sortAscend", nullptr, out.data()), 1);
  EXPECT_EQ(Error(references), 3);
  EXPECT_EQ(Set(references, "sortDescend", nullptr, nullptr), 1);
  EXPECT_EQ(Error(references), 3);
}

TEST_F(ListMod, EveryKindSortsByItsOwnRule) {
  // Points by x then y; ranges by start then end; durations by count alone; triples
  // component by component; integers without wrap-around.
  Instance* points = Make(list_testing::kPoint);
  SetCount(points, 3);
  const PointValue p[] = {{tag::kPoint, 2, 5}, {tag::kPoint, 1, 9}, {tag::kPoint, 2, 1}};
  for (int i = 0; i < 3; ++i) SetAt(points, i + 1, &p[i]);
  EXPECT_EQ(Set(points, "sortAscend", nullptr, nullptr), 0);
  std::vector<Value> sorted = All(points);
  EXPECT_EQ(sorted[0], Value::Raw(&p[1], sizeof p[1]));
  EXPECT_EQ(sorted[1], Value::Raw(&p[2], sizeof p[2]));
  EXPECT_EQ(sorted[2], Value::Raw(&p[0], sizeof p[0]));

  Instance* ints = Make();
  FillInts(ints, {INT32_MAX, INT32_MIN, 0, -1});
  Set(ints, "sortAscend", nullptr, nullptr);
  EXPECT_EQ(Ints(ints), (std::vector<int32_t>{INT32_MIN, -1, 0, INT32_MAX}));

  Instance* texts = Make(list_testing::kString);
  FillTexts(texts, {"pear", "apple", "fig"});
  Set(texts, "sortDescend", nullptr, nullptr);
  EXPECT_EQ(Texts(texts), (std::vector<std::string>{"pear", "fig", "apple"}));

  Instance* triples = Make(list_testing::kTriple);
  SetCount(triples, 3);
  const TripleRealValue t[] = {
      {tag::kTripleReal, {1, 2, 3}}, {tag::kTripleReal, {1, 2, 2}}, {tag::kTripleReal, {0, 9, 9}}};
  for (int i = 0; i < 3; ++i) SetAt(triples, i + 1, &t[i]);
  Set(triples, "sortAscend", nullptr, nullptr);
  sorted = All(triples);
  EXPECT_EQ(sorted[0], Value::Raw(&t[2], sizeof t[2]));
  EXPECT_EQ(sorted[1], Value::Raw(&t[1], sizeof t[1]));
  EXPECT_EQ(sorted[2], Value::Raw(&t[0], sizeof t[0]));
}

TEST_F(ListMod, ShuffleKeepsTheElementsAndRandomBeginDrawsEachOncePerCycle) {
  Instance* list = Make();
  FillInts(list, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(Set(list, "shuffle", nullptr, nullptr), 0);
  std::vector<int32_t> shuffled = Ints(list);
  std::sort(shuffled.begin(), shuffled.end());
  EXPECT_EQ(shuffled, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));

  FillInts(list, {10, 20, 30});
  for (int cycle = 0; cycle < 3; ++cycle) {
    std::vector<int32_t> drawn;
    for (int i = 0; i < 3; ++i) {
      Out out;
      ASSERT_EQ(Get(list, "randomBegin", nullptr, out.data()), 0);
      drawn.push_back(out.Int());
    }
    std::sort(drawn.begin(), drawn.end());
    EXPECT_EQ(drawn, (std::vector<int32_t>{10, 20, 30})) << cycle;
  }
  // "ResetBR" after two draws makes all three available again.
  Out out;
  Get(list, "randomBegin", nullptr, out.data());
  Get(list, "randomBegin", nullptr, out.data());
  EXPECT_EQ(Set(list, "ResetBR", nullptr, nullptr), 0);
  uint32_t pooled = 0;
  refhost::CallHostMethod(host_->ServiceObject(abi::service::kList), 1, abi::method::kListCount,
                          Rec(list)->randomBeginPool, static_cast<void*>(&pooled));
  EXPECT_EQ(pooled, 3u);
}

TEST_F(ListMod, TheEditorChangesTheKindAndEmptiesTheList) {
  Instance* list = Make();
  FillInts(list, {1, 2});
  Out out;
  Get(list, "randomBegin", nullptr, out.data());
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(list->ToEditor(editor, 0), 0);
  ASSERT_NE(editor.Item(6), nullptr);
  EXPECT_EQ(editor.Item(6)->tag, tag::kChoice);
  EXPECT_EQ(list->ToEditor(editor, 1), 1);
  EXPECT_EQ(list->ToEditor(editor, -1), 1);
  // The same kind back keeps the elements.
  EXPECT_EQ(list->FromEditor(editor), 0);
  EXPECT_EQ(Ints(list), (std::vector<int32_t>{1, 2}));
  EXPECT_NE(+Rec(list)->randomBeginPool, 0u);
  // Another kind empties the list and drops the pool.
  EXPECT_EQ(ChooseKind(list, list_testing::kString), 0);
  EXPECT_EQ(Count(list), 0u);
  EXPECT_EQ(+Rec(list)->elementTag, tag::kText);
  EXPECT_EQ(+Rec(list)->randomBeginPool, 0u);
}

TEST_F(ListMod, MessageOneHundredTwoEmptiesTheListAndNothingElse) {
  Instance* list = Make(list_testing::kString);
  FillTexts(list, {"a", "b"});
  Rec(list)->listError = 2;
  EXPECT_EQ(list->HandleMessage(stage_, 103, 0), 1);
  EXPECT_EQ(list->HandleMessage(stage_, 102, 1), 1);
  EXPECT_EQ(Count(list), 2u);
  Rec(list)->listError = 2;
  EXPECT_EQ(list->HandleMessage(stage_, 102, 0), 0);
  EXPECT_EQ(Error(list), 2);
  EXPECT_EQ(Count(list), 0u);
  EXPECT_EQ(list->VisitMessageIds(1, 2), 0);
  ASSERT_FALSE(host_->Visits().empty());
  EXPECT_EQ(host_->Visits().back().id, 102u);
  EXPECT_EQ(host_->Visits().back().a, 1u);
}

TEST_F(ListMod, CopiesAndAssignmentsOwnTheirElements) {
  Instance* source = Make(list_testing::kString);
  FillTexts(source, {"one", "", "three"});
  Out out;
  Get(source, "randomBegin", nullptr, out.data());
  FreeAnswer(out.data());
  Rec(source)->listError = 2;

  Instance* copy = host_->CopyConstruct(*source, stage_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(+Rec(copy)->listError, 2);
  EXPECT_EQ(Texts(copy), (std::vector<std::string>{"one", "", "three"}));
  EXPECT_NE(+Rec(copy)->list, +Rec(source)->list);
  EXPECT_NE(+Rec(copy)->randomBeginPool, 0u);

  Instance* assigned = Make();
  FillInts(assigned, {5});
  EXPECT_EQ(assigned->Assign(*source), 0);
  EXPECT_EQ(Texts(assigned), (std::vector<std::string>{"one", "", "three"}));
  // The source going away leaves the copies whole.
  host_->Destroy(source);
  EXPECT_EQ(Texts(copy), (std::vector<std::string>{"one", "", "three"}));
  EXPECT_EQ(assigned->Assign(*assigned), 0);
  EXPECT_EQ(Texts(assigned), (std::vector<std::string>{"one", "", "three"}));
  // A source without a pool takes the copy's away.
  Instance* plain = Make();
  EXPECT_EQ(copy->Assign(*plain), 0);
  EXPECT_EQ(+Rec(copy)->randomBeginPool, 0u);
  EXPECT_EQ(Count(copy), 0u);
}

TEST_F(ListMod, StringElementsAreHandedOutAsCopies) {
  Instance* list = Make(list_testing::kString);
  FillTexts(list, {"hello"});
  const IntegerValue one = Integer(1);
  // Into a buffer of 5 bytes: at most 4 characters.
  TextBuffer small(5);
  ASSERT_EQ(Get(list, "value", &one, small.Value()), 0);
  EXPECT_EQ(small.Text(), "hell");
  // Into an unassigned value: a text handed over to the reader.
  Out out;
  ASSERT_EQ(Get(list, "value", &one, out.data()), 0);
  EXPECT_EQ(+out.As<TextValue>().owner, kHandedOver);
  EXPECT_EQ(testing_support::TextOf(out.data()), "hello");
  FreeAnswer(out.data());
  // Into an integer: left alone, and the read counts as done.
  Out integer(tag::kInteger);
  ASSERT_EQ(Get(list, "value", &one, integer.data()), 0);
  EXPECT_EQ(integer.Int(), 0);
}

}  // namespace
