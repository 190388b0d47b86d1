// Tagged values: the layouts of every tag the libraries exchange with the host, and the
// support layer's copy and release operations for them.
//
// A tagged value is a 16-bit tag at byte 0 and a body fixed by the tag. Every layout is a
// byte-level contract with the host: packed, little-endian, 32-bit pointers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "support/abi.h"

namespace tag {
constexpr uint16_t kEmpty = 0;
constexpr uint16_t kInteger = 1;
constexpr uint16_t kDuration = 9;
constexpr uint16_t kPoint = 10;
constexpr uint16_t kRange = 11;
constexpr uint16_t kRectangle = 13;
constexpr uint16_t kReal = 15;
constexpr uint16_t kTripleReal = 16;
constexpr uint16_t kFlag = 20;
constexpr uint16_t kMessageId = 23;
constexpr uint16_t kChoice = 100;
constexpr uint16_t kByteBlock = 101;
constexpr uint16_t kText = 102;
constexpr uint16_t kRecord40 = 104;
constexpr uint16_t kReference = 105;
constexpr uint16_t kUnassigned = 106;
constexpr uint16_t kRecord24 = 107;
constexpr uint16_t kObjectPath = 109;
constexpr uint16_t kTextSecond = 111;
constexpr uint16_t kIdentity = 112;
}  // namespace tag

// The owner word of a text or block handed over to its receiver.
constexpr uint32_t kHandedOver = 0xFFFFFFFFu;

#pragma pack(push, 1)

// Any tagged value seen through its tag alone.
struct TaggedValue {
  uint16_t tag;
};
static_assert(sizeof(TaggedValue) == 2);

struct EmptyValue {
  uint16_t tag;
};
static_assert(sizeof(EmptyValue) == 2);

struct IntegerValue {
  uint16_t tag;
  int32_t value;
};
static_assert(sizeof(IntegerValue) == 6);
static_assert(offsetof(IntegerValue, value) == 2);

struct DurationValue {
  uint16_t tag;
  uint32_t count;
  uint32_t divisor;
  uint32_t rate;
};
static_assert(sizeof(DurationValue) == 14);
static_assert(offsetof(DurationValue, count) == 2);
static_assert(offsetof(DurationValue, divisor) == 6);
static_assert(offsetof(DurationValue, rate) == 10);

struct PointValue {
  uint16_t tag;
  int16_t x;
  int16_t y;
};
static_assert(sizeof(PointValue) == 6);
static_assert(offsetof(PointValue, y) == 4);

struct RangeValue {
  uint16_t tag;
  int32_t start;
  int32_t end;
};
static_assert(sizeof(RangeValue) == 10);
static_assert(offsetof(RangeValue, start) == 2);
static_assert(offsetof(RangeValue, end) == 6);

struct RectangleValue {
  uint16_t tag;
  int16_t coordinates[4];
};
static_assert(sizeof(RectangleValue) == 10);
static_assert(offsetof(RectangleValue, coordinates) == 2);

struct RealValue {
  uint16_t tag;
  double value;
};
static_assert(sizeof(RealValue) == 10);
static_assert(offsetof(RealValue, value) == 2);

struct TripleRealValue {
  uint16_t tag;
  double values[3];
};
static_assert(sizeof(TripleRealValue) == 26);
static_assert(offsetof(TripleRealValue, values) == 2);

struct FlagValue {
  uint16_t tag;
  uint16_t value;  // 0 or 1
};
static_assert(sizeof(FlagValue) == 4);
static_assert(offsetof(FlagValue, value) == 2);

struct MessageIdValue {
  uint16_t tag;
  uint32_t id;
  uint32_t second;  // 0 in every default
};
static_assert(sizeof(MessageIdValue) == 10);
static_assert(offsetof(MessageIdValue, id) == 2);
static_assert(offsetof(MessageIdValue, second) == 6);

struct ChoiceValue {
  uint16_t tag;
  uint32_t selection;
  uint32_t word;
};
static_assert(sizeof(ChoiceValue) == 10);
static_assert(offsetof(ChoiceValue, selection) == 2);
static_assert(offsetof(ChoiceValue, word) == 6);

