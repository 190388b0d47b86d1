#include "tools/plughost/class_checks.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "host/listeners.h"
#include "support/values.h"
#include "tools/plughost/check_context.h"
#include "win32/stand_in.h"

namespace plughost {
namespace checks {

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

std::string ClassChecks::RegistrationSlotsKnown() {
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

std::string ClassChecks::RegistrationRepeatable() {
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

std::string ClassChecks::Construct() {
  NEEDS(kConstruct, "Construct");
  MAKE(instance);
  return "";
}

std::string ClassChecks::CopyConstruct() {
  NEEDS(kCopyConstruct, "CopyConstruct");
  MAKE(source);
  Instance* copy = host_.CopyConstruct(*source, owner_, owner_);
  if (copy == nullptr) return "the host could not copy the instance";
  return SameStored(source, copy, "the copy stores differently");
}

std::string ClassChecks::Assign() {
  NEEDS(kAssign, "Assign");
  MAKE(source);
  MAKE(target);
  uint16_t status = target->Assign(*source);
  if (status != 0) return "Assign answered " + Number(status);
  std::string why = SameStored(source, target, "the assigned instance stores differently");
  if (!why.empty()) return why;
  std::optional<Bytes> before = Stored(source);
  status = source->Assign(*source);
  if (status != 0) return "assigning an instance to itself answered " + Number(status);
  return Unchanged(before, source, "assigning an instance to itself changed it");
}

// Names what an instance left allocated once destroyed.
std::string ClassChecks::DestructReleases() {
  NEEDS(kDestruct, "Destruct");
  MAKE(source);
  std::vector<Instance*> made = {source};
  if (Has(abi::slot::kCopyConstruct)) made.push_back(host_.CopyConstruct(*source, owner_, owner_));
  if (Has(abi::slot::kAssign)) {
    MAKE(assigned);
    assigned->Assign(*source);
    made.push_back(assigned);
  }
  for (Instance* instance : made) {
    if (instance == nullptr) return "the host could not copy the instance";
    const std::string label = instance->Label();
    host_.Destroy(instance);
    for (const refhost::Allocation& a : host_.Ownership().Leaks()) {
      if (a.madeBy == label) return label + " left " + a.ToString();
    }
  }
  return "";
}

std::string ClassChecks::Attached() {
  NEEDS(kAttached, "Attached");
  MAKE(instance);
  instance->Attached();
  return "";
}

std::string ClassChecks::Shown(Instance** instance, refhost::HostEditor** editor) {
  *instance = Make();
  if (*instance == nullptr) return "the host could not create an instance";
  *editor = &host_.NewEditor();
  uint16_t status = (*instance)->ToEditor(**editor, 0);
  return status == 0 ? "" : "ToEditor in mode 0 answered " + Number(status);
}

std::string ClassChecks::ToEditorModeZero() {
  NEEDS(kToEditor, "ToEditor");
  Instance* instance = nullptr;
  refhost::HostEditor* editor = nullptr;
  return Shown(&instance, &editor);
}

std::string ClassChecks::ToEditorOtherMode() {
  NEEDS(kToEditor, "ToEditor");
  MAKE(instance);
  refhost::HostEditor& editor = host_.NewEditor();
  uint16_t status = instance->ToEditor(editor, 1);
  if (status > 1) return "mode 1 answered " + Number(status) + ", neither 0 nor 1";
  if (status == 1 && editor.PutCount() != 0)
    return "refused mode 1 but still put " + Number(editor.PutCount()) + " item(s)";
  return "";
}

std::string ClassChecks::EditorRoundTrip() {
  NEEDS(kToEditor, "ToEditor");
  NEEDS(kFromEditor, "FromEditor");
  Instance* instance = nullptr;
  refhost::HostEditor* editor = nullptr;
  if (std::string why = Shown(&instance, &editor); !why.empty()) return why;
  std::optional<Bytes> before = Stored(instance);
  uint16_t status = instance->FromEditor(*editor);
  if (status != 0) return "FromEditor answered " + Number(status);
  if (std::string why =
          Unchanged(before, instance, "the stored form changed over an editor round trip");
      !why.empty())
    return why;
  // Settings an author changed come back as they were shown, into a fresh instance too.
  Instance* edited = MakeEdited();
  if (edited == nullptr) return "the host could not create an instance";
  refhost::HostEditor& shown = host_.NewEditor();
  edited->ToEditor(shown, 0);
  MAKE(fresh);
  status = fresh->FromEditor(shown);
  if (status != 0) return "FromEditor of edited settings answered " + Number(status);
  return SameStored(edited, fresh, "edited settings shown and read back store differently");
}

std::string ClassChecks::EditorItemChanged() {
  NEEDS(kToEditor, "ToEditor");
  NEEDS(kEditorItemChanged, "EditorItemChanged");
  Instance* instance = nullptr;
  refhost::HostEditor* editor = nullptr;
  if (std::string why = Shown(&instance, &editor); !why.empty()) return why;
  for (int16_t item : EditorItems(*editor)) {
    uint16_t status = instance->EditorItemChanged(*editor, item);
    if (status > 1) return "item " + Number(item) + ": answered " + Number(status);
  }
  return "";
}

std::string ClassChecks::ValidateOwnSettings() {
  NEEDS(kToEditor, "ToEditor");
  NEEDS(kValidateEditorItem, "ValidateEditorItem");
  Instance* instance = nullptr;
  refhost::HostEditor* editor = nullptr;
  if (std::string why = Shown(&instance, &editor); !why.empty()) return why;
  for (int16_t item : EditorItems(*editor)) {
    uint8_t ok = 7;
    char message[1024] = {};
    uint16_t status = instance->ValidateEditorItem(*editor, item, &ok, message);
    if (status > 1) return "item " + std::to_string(item) + ": answered " + Number(status);
    if (ok > 1) return "item " + std::to_string(item) + ": the ok flag is " + Number(ok);
    if (message[sizeof message - 1] != 0)
      return "item " + std::to_string(item) + ": the message fills the whole buffer";
    if (ok == 0) return "item " + std::to_string(item) + " refused: " + message;
  }
  return "";
}

std::string ClassChecks::SaveInto(Instance* instance, refhost::HostStream** saved,
                                  int16_t* version) {
  refhost::HostStream& stream = host_.NewStream();
  uint32_t size = 0;
  *version = -1;
  uint16_t status = instance->StoredSize(stream, version, &size);
  if (status != 0) return "StoredSize answered " + Number(status);
  if (!stream.Bytes().empty()) return "StoredSize wrote to the stream";
  status = instance->Save(stream);
  if (status != 0) return "Save answered " + Number(status);
  if (stream.Bytes().size() != size)
    return "StoredSize said " + Number(size) + " bytes, Save wrote " +
           Number(stream.Bytes().size());
  *saved = &stream;
  return "";
}

std::string ClassChecks::StoredSizeMatchesSave() {
  NEEDS(kSave, "Save");
  MAKE(instance);
  refhost::HostStream* saved = nullptr;
  int16_t version = 0;
  return SaveInto(instance, &saved, &version);
}

std::string ClassChecks::SaveLoadRoundTrip() {
  NEEDS(kSave, "Save");
  MAKE(instance);
  refhost::HostStream* saved = nullptr;
  int16_t version = 0;
  if (std::string why = SaveInto(instance, &saved, &version); !why.empty()) return why;
  MAKE(fresh);
  uint16_t status = fresh->Load(*saved, version);
  if (status != 0)
    return "Load of data version " + std::to_string(version) + " answered " + Number(status);
  if (saved->ReadPosition() != saved->Bytes().size())
    return "Load read " + Number(saved->ReadPosition()) + " of " + Number(saved->Bytes().size()) +
           " bytes";
  std::optional<Bytes> again = Stored(fresh);
  if (again && *again != saved->Bytes())
    return "the loaded instance stores differently: " + Difference(saved->Bytes(), *again);
  return "";
}

std::string ClassChecks::UnknownVersionRefused() {
  NEEDS(kSave, "Save");
  MAKE(instance);
  refhost::HostStream* saved = nullptr;
  int16_t version = 0;
  if (std::string why = SaveInto(instance, &saved, &version); !why.empty()) return why;
  const int16_t unknown = version == INT16_MAX ? INT16_MAX - 1 : INT16_MAX;
  std::optional<Bytes> before = Stored(instance);
  uint16_t status = instance->Load(*saved, unknown);
  if (status != 1) return "version " + std::to_string(unknown) + " answered " + Number(status);
  if (saved->ReadPosition() != 0)
    return "it still read " + Number(saved->ReadPosition()) + " bytes";
  return Unchanged(before, instance, "the instance changed");
}

std::string ClassChecks::GetUnknownRefused() {
  NEEDS(kGetAttribute, "GetAttribute");
  MAKE(instance);
  IntegerValue index{tag::kInteger, 1};
  for (const void* i : {static_cast<const void*>(nullptr), static_cast<const void*>(&index)}) {
    uint8_t out[64];
    std::memset(out, 0xA5, sizeof out);
    IntegerValue preset{tag::kInteger, 0x5A5A5A5A};
    std::memcpy(out, &preset, sizeof preset);
    uint8_t untouched[64];
    std::memcpy(untouched, out, sizeof out);
    uint16_t status = instance->GetAttribute(kUnknownAttribute, i, out);
    std::string with = i == nullptr ? " without an index" : " with an index";
    if (status != 1) return "answered " + Number(status) + with;
    if (std::memcmp(out, untouched, sizeof out) != 0)
      return "answered 1" + with + " but wrote into the output value";
  }
  return "";
}

std::string ClassChecks::SetUnknownRefused() {
  NEEDS(kSetAttribute, "SetAttribute");
  MAKE(instance);
  std::optional<Bytes> before = Stored(instance);
  IntegerValue value{tag::kInteger, 7};
  uint16_t status = instance->SetAttribute(kUnknownAttribute, nullptr, &value);
  if (status != 1) return "answered " + Number(status);
  return Unchanged(before, instance, "the instance changed");
}

std::string ClassChecks::EnableDisable() {
  NEEDS(kEnable, "Enable");
  MAKE(instance);
  uint16_t status = instance->Enable();
  if (status != 0) return "Enable answered " + Number(status);
  // Let whatever Enable started run: periodic calls and position notifications.
  host_.Advance(250);
  host_.SetPosition(owner_, 10);
  status = instance->Disable();
  if (status != 0) return "Disable answered " + Number(status);
  std::vector<refhost::ListenerInfo> left = ListenersOf(instance);
  if (!left.empty())
    return "after Disable it still listens to " + IdText(left[0].id, left[0].second);
  if (host_.PeriodicRunning(instance)) return "after Disable its periodic calls still run";
  for (const refhost::NotificationEntry& n : host_.Notifications()) {
    if (n.instance == instance) return "after Disable it still asks for notifications";
  }
  return "";
}

std::string ClassChecks::VisitPassesHostValues() {
  NEEDS(kVisitMessageIds, "VisitMessageIds");
  MAKE(instance);
  const size_t before = host_.Visits().size();
  uint16_t status = instance->VisitMessageIds(kVisitA, kVisitB);
  if (status != 0) return "answered " + Number(status);
  for (size_t i = before; i < host_.Visits().size(); ++i) {
    const refhost::VisitEntry& v = host_.Visits()[i];
    if (v.a != kVisitA || v.b != kVisitB)
      return "visited " + IdText(v.id, v.second) + " with " + Number(v.a) + ", " + Number(v.b) +
             " instead of " + Number(kVisitA) + ", " + Number(kVisitB);
  }
  return "";
}

std::string ClassChecks::OwnIdsHandled() {
  NEEDS(kHandleMessage, "HandleMessage");
  MAKE(instance);
  std::set<std::pair<uint32_t, uint32_t>> listened;
  OwnIds(instance, &listened);
  if (listened.empty()) return "skip: it listens for no message";
  for (const auto& [id, second] : listened) {
    uint16_t status = instance->HandleMessage(owner_, id, second);
    if (status != 0) return IdText(id, second) + " answered " + Number(status);
  }
  return "";
}

// A class may show an id it never listens for (one the host delivers to its object, say): it
// still has to answer it with a status the contract knows.
std::string ClassChecks::ShownIdsAnswered() {
  NEEDS(kHandleMessage, "HandleMessage");
  MAKE(instance);
  const std::set<std::pair<uint32_t, uint32_t>> shown = OwnIds(instance);
  if (shown.empty()) return "skip: it showed no message id";
  for (const auto& [id, second] : shown) {
    const uint16_t status = instance->HandleMessage(owner_, id, second);
    if (status > 1) return IdText(id, second) + " answered " + Number(status);
  }
  return "";
}

// A fresh instance is enabled and sent every message id the class showed, first as it is
// constructed and then with each integer item of its editor switched to 1 in turn (a mode
// choice, say); whatever periodic calls that starts must end with the instance. A host that
// does not drop them itself would go on calling Periodic on freed memory.
std::string ClassChecks::DestructStopsPeriodicCalls() {
  if (!info_.HasSlot(1, abi::slot::kPeriodic)) return "skip: no Periodic slot";
  MAKE(shown);
  const std::set<std::pair<uint32_t, uint32_t>> ids = OwnIds(shown);
  std::vector<int16_t> switches = {0};  // 0: no item switched
  if (Has(abi::slot::kToEditor) && Has(abi::slot::kFromEditor)) {
    refhost::HostEditor& editor = host_.NewEditor();
    shown->ToEditor(editor, 0);
    for (int16_t item : EditorItems(editor)) {
      if (item != 0 && editor.Item(item)->tag == tag::kInteger) switches.push_back(item);
    }
  }
  for (int16_t item : switches) {
    MAKE(ticker);
    if (item != 0) {
      refhost::HostEditor& editor = host_.NewEditor();
      ticker->ToEditor(editor, 0);
      editor.SetItem(item, refhost::Value::Integer(1));
      ticker->FromEditor(editor);
    }
    if (Has(abi::slot::kEnable)) ticker->Enable();
    for (const auto& [id, second] : ids) {
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

std::string ClassChecks::ForeignIdRefused() {
  NEEDS(kHandleMessage, "HandleMessage");
  MAKE(instance);
  // Every id the instance shows, as a listener or through VisitMessageIds, is its own.
  const std::set<std::pair<uint32_t, uint32_t>> own = OwnIds(instance);
  uint32_t id = 0x7FFF0001;
  const uint32_t second = 0x5A5A;
  while (own.count({id, second}) != 0) ++id;
  uint16_t status = instance->HandleMessage(owner_, id, second);
  return status == 1 ? "" : IdText(id, second) + " answered " + Number(status);
}

#undef NEEDS
#undef MAKE

struct CheckEntry {
  CheckInfo info;
  std::string (ClassChecks::*body)();
};

const std::vector<CheckEntry>& Table() {
  static const std::vector<CheckEntry> table = {
      {{"registration.slots-known",
        "flags, instance size, interface name and every slot column are ones the contract has"},
       &ClassChecks::RegistrationSlotsKnown},
      {{"registration.repeatable",
        "the name query and the registration, run again, give the same answers"},
       &ClassChecks::RegistrationRepeatable},
      {{"registration.name-query-writes-only-name-size-flags",
        "the name query writes descriptor bytes 0..15, 804 and 808 and nothing else"},
       &ClassChecks::NameQueryWritesOnlyItsFields},
      {{"registration.writes-only-its-fields",
        "the registration writes the name, row and column fields, tables, size and flags only"},
       &ClassChecks::RegistrationWritesOnlyItsFields},
      {{"registration.matches-declared-table",
        "size, flags, interface name and slots (columns and order) are what the contract "
        "declares for the class"},
       &ClassChecks::RegistrationMatchesDeclared},
      {{"registration.null-allocator-survived",
        "an allocator that gives no table is asked again for every slot and the entry returns"},
       &ClassChecks::NullAllocatorSurvived},
      {{"lifecycle.construct", "Construct (with a base object for flags 5) starts an instance"},
       &ClassChecks::Construct},
      {{"lifecycle.copy-construct", "a CopyConstruct copy stores what its source stores"},
       &ClassChecks::CopyConstruct},
      {{"lifecycle.assign", "Assign copies, and assigning an instance to itself changes nothing"},
       &ClassChecks::Assign},
      {{"lifecycle.destruct-releases-everything",
        "an instance, a copy and an assigned instance each leave nothing once destroyed"},
       &ClassChecks::DestructReleases},
      {{"lifecycle.attached", "Attached is answered"}, &ClassChecks::Attached},
      {{"lifecycle.destruct-stops-periodic-calls",
        "whatever periodic calls its messages start end when the instance is destroyed"},
       &ClassChecks::DestructStopsPeriodicCalls},
      {{"lifecycle.pattern-filled-memory",
        "instances made in memory full of a pattern behave as those made in zeroed memory"},
       &ClassChecks::PatternFilledMemory},
      {{"lifecycle.copy-outlives-source",
        "a copy and an assigned instance stay whole once their source is destroyed"},
       &ClassChecks::CopyOutlivesSource},
      {{"editor.to-editor-mode-0", "ToEditor in mode 0 answers 0"}, &ClassChecks::ToEditorModeZero},
      {{"editor.to-editor-other-mode", "ToEditor in mode 1 answers 0, or 1 and puts no item"},
       &ClassChecks::ToEditorOtherMode},
      {{"editor.round-trip",
        "FromEditor of what ToEditor showed, default or edited, gives the same settings"},
       &ClassChecks::EditorRoundTrip},
      {{"editor.item-changed", "EditorItemChanged on every item shown answers 0 or 1"},
       &ClassChecks::EditorItemChanged},
      {{"editor.validate-own-settings", "ValidateEditorItem accepts every item as it was shown"},
       &ClassChecks::ValidateOwnSettings},
      {{"editor.every-other-mode-alike",
        "a class that refuses mode 1 refuses every mode but 0 and puts no item"},
       &ClassChecks::EveryOtherModeAlike},
      {{"editor.every-item-number-survives",
        "EditorItemChanged and ValidateEditorItem of any item number leave a usable instance"},
       &ClassChecks::EveryItemNumberSurvives},
      {{"editor.from-editor-of-strange-items",
        "FromEditor of an empty editor or of items of every other kind leaves a usable instance"},
       &ClassChecks::FromEditorOfStrangeItems},
      {{"state.stored-size-matches-save", "StoredSize says exactly how many bytes Save writes"},
       &ClassChecks::StoredSizeMatchesSave},
      {{"state.save-load-round-trip",
        "Load into a fresh instance reads all that Save wrote, and it saves the same again"},
       &ClassChecks::SaveLoadRoundTrip},
      {{"state.unknown-version-refused",
        "Load of a data version the class does not write answers 1 and reads nothing"},
       &ClassChecks::UnknownVersionRefused},
      {{"state.edited-settings-round-trip",
        "settings changed in the editor survive Save, a fresh instance's Load and Save again"},
       &ClassChecks::EditedRoundTrip},
      {{"state.other-versions-refused",
        "Load of any version it does not read answers 1, reads nothing and changes nothing"},
       &ClassChecks::OtherVersions},
      {{"state.load-empty-stream", "Load of an empty stream leaves a usable instance"},
       &ClassChecks::LoadEmptyStream},
      {{"state.load-truncated-streams",
        "Load of every truncation of a stored form leaves a usable instance"},
       &ClassChecks::LoadTruncatedStreams},
      {{"state.load-bit-flipped-streams",
        "Load of stored forms with flipped bits leaves a usable instance"},
       &ClassChecks::LoadBitFlippedStreams},
      {{"state.load-random-streams",
        "Load of random bytes and of random values leaves a usable instance"},
       &ClassChecks::LoadRandomStreams},
      {{"attributes.get-unknown-name-refused",
        "GetAttribute of an unknown name answers 1 and leaves the output alone"},
       &ClassChecks::GetUnknownRefused},
      {{"attributes.set-unknown-name-refused",
        "SetAttribute of an unknown name answers 1 and changes nothing"},
       &ClassChecks::SetUnknownRefused},
      {{"attributes.every-name-index-and-output",
        "every contract name and unknown ones, with any index and output, never break it; a "
        "refused read leaves the output alone, a refused write changes nothing"},
       &ClassChecks::EveryNameIndexAndOutput},
      {{"messages.enable-disable-leaves-no-listener",
        "after Enable then Disable nothing listens, ticks or asks for notifications"},
       &ClassChecks::EnableDisable},
      {{"messages.visit-passes-host-values",
        "VisitMessageIds hands each id on with the two values the host passed"},
       &ClassChecks::VisitPassesHostValues},
      {{"messages.own-ids-handled", "HandleMessage of each id it listens for answers 0"},
       &ClassChecks::OwnIdsHandled},
      {{"messages.foreign-id-refused", "HandleMessage of an id the instance never uses answers 1"},
       &ClassChecks::ForeignIdRefused},
      {{"messages.shown-ids-answered", "HandleMessage of each id it shows answers 0 or 1"},
       &ClassChecks::ShownIdsAnswered},
      {{"messages.foreign-ids-change-nothing",
        "HandleMessage of many foreign ids answers 1 and sends, writes and changes nothing"},
       &ClassChecks::ForeignIdsChangeNothing},
      {{"messages.visit-covers-listened-ids",
        "VisitMessageIds visits every id the enabled instance listens for"},
       &ClassChecks::VisitCoversListenedIds},
      {{"faults.refused-allocations",
        "the Nth allocation refused in each operation: no crash, no leak, still destructible"},
       &ClassChecks::RefusedAllocations},
      {{"faults.failed-host-calls",
        "the Nth host call of each kind failing in each operation: no crash, no leak, still "
        "destructible"},
       &ClassChecks::FailedHostCalls},
  };
  return table;
}

uint32_t SeedFor(uint32_t seed, std::string_view check) {
  uint32_t hash = 2166136261u ^ seed;
  for (char c : check) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  return hash;
}

void ClassChecks::Check(const CheckInfo& check, uint32_t seed, std::string (ClassChecks::*body)()) {
  sink_.Begin(check.name);
  const auto start = std::chrono::steady_clock::now();
  const size_t faultsBefore = host_.Ownership().Faults().size();
  const size_t leaksBefore = host_.Ownership().Leaks().size();
  const size_t timedOutBefore = host_.TimedOutCalls().size();
  // What the system had handed out, and the misuse it had seen, before the check.
  const int handlesBefore = stand_in::LiveHandles().Total();
  const size_t systemFaultsBefore = stand_in::Faults().size();
  host_.Reseed(SeedFor(seed, check.name));
  random_ = SeedFor(seed ^ 0x9E3779B9u, check.name);
  faultsSeen_ = faultsBefore;
  leaksSeen_ = leaksBefore;
  timedOutSeen_ = timedOutBefore;
  owner_ = host_.AddObject(host_.Resolve("/validate"), "owner");
  host_.AddObject(owner_, "child");
  // A DLL that reached what the host does not serve fails the check it stopped the host in.
  const bool stopped = !host_.StopReason().empty();
  std::string why = stopped ? "skip: the host stopped in an earlier check" : (this->*body)();
  if (!stopped && !host_.StopReason().empty()) why = host_.StopReason();
  host_.DestroyAll();
  host_.RemoveObject(owner_);
  const auto& faults = host_.Ownership().Faults();
  const std::vector<refhost::Allocation> leaks = host_.Ownership().Leaks();
  if (host_.TimedOutCalls().size() > timedOutBefore) {
    why = host_.TimedOutCalls()[timedOutBefore].ToString();
  } else if (why.rfind("skip: ", 0) != 0 && faults.size() > faultsBefore &&
             why.find("ownership fault") == std::string::npos) {
    std::string fault = "ownership fault: " + faults[faultsBefore].ToString();
    if (faults.size() > faultsBefore + 1)
      fault += " (and " + Number(faults.size() - faultsBefore - 1) + " more)";
    why = why.empty() ? fault : why + "; " + fault;
  } else if (why.empty() && leaks.size() > leaksBefore) {
    why = "its instances, once destroyed, left " + Number(leaks.size() - leaksBefore) +
          " allocation(s), the first: " + leaks[leaksBefore].ToString();
  } else if (why.empty() && stand_in::LiveHandles().Total() > handlesBefore) {
    // What the instances took from the system (device contexts, files, memory) must be back.
    why = Number(stand_in::LiveHandles().Total() - handlesBefore) +
          " system handle(s) still open: " + stand_in::Report();
  } else if (why.empty() && stand_in::Faults().size() > systemFaultsBefore) {
    why = "system call misused: " + stand_in::Faults()[systemFaultsBefore];
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (why.rfind("skip: ", 0) == 0) {
    sink_.End(check.name, Outcome::kSkip, why.substr(6), seconds);
  } else {
    sink_.End(check.name, why.empty() ? Outcome::kOk : Outcome::kFail, why, seconds);
  }
}

void ClassChecks::Run(const CheckOptions& options) {
  strictness_ = std::clamp(options.strictness, 1, 10);
  if (host_.Resolve("/validate") == 0) host_.AddObject(0, "validate");
  for (const CheckEntry& entry : Table()) {
    if (options.selected(entry.info.name)) Check(entry.info, options.seed, entry.body);
  }
}

}  // namespace checks

using checks::CheckEntry;
using checks::ClassChecks;
using checks::Table;

const std::vector<CheckInfo>& AllChecks() {
  static const std::vector<CheckInfo> checks = [] {
    std::vector<CheckInfo> all;
    for (const CheckEntry& entry : Table()) all.push_back(entry.info);
    return all;
  }();
  return checks;
}

void CheckClass(refhost::Host& host, const refhost::ClassInfo& info, const CheckOptions& options,
                CheckSink& sink) {
  ClassChecks checks(host, info, sink);
  checks.Run(options);
  host.DestroyAll();
}

}  // namespace plughost
