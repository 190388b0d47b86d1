// A small list-like class for the tests of components that write into another object: it
// keeps up to 64 integers, takes "count" (a new length) and "value" at a position from 1, and
// answers both back. Deliberately written without the support layer.
#include <cstdint>
#include <cstring>

#include "support/abi.h"
#include "support/values.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int32_t kCapacity = 64;

#pragma pack(push, 1)
struct BoardRecord {
  int32_t count;
  int32_t values[kCapacity];
};
#pragma pack(pop)

bool NameIs(const char* name16, const char* word) {
  char padded[16] = {};
  std::memcpy(padded, word, std::strlen(word));
  return std::memcmp(name16, padded, 16) == 0;
}

// An integer value, or false for anything else.
bool IntegerOf(const void* value, int32_t* out) {
  if (value == nullptr) return false;
  IntegerValue v;
  std::memcpy(&v, value, sizeof v);
  if (v.tag != tag::kInteger) return false;
  *out = v.value;
  return true;
}

// The position an index names, or 0.
int32_t PositionOf(const BoardRecord* b, const void* index) {
  int32_t position = 0;
  if (!IntegerOf(index, &position) || position < 1 || position > b->count) return 0;
  return position;
}

uint32_t Construct(BoardRecord* b, uint32_t) {
  std::memset(b, 0, sizeof *b);
  return 0;
}
uint32_t CopyConstruct(BoardRecord* b, const BoardRecord* source, uint32_t) {
  std::memmove(b, source, sizeof *b);
  return 0;
}
uint32_t Assign(BoardRecord* b, const BoardRecord* source) {
  std::memmove(b, source, sizeof *b);
  return 0;
}
uint32_t Destruct(BoardRecord*) {
  return 0;
}
uint32_t GetAttribute(BoardRecord* b, const char* name, const void* index, void* out) {
  int32_t answer;
  if (NameIs(name, "count") && index == nullptr) {
    answer = b->count;
  } else if (int32_t position = PositionOf(b, index); NameIs(name, "value") && position != 0) {
    answer = b->values[position - 1];
  } else {
    return 1;
  }
  const IntegerValue v{tag::kInteger, answer};
  std::memcpy(out, &v, sizeof v);
  return 0;
}
uint32_t SetAttribute(BoardRecord* b, const char* name, const void* index, const void* in) {
  int32_t value = 0;
  if (!IntegerOf(in, &value)) return 1;
  if (NameIs(name, "count") && index == nullptr && value >= 0 && value <= kCapacity) {
    for (int32_t i = b->count; i < value; ++i) b->values[i] = 0;
    b->count = value;
    return 0;
  }
  if (int32_t position = PositionOf(b, index); NameIs(name, "value") && position != 0) {
    b->values[position - 1] = value;
    return 0;
  }
  return 1;
}

void Slot(abi::PluginDescriptor* d, uint16_t column, void* function) {
  if (d->methodTables[0] == nullptr) d->methodTables[0] = d->allocator(d, column);
  if (d->methodTables[0] == nullptr) return;
  if (column > d->highestColumn[0]) d->highestColumn[0] = static_cast<int16_t>(column);
  d->methodTables[0][column].function = function;
  d->methodTables[0][column].flags = 1;
}

template <typename F>
void* Fn(F f) {
  return reinterpret_cast<void*>(f);
}

}  // namespace

EXPORT uint32_t Board(abi::PluginDescriptor* d) {
  d->instanceSize = sizeof(BoardRecord);
  d->classFlags = abi::kClassFlagsPlain;
  if (d->phase == 0) {
    std::memset(d->names, 0, 16);
    std::memcpy(d->names, "Board", 5);
    return 0;
  }
  std::memset(d->names, 0, 16);
  std::memcpy(d->names, "_QComponent", 11);
  Slot(d, abi::slot::kConstruct, Fn(&Construct));
  Slot(d, abi::slot::kCopyConstruct, Fn(&CopyConstruct));
  Slot(d, abi::slot::kAssign, Fn(&Assign));
  Slot(d, abi::slot::kDestruct, Fn(&Destruct));
  Slot(d, abi::slot::kGetAttribute, Fn(&GetAttribute));
  Slot(d, abi::slot::kSetAttribute, Fn(&SetAttribute));
  return 0;
}
