#include "support/host_calls.h"

#include <cstring>

#include "support/registration.h"

namespace support {

namespace {

uint16_t gLastHostStatus = 0;

// The method entry of (row, column) of an object, read through its header. Null when any link
// of the chain is missing.
const abi::MethodEntry* FindEntry(uint16_t row, const void* object, uint16_t column) {
  if (object == nullptr) return nullptr;
  const auto* header = reinterpret_cast<const uint8_t*>(object) - abi::kHeaderSize;
  abi::ClassRecord* classRecord;
  std::memcpy(&classRecord, header + offsetof(abi::HostObjectHeader, classRecord),
              sizeof classRecord);
  if (classRecord == nullptr || classRecord->offsets == nullptr) return nullptr;
  abi::MethodEntry** rowTables = classRecord->rowTables;
  if (rowTables == nullptr) return nullptr;
  abi::MethodEntry* table;
  std::memcpy(&table, reinterpret_cast<const uint8_t*>(rowTables) + sizeof(void*) * row,
              sizeof table);
  if (table == nullptr) return nullptr;
  return reinterpret_cast<const abi::MethodEntry*>(reinterpret_cast<const uint8_t*>(table) +
                                                   sizeof(abi::MethodEntry) * column);
}

// The first argument of a call through `entry`, a method entry of `object`.
uint32_t SelfOf(const void* object, const abi::MethodEntry* entry) {
  const auto* header = reinterpret_cast<const uint8_t*>(object) - abi::kHeaderSize;
  uint32_t base;
  std::memcpy(&base, header + offsetof(abi::HostObjectHeader, baseValue), sizeof base);
  abi::ClassRecord* classRecord;
  std::memcpy(&classRecord, header + offsetof(abi::HostObjectHeader, classRecord),
              sizeof classRecord);
  // Only the low half of the flags word selects the offset, and it may select one before the
  // array's start.
  const auto k = static_cast<int16_t>(static_cast<uint32_t>(entry->flags) & 0xFFFFu);
  int32_t offset;
  std::memcpy(&offset, reinterpret_cast<const uint8_t*>(classRecord->offsets) + 4 * k,
              sizeof offset);
  return base + static_cast<uint32_t>(offset);
}

}  // namespace

void* MethodFunction(uint16_t row, const void* object, uint16_t column) {
  const abi::MethodEntry* entry = FindEntry(row, object, column);
  if (entry == nullptr) return nullptr;
  void* function = entry->function;
  return function;
}

uint32_t MethodSelf(uint16_t row, const void* object, uint16_t column) {
  const abi::MethodEntry* entry = FindEntry(row, object, column);
  return entry == nullptr ? 0 : SelfOf(object, entry);
}

uint16_t LastHostStatus() {
  return gLastHostStatus;
}
void SetLastHostStatus(uint16_t status) {
  gLastHostStatus = status;
}

void* ServiceObject(uint16_t service) {
  const void* services = HostServices();
  if (services == nullptr) return nullptr;
  void* object;
  std::memcpy(&object, static_cast<const uint8_t*>(services) + sizeof(void*) * service,
              sizeof object);
  return object;
}

namespace {

// One host call: look the method up, call it with its computed first argument, record the
// status.
template <typename... Args>
uint16_t Call(uint16_t row, const void* object, uint16_t column, Args... args) {
  // One lookup gives both halves of the call.
  const abi::MethodEntry* entry = FindEntry(row, object, column);
  void* function = entry != nullptr ? entry->function : nullptr;
  if (function == nullptr) {
    SetLastHostStatus(kNoHostMethod);
    return kNoHostMethod;
  }
  using Method = abi::Result (*)(uint32_t, Args...);
  const uint32_t self = SelfOf(object, entry);
  const auto status =
      static_cast<uint16_t>(reinterpret_cast<Method>(function)(self, args...) & 0xFFFFu);
  SetLastHostStatus(status);
  return status;
}

template <typename... Args>
uint16_t CallService(uint16_t service, uint16_t column, Args... args) {
  return Call(abi::kServiceRow, ServiceObject(service), column, args...);
}

}  // namespace

}  // namespace support

