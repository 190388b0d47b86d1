// The Linux and the Windows builds behave the same: every scenario in the tree runs with
// --trace over the .so files and over the DLLs, and the two outputs (every host call, every
// slot, every value printed, the exit status) must agree line by line, the library file names
// and addresses aside, and so must every plot the scenario writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/plughost_run.h"

namespace {

using plughost_testing::Has;
using plughost_testing::Outcome;
using plughost_testing::Plughost;
namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// "TAVIN.so" and "TAVIN.dll" are the same library, wherever each was built.
std::string WithoutForm(const std::string& line) {
  static const std::regex library(R"(([^\s:]*/)?(\w+)\.(so|dll)\b)");
  return std::regex_replace(line, library, "$2.LIB");
}

// Addresses differ between any two runs; nothing else may.
std::string WithoutAddresses(const std::string& line) {
  static const std::regex address(R"(0x[0-9a-fA-F]{6,8})");
  return std::regex_replace(line, address, "0x?");
}

// "" when the two runs agree; else the first difference.
std::string Difference(const Outcome& so, const Outcome& dll) {
  if (so.status != dll.status) {
    return "exit status " + std::to_string(so.status) + " (.so) against " +
           std::to_string(dll.status) + " (.dll)";
  }
  const std::vector<std::string> a = Lines(so.output), b = Lines(dll.output);
  for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const std::string left = i < a.size() ? WithoutForm(a[i]) : "(nothing)";
    const std::string right = i < b.size() ? WithoutForm(b[i]) : "(nothing)";
    if (left != right && WithoutAddresses(left) != WithoutAddresses(right)) {
      return "line " + std::to_string(i + 1) + ":\n  .so:  " + left + "\n  .dll: " + right;
    }
  }
  return "";
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return in ? text.str() : "(missing)";
}

std::vector<std::string> ScenariosInTheTree() {
  std::vector<std::string> files;
  for (const char* folder : {"scenarios", "tests/scenarios"}) {
    for (const auto& entry : fs::directory_iterator(fs::path(SCENARIO_ROOT) / folder)) {
      if (entry.path().extension() == ".scn") files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(TraceComparison, EveryScenarioRunsTheSameOverTheSoAndTheDllBuilds) {
#ifdef DLL_DIR
  const std::vector<std::string> scenarios = ScenariosInTheTree();
  ASSERT_GE(scenarios.size(), 5u);
  const fs::path plots = fs::path(::testing::TempDir()) / "trace-plots";
  for (const std::string& file : scenarios) {
    fs::remove_all(plots);
    const std::string run = "run " + file + " --trace --lib-dir " + LIB_DIR + " --out-dir " +
                            plots.string() +
                            "/plots.";  // a printed path then differs only as a library name does
    const Outcome so = Plughost(run + "so --form so");
    const Outcome dll = Plughost(run + "dll --form dll");
    // Both really ran: libraries of the asked-for form loaded, host calls traced.
    EXPECT_TRUE(Has(so.output, ".so:") && !Has(so.output, ".dll:")) << file << "\n" << so.output;
    EXPECT_TRUE(Has(dll.output, ".dll:") && !Has(dll.output, ".so:")) << file << "\n" << dll.output;
    EXPECT_TRUE(Has(dll.output, "| -> ")) << file;
    EXPECT_EQ(Difference(so, dll), "") << file;
    // What the scenario plotted, byte for byte.
    if (fs::exists(plots / "plots.so")) {
      for (const auto& entry : fs::directory_iterator(plots / "plots.so")) {
        EXPECT_EQ(Contents(entry.path()), Contents(plots / "plots.dll" / entry.path().filename()))
            << file << ": " << entry.path().filename();
      }
    }
  }
  fs::remove_all(plots);
#else
  GTEST_SKIP() << "this build made no DLLs";
#endif
}

TEST(TraceComparison, LinesDifferingOnlyInAddressesOrLibraryFormAgree) {
  Outcome a{0, "  loaded TAVIN.so: Quit\n  | at 0x5655a000\n"};
  Outcome b{0, "  loaded TAVIN.dll: Quit\n  | at 0x68501000\n"};
  EXPECT_EQ(Difference(a, b), "");
  b.output += "extra\n";
  EXPECT_EQ(Difference(a, b), "line 3:\n  .so:  (nothing)\n  .dll: extra");
  Outcome c{0, "  loaded TAVIN.dll: Quit\n  | at 0x68501000 = 1\n"};
  EXPECT_NE(Difference(a, c), "");
  Outcome d{1, a.output};
  EXPECT_EQ(Difference(a, d), "exit status 0 (.so) against 1 (.dll)");
}

}  // namespace
