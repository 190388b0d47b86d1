// ListMod's stored form and whole lists crossing between objects: StoredSize, Save and Load of
// every kind, damaged and foreign records, the transfer value and the assignment through a
// reference.
#include "ostrel/list_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ostrel/list_mod_support.h"

namespace {

using list_testing::ListModTest;
using list_testing::Out;
using refhost::HostStream;
using refhost::Instance;
using refhost::Value;
using testing_support::Integer;
using testing_support::Reference;
using testing_support::TestText;

class ListStore : public ListModTest {
 protected:
  // Saves `list`, checking that StoredSize said what Save wrote.
  HostStream& Saved(Instance* list) {
    HostStream& stream = host_->NewStream();
    int16_t version = -1;
    uint32_t size = 0;
    EXPECT_EQ(list->StoredSize(stream, &version, &size), 0);
    EXPECT_EQ(version, 1);
    EXPECT_EQ(list->Save(stream), 0);
    EXPECT_EQ(stream.Bytes().size(), size);
    stream.Rewind();
    return stream;
  }
  HostStream& Stream(const std::vector<Value>& values) {
    HostStream& stream = host_->NewStream();
    for (const Value& v : values) EXPECT_TRUE(stream.Write(v));
    return stream;
  }
  static Value Choice(uint32_t selection) {
    const ChoiceValue choice{tag::kChoice, selection, 0};
    return Value::Raw(&choice, sizeof choice);
  }
  // A transfer value as a script could write it.
  static ostrel::ListTransferValue Transfer(int32_t count, uint16_t elementTag, uint32_t list) {
    return ostrel::ListTransferValue{ostrel::kListTransferTag, count, elementTag, list, 1};
  }
  uint16_t AssignFrom(Instance* list, uint32_t object) {
    const ReferenceValue reference = Reference(object);
    return SetAt(list, 0, &reference);
  }
};

TEST_F(ListStore, EveryKindSavesAndLoadsItsElementsInOrder) {
  const uint32_t a = host_->AddObject(stage_, "a");
  const uint32_t b = host_->AddObject(stage_, "b");
  for (uint32_t kind = 1; kind <= 9; ++kind) {
    Instance* list = Make(kind);
    ASSERT_EQ(SetCount(list, 3), 0);
    if (kind == list_testing::kString) {
      TestText text("abc");
      SetAt(list, 1, text.Value());
      TestText none("");
      SetAt(list, 3, none.Value());  // an element without text
    } else if (kind == list_testing::kReference) {
      const ReferenceValue ra = Reference(a), rb = Reference(b);
      SetAt(list, 1, &ra);
      SetAt(list, 3, &rb);
    } else if (kind == list_testing::kPoint) {
      const PointValue p{tag::kPoint, -3, 4};
      SetAt(list, 2, &p);
    } else {
      SetInt(list, 2, 1);  // refused by the kinds it does not fit, which is fine here
    }
    std::vector<Value> before = All(list);
    HostStream& stream = Saved(list);
    Instance* loaded = Make();
    ASSERT_EQ(loaded->Load(stream, 1), 0) << kind;
    EXPECT_EQ(stream.ReadPosition(), stream.Bytes().size()) << kind;
    EXPECT_EQ(+Rec(loaded)->kindValue.selection, kind);
    EXPECT_EQ(All(loaded), before) << kind;
    host_->Destroy(loaded);
    host_->Destroy(list);
  }
}

TEST_F(ListStore, StoredSizesCountTheElements) {
  Instance* ints = Make();
  FillInts(ints, {1, 2, 3});
  HostStream& stream = host_->NewStream();
  int16_t version = 0;
  uint32_t size = 0;
  ASSERT_EQ(ints->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(size, 10u + 6u + 18u);
  // A string of 3 characters counts 14 bytes; one without text 11.
  Instance* texts = Make(list_testing::kString);
  FillTexts(texts, {"abc", ""});
  ASSERT_EQ(texts->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(size, 10u + 6u + 14u + 11u);
  Saved(texts);
}

TEST_F(ListStore, AReferenceListIsStoredAsPathsAndReadBackAsReferences) {
  const uint32_t a = host_->AddObject(stage_, "a");
  Instance* list = Make(list_testing::kReference);
  const ReferenceValue ra = Reference(a);
  ASSERT_EQ(SetAt(list, 1, &ra), 0);
  HostStream& stream = host_->NewStream();
  int16_t version = 0;
  uint32_t size = 0;
  ASSERT_EQ(list->StoredSize(stream, &version, &size), 0);
  std::vector<std::vector<uint8_t>> records = Records(Rec(list)->list, 18);
  ObjectPathValue path;
  std::memcpy(&path, records[0].data(), sizeof path);
  EXPECT_EQ(+path.tag, tag::kObjectPath);
  EXPECT_EQ(+path.count, 2u);  // /stage/a
  EXPECT_EQ(size, 10u + 6u + 10u + 8u);
  // Read as a reference, the element is one again.
  EXPECT_EQ(At(list, 1), Value::Reference(a));
  records = Records(Rec(list)->list, 18);
  std::memcpy(&path, records[0].data(), sizeof path);
  EXPECT_EQ(+path.tag, tag::kReference);
  // Save turns it into a path by itself: what it writes is what StoredSize counted.
  ASSERT_EQ(list->Save(stream), 0);
  EXPECT_EQ(stream.Bytes().size(), size);
  stream.Rewind();
  Instance* loaded = Make();
  ASSERT_EQ(loaded->Load(stream, 1), 0);
  EXPECT_EQ(All(loaded), (std::vector<Value>{Value::Reference(a)}));
}

TEST_F(ListStore, VersionZeroLeavesAnEmptyListOfTheStoredKind) {
  HostStream& stream = Stream({Choice(4), Value::Integer(2), Value::Real(1), Value::Real(2)});
  Instance* list = Make();
  FillInts(list, {7});
  ASSERT_EQ(list->Load(stream, 0), 0);
  EXPECT_EQ(stream.ReadPosition(), stream.Bytes().size());
  EXPECT_EQ(+Rec(list)->elementTag, tag::kReal);
  EXPECT_EQ(Count(list), 0u);
}

// Whatever is wrong with a record, Load answers 1 and the list stays as it was.
TEST_F(ListStore, DamagedAndForeignRecordsAreRefusedWholesale) {
  const Value text = Value::Text("x");
  const Value path = Value::Path(std::vector<uint32_t>(257, 1));
  struct Case {
    const char* what;
    std::vector<Value> values;
    int16_t version;
  };
  const std::vector<Case> cases = {
      {"version 2", {Choice(1), Value::Integer(0)}, 2},
      {"version -1", {Choice(1), Value::Integer(0)}, -1},
      {"kind 0", {Choice(0), Value::Integer(0)}, 1},
      {"kind 10", {Choice(10), Value::Integer(0)}, 1},
      {"no kind", {Value::Integer(1), Value::Integer(0)}, 1},
      {"negative count", {Choice(1), Value::Integer(-1)}, 1},
      {"count too large", {Choice(1), Value::Integer(32768)}, 1},
      {"cut short", {Choice(1), Value::Integer(3), Value::Integer(1)}, 1},
      {"cut short, version 0", {Choice(1), Value::Integer(2)}, 0},
      {"no count", {Choice(1)}, 1},
      {"foreign element", {Choice(1), Value::Integer(1), Value::Text("x")}, 1},
      {"text into points", {Choice(2), Value::Integer(1), text}, 1},
      {"path too long", {Choice(6), Value::Integer(1), path}, 1},
      {"empty stream", {}, 1},
  };
  for (const Case& c : cases) {
    Instance* list = Make(list_testing::kString);
    FillTexts(list, {"kept"});
    HostStream& stream = Stream(c.values);
    EXPECT_EQ(list->Load(stream, c.version), 1) << c.what;
    EXPECT_EQ(+Rec(list)->elementTag, tag::kText) << c.what;
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"kept"})) << c.what;
    host_->Destroy(list);
  }
}

