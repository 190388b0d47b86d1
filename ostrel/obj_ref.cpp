#include "ostrel/obj_ref.h"

#include <cstring>

#include "support/host_calls.h"
#include "support/names.h"

namespace {

using ostrel::kObjRefMaxTextLength;
using ostrel::kObjRefTextCapacity;
using ostrel::ObjRefRecord;

constexpr support::Name20 kObjRefName = support::MakeName20("ObjRefP");
constexpr support::Name20 kEventsName = support::MakeName20("events");
constexpr support::Name20 kValueName = support::MakeName20("value");
constexpr support::Name20 kParentName = support::MakeName20("parent");

constexpr int16_t kSeparator = '/';
constexpr int16_t kPathItem = 4;
constexpr int16_t kEventsItem = 7;
constexpr uint32_t kDefaultEventsId = 1;
constexpr int16_t kDataVersion = 0;

// "events" is read as the first member's element 1 and written with the plain element 1.
constexpr int32_t kEventsReadIndex = static_cast<int32_t>(0x80000001u);
constexpr int32_t kEventsWriteIndex = 1;

// The editor check only needs the longest prefix, "../", and its terminator.
constexpr uint32_t kProbeCapacity = 8;
constexpr char kSyntaxMessage[] =
    "The syntax for an object path must be used. Refer to documentation.";

// A base path this long cannot be real; it would only overflow the size arithmetic.
constexpr uint32_t kLongestBasePath = 0x00FFFFFFu;

enum class PathForm { kAbsolute, kFromBase, kFromParent, kOther };

ObjRefRecord* Self(void* instance) {
  return static_cast<ObjRefRecord*>(instance);
}

uint32_t OwnerWord(const ObjRefRecord* self) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(self));
}

bool IsIntegerIndex(const void* index, int32_t expected) {
  // The tag first: an index of another kind may be shorter than an integer.
  if (index == nullptr || TagOf(index) != tag::kInteger) return false;
  IntegerValue integer;
  std::memcpy(&integer, index, sizeof integer);
  return integer.tag == tag::kInteger && integer.value == expected;
}

// Which of the three path forms a text has, by its first characters. Reads stop at `limit`
// characters or at the terminator, whichever comes first.
PathForm FormOf(const char* chars, uint32_t limit) {
  if (chars == nullptr) return PathForm::kOther;
  auto at = [&](uint32_t i) { return i < limit ? chars[i] : '\0'; };
  if (at(0) == '/') return PathForm::kAbsolute;
  if (at(0) == '.' && at(1) == '/') return PathForm::kFromBase;
  if (at(0) == '.' && at(1) == '.' && at(2) == '/') return PathForm::kFromParent;
  return PathForm::kOther;
}

uint32_t LengthOf(const char* chars) {
  uint32_t length = 0;
  host::string::StringLength(&length, chars);
  return length;
}

// A host buffer of `size` bytes holding the empty text, or null. A buffer that comes back
// with a failure status is not kept.
char* AllocText(uint32_t size) {
  char* chars = nullptr;
  const uint16_t status = host::string::AllocString(&chars, size);
  if (status != 0 && chars != nullptr) {
    host::string::FreeString(chars);
    chars = nullptr;
  }
  if (chars != nullptr) chars[0] = '\0';
  return chars;
}

void FreeText(char* chars) {
  if (chars != nullptr) host::string::FreeString(chars);
}

bool HasBuffer(const TextValue& text) {
  return text.chars != nullptr && text.capacity != 0;
}

void EmptyPathText(ObjRefRecord* self) {
  self->pathText.length = 0;
  if (HasBuffer(self->pathText)) self->pathText.chars[0] = '\0';
}

// The length is taken from the characters, not from what a copy claimed, so that it always
// matches the terminator.
void SettlePathText(ObjRefRecord* self) {
  if (!HasBuffer(self->pathText)) {
    self->pathText.length = 0;
    return;
  }
  uint32_t length = self->pathText.length;
  if (length >= self->pathText.capacity) length = self->pathText.capacity - 1;
  self->pathText.chars[length] = '\0';
  self->pathText.length = LengthOf(self->pathText.chars);
}

