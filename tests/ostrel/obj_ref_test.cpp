// ObjRefP through the reference host: path forms under a base object, the two forms of the
// value and the state between them, copies, storage, the editor and messages.
#include "ostrel/obj_ref.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "host/host.h"
#include "tests/common/plugin_fixture.h"

namespace {

using refhost::Instance;
using testing_support::EventsIndex;
using testing_support::Integer;
using testing_support::MessageId;
using testing_support::Reference;
using testing_support::TestText;
using testing_support::TextBuffer;

constexpr char kSyntaxMessage[] =
    "The syntax for an object path must be used. Refer to documentation.";

// Fields of the packed record are read through unary plus: a copy, never a reference to a
// misaligned field.

// Room for every text these tests read back.
constexpr uint32_t kReadCapacity = 40000;

struct State {
  int bound;
  int pathCurrent;
  bool operator==(const State&) const = default;
};

std::ostream& operator<<(std::ostream& out, const State& state) {
  return out << "(bound " << state.bound << ", pathCurrent " << state.pathCurrent << ")";
}

// An 18-byte output value preset to "unassigned": the callee picks the type.
struct UnassignedOut {
  uint16_t tag = tag::kUnassigned;
  uint8_t body[16] = {};
};

class ObjRefTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    ASSERT_TRUE(ostrel_.ok) << ostrel_.Summary();
    // /s/o is the base object of most instances; /s/o/a, /s/a and /a are what its relative
    // paths reach.
    s_ = host_->AddObject(0, "s");
    o_ = host_->AddObject(s_, "o");
    oa_ = host_->AddObject(o_, "a");
    sa_ = host_->AddObject(s_, "a");
    a_ = host_->AddObject(0, "a");
    y_ = host_->AddObject(s_, "y");
    ASSERT_EQ(host_->PathOf(o_), "/s/o");
  }

  Instance* Make(uint32_t base) {
    Instance* instance = host_->Create("ObjRefP", base, base);
    EXPECT_NE(instance, nullptr);
    return instance;
  }

  static ostrel::ObjRefRecord* Rec(Instance* instance) {
    return instance->As<ostrel::ObjRefRecord>();
  }

  static State StateOf(Instance* instance) {
    return State{Rec(instance)->bound, Rec(instance)->pathCurrent};
  }

  static uint16_t WriteText(Instance* instance, const std::string& text,
                            uint16_t textTag = tag::kText) {
    TestText value(text, textTag);
    return instance->SetAttribute("value", nullptr, value.Value());
  }

  static uint16_t WriteRef(Instance* instance, uint32_t object) {
    ReferenceValue value = Reference(object);
    return instance->SetAttribute("value", nullptr, &value);
  }

  // Reads "value" as a reference; `object` gets its handle.
  static uint16_t ReadRef(Instance* instance, uint32_t* object) {
    ReferenceValue out = Reference(0);
    const uint16_t status = instance->GetAttribute("value", nullptr, &out);
    *object = out.object;
    return status;
  }

  static uint16_t ReadText(Instance* instance, std::string* text, uint16_t textTag = tag::kText) {
    TextBuffer out(kReadCapacity);
    static_cast<TextValue*>(out.Value())->tag = textTag;
    const uint16_t status = instance->GetAttribute("value", nullptr, out.Value());
    *text = out.Text();
    EXPECT_EQ(out.Length(), text->size());
    return status;
  }

  // Resolves a path text written into a fresh instance based on /s/o.
  uint16_t Resolve(const std::string& text, uint32_t* object) {
    Instance* instance = Make(o_);
    EXPECT_EQ(WriteText(instance, text), 0) << text;
    const uint16_t status = ReadRef(instance, object);
    host_->Destroy(instance);
    return status;
  }

  uint32_t s_ = 0, o_ = 0, oa_ = 0, sa_ = 0, a_ = 0, y_ = 0;
};

TEST_F(ObjRefTest, RegistersItsClassAsTheHostExpects) {
  const refhost::ClassInfo* info = host_->FindClass("ObjRefP");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->usable) << info->error;
  EXPECT_EQ(info->instanceSize, 90u);
  EXPECT_EQ(info->classFlags, 5u);
  EXPECT_EQ(info->interfaceName, "_QComponent");
  const uint16_t expected[] = {7, 8, 34, 9, 26, 27, 36, 17, 19, 18, 13, 14, 25, 22, 23, 37};
  ASSERT_EQ(info->slots.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(info->slots[i].row, 0) << i;
    EXPECT_EQ(info->slots[i].column, expected[i]) << i;
  }
}

