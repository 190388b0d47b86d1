// The host's object tree, instances and their slot calls, messages and the clock.
#include "host/host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/call_limit.h"
#include "host/impl.h"
#include "host/pe/trap.h"
#include "win32/stand_in.h"

namespace refhost {

namespace {

std::map<const void*, Instance*>& LiveInstances() {
  static std::map<const void*, Instance*> instances;
  return instances;
}

std::string Lower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

// A 16-byte NUL-padded name field in its own allocation, as the plug-in reads it.
struct NameField {
  char* bytes;
  explicit NameField(std::string_view name) {
    bytes = static_cast<char*>(std::calloc(16, 1));
    std::memcpy(bytes, name.data(), std::min<size_t>(16, name.size()));
  }
  ~NameField() { std::free(bytes); }
  NameField(const NameField&) = delete;
  NameField& operator=(const NameField&) = delete;
};

}  // namespace

Instance* LiveInstance(const void* record) {
  auto it = LiveInstances().find(record);
  return it == LiveInstances().end() ? nullptr : it->second;
}
void RegisterLiveInstance(const void* record, Instance* instance) {
  LiveInstances()[record] = instance;
}
void ForgetLiveInstance(const void* record) {
  LiveInstances().erase(record);
}

std::string_view SlotName(uint16_t row, uint16_t column) {
  if (row == 1) {
    if (column == abi::slot::kPeriodic) return "Periodic";
    if (column == abi::slot::kPositionChanged) return "PositionChanged";
    return "";
  }
  if (row != 0) return "";
  switch (column) {
    case abi::slot::kConstruct:
      return "Construct";
    case abi::slot::kCopyConstruct:
      return "CopyConstruct";
    case abi::slot::kDestruct:
      return "Destruct";
    case abi::slot::kAttached:
      return "Attached";
    case abi::slot::kEnable:
      return "Enable";
    case abi::slot::kDisable:
      return "Disable";
    case abi::slot::kStoredSize:
      return "StoredSize";
    case abi::slot::kLoad:
      return "Load";
    case abi::slot::kSave:
      return "Save";
    case abi::slot::kGetAttribute:
      return "GetAttribute";
    case abi::slot::kSetAttribute:
      return "SetAttribute";
    case abi::slot::kHandleMessage:
      return "HandleMessage";
    case abi::slot::kToEditor:
      return "ToEditor";
    case abi::slot::kFromEditor:
      return "FromEditor";
    case abi::slot::kEditorItemChanged:
      return "EditorItemChanged";
    case abi::slot::kGetOwner:
      return "GetOwner";
    case abi::slot::kListen:
      return "Listen";
    case abi::slot::kAssign:
      return "Assign";
    case abi::slot::kValidateEditorItem:
      return "ValidateEditorItem";
    case abi::slot::kVisitMessageIds:
      return "VisitMessageIds";
    default:
      return "";
  }
}

bool ClassInfo::HasSlot(uint16_t row, uint16_t column) const {
  return Entry(row, column) != nullptr;
}

const abi::MethodEntry* ClassInfo::Entry(uint16_t row, uint16_t column) const {
  if (row > 1 || column >= 38 || rowTables[row] == nullptr) return nullptr;
  const abi::MethodEntry* e = &rowTables[row][column];
  return e->function == nullptr ? nullptr : e;
}

// ---------------------------------------------------------------------------------------------
// Host.

Host::Host(uint32_t seed) : impl_(std::make_unique<Impl>()), callLimitMs_(kDefaultCallLimitMs) {
  impl_->host = this;
  impl_->random.seed(seed);
  impl_->SetUpServices();
  // Like its random numbers, the reference host's clock repeats from run to run: whatever a
  // plug-in seeds with the time (a deal of tiles) comes out the same until told otherwise.
  stand_in::Machine().calendarSeconds = stand_in::kStandingClock;
}

void Host::Reseed(uint32_t seed) {
  impl_->random.seed(seed);
}

Host::~Host() {
  DestroyAll();
  for (const auto& dll : impl_->dlls) {
    pe::Image& image = dll->GetImage();
    RemovePluginCode(image.Base(), image.Base() + image.Size());
  }
  impl_->dlls.clear();
  impl_->streams.clear();
  impl_->editors.clear();
  DetachAllocator(impl_.get());
  for (abi::MethodEntry* table : impl_->ownedTables) std::free(table);
  // What the plug-ins never gave back is reported by Ownership(); free it here all the same.
  for (const Allocation& leak : ownership_.Leaks()) {
    if (leak.kind != AllocationKind::kList)
      std::free(reinterpret_cast<void*>(uintptr_t{leak.address}));
  }
  // Libraries stay loaded: a plug-in's globals may be shared with another host in the process,
  // and unloading under ASan loses symbolized reports.
}

const std::string& Host::StopReason() const {
  return impl_->stopReason;
}

void* Host::ServicesRecord() {
  return impl_->servicesRecord;
}

void* Host::ServiceObject(uint16_t service) {
  return service < abi::service::kCount ? impl_->servicesRecord[service] : nullptr;
}

const ClassInfo* Host::FindClass(std::string_view name) const {
  for (auto it = impl_->classes.rbegin(); it != impl_->classes.rend(); ++it) {
    if ((*it)->name == name) return it->get();
  }
  return nullptr;
}

std::vector<const ClassInfo*> Host::Classes() const {
  std::vector<const ClassInfo*> all;
  for (const auto& c : impl_->classes) all.push_back(c.get());
  return all;
}

const Instance* Host::Current() const {
  return impl_->callStack.empty() ? nullptr : impl_->callStack.back();
}

std::string Host::Impl::MadeBy() const {
  return callStack.empty() ? std::string("a call outside any callback") : callStack.back()->Label();
}

uint32_t Host::Impl::CurrentOwnerWord() const {
  return callStack.empty()
             ? kHandedOver
             : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(callStack.back()->Record()));
}

