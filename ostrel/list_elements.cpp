#include "ostrel/list_elements.h"

#include <cstring>

#include "support/host_calls.h"

namespace ostrel::list {

namespace {

struct Kind {
  uint16_t tag;
  uint32_t record;
  uint32_t stored;
};

// By kind choice 1..9.
constexpr Kind kKinds[] = {
    {tag::kInteger, 6, 6},    {tag::kPoint, 6, 6},        {tag::kRange, 10, 10},
    {tag::kReal, 10, 10},     {tag::kText, 18, 10},       {tag::kReference, 18, 10},
    {tag::kDuration, 14, 14}, {tag::kTripleReal, 26, 26}, {tag::kFlag, 4, 4},
};
constexpr uint32_t kKindCount = sizeof kKinds / sizeof kKinds[0];

constexpr double kTripleRealThird = 1000.0;

uint8_t* Bytes(void* value) {
  return static_cast<uint8_t*>(value);
}

bool IsText(uint16_t valueTag) {
  return valueTag == tag::kText || valueTag == tag::kTextSecond;
}

uint32_t TextLength(const char* chars) {
  uint32_t length = 0;
  if (chars != nullptr) host::string::StringLength(&length, chars);
  return length;
}

// A string element owned by the instance holding a copy of `chars`, whose length the caller
// took (its own 1-byte text when `length` is 0). Nonzero when no buffer could be had.
uint16_t MakeOwnedText(void* instance, const char* chars, uint32_t length, TextValue* out) {
  *out = TextValue{tag::kText, OwnerWord(instance), 0, 0, nullptr};
  void* at = Bytes(out) + offsetof(TextValue, chars);
  if (length != 0) {
    host::string::DuplicateString(at, chars);
  } else {
    host::string::AllocString(at, 1);
  }
  if (out->chars == nullptr) return 1;
  out->chars[length] = '\0';
  out->length = length;
  out->capacity = length + 1;
  return 0;
}

// An owned copy of a path: entries in a block of its own. Counts are checked first: a path from
// a stream, a transfer or the host may claim anything.
uint16_t MakeOwnedPath(const void* value, ObjectPathValue* out) {
  ObjectPathValue path;
  std::memcpy(&path, value, sizeof path);
  *out = ObjectPathValue{tag::kObjectPath, 0, nullptr};
  if (path.count > kMaxPathEntries) return 1;
  if (path.count == 0) return 0;
  if (path.entries == nullptr) return 1;
  void* block = nullptr;
  host::memory::AllocMemory(4u * path.count, &block);
  if (block == nullptr) return 1;
  std::memcpy(block, path.entries, 4u * path.count);
  out->count = path.count;
  out->entries = static_cast<uint32_t*>(block);
  return 0;
}

void ClearLinks(void* reference) {
  std::memset(Bytes(reference) + offsetof(ReferenceValue, previous), 0, 2 * sizeof(void*));
}

// `value` as the record the list keeps: an owned copy of what a value owns, a reference without
// links. `made` tells whether memory was obtained (to be freed if the record goes nowhere).
uint16_t OwnedRecord(void* instance, const void* value, Element* record, bool* made) {
  *made = false;
  const uint16_t valueTag = TagOf(value);
  if (IsText(valueTag)) {
    TextValue text;
    std::memcpy(&text, value, sizeof text);
    TextValue owned;
    if (MakeOwnedText(instance, text.chars, TextLength(text.chars), &owned) != 0) return 1;
    std::memcpy(record->data(), &owned, sizeof owned);
    *made = true;
    return 0;
  }
  if (valueTag == tag::kObjectPath) {
    ObjectPathValue owned;
    if (MakeOwnedPath(value, &owned) != 0) return 1;
    std::memcpy(record->data(), &owned, sizeof owned);
    *made = owned.entries != nullptr;
    return 0;
  }
  const uint32_t size = TaggedValueSize(valueTag);
  if (size == 0 || size > sizeof record->bytes) return 1;
  std::memcpy(record->data(), value, size);
  if (valueTag == tag::kReference) ClearLinks(record->data());
  return 0;
}

}  // namespace

void PathScratch::Prepare() {
  std::memset(entries, 0, sizeof entries);
  value = ObjectPathValue{tag::kObjectPath, kMaxPathEntries, entries};
}

uint32_t OwnerWord(const void* instance) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance));
}

