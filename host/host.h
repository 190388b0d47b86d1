// The reference host: loads plug-in libraries as the runtime does, keeps an object tree,
// creates component instances, serves every host method of the contract, and records what
// the plug-ins did (messages, visits, cursors, allocations) so tests can check it.
//
// One Host per test. Everything runs on the calling thread, one call at a time, as the
// contract requires; the host is not thread-safe. A plug-in library keeps one captured
// HostServices pointer, so of several hosts that loaded the same library only the one that
// loaded it last serves its instances.
//
// The host's own rules where the contract leaves a choice:
// - Object paths name objects from the top: "/a/b" with the given separator. "/" alone, a
//   trailing separator, an empty name ("//") and a path without the leading separator name no
//   object (ResolveObjectPath answers 0 with status 0). Names match exactly; "." and ".." are
//   ordinary names.
// - "parent" of a top-level object: status 1. "name" and "classname" are read-only texts.
//   An object's own attributes come first, then those built-in names, then each attached
//   instance's GetAttribute/SetAttribute (never the instance that is asking). Writing an own
//   attribute keeps its type (a real written to an integer is rounded).
// - Conversions: integer, real and flag among each other (reals round half away from zero,
//   out-of-range is refused), numbers to and from text ("true"/"false" read as flags), reference
//   and object path (109) through the tree, and to a path text; tags 0, 106, 113 and 114 as a
//   preset mean "whatever the value is". A buffer the host makes for a text belongs to the
//   instance named in ConvertValue, to the instance whose callback is running for GetItem,
//   ReadValue and GetObjectAttribute, and is handed over (-1) by CopyValue.
// - Object path entries (tag 109) are interned names, so a stored path survives a reload.
//   A reference is stored with its object's identity and found again by it when read.
// - Identity records: word = the object's serial (kept across ReplaceObject and
//   RestoreObject), words[0] = a hash of its path; RebindReference matches the serial.
// - ResolveFilePath keeps an absolute path, joins a relative one to SetFileFolder's folder,
//   turns backslashes into slashes and refuses more than 255 characters (out = "").
// - StartPeriodic's third argument is the interval in ticks of 1/600 second, the unit of the
//   plug-ins' durations: the 10 every plug-in passes is a call each 1/60 second, the step a
//   pan ramp counts, so a ramp takes the time it was given.
// - A composed message concerns the sender's owner; DeliverMessage hands it to the listening
//   instances of the destination object, or of every object when the destination names none
//   (a choice value, say). SendMessage from a test reaches every listener of the id pair.
// - ReleaseValue frees what the value holds through the tracker and leaves the value empty.
// - A target designation (tag 115) holds the object's handle and identity serial, so it finds
//   the object again after a reload; the editor yields one for a path, a reference or another
//   designation asked for with tag 115 preset, and an empty value when no target is chosen.
//   ResolveTarget answers a component of the designated object as the asking instance sees it:
//   never the asker itself, the first that has a SetAttribute if one does, else the first.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/ownership.h"
#include "host/trace.h"
#include "host/value.h"
#include "support/abi.h"
#include "support/values.h"

namespace refhost {

class Host;
class Instance;

// What a call of a slot the class never registered answers. No real status is this large.
constexpr uint16_t kSlotNotRegistered = 0xFFFF;
// What a slot call answers when it ran past the host's time limit and was abandoned, and every
// later call of that instance, whose state can no longer be trusted.
constexpr uint16_t kSlotTimedOut = 0xFFFE;
// What a host method answers when a test made it fail on purpose (Host::FailHostCall).
constexpr uint16_t kInjectedFailure = 0x7F01;

// The name of a callback slot ("Construct", "Periodic", ...), or "" for a column with none.
std::string_view SlotName(uint16_t row, uint16_t column);

struct SlotInfo {
  uint16_t row;
  uint16_t column;
};

// One loaded component class.
struct ClassInfo {
  std::string name;
  std::string library;
  std::string interfaceName;  // row 0's name as registered
  uint32_t instanceSize = 0;
  uint32_t classFlags = 0;
  std::vector<SlotInfo> slots;  // in registration order
  bool usable = false;
  std::string error;  // why the class is not usable

