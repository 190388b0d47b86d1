#include "tavin/media_cue.h"

#include <cstring>
#include <type_traits>

#include "support/host_calls.h"
#include "support/names.h"
#include "support/record_bytes.h"

namespace {

using tavin::MediaCueRecord;

constexpr support::Name20 kMediaCueName = support::MakeName20("MediaCue");
constexpr support::Name20 kEventsName = support::MakeName20("events");
constexpr support::Name20 kRangeSymbolName = support::MakeName20("rangesymbol");
constexpr support::Name20 kClassNameName = support::MakeName20("classname");
constexpr support::Name20 kMovieName = support::MakeName20("movie");
constexpr support::Name20 kRateName = support::MakeName20("rate");
// The owner class whose "movie" attribute pins the position at 0.
constexpr support::Name20 kKovClass = support::MakeName20("kov");

// The member selectors of an "events" index (top byte); the element (low 24 bits) must be 1.
constexpr uint32_t kSelectEnable = 0x80;
constexpr uint32_t kSelectDisable = 0x40;
constexpr uint32_t kSelectSend = 0x20;

// The text buffer asked for to receive the owner's class name.
constexpr uint32_t kClassNameBuffer = 17;

using support::Field;
using support::kScratchSize;
using support::Read;
using support::Write;

constexpr int32_t kNoPosition = -1;

#define MC_FIELD(instance, name) Field(instance, offsetof(MediaCueRecord, name))

uint16_t TagAt(const void* value) {
  return Read<uint16_t>(value);
}

int32_t IntegerAt(const void* value) {
  return Read<int32_t>(static_cast<const uint8_t*>(value) + offsetof(IntegerValue, value));
}

void WriteMessageId(void* at, uint32_t id) {
  Write(at, MessageIdValue{tag::kMessageId, id, 0});
}

void WriteInteger(void* at, int32_t value) {
  Write(at, IntegerValue{tag::kInteger, value});
}

// A value slot holding nothing: tag 0 and a cleared body.
void ClearSlot(void* slot, size_t size) {
  std::memset(slot, 0, size);
}

uint32_t Handle(const void* instance) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance));
}

uint32_t OwnerOf(void* instance) {
  return Read<uint32_t>(MC_FIELD(instance, owner));
}

bool HasFlag32(void* at, uint32_t bit) {
  return (Read<uint32_t>(at) & bit) != 0;
}
void SetFlag32(void* at, uint32_t bit, bool on) {
  const uint32_t word = Read<uint32_t>(at);
  Write(at, on ? (word | bit) : (word & ~bit));
}
bool HasFlag16(void* at, uint16_t bit) {
  return (Read<uint16_t>(at) & bit) != 0;
}
void SetFlag16(void* at, uint16_t bit, bool on) {
  const uint16_t word = Read<uint16_t>(at);
  Write(at, static_cast<uint16_t>(on ? (word | bit) : (word & ~bit)));
}

bool Fired(void* instance) {
  return HasFlag32(MC_FIELD(instance, cueFlags), tavin::kCueFired);
}
void SetFired(void* instance, bool on) {
  SetFlag32(MC_FIELD(instance, cueFlags), tavin::kCueFired, on);
}
bool Watching(void* instance) {
  return HasFlag16(MC_FIELD(instance, watchFlags), tavin::kWatching);
}
void SetWatching(void* instance, bool on) {
  SetFlag16(MC_FIELD(instance, watchFlags), tavin::kWatching, on);
}

// The run-time state a fresh instance starts from. The resolved cue and the movie value are
// cleared too: a host need not hand out zeroed memory, and an enable message whose setting
// names no cue would otherwise test against whatever the memory held.
void ResetRunState(void* instance) {
  ClearSlot(MC_FIELD(instance, activeRange), sizeof(MediaCueRecord::activeRange));
  Write(MC_FIELD(instance, direction), tavin::kDirectionUnset);
  Write(MC_FIELD(instance, lastPosition), int32_t{0});
  SetFired(instance, false);
  Write(MC_FIELD(instance, movieValue), int32_t{0});
  SetWatching(instance, false);
  Write(MC_FIELD(instance, owner), uint32_t{0});
  WriteInteger(MC_FIELD(instance, rate), 0);
}

