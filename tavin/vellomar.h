// Vellomar: on its message, deals a fresh tile layout into another object as 28 numbered
// values, through that object's own SetAttribute.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/registration.h"
#include "support/values.h"

namespace tavin {

// `target` is a value slot: storage for one tagged value of at most its size, here the
// designation of the object that receives the layout. Its body is the host's.
#pragma pack(push, 1)
struct VellomarRecord {
  MessageIdValue events;  // the message that triggers a deal; the record starts with it
  uint8_t target[42];     // usable when it holds a target designation (tag 115)
};
#pragma pack(pop)
static_assert(sizeof(VellomarRecord) == 52);
static_assert(offsetof(VellomarRecord, events) == 0);
static_assert(offsetof(VellomarRecord, target) == 10);

// Vellomar's own tag: the value the host's editor yields for a chosen target object, and
// that ResolveTarget turns into that object.
constexpr uint16_t kTargetDesignationTag = 115;

constexpr uint32_t kVellomarEventsDefault = 101;
constexpr int16_t kVellomarEventsItem = 4;
constexpr int16_t kVellomarTargetItem = 9;
constexpr int16_t kVellomarDataVersion = 0;

extern const support::ClassDefinition kVellomarClass;

}  // namespace tavin