TEST(ObjRefTool, PlughostListsTheClass) {
  const std::string command = std::string(PLUGHOST_PATH) + " info " + OSTREL_PATH + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char chunk[512];
  while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
  EXPECT_EQ(pclose(pipe), 0) << output;
  EXPECT_NE(output.find("class ObjRefP"), std::string::npos) << output;
  EXPECT_NE(output.find("instance size  90 bytes"), std::string::npos) << output;
  EXPECT_NE(output.find("class flags    5"), std::string::npos) << output;
  EXPECT_NE(output.find("slots          16"), std::string::npos) << output;
  EXPECT_NE(output.find("column 36  ValidateEditorItem"), std::string::npos) << output;
}

TEST_F(ObjRefTest, FreshInstanceHoldsDefaultsAndNoValue) {
  Instance* instance = Make(o_);
  ostrel::ObjRefRecord* rec = Rec(instance);
  EXPECT_EQ(+rec->baseObject, o_);
  EXPECT_EQ(+rec->pathText.capacity, 256u);
  EXPECT_EQ(+rec->pathText.owner, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(rec)));
  EXPECT_EQ(+rec->reference.identity, &rec->identity);
  EXPECT_EQ(+rec->identity.tag, tag::kIdentity);
  EXPECT_EQ(StateOf(instance), (State{0, 0}));

  uint32_t object = 99;
  EXPECT_EQ(ReadRef(instance, &object), 1);
  std::string text = "x";
  EXPECT_EQ(ReadText(instance, &text), 0);
  EXPECT_EQ(text, "");

  MessageIdValue events{};
  IntegerValue index = EventsIndex(0x80, 1);
  ASSERT_EQ(instance->GetAttribute("events", &index, &events), 0);
  EXPECT_EQ(+events.tag, tag::kMessageId);
  EXPECT_EQ(+events.id, 1u);
  EXPECT_EQ(+events.second, 0u);
}

TEST_F(ObjRefTest, RelativeAndAbsolutePathsResolveUnderTheBaseObject) {
  uint32_t object = 0;
  EXPECT_EQ(Resolve("./a", &object), 0);
  EXPECT_EQ(object, oa_);
  EXPECT_EQ(Resolve("../a", &object), 0);
  EXPECT_EQ(object, sa_);
  EXPECT_EQ(Resolve("../../a", &object), 0);
  EXPECT_EQ(object, a_);
  EXPECT_EQ(Resolve("/s/o/a", &object), 0);
  EXPECT_EQ(object, oa_);
  EXPECT_EQ(Resolve("../y", &object), 0);
  EXPECT_EQ(object, y_);
  // A path that names nothing is an empty reference, not a failure.
  object = 7;
  EXPECT_EQ(Resolve("/s/nothing", &object), 0);
  EXPECT_EQ(object, 0u);
  EXPECT_EQ(Resolve("./nothing/deeper", &object), 0);
  EXPECT_EQ(object, 0u);
}

TEST_F(ObjRefTest, PathsClimbingAboveTheTopAreRefusedAndStayText) {
  Instance* instance = Make(o_);
  for (const char* text : {"../../../a", "../../../../../a", "../"}) {
    ASSERT_EQ(WriteText(instance, text), 0) << text;
    uint32_t object = 0;
    EXPECT_EQ(ReadRef(instance, &object), 1) << text;
    EXPECT_EQ(StateOf(instance), (State{0, 1})) << text;
    std::string back;
    EXPECT_EQ(ReadText(instance, &back), 0);
    EXPECT_EQ(back, text);
  }
}

TEST_F(ObjRefTest, ATrailingUpGroupStaysPartOfThePath) {
  // ../../ under /s/o builds /s/../: one level climbed, the last group kept as text. An object
  // actually named ".." shows which path was asked for.
  const uint32_t dots = host_->AddObject(s_, "..");
  ASSERT_EQ(host_->Resolve("/s/.."), dots);
  uint32_t object = 0;
  EXPECT_EQ(Resolve("../..", &object), 0);
  EXPECT_EQ(object, dots);
  EXPECT_EQ(Resolve("../../", &object), 0);
  EXPECT_EQ(object, host_->Resolve("/s/../"));
}

TEST_F(ObjRefTest, TheShortestAbsolutePathIsNotMistakenForARefusal) {
  uint32_t object = 7;
  EXPECT_EQ(Resolve("/", &object), 0);
  EXPECT_EQ(object, host_->Resolve("/"));
  EXPECT_EQ(Resolve("/a", &object), 0);
  EXPECT_EQ(object, a_);
}

