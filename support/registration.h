// The entry protocol and the registration of a component class with the host.
#pragma once

#include <cstdint>

#include "support/abi.h"
#include "support/names.h"

namespace support {

// One callback slot of a class: (row, column) of the component's interfaces.
struct SlotEntry {
  uint16_t row;
  uint16_t column;
  void* function;
};

// A callback as a slot table holds it.
template <typename Function>
void* SlotFunction(Function function) {
  return reinterpret_cast<void*>(function);
}

// Everything the entry protocol needs to know of a class. `name` points at a NUL-padded
// constant of at least 20 bytes; slots are registered in table order, `afterCapture` once the
// host pointers are captured.
struct ClassDefinition {
  const char* name;
  uint32_t instanceSize;
  uint32_t classFlags;
  const SlotEntry* slots;
  uint16_t slotCount;
  const SlotEntry* afterCapture;
  uint16_t afterCaptureCount;
};

// A callback as a slot table holds it.
template <typename Function>
void* Slot(Function function) {
  return reinterpret_cast<void*>(function);
}

// The interface names the library carries: the component interface every class registers
// under (entry 0), and the core service interface beside it, which no class registers.
extern const Name20 kInterfaceNames[2];

// The whole entry call: size and flags in both phases, then either the class name (phase 0) or
// the interface name, every slot, and the host pointers. The result carries no information.
uint32_t RunEntry(abi::PluginDescriptor* descriptor, const ClassDefinition& definition);

// Names interface `row` and raises the descriptor's highest named row. Returns 0.
uint16_t RegisterInterfaceName(abi::PluginDescriptor* descriptor, const void* name,
                               uint16_t methodCount, uint16_t row);

// Stores a callback for (row, column), asking the host's allocator for the row's method table
// when it has none yet. Returns 0, or 3 when no table could be had (nothing changed then).
uint16_t RegisterSlot(abi::PluginDescriptor* descriptor, int16_t flags, uint16_t row,
                      uint16_t column, void* function);

// Copies the host pointer and the HostServices record pointer into the library's globals.
void CaptureHost(abi::PluginDescriptor* descriptor);

void* HostServices();
void* HostPointer();

}  // namespace support
