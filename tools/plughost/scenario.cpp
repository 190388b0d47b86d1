#include "tools/plughost/scenario.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>

#include "host/class_knowledge.h"
#include "host/host.h"
#include "host/host_method.h"
#include "host/listeners.h"
#include "host/motion.h"
#include "host/playback.h"
#include "host/series.h"
#include "tools/plughost/layout_picture.h"
#include "tools/plughost/library_search.h"
#include "tools/plughost/plot.h"
#include "tools/plughost/scenario_printer.h"
#include "win32/stand_in.h"

namespace plughost::scenario {
namespace {

namespace fs = std::filesystem;

// The owner word of texts the scenario hands to a plug-in: no instance lives there, so no
// plug-in takes them for its own and frees them.
constexpr uint32_t kScenarioOwner = 0x5CE0;
constexpr uint32_t kTextRoom = 4096;
// Characters of a sparkline in the terminal.
constexpr size_t kSparklineWidth = 60;

// Storage for one plug-in shaped value: the record and, for a text, its characters.
struct Record {
  alignas(8) uint8_t bytes[64] = {};
  std::string chars;
  void* data() { return bytes; }
};

// What the last command answered, for `expect`.
struct Last {
  std::optional<int> status;
  std::optional<std::string> value;
  std::optional<int> delivered;
  std::optional<int> handled;
  std::optional<int> sent;
  std::optional<std::vector<std::string>> list;  // show: each element, described
};

class Runner {
 public:
  Runner(const RunOptions& options, std::ostream& out, std::ostream& err)
      : options_(options), out_(out), err_(err) {}
  int Run(const std::vector<Step>& steps);

 private:
  bool Execute(const Step& step);
  bool Error(std::string message) {
    error_ = std::move(message);
    return false;
  }
  std::string Where(const Step& step) const {
    return options_.fileName + ":" + std::to_string(step.line) + ": ";
  }

  // Lookups that fail with a readable error.
  bool FindInstance(const std::string& name, refhost::Instance** out);
  bool FindObject(const std::string& path, uint32_t* out);
  bool FindLibrary(const std::string& name, std::string* out);

  // Values.
  bool ToRecord(const Literal& literal, Record* record);
  bool ToValue(const Literal& literal, refhost::Value* value);
  std::string Describe(const refhost::Value& value) const;
  std::string ReadBack(Record* record);
  std::string NameOf(const refhost::Instance* instance) const;
  std::string ObjectText(uint32_t handle) const;

  // Reports of what the host saw.
  void NewMessages();
  void NewCursors();
  void Machine(const Step& s);
  void NewFaults();
  void Report();
  void Tree();
  void PrintTrace();

  bool Load(const Step& s);
  bool Object(const Step& s);
  bool New(const Step& s);
  bool Copy(const Step& s);
  bool Set(const Step& s);
  bool Get(const Step& s);
  bool Save(const Step& s);
  bool Restore(const Step& s);
  bool EditorPut(const Step& s);
  void ListEditorItems(const refhost::Instance& instance);
  bool Play(const Step& s);
  bool Move(const Step& s);
  bool WritePlot(const Step& s);
  std::string MarkLabel(const refhost::HandledMessage& message);
  bool Fill(const Step& s);
  bool Show(const Step& s);
  bool Layout(const Step& s);
  bool WriteOut(const std::string& name, const std::string& contents, std::string* where);
  bool Check(const Step& s);