TEST_F(ObjRefTest, CarriageReturnsAreIgnoredForResolutionButKept) {
  Instance* instance = Make(o_);
  const std::string text = "./\ra\r";
  ASSERT_EQ(WriteText(instance, text), 0);
  std::string back;
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, text);

  refhost::HostStream& stream = host_->NewStream();
  ASSERT_EQ(instance->Save(stream), 0);
  refhost::Value events, stored;
  ASSERT_TRUE(stream.Read(&events));
  ASSERT_TRUE(stream.Read(&stored));
  EXPECT_EQ(stored.text, text);

  uint32_t object = 0;
  ASSERT_EQ(ReadRef(instance, &object), 0);
  EXPECT_EQ(object, oa_);
  // Once resolved, the text is the object's own path.
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "/s/o/a");
}

TEST_F(ObjRefTest, MalformedTextsAreRefused) {
  Instance* instance = Make(o_);
  ASSERT_EQ(WriteText(instance, "./a"), 0);
  for (const char* text : {"abc", "", ".", "..", ".x/a", "..a/b", "a/b", " /a", "\r/a"}) {
    EXPECT_EQ(WriteText(instance, text), 1) << '"' << text << '"';
  }
  // A text value without characters, or claiming none.
  TextValue noBuffer{tag::kText, 0, 0, 5, nullptr};
  EXPECT_EQ(instance->SetAttribute("value", nullptr, &noBuffer), 1);
  char chars[] = "/s/o";
  TextValue noLength{tag::kText, 0, sizeof chars, 0, chars};
  EXPECT_EQ(instance->SetAttribute("value", nullptr, &noLength), 1);

  std::string back;
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "./a");
  EXPECT_EQ(StateOf(instance), (State{0, 1}));
}

TEST_F(ObjRefTest, ARefusedTextDropsALiveBindingButKeepsTheText) {
  Instance* instance = Make(o_);
  ASSERT_EQ(WriteRef(instance, sa_), 0);
  std::string back;
  ASSERT_EQ(ReadText(instance, &back), 0);
  ASSERT_EQ(StateOf(instance), (State{1, 1}));
  EXPECT_EQ(WriteText(instance, "nope"), 1);
  EXPECT_EQ(StateOf(instance), (State{0, 1}));
  EXPECT_TRUE(host_->ChainOf(sa_).empty());
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "/s/a");

  // Bound with a stale text in the buffer: nothing of the old value may be read back.
  ASSERT_EQ(WriteText(instance, "/a"), 0);
  ASSERT_EQ(WriteRef(instance, y_), 0);
  EXPECT_EQ(WriteText(instance, "nope"), 1);
  EXPECT_EQ(StateOf(instance), (State{0, 0}));
  uint32_t object = 0;
  EXPECT_EQ(ReadRef(instance, &object), 1);
  back = "x";
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "");
}

TEST_F(ObjRefTest, TextLengthLimit) {
  Instance* instance = Make(o_);
  const std::string longest = "/" + std::string(ostrel::kObjRefMaxTextLength - 1, 'x');
  ASSERT_EQ(WriteText(instance, longest), 0);
  std::string back;
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, longest);

  EXPECT_EQ(WriteText(instance, longest + "x"), 1);
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, longest);
}

TEST_F(ObjRefTest, LongTextsGrowTheBufferAndShortOnesShrinkItBack) {
  Instance* instance = Make(o_);
  const std::string name(290, 'n');
  const uint32_t deep = host_->AddObject(o_, name);
  const std::string path = "/s/o/" + name;
  ASSERT_EQ(WriteText(instance, "./" + name), 0);
  EXPECT_EQ(+Rec(instance)->pathText.capacity, name.size() + 3);
  uint32_t object = 0;
  ASSERT_EQ(ReadRef(instance, &object), 0);
  EXPECT_EQ(object, deep);
  // Rebuilt from the reference: the absolute path needs a longer buffer still.
  std::string back;
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, path);
  EXPECT_EQ(+Rec(instance)->pathText.capacity, path.size() + 1);

  ASSERT_EQ(WriteText(instance, "./a"), 0);
  EXPECT_EQ(+Rec(instance)->pathText.capacity, 256u);
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "./a");
}

TEST_F(ObjRefTest, ReadingTextIntoACallersBuffer) {
  Instance* instance = Make(o_);
  ASSERT_EQ(WriteText(instance, "/s/o/a", tag::kTextSecond), 0);
  // A short buffer gets what fits, terminated.
  TextBuffer small(4);
  ASSERT_EQ(instance->GetAttribute("value", nullptr, small.Value()), 0);
  EXPECT_EQ(small.Text(), "/s/");
  EXPECT_EQ(small.Length(), 3u);
  // An empty value over a buffer holding an older text leaves it empty, terminator included.
  Instance* empty = Make(o_);
  TextBuffer reused(32);
  ASSERT_EQ(instance->GetAttribute("value", nullptr, reused.Value()), 0);
  ASSERT_EQ(reused.Text(), "/s/o/a");
  ASSERT_EQ(empty->GetAttribute("value", nullptr, reused.Value()), 0);
  EXPECT_EQ(reused.Length(), 0u);
  EXPECT_EQ(reused.Text(), "");
  // The second text tag reads like the first.
  std::string back;
  ASSERT_EQ(ReadText(instance, &back, tag::kTextSecond), 0);
  EXPECT_EQ(back, "/s/o/a");
}

