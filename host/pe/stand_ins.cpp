#include "host/pe/stand_ins.h"

#include <cstring>
#include <string>

namespace refhost::pe {
namespace {

// "KERNEL32.dll", "kernel32" and "Kernel32.DLL" all name one DLL.
std::string DllKey(std::string_view dll) {
  std::string key;
  for (char c : dll) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  if (key.size() > 4 && key.compare(key.size() - 4, 4, ".dll") == 0) key.resize(key.size() - 4);
  return key;
}

// One pseudo handle per DLL name the host serves: the address of its slot here.
struct KnownDll {
  const char* key;
};
const KnownDll kKnownDlls[] = {{"kernel32"}, {"msvcrt"}, {"user32"}, {"gdi32"}, {"comdlg32"}};

}  // namespace

const std::vector<StandInDll>& StandInDlls() {
  static const std::vector<StandInDll> dlls = [] {
    std::vector<StandInDll> all = {
        {"KERNEL32.dll", Kernel32StandIns()},
        {"msvcrt.dll", MsvcrtStandIns()},
    };
    for (const StandInDll& dll : Win32StandIns()) all.push_back(dll);
    return all;
  }();
  return dlls;
}

const void* FindStandIn(std::string_view dll, std::string_view symbol) {
  const std::string key = DllKey(dll);
  for (const StandInDll& table : StandInDlls()) {
    if (DllKey(table.name) != key) continue;
    for (const StandIn& entry : table.entries) {
      if (symbol == entry.name) return entry.address;
    }
  }
  return nullptr;
}

const void* StandInHandle(std::string_view dll) {
  const std::string key = DllKey(dll);
  bool served = false;
  for (const StandInDll& table : StandInDlls()) served |= DllKey(table.name) == key;
  if (!served) return nullptr;
  for (const KnownDll& known : kKnownDlls) {
    if (key == known.key) return &known;
  }
  return nullptr;
}

const StandInDll* StandInFromHandle(const void* handle) {
  for (const KnownDll& known : kKnownDlls) {
    if (handle != &known) continue;
    for (const StandInDll& table : StandInDlls()) {
      if (DllKey(table.name) == known.key) return &table;
    }
  }
  return nullptr;
}

}  // namespace refhost::pe