  RunOptions options_;
  std::ostream& out_;
  std::ostream& err_;
  refhost::Host host_;
  std::map<std::string, refhost::Instance*> instances_;
  std::vector<std::string> objects_;  // paths in the order they were added
  refhost::HostEditor* editor_ = nullptr;
  refhost::HostStream* saved_ = nullptr;
  int16_t savedVersion_ = 0;
  size_t messagesSeen_ = 0;
  size_t visitsSeen_ = 0;
  size_t cursorsSeen_ = 0;
  PrintingSeen printingSeen_;
  size_t faultsSeen_ = 0;
  // Where the next plot begins in the host's logs of attribute writes and handled messages.
  size_t writesPlotted_ = 0;
  size_t handledPlotted_ = 0;
  Last last_;
  std::string error_;
  size_t expectations_ = 0;
  size_t failedExpectations_ = 0;
  size_t refusedExports_ = 0;
};

// ---- Lookups.

bool Runner::FindInstance(const std::string& name, refhost::Instance** out) {
  auto it = instances_.find(name);
  if (it == instances_.end()) return Error("no instance named \"" + name + "\" (make it with new)");
  *out = it->second;
  return true;
}

bool Runner::FindObject(const std::string& path, uint32_t* out) {
  *out = host_.Resolve(path);
  if (*out == 0) return Error("no object " + path + " (add it with object)");
  return true;
}

// A path is taken as it is (or next to the scenario). A bare name is looked for in --lib-dir,
// the scenario's folder and the current folder, then anywhere below --lib-dir (a build tree
// keeps each library in a folder of its own), where it must be found exactly once. It finds
// either build of the library, the Linux one first, unless --form chose.
bool Runner::FindLibrary(const std::string& name, std::string* out) {
  std::error_code ec;
  auto isFile = [&](const fs::path& p) { return fs::is_regular_file(p, ec); };
  if (name.find('/') != std::string::npos) {
    for (const fs::path& p : {fs::path(name), fs::path(options_.scenarioDir) / name}) {
      if (isFile(p)) {
        *out = p.string();
        return true;
      }
    }
    return Error("cannot find library " + name);
  }
  std::vector<std::string> names = {name};
  const std::string extension = fs::path(name).extension().string();
  if (extension != ".so" && extension != ".dll") {
    if (options_.form != "dll") names.push_back(name + ".so");
    if (options_.form != "so") names.push_back(name + ".dll");
  }
  std::vector<std::string> dirs;
  for (const std::string& dir :
       {options_.libDir, options_.scenarioDir.empty() ? "." : options_.scenarioDir,
        std::string(".")}) {
    if (!dir.empty() && std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
  }
  for (const std::string& dir : dirs) {
    for (const std::string& n : names) {
      if (isFile(fs::path(dir) / n)) {
        *out = (fs::path(dir) / n).string();
        return true;
      }
    }
  }
  // A build tree keeps each library in its own folder: look below --lib-dir as well, by the
  // first file name of `names` found there, which must be found once.
  for (std::vector<std::string>& same : FindEachBelow(options_.libDir, names)) {
    if (same.empty()) continue;
    if (same.size() == 1) {
      *out = same.front();
      return true;
    }
    std::string list;
    for (const std::string& f : same) list += "\n  " + f;
    return Error("library " + name + " is found " + std::to_string(same.size()) + " times below " +
                 options_.libDir + "; load one by its path:" + list);
  }
  std::string looked;
  for (const std::string& dir : dirs) looked += (looked.empty() ? "" : ", ") + dir;
  return Error("cannot find library " + name + " (looked in " + looked +
               (options_.libDir.empty() ? "; name a folder with --lib-dir"
                                        : " and below " + options_.libDir) +
               ")");
}

// ---- Values.

const char* TagName(uint16_t t) {
  switch (t) {
    case tag::kEmpty:
      return "an empty value";
    case tag::kInteger:
      return "an integer";
    case tag::kReal:
      return "a real";
    case tag::kFlag:
      return "a flag";
    case tag::kMessageId:
      return "a message id";
    case tag::kRange:
      return "a range";
    case tag::kChoice:
      return "a choice";
    case tag::kText:
    case tag::kTextSecond:
      return "a text";
    case tag::kReference:
      return "an object reference";
    case tag::kUnassigned:
      return "nothing (unassigned)";
    default:
      return "a value of another kind";
  }
}

const char* OutTypeName(OutType type) {
  static const char* const kNames[] = {"any", "int", "real", "flag", "id", "text", "ref"};
  return kNames[static_cast<int>(type)];
}

// "   # a; b", or nothing.
std::string Notes(const std::vector<std::string>& notes) {
  std::string text;
  for (const std::string& n : notes) text += (text.empty() ? "   # " : "; ") + n;
  return text;
}

bool Runner::ToRecord(const Literal& literal, Record* record) {
  void* at = record->data();
  switch (literal.kind) {
    case Literal::Kind::kInteger: {
      IntegerValue v{tag::kInteger, literal.integer};
      std::memcpy(at, &v, sizeof v);
      return true;
    }
    case Literal::Kind::kReal: {
      RealValue v{tag::kReal, literal.real};
      std::memcpy(at, &v, sizeof v);
      return true;
    }
    case Literal::Kind::kFlag: {
      FlagValue v{tag::kFlag, static_cast<uint16_t>(literal.integer)};
      std::memcpy(at, &v, sizeof v);
      return true;
    }
    case Literal::Kind::kId: {
      MessageIdValue v{tag::kMessageId, literal.id, literal.second};
      std::memcpy(at, &v, sizeof v);
      return true;
    }
    case Literal::Kind::kText: {
      record->chars = literal.text;
      TextValue v{tag::kText, kScenarioOwner, static_cast<uint32_t>(record->chars.size() + 1),
                  static_cast<uint32_t>(record->chars.size()), record->chars.data()};
      std::memcpy(at, &v, sizeof v);
      return true;
    }
    case Literal::Kind::kRef: {
      uint32_t object = 0;
      if (!literal.text.empty() && !FindObject(literal.text, &object)) return false;
      ReferenceValue v{tag::kReference, nullptr, nullptr, object, nullptr};
      std::memcpy(at, &v, sizeof v);
      return true;
    }
    case Literal::Kind::kUnassigned: {
      uint16_t t = tag::kUnassigned;
      std::memcpy(at, &t, sizeof t);
      return true;
    }
    case Literal::Kind::kEmpty: {
      uint16_t t = tag::kEmpty;
      std::memcpy(at, &t, sizeof t);
      return true;
    }
    case Literal::Kind::kRange: {
      RangeValue v{tag::kRange, literal.integer, literal.end};
      std::memcpy(at, &v, sizeof v);
      return true;
    }
    case Literal::Kind::kChoice: {
      ChoiceValue v{tag::kChoice, literal.id, literal.second};
      std::memcpy(at, &v, sizeof v);
      return true;
    }
    case Literal::Kind::kPoint: {
      PointValue v{tag::kPoint, static_cast<int16_t>(literal.integer),
                   static_cast<int16_t>(literal.end)};
      std::memcpy(at, &v, sizeof v);
      return true;
    }
    case Literal::Kind::kDuration: {
      DurationValue v{tag::kDuration, literal.id, literal.second,
                      static_cast<uint32_t>(literal.integer)};
      std::memcpy(at, &v, sizeof v);
      return true;
    }
    case Literal::Kind::kTarget: {
      uint32_t object = 0;
      if (!FindObject(literal.text, &object)) return false;
      const refhost::TargetDesignationValue v = host_.MakeTarget(object);
      std::memcpy(at, &v, sizeof v);
      return true;
    }
  }
  return false;
}

bool Runner::ToValue(const Literal& literal, refhost::Value* value) {
  switch (literal.kind) {
    case Literal::Kind::kText:
      *value = refhost::Value::Text(literal.text);
      return true;
    case Literal::Kind::kRef: {
      uint32_t object = 0;
      if (!literal.text.empty() && !FindObject(literal.text, &object)) return false;
      *value = refhost::Value::Reference(object);
      return true;
    }
    default: {
      Record record;
      if (!ToRecord(literal, &record)) return false;
      return refhost::Value::FromRecord(record.data(), value);
    }
  }
}

std::string Runner::ObjectText(uint32_t handle) const {
  if (handle == 0) return "none";
  std::string path = host_.PathOf(handle);
  if (!path.empty()) return path;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "#%#x (gone)", handle);
  return buffer;
}

// The same spelling as Format(Literal), so `expect value` compares like with like.
std::string Runner::Describe(const refhost::Value& value) const {
  Literal literal;
  auto word = [&value](size_t at) {
    uint32_t w = 0;
    if (value.raw.size() >= at + 4) std::memcpy(&w, value.raw.data() + at, 4);
    return w;
  };
  switch (value.tag) {
    case tag::kInteger:
      literal.integer = value.AsInteger();
      return Format(literal);
    case tag::kReal:
      literal.kind = Literal::Kind::kReal;
      if (value.raw.size() >= 10) std::memcpy(&literal.real, value.raw.data() + 2, 8);
      return Format(literal);
    case tag::kFlag:
      literal.kind = Literal::Kind::kFlag;
      literal.integer = (word(2) & 0xFFFF) != 0;
      return Format(literal);
    case tag::kMessageId:
      literal.kind = Literal::Kind::kId;
      literal.id = word(2);
      literal.second = word(6);
      return Format(literal);
    case tag::kText:
    case tag::kTextSecond:
      return Quote(value.text);
    case tag::kReference:
      return "ref(" + ObjectText(value.object) + ")";
    case tag::kUnassigned:
      return "unassigned";
    case tag::kEmpty:
      return "empty";
    case tag::kRange:
      literal.kind = Literal::Kind::kRange;
      literal.integer = static_cast<int32_t>(word(2));
      literal.end = static_cast<int32_t>(word(6));
      return Format(literal);
    case tag::kPoint:
      literal.kind = Literal::Kind::kPoint;
      literal.integer = static_cast<int16_t>(word(2) & 0xFFFF);
      literal.end = static_cast<int16_t>(word(2) >> 16);
      return Format(literal);
    case tag::kChoice:
      literal.kind = Literal::Kind::kChoice;
      literal.id = word(2);
      literal.second = word(6);
      return Format(literal);
    case tag::kDuration:
      literal.kind = Literal::Kind::kDuration;
      literal.id = word(2);
      literal.second = word(6);
      literal.integer = static_cast<int32_t>(word(10));
      return Format(literal);
    case tag::kTripleReal: {
      double d[3] = {};
      if (value.raw.size() >= 26) std::memcpy(d, value.raw.data() + 2, sizeof d);
      char buffer[96];
      std::snprintf(buffer, sizeof buffer, "triple(%.15g,%.15g,%.15g)", d[0], d[1], d[2]);
      return buffer;
    }
    case refhost::hosttag::kTargetDesignation:
      return "target(" + ObjectText(word(2)) + ")";
    default:
      return value.Describe();
  }
}

// Reads what a plug-in left in an output record. A text it put in a buffer of its own is read
// and given back through the host, as the runtime would once it has used it.
std::string Runner::ReadBack(Record* record) {
  refhost::Value value;
  if (!refhost::Value::FromRecord(record->data(), &value)) {
    uint16_t t;
    std::memcpy(&t, record->data(), 2);
    return "<tag " + std::to_string(t) + ">";
  }
  if (refhost::IsText(value.tag)) {
    TextValue v;
    std::memcpy(&v, record->data(), sizeof v);
    const refhost::Allocation* a =
        host_.Ownership().Find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(v.chars)));
    if (v.chars != nullptr && v.chars != record->chars.data() && a != nullptr &&
        a->kind == refhost::AllocationKind::kString) {
      refhost::CallHostMethod(host_.ServiceObject(abi::service::kString), abi::kServiceRow,
                              abi::method::kFreeString, v.chars);
    }
  }
  return Describe(value);
}

