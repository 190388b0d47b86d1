#include "ostrel/panning.h"

#include <array>
#include <cstring>

#include "support/host_calls.h"
#include "support/names.h"
#include "support/record_bytes.h"

namespace {

using ostrel::kPanFollowPosition;
using ostrel::kPanPeriodicRunning;
using ostrel::kPanStarted;
using ostrel::PanningRecord;

constexpr support::Name20 kPanningName = support::MakeName20("panning");
constexpr support::Name20 kEventsName = support::MakeName20("events");
constexpr support::Name20 kPanName = support::MakeName20("pan");
constexpr support::Name20 kSceneName = support::MakeName20("scene");
constexpr support::Name20 kPositionName = support::MakeName20("position");
constexpr support::Name20 kSizeName = support::MakeName20("size");
constexpr support::Name20 kGlobalOffsetName = support::MakeName20("globaloffset");

// The member selectors of an "events" index (top byte); the element (low 24 bits) must be 1.
constexpr uint32_t kSelectStart = 0x80;
constexpr uint32_t kSelectStop = 0x40;

// The interval asked of StartPeriodic: 10 ticks of 1/600 second, one ramp step of 1/60 second.
constexpr uint32_t kPeriodicInterval = 10;

using support::kScratchSize;

PanningRecord* Self(void* instance) {
  return static_cast<PanningRecord*>(instance);
}

uint32_t OwnerWord(const PanningRecord* self) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(self));
}

int32_t Flags(const PanningRecord* self) {
  return self->modeFlags.value;
}

bool HasFlag(const PanningRecord* self, int32_t bit) {
  return (self->modeFlags.value & bit) != 0;
}

void SetFlag(PanningRecord* self, int32_t bit, bool on) {
  const int32_t flags = self->modeFlags.value;
  self->modeFlags = IntegerValue{tag::kInteger, on ? (flags | bit) : (flags & ~bit)};
}

bool HasBuffer(const TextValue& text) {
  return text.chars != nullptr && text.capacity != 0;
}

// A double as an int32, truncated toward zero; values beyond the range (or not a number) are
// held at its ends rather than converted, which would be undefined.
int32_t TruncateToInt32(double value) {
  if (!(value > -2147483649.0)) return value != value ? 0 : INT32_MIN;
  if (!(value < 2147483648.0)) return INT32_MAX;
  return static_cast<int32_t>(value);
}

// An attribute of `object` read into scratch storage preset to an empty value of `presetTag`.
// The host's answer is looked at only when it is of the kind asked for.
struct Answer {
  uint16_t status;
  alignas(4) uint8_t bytes[kScratchSize];
  bool Is(uint16_t wanted) const { return status == 0 && TagOf(bytes) == wanted; }
};

Answer ReadAttribute(uint32_t object, const support::Name20& name, uint16_t presetTag) {
  Answer answer{};
  std::memcpy(answer.bytes, &presetTag, sizeof presetTag);
  answer.status = host::object::GetObjectAttribute(object, name.chars, nullptr, answer.bytes);
  return answer;
}

PointValue PointOf(const Answer& answer) {
  PointValue point{tag::kPoint, 0, 0};
  if (TagOf(answer.bytes) == tag::kPoint) std::memcpy(&point, answer.bytes, sizeof point);
  return point;
}

// A pan is -100..100 whatever target a damaged title or a foreign editor gave and wherever the
// owner's pan stood when a ramp began, as following limits its own.
void SetPan(const PanningRecord* self, int32_t pan) {
  if (pan < ostrel::kPanLeft) pan = ostrel::kPanLeft;
  if (pan > ostrel::kPanRight) pan = ostrel::kPanRight;
  const IntegerValue value{tag::kInteger, pan};
  host::object::SetObjectAttribute(self->ownerObject, kPanName.chars, nullptr, &value);
}

// Ends whatever a start message began: the periodic calls, if they run, and the started state.
void StopRunning(PanningRecord* self) {
  if (HasFlag(self, kPanPeriodicRunning)) {
    host::periodic::StopPeriodic(self, 0);
    SetFlag(self, kPanPeriodicRunning, false);
  }
  SetFlag(self, kPanStarted, false);
}

