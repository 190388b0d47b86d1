#include "tavin/cursor_mod.h"

#include <cstring>
#include <type_traits>

#include "support/host_calls.h"
#include "support/names.h"
#include "support/record_bytes.h"

namespace {

using tavin::CursorModRecord;

constexpr support::Name20 kCursorModName = support::MakeName20("CursorMod");

// The two settings, each a 10-byte value slot.
constexpr size_t kSlotSize = sizeof(MessageIdValue);
constexpr size_t kSettingsSize = offsetof(CursorModRecord, unused);

using support::kScratchSize;
using support::Read;

uint8_t* CursorEvent(void* instance) {
  return static_cast<uint8_t*>(instance) + offsetof(CursorModRecord, cursorEvent);
}

uint8_t* CursorChoice(void* instance) {
  return static_cast<uint8_t*>(instance) + offsetof(CursorModRecord, cursorChoice);
}

// Whether a value of this tag can live in a slot that owns nothing: all of it fits, and it
// points at no host storage (an object path is small, but its entries live elsewhere).
bool FitsPlainSlot(uint16_t valueTag) {
  const uint32_t size = TaggedValueSize(valueTag);
  return size != 0 && size <= kSlotSize && valueTag != tag::kObjectPath;
}

// Reads one setting through scratch storage. The host sees the slot's own tag as the preset,
// as if it wrote straight into the slot; the slot takes the answer only when the read succeeded
// and the answer fits it, so a failed read keeps the old value and a larger answer (a text,
// say) cannot run over the next setting or past the record. A refused answer goes back to the
// host with whatever it holds.
template <typename ReadFn>
void ReadSetting(void* slot, ReadFn read) {
  uint8_t scratch[kScratchSize] = {};
  std::memcpy(scratch, slot, sizeof(uint16_t));
  if (read(scratch) != 0) return;
  if (FitsPlainSlot(Read<uint16_t>(scratch))) {
    std::memcpy(slot, scratch, kSlotSize);
    return;
  }
  host::object::ReleaseValue(scratch);
}

}  // namespace

extern "C" {

abi::Result CursorModConstruct(void* instance, uint32_t /*baseObject*/) {
  const CursorModRecord fresh{
      {tag::kMessageId, tavin::kCursorEventDefault, 0},
      {tag::kChoice, tavin::kCursorChoiceDefault, 0},
      {0, 0},
  };
  std::memcpy(instance, &fresh, sizeof fresh);
  return abi::kDone;
}

abi::Result CursorModCopyConstruct(void* instance, void* source, uint32_t baseObject) {
  if (source == nullptr || source == instance) {
    // Nothing to copy from: the instance still gets settings rather than what memory held.
    CursorModConstruct(instance, baseObject);
    return abi::kNotHandled;
  }
  // The record owns nothing, so a copy is its settings' bytes.
  std::memcpy(instance, source, kSettingsSize);
  std::memset(static_cast<uint8_t*>(instance) + kSettingsSize, 0,
              sizeof(CursorModRecord) - kSettingsSize);
  return abi::kDone;
}

abi::Result CursorModAssign(void* instance, void* source) {
  if (source == nullptr) return abi::kNotHandled;
  std::memmove(instance, source, kSettingsSize);
  return abi::kDone;
}

abi::Result CursorModDestruct(void* /*instance*/) {
  return abi::kDone;
}

abi::Result CursorModToEditor(void* instance, void* editor, int16_t mode) {
  if (mode != 0) return abi::kNotHandled;
  host::editor::PutItem(editor, tavin::kCursorEventItem, CursorEvent(instance));
  host::editor::PutItem(editor, tavin::kCursorChoiceItem, CursorChoice(instance));
  return abi::kDone;
}

abi::Result CursorModFromEditor(void* instance, void* editor) {
  ReadSetting(CursorEvent(instance), [editor](void* value) {
    return host::editor::GetItem(editor, tavin::kCursorEventItem, value);
  });
  ReadSetting(CursorChoice(instance), [editor](void* value) {
    return host::editor::GetItem(editor, tavin::kCursorChoiceItem, value);
  });
  return abi::kDone;
}

abi::Result CursorModStoredSize(void* instance, void* stream, uint32_t /*ignored*/,
                                int16_t* version, uint32_t* size) {
  uint32_t event = 0;
  uint32_t choice = 0;
  host::stream::StoredSizeOf(stream, CursorEvent(instance), &event);
  host::stream::StoredSizeOf(stream, CursorChoice(instance), &choice);
  const uint32_t total = event + choice;
  if (size != nullptr) std::memcpy(size, &total, sizeof total);
  if (version != nullptr) std::memcpy(version, &tavin::kCursorModDataVersion, sizeof(int16_t));
  return abi::kDone;
}

abi::Result CursorModSave(void* instance, void* stream) {
  host::stream::WriteValue(stream, CursorEvent(instance));
  host::stream::WriteValue(stream, CursorChoice(instance));
  return abi::kDone;
}

abi::Result CursorModLoad(void* instance, void* stream, uint32_t /*ignored*/, int16_t version) {
  if (version != tavin::kCursorModDataVersion) return abi::kNotHandled;
  auto readValue = [stream](void* value) { return host::stream::ReadValue(stream, value); };
  ReadSetting(CursorEvent(instance), readValue);
  ReadSetting(CursorChoice(instance), readValue);
  return abi::kDone;
}

abi::Result CursorModGetAttribute(void* /*instance*/, const char* /*name16*/, void* /*index*/,
                                  void* /*value*/) {
  return abi::kNotHandled;  // the class has no attributes
}

abi::Result CursorModSetAttribute(void* /*instance*/, const char* /*name16*/, void* /*index*/,
                                  void* /*value*/) {
  return abi::kNotHandled;
}

abi::Result CursorModHandleMessage(void* instance, void* message) {
  if (message == nullptr) return abi::kNotHandled;
  // Only the id pair decides: a message's tag is not compared.
  const auto* bytes = static_cast<const uint8_t*>(message);
  const auto id = Read<uint32_t>(bytes + offsetof(abi::MessageRecord, id));
  const auto second = Read<uint32_t>(bytes + offsetof(abi::MessageRecord, second));
  const auto event = Read<MessageIdValue>(CursorEvent(instance));
  if (event.id != id || event.second != second) return abi::kNotHandled;
  const auto choice = Read<ChoiceValue>(CursorChoice(instance));
  // The host's answer changes nothing: the message was this instance's either way.
  host::system::SetCursor(instance, static_cast<int32_t>(choice.selection));
  return abi::kDone;
}

abi::Result CursorModEnable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStart, CursorEvent(instance));
  return abi::kDone;
}

