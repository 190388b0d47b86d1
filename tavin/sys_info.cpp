#include "tavin/sys_info.h"

#include <cstring>
#include <type_traits>

#include "support/host_calls.h"
#include "support/names.h"
#include "support/record_bytes.h"
#include "win32/win32.h"

namespace {

using tavin::SysInfoRecord;

constexpr support::Name20 kSysInfoName = support::MakeName20("SysInfo");

constexpr const char kNotImplemented[] = "Not Implemented";
constexpr const char kArchitecture[] = "80x86";
constexpr const char kIntegrated[] = "Integrated";
// What the class's data calls an item it cannot name.
constexpr const char kUnknown[] = "Unknown";

// Indexed by what GetSystemInfo's processor type selects; "80286" is never chosen.
constexpr const char* kProcessorNames[] = {"unknown cpu", "80286", "80386", "80486", "Pentium"};
// Indexed by GetKeyboardType(0), 1 to 7; anything else is the first.
constexpr const char* kKeyboardNames[] = {"Unknown Keyboard", "IBM PX/XT",        "Olivetti ICO",
                                          "IBM AT",           "IBM Enhanced",     "Nokia 1050",
                                          "Nokia 9140",       "Standard Japanese"};

// The eight text fields, in record order.
constexpr size_t kTextFields[] = {
    offsetof(SysInfoRecord, osVersion),    offsetof(SysInfoRecord, architecture),
    offsetof(SysInfoRecord, nativeCpu),    offsetof(SysInfoRecord, fpu),
    offsetof(SysInfoRecord, computerName), offsetof(SysInfoRecord, processor),
    offsetof(SysInfoRecord, soundCard),    offsetof(SysInfoRecord, keyboardType),
};
// The numbers and the point: 6 bytes each.
constexpr size_t kPlainFields[] = {
    offsetof(SysInfoRecord, totalRam),
    offsetof(SysInfoRecord, currentRam),
    offsetof(SysInfoRecord, bitDepth),
    offsetof(SysInfoRecord, screenSize),
};
static_assert(sizeof(IntegerValue) == sizeof(PointValue));

enum class Rule { kText, kInteger, kPoint };

struct Attribute {
  support::Name20 name;
  size_t field;
  Rule rule;
};

// In the order names are matched.
constexpr Attribute kAttributes[] = {
    {support::MakeName20("sysversion"), offsetof(SysInfoRecord, osVersion), Rule::kText},
    {support::MakeName20("nativecpu"), offsetof(SysInfoRecord, nativeCpu), Rule::kText},
    {support::MakeName20("architecture"), offsetof(SysInfoRecord, architecture), Rule::kText},
    {support::MakeName20("fpu"), offsetof(SysInfoRecord, fpu), Rule::kText},
    {support::MakeName20("totalram"), offsetof(SysInfoRecord, totalRam), Rule::kInteger},
    {support::MakeName20("currentram"), offsetof(SysInfoRecord, currentRam), Rule::kInteger},
    {support::MakeName20("computername"), offsetof(SysInfoRecord, computerName), Rule::kText},
    {support::MakeName20("processor"), offsetof(SysInfoRecord, processor), Rule::kText},
    {support::MakeName20("soundcard"), offsetof(SysInfoRecord, soundCard), Rule::kText},
    {support::MakeName20("bitdepth"), offsetof(SysInfoRecord, bitDepth), Rule::kInteger},
    {support::MakeName20("screensize"), offsetof(SysInfoRecord, screenSize), Rule::kPoint},
    {support::MakeName20("keyboardtype"), offsetof(SysInfoRecord, keyboardType), Rule::kText},
};

using support::Field;
using support::Read;
using support::Write;

uint32_t Handle(const void* instance) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance));
}

void SetText(void* instance, size_t field, const char* text) {
  SetStringValue(Handle(instance), Field(instance, field), text);
}

void SetInteger(void* instance, size_t field, int32_t value) {
  Write(Field(instance, field), IntegerValue{tag::kInteger, value});
}

// "major.minor" from GetVersion's two low bytes: at most "255.255".
void FormatVersion(uint32_t version, char* out8) {
  char* at = out8;
  auto number = [&at](uint32_t n) {
    if (n >= 100) *at++ = static_cast<char>('0' + n / 100);
    if (n >= 10) *at++ = static_cast<char>('0' + n / 10 % 10);
    *at++ = static_cast<char>('0' + n % 10);
  };
  number(version & 0xFF);
  *at++ = '.';
  number((version >> 8) & 0xFF);
  *at = '\0';
}