void StartPeriodicCalls(PanningRecord* self) {
  host::periodic::StartPeriodic(self, 0, kPeriodicInterval, 1, 0);
  SetFlag(self, kPanPeriodicRunning, true);
}

// The fields a start message fills in, defined from the beginning so that nothing reads
// whatever the host's memory held.
void ClearRunState(PanningRecord* self) {
  self->sceneRect = RectangleValue{tag::kRectangle, {0, 0, 0, 0}};
  self->stepIncrement = ostrel::PanRealSlot{0, 0.0};
  self->stepsLeft = IntegerValue{0, 0};
  self->ownerObject = 0;
}

void ReleaseDurationText(PanningRecord* self) {
  TextValue& text = self->durationText;
  if (text.owner == OwnerWord(self) && HasBuffer(text)) host::string::FreeString(text.chars);
  text.chars = nullptr;
  text.capacity = 0;
  text.length = 0;
}

// A fresh buffer holding "00:00.00"; the old one must already be released or never have been.
void ResetDurationText(PanningRecord* self) {
  SetStringValue(OwnerWord(self), &self->durationText, ostrel::kPanZeroTime);
}

DurationValue DurationOfTicks(int32_t ticks) {
  return DurationValue{tag::kDuration, static_cast<uint32_t>(ticks), 1, ostrel::kPanTicksPerSecond};
}

// The editor's duration in ticks: count / divisor. A divisor of 0, or the one pair whose
// quotient does not fit, gives no duration rather than a crash.
int32_t TicksOfDuration(const DurationValue& duration) {
  const auto count = static_cast<int32_t>(duration.count);
  const auto divisor = static_cast<int32_t>(duration.divisor);
  if (divisor == 0 || (count == INT32_MIN && divisor == -1)) return 0;
  return count / divisor;
}

void ConstructRecord(PanningRecord* self) {
  self->startEvent = MessageIdValue{tag::kMessageId, ostrel::kPanStartDefault, 0};
  self->stopEvent = MessageIdValue{tag::kMessageId, ostrel::kPanStopDefault, 0};
  self->modeFlags = IntegerValue{tag::kInteger, 0};
  self->targetPan = IntegerValue{tag::kInteger, 0};
  self->durationText = TextValue{tag::kText, OwnerWord(self), 0, 0, nullptr};
  ResetDurationText(self);
  self->durationTicks = IntegerValue{tag::kInteger, 0};
  self->durationValue = DurationOfTicks(0);
  ClearRunState(self);
}

// The settings Assign and CopyConstruct carry over. The target's text must hold no buffer of
// its own: it gets a new one.
void CopySettings(PanningRecord* self, const PanningRecord* from) {
  self->startEvent = from->startEvent;
  self->stopEvent = from->stopEvent;
  self->modeFlags = IntegerValue{tag::kInteger, Flags(from) & kPanFollowPosition};
  self->targetPan = from->targetPan;
  ResetDurationText(self);
  CopyStringValue(OwnerWord(self), &self->durationText, &from->durationText);
  self->durationTicks = from->durationTicks;
  self->durationValue = from->durationValue;
}

bool SameIdPair(const MessageIdValue& event, uint32_t id, uint32_t second) {
  return event.id == id && event.second == second;
}

// A follow start: the scene's place is taken once; each periodic call then reads the owner's.
void StartFollowing(PanningRecord* self) {
  Answer scene{};
  const ReferenceValue none{tag::kReference, nullptr, nullptr, 0, nullptr};
  std::memcpy(scene.bytes, &none, sizeof none);
  scene.status =
      host::object::GetObjectAttribute(self->ownerObject, kSceneName.chars, nullptr, scene.bytes);
  uint32_t sceneObject = 0;
  if (TagOf(scene.bytes) == tag::kReference) {
    ReferenceValue reference;
    std::memcpy(&reference, scene.bytes, sizeof reference);
    sceneObject = reference.object;
    // A reference on this stack must not stay in a host chain once the call returns.
    UnlinkReference(scene.bytes);
  }
  const PointValue position = PointOf(ReadAttribute(sceneObject, kPositionName, tag::kPoint));
  const PointValue size = PointOf(ReadAttribute(sceneObject, kSizeName, tag::kPoint));
  self->sceneRect = RectangleValue{tag::kRectangle, {position.x, position.y, size.x, size.y}};
  StartPeriodicCalls(self);
}