TEST_F(ListStore, TheWholeListReadAnswersATransferOfCopies) {
  const uint32_t b = host_->AddObject(stage_, "b");
  Instance* list = Make(list_testing::kString, b);
  FillTexts(list, {"x", "y"});
  Out integer(tag::kInteger);
  const IntegerValue zero = Integer(0);
  Rec(list)->listError = 4;
  EXPECT_EQ(Get(list, "value", &zero, integer.data()), 1);
  EXPECT_EQ(Error(list), 2);

  Rec(list)->listError = 4;
  Out out;
  const ReferenceValue asked = Reference(b);
  std::memcpy(out.data(), &asked, sizeof asked);
  ASSERT_EQ(Get(list, "value", &zero, out.data()), 0);
  EXPECT_EQ(+Rec(list)->listError, 4);  // the read does not touch it
  const auto transfer = out.As<ostrel::ListTransferValue>();
  EXPECT_EQ(+transfer.tag, ostrel::kListTransferTag);
  EXPECT_EQ(+transfer.count, 2);
  EXPECT_EQ(+transfer.elementTag, tag::kText);
  EXPECT_EQ(+transfer.producer, b);
  EXPECT_EQ(Records(transfer.list, 18), Records(Rec(list)->list, 18));
  HostCall(abi::service::kList, abi::method::kDisposeList, transfer.list, 0, nullptr);

  // Asked for by no object: the producer is -1.
  const ReferenceValue nobody = Reference(0);
  std::memcpy(out.data(), &nobody, sizeof nobody);
  ASSERT_EQ(Get(list, "value", &zero, out.data()), 0);
  EXPECT_EQ(+out.As<ostrel::ListTransferValue>().producer, 0xFFFFFFFFu);
  HostCall(abi::service::kList, abi::method::kDisposeList, out.As<ostrel::ListTransferValue>().list,
           0, nullptr);
}

