// Calling a method of a host object through its method table, exactly as a plug-in does: for
// tools and tests that must use a host service on a plug-in's behalf (freeing a text a plug-in
// handed out) or check a service through the very path a plug-in takes.
#pragma once

#include <cstdint>

#include "host/host.h"
#include "support/abi.h"

namespace refhost {

template <typename... Args>
uint16_t CallHostMethod(void* object, uint16_t row, uint16_t column, Args... args) {
  auto* header =
      reinterpret_cast<abi::HostObjectHeader*>(static_cast<uint8_t*>(object) - abi::kHeaderSize);
  abi::MethodEntry* table = header->classRecord->rowTables[row];
  if (table == nullptr || table[column].function == nullptr) return kSlotNotRegistered;
  int16_t k = static_cast<int16_t>(table[column].flags & 0xFFFF);
  uint32_t self = header->baseValue + static_cast<uint32_t>(header->classRecord->offsets[k]);
  using Fn = abi::Result (*)(uint32_t, Args...);
  return static_cast<uint16_t>(reinterpret_cast<Fn>(table[column].function)(self, args...) &
                               0xFFFF);
}

}  // namespace refhost
