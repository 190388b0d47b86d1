#include "tools/plughost/class_checks.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "host/listeners.h"
#include "support/values.h"
#include "win32/stand_in.h"

namespace plughost {
namespace {

using refhost::Instance;
using Bytes = std::vector<uint8_t>;

// An attribute name no class answers to, within the 16 characters a name field holds.
constexpr char kUnknownAttribute[] = "zzNoSuchAttr";
constexpr uint32_t kVisitA = 0xA1;
constexpr uint32_t kVisitB = 0xB2;
constexpr int kEditorItemsFrom = -64;
constexpr int kEditorItemsTo = 256;

std::string Number(uint64_t n) {
  return std::to_string(n);
}

std::string IdText(uint32_t id, uint32_t second) {
  return "id(" + Number(id) + "," + Number(second) + ")";
}

std::string SlotText(uint16_t row, uint16_t column) {
  std::string_view name = refhost::SlotName(row, column);
  return "row " + Number(row) + " column " + Number(column) +
         (name.empty() ? "" : " (" + std::string(name) + ")");
}

// What differs between two stored forms, in a sentence.
std::string Difference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return Number(a.size()) + " bytes against " + Number(b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return "they differ from byte " + Number(i) + " of " + Number(a.size());
  }
  return "";
}

// One registration as the descriptor shows it after the entry returned.
struct Registration {
  Bytes name;  // 16 bytes at the start of the name table
  uint32_t size = 0;
  uint32_t flags = 0;
  int16_t highestRow = 0;
  int highestNamedRow = -1;
  int16_t highestColumn[2] = {0, 0};
  bool extraRows = false;
  struct Slot {
    uint16_t row, column;
    void* function;
    int32_t flags;
    bool operator==(const Slot&) const = default;
  };
  std::vector<Slot> slots;
};

Registration Register(refhost::Host& host, const refhost::ClassInfo& info, int16_t phase) {
  abi::PluginDescriptor d = host.MakeDescriptor(phase);
  info.entry(&d);
  Registration r;
  r.name.assign(d.names, d.names + 16);
  r.size = d.instanceSize;
  r.flags = d.classFlags;
  r.highestRow = d.highestRow;
  for (size_t row = 0; row * abi::kNameEntrySize + 16 <= sizeof d.names; ++row) {
    if (d.names[row * abi::kNameEntrySize] != 0) r.highestNamedRow = static_cast<int>(row);
  }
  for (uint16_t row = 0; row < abi::kMaxRows; ++row) {
    if (d.methodTables[row] == nullptr) continue;
    if (row > 1) {
      r.extraRows = true;
      continue;
    }
    r.highestColumn[row] = d.highestColumn[row];
    for (uint16_t column = 0; column < abi::kComponentColumns; ++column) {
      const abi::MethodEntry& e = d.methodTables[row][column];
      if (e.function != nullptr) r.slots.push_back({row, column, e.function, e.flags});
    }
  }
  return r;
}

class ClassChecks {
 public:
  ClassChecks(refhost::Host& host, const refhost::ClassInfo& info, CheckSink& sink)
      : host_(host), info_(info), sink_(sink) {}

  void Run();

 private:
  // Runs one check. The body answers "" when it passed, "skip: why" to skip, or why it
  // failed; an ownership fault recorded meanwhile fails it too.
  void Check(const std::string& name, const std::function<std::string()>& body) {
    sink_.Begin(name);
    const size_t before = host_.Ownership().Faults().size();
    // A DLL that reached what the host does not serve fails the check it stopped the host in.
    const bool stopped = !host_.StopReason().empty();
    std::string why = stopped ? "skip: the host stopped in an earlier check" : body();
    if (!stopped && !host_.StopReason().empty()) why = host_.StopReason();
    const auto& faults = host_.Ownership().Faults();
    if (why.empty() && faults.size() > before) {
      why = "ownership fault: " + faults[before].ToString();
      if (faults.size() > before + 1)
        why += " (and " + Number(faults.size() - before - 1) + " more)";
    }
    if (why.rfind("skip: ", 0) == 0) {
      sink_.End(name, Outcome::kSkip, why.substr(6));
    } else {
      sink_.End(name, why.empty() ? Outcome::kOk : Outcome::kFail, why);
    }
  }
  bool Has(uint16_t column) const { return info_.HasSlot(0, column); }
  static std::string NotRegistered(const char* slot) {
    return std::string("skip: no ") + slot + " slot";
  }