TEST_F(ObjRefTest, ReferenceWritesBindAndRebuildTheText) {
  Instance* instance = Make(o_);
  ASSERT_EQ(WriteRef(instance, oa_), 0);
  EXPECT_EQ(StateOf(instance), (State{1, 0}));
  ASSERT_EQ(host_->ChainOf(oa_).size(), 1u);
  EXPECT_EQ(host_->ChainOf(oa_)[0], &Rec(instance)->reference);

  std::string back;
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "/s/o/a");
  EXPECT_EQ(StateOf(instance), (State{1, 1}));

  uint32_t object = 0;
  ASSERT_EQ(ReadRef(instance, &object), 0);
  EXPECT_EQ(object, oa_);
  // An unassigned output becomes a reference.
  UnassignedOut out;
  ASSERT_EQ(instance->GetAttribute("value", nullptr, &out), 0);
  ReferenceValue got;
  std::memcpy(&got, &out, sizeof got);
  EXPECT_EQ(+got.tag, tag::kReference);
  EXPECT_EQ(+got.object, oa_);
  EXPECT_EQ(+got.previous, nullptr);
  EXPECT_EQ(+got.next, nullptr);
  // The identity travels when the output has a record for it.
  IdentityValue identity{};
  ReferenceValue withIdentity = Reference(0, &identity);
  ASSERT_EQ(instance->GetAttribute("value", nullptr, &withIdentity), 0);
  EXPECT_EQ(std::memcmp(&identity, &Rec(instance)->identity, sizeof identity), 0);

  // Another reference replaces the first and leaves the old object's chain.
  ASSERT_EQ(WriteRef(instance, sa_), 0);
  EXPECT_TRUE(host_->ChainOf(oa_).empty());
  EXPECT_EQ(host_->ChainOf(sa_).size(), 1u);
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "/s/a");
}

TEST_F(ObjRefTest, AnEmptyReferenceWriteEmptiesTheValue) {
  Instance* instance = Make(o_);
  ASSERT_EQ(WriteText(instance, "./a"), 0);
  ASSERT_EQ(WriteRef(instance, 0), 0);
  uint32_t object = 0;
  EXPECT_EQ(ReadRef(instance, &object), 1);
  EXPECT_EQ(StateOf(instance), (State{0, 0}));

  ASSERT_EQ(WriteRef(instance, sa_), 0);
  std::string back;
  ASSERT_EQ(ReadText(instance, &back), 0);
  // An unassigned value is two bytes long; it must be taken as "no object", not read as a
  // whole reference.
  auto unassigned = std::make_unique<TaggedValue>(TaggedValue{tag::kUnassigned});
  ASSERT_EQ(instance->SetAttribute("value", nullptr, unassigned.get()), 0);
  EXPECT_EQ(ReadRef(instance, &object), 1);
  EXPECT_TRUE(host_->ChainOf(sa_).empty());
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "");
}

