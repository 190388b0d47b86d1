#include <cstring>
#include <limits>
#include <string>

#include "tests/host/host_test_support.h"

namespace {

using testing_support::Integer;
using testing_support::Real;
using testing_support::TestText;
using testing_support::TextBuffer;

class ValueTest : public HostTest {
 protected:
  uint16_t Convert(const void* source, void* destination) {
    return S(svc::kConvert, mth::kConvertValue, static_cast<void*>(nullptr), source, destination);
  }
  template <typename T>
  uint32_t StoredSize(refhost::HostStream& stream, const T& value) {
    uint32_t size = 0;
    EXPECT_EQ(CallHostMethod(stream.Object(), 1, mth::kStoredSizeOf,
                             static_cast<const void*>(&value), static_cast<void*>(&size)),
              0);
    return size;
  }
  template <typename T>
  uint16_t Write(refhost::HostStream& stream, const T& value) {
    return CallHostMethod(stream.Object(), 1, mth::kWriteValue, static_cast<const void*>(&value));
  }
  uint16_t Read(refhost::HostStream& stream, void* value) {
    return CallHostMethod(stream.Object(), 1, mth::kReadValue, value);
  }
};

TEST_F(ValueTest, NumbersAndTextsConvertAmongEachOther) {
  IntegerValue i = Integer(0);
  RealValue r = Real(2.5);
  EXPECT_EQ(Convert(&r, &i), 0);
  EXPECT_EQ(Get(i.value), 3);  // halves away from zero
  r = Real(-2.5);
  EXPECT_EQ(Convert(&r, &i), 0);
  EXPECT_EQ(Get(i.value), -3);
  r = Real(1e12);
  i = Integer(5);
  EXPECT_NE(Convert(&r, &i), 0);  // out of range: refused, untouched
  EXPECT_EQ(Get(i.value), 5);
  FlagValue f = testing_support::Flag(false);
  i = Integer(-9);
  EXPECT_EQ(Convert(&i, &f), 0);
  EXPECT_EQ(Get(f.value), 1);
  RealValue back = Real(0);
  EXPECT_EQ(Convert(&f, &back), 0);
  EXPECT_EQ(Get(back.value), 1.0);

  TestText number(" 42 ");
  EXPECT_EQ(Convert(number.Value(), &i), 0);
  EXPECT_EQ(Get(i.value), 42);
  TestText word("forty");
  EXPECT_NE(Convert(word.Value(), &i), 0);
  EXPECT_EQ(Get(i.value), 42);

  // Into a text with a buffer: at most capacity - 1 characters, owner unchanged.
  TextBuffer small(4);
  i = Integer(-12345);
  EXPECT_EQ(Convert(&i, small.Value()), 0);
  EXPECT_EQ(small.Text(), "-12");
  EXPECT_EQ(small.Length(), 3u);
  // Without a buffer: a new tracked one, owned by the instance named in the call.
  TextValue fresh{tag::kTextSecond, 0, 0, 0, nullptr};
  int instanceWord = 0;
  EXPECT_EQ(S(svc::kConvert, mth::kConvertValue, static_cast<void*>(&instanceWord),
              static_cast<const void*>(&i), static_cast<void*>(&fresh)),
            0);
  EXPECT_EQ(Get(fresh.tag), tag::kTextSecond);  // the preset tag stays
  EXPECT_STREQ(Get(fresh.chars), "-12345");
  EXPECT_EQ(Get(fresh.capacity), 7u);
  EXPECT_EQ(Get(fresh.owner), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&instanceWord)));
  EXPECT_EQ(host_->Ownership().Find(reinterpret_cast<uintptr_t>(Get(fresh.chars)))->size, 7u);
  EXPECT_EQ(S(svc::kString, mth::kFreeString, Get(fresh.chars)), 0);

  // Anything else is refused.
  MessageIdValue id = testing_support::MessageId(5);
  EXPECT_NE(Convert(&id, &i), 0);
  PointValue p{tag::kPoint, 1, 2};
  EXPECT_NE(Convert(&p, &i), 0);
}