const char* ProcessorName(DWORD processorType) {
  switch (processorType) {
    case PROCESSOR_INTEL_386:
      return kProcessorNames[2];
    case PROCESSOR_INTEL_486:
      return kProcessorNames[3];
    case PROCESSOR_INTEL_PENTIUM:
      return kProcessorNames[4];
    default:
      return kProcessorNames[0];
  }
}

const char* KeyboardName(int keyboardType) {
  constexpr int kNamed = sizeof kKeyboardNames / sizeof kKeyboardNames[0];
  return keyboardType >= 1 && keyboardType < kNamed ? kKeyboardNames[keyboardType]
                                                    : kKeyboardNames[0];
}

// The screen's colour depth. The screen's context is given back at once: the system has only
// so many, and a title may construct any number of instances.
int32_t ScreenBitsPerPixel() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return 0;
  const int bits = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return bits;
}

// Copies every text, number and the point of `source` into `instance`, which owns its texts.
void CopyFacts(void* instance, const void* source) {
  const uint32_t owner = Handle(instance);
  for (size_t field : kTextFields) {
    void* target = Field(instance, field);
    const auto from = Read<TextValue>(Field(source, field));
    const auto into = Read<TextValue>(target);
    // A buffer of the instance's own that is too small would cut the text short: it makes
    // room for a fresh one.
    if (from.chars != nullptr && into.chars != nullptr && into.capacity != 0 &&
        from.length > into.capacity - 1) {
      ReleaseTaggedValue(owner, target);
    }
    CopyStringValue(owner, target, Field(source, field));
  }
  for (size_t field : kPlainFields) {
    std::memmove(Field(instance, field), Field(source, field), sizeof(IntegerValue));
  }
}

// The text rule: an unassigned output receives a whole text of its own (handed over to the
// receiver); a text output with a buffer receives as much as its buffer holds, with its length;
// any other output, or a fact that could not be kept, answers 1 and is left as it was. No fact
// is an empty text: an empty one is a fact lost for want of memory (here or in the instance it
// was copied from).
abi::Result ReadText(const void* stored, void* out) {
  const auto text = Read<TextValue>(stored);
  if (text.chars == nullptr || text.length == 0) return abi::kNotHandled;
  const auto outTag = Read<uint16_t>(out);
  if (outTag == tag::kUnassigned) {
    TextValue whole{tag::kText, kHandedOver, 0, 0, nullptr};
    host::string::DuplicateString(reinterpret_cast<uint8_t*>(&whole) + offsetof(TextValue, chars),
                                  text.chars);
    if (whole.chars == nullptr) return abi::kNotHandled;
    whole.length = text.length;
    whole.capacity = text.length + 1;
    Write(out, whole);
    return abi::kDone;
  }
  if (outTag != tag::kText && outTag != tag::kTextSecond) return abi::kNotHandled;
  const auto into = Read<TextValue>(out);
  if (into.chars == nullptr || into.capacity == 0) return abi::kNotHandled;
  const uint32_t count = text.length < into.capacity - 1 ? text.length : into.capacity - 1;
  host::string::CopyStringMax(into.chars, text.chars, count);
  Write(static_cast<uint8_t*>(out) + offsetof(TextValue, length), count);
  return abi::kDone;
}

}  // namespace