  abi::EntryPoint entry = nullptr;
  abi::MethodEntry* rowTables[2] = {nullptr, nullptr};  // host memory, zeroed, >= 38 entries
  int32_t offsets[2] = {0, 0};
  abi::ClassRecord record{};  // what instance headers point at
  // The rows plug-ins see through an instance header: rowTables, except that SetAttribute goes
  // through the host first, so the trace sees one plug-in writing another's attribute.
  std::vector<abi::MethodEntry> facingTables[2];
  abi::MethodEntry* facingRows[2] = {nullptr, nullptr};

  bool HasSlot(uint16_t row, uint16_t column) const;
  const abi::MethodEntry* Entry(uint16_t row, uint16_t column) const;
};

struct LoadOptions {
  bool failAllocator = false;  // the method-table allocator answers null for real
};

struct LoadResult {
  bool ok = false;                   // the library was loaded and every export registered cleanly
  std::string error;                 // the library itself could not be loaded
  std::vector<std::string> classes;  // classes registered and usable
  std::vector<std::string> exportErrors;  // one readable line per export that failed
  std::string Summary() const;
};

// A message record as the host saw it composed or delivered.
struct MessageLogEntry {
  uint32_t destination = 0;  // object handle, 0 when none could be found
  Value destinationValue;    // the destination as the plug-in gave it
  uint32_t id = 0;
  uint32_t second = 0;
  Value data;
  uint32_t flags = 0;
  uint32_t object = 0;  // bytes 8..11 of the record
  bool delivered = false;
  const Instance* sender = nullptr;
};

struct VisitEntry {
  uint32_t a = 0;
  uint32_t b = 0;
  uint32_t id = 0;
  uint32_t second = 0;
  uint16_t tag = 0;
};

struct CursorEntry {
  const Instance* instance;
  int32_t cursor;
};

// A write a plug-in made to an object's attribute (SetObjectAttribute), at the host's clock.
struct AttributeWrite {
  uint64_t micros = 0;
  uint32_t object = 0;
  std::string name;     // lower-cased
  Value value;          // what the plug-in wrote
  uint16_t status = 0;  // 0: the object took it
  std::string writer;   // the writing instance's label, "" outside any callback
};

// A message the host handed to an instance's HandleMessage, at the host's clock.
struct HandledMessage {
  uint64_t micros = 0;
  std::string instance;  // its label
  uint32_t owner = 0;
  uint32_t id = 0;
  uint32_t second = 0;
  uint16_t result = 0;
};

struct NotificationEntry {
  uint32_t object;
  const Instance* instance;
  uint32_t kind;
};

// A slot call abandoned at the time limit.
struct TimedOutCall {
  std::string instance;  // "Quit#3"
  std::string slot;      // "HandleMessage"
  uint32_t limitMs = 0;
  std::string ToString() const;  // "Quit#3.HandleMessage did not return within 5 s"
};

struct MessageOutcome {
  int delivered = 0;  // instances whose HandleMessage was called
  int handled = 0;    // of which answered 0
};

// A host stream in memory, as handed to StoredSize, Save and Load.
class HostStream {
 public:
  void* Object() { return object_; }  // the pointer the plug-in receives
  Host& GetHost() const { return *host_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t ReadPosition() const { return readPosition_; }
  void Rewind() { readPosition_ = 0; }
  // Replaces the stored bytes wholesale, as a damaged or foreign title file hands them over.
  void SetBytes(std::vector<uint8_t> bytes) {
    bytes_ = std::move(bytes);
    readPosition_ = 0;
  }
  void Clear() {
    bytes_.clear();
    readPosition_ = 0;
  }
  // Host-side access to the same stored form the plug-ins read and write.
  bool Write(const Value& value);
  bool Read(Value* out);  // the next value; false at the end
  uint32_t StoredSize(const Value& value) const;

  ~HostStream();

 private:
  friend class Host;
  explicit HostStream(Host* host);
  Host* host_;
  void* object_ = nullptr;
  void* block_ = nullptr;
  std::vector<uint8_t> bytes_;
  size_t readPosition_ = 0;

 public:
  // Method bodies (called through the method table).
  uint16_t StoredSizeOf(const void* value, void* out);
  uint16_t WriteValue(const void* value);
  uint16_t ReadValue(void* value);
};

// The host's editor: numbered items each holding one value, plus a disabled flag.
class HostEditor {
 public:
  void* Object() { return object_; }
  Host& GetHost() const { return *host_; }
  void SetItem(int16_t item, const Value& value) { items_[item].value = value; }
  void SetItemText(int16_t item, const std::string& text) { SetItem(item, Value::Text(text)); }
  // A record the test holds (any tag the host can copy).
  bool SetItemRecord(int16_t item, const void* record);
  bool HasItem(int16_t item) const { return items_.count(item) != 0; }
  const Value* Item(int16_t item) const;
  std::string ItemText(int16_t item) const;  // "" for a missing item
  bool Disabled(int16_t item) const;
  int PutCount() const { return putCount_; }
  // What GetItemInfo reports as the item's text length from now on, whatever the text: an
  // editor whose information disagrees with its items.
  void SetReportedLength(int16_t item, double length) { reportedLengths_[item] = length; }
  // Every DisableItem call in order: (item, flag as given).
  const std::vector<std::pair<int16_t, int16_t>>& DisableCalls() const { return disableCalls_; }
  // Makes GetItem of `item` write these bytes as they are, whatever tag was preset: a runtime
  // whose editor answers another kind, or a larger value, than the one asked for.
  void SetRawAnswer(int16_t item, std::vector<uint8_t> bytes) { rawAnswers_[item] = bytes; }

