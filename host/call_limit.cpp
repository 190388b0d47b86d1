#include "host/call_limit.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace refhost {
namespace {

// Ignored by default, so one that arrives after its call has ended does no harm.
constexpr int kNudge = SIGURG;
constexpr size_t kMaxRanges = 64;

struct CodeRange {
  uintptr_t begin;
  uintptr_t end;
};
CodeRange g_ranges[kMaxRanges];
std::atomic<size_t> g_rangeCount{0};

struct Frame {
  sigjmp_buf jump;
  Frame* outer;
};

// The host's thread writes these; the signal handler (on the same thread) and the watchdog
// read them.
Frame* volatile g_innermost = nullptr;
std::atomic<uint32_t> g_serial{0};  // a new value for each outermost call and each abandonment
std::atomic<bool> g_busy{false};    // an outermost limited call is running
std::atomic<uint32_t> g_limitMs{kDefaultCallLimitMs};
std::atomic<uint32_t> g_overdue{0};  // the serial the watchdog found running past its limit
pthread_t g_caller;
std::atomic<bool> g_watching{false};

bool InPluginCode(uintptr_t address) {
  const size_t count = g_rangeCount.load(std::memory_order_acquire);
  for (size_t i = 0; i < count; ++i) {
    if (address >= g_ranges[i].begin && address < g_ranges[i].end) return true;
  }
  return false;
}

void Bump() {
  g_serial.store(g_serial.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

volatile sig_atomic_t g_pending = 0;  // a signal came while the host's own code ran

void Abandon(Frame* frame) {
  g_pending = 0;
  Bump();  // the calls around this one get a fresh limit of their own
  siglongjmp(frame->jump, 1);
}

void OnNudge(int, siginfo_t*, void* context) {
  Frame* frame = g_innermost;
  if (frame == nullptr || g_overdue.load() != g_serial.load()) return;
  const auto* state = static_cast<const ucontext_t*>(context);
  if (InPluginCode(static_cast<uintptr_t>(state->uc_mcontext.gregs[REG_EIP]))) Abandon(frame);
  g_pending = 1;
}

uint64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

void WriteError(const char* text) {
  ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

void* Watch(void*) {
  bool tracking = false;
  uint32_t tracked = 0;
  uint64_t since = 0;
  for (;;) {
    const uint32_t limit = g_limitMs.load(std::memory_order_relaxed);
    const long tickMs = std::clamp<long>(limit / 20, 1, 50);
    timespec tick{0, tickMs * 1000000L};
    nanosleep(&tick, nullptr);
    if (!g_busy.load(std::memory_order_acquire)) {
      tracking = false;
      continue;
    }
    const uint32_t serial = g_serial.load(std::memory_order_acquire);
    const uint64_t now = NowMs();
    if (!tracking || serial != tracked) {
      tracking = true;
      tracked = serial;
      since = now;
      continue;
    }
    if (now - since < limit) continue;
    // Overdue: signal until the call ends or is abandoned (each signal may land outside the
    // plug-in's code, where it does nothing).
    g_overdue.store(serial);
    pthread_kill(g_caller, kNudge);
    if (now - since >= 2 * uint64_t{limit} + 1000) {
      WriteError(("plug-in call still running after " + LimitText(limit) +
                  ", outside any plug-in's own code, where it cannot be abandoned: the process "
                  "ends\n")
                     .c_str());
      _exit(124);
    }
  }
  return nullptr;
}

void StartWatching() {
  if (g_watching.load(std::memory_order_relaxed)) return;
  static bool once = [] {
    // A child process has no watchdog thread until its own first limited call.
    pthread_atfork(nullptr, nullptr, [] { g_watching.store(false); });
    struct sigaction action {};
    action.sa_sigaction = OnNudge;
    action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(kNudge, &action, nullptr);
    return true;
  }();
  (void)once;
  pthread_t thread;
  if (pthread_create(&thread, nullptr, Watch, nullptr) == 0) {
    pthread_detach(thread);
    g_watching.store(true);
  }
}

int AddExecutableSegments(dl_phdr_info* info, size_t, void* data) {
  const auto base = *static_cast<ElfW(Addr)*>(data);
  if (info->dlpi_addr != base) return 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0) continue;
    const auto begin = reinterpret_cast<const char*>(base + segment.p_vaddr);
    AddPluginCode(begin, begin + segment.p_memsz);
  }
  return 1;
}

}  // namespace

void AddPluginCode(const void* begin, const void* end) {
  const auto b = reinterpret_cast<uintptr_t>(begin), e = reinterpret_cast<uintptr_t>(end);
  const size_t count = g_rangeCount.load(std::memory_order_relaxed);
  for (size_t i = 0; i < count; ++i) {
    if (g_ranges[i].begin == b && g_ranges[i].end == e) return;
  }
  if (count == kMaxRanges) return;
  g_ranges[count] = CodeRange{b, e};
  g_rangeCount.store(count + 1, std::memory_order_release);
}

void AddPluginCodeOf(void* dlHandle) {
  link_map* map = nullptr;
  if (dlHandle == nullptr || dlinfo(dlHandle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return;
  ElfW(Addr) base = map->l_addr;
  dl_iterate_phdr(AddExecutableSegments, &base);
}

void AbandonIfOverdue() {
  if (g_pending == 0) return;
  Frame* frame = g_innermost;
  if (frame != nullptr && g_overdue.load() == g_serial.load()) Abandon(frame);
  g_pending = 0;
}

bool RunWithinLimit(uint32_t limitMs, void (*body)(void*), void* context) {
  Frame* outer = g_innermost;
  if (outer == nullptr && limitMs == 0) {
    body(context);
    return true;
  }
  Frame frame;
  frame.outer = outer;
  if (outer == nullptr) {
    StartWatching();
    g_caller = pthread_self();
    g_limitMs.store(limitMs, std::memory_order_relaxed);
    Bump();
    g_busy.store(true, std::memory_order_release);
  }
  g_innermost = &frame;
  volatile bool finished = false;
  if (sigsetjmp(frame.jump, 0) == 0) {
    body(context);
    finished = true;
  }
  g_innermost = outer;
  if (outer == nullptr) {
    g_busy.store(false, std::memory_order_release);
    g_pending = 0;
  }
  return finished;
}

std::string LimitText(uint32_t limitMs) {
  char text[32];
  if (limitMs % 1000 == 0) {
    std::snprintf(text, sizeof text, "%u s", limitMs / 1000);
  } else {
    std::snprintf(text, sizeof text, "%g s", limitMs / 1000.0);
  }
  return text;
}

}  // namespace refhost