abi::Result StartRamp(PanningRecord* self) {
  const Answer current = ReadAttribute(self->ownerObject, kPanName, tag::kInteger);
  if (current.status != 0) {
    // Left set, the next start message would be taken for a stop.
    SetFlag(self, kPanStarted, false);
    return abi::kNotHandled;
  }
  IntegerValue pan{tag::kInteger, 0};
  if (current.Is(tag::kInteger)) std::memcpy(&pan, current.bytes, sizeof pan);
  const int32_t steps = self->durationTicks.value / ostrel::kPanTicksPerStep;
  self->stepsLeft = IntegerValue{self->stepsLeft.tag, steps};
  if (steps != 0) {
    const double change = static_cast<double>(self->targetPan.value) - pan.value;
    self->stepIncrement.value = change / steps;
  }
  StartPeriodicCalls(self);
  return abi::kDone;
}

abi::Result Start(PanningRecord* self) {
  SetFlag(self, kPanStarted, true);
  host::instance::GetOwner(self,
                           reinterpret_cast<uint8_t*>(self) + offsetof(PanningRecord, ownerObject));
  if (HasFlag(self, kPanFollowPosition)) {
    StartFollowing(self);
  } else if (self->durationTicks.value != 0) {
    return StartRamp(self);
  } else {
    SetPan(self, self->targetPan.value);
  }
  return abi::kDone;
}

// One periodic call in follow mode. Positions are 16-bit and so is their arithmetic; halving
// rounds toward zero.
abi::Result FollowStep(PanningRecord* self) {
  const Answer position = ReadAttribute(self->ownerObject, kPositionName, tag::kPoint);
  if (position.status != 0) return abi::kNotHandled;
  const int16_t sceneX = self->sceneRect.coordinates[0];
  const int16_t sceneWidth = self->sceneRect.coordinates[2];
  const auto half = static_cast<int16_t>(static_cast<int16_t>(sceneWidth - sceneX) / 2);
  auto v = static_cast<int16_t>(PointOf(position).x - half);
  v = static_cast<int16_t>(
      v + PointOf(ReadAttribute(self->ownerObject, kGlobalOffsetName, tag::kPoint)).x);
  v = static_cast<int16_t>(v +
                           PointOf(ReadAttribute(self->ownerObject, kSizeName, tag::kPoint)).x / 2);
  int32_t pan = 0;
  if (half != 0) {
    // Limited while still a real: narrowed first, a far-away owner would wrap to the other side.
    double ratio = static_cast<double>(v) / half * 100.0;
    if (ratio > ostrel::kPanRight) ratio = ostrel::kPanRight;
    if (ratio < ostrel::kPanLeft) ratio = ostrel::kPanLeft;
    pan = TruncateToInt32(ratio);
  }
  SetPan(self, pan);
  return abi::kDone;
}

abi::Result RampStep(PanningRecord* self) {
  int32_t pan = self->targetPan.value;
  if (self->stepsLeft.value > 0) {
    const int32_t left = self->stepsLeft.value - 1;
    self->stepsLeft.value = left;
    pan = TruncateToInt32(static_cast<double>(self->targetPan.value) -
                          left * self->stepIncrement.value);
  } else if (HasFlag(self, kPanPeriodicRunning)) {
    StopRunning(self);
  }
  SetPan(self, pan);
  return abi::kDone;
}

// The ticks of a loaded time text, which is made "00:00.00" when it is not one. The text must
// live in a buffer of its own of at least 9 bytes for that.
int32_t SettleLoadedText(PanningRecord* self) {
  TextValue& text = self->durationText;
  const int32_t ticks = ostrel::PanTimeTextTicks(text.chars, text.chars ? text.capacity : 0);
  if (ticks >= 0) {
    text.length = ostrel::kPanTimeTextLength;
    return ticks;
  }
  if (text.chars != nullptr && text.capacity > ostrel::kPanTimeTextLength) {
    std::memcpy(text.chars, ostrel::kPanZeroTime, sizeof ostrel::kPanZeroTime);
    text.length = ostrel::kPanTimeTextLength;
  } else {
    ReleaseDurationText(self);
    ResetDurationText(self);
  }
  return 0;
}

