// The host services: every method of the HostServices record, the instance methods the host
// implements (GetOwner, Listen) and the method tables of streams and editors. Each method
// checks its arguments and answers a nonzero status instead of trusting them.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/call_limit.h"
#include "host/impl.h"
#include "host/pe/trap.h"
#include "host/trace_hook.h"

namespace refhost {

namespace {

using Impl = Host::Impl;

uint32_t Address(const void* p) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

void PutWord(void* out, uint32_t word) {
  std::memcpy(out, &word, 4);
}

std::string NameOf16(const char* name16) {
  return std::string(name16, strnlen(name16, 16));
}

bool SameNameFolded(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Room left in a tracked string buffer starting at `p`, or SIZE_MAX when the host cannot tell.
size_t TrackedRoom(const Host& host, const void* p) {
  const Allocation* a = host.Ownership().Find(Address(p));
  return a != nullptr && a->kind == AllocationKind::kString ? a->size : SIZE_MAX;
}

constexpr uint32_t kRecordMagic = 0x314D4852;  // "RHM1": a record this host composed

}  // namespace

struct ServiceCalls {
  static Host& H(Impl* impl) { return *impl->host; }

  static void Overrun(Impl* impl, const char* method, size_t need, size_t room) {
    H(impl).ownership_.AddFault("buffer overrun", std::string(method) + " by " + impl->MadeBy() +
                                                      " needs " + std::to_string(need) +
                                                      " bytes in a string of " +
                                                      std::to_string(room));
  }

  // ---- SystemService (1).
  static uint16_t RandomInteger(Impl* impl, int32_t low, int32_t high, void* out) {
    if (out == nullptr || low > high) return 1;
    uint64_t span = static_cast<uint64_t>(int64_t{high} - int64_t{low}) + 1;
    uint64_t draw = (uint64_t{impl->random()} << 32) | impl->random();
    int32_t value = static_cast<int32_t>(int64_t{low} + static_cast<int64_t>(draw % span));
    std::memcpy(out, &value, 4);
    return 0;
  }
  static uint16_t SetCursor(Impl* impl, void* instance, int32_t cursor) {
    H(impl).cursors_.push_back(CursorEntry{LiveInstance(instance), cursor});
    return 0;
  }
  static uint16_t VisitMessageId(Impl* impl, uint32_t /*zero*/, uint32_t a, uint32_t b,
                                 const void* id) {
    if (id == nullptr) return 1;
    MessageIdValue v;
    std::memcpy(&v, id, sizeof v);
    H(impl).visits_.push_back(VisitEntry{a, b, v.id, v.second, v.tag});
    return 0;
  }
  // Absolute paths stay as they are; a relative one is joined to the file folder when one is
  // set. Backslashes become slashes. A result over 255 characters is refused with "" out.
  static uint16_t ResolveFilePath(Impl* impl, void* /*instance*/, const char* path, char* out) {
    if (out == nullptr) return 1;
    if (path == nullptr) {
      out[0] = '\0';
      return 1;
    }
    std::string p(path, strnlen(path, 4096));
    std::replace(p.begin(), p.end(), '\\', '/');
    const std::string& folder = H(impl).fileFolder_;
    if (!p.empty() && p[0] != '/' && !folder.empty()) {
      p = folder + (folder.back() == '/' ? "" : "/") + p;
    }
    if (p.empty() || p.size() > 255) {
      out[0] = '\0';
      return 1;
    }
    std::memcpy(out, p.c_str(), p.size() + 1);
    return 0;
  }

  // ---- MemoryService (2).
  static uint16_t AllocMemory(Impl* impl, uint32_t size, void* out) {
    if (out == nullptr) return 1;
    void* block = H(impl).AllocTrackedMemory(size);
    std::memcpy(out, &block, 4);
    return block == nullptr ? 1 : 0;
  }
  static uint16_t FreeMemory(Impl* impl, void* block) {
    if (block == nullptr) return 0;
    if (!H(impl).ownership_.Release(AllocationKind::kMemory, Address(block), impl->MadeBy()))
      return 1;
    std::free(block);
    return 0;
  }
  static uint16_t RegisterReference(Impl* impl, void* reference) {
    if (reference == nullptr) return 1;
    ReferenceValue r;
    std::memcpy(&r, reference, sizeof r);
    ObjectNode* node = impl->Node(r.object);
    if (r.tag != tag::kReference || node == nullptr) return 1;
    auto* ref = static_cast<ReferenceValue*>(reference);
    bool chained = false;
    for (ReferenceValue* c = node->anchor->next; c != nullptr; c = c->next) chained |= c == ref;
    if (!chained) {
      impl->Unchain(ref);  // from the chain of an object it no longer holds
      impl->LinkReference(*node, ref);
    }
    if (r.identity != nullptr) {
      IdentityValue identity = impl->IdentityOf(*node);
      std::memcpy(r.identity, &identity, sizeof identity);
    }
    return 0;
  }