namespace host {

using support::Call;
using support::CallService;
namespace service = abi::service;
namespace method = abi::method;

namespace system {
uint16_t RandomInteger(int32_t low, int32_t high, void* out) {
  return CallService(service::kSystem, method::kRandomInteger, low, high, out);
}
uint16_t SetCursor(void* instance, int32_t cursor) {
  return CallService(service::kSystem, method::kSetCursor, instance, cursor);
}
uint16_t VisitMessageId(uint32_t zero, uint32_t a, uint32_t b, const void* id) {
  return CallService(service::kSystem, method::kVisitMessageId, zero, a, b, id);
}
uint16_t ResolveFilePath(void* instance, const char* path, void* out256) {
  return CallService(service::kSystem, method::kResolveFilePath, instance, path, out256);
}
}  // namespace system

namespace memory {
uint16_t AllocMemory(uint32_t size, void* out) {
  return CallService(service::kMemory, method::kAllocMemory, size, out);
}
uint16_t FreeMemory(void* block) {
  return CallService(service::kMemory, method::kFreeMemory, block);
}
uint16_t RegisterReference(void* reference) {
  return CallService(service::kMemory, method::kRegisterReference, reference);
}
}  // namespace memory

namespace object {
uint16_t GetObjectAttribute(uint32_t object, const void* name16, const void* index, void* value) {
  return CallService(service::kObject, method::kGetObjectAttribute, object, name16, index, value);
}
uint16_t SetObjectAttribute(uint32_t object, const void* name16, const void* index,
                            const void* value) {
  return CallService(service::kObject, method::kSetObjectAttribute, object, name16, index, value);
}
uint16_t AddNotification(uint32_t object, const void* request, uint32_t zero) {
  return CallService(service::kObject, method::kAddNotification, object, request, zero);
}
uint16_t RemoveNotification(uint32_t object, uint32_t kind) {
  return CallService(service::kObject, method::kRemoveNotification, object, kind);
}
uint16_t ComposeMessage(void* instance, const void* destination, const void* id, const void* data,
                        uint32_t flags, void* record80) {
  return CallService(service::kObject, method::kComposeMessage, instance, destination, id, data,
                     flags, record80);
}
uint16_t DeliverMessage(void* record80) {
  return CallService(service::kObject, method::kDeliverMessage, record80);
}
uint16_t CopyValue(void* destination, const void* source) {
  return CallService(service::kObject, method::kCopyValue, destination, source);
}
uint16_t ReleaseValue(void* value) {
  return CallService(service::kObject, method::kReleaseValue, value);
}
uint16_t ResolveTarget(const void* target, void* instance, void* out) {
  return CallService(service::kObject, method::kResolveTarget, target, instance, out);
}
}  // namespace object

namespace periodic {
uint16_t StartPeriodic(void* instance, uint32_t zero, uint32_t period, uint32_t one,
                       uint32_t alsoZero) {
  return CallService(service::kPeriodic, method::kStartPeriodic, instance, zero, period, one,
                     alsoZero);
}
uint16_t StopPeriodic(void* instance, uint32_t zero) {
  return CallService(service::kPeriodic, method::kStopPeriodic, instance, zero);
}
}  // namespace periodic

namespace list {
uint16_t CreateList(uint32_t itemSize, void* outHandle) {
  return CallService(service::kList, method::kCreateList, itemSize, outHandle);
}
uint16_t DisposeList(uint32_t handle) {
  return CallService(service::kList, method::kDisposeList, handle);
}
uint16_t AppendListItem(uint32_t handle, const void* item) {
  return CallService(service::kList, method::kAppendListItem, handle, item);
}
uint16_t InsertListItem(uint32_t handle, uint32_t position, const void* item) {
  return CallService(service::kList, method::kInsertListItem, handle, position, item);
}
uint16_t DeleteListItem(uint32_t handle, uint32_t position) {
  return CallService(service::kList, method::kDeleteListItem, handle, position);
}
uint16_t GetListItem(uint32_t handle, uint32_t position, void* item) {
  return CallService(service::kList, method::kGetListItem, handle, position, item);
}
uint16_t SetListItem(uint32_t handle, uint32_t position, const void* item) {
  return CallService(service::kList, method::kSetListItem, handle, position, item);
}
uint16_t ClearList(uint32_t handle) {
  return CallService(service::kList, method::kClearList, handle);
}
uint16_t ListCount(uint32_t handle, void* out) {
  return CallService(service::kList, method::kListCount, handle, out);
}
}  // namespace list

namespace string {
uint16_t CopyString(char* destination, const char* source) {
  return CallService(service::kString, method::kCopyString, destination, source);
}
uint16_t CopyStringMax(char* destination, const char* source, uint32_t max) {
  return CallService(service::kString, method::kCopyStringMax, destination, source, max);
}
uint16_t AppendString(char* destination, const char* source) {
  return CallService(service::kString, method::kAppendString, destination, source);
}
uint16_t CompareStrings(void* out, const char* a, const char* b) {
  return CallService(service::kString, method::kCompareStrings, out, a, b);
}
uint16_t StringLength(void* out, const char* text) {
  return CallService(service::kString, method::kStringLength, out, text);
}
uint16_t AllocString(void* out, uint32_t size) {
  return CallService(service::kString, method::kAllocString, out, size);
}
uint16_t DuplicateString(void* out, const char* text) {
  return CallService(service::kString, method::kDuplicateString, out, text);
}
uint16_t FreeString(char* buffer) {
  return CallService(service::kString, method::kFreeString, buffer);
}
}  // namespace string

namespace path {
uint16_t WriteObjectPath(uint32_t object, int16_t separator, char* out) {
  return CallService(service::kPath, method::kWriteObjectPath, object, separator, out);
}
uint16_t ResolveObjectPath(int16_t separator, const char* path, void* out) {
  return CallService(service::kPath, method::kResolveObjectPath, separator, path, out);
}
uint16_t ObjectPathLength(uint32_t object, void* out) {
  return CallService(service::kPath, method::kObjectPathLength, object, out);
}
uint16_t RebindReference(void* reference, const void* identity) {
  return CallService(service::kPath, method::kRebindReference, reference, identity);
}
}  // namespace path

namespace convert {
uint16_t ConvertValue(void* instance, const void* source, void* destination) {
  return CallService(service::kConvert, method::kConvertValue, instance, source, destination);
}
}  // namespace convert

namespace instance {
uint16_t GetOwner(const void* instance, void* out) {
  return Call(abi::kComponentRow, instance, abi::slot::kGetOwner, out);
}
uint16_t Listen(const void* instance, int16_t mode, const void* id) {
  return Call(abi::kComponentRow, instance, abi::slot::kListen, mode, id);
}
}  // namespace instance

namespace component {
uint16_t SetAttribute(const void* object, const void* name16, const void* index,
                      const void* value) {
  return Call(abi::kComponentRow, object, abi::slot::kSetAttribute, name16, index, value);
}
bool HasSetAttribute(const void* object) {
  return support::MethodFunction(abi::kComponentRow, object, abi::slot::kSetAttribute) != nullptr;
}
}  // namespace component

namespace stream {
uint16_t StoredSizeOf(const void* stream, const void* value, void* out) {
  return Call(abi::kServiceRow, stream, method::kStoredSizeOf, value, out);
}
uint16_t WriteValue(const void* stream, const void* value) {
  return Call(abi::kServiceRow, stream, method::kWriteValue, value);
}
uint16_t ReadValue(const void* stream, void* value) {
  return Call(abi::kServiceRow, stream, method::kReadValue, value);
}
}  // namespace stream

namespace editor {
uint16_t PutItem(const void* editor, int16_t item, const void* value) {
  return Call(abi::kServiceRow, editor, method::kPutItem, item, value);
}
uint16_t GetItem(const void* editor, int16_t item, void* value) {
  return Call(abi::kServiceRow, editor, method::kGetItem, item, value);
}
uint16_t DisableItem(const void* editor, int16_t item, int16_t disabled) {
  return Call(abi::kServiceRow, editor, method::kDisableItem, item, disabled);
}
uint16_t GetItemInfo(const void* editor, int16_t item, int16_t one, void* info) {
  return Call(abi::kServiceRow, editor, method::kGetItemInfo, item, one, info);
}
}  // namespace editor

}  // namespace host