// The three configuration values that may hold host storage (texts, blocks, paths).
struct HeldSlot {
  size_t offset;
  size_t size;
};
constexpr HeldSlot kHeldSlots[] = {
    {offsetof(MediaCueRecord, destination), sizeof(MediaCueRecord::destination)},
    {offsetof(MediaCueRecord, messageData), sizeof(MediaCueRecord::messageData)},
    {offsetof(MediaCueRecord, rangeSetting), sizeof(MediaCueRecord::rangeSetting)},
};

void ReleaseHeld(void* instance) {
  for (const HeldSlot& slot : kHeldSlots) host::object::ReleaseValue(Field(instance, slot.offset));
}

// The configuration copy shared by CopyConstruct and Assign: plain fields bytewise, held
// values deeply. The target's held slots must hold nothing.
void CopyConfiguration(void* instance, const void* source) {
  constexpr size_t kPlainHead = offsetof(MediaCueRecord, destination);
  std::memcpy(instance, source, kPlainHead);
  for (const HeldSlot& slot : kHeldSlots) {
    // A copy the host refuses leaves an empty value, never a stale one.
    ClearSlot(Field(instance, slot.offset), slot.size);
    host::object::CopyValue(Field(instance, slot.offset),
                            static_cast<const uint8_t*>(source) + slot.offset);
  }
  std::memcpy(MC_FIELD(instance, triggerMode),
              static_cast<const uint8_t*>(source) + offsetof(MediaCueRecord, triggerMode),
              sizeof(IntegerValue));
}

// Reads a value into a held slot through scratch storage, so the slot changes only when the
// host answered, the value it replaces is released rather than lost, and a text never lands
// truncated in the old value's smaller buffer. `read` fills the scratch value whose tag is
// preset to `preset`.
template <typename ReadFn>
void ReplaceHeld(void* instance, size_t offset, size_t size, uint16_t preset, ReadFn read) {
  uint8_t scratch[kScratchSize] = {};
  Write(scratch, preset);
  if (read(scratch) != 0) return;
  // A value larger than the slot (a 42-byte record asked for as "any kind") would be cut, and
  // its tag would still claim the bytes of the fields behind the slot: refused like a failed
  // read. It owns nothing, as only fixed-size tags are that large.
  if (TaggedValueSize(TagAt(scratch)) > size) return;
  void* slot = Field(instance, offset);
  host::object::ReleaseValue(slot);
  std::memcpy(slot, scratch, size);
}

// Reads the owner's "rate" and derives the direction of play from it. An answer that is not
// an integer leaves the last rate standing.
void ReadRate(void* instance) {
  uint8_t scratch[kScratchSize] = {};
  WriteInteger(scratch, 0);
  if (host::object::GetObjectAttribute(OwnerOf(instance), kRateName.chars, nullptr, scratch) == 0 &&
      TagAt(scratch) == tag::kInteger) {
    std::memcpy(MC_FIELD(instance, rate), scratch, sizeof(IntegerValue));
  }
  const int32_t rate = IntegerAt(MC_FIELD(instance, rate));
  Write(MC_FIELD(instance, direction),
        rate < 0 ? tavin::kDirectionBackward : tavin::kDirectionForward);
}

// A class name as a 16-byte name field: cut at the first NUL or space, NUL-padded. Never reads
// past the terminator or the buffer the host filled.
void ClassNameField(const char* text, uint32_t capacity, char* out16) {
  std::memset(out16, 0, abi::kNameSize);
  for (uint32_t i = 0; i < abi::kNameSize && i < capacity; ++i) {
    if (text[i] == '\0' || (i > 0 && text[i] == ' ')) break;
    out16[i] = text[i];
  }
}