TEST_F(ListStore, AssigningAReferenceCopiesTheOtherList) {
  const uint32_t a = host_->AddObject(stage_, "a");
  const uint32_t b = host_->AddObject(stage_, "b");
  const uint32_t t = host_->AddObject(stage_, "t");
  Instance* ints = Make(list_testing::kInteger, b);
  FillInts(ints, {1, 2, 3});
  Instance* reals = Make(list_testing::kReal, a);
  EXPECT_EQ(AssignFrom(reals, b), 0);
  EXPECT_EQ(All(reals), (std::vector<Value>{Value::Real(1), Value::Real(2), Value::Real(3)}));
  EXPECT_EQ(Ints(ints), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Error(reals), 0);

  // Strings do not fit integers: refused, the list unchanged, the transfer list gone (the
  // fixture finds no leak).
  Instance* texts = Make(list_testing::kString, t);
  FillTexts(texts, {"p", "q"});
  EXPECT_EQ(AssignFrom(ints, t), 1);
  EXPECT_EQ(Error(ints), 3);
  EXPECT_EQ(Ints(ints), (std::vector<int32_t>{1, 2, 3}));
  // Strings into strings keep every element, the empty ones too.
  FillTexts(texts, {"p", "", "q"});
  Instance* copy = Make(list_testing::kString, a);
  EXPECT_EQ(AssignFrom(copy, t), 0);
  EXPECT_EQ(Texts(copy), (std::vector<std::string>{"p", "", "q"}));

  // The caller's value is its own: the reference is still a reference afterwards.
  ReferenceValue reference = Reference(b);
  const IntegerValue zero = Integer(0);
  IntegerValue index = zero;
  ASSERT_EQ(Set(reals, "value", &index, &reference), 0);
  EXPECT_EQ(+reference.tag, tag::kReference);
  EXPECT_EQ(+reference.object, b);
}