std::string Runner::NameOf(const refhost::Instance* instance) const {
  for (const auto& [name, i] : instances_) {
    if (i == instance) return name + " (" + instance->Label() + ")";
  }
  return instance == nullptr ? "the host" : instance->Label();
}

// ---- What the host saw.

void Runner::NewMessages() {
  const auto& messages = host_.Messages();
  for (; messagesSeen_ < messages.size(); ++messagesSeen_) {
    const refhost::MessageLogEntry& m = messages[messagesSeen_];
    out_ << "  " << NameOf(m.sender) << " sent id(" << m.id << "," << m.second << ") about "
         << ObjectText(m.object) << " to ";
    // A destination that names no object reaches the listeners of every object: say so, and
    // show what the plug-in passed, since that is what its editor configured.
    if (m.destination != 0) {
      out_ << ObjectText(m.destination);
    } else if (m.destinationValue.tag == tag::kEmpty) {
      out_ << "every object";
    } else {
      out_ << "every object (" << Describe(m.destinationValue) << ")";
    }
    if (m.data.tag != tag::kEmpty) out_ << ", data " << Describe(m.data);
    char flags[16];
    std::snprintf(flags, sizeof flags, "%#x", m.flags);
    out_ << ", flags " << flags << (m.delivered ? "" : " (not delivered)") << "\n";
  }
}

void Runner::NewCursors() {
  const auto& cursors = host_.Cursors();
  for (; cursorsSeen_ < cursors.size(); ++cursorsSeen_) {
    out_ << "  " << NameOf(cursors[cursorsSeen_].instance) << " asked for cursor "
         << cursors[cursorsSeen_].cursor << "\n";
  }
}

// The system clock as a date, or that it follows this machine's.
std::string ClockText(int64_t seconds) {
  if (seconds == stand_in::kRealClock) return "the time it is now";
  const auto t = static_cast<time_t>(seconds);
  struct tm utc {};
  char text[64];
  if (gmtime_r(&t, &utc) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc) == 0) {
    return std::to_string(seconds) + " s";
  }
  return std::string(text) + " (" + std::to_string(seconds) + " s since 1970)";
}

// Sets the facts the system queries answer, then shows them all.
void Runner::Machine(const Step& s) {
  stand_in::MachineFacts& machine = stand_in::Machine();
  for (const auto& [key, value] : s.facts) {
    if (key == "version") machine.version = static_cast<uint32_t>(value);
    if (key == "processor") machine.processorType = static_cast<uint32_t>(value);
    if (key == "width") machine.screenWidth = static_cast<int32_t>(value);
    if (key == "height") machine.screenHeight = static_cast<int32_t>(value);
    if (key == "depth") machine.screenBitsPerPixel = static_cast<int32_t>(value);
    if (key == "keyboard") machine.keyboardType = static_cast<int32_t>(value);
    if (key == "time") machine.calendarSeconds = value;
  }
  char version[32];
  std::snprintf(version, sizeof version, "%u.%u (%#x)", machine.version & 0xFF,
                (machine.version >> 8) & 0xFF, machine.version);
  out_ << "  machine: system " << version << ", processor type " << machine.processorType
       << ", screen " << machine.screenWidth << " x " << machine.screenHeight << " at "
       << machine.screenBitsPerPixel << " bits, keyboard type " << machine.keyboardType << "\n";
  out_ << "  clock: " << ClockText(machine.calendarSeconds) << "\n";
}

void Runner::NewFaults() {
  const auto& faults = host_.Ownership().Faults();
  for (; faultsSeen_ < faults.size(); ++faultsSeen_)
    out_ << "  ownership fault: " << faults[faultsSeen_].ToString() << "\n";
}

void Runner::Report() {
  const refhost::Ownership& ownership = host_.Ownership();
  const size_t faults = ownership.Faults().size();
  const size_t live = ownership.Leaks().size();
  if (host_.Instances().empty()) {
    out_ << "  ownership: " << faults << " fault" << (faults == 1 ? "" : "s") << ", " << live
         << " leak" << (live == 1 ? "" : "s") << "\n";
  } else {
    out_ << "  ownership: " << faults << " fault" << (faults == 1 ? "" : "s") << ", " << live
         << " allocation" << (live == 1 ? "" : "s") << " held by " << host_.Instances().size()
         << " live instance" << (host_.Instances().size() == 1 ? "" : "s")
         << " (destroy all to see leaks)\n";
  }
  for (const refhost::Fault& f : ownership.Faults()) out_ << "    fault: " << f.ToString() << "\n";
  for (const refhost::Allocation& a : ownership.Leaks())
    out_ << "    " << (host_.Instances().empty() ? "leak" : "held") << ": " << a.ToString() << "\n";
}

void Runner::Tree() {
  for (const std::string& path : objects_) {
    uint32_t handle = host_.Resolve(path);
    if (handle == 0) continue;
    size_t depth = std::count(path.begin(), path.end(), '/');
    out_ << "  " << std::string(2 * (depth - 1), ' ') << host_.NameOf(handle);
    bool first = true;
    for (refhost::Instance* instance : host_.InstancesOf(handle)) {
      out_ << (first ? "  [" : ", ") << NameOf(instance);
      first = false;
    }
    out_ << (first ? "" : "]") << "\n";
  }
}

// ---- Commands.

bool Runner::Load(const Step& s) {
  std::string path;
  if (!FindLibrary(s.text, &path)) return false;
  refhost::LoadResult result = host_.Load(path);
  if (!result.error.empty()) return Error(result.error);
  out_ << "  loaded " << path << ":";
  for (const std::string& c : result.classes) out_ << " " << c;
  out_ << "\n";
  for (const std::string& e : result.exportErrors) out_ << "  refused: " << e << "\n";
  refusedExports_ += result.exportErrors.size();
  return true;
}

bool Runner::Object(const Step& s) {
  if (host_.Resolve(s.path) != 0) return Error("object " + s.path + " exists already");
  size_t slash = s.path.rfind('/');
  uint32_t parent = 0;
  if (slash != 0 && !FindObject(s.path.substr(0, slash), &parent)) return false;
  uint32_t handle = host_.AddObject(parent, s.path.substr(slash + 1), s.className);
  if (handle == 0) return Error("the host refused object " + s.path);
  objects_.push_back(s.path);
  return true;
}