// ---- Object tree.

ObjectNode* Host::Impl::Node(uint32_t handle) {
  auto it = objects.find(handle);
  return it == objects.end() ? nullptr : it->second.get();
}
const ObjectNode* Host::Impl::Node(uint32_t handle) const {
  auto it = objects.find(handle);
  return it == objects.end() ? nullptr : it->second.get();
}

uint32_t Host::Impl::FindBySerial(uint32_t serial) const {
  if (serial == 0) return 0;
  for (const auto& [handle, node] : objects) {
    if (node->serial == serial) return handle;
  }
  return 0;
}

IdentityValue Host::Impl::IdentityOf(const ObjectNode& node) const {
  IdentityValue identity{};
  identity.tag = tag::kIdentity;
  identity.word = node.serial;
  // A hash of the path at the time, for a reader who wants to see the identity change.
  uint32_t hash = 2166136261u;
  for (char c : host->PathOf(node.handle)) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  identity.words[0] = hash;
  return identity;
}

void Host::Impl::LinkReference(ObjectNode& node, ReferenceValue* reference) {
  ReferenceValue* anchor = node.anchor.get();
  reference->previous = anchor;
  reference->next = anchor->next;
  if (anchor->next != nullptr) anchor->next->previous = reference;
  anchor->next = reference;
}

bool Host::Impl::Unchain(ReferenceValue* reference) {
  if (reference == nullptr) return false;
  for (auto& [handle, node] : objects) {
    ReferenceValue* previous = node->anchor.get();
    size_t guard = 0;
    for (ReferenceValue* r = previous->next; r != nullptr && ++guard < 1000000; r = r->next) {
      if (r == reference) {
        previous->next = r->next;
        if (r->next != nullptr) r->next->previous = previous;
        r->previous = nullptr;
        r->next = nullptr;
        return true;
      }
      previous = r;
    }
  }
  return false;
}

void Host::Impl::ClearChain(ObjectNode& node) {
  ReferenceValue* anchor = node.anchor.get();
  ReferenceValue* previous = anchor;
  ReferenceValue* current = anchor->next;
  size_t guard = 0;
  while (current != nullptr) {
    if (current->previous != previous || ++guard > 1000000) {
      char detail[128];
      std::snprintf(detail, sizeof detail, "the chain of object %#x is broken at reference %p",
                    node.handle, static_cast<void*>(current));
      host->ownership_.AddFault("broken reference chain", detail);
      break;
    }
    ReferenceValue* next = current->next;
    current->object = 0;
    current->previous = nullptr;
    current->next = nullptr;
    previous = current;
    current = next;
  }
  anchor->next = nullptr;
}

uint32_t Host::AddObject(uint32_t parent, std::string name, std::string className) {
  if (parent != 0 && impl_->Node(parent) == nullptr) return 0;
  auto node = std::make_unique<ObjectNode>();
  node->handle = impl_->nextHandle++;
  node->parent = parent;
  node->name = std::move(name);
  node->className = std::move(className);
  node->anchor = std::make_unique<ReferenceValue>();
  node->anchor->tag = tag::kReference;
  node->anchor->object = node->handle;
  node->serial = impl_->nextSerial++;
  uint32_t handle = node->handle;
  impl_->AddChild(parent, node->name, handle);
  impl_->objects[handle] = std::move(node);
  return handle;
}

