#include "tavin/quit.h"

#include <cstring>
#include <type_traits>

#include "support/host_calls.h"
#include "support/names.h"

namespace {

using tavin::QuitRecord;

constexpr support::Name20 kEventsName = support::MakeName20("events");
constexpr support::Name20 kQuitName = support::MakeName20("Quit");

// The member selectors of an "events" index (top byte) and its element (low 24 bits).
constexpr uint32_t kSelectFirst = 0x80;
constexpr uint32_t kSelectSecond = 0x40;

uint8_t* FirstEvent(void* instance) {
  return static_cast<uint8_t*>(instance) + offsetof(QuitRecord, firstEvent);
}

uint8_t* SecondEvent(void* instance) {
  return static_cast<uint8_t*>(instance) + offsetof(QuitRecord, secondEvent);
}

void SetDefault(uint8_t* event, uint32_t id) {
  const MessageIdValue value{tag::kMessageId, id, 0};
  std::memcpy(event, &value, sizeof value);
}

// Whether a stored message id carries this id pair; its tag does not take part.
bool SameIdPair(const uint8_t* event, uint32_t id, uint32_t second) {
  uint32_t words[2];
  std::memcpy(words, event + offsetof(MessageIdValue, id), sizeof words);
  return words[0] == id && words[1] == second;
}

}  // namespace

extern "C" {

abi::Result QuitConstruct(void* instance, uint32_t /*baseObject*/) {
  SetDefault(FirstEvent(instance), tavin::kQuitFirstDefault);
  SetDefault(SecondEvent(instance), tavin::kQuitSecondDefault);
  return abi::kDone;
}

abi::Result QuitCopyConstruct(void* instance, void* source, uint32_t /*baseObject*/) {
  // The record owns nothing, so a copy is its bytes.
  if (source != nullptr) std::memmove(instance, source, sizeof(QuitRecord));
  return abi::kDone;
}

abi::Result QuitAssign(void* instance, void* source) {
  return QuitCopyConstruct(instance, source, 0);
}

abi::Result QuitDestruct(void* /*instance*/) {
  return abi::kDone;
}

abi::Result QuitGetAttribute(void* instance, const char* name16, void* index, void* value) {
  if (name16 == nullptr || !support::NamesEqual16(name16, kEventsName.chars)) {
    return abi::kNotHandled;
  }
  if (index == nullptr || value == nullptr) return abi::kNotHandled;
  // The tag first: an index of another kind may be shorter than an integer.
  uint16_t indexTag;
  std::memcpy(&indexTag, index, sizeof indexTag);
  if (indexTag != tag::kInteger) return abi::kNotHandled;
  IntegerValue position;
  std::memcpy(&position, index, sizeof position);
  const auto word = static_cast<uint32_t>(position.value);
  const uint32_t selector = word >> 24;
  const uint32_t element = word & 0xFFFFFFu;
  if (element != 1) return abi::kNotHandled;
  if (selector == kSelectFirst) {
    std::memcpy(value, FirstEvent(instance), sizeof(MessageIdValue));
  } else if (selector == kSelectSecond) {
    std::memcpy(value, SecondEvent(instance), sizeof(MessageIdValue));
  } else {
    return abi::kNotHandled;
  }
  return abi::kDone;
}

abi::Result QuitToEditor(void* instance, void* editor, int16_t mode) {
  if (mode != 0) return abi::kNotHandled;
  host::editor::PutItem(editor, tavin::kQuitFirstItem, FirstEvent(instance));
  host::editor::PutItem(editor, tavin::kQuitSecondItem, SecondEvent(instance));
  return abi::kDone;
}

abi::Result QuitFromEditor(void* instance, void* editor) {
  host::editor::GetItem(editor, tavin::kQuitFirstItem, FirstEvent(instance));
  host::editor::GetItem(editor, tavin::kQuitSecondItem, SecondEvent(instance));
  return abi::kDone;
}

abi::Result QuitEditorItemChanged(void* /*instance*/, void* /*editor*/, uint32_t /*ignored*/,
                                  int16_t /*item*/) {
  return abi::kDone;
}

abi::Result QuitStoredSize(void* instance, void* stream, uint32_t /*ignored*/, int16_t* version,
                           uint32_t* size) {
  uint32_t first = 0;
  uint32_t second = 0;
  host::stream::StoredSizeOf(stream, FirstEvent(instance), &first);
  host::stream::StoredSizeOf(stream, SecondEvent(instance), &second);
  const uint32_t total = first + second;
  if (size != nullptr) std::memcpy(size, &total, sizeof total);
  if (version != nullptr) std::memcpy(version, &tavin::kQuitDataVersion, sizeof(int16_t));
  return abi::kDone;
}

abi::Result QuitSave(void* instance, void* stream) {
  host::stream::WriteValue(stream, FirstEvent(instance));
  host::stream::WriteValue(stream, SecondEvent(instance));
  return abi::kDone;
}

abi::Result QuitLoad(void* instance, void* stream, uint32_t /*ignored*/, int16_t version) {
  if (version != tavin::kQuitDataVersion) return abi::kNotHandled;
  host::stream::ReadValue(stream, FirstEvent(instance));
  host::stream::ReadValue(stream, SecondEvent(instance));
  return abi::kDone;
}

abi::Result QuitEnable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStart, FirstEvent(instance));
  host::instance::Listen(instance, host::instance::kListenStart, SecondEvent(instance));
  return abi::kDone;
}