void ResolveCue(void* instance) {
  void* setting = MC_FIELD(instance, rangeSetting);
  void* active = MC_FIELD(instance, activeRange);
  switch (TagAt(setting)) {
    case tag::kChoice: {
      uint8_t answer[kScratchSize] = {};
      Write(answer, tag::kUnassigned);
      const uint16_t status = host::object::GetObjectAttribute(
          OwnerOf(instance), kRangeSymbolName.chars, setting, answer);
      if (status == 0 && TagAt(answer) == tag::kRange) {
        std::memcpy(active, answer, sizeof(RangeValue));
        return;
      }
      // An answer of another kind may hold storage the host gave us.
      if (status == 0) host::object::ReleaseValue(answer);
      Write(active, tag::kEmpty);
      return;
    }
    case tag::kInteger:
      std::memcpy(active, setting, sizeof(IntegerValue));
      return;
    case tag::kRange:
      std::memcpy(active, setting, sizeof(RangeValue));
      return;
    default:
      return;  // no cue configured: the one resolved earlier stands
  }
}

void RequestNotifications(void* instance) {
  const abi::NotifyRequest request{
      static_cast<int16_t>(abi::kPositionNotification), instance, 1, 1, {0, 0, 0}};
  host::object::AddNotification(OwnerOf(instance), &request, 0);
}

void Arm(void* instance) {
  host::instance::GetOwner(instance, MC_FIELD(instance, owner));
  ResolveCue(instance);

  TextValue name{tag::kText, Handle(instance), 0, 0, nullptr};
  host::string::AllocString(reinterpret_cast<uint8_t*>(&name) + offsetof(TextValue, chars),
                            kClassNameBuffer);
  char* const ours = name.chars;
  if (ours != nullptr) {
    name.capacity = kClassNameBuffer;
    ours[0] = '\0';
  }
  const uint16_t status =
      host::object::GetObjectAttribute(OwnerOf(instance), kClassNameName.chars, nullptr, &name);
  // Whatever the host wrote, only a text carries a buffer to look at.
  char* const answer =
      name.tag == tag::kText || name.tag == tag::kTextSecond ? name.chars : nullptr;

  if (status == 0 && answer != nullptr) {
    Write(MC_FIELD(instance, direction), tavin::kDirectionUnset);
    Write(MC_FIELD(instance, movieValue), int32_t{0});
    Write(MC_FIELD(instance, lastPosition), int32_t{0});
    SetFired(instance, false);

    char className[abi::kNameSize];
    const uint32_t capacity = name.capacity;
    ClassNameField(answer, capacity != 0 ? capacity : uint32_t{abi::kNameSize}, className);
    if (support::NamesEqual16(className, kKovClass.chars)) {
      uint8_t movie[kScratchSize] = {};
      WriteInteger(movie, 0);
      host::object::GetObjectAttribute(OwnerOf(instance), kMovieName.chars, nullptr, movie);
      Write(MC_FIELD(instance, movieValue), TagAt(movie) == tag::kInteger ? IntegerAt(movie) : 0);
    }
    ReadRate(instance);
    if (!Watching(instance)) RequestNotifications(instance);
  }

  // A text that still names this instance (or was handed over) is ours to give back; if the
  // host put some other kind of value there, the buffer we asked for is still ours.
  if (name.tag == tag::kText || name.tag == tag::kTextSecond) {
    if (name.chars != nullptr && name.capacity != 0 &&
        (name.owner == Handle(instance) || name.owner == kHandedOver)) {
      host::string::FreeString(name.chars);
    }
  } else if (ours != nullptr) {
    host::string::FreeString(ours);
  }
}

void Disarm(void* instance) {
  host::instance::GetOwner(instance, MC_FIELD(instance, owner));
  host::object::RemoveNotification(OwnerOf(instance), abi::kPositionNotification);
  SetWatching(instance, false);
}