TEST_F(ObjRefTest, UnknownNamesTagsAndIndexesAreRefused) {
  Instance* instance = Make(o_);
  ASSERT_EQ(WriteText(instance, "./a"), 0);
  IntegerValue integer = Integer(5);
  EXPECT_EQ(instance->SetAttribute("value", nullptr, &integer), 1);
  EXPECT_EQ(instance->GetAttribute("value", nullptr, &integer), 1);
  EXPECT_EQ(+integer.value, 5);
  MessageIdValue id = MessageId(3);
  EXPECT_EQ(instance->SetAttribute("values", nullptr, &id), 1);
  EXPECT_EQ(instance->GetAttribute("parent", nullptr, &id), 1);
  EXPECT_EQ(instance->GetAttribute("value", nullptr, nullptr), 1);
  EXPECT_EQ(instance->SetAttribute("value", nullptr, nullptr), 1);

  // Reading "events" takes the first member's element 1 only; writing the plain 1 only.
  MessageIdValue out{};
  const IntegerValue badReads[] = {Integer(1), EventsIndex(0x40, 1), EventsIndex(0x80, 2),
                                   EventsIndex(0x80, 0), EventsIndex(0x20, 1)};
  for (const IntegerValue& index : badReads) {
    EXPECT_EQ(instance->GetAttribute("events", &index, &out), 1) << index.value;
  }
  RealValue realIndex{tag::kReal, 1.0};
  EXPECT_EQ(instance->GetAttribute("events", &realIndex, &out), 1);
  EXPECT_EQ(instance->GetAttribute("events", nullptr, &out), 1);
  // A two-byte index is refused without reading past it, for reading and for writing.
  const auto shortIndex = std::make_unique<uint16_t>(tag::kUnassigned);
  EXPECT_EQ(instance->GetAttribute("events", shortIndex.get(), &out), 1);
  MessageIdValue probe = MessageId(5);
  EXPECT_EQ(instance->SetAttribute("events", shortIndex.get(), &probe), 1);
  EXPECT_EQ(+out.tag, 0);

  MessageIdValue next = MessageId(42, 7);
  const IntegerValue badWrites[] = {EventsIndex(0x80, 1), Integer(0), Integer(2)};
  for (const IntegerValue& index : badWrites) {
    EXPECT_EQ(instance->SetAttribute("events", &index, &next), 1) << index.value;
  }
  EXPECT_EQ(instance->SetAttribute("events", &realIndex, &next), 1);
  EXPECT_EQ(instance->SetAttribute("events", nullptr, &next), 1);
  // The tag is not checked, but a value shorter than a message id is never read past.
  IntegerValue one = Integer(1);
  IntegerValue shortValue = Integer(42);
  EXPECT_EQ(instance->SetAttribute("events", &one, &shortValue), 1);
  FlagValue flag = testing_support::Flag(true);
  EXPECT_EQ(instance->SetAttribute("events", &one, &flag), 1);
  TaggedValue unassigned = testing_support::Unassigned();
  EXPECT_EQ(instance->SetAttribute("events", &one, &unassigned), 1);
  TaggedValue unknown{999};
  EXPECT_EQ(instance->SetAttribute("events", &one, &unknown), 1);
  // Nor is a value whose body is a pointer kept: cut to ten bytes it would be saved, visited
  // and listened for as a text or a reference pointing nowhere.
  char chars[] = "abc";
  TextValue text{tag::kText, 0, sizeof chars, 3, chars};
  EXPECT_EQ(instance->SetAttribute("events", &one, &text), 1);
  text.tag = tag::kTextSecond;
  EXPECT_EQ(instance->SetAttribute("events", &one, &text), 1);
  ReferenceValue reference{tag::kReference, nullptr, nullptr, o_, nullptr};
  EXPECT_EQ(instance->SetAttribute("events", &one, &reference), 1);
  ObjectPathValue path{tag::kObjectPath, 0, nullptr};
  EXPECT_EQ(instance->SetAttribute("events", &one, &path), 1);
  ChoiceValue choice{tag::kChoice, 77, 9};
  ASSERT_EQ(instance->SetAttribute("events", &one, &choice), 0);
  const IntegerValue firstMember = EventsIndex(0x80, 1);
  ASSERT_EQ(instance->GetAttribute("events", &firstMember, &out), 0);
  EXPECT_EQ(+out.tag, tag::kChoice);
  EXPECT_EQ(+out.id, 77u);
  EXPECT_EQ(+out.second, 9u);

  ASSERT_EQ(instance->SetAttribute("EVENTS", &one, &next), 0);
  const IntegerValue first = EventsIndex(0x80, 1);
  ASSERT_EQ(instance->GetAttribute("Events", &first, &out), 0);
  EXPECT_EQ(+out.tag, tag::kMessageId);
  EXPECT_EQ(+out.id, 42u);
  EXPECT_EQ(+out.second, 7u);
  EXPECT_EQ(StateOf(instance), (State{0, 1}));
}

TEST_F(ObjRefTest, AClearedReferenceIsFoundAgainByItsIdentity) {
  Instance* instance = Make(o_);
  ASSERT_EQ(WriteRef(instance, oa_), 0);
  const uint32_t moved = host_->ReplaceObject(oa_);
  ASSERT_NE(moved, 0u);
  ASSERT_NE(moved, oa_);
  EXPECT_EQ(+Rec(instance)->reference.object, 0u);
  uint32_t object = 0;
  ASSERT_EQ(ReadRef(instance, &object), 0);
  EXPECT_EQ(object, moved);

  // Removed for good, the text form is empty; restored, it is found again.
  const uint32_t removedHandle = moved;
  ASSERT_TRUE(host_->RemoveObject(removedHandle));
  std::string back = "x";
  EXPECT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "");
  const uint32_t restored = host_->RestoreObject(removedHandle);
  ASSERT_NE(restored, 0u);
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "/s/o/a");
  ASSERT_EQ(ReadRef(instance, &object), 0);
  EXPECT_EQ(object, restored);
}