  // ---- ObjectService (4).
  static uint16_t GetObjectAttribute(Impl* impl, uint32_t object, const char* name16,
                                     const void* index, void* value) {
    ObjectNode* node = impl->Node(object);
    if (node == nullptr || name16 == nullptr || value == nullptr) return 1;
    std::string name = NameOf16(name16);
    uint32_t owner = impl->CurrentOwnerWord();
    Value indexValue;
    const Value* wanted =
        index != nullptr && Value::FromRecord(index, &indexValue) ? &indexValue : nullptr;
    if (const Value* own = H(impl).ObjectValue(object, name, wanted)) {
      return H(impl).StoreInto(*own, value, owner);
    }
    if (SameNameFolded(name, "parent")) {
      if (node->parent == 0) return 1;  // a top-level object has no parent
      return H(impl).StoreInto(Value::Reference(node->parent), value, owner);
    }
    if (SameNameFolded(name, "name"))
      return H(impl).StoreInto(Value::Text(node->name), value, owner);
    if (SameNameFolded(name, "classname")) {
      return H(impl).StoreInto(Value::Text(node->className), value, owner);
    }
    std::vector<Instance*> attached = node->instances;
    for (Instance* instance : attached) {
      if (std::find(impl->callStack.begin(), impl->callStack.end(), instance) !=
          impl->callStack.end()) {
        continue;  // no instance is asked about its own owner while it is asking
      }
      if (instance->GetAttribute(name, index, value) == 0) return 0;
    }
    return 1;
  }
  // Every write is kept with the clock's time, so what the plug-ins did to an object's
  // attributes can be read back as a series.
  static uint16_t SetObjectAttribute(Impl* impl, uint32_t object, const char* name16,
                                     const void* index, const void* value) {
    const uint16_t status = WriteObjectAttribute(impl, object, name16, index, value);
    if (name16 != nullptr && value != nullptr) {
      AttributeWrite write;
      write.micros = H(impl).Now();
      write.object = object;
      write.name = NameOf16(name16);
      for (char& c : write.name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      Value::FromRecord(value, &write.value);
      write.status = status;
      write.writer = impl->callStack.empty() ? "" : impl->callStack.back()->Label();
      H(impl).attributeWrites_.push_back(std::move(write));
    }
    return status;
  }
  static uint16_t WriteObjectAttribute(Impl* impl, uint32_t object, const char* name16,
                                       const void* index, const void* value) {
    ObjectNode* node = impl->Node(object);
    if (node == nullptr || name16 == nullptr || value == nullptr) return 1;
    std::string name = NameOf16(name16);
    Value indexValue;
    const Value* wanted =
        index != nullptr && Value::FromRecord(index, &indexValue) ? &indexValue : nullptr;
    if (const Value* own = H(impl).ObjectValue(object, name, wanted)) {
      Value written;
      if (!Value::FromRecord(value, &written)) return 1;
      // An attribute keeps its type: a number written as another kind is converted.
      if (uint32_t size = FixedSizeOf(own->tag); size != 0 && written.tag != own->tag) {
        uint8_t buffer[64] = {};
        std::memcpy(buffer, &own->tag, 2);
        if (H(impl).StoreInto(written, buffer, kHandedOver) != 0) return 1;
        written = Value::Raw(buffer, size);
      }
      *const_cast<Value*>(own) = written;  // the very value that answered the request
      return 0;
    }
    if (SameNameFolded(name, "parent") || SameNameFolded(name, "name") ||
        SameNameFolded(name, "classname")) {
      return 1;
    }
    std::vector<Instance*> attached = node->instances;
    for (Instance* instance : attached) {
      if (std::find(impl->callStack.begin(), impl->callStack.end(), instance) !=
          impl->callStack.end()) {
        continue;
      }
      if (instance->SetAttribute(name, index, value) == 0) return 0;
    }
    return 1;
  }
  static uint16_t AddNotification(Impl* impl, uint32_t object, const void* request, uint32_t) {
    if (impl->Node(object) == nullptr || request == nullptr) return 1;
    abi::NotifyRequest r;
    std::memcpy(&r, request, sizeof r);
    Instance* instance = LiveInstance(r.instance);
    if (instance == nullptr || &instance->GetHost() != impl->host) return 1;
    uint32_t kind = static_cast<uint16_t>(r.kind);
    for (const NotifyEntry& e : impl->notifications) {
      if (e.object == object && e.instance == instance && e.kind == kind) return 0;
    }
    impl->notifications.push_back(NotifyEntry{object, instance, kind});
    return 0;
  }
  static uint16_t RemoveNotification(Impl* impl, uint32_t object, uint32_t kind) {
    Instance* caller = impl->callStack.empty() ? nullptr : impl->callStack.back();
    size_t before = impl->notifications.size();
    auto& all = impl->notifications;
    all.erase(std::remove_if(all.begin(), all.end(),
                             [&](const NotifyEntry& e) {
                               return e.object == object && e.kind == (kind & 0xFFFF) &&
                                      (caller == nullptr || e.instance == caller);
                             }),
              all.end());
    return all.size() < before ? 0 : 1;
  }
  static uint16_t ComposeMessage(Impl* impl, void* instance, const void* destination,
                                 const void* id, const void* data, uint32_t flags, void* record) {
    if (record == nullptr || id == nullptr) return 1;
    MessageIdValue idValue;
    std::memcpy(&idValue, id, sizeof idValue);
    if (idValue.tag != tag::kMessageId) return 1;
    Instance* sender = LiveInstance(instance);
    MessageLogEntry entry;
    if (destination != nullptr) Value::FromRecord(destination, &entry.destinationValue);
    entry.destination = impl->ResolveDesignation(destination, sender);
    entry.id = idValue.id;
    entry.second = idValue.second;
    if (data != nullptr) Value::FromRecord(data, &entry.data);
    entry.flags = flags;
    entry.object = sender != nullptr ? sender->Owner() : 0;
    entry.sender = sender;
    auto& log = H(impl).messages_;
    log.push_back(entry);

    abi::MessageRecord m{};
    m.destination = entry.destination;
    m.sender = Address(instance);
    m.object = entry.object;
    m.id = entry.id;
    m.second = entry.second;
    m.data = Address(data);
    m.flags = flags;
    uint32_t index = static_cast<uint32_t>(log.size() - 1);
    std::memcpy(m.hostBytes, &kRecordMagic, 4);
    std::memcpy(m.hostBytes + 4, &index, 4);
    std::memcpy(record, &m, sizeof m);
    return 0;
  }
  static uint16_t DeliverMessage(Impl* impl, void* record) {
    if (record == nullptr) return 1;
    auto* copy = static_cast<abi::MessageRecord*>(std::calloc(1, sizeof(abi::MessageRecord)));
    std::memcpy(copy, record, sizeof *copy);
    uint32_t magic, index;
    std::memcpy(&magic, copy->hostBytes, 4);
    std::memcpy(&index, copy->hostBytes + 4, 4);
    auto& log = H(impl).messages_;
    uint16_t status = 0;
    if (magic != kRecordMagic || index >= log.size() || log[index].id != copy->id) {
      status = 1;  // not a record this host composed
    } else if (impl->messageDepth >= 16) {
      H(impl).ownership_.AddFault("message loop",
                                  "messages delivered 16 deep, the last by " + impl->MadeBy());
      status = 2;
    } else {
      log[index].delivered = true;
      ++impl->messageDepth;
      impl->Deliver(copy, copy->destination, copy->id, copy->second);
      --impl->messageDepth;
    }
    std::free(copy);
    return status;
  }
  // A deep copy with the source's own tag: texts and blocks in new buffers handed over (-1).
  static uint16_t CopyValue(Impl* impl, void* destination, const void* source) {
    if (destination == nullptr || source == nullptr) return 1;
    Value v;
    if (!Value::FromRecord(source, &v)) return 1;
    // Overwriting a reference that is still chained would cut the chain behind it.
    impl->Unchain(static_cast<ReferenceValue*>(destination));
    if (IsText(v.tag)) {
      TextValue t{v.tag, kHandedOver, 0, 0, nullptr};
      if (!v.text.empty()) {
        char* buffer = H(impl).AllocTrackedString(static_cast<uint32_t>(v.text.size()) + 1);
        if (buffer == nullptr) return 1;
        std::memcpy(buffer, v.text.c_str(), v.text.size() + 1);
        t.capacity = static_cast<uint32_t>(v.text.size()) + 1;
        t.length = static_cast<uint32_t>(v.text.size());
        t.chars = buffer;
      }
      std::memcpy(destination, &t, sizeof t);
      return 0;
    }
    if (v.tag == tag::kByteBlock) {
      BlockValue b{v.tag, kHandedOver, 0, 0, nullptr};
      if (!v.bytes.empty()) {
        b.bytes = static_cast<uint8_t*>(
            H(impl).AllocTrackedMemory(static_cast<uint32_t>(v.bytes.size())));
        if (b.bytes == nullptr) return 1;
        std::memcpy(b.bytes, v.bytes.data(), v.bytes.size());
        b.capacity = b.length = static_cast<uint32_t>(v.bytes.size());
      }
      std::memcpy(destination, &b, sizeof b);
      return 0;
    }
    if (v.tag == tag::kObjectPath) {
      ObjectPathValue p{v.tag, static_cast<uint16_t>(v.entries.size()), nullptr};
      if (!v.entries.empty()) {
        p.entries = static_cast<uint32_t*>(
            H(impl).AllocTrackedMemory(4 * static_cast<uint32_t>(v.entries.size())));
        if (p.entries == nullptr) return 1;
        std::memcpy(p.entries, v.entries.data(), 4 * v.entries.size());
      }
      std::memcpy(destination, &p, sizeof p);
      return 0;
    }
    if (v.tag == tag::kReference) {
      ReferenceValue r{tag::kReference, nullptr, nullptr, v.object, nullptr};
      std::memcpy(destination, &r, sizeof r);
      return 0;
    }
    std::memcpy(destination, v.raw.data(), v.raw.size());
    return 0;
  }
  static uint16_t ReleaseValue(Impl* impl, void* value) {
    if (value == nullptr) return 1;
    uint16_t t;
    std::memcpy(&t, value, 2);
    uint16_t status = 0;
    if (IsText(t) || t == tag::kByteBlock) {
      TextValue v;  // same layout for blocks
      std::memcpy(&v, value, sizeof v);
      if (v.chars != nullptr && v.capacity != 0) {
        AllocationKind kind = IsText(t) ? AllocationKind::kString : AllocationKind::kMemory;
        if (H(impl).ownership_.Release(kind, Address(v.chars), impl->MadeBy())) {
          std::free(v.chars);
        } else {
          status = 1;
        }
      }
    } else if (t == tag::kObjectPath) {
      ObjectPathValue p;
      std::memcpy(&p, value, sizeof p);
      if (p.entries != nullptr) {
        if (H(impl).ownership_.Release(AllocationKind::kMemory, Address(p.entries),
                                       impl->MadeBy())) {
          std::free(p.entries);
        } else {
          status = 1;
        }
      }
    } else if (t == tag::kReference) {
      impl->Unchain(static_cast<ReferenceValue*>(value));
    }
    // What was released is gone: the value reads as empty from now on.
    std::memset(value, 0,
                IsText(t) || t == tag::kByteBlock || t == tag::kReference ? 18
                : t == tag::kObjectPath                                   ? 8
                                                                          : 2);
    return status;
  }
  // The designated object as the asking instance reaches it: through one of its components,
  // never the asker itself, the first that takes attribute writes if any does.
  static uint16_t ResolveTarget(Impl* impl, const void* target, void* instance, void* out) {
    if (out == nullptr) return 1;
    const Instance* asking = LiveInstance(instance);
    uint32_t object = impl->ResolveDesignation(target, asking);
    ObjectNode* node = impl->Node(object);
    void* found = nullptr;
    if (node != nullptr) {
      for (const Instance* i : node->instances) {
        if (i == asking) continue;
        if (i->Class().HasSlot(0, abi::slot::kSetAttribute)) {
          found = i->Record();
          break;
        }
        if (found == nullptr) found = i->Record();
      }
    }
    std::memcpy(out, &found, 4);
    return found == nullptr ? 1 : 0;
  }

  // ---- PeriodicService (5).
  static uint16_t StartPeriodic(Impl* impl, void* instance, uint32_t, uint32_t ticks, uint32_t,
                                uint32_t) {
    Instance* i = LiveInstance(instance);
    if (i == nullptr || &i->GetHost() != impl->host ||
        !i->Class().HasSlot(1, abi::slot::kPeriodic)) {
      return 1;
    }
    // The interval counts ticks of 1/600 second.
    uint64_t interval = std::max<uint64_t>(1, ticks) * 1000000 / 600;
    for (PeriodicEntry& e : impl->periodic) {
      if (e.instance == i) {
        e.intervalMicros = interval;
        e.nextDue = H(impl).now_ + interval;
        return 0;
      }
    }
    impl->periodic.push_back(PeriodicEntry{i, interval, H(impl).now_ + interval});
    return 0;
  }
  static uint16_t StopPeriodic(Impl* impl, void* instance, uint32_t) {
    Instance* i = LiveInstance(instance);
    auto& all = impl->periodic;
    all.erase(std::remove_if(all.begin(), all.end(),
                             [i](const PeriodicEntry& e) { return e.instance == i; }),
              all.end());
    return i == nullptr ? 1 : 0;
  }

  // ---- ListService (12).
  static HostList* FindList(Impl* impl, uint32_t handle, const char* method) {
    if (handle != 0 && handle == impl->lastListHandle) return impl->lastList;
    return LookUpList(impl, handle, method);
  }
  static HostList* LookUpList(Impl* impl, uint32_t handle, const char* method) {
    auto it = impl->lists.find(handle);
    if (it != impl->lists.end()) {
      impl->lastListHandle = handle;
      impl->lastList = &it->second;
      return &it->second;
    }
    if (handle != 0) {
      char detail[160];
      std::snprintf(detail, sizeof detail, "%s on list %#x by %s, which is not a live list", method,
                    handle, impl->MadeBy().c_str());
      H(impl).ownership_.AddFault("bad list handle", detail);
    }
    return nullptr;
  }
  static uint16_t CreateList(Impl* impl, uint32_t itemSize, void* out) {
    if (out == nullptr) return 1;
    // A list is memory like any other: it runs out with the rest (Host::FailAllocations).
    if (itemSize == 0 || itemSize > 65536 || H(impl).RefuseAllocation()) {
      PutWord(out, 0);
      return 1;
    }
    uint32_t handle = impl->nextList++;
    impl->lists[handle] = HostList{itemSize, {}};
    H(impl).ownership_.Record(AllocationKind::kList, handle, itemSize, impl->MadeBy());
    PutWord(out, handle);
    return 0;
  }
  static uint16_t DisposeList(Impl* impl, uint32_t handle) {
    if (!H(impl).ownership_.Release(AllocationKind::kList, handle, impl->MadeBy())) return 1;
    if (handle == impl->lastListHandle) impl->lastListHandle = 0;
    impl->lists.erase(handle);
    return 0;
  }
  static uint16_t AppendListItem(Impl* impl, uint32_t handle, const void* item) {
    HostList* list = FindList(impl, handle, "AppendListItem");
    if (list == nullptr || item == nullptr) return 1;
    auto* bytes = static_cast<const uint8_t*>(item);
    list->items.insert(list->items.end(), bytes, bytes + list->itemSize);
    return 0;
  }
  static uint16_t InsertListItem(Impl* impl, uint32_t handle, uint32_t position, const void* item) {
    HostList* list = FindList(impl, handle, "InsertListItem");
    if (list == nullptr || item == nullptr || position < 1 || position > list->Count() + 1)
      return 1;
    auto* bytes = static_cast<const uint8_t*>(item);
    list->items.insert(list->items.begin() + size_t{position - 1} * list->itemSize, bytes,
                       bytes + list->itemSize);
    return 0;
  }
  static uint16_t DeleteListItem(Impl* impl, uint32_t handle, uint32_t position) {
    HostList* list = FindList(impl, handle, "DeleteListItem");
    if (list == nullptr || position < 1 || position > list->Count()) return 1;
    auto at = list->items.begin() + size_t{position - 1} * list->itemSize;
    list->items.erase(at, at + list->itemSize);
    return 0;
  }
  static uint16_t GetListItem(Impl* impl, uint32_t handle, uint32_t position, void* item) {
    HostList* list = FindList(impl, handle, "GetListItem");
    if (list == nullptr || item == nullptr || !list->Holds(position)) return 1;
    std::memcpy(item, list->items.data() + size_t{position - 1} * list->itemSize, list->itemSize);
    return 0;
  }
  static uint16_t SetListItem(Impl* impl, uint32_t handle, uint32_t position, const void* item) {
    HostList* list = FindList(impl, handle, "SetListItem");
    if (list == nullptr || item == nullptr || !list->Holds(position)) return 1;
    std::memcpy(list->items.data() + size_t{position - 1} * list->itemSize, item, list->itemSize);
    return 0;
  }
  static uint16_t ClearList(Impl* impl, uint32_t handle) {
    HostList* list = FindList(impl, handle, "ClearList");
    if (list == nullptr) return 1;
    list->items.clear();
    return 0;
  }
  static uint16_t ListCount(Impl* impl, uint32_t handle, void* out) {
    HostList* list = FindList(impl, handle, "ListCount");
    if (list == nullptr || out == nullptr) return 1;
    PutWord(out, list->Count());
    return 0;
  }

  // ---- StringService (13).
  static uint16_t CopyString(Impl* impl, char* destination, const char* source) {
    if (destination == nullptr || source == nullptr) return 1;
    size_t need = std::strlen(source) + 1;
    if (size_t room = TrackedRoom(H(impl), destination); need > room) {
      Overrun(impl, "CopyString", need, room);
      return 1;
    }
    std::memmove(destination, source, need);
    return 0;
  }
  static uint16_t CopyStringMax(Impl* impl, char* destination, const char* source, uint32_t max) {
    if (destination == nullptr || source == nullptr) return 1;
    size_t n = strnlen(source, max);
    if (size_t room = TrackedRoom(H(impl), destination); n + 1 > room) {
      Overrun(impl, "CopyStringMax", n + 1, room);
      return 1;
    }
    std::memmove(destination, source, n);
    destination[n] = '\0';
    return 0;
  }
  static uint16_t AppendString(Impl* impl, char* destination, const char* source) {
    if (destination == nullptr || source == nullptr) return 1;
    size_t have = std::strlen(destination);
    size_t need = have + std::strlen(source) + 1;
    if (size_t room = TrackedRoom(H(impl), destination); need > room) {
      Overrun(impl, "AppendString", need, room);
      return 1;
    }
    std::memmove(destination + have, source, need - have);
    return 0;
  }
  static uint16_t CompareStrings(Impl*, void* out, const char* a, const char* b) {
    if (out == nullptr || a == nullptr || b == nullptr) return 1;
    int c = std::strcmp(a, b);
    int32_t sign = c < 0 ? -1 : (c > 0 ? 1 : 0);
    std::memcpy(out, &sign, 4);
    return 0;
  }
  static uint16_t StringLength(Impl*, void* out, const char* text) {
    if (out == nullptr || text == nullptr) return 1;
    PutWord(out, static_cast<uint32_t>(std::strlen(text)));
    return 0;
  }
  static uint16_t AllocString(Impl* impl, void* out, uint32_t size) {
    if (out == nullptr) return 1;
    char* buffer = H(impl).AllocTrackedString(size);
    std::memcpy(out, &buffer, 4);
    return buffer == nullptr ? 1 : 0;
  }
  static uint16_t DuplicateString(Impl* impl, void* out, const char* text) {
    if (out == nullptr) return 1;
    char* buffer = nullptr;
    if (text != nullptr) {
      size_t n = std::strlen(text) + 1;
      buffer = H(impl).AllocTrackedString(static_cast<uint32_t>(n));
      if (buffer != nullptr) std::memcpy(buffer, text, n);
    }
    std::memcpy(out, &buffer, 4);
    return buffer == nullptr ? 1 : 0;
  }
  static uint16_t FreeString(Impl* impl, char* buffer) {
    if (buffer == nullptr) return 0;
    if (!H(impl).ownership_.Release(AllocationKind::kString, Address(buffer), impl->MadeBy()))
      return 1;
    std::free(buffer);
    return 0;
  }

  // ---- PathService (14).
  static uint16_t WriteObjectPath(Impl* impl, uint32_t object, int16_t separator, char* out) {
    char sep = static_cast<char>(separator & 0xFF);
    if (out == nullptr || sep == '\0' || impl->Node(object) == nullptr) return 1;
    std::string path = H(impl).PathOf(object, sep);
    if (size_t room = TrackedRoom(H(impl), out); path.size() + 1 > room) {
      Overrun(impl, "WriteObjectPath", path.size() + 1, room);
      return 1;
    }
    std::memcpy(out, path.c_str(), path.size() + 1);
    return 0;
  }
  static uint16_t ResolveObjectPath(Impl* impl, int16_t separator, const char* path, void* out) {
    char sep = static_cast<char>(separator & 0xFF);
    if (out == nullptr || path == nullptr || sep == '\0') return 1;
    PutWord(out, H(impl).Resolve(path, sep));
    return 0;
  }
  static uint16_t ObjectPathLength(Impl* impl, uint32_t object, void* out) {
    if (out == nullptr || impl->Node(object) == nullptr) return 1;
    PutWord(out, static_cast<uint32_t>(H(impl).PathOf(object).size()));
    return 0;
  }
  static uint16_t RebindReference(Impl* impl, void* reference, const void* identity) {
    if (reference == nullptr || identity == nullptr) return 1;
    IdentityValue id;
    std::memcpy(&id, identity, sizeof id);
    uint32_t object = impl->FindBySerial(id.word);
    if (object == 0) return 0;  // nothing to bind to: the reference keeps object 0
    auto* ref = static_cast<ReferenceValue*>(reference);
    impl->Unchain(ref);
    ReferenceValue r;
    std::memcpy(&r, ref, sizeof r);
    r.object = object;
    r.tag = tag::kReference;
    std::memcpy(ref, &r, sizeof r);
    impl->LinkReference(*impl->Node(object), ref);
    return 0;
  }

  // ---- ConvertService (15).
  static uint16_t ConvertValue(Impl* impl, void* instance, const void* source, void* destination) {
    if (source == nullptr || destination == nullptr) return 1;
    uint32_t owner = instance != nullptr ? Address(instance) : impl->CurrentOwnerWord();
    return H(impl).Convert(source, destination, owner);
  }
};

uint32_t Host::Impl::ResolveDesignation(const void* target, const Instance* from) const {
  (void)from;
  Value v;
  if (target == nullptr || !Value::FromRecord(target, &v)) return 0;
  switch (v.tag) {
    case tag::kReference:
      return Node(v.object) != nullptr ? v.object : 0;
    case tag::kObjectPath:
      return ResolveEntries(v.entries);
    case tag::kText:
    case tag::kTextSecond:
      return host->Resolve(v.text);
    case hosttag::kTargetDesignation: {
      TargetDesignationValue d;
      std::memcpy(&d, v.raw.data(), sizeof d);
      const ObjectNode* node = Node(d.object);
      if (node != nullptr && (d.serial == 0 || node->serial == d.serial)) return d.object;
      return FindBySerial(d.serial);
    }
    default:
      return 0;  // a choice or anything else names no particular object: every listener hears it
  }
}

// ---------------------------------------------------------------------------------------------
// The cdecl entry points the method tables hold.

#define SELF(x) static_cast<Impl*>(x)
extern "C" {
static abi::Result S1_RandomInteger(void* s, int32_t l, int32_t h, void* o) {
  REFHOST_TRACED(SELF(s)->host, "SystemService.RandomInteger", .Number(l).Number(h).Out(),
                 ServiceCalls::RandomInteger(SELF(s), l, h, o));
}
static abi::Result S1_SetCursor(void* s, void* i, int32_t c) {
  REFHOST_TRACED(SELF(s)->host, "SystemService.SetCursor", .Instance(i).Number(c),
                 ServiceCalls::SetCursor(SELF(s), i, c));
}
static abi::Result S1_VisitMessageId(void* s, uint32_t z, uint32_t a, uint32_t b, const void* id) {
  REFHOST_TRACED(SELF(s)->host, "SystemService.VisitMessageId",
                 .Number(z).Number(a).Number(b).Id(id),
                 ServiceCalls::VisitMessageId(SELF(s), z, a, b, id));
}
static abi::Result S1_ResolveFilePath(void* s, void* i, const char* p, char* o) {
  REFHOST_TRACED(SELF(s)->host, "SystemService.ResolveFilePath", .Instance(i).Text(p).Out(),
                 ServiceCalls::ResolveFilePath(SELF(s), i, p, o));
}
static abi::Result S2_AllocMemory(void* s, uint32_t n, void* o) {
  REFHOST_TRACED(SELF(s)->host, "MemoryService.AllocMemory", .Number(n).Out(),
                 ServiceCalls::AllocMemory(SELF(s), n, o));
}
static abi::Result S2_FreeMemory(void* s, void* b) {
  REFHOST_TRACED(SELF(s)->host, "MemoryService.FreeMemory", .Buffer(b),
                 ServiceCalls::FreeMemory(SELF(s), b));
}
static abi::Result S2_RegisterReference(void* s, void* r) {
  REFHOST_TRACED(SELF(s)->host, "MemoryService.RegisterReference", .Value(r),
                 ServiceCalls::RegisterReference(SELF(s), r));
}
static abi::Result S4_GetObjectAttribute(void* s, uint32_t o, const char* n, const void* i,
                                         void* v) {
  REFHOST_TRACED(SELF(s)->host, "ObjectService.GetObjectAttribute",
                 .Object(o).Name(n).Index(i).Out(v),
                 ServiceCalls::GetObjectAttribute(SELF(s), o, n, i, v));
}
static abi::Result S4_SetObjectAttribute(void* s, uint32_t o, const char* n, const void* i,
                                         const void* v) {
  REFHOST_TRACED(SELF(s)->host, "ObjectService.SetObjectAttribute",
                 .Object(o).Name(n).Index(i).Value(v),
                 ServiceCalls::SetObjectAttribute(SELF(s), o, n, i, v));
}
static abi::Result S4_AddNotification(void* s, uint32_t o, const void* r, uint32_t z) {
  REFHOST_TRACED(SELF(s)->host, "ObjectService.AddNotification",
                 .Object(o).Word("request").Number(z),
                 ServiceCalls::AddNotification(SELF(s), o, r, z));
}
static abi::Result S4_RemoveNotification(void* s, uint32_t o, uint32_t k) {
  REFHOST_TRACED(SELF(s)->host, "ObjectService.RemoveNotification", .Object(o).Number(k),
                 ServiceCalls::RemoveNotification(SELF(s), o, k));
}
static abi::Result S4_ComposeMessage(void* s, void* i, const void* d, const void* id,
                                     const void* data, uint32_t f, void* r) {
  REFHOST_TRACED(SELF(s)->host, "ObjectService.ComposeMessage",
                 .Instance(i).Value(d).Id(id).Value(data).Number(f).Out(),
                 ServiceCalls::ComposeMessage(SELF(s), i, d, id, data, f, r));
}
static abi::Result S4_DeliverMessage(void* s, void* r) {
  REFHOST_TRACED(SELF(s)->host, "ObjectService.DeliverMessage", .Message(r),
                 ServiceCalls::DeliverMessage(SELF(s), r));
}
static abi::Result S4_CopyValue(void* s, void* d, const void* src) {
  REFHOST_TRACED(SELF(s)->host, "ObjectService.CopyValue", .Out(d).Value(src),
                 ServiceCalls::CopyValue(SELF(s), d, src));
}
static abi::Result S4_ReleaseValue(void* s, void* v) {
  REFHOST_TRACED(SELF(s)->host, "ObjectService.ReleaseValue", .Value(v),
                 ServiceCalls::ReleaseValue(SELF(s), v));
}
static abi::Result S4_ResolveTarget(void* s, const void* t, void* i, void* o) {
  REFHOST_TRACED(SELF(s)->host, "ObjectService.ResolveTarget", .Value(t).Instance(i).Out(),
                 ServiceCalls::ResolveTarget(SELF(s), t, i, o));
}
static abi::Result S5_StartPeriodic(void* s, void* i, uint32_t a, uint32_t b, uint32_t c,
                                    uint32_t d) {
  REFHOST_TRACED(SELF(s)->host, "PeriodicService.StartPeriodic",
                 .Instance(i).Number(a).Number(b).Number(c).Number(d),
                 ServiceCalls::StartPeriodic(SELF(s), i, a, b, c, d));
}
static abi::Result S5_StopPeriodic(void* s, void* i, uint32_t a) {
  REFHOST_TRACED(SELF(s)->host, "PeriodicService.StopPeriodic", .Instance(i).Number(a),
                 ServiceCalls::StopPeriodic(SELF(s), i, a));
}
static abi::Result S12_CreateList(void* s, uint32_t n, void* o) {
  REFHOST_TRACED(SELF(s)->host, "ListService.CreateList", .Number(n).Out(),
                 ServiceCalls::CreateList(SELF(s), n, o));
}
static abi::Result S12_DisposeList(void* s, uint32_t h) {
  REFHOST_TRACED(SELF(s)->host, "ListService.DisposeList", .List(h),
                 ServiceCalls::DisposeList(SELF(s), h));
}
static abi::Result S12_AppendListItem(void* s, uint32_t h, const void* i) {
  REFHOST_TRACED(SELF(s)->host, "ListService.AppendListItem", .List(h).Word("item"),
                 ServiceCalls::AppendListItem(SELF(s), h, i));
}
static abi::Result S12_InsertListItem(void* s, uint32_t h, uint32_t p, const void* i) {
  REFHOST_TRACED(SELF(s)->host, "ListService.InsertListItem", .List(h).Number(p).Word("item"),
                 ServiceCalls::InsertListItem(SELF(s), h, p, i));
}
static abi::Result S12_DeleteListItem(void* s, uint32_t h, uint32_t p) {
  REFHOST_TRACED(SELF(s)->host, "ListService.DeleteListItem", .List(h).Number(p),
                 ServiceCalls::DeleteListItem(SELF(s), h, p));
}
static abi::Result S12_GetListItem(void* s, uint32_t h, uint32_t p, void* i) {
  REFHOST_TRACED(SELF(s)->host, "ListService.GetListItem", .List(h).Number(p).Out(),
                 ServiceCalls::GetListItem(SELF(s), h, p, i));
}
static abi::Result S12_SetListItem(void* s, uint32_t h, uint32_t p, const void* i) {
  REFHOST_TRACED(SELF(s)->host, "ListService.SetListItem", .List(h).Number(p).Word("item"),
                 ServiceCalls::SetListItem(SELF(s), h, p, i));
}
static abi::Result S12_ClearList(void* s, uint32_t h) {
  REFHOST_TRACED(SELF(s)->host, "ListService.ClearList", .List(h),
                 ServiceCalls::ClearList(SELF(s), h));
}
static abi::Result S12_ListCount(void* s, uint32_t h, void* o) {
  REFHOST_TRACED(SELF(s)->host, "ListService.ListCount", .List(h).Out(),
                 ServiceCalls::ListCount(SELF(s), h, o));
}
static abi::Result S13_CopyString(void* s, char* d, const char* src) {
  REFHOST_TRACED(SELF(s)->host, "StringService.CopyString", .Buffer(d).Text(src),
                 ServiceCalls::CopyString(SELF(s), d, src));
}
static abi::Result S13_CopyStringMax(void* s, char* d, const char* src, uint32_t m) {
  REFHOST_TRACED(SELF(s)->host, "StringService.CopyStringMax", .Buffer(d).TextMax(src, m).Number(m),
                 ServiceCalls::CopyStringMax(SELF(s), d, src, m));
}
static abi::Result S13_AppendString(void* s, char* d, const char* src) {
  REFHOST_TRACED(SELF(s)->host, "StringService.AppendString", .Buffer(d).Text(src),
                 ServiceCalls::AppendString(SELF(s), d, src));
}
static abi::Result S13_CompareStrings(void* s, void* o, const char* a, const char* b) {
  REFHOST_TRACED(SELF(s)->host, "StringService.CompareStrings", .Out().Text(a).Text(b),
                 ServiceCalls::CompareStrings(SELF(s), o, a, b));
}
static abi::Result S13_StringLength(void* s, void* o, const char* t) {
  REFHOST_TRACED(SELF(s)->host, "StringService.StringLength", .Out().Text(t),
                 ServiceCalls::StringLength(SELF(s), o, t));
}
static abi::Result S13_AllocString(void* s, void* o, uint32_t n) {
  REFHOST_TRACED(SELF(s)->host, "StringService.AllocString", .Out().Number(n),
                 ServiceCalls::AllocString(SELF(s), o, n));
}
static abi::Result S13_DuplicateString(void* s, void* o, const char* t) {
  REFHOST_TRACED(SELF(s)->host, "StringService.DuplicateString", .Out().Text(t),
                 ServiceCalls::DuplicateString(SELF(s), o, t));
}
static abi::Result S13_FreeString(void* s, char* b) {
  REFHOST_TRACED(SELF(s)->host, "StringService.FreeString", .Buffer(b),
                 ServiceCalls::FreeString(SELF(s), b));
}
static abi::Result S14_WriteObjectPath(void* s, uint32_t o, int16_t sep, char* out) {
  REFHOST_TRACED(SELF(s)->host, "PathService.WriteObjectPath",
                 .Object(o).Separator(sep).Buffer(out),
                 ServiceCalls::WriteObjectPath(SELF(s), o, sep, out));
}
static abi::Result S14_ResolveObjectPath(void* s, int16_t sep, const char* p, void* o) {
  REFHOST_TRACED(SELF(s)->host, "PathService.ResolveObjectPath", .Separator(sep).Text(p).Out(),
                 ServiceCalls::ResolveObjectPath(SELF(s), sep, p, o));
}
static abi::Result S14_ObjectPathLength(void* s, uint32_t o, void* out) {
  REFHOST_TRACED(SELF(s)->host, "PathService.ObjectPathLength", .Object(o).Out(),
                 ServiceCalls::ObjectPathLength(SELF(s), o, out));
}
static abi::Result S14_RebindReference(void* s, void* r, const void* id) {
  REFHOST_TRACED(SELF(s)->host, "PathService.RebindReference", .Value(r).Word("identity"),
                 ServiceCalls::RebindReference(SELF(s), r, id));
}
static abi::Result S15_ConvertValue(void* s, void* i, const void* src, void* d) {
  REFHOST_TRACED(SELF(s)->host, "ConvertService.ConvertValue", .Instance(i).Value(src).Out(d),
                 ServiceCalls::ConvertValue(SELF(s), i, src, d));
}

static abi::Result Stream_StoredSizeOf(void* s, const void* v, void* o) {
  REFHOST_TRACED(&static_cast<HostStream*>(s)->GetHost(), "Stream.StoredSizeOf", .Value(v).Out(),
                 static_cast<HostStream*>(s)->StoredSizeOf(v, o));
}
static abi::Result Stream_WriteValue(void* s, const void* v) {
  REFHOST_TRACED(&static_cast<HostStream*>(s)->GetHost(), "Stream.WriteValue", .Value(v),
                 static_cast<HostStream*>(s)->WriteValue(v));
}
static abi::Result Stream_ReadValue(void* s, void* v) {
  REFHOST_TRACED(&static_cast<HostStream*>(s)->GetHost(), "Stream.ReadValue", .Out(v),
                 static_cast<HostStream*>(s)->ReadValue(v));
}
static abi::Result Editor_PutItem(void* s, int16_t i, const void* v) {
  REFHOST_TRACED(&static_cast<HostEditor*>(s)->GetHost(), "Editor.PutItem", .Number(i).Value(v),
                 static_cast<HostEditor*>(s)->PutItem(i, v));
}
static abi::Result Editor_GetItem(void* s, int16_t i, void* v) {
  REFHOST_TRACED(&static_cast<HostEditor*>(s)->GetHost(), "Editor.GetItem", .Number(i).Out(v),
                 static_cast<HostEditor*>(s)->GetItem(i, v));
}
static abi::Result Editor_DisableItem(void* s, int16_t i, int16_t d) {
  REFHOST_TRACED(&static_cast<HostEditor*>(s)->GetHost(), "Editor.DisableItem",
                 .Number(i).Number(d), static_cast<HostEditor*>(s)->DisableItem(i, d));
}
static abi::Result Editor_GetItemInfo(void* s, int16_t i, int16_t one, void* info) {
  REFHOST_TRACED(&static_cast<HostEditor*>(s)->GetHost(), "Editor.GetItemInfo",
                 .Number(i).Number(one).Out(),
                 static_cast<HostEditor*>(s)->GetItemInfo(i, one, info));
}
}
#undef SELF

static abi::Result GetOwnerOf(void* self, void* out) {
  Instance* instance = LiveInstance(self);
  if (instance == nullptr || out == nullptr) return 1;
  PutWord(out, instance->Owner());
  return 0;
}

static abi::Result ListenFor(void* self, int16_t mode, const void* id) {
  Instance* instance = LiveInstance(self);
  if (instance == nullptr || id == nullptr) return 1;
  MessageIdValue v;
  std::memcpy(&v, id, sizeof v);
  Impl& impl = instance->GetHost().impl();
  auto same = [&](const ListenEntry& e) {
    return e.instance == instance && e.id == v.id && e.second == v.second;
  };
  if (mode == 1) {
    if (std::none_of(impl.listens.begin(), impl.listens.end(), same)) {
      impl.listens.push_back(ListenEntry{instance, v.id, v.second});
    }
    return 0;
  }
  if (mode == 2) {
    impl.listens.erase(std::remove_if(impl.listens.begin(), impl.listens.end(), same),
                       impl.listens.end());
    return 0;
  }
  return 1;
}

static Host* HostOf(void* self) {
  Instance* instance = LiveInstance(self);
  return instance != nullptr ? &instance->GetHost() : nullptr;
}

abi::Result RefhostGetOwner(void* self, void* out) {
  REFHOST_TRACED(HostOf(self), "Instance.GetOwner", .Out(), GetOwnerOf(self, out));
}

abi::Result RefhostListen(void* self, int16_t mode, const void* id) {
  REFHOST_TRACED(HostOf(self), "Instance.Listen", .Number(mode).Id(id), ListenFor(self, mode, id));
}

// Another instance's SetAttribute as a plug-in reaches it through that instance's header.
abi::Result RefhostOtherSetAttribute(void* self, const char* name, const void* index,
                                     const void* value) {
  Instance* instance = LiveInstance(self);
  if (instance == nullptr) return 1;
  const abi::MethodEntry* entry = instance->Class().Entry(0, abi::slot::kSetAttribute);
  if (entry == nullptr) return 1;
  using Fn = abi::Result (*)(void*, const char*, const void*, const void*);
  // Under the time limit and a DLL guard, as every slot call (host.cpp's CallSlot).
  auto call = [&]() -> abi::Result {
    Host::Impl& impl = instance->GetHost().impl();
    if (instance->TimedOut()) return kSlotTimedOut;
    abi::Result result = kSlotNotRegistered;
    std::string reason;
    auto body = [&] {
      if (!pe::RunGuarded(
              [&] { result = reinterpret_cast<Fn>(entry->function)(self, name, index, value); },
              &reason)) {
        impl.stopReason = reason;
      }
    };
    const pe::GuardChain guards = pe::CurrentGuardChain();
    if (!WithinLimit(impl.host->CallLimit(), body)) {
      pe::RestoreGuardChain(guards);
      result = kSlotTimedOut;
      impl.TimedOut(*instance, 0, abi::slot::kSetAttribute);
    }
    return result;
  };
  instance->GetHost().CountHostCall();
  Tracer& tracer = instance->GetHost().GetTracer();
  if (!tracer.On()) return call();
  TraceArgs arguments(instance->GetHost());
  arguments.Instance(self).Name(name).Index(index).Value(value);
  size_t at = tracer.BeginHostCall("Instance.SetAttribute", arguments.Text());
  tracer.EnterInstance(instance->Label());
  abi::Result result = call();
  tracer.LeaveInstance();
  tracer.EndCall(at, static_cast<uint16_t>(result & 0xFFFF));
  return result;
}

void Host::Impl::SetUpServices() {
  auto put = [this](uint16_t service, uint16_t column, auto function) {
    serviceTables[service][column] = abi::MethodEntry{reinterpret_cast<void*>(function), 1};
  };
  namespace m = abi::method;
  namespace s = abi::service;
  put(s::kSystem, m::kRandomInteger, &S1_RandomInteger);
  put(s::kSystem, m::kSetCursor, &S1_SetCursor);
  put(s::kSystem, m::kVisitMessageId, &S1_VisitMessageId);
  put(s::kSystem, m::kResolveFilePath, &S1_ResolveFilePath);
  put(s::kMemory, m::kAllocMemory, &S2_AllocMemory);
  put(s::kMemory, m::kFreeMemory, &S2_FreeMemory);
  put(s::kMemory, m::kRegisterReference, &S2_RegisterReference);
  put(s::kObject, m::kGetObjectAttribute, &S4_GetObjectAttribute);
  put(s::kObject, m::kSetObjectAttribute, &S4_SetObjectAttribute);
  put(s::kObject, m::kAddNotification, &S4_AddNotification);
  put(s::kObject, m::kRemoveNotification, &S4_RemoveNotification);
  put(s::kObject, m::kComposeMessage, &S4_ComposeMessage);
  put(s::kObject, m::kDeliverMessage, &S4_DeliverMessage);
  put(s::kObject, m::kCopyValue, &S4_CopyValue);
  put(s::kObject, m::kReleaseValue, &S4_ReleaseValue);
  put(s::kObject, m::kResolveTarget, &S4_ResolveTarget);
  put(s::kPeriodic, m::kStartPeriodic, &S5_StartPeriodic);
  put(s::kPeriodic, m::kStopPeriodic, &S5_StopPeriodic);
  put(s::kList, m::kCreateList, &S12_CreateList);
  put(s::kList, m::kDisposeList, &S12_DisposeList);
  put(s::kList, m::kAppendListItem, &S12_AppendListItem);
  put(s::kList, m::kInsertListItem, &S12_InsertListItem);
  put(s::kList, m::kDeleteListItem, &S12_DeleteListItem);
  put(s::kList, m::kGetListItem, &S12_GetListItem);
  put(s::kList, m::kSetListItem, &S12_SetListItem);
  put(s::kList, m::kClearList, &S12_ClearList);
  put(s::kList, m::kListCount, &S12_ListCount);
  put(s::kString, m::kCopyString, &S13_CopyString);
  put(s::kString, m::kCopyStringMax, &S13_CopyStringMax);
  put(s::kString, m::kAppendString, &S13_AppendString);
  put(s::kString, m::kCompareStrings, &S13_CompareStrings);
  put(s::kString, m::kStringLength, &S13_StringLength);
  put(s::kString, m::kAllocString, &S13_AllocString);
  put(s::kString, m::kDuplicateString, &S13_DuplicateString);
  put(s::kString, m::kFreeString, &S13_FreeString);
  put(s::kPath, m::kWriteObjectPath, &S14_WriteObjectPath);
  put(s::kPath, m::kResolveObjectPath, &S14_ResolveObjectPath);
  put(s::kPath, m::kObjectPathLength, &S14_ObjectPathLength);
  put(s::kPath, m::kRebindReference, &S14_RebindReference);
  put(s::kConvert, m::kConvertValue, &S15_ConvertValue);

  const uint16_t services[] = {s::kSystem, s::kMemory, s::kObject, s::kPeriodic,
                               s::kList,   s::kString, s::kPath,   s::kConvert};
  for (uint16_t service : services) {
    serviceRows[service][0] = emptyRow;
    serviceRows[service][1] = serviceTables[service];
    serviceRecords[service] = abi::ClassRecord{serviceRows[service], serviceOffsets};
    serviceBlocks[service].header.baseValue = Address(this);
    serviceBlocks[service].header.classRecord = &serviceRecords[service];
    servicesRecord[service] = serviceBlocks[service].body;
  }

  streamTable[m::kStoredSizeOf] =
      abi::MethodEntry{reinterpret_cast<void*>(&Stream_StoredSizeOf), 1};
  streamTable[m::kWriteValue] = abi::MethodEntry{reinterpret_cast<void*>(&Stream_WriteValue), 1};
  streamTable[m::kReadValue] = abi::MethodEntry{reinterpret_cast<void*>(&Stream_ReadValue), 1};
  streamRecord = abi::ClassRecord{streamRows, serviceOffsets};
  editorTable[m::kPutItem] = abi::MethodEntry{reinterpret_cast<void*>(&Editor_PutItem), 1};
  editorTable[m::kGetItem] = abi::MethodEntry{reinterpret_cast<void*>(&Editor_GetItem), 1};
  editorTable[m::kDisableItem] = abi::MethodEntry{reinterpret_cast<void*>(&Editor_DisableItem), 1};
  editorTable[m::kGetItemInfo] = abi::MethodEntry{reinterpret_cast<void*>(&Editor_GetItemInfo), 1};
  editorRecord = abi::ClassRecord{editorRows, serviceOffsets};
}

}  // namespace refhost
