// Print through the reference host: registration, its attributes and caption entries, the
// editor and the file dialog, the stored form, copies, and its message ids.
#include "tavin/print.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/common/plugin_fixture.h"
#include "win32/stand_in.h"

namespace {

using refhost::Instance;
using testing_support::Flag;
using testing_support::Integer;
using testing_support::MessageId;
using testing_support::Real;
using testing_support::TestText;
using testing_support::TextBuffer;
using testing_support::TextOf;
using testing_support::Unassigned;

constexpr uint32_t kPrintId = 302;

// Room for any value an attribute read may write.
struct AnyValue {
  uint8_t bytes[32];
  explicit AnyValue(uint16_t t) {
    std::memset(bytes, 0xA5, sizeof bytes);
    std::memcpy(bytes, &t, sizeof t);
  }
  uint16_t Tag() const {
    uint16_t t;
    std::memcpy(&t, bytes, sizeof t);
    return t;
  }
  template <typename T>
  T As() const {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }
};

class Print : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    owner_ = host_->AddObject(0, "movie");
    print_ = host_->Create("Print", owner_);
    ASSERT_NE(print_, nullptr);
  }

  tavin::PrintRecord& Record(Instance* instance = nullptr) {
    return *(instance == nullptr ? print_ : instance)->As<tavin::PrintRecord>();
  }

  uint16_t SetText(const char* name, int32_t entry, const std::string& text,
                   Instance* instance = nullptr) {
    TestText value(text);
    IntegerValue index = Integer(entry);
    return (instance == nullptr ? print_ : instance)->SetAttribute(name, &index, value.Value());
  }
  uint16_t SetValue(const char* name, int32_t entry, const void* value) {
    IntegerValue index = Integer(entry);
    return print_->SetAttribute(name, &index, value);
  }
  // A text attribute read into a buffer of the test's.
  std::string GetText(const char* name, int32_t entry, uint16_t* status = nullptr,
                      Instance* instance = nullptr) {
    TextBuffer out(512);
    IntegerValue index = Integer(entry);
    uint16_t s = (instance == nullptr ? print_ : instance)->GetAttribute(name, &index, out.Value());
    if (status != nullptr) *status = s;
    return out.Text();
  }
  int32_t GetNumber(const char* name, int32_t entry) {
    IntegerValue out = Integer(-1);
    IntegerValue index = Integer(entry);
    EXPECT_EQ(print_->GetAttribute(name, &index, &out), 0) << name;
    return out.value;
  }
  std::string Path() {
    TextBuffer out(512);
    EXPECT_EQ(print_->GetAttribute("filepath", nullptr, out.Value()), 0);
    return out.Text();
  }

  uint32_t owner_ = 0;
  Instance* print_ = nullptr;
};

TEST_F(Print, RegistersAsTheHostExpects) {
  const refhost::ClassInfo* info = host_->FindClass("Print");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->usable) << info->error;
  EXPECT_EQ(info->instanceSize, 48u);
  EXPECT_EQ(info->classFlags, 1u);
  EXPECT_EQ(info->interfaceName, "_QComponent");
  std::vector<uint16_t> columns;
  for (const refhost::SlotInfo& slot : info->slots) columns.push_back(slot.column);
  EXPECT_EQ(columns,
            (std::vector<uint16_t>{7, 8, 34, 9, 22, 23, 37, 26, 27, 17, 19, 18, 13, 14, 25, 29}));
}

