#include "tavin/vellomar.h"

#include <cstring>
#include <type_traits>

#include "support/host_calls.h"
#include "support/names.h"
#include "support/record_bytes.h"
#include "tavin/tile_layout.h"

namespace {

using tavin::VellomarRecord;

constexpr support::Name20 kVellomarName = support::MakeName20("Vellomar");
constexpr support::Name20 kCountName = support::MakeName20("count");
constexpr support::Name20 kValueName = support::MakeName20("value");

constexpr size_t kTargetSize = sizeof(VellomarRecord::target);
using support::kScratchSize;

uint8_t* Events(void* instance) {
  return static_cast<uint8_t*>(instance) + offsetof(VellomarRecord, events);
}
uint8_t* Target(void* instance) {
  return static_cast<uint8_t*>(instance) + offsetof(VellomarRecord, target);
}

uint16_t TagAt(const void* value) {
  uint16_t t;
  std::memcpy(&t, value, sizeof t);
  return t;
}

void WriteEventsDefault(void* instance) {
  const MessageIdValue events{tag::kMessageId, tavin::kVellomarEventsDefault, 0};
  std::memcpy(Events(instance), &events, sizeof events);
}

// An empty slot: tag 0 and a cleared body.
void ClearTarget(void* instance) {
  std::memset(Target(instance), 0, kTargetSize);
}

// A designation's body is the host's and stays within the slot; a value of any other kind
// fits when its whole size does.
bool FitsTarget(const void* value) {
  const uint16_t valueTag = TagAt(value);
  if (valueTag == tavin::kTargetDesignationTag) return true;
  const uint32_t size = TaggedValueSize(valueTag);
  return size != 0 && size <= kTargetSize;
}

// Reads a new target through scratch storage preset to a designation. The slot changes only
// when the host answered with a value that fits, and what it held is released first rather
// than lost. `read` fills the scratch value.
template <typename ReadFn>
void ReplaceTarget(void* instance, ReadFn read) {
  uint8_t scratch[kScratchSize] = {};
  const uint16_t preset = tavin::kTargetDesignationTag;
  std::memcpy(scratch, &preset, sizeof preset);
  if (read(scratch) != 0) return;
  if (!FitsTarget(scratch)) {
    // An answer of a kind the slot cannot hold may still own host storage.
    host::object::ReleaseValue(scratch);
    return;
  }
  host::object::ReleaseValue(Target(instance));
  ClearTarget(instance);
  std::memcpy(Target(instance), scratch, kTargetSize);
}

// Copies the settings of another instance into one whose target slot holds nothing.
void CopySettings(void* instance, void* source) {
  std::memcpy(Events(instance), Events(source), sizeof(MessageIdValue));
  host::object::CopyValue(Target(instance), Target(source));
}

bool IsOwnMessage(void* instance, const void* message) {
  MessageIdValue events;
  std::memcpy(&events, Events(instance), sizeof events);
  uint32_t words[2];
  std::memcpy(words, static_cast<const uint8_t*>(message) + offsetof(abi::MessageRecord, id),
              sizeof words);
  return words[0] == events.id && words[1] == events.second;
}

// "count" := 28, then "value" at 1..28 from a fresh layout, on the target's own component.
// The writes' statuses are not checked: a refused one does not stop the others.
void Deal(const void* object) {
  const IntegerValue count{tag::kInteger, tavin::tiles::kPositions};
  host::component::SetAttribute(object, kCountName.chars, nullptr, &count);
  tavin::tiles::GenerateLayout();
  // The deal is copied first: a target that sent this instance its message again while taking
  // the values would start a generation of its own.
  uint8_t kinds[tavin::tiles::kPositions + 1];
  std::memcpy(kinds, tavin::tiles::LastDeal().kinds, sizeof kinds);
  for (int32_t position = 1; position <= tavin::tiles::kPositions; ++position) {
    const IntegerValue index{tag::kInteger, position};
    const IntegerValue value{tag::kInteger, kinds[position]};
    host::component::SetAttribute(object, kValueName.chars, &index, &value);
  }
}

}  // namespace