// Takes the text a stream read into `loaded` as the duration text, the old buffer given back.
void TakeLoadedText(PanningRecord* self, const TextValue& loaded) {
  ReleaseDurationText(self);
  const bool isText = loaded.tag == tag::kText || loaded.tag == tag::kTextSecond;
  self->durationText = TextValue{tag::kText, OwnerWord(self), 0, 0, nullptr};
  if (!isText || loaded.chars == nullptr) return;
  // The buffer the host made for the read is the instance's from now on.
  self->durationText.capacity = loaded.capacity;
  self->durationText.length = loaded.length;
  self->durationText.chars = loaded.chars;
  if (loaded.capacity == 0) {
    // Of unknown size: neither read nor written in place, only given back.
    host::string::FreeString(loaded.chars);
    self->durationText.chars = nullptr;
    self->durationText.length = 0;
  }
}

// Reads one fixed-size value of `valueTag` from the stream into `field`, which changes only
// when the host answered with a value of that kind.
uint16_t ReadField(void* stream, void* field, uint16_t valueTag) {
  alignas(4) uint8_t scratch[kScratchSize] = {};
  std::memcpy(scratch, &valueTag, sizeof valueTag);
  const uint16_t status = host::stream::ReadValue(stream, scratch);
  if (status != 0) return status;
  if (TagOf(scratch) != valueTag) return abi::kNotHandled;
  std::memcpy(field, scratch, TaggedValueSize(valueTag));
  return 0;
}

int32_t LimitedSum(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

abi::Result LoadFields(PanningRecord* self, void* stream, int16_t version) {
  uint16_t status = ReadField(stream, &self->startEvent, tag::kMessageId);
  if (status == 0) status = ReadField(stream, &self->stopEvent, tag::kMessageId);
  IntegerValue stored{tag::kInteger, 0};
  if (status == 0) status = ReadField(stream, &stored, tag::kInteger);
  // A stored running or started bit would describe periodic calls of another session.
  if (status == 0) self->modeFlags = IntegerValue{tag::kInteger, stored.value & kPanFollowPosition};
  if (status == 0) status = ReadField(stream, &self->targetPan, tag::kInteger);
  if (status != 0) return status;

  if (version != 1) {
    status = ReadField(stream, &self->durationTicks, tag::kInteger);
    if (status != 0) return status;
    self->durationValue = DurationOfTicks(self->durationTicks.value);
    return abi::kDone;
  }
  // Version 1 kept the duration as a time text and the pan as 0..100.
  TextValue loaded{tag::kText, OwnerWord(self), 0, 0, nullptr};
  status = host::stream::ReadValue(stream, &loaded);
  if (status != 0) return status;
  TakeLoadedText(self, loaded);
  const int32_t ticks = SettleLoadedText(self);
  self->durationTicks = IntegerValue{tag::kInteger, ticks};
  self->targetPan.value = LimitedSum(int64_t{self->targetPan.value} * 2 - 100);
  self->durationValue = DurationOfTicks(ticks);
  return abi::kDone;
}

// The values of the stored form, in order. The flags go as `flags`: StoredSize measures the
// instance's own, Save writes a value holding only the follow bit.
std::array<const void*, 5> StoredValues(const PanningRecord* self, const IntegerValue* flags) {
  return {&self->startEvent, &self->stopEvent, flags, &self->targetPan, &self->durationTicks};
}

}  // namespace

namespace ostrel {

int32_t PanTimeTextTicks(const char* text, uint32_t capacity) {
  if (text == nullptr || capacity <= kPanTimeTextLength) return -1;
  if (text[kPanTimeTextLength] != '\0' || text[2] != ':' || text[5] != '.') return -1;
  static constexpr int32_t kWeights[kPanTimeTextLength] = {360000, 36000, 0, 6000, 600, 0, 60, 6};
  int32_t ticks = 0;
  for (uint32_t i = 0; i < kPanTimeTextLength; ++i) {
    if (i == 2 || i == 5) continue;
    if (text[i] < '0' || text[i] > '9') return -1;
    ticks += kWeights[i] * (text[i] - '0');
  }
  return ticks;
}

}  // namespace ostrel

