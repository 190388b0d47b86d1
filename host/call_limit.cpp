#include "host/call_limit.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/syscall.h>
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
constexpr int kTick = SIGURG;
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

// The host's thread writes these; the signal handler, which runs on the same thread, reads
// them.
Frame* volatile g_innermost = nullptr;
volatile uint32_t g_serial = 0;    // a new value for each outermost call and each abandonment
volatile sig_atomic_t g_busy = 0;  // an outermost limited call is running
volatile uint32_t g_limitMs = kDefaultCallLimitMs;
volatile sig_atomic_t g_pending = 0;  // overdue, but the signal came while the host's code ran

// The ticking clock: a timer of this thread, made on the first limited call, stopped after a
// quiet spell and started again by the next call. A forked child starts with none.
timer_t g_timer;
volatile sig_atomic_t g_ticking = 0;
bool g_haveTimer = false;
pthread_t g_timerThread;
volatile uint32_t g_tickMs = 50;
// What the handler saw at the last tick.
volatile uint32_t g_seenSerial = 0;
volatile uint32_t g_overdueMs = 0;  // how long the same outermost call has been running
volatile uint32_t g_quietTicks = 0;

constexpr uint32_t kQuietTicksBeforeStopping = 20;

bool InPluginCode(uintptr_t address) {
  const size_t count = g_rangeCount.load(std::memory_order_acquire);
  for (size_t i = 0; i < count; ++i) {
    if (address >= g_ranges[i].begin && address < g_ranges[i].end) return true;
  }
  return false;
}

void Abandon(Frame* frame) {
  g_pending = 0;
  g_serial = g_serial + 1;  // the calls around this one get a fresh limit of their own
  g_overdueMs = 0;
  siglongjmp(frame->jump, 1);
}

void Tick(bool running) {
  itimerspec period{};
  if (running) {
    period.it_interval.tv_nsec = long(g_tickMs) * 1000000L;
    period.it_value = period.it_interval;
  }
  timer_settime(g_timer, 0, &period, nullptr);
  g_ticking = running ? 1 : 0;
}

void WriteError(const char* text) {
  ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

// Each tick: has the same outermost call been running past its limit?
void OnTick(int, siginfo_t*, void* context) {
  Frame* frame = g_innermost;
  if (g_busy == 0 || frame == nullptr) {
    g_overdueMs = 0;
    g_quietTicks = g_quietTicks + 1;
    if (g_quietTicks >= kQuietTicksBeforeStopping) Tick(false);
    return;
  }
  g_quietTicks = 0;
  if (g_serial != g_seenSerial) {
    g_seenSerial = g_serial;
    g_overdueMs = 0;
    return;
  }
  g_overdueMs = g_overdueMs + g_tickMs;
  if (g_overdueMs < g_limitMs) return;
  const auto* state = static_cast<const ucontext_t*>(context);
  if (InPluginCode(static_cast<uintptr_t>(state->uc_mcontext.gregs[REG_EIP]))) Abandon(frame);
  g_pending = 1;
  if (g_overdueMs >= 2 * g_limitMs + 1000) {
    WriteError(
        "plug-in call still running past twice its time limit, outside any plug-in's own code, "
        "where it cannot be abandoned: the process ends\n");
    _exit(124);
  }
}

void StartTicking() {
  if (g_haveTimer && !pthread_equal(g_timerThread, pthread_self())) {
    timer_delete(g_timer);
    g_haveTimer = false;
  }
  if (!g_haveTimer) {
    static bool once = [] {
      // A child process has no timer until its own first limited call.
      pthread_atfork(nullptr, nullptr, [] {
        g_haveTimer = false;
        g_ticking = 0;
      });
      struct sigaction action {};
      action.sa_sigaction = OnTick;
      action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_RESTART;
      sigemptyset(&action.sa_mask);
      sigaction(kTick, &action, nullptr);
      return true;
    }();
    (void)once;
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = kTick;
    event._sigev_un._tid = static_cast<pid_t>(syscall(SYS_gettid));
    if (timer_create(CLOCK_MONOTONIC, &event, &g_timer) != 0) return;
    g_haveTimer = true;
    g_timerThread = pthread_self();
  }
  g_quietTicks = 0;
  Tick(true);
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

void RemovePluginCode(const void* begin, const void* end) {
  const auto b = reinterpret_cast<uintptr_t>(begin), e = reinterpret_cast<uintptr_t>(end);
  const size_t count = g_rangeCount.load(std::memory_order_relaxed);
  for (size_t i = 0; i < count; ++i) {
    if (g_ranges[i].begin != b || g_ranges[i].end != e) continue;
    // The last range takes this one's place before the count drops, so a tick that comes in
    // between sees every range that is still mapped.
    g_ranges[i] = g_ranges[count - 1];
    g_rangeCount.store(count - 1, std::memory_order_release);
    return;
  }
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
  if (frame != nullptr) Abandon(frame);
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
    g_limitMs = limitMs;
    g_tickMs = std::clamp<uint32_t>(limitMs / 20, 1, 50);
    g_serial = g_serial + 1;
    g_pending = 0;
    g_busy = 1;
    if (g_ticking == 0) StartTicking();
  }
  g_innermost = &frame;
  volatile bool finished = false;
  if (sigsetjmp(frame.jump, 0) == 0) {
    body(context);
    finished = true;
  }
  g_innermost = outer;
  if (outer == nullptr) {
    g_busy = 0;
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
