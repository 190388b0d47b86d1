// panning: drives the "pan" attribute of its owner between a start and a stop message, either
// as a timed ramp to a target value or by following the owner's place in its scene.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/abi.h"
#include "support/registration.h"
#include "support/values.h"

namespace ostrel {

#pragma pack(push, 1)

// A real kept with a tag word nothing reads.
struct PanRealSlot {
  uint16_t tag;
  double value;
};
static_assert(sizeof(PanRealSlot) == 10);
static_assert(offsetof(PanRealSlot, value) == 2);

// The instance record, in host-owned memory. `durationText.owner` is the instance itself, so
// a record is never copied byte for byte.
struct PanningRecord {
  MessageIdValue startEvent;  // first: the instance pointer doubles as the message-id value
  MessageIdValue stopEvent;
  IntegerValue modeFlags;       // kPanPeriodicRunning | kPanFollowPosition | kPanStarted
  IntegerValue targetPan;       // -100..100, the fixed mode's target
  TextValue durationText;       // MM:SS.hh, only used by loads of version 1
  IntegerValue durationTicks;   // ramp duration in ticks of 1/600 second
  RectangleValue sceneRect;     // scene position x, y, size x, y, taken at a follow start
  PanRealSlot stepIncrement;    // pan change per ramp step
  IntegerValue stepsLeft;       // ramp steps still to run
  DurationValue durationValue;  // the duration as the editor shows it
  uint32_t ownerObject;         // the object whose "pan" is driven
};

#pragma pack(pop)

static_assert(sizeof(PanningRecord) == 100);
static_assert(offsetof(PanningRecord, startEvent) == 0);
static_assert(offsetof(PanningRecord, stopEvent) == 10);
static_assert(offsetof(PanningRecord, modeFlags) == 20);
static_assert(offsetof(PanningRecord, targetPan) == 26);
static_assert(offsetof(PanningRecord, durationText) == 32);
static_assert(offsetof(PanningRecord, durationTicks) == 50);
static_assert(offsetof(PanningRecord, sceneRect) == 56);
static_assert(offsetof(PanningRecord, stepIncrement) == 66);
static_assert(offsetof(PanningRecord, stepsLeft) == 76);
static_assert(offsetof(PanningRecord, durationValue) == 82);
static_assert(offsetof(PanningRecord, ownerObject) == 96);

// Bits of `modeFlags`.
constexpr int32_t kPanPeriodicRunning = 1;
constexpr int32_t kPanFollowPosition = 2;
constexpr int32_t kPanStarted = 4;

constexpr uint32_t kPanStartDefault = 2001;
constexpr uint32_t kPanStopDefault = 2002;
// Stops a started instance whatever its stop message is.
constexpr uint32_t kPanStopAlways = 2002;

// Editor items.
constexpr int16_t kPanStartItem = 4;
constexpr int16_t kPanStopItem = 6;
constexpr int16_t kPanFixedItem = 8;
constexpr int16_t kPanTargetItem = 9;
constexpr int16_t kPanDurationItem = 11;
constexpr int16_t kPanFollowItem = 12;
constexpr int16_t kPanLimitedTargetItem = 16;

constexpr int32_t kPanLeft = -100;
constexpr int32_t kPanRight = 100;

// Ticks of 1/600 second; the ramp takes one step per periodic call of 10 ticks.
constexpr uint32_t kPanTicksPerSecond = 600;
constexpr int32_t kPanTicksPerStep = 10;

constexpr int16_t kPanDataVersion = 3;

// MM:SS.hh, and its terminator.
constexpr uint32_t kPanTimeTextLength = 8;
constexpr char kPanZeroTime[] = "00:00.00";

// The ticks of a time text MM:SS.hh (seconds may exceed 59), or -1 when `text` is not one.
// Reads at most `capacity` bytes of `text`.
int32_t PanTimeTextTicks(const char* text, uint32_t capacity);

// The entry protocol of the exported `panning` entry.
uint32_t RunPanningEntry(abi::PluginDescriptor* descriptor);

}  // namespace ostrel