uint32_t Host::Impl::Child(uint32_t parent, std::string_view name) const {
  auto family = children.find(parent);
  if (family == children.end()) return 0;
  auto it = family->second.find(name);
  return it == family->second.end() ? 0 : it->second;
}

std::vector<uint32_t> Host::Impl::ChildrenOf(uint32_t parent) const {
  std::vector<uint32_t> found;
  auto family = children.find(parent);
  if (family == children.end()) return found;
  for (const auto& [name, handle] : family->second) found.push_back(handle);
  std::sort(found.begin(), found.end());
  return found;
}

void Host::Impl::AddChild(uint32_t parent, const std::string& name, uint32_t handle) {
  children[parent].emplace(name, handle);
}

void Host::Impl::RemoveChild(uint32_t parent, const std::string& name, uint32_t handle) {
  auto family = children.find(parent);
  if (family == children.end()) return;
  auto [from, to] = family->second.equal_range(name);
  for (auto it = from; it != to; ++it) {
    if (it->second == handle) {
      family->second.erase(it);
      break;
    }
  }
  if (family->second.empty()) children.erase(family);
}

bool Host::Exists(uint32_t handle) const {
  return impl_->Node(handle) != nullptr;
}

bool Host::RemoveObject(uint32_t handle) {
  if (impl_->Node(handle) == nullptr) return false;
  // Children before their parent, each family in the order it was added; without recursion,
  // as a tree may be deeper than the stack.
  std::vector<uint32_t> order;
  std::vector<std::pair<uint32_t, std::vector<uint32_t>>> pending;
  pending.emplace_back(handle, impl_->ChildrenOf(handle));
  while (!pending.empty()) {
    auto& [top, children] = pending.back();
    if (children.empty()) {
      order.push_back(top);
      pending.pop_back();
      continue;
    }
    const uint32_t next = children.front();
    children.erase(children.begin());
    pending.emplace_back(next, impl_->ChildrenOf(next));
  }
  bool removed = false;
  for (uint32_t h : order) removed = impl_->RemoveOne(h);
  return removed;
}

bool Host::Impl::RemoveOne(uint32_t handle) {
  ObjectNode* node = Node(handle);
  if (node == nullptr) return false;
  std::vector<Instance*> attached = node->instances;
  for (Instance* instance : attached) host->Destroy(instance);
  node = Node(handle);
  if (node == nullptr) return false;
  ClearChain(*node);
  notifications.erase(std::remove_if(notifications.begin(), notifications.end(),
                                     [handle](const NotifyEntry& e) { return e.object == handle; }),
                      notifications.end());
  removed[handle] =
      RemovedObject{node->parent, node->name, node->className, node->attributes, node->serial};
  RemoveChild(node->parent, node->name, handle);
  objects.erase(handle);
  return true;
}

uint32_t Host::RestoreObject(uint32_t removedHandle) {
  auto it = impl_->removed.find(removedHandle);
  if (it == impl_->removed.end()) return 0;
  const RemovedObject& old = it->second;
  if (old.parent != 0 && !Exists(old.parent)) return 0;
  uint32_t handle = AddObject(old.parent, old.name, old.className);
  ObjectNode* node = impl_->Node(handle);
  node->attributes = old.attributes;
  node->serial = old.serial;
  impl_->removed.erase(it);
  return handle;
}

uint32_t Host::ReplaceObject(uint32_t handle) {
  ObjectNode* old = impl_->Node(handle);
  if (old == nullptr) return 0;
  uint32_t fresh = AddObject(old->parent, old->name, old->className);
  old = impl_->Node(handle);
  ObjectNode* node = impl_->Node(fresh);
  node->attributes = old->attributes;
  node->serial = old->serial;
  node->position = old->position;
  node->instances = old->instances;
  old->instances.clear();
  for (Instance* instance : node->instances) instance->owner_ = fresh;
  for (uint32_t child : impl_->ChildrenOf(handle)) {
    ObjectNode* moved = impl_->Node(child);
    impl_->RemoveChild(handle, moved->name, child);
    impl_->AddChild(fresh, moved->name, child);
    moved->parent = fresh;
  }
  for (NotifyEntry& e : impl_->notifications) {
    if (e.object == handle) e.object = fresh;
  }
  impl_->ClearChain(*old);
  impl_->RemoveChild(old->parent, old->name, handle);
  impl_->objects.erase(handle);
  // The new handle sorts after the old one; keep the replaced object findable by its serial
  // only once: nothing else to do.
  return fresh;
}

uint32_t Host::ParentOf(uint32_t handle) const {
  const ObjectNode* node = impl_->Node(handle);
  return node == nullptr ? 0 : node->parent;
}

