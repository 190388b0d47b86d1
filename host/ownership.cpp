#include "host/ownership.h"

#include <algorithm>
#include <cstdio>

namespace refhost {

const char* KindName(AllocationKind kind) {
  switch (kind) {
    case AllocationKind::kString:
      return "string";
    case AllocationKind::kMemory:
      return "memory block";
    case AllocationKind::kList:
      return "list";
  }
  return "?";
}

std::string Allocation::ToString() const {
  char buffer[128];
  if (kind == AllocationKind::kList) {
    std::snprintf(buffer, sizeof buffer, "list %#x (items of %u bytes)", address, size);
  } else {
    std::snprintf(buffer, sizeof buffer, "%s of %u bytes at %#x", KindName(kind), size, address);
  }
  return std::string(buffer) + ", made by " + madeBy;
}

void Ownership::Record(AllocationKind kind, uint32_t address, uint32_t size, std::string madeBy) {
  released_.erase(address);
  live_[address] = Allocation{kind, address, size, ++serial_, std::move(madeBy)};
}

bool Ownership::Release(AllocationKind kind, uint32_t address, const std::string& by) {
  char where[64];
  std::snprintf(where, sizeof where, "%#x", address);
  auto it = live_.find(address);
  if (it == live_.end()) {
    auto gone = released_.find(address);
    if (gone != released_.end() && gone->second == kind) {
      AddFault("double free",
               std::string(KindName(kind)) + " at " + where + " freed again by " + by);
    } else if (kind == AllocationKind::kList) {
      AddFault("bad list handle", std::string("list ") + where + " disposed by " + by +
                                      " was never created or is already gone");
    } else {
      AddFault("foreign free", std::string(KindName(kind)) + " at " + where + " freed by " + by +
                                   " was not obtained from the host");
    }
    return false;
  }
  if (it->second.kind != kind) {
    AddFault("wrong-kind free",
             it->second.ToString() + " given back as a " + KindName(kind) + " by " + by);
    return false;
  }
  live_.erase(it);
  released_[address] = kind;
  return true;
}

const Allocation* Ownership::Find(uint32_t address) const {
  auto it = live_.find(address);
  return it == live_.end() ? nullptr : &it->second;
}

void Ownership::AddFault(std::string what, std::string detail) {
  faults_.push_back(Fault{std::move(what), std::move(detail)});
}

std::vector<Allocation> Ownership::Leaks() const {
  std::vector<Allocation> leaks;
  for (const auto& [address, allocation] : live_) leaks.push_back(allocation);
  std::sort(leaks.begin(), leaks.end(),
            [](const Allocation& a, const Allocation& b) { return a.serial < b.serial; });
  return leaks;
}

std::vector<Fault> Ownership::TakeFaults() {
  std::vector<Fault> taken;
  taken.swap(faults_);
  return taken;
}

std::string Ownership::Report() const {
  std::string text;
  for (const Fault& fault : faults_) text += "fault: " + fault.ToString() + "\n";
  for (const Allocation& leak : Leaks()) text += "leak: " + leak.ToString() + "\n";
  return text;
}

}  // namespace refhost
