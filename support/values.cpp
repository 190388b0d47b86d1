#include "support/values.h"

#include <cstring>

#include "support/host_calls.h"

namespace {

// Longest text CopyStringValue copies: its counts travel as signed 16-bit numbers, buffer size
// included.
constexpr uint32_t kLongestCopiedText = 32766;

bool HasBuffer(const TextValue* text) {
  return text->chars != nullptr && text->capacity != 0;
}

uint8_t* Bytes(void* value) {
  return static_cast<uint8_t*>(value);
}

// A text with no buffer at all: what a failed or impossible copy leaves.
void MakeFreshEmptyText(uint32_t owner, TextValue* text) {
  text->tag = tag::kText;
  text->owner = owner;
  text->capacity = 0;
  text->length = 0;
  text->chars = nullptr;
}

// Emptying a text that keeps its buffer also ends the characters there, so that a reader going
// by the terminator sees the same empty text as one going by the length.
void EmptyKeepingBuffer(TextValue* text) {
  text->length = 0;
  if (HasBuffer(text)) text->chars[0] = '\0';
}

}  // namespace

void CopyTaggedValue(uint32_t owner, void* destination, const void* source) {
  if (destination == nullptr || source == nullptr) {
    support::SetLastHostStatus(1);
    return;
  }
  uint16_t sourceTag;
  std::memcpy(&sourceTag, source, sizeof sourceTag);
  size_t size = 0;
  switch (sourceTag) {
    case tag::kEmpty:
      std::memcpy(destination, &sourceTag, sizeof sourceTag);
      return;
    case tag::kInteger:
      size = sizeof(IntegerValue);
      break;
    case tag::kFlag:
      size = sizeof(FlagValue);
      break;
    case tag::kReal:
    case tag::kMessageId:
    case tag::kChoice:
      size = sizeof(MessageIdValue);
      break;
    case tag::kRecord40:
      size = sizeof(Record40Value);
      break;
    case tag::kRecord24:
      size = sizeof(Record24Value);
      break;
    case tag::kText:
    case tag::kTextSecond:
      CopyStringValue(owner, destination, source);
      return;
    case tag::kReference:
      CopyReference(destination, source);
      return;
    case tag::kObjectPath:
      CopyPathValue(destination, source);
      return;
    default:
      support::SetLastHostStatus(1);
      return;
  }
  std::memmove(destination, source, size);
}

void ReleaseTaggedValue(uint32_t owner, void* value) {
  if (value == nullptr) return;
  uint16_t valueTag;
  std::memcpy(&valueTag, value, sizeof valueTag);
  if (valueTag == tag::kText || valueTag == tag::kTextSecond) {
    auto* text = static_cast<TextValue*>(value);
    if (text->owner != owner || !HasBuffer(text)) return;
    host::string::FreeString(text->chars);
    // Left pointing at the freed buffer, a later copy into this value would write into it and
    // a second release would free it again.
    text->chars = nullptr;
    text->capacity = 0;
    text->length = 0;
  } else if (valueTag == tag::kReference) {
    ReleaseReference(value);
  }
}

void CopyStringValue(uint32_t owner, void* destination, const void* source) {
  if (destination == nullptr) return;
  auto* target = static_cast<TextValue*>(destination);
  if (source == destination) {
    target->tag = tag::kText;
    return;
  }
  target->tag = tag::kText;
  const auto* from = static_cast<const TextValue*>(source);
  if (from == nullptr || from->chars == nullptr || from->length == 0) {
    EmptyKeepingBuffer(target);
    return;
  }
  if (from->length > kLongestCopiedText) {
    if (HasBuffer(target)) {
      EmptyKeepingBuffer(target);
    } else {
      MakeFreshEmptyText(owner, target);
    }
    return;
  }
  const uint32_t n = from->length;
  if (HasBuffer(target)) {
    const uint32_t count = target->capacity - 1 < n ? target->capacity - 1 : n;
    host::string::CopyStringMax(target->chars, from->chars, count);
    target->length = count;
    return;
  }
  MakeFreshEmptyText(owner, target);
  host::string::AllocString(Bytes(destination) + offsetof(TextValue, chars), n + 1);
  if (target->chars == nullptr) return;
  target->capacity = n + 1;
  target->chars[0] = '\0';
  // Bounded by the length the source claims: its characters may run on past it, and the buffer
  // was sized from the claim.
  host::string::CopyStringMax(target->chars, from->chars, n);
  host::string::StringLength(Bytes(destination) + offsetof(TextValue, length), target->chars);
}

void SetStringValue(uint32_t owner, void* destination, const char* text) {
  if (destination == nullptr) return;
  auto* target = static_cast<TextValue*>(destination);
  if (text == nullptr) {
    MakeFreshEmptyText(0, target);
    return;
  }
  MakeFreshEmptyText(owner, target);
  host::string::StringLength(Bytes(destination) + offsetof(TextValue, length), text);
  if (target->length != 0) {
    host::string::DuplicateString(Bytes(destination) + offsetof(TextValue, chars), text);
  } else {
    host::string::AllocString(Bytes(destination) + offsetof(TextValue, chars), 1);
    if (target->chars != nullptr) target->chars[0] = '\0';
  }
  if (target->chars == nullptr) {
    // No buffer came back: an empty text, not one claiming characters it does not have.
    target->length = 0;
    return;
  }
  target->capacity = target->length + 1;
}

