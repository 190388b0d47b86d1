// A small, well-behaved component class for the host's own tests: it listens, counts, ticks,
// keeps a text buffer from the host and sends a message back to its owner, all through the
// method tables exactly as a real plug-in does. Deliberately written without the support layer.
#include <cstdint>
#include <cstring>

#include "support/abi.h"
#include "support/values.h"

#ifdef _WIN32
#define EXPORT extern "C" __declspec(dllexport)
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

#pragma pack(push, 1)
struct ProbeRecord {
  MessageIdValue id;  // 77 by default; 78 makes it send 77 to its owner
  uint32_t base;
  uint32_t owner;
  int32_t handled;
  int32_t ticks;
  int32_t lastPosition;
  IntegerValue value;
  char* note;  // 16 bytes from AllocString, freed by Destruct
};
#pragma pack(pop)
static_assert(sizeof(ProbeRecord) == 40);

void* g_services = nullptr;

// Calls method (row, column) of a host object: base + offsets[k] first.
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

void* Service(uint16_t number) {
  return static_cast<void**>(g_services)[number];
}

bool NameIs(const char* name16, const char* word) {
  char padded[16] = {};
  std::memcpy(padded, word, std::strlen(word));
  return std::memcmp(name16, padded, 16) == 0;
}

uint32_t Construct(ProbeRecord* p, uint32_t base) {
  p->id = MessageIdValue{tag::kMessageId, 77, 0};
  p->base = base;
  p->owner = p->handled = p->ticks = p->lastPosition = 0;
  p->value = IntegerValue{tag::kInteger, 0};
  p->note = nullptr;
  Call(Service(abi::service::kString), 1, abi::method::kAllocString,
       static_cast<void*>(reinterpret_cast<uint8_t*>(p) + offsetof(ProbeRecord, note)),
       uint32_t{16});
  return 0;
}
uint32_t CopyConstruct(ProbeRecord* p, const ProbeRecord* source, uint32_t base) {
  Construct(p, base);
  p->id = source->id;
  p->value = source->value;
  return 0;
}
uint32_t Assign(ProbeRecord* p, const ProbeRecord* source) {
  p->id = source->id;
  p->value = source->value;
  return 0;
}
uint32_t Destruct(ProbeRecord* p) {
  // Enabled, it ticks: the calls end with the instance.
  Call(Service(abi::service::kPeriodic), 1, abi::method::kStopPeriodic, static_cast<void*>(p),
       uint32_t{0});
  if (p->note != nullptr)
    Call(Service(abi::service::kString), 1, abi::method::kFreeString, p->note);
  p->note = nullptr;
  return 0;
}
uint32_t Attached(ProbeRecord* p) {
  return Call(p, 0, abi::slot::kGetOwner,
              static_cast<void*>(reinterpret_cast<uint8_t*>(p) + offsetof(ProbeRecord, owner)));
}
uint32_t Enable(ProbeRecord* p) {
  Call(p, 0, abi::slot::kListen, int16_t{1}, static_cast<const void*>(p));
  return Call(Service(abi::service::kPeriodic), 1, abi::method::kStartPeriodic,
              static_cast<void*>(p), uint32_t{0}, uint32_t{10}, uint32_t{1}, uint32_t{0});
}
uint32_t Disable(ProbeRecord* p) {
  Call(p, 0, abi::slot::kListen, int16_t{2}, static_cast<const void*>(p));
  return Call(Service(abi::service::kPeriodic), 1, abi::method::kStopPeriodic,
              static_cast<void*>(p), uint32_t{0});
}
uint32_t HandleMessage(ProbeRecord* p, const abi::MessageRecord* m) {
  if (m->id != p->id.id || m->second != p->id.second) return 1;
  ++p->handled;
  if (p->id.id == 78) {
    ReferenceValue destination{tag::kReference, nullptr, nullptr, p->owner, nullptr};
    MessageIdValue send{tag::kMessageId, 77, 0};
    IntegerValue data{tag::kInteger, p->handled};
    abi::MessageRecord record{};
    void* object = Service(abi::service::kObject);
    Call(object, 1, abi::method::kComposeMessage, static_cast<void*>(p),
         static_cast<const void*>(&destination), static_cast<const void*>(&send),
         static_cast<const void*>(&data), uint32_t{3}, static_cast<void*>(&record));
    return Call(object, 1, abi::method::kDeliverMessage, static_cast<void*>(&record));
  }
  return 0;
}
uint32_t GetAttribute(ProbeRecord* p, const char* name, const void*, void* out) {
  if (NameIs(name, "handled")) {
    IntegerValue v{tag::kInteger, p->handled};
    std::memcpy(out, &v, sizeof v);
    return 0;
  }
  if (NameIs(name, "value")) {
    std::memcpy(out, &p->value, sizeof p->value);
    return 0;
  }
  return 1;
}
uint32_t SetAttribute(ProbeRecord* p, const char* name, const void*, const void* in) {
  if (!NameIs(name, "value")) return 1;
  IntegerValue v{tag::kInteger, 0};
  uint32_t status = Call(Service(abi::service::kConvert), 1, abi::method::kConvertValue,
                         static_cast<void*>(p), in, static_cast<void*>(&v));
  if (status == 0) p->value = v;
  return status;
}
uint32_t Periodic(ProbeRecord* p) {
  ++p->ticks;
  return 0;
}
uint32_t PositionChanged(ProbeRecord* p, const int32_t* position) {
  p->lastPosition = *position;
  return 0;
}

void Slot(abi::PluginDescriptor* d, uint16_t row, uint16_t column, void* function) {
  if (d->methodTables[row] == nullptr) d->methodTables[row] = d->allocator(d, column);
  if (d->methodTables[row] == nullptr) return;
  if (column > d->highestColumn[row]) d->highestColumn[row] = static_cast<int16_t>(column);
  d->methodTables[row][column].function = function;
  d->methodTables[row][column].flags = 1;
}

template <typename F>
void* Fn(F f) {
  return reinterpret_cast<void*>(f);
}

}  // namespace

EXPORT uint32_t Probe(abi::PluginDescriptor* d) {
  d->instanceSize = sizeof(ProbeRecord);
  d->classFlags = abi::kClassFlagsBaseObject;
  if (d->phase == 0) {
    std::memset(d->names, 0, 16);
    std::memcpy(d->names, "Probe", 5);
    return 0;
  }
  std::memset(d->names, 0, 16);
  std::memcpy(d->names, "_QComponent", 11);
  Slot(d, 0, abi::slot::kConstruct, Fn(&Construct));
  Slot(d, 0, abi::slot::kAssign, Fn(&Assign));
  Slot(d, 0, abi::slot::kCopyConstruct, Fn(&CopyConstruct));
  Slot(d, 0, abi::slot::kDestruct, Fn(&Destruct));
  Slot(d, 0, abi::slot::kAttached, Fn(&Attached));
  Slot(d, 0, abi::slot::kEnable, Fn(&Enable));
  Slot(d, 0, abi::slot::kDisable, Fn(&Disable));
  Slot(d, 0, abi::slot::kHandleMessage, Fn(&HandleMessage));
  Slot(d, 0, abi::slot::kGetAttribute, Fn(&GetAttribute));
  Slot(d, 0, abi::slot::kSetAttribute, Fn(&SetAttribute));
  Slot(d, 1, abi::slot::kPeriodic, Fn(&Periodic));
  Slot(d, 1, abi::slot::kPositionChanged, Fn(&PositionChanged));
  g_services = d->hostServices;
  return 0;
}
