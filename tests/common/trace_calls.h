// Reading the host call trace the way the call-sequence tests pin it.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

namespace testing_support {

// What the host traced since the last ClearTrace: each slot the test called ("-> Quit#1.Enable")
// followed by the host calls that slot made itself, as "Object.Method(arguments)". Calls made
// inside slots it caused in turn (a delivered message, say) are left out.
inline std::vector<std::string> SlotTrace(const refhost::Host& host) {
  std::vector<std::string> lines;
  for (const refhost::HostCall& call : host.Trace()) {
    if (call.depth <= 1) lines.push_back(call.Call());
  }
  return lines;
}

}  // namespace testing_support
