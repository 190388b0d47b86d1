// SysInfo through the reference host on machines the Win32 stand-in describes: the facts it
// gathers, its three attribute rules, copies, and what it takes from the system and gives back.
#include "tavin/sys_info.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "tests/common/plugin_fixture.h"
#include "tests/common/trace_calls.h"
#include "win32/stand_in.h"

namespace {

using refhost::Instance;
using testing_support::TextBuffer;

constexpr const char* kTextNames[] = {"sysversion",   "nativecpu", "architecture", "fpu",
                                      "computername", "processor", "soundcard",    "keyboardtype"};

class SysInfo : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    owner_ = host_->AddObject(0, "stage");
  }

  Instance* Make() {
    Instance* instance = host_->Create("SysInfo", owner_);
    EXPECT_NE(instance, nullptr);
    return instance;
  }

  // A text attribute read as a receiver that lets SysInfo choose the kind, then given back.
  std::string Text(Instance* instance, const char* name) {
    uint8_t out[32] = {};
    const uint16_t unassigned = tag::kUnassigned;
    std::memcpy(out, &unassigned, sizeof unassigned);
    const uint16_t status = instance->GetAttribute(name, nullptr, out);
    if (status != 0) return "<status " + std::to_string(status) + ">";
    TextValue text;
    std::memcpy(&text, out, sizeof text);
    EXPECT_EQ(+text.tag, tag::kText) << name;
    EXPECT_EQ(+text.owner, kHandedOver) << name;
    std::string result = text.chars == nullptr ? "<no buffer>" : text.chars;
    FreeHandedText(out);
    return result;
  }

  // An integer or point attribute, read into an output that held something else.
  template <typename T>
  T Plain(Instance* instance, const char* name, uint16_t preset = tag::kUnassigned) {
    uint8_t out[32] = {};
    std::memcpy(out, &preset, sizeof preset);
    EXPECT_EQ(instance->GetAttribute(name, nullptr, out), 0) << name;
    T value;
    std::memcpy(&value, out, sizeof value);
    return value;
  }

  uint32_t owner_ = 0;
};

TEST_F(SysInfo, RegistersAsTheHostExpects) {
  const refhost::ClassInfo* info = host_->FindClass("SysInfo");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->usable) << info->error;
  EXPECT_EQ(info->instanceSize, 172u);
  EXPECT_EQ(info->classFlags, 1u);
  std::vector<uint16_t> columns;
  for (const refhost::SlotInfo& slot : info->slots) columns.push_back(slot.column);
  EXPECT_EQ(columns, (std::vector<uint16_t>{7, 8, 34, 9, 22}));
}