TEST_F(ListStore, AssigningASingleValueLeavesAOneElementList) {
  Instance* list = Make();
  FillInts(list, {4, 5});
  IntegerValue index = Integer(0);
  const IntegerValue seven = Integer(7);
  ASSERT_EQ(Set(list, "value", &index, &seven), 0);
  EXPECT_EQ(+index.value, 1);
  EXPECT_EQ(Ints(list), (std::vector<int32_t>{7}));
  // A value that does not fit, or cannot be converted, changes nothing.
  TestText text("x");
  index = Integer(0);
  EXPECT_EQ(Set(list, "value", &index, text.Value()), 1);
  EXPECT_EQ(Error(list), 3);
  const RealValue huge = testing_support::Real(1e300);
  EXPECT_EQ(Set(list, "value", &index, &huge), 1);
  EXPECT_EQ(Error(list), 3);
  EXPECT_EQ(Ints(list), (std::vector<int32_t>{7}));
  // An object whose "value" is no list answers with a single value.
  const uint32_t holder = host_->AddObject(stage_, "holder");
  host_->SetObjectValue(holder, "value", Value::Reference(stage_));
  Instance* references = Make(list_testing::kReference);
  FillInts(references, {});
  EXPECT_EQ(AssignFrom(references, holder), 0);
  EXPECT_EQ(All(references), (std::vector<Value>{Value::Reference(stage_)}));
}

TEST_F(ListStore, ATransferValueIsCheckedAgainstTheHostsList) {
  Instance* source = Make();
  FillInts(source, {1, 2, 3});
  Instance* list = Make();
  FillInts(list, {9});
  const uint32_t handle = Rec(source)->list;
  struct Case {
    const char* what;
    ostrel::ListTransferValue transfer;
    uint16_t status;
    std::vector<int32_t> after;
  };
  const Case cases[] = {
      {"as it is", Transfer(3, tag::kInteger, handle), 0, {1, 2, 3}},
      {"fewer", Transfer(2, tag::kInteger, handle), 0, {1, 2}},
      {"more than there are", Transfer(1000000, tag::kInteger, handle), 0, {1, 2, 3}},
      {"a negative count", Transfer(-1, tag::kInteger, handle), 1, {9}},
      {"reals into integers", Transfer(3, tag::kReal, handle), 1, {9}},
      {"texts into integers", Transfer(3, tag::kText, handle), 1, {9}},
      {"none", Transfer(0, tag::kInteger, handle), 0, {}},
  };
  for (const Case& c : cases) {
    FillInts(list, {9});
    EXPECT_EQ(SetAt(list, 1, &c.transfer), c.status) << c.what;
    EXPECT_EQ(Ints(list), c.after) << c.what;
  }
  // An unknown handle, or a list disposed since, is refused (the host books the bad handle).
  FillInts(list, {9});
  const ostrel::ListTransferValue unknown = Transfer(3, tag::kInteger, 0x7777);
  EXPECT_EQ(Set(list, "value", nullptr, &unknown), 1);
  EXPECT_EQ(Error(list), 3);
  EXPECT_EQ(Ints(list), (std::vector<int32_t>{9}));
  EXPECT_EQ(host_->Ownership().TakeFaults().size(), 1u);
}

TEST_F(ListStore, AListCopiesItselfThroughItsOwnTransfer) {
  const uint32_t owner = host_->AddObject(stage_, "self");
  Instance* list = Make(list_testing::kString, owner);
  FillTexts(list, {"a", "", "c"});
  Out out;
  const ReferenceValue asked = Reference(owner);
  std::memcpy(out.data(), &asked, sizeof asked);
  const IntegerValue zero = Integer(0);
  ASSERT_EQ(Get(list, "value", &zero, out.data()), 0);
  ASSERT_EQ(Set(list, "value", nullptr, out.data()), 0);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "", "c"}));
  HostCall(abi::service::kList, abi::method::kDisposeList, out.As<ostrel::ListTransferValue>().list,
           0, nullptr);
}

}  // namespace