std::string Host::NameOf(uint32_t handle) const {
  const ObjectNode* node = impl_->Node(handle);
  return node == nullptr ? std::string() : node->name;
}

std::string Host::PathOf(uint32_t handle, char separator) const {
  std::vector<const ObjectNode*> chain;
  for (const ObjectNode* node = impl_->Node(handle); node != nullptr;
       node = impl_->Node(node->parent)) {
    chain.push_back(node);
  }
  if (chain.empty()) return "";
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += separator;
    path += (*it)->name;
  }
  return path;
}

// A path names an object from the top: it starts with the separator, has no empty name and
// does not end with the separator. "/" alone names no object (the top is not one).
uint32_t Host::Resolve(std::string_view path, char separator) const {
  if (path.size() < 2 || path[0] != separator || path.back() == separator) return 0;
  uint32_t current = 0;
  size_t at = 1;
  while (at <= path.size()) {
    size_t end = path.find(separator, at);
    if (end == std::string_view::npos) end = path.size();
    std::string_view name = path.substr(at, end - at);
    if (name.empty()) return 0;
    current = impl_->Child(current, name);
    if (current == 0) return 0;
    at = end + 1;
  }
  return current;
}

void Host::SetObjectValue(uint32_t handle, std::string_view name, const Value& value,
                          const Value* index) {
  ObjectNode* node = impl_->Node(handle);
  if (node == nullptr) return;
  std::string key = Lower(name);
  for (Attribute& a : node->attributes) {
    if (a.name == key && a.indexed == (index != nullptr) &&
        (index == nullptr || a.index == *index)) {
      a.value = value;
      return;
    }
  }
  node->attributes.push_back(Attribute{key, index != nullptr, index ? *index : Value{}, value});
}

const Value* Host::ObjectValue(uint32_t handle, std::string_view name, const Value* index) const {
  const ObjectNode* node = impl_->Node(handle);
  if (node == nullptr) return nullptr;
  std::string key = Lower(name);
  const Value* plain = nullptr;
  for (const Attribute& a : node->attributes) {
    if (a.name != key) continue;
    if (!a.indexed) {
      plain = &a.value;
    } else if (index != nullptr && a.index == *index) {
      return &a.value;
    }
  }
  return plain;
}

IdentityValue Host::IdentityOf(uint32_t handle) const {
  const ObjectNode* node = impl_->Node(handle);
  return node == nullptr ? IdentityValue{} : impl_->IdentityOf(*node);
}

std::vector<const ReferenceValue*> Host::ChainOf(uint32_t handle) const {
  std::vector<const ReferenceValue*> chain;
  const ObjectNode* node = impl_->Node(handle);
  if (node == nullptr) return chain;
  for (const ReferenceValue* r = node->anchor->next; r != nullptr && chain.size() < 100000;
       r = r->next) {
    chain.push_back(r);
  }
  return chain;
}

TargetDesignationValue Host::MakeTarget(uint32_t handle) const {
  const ObjectNode* node = impl_->Node(handle);
  return TargetDesignationValue{hosttag::kTargetDesignation, handle, node ? node->serial : 0};
}

std::vector<Instance*> Host::InstancesOf(uint32_t handle) const {
  const ObjectNode* node = impl_->Node(handle);
  return node == nullptr ? std::vector<Instance*>{} : node->instances;
}

uint32_t Host::Impl::Atom(const std::string& name) {
  auto it = atoms.find(name);
  if (it != atoms.end()) return it->second;
  atomNames.push_back(name);
  uint32_t atom = static_cast<uint32_t>(atomNames.size());
  atoms[name] = atom;
  return atom;
}

std::vector<uint32_t> Host::Impl::PathEntries(uint32_t handle) {
  std::vector<uint32_t> entries;
  for (ObjectNode* node = Node(handle); node != nullptr; node = Node(node->parent)) {
    entries.push_back(Atom(node->name));
  }
  std::reverse(entries.begin(), entries.end());
  return entries;
}

uint32_t Host::Impl::ResolveEntries(const std::vector<uint32_t>& entries) const {
  uint32_t current = 0;
  for (uint32_t atom : entries) {
    if (atom == 0 || atom > atomNames.size()) return 0;
    current = Child(current, atomNames[atom - 1]);
    if (current == 0) return 0;
  }
  return current;
}

// ---- Instances.

std::string Instance::Label() const {
  return class_->name + "#" + std::to_string(serial_);
}

namespace {

struct CallScope {
  Host::Impl& impl;
  CallScope(Host::Impl& i, Instance* instance) : impl(i) { impl.callStack.push_back(instance); }
  ~CallScope() { impl.callStack.pop_back(); }
};

}  // namespace

