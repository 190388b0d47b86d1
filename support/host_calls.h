// Calling host methods: the method lookup through an object's header, the library's last host
// status word, and one typed wrapper per host method the libraries use.
//
// Every wrapper returns the 16-bit status of its call and also stores it as the last host
// status. When the service, object or method cannot be found, no call is made and the status is
// kNoHostMethod. Out-arguments are byte addresses the host writes with memcpy, so they may
// point into packed records.
#pragma once

#include <cstdint>

#include "support/abi.h"

namespace support {

// The status of a call that could not be made: no service record, object, table or function.
constexpr uint16_t kNoHostMethod = abi::kNoMethodTable;

// The function of method (row, column) of a host object, or null when there is none. Looked up
// afresh at every call: the host may replace its tables at any time.
void* MethodFunction(uint16_t row, const void* object, uint16_t column);

// The first argument of a call of method (row, column): the object's base value plus the
// offset the entry's flags word selects. 0 when there is no such method.
uint32_t MethodSelf(uint16_t row, const void* object, uint16_t column);

uint16_t LastHostStatus();
void SetLastHostStatus(uint16_t status);

// A service object of the captured HostServices record, or null.
void* ServiceObject(uint16_t service);

}  // namespace support

namespace host {

namespace system {
uint16_t RandomInteger(int32_t low, int32_t high, void* out);
uint16_t SetCursor(void* instance, int32_t cursor);
uint16_t VisitMessageId(uint32_t zero, uint32_t a, uint32_t b, const void* id);
uint16_t ResolveFilePath(void* instance, const char* path, void* out256);
}  // namespace system

namespace memory {
uint16_t AllocMemory(uint32_t size, void* out);
uint16_t FreeMemory(void* block);
uint16_t RegisterReference(void* reference);
}  // namespace memory

namespace object {
uint16_t GetObjectAttribute(uint32_t object, const void* name16, const void* index, void* value);
uint16_t SetObjectAttribute(uint32_t object, const void* name16, const void* index,
                            const void* value);
uint16_t AddNotification(uint32_t object, const void* request, uint32_t zero);
uint16_t RemoveNotification(uint32_t object, uint32_t kind);
uint16_t ComposeMessage(void* instance, const void* destination, const void* id, const void* data,
                        uint32_t flags, void* record80);
uint16_t DeliverMessage(void* record80);
uint16_t CopyValue(void* destination, const void* source);
uint16_t ReleaseValue(void* value);
uint16_t ResolveTarget(const void* target, void* instance, void* out);
}  // namespace object

namespace periodic {
uint16_t StartPeriodic(void* instance, uint32_t zero, uint32_t period, uint32_t one,
                       uint32_t alsoZero);
uint16_t StopPeriodic(void* instance, uint32_t zero);
}  // namespace periodic

namespace list {
uint16_t CreateList(uint32_t itemSize, void* outHandle);
uint16_t DisposeList(uint32_t handle);
uint16_t AppendListItem(uint32_t handle, const void* item);
uint16_t InsertListItem(uint32_t handle, uint32_t position, const void* item);
uint16_t DeleteListItem(uint32_t handle, uint32_t position);
uint16_t GetListItem(uint32_t handle, uint32_t position, void* item);
uint16_t SetListItem(uint32_t handle, uint32_t position, const void* item);
uint16_t ClearList(uint32_t handle);
uint16_t ListCount(uint32_t handle, void* out);
}  // namespace list

namespace string {
uint16_t CopyString(char* destination, const char* source);
uint16_t CopyStringMax(char* destination, const char* source, uint32_t max);
uint16_t AppendString(char* destination, const char* source);
uint16_t CompareStrings(void* out, const char* a, const char* b);
uint16_t StringLength(void* out, const char* text);
uint16_t AllocString(void* out, uint32_t size);
uint16_t DuplicateString(void* out, const char* text);
uint16_t FreeString(char* buffer);
}  // namespace string

namespace path {
uint16_t WriteObjectPath(uint32_t object, int16_t separator, char* out);
uint16_t ResolveObjectPath(int16_t separator, const char* path, void* out);
uint16_t ObjectPathLength(uint32_t object, void* out);
uint16_t RebindReference(void* reference, const void* identity);
}  // namespace path

namespace convert {
uint16_t ConvertValue(void* instance, const void* source, void* destination);
}  // namespace convert

// Methods the host implements on every component instance (row 0 of its own object).
namespace instance {
constexpr int16_t kListenStart = 1;
constexpr int16_t kListenStop = 2;
uint16_t GetOwner(const void* instance, void* out);
uint16_t Listen(const void* instance, int16_t mode, const void* id);
}  // namespace instance

// Another object's component: its SetAttribute slot (row 0, column 23).
namespace component {
uint16_t SetAttribute(const void* object, const void* name16, const void* index, const void* value);
// Whether the object's component has a SetAttribute to call at all.
bool HasSetAttribute(const void* object);
}  // namespace component

namespace stream {
uint16_t StoredSizeOf(const void* stream, const void* value, void* out);
uint16_t WriteValue(const void* stream, const void* value);
uint16_t ReadValue(const void* stream, void* value);
}  // namespace stream

namespace editor {
uint16_t PutItem(const void* editor, int16_t item, const void* value);
uint16_t GetItem(const void* editor, int16_t item, void* value);
uint16_t DisableItem(const void* editor, int16_t item, int16_t disabled);
uint16_t GetItemInfo(const void* editor, int16_t item, int16_t one, void* info);
}  // namespace editor

}  // namespace host