bool SameIdPair(const void* stored, uint32_t id, uint32_t second) {
  const auto value = Read<MessageIdValue>(stored);
  return value.id == id && value.second == second;
}

void Send(void* instance) {
  abi::MessageRecord record{};
  host::object::ComposeMessage(instance, MC_FIELD(instance, destination),
                               MC_FIELD(instance, sendId), MC_FIELD(instance, messageData),
                               static_cast<uint32_t>(IntegerAt(MC_FIELD(instance, messageFlags))),
                               &record);
  host::object::DeliverMessage(&record);
}

// Whether the last enable message left a cue at all: without one nothing is ever sent.
bool HasCue(void* instance) {
  const uint16_t active = TagAt(MC_FIELD(instance, activeRange));
  return active == tag::kInteger || active == tag::kRange;
}

// Whether the resolved cue is reached at `current`, by the trigger mode.
bool CueReached(void* instance, int32_t current) {
  const void* active = MC_FIELD(instance, activeRange);
  const int32_t direction = Read<int32_t>(MC_FIELD(instance, direction));
  const bool forward = direction == tavin::kDirectionForward;
  const bool backward = direction == tavin::kDirectionBackward;
  const bool fired = Fired(instance);
  switch (TagAt(active)) {
    case tag::kInteger: {
      const int32_t p = IntegerAt(active);
      return !fired && ((p <= current && forward) || (p >= current && backward));
    }
    case tag::kRange: {
      const auto range = Read<RangeValue>(active);
      const int32_t s = range.start;
      const int32_t e = range.end;
      switch (IntegerAt(MC_FIELD(instance, triggerMode))) {
        case tavin::kTriggerLeadingEdge:
          return !fired && ((s <= current && forward) || (e >= current && backward));
        case tavin::kTriggerInside:
          if (s <= current && current <= e) return true;
          // Passed over the whole range between two notifications.
          return !fired && ((e < current && forward) || (s > current && backward));
        case tavin::kTriggerTrailingEdge:
          return !fired && ((e <= current && forward) || (s >= current && backward));
        default:
          return false;
      }
    }
    default:
      return false;
  }
}

}  // namespace