  ~HostEditor();

 private:
  friend class Host;
  explicit HostEditor(Host* host);
  struct Entry {
    Value value;
    bool disabled = false;
  };
  Host* host_;
  void* object_ = nullptr;
  void* block_ = nullptr;
  std::map<int16_t, Entry> items_;
  std::map<int16_t, double> reportedLengths_;
  std::map<int16_t, std::vector<uint8_t>> rawAnswers_;
  int putCount_ = 0;
  std::vector<std::pair<int16_t, int16_t>> disableCalls_;

 public:
  uint16_t PutItem(int16_t item, const void* value);
  uint16_t GetItem(int16_t item, void* value);
  uint16_t DisableItem(int16_t item, int16_t disabled);
  uint16_t GetItemInfo(int16_t item, int16_t one, void* info);
};

// A component instance in host memory, header in front.
class Instance {
 public:
  void* Record() const { return record_; }  // the instance bytes the plug-in sees
  template <typename T>
  T* As() const {
    return static_cast<T*>(record_);
  }
  const ClassInfo& Class() const { return *class_; }
  uint32_t Owner() const { return owner_; }
  uint32_t BaseObject() const { return base_; }
  uint64_t Serial() const { return serial_; }
  std::string Label() const;  // "Quit#3"
  Host& GetHost() const { return *host_; }
  // A slot call of this instance ran past the time limit: the host calls it no more.
  bool TimedOut() const { return timedOut_; }