// Calls slot (row, column) of an instance as the contract says: the entry's function with
// base + offsets[k] first, then the slot's own arguments.
template <typename... Args>
static uint16_t CallSlot(Host::Impl& impl, Instance& instance, uint16_t row, uint16_t column,
                         Args... args) {
  const abi::MethodEntry* entry = instance.Class().Entry(row, column);
  if (entry == nullptr) return kSlotNotRegistered;
  auto* header = reinterpret_cast<abi::HostObjectHeader*>(static_cast<uint8_t*>(instance.Record()) -
                                                          abi::kHeaderSize);
  int16_t k = static_cast<int16_t>(entry->flags & 0xFFFF);
  void* self = reinterpret_cast<void*>(header->baseValue + header->classRecord->offsets[k]);
  if (instance.TimedOut()) return kSlotTimedOut;
  using Fn = abi::Result (*)(void*, Args...);
  if (!impl.stopReason.empty()) return kSlotNotRegistered;
  CallScope scope(impl, &instance);
  uint16_t result = kSlotNotRegistered;
  std::string reason;
  auto body = [&] {
    if (!pe::RunGuarded(
            [&] {
              result = static_cast<uint16_t>(reinterpret_cast<Fn>(entry->function)(self, args...) &
                                             0xFFFF);
            },
            &reason)) {
      impl.stopReason = reason;
    }
  };
  auto call = [&] {
    // An abandoned call jumps past the DLL guard it ran under: put the chain back.
    const pe::GuardChain guards = pe::CurrentGuardChain();
    if (!WithinLimit(impl.host->CallLimit(), body)) {
      pe::RestoreGuardChain(guards);
      result = kSlotTimedOut;
      impl.TimedOut(instance, row, column);
    }
    return result;
  };
  Tracer& tracer = impl.host->GetTracer();
  if (!tracer.On()) return call();
  size_t at = tracer.BeginSlotCall(instance.Label(), std::string(SlotName(row, column)));
  call();
  tracer.EndCall(at, result);
  return result;
}

void Host::Impl::TimedOut(Instance& instance, uint16_t row, uint16_t column) {
  instance.timedOut_ = true;
  host->timedOut_.push_back(
      TimedOutCall{instance.Label(), std::string(SlotName(row, column)), host->CallLimit()});
}

std::string TimedOutCall::ToString() const {
  return instance + "." + slot + " did not return within " + LimitText(limitMs);
}

Instance* Host::NewInstance(const ClassInfo* info, uint32_t owner, uint32_t base) {
  Host& host = *this;
  Impl& impl = *impl_;
  if (info == nullptr || !info->usable) return nullptr;
  if (owner != 0 && !host.Exists(owner)) return nullptr;
  auto instance = std::unique_ptr<Instance>(new Instance());
  // Header and instance bytes in one allocation of exactly that size: an overrun shows.
  auto* block = static_cast<uint8_t*>(std::calloc(1, abi::kHeaderSize + info->instanceSize));
  instance->block_ = block;
  instance->record_ = block + abi::kHeaderSize;
  if (const std::vector<uint8_t>& fill = impl.freshInstanceBytes; !fill.empty()) {
    for (uint32_t i = 0; i < info->instanceSize; ++i) {
      static_cast<uint8_t*>(instance->record_)[i] = fill[i % fill.size()];
    }
  }
  abi::HostObjectHeader header{
      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance->record_)),
      const_cast<abi::ClassRecord*>(&info->record)};
  std::memcpy(block, &header, sizeof header);
  instance->host_ = &host;
  instance->class_ = info;
  instance->owner_ = owner;
  instance->base_ = base;
  instance->serial_ = impl.nextInstanceSerial++;
  Instance* raw = instance.get();
  impl.instances.push_back(std::move(instance));
  impl.byRecord[raw->record_] = raw;
  RegisterLiveInstance(raw->record_, raw);
  return raw;
}

void Host::Attach(Instance* instance) {
  Impl& impl = *impl_;
  if (instance->Owner() == 0) return;
  ObjectNode* node = impl.Node(instance->Owner());
  if (node != nullptr) node->instances.push_back(instance);
  CallSlot(impl, *instance, 0, abi::slot::kAttached);
}

Instance* Host::Create(std::string_view className, uint32_t ownerObject, uint32_t baseObject) {
  const ClassInfo* info = FindClass(className);
  Instance* instance = NewInstance(info, ownerObject, baseObject);
  if (instance == nullptr) return nullptr;
  uint32_t base = info->classFlags == abi::kClassFlagsBaseObject ? baseObject : 0;
  CallSlot(*impl_, *instance, 0, abi::slot::kConstruct, base);
  instance->constructed_ = true;
  Attach(instance);
  return instance;
}