void ResetReference(ObjRefRecord* self) {
  self->reference.tag = tag::kReference;
  self->reference.previous = nullptr;
  self->reference.next = nullptr;
  self->reference.object = 0;
  self->reference.identity = &self->identity;
  self->identity.tag = tag::kIdentity;
  self->identity.word = 0;
  for (auto& word : self->identity.words) word = 0;
}

// A bound reference to a live object is given up. One the host has cleared (object 0) stays
// bound, so that a failed write does not lose the chance to find its object again.
void DropReference(ObjRefRecord* self) {
  if (self->bound == 0 || self->reference.object == 0) return;
  UnlinkReference(&self->reference);
  self->bound = 0;
  ResetReference(self);
}

// The old value goes entirely before a new one is stored: a binding the host has cleared
// would otherwise be looked up again in place of the new value, and a still-current path text
// would bring the old value back when the new one turns out empty.
void ForgetValue(ObjRefRecord* self) {
  DropReference(self);
  if (self->bound != 0) {
    UnlinkReference(&self->reference);
    ResetReference(self);
    self->bound = 0;
  }
  self->pathCurrent = 0;
}

void BindReference(ObjRefRecord* self) {
  if (self->reference.object == 0) return;
  host::memory::RegisterReference(&self->reference);
  self->bound = 1;
  self->pathCurrent = 0;
}

// Makes room for `size` bytes of text; the old text is not kept when the buffer changes. A
// long buffer shrinks back to the usual size once a short text will do.
abi::Result ReservePathText(ObjRefRecord* self, uint32_t size) {
  TextValue& text = self->pathText;
  const uint32_t capacity = text.chars != nullptr ? text.capacity : 0;
  const bool shrink = size <= kObjRefTextCapacity && capacity > kObjRefTextCapacity;
  if (capacity >= size && !shrink) return abi::kDone;
  if (shrink) size = kObjRefTextCapacity;
  if (text.owner == OwnerWord(self) && HasBuffer(text)) host::string::FreeString(text.chars);
  text.tag = tag::kText;
  text.owner = OwnerWord(self);
  text.capacity = 0;
  text.length = 0;
  text.chars = nullptr;
  if (size == 0) return abi::kDone;
  char* chars = AllocText(size);
  if (chars == nullptr) return abi::kNotHandled;
  text.chars = chars;
  text.capacity = size;
  return abi::kDone;
}

// Rebuilds the path text from a bound reference, finding a cleared object again first. An
// object that cannot be found leaves the text empty and not current.
abi::Result RefreshPathText(ObjRefRecord* self) {
  if (self->pathCurrent != 0) return abi::kDone;
  // Whatever the buffer still holds belongs to a value given up since.
  EmptyPathText(self);
  if (self->bound == 0) return abi::kDone;
  if (self->reference.object == 0) {
    const uint16_t status = host::path::RebindReference(&self->reference, &self->identity);
    if (status != 0) return status;
    if (self->reference.object == 0) return abi::kDone;
  }
  uint32_t length = 0;
  uint16_t status = host::path::ObjectPathLength(self->reference.object, &length);
  if (status != 0) return status;
  if (length > kObjRefMaxTextLength) return abi::kNotHandled;
  const abi::Result reserved = ReservePathText(self, length + 1);
  if (reserved != abi::kDone) return reserved;
  self->pathText.chars[0] = '\0';
  status = host::path::WriteObjectPath(self->reference.object, kSeparator, self->pathText.chars);
  if (status != 0) {
    // Nothing usable was written: the text must not pass for the object's path.
    EmptyPathText(self);
    return status;
  }
  self->pathText.length = length;
  SettlePathText(self);
  self->pathCurrent = 1;
  return abi::kDone;
}

// Counts the leading "../" groups that are followed by more text; a last group with nothing
// after it stays part of the text.
uint32_t LeadingUpGroups(const char* text, uint32_t length, uint32_t* restAt) {
  uint32_t groups = 0;
  uint32_t at = 0;
  while (at + 3 < length && text[at] == '.' && text[at + 1] == '.' && text[at + 2] == '/') {
    ++groups;
    at += 3;
  }
  *restAt = at;
  return groups;
}

