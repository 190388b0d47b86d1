// ObjRefP: an object reference variable. Its value is an object path (absolute, or relative to
// the base object the host gives at construction) or a reference bound to a host object; each
// form is rebuilt from the other when it is asked for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/abi.h"
#include "support/registration.h"
#include "support/values.h"

namespace ostrel {

// The instance record, in host-owned memory. `reference.identity` points at `identity` and
// `pathText.owner` is the instance itself, so a record is never copied byte for byte.
#pragma pack(push, 1)
struct ObjRefRecord {
  MessageIdValue events;  // first: the instance pointer doubles as the message-id value
  uint32_t baseObject;    // base of ./ and ../ paths
  ReferenceValue reference;
  TextValue pathText;
  IdentityValue identity;
  uint8_t bound;        // the reference was registered with the host or resolved
  uint8_t pathCurrent;  // pathText is the up-to-date form of the value
};
#pragma pack(pop)
static_assert(sizeof(ObjRefRecord) == 90);
static_assert(offsetof(ObjRefRecord, events) == 0);
static_assert(offsetof(ObjRefRecord, baseObject) == 10);
static_assert(offsetof(ObjRefRecord, reference) == 14);
static_assert(offsetof(ObjRefRecord, pathText) == 32);
static_assert(offsetof(ObjRefRecord, identity) == 50);
static_assert(offsetof(ObjRefRecord, bound) == 88);
static_assert(offsetof(ObjRefRecord, pathCurrent) == 89);

// The text buffer every instance starts with, and the size a longer one shrinks back to.
constexpr uint32_t kObjRefTextCapacity = 256;
// The longest path text kept: text copies count characters in 16 signed bits.
constexpr uint32_t kObjRefMaxTextLength = 32766;

// The entry protocol of the exported `ObjRefP` entry.
uint32_t RunObjRefEntry(abi::PluginDescriptor* descriptor);

}  // namespace ostrel
