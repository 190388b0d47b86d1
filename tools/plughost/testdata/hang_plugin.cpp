// Plug-in code that never returns, for the host's time limit on entry calls and callbacks.
// Deliberately written without the support layer.
#include <cstdint>
#include <cstring>

#include "support/abi.h"

#ifdef _WIN32
#define EXPORT extern "C" __declspec(dllexport)
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

void* g_services = nullptr;

// For ever, in the plug-in's own code.
[[noreturn]] void Spin() {
  volatile uint32_t turns = 0;
  for (;;) turns = turns + 1u;
}

uint32_t NoOp(void*) {
  return 0;
}
uint32_t Refuse(void*) {
  return 1;
}
uint32_t GetAttributeSpinning(void*, const char*, const void*, void*) {
  Spin();
}
// For ever, mostly inside the host: it asks for random numbers without end.
uint32_t HandleMessageAsking(void*, const void*) {
  void* system = static_cast<void**>(g_services)[abi::service::kSystem];
  auto* header = reinterpret_cast<const abi::HostObjectHeader*>(
      static_cast<const uint8_t*>(system) - abi::kHeaderSize);
  const abi::MethodEntry& entry =
      header->classRecord->rowTables[abi::kServiceRow][abi::method::kRandomInteger];
  using Fn = uint32_t (*)(uint32_t, int32_t, int32_t, int32_t*);
  const uint32_t self = header->baseValue + static_cast<uint32_t>(header->classRecord->offsets[0]);
  for (;;) {
    int32_t out = 0;
    reinterpret_cast<Fn>(entry.function)(self, 0, 9, &out);
  }
}

void Name(abi::PluginDescriptor* d, const char* name) {
  d->instanceSize = 8;
  d->classFlags = abi::kClassFlagsPlain;
  std::memset(d->names, 0, 16);
  std::memcpy(d->names, name, std::strlen(name));
}

void Slot(abi::PluginDescriptor* d, uint16_t column, void* function) {
  if (d->methodTables[0] == nullptr) d->methodTables[0] = d->allocator(d, column);
  if (d->methodTables[0] == nullptr) return;
  if (column > d->highestColumn[0]) d->highestColumn[0] = static_cast<int16_t>(column);
  d->methodTables[0][column] = abi::MethodEntry{function, 1};
}

template <typename F>
void* Fn(F f) {
  return reinterpret_cast<void*>(f);
}

}  // namespace

// Answers the name query, then never finishes registering.
EXPORT uint32_t Stuck(abi::PluginDescriptor* d) {
  Name(d, "Stuck");
  if (d->phase != 0) Spin();
  return 0;
}

// A class whose GetAttribute spins and whose HandleMessage keeps calling the host.
EXPORT uint32_t Sleeper(abi::PluginDescriptor* d) {
  Name(d, "Sleeper");
  if (d->phase == 0) return 0;
  std::memcpy(d->names, "_QComponent", 11);
  Slot(d, abi::slot::kConstruct, Fn(&NoOp));
  Slot(d, abi::slot::kDestruct, Fn(&NoOp));
  Slot(d, abi::slot::kGetAttribute, Fn(&GetAttributeSpinning));
  Slot(d, abi::slot::kSetAttribute, Fn(&Refuse));
  Slot(d, abi::slot::kHandleMessage, Fn(&HandleMessageAsking));
  g_services = d->hostServices;
  return 0;
}
