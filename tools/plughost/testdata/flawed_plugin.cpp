// Classes that each break the component life cycle in exactly one way, beside one that breaks
// nothing, so `plughost validate` can be seen to catch each fault and to pass the sound class.
// Deliberately written without the support layer.
#include <cstdint>
#include <cstring>

#include "support/abi.h"
#include "support/values.h"
#include "win32/win32.h"

#ifdef _WIN32
#define EXPORT extern "C" __declspec(dllexport)
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

#pragma pack(push, 1)
struct Record {
  MessageIdValue id;
  char* note;  // 8 bytes from AllocString
};
#pragma pack(pop)
static_assert(sizeof(Record) == 14);

void* g_services = nullptr;

template <typename... Args>
uint32_t Call(const void* object, uint16_t row, uint16_t column, Args... args) {
  auto* header = reinterpret_cast<const abi::HostObjectHeader*>(
      static_cast<const uint8_t*>(object) - abi::kHeaderSize);
  const abi::MethodEntry& entry = header->classRecord->rowTables[row][column];
  int16_t k = static_cast<int16_t>(entry.flags & 0xFFFF);
  uint32_t self = header->baseValue + static_cast<uint32_t>(header->classRecord->offsets[k]);
  using Fn = uint32_t (*)(uint32_t, Args...);
  return reinterpret_cast<Fn>(entry.function)(self, args...) & 0xFFFF;
}

void* Strings() {
  return static_cast<void**>(g_services)[abi::service::kString];
}
void* System() {
  return static_cast<void**>(g_services)[abi::service::kSystem];
}

void* NoteField(Record* r) {
  return reinterpret_cast<uint8_t*>(r) + offsetof(Record, note);
}
const void* Id(const Record* r) {
  return r;  // the id is the first field
}

// ---- The sound behaviour.
uint32_t Construct(Record* r) {
  r->id = MessageIdValue{tag::kMessageId, 900, 0};
  r->note = nullptr;
  Call(Strings(), 1, abi::method::kAllocString, NoteField(r), uint32_t{8});
  return 0;
}
uint32_t CopyConstruct(Record* r, const Record* source) {
  Construct(r);
  r->id = source->id;
  return 0;
}
uint32_t Assign(Record* r, const Record* source) {
  r->id = source->id;
  return 0;
}
uint32_t Destruct(Record* r) {
  if (r->note != nullptr) Call(Strings(), 1, abi::method::kFreeString, r->note);
  r->note = nullptr;
  return 0;
}
uint32_t StoredSize(Record* r, void* stream, uint32_t, int16_t* version, uint32_t* size) {
  *version = 0;
  return Call(stream, 1, abi::method::kStoredSizeOf, Id(r), static_cast<void*>(size));
}
uint32_t Save(Record* r, void* stream) {
  return Call(stream, 1, abi::method::kWriteValue, Id(r));
}
uint32_t Load(Record* r, void* stream, uint32_t, int16_t version) {
  if (version != 0) return 1;
  return Call(stream, 1, abi::method::kReadValue, static_cast<void*>(r));
}
uint32_t GetAttribute(Record*, const char*, const void*, void*) {
  return 1;
}
uint32_t Enable(Record* r) {
  return Call(r, 0, abi::slot::kListen, int16_t{1}, Id(r));
}
uint32_t Disable(Record* r) {
  return Call(r, 0, abi::slot::kListen, int16_t{2}, Id(r));
}
uint32_t HandleMessage(Record* r, const abi::MessageRecord* m) {
  return m->id == r->id.id && m->second == r->id.second ? 0 : 1;
}
uint32_t ToEditor(Record* r, void* editor, int16_t mode) {
  if (mode != 0) return 1;
  Call(editor, 1, abi::method::kPutItem, int16_t{1}, Id(r));
  return 0;
}
uint32_t FromEditor(Record* r, void* editor) {
  Call(editor, 1, abi::method::kGetItem, int16_t{1}, static_cast<void*>(r));
  return 0;
}
uint32_t VisitMessageIds(Record* r, uint32_t a, uint32_t b) {
  return Call(System(), 1, abi::method::kVisitMessageId, uint32_t{0}, a, b, Id(r));
}

