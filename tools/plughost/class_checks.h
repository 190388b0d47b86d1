// The life-cycle check of one component class through the reference host: what
// `plughost validate` runs for every exported class. It knows no class by name; all it
// assumes comes from the registration (which slots exist, and flags 5 meaning Construct
// takes a base object).
#pragma once

#include <string>

#include "host/host.h"

namespace plughost {

enum class Outcome { kOk, kFail, kSkip };

// Receives the checks as they run, so a crash inside one can be pinned on it.
class CheckSink {
 public:
  virtual ~CheckSink() = default;
  virtual void Begin(const std::string& check) = 0;
  virtual void End(const std::string& check, Outcome outcome, const std::string& why) = 0;
};

// Runs every check of a usable class in `host`, which must hold no instance yet. Leaves the
// host with no instance alive.
void CheckClass(refhost::Host& host, const refhost::ClassInfo& info, CheckSink& sink);

}  // namespace plughost
