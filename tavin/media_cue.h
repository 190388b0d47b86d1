// MediaCue: sends a configured message when its owner's play position reaches a point, a range
// or a range the owner names under a symbol.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/registration.h"
#include "support/values.h"

namespace tavin {

// Fields 1 to 8 are the configuration (edited, stored, copied); the rest is run-time state.
// A value slot is storage for one tagged value of at most its size.
#pragma pack(push, 1)
struct MediaCueRecord {
  MessageIdValue enableId;   // arrival starts watching the owner
  MessageIdValue disableId;  // arrival stops watching
  MessageIdValue sendId;     // id of the message sent at the cue
  IntegerValue messageFlags;
  uint8_t destination[18];   // passed through to ComposeMessage; held, any tag
  uint8_t messageData[42];   // passed through to ComposeMessage; held, any tag
  uint8_t rangeSetting[26];  // 1 point, 11 range, 100 symbol the owner resolves; else no cue
  IntegerValue triggerMode;  // 0 leading edge, 1 inside, 2 trailing edge
  uint8_t activeRange[26];   // the cue resolved at the last enable message: 1, 11 or 0
  int32_t direction;         // 0 unset, 2 forward, 3 backward
  int32_t lastPosition;
  uint32_t cueFlags;  // bit 0: fired in the current pass
  int32_t movieValue;
  uint16_t watchFlags;  // bit 0: a notification arrived since watching was requested
  uint32_t owner;
  IntegerValue rate;  // the owner's "rate" as last read
};
#pragma pack(pop)
static_assert(sizeof(MediaCueRecord) == 182);
static_assert(offsetof(MediaCueRecord, enableId) == 0);
static_assert(offsetof(MediaCueRecord, disableId) == 10);
static_assert(offsetof(MediaCueRecord, sendId) == 20);
static_assert(offsetof(MediaCueRecord, messageFlags) == 30);
static_assert(offsetof(MediaCueRecord, destination) == 36);
static_assert(offsetof(MediaCueRecord, messageData) == 54);
static_assert(offsetof(MediaCueRecord, rangeSetting) == 96);
static_assert(offsetof(MediaCueRecord, triggerMode) == 122);
static_assert(offsetof(MediaCueRecord, activeRange) == 128);
static_assert(offsetof(MediaCueRecord, direction) == 154);
static_assert(offsetof(MediaCueRecord, lastPosition) == 158);
static_assert(offsetof(MediaCueRecord, cueFlags) == 162);
static_assert(offsetof(MediaCueRecord, movieValue) == 166);
static_assert(offsetof(MediaCueRecord, watchFlags) == 170);
static_assert(offsetof(MediaCueRecord, owner) == 172);
static_assert(offsetof(MediaCueRecord, rate) == 176);

// MediaCue's own request tags: no body, preset before an editor read to ask for a kind.
constexpr uint16_t kDestinationRequestTag = 113;
constexpr uint16_t kCueRequestTag = 114;

constexpr uint32_t kMediaCueEnableDefault = 2001;
constexpr uint32_t kMediaCueDisableDefault = 2002;
constexpr uint32_t kMediaCueSendDefault = 1;
constexpr int32_t kMediaCueFlagsDefault = 7;
constexpr uint32_t kMediaCueDestinationSelection = 201;
constexpr uint32_t kMediaCueDestinationWord = 5;

constexpr int32_t kDirectionUnset = 0;
constexpr int32_t kDirectionForward = 2;
constexpr int32_t kDirectionBackward = 3;
constexpr uint32_t kCueFired = 1;
constexpr uint16_t kWatching = 1;

constexpr int32_t kTriggerLeadingEdge = 0;
constexpr int32_t kTriggerInside = 1;
constexpr int32_t kTriggerTrailingEdge = 2;

// Editor items.
constexpr int16_t kMediaCueEnableItem = 24;
constexpr int16_t kMediaCueDisableItem = 25;
constexpr int16_t kMediaCueSendItem = 14;
constexpr int16_t kMediaCueFlagItems[3] = {21, 22, 23};  // bits 0, 1, 2 of messageFlags
constexpr int16_t kMediaCueDestinationItem = 18;
constexpr int16_t kMediaCueDataItem = 16;
constexpr int16_t kMediaCueRangeItem = 7;
constexpr int16_t kMediaCueModeItems[3] = {9, 10, 11};  // trigger modes 0, 1, 2

constexpr int16_t kMediaCueDataVersion = 1;
constexpr int16_t kMediaCueOldDataVersion = 0;

extern const support::ClassDefinition kMediaCueClass;

}  // namespace tavin