// ---- One fault each.
uint32_t DestructKeepingTheNote(Record*) {
  return 0;
}
uint32_t DestructFreeingTwice(Record* r) {
  Call(Strings(), 1, abi::method::kFreeString, r->note);
  Call(Strings(), 1, abi::method::kFreeString, r->note);
  r->note = nullptr;
  return 0;
}
uint32_t DisableForgetting(Record*) {
  return 0;
}
uint32_t LoadAnyVersion(Record* r, void* stream, uint32_t, int16_t) {
  return Call(stream, 1, abi::method::kReadValue, static_cast<void*>(r));
}
uint32_t GetAnyAttribute(Record* r, const char*, const void*, void* out) {
  std::memcpy(out, &r->id, sizeof r->id);
  return 0;
}
uint32_t StoredSizeTooLarge(Record* r, void* stream, uint32_t ignored, int16_t* version,
                            uint32_t* size) {
  uint32_t status = StoredSize(r, stream, ignored, version, size);
  *size += 4;
  return status;
}
uint32_t HandleMessageTicking(Record* r, const abi::MessageRecord* m) {
  if (HandleMessage(r, m) != 0) return 1;
  return Call(static_cast<void**>(g_services)[abi::service::kPeriodic], 1,
              abi::method::kStartPeriodic, static_cast<void*>(r), uint32_t{0}, uint32_t{10},
              uint32_t{1}, uint32_t{0});
}
uint32_t Periodic(Record*) {
  return 0;
}
uint32_t ConstructKeepingTheScreen(Record* r) {
  GetDC(nullptr);
  return Construct(r);
}
uint32_t HandleNothing(Record*, const abi::MessageRecord*) {
  return 1;
}
uint32_t SaveCrashing(Record*, void*) {
  volatile uintptr_t nowhere = 16;  // opaque to the optimiser: a real store to a bad address
  *reinterpret_cast<volatile uint32_t*>(nowhere) = 1;
  return 0;
}

struct Slot {
  uint16_t column;
  void* function;
};

template <typename F>
void* Fn(F f) {
  return reinterpret_cast<void*>(f);
}

// The sound class's slots; a flawed class replaces one of them.
constexpr int kSlots = 15;
void SoundSlots(Slot* slots) {
  const Slot sound[kSlots] = {
      {abi::slot::kConstruct, Fn(&Construct)},
      {abi::slot::kCopyConstruct, Fn(&CopyConstruct)},
      {abi::slot::kAssign, Fn(&Assign)},
      {abi::slot::kDestruct, Fn(&Destruct)},
      {abi::slot::kGetAttribute, Fn(&GetAttribute)},
      {abi::slot::kToEditor, Fn(&ToEditor)},
      {abi::slot::kFromEditor, Fn(&FromEditor)},
      {abi::slot::kStoredSize, Fn(&StoredSize)},
      {abi::slot::kSave, Fn(&Save)},
      {abi::slot::kLoad, Fn(&Load)},
      {abi::slot::kEnable, Fn(&Enable)},
      {abi::slot::kDisable, Fn(&Disable)},
      {abi::slot::kHandleMessage, Fn(&HandleMessage)},
      {abi::slot::kVisitMessageIds, Fn(&VisitMessageIds)},
      {0, nullptr},
  };
  std::memcpy(slots, sound, sizeof sound);
}

void Replace(Slot* slots, uint16_t column, void* function) {
  for (int i = 0; i < kSlots; ++i) {
    if (slots[i].function != nullptr && slots[i].column == column) slots[i].function = function;
  }
}

