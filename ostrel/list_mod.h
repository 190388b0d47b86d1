// ListMod: a list variable. Its elements, all of one kind chosen in the editor, live in a host
// list; scripts read and write them by position, insert and delete, sort, shuffle and draw at
// random, and copy whole lists from one ListMod to another.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/abi.h"
#include "support/values.h"

namespace ostrel {

// The instance record, in host-owned memory. The elements are not here: `list` is the handle of
// the host list that holds them, each a whole tagged value of the kind's record size.
#pragma pack(push, 1)
struct ListModRecord {
  ChoiceValue kindValue;        // the kind choice 1..9 (editor item 6), word always 0
  uint16_t elementTag;          // the element tag the choice stands for
  uint32_t list;                // host list of the elements
  uint32_t randomBeginPool;     // host list of 16-bit positions not drawn yet; 0 until needed
  int32_t listError;            // last error code, readable as "listError"
  MessageIdValue clearMessage;  // (102, 0): empties the list
};
#pragma pack(pop)
static_assert(sizeof(ListModRecord) == 34);
static_assert(offsetof(ListModRecord, kindValue) == 0);
static_assert(offsetof(ListModRecord, elementTag) == 10);
static_assert(offsetof(ListModRecord, list) == 12);
static_assert(offsetof(ListModRecord, randomBeginPool) == 16);
static_assert(offsetof(ListModRecord, listError) == 20);
static_assert(offsetof(ListModRecord, clearMessage) == 24);

// The codes `listError` keeps.
namespace list_error {
constexpr int32_t kNone = 0;
constexpr int32_t kEmpty = 1;          // draw, sort or shuffle of an empty list
constexpr int32_t kPosition = 2;       // position out of range, or no position drawn
constexpr int32_t kKind = 3;           // fetch or conversion failed, or the kind does not fit
constexpr int32_t kNegativeCount = 4;  // a count that cannot be a list's length
}  // namespace list_error

// The entry protocol of the exported `ListMod` entry.
uint32_t RunListModEntry(abi::PluginDescriptor* descriptor);

}  // namespace ostrel