TEST_F(ObjRefTest, ANewValueReplacesAClearedReference) {
  Instance* instance = Make(o_);
  ASSERT_EQ(WriteRef(instance, oa_), 0);
  ASSERT_TRUE(host_->RemoveObject(oa_));
  // The text names /s/y; the old object coming back must not take its place.
  ASSERT_EQ(WriteText(instance, "../y"), 0);
  ASSERT_NE(host_->RestoreObject(oa_), 0u);
  uint32_t object = 0;
  ASSERT_EQ(ReadRef(instance, &object), 0);
  EXPECT_EQ(object, y_);

  Instance* second = Make(o_);
  ASSERT_EQ(WriteRef(second, sa_), 0);
  ASSERT_TRUE(host_->RemoveObject(sa_));
  ASSERT_EQ(WriteRef(second, a_), 0);
  ASSERT_EQ(ReadRef(second, &object), 0);
  EXPECT_EQ(object, a_);
  std::string back;
  ASSERT_EQ(ReadText(second, &back), 0);
  EXPECT_EQ(back, "/a");
}

TEST_F(ObjRefTest, SaveAndLoadKeepThePathText) {
  Instance* instance = Make(o_);
  ASSERT_EQ(WriteRef(instance, oa_), 0);
  IntegerValue one = Integer(1);
  MessageIdValue id = MessageId(300, 4);
  ASSERT_EQ(instance->SetAttribute("events", &one, &id), 0);

  refhost::HostStream& stream = host_->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  ASSERT_EQ(instance->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(version, 0);
  ASSERT_EQ(instance->Save(stream), 0);
  EXPECT_EQ(stream.Bytes().size(), size);
  refhost::Value events, text;
  ASSERT_TRUE(stream.Read(&events));
  ASSERT_TRUE(stream.Read(&text));
  EXPECT_EQ(+text.tag, tag::kText);
  EXPECT_EQ(text.text, "/s/o/a");

  Instance* loaded = Make(s_);
  stream.Rewind();
  ASSERT_EQ(loaded->Load(stream, 0), 0);
  EXPECT_EQ(StateOf(loaded), (State{0, 1}));
  EXPECT_EQ(+Rec(loaded)->events.id, 300u);
  EXPECT_EQ(+Rec(loaded)->events.second, 4u);
  uint32_t object = 0;
  ASSERT_EQ(ReadRef(loaded, &object), 0);
  EXPECT_EQ(object, oa_);

  // An unknown version reads nothing and changes nothing.
  Instance* other = Make(o_);
  ASSERT_EQ(WriteRef(other, sa_), 0);
  stream.Rewind();
  EXPECT_EQ(other->Load(stream, 1), 1);
  EXPECT_EQ(stream.ReadPosition(), 0u);
  EXPECT_EQ(StateOf(other), (State{1, 0}));
  EXPECT_EQ(+Rec(other)->events.id, 1u);
  ASSERT_EQ(ReadRef(other, &object), 0);
  EXPECT_EQ(object, sa_);
}

TEST_F(ObjRefTest, LoadKeepsALongTextWholeAndReplacesABinding) {
  const std::string text = "./" + std::string(400, 'q');
  refhost::HostStream& stream = host_->NewStream();
  ASSERT_TRUE(stream.Write(refhost::Value::MessageId(9)));
  ASSERT_TRUE(stream.Write(refhost::Value::Text(text)));

  Instance* instance = Make(o_);
  ASSERT_EQ(WriteRef(instance, sa_), 0);
  ASSERT_EQ(instance->Load(stream, 0), 0);
  EXPECT_TRUE(host_->ChainOf(sa_).empty());
  EXPECT_EQ(StateOf(instance), (State{0, 1}));
  std::string back;
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, text);

  // A stream that ends early is a failed load, not an empty value.
  refhost::HostStream& truncated = host_->NewStream();
  ASSERT_TRUE(truncated.Write(refhost::Value::MessageId(9)));
  EXPECT_NE(instance->Load(truncated, 0), 0);
}

