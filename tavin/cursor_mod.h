// CursorMod: asks the host to show a chosen cursor when its message arrives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/registration.h"
#include "support/values.h"

namespace tavin {

// The declared size is 22 bytes; the two values fill the first 20 and the rest is unused.
#pragma pack(push, 1)
struct CursorModRecord {
  MessageIdValue cursorEvent;  // the message that sets the cursor
  ChoiceValue cursorChoice;    // its selection is the cursor number
  uint8_t unused[2];
};
#pragma pack(pop)
static_assert(sizeof(CursorModRecord) == 22);
static_assert(offsetof(CursorModRecord, cursorEvent) == 0);
static_assert(offsetof(CursorModRecord, cursorChoice) == 10);
static_assert(offsetof(CursorModRecord, unused) == 20);

constexpr uint32_t kCursorEventDefault = 303;
constexpr uint32_t kCursorChoiceDefault = 0;
constexpr int16_t kCursorEventItem = 9;
constexpr int16_t kCursorChoiceItem = 7;
constexpr int16_t kCursorModDataVersion = 0;

extern const support::ClassDefinition kCursorModClass;

}  // namespace tavin