// The size of the absolute form of `text` (without its terminator). A text that is exactly
// "../" climbs no level and is refused, as BuildAbsolutePath refuses it.
abi::Result AbsolutePathSize(const ObjRefRecord* self, const char* text, uint32_t* size) {
  const uint32_t length = LengthOf(text);
  const PathForm form = FormOf(text, length);
  if (form == PathForm::kOther) return abi::kNotHandled;
  if (form == PathForm::kAbsolute) {
    *size = length;
    return abi::kDone;
  }
  if (form == PathForm::kFromParent && length == 3) return abi::kNotHandled;
  uint32_t baseLength = 0;
  const uint16_t status = host::path::ObjectPathLength(self->baseObject, &baseLength);
  if (status != 0) return status;
  if (baseLength > kLongestBasePath) return abi::kNotHandled;
  *size = length + baseLength + 1;
  return abi::kDone;
}

// Writes the absolute form of `text` into `out`, a buffer of `capacity` bytes. Relative forms
// are worked out on the text of the base object's path; nothing is written past `capacity`.
abi::Result BuildAbsolutePath(const ObjRefRecord* self, const char* text, char* out,
                              uint32_t capacity) {
  const uint32_t length = LengthOf(text);
  const PathForm form = FormOf(text, length);
  if (form == PathForm::kOther) return abi::kNotHandled;
  if (form == PathForm::kAbsolute) {
    if (length >= capacity) return abi::kNotHandled;
    host::string::CopyString(out, text);
    return abi::kDone;
  }
  uint32_t baseLength = 0;
  uint16_t status = host::path::ObjectPathLength(self->baseObject, &baseLength);
  if (status != 0) return status;
  if (baseLength >= capacity) return abi::kNotHandled;
  out[0] = '\0';
  status = host::path::WriteObjectPath(self->baseObject, kSeparator, out);
  if (status != 0) return status;
  out[baseLength] = '\0';

  uint32_t restAt = 1;  // "./a" continues the base path from its "/"
  uint32_t kept = std::strlen(out);
  if (form == PathForm::kFromParent) {
    const uint32_t ups = LeadingUpGroups(text, length, &restAt);
    if (ups == 0) return abi::kNotHandled;
    uint32_t slashes = 0;
    for (uint32_t i = 0; i < kept; ++i) slashes += out[i] == '/' ? 1 : 0;
    if (slashes < ups) return abi::kNotHandled;
    // Keep the base path up to and including its (slashes - ups + 1)-th "/".
    const uint32_t keepSlashes = slashes - ups + 1;
    uint32_t seen = 0;
    for (uint32_t i = 0; i < kept; ++i) {
      if (out[i] == '/' && ++seen == keepSlashes) {
        kept = i + 1;
        break;
      }
    }
    out[kept] = '\0';
  }
  if (kept + (length - restAt) >= capacity) return abi::kNotHandled;
  host::string::AppendString(out, text + restAt);
  return abi::kDone;
}

// Resolves the path text to an object in the reference. Carriage returns may sit in an
// author's text; they are left out for resolution only.
abi::Result ResolvePathText(ObjRefRecord* self) {
  const char* source = self->pathText.chars;
  const uint32_t length = source != nullptr ? self->pathText.length : 0;
  char* working = AllocText(length + 1);
  if (working == nullptr) return abi::kNotHandled;
  uint32_t kept = 0;
  for (uint32_t i = 0; i < length && source[i] != '\0'; ++i) {
    if (source[i] != '\r') working[kept++] = source[i];
  }
  working[kept] = '\0';

  uint32_t size = 0;
  char* absolute = nullptr;
  abi::Result result = AbsolutePathSize(self, working, &size);
  if (result == abi::kDone) {
    absolute = AllocText(size + 1);
    if (absolute == nullptr) result = abi::kNotHandled;
  }
  if (result == abi::kDone) result = BuildAbsolutePath(self, working, absolute, size + 1);
  if (result == abi::kDone) {
    uint32_t object = 0;
    host::path::ResolveObjectPath(kSeparator, absolute, &object);
    self->reference.object = object;
  }
  FreeText(absolute);
  FreeText(working);
  return result;
}