bool Runner::New(const Step& s) {
  if (instances_.count(s.name) != 0) return Error("instance \"" + s.name + "\" exists already");
  const refhost::ClassInfo* info = host_.FindClass(s.className);
  if (info == nullptr) return Error("no class " + s.className + " (load its library first)");
  if (!info->usable) return Error("class " + s.className + " was refused: " + info->error);
  uint32_t owner = 0, base = 0;
  if (!FindObject(s.path, &owner)) return false;
  base = owner;
  if (!s.base.empty() && !FindObject(s.base, &base)) return false;
  refhost::Instance* instance = host_.Create(s.className, owner, base);
  if (instance == nullptr) return Error("the host could not create a " + s.className);
  instances_[s.name] = instance;
  out_ << "  " << s.name << " = " << instance->Label() << " on " << s.path;
  if (info->classFlags == abi::kClassFlagsBaseObject) out_ << ", base " << ObjectText(base);
  out_ << "\n";
  return true;
}

bool Runner::Copy(const Step& s) {
  refhost::Instance* source = nullptr;
  if (!FindInstance(s.other, &source)) return false;
  if (instances_.count(s.name) != 0) return Error("instance \"" + s.name + "\" exists already");
  uint32_t owner = source->Owner(), base = source->BaseObject();
  if (!s.path.empty() && !FindObject(s.path, &owner)) return false;
  if (!s.base.empty() && !FindObject(s.base, &base)) return false;
  refhost::Instance* copy = host_.CopyConstruct(*source, owner, base);
  if (copy == nullptr) return Error("the host could not copy " + s.other);
  instances_[s.name] = copy;
  out_ << "  " << s.name << " = " << copy->Label() << ", a copy of " << NameOf(source) << ", on "
       << ObjectText(owner) << "\n";
  return true;
}

bool Runner::Set(const Step& s) {
  if (!s.path.empty()) {
    uint32_t object = 0;
    refhost::Value value, index;
    if (!FindObject(s.path, &object) || !ToValue(s.value, &value)) return false;
    if (s.index && !ToValue(*s.index, &index)) return false;
    host_.SetObjectValue(object, s.attribute, value, s.index ? &index : nullptr);
    return true;
  }
  refhost::Instance* instance = nullptr;
  Record value, index;
  if (!FindInstance(s.name, &instance) || !ToRecord(s.value, &value)) return false;
  if (s.index && !ToRecord(*s.index, &index)) return false;
  uint16_t status =
      instance->SetAttribute(s.attribute, s.index ? index.data() : nullptr, value.data());
  if (status == refhost::kSlotNotRegistered) {
    return Error(instance->Class().name + " has no SetAttribute: its attributes are read-only");
  }
  last_.status = status;
  if (status != 0) out_ << "  refused (status " << status << ")\n";
  return true;
}

bool Runner::Get(const Step& s) {
  std::string shown;
  if (!s.path.empty()) {
    uint32_t object = 0;
    refhost::Value index;
    if (!FindObject(s.path, &object)) return false;
    if (s.index && !ToValue(*s.index, &index)) return false;
    const refhost::Value* value =
        host_.ObjectValue(object, s.attribute, s.index ? &index : nullptr);
    last_.status = value == nullptr ? 1 : 0;
    if (value == nullptr) {
      out_ << "  " << s.path << " has no attribute " << s.attribute << "\n";
      return true;
    }
    last_.value = Describe(*value);
    out_ << "  " << s.path << "." << s.attribute << " = " << *last_.value << "\n";
    return true;
  }
  refhost::Instance* instance = nullptr;
  Record index;
  if (!FindInstance(s.name, &instance)) return false;
  if (s.index && !ToRecord(*s.index, &index)) return false;
  Record out;
  void* at = out.data();
  switch (s.as) {
    case OutType::kAny: {
      uint16_t t = tag::kUnassigned;
      std::memcpy(at, &t, 2);
      break;
    }
    case OutType::kInteger: {
      IntegerValue v{tag::kInteger, 0};
      std::memcpy(at, &v, sizeof v);
      break;
    }
    case OutType::kReal: {
      RealValue v{tag::kReal, 0};
      std::memcpy(at, &v, sizeof v);
      break;
    }
    case OutType::kFlag: {
      FlagValue v{tag::kFlag, 0};
      std::memcpy(at, &v, sizeof v);
      break;
    }
    case OutType::kId: {
      MessageIdValue v{tag::kMessageId, 0, 0};
      std::memcpy(at, &v, sizeof v);
      break;
    }
    case OutType::kText: {
      out.chars.assign(kTextRoom, '\0');
      TextValue v{tag::kText, kScenarioOwner, kTextRoom, 0, out.chars.data()};
      std::memcpy(at, &v, sizeof v);
      break;
    }
    case OutType::kRef: {
      ReferenceValue v{tag::kReference, nullptr, nullptr, 0, nullptr};
      std::memcpy(at, &v, sizeof v);
      break;
    }
  }
  uint16_t preset = 0, wrote = 0;
  std::memcpy(&preset, at, 2);
  uint16_t status = instance->GetAttribute(s.attribute, s.index ? index.data() : nullptr, at);
  if (status == refhost::kSlotNotRegistered)
    return Error(instance->Class().name + " has no GetAttribute");
  last_.status = status;
  std::string label = s.name + "." + s.attribute;
  if (s.index) {
    // Index words usually pack a selector in the top byte: show those as written, in hex.
    char hex[16];
    std::snprintf(hex, sizeof hex, "%#x", static_cast<uint32_t>(s.index->integer));
    const bool packed = s.index->kind == Literal::Kind::kInteger &&
                        (s.index->integer < 0 || s.index->integer > 0xFFFF);
    label += "[" + (packed ? std::string(hex) : Format(*s.index)) + "]";
  }
  // What a reader would not see from the numbers alone, as a comment after the line.
  std::vector<std::string> notes;
  if (s.index && s.index->kind == Literal::Kind::kInteger) {
    std::string meaning = refhost::ListIndexMeaning(static_cast<uint32_t>(s.index->integer));
    if (!meaning.empty()) notes.push_back("index: " + meaning);
  }
  if (status != 0) {
    out_ << "  " << label << ": refused (status " << status << ")" << Notes(notes) << "\n";
    return true;
  }
  std::memcpy(&wrote, at, 2);
  if (s.as != OutType::kAny && wrote != preset) {
    notes.push_back(std::string("asked as ") + OutTypeName(s.as) + ", the plug-in wrote " +
                    TagName(wrote));
  }
  last_.value = ReadBack(&out);
  out_ << "  " << label << " = " << *last_.value << Notes(notes) << "\n";
  return true;
}

bool Runner::Save(const Step& s) {
  refhost::Instance* instance = nullptr;
  if (!FindInstance(s.name, &instance)) return false;
  if (!instance->Class().HasSlot(0, abi::slot::kSave))
    return Error(instance->Class().name + " has no Save");
  refhost::HostStream& stream = host_.NewStream();
  int16_t version = 0;
  uint32_t size = 0;
  uint16_t sized = instance->StoredSize(stream, &version, &size);
  uint16_t status = instance->Save(stream);
  last_.status = status;
  saved_ = &stream;
  savedVersion_ = version;
  out_ << "  saved " << s.name << ": data version " << version << ", " << stream.Bytes().size()
       << " bytes";
  if (status != 0) out_ << ", Save answered " << status;
  out_ << "\n";
  if (sized != refhost::kSlotNotRegistered && size != stream.Bytes().size()) {
    out_ << "  FAIL: StoredSize said " << size << " bytes (status " << sized << ")\n";
    err_ << Where(s) << "StoredSize said " << size << " bytes, Save wrote " << stream.Bytes().size()
         << "\n";
    ++failedExpectations_;
  }
  refhost::Value value;
  std::string values;
  while (stream.Read(&value)) values += (values.empty() ? "" : ", ") + Describe(value);
  stream.Rewind();
  if (!values.empty()) out_ << "  stored: " << values << "\n";
  return true;
}