TEST_F(Print, FreshInstance) {
  EXPECT_EQ(Path(), "None");
  EXPECT_EQ(+Record().filePath.capacity, 255u);
  EXPECT_EQ(+Record().filePath.length, 4u);
  EXPECT_EQ(+Record().filePath.owner, reinterpret_cast<uintptr_t>(print_->Record()));
  IntegerValue shown = Integer(-1);
  EXPECT_EQ(print_->GetAttribute("showdialog", nullptr, &shown), 0);
  EXPECT_EQ(+shown.value, 1);  // all 32 bits of the integer, not one word over the -1
  MessageIdValue id = MessageId(0, 9);
  IntegerValue one = Integer(1);
  EXPECT_EQ(print_->GetAttribute("EVENTS", &one, &id), 0);
  EXPECT_EQ(+id.tag, tag::kMessageId);
  EXPECT_EQ(+id.id, kPrintId);
  EXPECT_EQ(+id.second, 0u);
  // "events" takes the plain element 1 only, and cannot be written.
  IntegerValue selector = testing_support::EventsIndex(0x80, 1);
  FlagValue flagIndex = Flag(true);
  for (const void* index : {static_cast<const void*>(nullptr), static_cast<const void*>(&selector),
                            static_cast<const void*>(&flagIndex)}) {
    EXPECT_EQ(print_->GetAttribute("events", index, &id), 1);
  }
  EXPECT_EQ(print_->SetAttribute("events", &one, &id), 1);
  IntegerValue any = Integer(0);
  EXPECT_EQ(print_->GetAttribute("pagecount", nullptr, &any), 1);
  EXPECT_EQ(print_->SetAttribute("pagecount", nullptr, &any), 1);
  // No caption entry exists until one is written.
  uint16_t status = 0;
  GetText("textfont", 1, &status);
  EXPECT_EQ(status, 1);
}

