// msvcrt as the mingw-w64 start-up and runtime code of a plug-in DLL uses it: the C heap for its
// exit-handler table, memory and string functions, the initialiser tables, the standard
// streams for its error reports, and the two ways it gives up (abort, _amsg_exit), which fail
// the host's command. cdecl.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "host/pe/image.h"
#include "host/pe/stand_ins.h"
#include "host/pe/trap.h"

namespace refhost::pe {
namespace {

// msvcrt's FILE is 32 bytes on i386; code reaches stdin, stdout and stderr as &_iob[0..2].
constexpr size_t kFileRecordSize = 32;
constexpr size_t kFileRecords = 20;
alignas(4) uint8_t g_iob[kFileRecords * kFileRecordSize] = {};

FILE* Stream(const void* file) {
  const auto* record = static_cast<const uint8_t*>(file);
  if (record < g_iob || record >= g_iob + sizeof g_iob) return nullptr;
  switch ((record - g_iob) / kFileRecordSize) {
    case 0:
      return stdin;
    case 1:
      return stdout;
    case 2:
      return stderr;
    default:
      return nullptr;
  }
}

// The DLL whose code made the call that gave up. The message is built before Fail unwinds
// this frame, in a local that Fail empties, so nothing is left behind on the skipped frames.
[[noreturn]] void GiveUp(const void* returnAddress, const char* what) {
  Image* image = Image::Holding(returnAddress);
  std::string message = image != nullptr ? image->Name() : std::string("a DLL");
  message += what;
  Fail(image, std::move(message));
}

REFHOST_CRTAPI void* MsvcrtCalloc(size_t count, size_t size) {
  return std::calloc(count, size);
}
REFHOST_CRTAPI void MsvcrtFree(void* block) {
  std::free(block);
}
REFHOST_CRTAPI void* MsvcrtRealloc(void* block, size_t size) {
  return std::realloc(block, size);
}
REFHOST_CRTAPI void* MsvcrtMemcpy(void* to, const void* from, size_t size) {
  return std::memcpy(to, from, size);
}
REFHOST_CRTAPI int MsvcrtMemcmp(const void* a, const void* b, size_t size) {
  return std::memcmp(a, b, size);
}
REFHOST_CRTAPI void* MsvcrtMemmove(void* to, const void* from, size_t size) {
  return std::memmove(to, from, size);
}
REFHOST_CRTAPI void* MsvcrtMemset(void* to, int byte, size_t size) {
  return std::memset(to, byte, size);
}
REFHOST_CRTAPI size_t MsvcrtStrlen(const char* text) {
  return std::strlen(text);
}
REFHOST_CRTAPI int MsvcrtStrncmp(const char* a, const char* b, size_t size) {
  return std::strncmp(a, b, size);
}

// One thread runs plug-in code: the runtime's locks have nothing to wait for.
REFHOST_CRTAPI void MsvcrtLock(int) {}
REFHOST_CRTAPI void MsvcrtUnlock(int) {}

using Initialiser = void (*)();
REFHOST_CRTAPI void MsvcrtInitterm(Initialiser* begin, Initialiser* end) {
  for (Initialiser* at = begin; at < end; ++at) {
    if (*at != nullptr) (*at)();
  }
}

REFHOST_CRTAPI size_t MsvcrtFwrite(const void* data, size_t size, size_t count, void* file) {
  FILE* stream = Stream(file);
  return stream == nullptr ? 0 : std::fwrite(data, size, count, stream);
}

// Both ABIs pass the variable arguments as a pointer into the caller's stack.
REFHOST_CRTAPI int MsvcrtVfprintf(void* file, const char* format, va_list arguments) {
  FILE* stream = Stream(file);
  return stream == nullptr ? -1 : std::vfprintf(stream, format, arguments);
}

REFHOST_CRTAPI void MsvcrtAbort() {
  GiveUp(__builtin_return_address(0), " called abort");
}

// The runtime's "cannot go on" (its start-up found itself initialising twice, say).
REFHOST_CRTAPI void MsvcrtAmsgExit(int) {
  GiveUp(__builtin_return_address(0), " gave up in its C runtime start-up (_amsg_exit)");
}

const StandIn kMsvcrt[] = {
    {"_amsg_exit", reinterpret_cast<const void*>(&MsvcrtAmsgExit)},
    {"_initterm", reinterpret_cast<const void*>(&MsvcrtInitterm)},
    {"_iob", g_iob},
    {"_lock", reinterpret_cast<const void*>(&MsvcrtLock)},
    {"_unlock", reinterpret_cast<const void*>(&MsvcrtUnlock)},
    {"abort", reinterpret_cast<const void*>(&MsvcrtAbort)},
    {"calloc", reinterpret_cast<const void*>(&MsvcrtCalloc)},
    {"free", reinterpret_cast<const void*>(&MsvcrtFree)},
    {"fwrite", reinterpret_cast<const void*>(&MsvcrtFwrite)},
    {"memcmp", reinterpret_cast<const void*>(&MsvcrtMemcmp)},
    {"memcpy", reinterpret_cast<const void*>(&MsvcrtMemcpy)},
    {"memmove", reinterpret_cast<const void*>(&MsvcrtMemmove)},
    {"memset", reinterpret_cast<const void*>(&MsvcrtMemset)},
    {"realloc", reinterpret_cast<const void*>(&MsvcrtRealloc)},
    {"strlen", reinterpret_cast<const void*>(&MsvcrtStrlen)},
    {"strncmp", reinterpret_cast<const void*>(&MsvcrtStrncmp)},
    {"vfprintf", reinterpret_cast<const void*>(&MsvcrtVfprintf)},
};

}  // namespace

std::span<const StandIn> MsvcrtStandIns() {
  return kMsvcrt;
}

}  // namespace refhost::pe
