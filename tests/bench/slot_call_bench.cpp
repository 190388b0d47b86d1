// What the time limit on plug-in calls costs a slot call: Quit's GetAttribute of an unknown
// name, called through the host again and again, with the limit off and on.
//   make bench   (natively where the kernel runs i386; PLUG_FORCE_QEMU=1 for the emulator)
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "host/host.h"

namespace {

double NanosecondsPerCall(refhost::Host& host, refhost::Instance& quit, uint32_t limitMs,
                          int calls) {
  host.SetCallLimit(limitMs);
  uint8_t out[64] = {};
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) quit.GetAttribute("zzNoSuchAttr", nullptr, out);
  const auto spent = std::chrono::steady_clock::now() - start;
  return std::chrono::duration<double, std::nano>(spent).count() / calls;
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::atoi(argv[1]) : 2000000;
  refhost::Host host;
  if (!host.Load(TAVIN_PATH).ok) {
    std::fprintf(stderr, "slot_call_bench: cannot load %s\n", TAVIN_PATH);
    return 1;
  }
  refhost::Instance* quit = host.Create("Quit", host.AddObject(0, "stage"));
  NanosecondsPerCall(host, *quit, 0, calls / 10);  // warm up, and start the watchdog
  NanosecondsPerCall(host, *quit, 5000, calls / 10);
  double off = 1e30, on = 1e30;
  for (int round = 0; round < 5; ++round) {  // the best of five, against a busy machine
    off = std::min(off, NanosecondsPerCall(host, *quit, 0, calls));
    on = std::min(on, NanosecondsPerCall(host, *quit, 5000, calls));
  }
  std::printf("slot call, no time limit:  %7.1f ns\n", off);
  std::printf("slot call, 5 s time limit: %7.1f ns (%+.1f ns, %+.0f%%)\n", on, on - off,
              100 * (on - off) / off);
  host.DestroyAll();
  return 0;
}
