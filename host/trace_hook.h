// How the host's method entry points and slot calls feed the trace: nothing is rendered or
// kept unless tracing is on, so a host that does not trace behaves exactly as before.
#pragma once

#include <cstdint>

#include "host/call_limit.h"
#include "host/host.h"

namespace refhost {

template <typename Result>
Result BackToPlugin(Result result) {
  AbandonIfOverdue();
  return result;
}

template <typename Render, typename Call>
auto TracedCall(Host* host, const char* method, Render render, Call call) {
  if (host != nullptr) host->CountHostCall();
  if (host == nullptr || !host->Tracing()) return call();
  TraceArgs arguments(*host);
  render(arguments);
  Tracer& tracer = host->GetTracer();
  size_t at = tracer.BeginHostCall(method, arguments.Text());
  auto result = call();
  tracer.EndCall(at, static_cast<uint16_t>(result & 0xFFFF));
  return result;
}

}  // namespace refhost

// `return`s the call's result; `render` is a chain of TraceArgs calls (".Number(n).Out()").
// The method is done by the time its result is handed back: the point where an overdue call
// may be abandoned (host/call_limit.h).
#define REFHOST_TRACED(host, method, render, call)                                  \
  return ::refhost::BackToPlugin(::refhost::TracedCall(                             \
      host, method, [&](::refhost::TraceArgs& traced_args) { traced_args render; }, \
      [&] { return call; }))