  // The stored form of an instance, when the class can save.
  std::optional<Bytes> Stored(Instance* instance) {
    if (!Has(abi::slot::kSave)) return std::nullopt;
    refhost::HostStream& stream = host_.NewStream();
    instance->Save(stream);
    return stream.Bytes();
  }
  // "" when both have the same stored form (or the class cannot save), else the difference.
  std::string SameStored(Instance* a, Instance* b, const char* what) {
    std::optional<Bytes> x = Stored(a), y = Stored(b);
    if (!x || !y || *x == *y) return "";
    return std::string(what) + ": " + Difference(*x, *y);
  }
  Instance* Make() { return host_.Create(info_.name, owner_, owner_); }
  // Destroys an instance and names what it left allocated.
  std::string DestroyAndCount(Instance* instance) {
    const std::string label = instance->Label();
    host_.Destroy(instance);
    for (const refhost::Allocation& a : host_.Ownership().Leaks()) {
      if (a.madeBy == label) return label + " left " + a.ToString();
    }
    return "";
  }
  std::vector<refhost::ListenerInfo> ListenersOf(const Instance* instance) {
    std::vector<refhost::ListenerInfo> mine;
    for (const refhost::ListenerInfo& l : refhost::Listeners(host_)) {
      if (l.instance == instance) mine.push_back(l);
    }
    return mine;
  }
  std::vector<int16_t> EditorItems(refhost::HostEditor& editor) const {
    std::vector<int16_t> items;
    for (int item = kEditorItemsFrom; item < kEditorItemsTo; ++item) {
      if (editor.HasItem(static_cast<int16_t>(item))) items.push_back(static_cast<int16_t>(item));
    }
    return items;
  }

  std::string RegistrationSane();
  std::string RegistrationRepeated();
  std::string Lifecycle();
  std::string EnableDisable();
  std::string DestructWhileTicking();
  std::string Ownership();