bool Runner::Restore(const Step& s) {
  refhost::Instance* instance = nullptr;
  if (!FindInstance(s.name, &instance)) return false;
  if (saved_ == nullptr) return Error("nothing saved yet (save an instance first)");
  int16_t version = s.hasNumber ? static_cast<int16_t>(s.number) : savedVersion_;
  saved_->Rewind();
  uint16_t status = instance->Load(*saved_, version);
  if (status == refhost::kSlotNotRegistered) return Error(instance->Class().name + " has no Load");
  last_.status = status;
  out_ << "  " << s.name << " read " << saved_->ReadPosition() << " of " << saved_->Bytes().size()
       << " bytes as data version " << version;
  if (status != 0) out_ << ": refused (status " << status << ")";
  out_ << "\n";
  return true;
}

bool Runner::EditorPut(const Step& s) {
  refhost::Instance* instance = nullptr;
  if (!FindInstance(s.name, &instance)) return false;
  editor_ = &host_.NewEditor();
  int16_t mode = s.hasNumber ? static_cast<int16_t>(s.number) : 0;
  uint16_t status = instance->ToEditor(*editor_, mode);
  if (status == refhost::kSlotNotRegistered)
    return Error(instance->Class().name + " has no ToEditor");
  last_.status = status;
  if (status != 0) out_ << "  refused (status " << status << ")\n";
  ListEditorItems(*instance);
  return true;
}

void Runner::ListEditorItems(const refhost::Instance& instance) {
  for (int item = -64; item < 256; ++item) {
    const refhost::Value* value = editor_->Item(static_cast<int16_t>(item));
    if (value == nullptr) continue;
    std::string_view meaning =
        refhost::EditorItemMeaning(instance.Class().name, static_cast<int16_t>(item));
    out_ << "  item " << item << " = " << Describe(*value)
         << (editor_->Disabled(static_cast<int16_t>(item)) ? " (disabled)" : "")
         << (meaning.empty() ? "" : "   # ") << meaning << "\n";
  }
}

// Plays step by step rather than through Playback::Play so that each message shows up right
// after the position that caused it. Positions are taken from the start of the run, as
// Playback::Play takes them, so a rate that does not divide evenly never drifts.
bool Runner::Play(const Step& s) {
  uint32_t object = 0;
  if (!FindObject(s.path, &object)) return false;
  refhost::Playback playback(host_, object);
  const int64_t start = playback.Position();
  const int64_t rate = playback.Rate();
  const size_t before = host_.Messages().size();
  const auto total = static_cast<uint32_t>(s.number);
  const auto stride = static_cast<uint32_t>(s.step);
  std::string line;
  int told = 0;
  int steps = 0;
  for (uint32_t elapsed = 0; elapsed < total;) {
    const uint32_t step = std::min(stride, total - elapsed);
    const size_t sentBefore = host_.Messages().size();
    host_.Advance(step);
    elapsed += step;
    const int64_t at = start + rate * elapsed / 1000;
    const auto position = static_cast<int32_t>(std::clamp<int64_t>(at, INT32_MIN, INT32_MAX));
    told += playback.Seek(position);
    ++steps;
    line += " " + std::to_string(position);
    if (host_.Messages().size() != sentBefore) {
      out_ << "  at" << line << "\n";
      line.clear();
      NewMessages();
    }
  }
  if (!line.empty()) out_ << "  at" << line << "\n";
  last_.sent = static_cast<int>(host_.Messages().size() - before);
  out_ << "  played " << total << " ms at " << rate << " a second: " << steps << " step"
       << (steps == 1 ? "" : "s") << ", " << told << " notification" << (told == 1 ? "" : "s")
       << ", " << *last_.sent << " message" << (last_.sent == 1 ? "" : "s") << " sent; clock at "
       << host_.Now() / 1000 << " ms\n";
  return true;
}

// Reads a dealt layout back through the instance's "value" at positions 1..28 and shows it as
// the plain list, the three layers in the terminal and, when asked, an SVG file.
bool Runner::Layout(const Step& s) {
  refhost::Instance* instance = nullptr;
  if (!FindInstance(s.name, &instance)) return false;
  LayoutKinds kinds{};
  std::string list;
  int refused = 0;
  for (int position = 1; position <= tavin::tiles::kPositions; ++position) {
    const IntegerValue index{tag::kInteger, position};
    Record out;
    const IntegerValue preset{tag::kInteger, 0};
    std::memcpy(out.data(), &preset, sizeof preset);
    const uint16_t status = instance->GetAttribute("value", &index, out.data());
    if (status == refhost::kSlotNotRegistered)
      return Error(instance->Class().name + " has no GetAttribute");
    IntegerValue read;
    std::memcpy(&read, out.data(), sizeof read);
    const bool ok = status == 0 && read.tag == tag::kInteger;
    if (ok) kinds[position] = read.value;
    refused += ok ? 0 : 1;
    list += (position == 1 ? "" : " ") + (ok ? std::to_string(read.value) : std::string("-"));
  }
  last_.status = refused == 0 ? 0 : 1;
  out_ << "  " << s.name << ".value[1.." << tavin::tiles::kPositions << "] = " << list << "\n";
  if (refused != 0) out_ << "  " << refused << " position(s) refused\n";
  std::string picture = LayoutText(kinds);
  for (size_t start = 0; start < picture.size();) {
    const size_t end = picture.find('\n', start);
    out_ << "  " << picture.substr(start, end - start) << "\n";
    start = end + 1;
  }
  if (s.text.empty()) return true;
  std::string where;
  if (!WriteOut(s.text, LayoutSvg(kinds, "The deal as " + s.name + " holds it"), &where))
    return false;
  out_ << "  wrote " << where << "\n";
  return true;
}

// Writes a file the scenario asked for, a relative name into --out-dir; `where` is its full
// path.
bool Runner::WriteOut(const std::string& name, const std::string& contents, std::string* where) {
  fs::path file(name);
  if (file.is_relative() && !options_.outDir.empty()) file = fs::path(options_.outDir) / file;
  std::error_code ec;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  std::ofstream out(file, std::ios::binary);
  out << contents;
  out.close();
  if (!out) return Error("cannot write " + file.string());
  *where = fs::absolute(file, ec).lexically_normal().string();
  return true;
}

bool Runner::Move(const Step& s) {
  uint32_t object = 0;
  if (!FindObject(s.path, &object)) return false;
  refhost::Motion motion(host_, object);
  const size_t before = host_.Messages().size();
  Literal from;
  from.kind = Literal::Kind::kPoint;
  from.integer = motion.Position().x;
  from.end = motion.Position().y;
  const std::vector<PointValue> places =
      motion.MoveTo(static_cast<int16_t>(s.value.integer), static_cast<int16_t>(s.value.end),
                    static_cast<uint32_t>(s.number), static_cast<uint32_t>(s.step));
  last_.sent = static_cast<int>(host_.Messages().size() - before);
  out_ << "  moved " << s.path << " from " << Format(from) << " to " << Format(s.value) << " in "
       << places.size() << " step" << (places.size() == 1 ? "" : "s") << "; clock at "
       << host_.Now() / 1000 << " ms\n";
  return true;
}

