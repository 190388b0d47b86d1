// plughost validate: every exported class through its whole life cycle, each in a child
// process of its own, so a class that crashes or hangs fails its check and the run goes on.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>

#include "host/host.h"
#include "tools/plughost/class_checks.h"
#include "tools/plughost/commands.h"

namespace plughost {
namespace {

// How long one class may take, emulation included, before it counts as hung.
constexpr unsigned kClassSeconds = 120;

struct Tally {
  int ok = 0;
  int failed = 0;
  int skipped = 0;
};

void PrintCheck(std::ostream& out, Outcome outcome, const std::string& check,
                const std::string& why) {
  const char* word = outcome == Outcome::kOk ? "ok  " : outcome == Outcome::kFail ? "FAIL" : "skip";
  out << "    " << word << "  " << check;
  if (!why.empty()) out << ": " << why;
  out << "\n";
}

void Count(Tally* tally, Outcome outcome) {
  if (outcome == Outcome::kOk) ++tally->ok;
  if (outcome == Outcome::kFail) ++tally->failed;
  if (outcome == Outcome::kSkip) ++tally->skipped;
}

// In the child: each check's start and end as one line on the pipe.
class PipeSink : public CheckSink {
 public:
  explicit PipeSink(int fd) : fd_(fd) {}
  void Begin(const std::string& check) override { Send("B " + check + "\n"); }
  void End(const std::string& check, Outcome outcome, const std::string& why) override {
    std::string line = "E " + std::to_string(static_cast<int>(outcome)) + " " + check + "\t" + why;
    for (char& c : line) {
      if (c == '\n') c = ' ';
    }
    Send(line + "\n");
  }

 private:
  void Send(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = write(fd_, text.data() + done, text.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }
  int fd_;
};

// Without a child process (fork refused): the checks print as they end.
class DirectSink : public CheckSink {
 public:
  DirectSink(std::ostream& out, Tally* tally) : out_(out), tally_(tally) {}
  void Begin(const std::string&) override {}
  void End(const std::string& check, Outcome outcome, const std::string& why) override {
    PrintCheck(out_, outcome, check, why);
    Count(tally_, outcome);
  }

 private:
  std::ostream& out_;
  Tally* tally_;
};

void CheckInChild(refhost::Host& host, const refhost::ClassInfo& info, std::ostream& out,
                  Tally* tally) {
  int fds[2];
  out.flush();
  std::fflush(nullptr);
  if (pipe(fds) != 0) {
    DirectSink sink(out, tally);
    CheckClass(host, info, sink);
    return;
  }
  pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    DirectSink sink(out, tally);
    CheckClass(host, info, sink);
    return;
  }
  if (child == 0) {
    close(fds[0]);
    // A plug-in's crash should end the child with its signal, not a sanitizer's report of
    // the plug-in's own code; a hang ends it with SIGALRM.
    for (int s : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) signal(s, SIG_DFL);
    alarm(kClassSeconds);
    PipeSink sink(fds[1]);
    CheckClass(host, info, sink);
    close(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  std::string pending, current;
  char chunk[4096];
  for (;;) {
    ssize_t n = read(fds[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(chunk, static_cast<size_t>(n));
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (line.rfind("B ", 0) == 0) {
        current = line.substr(2);
      } else if (line.rfind("E ", 0) == 0 && line.size() > 4) {
        auto outcome = static_cast<Outcome>(line[2] - '0');
        size_t tab = line.find('\t');
        std::string check = line.substr(4, tab == std::string::npos ? std::string::npos : tab - 4);
        std::string why = tab == std::string::npos ? "" : line.substr(tab + 1);
        PrintCheck(out, outcome, check, why);
        Count(tally, outcome);
        current.clear();
      }
    }
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  std::string why;
  if (WIFSIGNALED(status)) {
    why = WTERMSIG(status) == SIGALRM
              ? "did not finish within " + std::to_string(kClassSeconds) + " s"
              : std::string("crashed with ") + strsignal(WTERMSIG(status));
  } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    why = "stopped the host (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
  } else if (!current.empty()) {
    why = "ended without finishing the check";
  }
  if (!why.empty()) {
    PrintCheck(out, Outcome::kFail, current.empty() ? "life cycle" : current,
               why + "; the class's remaining checks did not run");
    Count(tally, Outcome::kFail);
  }
}

}  // namespace

int Validate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "plughost validate: name at least one library (plughost --help)\n";
    return 2;
  }
  Tally tally;
  int classes = 0;
  for (const std::string& path : args) {
    refhost::Host host;
    refhost::LoadResult result = host.Load(path);
    out << path << "\n";
    if (!result.error.empty()) {
      PrintCheck(out, Outcome::kFail, "load", result.error);
      ++tally.failed;
      continue;
    }
    for (const refhost::ClassInfo* info : host.Classes()) {
      ++classes;
      out << "  class " << info->name << " (" << info->instanceSize << " bytes, flags "
          << info->classFlags << ", " << info->slots.size() << " slots)\n";
      if (!info->usable) {
        PrintCheck(out, Outcome::kFail, "registration", info->error);
        ++tally.failed;
        continue;
      }
      CheckInChild(host, *info, out, &tally);
    }
  }
  const int checks = tally.ok + tally.failed + tally.skipped;
  out << "\nvalidate: " << args.size() << " librar" << (args.size() == 1 ? "y" : "ies") << ", "
      << classes << " class" << (classes == 1 ? "" : "es") << ", " << checks
      << " checks: " << tally.ok << " ok, " << tally.failed << " failed, " << tally.skipped
      << " skipped\n";
  out << (tally.failed == 0 ? "PASS" : "FAIL") << "\n";
  return tally.failed == 0 ? 0 : 1;
}

}  // namespace plughost
