// The binary contract between a plug-in library and its host.
//
// Everything here crosses the boundary: byte-packed little-endian records, 32-bit pointers and
// handles, cdecl calls with the caller popping the arguments. Host and plug-in both include
// this header, so a number written here is written once for both sides.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 4, "the plug-in contract is 32-bit: build for i386");

namespace abi {

// A host method or callback result: the low 16 bits carry the status, 0 = done.
using Result = uint32_t;
constexpr Result kDone = 0;
constexpr Result kNotHandled = 1;
constexpr Result kNoMethodTable = 3;

// ---------------------------------------------------------------------------------------------
// Method tables and host objects.

// One column of an interface's method table: the function and the registration flags word
// (sign-extended from 16 bits). The low half of `flags` indexes the owner's offsets array to
// find the first argument of a call.
#pragma pack(push, 1)
struct MethodEntry {
  void* function;
  int32_t flags;
};
#pragma pack(pop)
static_assert(sizeof(MethodEntry) == 8);
static_assert(offsetof(MethodEntry, function) == 0);
static_assert(offsetof(MethodEntry, flags) == 4);

// The record an object's header points to: one method table per interface row, and the
// offsets added to the object's base value to form a method's first argument.
#pragma pack(push, 1)
struct ClassRecord {
  MethodEntry** rowTables;
  int32_t* offsets;
};
#pragma pack(pop)
static_assert(sizeof(ClassRecord) == 8);

// Every host object O (service, stream, editor, component instance) is preceded by this
// header: O - 8 holds the base value, O - 4 the class record.
#pragma pack(push, 1)
struct HostObjectHeader {
  uint32_t baseValue;
  ClassRecord* classRecord;
};
#pragma pack(pop)
static_assert(sizeof(HostObjectHeader) == 8);
constexpr size_t kHeaderSize = sizeof(HostObjectHeader);

// Interface rows. Row 0 of a component instance is `_QComponent`; row 1 is the unnamed
// second interface (`Periodic`, `PositionChanged`). Service, stream and editor objects keep
// their methods in row 1.
constexpr uint16_t kComponentRow = 0;
constexpr uint16_t kSecondRow = 1;
constexpr uint16_t kServiceRow = 1;

constexpr uint16_t kComponentColumns = 38;  // columns 0..37 of `_QComponent`
constexpr uint16_t kSecondRowColumns = 2;   // columns 0..1 of the unnamed row

// ---------------------------------------------------------------------------------------------
// The registration record passed to every exported entry.

constexpr size_t kNameEntrySize = 17;
constexpr size_t kNameSize = 16;
constexpr size_t kMaxRows = 32;  // rows the descriptor's arrays can describe

using Allocator = MethodEntry* (*)(void* descriptor, uint32_t column);

#pragma pack(push, 1)
struct PluginDescriptor {
  uint8_t names[608];  // 17-byte entries, interface row r at 17 * r; the class name
                       // in bytes 0..15 during the name query
  int16_t highestRow;  // highest row given a name
  MethodEntry* methodTables[kMaxRows];  // per row; null until allocated
  int16_t highestColumn[33];            // per row
  uint32_t instanceSize;
  uint32_t classFlags;
  int16_t phase;        // 0 = name query, otherwise registration
  Allocator allocator;  // called as allocator(descriptor, column)
  uint16_t reserved;    // never touched by the plug-in
  void* hostPointer;    // copied by the plug-in, read by nobody
  void* hostServices;   // the HostServices record
};
#pragma pack(pop)
static_assert(offsetof(PluginDescriptor, highestRow) == 608);
static_assert(offsetof(PluginDescriptor, methodTables) == 610);
static_assert(offsetof(PluginDescriptor, highestColumn) == 738);
static_assert(offsetof(PluginDescriptor, instanceSize) == 804);
static_assert(offsetof(PluginDescriptor, classFlags) == 808);
static_assert(offsetof(PluginDescriptor, phase) == 812);
static_assert(offsetof(PluginDescriptor, allocator) == 814);
static_assert(offsetof(PluginDescriptor, hostPointer) == 820);
static_assert(offsetof(PluginDescriptor, hostServices) == 824);
static_assert(sizeof(PluginDescriptor) == 828);

// An exported entry: one per component class, exported under the class name.
using EntryPoint = uint32_t (*)(PluginDescriptor* descriptor);

// Class flags words the libraries register.
constexpr uint32_t kClassFlagsPlain = 1;
constexpr uint32_t kClassFlagsBaseObject = 5;  // Construct/CopyConstruct take a base object

// The flags value every registration passes.
constexpr int16_t kSlotFlags = 1;

// ---------------------------------------------------------------------------------------------
// Callback slots: columns of `_QComponent` (row 0) and of the unnamed row 1.

namespace slot {
constexpr uint16_t kConstruct = 7;
constexpr uint16_t kCopyConstruct = 8;
constexpr uint16_t kDestruct = 9;
constexpr uint16_t kAttached = 10;
constexpr uint16_t kEnable = 13;
constexpr uint16_t kDisable = 14;
constexpr uint16_t kStoredSize = 17;
constexpr uint16_t kLoad = 18;
constexpr uint16_t kSave = 19;
constexpr uint16_t kGetAttribute = 22;
constexpr uint16_t kSetAttribute = 23;
constexpr uint16_t kHandleMessage = 25;
constexpr uint16_t kToEditor = 26;
constexpr uint16_t kFromEditor = 27;
constexpr uint16_t kEditorItemChanged = 29;
constexpr uint16_t kGetOwner = 32;  // host-implemented on every instance
constexpr uint16_t kListen = 33;    // host-implemented on every instance
constexpr uint16_t kAssign = 34;
constexpr uint16_t kValidateEditorItem = 36;
constexpr uint16_t kVisitMessageIds = 37;
// Row 1.
constexpr uint16_t kPeriodic = 0;
constexpr uint16_t kPositionChanged = 1;
}  // namespace slot

// Callback signatures (instance first; 16-bit arguments travel in 32-bit stack slots).
namespace callback {
using Plain = Result (*)(void* instance);                           // 9, 10, 13, 14, row 1.0
using Construct = Result (*)(void* instance, uint32_t baseObject);  // 7 (base: ObjRefP only)
using CopyConstruct = Result (*)(void* instance, void* source, uint32_t baseObject);  // 8
using Assign = Result (*)(void* instance, void* source);                              // 34
using StoredSize = Result (*)(void* instance, void* stream, uint32_t ignored, int16_t* version,
                              uint32_t* size);                                             // 17
using Load = Result (*)(void* instance, void* stream, uint32_t ignored, int16_t version);  // 18
using Save = Result (*)(void* instance, void* stream);                                     // 19
using Attribute = Result (*)(void* instance, const char* name16, void* index,
                             void* value);                                // 22, 23
using HandleMessage = Result (*)(void* instance, void* message);          // 25
using ToEditor = Result (*)(void* instance, void* editor, int16_t mode);  // 26
using FromEditor = Result (*)(void* instance, void* editor);              // 27
using EditorItemChanged = Result (*)(void* instance, void* editor, uint32_t ignored,
                                     int16_t item);  // 29
using ValidateEditorItem = Result (*)(void* instance, void* editor, uint32_t ignored, int16_t item,
                                      uint8_t* ok, char* message);           // 36
using VisitMessageIds = Result (*)(void* instance, uint32_t a, uint32_t b);  // 37
using PositionChanged = Result (*)(void* instance, int32_t* position);       // row 1.1
}  // namespace callback

// ---------------------------------------------------------------------------------------------
// Host services: the HostServices record is an array of service-object pointers indexed by
// service number; each service's methods are in row 1 (`kServiceRow`).

namespace service {
constexpr uint16_t kSystem = 1;
constexpr uint16_t kMemory = 2;
constexpr uint16_t kObject = 4;
constexpr uint16_t kPeriodic = 5;
constexpr uint16_t kList = 12;
constexpr uint16_t kString = 13;
constexpr uint16_t kPath = 14;
constexpr uint16_t kConvert = 15;
constexpr uint16_t kCount = 16;  // entries in the HostServices record
}  // namespace service

// Method columns, with each method's arguments after the computed first argument `self`.
// Out-arguments are byte addresses: the host writes them with memcpy, so they may point into
// packed records.
namespace method {
// SystemService (1)
constexpr uint16_t kRandomInteger = 2;    // (int32 low, int32 high, int32* out): low..high
constexpr uint16_t kSetCursor = 3;        // (void* instance, int32 cursor)
constexpr uint16_t kVisitMessageId = 4;   // (uint32 0, uint32 a, uint32 b, const void* id)
constexpr uint16_t kResolveFilePath = 9;  // (void* instance, const char* path, char* out256)
// MemoryService (2)
constexpr uint16_t kAllocMemory = 0;        // (uint32 size, void** out): out null on failure
constexpr uint16_t kFreeMemory = 1;         // (void* block)
constexpr uint16_t kRegisterReference = 8;  // (void* reference): chain a live reference
// ObjectService (4)
constexpr uint16_t kGetObjectAttribute = 5;  // (uint32 object, const char* name16,
                                             //  const void* index or null, void* value)
constexpr uint16_t kSetObjectAttribute = 6;  // same arguments, value read
constexpr uint16_t kAddNotification = 7;     // (uint32 object, const void* request, uint32 0)
constexpr uint16_t kRemoveNotification = 8;  // (uint32 object, uint32 kind)
constexpr uint16_t kComposeMessage = 22;     // (void* instance, const void* destination,
                                             //  const void* id, const void* data,
                                             //  uint32 flags, void* record80)
constexpr uint16_t kDeliverMessage = 23;     // (void* record80)
constexpr uint16_t kCopyValue = 25;          // (void* destination, const void* source): deep
constexpr uint16_t kReleaseValue = 26;       // (void* value)
constexpr uint16_t kResolveTarget = 28;      // (const void* target, void* instance,
                                             //  void** out): out 0 when none
// PeriodicService (5)
constexpr uint16_t kStartPeriodic = 0;  // (void* instance, uint32 0, uint32 10, uint32 1,
                                        //  uint32 0): then row 1 column 0 is called
constexpr uint16_t kStopPeriodic = 1;   // (void* instance, uint32 0)
// ListService (12); positions count from 1
constexpr uint16_t kCreateList = 0;      // (uint32 itemSize, uint32* outHandle)
constexpr uint16_t kDisposeList = 1;     // (uint32 handle)
constexpr uint16_t kAppendListItem = 2;  // (uint32 handle, const void* item)
constexpr uint16_t kInsertListItem = 4;  // (uint32 handle, uint32 position, const void* item)
constexpr uint16_t kDeleteListItem = 5;  // (uint32 handle, uint32 position)
constexpr uint16_t kGetListItem = 6;     // (uint32 handle, uint32 position, void* item)
constexpr uint16_t kSetListItem = 7;     // (uint32 handle, uint32 position, const void* item)
constexpr uint16_t kClearList = 8;       // (uint32 handle): the handle stays valid
constexpr uint16_t kListCount = 9;       // (uint32 handle, uint32* out)
// StringService (13)
constexpr uint16_t kCopyString = 0;        // (char* destination, const char* source)
constexpr uint16_t kCopyStringMax = 1;     // (char* destination, const char* source, uint32 max):
                                           //  at most max characters, then a NUL
constexpr uint16_t kAppendString = 2;      // (char* destination, const char* source)
constexpr uint16_t kCompareStrings = 4;    // (int32* out, const char* a, const char* b): by sign
constexpr uint16_t kStringLength = 12;     // (uint32* out, const char* text)
constexpr uint16_t kAllocString = 14;      // (char** out, uint32 size)
constexpr uint16_t kDuplicateString = 15;  // (char** out, const char* text): out null on failure
constexpr uint16_t kFreeString = 16;       // (char* buffer)
// PathService (14)
constexpr uint16_t kWriteObjectPath = 1;    // (uint32 object, int16 separator, char* out)
constexpr uint16_t kResolveObjectPath = 7;  // (int16 separator, const char* path,
                                            //  uint32* out): 0 when no object has that path
constexpr uint16_t kObjectPathLength = 8;   // (uint32 object, uint32* out): without the NUL
constexpr uint16_t kRebindReference = 9;    // (void* reference, const void* identity)
// ConvertService (15)
constexpr uint16_t kConvertValue = 0;  // (void* instance, const void* source, void* destination)
// HostStream (row 1)
constexpr uint16_t kStoredSizeOf = 4;  // (const void* value, uint32* out)
constexpr uint16_t kWriteValue = 5;    // (const void* value)
constexpr uint16_t kReadValue = 6;     // (void* value)
// HostEditor (row 1)
constexpr uint16_t kPutItem = 0;      // (int16 item, const void* value)
constexpr uint16_t kGetItem = 1;      // (int16 item, void* value): to the preset tag
constexpr uint16_t kDisableItem = 3;  // (int16 item, int16 disabled)
constexpr uint16_t kGetItemInfo = 7;  // (int16 item, int16 1, void* info)
}  // namespace method

// ---------------------------------------------------------------------------------------------
// Records exchanged through host methods.

// A message as the host delivers it to `HandleMessage`, and as `ComposeMessage` fills it.
// Bytes 8..19 are the contract; the rest belongs to the host.
#pragma pack(push, 1)
struct MessageRecord {
  uint32_t destination;  // host's: the destination object handle
  uint32_t sender;       // host's: the sending instance
  uint32_t object;       // the object the message concerns
  uint32_t id;           // message id, first word
  uint32_t second;       // message id, second word
  uint32_t data;         // host's: pointer to the data value
  uint32_t flags;        // host's
  uint8_t hostBytes[52];
};
#pragma pack(pop)
static_assert(sizeof(MessageRecord) == 80);
static_assert(offsetof(MessageRecord, object) == 8);
static_assert(offsetof(MessageRecord, id) == 12);
static_assert(offsetof(MessageRecord, second) == 16);

// What `GetItemInfo` fills: the length of the item's text as a real at byte 34.
#pragma pack(push, 1)
struct ItemInfo {
  uint8_t hostBytes[34];
  double textLength;
  uint8_t moreHostBytes[22];
};
#pragma pack(pop)
static_assert(sizeof(ItemInfo) == 64);
static_assert(offsetof(ItemInfo, textLength) == 34);

// A request for position notifications (`AddNotification`).
#pragma pack(push, 1)
struct NotifyRequest {
  int16_t kind;  // 8: position
  void* instance;
  int16_t one;
  int16_t alsoOne;
  uint32_t zeros[3];
};
#pragma pack(pop)
static_assert(sizeof(NotifyRequest) == 22);
static_assert(offsetof(NotifyRequest, instance) == 2);
static_assert(offsetof(NotifyRequest, zeros) == 10);
constexpr uint32_t kPositionNotification = 8;

}  // namespace abi
