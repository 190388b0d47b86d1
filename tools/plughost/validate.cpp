// plughost validate: the checks of every exported class, each check in a child process of its
// own, so a check that crashes or hangs fails alone, with its signal, and the run goes on.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <regex>
#include <set>
#include <string>

#include "host/call_limit.h"
#include "host/host.h"
#include "tools/plughost/class_checks.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/options.h"
#include "tools/plughost/validate_report.h"

namespace plughost {
namespace {

// How long one check may take in all, emulation and sanitizers included, before it counts as
// hung (each call into the plug-in has the shorter --timeout of its own).
constexpr unsigned kCheckSeconds = 300;

struct Options {
  std::vector<std::string> libraries;
  std::set<std::string> classes;  // --class: only these ("": all)
  std::vector<std::regex> include, exclude;
  CheckOptions checks;
  uint32_t callLimitMs = refhost::kDefaultCallLimitMs;
  bool seeded = false;
  bool list = false;
  std::string junit, json;
};

// Prints each check as it ends and keeps it for the reports.
class Collector {
 public:
  Collector(std::ostream& out, ValidateReport* report) : out_(out), report_(report) {}
  void Library(const std::string& library) { library_ = library; }
  void Class(const std::string& name) { class_ = name; }
  void Add(const std::string& check, Outcome outcome, const std::string& why, double seconds) {
    const char* word = outcome == Outcome::kOk     ? "ok  "
                       : outcome == Outcome::kFail ? "FAIL"
                                                   : "skip";
    out_ << "    " << word << "  " << check << (why.empty() ? "" : ": ") << why << "\n";
    out_.flush();
    report_->results.push_back(CheckResult{library_, class_, check, outcome, why, seconds});
  }
  size_t Count(Outcome outcome) const {
    size_t n = 0;
    for (const CheckResult& r : report_->results) n += r.outcome == outcome ? 1 : 0;
    return n;
  }

 private:
  std::ostream& out_;
  ValidateReport* report_;
  std::string library_, class_;
};

// In the child: each check's start and end as one line on the pipe.
class PipeSink : public CheckSink {
 public:
  explicit PipeSink(int fd) : fd_(fd) {}
  void Begin(const std::string& check) override { Send("B " + check + "\n"); }
  void Progress(const std::string& what) override { Send("P " + OneLine(what) + "\n"); }
  void End(const std::string& check, Outcome outcome, const std::string& why,
           double seconds) override {
    Send(OneLine("E " + std::to_string(static_cast<int>(outcome)) + " " + std::to_string(seconds) +
                 " " + check + "\t" + why) +
         "\n");
  }

 private:
  static std::string OneLine(std::string text) {
    for (char& c : text) {
      if (c == '\n') c = ' ';
    }
    return text;
  }
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
  explicit DirectSink(Collector* collector) : collector_(collector) {}
  void Begin(const std::string&) override {}
  void End(const std::string& check, Outcome outcome, const std::string& why,
           double seconds) override {
    collector_->Add(check, outcome, why, seconds);
  }

