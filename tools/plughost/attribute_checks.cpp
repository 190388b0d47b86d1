// Attribute and message checks over everything a host may hand a class: every name the
// contract knows and unknown ones, with every kind of index and output, foreign messages, and
// the ids it shows against the ids it listens for.
#include <cctype>
#include <string>
#include <vector>

#include "host/class_knowledge.h"
#include "tools/plughost/check_context.h"

namespace plughost::checks {
namespace {

constexpr uint32_t kHarness = 0x0BADF00D;  // the owner word of texts the check holds

template <typename T>
Bytes ValueBytes(const T& value) {
  Bytes bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

// Values of every kind the checks hand over, each in a block of exactly its size. Texts point
// into `text`, which outlives them; references name `object` and carry `identity`.
std::vector<std::pair<std::string, Bytes>> Values(char* text, uint32_t capacity, uint32_t object,
                                                  IdentityValue* identity, uint32_t* entries,
                                                  bool huge) {
  std::vector<std::pair<std::string, Bytes>> all = {
      {"none", {}},
      {"integer 1", ValueBytes(IntegerValue{tag::kInteger, 1})},
      {"integer 0", ValueBytes(IntegerValue{tag::kInteger, 0})},
      {"integer 2", ValueBytes(IntegerValue{tag::kInteger, 2})},
      {"integer -1", ValueBytes(IntegerValue{tag::kInteger, -1})},
      {"integer 0x80000001", ValueBytes(IntegerValue{tag::kInteger, INT32_MIN + 1})},
      {"real 2.5", ValueBytes(RealValue{tag::kReal, 2.5})},
      {"flag 1", ValueBytes(FlagValue{tag::kFlag, 1})},
      {"message id", ValueBytes(MessageIdValue{tag::kMessageId, 0x80000001u, 7})},
      {"empty value", ValueBytes(EmptyValue{tag::kEmpty})},
      {"unassigned value", ValueBytes(UnassignedValue{tag::kUnassigned})},
      {"point", ValueBytes(PointValue{tag::kPoint, 3, 4})},
      {"text", ValueBytes(TextValue{tag::kText, kHarness, capacity,
                                    static_cast<uint32_t>(std::strlen(text)), text})},
      {"empty text", ValueBytes(TextValue{tag::kText, 0, 0, 0, nullptr})},
      {"reference",
       ValueBytes(ReferenceValue{tag::kReference, nullptr, nullptr, object, identity})},
      {"second-kind text", ValueBytes(TextValue{tag::kTextSecond, kHarness, capacity,
                                                static_cast<uint32_t>(std::strlen(text)), text})},
      {"byte block", ValueBytes(BlockValue{tag::kByteBlock, kHarness, capacity, 4,
                                           reinterpret_cast<uint8_t*>(text)})},
      {"object path", ValueBytes(ObjectPathValue{tag::kObjectPath, 1, entries})},
      {"duration", ValueBytes(DurationValue{tag::kDuration, 600, 1, 600})},
      {"range", ValueBytes(RangeValue{tag::kRange, 1, 2})},
      {"rectangle", ValueBytes(RectangleValue{tag::kRectangle, {1, 2, 3, 4}})},
      {"triple real", ValueBytes(TripleRealValue{tag::kTripleReal, {1.0, 2.0, 3.0}})},
      {"choice", ValueBytes(ChoiceValue{tag::kChoice, 1, 0})},
      {"40-byte record", ValueBytes(Record40Value{tag::kRecord40, {}})},
      {"24-byte record", ValueBytes(Record24Value{tag::kRecord24, {}})},
      {"identity", ValueBytes(*identity)},
  };
  if (huge) {
    // Positions a list would fill up to: reads only.
    all.push_back({"integer 0x40000001", ValueBytes(IntegerValue{tag::kInteger, 0x40000001})});
    all.push_back({"integer 0x20000001", ValueBytes(IntegerValue{tag::kInteger, 0x20000001})});
    all.push_back({"integer 0x80000002", ValueBytes(IntegerValue{tag::kInteger, INT32_MIN + 2})});
  }
  return all;
}

}  // namespace

std::string ClassChecks::EveryNameIndexAndOutput() {
  if (!Has(abi::slot::kGetAttribute) && !Has(abi::slot::kSetAttribute))
    return "skip: no GetAttribute or SetAttribute slot";
  std::vector<std::string> names = {kUnknownAttribute, "", "abcdefghijklmnop", "events\x01"};
  for (std::string_view name : refhost::ContractAttributeNames()) {
    names.emplace_back(name);
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    names.push_back(upper);
  }
  const refhost::MarkingRefusals& marking = refhost::MarkingRefusalsOf(info_.name);
  auto among = [](const std::vector<std::string_view>& list, const std::string& name) {
    for (std::string_view n : list) {
      if (std::equal(n.begin(), n.end(), name.begin(), name.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) ==
                   std::tolower(static_cast<unsigned char>(y));
          }))
        return true;
    }
    return false;
  };
  char text[256] = "validate";
  IdentityValue identity = host_.IdentityOf(owner_);
  uint32_t entries[4] = {};
  Instance* instance = MakeEdited();
  if (instance == nullptr) return "the host could not create an instance";