Instance* Host::CopyConstruct(const Instance& source, uint32_t ownerObject, uint32_t baseObject) {
  const ClassInfo* info = &source.Class();
  Instance* instance = NewInstance(info, ownerObject, baseObject);
  if (instance == nullptr) return nullptr;
  uint32_t base = info->classFlags == abi::kClassFlagsBaseObject ? baseObject : 0;
  if (info->HasSlot(0, abi::slot::kCopyConstruct)) {
    CallSlot(*impl_, *instance, 0, abi::slot::kCopyConstruct, source.Record(), base);
  } else {
    // A class without CopyConstruct is constructed and then assigned, as the runtime would.
    CallSlot(*impl_, *instance, 0, abi::slot::kConstruct, base);
    CallSlot(*impl_, *instance, 0, abi::slot::kAssign, source.Record());
  }
  instance->constructed_ = true;
  Attach(instance);
  return instance;
}

void Host::Impl::DropRegistrations(Instance* instance) {
  listens.erase(std::remove_if(listens.begin(), listens.end(),
                               [instance](const ListenEntry& e) { return e.instance == instance; }),
                listens.end());
  periodic.erase(
      std::remove_if(periodic.begin(), periodic.end(),
                     [instance](const PeriodicEntry& e) { return e.instance == instance; }),
      periodic.end());
  notifications.erase(
      std::remove_if(notifications.begin(), notifications.end(),
                     [instance](const NotifyEntry& e) { return e.instance == instance; }),
      notifications.end());
}

// A reference inside the instance that is still chained would leave the chain pointing into
// freed memory: splice it out and say so.
void Host::Impl::ReleaseChainedIn(Instance* instance) {
  auto* begin = static_cast<uint8_t*>(instance->Record());
  auto* end = begin + instance->Class().instanceSize;
  for (auto& [handle, node] : objects) {
    ReferenceValue* previous = node->anchor.get();
    ReferenceValue* r = previous->next;
    size_t guard = 0;
    while (r != nullptr && ++guard < 1000000) {
      ReferenceValue* next = r->next;
      auto* at = reinterpret_cast<uint8_t*>(r);
      if (at >= begin && at < end) {
        char detail[160];
        std::snprintf(detail, sizeof detail,
                      "%s was destroyed with a reference to object %#x still chained (at byte %d)",
                      instance->Label().c_str(), handle, static_cast<int>(at - begin));
        host->ownership_.AddFault("chained reference left behind", detail);
        previous->next = next;
        if (next != nullptr) next->previous = previous;
      } else {
        previous = r;
      }
      r = next;
    }
  }
}

void Host::Destroy(Instance* instance) {
  if (instance == nullptr || impl_->byRecord.count(instance->record_) == 0) return;
  // An instance abandoned at the time limit is not called again, not even to end it: what it
  // holds stays allocated and is reported as leaked.
  if (instance->constructed_ && !instance->timedOut_)
    CallSlot(*impl_, *instance, 0, abi::slot::kDestruct);
  if (PeriodicRunning(instance)) destroyedRunning_.push_back(instance->Label());
  impl_->DropRegistrations(instance);
  impl_->ReleaseChainedIn(instance);
  if (ObjectNode* node = impl_->Node(instance->owner_)) {
    auto& list = node->instances;
    list.erase(std::remove(list.begin(), list.end(), instance), list.end());
  }
  impl_->byRecord.erase(instance->record_);
  ForgetLiveInstance(instance->record_);
  std::free(instance->block_);
  auto& all = impl_->instances;
  for (auto it = all.begin(); it != all.end(); ++it) {
    if (it->get() == instance) {
      all.erase(it);
      break;
    }
  }
}

void Host::DestroyAll() {
  while (!impl_->instances.empty()) Destroy(impl_->instances.back().get());
}

std::vector<Instance*> Host::Instances() const {
  std::vector<Instance*> all;
  for (const auto& i : impl_->instances) all.push_back(i.get());
  return all;
}

Instance* Host::FromRecord(const void* record) const {
  auto it = impl_->byRecord.find(record);
  return it == impl_->byRecord.end() ? nullptr : it->second;
}

// ---- Slot callers.

uint16_t Instance::Assign(const Instance& source) {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kAssign, source.Record());
}
uint16_t Instance::Enable() {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kEnable);
}
uint16_t Instance::Disable() {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kDisable);
}
uint16_t Instance::Attached() {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kAttached);
}

uint16_t Instance::GetAttribute(std::string_view name, const void* index, void* value) {
  NameField field(name);
  return CallSlot(host_->impl(), *this, 0, abi::slot::kGetAttribute,
                  static_cast<const char*>(field.bytes), index, value);
}

