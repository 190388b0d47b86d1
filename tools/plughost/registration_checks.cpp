// The registration checks that watch the descriptor byte by byte: what the name query and the
// registration may write, what the contract declares for the class, and an allocator that
// gives nothing.
#include <cstddef>
#include <string>
#include <vector>

#include "host/class_knowledge.h"
#include "tools/plughost/check_context.h"

namespace plughost::checks {
namespace {

// Descriptor fields by their first byte, for saying where a stray write landed.
std::string FieldAt(size_t offset) {
  if (offset < abi::kNameEntrySize * 35) {
    const size_t row = offset / abi::kNameEntrySize, at = offset % abi::kNameEntrySize;
    return "byte " + Number(at) + " of name entry " + Number(row);
  }
  if (offset < offsetof(abi::PluginDescriptor, highestRow)) return "the bytes after the name table";
  if (offset < offsetof(abi::PluginDescriptor, methodTables)) return "the highest-row field";
  if (offset < offsetof(abi::PluginDescriptor, highestColumn))
    return "the method-table pointer of row " +
           Number((offset - offsetof(abi::PluginDescriptor, methodTables)) / 4);
  if (offset < offsetof(abi::PluginDescriptor, instanceSize))
    return "the highest-column field of row " +
           Number((offset - offsetof(abi::PluginDescriptor, highestColumn)) / 2);
  if (offset < offsetof(abi::PluginDescriptor, classFlags)) return "the instance size";
  if (offset < offsetof(abi::PluginDescriptor, phase)) return "the class flags";
  return "the host's fields (phase, allocator, host pointers)";
}

// Fills the descriptor with a pattern the plug-in has no reason to write, keeping the fields
// the host sets and the ones a registration counts on starting at zero.
void FillPattern(abi::PluginDescriptor* d) {
  auto* bytes = reinterpret_cast<uint8_t*>(d);
  for (size_t i = 0; i < offsetof(abi::PluginDescriptor, phase); ++i)
    bytes[i] = static_cast<uint8_t>(0xA5 ^ (i * 7));
  d->highestRow = 0;
  std::memset(static_cast<void*>(d->methodTables), 0, sizeof d->methodTables);
  std::memset(d->highestColumn, 0, sizeof d->highestColumn);
}

// The first byte outside `allowed` ([begin, end) ranges) that differs from `before`, or "".
std::string StrayWrite(const abi::PluginDescriptor& before, const abi::PluginDescriptor& after,
                       const std::vector<std::pair<size_t, size_t>>& allowed) {
  const auto* a = reinterpret_cast<const uint8_t*>(&before);
  const auto* b = reinterpret_cast<const uint8_t*>(&after);
  for (size_t i = 0; i < sizeof before; ++i) {
    bool mayWrite = false;
    for (const auto& [begin, end] : allowed) mayWrite |= i >= begin && i < end;
    if (!mayWrite && a[i] != b[i])
      return "it wrote descriptor byte " + Number(i) + " (" + FieldAt(i) + ")";
  }
  return "";
}

// An allocator that gives no table and counts what it was asked for.
std::vector<uint32_t>* g_asked = nullptr;
extern "C" abi::MethodEntry* NoTable(void*, uint32_t column) {
  if (g_asked != nullptr) g_asked->push_back(column);
  return nullptr;
}

// Registers the class with that allocator into `d`; answers the columns it was asked for, one
// per slot, in the order the slots are registered.
std::vector<uint32_t> RegisterWithoutTables(refhost::Host& host, const refhost::ClassInfo& info,
                                            abi::PluginDescriptor* d) {
  std::vector<uint32_t> asked;
  *d = host.MakeDescriptor(1);
  d->allocator = &NoTable;
  g_asked = &asked;
  info.entry(d);
  g_asked = nullptr;
  return asked;
}

std::string Columns(const std::vector<uint16_t>& columns) {
  std::string text;
  for (uint16_t c : columns) text += (text.empty() ? "" : ", ") + Number(c);
  return "(" + text + ")";
}

}  // namespace

std::string ClassChecks::NameQueryWritesOnlyItsFields() {
  abi::PluginDescriptor d = host_.MakeDescriptor(0);
  FillPattern(&d);
  const abi::PluginDescriptor before = d;
  info_.entry(&d);
  if (std::string why = StrayWrite(before, d, {{0, 16}, {804, 812}}); !why.empty())
    return "in the name query " + why;
  return "";
}

std::string ClassChecks::RegistrationWritesOnlyItsFields() {
  abi::PluginDescriptor d = host_.MakeDescriptor(1);
  FillPattern(&d);
  const abi::PluginDescriptor before = d;
  info_.entry(&d);
  // Row 0's name; row 1 is never named.
  const size_t tables = offsetof(abi::PluginDescriptor, methodTables);
  const size_t columns = offsetof(abi::PluginDescriptor, highestColumn);
  if (std::string why = StrayWrite(
          before, d,
          {{0, 16}, {608, 610}, {tables, tables + 8}, {columns, columns + 4}, {804, 812}});
      !why.empty())
    return "in the registration " + why;
  return "";
}

std::string ClassChecks::RegistrationMatchesDeclared() {
  const refhost::DeclaredRegistration* declared = refhost::DeclaredRegistrationOf(info_.name);
  if (declared == nullptr) return "skip: the contract declares no registration for " + info_.name;
  for (int16_t phase : {0, 1}) {
    Registration r = Register(host_, info_, phase);
    if (r.size != declared->instanceSize || r.flags != declared->classFlags)
      return std::string(phase == 0 ? "the name query" : "the registration") + " gives size " +
             Number(r.size) + " and flags " + Number(r.flags) + ", declared " +
             Number(declared->instanceSize) + " and " + Number(declared->classFlags);
  }
  abi::PluginDescriptor d = host_.MakeDescriptor(1);
  info_.entry(&d);
  if (std::memcmp(d.names, "_QComponent\0\0\0\0\0", 16) != 0)
    return "interface row 0 is not named \"_QComponent\" with NUL padding";
  // The registration order: an allocator that gives nothing is asked once per slot. Row 0's
  // callback columns start at 7, so 0 and 1 can only be row 1's.
  abi::PluginDescriptor dry;
  const std::vector<uint32_t> asked = RegisterWithoutTables(host_, info_, &dry);
  std::vector<uint16_t> order[2];
  for (uint32_t column : asked) {
    const bool rowOne = column <= abi::slot::kPositionChanged && !declared->row1.empty();
    order[rowOne ? 1 : 0].push_back(static_cast<uint16_t>(column));
  }
  const std::vector<uint16_t>* expected[2] = {&declared->row0, &declared->row1};
  for (uint16_t row = 0; row < 2; ++row) {
    if (order[row] != *expected[row])
      return "row " + Number(row) + " slots are registered in the order " + Columns(order[row]) +
             ", declared " + Columns(*expected[row]);
    std::vector<uint16_t> filled;
    for (uint16_t column = 0; column < abi::kComponentColumns; ++column) {
      if (d.methodTables[row] == nullptr) break;
      const abi::MethodEntry& e = d.methodTables[row][column];
      if (e.function == nullptr) continue;
      filled.push_back(column);
      if (e.flags != abi::kSlotFlags)
        return SlotText(row, column) + " has flags " + Number(static_cast<uint32_t>(e.flags)) +
               ", not 1";
    }
    std::vector<uint16_t> sorted = *expected[row];
    std::sort(sorted.begin(), sorted.end());
    if (filled != sorted)
      return "row " + Number(row) + " has slots " + Columns(filled) + ", declared " +
             Columns(sorted);
    if (!sorted.empty() && d.highestColumn[row] != sorted.back())
      return "row " + Number(row) + "'s highest-column field says " +
             std::to_string(d.highestColumn[row]) + ", not " + Number(sorted.back());
  }
  return "";
}

std::string ClassChecks::NullAllocatorSurvived() {
  abi::PluginDescriptor d;
  const std::vector<uint32_t> asked = RegisterWithoutTables(host_, info_, &d);
  for (uint16_t row = 0; row < abi::kMaxRows; ++row) {
    if (d.methodTables[row] != nullptr)
      return "row " + Number(row) + " has a method table though the allocator gave none";
    if (row < 2 && d.highestColumn[row] != 0)
      return "row " + Number(row) + "'s highest-column field was raised to " +
             std::to_string(d.highestColumn[row]) + " for slots that were not registered";
  }
  if (asked.size() != info_.slots.size())
    return "the allocator was asked " + Number(asked.size()) + " time(s) for " +
           Number(info_.slots.size()) + " slots: each registration must ask again";
  if (d.instanceSize != info_.instanceSize || d.classFlags != info_.classFlags)
    return "it then gave size " + Number(d.instanceSize) + " and flags " + Number(d.classFlags);
  if (d.hostServices != host_.ServicesRecord()) return "it changed the HostServices field";
  // The class still works once registered properly.
  Register(host_, info_, 1);
  MAKE(instance);
  return "";
}

}  // namespace plughost::checks