  refhost::Host& host_;
  const refhost::ClassInfo& info_;
  CheckSink& sink_;
  uint32_t owner_ = 0;
  Instance* main_ = nullptr;
  refhost::HostEditor* editor_ = nullptr;
  refhost::HostStream* saved_ = nullptr;
  int16_t savedVersion_ = 0;
  std::set<std::pair<uint32_t, uint32_t>> ids_;  // message ids the instance showed
  // The ids it asked the host to deliver.
  std::set<std::pair<uint32_t, uint32_t>> listened_;
  // What the system had handed out, and the misuse it had seen, before the class ran.
  int systemHandlesBefore_ = stand_in::LiveHandles().Total();
  size_t systemFaultsBefore_ = stand_in::Faults().size();
};

std::string ClassChecks::RegistrationSane() {
  if (info_.classFlags != abi::kClassFlagsPlain && info_.classFlags != abi::kClassFlagsBaseObject) {
    return "class flags " + Number(info_.classFlags) +
           " are neither 1 (plain) nor 5 (Construct takes a base object)";
  }
  if (info_.instanceSize == 0) return "instance size 0";
  if (info_.interfaceName != "_QComponent")
    return "interface row 0 is \"" + info_.interfaceName + "\", not \"_QComponent\"";
  for (const refhost::SlotInfo& slot : info_.slots) {
    const bool known = slot.row == 0 ? !refhost::SlotName(0, slot.column).empty() &&
                                           slot.column != abi::slot::kGetOwner &&
                                           slot.column != abi::slot::kListen
                                     : slot.row == 1 && slot.column <= abi::slot::kPositionChanged;
    if (!known) return SlotText(slot.row, slot.column) + " is no callback slot";
    const abi::MethodEntry* e = info_.Entry(slot.row, slot.column);
    if (e != nullptr && e->flags != abi::kSlotFlags)
      return SlotText(slot.row, slot.column) + " has flags " + Number(e->flags) + ", not 1";
  }
  if (!Has(abi::slot::kConstruct)) return "no Construct slot: the host cannot start an instance";
  if (!Has(abi::slot::kDestruct)) return "no Destruct slot: the host cannot end an instance";
  // Slots that only make sense together.
  const std::vector<std::vector<uint16_t>> groups = {
      {abi::slot::kStoredSize, abi::slot::kSave, abi::slot::kLoad},
      {abi::slot::kToEditor, abi::slot::kFromEditor},
      {abi::slot::kEnable, abi::slot::kDisable}};
  for (const auto& group : groups) {
    size_t present = 0;
    for (uint16_t c : group) present += Has(c) ? 1 : 0;
    if (present != 0 && present != group.size()) {
      std::string names;
      for (uint16_t c : group) {
        names += (names.empty() ? "" : ", ") + std::string(refhost::SlotName(0, c)) +
                 (Has(c) ? "" : " (missing)");
      }
      return "slots that go together are registered in part: " + names;
    }
  }
  return "";
}

std::string ClassChecks::RegistrationRepeated() {
  if (info_.entry == nullptr) return "skip: no entry point";
  std::string expected(info_.name);
  expected.resize(16, '\0');
  Registration query = Register(host_, info_, 0);
  if (std::memcmp(query.name.data(), expected.data(), 16) != 0)
    return "the name query no longer writes the class name, NUL-padded";
  if (query.size != info_.instanceSize || query.flags != info_.classFlags)
    return "the name query now gives size " + Number(query.size) + " and flags " +
           Number(query.flags);
  if (!query.slots.empty()) return "the name query registered slots";

  Registration first = Register(host_, info_, 1);
  Registration second = Register(host_, info_, 1);
  for (const Registration* r : {&first, &second}) {
    if (r->size != info_.instanceSize || r->flags != info_.classFlags)
      return "a registration gave size " + Number(r->size) + " and flags " + Number(r->flags) +
             ", the first load " + Number(info_.instanceSize) + " and " + Number(info_.classFlags);
    if (r->extraRows) return "a registration used interface rows beyond 0 and 1";
    if (r->highestRow != r->highestNamedRow)
      return "the highest-row field says " + Number(r->highestRow) + ", the highest named row is " +
             std::to_string(r->highestNamedRow);
    for (uint16_t row = 0; row < 2; ++row) {
      int highest = -1;
      for (const auto& s : r->slots) {
        if (s.row == row) highest = std::max<int>(highest, s.column);
      }
      if (highest >= 0 && r->highestColumn[row] != highest)
        return "row " + Number(row) + "'s highest-column field says " +
               std::to_string(r->highestColumn[row]) + ", the highest registered column is " +
               std::to_string(highest);
    }
  }
  if (first.slots != second.slots) return "two registrations filled different slots";
  if (first.slots.size() != info_.slots.size())
    return "a registration now fills " + Number(first.slots.size()) + " slots, the first load " +
           Number(info_.slots.size());
  for (const auto& s : first.slots) {
    const abi::MethodEntry* e = info_.Entry(s.row, s.column);
    if (e == nullptr || e->function != s.function)
      return SlotText(s.row, s.column) + " is not what the first load registered";
  }
  return "";
}

std::string ClassChecks::EnableDisable() {
  if (!Has(abi::slot::kEnable)) return NotRegistered("Enable");
  uint16_t status = main_->Enable();
  if (status != 0) return "Enable answered " + Number(status);
  for (const refhost::ListenerInfo& l : ListenersOf(main_)) {
    ids_.insert({l.id, l.second});
    listened_.insert({l.id, l.second});
  }
  // Let whatever Enable started run: periodic calls and position notifications.
  host_.Advance(250);
  host_.SetPosition(owner_, 10);
  status = main_->Disable();
  if (status != 0) return "Disable answered " + Number(status);
  std::vector<refhost::ListenerInfo> left = ListenersOf(main_);
  if (!left.empty())
    return "after Disable it still listens to " + IdText(left[0].id, left[0].second);
  if (host_.PeriodicRunning(main_)) return "after Disable its periodic calls still run";
  for (const refhost::NotificationEntry& n : host_.Notifications()) {
    if (n.instance == main_) return "after Disable it still asks for notifications";
  }
  return "";
}

// A fresh instance is enabled and sent every message id the class showed, first as it is
// constructed and then with each integer item of its editor switched to 1 in turn (a mode
// choice, say); whatever periodic calls that starts must end with the instance. A host that
// does not drop them itself would go on calling Periodic on freed memory.
std::string ClassChecks::DestructWhileTicking() {
  if (!info_.HasSlot(1, abi::slot::kPeriodic)) return "skip: no Periodic slot";
  std::vector<int16_t> switches = {0};  // 0: no item switched
  if (editor_ != nullptr && Has(abi::slot::kFromEditor)) {
    for (int16_t item : EditorItems(*editor_)) {
      if (item != 0 && editor_->Item(item)->tag == tag::kInteger) switches.push_back(item);
    }
  }
  for (int16_t item : switches) {
    Instance* ticker = Make();
    if (item != 0) {
      refhost::HostEditor& editor = host_.NewEditor();
      ticker->ToEditor(editor, 0);
      editor.SetItem(item, refhost::Value::Integer(1));
      ticker->FromEditor(editor);
    }
    if (Has(abi::slot::kEnable)) ticker->Enable();
    for (const auto& [id, second] : ids_) {
      if (host_.PeriodicRunning(ticker) || !Has(abi::slot::kHandleMessage)) break;
      ticker->HandleMessage(owner_, id, second);
    }
    host_.Advance(100);
    const bool ticking = host_.PeriodicRunning(ticker);
    const size_t before = host_.DestroyedWhileRunning().size();
    host_.Destroy(ticker);
    if (!ticking) continue;
    if (host_.DestroyedWhileRunning().size() != before)
      return "its periodic calls still ran after Destruct" +
             (item == 0 ? std::string() : " (with editor item " + Number(item) + " at 1)");
    return "";
  }
  return "skip: nothing it was sent started periodic calls";
}

std::string ClassChecks::Ownership() {
  host_.DestroyAll();
  main_ = nullptr;
  const refhost::Ownership& o = host_.Ownership();
  if (!o.Faults().empty())
    return Number(o.Faults().size()) +
           " ownership fault(s), the first: " + o.Faults()[0].ToString();
  if (!o.Leaks().empty())
    return Number(o.Leaks().size()) + " leak(s), the first: " + o.Leaks()[0].ToString();
  // What the instances took from the system (device contexts, files, memory) must be back too.
  const int handles = stand_in::LiveHandles().Total() - systemHandlesBefore_;
  if (handles > 0) return Number(handles) + " system handle(s) still open: " + stand_in::Report();
  if (stand_in::Faults().size() > systemFaultsBefore_)
    return "system call misused: " + stand_in::Faults()[systemFaultsBefore_];
  return "";
}

void ClassChecks::Run() {
  Check("registration: size, flags, interface, slot columns", [&] { return RegistrationSane(); });
  Check("registration run again gives the same answer", [&] { return RegistrationRepeated(); });
  if (!Has(abi::slot::kConstruct)) return;

  const uint32_t stage = host_.AddObject(0, "validate");
  owner_ = host_.AddObject(stage, "owner");
  host_.AddObject(owner_, "child");

  Check(
      info_.classFlags == abi::kClassFlagsBaseObject ? "Construct with a base object" : "Construct",
      [&]() -> std::string {
        main_ = Make();
        return main_ == nullptr ? "the host could not create an instance" : "";
      });
  if (main_ == nullptr) return;

  Instance* copy = nullptr;
  Instance* assigned = nullptr;
  Check("CopyConstruct", [&]() -> std::string {
    if (!Has(abi::slot::kCopyConstruct)) return NotRegistered("CopyConstruct");
    copy = host_.CopyConstruct(*main_, owner_, owner_);
    if (copy == nullptr) return "the host could not copy the instance";
    return SameStored(main_, copy, "the copy stores differently");
  });
  Check("Assign", [&]() -> std::string {
    if (!Has(abi::slot::kAssign)) return NotRegistered("Assign");
    assigned = Make();
    uint16_t status = assigned->Assign(*main_);
    if (status != 0) return "Assign answered " + Number(status);
    std::string why = SameStored(main_, assigned, "the assigned instance stores differently");
    if (!why.empty()) return why;
    std::optional<Bytes> before = Stored(main_);
    status = main_->Assign(*main_);
    if (status != 0) return "assigning an instance to itself answered " + Number(status);
    std::optional<Bytes> after = Stored(main_);
    if (before && after && *before != *after)
      return "assigning an instance to itself changed it: " + Difference(*before, *after);
    return "";
  });
  Check("Destruct leaves nothing behind", [&]() -> std::string {
    std::string why;
    if (copy != nullptr) why = DestroyAndCount(copy);
    if (why.empty() && assigned != nullptr) why = DestroyAndCount(assigned);
    if (why.empty() && copy == nullptr && assigned == nullptr) why = DestroyAndCount(Make());
    return why;
  });
  Check("Attached", [&]() -> std::string {
    if (!Has(abi::slot::kAttached)) return NotRegistered("Attached");
    main_->Attached();
    return "";
  });

  Check("ToEditor mode 0", [&]() -> std::string {
    if (!Has(abi::slot::kToEditor)) return NotRegistered("ToEditor");
    editor_ = &host_.NewEditor();
    uint16_t status = main_->ToEditor(*editor_, 0);
    return status == 0 ? "" : "answered " + Number(status);
  });
  Check("ToEditor mode 1", [&]() -> std::string {
    if (!Has(abi::slot::kToEditor)) return NotRegistered("ToEditor");
    refhost::HostEditor& editor = host_.NewEditor();
    uint16_t status = main_->ToEditor(editor, 1);
    if (status > 1) return "answered " + Number(status) + ", neither 0 nor 1";
    if (status == 1 && editor.PutCount() != 0)
      return "refused the mode but still put " + Number(editor.PutCount()) + " item(s)";
    return "";
  });
  Check("FromEditor gives back what ToEditor showed", [&]() -> std::string {
    if (!Has(abi::slot::kFromEditor) || editor_ == nullptr) return NotRegistered("FromEditor");
    std::optional<Bytes> before = Stored(main_);
    uint16_t status = main_->FromEditor(*editor_);
    if (status != 0) return "answered " + Number(status);
    std::optional<Bytes> after = Stored(main_);
    if (before && after && *before != *after)
      return "the stored form changed over an editor round trip: " + Difference(*before, *after);
    return "";
  });
  Check("EditorItemChanged", [&]() -> std::string {
    if (!Has(abi::slot::kEditorItemChanged) || editor_ == nullptr)
      return NotRegistered("EditorItemChanged");
    for (int16_t item : EditorItems(*editor_)) {
      uint16_t status = main_->EditorItemChanged(*editor_, item);
      if (status > 1) return "item " + Number(item) + ": answered " + Number(status);
    }
    return "";
  });
  Check("ValidateEditorItem accepts the instance's own settings", [&]() -> std::string {
    if (!Has(abi::slot::kValidateEditorItem) || editor_ == nullptr)
      return NotRegistered("ValidateEditorItem");
    for (int16_t item : EditorItems(*editor_)) {
      uint8_t ok = 7;
      char message[1024] = {};
      uint16_t status = main_->ValidateEditorItem(*editor_, item, &ok, message);
      if (status > 1) return "item " + std::to_string(item) + ": answered " + Number(status);
      if (ok > 1) return "item " + std::to_string(item) + ": the ok flag is " + Number(ok);
      if (message[sizeof message - 1] != 0)
        return "item " + std::to_string(item) + ": the message fills the whole buffer";
      if (ok == 0) return "item " + std::to_string(item) + " refused: " + message;
    }
    return "";
  });

  Check("StoredSize equals what Save writes", [&]() -> std::string {
    if (!Has(abi::slot::kSave)) return NotRegistered("Save");
    refhost::HostStream& stream = host_.NewStream();
    int16_t version = -1;
    uint32_t size = 0;
    uint16_t status = main_->StoredSize(stream, &version, &size);
    if (status != 0) return "StoredSize answered " + Number(status);
    if (!stream.Bytes().empty()) return "StoredSize wrote to the stream";
    status = main_->Save(stream);
    if (status != 0) return "Save answered " + Number(status);
    if (stream.Bytes().size() != size)
      return "StoredSize said " + Number(size) + " bytes, Save wrote " +
             Number(stream.Bytes().size());
    saved_ = &stream;
    savedVersion_ = version;
    return "";
  });
  Check("Save then Load into a fresh instance", [&]() -> std::string {
    if (saved_ == nullptr) return "skip: nothing saved";
    Instance* fresh = Make();
    saved_->Rewind();
    uint16_t status = fresh->Load(*saved_, savedVersion_);
    if (status != 0)
      return "Load of data version " + std::to_string(savedVersion_) + " answered " +
             Number(status);
    if (saved_->ReadPosition() != saved_->Bytes().size())
      return "Load read " + Number(saved_->ReadPosition()) + " of " +
             Number(saved_->Bytes().size()) + " bytes";
    std::optional<Bytes> again = Stored(fresh);
    std::string why;
    if (again && *again != saved_->Bytes())
      why = "the loaded instance stores differently: " + Difference(saved_->Bytes(), *again);
    host_.Destroy(fresh);
    return why;
  });
  Check("Load of an unknown data version answers 1", [&]() -> std::string {
    if (saved_ == nullptr) return "skip: nothing saved";
    const int16_t unknown = savedVersion_ == INT16_MAX ? INT16_MAX - 1 : INT16_MAX;
    std::optional<Bytes> before = Stored(main_);
    saved_->Rewind();
    uint16_t status = main_->Load(*saved_, unknown);
    if (status != 1) return "version " + std::to_string(unknown) + " answered " + Number(status);
    if (saved_->ReadPosition() != 0)
      return "it still read " + Number(saved_->ReadPosition()) + " bytes";
    std::optional<Bytes> after = Stored(main_);
    if (before && after && *before != *after)
      return "the instance changed: " + Difference(*before, *after);
    return "";
  });

  Check("GetAttribute of an unknown name answers 1", [&]() -> std::string {
    if (!Has(abi::slot::kGetAttribute)) return NotRegistered("GetAttribute");
    IntegerValue index{tag::kInteger, 1};
    for (const void* i : {static_cast<const void*>(nullptr), static_cast<const void*>(&index)}) {
      uint8_t out[64];
      std::memset(out, 0xA5, sizeof out);
      IntegerValue preset{tag::kInteger, 0x5A5A5A5A};
      std::memcpy(out, &preset, sizeof preset);
      uint8_t untouched[64];
      std::memcpy(untouched, out, sizeof out);
      uint16_t status = main_->GetAttribute(kUnknownAttribute, i, out);
      std::string with = i == nullptr ? " without an index" : " with an index";
      if (status != 1) return "answered " + Number(status) + with;
      if (std::memcmp(out, untouched, sizeof out) != 0)
        return "answered 1" + with + " but wrote into the output value";
    }
    return "";
  });
  Check("SetAttribute of an unknown name answers 1", [&]() -> std::string {
    if (!Has(abi::slot::kSetAttribute)) return NotRegistered("SetAttribute");
    std::optional<Bytes> before = Stored(main_);
    IntegerValue value{tag::kInteger, 7};
    uint16_t status = main_->SetAttribute(kUnknownAttribute, nullptr, &value);
    if (status != 1) return "answered " + Number(status);
    std::optional<Bytes> after = Stored(main_);
    if (before && after && *before != *after)
      return "the instance changed: " + Difference(*before, *after);
    return "";
  });
  Check("Enable then Disable leaves no listener", [&] { return EnableDisable(); });
  Check("VisitMessageIds passes the host's values", [&]() -> std::string {
    if (!Has(abi::slot::kVisitMessageIds)) return NotRegistered("VisitMessageIds");
    const size_t before = host_.Visits().size();
    uint16_t status = main_->VisitMessageIds(kVisitA, kVisitB);
    if (status != 0) return "answered " + Number(status);
    for (size_t i = before; i < host_.Visits().size(); ++i) {
      const refhost::VisitEntry& v = host_.Visits()[i];
      ids_.insert({v.id, v.second});
      if (v.a != kVisitA || v.b != kVisitB)
        return "visited " + IdText(v.id, v.second) + " with " + Number(v.a) + ", " + Number(v.b) +
               " instead of " + Number(kVisitA) + ", " + Number(kVisitB);
    }
    return "";
  });
  Check("HandleMessage of each id it listens for answers 0", [&]() -> std::string {
    if (!Has(abi::slot::kHandleMessage)) return NotRegistered("HandleMessage");
    if (listened_.empty()) return "skip: it listens for no message";
    for (const auto& [id, second] : listened_) {
      uint16_t status = main_->HandleMessage(owner_, id, second);
      if (status != 0) return IdText(id, second) + " answered " + Number(status);
    }
    return "";
  });
  Check("Destruct stops the periodic calls its messages started",
        [&] { return DestructWhileTicking(); });
  Check("HandleMessage of an id nobody uses answers 1", [&]() -> std::string {
    if (!Has(abi::slot::kHandleMessage)) return NotRegistered("HandleMessage");
    uint32_t id = 0x7FFF0001;
    const uint32_t second = 0x5A5A;
    while (ids_.count({id, second}) != 0) ++id;
    uint16_t status = main_->HandleMessage(owner_, id, second);
    return status == 1 ? "" : IdText(id, second) + " answered " + Number(status);
  });
  Check("HandleMessage of each of its own ids answers 0 or 1", [&]() -> std::string {
    if (!Has(abi::slot::kHandleMessage)) return NotRegistered("HandleMessage");
    if (ids_.empty()) return "skip: it showed no message id";
    for (const auto& [id, second] : ids_) {
      const uint16_t status = main_->HandleMessage(owner_, id, second);
      if (status > 1) return IdText(id, second) + " answered " + Number(status);
    }
    return "";
  });
  Check("no ownership fault and no leak once every instance is gone", [&] { return Ownership(); });
}

}  // namespace

void CheckClass(refhost::Host& host, const refhost::ClassInfo& info, CheckSink& sink) {
  ClassChecks checks(host, info, sink);
  checks.Run();
  host.DestroyAll();
}

}  // namespace plughost