  // Slot callers: each answers the slot's 16-bit result, or kSlotNotRegistered.
  uint16_t Assign(const Instance& source);
  uint16_t Enable();
  uint16_t Disable();
  uint16_t Attached();
  uint16_t GetAttribute(std::string_view name, const void* index, void* value);
  uint16_t SetAttribute(std::string_view name, const void* index, const void* value);
  uint16_t HandleMessage(void* record);
  uint16_t HandleMessage(uint32_t object, uint32_t id, uint32_t second);
  uint16_t ToEditor(HostEditor& editor, int16_t mode = 0);
  uint16_t FromEditor(HostEditor& editor);
  uint16_t EditorItemChanged(HostEditor& editor, int16_t item);
  uint16_t ValidateEditorItem(HostEditor& editor, int16_t item, uint8_t* ok, char* message);
  uint16_t StoredSize(HostStream& stream, int16_t* version, uint32_t* size);
  uint16_t Save(HostStream& stream);
  uint16_t Load(HostStream& stream, int16_t version);
  uint16_t VisitMessageIds(uint32_t a, uint32_t b);
  uint16_t Periodic();
  uint16_t PositionChanged(int32_t position);

 private:
  friend class Host;
  Instance() = default;
  Host* host_ = nullptr;
  const ClassInfo* class_ = nullptr;
  void* block_ = nullptr;  // header + instance bytes
  void* record_ = nullptr;
  uint32_t owner_ = 0;
  uint32_t base_ = 0;
  uint64_t serial_ = 0;
  bool constructed_ = false;
  bool timedOut_ = false;
};

class Host {
 public:
  explicit Host(uint32_t seed = 1);
  // Starts RandomInteger's draws afresh from `seed`.
  void Reseed(uint32_t seed);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // ---- Loading.
  LoadResult Load(const std::string& path, const LoadOptions& options = {});
  const ClassInfo* FindClass(std::string_view name) const;  // usable or not; null if unknown
  std::vector<const ClassInfo*> Classes() const;
  void* ServicesRecord();                 // the HostServices record as passed at byte 824
  void* ServiceObject(uint16_t service);  // entry `service` of that record
  // A descriptor as the host fills it for a call in `phase`, for support-layer tests: its
  // allocator hands out zeroed 38-entry tables owned by the host.
  abi::PluginDescriptor MakeDescriptor(int16_t phase);

  // ---- Object tree. Handles are never reused; 0 is "no object".
  uint32_t AddObject(uint32_t parent, std::string name, std::string className = "");
  // The object goes away with its descendants: their instances are destroyed, every
  // reference to them gets object 0 and leaves its chain.
  bool RemoveObject(uint32_t handle);
  // Brings a removed object back (same name, parent, class, attributes and identity) under a
  // new handle; 0 when it cannot (unknown, or its parent is gone).
  uint32_t RestoreObject(uint32_t removedHandle);
  // Remove + restore in one: the same object under a new handle; its children and instances
  // move over to it.
  uint32_t ReplaceObject(uint32_t handle);
  bool Exists(uint32_t handle) const;
  std::string PathOf(uint32_t handle, char separator = '/') const;      // "" if unknown
  uint32_t Resolve(std::string_view path, char separator = '/') const;  // 0 if none
  uint32_t ParentOf(uint32_t handle) const;
  std::string NameOf(uint32_t handle) const;
  // The object's own attributes. With an index, the value is read only by a request with an
  // equal index (same tag and body); without one, it answers any request of that name that no
  // indexed value matched.
  void SetObjectValue(uint32_t handle, std::string_view name, const Value& value,
                      const Value* index = nullptr);
  const Value* ObjectValue(uint32_t handle, std::string_view name,
                           const Value* index = nullptr) const;
  IdentityValue IdentityOf(uint32_t handle) const;
  // The live references chained to an object (not counting the host's anchor).
  std::vector<const ReferenceValue*> ChainOf(uint32_t handle) const;
  // A target designation (tag 115) naming an object, as the editor would yield it.
  TargetDesignationValue MakeTarget(uint32_t handle) const;
  std::vector<Instance*> InstancesOf(uint32_t handle) const;

