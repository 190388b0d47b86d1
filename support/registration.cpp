#include "support/registration.h"

#include <cstring>

namespace support {

const Name20 kInterfaceNames[2] = {MakeName20("_QComponent"), MakeName20("_QCoreService")};

namespace {

// Captured at every registration; callbacks run only after one, on the host's one thread.
void* gHostServices = nullptr;
void* gHostPointer = nullptr;

// Descriptor fields are reached by byte offset: the record is packed, and its arrays must not
// be handed around as typed pointers.
uint8_t* Field(abi::PluginDescriptor* descriptor, size_t offset) {
  return reinterpret_cast<uint8_t*>(descriptor) + offset;
}

int16_t ReadInt16(const uint8_t* at) {
  int16_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void WriteInt16(uint8_t* at, int16_t value) {
  std::memcpy(at, &value, sizeof value);
}

}  // namespace

uint32_t RunEntry(abi::PluginDescriptor* descriptor, const ClassDefinition& definition) {
  if (descriptor == nullptr) return 0;
  descriptor->instanceSize = definition.instanceSize;
  descriptor->classFlags = definition.classFlags;
  if (descriptor->phase == 0) {
    CopyClassName(descriptor, definition.name);
    return 0;
  }
  RegisterInterfaceName(descriptor, kInterfaceNames[0].chars, abi::kComponentColumns,
                        abi::kComponentRow);
  // A slot that cannot be registered leaves the class without it; the host finds out from the
  // table it gets, so the results are not acted on here.
  for (uint16_t i = 0; i < definition.slotCount; ++i) {
    const SlotEntry& slot = definition.slots[i];
    RegisterSlot(descriptor, abi::kSlotFlags, slot.row, slot.column, slot.function);
  }
  CaptureHost(descriptor);
  for (uint16_t i = 0; i < definition.afterCaptureCount; ++i) {
    const SlotEntry& slot = definition.afterCapture[i];
    RegisterSlot(descriptor, abi::kSlotFlags, slot.row, slot.column, slot.function);
  }
  return 0;
}

uint16_t RegisterInterfaceName(abi::PluginDescriptor* descriptor, const void* name,
                               uint16_t methodCount, uint16_t row) {
  (void)methodCount;  // the host learns the columns from the method table, not from a count
  if (descriptor == nullptr || row >= abi::kMaxRows) return 0;
  CopyName16(descriptor->names + abi::kNameEntrySize * row, name);
  uint8_t* highest = Field(descriptor, offsetof(abi::PluginDescriptor, highestRow));
  if (static_cast<int32_t>(row) > ReadInt16(highest))
    WriteInt16(highest, static_cast<int16_t>(row));
  return 0;
}

uint16_t RegisterSlot(abi::PluginDescriptor* descriptor, int16_t flags, uint16_t row,
                      uint16_t column, void* function) {
  if (descriptor == nullptr || row >= abi::kMaxRows) return abi::kNoMethodTable;
  uint8_t* tableField =
      Field(descriptor, offsetof(abi::PluginDescriptor, methodTables) + sizeof(void*) * row);
  abi::MethodEntry* table;
  std::memcpy(&table, tableField, sizeof table);
  if (table == nullptr) {
    abi::Allocator allocator = descriptor->allocator;
    if (allocator == nullptr) return abi::kNoMethodTable;
    table = allocator(descriptor, column);
    if (table == nullptr) return abi::kNoMethodTable;
    std::memcpy(tableField, &table, sizeof table);
  }
  uint8_t* highest =
      Field(descriptor, offsetof(abi::PluginDescriptor, highestColumn) + sizeof(int16_t) * row);
  if (static_cast<int32_t>(column) > ReadInt16(highest)) {
    WriteInt16(highest, static_cast<int16_t>(column));
  }
  abi::MethodEntry entry{function, static_cast<int32_t>(flags)};
  std::memcpy(reinterpret_cast<uint8_t*>(table) + sizeof(abi::MethodEntry) * column, &entry,
              sizeof entry);
  return 0;
}

void CaptureHost(abi::PluginDescriptor* descriptor) {
  if (descriptor == nullptr) return;
  gHostPointer = descriptor->hostPointer;
  gHostServices = descriptor->hostServices;
}

void* HostServices() {
  return gHostServices;
}
void* HostPointer() {
  return gHostPointer;
}

}  // namespace support
