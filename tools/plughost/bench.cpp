// plughost bench: what ListMod's ordering and copying cost in the reference host, each beside
// the same work done natively on the same data in the same run, with the host calls it took.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "host/host.h"
#include "tools/plughost/commands.h"

namespace plughost {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int32_t kLongestList = 32767;
constexpr uint32_t kSeed = 20261209;

struct Row {
  std::string operation;
  std::string input;
  uint32_t n = 0;
  double pluginMs = 0;
  double nativeMs = 0;
  uint64_t hostCalls = 0;
  double Ratio() const { return nativeMs > 0 ? pluginMs / nativeMs : 0; }
};

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The best of `repeats` runs of `timed`, each after an untimed `prepare`.
double Best(int repeats, const std::function<void()>& prepare, const std::function<void()>& timed) {
  double best = 1e300;
  for (int r = 0; r < repeats; ++r) {
    prepare();
    const Clock::time_point start = Clock::now();
    timed();
    best = std::min(best, Milliseconds(Clock::now() - start));
  }
  return best;
}

// Where ostrel lies when not named: beside the build's plughost, or in the build root.
std::string FindOstrel() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  std::vector<fs::path> candidates;
  if (!ec) {
    const fs::path dir = exe.parent_path();
    candidates = {dir / "../../ostrel/ostrel.so", dir / "../../ostrel.so", dir / "ostrel.so"};
  }
  candidates.push_back("ostrel.so");
  for (const fs::path& p : candidates) {
    if (fs::exists(p, ec)) return fs::weakly_canonical(p, ec).string();
  }
  return "";
}

class ListBench {
 public:
  explicit ListBench(refhost::Host& host) : host_(host) {}

  bool Prepare(std::string* error) {
    const uint32_t stage = host_.AddObject(0, "bench");
    objectA_ = host_.AddObject(stage, "a");
    objectB_ = host_.AddObject(stage, "b");
    a_ = host_.Create("ListMod", objectA_, objectA_);
    b_ = host_.Create("ListMod", objectB_, objectB_);
    if (a_ == nullptr || b_ == nullptr) {
      *error = "the library has no usable ListMod class";
      return false;
    }
    return true;
  }

  std::vector<Row> Measure(uint32_t n) {
    std::mt19937 random(kSeed + n);
    std::vector<int32_t> values(n);
    for (int32_t& v : values) v = static_cast<int32_t>(random());
    std::vector<int32_t> ascending = values;
    std::sort(ascending.begin(), ascending.end());
    const int repeats = n <= 1000 ? 25 : 9;
    std::vector<Row> rows;

    rows.push_back(Time(
        "sortAscend", "random", values, repeats, [&] { Get(a_, "sortAscend"); },
        [&](std::vector<int32_t>& copy) { std::sort(copy.begin(), copy.end()); }));
    rows.push_back(Time(
        "sortAscend", "ascending", ascending, repeats, [&] { Get(a_, "sortAscend"); },
        [&](std::vector<int32_t>& copy) { std::sort(copy.begin(), copy.end()); }));
    rows.push_back(Time(
        "shuffle", "random", values, repeats, [&] { Get(a_, "shuffle"); },
        [&](std::vector<int32_t>& copy) {
          std::mt19937 shuffler(kSeed);
          std::shuffle(copy.begin(), copy.end(), shuffler);
        }));
    // A whole cycle of draws without repetition, from a freshly filled pool.
    rows.push_back(Time(
        "randomBegin", "random", values, repeats,
        [&] {
          for (uint32_t i = 0; i < n; ++i) Get(a_, "randomBegin");
        },
        [&](std::vector<int32_t>& copy) {
          std::mt19937 drawer(kSeed);
          std::vector<uint32_t> pool(copy.size());
          for (uint32_t i = 0; i < pool.size(); ++i) pool[i] = i;
          int64_t sum = 0;
          for (uint32_t left = static_cast<uint32_t>(pool.size()); left > 0; --left) {
            const uint32_t r = drawer() % left;
            sum += copy[pool[r]];
            pool[r] = pool[left - 1];
          }
          copy[0] = static_cast<int32_t>(sum);
        },
        [&] { Set(a_, "ResetBR", nullptr); }));
    rows.push_back(Time(
        "transfer", "random", values, repeats,
        [&] {
          const IntegerValue index{tag::kInteger, 0};
          const ReferenceValue from{tag::kReference, nullptr, nullptr, objectA_, nullptr};
          b_->SetAttribute("value", &index, &from);
        },
        [&](std::vector<int32_t>& copy) {
          std::vector<int32_t> other = copy;
          copy.swap(other);
        }));
    return rows;
  }

 private:
  void Get(refhost::Instance* list, const char* name) {
    uint8_t out[64] = {};
    const uint16_t unassigned = tag::kUnassigned;
    std::memcpy(out, &unassigned, sizeof unassigned);
    list->GetAttribute(name, nullptr, out);
  }
  void Set(refhost::Instance* list, const char* name, const void* index) {
    const IntegerValue zero{tag::kInteger, 0};
    list->SetAttribute(name, index, &zero);
  }
  void Fill(refhost::Instance* list, const std::vector<int32_t>& values) {
    const IntegerValue count{tag::kInteger, static_cast<int32_t>(values.size())};
    list->SetAttribute("count", nullptr, &count);
    for (size_t i = 0; i < values.size(); ++i) {
      const IntegerValue index{tag::kInteger, static_cast<int32_t>(i + 1)};
      const IntegerValue value{tag::kInteger, values[i]};
      list->SetAttribute("value", &index, &value);
    }
  }

