// The checks `plughost validate` runs on every exported class through the reference host.
// They know no class by name; all they assume comes from the registration (which slots exist,
// and flags 5 meaning Construct takes a base object) and the contract itself: the attribute
// names it uses, and from the host's class knowledge, for the contract's own classes only, the
// registration each declares and the refusals its rules let leave a mark. A plug-in author's own
// class is checked by the same rules.
//
// Each check is named "area.what-it-proves" and stands alone: it makes the instances it needs
// and leaves none, so any selection of checks runs in any order, and a check repeats by itself
// with the same seed. Adding a check is one function and one line of the table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace plughost {

enum class Outcome { kOk, kFail, kSkip };

struct CheckInfo {
  const char* name;     // "state.stored-size-matches-save"
  const char* summary;  // one line: what passing means
};

// Every check, in the order they run.
const std::vector<CheckInfo>& AllChecks();

// Receives the checks as they run, so a crash inside one can be pinned on it.
class CheckSink {
 public:
  virtual ~CheckSink() = default;
  virtual void Begin(const std::string& check) = 0;
  // Where a long check has got to ("Load with allocation 3 refused"), so a crash there can say.
  virtual void Progress(const std::string&) {}
  virtual void End(const std::string& check, Outcome outcome, const std::string& why,
                   double seconds) = 0;
};

struct CheckOptions {
  std::function<bool(std::string_view)> selected = [](std::string_view) { return true; };
  uint32_t seed = 1;  // each check's random draws start from this and the check's name
  // How far the expensive checks go (streams and seeds tried, failures injected): 1 to 10.
  int strictness = 5;
};

// Runs the selected checks of a usable class in `host`, which must hold no instance yet.
// Leaves the host with no instance alive.
void CheckClass(refhost::Host& host, const refhost::ClassInfo& info, const CheckOptions& options,
                CheckSink& sink);

}  // namespace plughost
