// Ordering a ListMod list: sorting with one comparison rule per kind, shuffling, and the pool of
// positions that draws without repetition take from.
//
// Sorts and shuffles give exactly the order of the list's reference algorithms (the quicksort
// that pivots at the low end of each range, the forward Fisher-Yates shuffle on the host's
// random numbers), equal elements included, but work on a copy of the list in memory from the
// host and write back only the positions that changed. Without that memory they run the same
// algorithms on the host list itself.
#pragma once

#include <cstdint>

namespace ostrel::list {

// Sorts `count` elements. 0 done; 3 for the reference kind, which has no order.
uint16_t SortList(void* instance, uint32_t list, uint16_t elementTag, bool ascending,
                  uint32_t count);
// Shuffles `count` elements, drawing count - 1 numbers from the host.
uint16_t ShuffleList(uint32_t list, uint16_t elementTag, uint32_t count);

// The pool holds positions 1..count of the list, in order.
void RefillPool(uint32_t list, uint32_t pool);
// A position taken out of a pool of `poolCount` entries at random; 0 when none can be drawn.
uint32_t DrawFromPool(uint32_t pool, uint32_t poolCount);
void RemovePoolEntry(uint32_t position, uint32_t pool);
void CopyPool(uint32_t destination, uint32_t source);

}  // namespace ostrel::list