  // ---- Instances.
  Instance* Create(std::string_view className, uint32_t ownerObject, uint32_t baseObject = 0);
  Instance* CopyConstruct(const Instance& source, uint32_t ownerObject, uint32_t baseObject = 0);
  void Destroy(Instance* instance);
  void DestroyAll();
  std::vector<Instance*> Instances() const;
  // What a new instance's memory holds before Construct or CopyConstruct: zeros, or this
  // pattern repeated, for a runtime that hands out memory without clearing it.
  void SetFreshInstanceBytes(std::vector<uint8_t> pattern);
  // Finds the host-side instance for the instance bytes a plug-in handed over.
  Instance* FromRecord(const void* record) const;

  // ---- Streams and editors (host-owned, alive until the host goes).
  HostStream& NewStream();
  HostEditor& NewEditor();

  // ---- Messages.
  MessageOutcome SendMessage(uint32_t object, uint32_t id, uint32_t second = 0);
  bool Listening(const Instance* instance, uint32_t id, uint32_t second) const;
  const std::vector<MessageLogEntry>& Messages() const { return messages_; }
  const std::vector<VisitEntry>& Visits() const { return visits_; }
  const std::vector<CursorEntry>& Cursors() const { return cursors_; }
  // Every attribute write the plug-ins made, taken or not (host/series.h reads them as series).
  const std::vector<AttributeWrite>& AttributeWrites() const { return attributeWrites_; }
  // Every HandleMessage call the host made, with its result.
  const std::vector<HandledMessage>& HandledMessages() const { return handled_; }
  void ClearLogs();

  // ---- Clock, periodic calls and position notifications.
  void Advance(uint32_t milliseconds);
  uint64_t Now() const { return now_; }
  bool PeriodicRunning(const Instance* instance) const;
  // Instances destroyed while their periodic calls still ran, by label: a runtime that does not
  // drop them itself would go on calling Periodic on memory that is gone.
  const std::vector<std::string>& DestroyedWhileRunning() const { return destroyedRunning_; }
  std::vector<NotificationEntry> Notifications() const;
  // Sets an object's play position and calls PositionChanged of every instance that asked
  // for position notifications on it. Returns how many were called. (host/playback.h plays
  // an object over time.)
  int SetPosition(uint32_t object, int32_t position);
  int32_t PositionOf(uint32_t object) const;  // 0 for an unknown object

  // ---- Time limit of every entry call and slot call (0: none); host/call_limit.h.
  void SetCallLimit(uint32_t milliseconds) { callLimitMs_ = milliseconds; }
  uint32_t CallLimit() const { return callLimitMs_; }
  const std::vector<TimedOutCall>& TimedOutCalls() const { return timedOut_; }

  // ---- File paths: ResolveFilePath joins a relative path to this folder ("" keeps it).
  void SetFileFolder(std::string folder) { fileFolder_ = std::move(folder); }

  // ---- Ownership of what the plug-ins obtained.
  refhost::Ownership& Ownership() { return ownership_; }
  const refhost::Ownership& Ownership() const { return ownership_; }
  // Host-side tracked allocations on the plug-ins' behalf (what AllocString/AllocMemory do).
  char* AllocTrackedString(uint32_t size);
  void* AllocTrackedMemory(uint32_t size);
  // Makes strings and memory blocks run out, as on a machine short of memory: after `grant`
  // more successful allocations, the next `refuse` ones (every one, by default) answer null.
  // Covers every buffer the host makes for a plug-in, not only AllocString/AllocMemory.
  void FailAllocations(uint32_t grant, uint32_t refuse = UINT32_MAX) {
    allocationsToGrant_ = grant;
    allocationsToRefuse_ = refuse;
  }
  void StopFailingAllocations() { allocationsToRefuse_ = 0; }
  uint32_t RefusedAllocations() const { return refusedAllocations_; }
  // Every allocation asked of the host since it began, granted or refused (CreateList included).
  uint32_t AllocationRequests() const { return allocationRequests_; }