extern "C" {

abi::Result VellomarConstruct(void* instance, uint32_t /*baseObject*/) {
  WriteEventsDefault(instance);
  ClearTarget(instance);
  return abi::kDone;
}

abi::Result VellomarCopyConstruct(void* instance, void* source, uint32_t baseObject) {
  VellomarConstruct(instance, baseObject);
  // Nothing to copy from: the instance is still one Destruct can release.
  if (source == nullptr || source == instance) return abi::kNotHandled;
  CopySettings(instance, source);
  return abi::kDone;
}

abi::Result VellomarAssign(void* instance, void* source) {
  if (source == nullptr) return abi::kNotHandled;
  // Releasing first would lose the very target to be copied.
  if (source == instance) return abi::kDone;
  host::object::ReleaseValue(Target(instance));
  ClearTarget(instance);
  CopySettings(instance, source);
  return abi::kDone;
}

abi::Result VellomarDestruct(void* instance) {
  host::object::ReleaseValue(Target(instance));
  return abi::kDone;
}

abi::Result VellomarVisitMessageIds(void* instance, uint32_t a, uint32_t b) {
  host::system::VisitMessageId(0, a, b, Events(instance));
  return abi::kDone;
}

abi::Result VellomarHandleMessage(void* instance, void* message) {
  if (message == nullptr || !IsOwnMessage(instance, message)) return abi::kNotHandled;
  if (TagAt(Target(instance)) != tavin::kTargetDesignationTag) return abi::kNotHandled;
  void* object = nullptr;
  host::object::ResolveTarget(Target(instance), instance, &object);
  if (object == nullptr) return abi::kNotHandled;
  // A target whose component takes no attribute writes gets none.
  if (!host::component::HasSetAttribute(object)) return abi::kNotHandled;
  Deal(object);
  return abi::kDone;
}

abi::Result VellomarGetAttribute(void* /*instance*/, const char* /*name16*/, void* /*index*/,
                                 void* /*value*/) {
  return abi::kNotHandled;  // no attributes of its own
}

abi::Result VellomarSetAttribute(void* /*instance*/, const char* /*name16*/, void* /*index*/,
                                 void* /*value*/) {
  return abi::kNotHandled;
}

abi::Result VellomarToEditor(void* instance, void* editor, int16_t mode) {
  if (mode != 0) return abi::kNotHandled;
  host::editor::PutItem(editor, tavin::kVellomarEventsItem, Events(instance));
  host::editor::PutItem(editor, tavin::kVellomarTargetItem, Target(instance));
  return abi::kDone;
}

abi::Result VellomarFromEditor(void* instance, void* editor) {
  host::editor::GetItem(editor, tavin::kVellomarEventsItem, Events(instance));
  ReplaceTarget(instance, [editor](void* value) {
    return host::editor::GetItem(editor, tavin::kVellomarTargetItem, value);
  });
  return abi::kDone;
}

abi::Result VellomarStoredSize(void* instance, void* stream, uint32_t /*ignored*/, int16_t* version,
                               uint32_t* size) {
  uint32_t events = 0;
  uint32_t target = 0;
  host::stream::StoredSizeOf(stream, Events(instance), &events);
  host::stream::StoredSizeOf(stream, Target(instance), &target);
  const uint32_t total = events + target;
  if (size != nullptr) std::memcpy(size, &total, sizeof total);
  if (version != nullptr) std::memcpy(version, &tavin::kVellomarDataVersion, sizeof(int16_t));
  return abi::kDone;
}

abi::Result VellomarSave(void* instance, void* stream) {
  host::stream::WriteValue(stream, Events(instance));
  host::stream::WriteValue(stream, Target(instance));
  return abi::kDone;
}

abi::Result VellomarLoad(void* instance, void* stream, uint32_t /*ignored*/, int16_t version) {
  if (version != tavin::kVellomarDataVersion) return abi::kNotHandled;
  host::stream::ReadValue(stream, Events(instance));
  ReplaceTarget(instance, [stream](void* value) { return host::stream::ReadValue(stream, value); });
  return abi::kDone;
}

}  // extern "C"