TEST_F(ValueTest, ReferencesAndObjectPathsConvertThroughTheTree) {
  uint32_t scene = host_->AddObject(0, "scene");
  uint32_t sprite = host_->AddObject(scene, "sprite");
  ReferenceValue r = testing_support::Reference(sprite);
  uint32_t entries[8] = {};
  ObjectPathValue path{tag::kObjectPath, 8, entries};
  EXPECT_EQ(Convert(&r, &path), 0);
  EXPECT_EQ(Get(path.count), 2);
  ReferenceValue again = testing_support::Reference(0);
  EXPECT_EQ(Convert(&path, &again), 0);
  EXPECT_EQ(Get(again.object), sprite);
  TextBuffer text(32);
  EXPECT_EQ(Convert(&r, text.Value()), 0);
  EXPECT_EQ(text.Text(), "/scene/sprite");
  // A path survives the object being reloaded under a new handle.
  uint32_t reloaded = host_->ReplaceObject(sprite);
  EXPECT_EQ(Convert(&path, &again), 0);
  EXPECT_EQ(Get(again.object), reloaded);
  // Too little room in the destination's array is refused.
  uint32_t one[1] = {};
  ObjectPathValue tight{tag::kObjectPath, 1, one};
  EXPECT_NE(Convert(&path, &tight), 0);
  // A path to nowhere gives no object.
  host_->RemoveObject(scene);
  EXPECT_EQ(Convert(&path, &again), 0);
  EXPECT_EQ(Get(again.object), 0u);
}

TEST_F(ValueTest, StoredSizesEqualTheBytesWrittenAndValuesReadBack) {
  refhost::HostStream& stream = host_->NewStream();
  IntegerValue i = Integer(-7);
  MessageIdValue id = testing_support::MessageId(1802, 3);
  TestText text("hello");
  uint32_t entries[3] = {4, 5, 6};
  ObjectPathValue path{tag::kObjectPath, 3, entries};
  Record40Value record{};
  record.tag = tag::kRecord40;
  record.bytes[39] = 9;

  size_t before = 0;
  auto check = [&](uint32_t size) {
    EXPECT_EQ(stream.Bytes().size() - before, size);
    before = stream.Bytes().size();
  };
  EXPECT_EQ(StoredSize(stream, i), 6u);
  ASSERT_EQ(Write(stream, i), 0);
  check(6);
  EXPECT_EQ(StoredSize(stream, id), 10u);
  ASSERT_EQ(Write(stream, id), 0);
  check(10);
  uint32_t textSize = 0;
  CallHostMethod(stream.Object(), 1, mth::kStoredSizeOf, text.Value(),
                 static_cast<void*>(&textSize));
  EXPECT_EQ(textSize, 10u + 5 + 1);
  ASSERT_EQ(CallHostMethod(stream.Object(), 1, mth::kWriteValue, text.Value()), 0);
  check(textSize);
  EXPECT_EQ(StoredSize(stream, path), 10u + 4 * 3);
  ASSERT_EQ(Write(stream, path), 0);
  check(22);
  EXPECT_EQ(StoredSize(stream, record), 42u);
  ASSERT_EQ(Write(stream, record), 0);
  check(42);
  PointValue unknownToStreams{static_cast<uint16_t>(9999), 0, 0};
  EXPECT_NE(Write(stream, unknownToStreams), 0);

  IntegerValue i2 = Integer(0);
  MessageIdValue id2{};
  id2.tag = tag::kMessageId;
  ASSERT_EQ(Read(stream, &i2), 0);
  EXPECT_EQ(Get(i2.value), -7);
  ASSERT_EQ(Read(stream, &id2), 0);
  EXPECT_EQ(Get(id2.id), 1802u);
  EXPECT_EQ(Get(id2.second), 3u);
  // A text into a 4-byte buffer keeps 3 characters; the next read goes on after the text.
  TextBuffer small(4);
  ASSERT_EQ(Read(stream, small.Value()), 0);
  EXPECT_EQ(small.Text(), "hel");
  uint32_t got[3] = {};
  ObjectPathValue path2{tag::kObjectPath, 3, got};
  ASSERT_EQ(Read(stream, &path2), 0);
  EXPECT_EQ(Get(path2.count), 3);
  EXPECT_EQ(got[2], 6u);
  Record40Value record2{};
  record2.tag = tag::kRecord40;
  ASSERT_EQ(Read(stream, &record2), 0);
  EXPECT_EQ(record2.bytes[39], 9);
  // Past the end: refused, value untouched.
  i2 = Integer(55);
  EXPECT_NE(Read(stream, &i2), 0);
  EXPECT_EQ(Get(i2.value), 55);

  // A text into a value without a buffer gets a tracked buffer that the reader frees.
  stream.Rewind();
  ASSERT_EQ(Read(stream, &i2), 0);
  ASSERT_EQ(Read(stream, &id2), 0);
  TextValue none{tag::kText, 0, 0, 0, nullptr};
  ASSERT_EQ(Read(stream, &none), 0);
  ASSERT_NE(Get(none.chars), nullptr);
  EXPECT_STREQ(Get(none.chars), "hello");
  EXPECT_EQ(Get(none.length), 5u);
  EXPECT_EQ(S(svc::kString, mth::kFreeString, Get(none.chars)), 0);
}