  // ---- Host calls that fail on purpose, as a runtime's services may. From now on the `nth`
  // call (from 1) of the host method named `method`, as the trace names it ("Stream.ReadValue"),
  // answers kInjectedFailure and does nothing else. A call that gives something back
  // (FreeString, FreeMemory, DisposeList, ReleaseValue, StopPeriodic, RemoveNotification) still
  // does it and only answers the failure, so a plug-in is never blamed for what the host kept.
  // An empty `method` ends it. Allocations fail through FailAllocations instead.
  void FailHostCall(std::string method, uint32_t nth);
  bool InjectedFailureHappened() const { return injectedHappened_; }
  // Counts the host calls by method name from now on (off: stops counting, keeps the counts).
  void CountCallsByMethod(bool on) {
    countingByMethod_ = on;
    if (on) callsByMethod_.clear();
  }
  const std::map<std::string, uint32_t>& CallsByMethod() const { return callsByMethod_; }
  // Called for every host method a plug-in calls: 0 to do it, 1 to fail it without doing it,
  // 2 to do it and answer the failure.
  int Intercept(const char* method) {
    if (!countingByMethod_ && injectMethod_.empty()) return 0;
    return InterceptSlow(method);
  }

  // ---- Host-side helpers for tests that hold plug-in shaped values.
  // Writes `value` into a plug-in record, as GetItem/ConvertValue do (preset tag honoured).
  uint16_t StoreInto(const Value& value, void* record, uint32_t owner);
  uint16_t Convert(const void* source, void* destination, uint32_t owner);

  // ---- Host call trace: every host method a plug-in calls and every slot the host calls, in
  // order (host/trace.h). Off until switched on.
  void SetTracing(bool on) { tracer_.SetOn(on); }
  bool Tracing() const { return tracer_.On(); }
  const std::vector<HostCall>& Trace() const { return tracer_.Calls(); }
  void ClearTrace() { tracer_.Clear(); }
  Tracer& GetTracer() { return tracer_; }

  // ---- A Windows DLL that reached something the host cannot serve (an import with no
  // stand-in, abort) stops the host: the call into it ends there, this says why, and no
  // plug-in code runs after it. Empty while the host runs. Whoever drives the host fails its
  // current command with this sentence.
  const std::string& StopReason() const;
  // Every host method the plug-ins called since the host began (traced or not), for counts of
  // what an operation costs.
  uint64_t HostCalls() const { return hostCalls_; }
  void CountHostCall() { ++hostCalls_; }

  // The instance whose callback is running (innermost), or null.
  const Instance* Current() const;

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  friend class Instance;
  friend class HostStream;
  friend class HostEditor;
  friend struct ServiceCalls;
  Instance* NewInstance(const ClassInfo* info, uint32_t owner, uint32_t base);
  void Attach(Instance* instance);
  std::unique_ptr<Impl> impl_;
  refhost::Ownership ownership_;
  Tracer tracer_;
  std::vector<MessageLogEntry> messages_;
  std::vector<VisitEntry> visits_;
  std::vector<CursorEntry> cursors_;
  std::vector<AttributeWrite> attributeWrites_;
  std::vector<HandledMessage> handled_;
  std::vector<std::string> destroyedRunning_;
  uint64_t now_ = 0;
  uint32_t callLimitMs_;
  std::vector<TimedOutCall> timedOut_;
  uint64_t hostCalls_ = 0;
  std::string fileFolder_;
  uint32_t allocationsToGrant_ = 0;
  uint32_t allocationsToRefuse_ = 0;
  uint32_t refusedAllocations_ = 0;
  uint32_t allocationRequests_ = 0;
  bool RefuseAllocation();
  int InterceptSlow(const char* method);
  bool countingByMethod_ = false;
  std::map<std::string, uint32_t> callsByMethod_;
  std::string injectMethod_;
  uint32_t injectCountdown_ = 0;
  bool injectedHappened_ = false;
};

}  // namespace refhost
