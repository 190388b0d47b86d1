// Who owns what the plug-ins obtained from the host: every string, memory block and list is
// recorded with its kind, size and the instance on whose behalf it was made, so a wrong free
// or a leak reads as a sentence rather than a sanitizer trace.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace refhost {

enum class AllocationKind { kString, kMemory, kList };
const char* KindName(AllocationKind kind);

struct Allocation {
  AllocationKind kind;
  uint32_t address;  // buffer address, or the list handle
  uint32_t size;     // bytes; for a list, its item size
  uint64_t serial;   // order of allocation
  std::string madeBy;
  std::string ToString() const;
};

struct Fault {
  std::string what;  // "foreign free", "double free", "wrong-kind free", "bad list handle", ...
  std::string detail;
  std::string ToString() const { return what + ": " + detail; }
};

class Ownership {
 public:
  const std::vector<Fault>& Faults() const { return faults_; }
  std::vector<Allocation> Leaks() const;  // still outstanding, in allocation order
  // Returns the faults recorded so far and forgets them: for tests that provoke faults.
  std::vector<Fault> TakeFaults();
  // One line per fault and leak; empty when both lists are empty.
  std::string Report() const;

  // Host side.
  void Record(AllocationKind kind, uint32_t address, uint32_t size, std::string madeBy);
  // Checks and forgets an allocation; records a fault and returns false when the address is
  // not a live allocation of that kind (the caller then must not free it).
  bool Release(AllocationKind kind, uint32_t address, const std::string& by);
  const Allocation* Find(uint32_t address) const;
  void AddFault(std::string what, std::string detail);

 private:
  std::map<uint32_t, Allocation> live_;
  std::map<uint32_t, AllocationKind> released_;  // addresses given back, for double frees
  std::vector<Fault> faults_;
  uint64_t serial_ = 0;
};

}  // namespace refhost