TEST_F(ValueTest, TheEditorKeepsCopiesAndConvertsOnTheWayOut) {
  refhost::HostEditor& editor = host_->NewEditor();
  void* e = editor.Object();
  {
    TestText text("/scene/thing");
    ASSERT_EQ(
        CallHostMethod(e, 1, mth::kPutItem, int16_t{4}, static_cast<const void*>(text.Value())), 0);
  }  // the item is the host's own copy
  EXPECT_EQ(editor.ItemText(4), "/scene/thing");
  abi::ItemInfo info{};
  ASSERT_EQ(
      CallHostMethod(e, 1, mth::kGetItemInfo, int16_t{4}, int16_t{1}, static_cast<void*>(&info)),
      0);
  EXPECT_EQ(Get(info.textLength), 12.0);
  ASSERT_EQ(
      CallHostMethod(e, 1, mth::kGetItemInfo, int16_t{5}, int16_t{1}, static_cast<void*>(&info)),
      0);
  EXPECT_EQ(Get(info.textLength), 0.0);
  EXPECT_NE(
      CallHostMethod(e, 1, mth::kGetItemInfo, int16_t{4}, int16_t{2}, static_cast<void*>(&info)),
      0);

  TextBuffer eight(8);
  ASSERT_EQ(CallHostMethod(e, 1, mth::kGetItem, int16_t{4}, eight.Value()), 0);
  EXPECT_EQ(eight.Text(), "/scene/");
  editor.SetItem(6, refhost::Value::Integer(12));
  RealValue real = Real(0);
  ASSERT_EQ(CallHostMethod(e, 1, mth::kGetItem, int16_t{6}, static_cast<void*>(&real)), 0);
  EXPECT_EQ(Get(real.value), 12.0);
  MessageIdValue id{};
  id.tag = tag::kMessageId;
  EXPECT_NE(CallHostMethod(e, 1, mth::kGetItem, int16_t{4}, static_cast<void*>(&id)), 0);
  EXPECT_NE(CallHostMethod(e, 1, mth::kGetItem, int16_t{99}, static_cast<void*>(&real)), 0);

  EXPECT_EQ(CallHostMethod(e, 1, mth::kDisableItem, int16_t{6}, int16_t{1}), 0);
  EXPECT_TRUE(editor.Disabled(6));
  EXPECT_EQ(CallHostMethod(e, 1, mth::kDisableItem, int16_t{6}, int16_t{0}), 0);
  EXPECT_FALSE(editor.Disabled(6));
}