extern "C" {

abi::Result MediaCueConstruct(void* instance, uint32_t /*baseObject*/) {
  WriteMessageId(MC_FIELD(instance, enableId), tavin::kMediaCueEnableDefault);
  WriteMessageId(MC_FIELD(instance, disableId), tavin::kMediaCueDisableDefault);
  WriteMessageId(MC_FIELD(instance, sendId), tavin::kMediaCueSendDefault);
  WriteInteger(MC_FIELD(instance, messageFlags), tavin::kMediaCueFlagsDefault);
  ClearSlot(MC_FIELD(instance, destination), sizeof(MediaCueRecord::destination));
  Write(MC_FIELD(instance, destination),
        ChoiceValue{tag::kChoice, tavin::kMediaCueDestinationSelection,
                    tavin::kMediaCueDestinationWord});
  ClearSlot(MC_FIELD(instance, messageData), sizeof(MediaCueRecord::messageData));
  ClearSlot(MC_FIELD(instance, rangeSetting), sizeof(MediaCueRecord::rangeSetting));
  WriteInteger(MC_FIELD(instance, triggerMode), tavin::kTriggerLeadingEdge);
  ResetRunState(instance);
  return abi::kDone;
}

abi::Result MediaCueCopyConstruct(void* instance, void* source, uint32_t baseObject) {
  if (source == nullptr || source == instance) {
    // Nothing to copy from: the instance still has to be one Destruct can release.
    MediaCueConstruct(instance, baseObject);
    return abi::kNotHandled;
  }
  CopyConfiguration(instance, source);
  ResetRunState(instance);
  return abi::kDone;
}

abi::Result MediaCueAssign(void* instance, void* source) {
  if (source == nullptr) return abi::kNotHandled;
  if (source != instance) {
    // The copies would otherwise overwrite, and lose, what the target holds.
    ReleaseHeld(instance);
    CopyConfiguration(instance, source);
  }
  Write(MC_FIELD(instance, direction), tavin::kDirectionUnset);
  Write(MC_FIELD(instance, lastPosition), int32_t{0});
  SetFired(instance, false);
  SetWatching(instance, false);
  return abi::kDone;
}

abi::Result MediaCueDestruct(void* instance) {
  ReleaseHeld(instance);
  return abi::kDone;
}

abi::Result MediaCueGetAttribute(void* instance, const char* name16, void* index, void* value) {
  if (name16 == nullptr || !support::NamesEqual16(name16, kEventsName.chars)) {
    return abi::kNotHandled;
  }
  if (index == nullptr || value == nullptr || TagAt(index) != tag::kInteger) {
    return abi::kNotHandled;
  }
  const auto word = static_cast<uint32_t>(IntegerAt(index));
  if ((word & 0xFFFFFFu) != 1) return abi::kNotHandled;
  const void* selected = nullptr;
  switch (word >> 24) {
    case kSelectEnable:
      selected = MC_FIELD(instance, enableId);
      break;
    case kSelectDisable:
      selected = MC_FIELD(instance, disableId);
      break;
    case kSelectSend:
      selected = MC_FIELD(instance, sendId);
      break;
    default:
      return abi::kNotHandled;
  }
  std::memcpy(value, selected, sizeof(MessageIdValue));
  return abi::kDone;
}

abi::Result MediaCueSetAttribute(void* /*instance*/, const char* /*name16*/, void* /*index*/,
                                 void* /*value*/) {
  return abi::kNotHandled;  // every attribute is read-only
}

abi::Result MediaCueToEditor(void* instance, void* editor, int16_t mode) {
  if (mode != 0) return abi::kNotHandled;
  host::editor::PutItem(editor, tavin::kMediaCueEnableItem, MC_FIELD(instance, enableId));
  host::editor::PutItem(editor, tavin::kMediaCueDisableItem, MC_FIELD(instance, disableId));
  host::editor::PutItem(editor, tavin::kMediaCueSendItem, MC_FIELD(instance, sendId));
  const int32_t flags = IntegerAt(MC_FIELD(instance, messageFlags));
  for (int bit = 0; bit < 3; ++bit) {
    const FlagValue flag{tag::kFlag, static_cast<uint16_t>((flags >> bit) & 1)};
    host::editor::PutItem(editor, tavin::kMediaCueFlagItems[bit], &flag);
  }
  host::editor::PutItem(editor, tavin::kMediaCueDestinationItem, MC_FIELD(instance, destination));
  host::editor::PutItem(editor, tavin::kMediaCueDataItem, MC_FIELD(instance, messageData));
  host::editor::PutItem(editor, tavin::kMediaCueRangeItem, MC_FIELD(instance, rangeSetting));
  const int32_t trigger = IntegerAt(MC_FIELD(instance, triggerMode));
  for (int32_t m = 0; m < 3; ++m) {
    const FlagValue flag{tag::kFlag, static_cast<uint16_t>(trigger == m ? 1 : 0)};
    host::editor::PutItem(editor, tavin::kMediaCueModeItems[m], &flag);
  }
  return abi::kDone;
}

abi::Result MediaCueFromEditor(void* instance, void* editor) {
  host::editor::GetItem(editor, tavin::kMediaCueEnableItem, MC_FIELD(instance, enableId));
  host::editor::GetItem(editor, tavin::kMediaCueDisableItem, MC_FIELD(instance, disableId));
  host::editor::GetItem(editor, tavin::kMediaCueSendItem, MC_FIELD(instance, sendId));

  // Only an item the editor answered counts: a failed read must not pass on the flag the
  // read before it left behind.
  FlagValue flag{tag::kFlag, 0};
  for (int bit = 0; bit < 3; ++bit) {
    flag = FlagValue{tag::kFlag, 0};
    if (host::editor::GetItem(editor, tavin::kMediaCueFlagItems[bit], &flag) != 0) continue;
    int32_t flags = IntegerAt(MC_FIELD(instance, messageFlags));
    flags = flag.value != 0 ? (flags | (1 << bit)) : (flags & ~(1 << bit));
    Write(MC_FIELD(instance, messageFlags) + offsetof(IntegerValue, value), flags);
  }

  ReplaceHeld(instance, offsetof(MediaCueRecord, destination), sizeof(MediaCueRecord::destination),
              tavin::kDestinationRequestTag, [editor](void* value) {
                return host::editor::GetItem(editor, tavin::kMediaCueDestinationItem, value);
              });
  ReplaceHeld(instance, offsetof(MediaCueRecord, messageData), sizeof(MediaCueRecord::messageData),
              TagAt(MC_FIELD(instance, messageData)), [editor](void* value) {
                return host::editor::GetItem(editor, tavin::kMediaCueDataItem, value);
              });
  ReplaceHeld(instance, offsetof(MediaCueRecord, rangeSetting),
              sizeof(MediaCueRecord::rangeSetting), tavin::kCueRequestTag, [editor](void* value) {
                return host::editor::GetItem(editor, tavin::kMediaCueRangeItem, value);
              });

  for (int32_t m = 0; m < 3; ++m) {
    flag = FlagValue{tag::kFlag, 0};
    if (host::editor::GetItem(editor, tavin::kMediaCueModeItems[m], &flag) != 0) continue;
    if (flag.value != 0) WriteInteger(MC_FIELD(instance, triggerMode), m);
  }
  return abi::kDone;
}

abi::Result MediaCueEditorItemChanged(void* /*instance*/, void* /*editor*/, uint32_t /*ignored*/,
                                      int16_t /*item*/) {
  return abi::kDone;
}

}  // extern "C"