extern "C" {

abi::Result SysInfoConstruct(void* instance, uint32_t /*baseObject*/) {
  Write(Field(instance, offsetof(SysInfoRecord, gathered)), FlagValue{tag::kFlag, 1});

  char version[8];
  FormatVersion(GetVersion(), version);
  SetText(instance, offsetof(SysInfoRecord, osVersion), version);

  SetInteger(instance, offsetof(SysInfoRecord, totalRam), tavin::kSysInfoRam);
  SetInteger(instance, offsetof(SysInfoRecord, currentRam), tavin::kSysInfoRam);
  SetText(instance, offsetof(SysInfoRecord, computerName), kNotImplemented);
  SetText(instance, offsetof(SysInfoRecord, architecture), kArchitecture);

  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const char* name = ProcessorName(info.dwProcessorType);
  SetText(instance, offsetof(SysInfoRecord, processor), name);
  SetText(instance, offsetof(SysInfoRecord, nativeCpu), name);

  GetSystemInfo(&info);
  const bool integrated = info.dwProcessorType == PROCESSOR_INTEL_486 ||
                          info.dwProcessorType == PROCESSOR_INTEL_PENTIUM;
  SetText(instance, offsetof(SysInfoRecord, fpu), integrated ? kIntegrated : kUnknown);

  SetText(instance, offsetof(SysInfoRecord, soundCard), kNotImplemented);

  SetInteger(instance, offsetof(SysInfoRecord, bitDepth), ScreenBitsPerPixel());

  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  Write(Field(instance, offsetof(SysInfoRecord, screenSize)),
        PointValue{tag::kPoint, static_cast<int16_t>(width), static_cast<int16_t>(height)});

  SetText(instance, offsetof(SysInfoRecord, keyboardType), KeyboardName(GetKeyboardType(0)));
  return abi::kDone;
}

abi::Result SysInfoCopyConstruct(void* instance, void* source, uint32_t baseObject) {
  if (source == nullptr || source == instance) {
    // Nothing to copy from: the instance still has to be one Destruct can release.
    SysInfoConstruct(instance, baseObject);
    return abi::kNotHandled;
  }
  // Fresh memory may hold anything: texts that seem to have buffers must not be written into.
  std::memset(instance, 0, sizeof(SysInfoRecord));
  Write(Field(instance, offsetof(SysInfoRecord, gathered)), FlagValue{tag::kFlag, 1});
  CopyFacts(instance, source);
  return abi::kDone;
}

abi::Result SysInfoAssign(void* instance, void* source) {
  if (source == nullptr) return abi::kNotHandled;
  CopyFacts(instance, source);
  return abi::kDone;
}

abi::Result SysInfoDestruct(void* instance) {
  for (size_t field : kTextFields) ReleaseTaggedValue(Handle(instance), Field(instance, field));
  return abi::kDone;
}

abi::Result SysInfoGetAttribute(void* instance, const char* name16, void* /*index*/, void* value) {
  if (name16 == nullptr) return abi::kNotHandled;
  const Attribute* found = nullptr;
  for (const Attribute& attribute : kAttributes) {
    if (support::NamesEqual16(name16, attribute.name.chars)) {
      found = &attribute;
      break;
    }
  }
  if (found == nullptr || value == nullptr) return abi::kNotHandled;
  uint8_t* stored = Field(instance, found->field);
  switch (found->rule) {
    case Rule::kText:
      return ReadText(stored, value);
    case Rule::kInteger:
      if (found->field == offsetof(SysInfoRecord, currentRam)) {
        SetInteger(instance, found->field, tavin::kSysInfoRam);
      }
      Write(value, IntegerValue{tag::kInteger, Read<IntegerValue>(stored).value});
      return abi::kDone;
    case Rule::kPoint: {
      const auto point = Read<PointValue>(stored);
      Write(value, PointValue{tag::kPoint, point.x, point.y});
      return abi::kDone;
    }
  }
  return abi::kNotHandled;
}

}  // extern "C"

namespace tavin {

namespace {

// The host calls these through untyped tables: their types must be the contract's exactly.
static_assert(std::is_same_v<decltype(&SysInfoConstruct), abi::callback::Construct>);
static_assert(std::is_same_v<decltype(&SysInfoCopyConstruct), abi::callback::CopyConstruct>);
static_assert(std::is_same_v<decltype(&SysInfoAssign), abi::callback::Assign>);
static_assert(std::is_same_v<decltype(&SysInfoDestruct), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&SysInfoGetAttribute), abi::callback::Attribute>);

const support::SlotEntry kSysInfoSlots[] = {
    {abi::kComponentRow, abi::slot::kConstruct, reinterpret_cast<void*>(&SysInfoConstruct)},
    {abi::kComponentRow, abi::slot::kCopyConstruct, reinterpret_cast<void*>(&SysInfoCopyConstruct)},
    {abi::kComponentRow, abi::slot::kAssign, reinterpret_cast<void*>(&SysInfoAssign)},
    {abi::kComponentRow, abi::slot::kDestruct, reinterpret_cast<void*>(&SysInfoDestruct)},
    {abi::kComponentRow, abi::slot::kGetAttribute, reinterpret_cast<void*>(&SysInfoGetAttribute)},
};

}  // namespace

const support::ClassDefinition kSysInfoClass = {kSysInfoName.chars,
                                                sizeof(SysInfoRecord),
                                                abi::kClassFlagsPlain,
                                                kSysInfoSlots,
                                                sizeof kSysInfoSlots / sizeof kSysInfoSlots[0],
                                                nullptr,
                                                0};

}  // namespace tavin