TEST_F(ValueTest, CopyValueHandsOverDeepCopiesThatReleaseValueGivesBack) {
  TestText text("deep");
  TextValue copy{};
  ASSERT_EQ(S(svc::kObject, mth::kCopyValue, static_cast<void*>(&copy), text.Value()), 0);
  EXPECT_EQ(Get(copy.owner), kHandedOver);
  EXPECT_STREQ(Get(copy.chars), "deep");
  EXPECT_NE(Get(copy.chars), Get(static_cast<TextValue*>(text.Value())->chars));
  EXPECT_EQ(host_->Ownership().Leaks().size(), 1u);
  ASSERT_EQ(S(svc::kObject, mth::kReleaseValue, static_cast<void*>(&copy)), 0);
  EXPECT_EQ(Get(copy.tag), tag::kEmpty);
  EXPECT_TRUE(host_->Ownership().Leaks().empty());
  // Releasing again finds nothing to free.
  EXPECT_EQ(S(svc::kObject, mth::kReleaseValue, static_cast<void*>(&copy)), 0);

  ChoiceValue choice{tag::kChoice, 201, 5};
  ChoiceValue choice2{};
  ASSERT_EQ(S(svc::kObject, mth::kCopyValue, static_cast<void*>(&choice2),
              static_cast<const void*>(&choice)),
            0);
  EXPECT_EQ(std::memcmp(&choice, &choice2, sizeof choice), 0);
  PointValue unknown{static_cast<uint16_t>(4242), 0, 0};
  IntegerValue untouched = Integer(3);
  EXPECT_NE(S(svc::kObject, mth::kCopyValue, static_cast<void*>(&untouched),
              static_cast<const void*>(&unknown)),
            0);
  EXPECT_EQ(Get(untouched.value), 3);
}

}  // namespace

TEST_F(ValueTest, ADefaultValueIsTheEmptyValueInTheEditorAndInStreams) {
  // An editor item cleared to a default value reads as "empty", replacing whatever kind the
  // reader preset; it must not leave the preset request tag behind as if it were a value.
  refhost::HostEditor& editor = host_->NewEditor();
  editor.SetItem(18, refhost::Value{});
  uint8_t slot[18] = {};
  const uint16_t request = refhost::hosttag::kCueRequest;
  std::memcpy(slot, &request, 2);
  ASSERT_EQ(
      CallHostMethod(editor.Object(), 1, mth::kGetItem, int16_t{18}, static_cast<void*>(slot)), 0);
  uint16_t got;
  std::memcpy(&got, slot, 2);
  EXPECT_EQ(got, tag::kEmpty);

  // Written to a stream it takes the size StoredSize promised, and reads back as empty.
  refhost::HostStream& stream = host_->NewStream();
  EXPECT_EQ(stream.StoredSize(refhost::Value{}), 2u);
  ASSERT_TRUE(stream.Write(refhost::Value{}));
  EXPECT_EQ(stream.Bytes().size(), 2u);
  refhost::Value back = refhost::Value::Integer(5);
  ASSERT_TRUE(stream.Read(&back));
  EXPECT_EQ(back.tag, tag::kEmpty);
  EXPECT_TRUE(back == refhost::Value{});
}

TEST_F(ValueTest, AnEmptyStoredObjectPathReadsBackAsAnEmptyPath) {
  refhost::HostStream& stream = host_->NewStream();
  ObjectPathValue empty{tag::kObjectPath, 0, nullptr};
  ASSERT_EQ(Write(stream, empty), 0);
  EXPECT_EQ(stream.Bytes().size(), 10u);
  uint32_t entries[2] = {7, 7};
  ObjectPathValue back{tag::kObjectPath, 2, entries};
  ASSERT_EQ(Read(stream, &back), 0);
  EXPECT_EQ(Get(back.count), 0);
  refhost::Value value;
  stream.Rewind();
  ASSERT_TRUE(stream.Read(&value));
  EXPECT_EQ(value.tag, tag::kObjectPath);
  EXPECT_TRUE(value.entries.empty());
}

TEST_F(ValueTest, ARealThatIsNotANumberIsRefusedAsAnInteger) {
  const double notANumber = std::numeric_limits<double>::quiet_NaN();
  RealValue nan = Real(notANumber);
  IntegerValue i = Integer(41);
  EXPECT_NE(Convert(&nan, &i), 0);
  EXPECT_EQ(Get(i.value), 41);
  // Nor does an editor item holding one turn into an integer on the way out.
  refhost::HostEditor& editor = host_->NewEditor();
  editor.SetItem(3, refhost::Value::Real(notANumber));
  EXPECT_NE(CallHostMethod(editor.Object(), 1, mth::kGetItem, int16_t{3}, static_cast<void*>(&i)),
            0);
  EXPECT_EQ(Get(i.value), 41);
  // Infinities are out of range as well.
  RealValue infinite = Real(std::numeric_limits<double>::infinity());
  EXPECT_NE(Convert(&infinite, &i), 0);
}