uint32_t Register(abi::PluginDescriptor* d, const char* name, const Slot* slots) {
  d->instanceSize = sizeof(Record);
  d->classFlags = abi::kClassFlagsPlain;
  std::memset(d->names, 0, 16);
  if (d->phase == 0) {
    std::memcpy(d->names, name, std::strlen(name));
    return 0;
  }
  std::memcpy(d->names, "_QComponent", 11);
  for (int i = 0; i < kSlots && slots[i].function != nullptr; ++i) {
    if (d->methodTables[0] == nullptr) d->methodTables[0] = d->allocator(d, slots[i].column);
    if (d->methodTables[0] == nullptr) continue;
    if (slots[i].column > d->highestColumn[0])
      d->highestColumn[0] = static_cast<int16_t>(slots[i].column);
    d->methodTables[0][slots[i].column] = abi::MethodEntry{slots[i].function, 1};
  }
  g_services = d->hostServices;
  return 0;
}

uint32_t Flawed(abi::PluginDescriptor* d, const char* name, uint16_t column, void* function) {
  Slot slots[kSlots];
  SoundSlots(slots);
  if (function != nullptr) Replace(slots, column, function);
  return Register(d, name, slots);
}

int g_fickleRegistrations = 0;

}  // namespace

EXPORT uint32_t Sound(abi::PluginDescriptor* d) {
  return Flawed(d, "Sound", 0, nullptr);
}
EXPORT uint32_t Leaky(abi::PluginDescriptor* d) {
  return Flawed(d, "Leaky", abi::slot::kDestruct, Fn(&DestructKeepingTheNote));
}
EXPORT uint32_t DoubleFree(abi::PluginDescriptor* d) {
  return Flawed(d, "DoubleFree", abi::slot::kDestruct, Fn(&DestructFreeingTwice));
}
EXPORT uint32_t Sticky(abi::PluginDescriptor* d) {
  return Flawed(d, "Sticky", abi::slot::kDisable, Fn(&DisableForgetting));
}
EXPORT uint32_t Lenient(abi::PluginDescriptor* d) {
  Slot slots[kSlots];
  SoundSlots(slots);
  Replace(slots, abi::slot::kLoad, Fn(&LoadAnyVersion));
  Replace(slots, abi::slot::kGetAttribute, Fn(&GetAnyAttribute));
  return Register(d, "Lenient", slots);
}
EXPORT uint32_t Oversize(abi::PluginDescriptor* d) {
  return Flawed(d, "Oversize", abi::slot::kStoredSize, Fn(&StoredSizeTooLarge));
}
EXPORT uint32_t ScreenKeeper(abi::PluginDescriptor* d) {
  return Flawed(d, "ScreenKeeper", abi::slot::kConstruct, Fn(&ConstructKeepingTheScreen));
}
EXPORT uint32_t Deaf(abi::PluginDescriptor* d) {
  return Flawed(d, "Deaf", abi::slot::kHandleMessage, Fn(&HandleNothing));
}
EXPORT uint32_t Crasher(abi::PluginDescriptor* d) {
  return Flawed(d, "Crasher", abi::slot::kSave, Fn(&SaveCrashing));
}
// Its message starts periodic calls that its Destruct leaves running.
EXPORT uint32_t Ticker(abi::PluginDescriptor* d) {
  const uint32_t result = Flawed(d, "Ticker", abi::slot::kHandleMessage, Fn(&HandleMessageTicking));
  if (d->phase == 0) return result;
  if (d->methodTables[1] == nullptr) d->methodTables[1] = d->allocator(d, abi::slot::kPeriodic);
  if (d->methodTables[1] != nullptr) {
    d->methodTables[1][abi::slot::kPeriodic] = abi::MethodEntry{Fn(&Periodic), 1};
  }
  return result;
}
// The loader's two registration runs (the dry one and the real one) see VisitMessageIds; any
// later run does not.
EXPORT uint32_t Fickle(abi::PluginDescriptor* d) {
  Slot slots[kSlots];
  SoundSlots(slots);
  if (d->phase != 0 && ++g_fickleRegistrations > 2)
    Replace(slots, abi::slot::kVisitMessageIds, nullptr);
  return Register(d, "Fickle", slots);
}
