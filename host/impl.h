// The host's inner state, shared by its source files and by nobody else.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/pe/module.h"

namespace refhost {

// One attribute of an object, possibly under an index (a range symbol, say).
struct Attribute {
  std::string name;  // lower-cased
  bool indexed = false;
  Value index;
  Value value;
};

// An object of the tree. The anchor is the head of the chain of references to it: a real
// ReferenceValue in host memory, so a plug-in that splices out the first reference of the
// chain updates the anchor exactly as it would any other neighbour.
struct ObjectNode {
  uint32_t handle = 0;
  uint32_t parent = 0;
  std::string name;
  std::string className;
  std::vector<Attribute> attributes;  // in the order first set
  std::vector<Instance*> instances;
  std::unique_ptr<ReferenceValue> anchor;
  uint32_t serial = 0;  // identity: survives removal, restore and replacement
  int32_t position = 0;
};

// What a removed object leaves behind so RestoreObject can bring it back.
struct RemovedObject {
  uint32_t parent = 0;
  std::string name;
  std::string className;
  std::vector<Attribute> attributes;
  uint32_t serial = 0;
};

struct HostList {
  uint32_t itemSize = 0;
  std::vector<uint8_t> items;  // count * itemSize bytes
  uint32_t Count() const { return itemSize == 0 ? 0 : items.size() / itemSize; }
  // Whether an item is at `position` (from 1), without a division: items are read one by one.
  bool Holds(uint32_t position) const {
    return position >= 1 && uint64_t{position} * itemSize <= items.size();
  }
};

struct ListenEntry {
  Instance* instance;
  uint32_t id;
  uint32_t second;
};

struct PeriodicEntry {
  Instance* instance;
  uint64_t intervalMicros;
  uint64_t nextDue;
};

struct NotifyEntry {
  uint32_t object;
  Instance* instance;
  uint32_t kind;
};

// A host object block: header, then the object the plug-in sees (its bytes are unused).
struct ServiceBlock {
  abi::HostObjectHeader header;
  uint32_t body[2];
};

struct Host::Impl {
  Host* host = nullptr;
  std::mt19937 random;

  // Loading.
  std::vector<void*> libraries;
  std::vector<std::unique_ptr<pe::Module>> dlls;  // Windows DLLs, detached when the host goes
  std::string stopReason;                         // see Host::StopReason
  std::vector<std::unique_ptr<ClassInfo>> classes;
  std::vector<abi::MethodEntry*> ownedTables;  // every table the allocator gave out

  // Services.
  void* servicesRecord[abi::service::kCount] = {};
  ServiceBlock serviceBlocks[abi::service::kCount] = {};
  abi::MethodEntry serviceTables[abi::service::kCount][40] = {};
  abi::MethodEntry* serviceRows[abi::service::kCount][2] = {};
  abi::ClassRecord serviceRecords[abi::service::kCount] = {};
  int32_t serviceOffsets[2] = {0, 0};
  abi::MethodEntry emptyRow[40] = {};

  // Streams and editors share one class record each.
  abi::MethodEntry streamTable[40] = {};
  abi::MethodEntry* streamRows[2] = {emptyRow, streamTable};
  abi::ClassRecord streamRecord{};
  abi::MethodEntry editorTable[40] = {};
  abi::MethodEntry* editorRows[2] = {emptyRow, editorTable};
  abi::ClassRecord editorRecord{};
  std::vector<std::unique_ptr<HostStream>> streams;
  std::vector<std::unique_ptr<HostEditor>> editors;

  // Object tree.
  std::map<uint32_t, std::unique_ptr<ObjectNode>> objects;
  // Every object's handle under its parent (0: the top) and its name, so a path step and a
  // parent's children are one lookup: paths and trees of any depth cost time in proportion to
  // their length. Equal names keep the order they were added in.
  std::map<uint32_t, std::multimap<std::string, uint32_t, std::less<>>> children;
  std::map<uint32_t, RemovedObject> removed;
  uint32_t nextHandle = 0x1001;
  uint32_t nextSerial = 1;

  // Instances.
  std::vector<std::unique_ptr<Instance>> instances;
  std::map<const void*, Instance*> byRecord;
  uint64_t nextInstanceSerial = 1;
  std::vector<Instance*> callStack;
  std::vector<uint8_t> freshInstanceBytes;  // empty: new instances start zeroed

  // Lists.
  std::map<uint32_t, HostList> lists;
  uint32_t nextList = 0x4C000001;
  // The list found last: lists are asked for in long runs of the same handle, and a map's
  // elements stay where they are until erased.
  uint32_t lastListHandle = 0;
  HostList* lastList = nullptr;

  // Registrations.
  std::vector<ListenEntry> listens;
  std::vector<PeriodicEntry> periodic;
  std::vector<NotifyEntry> notifications;
  int messageDepth = 0;
  std::map<uint32_t, std::unique_ptr<Value>> messageData;  // data kept for composed records

  // Object path entries are interned names, so a stored path survives a reload.
  std::map<std::string, uint32_t> atoms;
  std::vector<std::string> atomNames;

  void SetUpServices();
  ObjectNode* Node(uint32_t handle);
  const ObjectNode* Node(uint32_t handle) const;
  uint32_t FindBySerial(uint32_t serial) const;
  IdentityValue IdentityOf(const ObjectNode& node) const;
  void ClearChain(ObjectNode& node);
  void LinkReference(ObjectNode& node, ReferenceValue* reference);
  // Takes a reference out of whichever chain holds it. The host finds it by walking its own
  // chains, never by trusting the value's links, which may be stale or garbage.
  bool Unchain(ReferenceValue* reference);
  // The first object of that name under `parent` (0: the top), or 0.
  uint32_t Child(uint32_t parent, std::string_view name) const;
  std::vector<uint32_t> ChildrenOf(uint32_t parent) const;
  void AddChild(uint32_t parent, const std::string& name, uint32_t handle);
  bool RemoveOne(uint32_t handle);  // one object, its children already gone
  void RemoveChild(uint32_t parent, const std::string& name, uint32_t handle);
  uint32_t Atom(const std::string& name);
  std::vector<uint32_t> PathEntries(uint32_t handle);
  uint32_t ResolveEntries(const std::vector<uint32_t>& entries) const;
  std::string MadeBy() const;
  uint32_t CurrentOwnerWord() const;
  void DropRegistrations(Instance* instance);
  void ReleaseChainedIn(Instance* instance);
  uint32_t ResolveDesignation(const void* target, const Instance* from) const;
  MessageOutcome Deliver(void* record, uint32_t destination, uint32_t id, uint32_t second);
  // Records a slot call abandoned at the time limit and fences its instance off.
  void TimedOut(Instance& instance, uint16_t row, uint16_t column);
};

// The instance behind a record the plug-in passed as `self` of a host method, across hosts.
Instance* LiveInstance(const void* record);
void RegisterLiveInstance(const void* record, Instance* instance);
void ForgetLiveInstance(const void* record);

// Forgets a host the method-table allocator may still point at.
void DetachAllocator(Host::Impl* impl);

// Host-implemented instance methods (row 0, columns 32 and 33).
extern "C" abi::Result RefhostGetOwner(void* self, void* out);
extern "C" abi::Result RefhostListen(void* self, int16_t mode, const void* id);
// What instance headers offer at row 0, column 23: the class's SetAttribute, traced.
extern "C" abi::Result RefhostOtherSetAttribute(void* self, const char* name, const void* index,
                                                const void* value);

}  // namespace refhost
