#include "ostrel/list_order.h"

#include <cstring>

#include "ostrel/list_elements.h"
#include "support/host_calls.h"

namespace ostrel::list {

namespace {

// ---- Comparison rules, one per kind. Only the sign counts; a NaN difference counts as equal.

template <typename T>
T Field(const uint8_t* record, size_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

template <typename T>
int Order(T a, T b) {
  return (a > b) - (a < b);
}

int Sign(double difference) {
  return difference < 0 ? -1 : (difference > 0 ? 1 : 0);
}

int CompareAscending(uint16_t elementTag, const uint8_t* a, const uint8_t* b) {
  switch (elementTag) {
    case tag::kInteger:
      return Order(Field<int32_t>(a, 2), Field<int32_t>(b, 2));
    case tag::kPoint: {
      const int x = Order(Field<int16_t>(a, 2), Field<int16_t>(b, 2));
      return x != 0 ? x : Order(Field<int16_t>(a, 4), Field<int16_t>(b, 4));
    }
    case tag::kRange: {
      const int start = Order(Field<int32_t>(a, 2), Field<int32_t>(b, 2));
      return start != 0 ? start : Order(Field<int32_t>(a, 6), Field<int32_t>(b, 6));
    }
    case tag::kReal:
      return Sign(Field<double>(a, 2) - Field<double>(b, 2));
    case tag::kText: {
      const char* textA = Field<char*>(a, offsetof(TextValue, chars));
      const char* textB = Field<char*>(b, offsetof(TextValue, chars));
      if (textA == nullptr || textB == nullptr) return 0;
      int32_t result = 0;
      host::string::CompareStrings(&result, textA, textB);
      return Order(result, 0);
    }
    case tag::kDuration:
      return Order(Field<int32_t>(a, 2), Field<int32_t>(b, 2));
    case tag::kTripleReal: {
      double difference = Field<double>(a, 2) - Field<double>(b, 2);
      if (difference == 0.0) difference = Field<double>(a, 10) - Field<double>(b, 10);
      if (difference == 0.0) difference = Field<double>(a, 18) - Field<double>(b, 18);
      return Sign(difference);
    }
    case tag::kFlag:
      return Order(Field<int16_t>(a, 2), Field<int16_t>(b, 2));
    default:
      return 0;
  }
}

// ---- The reference quicksort: the pivot is the low end of each range, elements equal to it
// stop both scans, the smaller part is sorted by recursion and the larger by the loop. `Access`
// gives Compare(scanned, pivot) and Swap(a, b) over 0-based indexes.

template <typename Access>
void QuickSort(Access& access, uint32_t lo, uint32_t hi) {
  while (hi - lo > 1) {
    uint32_t i = lo;
    uint32_t j = hi;
    for (;;) {
      do {
        ++i;
      } while (i < hi && access.Compare(i, lo) < 0);
      do {
        --j;
      } while (j > lo && access.Compare(j, lo) > 0);
      if (i >= j) break;
      access.Swap(i, j);
    }
    if (j == lo) {
      ++lo;
      continue;
    }
    access.Swap(lo, j);
    if (hi - (j + 1) > j - lo) {
      QuickSort(access, lo, j);
      lo = j + 1;
    } else {
      QuickSort(access, j + 1, hi);
      hi = j;
    }
  }
}

void SwapElements(uint32_t list, uint32_t a, uint32_t b) {
  Element x;
  Element y;
  host::list::GetListItem(list, a + 1, x.data());
  host::list::GetListItem(list, b + 1, y.data());
  host::list::SetListItem(list, a + 1, y.data());
  host::list::SetListItem(list, b + 1, x.data());
}

// The list itself, every comparison fetching both elements from the host.
struct HostAccess {
  uint32_t list;
  uint16_t elementTag;
  int direction;
  int Compare(uint32_t a, uint32_t b) {
    Element x;
    Element y;
    host::list::GetListItem(list, a + 1, x.data());
    host::list::GetListItem(list, b + 1, y.data());
    return direction * CompareAscending(elementTag, x.bytes, y.bytes);
  }
  void Swap(uint32_t a, uint32_t b) { SwapElements(list, a, b); }
};

// A copy of the list in memory, reordered through an index array.
struct MemoryAccess {
  const uint8_t* records;
  uint32_t* order;
  uint32_t size;
  uint16_t elementTag;
  int direction;
  const uint8_t* At(uint32_t k) const { return records + size_t{order[k]} * size; }
  int Compare(uint32_t a, uint32_t b) {
    return direction * CompareAscending(elementTag, At(a), At(b));
  }
  void Swap(uint32_t a, uint32_t b) {
    const uint32_t t = order[a];
    order[a] = order[b];
    order[b] = t;
  }
};

// ---- An O(n log n) sort for lists whose equal elements are identical records: any correct
// sort then gives the reference order. Introsort: median-of-three quicksort, heapsort past a
// depth limit, insertion sort for short ranges.

template <typename T>
void Exchange(T& a, T& b) {
  T t = a;
  a = b;
  b = t;
}

template <typename T, typename Less>
void InsertionSort(T* a, uint32_t n, Less& less) {
  for (uint32_t i = 1; i < n; ++i) {
    T value = a[i];
    uint32_t j = i;
    for (; j > 0 && less(value, a[j - 1]); --j) a[j] = a[j - 1];
    a[j] = value;
  }
}

template <typename T, typename Less>
void SiftDown(T* a, uint32_t root, uint32_t n, Less& less) {
  for (;;) {
    uint32_t child = 2 * root + 1;
    if (child >= n) return;
    if (child + 1 < n && less(a[child], a[child + 1])) ++child;
    if (!less(a[root], a[child])) return;
    Exchange(a[root], a[child]);
    root = child;
  }
}

template <typename T, typename Less>
void HeapSort(T* a, uint32_t n, Less& less) {
  for (uint32_t i = n / 2; i-- > 0;) SiftDown(a, i, n, less);
  for (uint32_t end = n; end-- > 1;) {
    Exchange(a[0], a[end]);
    SiftDown(a, 0, end, less);
  }
}

template <typename T, typename Less>
void IntroSort(T* a, uint32_t n, Less& less, int depth) {
  while (n > 16) {
    if (depth-- == 0) {
      HeapSort(a, n, less);
      return;
    }
    // The median of three at the front: the partition below then never comes back empty.
    T* mid = a + n / 2;
    T* last = a + n - 1;
    if (less(*mid, *a)) Exchange(*mid, *a);
    if (less(*last, *a)) Exchange(*last, *a);
    if (less(*last, *mid)) Exchange(*last, *mid);
    Exchange(*a, *mid);
    const T pivot = a[0];
    uint32_t i = 0;
    uint32_t j = n;
    for (;;) {
      do {
        ++i;
      } while (i < n && less(a[i], pivot));
      do {
        --j;
      } while (less(pivot, a[j]));
      if (i >= j) break;
      Exchange(a[i], a[j]);
    }
    Exchange(a[0], a[j]);
    // a[j] is in place; the smaller side by recursion.
    if (j < n - j - 1) {
      IntroSort(a, j, less, depth);
      a += j + 1;
      n -= j + 1;
    } else {
      IntroSort(a + j + 1, n - j - 1, less, depth);
      n = j;
    }
  }
  InsertionSort(a, n, less);
}

template <typename T, typename Less>
void Sort(T* a, uint32_t n, Less less) {
  int depth = 0;
  for (uint32_t m = n; m > 1; m >>= 1) depth += 2;
  IntroSort(a, n, less, depth);
}

// Packed to 4 so that both builds ask the host for the same working memory: the Windows ABI
// would align the key to 8 and make every entry 16 bytes.
#pragma pack(push, 4)
struct Keyed {
  uint64_t key;
  uint32_t index;
};
#pragma pack(pop)
static_assert(sizeof(Keyed) == 12);

// Least significant byte first over the key's low `bytes` bytes; a byte all keys share costs
// one counting pass and no move. `spare` has room for `count` more.
void RadixSort(Keyed* keys, Keyed* spare, uint32_t count, uint32_t bytes) {
  Keyed* from = keys;
  Keyed* to = spare;
  for (uint32_t byte = 0; byte < bytes; ++byte) {
    const uint32_t shift = 8 * byte;
    uint32_t at[256] = {};
    for (uint32_t k = 0; k < count; ++k) ++at[(from[k].key >> shift) & 0xFF];
    if (at[(from[0].key >> shift) & 0xFF] == count) continue;
    uint32_t sum = 0;
    for (uint32_t& slot : at) {
      const uint32_t n = slot;
      slot = sum;
      sum += n;
    }
    for (uint32_t k = 0; k < count; ++k) to[at[(from[k].key >> shift) & 0xFF]++] = from[k];
    Keyed* swap = from;
    from = to;
    to = swap;
  }
  if (from != keys) std::memcpy(keys, from, sizeof(Keyed) * count);
}

// Bytes of the key that can differ, by kind.
uint32_t KeyBytes(uint16_t elementTag) {
  return elementTag == tag::kRange || elementTag == tag::kReal ? 8 : 4;
}

bool NegativeZero(uint64_t bits) {
  return bits == (uint64_t{1} << 63);
}
bool NotANumber(uint64_t bits) {
  return (bits & ~(uint64_t{1} << 63)) > 0x7FF0000000000000ull;
}
bool Finite(uint64_t bits) {
  return (bits & 0x7FF0000000000000ull) != 0x7FF0000000000000ull;
}

// An unsigned key in the kind's ascending order, for the kinds whose equal elements are
// identical records; false when this record rules the key sort out (a NaN or a negative zero).
bool KeyOf(uint16_t elementTag, const uint8_t* record, uint64_t* key) {
  constexpr uint32_t kFlip32 = 0x80000000u;
  switch (elementTag) {
    case tag::kInteger:
    case tag::kDuration:
      *key = Field<uint32_t>(record, 2) ^ kFlip32;
      return true;
    case tag::kPoint:
      *key = (uint64_t{Field<uint16_t>(record, 2) ^ 0x8000u} << 16) |
             (Field<uint16_t>(record, 4) ^ 0x8000u);
      return true;
    case tag::kRange:
      *key = (uint64_t{Field<uint32_t>(record, 2) ^ kFlip32} << 32) |
             (Field<uint32_t>(record, 6) ^ kFlip32);
      return true;
    case tag::kFlag:
      *key = Field<uint16_t>(record, 2) ^ 0x8000u;
      return true;
    case tag::kReal: {
      const uint64_t bits = Field<uint64_t>(record, 2);
      if (NotANumber(bits) || NegativeZero(bits)) return false;
      *key = (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
      return true;
    }
    default:
      return false;
  }
}

// Whether every component of a triple is finite and none is a negative zero: then equal
// triples are identical records.
bool PlainTriple(const uint8_t* record) {
  for (size_t offset = 2; offset <= 18; offset += 8) {
    const uint64_t bits = Field<uint64_t>(record, offset);
    if (!Finite(bits) || NegativeZero(bits)) return false;
  }
  return true;
}

enum class KeyOutcome { kNotApplicable, kUnchanged, kOrdered };

// Orders `order` by the kind's keys when that gives the reference result. kUnchanged: the list
// is in order already (the order is then untouched); kNotApplicable: a record rules keys out.
KeyOutcome KeySort(const MemoryAccess& access, uint32_t count, Keyed* keys, Keyed* spare) {
  const uint16_t elementTag = access.elementTag;
  const bool triple = elementTag == tag::kTripleReal;
  bool ordered = true;
  for (uint32_t k = 0; k < count; ++k) {
    const uint8_t* record = access.records + size_t{k} * access.size;
    if (Field<uint16_t>(record, 0) != elementTag) return KeyOutcome::kNotApplicable;
    if (triple) {
      if (!PlainTriple(record)) return KeyOutcome::kNotApplicable;
      continue;
    }
    uint64_t key = 0;
    if (!KeyOf(elementTag, record, &key)) return KeyOutcome::kNotApplicable;
    if (access.direction < 0) key = KeyBytes(elementTag) == 8 ? ~key : ~key & 0xFFFFFFFFu;
    keys[k] = Keyed{key, k};
    if (k != 0 && keys[k - 1].key > key) ordered = false;
  }
  if (triple) {
    for (uint32_t k = 0; k < count; ++k) access.order[k] = k;
    MemoryAccess plain = access;
    Sort(access.order, count, [&plain](uint32_t a, uint32_t b) {
      return plain.direction * CompareAscending(tag::kTripleReal,
                                                plain.records + size_t{a} * plain.size,
                                                plain.records + size_t{b} * plain.size) <
             0;
    });
    return KeyOutcome::kOrdered;
  }
  if (!ordered) RadixSort(keys, spare, count, KeyBytes(elementTag));
  if (elementTag == tag::kDuration) {
    // Durations compare by count alone: equal counts must be identical records.
    for (uint32_t k = 1; k < count; ++k) {
      if (keys[k - 1].key == keys[k].key &&
          std::memcmp(access.records + size_t{keys[k - 1].index} * access.size,
                      access.records + size_t{keys[k].index} * access.size, access.size) != 0) {
        return KeyOutcome::kNotApplicable;
      }
    }
  }
  if (ordered) return KeyOutcome::kUnchanged;
  for (uint32_t k = 0; k < count; ++k) access.order[k] = keys[k].index;
  return KeyOutcome::kOrdered;
}

size_t Align8(size_t size) {
  return (size + 7) & ~size_t{7};
}

// One block from the host for a list copy and its bookkeeping; null when there is none.
void* AllocWork(size_t size) {
  if (size > 0x7FFFFFFF) return nullptr;
  void* block = nullptr;
  host::memory::AllocMemory(static_cast<uint32_t>(size), &block);
  return block;
}

// Fetches `count` records; false when one could not be had.
bool FetchAll(uint32_t list, uint8_t* records, uint32_t size, uint32_t count) {
  for (uint32_t k = 0; k < count; ++k) {
    if (host::list::GetListItem(list, k + 1, records + size_t{k} * size) != 0) return false;
  }
  return true;
}

// Writes back the positions whose record changed.
void WriteBack(uint32_t list, const uint8_t* records, const uint32_t* order, uint32_t size,
               uint32_t count) {
  for (uint32_t k = 0; k < count; ++k) {
    if (order[k] == k) continue;
    const uint8_t* moved = records + size_t{order[k]} * size;
    if (std::memcmp(moved, records + size_t{k} * size, size) == 0) continue;
    host::list::SetListItem(list, k + 1, moved);
  }
}

// A draw of the shuffle: i..n, or i itself when the host gives nothing usable.
uint32_t DrawBetween(uint32_t low, uint32_t high) {
  int32_t drawn = static_cast<int32_t>(low);
  const uint16_t status =
      host::system::RandomInteger(static_cast<int32_t>(low), static_cast<int32_t>(high), &drawn);
  if (status != 0 || drawn < static_cast<int32_t>(low) || drawn > static_cast<int32_t>(high)) {
    return low;
  }
  return static_cast<uint32_t>(drawn);
}

}  // namespace

uint16_t SortList(void* /*instance*/, uint32_t list, uint16_t elementTag, bool ascending,
                  uint32_t count) {
  if (elementTag == tag::kReference) return 3;
  const uint32_t size = RecordSize(elementTag, false);
  if (count < 2 || size == 0) return 0;
  const int direction = ascending ? 1 : -1;
  const size_t recordsSize = Align8(size_t{count} * size);
  const size_t keysSize = Align8(sizeof(Keyed) * count);
  auto* block = static_cast<uint8_t*>(AllocWork(recordsSize + 2 * keysSize + 4 * size_t{count}));
  if (block != nullptr && !FetchAll(list, block, size, count)) {
    host::memory::FreeMemory(block);
    block = nullptr;
  }
  if (block == nullptr) {
    HostAccess access{list, elementTag, direction};
    QuickSort(access, 0, count);
    return 0;
  }
  auto* keys = reinterpret_cast<Keyed*>(block + recordsSize);
  auto* spare = reinterpret_cast<Keyed*>(block + recordsSize + keysSize);
  auto* order = reinterpret_cast<uint32_t*>(block + recordsSize + 2 * keysSize);
  MemoryAccess access{block, order, size, elementTag, direction};
  const KeyOutcome keyed =
      elementTag == tag::kText ? KeyOutcome::kNotApplicable : KeySort(access, count, keys, spare);
  if (keyed == KeyOutcome::kNotApplicable) {
    for (uint32_t k = 0; k < count; ++k) order[k] = k;
    QuickSort(access, 0, count);
  }
  if (keyed != KeyOutcome::kUnchanged) WriteBack(list, block, order, size, count);
  host::memory::FreeMemory(block);
  return 0;
}

uint16_t ShuffleList(uint32_t list, uint16_t elementTag, uint32_t count) {
  const uint32_t size = RecordSize(elementTag, false);
  if (count < 2 || size == 0) return 0;
  const size_t recordsSize = Align8(size_t{count} * size);
  auto* block = static_cast<uint8_t*>(AllocWork(recordsSize + 4 * size_t{count}));
  if (block == nullptr) {
    for (uint32_t i = 1; i < count; ++i) SwapElements(list, i - 1, DrawBetween(i, count) - 1);
    return 0;
  }
  // The whole permutation first; then only the elements that move are fetched and written.
  auto* order = reinterpret_cast<uint32_t*>(block + recordsSize);
  for (uint32_t k = 0; k < count; ++k) order[k] = k;
  for (uint32_t i = 1; i < count; ++i) {
    const uint32_t r = DrawBetween(i, count);
    const uint32_t t = order[i - 1];
    order[i - 1] = order[r - 1];
    order[r - 1] = t;
  }
  bool fetched = true;
  for (uint32_t k = 0; k < count && fetched; ++k) {
    if (order[k] == k) continue;
    fetched = host::list::GetListItem(list, k + 1, block + size_t{k} * size) == 0;
  }
  if (fetched) WriteBack(list, block, order, size, count);
  host::memory::FreeMemory(block);
  return 0;
}

void RefillPool(uint32_t list, uint32_t pool) {
  const uint32_t count = Count(list);
  host::list::ClearList(pool);
  for (uint32_t position = 1; position <= count && position <= kMaxCount; ++position) {
    const auto entry = static_cast<uint16_t>(position);
    host::list::AppendListItem(pool, &entry);
  }
}

uint32_t DrawFromPool(uint32_t pool, uint32_t poolCount) {
  if (poolCount == 0) return 0;
  int32_t drawn = 0;
  const uint16_t status = host::system::RandomInteger(1, static_cast<int32_t>(poolCount), &drawn);
  if (status != 0 || drawn < 1 || static_cast<uint32_t>(drawn) > poolCount) return 0;
  uint16_t position = 0;
  if (host::list::GetListItem(pool, static_cast<uint32_t>(drawn), &position) != 0) return 0;
  RemovePoolEntry(static_cast<uint32_t>(drawn), pool);
  return position;
}

void RemovePoolEntry(uint32_t position, uint32_t pool) {
  // One delete keeps the later entries in their order, as shifting each down would.
  host::list::DeleteListItem(pool, position);
}

void CopyPool(uint32_t destination, uint32_t source) {
  const uint32_t count = Count(source);
  host::list::ClearList(destination);
  for (uint32_t position = 1; position <= count; ++position) {
    uint16_t entry = 0;
    if (host::list::GetListItem(source, position, &entry) == 0) {
      host::list::AppendListItem(destination, &entry);
    }
  }
}

}  // namespace ostrel::list
