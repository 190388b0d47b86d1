// The element kinds of a ListMod list and the operations on single elements: what each kind's
// record is, what it owns (texts, path entry blocks) and when that is obtained and freed.
//
// Every item of a list is owned by the instance: a string element's text has the instance as
// its owner, a path element's entry block was allocated for it, and a reference element never
// sits in a host chain (both links are cleared whenever one is stored).
#pragma once

#include <cstdint>

#include "support/values.h"

namespace ostrel::list {

// Positions travel as 16-bit signed numbers, so no list grows past this.
constexpr uint32_t kMaxCount = 32767;
// The room a path gets when the host writes one for the list.
constexpr uint16_t kMaxPathEntries = 256;

// Storage for one element or answer of any kind, zeroed: larger than every record a list or a
// host conversion writes.
struct Element {
  alignas(8) uint8_t bytes[64] = {};
  void* data() { return bytes; }
  const void* data() const { return bytes; }
};

// A path target for the host to write into: the entry count is the room of `entries`.
struct PathScratch {
  ObjectPathValue value;
  uint32_t entries[kMaxPathEntries];
  void Prepare();
};

uint32_t OwnerWord(const void* instance);

// Element tag of a kind choice, 0 outside 1..9.
uint16_t KindTag(uint32_t choice);
// Record bytes of an element tag (stored = false) or its stored bytes before per-element extras
// (stored = true); 0 for a tag that is no kind.
uint32_t RecordSize(uint16_t elementTag, bool stored);
// Whether a value of `valueTag` can be stored in a list of `elementTag` after conversion.
bool Fits(uint16_t valueTag, uint16_t elementTag);
// Whether elements of this kind own memory that must be released.
bool OwnsMemory(uint16_t elementTag);

// The list's item count; 0 when the host cannot tell.
uint32_t Count(uint32_t list);

// A zeroed record preset to the kind's tag, converted from `value` by the host. The host's
// status: nonzero when it cannot convert.
uint16_t Convert(void* instance, const void* value, uint16_t elementTag, Element* target);

uint16_t MakeDefaultElement(void* instance, uint16_t elementTag, void* out);
uint16_t ReleaseElement(void* instance, void* record);
void ReleaseAll(void* instance, uint32_t list);
// The element at `position` (checked by the caller) into `out`, by the tag `out` is preset to.
// Never hands out memory the list owns. Nonzero: the fetch failed.
uint16_t FetchElement(void* instance, uint32_t list, uint16_t elementTag, uint32_t position,
                      void* out);
// Replaces the element at `position` by an owned copy of `value`, then releases the old one.
uint16_t StoreElement(void* instance, uint32_t list, uint16_t elementTag, uint32_t position,
                      const void* value);
// Appends (or, with position != 0, inserts before `position`) an owned copy of `value`.
uint16_t AppendElementCopy(void* instance, const void* value, uint32_t list, uint32_t position = 0);
uint16_t CopyElements(void* instance, uint32_t destination, uint32_t source);
// Grows with default elements or shrinks from the end; stops at the first append that fails.
uint16_t ResizeList(void* instance, uint32_t list, uint16_t elementTag, uint32_t n);
// Writes a value already converted to the kind at `position` of a list of `count` elements,
// growing it with default elements up to `position` first; the converted value's own text is
// released afterwards. Nonzero when the list could not grow or the element could not be stored.
uint16_t WriteConverted(void* instance, uint32_t list, uint16_t elementTag, uint32_t position,
                        uint32_t count, Element* converted);
uint16_t DeleteElement(void* instance, uint32_t list, uint32_t position);
// Every element of a reference list becomes its object path. Stops at the first element the
// host cannot convert, which stays a reference; nonzero then.
uint16_t ReferencesToPaths(void* instance, uint32_t list);
uint32_t StoredElementsSize(uint16_t elementTag, uint32_t list);

}  // namespace ostrel::list