uint16_t KindTag(uint32_t choice) {
  return choice >= 1 && choice <= kKindCount ? kKinds[choice - 1].tag : 0;
}

uint32_t RecordSize(uint16_t elementTag, bool stored) {
  for (const Kind& kind : kKinds) {
    if (kind.tag == elementTag) return stored ? kind.stored : kind.record;
  }
  return 0;
}

bool Fits(uint16_t valueTag, uint16_t elementTag) {
  if (valueTag == elementTag) return true;
  if (valueTag == tag::kInteger && elementTag == tag::kReal) return true;
  if (valueTag == tag::kReal && elementTag == tag::kInteger) return true;
  return valueTag == tag::kObjectPath && elementTag == tag::kReference;
}

bool OwnsMemory(uint16_t elementTag) {
  return elementTag == tag::kText || elementTag == tag::kReference;
}

uint32_t Count(uint32_t list) {
  uint32_t count = 0;
  if (host::list::ListCount(list, &count) != 0) return 0;
  return count;
}

uint16_t Convert(void* instance, const void* value, uint16_t elementTag, Element* target) {
  *target = Element{};
  std::memcpy(target->data(), &elementTag, sizeof elementTag);
  return host::convert::ConvertValue(instance, value, target->data());
}

uint16_t MakeDefaultElement(void* instance, uint16_t elementTag, void* out) {
  const uint32_t size = RecordSize(elementTag, false);
  if (size == 0) return 3;
  std::memset(out, 0, size);
  std::memcpy(out, &elementTag, sizeof elementTag);
  if (elementTag == tag::kTripleReal) {
    std::memcpy(Bytes(out) + offsetof(TripleRealValue, values) + 2 * sizeof(double),
                &kTripleRealThird, sizeof kTripleRealThird);
  } else if (elementTag == tag::kText) {
    SetStringValue(OwnerWord(instance), out, "");
    TextValue text;
    std::memcpy(&text, out, sizeof text);
    // Without its text block an empty string would pass for one that has none.
    if (text.chars == nullptr) return 1;
  }
  return 0;
}

uint16_t ReleaseElement(void* instance, void* record) {
  switch (TagOf(record)) {
    case tag::kInteger:
    case tag::kPoint:
    case tag::kRange:
    case tag::kReal:
    case tag::kDuration:
    case tag::kTripleReal:
    case tag::kFlag:
      return 0;
    case tag::kText: {
      TextValue text;
      std::memcpy(&text, record, sizeof text);
      // Every text the instance owns is freed, the 1-byte empty ones included.
      if (text.owner == OwnerWord(instance) && text.chars != nullptr && text.capacity != 0) {
        host::string::FreeString(text.chars);
      }
      text.chars = nullptr;
      text.capacity = 0;
      text.length = 0;
      std::memcpy(record, &text, sizeof text);
      return 0;
    }
    case tag::kReference:
      ReleaseReference(record);
      return 0;
    case tag::kObjectPath: {
      ObjectPathValue path;
      std::memcpy(&path, record, sizeof path);
      if (path.entries != nullptr) host::memory::FreeMemory(path.entries);
      path.count = 0;
      path.entries = nullptr;
      std::memcpy(record, &path, sizeof path);
      return 0;
    }
    default:
      return 3;
  }
}

void ReleaseAll(void* instance, uint32_t list) {
  if (list == 0) return;
  const uint32_t count = Count(list);
  for (uint32_t position = 1; position <= count; ++position) {
    Element element;
    if (host::list::GetListItem(list, position, element.data()) == 0) {
      ReleaseElement(instance, element.data());
    }
  }
  host::list::DisposeList(list);
}