extern "C" {

abi::Result PanningConstruct(void* instance, uint32_t /*baseObject*/) {
  if (instance == nullptr) return abi::kNotHandled;
  ConstructRecord(Self(instance));
  return abi::kDone;
}

abi::Result PanningCopyConstruct(void* instance, void* source, uint32_t baseObject) {
  if (instance == nullptr) return abi::kNotHandled;
  if (source == nullptr || source == instance) {
    // Nothing to copy from: the instance still has to be one Destruct can release.
    PanningConstruct(instance, baseObject);
    return abi::kNotHandled;
  }
  PanningRecord* self = Self(instance);
  self->durationText = TextValue{tag::kText, OwnerWord(self), 0, 0, nullptr};
  ClearRunState(self);
  CopySettings(self, Self(source));
  return abi::kDone;
}

abi::Result PanningAssign(void* instance, void* source) {
  if (instance == nullptr || source == nullptr) return abi::kNotHandled;
  PanningRecord* self = Self(instance);
  // The copy leaves the instance idle: what it had started must end, or nothing would stop
  // its periodic calls.
  StopRunning(self);
  if (source == instance) return abi::kDone;
  ReleaseDurationText(self);
  CopySettings(self, Self(source));
  return abi::kDone;
}

abi::Result PanningDestruct(void* instance) {
  if (instance == nullptr) return abi::kNotHandled;
  PanningRecord* self = Self(instance);
  // Left running, the host would call Periodic on memory that is gone.
  if (HasFlag(self, kPanPeriodicRunning)) StopRunning(self);
  ReleaseDurationText(self);
  return abi::kDone;
}

abi::Result PanningAttached(void* instance) {
  if (instance == nullptr) return abi::kNotHandled;
  host::instance::GetOwner(instance,
                           static_cast<uint8_t*>(instance) + offsetof(PanningRecord, ownerObject));
  return abi::kDone;
}

abi::Result PanningEnable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStart, &Self(instance)->startEvent);
  return abi::kDone;
}

abi::Result PanningDisable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStop, &Self(instance)->startEvent);
  return abi::kDone;
}

abi::Result PanningVisitMessageIds(void* instance, uint32_t a, uint32_t b) {
  host::system::VisitMessageId(0, a, b, &Self(instance)->startEvent);
  host::system::VisitMessageId(0, a, b, &Self(instance)->stopEvent);
  return abi::kDone;
}

abi::Result PanningHandleMessage(void* instance, void* message) {
  if (instance == nullptr || message == nullptr) return abi::kNotHandled;
  PanningRecord* self = Self(instance);
  uint32_t words[2];
  std::memcpy(words, static_cast<const uint8_t*>(message) + offsetof(abi::MessageRecord, id),
              sizeof words);
  const bool started = HasFlag(self, kPanStarted);
  if (!started && SameIdPair(self->startEvent, words[0], words[1])) return Start(self);
  if (started &&
      (SameIdPair(self->stopEvent, words[0], words[1]) || words[0] == ostrel::kPanStopAlways)) {
    StopRunning(self);
    return abi::kDone;
  }
  return abi::kNotHandled;
}

abi::Result PanningPeriodic(void* instance) {
  if (instance == nullptr) return abi::kNotHandled;
  PanningRecord* self = Self(instance);
  return HasFlag(self, kPanFollowPosition) ? FollowStep(self) : RampStep(self);
}

