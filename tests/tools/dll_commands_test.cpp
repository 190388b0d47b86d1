// plughost over the Windows builds: every command takes DLLs, a DLL that is not one is refused
// with its reason and exit 1, and a DLL whose code reaches what the host does not serve fails
// the run at that line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/pe/format.h"
#include "tests/tools/plughost_run.h"

namespace {

using plughost_testing::Has;
using plughost_testing::Outcome;
using plughost_testing::Plughost;

#ifdef DLL_DIR
const std::string kTavinDll = std::string(DLL_DIR) + "/TAVIN.dll";

std::vector<char> Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Write(const std::string& name, const std::vector<char>& bytes) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST(PlughostDll, InfoAndValidateTakeTheDeliverableDlls) {
  const Outcome info = Plughost("info " + kTavinDll);
  EXPECT_EQ(info.status, 0) << info.output;
  EXPECT_TRUE(Has(info.output, "class Quit") && Has(info.output, "class MediaCue")) << info.output;
  const Outcome validate = Plughost("validate " + kTavinDll + " " + DLL_DIR + "/ostrel.dll");
  EXPECT_EQ(validate.status, 0) << validate.output;
  EXPECT_TRUE(Has(validate.output, "class ObjRefP")) << validate.output;
  EXPECT_TRUE(Has(validate.output, " 0 failed")) << validate.output;
}

// The deliverable with one thing wrong: each command refuses it with the reason, exit 1.
TEST(PlughostDll, BrokenDllsAreRefusedWithTheirReasonAndExitOne) {
  const std::vector<char> dll = Read(kTavinDll);
  ASSERT_GT(dll.size(), 0x400u);
  uint32_t pe;
  std::memcpy(&pe, &dll[60], 4);
  auto patched = [&](uint32_t at, uint16_t value) {
    std::vector<char> copy = dll;
    std::memcpy(&copy[at], &value, 2);
    return copy;
  };
  struct Case {
    std::string file;
    const char* reason;
  };
  const Case cases[] = {
      {Write("cut.dll", std::vector<char>(dll.begin(), dll.begin() + 0x300)), "cut short"},
      {Write("wide.dll", patched(pe + 24, refhost::pe::kPe32PlusMagic)), "64-bit (PE32+)"},
      {Write("program.exe", patched(pe + 22, refhost::pe::kExecutableImage)), "an EXE, not a DLL"},
  };
  for (const Case& c : cases) {
    for (const char* command : {"info ", "validate "}) {
      const Outcome run = Plughost(command + c.file);
      EXPECT_EQ(run.status, 1) << command << c.file << "\n" << run.output;
      EXPECT_TRUE(Has(run.output, c.file + " is not a usable Windows DLL: ")) << run.output;
      EXPECT_TRUE(Has(run.output, c.reason)) << run.output;
    }
    std::remove(c.file.c_str());
  }
}

// A scenario that reaches an import the host does not serve fails at that line, exit 1.
TEST(PlughostDll, ADllReachingAnImportWithoutStandInFailsTheRunAtItsLine) {
  const std::string file = ::testing::TempDir() + "stray.scn";
  {
    std::ofstream out(file);
    out << "load stray_plugin\nobject /a\nnew s Stray on /a\nget s ticks\nsay never here\n";
  }
  const Outcome run = Plughost("run " + file + " --lib-dir " + LIB_DIR);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.output,
                  "stray.scn:4: stray_plugin.dll called KERNEL32!GetTickCount, which the "
                  "reference host does not provide"))
      << run.output;
  EXPECT_FALSE(Has(run.output, "never here"));
  std::remove(file.c_str());
}

#endif  // DLL_DIR

}  // namespace