uint16_t FetchElement(void* instance, uint32_t list, uint16_t elementTag, uint32_t position,
                      void* out) {
  if (elementTag != tag::kReference && elementTag != tag::kText) {
    return host::list::GetListItem(list, position, out);
  }
  Element element;
  const uint16_t status = host::list::GetListItem(list, position, element.data());
  if (status != 0) return status;
  const uint16_t elementIs = TagOf(element.data());
  const uint16_t wanted = TagOf(out);
  if (elementTag == tag::kText) {
    if (IsText(wanted)) {
      CopyStringValue(0, out, element.data());
      return support::LastHostStatus();
    }
    if (wanted == tag::kUnassigned) {
      const TextValue empty{tag::kText, 0, 0, 0, nullptr};
      std::memcpy(out, &empty, sizeof empty);
      CopyStringValue(0, out, element.data());
      const uint16_t copied = support::LastHostStatus();
      const uint32_t handedOver = kHandedOver;
      std::memcpy(Bytes(out) + offsetof(TextValue, owner), &handedOver, sizeof handedOver);
      return copied;
    }
    return status;
  }
  if (elementIs == tag::kObjectPath && (wanted == tag::kReference || wanted == tag::kUnassigned)) {
    // Read as a reference, a path becomes one for good.
    Element reference;
    const uint16_t converted = Convert(instance, element.data(), tag::kReference, &reference);
    if (converted != 0) return converted;
    ClearLinks(reference.data());
    ReleaseElement(instance, element.data());
    const uint16_t stored = host::list::SetListItem(list, position, reference.data());
    if (stored != 0) {
      // The list must not keep the entries just freed: it keeps an empty path instead.
      host::list::SetListItem(list, position, element.data());
      return stored;
    }
    std::memcpy(out, reference.data(), sizeof(ReferenceValue));
    return 0;
  }
  if ((elementIs == tag::kReference &&
       (wanted == tag::kObjectPath || wanted == tag::kUnassigned)) ||
      elementIs == tag::kObjectPath) {
    // A path's entries stay the list's: the answer gets the host's own copy.
    return host::convert::ConvertValue(instance, element.data(), out);
  }
  return host::list::GetListItem(list, position, out);
}

uint16_t StoreElement(void* instance, uint32_t list, uint16_t elementTag, uint32_t position,
                      const void* value) {
  // Only elements that own memory are read before they are replaced.
  Element old;
  if (OwnsMemory(elementTag)) host::list::GetListItem(list, position, old.data());
  Element reference;
  if (elementTag == tag::kReference && TagOf(value) == tag::kObjectPath) {
    const uint16_t converted = Convert(instance, value, tag::kReference, &reference);
    if (converted != 0) return converted;
    value = reference.data();
  }
  Element record;
  bool made = false;
  if (IsText(TagOf(value))) {
    TextValue text;
    std::memcpy(&text, value, sizeof text);
    const uint32_t length = TextLength(text.chars);
    TextValue owned{tag::kText, OwnerWord(instance), 0, 0, nullptr};
    // An empty text is stored as an element without text.
    if (length != 0 && MakeOwnedText(instance, text.chars, length, &owned) != 0) return 1;
    std::memcpy(record.data(), &owned, sizeof owned);
    made = length != 0;
  } else if (OwnedRecord(instance, value, &record, &made) != 0) {
    return 1;
  }
  const uint16_t status = host::list::SetListItem(list, position, record.data());
  if (status != 0) {
    if (made) ReleaseElement(instance, record.data());
    return status;
  }
  // Only now: the value stored may have been read from the element it replaces.
  ReleaseElement(instance, old.data());
  return 0;
}