namespace {

// The stored fields of version 1, in order.
constexpr size_t kStoredOrder[] = {
    offsetof(MediaCueRecord, enableId),     offsetof(MediaCueRecord, disableId),
    offsetof(MediaCueRecord, sendId),       offsetof(MediaCueRecord, messageFlags),
    offsetof(MediaCueRecord, destination),  offsetof(MediaCueRecord, messageData),
    offsetof(MediaCueRecord, rangeSetting), offsetof(MediaCueRecord, triggerMode),
};

// Version 0 had no trigger mode and a different order.
constexpr size_t kOldStoredOrder[] = {
    offsetof(MediaCueRecord, enableId),     offsetof(MediaCueRecord, disableId),
    offsetof(MediaCueRecord, rangeSetting), offsetof(MediaCueRecord, messageFlags),
    offsetof(MediaCueRecord, sendId),       offsetof(MediaCueRecord, destination),
    offsetof(MediaCueRecord, messageData),
};

const HeldSlot* HeldSlotAt(size_t offset) {
  for (const HeldSlot& slot : kHeldSlots) {
    if (slot.offset == offset) return &slot;
  }
  return nullptr;
}

void ReadField(void* instance, void* stream, size_t offset) {
  if (const HeldSlot* slot = HeldSlotAt(offset)) {
    // The stored value's own kind wins over whatever the slot held before.
    ReplaceHeld(instance, slot->offset, slot->size, tag::kUnassigned,
                [stream](void* value) { return host::stream::ReadValue(stream, value); });
    return;
  }
  host::stream::ReadValue(stream, Field(instance, offset));
}

}  // namespace