// Copies a text value into the path text, whole: the buffer is made large enough first.
abi::Result StorePathText(ObjRefRecord* self, const void* value) {
  const auto* text = static_cast<const TextValue*>(value);
  const uint32_t length = text->chars != nullptr ? text->length : 0;
  if (length > kObjRefMaxTextLength) return abi::kNotHandled;
  const abi::Result reserved = ReservePathText(self, length + 1);
  if (reserved != abi::kDone) return reserved;
  EmptyPathText(self);
  CopyStringValue(OwnerWord(self), &self->pathText, value);
  SettlePathText(self);
  return abi::kDone;
}

abi::Result ReadReference(ObjRefRecord* self, void* out) {
  if (self->bound != 0) {
    if (self->reference.object == 0) {
      const uint16_t status = host::path::RebindReference(&self->reference, &self->identity);
      if (status != 0) return status;
    }
  } else if (self->pathCurrent != 0) {
    const abi::Result resolved = ResolvePathText(self);
    if (resolved != abi::kDone) return resolved;
    BindReference(self);
  } else {
    return abi::kNotHandled;
  }
  if (TagOf(out) == tag::kUnassigned) {
    const ReferenceValue empty{tag::kReference, nullptr, nullptr, 0, nullptr};
    std::memcpy(out, &empty, sizeof empty);
  }
  CopyReference(out, &self->reference);
  return abi::kDone;
}

abi::Result ReadText(ObjRefRecord* self, void* out) {
  const abi::Result refreshed = RefreshPathText(self);
  if (refreshed != abi::kDone) return refreshed;
  CopyStringValue(OwnerWord(self), out, &self->pathText);
  auto* text = static_cast<TextValue*>(out);
  if (HasBuffer(*text) && text->length < text->capacity) text->chars[text->length] = '\0';
  return abi::kDone;
}

abi::Result WriteReference(ObjRefRecord* self, const void* value) {
  ForgetValue(self);
  // An unassigned value has no body to copy: it stands for no object.
  if (TagOf(value) == tag::kReference) {
    CopyReference(&self->reference, value);
    self->reference.tag = tag::kReference;
  }
  BindReference(self);
  return abi::kDone;
}

abi::Result WriteText(ObjRefRecord* self, const void* value) {
  // Even a refused text replaces a live binding: the author asked for a different value.
  DropReference(self);
  const auto* text = static_cast<const TextValue*>(value);
  const uint32_t length = text->chars != nullptr ? text->length : 0;
  if (FormOf(text->chars, length) == PathForm::kOther) return abi::kNotHandled;
  if (length > kObjRefMaxTextLength) return abi::kNotHandled;
  ForgetValue(self);
  const abi::Result stored = StorePathText(self, value);
  if (stored != abi::kDone) return stored;
  self->pathCurrent = 1;
  return abi::kDone;
}

void ConstructRecord(ObjRefRecord* self, uint32_t baseObject) {
  self->events = MessageIdValue{tag::kMessageId, kDefaultEventsId, 0};
  self->baseObject = baseObject;
  self->pathText.tag = tag::kText;
  self->pathText.owner = OwnerWord(self);
  self->pathText.capacity = 0;
  self->pathText.length = 0;
  self->pathText.chars = nullptr;
  char* chars = AllocText(kObjRefTextCapacity);
  if (chars != nullptr) {
    self->pathText.chars = chars;
    self->pathText.capacity = kObjRefTextCapacity;
  }
  ResetReference(self);
  self->bound = 0;
  self->pathCurrent = 0;
}

}  // namespace