uint16_t AppendElementCopy(void* instance, const void* value, uint32_t list, uint32_t position) {
  Element record;
  bool made = false;
  if (OwnedRecord(instance, value, &record, &made) != 0) return 1;
  const uint16_t status = position == 0 ? host::list::AppendListItem(list, record.data())
                                        : host::list::InsertListItem(list, position, record.data());
  if (status != 0 && made) ReleaseElement(instance, record.data());
  return status;
}

uint16_t CopyElements(void* instance, uint32_t destination, uint32_t source) {
  const uint32_t count = Count(source);
  for (uint32_t position = 1; position <= count; ++position) {
    Element element;
    uint16_t status = host::list::GetListItem(source, position, element.data());
    if (status == 0) status = AppendElementCopy(instance, element.data(), destination);
    if (status != 0) return status;
  }
  return 0;
}

uint16_t ResizeList(void* instance, uint32_t list, uint16_t elementTag, uint32_t n) {
  uint32_t count = Count(list);
  while (count < n) {
    Element element;
    if (MakeDefaultElement(instance, elementTag, element.data()) != 0) return 1;
    const uint16_t status = host::list::AppendListItem(list, element.data());
    if (status != 0) {
      ReleaseElement(instance, element.data());
      return status;
    }
    ++count;
  }
  while (count > n) {
    const uint16_t status = DeleteElement(instance, list, count);
    if (status != 0) return status;
    --count;
  }
  return 0;
}

uint16_t WriteConverted(void* instance, uint32_t list, uint16_t elementTag, uint32_t position,
                        uint32_t count, Element* converted) {
  uint16_t status = 0;
  if (position > count) status = ResizeList(instance, list, elementTag, position);
  if (status == 0) status = StoreElement(instance, list, elementTag, position, converted->data());
  // The host made the converted text for this instance; the list keeps its own copy.
  if (IsText(TagOf(converted->data()))) ReleaseElement(instance, converted->data());
  return status;
}

uint16_t DeleteElement(void* instance, uint32_t list, uint32_t position) {
  const uint32_t count = Count(list);
  if (position == 0 || position > count) return 2;
  Element element;
  uint16_t status = host::list::GetListItem(list, position, element.data());
  if (status != 0) return status;
  ReleaseElement(instance, element.data());
  status = host::list::DeleteListItem(list, position);
  // A refused delete must not leave the list holding what was just freed.
  if (status != 0) host::list::SetListItem(list, position, element.data());
  return status;
}

uint16_t ReferencesToPaths(void* instance, uint32_t list) {
  const uint32_t count = Count(list);
  for (uint32_t position = 1; position <= count; ++position) {
    Element element;
    uint16_t status = host::list::GetListItem(list, position, element.data());
    if (status != 0) return status;
    if (TagOf(element.data()) == tag::kObjectPath) continue;
    PathScratch scratch;
    scratch.Prepare();
    status = host::convert::ConvertValue(instance, element.data(), &scratch.value);
    if (status == 0 && scratch.value.tag != tag::kObjectPath) status = 1;
    if (status != 0) return status;
    Element path;
    bool made = false;
    if (OwnedRecord(instance, &scratch.value, &path, &made) != 0) return 1;
    status = host::list::SetListItem(list, position, path.data());
    if (status != 0) {
      if (made) ReleaseElement(instance, path.data());
      return status;
    }
    ReleaseElement(instance, element.data());
  }
  return 0;
}

uint32_t StoredElementsSize(uint16_t elementTag, uint32_t list) {
  const uint32_t count = Count(list);
  uint32_t size = RecordSize(elementTag, true) * count;
  if (!OwnsMemory(elementTag)) return size;
  for (uint32_t position = 1; position <= count; ++position) {
    Element element;
    host::list::GetListItem(list, position, element.data());
    if (elementTag == tag::kText) {
      TextValue text;
      std::memcpy(&text, element.data(), sizeof text);
      size += TextLength(text.chars) + 1;
    } else {
      ObjectPathValue path;
      std::memcpy(&path, element.data(), sizeof path);
      size += 4u * path.count;
    }
  }
  return size;
}

}  // namespace ostrel::list