abi::Result CursorModDisable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStop, CursorEvent(instance));
  return abi::kDone;
}

}  // extern "C"

namespace tavin {

namespace {

// The host calls these through untyped tables: their types must be the contract's exactly.
static_assert(std::is_same_v<decltype(&CursorModConstruct), abi::callback::Construct>);
static_assert(std::is_same_v<decltype(&CursorModCopyConstruct), abi::callback::CopyConstruct>);
static_assert(std::is_same_v<decltype(&CursorModAssign), abi::callback::Assign>);
static_assert(std::is_same_v<decltype(&CursorModDestruct), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&CursorModToEditor), abi::callback::ToEditor>);
static_assert(std::is_same_v<decltype(&CursorModFromEditor), abi::callback::FromEditor>);
static_assert(std::is_same_v<decltype(&CursorModStoredSize), abi::callback::StoredSize>);
static_assert(std::is_same_v<decltype(&CursorModSave), abi::callback::Save>);
static_assert(std::is_same_v<decltype(&CursorModLoad), abi::callback::Load>);
static_assert(std::is_same_v<decltype(&CursorModGetAttribute), abi::callback::Attribute>);
static_assert(std::is_same_v<decltype(&CursorModSetAttribute), abi::callback::Attribute>);
static_assert(std::is_same_v<decltype(&CursorModHandleMessage), abi::callback::HandleMessage>);
static_assert(std::is_same_v<decltype(&CursorModEnable), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&CursorModDisable), abi::callback::Plain>);

const support::SlotEntry kCursorModSlots[] = {
    {abi::kComponentRow, abi::slot::kConstruct, reinterpret_cast<void*>(&CursorModConstruct)},
    {abi::kComponentRow, abi::slot::kAssign, reinterpret_cast<void*>(&CursorModAssign)},
    {abi::kComponentRow, abi::slot::kCopyConstruct,
     reinterpret_cast<void*>(&CursorModCopyConstruct)},
    {abi::kComponentRow, abi::slot::kDestruct, reinterpret_cast<void*>(&CursorModDestruct)},
    {abi::kComponentRow, abi::slot::kToEditor, reinterpret_cast<void*>(&CursorModToEditor)},
    {abi::kComponentRow, abi::slot::kFromEditor, reinterpret_cast<void*>(&CursorModFromEditor)},
    {abi::kComponentRow, abi::slot::kStoredSize, reinterpret_cast<void*>(&CursorModStoredSize)},
    {abi::kComponentRow, abi::slot::kSave, reinterpret_cast<void*>(&CursorModSave)},
    {abi::kComponentRow, abi::slot::kLoad, reinterpret_cast<void*>(&CursorModLoad)},
    {abi::kComponentRow, abi::slot::kGetAttribute, reinterpret_cast<void*>(&CursorModGetAttribute)},
    {abi::kComponentRow, abi::slot::kSetAttribute, reinterpret_cast<void*>(&CursorModSetAttribute)},
    {abi::kComponentRow, abi::slot::kHandleMessage,
     reinterpret_cast<void*>(&CursorModHandleMessage)},
    {abi::kComponentRow, abi::slot::kEnable, reinterpret_cast<void*>(&CursorModEnable)},
    {abi::kComponentRow, abi::slot::kDisable, reinterpret_cast<void*>(&CursorModDisable)},
};

}  // namespace

const support::ClassDefinition kCursorModClass = {
    kCursorModName.chars,
    sizeof(CursorModRecord),
    abi::kClassFlagsPlain,
    kCursorModSlots,
    sizeof kCursorModSlots / sizeof kCursorModSlots[0],
    nullptr,
    0};

}  // namespace tavin
