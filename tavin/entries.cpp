// The library's exports: one entry per component class, and a DllMain that does nothing.
#include <cstdint>

#include "support/abi.h"
#include "support/registration.h"
#include "tavin/cursor_mod.h"
#include "tavin/media_cue.h"
#include "tavin/print.h"
#include "tavin/quit.h"
#include "tavin/sys_info.h"
#include "tavin/vellomar.h"

#ifdef _WIN32
#include <windows.h>
// The .def file names the exports.
#define TAVIN_EXPORT
#else
#define TAVIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

TAVIN_EXPORT uint32_t CursorMod(abi::PluginDescriptor* descriptor) {
  return support::RunEntry(descriptor, tavin::kCursorModClass);
}

TAVIN_EXPORT uint32_t MediaCue(abi::PluginDescriptor* descriptor) {
  return support::RunEntry(descriptor, tavin::kMediaCueClass);
}

TAVIN_EXPORT uint32_t Print(abi::PluginDescriptor* descriptor) {
  return support::RunEntry(descriptor, tavin::kPrintClass);
}

TAVIN_EXPORT uint32_t Quit(abi::PluginDescriptor* descriptor) {
  return support::RunEntry(descriptor, tavin::kQuitClass);
}

TAVIN_EXPORT uint32_t SysInfo(abi::PluginDescriptor* descriptor) {
  return support::RunEntry(descriptor, tavin::kSysInfoClass);
}

TAVIN_EXPORT uint32_t Vellomar(abi::PluginDescriptor* descriptor) {
  return support::RunEntry(descriptor, tavin::kVellomarClass);
}

#ifdef _WIN32
// All set-up happens in the entry calls; loading and unloading need nothing.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
#endif

}  // extern "C"