extern "C" {

abi::Result MediaCueStoredSize(void* instance, void* stream, uint32_t /*ignored*/, int16_t* version,
                               uint32_t* size) {
  uint32_t total = 0;
  for (size_t offset : kStoredOrder) {
    uint32_t one = 0;
    host::stream::StoredSizeOf(stream, Field(instance, offset), &one);
    total += one;
  }
  if (size != nullptr) std::memcpy(size, &total, sizeof total);
  if (version != nullptr) std::memcpy(version, &tavin::kMediaCueDataVersion, sizeof(int16_t));
  return abi::kDone;
}

abi::Result MediaCueSave(void* instance, void* stream) {
  for (size_t offset : kStoredOrder) host::stream::WriteValue(stream, Field(instance, offset));
  return abi::kDone;
}

abi::Result MediaCueLoad(void* instance, void* stream, uint32_t /*ignored*/, int16_t version) {
  if (version == tavin::kMediaCueDataVersion) {
    for (size_t offset : kStoredOrder) ReadField(instance, stream, offset);
  } else if (version == tavin::kMediaCueOldDataVersion) {
    for (size_t offset : kOldStoredOrder) ReadField(instance, stream, offset);
  } else {
    return abi::kNotHandled;
  }
  SetFired(instance, false);
  SetWatching(instance, false);
  return abi::kDone;
}

// The host is asked for the enable message only. The disable message reaches the instance
// the way any message sent to its owner does.
abi::Result MediaCueEnable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStart, MC_FIELD(instance, enableId));
  return abi::kDone;
}

abi::Result MediaCueDisable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStop, MC_FIELD(instance, enableId));
  return abi::kDone;
}

abi::Result MediaCueHandleMessage(void* instance, void* message) {
  if (message == nullptr) return abi::kNotHandled;
  const auto* bytes = static_cast<const uint8_t*>(message);
  const auto id = Read<uint32_t>(bytes + offsetof(abi::MessageRecord, id));
  const auto second = Read<uint32_t>(bytes + offsetof(abi::MessageRecord, second));
  if (SameIdPair(MC_FIELD(instance, enableId), id, second)) {
    Arm(instance);
    return abi::kDone;
  }
  if (SameIdPair(MC_FIELD(instance, disableId), id, second)) {
    Disarm(instance);
    return abi::kDone;
  }
  return abi::kNotHandled;
}

abi::Result MediaCuePeriodic(void* /*instance*/) {
  return abi::kDone;
}

abi::Result MediaCuePositionChanged(void* instance, int32_t* position) {
  if (position == nullptr) return abi::kNotHandled;
  const int32_t current =
      Read<int32_t>(MC_FIELD(instance, movieValue)) != 0 ? 0 : Read<int32_t>(position);
  if (!Watching(instance)) {
    // The first notification only sets the starting point: it is never a jump back.
    SetWatching(instance, true);
    Write(MC_FIELD(instance, lastPosition), current);
  }
  ReadRate(instance);

  const int32_t direction = Read<int32_t>(MC_FIELD(instance, direction));
  const int32_t last = Read<int32_t>(MC_FIELD(instance, lastPosition));
  bool fire = false;
  if ((direction == tavin::kDirectionForward && last > current) ||
      (direction == tavin::kDirectionBackward && last < current)) {
    // A jump back over a cue that never fired sends it at once; without a cue there is
    // nothing to send.
    fire = !Fired(instance) && current != kNoPosition && HasCue(instance);
    SetFired(instance, false);
  }
  fire = CueReached(instance, current) || fire;
  Write(MC_FIELD(instance, lastPosition), current);
  if (fire) {
    Send(instance);
    SetFired(instance, true);
  }
  return abi::kDone;
}

}  // extern "C"

#undef MC_FIELD