TEST_F(Print, CaptionWriteAppendsOneDefaultEntry) {
  EXPECT_EQ(SetText("textstring", 1, "Hello"), 0);
  EXPECT_EQ(GetText("textstring", 1), "Hello");
  EXPECT_EQ(GetText("textfont", 1), "Helvetica");
  EXPECT_EQ(GetNumber("textsize", 1), 12);
  EXPECT_EQ(GetNumber("textstyle", 1), 0);
  PointValue position{tag::kPoint, 0, 0};
  IntegerValue one = Integer(1);
  EXPECT_EQ(print_->GetAttribute("textposition", &one, &position), 0);
  EXPECT_EQ(+position.x, 100);
  EXPECT_EQ(+position.y, 100);

  // Entry 3 of a one-entry list: one default entry is appended, and entry 3 still does not
  // exist, so the write is refused.
  IntegerValue size = Integer(30);
  EXPECT_EQ(SetValue("textsize", 3, &size), 1);
  EXPECT_EQ(GetNumber("textsize", 2), 12);
  uint16_t status = 0;
  GetText("textfont", 3, &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(SetValue("textsize", 3, &size), 0);
  EXPECT_EQ(GetNumber("textsize", 3), 30);
  // A new entry's alignment slot holds nothing.
  tavin::CaptionEntry entry;
  ASSERT_EQ(CallHostMethod(host_->ServiceObject(abi::service::kList), 1, abi::method::kGetListItem,
                           Record().textList, uint32_t{3}, &entry),
            0u);
  for (uint8_t byte : entry.captionAlignment) EXPECT_EQ(byte, 0);
}

TEST_F(Print, CaptionIndexMustNameAnEntry) {
  ASSERT_EQ(SetText("textfont", 1, "Courier"), 0);
  TestText text("x");
  TextBuffer out(64);
  RealValue realIndex = Real(1);
  IntegerValue zero = Integer(0);
  IntegerValue negative = Integer(-2);
  for (const char* name : {"textfont", "textsize", "textstyle", "textstring", "textposition"}) {
    for (const void* index :
         {static_cast<const void*>(nullptr), static_cast<const void*>(&realIndex),
          static_cast<const void*>(&zero), static_cast<const void*>(&negative)}) {
      EXPECT_EQ(print_->GetAttribute(name, index, out.Value()), 1) << name;
      EXPECT_EQ(print_->SetAttribute(name, index, text.Value()), 1) << name;
    }
  }
  EXPECT_EQ(GetText("textfont", 1), "Courier");
  // "textalignment" is accepted with or without an index and changes nothing.
  IntegerValue value = Integer(5);
  EXPECT_EQ(print_->SetAttribute("textalignment", nullptr, &value), 0);
  EXPECT_EQ(print_->GetAttribute("textalignment", nullptr, &value), 0);
  EXPECT_EQ(+value.value, 5);
}

TEST_F(Print, CaptionTextsAreTextValues) {
  // Each replaced text is freed: the test ends without a leak.
  EXPECT_EQ(SetText("textfont", 1, "Times"), 0);
  EXPECT_EQ(SetText("textfont", 1, "Arial"), 0);
  TestText second("Palatino", tag::kTextSecond);
  IntegerValue one = Integer(1);
  EXPECT_EQ(print_->SetAttribute("textfont", &one, second.Value()), 0);
  EXPECT_EQ(GetText("textfont", 1), "Palatino");
  // Not a text: refused, nothing changes.
  IntegerValue number = Integer(7);
  EXPECT_EQ(print_->SetAttribute("textstring", &one, &number), 1);
  EXPECT_EQ(print_->SetAttribute("textfont", &one, nullptr), 1);
  EXPECT_EQ(GetText("textfont", 1), "Palatino");
  // A text without characters is the empty text.
  TextValue none{tag::kText, 0, 0, 0, nullptr};
  EXPECT_EQ(print_->SetAttribute("textstring", &one, &none), 0);
  EXPECT_EQ(GetText("textstring", 1), "");
}

TEST_F(Print, CaptionTextReadsFillTheWholeOutput) {
  ASSERT_EQ(SetText("textstring", 1, "Hello there"), 0);
  IntegerValue one = Integer(1);
  // Unassigned: a new buffer handed over, with its length and capacity.
  AnyValue handed(tag::kUnassigned);
  EXPECT_EQ(print_->GetAttribute("textstring", &one, handed.bytes), 0);
  TextValue text = handed.As<TextValue>();
  EXPECT_EQ(+text.tag, tag::kText);
  EXPECT_EQ(+text.owner, kHandedOver);
  EXPECT_EQ(+text.length, 11u);
  EXPECT_EQ(+text.capacity, 12u);
  EXPECT_EQ(TextOf(handed.bytes), "Hello there");
  FreeHandedText(handed.bytes);
  // A text without a buffer is given one the same way.
  TextValue empty{tag::kTextSecond, 0, 0, 0, nullptr};
  EXPECT_EQ(print_->GetAttribute("textstring", &one, &empty), 0);
  EXPECT_EQ(+empty.tag, tag::kTextSecond);
  EXPECT_EQ(+empty.owner, kHandedOver);
  EXPECT_EQ(TextOf(&empty), "Hello there");
  FreeHandedText(&empty);
  // A buffer of the caller's: as much as fits, and its length.
  TextBuffer small(6);
  EXPECT_EQ(print_->GetAttribute("textstring", &one, small.Value()), 0);
  EXPECT_EQ(small.Text(), "Hello");
  EXPECT_EQ(small.Length(), 5u);
  // Any other kind of output is refused and left alone.
  AnyValue integer(tag::kInteger);
  EXPECT_EQ(print_->GetAttribute("textfont", &one, integer.bytes), 1);
  EXPECT_EQ(integer.bytes[2], 0xA5);
}

TEST_F(Print, CaptionNumbersAndPositions) {
  IntegerValue one = Integer(1);
  RealValue real = Real(14.6);
  EXPECT_EQ(print_->SetAttribute("textsize", &one, &real), 0);
  EXPECT_EQ(GetNumber("textsize", 1), 15);  // as the host converts it
  // A value the host cannot make an integer of changes nothing.
  TestText words("large");
  EXPECT_EQ(print_->SetAttribute("textsize", &one, words.Value()), 1);
  EXPECT_EQ(GetNumber("textsize", 1), 15);
  IntegerValue style = Integer(-3);
  EXPECT_EQ(print_->SetAttribute("textstyle", &one, &style), 0);
  EXPECT_EQ(GetNumber("textstyle", 1), -3);

  PointValue where{tag::kPoint, 5, -7};
  EXPECT_EQ(print_->SetAttribute("textposition", &one, &where), 0);
  // An integer's body is two 16-bit words: x = 1, y = 2.
  IntegerValue packed = Integer(0x00020001);
  EXPECT_EQ(print_->SetAttribute("textposition", &one, &packed), 0);
  FlagValue tooShort = Flag(true);
  EXPECT_EQ(print_->SetAttribute("textposition", &one, &tooShort), 1);
  AnyValue point(tag::kUnassigned);
  EXPECT_EQ(print_->GetAttribute("textposition", &one, point.bytes), 0);
  EXPECT_EQ(point.Tag(), tag::kPoint);
  EXPECT_EQ(+point.As<PointValue>().x, 1);
  EXPECT_EQ(+point.As<PointValue>().y, 2);

  // Outputs too short for the number become integers; an integer gets all 32 bits.
  for (uint16_t t : {tag::kUnassigned, tag::kEmpty}) {
    AnyValue size(t);
    EXPECT_EQ(print_->GetAttribute("textsize", &one, size.bytes), 0);
    EXPECT_EQ(size.Tag(), tag::kInteger);
    EXPECT_EQ(+size.As<IntegerValue>().value, 15);
  }
  // A wider output keeps its tag and takes the number in its body.
  AnyValue range(tag::kRange);
  EXPECT_EQ(print_->GetAttribute("textstyle", &one, range.bytes), 0);
  EXPECT_EQ(range.Tag(), tag::kRange);
  EXPECT_EQ(+range.As<RangeValue>().start, -3);
}

TEST_F(Print, ShowDialogReadsAndWrites) {
  FlagValue off = Flag(false);
  EXPECT_EQ(print_->SetAttribute("showdialog", nullptr, &off), 0);
  IntegerValue asInteger = Integer(-1);
  EXPECT_EQ(print_->GetAttribute("showdialog", nullptr, &asInteger), 0);
  EXPECT_EQ(+asInteger.value, 0);
  // The first 16-bit word of the value's body.
  IntegerValue wide = Integer(0x10001);
  EXPECT_EQ(print_->SetAttribute("showdialog", nullptr, &wide), 0);
  AnyValue flag(tag::kFlag);
  EXPECT_EQ(print_->GetAttribute("showdialog", nullptr, flag.bytes), 0);
  EXPECT_EQ(+flag.As<FlagValue>().value, 1);
  EXPECT_EQ(flag.bytes[4], 0xA5);  // nothing past the flag's body
  AnyValue unassigned(tag::kUnassigned);
  EXPECT_EQ(print_->GetAttribute("showdialog", nullptr, unassigned.bytes), 0);
  EXPECT_EQ(unassigned.Tag(), tag::kFlag);
  EXPECT_EQ(+unassigned.As<FlagValue>().value, 1);
  // A value too short to have the word is refused.
  TaggedValue empty{tag::kEmpty};
  EXPECT_EQ(print_->SetAttribute("showdialog", nullptr, &empty), 1);
  EXPECT_EQ(print_->SetAttribute("showdialog", nullptr, nullptr), 1);
  EXPECT_EQ(+Record().showDialog.value, 1);
}

TEST_F(Print, FilePathKeepsWithinItsBuffer) {
  TestText longPath(std::string(300, 'a'));
  EXPECT_EQ(print_->SetAttribute("filepath", nullptr, longPath.Value()), 0);
  EXPECT_EQ(Path(), std::string(254, 'a'));
  EXPECT_EQ(+Record().filePath.length, 254u);
  EXPECT_EQ(+Record().filePath.capacity, 255u);
  TestText second("C:\\pictures\\cat.bmp", tag::kTextSecond);
  EXPECT_EQ(print_->SetAttribute("filepath", nullptr, second.Value()), 0);
  EXPECT_EQ(Path(), "C:\\pictures\\cat.bmp");
  EXPECT_EQ(+Record().filePath.length, 19u);
  IntegerValue number = Integer(3);
  EXPECT_EQ(print_->SetAttribute("filepath", nullptr, &number), 1);
  EXPECT_EQ(Path(), "C:\\pictures\\cat.bmp");
  TextValue none{tag::kText, 0, 0, 0, nullptr};
  EXPECT_EQ(print_->SetAttribute("filepath", nullptr, &none), 0);
  EXPECT_EQ(Path(), "");
  EXPECT_EQ(+Record().filePath.length, 0u);
  // Read into an unassigned output, and refused into a number.
  AnyValue handed(tag::kUnassigned);
  EXPECT_EQ(print_->GetAttribute("filepath", nullptr, handed.bytes), 0);
  EXPECT_EQ(handed.Tag(), tag::kText);
  FreeHandedText(handed.bytes);
  EXPECT_EQ(print_->GetAttribute("filepath", nullptr, &number), 1);
}

TEST_F(Print, EditorShowsAndTakesItsItems) {
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(print_->ToEditor(editor, 1), 1);
  EXPECT_EQ(editor.PutCount(), 0);
  EXPECT_EQ(print_->ToEditor(editor, 0), 0);
  EXPECT_EQ(*editor.Item(4), refhost::Value::MessageId(kPrintId));
  EXPECT_EQ(editor.ItemText(14), "None");
  EXPECT_EQ(*editor.Item(15), refhost::Value::Flag(false));
  EXPECT_EQ(*editor.Item(10), refhost::Value::Flag(false));
  EXPECT_EQ(*editor.Item(7), refhost::Value::Flag(true));
  EXPECT_EQ(editor.PutCount(), 5);

  editor.SetItem(4, refhost::Value::MessageId(77, 1));
  editor.SetItemText(14, "C:\\art\\sun.bmp\r\r");
  editor.SetItem(15, refhost::Value::Flag(true));
  editor.SetItem(10, refhost::Value::Flag(true));
  editor.SetItem(7, refhost::Value::Flag(false));
  EXPECT_EQ(print_->FromEditor(editor), 0);
  EXPECT_EQ(+Record().printId.id, 77u);
  EXPECT_EQ(+Record().printId.second, 1u);
  EXPECT_EQ(Path(), "C:\\art\\sun.bmp");
  EXPECT_EQ(+Record().filePath.length, 14u);
  EXPECT_EQ(+Record().scaleToPage.value, 1);
  EXPECT_EQ(+Record().keepProportion.value, 1);
  EXPECT_EQ(+Record().reservedFlag.value, 0);
  editor.SetItemText(14, "");
  EXPECT_EQ(print_->FromEditor(editor), 0);
  EXPECT_EQ(Path(), "");
}

TEST_F(Print, EditorLengthIsClampedToTheTextRead) {
  struct Case {
    double reported;
    const char* stored;
  };
  const Case cases[] = {
      {-5, "ab\r\r"},  // nothing to look back from
      {2, "ab\r\r"},   // looks back from the 'b'
      {3, "ab"},       // the terminator goes where the first return was
      {1e300, "ab"},
      {std::numeric_limits<double>::quiet_NaN(), "ab"},
      {std::numeric_limits<double>::infinity(), "ab"},
      {-std::numeric_limits<double>::infinity(), "ab\r\r"},
  };
  refhost::HostEditor& editor = host_->NewEditor();
  editor.SetItem(4, refhost::Value::MessageId(kPrintId));
  for (const Case& c : cases) {
    editor.SetItemText(14, "ab\r\r");
    editor.SetReportedLength(14, c.reported);
    EXPECT_EQ(print_->FromEditor(editor), 0);
    EXPECT_EQ(Path(), c.stored) << c.reported;
    EXPECT_EQ(+Record().filePath.length, std::strlen(c.stored)) << c.reported;
  }
}

TEST_F(Print, FromEditorWithoutAPathBufferAnswers1) {
  refhost::HostEditor& editor = host_->NewEditor();
  editor.SetItem(4, refhost::Value::MessageId(40));
  editor.SetItemText(14, "x.bmp");
  host_->FailAllocations(0);
  EXPECT_EQ(print_->FromEditor(editor), 1);
  host_->StopFailingAllocations();
  EXPECT_EQ(+Record().printId.id, 40u);  // read before the path
  EXPECT_EQ(Path(), "");
  // The path comes back with the next write.
  TestText path("y.bmp");
  EXPECT_EQ(print_->SetAttribute("filepath", nullptr, path.Value()), 0);
  EXPECT_EQ(Path(), "y.bmp");
  // A copy made into an instance that never got its buffer holds one just large enough for
  // the path it copied; a longer path written later is still kept whole.
  host_->FailAllocations(0, 1);
  Instance* target = host_->Create("Print", owner_);
  host_->StopFailingAllocations();
  ASSERT_EQ(target->Assign(*print_), 0);
  EXPECT_EQ(+Record(target).filePath.capacity, 6u);
  TestText longer(std::string(200, 'z'));
  EXPECT_EQ(target->SetAttribute("filepath", nullptr, longer.Value()), 0);
  EXPECT_EQ(TextOf(&Record(target).filePath), std::string(200, 'z'));
}

TEST_F(Print, BrowseButtonChoosesAFile) {
  refhost::HostEditor& editor = host_->NewEditor();
  stand_in::FileDialog().answer = stand_in::DialogAnswer::kOk;
  stand_in::FileDialog().path = "C:\\pictures\\cat.bmp";
  EXPECT_EQ(print_->EditorItemChanged(editor, 13), 0);
  EXPECT_EQ(Path(), "C:\\pictures\\cat.bmp");
  EXPECT_EQ(+Record().filePath.length, 19u);
  EXPECT_EQ(editor.ItemText(14), "C:\\pictures\\cat.bmp");
  ASSERT_EQ(stand_in::FileDialogs().size(), 1u);
  const stand_in::FileDialogCall& call = stand_in::FileDialogs()[0];
  EXPECT_EQ(call.filter, (std::vector<std::string>{"Bitmap File(*.BMP)", "*.bmp"}));
  EXPECT_TRUE(call.filterTerminated);
  EXPECT_EQ(call.filterIndex, 1u);
  EXPECT_EQ(call.flags, 0x1810u);
  EXPECT_EQ(call.initialFile, "None");
  EXPECT_GE(call.maxFile, 255u);
  EXPECT_FALSE(call.hadOwner);
  EXPECT_FALSE(call.hadFileTitle);
  EXPECT_FALSE(call.hadInitialDir);
  EXPECT_FALSE(call.hadTitle);
  EXPECT_FALSE(call.hadCustomFilter);

  // Cancelled, failed, too long for the dialog's buffer, or too long for the path: unchanged.
  const int puts = editor.PutCount();
  struct Case {
    stand_in::DialogAnswer answer;
    std::string path;
  };
  const Case refused[] = {
      {stand_in::DialogAnswer::kCancel, "D:\\x.bmp"},
      {stand_in::DialogAnswer::kFail, "D:\\x.bmp"},
      {stand_in::DialogAnswer::kOk, "D:\\" + std::string(400, 'y') + ".bmp"},
      {stand_in::DialogAnswer::kOk, "D:\\" + std::string(251, 'y') + ".bmp"},  // 258 characters
  };
  for (const Case& c : refused) {
    stand_in::FileDialog().answer = c.answer;
    stand_in::FileDialog().path = c.path;
    EXPECT_EQ(print_->EditorItemChanged(editor, 13), 0);
    EXPECT_EQ(Path(), "C:\\pictures\\cat.bmp") << c.path.size();
  }
  EXPECT_EQ(editor.PutCount(), puts);
  // Other items open nothing.
  EXPECT_EQ(print_->EditorItemChanged(editor, 14), 0);
  EXPECT_EQ(stand_in::FileDialogs().size(), 5u);
}

TEST_F(Print, StoredFormRoundTripLeavesCaptionsAlone) {
  TestText path("C:\\a.bmp");
  ASSERT_EQ(print_->SetAttribute("filepath", nullptr, path.Value()), 0);
  FlagValue off = Flag(false);
  ASSERT_EQ(print_->SetAttribute("showdialog", nullptr, &off), 0);
  Record().printId = MessageId(901, 2);
  Record().scaleToPage = Flag(true);
  ASSERT_EQ(SetText("textstring", 1, "kept out"), 0);

  refhost::HostStream& stream = host_->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  EXPECT_EQ(print_->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(version, 0);
  EXPECT_EQ(print_->Save(stream), 0);
  EXPECT_EQ(stream.Bytes().size(), size);

  Instance* other = host_->Create("Print", owner_);
  ASSERT_EQ(SetText("textfont", 1, "Mine", other), 0);
  stream.Rewind();
  EXPECT_EQ(other->Load(stream, 1), 1);
  EXPECT_EQ(stream.ReadPosition(), 0u);
  EXPECT_EQ(other->Load(stream, 0), 0);
  EXPECT_EQ(+Record(other).printId.id, 901u);
  EXPECT_EQ(+Record(other).printId.second, 2u);
  EXPECT_EQ(+Record(other).scaleToPage.value, 1);
  EXPECT_EQ(+Record(other).showDialog.value, 0);
  EXPECT_EQ(TextOf(&Record(other).filePath), "C:\\a.bmp");
  EXPECT_EQ(GetText("textfont", 1, nullptr, other), "Mine");
  uint16_t status = 0;
  GetText("textstring", 1, &status, other);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(GetText("textstring", 1, nullptr, other), "Replace This Text!");

  // A fresh instance saved and loaded has no captions.
  Instance* fresh = host_->Create("Print", owner_);
  refhost::HostStream& blank = host_->NewStream();
  fresh->Save(blank);
  Instance* loaded = host_->Create("Print", owner_);
  EXPECT_EQ(loaded->Load(blank, 0), 0);
  GetText("textfont", 1, &status, loaded);
  EXPECT_EQ(status, 1);
}

TEST_F(Print, CopiesOwnTheirCaptions) {
  ASSERT_EQ(SetText("textfont", 1, "Garamond"), 0);
  ASSERT_EQ(SetText("textstring", 2, "second"), 0);
  TestText path("pic.bmp");
  ASSERT_EQ(print_->SetAttribute("filepath", nullptr, path.Value()), 0);
  Instance* copy = host_->CopyConstruct(*print_, owner_);
  ASSERT_NE(copy, nullptr);
  Instance* target = host_->Create("Print", owner_);
  ASSERT_EQ(SetText("textfont", 1, "Old", target), 0);
  ASSERT_EQ(SetText("textfont", 3, "Old", target), 1);
  EXPECT_EQ(target->Assign(*print_), 0);
  EXPECT_EQ(print_->Assign(*print_), 0);  // onto itself: nothing changes
  host_->Destroy(print_);
  print_ = nullptr;
  for (Instance* instance : {copy, target}) {
    EXPECT_EQ(GetText("textfont", 1, nullptr, instance), "Garamond");
    EXPECT_EQ(GetText("textstring", 2, nullptr, instance), "second");
    EXPECT_EQ(TextOf(&Record(instance).filePath), "pic.bmp");
    uint16_t status = 0;
    GetText("textfont", 3, &status, instance);
    EXPECT_EQ(status, 1);
  }
}

TEST_F(Print, ListensForItsMessageWhileEnabled) {
  EXPECT_EQ(print_->Enable(), 0);
  EXPECT_TRUE(host_->Listening(print_, kPrintId, 0));
  EXPECT_EQ(print_->Disable(), 0);
  EXPECT_FALSE(host_->Listening(print_, kPrintId, 0));
  EXPECT_EQ(print_->VisitMessageIds(3, 4), 0);
  ASSERT_EQ(host_->Visits().size(), 1u);
  EXPECT_EQ(host_->Visits()[0].id, kPrintId);
  EXPECT_EQ(host_->Visits()[0].a, 3u);
  EXPECT_EQ(host_->Visits()[0].b, 4u);
}

TEST_F(Print, EveryAllocationOfALifeRefusedInTurn) {
  // Construct, a caption, a copy, an editor round trip, a print: whichever allocation fails,
  // nothing crashes, leaks or is freed twice.
  for (uint32_t grant = 0; grant < 16; ++grant) {
    host_->FailAllocations(grant, 1);
    Instance* instance = host_->Create("Print", owner_);
    ASSERT_NE(instance, nullptr);
    SetText("textstring", 1, "words", instance);
    Instance* copy = host_->CopyConstruct(*instance, owner_);
    refhost::HostEditor& editor = host_->NewEditor();
    instance->ToEditor(editor, 0);
    instance->FromEditor(editor);
    instance->HandleMessage(0, kPrintId, 0);
    host_->Destroy(copy);
    host_->Destroy(instance);
    host_->StopFailingAllocations();
    EXPECT_TRUE(host_->Ownership().Faults().empty()) << grant << host_->Ownership().Report();
  }
}

}  // namespace