// What a mark on a plotted line says: "start" or "stop" when the message is the first or the
// second of the instance's "events" (read now, while it lives), else the id itself.
std::string Runner::MarkLabel(const refhost::HandledMessage& message) {
  Literal id;
  id.kind = Literal::Kind::kId;
  id.id = message.id;
  id.second = message.second;
  for (refhost::Instance* instance : host_.Instances()) {
    if (instance->Label() != message.instance) continue;
    const char* const names[] = {"start", "stop"};
    const uint32_t selectors[] = {0x80000001u, 0x40000001u};
    for (int member = 0; member < 2; ++member) {
      IntegerValue index{tag::kInteger, static_cast<int32_t>(selectors[member])};
      MessageIdValue event{tag::kMessageId, 0, 0};
      if (instance->GetAttribute("events", &index, &event) == 0 && event.id == message.id &&
          event.second == message.second) {
        return names[member];
      }
    }
  }
  return Format(id);
}

bool Runner::WritePlot(const Step& s) {
  Plot plot;
  plot.attribute = s.attribute;
  plot.toMicros = host_.Now();
  // The picture begins where something happened, not where the last one ended.
  plot.fromMicros = plot.toMicros;
  size_t values = 0;
  const std::vector<refhost::HandledMessage>& handled = host_.HandledMessages();
  for (const refhost::Series& series : refhost::IntegerSeries(host_, s.attribute, writesPlotted_)) {
    PlotLine line;
    line.name = ObjectText(series.object);
    line.points = series.points;
    values += line.points.size();
    plot.fromMicros = std::min(plot.fromMicros, line.points.front().micros);
    for (size_t i = handledPlotted_; i < handled.size(); ++i) {
      if (handled[i].owner != series.object || handled[i].result != 0) continue;
      line.marks.push_back(PlotMark{handled[i].micros, MarkLabel(handled[i])});
      plot.fromMicros = std::min(plot.fromMicros, handled[i].micros);
    }
    plot.lines.push_back(std::move(line));
  }
  writesPlotted_ = host_.AttributeWrites().size();
  handledPlotted_ = handled.size();

  std::string where;
  if (!WriteOut(s.text, PlotSvg(plot), &where)) return false;

  out_ << "  " << s.attribute << " from " << TimeText(plot.fromMicros) << " to "
       << TimeText(plot.toMicros) << ": " << plot.lines.size() << " object"
       << (plot.lines.size() == 1 ? "" : "s") << ", " << values << " value"
       << (values == 1 ? "" : "s") << " (" << plot.Low() << " at the bottom, " << plot.High()
       << " at the top)\n";
  for (const PlotLine& line : plot.lines) {
    const Sparkline spark = MakeSparkline(plot, line, kSparklineWidth);
    std::string name = line.name;
    if (name.size() < 16) name.resize(16, ' ');
    out_ << "  " << name << " |" << spark.values << "| " << line.points.back().value << "\n";
    if (!spark.marks.empty())
      out_ << "  " << std::string(name.size() + 2, ' ') << spark.marks << "\n";
  }
  out_ << "  wrote " << where << "\n";
  return true;
}

// A list filled in one line: its "count", then every "value" from position 1.
bool Runner::Fill(const Step& s) {
  refhost::Instance* instance = nullptr;
  if (!FindInstance(s.name, &instance)) return false;
  Record count;
  const IntegerValue n{tag::kInteger, static_cast<int32_t>(s.values.size())};
  std::memcpy(count.data(), &n, sizeof n);
  uint16_t status = instance->SetAttribute("count", nullptr, count.data());
  if (status == refhost::kSlotNotRegistered)
    return Error(instance->Class().name + " has no SetAttribute: it cannot be filled");
  for (size_t i = 0; i < s.values.size(); ++i) {
    Record value, index;
    if (!ToRecord(s.values[i], &value)) return false;
    const IntegerValue position{tag::kInteger, static_cast<int32_t>(i + 1)};
    std::memcpy(index.data(), &position, sizeof position);
    const uint16_t written = instance->SetAttribute("value", index.data(), value.data());
    if (written != 0 && status == 0) {
      status = written;
      out_ << "  value[" << i + 1 << "] = " << Format(s.values[i]) << ": refused (status "
           << written << ")\n";
    }
  }
  last_.status = status;
  return true;
}

// Every element of a list, read as the list answers it.
bool Runner::Show(const Step& s) {
  refhost::Instance* instance = nullptr;
  if (!FindInstance(s.name, &instance)) return false;
  Record count;
  const IntegerValue preset{tag::kInteger, 0};
  std::memcpy(count.data(), &preset, sizeof preset);
  uint16_t status = instance->GetAttribute("count", nullptr, count.data());
  if (status == refhost::kSlotNotRegistered)
    return Error(instance->Class().name + " has no GetAttribute: it cannot be shown");
  IntegerValue n;
  std::memcpy(&n, count.data(), sizeof n);
  if (status != 0 || n.tag != tag::kInteger) {
    last_.status = status;
    out_ << "  " << s.name << " has no count\n";
    return true;
  }
  std::vector<std::string> items;
  for (int32_t i = 1; i <= n.value; ++i) {
    Record out, index;
    const uint16_t unassigned = tag::kUnassigned;
    std::memcpy(out.data(), &unassigned, sizeof unassigned);
    const IntegerValue position{tag::kInteger, i};
    std::memcpy(index.data(), &position, sizeof position);
    const uint16_t read = instance->GetAttribute("value", index.data(), out.data());
    items.push_back(read == 0 ? ReadBack(&out) : "<refused " + std::to_string(read) + ">");
  }
  std::string shown;
  for (const std::string& item : items) shown += (shown.empty() ? "" : ", ") + item;
  out_ << "  " << s.name << " = [" << shown << "] (" << n.value << " elements)\n";
  last_.status = 0;
  last_.list = std::move(items);
  return true;
}

