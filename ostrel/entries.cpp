// The library's exports: one entry per component class, and a DllMain that does nothing.
#include <cstdint>

#include "ostrel/list_mod.h"
#include "ostrel/obj_ref.h"
#include "ostrel/panning.h"
#include "support/abi.h"

#ifdef _WIN32
#include <windows.h>
// The .def file names the exports.
#define OSTREL_EXPORT
#else
#define OSTREL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

OSTREL_EXPORT uint32_t ListMod(abi::PluginDescriptor* descriptor) {
  return ostrel::RunListModEntry(descriptor);
}

OSTREL_EXPORT uint32_t ObjRefP(abi::PluginDescriptor* descriptor) {
  return ostrel::RunObjRefEntry(descriptor);
}

OSTREL_EXPORT uint32_t panning(abi::PluginDescriptor* descriptor) {
  return ostrel::RunPanningEntry(descriptor);
}

#ifdef _WIN32
// All set-up happens in the entry calls; loading and unloading need nothing.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
#endif

}  // extern "C"
