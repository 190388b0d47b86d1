// The Win32 surface the plug-ins call (printing, dialogs, files, memory, system queries), served
// to the DLLs by the same stand-in library the Linux builds link against (win32/), so both
// builds meet the same machine, printer and dialogs. Its functions keep the Windows calling
// conventions, so an import binds to them directly.
//
// Each DLL lists the names Windows exports from it; the address is looked up by name in the
// stand-in library, so a function it implements is served as soon as it is there, and one it
// does not (yet) implement binds to a trap like any other import without a stand-in.
#include <dlfcn.h>

#include <vector>

#include "host/pe/stand_ins.h"
#include "win32/win32.h"

namespace refhost::pe {
namespace {

struct SurfaceDll {
  const char* name;
  std::vector<const char*> functions;
};

const std::vector<SurfaceDll>& Surface() {
  static const std::vector<SurfaceDll> surface = {
      {"KERNEL32.dll",
       {"CreateFileA", "ReadFile", "SetFilePointer", "GetFileSize", "CloseHandle", "OpenFile",
        "_lread", "GlobalAlloc", "GlobalLock", "GlobalUnlock", "GlobalFree", "GetVersion",
        "GetSystemInfo", "GetSystemTimeAsFileTime"}},
      {"GDI32.dll",
       {"CreateCompatibleDC", "DeleteDC", "GetDeviceCaps", "CreateDIBitmap", "SelectObject",
        "DeleteObject", "StretchDIBits", "StartDocA", "EndDoc", "StartPage", "EndPage"}},
      {"comdlg32.dll", {"PrintDlgA", "CommDlgExtendedError", "GetOpenFileNameA"}},
      {"USER32.dll", {"MessageBoxA", "GetDC", "ReleaseDC", "GetSystemMetrics", "GetKeyboardType"}},
  };
  return surface;
}

// The stand-in library this host is linked with, found through one of its functions.
void* StandInLibrary() {
  static void* library = [] {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&GetVersion), &info) == 0)
      return static_cast<void*>(nullptr);
    return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  }();
  return library;
}

}  // namespace

std::vector<StandInDll> Win32StandIns() {
  // Built once: the library stays loaded for the life of the process.
  static const std::vector<std::vector<StandIn>> tables = [] {
    std::vector<std::vector<StandIn>> found;
    void* library = StandInLibrary();
    for (const SurfaceDll& dll : Surface()) {
      std::vector<StandIn>& entries = found.emplace_back();
      for (const char* name : dll.functions) {
        const void* address = library == nullptr ? nullptr : dlsym(library, name);
        if (address != nullptr) entries.push_back(StandIn{name, address});
      }
    }
    return found;
  }();
  std::vector<StandInDll> dlls;
  for (size_t i = 0; i < Surface().size(); ++i) dlls.push_back({Surface()[i].name, tables[i]});
  return dlls;
}

}  // namespace refhost::pe