namespace tavin {

namespace {

// The host calls these through untyped tables: their types must be the contract's exactly.
static_assert(std::is_same_v<decltype(&VellomarConstruct), abi::callback::Construct>);
static_assert(std::is_same_v<decltype(&VellomarCopyConstruct), abi::callback::CopyConstruct>);
static_assert(std::is_same_v<decltype(&VellomarAssign), abi::callback::Assign>);
static_assert(std::is_same_v<decltype(&VellomarDestruct), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&VellomarVisitMessageIds), abi::callback::VisitMessageIds>);
static_assert(std::is_same_v<decltype(&VellomarHandleMessage), abi::callback::HandleMessage>);
static_assert(std::is_same_v<decltype(&VellomarGetAttribute), abi::callback::Attribute>);
static_assert(std::is_same_v<decltype(&VellomarSetAttribute), abi::callback::Attribute>);
static_assert(std::is_same_v<decltype(&VellomarToEditor), abi::callback::ToEditor>);
static_assert(std::is_same_v<decltype(&VellomarFromEditor), abi::callback::FromEditor>);
static_assert(std::is_same_v<decltype(&VellomarStoredSize), abi::callback::StoredSize>);
static_assert(std::is_same_v<decltype(&VellomarSave), abi::callback::Save>);
static_assert(std::is_same_v<decltype(&VellomarLoad), abi::callback::Load>);

// No Enable or Disable: its message reaches it when the host delivers one addressed to its
// object.
const support::SlotEntry kVellomarSlots[] = {
    {abi::kComponentRow, abi::slot::kConstruct, reinterpret_cast<void*>(&VellomarConstruct)},
    {abi::kComponentRow, abi::slot::kAssign, reinterpret_cast<void*>(&VellomarAssign)},
    {abi::kComponentRow, abi::slot::kCopyConstruct,
     reinterpret_cast<void*>(&VellomarCopyConstruct)},
    {abi::kComponentRow, abi::slot::kDestruct, reinterpret_cast<void*>(&VellomarDestruct)},
    {abi::kComponentRow, abi::slot::kToEditor, reinterpret_cast<void*>(&VellomarToEditor)},
    {abi::kComponentRow, abi::slot::kFromEditor, reinterpret_cast<void*>(&VellomarFromEditor)},
    {abi::kComponentRow, abi::slot::kStoredSize, reinterpret_cast<void*>(&VellomarStoredSize)},
    {abi::kComponentRow, abi::slot::kSave, reinterpret_cast<void*>(&VellomarSave)},
    {abi::kComponentRow, abi::slot::kLoad, reinterpret_cast<void*>(&VellomarLoad)},
    {abi::kComponentRow, abi::slot::kHandleMessage,
     reinterpret_cast<void*>(&VellomarHandleMessage)},
    {abi::kComponentRow, abi::slot::kGetAttribute, reinterpret_cast<void*>(&VellomarGetAttribute)},
    {abi::kComponentRow, abi::slot::kSetAttribute, reinterpret_cast<void*>(&VellomarSetAttribute)},
    {abi::kComponentRow, abi::slot::kVisitMessageIds,
     reinterpret_cast<void*>(&VellomarVisitMessageIds)},
};

}  // namespace

const support::ClassDefinition kVellomarClass = {kVellomarName.chars,
                                                 sizeof(VellomarRecord),
                                                 abi::kClassFlagsPlain,
                                                 kVellomarSlots,
                                                 sizeof kVellomarSlots / sizeof kVellomarSlots[0],
                                                 nullptr,
                                                 0};

}  // namespace tavin
