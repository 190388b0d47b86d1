// Life-cycle checks beyond the plain ones: instance memory the runtime did not clear, and
// copies that must not share what their source owns.
#include <string>
#include <vector>

#include "tools/plughost/check_context.h"

namespace plughost::checks {

std::string ClassChecks::PatternFilledMemory() {
  std::optional<Bytes> expected;
  {
    MAKE(reference);
    expected = Stored(reference);
  }
  if (std::string why = Clean("instances in zeroed memory"); !why.empty()) return why;
  std::vector<std::vector<uint8_t>> patterns = {{0xA5}, {0xFF}, {0x5A, 0xC3, 0x01, 0x80}};
  if (strictness_ < 5) patterns.resize(1);
  for (const std::vector<uint8_t>& pattern : patterns) {
    const std::string filled = "in memory filled with 0x" + [&] {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", pattern[0]);
      return std::string(hex);
    }() + (pattern.size() > 1 ? "..." : "");
    host_.SetFreshInstanceBytes(pattern);
    Instance* made = Make();
    Instance* source = MakeEdited();
    std::string why;
    if (made == nullptr || source == nullptr) {
      why = "the host could not create an instance";
    } else if (std::optional<Bytes> stored = Stored(made);
               stored && expected && *stored != *expected) {
      why = "Construct " + filled + " stores differently: " + Difference(*expected, *stored);
    } else if (Has(abi::slot::kCopyConstruct)) {
      Instance* copy = host_.CopyConstruct(*source, owner_, owner_);
      if (copy == nullptr) why = "the host could not copy the instance";
      if (why.empty()) why = SameStored(source, copy, ("a CopyConstruct " + filled).c_str());
    }
    if (why.empty() && made != nullptr && Has(abi::slot::kAssign)) {
      made->Assign(*source);
      why = SameStored(source, made, ("an Assign " + filled).c_str());
      made->Assign(*made);
      if (why.empty()) why = SameStored(source, made, ("an Assign to itself " + filled).c_str());
    }
    if (why.empty() && made != nullptr) why = Usable(made);
    host_.SetFreshInstanceBytes({});
    if (!why.empty()) return why;
    if (std::string clean = Clean("instances " + filled); !clean.empty()) return clean;
  }
  return "";
}

std::string ClassChecks::CopyOutlivesSource() {
  if (!Has(abi::slot::kCopyConstruct) && !Has(abi::slot::kAssign))
    return "skip: no CopyConstruct or Assign slot";
  Instance* source = MakeEdited();
  if (source == nullptr) return "the host could not create an instance";
  const std::optional<Bytes> expected = Stored(source);
  std::vector<std::pair<Instance*, const char*>> copies;
  if (Has(abi::slot::kCopyConstruct))
    copies.push_back({host_.CopyConstruct(*source, owner_, owner_), "the copy"});
  if (Has(abi::slot::kAssign)) {
    MAKE(assigned);
    assigned->Assign(*source);
    copies.push_back({assigned, "the assigned instance"});
  }
  host_.Destroy(source);
  for (const auto& [copy, name] : copies) {
    if (copy == nullptr) return "the host could not copy the instance";
    if (std::string why =
            Unchanged(expected, copy, std::string(name) + " changed with its source gone");
        !why.empty())
      return why;
    if (std::string why = Usable(copy); !why.empty()) return std::string(name) + ": " + why;
  }
  return Clean("destroying the copies after their source");
}

}  // namespace plughost::checks
