// What the checks of `plughost validate` share: the ClassChecks class, whose member functions
// are the checks (their bodies live in the *_checks.cpp files by area), and the helpers they
// use to make instances, save them and say what differs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/listeners.h"
#include "support/values.h"
#include "tools/plughost/class_checks.h"

namespace plughost::checks {

using refhost::Instance;
using Bytes = std::vector<uint8_t>;

// An attribute name no class answers to, within the 16 characters a name field holds.
constexpr char kUnknownAttribute[] = "zzNoSuchAttr";
constexpr uint32_t kVisitA = 0xA1;
constexpr uint32_t kVisitB = 0xB2;
constexpr int kEditorItemsFrom = -64;
constexpr int kEditorItemsTo = 256;

inline std::string Number(uint64_t n) {
  return std::to_string(n);
}

inline std::string IdText(uint32_t id, uint32_t second) {
  return "id(" + Number(id) + "," + Number(second) + ")";
}

inline std::string SlotText(uint16_t row, uint16_t column) {
  std::string_view name = refhost::SlotName(row, column);
  return "row " + Number(row) + " column " + Number(column) +
         (name.empty() ? "" : " (" + std::string(name) + ")");
}

// What differs between two stored forms, in a sentence.
inline std::string Difference(const Bytes& a, const Bytes& b) {
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

// Gives back what an attribute read handed over in `out`: a text buffer other than `ours` that
// the read put there, or the host list of a whole-list transfer.
void GiveBackOutput(refhost::Host& host, const uint8_t* out, const char* ours);

// Runs the class's entry in `phase` on a fresh descriptor of the host's.
Registration Register(refhost::Host& host, const refhost::ClassInfo& info, int16_t phase);

class ClassChecks {
 public:
  ClassChecks(refhost::Host& host, const refhost::ClassInfo& info, CheckSink& sink)
      : host_(host), info_(info), sink_(sink) {}

  void Run(const CheckOptions& options);

  // The checks, one function each.
  std::string RegistrationSlotsKnown();
  std::string RegistrationRepeatable();
  std::string Construct();
  std::string CopyConstruct();
  std::string Assign();
  std::string DestructReleases();
  std::string Attached();
  std::string ToEditorModeZero();
  std::string ToEditorOtherMode();
  std::string EditorRoundTrip();
  std::string EditorItemChanged();
  std::string ValidateOwnSettings();
  std::string StoredSizeMatchesSave();
  std::string SaveLoadRoundTrip();
  std::string UnknownVersionRefused();
  std::string GetUnknownRefused();
  std::string SetUnknownRefused();
  std::string EnableDisable();
  std::string VisitPassesHostValues();
  std::string OwnIdsHandled();
  std::string ShownIdsAnswered();
  std::string DestructStopsPeriodicCalls();
  std::string ForeignIdRefused();
  // registration_checks.cpp
  std::string NameQueryWritesOnlyItsFields();
  std::string RegistrationWritesOnlyItsFields();
  std::string RegistrationMatchesDeclared();
  std::string NullAllocatorSurvived();
  // lifecycle_checks.cpp
  std::string PatternFilledMemory();
  std::string CopyOutlivesSource();
  // state_checks.cpp
  std::string EditedRoundTrip();
  std::string OtherVersions();
  std::string LoadEmptyStream();
  std::string LoadTruncatedStreams();
  std::string LoadBitFlippedStreams();
  std::string LoadRandomStreams();
  // editor_checks.cpp
  std::string EveryOtherModeAlike();
  std::string EveryItemNumberSurvives();
  std::string FromEditorOfStrangeItems();
  // attribute_checks.cpp
  std::string EveryNameIndexAndOutput();
  std::string ForeignIdsChangeNothing();
  std::string VisitCoversListenedIds();
  // fault_checks.cpp
  std::string RefusedAllocations();
  std::string FailedHostCalls();

 private:
  // Runs one check: "" from the body is a pass, "skip: why" a skip, anything else why it
  // failed. Whatever the check made is destroyed after it; an ownership fault or a leak meanwhile
  // fails it too, and so does a call abandoned at the time limit.
  void Check(const CheckInfo& check, uint32_t seed, std::string (ClassChecks::*body)());

  bool Has(uint16_t column) const { return info_.HasSlot(0, column); }
  static std::string NotRegistered(const char* slot) {
    return std::string("skip: no ") + slot + " slot";
  }
  // A fresh instance on the check's owner object, or null when the host could not make one.
  Instance* Make() { return host_.Create(info_.name, owner_, owner_); }
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
  // "" when the instance still stores `before` (or the class cannot save), else what changed.
  std::string Unchanged(const std::optional<Bytes>& before, Instance* instance,
                        const std::string& what) {
    std::optional<Bytes> after = Stored(instance);
    if (!before || !after || *before == *after) return "";
    return what + ": " + Difference(*before, *after);
  }
  // Saves an instance as the host writes a title: StoredSize, then Save into a fresh stream.
  std::string SaveInto(Instance* instance, refhost::HostStream** stream, int16_t* version);
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
  // Every message id the instance shows: through VisitMessageIds, and as a listener once
  // enabled (into `listened` as well, when given). Leaves it disabled.
  std::set<std::pair<uint32_t, uint32_t>> OwnIds(
      Instance* instance, std::set<std::pair<uint32_t, uint32_t>>* listened = nullptr) {
    std::set<std::pair<uint32_t, uint32_t>> own;
    const size_t visits = host_.Visits().size();
    instance->VisitMessageIds(kVisitA, kVisitB);
    for (size_t i = visits; i < host_.Visits().size(); ++i)
      own.insert({host_.Visits()[i].id, host_.Visits()[i].second});
    if (Has(abi::slot::kEnable) && instance->Enable() == 0) {
      for (const refhost::ListenerInfo& l : ListenersOf(instance)) {
        own.insert({l.id, l.second});
        if (listened != nullptr) listened->insert({l.id, l.second});
      }
      instance->Disable();
    }
    return own;
  }
  // An instance shown in a fresh editor in mode 0, for the editor checks.
  std::string Shown(Instance** instance, refhost::HostEditor** editor);

  // ---- For the robustness checks (check_helpers.cpp).
  // A fresh instance whose every editor item was changed to another value of its kind, as an
  // author would; a plain fresh one when the class has no editor. Null when none can be made.
  Instance* MakeEdited();
  // "" when the instance still works after what was done to it: it saves exactly what
  // StoredSize promised, shows itself in the editor and can be copied.
  std::string Usable(Instance* instance);
  // Destroys every instance and says what that showed since the last call (or the check's
  // start): an ownership fault, a leak or an abandoned call, pinned on `during`.
  std::string Clean(const std::string& during);
  // How many of `all` cases a check tries at the run's strictness: every one at 10.
  size_t Budget(size_t all, size_t perStrictness) const {
    if (strictness_ >= 10) return all;
    return std::min(all, perStrictness * static_cast<size_t>(strictness_));
  }
  uint32_t Draw(uint32_t below) { return below == 0 ? 0 : Next() % below; }
  uint32_t Next() {
    random_ = random_ * 1664525u + 1013904223u;
    return random_ ^ (random_ >> 15);
  }
  void Progress(const std::string& what) { sink_.Progress(what); }
  // The stored form and data version of an edited instance; false when it cannot save.
  bool EditedForm(Bytes* bytes, int16_t* version);
  // Loads `bytes` as `version` into a fresh instance and says what went wrong, naming `what`:
  // whatever Load answers, the instance must stay usable and go away cleanly.
  std::string LoadSurvived(const Bytes& bytes, int16_t version, const std::string& what);
  // Fault injection (fault_checks.cpp): runs every operation once cleanly, then again with
  // each failure `inject(n, kind)` sets up, for n = 1 up to what the clean run used.
  std::string EveryOperationFailing(bool allocations);
  // Copies of the instance record: "changes nothing" at the byte level.
  Bytes RecordOf(const Instance* instance) const {
    const auto* bytes = static_cast<const uint8_t*>(instance->Record());
    return Bytes(bytes, bytes + info_.instanceSize);
  }

  refhost::Host& host_;
  const refhost::ClassInfo& info_;
  CheckSink& sink_;
  uint32_t owner_ = 0;
  int strictness_ = 5;
  uint32_t random_ = 1;
  size_t faultsSeen_ = 0, leaksSeen_ = 0, timedOutSeen_ = 0;
};

#define NEEDS(column, name) \
  if (!Has(abi::slot::column)) return NotRegistered(name)
#define MAKE(instance)         \
  Instance* instance = Make(); \
  if (instance == nullptr) return "the host could not create an instance"

}  // namespace plughost::checks
