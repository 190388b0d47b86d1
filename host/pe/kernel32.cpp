// KERNEL32 as the mingw-w64 start-up code of a plug-in DLL uses it: critical sections (one
// thread, so nothing to wait for), the last error, module handles and procedure addresses,
// TLS slots, and the page protections its runtime relocator reads and changes. stdcall.
#include <time.h>

#include <cstdint>
#include <cstring>

#include "host/pe/image.h"
#include "host/pe/stand_ins.h"
#include "host/pe/thread_block.h"

namespace refhost::pe {
namespace {

using BOOL = int32_t;
using DWORD = uint32_t;
constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorProcNotFound = 127;
constexpr DWORD kErrorInvalidAddress = 487;
constexpr DWORD kMemCommit = 0x1000;
constexpr DWORD kMemImage = 0x1000000;

// The record VirtualQuery fills, as a 32-bit process sees it.
#pragma pack(push, 1)
struct MemoryBasicInformation {
  uint32_t baseAddress;
  uint32_t allocationBase;
  uint32_t allocationProtect;
  uint32_t regionSize;
  uint32_t state;
  uint32_t protect;
  uint32_t type;
};
#pragma pack(pop)
static_assert(sizeof(MemoryBasicInformation) == 28);

uint32_t Word(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

// The module a handle names: a mapped image's base, or a DLL the host stands in for.
Image* ImageFromHandle(const void* handle) {
  Image* image = Image::Holding(handle);
  return image != nullptr && image->Base() == handle ? image : nullptr;
}

// ---- Critical sections: every call comes from the one thread that runs plug-in code.
REFHOST_WINAPI void InitializeCriticalSection(void*) {}
REFHOST_WINAPI void DeleteCriticalSection(void*) {}
REFHOST_WINAPI void EnterCriticalSection(void*) {}
REFHOST_WINAPI void LeaveCriticalSection(void*) {}

REFHOST_WINAPI DWORD GetLastError() {
  return LastError();
}

// ---- Modules. Only the DLLs the host stands in for can be "loaded"; the start-up code asks
// for the GCC runtime DLL and carries on without it.
REFHOST_WINAPI const void* GetModuleHandleA(const char* name) {
  const void* module = name == nullptr ? nullptr : StandInHandle(name);
  if (module == nullptr) SetLastError(kErrorModNotFound);
  return module;
}

REFHOST_WINAPI const void* LoadLibraryA(const char* name) {
  return GetModuleHandleA(name);
}

REFHOST_WINAPI BOOL FreeLibrary(const void* module) {
  return module != nullptr && (StandInFromHandle(module) != nullptr || ImageFromHandle(module));
}

REFHOST_WINAPI const void* GetProcAddress(const void* module, const char* name) {
  const void* address = nullptr;
  // A name pointer below 64 KiB is an ordinal; no stand-in has one.
  if (name != nullptr && Word(name) >= 0x10000) {
    if (const StandInDll* dll = StandInFromHandle(module)) {
      address = FindStandIn(dll->name, name);
    } else if (Image* image = ImageFromHandle(module)) {
      for (const Export& e : image->Exports()) {
        if (e.name == name) address = image->At(e.rva);
      }
    }
  }
  if (address == nullptr) SetLastError(kErrorProcNotFound);
  return address;
}

REFHOST_WINAPI void Sleep(DWORD milliseconds) {
  timespec pause{static_cast<time_t>(milliseconds / 1000),
                 static_cast<long>(milliseconds % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
}

REFHOST_WINAPI void* TlsGetValue(DWORD index) {
  void* value = nullptr;
  if (!TlsSlot(index, &value)) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  SetLastError(0);
  return value;
}

// ---- Page protections, within the mapped images (the runtime relocator asks about its own).
REFHOST_WINAPI uint32_t VirtualQuery(const void* address, void* buffer, uint32_t length) {
  Image* image = Image::Holding(address);
  if (image == nullptr || buffer == nullptr || length < sizeof(MemoryBasicInformation)) {
    SetLastError(image == nullptr ? kErrorInvalidAddress : kErrorInvalidParameter);
    return 0;
  }
  const uint32_t rva = Word(address) - Word(image->Base());
  MemoryBasicInformation info{};
  info.baseAddress = Word(image->Base()) + (rva & ~(page::kSize - 1));
  info.allocationBase = Word(image->Base());
  info.allocationProtect = page::kExecuteWriteCopy;
  info.protect = image->Protection(rva, &info.regionSize);
  info.state = kMemCommit;
  info.type = kMemImage;
  std::memcpy(buffer, &info, sizeof info);
  return sizeof info;
}

REFHOST_WINAPI BOOL VirtualProtect(void* address, uint32_t size, DWORD protection, DWORD* old) {
  Image* image = Image::Holding(address);
  uint32_t previous = 0;
  if (image == nullptr || old == nullptr ||
      !image->Protect(Word(address) - Word(image->Base()), size, protection, &previous)) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  std::memcpy(old, &previous, sizeof previous);
  return 1;
}

const StandIn kKernel32[] = {
    {"DeleteCriticalSection", reinterpret_cast<const void*>(&DeleteCriticalSection)},
    {"EnterCriticalSection", reinterpret_cast<const void*>(&EnterCriticalSection)},
    {"FreeLibrary", reinterpret_cast<const void*>(&FreeLibrary)},
    {"GetLastError", reinterpret_cast<const void*>(&GetLastError)},
    {"GetModuleHandleA", reinterpret_cast<const void*>(&GetModuleHandleA)},
    {"GetProcAddress", reinterpret_cast<const void*>(&GetProcAddress)},
    {"InitializeCriticalSection", reinterpret_cast<const void*>(&InitializeCriticalSection)},
    {"LeaveCriticalSection", reinterpret_cast<const void*>(&LeaveCriticalSection)},
    {"LoadLibraryA", reinterpret_cast<const void*>(&LoadLibraryA)},
    {"Sleep", reinterpret_cast<const void*>(&Sleep)},
    {"TlsGetValue", reinterpret_cast<const void*>(&TlsGetValue)},
    {"VirtualProtect", reinterpret_cast<const void*>(&VirtualProtect)},
    {"VirtualQuery", reinterpret_cast<const void*>(&VirtualQuery)},
};

}  // namespace

std::span<const StandIn> Kernel32StandIns() {
  return kKernel32;
}

}  // namespace refhost::pe