uint16_t Instance::SetAttribute(std::string_view name, const void* index, const void* value) {
  NameField field(name);
  return CallSlot(host_->impl(), *this, 0, abi::slot::kSetAttribute,
                  static_cast<const char*>(field.bytes), index, value);
}

uint16_t Instance::HandleMessage(void* record) {
  HandledMessage handled;
  handled.micros = host_->Now();
  handled.instance = Label();
  handled.owner = owner_;
  if (record != nullptr) {
    std::memcpy(&handled.id, static_cast<uint8_t*>(record) + offsetof(abi::MessageRecord, id), 4);
    std::memcpy(&handled.second,
                static_cast<uint8_t*>(record) + offsetof(abi::MessageRecord, second), 4);
  }
  const uint16_t result = CallSlot(host_->impl(), *this, 0, abi::slot::kHandleMessage, record);
  handled.result = result;
  // Only a call that reached the plug-in counts as handed over.
  if (result != kSlotNotRegistered) host_->handled_.push_back(std::move(handled));
  return result;
}

uint16_t Instance::HandleMessage(uint32_t object, uint32_t id, uint32_t second) {
  auto* record = static_cast<abi::MessageRecord*>(std::calloc(1, sizeof(abi::MessageRecord)));
  record->object = object;
  record->id = id;
  record->second = second;
  uint16_t result = HandleMessage(record);
  std::free(record);
  return result;
}

uint16_t Instance::ToEditor(HostEditor& editor, int16_t mode) {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kToEditor, editor.Object(), mode);
}
uint16_t Instance::FromEditor(HostEditor& editor) {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kFromEditor, editor.Object());
}
uint16_t Instance::EditorItemChanged(HostEditor& editor, int16_t item) {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kEditorItemChanged, editor.Object(),
                  uint32_t{0}, item);
}
uint16_t Instance::ValidateEditorItem(HostEditor& editor, int16_t item, uint8_t* ok,
                                      char* message) {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kValidateEditorItem, editor.Object(),
                  uint32_t{0}, item, ok, message);
}
uint16_t Instance::StoredSize(HostStream& stream, int16_t* version, uint32_t* size) {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kStoredSize, stream.Object(), uint32_t{0},
                  version, size);
}
uint16_t Instance::Save(HostStream& stream) {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kSave, stream.Object());
}
uint16_t Instance::Load(HostStream& stream, int16_t version) {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kLoad, stream.Object(), uint32_t{0}, version);
}
uint16_t Instance::VisitMessageIds(uint32_t a, uint32_t b) {
  return CallSlot(host_->impl(), *this, 0, abi::slot::kVisitMessageIds, a, b);
}
uint16_t Instance::Periodic() {
  return CallSlot(host_->impl(), *this, 1, abi::slot::kPeriodic);
}
uint16_t Instance::PositionChanged(int32_t position) {
  auto* at = static_cast<int32_t*>(std::malloc(sizeof(int32_t)));
  *at = position;
  uint16_t result = CallSlot(host_->impl(), *this, 1, abi::slot::kPositionChanged, at);
  std::free(at);
  return result;
}

// ---- Streams and editors.

HostStream& Host::NewStream() {
  impl_->streams.push_back(std::unique_ptr<HostStream>(new HostStream(this)));
  return *impl_->streams.back();
}

HostEditor& Host::NewEditor() {
  impl_->editors.push_back(std::unique_ptr<HostEditor>(new HostEditor(this)));
  return *impl_->editors.back();
}

// ---- Messages.

bool Host::Listening(const Instance* instance, uint32_t id, uint32_t second) const {
  for (const ListenEntry& e : impl_->listens) {
    if (e.instance == instance && e.id == id && e.second == second) return true;
  }
  return false;
}

MessageOutcome Host::Impl::Deliver(void* record, uint32_t destination, uint32_t id,
                                   uint32_t second) {
  MessageOutcome outcome;
  // A handler may listen, stop listening or destroy: deliver to a snapshot, checking each
  // registration is still there.
  std::vector<ListenEntry> snapshot = listens;
  for (const ListenEntry& e : snapshot) {
    if (e.id != id || e.second != second) continue;
    if (destination != 0 && e.instance->Owner() != destination) continue;
    if (!host->Listening(e.instance, id, second)) continue;
    ++outcome.delivered;
    if (e.instance->HandleMessage(record) == 0) ++outcome.handled;
  }
  return outcome;
}

