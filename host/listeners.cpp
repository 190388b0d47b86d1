#include "host/listeners.h"

#include "host/impl.h"

namespace refhost {

std::vector<ListenerInfo> Listeners(Host& host) {
  std::vector<ListenerInfo> all;
  for (const ListenEntry& e : host.impl().listens) all.push_back({e.instance, e.id, e.second});
  return all;
}

}  // namespace refhost