 private:
  Collector* collector_;
};

// Runs one check of a class in a child process: whatever the plug-in does to that process
// (a crash, a hang, an exit) ends that check alone.
void CheckInChild(refhost::Host& host, const refhost::ClassInfo& info, const CheckOptions& checks,
                  const std::string& check, std::ostream& out, Collector* collector) {
  CheckOptions one = checks;
  one.selected = [&check](std::string_view name) { return name == check; };
  int fds[2];
  out.flush();
  std::fflush(nullptr);
  pid_t child = pipe(fds) == 0 ? fork() : -1;
  if (child < 0) {
    DirectSink sink(collector);
    CheckClass(host, info, one, sink);
    return;
  }
  if (child == 0) {
    close(fds[0]);
    // A plug-in's crash should end the child with its signal, not a sanitizer's report of
    // the plug-in's own code; a hang ends it with SIGALRM.
    for (int s : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) signal(s, SIG_DFL);
    alarm(kCheckSeconds);
    PipeSink sink(fds[1]);
    CheckClass(host, info, one, sink);
    close(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  std::string pending, progress;
  bool ended = false;
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
      if (line.rfind("P ", 0) == 0) progress = line.substr(2);
      // "E outcome seconds check\twhy"
      char* rest = nullptr;
      if (line.rfind("E ", 0) != 0 || line.size() < 6) continue;
      const auto outcome = static_cast<Outcome>(line[2] - '0');
      const double seconds = std::strtod(line.c_str() + 4, &rest);
      std::string tail = rest != nullptr && *rest == ' ' ? rest + 1 : "";
      const size_t tab = tail.find('\t');
      collector->Add(tail.substr(0, tab), outcome,
                     tab == std::string::npos ? "" : tail.substr(tab + 1), seconds);
      ended = true;
    }
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  std::string why;
  if (WIFSIGNALED(status)) {
    why = WTERMSIG(status) == SIGALRM
              ? "did not finish within " + std::to_string(kCheckSeconds) + " s"
              : std::string("crashed with ") + strsignal(WTERMSIG(status));
  } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    why = "stopped the host (exit status " + std::to_string(WEXITSTATUS(status)) +
          "; what it said is on standard error)";
  } else if (!ended) {
    why = "ended without finishing the check";
  }
  if (!why.empty()) {
    if (!progress.empty()) why += " " + progress;
    collector->Add(check, Outcome::kFail, why, 0);
  }
}

bool Selected(const Options& options, std::string_view check) {
  const std::string name(check);
  bool in = options.include.empty();
  for (const std::regex& r : options.include) in = in || std::regex_search(name, r);
  for (const std::regex& r : options.exclude) in = in && !std::regex_search(name, r);
  return in;
}

// Reads the command line; answers -1 to go on, else the exit status.
int ReadOptions(const std::vector<std::string>& args, std::ostream& err, Options* options) {
  OptionReader reader("validate", args, err);
  while (reader.Next()) {
    const std::string option = reader.Current();
    std::string value;
    if (option == "--class") {
      if (!reader.Value(&value)) return 2;
      options->classes.insert(value);
    } else if (option == "--include" || option == "--exclude") {
      if (!reader.Value(&value)) return 2;
      try {
        (option == "--include" ? options->include : options->exclude)
            .emplace_back(value, std::regex::ECMAScript);
      } catch (const std::regex_error& e) {
        return reader.Usage(option + " " + value + " is not a regular expression: " + e.what());
      }
    } else if (option == "--seed") {
      uint64_t seed = 0;
      if (!reader.Number(&seed)) return 2;
      if (seed > UINT32_MAX) return reader.Usage("--seed takes a number below 2^32");
      options->checks.seed = static_cast<uint32_t>(seed);
      options->seeded = true;
    } else if (option == "--strictness") {
      uint64_t strictness = 0;
      if (!reader.Number(&strictness)) return 2;
      if (strictness < 1 || strictness > 10)
        return reader.Usage("--strictness takes 1 (quick) to 10 (thorough)");
      options->checks.strictness = static_cast<int>(strictness);
    } else if (option == "--timeout") {
      if (!reader.Seconds(&options->callLimitMs)) return 2;
    } else if (option == "--junit") {
      if (!reader.Value(&options->junit)) return 2;
    } else if (option == "--json") {
      if (!reader.Value(&options->json)) return 2;
    } else if (option == "--list") {
      options->list = true;
    } else if (reader.IsOption()) {
      return reader.Unknown();
    } else {
      options->libraries.push_back(option);
    }
  }
  size_t chosen = 0;
  for (const CheckInfo& check : AllChecks()) chosen += Selected(*options, check.name) ? 1 : 0;
  if (chosen == 0) return reader.Usage("--include and --exclude leave no check to run (--list)");
  if (!options->list && options->libraries.empty())
    return reader.Usage("name at least one library (plughost --help)");
  return -1;
}

}  // namespace

int Validate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options options;
  if (int status = ReadOptions(args, err, &options); status >= 0) return status;
  options.checks.selected = [&options](std::string_view check) { return Selected(options, check); };
  if (options.list) {
    for (const CheckInfo& check : AllChecks()) {
      if (!Selected(options, check.name)) continue;
      std::string name = check.name;
      out << name << std::string(name.size() < 53 ? 53 - name.size() : 1, ' ') << check.summary
          << "\n";
    }
    return 0;
  }
  if (!options.seeded) options.checks.seed = std::random_device{}();
  out << "validate: seed " << options.checks.seed << " (--seed " << options.checks.seed
      << " repeats this run), time limit " << refhost::LimitText(options.callLimitMs)
      << " a call, strictness " << options.checks.strictness << "\n";

  ValidateReport report;
  report.seed = options.checks.seed;
  Collector collector(out, &report);
  std::set<std::string> classesSeen;
  int classes = 0;
  for (const std::string& path : options.libraries) {
    refhost::Host host(options.checks.seed);
    host.SetCallLimit(options.callLimitMs);
    collector.Library(path);
    collector.Class("");
    out << path << "\n";
    refhost::LoadResult result = host.Load(path);
    if (!result.error.empty()) {
      collector.Add("load", Outcome::kFail, result.error, 0);
      continue;
    }
    for (const refhost::ClassInfo* info : host.Classes()) {
      classesSeen.insert(info->name);
      if (!options.classes.empty() && options.classes.count(info->name) == 0) continue;
      ++classes;
      collector.Class(info->name);
      out << "  class " << info->name << " (" << info->instanceSize << " bytes, flags "
          << info->classFlags << ", " << info->slots.size() << " slots)\n";
      if (!info->usable) {
        collector.Add("registration.entry-protocol", Outcome::kFail, info->error, 0);
        continue;
      }
      for (const CheckInfo& check : AllChecks()) {
        if (Selected(options, check.name))
          CheckInChild(host, *info, options.checks, check.name, out, &collector);
      }
    }
  }
  for (const std::string& name : options.classes) {
    if (classesSeen.count(name) == 0) {
      collector.Library("");
      collector.Class(name);
      collector.Add("class", Outcome::kFail, "no library named exports a class " + name, 0);
    }
  }
  int status = collector.Count(Outcome::kFail) == 0 ? 0 : 1;
  std::string error;
  if (!options.junit.empty() && !WriteJUnit(report, options.junit, &error)) {
    err << "plughost validate: " << error << "\n";
    status = 1;
  }
  if (!options.json.empty() && !WriteJson(report, options.json, &error)) {
    err << "plughost validate: " << error << "\n";
    status = 1;
  }
  const size_t libraries = options.libraries.size();
  out << "\nvalidate: " << libraries << " librar" << (libraries == 1 ? "y" : "ies") << ", "
      << classes << " class" << (classes == 1 ? "" : "es") << ", " << report.results.size()
      << " checks: " << collector.Count(Outcome::kOk) << " ok, " << collector.Count(Outcome::kFail)
      << " failed, " << collector.Count(Outcome::kSkip) << " skipped; seed " << report.seed << "\n";
  out << (status == 0 ? "PASS" : "FAIL") << "\n";
  return status;
}

}  // namespace plughost