extern "C" {

abi::Result ObjRefConstruct(void* instance, uint32_t baseObject) {
  if (instance == nullptr) return abi::kNotHandled;
  ConstructRecord(Self(instance), baseObject);
  return abi::kDone;
}

abi::Result ObjRefAssign(void* instance, void* source) {
  if (instance == nullptr || source == nullptr) return abi::kNotHandled;
  if (instance == source) return abi::kDone;
  ObjRefRecord* self = Self(instance);
  const ObjRefRecord* from = Self(source);
  self->events = from->events;
  CopyReference(&self->reference, &from->reference);
  self->reference.identity = &self->identity;
  // A text longer than the current buffer is kept whole: a cut path would name another object.
  const abi::Result stored = StorePathText(self, &from->pathText);
  self->bound = from->bound;
  self->pathCurrent = stored == abi::kDone ? from->pathCurrent : 0;
  // The copy holds the object as firmly as the source: registered, so that the host clears it
  // too when the object goes away.
  if (self->bound != 0 && self->reference.object != 0) {
    host::memory::RegisterReference(&self->reference);
  }
  return stored;
}

abi::Result ObjRefCopyConstruct(void* instance, void* source, uint32_t baseObject) {
  if (instance == nullptr) return abi::kNotHandled;
  ConstructRecord(Self(instance), baseObject);
  return ObjRefAssign(instance, source);
}

abi::Result ObjRefDestruct(void* instance) {
  if (instance == nullptr) return abi::kNotHandled;
  ObjRefRecord* self = Self(instance);
  ReleaseReference(&self->reference);
  if (self->pathText.owner == OwnerWord(self) && HasBuffer(self->pathText)) {
    host::string::FreeString(self->pathText.chars);
  }
  self->pathText.chars = nullptr;
  self->pathText.capacity = 0;
  self->pathText.length = 0;
  self->bound = 0;
  self->pathCurrent = 0;
  return abi::kDone;
}

abi::Result ObjRefEnable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStart, instance);
  return abi::kDone;
}

abi::Result ObjRefDisable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStop, instance);
  return abi::kDone;
}

abi::Result ObjRefVisitMessageIds(void* instance, uint32_t a, uint32_t b) {
  host::system::VisitMessageId(0, a, b, instance);
  return abi::kDone;
}

abi::Result ObjRefHandleMessage(void* instance, void* message) {
  if (instance == nullptr || message == nullptr) return abi::kNotHandled;
  ObjRefRecord* self = Self(instance);
  abi::MessageRecord record;
  std::memcpy(&record, message, offsetof(abi::MessageRecord, second) + sizeof record.second);
  if (record.id != self->events.id || record.second != self->events.second) {
    return abi::kNotHandled;
  }
  if (record.object == 0) return abi::kNotHandled;
  ReferenceValue parent{tag::kReference, nullptr, nullptr, 0, nullptr};
  const uint16_t status =
      host::object::GetObjectAttribute(record.object, kParentName.chars, nullptr, &parent);
  // A reference on this stack must not stay in a host chain once the call returns.
  if (status != 0) {
    UnlinkReference(&parent);
    return status;
  }
  ForgetValue(self);
  CopyReference(&self->reference, &parent);
  UnlinkReference(&parent);
  self->reference.tag = tag::kReference;
  BindReference(self);
  return abi::kDone;
}

abi::Result ObjRefGetAttribute(void* instance, const char* name16, void* index, void* value) {
  if (instance == nullptr || name16 == nullptr || value == nullptr) return abi::kNotHandled;
  ObjRefRecord* self = Self(instance);
  if (support::NamesEqual16(name16, kEventsName.chars)) {
    if (!IsIntegerIndex(index, kEventsReadIndex)) return abi::kNotHandled;
    std::memcpy(value, &self->events, sizeof self->events);
    return abi::kDone;
  }
  if (!support::NamesEqual16(name16, kValueName.chars)) return abi::kNotHandled;
  switch (TagOf(value)) {
    case tag::kReference:
    case tag::kUnassigned:
      return ReadReference(self, value);
    case tag::kText:
    case tag::kTextSecond:
      return ReadText(self, value);
    default:
      return abi::kNotHandled;
  }
}

