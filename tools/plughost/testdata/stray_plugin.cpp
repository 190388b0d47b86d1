// A Windows-only test library whose code reaches what the reference host does not serve, so
// the DLL loader's traps can be seen to fail the command that got there: class Stray asks the
// system for the tick count (an import with no stand-in) when "ticks" is read, and gives up
// with abort() when "abort" is written; class Wanderer asks for the tick count when enabled.
// Deliberately written without the support layer.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/abi.h"

#define EXPORT extern "C" __declspec(dllexport)

namespace {

uint32_t Construct(void*, uint32_t) {
  return 0;
}

uint32_t Destruct(void*) {
  return 0;
}

bool NameIs(const char* name16, const char* word) {
  char padded[16] = {};
  std::memcpy(padded, word, std::strlen(word));
  return std::memcmp(name16, padded, 16) == 0;
}

uint32_t GetAttribute(void*, const char* name, void*, void* value) {
  if (!NameIs(name, "ticks")) return 1;
  const uint16_t tag = 1;
  const int32_t ticks = static_cast<int32_t>(GetTickCount());
  std::memcpy(value, &tag, 2);
  std::memcpy(static_cast<char*>(value) + 2, &ticks, 4);
  return 0;
}

uint32_t SetAttribute(void*, const char* name, void*, void*) {
  if (!NameIs(name, "abort")) return 1;
  std::abort();
}

uint32_t Enable(void*) {
  return GetTickCount() == 0 ? 1 : 0;
}

uint32_t Disable(void*) {
  return 0;
}

void Slot(abi::PluginDescriptor* d, uint16_t column, void* function) {
  if (d->methodTables[0] == nullptr) d->methodTables[0] = d->allocator(d, column);
  if (d->methodTables[0] == nullptr) return;
  if (column > d->highestColumn[0]) d->highestColumn[0] = static_cast<int16_t>(column);
  d->methodTables[0][column].function = function;
  d->methodTables[0][column].flags = 1;
}

// The name query, or the interface name and the life-cycle slots every class here has.
bool Begin(abi::PluginDescriptor* d, const char* name) {
  d->instanceSize = 8;
  d->classFlags = 1;
  std::memset(d->names, 0, 16);
  if (d->phase == 0) {
    std::memcpy(d->names, name, std::strlen(name));
    return false;
  }
  std::memcpy(d->names, "_QComponent", 11);
  Slot(d, abi::slot::kConstruct, reinterpret_cast<void*>(&Construct));
  Slot(d, abi::slot::kDestruct, reinterpret_cast<void*>(&Destruct));
  return true;
}

}  // namespace

EXPORT uint32_t Stray(abi::PluginDescriptor* d) {
  if (Begin(d, "Stray")) {
    Slot(d, abi::slot::kGetAttribute, reinterpret_cast<void*>(&GetAttribute));
    Slot(d, abi::slot::kSetAttribute, reinterpret_cast<void*>(&SetAttribute));
  }
  return 0;
}

EXPORT uint32_t Wanderer(abi::PluginDescriptor* d) {
  if (Begin(d, "Wanderer")) {
    Slot(d, abi::slot::kEnable, reinterpret_cast<void*>(&Enable));
    Slot(d, abi::slot::kDisable, reinterpret_cast<void*>(&Disable));
  }
  return 0;
}