  // Reads: every name, index and output preset.
  const auto indexes = Values(text, sizeof text, owner_, &identity, entries, true);
  // Reads may write into the output's buffer: theirs is not the one the values point at.
  char readText[256] = "validate";
  const auto outputs = Values(readText, sizeof readText, owner_, &identity, entries, false);
  const auto values = Values(text, sizeof text, owner_, &identity, entries, false);
  struct Case {
    size_t name, index, other;
  };
  // Every name with every index and every output (or value) once, then pairs of both drawn at
  // random, as many as the strictness allows.
  const size_t kPlainIndex = 0, kPlainOutput = 10;  // no index; an unassigned output
  std::vector<Case> reads, writes, readPairs, writePairs;
  for (size_t n = 0; n < names.size(); ++n) {
    for (size_t i = 0; i < indexes.size(); ++i) {
      reads.push_back({n, i, kPlainOutput});
      if (i < outputs.size()) writes.push_back({n, i, 1});
    }
    for (size_t o = 1; o < outputs.size(); ++o) {
      reads.push_back({n, kPlainIndex, o});
      writes.push_back({n, kPlainIndex, o});
      writes.push_back({n, 1, o});
    }
    writes.push_back({n, 1, 0});
  }
  const size_t pairs = 2000 * static_cast<size_t>(strictness_);
  for (size_t k = 0; k < pairs; ++k) {
    const size_t n = Draw(static_cast<uint32_t>(names.size()));
    readPairs.push_back({n, Draw(static_cast<uint32_t>(indexes.size())),
                         1 + Draw(static_cast<uint32_t>(outputs.size() - 1))});
    writePairs.push_back({n, Draw(static_cast<uint32_t>(outputs.size())),
                          Draw(static_cast<uint32_t>(outputs.size()))});
  }
  reads.insert(reads.end(), readPairs.begin(), readPairs.end());
  writes.insert(writes.end(), writePairs.begin(), writePairs.end());
  if (Has(abi::slot::kGetAttribute)) {
    for (const Case& c : reads) {
      const std::string& name = names[c.name];
      Bytes index = indexes[c.index].second;
      uint8_t out[64];
      std::memset(out, 0xA5, sizeof out);
      std::memcpy(out, outputs[c.other].second.data(), outputs[c.other].second.size());
      uint8_t before[sizeof out];
      std::memcpy(before, out, sizeof out);
      const std::string call = "GetAttribute \"" + name + "\" with index " +
                               indexes[c.index].first + " into " + outputs[c.other].first;
      Progress("at " + call);
      const uint16_t status =
          instance->GetAttribute(name, index.empty() ? nullptr : index.data(), out);
      if (instance->TimedOut()) return Clean(call);
      const bool mayWrite = among(marking.reads, name);
      if (status == 1 && !mayWrite && std::memcmp(out, before, sizeof out) != 0)
        return call + " answered 1 but wrote into the output";
      // What a read hands over is the receiver's to give back.
      if (status == 0) GiveBackOutput(host_, out, readText);
    }
  }
  if (Has(abi::slot::kSetAttribute)) {
    std::optional<Bytes> current = Stored(instance);
    for (const Case& c : writes) {
      const std::string& name = names[c.name];
      Bytes index = indexes[c.index].second;
      Bytes value = values[c.other].second;
      const std::string call = "SetAttribute \"" + name + "\" with index " +
                               indexes[c.index].first + " to " + values[c.other].first;
      Progress("at " + call);
      const uint16_t status = instance->SetAttribute(name, index.empty() ? nullptr : index.data(),
                                                     value.empty() ? nullptr : value.data());
      if (instance->TimedOut()) return Clean(call);
      if (status == 1 && !among(marking.writes, name)) {
        if (std::string why =
                Unchanged(current, instance, call + " answered 1 but changed the instance");
            !why.empty())
          return why;
      } else {
        current = Stored(instance);
      }
    }
  }
  if (std::string why = Usable(instance); !why.empty()) return "after every attribute call: " + why;
  return Clean("every attribute call");
}