bool Runner::Check(const Step& s) {
  std::string expected, got;
  auto count = [](std::optional<int> v) { return v ? std::to_string(*v) : std::string(); };
  switch (s.expect) {
    case Expect::kStatus:
      expected = std::to_string(s.number);
      got = count(last_.status);
      break;
    case Expect::kValue:
      expected = Format(s.value);
      got = last_.value.value_or("");
      break;
    case Expect::kDelivered:
      expected = std::to_string(s.number);
      got = count(last_.delivered);
      break;
    case Expect::kHandled:
      expected = std::to_string(s.number);
      got = count(last_.handled);
      break;
    case Expect::kSent:
      expected = std::to_string(s.number);
      got = count(last_.sent);
      break;
    case Expect::kFaults:
      expected = std::to_string(s.number);
      got = std::to_string(host_.Ownership().Faults().size());
      break;
    case Expect::kLeaks:
      expected = std::to_string(s.number);
      got = std::to_string(host_.Ownership().Leaks().size());
      break;
    case Expect::kListeners:
      expected = std::to_string(s.number);
      got = std::to_string(refhost::Listeners(host_).size());
      break;
    case Expect::kMessages:
      expected = std::to_string(s.number);
      got = std::to_string(host_.Messages().size());
      break;
    case Expect::kList:
      if (!last_.list) return Error("no show before this line read a list to check");
      for (const Literal& v : s.values) expected += (expected.empty() ? "" : " ") + Format(v);
      for (const std::string& v : *last_.list) got += (got.empty() ? "" : " ") + v;
      expected = "[" + expected + "]";
      got = "[" + got + "]";
      break;
    case Expect::kCursor:
      expected = std::to_string(s.number);
      got = host_.Cursors().empty() ? "no cursor" : std::to_string(host_.Cursors().back().cursor);
      break;
    case Expect::kCursors:
      expected = std::to_string(s.number);
      got = std::to_string(host_.Cursors().size());
      break;
    case Expect::kPrinted:
      expected = std::to_string(s.number);
      got = std::to_string(PrintJobCount());
      break;
  }
  if (got.empty()) {
    static const char* const kWhat[] = {"status", "value", "delivered", "handled", "sent count"};
    return Error(std::string("no command before this line answered a ") +
                 kWhat[static_cast<int>(s.expect)] + " to check");
  }
  if (got == expected) {
    out_ << "  ok\n";
    return true;
  }
  out_ << "  FAIL: expected " << expected << ", got " << got << "\n";
  err_ << Where(s) << "expected " << expected << ", got " << got << "\n";
  ++failedExpectations_;
  return true;
}

bool Runner::Execute(const Step& s) {
  // Results of a previous command stay readable only until the next command that has some.
  auto fresh = [this] { last_ = Last{}; };
  refhost::Instance* instance = nullptr;
  switch (s.op) {
    case Op::kSay:
      out_ << s.text << "\n";
      return true;
    case Op::kLoad:
      return Load(s);
    case Op::kClasses:
      for (const refhost::ClassInfo* info : host_.Classes()) {
        if (!info->usable) {
          out_ << "  " << info->name << ": refused: " << info->error << "\n";
          continue;
        }
        out_ << "  " << info->name << " (" << info->library << "): " << info->instanceSize
             << " bytes, flags " << info->classFlags << " ("
             << refhost::ClassFlagsMeaning(info->classFlags) << "), " << info->slots.size()
             << " slots\n";
      }
      return true;
    case Op::kObject:
      return Object(s);
    case Op::kTree:
      Tree();
      return true;
    case Op::kNew:
      fresh();
      return New(s);
    case Op::kCopy:
      fresh();
      return Copy(s);
    case Op::kAssign: {
      refhost::Instance* source = nullptr;
      if (!FindInstance(s.name, &instance) || !FindInstance(s.other, &source)) return false;
      fresh();
      uint16_t status = instance->Assign(*source);
      if (status == refhost::kSlotNotRegistered)
        return Error(instance->Class().name + " has no Assign");
      last_.status = status;
      if (status != 0) out_ << "  refused (status " << status << ")\n";
      return true;
    }
    case Op::kDestroy:
      if (s.name == "all") {
        host_.DestroyAll();
        instances_.clear();
        return true;
      }
      if (!FindInstance(s.name, &instance)) return false;
      host_.Destroy(instance);
      instances_.erase(s.name);
      return true;
    case Op::kEnable:
    case Op::kDisable: {
      if (!FindInstance(s.name, &instance)) return false;
      fresh();
      uint16_t status = s.op == Op::kEnable ? instance->Enable() : instance->Disable();
      if (status == refhost::kSlotNotRegistered)
        return Error(instance->Class().name + " has no " +
                     (s.op == Op::kEnable ? "Enable" : "Disable"));
      last_.status = status;
      if (status != 0) out_ << "  refused (status " << status << ")\n";
      return true;
    }
    case Op::kSet:
      fresh();
      return Set(s);
    case Op::kGet:
      fresh();
      return Get(s);
    case Op::kSend: {
      uint32_t object = 0;
      if (!FindObject(s.path, &object)) return false;
      fresh();
      refhost::MessageOutcome outcome = host_.SendMessage(object, s.value.id, s.value.second);
      last_.delivered = outcome.delivered;
      last_.handled = outcome.handled;
      out_ << "  delivered to " << outcome.delivered << ", handled by " << outcome.handled << "\n";
      return true;
    }
    case Op::kDeliver: {
      uint32_t object = 0;
      if (!FindInstance(s.name, &instance)) return false;
      object = instance->Owner();
      if (!s.path.empty() && !FindObject(s.path, &object)) return false;
      fresh();
      uint16_t status = instance->HandleMessage(object, s.value.id, s.value.second);
      if (status == refhost::kSlotNotRegistered)
        return Error(instance->Class().name + " has no HandleMessage");
      last_.status = status;
      out_ << "  "
           << (status == 0 ? "handled" : "not handled (status " + std::to_string(status) + ")")
           << "\n";
      return true;
    }
    case Op::kAdvance:
      host_.Advance(static_cast<uint32_t>(s.number));
      out_ << "  clock at " << host_.Now() / 1000 << " ms\n";
      return true;
    case Op::kPosition:
    case Op::kSeek: {
      uint32_t object = 0;
      if (!FindObject(s.path, &object)) return false;
      fresh();
      if (!s.hasNumber) {
        const int32_t at = host_.PositionOf(object);
        last_.status = 0;
        last_.value = std::to_string(at);
        out_ << "  " << s.path << " at " << at << "\n";
        return true;
      }
      const int told = refhost::Playback(host_, object).Seek(static_cast<int32_t>(s.number));
      out_ << "  " << told << " instance" << (told == 1 ? "" : "s") << " told\n";
      return true;
    }
    case Op::kRate: {
      uint32_t object = 0;
      if (!FindObject(s.path, &object)) return false;
      fresh();
      refhost::Playback playback(host_, object);
      if (s.hasNumber) playback.SetRate(static_cast<int32_t>(s.number));
      last_.status = 0;
      last_.value = std::to_string(playback.Rate());
      out_ << "  " << s.path << " plays at " << playback.Rate() << " a second\n";
      return true;
    }
    case Op::kPlay:
      fresh();
      return Play(s);
    case Op::kMove:
      fresh();
      return Move(s);
    case Op::kPlot:
      return WritePlot(s);
    case Op::kEditor:
      fresh();
      return EditorPut(s);
    case Op::kItem: {
      if (editor_ == nullptr) return Error("no editor yet (editor NAME first)");
      refhost::Value value;
      if (!ToValue(s.value, &value)) return false;
      editor_->SetItem(static_cast<int16_t>(s.number), value);
      return true;
    }
    case Op::kChange: {
      if (!FindInstance(s.name, &instance)) return false;
      if (editor_ == nullptr) return Error("no editor yet (editor NAME first)");
      fresh();
      uint16_t status = instance->EditorItemChanged(*editor_, static_cast<int16_t>(s.number));
      if (status == refhost::kSlotNotRegistered)
        return Error(instance->Class().name + " has no EditorItemChanged");
      last_.status = status;
      if (status != 0) out_ << "  refused (status " << status << ")\n";
      ListEditorItems(*instance);
      return true;
    }
    case Op::kApply: {
      if (!FindInstance(s.name, &instance)) return false;
      if (editor_ == nullptr) return Error("no editor yet (editor NAME first)");
      fresh();
      uint16_t status = instance->FromEditor(*editor_);
      if (status == refhost::kSlotNotRegistered)
        return Error(instance->Class().name + " has no FromEditor");
      last_.status = status;
      if (status != 0) out_ << "  refused (status " << status << ")\n";
      return true;
    }
    case Op::kSave:
      fresh();
      return Save(s);
    case Op::kRestore:
      fresh();
      return Restore(s);
    case Op::kVisit: {
      if (!FindInstance(s.name, &instance)) return false;
      fresh();
      uint16_t status = instance->VisitMessageIds(1, 2);
      if (status == refhost::kSlotNotRegistered)
        return Error(instance->Class().name + " has no VisitMessageIds");
      last_.status = status;
      const auto& visits = host_.Visits();
      for (; visitsSeen_ < visits.size(); ++visitsSeen_)
        out_ << "  visited id(" << visits[visitsSeen_].id << "," << visits[visitsSeen_].second
             << ")\n";
      return true;
    }
    case Op::kMessages:
      if (host_.Messages().empty()) out_ << "  no message sent by a plug-in\n";
      messagesSeen_ = 0;
      NewMessages();
      return true;
    case Op::kVisits:
      if (host_.Visits().empty()) out_ << "  no message id visited\n";
      for (const refhost::VisitEntry& v : host_.Visits())
        out_ << "  visited id(" << v.id << "," << v.second << ")\n";
      return true;
    case Op::kListeners: {
      std::vector<refhost::ListenerInfo> listeners = refhost::Listeners(host_);
      if (listeners.empty()) out_ << "  nobody listens\n";
      for (const refhost::ListenerInfo& l : listeners)
        out_ << "  " << NameOf(l.instance) << " on " << ObjectText(l.instance->Owner())
             << " listens to id(" << l.id << "," << l.second << ")\n";
      return true;
    }
    case Op::kReport:
      Report();
      return true;
    case Op::kMachine:
      Machine(s);
      return true;
    case Op::kPrinter:
      SetPrinter(s.printer, out_);
      return true;
    case Op::kCursors:
      if (host_.Cursors().empty()) out_ << "  no cursor asked for\n";
      cursorsSeen_ = 0;
      NewCursors();
      return true;
    case Op::kTrace:
      host_.ClearTrace();
      host_.SetTracing(s.number != 0);
      return true;
    case Op::kFill:
      fresh();
      return Fill(s);
    case Op::kShow:
      fresh();
      return Show(s);
    case Op::kExpect:
      return Check(s);
    case Op::kLayout:
      fresh();
      return Layout(s);
  }
  return Error("this command is not implemented");
}