// Tag 101: `length` raw bytes in a buffer of `capacity` from MemoryService.
struct BlockValue {
  uint16_t tag;
  uint32_t owner;
  uint32_t capacity;
  uint32_t length;
  uint8_t* bytes;
};
static_assert(sizeof(BlockValue) == 18);
static_assert(offsetof(BlockValue, owner) == 2);
static_assert(offsetof(BlockValue, capacity) == 6);
static_assert(offsetof(BlockValue, length) == 10);
static_assert(offsetof(BlockValue, bytes) == 14);

// Tags 102 and 111: a NUL-terminated string of `length` characters in a buffer of
// `capacity` bytes from StringService; `owner` is whoever may free it (-1: handed over).
struct TextValue {
  uint16_t tag;
  uint32_t owner;
  uint32_t capacity;
  uint32_t length;
  char* chars;
};
static_assert(sizeof(TextValue) == 18);
static_assert(offsetof(TextValue, owner) == 2);
static_assert(offsetof(TextValue, capacity) == 6);
static_assert(offsetof(TextValue, length) == 10);
static_assert(offsetof(TextValue, chars) == 14);

struct Record40Value {
  uint16_t tag;
  uint8_t bytes[40];
};
static_assert(sizeof(Record40Value) == 42);

// Tag 112: the host's persistent identity of a referenced object.
struct IdentityValue {
  uint16_t tag;
  uint32_t word;
  uint32_t words[8];
};
static_assert(sizeof(IdentityValue) == 38);
static_assert(offsetof(IdentityValue, word) == 2);
static_assert(offsetof(IdentityValue, words) == 6);

// Tag 105: a host object by handle, possibly chained by the host with other references to
// the same object.
struct ReferenceValue {
  uint16_t tag;
  ReferenceValue* previous;
  ReferenceValue* next;
  uint32_t object;  // 0 = none
  IdentityValue* identity;
};
static_assert(sizeof(ReferenceValue) == 18);
static_assert(offsetof(ReferenceValue, previous) == 2);
static_assert(offsetof(ReferenceValue, next) == 6);
static_assert(offsetof(ReferenceValue, object) == 10);
static_assert(offsetof(ReferenceValue, identity) == 14);

struct UnassignedValue {
  uint16_t tag;
};
static_assert(sizeof(UnassignedValue) == 2);

struct Record24Value {
  uint16_t tag;
  uint8_t bytes[24];
};
static_assert(sizeof(Record24Value) == 26);

// Tag 109: `count` 32-bit entries in an array the owning component allocated.
struct ObjectPathValue {
  uint16_t tag;
  uint16_t count;
  uint32_t* entries;
};
static_assert(sizeof(ObjectPathValue) == 8);
static_assert(offsetof(ObjectPathValue, count) == 2);
static_assert(offsetof(ObjectPathValue, entries) == 4);

#pragma pack(pop)

// The support layer's value operations. `owner` is the instance on whose behalf a buffer is
// allocated or freed. None reports a status; CopyTaggedValue marks an unsupported tag by
// setting the last host status to 1.
void CopyTaggedValue(uint32_t owner, void* destination, const void* source);
void ReleaseTaggedValue(uint32_t owner, void* value);
void CopyStringValue(uint32_t owner, void* destination, const void* source);
void SetStringValue(uint32_t owner, void* destination, const char* text);
void CopyBlockValue(uint32_t owner, void* destination, const void* source);
void CopyReference(void* destination, const void* source);
void UnlinkReference(void* value);
void ReleaseReference(void* value);
void CopyPathValue(void* destination, const void* source);

// The whole size of a value of this tag, tag included; 0 for a tag whose layout the libraries
// do not know. Lets a component check that a caller's value is large enough before reading it.
uint32_t TaggedValueSize(uint16_t valueTag);

// The tag of the tagged value at `value`, wherever it lies: values sit unaligned in packed
// records and in callers' buffers.
inline uint16_t TagOf(const void* value) {
  uint16_t valueTag;
  std::memcpy(&valueTag, value, sizeof valueTag);
  return valueTag;
}
