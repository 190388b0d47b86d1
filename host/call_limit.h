// A time limit on every call into a plug-in: an entry call or a callback that has not returned
// when its limit runs out is abandoned, so a plug-in that loops for ever costs the host one
// failed call instead of the whole run.
//
// How: the call runs on the host's thread as always. The first limited call starts a timer of
// that thread which ticks (a signal) every twentieth of the limit, at most every 50 ms; a call
// costs the normal path a few stores and no system call. A tick that finds the same outermost
// call running past its limit abandons the innermost limited call, but only while the thread
// is executing a plug-in library's own code (its address lies in a range registered with
// AddPluginCode), so host, C library and sanitizer code is never cut off in the middle; a tick
// that lands in a host method is acted on when that method returns to the plug-in
// (AbandonIfOverdue), and one that lands anywhere else waits for the next. A call stuck
// outside plug-in code for a second limit ends the process with a message rather than hanging
// it. No thread is involved (a forked child under qemu-i386 cannot start one); the timer stops
// after a second without calls.
#pragma once

#include <cstdint>
#include <string>

namespace refhost {

constexpr uint32_t kDefaultCallLimitMs = 5000;

// Marks [begin, end) as plug-in code: where an overdue call may be abandoned.
void AddPluginCode(const void* begin, const void* end);
// Forgets a range given to AddPluginCode, before its memory is unmapped.
void RemovePluginCode(const void* begin, const void* end);
// Marks every executable segment of a library opened with dlopen.
void AddPluginCodeOf(void* dlHandle);

// Runs body(context) with a time limit in milliseconds (0: none). Calls made inside it run
// under the outermost call's limit. Answers false when the call was abandoned.
bool RunWithinLimit(uint32_t limitMs, void (*body)(void*), void* context);

template <typename F>
bool WithinLimit(uint32_t limitMs, F& body) {
  return RunWithinLimit(
      limitMs, [](void* context) { (*static_cast<F*>(context))(); }, &body);
}

// Called where control passes from a host method back into the plug-in that called it: an
// overdue call whose signal landed inside the host is abandoned here, at the first point where
// no host code is left half done.
void AbandonIfOverdue();

// "5 s", "0.25 s": a limit as people read it.
std::string LimitText(uint32_t limitMs);

}  // namespace refhost