// The calls of the command just run, each under the one that caused it.
void Runner::PrintTrace() {
  for (const refhost::HostCall& call : host_.Trace()) {
    out_ << "  | " << std::string(2 * static_cast<size_t>(call.depth), ' ') << call.Line() << "\n";
  }
  host_.ClearTrace();
}

// Commands that call into a plug-in: each sets the `sent` count of `expect`.
bool CallsPlugins(const Step& step) {
  switch (step.op) {
    case Op::kNew:
    case Op::kCopy:
    case Op::kAssign:
    case Op::kDestroy:
    case Op::kEnable:
    case Op::kDisable:
    case Op::kSet:
    case Op::kGet:
    case Op::kSend:
    case Op::kDeliver:
    case Op::kAdvance:
    case Op::kSeek:
    case Op::kMove:
    case Op::kPlot:
    case Op::kChange:
    case Op::kFill:
    case Op::kShow:
    case Op::kPlay:
    case Op::kEditor:
    case Op::kApply:
    case Op::kSave:
    case Op::kRestore:
    case Op::kVisit:
      return true;
    case Op::kPosition:  // with a number it seeks; without, it only reads
      return step.hasNumber;
    default:
      return false;
  }
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

int Runner::Run(const std::vector<Step>& steps) {
  host_.SetTracing(options_.trace);
  // A relative file path a plug-in hands the host names a file beside the scenario.
  host_.SetFileFolder(options_.scenarioDir);
  host_.SetCallLimit(options_.callLimitMs);
  int stoppedAt = 0;
  for (const Step& step : steps) {
    if (step.op != Op::kSay) out_ << "> " << step.source << "\n";
    const size_t sentBefore = host_.Messages().size();
    const size_t timedOutBefore = host_.TimedOutCalls().size();
    bool ok = Execute(step);
    // A DLL that reached what the host does not serve ends the run with that sentence.
    if (!host_.StopReason().empty()) ok = Error(host_.StopReason());
    if (ok && CallsPlugins(step))
      last_.sent = static_cast<int>(host_.Messages().size() - sentBefore);
    if (step.op == Op::kExpect) ++expectations_;
    PrintTrace();
    NewMessages();
    NewCursors();
    ShowNewPrinting(&printingSeen_, out_);
    NewFaults();
    // A plug-in that ran past the time limit is fenced off; nothing it does after is trusted.
    if (host_.TimedOutCalls().size() > timedOutBefore) {
      ok = Error(host_.TimedOutCalls()[timedOutBefore].ToString() + " (--timeout sets the limit)");
    }
    out_.flush();
    if (!ok) {
      err_ << Where(step) << error_ << "\n";
      stoppedAt = step.line;
      break;
    }
  }
  // Whatever the scenario left alive goes now, also after an error, so what it leaked shows.
  if (host_.Tracing() && !host_.Instances().empty()) out_ << "> (end: destroy all)\n";
  host_.DestroyAll();
  instances_.clear();
  PrintTrace();
  NewFaults();
  const refhost::Ownership& ownership = host_.Ownership();
  const size_t faults = ownership.Faults().size(), leaks = ownership.Leaks().size();
  if (faults != 0 || leaks != 0) {
    out_.flush();
    err_ << options_.fileName << ": at the end the host saw " << faults
         << " ownership fault(s) and " << leaks << " leak(s):\n"
         << ownership.Report();
  }
  if (failedExpectations_ > 0) {
    out_.flush();
    err_ << options_.fileName << ": " << Count(failedExpectations_, "expectation", "expectations")
         << " failed\n";
  }
  if (refusedExports_ > 0) {
    out_.flush();
    err_ << options_.fileName << ": " << Count(refusedExports_, "export was", "exports were")
         << " refused\n";
  }
  const bool pass = stoppedAt == 0 && faults == 0 && leaks == 0 && failedExpectations_ == 0 &&
                    refusedExports_ == 0;
  out_ << fs::path(options_.fileName).filename().string() << ": "
       << Count(expectations_, "expectation", "expectations") << ", " << failedExpectations_
       << " failed, " << Count(faults, "fault", "faults") << ", " << Count(leaks, "leak", "leaks");
  if (refusedExports_ > 0)
    out_ << ", " << Count(refusedExports_, "export", "exports") << " refused";
  if (stoppedAt != 0) out_ << ", stopped at line " << stoppedAt;
  out_ << ": " << (pass ? "PASS" : "FAIL") << "\n";
  out_.flush();
  return pass ? 0 : 1;
}

}  // namespace

int Run(const std::vector<Step>& steps, const RunOptions& options, std::ostream& out,
        std::ostream& err) {
  Runner runner(options, out, err);
  return runner.Run(steps);
}

}  // namespace plughost::scenario