  Row Time(const char* operation, const char* input, const std::vector<int32_t>& values,
           int repeats, const std::function<void()>& plugin,
           const std::function<void(std::vector<int32_t>&)>& native,
           const std::function<void()>& before = nullptr) {
    Row row;
    row.operation = operation;
    row.input = input;
    row.n = static_cast<uint32_t>(values.size());
    uint64_t calls = 0;
    row.pluginMs = Best(
        repeats,
        [&] {
          Fill(a_, values);
          if (before) before();
        },
        [&] {
          const uint64_t start = host_.HostCalls();
          plugin();
          calls = host_.HostCalls() - start;
        });
    row.hostCalls = calls;
    std::vector<int32_t> copy;
    row.nativeMs = Best(
        repeats, [&] { copy.clear(); },
        [&] {
          copy = values;
          native(copy);
        });
    if (!copy.empty()) sink_ += copy[0];
    return row;
  }

  refhost::Host& host_;
  uint32_t objectA_ = 0;
  uint32_t objectB_ = 0;
  refhost::Instance* a_ = nullptr;
  refhost::Instance* b_ = nullptr;
  int64_t sink_ = 0;  // keeps the native work from being optimised away
};

void PrintTable(const std::vector<Row>& rows, std::ostream& out) {
  char line[160];
  std::snprintf(line, sizeof line, "%-12s %-10s %6s %11s %11s %7s %11s %9s\n", "operation", "input",
                "n", "plugin_ms", "native_ms", "ratio", "host_calls", "calls/n");
  out << line;
  for (const Row& r : rows) {
    std::snprintf(line, sizeof line, "%-12s %-10s %6u %11.3f %11.3f %7.2f %11llu %9.2f\n",
                  r.operation.c_str(), r.input.c_str(), r.n, r.pluginMs, r.nativeMs, r.Ratio(),
                  static_cast<unsigned long long>(r.hostCalls),
                  r.n != 0 ? static_cast<double>(r.hostCalls) / r.n : 0.0);
    out << line;
  }
}

std::string Json(const std::vector<Row>& rows) {
  std::string json = "[\n";
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    char line[320];
    std::snprintf(line, sizeof line,
                  "  {\"operation\": \"%s\", \"input\": \"%s\", \"n\": %u, \"plugin_ms\": %.4f, "
                  "\"native_ms\": %.4f, \"ratio\": %.3f, \"host_calls\": %llu}%s\n",
                  r.operation.c_str(), r.input.c_str(), r.n, r.pluginMs, r.nativeMs, r.Ratio(),
                  static_cast<unsigned long long>(r.hostCalls), i + 1 < rows.size() ? "," : "");
    json += line;
  }
  return json + "]\n";
}

}  // namespace

int Bench(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<uint32_t> sizes = {1000, static_cast<uint32_t>(kLongestList)};
  std::string jsonPath;
  std::string library;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--n" && hasValue) {
      char* end = nullptr;
      const long n = std::strtol(args[++i].c_str(), &end, 10);
      if (end == nullptr || *end != '\0' || n < 1 || n > kLongestList) {
        err << "plughost bench: --n takes a list length from 1 to " << kLongestList << "\n";
        return 2;
      }
      sizes = {static_cast<uint32_t>(n)};
    } else if (arg == "--json" && hasValue) {
      jsonPath = args[++i];
    } else if (arg == "--lib" && hasValue) {
      library = args[++i];
    } else {
      err << "plughost bench: unknown argument \"" << arg << "\" (plughost --help)\n";
      return 2;
    }
  }
  if (library.empty()) library = FindOstrel();
  if (library.empty()) {
    err << "plughost bench: cannot find ostrel.so; name it with --lib\n";
    return 2;
  }
  refhost::Host host(kSeed);
  const refhost::LoadResult loaded = host.Load(library);
  if (!loaded.error.empty()) {
    err << "plughost bench: " << loaded.error << "\n";
    return 1;
  }
  ListBench bench(host);
  std::string error;
  if (!bench.Prepare(&error)) {
    err << "plughost bench: " << error << "\n";
    return 1;
  }
  std::vector<Row> rows;
  for (uint32_t n : sizes) {
    for (Row& row : bench.Measure(n)) rows.push_back(row);
  }
  out << "ListMod in the reference host (" << library << "), best of several runs:\n";
  PrintTable(rows, out);
  if (!jsonPath.empty()) {
    std::ofstream file(jsonPath);
    file << Json(rows);
    if (!file) {
      err << "plughost bench: cannot write " << jsonPath << "\n";
      return 1;
    }
  }
  host.DestroyAll();
  if (!host.Ownership().Faults().empty() || !host.Ownership().Leaks().empty()) {
    err << "plughost bench: " << host.Ownership().Report() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace plughost