TEST_F(SysInfo, ProcessorNamesAndTheFpuFollowTheProcessorType) {
  struct Case {
    uint32_t type;
    const char* name;
    const char* fpu;
  };
  // "Unknown" for any other processor than the 486 and the Pentium: the class would otherwise
  // leave the fpu without a value.
  const Case cases[] = {
      {386, "80386", "Unknown"},       {486, "80486", "Integrated"},
      {586, "Pentium", "Integrated"},  {0, "unknown cpu", "Unknown"},
      {286, "unknown cpu", "Unknown"}, {8664, "unknown cpu", "Unknown"},
      {387, "unknown cpu", "Unknown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    stand_in::Machine().processorType = c.type;
    Instance* instance = Make();
    EXPECT_EQ(Text(instance, "processor"), c.name);
    EXPECT_EQ(Text(instance, "nativecpu"), c.name);
    EXPECT_EQ(Text(instance, "fpu"), c.fpu);
    host_->Destroy(instance);
  }
}

TEST_F(SysInfo, KeyboardNamesFollowTheKeyboardType) {
  struct Case {
    int type;
    const char* name;
  };
  const Case cases[] = {
      {0, "Unknown Keyboard"}, {1, "IBM PX/XT"},         {2, "Olivetti ICO"},
      {3, "IBM AT"},           {4, "IBM Enhanced"},      {5, "Nokia 1050"},
      {6, "Nokia 9140"},       {7, "Standard Japanese"}, {8, "Unknown Keyboard"},
      {9, "Unknown Keyboard"}, {-1, "Unknown Keyboard"}, {INT_MIN, "Unknown Keyboard"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    stand_in::Machine().keyboardType = c.type;
    Instance* instance = Make();
    EXPECT_EQ(Text(instance, "keyboardtype"), c.name);
    host_->Destroy(instance);
  }
}

TEST_F(SysInfo, VersionTextIsMajorDotMinorOfTheLowBytes) {
  struct Case {
    uint32_t version;
    const char* text;
  };
  const Case cases[] = {{0x5F03, "3.95"},    {0x0A280105, "5.1"},  {0x0004, "4.0"},
                        {0x0A00, "0.10"},    {0x80000A06, "6.10"}, {0xFFFF, "255.255"},
                        {0x6464, "100.100"}, {0xFFFF0000, "0.0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    stand_in::Machine().version = c.version;
    Instance* instance = Make();
    EXPECT_EQ(Text(instance, "sysversion"), c.text);
    host_->Destroy(instance);
  }
}

TEST_F(SysInfo, FixedFactsNumbersAndTheScreen) {
  stand_in::Machine().screenBitsPerPixel = 16;
  stand_in::Machine().screenWidth = 800;
  stand_in::Machine().screenHeight = 600;
  Instance* instance = Make();
  EXPECT_EQ(Text(instance, "computername"), "Not Implemented");
  EXPECT_EQ(Text(instance, "soundcard"), "Not Implemented");
  EXPECT_EQ(Text(instance, "architecture"), "80x86");

  // Numbers and the point take the output over, whatever it held.
  for (uint16_t preset : {tag::kUnassigned, tag::kText, tag::kReal, tag::kEmpty}) {
    SCOPED_TRACE(preset);
    for (const char* name : {"totalram", "currentram"}) {
      const auto ram = Plain<IntegerValue>(instance, name, preset);
      EXPECT_EQ(+ram.tag, tag::kInteger);
      EXPECT_EQ(+ram.value, 1048576);
    }
    const auto depth = Plain<IntegerValue>(instance, "bitdepth", preset);
    EXPECT_EQ(+depth.tag, tag::kInteger);
    EXPECT_EQ(+depth.value, 16);
    const auto size = Plain<PointValue>(instance, "screensize", preset);
    EXPECT_EQ(+size.tag, tag::kPoint);
    EXPECT_EQ(+size.x, 800);
    EXPECT_EQ(+size.y, 600);
  }

  // "currentram" is set afresh at every read; the others answer what was gathered.
  auto* record = instance->As<tavin::SysInfoRecord>();
  const IntegerValue changed{tag::kInteger, 5};
  std::memcpy(&record->currentRam, &changed, sizeof changed);
  std::memcpy(&record->totalRam, &changed, sizeof changed);
  EXPECT_EQ(+Plain<IntegerValue>(instance, "currentram").value, 1048576);
  EXPECT_EQ(+Plain<IntegerValue>(instance, "totalram").value, 5);

  // The facts are gathered once: a later change of the machine is not seen.
  stand_in::Machine().screenBitsPerPixel = 8;
  EXPECT_EQ(+Plain<IntegerValue>(instance, "bitdepth").value, 16);

  // Each side of the screen is kept in 16 bits.
  stand_in::Machine().screenWidth = 40000;
  Instance* wide = Make();
  EXPECT_EQ(+Plain<PointValue>(wide, "screensize").x, -25536);
}

TEST_F(SysInfo, TextRuleHandsOverAWholeTextThenFillsItsBuffer) {
  stand_in::Machine().processorType = 586;
  Instance* instance = Make();
  const TextValue stored = instance->As<tavin::SysInfoRecord>()->processor;

  uint8_t out[32] = {};
  const uint16_t unassigned = tag::kUnassigned;
  std::memcpy(out, &unassigned, sizeof unassigned);
  ASSERT_EQ(instance->GetAttribute("processor", nullptr, out), 0);
  TextValue first;
  std::memcpy(&first, out, sizeof first);
  EXPECT_EQ(+first.tag, tag::kText);
  EXPECT_EQ(+first.owner, kHandedOver);
  EXPECT_EQ(+first.length, 7u);
  EXPECT_EQ(+first.capacity, 8u);  // the class would otherwise leave it undefined
  ASSERT_NE(+first.chars, nullptr);
  EXPECT_NE(+first.chars, +stored.chars);
  EXPECT_STREQ(first.chars, "Pentium");

  // Read again into the same output, now a text with a buffer: the same buffer is filled.
  std::memset(first.chars, 'x', 7);
  ASSERT_EQ(instance->GetAttribute("PROCESSOR", nullptr, out), 0);
  TextValue second;
  std::memcpy(&second, out, sizeof second);
  EXPECT_EQ(+second.chars, +first.chars);
  EXPECT_STREQ(second.chars, "Pentium");
  EXPECT_EQ(+second.length, 7u);
  EXPECT_EQ(+second.capacity, 8u);
  EXPECT_EQ(+second.owner, kHandedOver);
  FreeHandedText(out);
}

TEST_F(SysInfo, TextRuleNeverWritesPastAReceiversBufferOrIntoAnotherKind) {
  Instance* instance = Make();
  // A small buffer takes what fits and says how much (the class would otherwise write all 16
  // characters of "Not Implemented" into it and keep the old length).
  for (uint16_t textTag : {tag::kText, tag::kTextSecond}) {
    TextBuffer small(4);
    std::memcpy(small.Value(), &textTag, sizeof textTag);
    ASSERT_EQ(instance->GetAttribute("soundcard", nullptr, small.Value()), 0);
    EXPECT_EQ(small.Text(), "Not");
    EXPECT_EQ(small.Length(), 3u);
    uint16_t kept;
    std::memcpy(&kept, small.Value(), sizeof kept);
    EXPECT_EQ(kept, textTag);
  }
  TextBuffer roomy(64);
  ASSERT_EQ(instance->GetAttribute("soundcard", nullptr, roomy.Value()), 0);
  EXPECT_EQ(roomy.Text(), "Not Implemented");
  EXPECT_EQ(roomy.Length(), 15u);

  // A text without a buffer, or any other kind, is refused and left as it was.
  TextValue noBuffer{tag::kText, 0x7E57, 0, 0, nullptr};
  IntegerValue integer{tag::kInteger, 99};
  MessageIdValue id{tag::kMessageId, 1, 2};
  uint16_t empty = tag::kEmpty;
  for (void* out : {static_cast<void*>(&noBuffer), static_cast<void*>(&integer),
                    static_cast<void*>(&id), static_cast<void*>(&empty)}) {
    EXPECT_EQ(instance->GetAttribute("fpu", nullptr, out), 1);
  }
  EXPECT_EQ(+noBuffer.chars, nullptr);
  EXPECT_EQ(+noBuffer.length, 0u);
  EXPECT_EQ(+integer.value, 99);
  EXPECT_EQ(+id.second, 2u);
  EXPECT_EQ(empty, tag::kEmpty);
  EXPECT_EQ(instance->GetAttribute("fpu", nullptr, nullptr), 1);
}

TEST_F(SysInfo, NamesMatchInAnyCaseAndNothingElseTouchesTheOutput) {
  stand_in::Machine().screenWidth = 640;
  Instance* instance = Make();
  for (const char* name : {"screensize", "SCREENSIZE", "ScreenSize", "sCrEeNsIzE"}) {
    EXPECT_EQ(+Plain<PointValue>(instance, name).x, 640) << name;
  }
  EXPECT_EQ(Text(instance, "SysVersion"), "5.1");
  EXPECT_EQ(Text(instance, "KEYBOARDTYPE"), "IBM Enhanced");

  const IntegerValue index = testing_support::EventsIndex(0x80, 1);
  for (const char* name : {"screen", "screensizes", "sysversion2", "ram", "", "events", "value",
                           "cpu", "name", "bitsperpixel"}) {
    uint8_t out[32];
    std::memset(out, 0xA5, sizeof out);
    uint8_t untouched[32];
    std::memcpy(untouched, out, sizeof out);
    EXPECT_EQ(instance->GetAttribute(name, nullptr, out), 1) << name;
    EXPECT_EQ(instance->GetAttribute(name, &index, out), 1) << name;
    EXPECT_EQ(std::memcmp(out, untouched, sizeof out), 0) << name;
  }
  // The index is ignored by every attribute.
  EXPECT_EQ(instance->GetAttribute("bitdepth", &index, nullptr), 1);
  uint8_t out[32] = {};
  EXPECT_EQ(instance->GetAttribute("bitdepth", &index, out), 0);
}

TEST_F(SysInfo, CopiesOwnTheirTextsAndNeedNoClearedMemory) {
  stand_in::Machine().processorType = 486;
  Instance* source = Make();
  // A runtime that hands out memory without clearing it: the copy must not take the junk for
  // buffers of its own and write into them.
  host_->SetFreshInstanceBytes({0x10, 0x20, 0x30, 0x40});
  Instance* copy = host_->CopyConstruct(*source, owner_);
  ASSERT_NE(copy, nullptr);
  const auto* from = source->As<tavin::SysInfoRecord>();
  const auto* into = copy->As<tavin::SysInfoRecord>();
  for (size_t field :
       {offsetof(tavin::SysInfoRecord, osVersion), offsetof(tavin::SysInfoRecord, processor),
        offsetof(tavin::SysInfoRecord, keyboardType)}) {
    TextValue a, b;
    std::memcpy(&a, reinterpret_cast<const uint8_t*>(from) + field, sizeof a);
    std::memcpy(&b, reinterpret_cast<const uint8_t*>(into) + field, sizeof b);
    EXPECT_EQ(+b.owner, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(copy->Record())));
    EXPECT_NE(+b.chars, +a.chars);
    EXPECT_STREQ(b.chars, a.chars);
  }
  host_->Destroy(source);
  for (const char* name : kTextNames) EXPECT_NE(Text(copy, name).rfind("<", 0), 0u) << name;
  EXPECT_EQ(Text(copy, "processor"), "80486");
  EXPECT_EQ(+Plain<IntegerValue>(copy, "bitdepth").value, 32);
  EXPECT_EQ(+into->gathered.tag, tag::kFlag);
}

TEST_F(SysInfo, AssignTakesEveryFactWholeIntoTheInstancesOwnBuffers) {
  stand_in::Machine().processorType = 386;
  stand_in::Machine().keyboardType = 3;
  Instance* target = Make();
  stand_in::Machine().processorType = 586;
  stand_in::Machine().keyboardType = 7;
  stand_in::Machine().version = 0x5F03;
  stand_in::Machine().screenHeight = 480;
  Instance* source = Make();

  ASSERT_EQ(target->Assign(*source), 0);
  // "Pentium" does not fit the buffer "80386" had: the copy is not cut short.
  EXPECT_EQ(Text(target, "processor"), "Pentium");
  EXPECT_EQ(Text(target, "nativecpu"), "Pentium");
  EXPECT_EQ(Text(target, "fpu"), "Integrated");
  EXPECT_EQ(Text(target, "keyboardtype"), "Standard Japanese");
  EXPECT_EQ(Text(target, "sysversion"), "3.95");
  EXPECT_EQ(+Plain<PointValue>(target, "screensize").y, 480);
  ASSERT_EQ(target->Assign(*target), 0);
  EXPECT_EQ(Text(target, "processor"), "Pentium");
  host_->Destroy(source);
  EXPECT_EQ(Text(target, "keyboardtype"), "Standard Japanese");
}

TEST_F(SysInfo, TheScreensContextIsGivenBack) {
  Instance* instance = Make();
  EXPECT_EQ(stand_in::LiveHandles().deviceContexts, 0) << stand_in::Report();
  EXPECT_EQ(
      stand_in::Calls(),
      (std::vector<std::string>{
          "GetVersion() = 0xa280105", "GetSystemInfo(out) = processor type 586",
          "GetSystemInfo(out) = processor type 586", "GetDC(null) = dc#1",
          "GetDeviceCaps(dc#1, 12) = 32", "ReleaseDC(null, dc#1) = 1", "GetSystemMetrics(0) = 1024",
          "GetSystemMetrics(1) = 768", "GetKeyboardType(0) = 4"}));
  // Copies and reads ask the system nothing.
  Instance* copy = host_->CopyConstruct(*instance, owner_);
  copy->Assign(*instance);
  Text(copy, "processor");
  EXPECT_EQ(stand_in::Calls().size(), 9u);
}

TEST_F(SysInfo, HostCallsOfConstructReadsAndDestruct) {
  host_->SetTracing(true);
  Instance* instance = Make();
  std::vector<std::string> construct = testing_support::SlotTrace(*host_);
  ASSERT_FALSE(construct.empty());
  EXPECT_EQ(construct.front(), "-> SysInfo#1.Construct");
  // Each text: its length, then a copy of its own, in the order the facts are gathered.
  std::vector<std::string> duplicated;
  for (const std::string& line : construct) {
    if (line.rfind("StringService.DuplicateString", 0) == 0) duplicated.push_back(line);
  }
  EXPECT_EQ(duplicated,
            (std::vector<std::string>{"StringService.DuplicateString(out, \"5.1\")",
                                      "StringService.DuplicateString(out, \"Not Implemented\")",
                                      "StringService.DuplicateString(out, \"80x86\")",
                                      "StringService.DuplicateString(out, \"Pentium\")",
                                      "StringService.DuplicateString(out, \"Pentium\")",
                                      "StringService.DuplicateString(out, \"Integrated\")",
                                      "StringService.DuplicateString(out, \"Not Implemented\")",
                                      "StringService.DuplicateString(out, \"IBM Enhanced\")"}));
  EXPECT_EQ(construct.size(), 1u + 2 * 8);

  host_->ClearTrace();
  TextBuffer out(64);
  instance->GetAttribute("fpu", nullptr, out.Value());
  IntegerValue ram{tag::kInteger, 0};
  instance->GetAttribute("currentram", nullptr, &ram);
  host_->Destroy(instance);
  const std::vector<std::string> rest = testing_support::SlotTrace(*host_);
  ASSERT_GE(rest.size(), 4u);
  EXPECT_EQ(rest[0], "-> SysInfo#1.GetAttribute");
  EXPECT_EQ(rest[1].rfind("StringService.CopyStringMax(", 0), 0u) << rest[1];
  EXPECT_EQ(rest[2], "-> SysInfo#1.GetAttribute");
  EXPECT_EQ(rest[3], "-> SysInfo#1.Destruct");
  EXPECT_EQ(rest.size(), 4u + 8);  // a FreeString for each of its eight texts
}

// Memory runs out: every allocation of a whole life refused in turn. Nothing crashes, nothing
// is lost or freed twice, and a fact that could not be kept is refused rather than made up.
TEST_F(SysInfo, EveryAllocationRefusedInTurnLeavesTheBooksBalanced) {
  uint32_t grant = 0;
  for (;; ++grant) {
    ASSERT_LT(grant, 64u) << "a life should make far fewer allocations";
    const uint32_t refusedBefore = host_->RefusedAllocations();
    host_->FailAllocations(grant, 1);
    Instance* instance = Make();
    ASSERT_NE(instance, nullptr);
    Instance* copy = host_->CopyConstruct(*instance, owner_);
    Instance* other = Make();
    if (copy != nullptr) other->Assign(*copy);
    for (const char* name : kTextNames) {
      const std::string text = Text(other, name);
      EXPECT_TRUE(text.size() >= 3 && text != "<no buffer>")
          << name << " refusing allocation " << grant << ": " << text;
    }
    EXPECT_EQ(+Plain<IntegerValue>(other, "totalram").value, 1048576);
    if (copy != nullptr) host_->Destroy(copy);
    host_->Destroy(other);
    host_->Destroy(instance);
    EXPECT_TRUE(host_->Ownership().Faults().empty()) << "refusing allocation " << grant;
    EXPECT_TRUE(host_->Ownership().Leaks().empty()) << "refusing allocation " << grant;
    if (host_->RefusedAllocations() == refusedBefore) break;
  }
  host_->StopFailingAllocations();
  EXPECT_GE(grant, 24u) << "two constructions, a copy and eight reads allocate a text each";

  host_->FailAllocations(0);
  Instance* bare = Make();
  EXPECT_EQ(Text(bare, "processor"), "<status 1>");
  EXPECT_EQ(+Plain<PointValue>(bare, "screensize").x, 1024);
  host_->StopFailingAllocations();
}

}  // namespace
