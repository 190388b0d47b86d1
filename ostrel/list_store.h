// A ListMod list in its stored form and across objects: StoredSize, Save and Load through the
// host stream, and the list transfer value that copies a whole list from one ListMod to another.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ostrel/list_mod.h"
#include "support/abi.h"

namespace ostrel {

constexpr uint16_t kListTransferTag = 13013;

// A whole list on its way to another object: copies of the producer's element records in a host
// list of their own. Texts and path entries are still the producer's.
#pragma pack(push, 1)
struct ListTransferValue {
  uint16_t tag;  // 13013
  int32_t count;
  uint16_t elementTag;
  uint32_t list;
  uint32_t producer;  // the object that was asked, -1 when that handle was 0
};
#pragma pack(pop)
static_assert(sizeof(ListTransferValue) == 16);
static_assert(offsetof(ListTransferValue, count) == 2);
static_assert(offsetof(ListTransferValue, elementTag) == 6);
static_assert(offsetof(ListTransferValue, list) == 8);
static_assert(offsetof(ListTransferValue, producer) == 12);

constexpr int16_t kListDataVersion = 1;

abi::Result ListStoredSize(ListModRecord* self, void* stream, int16_t* version, uint32_t* size);
abi::Result ListSave(ListModRecord* self, void* stream);
abi::Result ListLoad(ListModRecord* self, void* stream, int16_t version);

// "value" read at position 0: `out` holds a reference and becomes a transfer value.
abi::Result ReadWholeList(ListModRecord* self, void* out);
// "value" written at position 0 with a value that is not a transfer; `index` is the caller's.
abi::Result AssignWholeList(ListModRecord* self, void* index, const void* value);
// "value" written with a transfer value.
abi::Result CopyTransfer(ListModRecord* self, const void* value);

}  // namespace ostrel
