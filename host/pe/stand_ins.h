// The host's stand-ins for the Windows DLLs the plug-ins import from: for each DLL name, the
// functions (and the few data items) the DLLs' imports bind to. Each function keeps its Windows
// calling convention (stdcall for the system DLLs, cdecl for msvcrt) and realigns the stack on
// entry, since Windows code keeps it only 4-byte aligned.
//
// A further set of stand-ins joins by adding its tables to StandInDlls() (stand_ins.cpp), as
// the Win32 stand-in library's do (win32_dlls.cpp): the DLL builds of the plug-ins then meet the
// same functions as the Linux builds link against. Several tables may serve one DLL name.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

// Calling conventions of the stand-ins, as the DLLs call them.
#define REFHOST_WINAPI __attribute__((stdcall, force_align_arg_pointer))
#define REFHOST_CRTAPI __attribute__((cdecl, force_align_arg_pointer))

namespace refhost::pe {

struct StandIn {
  const char* name;
  const void* address;  // a function, or a data item (msvcrt's _iob)
};

struct StandInDll {
  const char* name;  // as import tables name it: "KERNEL32.dll"
  std::span<const StandIn> entries;
};

// Every stand-in table, in the order they are searched.
const std::vector<StandInDll>& StandInDlls();

// The address an import of `symbol` from `dll` binds to, or null. DLL names compare without
// regard to case, with or without ".dll".
const void* FindStandIn(std::string_view dll, std::string_view symbol);
// A pseudo module handle for a DLL the host stands in for (LoadLibrary, GetModuleHandle), or
// null; and the DLL such a handle stands for.
const void* StandInHandle(std::string_view dll);
const StandInDll* StandInFromHandle(const void* handle);

// The tables of this folder: what the mingw-w64 runtime needs, and the Win32 surface of the
// plug-ins, served by the win32/ stand-in library.
std::span<const StandIn> Kernel32StandIns();
std::span<const StandIn> MsvcrtStandIns();
std::vector<StandInDll> Win32StandIns();

}  // namespace refhost::pe