abi::Result PanningGetAttribute(void* instance, const char* name16, void* index, void* value) {
  if (instance == nullptr || name16 == nullptr || value == nullptr) return abi::kNotHandled;
  if (!support::NamesEqual16(name16, kEventsName.chars)) return abi::kNotHandled;
  // The tag first: an index of another kind may be shorter than an integer.
  if (index == nullptr || TagOf(index) != tag::kInteger) return abi::kNotHandled;
  IntegerValue position;
  std::memcpy(&position, index, sizeof position);
  const auto word = static_cast<uint32_t>(position.value);
  if ((word & 0xFFFFFFu) != 1) return abi::kNotHandled;
  const PanningRecord* self = Self(instance);
  switch (word >> 24) {
    case kSelectStart:
      std::memcpy(value, &self->startEvent, sizeof self->startEvent);
      return abi::kDone;
    case kSelectStop:
      std::memcpy(value, &self->stopEvent, sizeof self->stopEvent);
      return abi::kDone;
    default:
      return abi::kNotHandled;
  }
}

abi::Result PanningToEditor(void* instance, void* editor, int16_t /*mode*/) {
  PanningRecord* self = Self(instance);
  const bool follow = HasFlag(self, kPanFollowPosition);
  host::editor::PutItem(editor, ostrel::kPanStartItem, &self->startEvent);
  host::editor::PutItem(editor, ostrel::kPanStopItem, &self->stopEvent);
  host::editor::PutItem(editor, ostrel::kPanTargetItem, &self->targetPan);
  host::editor::PutItem(editor, ostrel::kPanLimitedTargetItem, &self->targetPan);
  host::editor::PutItem(editor, ostrel::kPanDurationItem, &self->durationValue);
  const IntegerValue followChoice{tag::kInteger, follow ? kPanFollowPosition : 0};
  host::editor::PutItem(editor, ostrel::kPanFollowItem, &followChoice);
  const IntegerValue fixedChoice{tag::kInteger, follow ? 0 : 1};
  host::editor::PutItem(editor, ostrel::kPanFixedItem, &fixedChoice);
  if (follow) {
    host::editor::DisableItem(editor, ostrel::kPanDurationItem, 1);
    host::editor::DisableItem(editor, ostrel::kPanTargetItem, 1);
    host::editor::DisableItem(editor, ostrel::kPanLimitedTargetItem, 1);
  }
  return abi::kDone;
}

abi::Result PanningFromEditor(void* instance, void* editor) {
  PanningRecord* self = Self(instance);
  self->startEvent.tag = tag::kMessageId;
  host::editor::GetItem(editor, ostrel::kPanStartItem, &self->startEvent);
  self->stopEvent.tag = tag::kMessageId;
  host::editor::GetItem(editor, ostrel::kPanStopItem, &self->stopEvent);
  IntegerValue choice{tag::kInteger, 0};
  host::editor::GetItem(editor, ostrel::kPanFollowItem, &choice);
  const bool follow = choice.tag == tag::kInteger && choice.value != 0;
  // A start message in one mode must not be ended by periodic calls of the other, which would
  // read what that start never set.
  if (follow != HasFlag(self, kPanFollowPosition)) StopRunning(self);
  SetFlag(self, kPanFollowPosition, follow);
  if (follow) return abi::kDone;
  self->targetPan.tag = tag::kInteger;
  host::editor::GetItem(editor, ostrel::kPanTargetItem, &self->targetPan);
  self->durationValue.tag = tag::kDuration;
  host::editor::GetItem(editor, ostrel::kPanDurationItem, &self->durationValue);
  self->durationTicks = IntegerValue{tag::kInteger, TicksOfDuration(self->durationValue)};
  return abi::kDone;
}

