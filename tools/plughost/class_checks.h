// The checks `plughost validate` runs on every exported class through the reference host.
// They know no class by name; all they assume comes from the registration (which slots exist,
// and flags 5 meaning Construct takes a base object).
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
  virtual void End(const std::string& check, Outcome outcome, const std::string& why,
                   double seconds) = 0;
};

struct CheckOptions {
  std::function<bool(std::string_view)> selected = [](std::string_view) { return true; };
  uint32_t seed = 1;  // each check's random draws start from this and the check's name
};

// Runs the selected checks of a usable class in `host`, which must hold no instance yet.
// Leaves the host with no instance alive.
void CheckClass(refhost::Host& host, const refhost::ClassInfo& info, const CheckOptions& options,
                CheckSink& sink);

}  // namespace plughost