TEST_F(ObjRefTest, AssignAndCopyConstructCopyEverythingButTheBase) {
  Instance* source = Make(o_);
  IntegerValue one = Integer(1);
  MessageIdValue id = MessageId(12, 34);
  ASSERT_EQ(source->SetAttribute("events", &one, &id), 0);
  ASSERT_EQ(WriteText(source, "./a"), 0);

  // The relative text is resolved against each instance's own base.
  Instance* copy = host_->CopyConstruct(*source, s_, s_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(+Rec(copy)->baseObject, s_);
  EXPECT_EQ(StateOf(copy), (State{0, 1}));
  EXPECT_EQ(+Rec(copy)->events.id, 12u);
  EXPECT_EQ(+Rec(copy)->events.second, 34u);
  EXPECT_EQ(+Rec(copy)->reference.identity, &Rec(copy)->identity);
  EXPECT_EQ(+Rec(copy)->pathText.owner,
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Rec(copy))));
  EXPECT_NE(+Rec(copy)->pathText.chars, +Rec(source)->pathText.chars);
  uint32_t object = 0;
  ASSERT_EQ(ReadRef(copy, &object), 0);
  EXPECT_EQ(object, sa_);
  ASSERT_EQ(ReadRef(source, &object), 0);
  EXPECT_EQ(object, oa_);

  // A bound source: the target holds the same object, in the host's chain too.
  Instance* target = Make(s_);
  ASSERT_EQ(WriteText(target, "/a"), 0);
  ASSERT_EQ(target->Assign(*source), 0);
  EXPECT_EQ(StateOf(target), (State{1, 0}));
  EXPECT_EQ(+Rec(target)->baseObject, s_);
  ASSERT_EQ(ReadRef(target, &object), 0);
  EXPECT_EQ(object, oa_);
  EXPECT_EQ(host_->ChainOf(oa_).size(), 2u);
  EXPECT_EQ(std::memcmp(&Rec(target)->identity, &Rec(source)->identity, sizeof(IdentityValue)), 0);

  // Self-assignment changes nothing, bound or as text.
  ASSERT_EQ(source->Assign(*source), 0);
  ASSERT_EQ(ReadRef(source, &object), 0);
  EXPECT_EQ(object, oa_);
  EXPECT_EQ(host_->ChainOf(oa_).size(), 2u);
  Instance* textOnly = Make(o_);
  ASSERT_EQ(WriteText(textOnly, "./a"), 0);
  ASSERT_EQ(textOnly->Assign(*textOnly), 0);
  std::string back;
  ASSERT_EQ(ReadText(textOnly, &back), 0);
  EXPECT_EQ(back, "./a");

  // Destroying a bound instance takes its reference out of the chain.
  host_->Destroy(source);
  ASSERT_EQ(host_->ChainOf(oa_).size(), 1u);
  EXPECT_EQ(host_->ChainOf(oa_)[0], &Rec(target)->reference);
  host_->Destroy(target);
  EXPECT_TRUE(host_->ChainOf(oa_).empty());
}

TEST_F(ObjRefTest, AnAssignedBindingIsClearedWithItsObject) {
  Instance* source = Make(o_);
  ASSERT_EQ(WriteRef(source, oa_), 0);
  Instance* target = Make(o_);
  ASSERT_EQ(target->Assign(*source), 0);
  const uint32_t moved = host_->ReplaceObject(oa_);
  // Left out of the chain, the copy would still hold the old handle.
  EXPECT_EQ(+Rec(target)->reference.object, 0u);
  uint32_t object = 0;
  ASSERT_EQ(ReadRef(target, &object), 0);
  EXPECT_EQ(object, moved);
}

TEST_F(ObjRefTest, AssignKeepsALongTextWhole) {
  Instance* source = Make(o_);
  const std::string text = "/" + std::string(300, 'z');
  ASSERT_EQ(WriteText(source, text), 0);
  Instance* target = Make(o_);
  ASSERT_EQ(target->Assign(*source), 0);
  std::string back;
  ASSERT_EQ(ReadText(target, &back), 0);
  EXPECT_EQ(back, text);
  EXPECT_EQ(StateOf(target), (State{0, 1}));
  // And back to a short one: the target's buffer shrinks.
  ASSERT_EQ(WriteText(source, "/s"), 0);
  ASSERT_EQ(target->Assign(*source), 0);
  ASSERT_EQ(ReadText(target, &back), 0);
  EXPECT_EQ(back, "/s");
  EXPECT_EQ(+Rec(target)->pathText.capacity, 256u);
}