abi::Result PanningEditorItemChanged(void* instance, void* editor, uint32_t /*ignored*/,
                                     int16_t item) {
  PanningRecord* self = Self(instance);
  switch (item) {
    case ostrel::kPanFixedItem:
    case ostrel::kPanFollowItem: {
      const int16_t disabled = item == ostrel::kPanFollowItem ? 1 : 0;
      host::editor::DisableItem(editor, ostrel::kPanDurationItem, disabled);
      host::editor::DisableItem(editor, ostrel::kPanTargetItem, disabled);
      host::editor::DisableItem(editor, ostrel::kPanLimitedTargetItem, disabled);
      break;
    }
    case ostrel::kPanTargetItem:
      self->targetPan.tag = tag::kInteger;
      host::editor::GetItem(editor, ostrel::kPanTargetItem, &self->targetPan);
      host::editor::PutItem(editor, ostrel::kPanLimitedTargetItem, &self->targetPan);
      break;
    case ostrel::kPanLimitedTargetItem:
      self->targetPan.tag = tag::kInteger;
      host::editor::GetItem(editor, ostrel::kPanLimitedTargetItem, &self->targetPan);
      if (self->targetPan.value > ostrel::kPanRight) {
        self->targetPan.value = ostrel::kPanRight;
        host::editor::PutItem(editor, ostrel::kPanLimitedTargetItem, &self->targetPan);
      } else if (self->targetPan.value < ostrel::kPanLeft) {
        self->targetPan.value = ostrel::kPanLeft;
        host::editor::PutItem(editor, ostrel::kPanLimitedTargetItem, &self->targetPan);
      }
      host::editor::PutItem(editor, ostrel::kPanTargetItem, &self->targetPan);
      break;
    default:
      break;
  }
  return abi::kDone;
}

abi::Result PanningStoredSize(void* instance, void* stream, uint32_t /*ignored*/, int16_t* version,
                              uint32_t* size) {
  const PanningRecord* self = Self(instance);
  uint32_t total = 0;
  for (const void* value : StoredValues(self, &self->modeFlags)) {
    uint32_t one = 0;
    host::stream::StoredSizeOf(stream, value, &one);
    total += one;
  }
  if (size != nullptr) std::memcpy(size, &total, sizeof total);
  if (version != nullptr) std::memcpy(version, &ostrel::kPanDataVersion, sizeof(int16_t));
  return abi::kDone;
}

abi::Result PanningSave(void* instance, void* stream) {
  const PanningRecord* self = Self(instance);
  const IntegerValue flags{tag::kInteger, Flags(self) & kPanFollowPosition};
  for (const void* value : StoredValues(self, &flags)) host::stream::WriteValue(stream, value);
  return abi::kDone;
}

abi::Result PanningLoad(void* instance, void* stream, uint32_t /*ignored*/, int16_t version) {
  if (version < 1 || version > ostrel::kPanDataVersion) return abi::kNotHandled;
  PanningRecord* self = Self(instance);
  // The loaded settings replace the mode a start message acted on.
  StopRunning(self);
  return LoadFields(self, stream, version);
}

}  // extern "C"

namespace ostrel {

uint32_t RunPanningEntry(abi::PluginDescriptor* descriptor) {
  using namespace abi::slot;
  using support::Slot;
  constexpr uint16_t row = abi::kComponentRow;
  const support::SlotEntry slots[] = {
      {row, kAttached, Slot(&PanningAttached)},
      {row, kConstruct, Slot(&PanningConstruct)},
      {row, kAssign, Slot(&PanningAssign)},
      {row, kCopyConstruct, Slot(&PanningCopyConstruct)},
      {row, kDestruct, Slot(&PanningDestruct)},
      {row, kDisable, Slot(&PanningDisable)},
      {row, kFromEditor, Slot(&PanningFromEditor)},
      {row, kEditorItemChanged, Slot(&PanningEditorItemChanged)},
      {row, kToEditor, Slot(&PanningToEditor)},
      {row, kEnable, Slot(&PanningEnable)},
      {row, kStoredSize, Slot(&PanningStoredSize)},
      {row, kHandleMessage, Slot(&PanningHandleMessage)},
      {row, kLoad, Slot(&PanningLoad)},
      {row, kSave, Slot(&PanningSave)},
      {row, kGetAttribute, Slot(&PanningGetAttribute)},
      {row, kVisitMessageIds, Slot(&PanningVisitMessageIds)},
  };
  // Periodic is registered once the host pointers are captured.
  const support::SlotEntry afterCapture[] = {
      {abi::kSecondRow, kPeriodic, Slot(&PanningPeriodic)},
  };
  const support::ClassDefinition definition{kPanningName.chars,
                                            sizeof(PanningRecord),
                                            abi::kClassFlagsPlain,
                                            slots,
                                            sizeof slots / sizeof slots[0],
                                            afterCapture,
                                            sizeof afterCapture / sizeof afterCapture[0]};
  return support::RunEntry(descriptor, definition);
}

}  // namespace ostrel
