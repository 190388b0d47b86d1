// Read-only views of registrations the host keeps for itself, for tools that show a person
// what the plug-ins asked for (plughost's listener report and its Enable/Disable check).
#pragma once

#include <cstdint>
#include <vector>

#include "host/host.h"

namespace refhost {

struct ListenerInfo {
  const Instance* instance;
  uint32_t id;
  uint32_t second;
};

// Every Listen registration in force, in the order they were made.
std::vector<ListenerInfo> Listeners(Host& host);

}  // namespace refhost