MessageOutcome Host::SendMessage(uint32_t object, uint32_t id, uint32_t second) {
  auto* record = static_cast<abi::MessageRecord*>(std::calloc(1, sizeof(abi::MessageRecord)));
  record->object = object;
  record->id = id;
  record->second = second;
  MessageOutcome outcome = impl_->Deliver(record, 0, id, second);
  std::free(record);
  return outcome;
}

void Host::ClearLogs() {
  messages_.clear();
  visits_.clear();
  cursors_.clear();
  attributeWrites_.clear();
  handled_.clear();
}

// ---- Clock.

void Host::Advance(uint32_t milliseconds) {
  uint64_t target = now_ + uint64_t{milliseconds} * 1000;
  for (int calls = 0; calls < 1000000; ++calls) {
    PeriodicEntry* next = nullptr;
    for (PeriodicEntry& e : impl_->periodic) {
      if (e.nextDue <= target && (next == nullptr || e.nextDue < next->nextDue)) next = &e;
    }
    if (next == nullptr) break;
    now_ = next->nextDue;
    next->nextDue += next->intervalMicros;
    Instance* instance = next->instance;
    instance->Periodic();
  }
  now_ = target;
}

bool Host::PeriodicRunning(const Instance* instance) const {
  for (const PeriodicEntry& e : impl_->periodic) {
    if (e.instance == instance) return true;
  }
  return false;
}

std::vector<NotificationEntry> Host::Notifications() const {
  std::vector<NotificationEntry> all;
  for (const NotifyEntry& e : impl_->notifications) all.push_back({e.object, e.instance, e.kind});
  return all;
}

int32_t Host::PositionOf(uint32_t object) const {
  const ObjectNode* node = impl_->Node(object);
  return node == nullptr ? 0 : node->position;
}

void Host::SetFreshInstanceBytes(std::vector<uint8_t> pattern) {
  impl_->freshInstanceBytes = std::move(pattern);
}

int Host::SetPosition(uint32_t object, int32_t position) {
  ObjectNode* node = impl_->Node(object);
  if (node == nullptr) return 0;
  node->position = position;
  std::vector<NotifyEntry> snapshot = impl_->notifications;
  int called = 0;
  for (const NotifyEntry& e : snapshot) {
    if (e.object != object || e.kind != abi::kPositionNotification) continue;
    bool still = false;
    for (const NotifyEntry& now : impl_->notifications) {
      still |= now.object == e.object && now.instance == e.instance && now.kind == e.kind;
    }
    if (!still) continue;
    e.instance->PositionChanged(position);
    ++called;
  }
  return called;
}

// ---- Host calls that fail on purpose.

void Host::FailHostCall(std::string method, uint32_t nth) {
  injectMethod_ = nth == 0 ? std::string() : std::move(method);
  injectCountdown_ = nth;
  injectedHappened_ = false;
}

int Host::InterceptSlow(const char* method) {
  if (countingByMethod_) ++callsByMethod_[method];
  if (injectMethod_.empty() || injectMethod_ != method || --injectCountdown_ != 0) return 0;
  injectMethod_.clear();
  injectedHappened_ = true;
  static constexpr std::string_view kGivesBack[] = {
      "StringService.FreeString",     "MemoryService.FreeMemory",
      "ListService.DisposeList",      "ObjectService.ReleaseValue",
      "PeriodicService.StopPeriodic", "ObjectService.RemoveNotification"};
  for (std::string_view name : kGivesBack) {
    if (name == method) return 2;
  }
  return 1;
}

// ---- Tracked allocations.

bool Host::RefuseAllocation() {
  ++allocationRequests_;
  if (allocationsToRefuse_ == 0) return false;
  if (allocationsToGrant_ > 0) {
    --allocationsToGrant_;
    return false;
  }
  if (allocationsToRefuse_ != UINT32_MAX) --allocationsToRefuse_;
  ++refusedAllocations_;
  return true;
}

char* Host::AllocTrackedString(uint32_t size) {
  if (size == 0 || size > (64u << 20)) return nullptr;
  if (RefuseAllocation()) return nullptr;
  auto* buffer = static_cast<char*>(std::malloc(size));
  if (buffer == nullptr) return nullptr;
  buffer[0] = '\0';
  ownership_.Record(AllocationKind::kString,
                    static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer)), size,
                    impl_->MadeBy());
  return buffer;
}

void* Host::AllocTrackedMemory(uint32_t size) {
  if (size > (256u << 20)) return nullptr;
  if (RefuseAllocation()) return nullptr;
  void* block = std::malloc(size);
  if (block == nullptr) return nullptr;
  ownership_.Record(AllocationKind::kMemory,
                    static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block)), size,
                    impl_->MadeBy());
  return block;
}

}  // namespace refhost