TEST_F(ObjRefTest, MessagesPointTheReferenceAtTheParent) {
  Instance* instance = Make(o_);
  IntegerValue one = Integer(1);
  MessageIdValue id = MessageId(500, 2);
  ASSERT_EQ(instance->SetAttribute("events", &one, &id), 0);
  ASSERT_EQ(WriteText(instance, "/a"), 0);

  EXPECT_EQ(instance->HandleMessage(oa_, 500, 3), 1);
  EXPECT_EQ(instance->HandleMessage(oa_, 501, 2), 1);
  EXPECT_EQ(instance->HandleMessage(0, 500, 2), 1);
  // A top-level object has no parent: the host's failure is the result.
  EXPECT_NE(instance->HandleMessage(a_, 500, 2), 0);
  EXPECT_EQ(StateOf(instance), (State{0, 1}));

  ASSERT_EQ(instance->HandleMessage(oa_, 500, 2), 0);
  EXPECT_EQ(StateOf(instance), (State{1, 0}));
  uint32_t object = 0;
  ASSERT_EQ(ReadRef(instance, &object), 0);
  EXPECT_EQ(object, o_);
  std::string back;
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "/s/o");

  ASSERT_EQ(instance->HandleMessage(o_, 500, 2), 0);
  ASSERT_EQ(ReadRef(instance, &object), 0);
  EXPECT_EQ(object, s_);
  EXPECT_TRUE(host_->ChainOf(o_).empty());
  EXPECT_EQ(host_->ChainOf(s_).size(), 1u);

  // Delivered by the host once enabled.
  ASSERT_EQ(instance->Enable(), 0);
  EXPECT_TRUE(host_->Listening(instance, 500, 2));
  EXPECT_EQ(host_->SendMessage(oa_, 500, 2).handled, 1);
  ASSERT_EQ(ReadRef(instance, &object), 0);
  EXPECT_EQ(object, o_);
  ASSERT_EQ(instance->Disable(), 0);
  EXPECT_FALSE(host_->Listening(instance, 500, 2));
}

TEST_F(ObjRefTest, VisitsItsMessageId) {
  Instance* instance = Make(o_);
  ASSERT_EQ(instance->VisitMessageIds(11, 22), 0);
  ASSERT_EQ(host_->Visits().size(), 1u);
  EXPECT_EQ(host_->Visits()[0].a, 11u);
  EXPECT_EQ(host_->Visits()[0].b, 22u);
  EXPECT_EQ(host_->Visits()[0].id, 1u);
  EXPECT_EQ(host_->Visits()[0].tag, tag::kMessageId);
}

TEST_F(ObjRefTest, EditorShowsAndTakesTheValue) {
  Instance* instance = Make(o_);
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(instance->ToEditor(editor, 1), 1);
  EXPECT_EQ(editor.PutCount(), 0);

  ASSERT_EQ(WriteRef(instance, sa_), 0);
  ASSERT_EQ(instance->ToEditor(editor, 0), 0);
  EXPECT_EQ(editor.ItemText(4), "/s/a");
  ASSERT_NE(editor.Item(7), nullptr);
  EXPECT_EQ(editor.Item(7)->tag, tag::kMessageId);

  // A stale, longer text must not show through a shorter one from the editor.
  editor.SetItem(7, refhost::Value::MessageId(77, 1));
  editor.SetItemText(4, "./a");
  ASSERT_EQ(instance->FromEditor(editor), 0);
  EXPECT_EQ(StateOf(instance), (State{0, 1}));
  EXPECT_TRUE(host_->ChainOf(sa_).empty());
  EXPECT_EQ(+Rec(instance)->events.id, 77u);
  EXPECT_EQ(+Rec(instance)->events.second, 1u);
  std::string back;
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, "./a");
  uint32_t object = 0;
  ASSERT_EQ(ReadRef(instance, &object), 0);
  EXPECT_EQ(object, oa_);

  // A long item text is taken whole, and the editor does not check syntax.
  const std::string text = "junk" + std::string(500, 'j');
  editor.SetItemText(4, text);
  ASSERT_EQ(instance->FromEditor(editor), 0);
  ASSERT_EQ(ReadText(instance, &back), 0);
  EXPECT_EQ(back, text);
  EXPECT_EQ(ReadRef(instance, &object), 1);
}

TEST_F(ObjRefTest, EditorCheckAcceptsOnlyPathSyntax) {
  Instance* instance = Make(o_);
  refhost::HostEditor& editor = host_->NewEditor();
  struct Case {
    const char* text;
    uint8_t ok;
  };
  const Case cases[] = {{"abc", 0},
                        {"", 1},
                        {"/x", 1},
                        {"./", 1},
                        {"../x", 1},
                        {".x", 0},
                        {"..", 0},
                        {" /x", 0},
                        {"/"
                         "aaaaaaaaaaaaaaaaaaaaaaaa",
                         1},
                        {"x/../", 0}};
  for (const Case& c : cases) {
    editor.SetItemText(4, c.text);
    uint8_t ok = 7;
    char message[128];
    std::memset(message, 0, sizeof message);
    EXPECT_EQ(instance->ValidateEditorItem(editor, 4, &ok, message), 0) << c.text;
    EXPECT_EQ(ok, c.ok) << c.text;
    EXPECT_STREQ(message, c.ok ? "" : kSyntaxMessage) << c.text;
  }
  // Other items are not checked.
  editor.SetItemText(7, "abc");
  uint8_t ok = 7;
  char message[128] = {};
  EXPECT_EQ(instance->ValidateEditorItem(editor, 7, &ok, message), 0);
  EXPECT_EQ(ok, 1);
  EXPECT_STREQ(message, "");
}

}  // namespace