namespace tavin {

namespace {

// The host calls these through untyped tables: their types must be the contract's exactly.
static_assert(std::is_same_v<decltype(&MediaCueConstruct), abi::callback::Construct>);
static_assert(std::is_same_v<decltype(&MediaCueCopyConstruct), abi::callback::CopyConstruct>);
static_assert(std::is_same_v<decltype(&MediaCueAssign), abi::callback::Assign>);
static_assert(std::is_same_v<decltype(&MediaCueDestruct), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&MediaCueGetAttribute), abi::callback::Attribute>);
static_assert(std::is_same_v<decltype(&MediaCueSetAttribute), abi::callback::Attribute>);
static_assert(std::is_same_v<decltype(&MediaCueToEditor), abi::callback::ToEditor>);
static_assert(std::is_same_v<decltype(&MediaCueFromEditor), abi::callback::FromEditor>);
static_assert(
    std::is_same_v<decltype(&MediaCueEditorItemChanged), abi::callback::EditorItemChanged>);
static_assert(std::is_same_v<decltype(&MediaCueStoredSize), abi::callback::StoredSize>);
static_assert(std::is_same_v<decltype(&MediaCueSave), abi::callback::Save>);
static_assert(std::is_same_v<decltype(&MediaCueLoad), abi::callback::Load>);
static_assert(std::is_same_v<decltype(&MediaCueEnable), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&MediaCueDisable), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&MediaCueHandleMessage), abi::callback::HandleMessage>);
static_assert(std::is_same_v<decltype(&MediaCuePeriodic), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&MediaCuePositionChanged), abi::callback::PositionChanged>);

const support::SlotEntry kMediaCueSlots[] = {
    {abi::kComponentRow, abi::slot::kConstruct, reinterpret_cast<void*>(&MediaCueConstruct)},
    {abi::kComponentRow, abi::slot::kCopyConstruct,
     reinterpret_cast<void*>(&MediaCueCopyConstruct)},
    {abi::kComponentRow, abi::slot::kAssign, reinterpret_cast<void*>(&MediaCueAssign)},
    {abi::kComponentRow, abi::slot::kDestruct, reinterpret_cast<void*>(&MediaCueDestruct)},
    {abi::kComponentRow, abi::slot::kGetAttribute, reinterpret_cast<void*>(&MediaCueGetAttribute)},
    {abi::kComponentRow, abi::slot::kToEditor, reinterpret_cast<void*>(&MediaCueToEditor)},
    {abi::kComponentRow, abi::slot::kFromEditor, reinterpret_cast<void*>(&MediaCueFromEditor)},
    {abi::kComponentRow, abi::slot::kEditorItemChanged,
     reinterpret_cast<void*>(&MediaCueEditorItemChanged)},
    {abi::kComponentRow, abi::slot::kStoredSize, reinterpret_cast<void*>(&MediaCueStoredSize)},
    {abi::kComponentRow, abi::slot::kSave, reinterpret_cast<void*>(&MediaCueSave)},
    {abi::kComponentRow, abi::slot::kLoad, reinterpret_cast<void*>(&MediaCueLoad)},
    {abi::kComponentRow, abi::slot::kEnable, reinterpret_cast<void*>(&MediaCueEnable)},
    {abi::kComponentRow, abi::slot::kDisable, reinterpret_cast<void*>(&MediaCueDisable)},
    {abi::kComponentRow, abi::slot::kHandleMessage,
     reinterpret_cast<void*>(&MediaCueHandleMessage)},
    {abi::kComponentRow, abi::slot::kSetAttribute, reinterpret_cast<void*>(&MediaCueSetAttribute)},
    {abi::kSecondRow, abi::slot::kPeriodic, reinterpret_cast<void*>(&MediaCuePeriodic)},
    {abi::kSecondRow, abi::slot::kPositionChanged,
     reinterpret_cast<void*>(&MediaCuePositionChanged)},
};

}  // namespace

const support::ClassDefinition kMediaCueClass = {kMediaCueName.chars,
                                                 sizeof(MediaCueRecord),
                                                 abi::kClassFlagsPlain,
                                                 kMediaCueSlots,
                                                 sizeof kMediaCueSlots / sizeof kMediaCueSlots[0],
                                                 nullptr,
                                                 0};

}  // namespace tavin
