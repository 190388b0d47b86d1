// Failing a call into DLL code cleanly. A DLL that reaches something the host cannot serve (an
// import with no stand-in, abort) must end the host's command with a sentence, never crash it.
// Every call into DLL code runs under a guard; the failure unwinds the DLL's own frames back to
// the innermost guard, which reports it. DLL frames hold nothing to clean up: plug-in code has
// no exceptions and no destructors to skip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace refhost::pe {

class Image;

// What an import with no stand-in resolves to: calling it fails with `message`.
struct Trap {
  Image* image;
  std::string
      message;  // "TAVIN.dll called KERNEL32!Foo, which the reference host does not provide"
};

// Bytes of code per trap.
constexpr size_t kTrapThunkSize = 16;
// Writes, at `code`, a function that fails with `trap` whatever it is called with.
void WriteTrapThunk(uint8_t* code, const Trap* trap);

// Ends the innermost guarded call with `message`, recorded as `image`'s failure (image may be
// null). Without a guard (nothing should call DLL code unguarded) the process ends with it.
[[noreturn]] void Fail(Image* image, std::string message);

// Runs `function(context)`; false, with the failure's sentence in `reason`, when DLL code it
// reached failed.
bool RunGuardedCall(void (*function)(void*), void* context, std::string* reason);

// The chain of guards as it stands, and putting it back after a siglongjmp (a caught crash)
// jumped out of guarded calls without ending them.
using GuardChain = const void*;
GuardChain CurrentGuardChain();
void RestoreGuardChain(GuardChain chain);

template <typename Call>
bool RunGuarded(Call&& call, std::string* reason) {
  using Callable = std::remove_reference_t<Call>;
  return RunGuardedCall([](void* c) { (*static_cast<Callable*>(c))(); }, &call, reason);
}

}  // namespace refhost::pe