abi::Result ObjRefSetAttribute(void* instance, const char* name16, void* index, void* value) {
  if (instance == nullptr || name16 == nullptr || value == nullptr) return abi::kNotHandled;
  ObjRefRecord* self = Self(instance);
  if (support::NamesEqual16(name16, kEventsName.chars)) {
    if (!IsIntegerIndex(index, kEventsWriteIndex)) return abi::kNotHandled;
    // The tag is not checked, but a value shorter than a message id has no second word to
    // copy: reading one would run past the caller's value.
    if (TaggedValueSize(TagOf(value)) < sizeof self->events) return abi::kNotHandled;
    // Nor can it keep a value whose body is a pointer (a text, a reference, a path): cut to
    // a message id's size it would point nowhere, and be saved, visited and listened for so.
    switch (TagOf(value)) {
      case tag::kByteBlock:
      case tag::kText:
      case tag::kTextSecond:
      case tag::kReference:
      case tag::kObjectPath:
        return abi::kNotHandled;
      default:
        break;
    }
    std::memcpy(&self->events, value, sizeof self->events);
    return abi::kDone;
  }
  if (!support::NamesEqual16(name16, kValueName.chars)) return abi::kNotHandled;
  switch (TagOf(value)) {
    case tag::kReference:
    case tag::kUnassigned:
      return WriteReference(self, value);
    case tag::kText:
    case tag::kTextSecond:
      return WriteText(self, value);
    default:
      return abi::kNotHandled;
  }
}

abi::Result ObjRefToEditor(void* instance, void* editor, int16_t mode) {
  if (mode != 0) return abi::kNotHandled;
  ObjRefRecord* self = Self(instance);
  host::editor::PutItem(editor, kEventsItem, &self->events);
  RefreshPathText(self);
  host::editor::PutItem(editor, kPathItem, &self->pathText);
  return abi::kDone;
}

abi::Result ObjRefFromEditor(void* instance, void* editor) {
  ObjRefRecord* self = Self(instance);
  self->events.tag = tag::kMessageId;
  host::editor::GetItem(editor, kEventsItem, &self->events);
  DropReference(self);
  abi::ItemInfo info{};
  uint16_t status = host::editor::GetItemInfo(editor, kPathItem, 1, &info);
  if (status != 0) return status;
  const double textLength = info.textLength;
  // Checked before the conversion: a length out of range has no integer value.
  if (!(textLength >= 0.0 && textLength <= static_cast<double>(kObjRefMaxTextLength))) {
    return abi::kNotHandled;
  }
  const uint32_t size = static_cast<uint32_t>(textLength) + 1;
  ForgetValue(self);
  const abi::Result reserved = ReservePathText(self, size);
  if (reserved != abi::kDone) return reserved;
  // The item fills the buffer in place; whatever was there before must not show through.
  EmptyPathText(self);
  self->pathText.tag = tag::kText;
  status = host::editor::GetItem(editor, kPathItem, &self->pathText);
  if (status != 0) {
    EmptyPathText(self);
    return status;
  }
  if (HasBuffer(self->pathText)) {
    self->pathText.chars[size - 1] = '\0';
    self->pathText.length = size - 1;
  }
  SettlePathText(self);
  self->pathCurrent = 1;
  return abi::kDone;
}

abi::Result ObjRefValidateEditorItem(void* instance, void* editor, uint32_t /*ignored*/,
                                     int16_t item, uint8_t* ok, char* message) {
  if (ok != nullptr) *ok = 1;
  if (item != kPathItem || instance == nullptr) return abi::kDone;
  abi::ItemInfo info{};
  if (host::editor::GetItemInfo(editor, kPathItem, 1, &info) != 0) return abi::kDone;
  if (info.textLength == 0.0) return abi::kDone;
  char* chars = AllocText(kProbeCapacity);
  if (chars == nullptr) return abi::kDone;
  TextValue probe{tag::kText, OwnerWord(Self(instance)), kProbeCapacity, 0, chars};
  host::editor::GetItem(editor, kPathItem, &probe);
  chars[kProbeCapacity - 1] = '\0';
  const bool accepted = FormOf(chars, kProbeCapacity - 1) != PathForm::kOther;
  FreeText(chars);
  if (!accepted) {
    if (ok != nullptr) *ok = 0;
    if (message != nullptr) host::string::CopyString(message, kSyntaxMessage);
  }
  return abi::kDone;
}

