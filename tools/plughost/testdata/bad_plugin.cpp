// Entries that break the entry protocol, one way each, so the loader's checks can be seen to
// catch them. Deliberately written without the support layer.
#include <cstdint>
#include <cstring>

#include "support/abi.h"

#ifdef _WIN32
#define EXPORT extern "C" __declspec(dllexport)
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

uint32_t Fill(abi::PluginDescriptor* d, const char* name, uint32_t size) {
  d->instanceSize = size;
  d->classFlags = 1;
  if (d->phase == 0) {
    std::memset(d->names, 0, 16);
    std::memcpy(d->names, name, std::strlen(name) < 16 ? std::strlen(name) : 16);
  }
  return 0;
}

uint32_t NoOp(void*) {
  return 0;
}

void Slot(abi::PluginDescriptor* d, uint16_t row, uint16_t column) {
  if (d->methodTables[row] == nullptr) d->methodTables[row] = d->allocator(d, column);
  if (d->methodTables[row] == nullptr) return;
  d->methodTables[row][column].function = reinterpret_cast<void*>(&NoOp);
  d->methodTables[row][column].flags = 1;
}

void Interface(abi::PluginDescriptor* d, const char* name) {
  std::memset(d->names, 0, 16);
  std::memcpy(d->names, name, std::strlen(name));
}

}  // namespace

// Crashes in the name query.
EXPORT uint32_t Crashy(abi::PluginDescriptor* d) {
  Fill(d, "Crashy", 8);
  volatile uintptr_t nowhere = 16;  // opaque to the optimiser: a real store to a bad address
  *reinterpret_cast<volatile uint32_t*>(nowhere) = 1;
  return 0;
}

// Answers the name query with another class's name.
EXPORT uint32_t Misnamed(abi::PluginDescriptor* d) {
  Fill(d, "Other", 8);
  if (d->phase != 0) {
    Interface(d, "_QComponent");
    Slot(d, 0, 7);
  }
  return 0;
}

// Claims an instance of 2 MiB.
EXPORT uint32_t Huge(abi::PluginDescriptor* d) {
  Fill(d, "Huge", 2u << 20);
  if (d->phase != 0) {
    Interface(d, "_QComponent");
    Slot(d, 0, 7);
  }
  return 0;
}

// Names its interface and registers nothing.
EXPORT uint32_t Empty(abi::PluginDescriptor* d) {
  Fill(d, "Empty", 8);
  if (d->phase != 0) Interface(d, "_QComponent");
  return 0;
}

// Writes no class name at all.
EXPORT uint32_t Unnamed(abi::PluginDescriptor* d) {
  d->instanceSize = 8;
  d->classFlags = 1;
  return 0;
}

// Registers its slots under the wrong interface name.
EXPORT uint32_t WrongFace(abi::PluginDescriptor* d) {
  Fill(d, "WrongFace", 8);
  if (d->phase != 0) {
    Interface(d, "_QThing");
    Slot(d, 0, 7);
  }
  return 0;
}

// Registers a column the host implements itself.
EXPORT uint32_t Thief(abi::PluginDescriptor* d) {
  Fill(d, "Thief", 8);
  if (d->phase != 0) {
    Interface(d, "_QComponent");
    Slot(d, 0, 7);
    Slot(d, 0, 32);
  }
  return 0;
}