std::string ClassChecks::ForeignIdsChangeNothing() {
  NEEDS(kHandleMessage, "HandleMessage");
  Instance* instance = MakeEdited();
  if (instance == nullptr) return "the host could not create an instance";
  const std::set<std::pair<uint32_t, uint32_t>> own = OwnIds(instance);
  if (Has(abi::slot::kEnable)) instance->Enable();
  const Bytes before = RecordOf(instance);
  const size_t messages = host_.Messages().size(), writes = host_.AttributeWrites().size(),
               cursors = host_.Cursors().size();
  const size_t tried = 16 * static_cast<size_t>(strictness_);
  for (size_t n = 0; n < tried; ++n) {
    uint32_t id = n == 0 ? 0 : Next(), second = n % 3 == 0 ? 0 : Next();
    // A near miss of one of its own ids now and then: the other word differs.
    if (n % 4 == 1 && !own.empty()) {
      auto it = own.begin();
      std::advance(it, Draw(static_cast<uint32_t>(own.size())));
      id = it->first;
      second = it->second + 1 + Draw(5);
    }
    if (own.count({id, second}) != 0) continue;
    const uint16_t status = instance->HandleMessage(n % 2 == 0 ? owner_ : 0, id, second);
    if (status != 1) return IdText(id, second) + " answered " + Number(status);
    if (RecordOf(instance) != before)
      return IdText(id, second) +
             " changed the instance: " + Difference(before, RecordOf(instance));
    if (host_.Messages().size() != messages) return IdText(id, second) + " sent a message";
    if (host_.AttributeWrites().size() != writes)
      return IdText(id, second) + " wrote the attribute \"" + host_.AttributeWrites()[writes].name +
             "\"";
    if (host_.Cursors().size() != cursors) return IdText(id, second) + " set a cursor";
  }
  return "";
}

std::string ClassChecks::VisitCoversListenedIds() {
  NEEDS(kVisitMessageIds, "VisitMessageIds");
  NEEDS(kEnable, "Enable");
  for (bool edited : {false, true}) {
    Instance* instance = edited ? MakeEdited() : Make();
    if (instance == nullptr) return "the host could not create an instance";
    // The runtime may route more ids by what an instance visits (a stop message, say), but
    // whatever it listens for it must also show.
    std::set<std::pair<uint32_t, uint32_t>> visited, listened;
    const size_t visits = host_.Visits().size();
    instance->VisitMessageIds(kVisitA, kVisitB);
    for (size_t i = visits; i < host_.Visits().size(); ++i)
      visited.insert({host_.Visits()[i].id, host_.Visits()[i].second});
    instance->Enable();
    for (const refhost::ListenerInfo& l : ListenersOf(instance)) listened.insert({l.id, l.second});
    instance->Disable();
    const char* which = edited ? "an edited instance" : "a fresh instance";
    for (const auto& [id, second] : listened) {
      if (visited.count({id, second}) == 0)
        return std::string(which) + " listens for " + IdText(id, second) + " but does not visit it";
    }
  }
  return "";
}

}  // namespace plughost::checks
