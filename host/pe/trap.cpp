#include "host/pe/trap.h"

#include <setjmp.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "host/pe/image.h"
#include "host/pe/thread_block.h"

namespace refhost::pe {
namespace {

struct Guard {
  jmp_buf jump;
  Guard* outer;
};

// One thread runs plug-in code, so one chain of guards.
Guard* g_innermost = nullptr;
std::string g_reason;

}  // namespace

// Called by a trap thunk, on the DLL's stack, with the stack only as aligned as Windows code
// keeps it.
extern "C" [[noreturn]] __attribute__((cdecl, force_align_arg_pointer, used)) void RefhostPeTrap(
    const Trap* trap) {
  Fail(trap->image, trap->message);
}

void WriteTrapThunk(uint8_t* code, const Trap* trap) {
  const auto trapWord = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(trap));
  const auto target = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&RefhostPeTrap));
  uint8_t thunk[kTrapThunkSize];
  std::memset(thunk, 0xCC, sizeof thunk);  // int3 after the call, which never returns
  thunk[0] = 0x68;                         // push trap
  std::memcpy(thunk + 1, &trapWord, 4);
  thunk[5] = 0xB8;  // mov eax, RefhostPeTrap
  std::memcpy(thunk + 6, &target, 4);
  thunk[10] = 0xFF;  // call eax
  thunk[11] = 0xD0;
  std::memcpy(code, thunk, sizeof thunk);
}

void Fail(Image* image, std::string message) {
  if (image != nullptr) image->SetFailure(message);
  if (g_innermost == nullptr) {
    std::fprintf(stderr, "error: %s\n", message.c_str());
    std::fflush(nullptr);
    _exit(1);
  }
  g_reason = std::move(message);
  longjmp(g_innermost->jump, 1);
}

GuardChain CurrentGuardChain() {
  return g_innermost;
}

void RestoreGuardChain(GuardChain chain) {
  g_innermost = static_cast<Guard*>(const_cast<void*>(chain));
}

bool RunGuardedCall(void (*function)(void*), void* context, std::string* reason) {
  Guard guard;
  guard.outer = g_innermost;
  g_innermost = &guard;
  if (setjmp(guard.jump) == 0) {
    ReloadThreadBlock();
    function(context);
    g_innermost = guard.outer;
    return true;
  }
  g_innermost = guard.outer;
  *reason = std::move(g_reason);
  g_reason.clear();
  return false;
}

}  // namespace refhost::pe
