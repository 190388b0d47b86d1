// SysInfo: facts about the machine (system version, processor, memory, screen, keyboard),
// gathered once at construction and read through read-only attributes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/registration.h"
#include "support/values.h"

namespace tavin {

// Every text is a buffer the instance owns.
#pragma pack(push, 1)
struct SysInfoRecord {
  FlagValue gathered;  // 1 once Construct gathered the facts; nothing reads it
  TextValue osVersion;
  TextValue architecture;
  TextValue nativeCpu;
  TextValue fpu;
  IntegerValue totalRam;
  IntegerValue currentRam;
  TextValue computerName;
  TextValue processor;
  TextValue soundCard;
  IntegerValue bitDepth;
  PointValue screenSize;
  TextValue keyboardType;
};
#pragma pack(pop)
static_assert(sizeof(SysInfoRecord) == 172);
static_assert(offsetof(SysInfoRecord, gathered) == 0);
static_assert(offsetof(SysInfoRecord, osVersion) == 4);
static_assert(offsetof(SysInfoRecord, architecture) == 22);
static_assert(offsetof(SysInfoRecord, nativeCpu) == 40);
static_assert(offsetof(SysInfoRecord, fpu) == 58);
static_assert(offsetof(SysInfoRecord, totalRam) == 76);
static_assert(offsetof(SysInfoRecord, currentRam) == 82);
static_assert(offsetof(SysInfoRecord, computerName) == 88);
static_assert(offsetof(SysInfoRecord, processor) == 106);
static_assert(offsetof(SysInfoRecord, soundCard) == 124);
static_assert(offsetof(SysInfoRecord, bitDepth) == 142);
static_assert(offsetof(SysInfoRecord, screenSize) == 148);
static_assert(offsetof(SysInfoRecord, keyboardType) == 154);

// What the class reports for memory, whatever the machine has.
constexpr int32_t kSysInfoRam = 1048576;

extern const support::ClassDefinition kSysInfoClass;

}  // namespace tavin