void CopyBlockValue(uint32_t owner, void* destination, const void* source) {
  if (destination == nullptr) return;
  auto* target = static_cast<BlockValue*>(destination);
  const auto* from = static_cast<const BlockValue*>(source);
  target->tag = tag::kByteBlock;
  if (from == nullptr || from->bytes == nullptr || from->length == 0) {
    target->length = 0;
    return;
  }
  if (source == destination) return;
  if (target->bytes != nullptr && target->capacity != 0) {
    const uint32_t capacity = target->capacity;
    const uint32_t length = from->length;
    const uint32_t count = capacity < length ? capacity : length;
    std::memmove(target->bytes, from->bytes, count);
    target->length = count;
    return;
  }
  const uint32_t length = from->length;
  target->owner = owner;
  target->capacity = 0;
  target->length = 0;
  target->bytes = nullptr;
  host::memory::AllocMemory(length, Bytes(destination) + offsetof(BlockValue, bytes));
  if (target->bytes == nullptr) return;
  target->capacity = length;
  target->length = length;
  std::memcpy(target->bytes, from->bytes, length);
}

void UnlinkReference(void* value) {
  if (value == nullptr) return;
  auto* reference = static_cast<ReferenceValue*>(value);
  ReferenceValue* previous = reference->previous;
  ReferenceValue* next = reference->next;
  if (previous != nullptr) previous->next = next;
  if (next != nullptr) next->previous = previous;
  reference->previous = nullptr;
  reference->next = nullptr;
}

void ReleaseReference(void* value) {
  if (value == nullptr) return;
  auto* reference = static_cast<ReferenceValue*>(value);
  if (reference->object == 0) return;
  // The links are cleared as well: a released reference that is later copied onto would
  // otherwise splice its stale neighbours together once more.
  UnlinkReference(value);
}

void CopyReference(void* destination, const void* source) {
  if (destination == nullptr || source == nullptr) return;
  UnlinkReference(destination);
  auto* target = static_cast<ReferenceValue*>(destination);
  const auto* from = static_cast<const ReferenceValue*>(source);
  target->tag = from->tag;
  target->object = from->object;
  IdentityValue* identity = target->identity;
  if (identity == nullptr) return;
  const IdentityValue* sourceIdentity = from->identity;
  if (sourceIdentity != nullptr) {
    std::memmove(identity, sourceIdentity, sizeof(IdentityValue));
  } else {
    std::memset(Bytes(identity) + offsetof(IdentityValue, word), 0,
                sizeof(IdentityValue) - offsetof(IdentityValue, word));
  }
}

void CopyPathValue(void* destination, const void* source) {
  if (destination == nullptr || source == nullptr || destination == source) return;
  auto* target = static_cast<ObjectPathValue*>(destination);
  const auto* from = static_cast<const ObjectPathValue*>(source);
  const uint16_t count = from->count;
  uint32_t* entries = target->entries;
  if (count != 0 && (entries == nullptr || from->entries == nullptr)) {
    // Nothing to copy into or from: an empty path rather than a count without entries.
    target->tag = tag::kObjectPath;
    target->count = 0;
    return;
  }
  if (count != 0) std::memmove(entries, from->entries, sizeof(uint32_t) * count);
  target->tag = from->tag;
  target->count = count;
}

uint32_t TaggedValueSize(uint16_t valueTag) {
  switch (valueTag) {
    case tag::kEmpty:
    case tag::kUnassigned:
      return sizeof(EmptyValue);
    case tag::kInteger:
      return sizeof(IntegerValue);
    case tag::kDuration:
      return sizeof(DurationValue);
    case tag::kPoint:
      return sizeof(PointValue);
    case tag::kRange:
      return sizeof(RangeValue);
    case tag::kRectangle:
      return sizeof(RectangleValue);
    case tag::kReal:
      return sizeof(RealValue);
    case tag::kTripleReal:
      return sizeof(TripleRealValue);
    case tag::kFlag:
      return sizeof(FlagValue);
    case tag::kMessageId:
      return sizeof(MessageIdValue);
    case tag::kChoice:
      return sizeof(ChoiceValue);
    case tag::kByteBlock:
      return sizeof(BlockValue);
    case tag::kText:
    case tag::kTextSecond:
      return sizeof(TextValue);
    case tag::kRecord40:
      return sizeof(Record40Value);
    case tag::kReference:
      return sizeof(ReferenceValue);
    case tag::kRecord24:
      return sizeof(Record24Value);
    case tag::kObjectPath:
      return sizeof(ObjectPathValue);
    case tag::kIdentity:
      return sizeof(IdentityValue);
    default:
      return 0;
  }
}