abi::Result ObjRefStoredSize(void* instance, void* stream, uint32_t /*ignored*/, int16_t* version,
                             uint32_t* size) {
  ObjRefRecord* self = Self(instance);
  const abi::Result refreshed = RefreshPathText(self);
  if (refreshed != abi::kDone) return refreshed;
  uint32_t eventsSize = 0;
  uint32_t textSize = 0;
  host::stream::StoredSizeOf(stream, &self->events, &eventsSize);
  host::stream::StoredSizeOf(stream, &self->pathText, &textSize);
  const uint32_t total = eventsSize + textSize;
  if (size != nullptr) std::memcpy(size, &total, sizeof total);
  if (version != nullptr) std::memcpy(version, &kDataVersion, sizeof kDataVersion);
  return abi::kDone;
}

abi::Result ObjRefSave(void* instance, void* stream) {
  ObjRefRecord* self = Self(instance);
  const abi::Result refreshed = RefreshPathText(self);
  if (refreshed != abi::kDone) return refreshed;
  // The stored form is always the text: a reference means nothing in another session.
  // Both values are always written, so the stream keeps its shape; a write the host could not
  // make is not reported as a saved instance.
  const uint16_t eventsStatus = host::stream::WriteValue(stream, &self->events);
  const uint16_t textStatus = host::stream::WriteValue(stream, &self->pathText);
  return eventsStatus != 0 ? eventsStatus : textStatus;
}

abi::Result ObjRefLoad(void* instance, void* stream, uint32_t /*ignored*/, int16_t version) {
  if (version != kDataVersion) return abi::kNotHandled;
  ObjRefRecord* self = Self(instance);
  DropReference(self);
  MessageIdValue events{tag::kMessageId, 0, 0};
  uint16_t status = host::stream::ReadValue(stream, &events);
  if (status != 0) return status;
  if (events.tag == tag::kMessageId) self->events = events;
  TextValue loaded{tag::kText, OwnerWord(self), 0, 0, nullptr};
  status = host::stream::ReadValue(stream, &loaded);
  const bool isText = loaded.tag == tag::kText || loaded.tag == tag::kTextSecond;
  abi::Result result = status;
  if (result == abi::kDone && !isText) result = abi::kNotHandled;
  if (result == abi::kDone) {
    ForgetValue(self);
    result = StorePathText(self, &loaded);
    if (result == abi::kDone) self->pathCurrent = 1;
  }
  // The reader's buffer is the reader's to free, whatever became of its text.
  if (isText) FreeText(loaded.chars);
  return result;
}

}  // extern "C"

namespace ostrel {

uint32_t RunObjRefEntry(abi::PluginDescriptor* descriptor) {
  using namespace abi::slot;
  using support::Slot;
  constexpr uint16_t row = abi::kComponentRow;
  const support::SlotEntry slots[] = {
      {row, kConstruct, support::SlotFunction(&ObjRefConstruct)},
      {row, kCopyConstruct, support::SlotFunction(&ObjRefCopyConstruct)},
      {row, kAssign, support::SlotFunction(&ObjRefAssign)},
      {row, kDestruct, support::SlotFunction(&ObjRefDestruct)},
      {row, kToEditor, support::SlotFunction(&ObjRefToEditor)},
      {row, kFromEditor, support::SlotFunction(&ObjRefFromEditor)},
      {row, kValidateEditorItem, support::SlotFunction(&ObjRefValidateEditorItem)},
      {row, kStoredSize, support::SlotFunction(&ObjRefStoredSize)},
      {row, kSave, support::SlotFunction(&ObjRefSave)},
      {row, kLoad, support::SlotFunction(&ObjRefLoad)},
      {row, kEnable, support::SlotFunction(&ObjRefEnable)},
      {row, kDisable, support::SlotFunction(&ObjRefDisable)},
      {row, kHandleMessage, support::SlotFunction(&ObjRefHandleMessage)},
      {row, kGetAttribute, support::SlotFunction(&ObjRefGetAttribute)},
      {row, kSetAttribute, support::SlotFunction(&ObjRefSetAttribute)},
      {row, kVisitMessageIds, support::SlotFunction(&ObjRefVisitMessageIds)},
  };
  const support::ClassDefinition definition{kObjRefName.chars,
                                            sizeof(ObjRefRecord),
                                            abi::kClassFlagsBaseObject,
                                            slots,
                                            sizeof slots / sizeof slots[0],
                                            nullptr,
                                            0};
  return support::RunEntry(descriptor, definition);
}

}  // namespace ostrel