abi::Result QuitDisable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStop, FirstEvent(instance));
  host::instance::Listen(instance, host::instance::kListenStop, SecondEvent(instance));
  return abi::kDone;
}

abi::Result QuitHandleMessage(void* instance, void* message) {
  if (message == nullptr) return abi::kNotHandled;
  // Only the id pair decides: a message's tag is not compared.
  uint32_t words[2];
  std::memcpy(words, static_cast<const uint8_t*>(message) + offsetof(abi::MessageRecord, id),
              sizeof words);
  if (SameIdPair(FirstEvent(instance), words[0], words[1])) return abi::kDone;
  if (SameIdPair(SecondEvent(instance), words[0], words[1])) return abi::kDone;
  return abi::kNotHandled;
}

abi::Result QuitVisitMessageIds(void* instance, uint32_t a, uint32_t b) {
  host::system::VisitMessageId(0, a, b, FirstEvent(instance));
  host::system::VisitMessageId(0, a, b, SecondEvent(instance));
  return abi::kDone;
}

}  // extern "C"

namespace tavin {

namespace {

// The host calls these through untyped tables: their types must be the contract's exactly.
static_assert(std::is_same_v<decltype(&QuitConstruct), abi::callback::Construct>);
static_assert(std::is_same_v<decltype(&QuitCopyConstruct), abi::callback::CopyConstruct>);
static_assert(std::is_same_v<decltype(&QuitAssign), abi::callback::Assign>);
static_assert(std::is_same_v<decltype(&QuitDestruct), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&QuitGetAttribute), abi::callback::Attribute>);
static_assert(std::is_same_v<decltype(&QuitToEditor), abi::callback::ToEditor>);
static_assert(std::is_same_v<decltype(&QuitFromEditor), abi::callback::FromEditor>);
static_assert(std::is_same_v<decltype(&QuitEditorItemChanged), abi::callback::EditorItemChanged>);
static_assert(std::is_same_v<decltype(&QuitStoredSize), abi::callback::StoredSize>);
static_assert(std::is_same_v<decltype(&QuitSave), abi::callback::Save>);
static_assert(std::is_same_v<decltype(&QuitLoad), abi::callback::Load>);
static_assert(std::is_same_v<decltype(&QuitEnable), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&QuitDisable), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&QuitHandleMessage), abi::callback::HandleMessage>);
static_assert(std::is_same_v<decltype(&QuitVisitMessageIds), abi::callback::VisitMessageIds>);

const support::SlotEntry kQuitSlots[] = {
    {abi::kComponentRow, abi::slot::kConstruct, reinterpret_cast<void*>(&QuitConstruct)},
    {abi::kComponentRow, abi::slot::kCopyConstruct, reinterpret_cast<void*>(&QuitCopyConstruct)},
    {abi::kComponentRow, abi::slot::kAssign, reinterpret_cast<void*>(&QuitAssign)},
    {abi::kComponentRow, abi::slot::kDestruct, reinterpret_cast<void*>(&QuitDestruct)},
    {abi::kComponentRow, abi::slot::kGetAttribute, reinterpret_cast<void*>(&QuitGetAttribute)},
    {abi::kComponentRow, abi::slot::kToEditor, reinterpret_cast<void*>(&QuitToEditor)},
    {abi::kComponentRow, abi::slot::kFromEditor, reinterpret_cast<void*>(&QuitFromEditor)},
    {abi::kComponentRow, abi::slot::kEditorItemChanged,
     reinterpret_cast<void*>(&QuitEditorItemChanged)},
    {abi::kComponentRow, abi::slot::kStoredSize, reinterpret_cast<void*>(&QuitStoredSize)},
    {abi::kComponentRow, abi::slot::kSave, reinterpret_cast<void*>(&QuitSave)},
    {abi::kComponentRow, abi::slot::kLoad, reinterpret_cast<void*>(&QuitLoad)},
    {abi::kComponentRow, abi::slot::kEnable, reinterpret_cast<void*>(&QuitEnable)},
    {abi::kComponentRow, abi::slot::kDisable, reinterpret_cast<void*>(&QuitDisable)},
    {abi::kComponentRow, abi::slot::kHandleMessage, reinterpret_cast<void*>(&QuitHandleMessage)},
    {abi::kComponentRow, abi::slot::kVisitMessageIds,
     reinterpret_cast<void*>(&QuitVisitMessageIds)},
};

}  // namespace

const support::ClassDefinition kQuitClass = {kQuitName.chars,
                                             sizeof(QuitRecord),
                                             abi::kClassFlagsPlain,
                                             kQuitSlots,
                                             sizeof kQuitSlots / sizeof kQuitSlots[0],
                                             nullptr,
                                             0};

}  // namespace tavin
