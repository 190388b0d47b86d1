// plughost as a user runs it: its output, its errors and its exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/tools/plughost_run.h"

namespace {

using plughost_testing::Has;
using plughost_testing::Outcome;
using plughost_testing::Plughost;

TEST(Plughost, InfoListsEveryClassWithItsSlotsInRegistrationOrder) {
  Outcome run = Plughost(std::string("info ") + TAVIN_PATH);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output, "class Quit")) << run.output;
  EXPECT_TRUE(Has(run.output, "instance size  20 bytes"));
  EXPECT_TRUE(Has(run.output, "interface      _QComponent"));
  // Quit registers 7, 8, 34, 9, 22, 26, ...: the first three lines in that order.
  const size_t quit = run.output.find("class Quit");
  size_t construct = run.output.find("column  7  Construct", quit);
  size_t copy = run.output.find("column  8  CopyConstruct", quit);
  size_t assign = run.output.find("column 34  Assign", quit);
  ASSERT_NE(construct, std::string::npos);
  ASSERT_NE(copy, std::string::npos);
  ASSERT_NE(assign, std::string::npos);
  EXPECT_LT(construct, copy);
  EXPECT_LT(copy, assign);

  Outcome probe = Plughost(std::string("info ") + PROBE_PLUGIN_PATH);
  EXPECT_EQ(probe.status, 0) << probe.output;
  EXPECT_TRUE(
      Has(probe.output, "class flags    5 (0x5: Construct and CopyConstruct take a base object)"));
  EXPECT_TRUE(Has(probe.output, "row 1  column  0  Periodic"));
  EXPECT_TRUE(Has(probe.output, "row 1  column  1  PositionChanged"));
}

TEST(Plughost, RefusalsAreReadableAndFailTheRun) {
  Outcome bad = Plughost(std::string("info ") + BAD_PLUGIN_PATH);
  EXPECT_EQ(bad.status, 1);
  EXPECT_TRUE(Has(bad.output, "export Crashy does not follow the entry protocol: it crashed"))
      << bad.output;
  EXPECT_TRUE(Has(bad.output, "export Huge does not follow the entry protocol"));

  Outcome text = Plughost("info /etc/passwd");
  EXPECT_EQ(text.status, 1);
  EXPECT_TRUE(Has(text.output, "not an ELF file")) << text.output;

  // One bad library among good ones still fails the run, and the good one is still listed.
  Outcome mixed = Plughost(std::string("info /etc/passwd ") + PROBE_PLUGIN_PATH);
  EXPECT_EQ(mixed.status, 1);
  EXPECT_TRUE(Has(mixed.output, "class Probe"));
}

TEST(Plughost, HelpAndUsageErrors) {
  Outcome help = Plughost("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(Has(help.output, "usage: plughost COMMAND"));
  EXPECT_TRUE(Has(help.output, "info LIB..."));
  EXPECT_EQ(Plughost("").status, 2);
  EXPECT_EQ(Plughost("info").status, 2);
  Outcome unknown = Plughost("frobnicate");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_TRUE(Has(unknown.output, "unknown command \"frobnicate\""));
}

TEST(Plughost, ALibraryIsFoundByItsBareNameInTheCurrentFolder) {
  const std::filesystem::path tavin(TAVIN_PATH);
  const Outcome run = Plughost("info " + tavin.filename().string(), tavin.parent_path().string());
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output, "class Quit")) << run.output;
}

TEST(Plughost, UnknownOptionsAndMissingValuesAreUsageErrors) {
  struct Case {
    const char* args;
    const char* message;
  };
  const Case cases[] = {
      {"info --json x.so", "plughost info: unknown option --json"},
      {"info --timeout", "plughost info: --timeout needs a value"},
      {"info --timeout -1 x.so", "--timeout takes seconds from 0"},
      {"validate --json", "plughost validate: --json needs a value"},
      {"validate --frobnicate x.so", "plughost validate: unknown option --frobnicate"},
      {"run x.scn --json out", "plughost run: unknown option --json"},
  };
  for (const Case& c : cases) {
    const Outcome run = Plughost(c.args);
    EXPECT_EQ(run.status, 2) << c.args << "\n" << run.output;
    EXPECT_TRUE(Has(run.output, c.message)) << c.args << "\n" << run.output;
  }
}

TEST(Plughost, AnEntryThatNeverReturnsIsRefusedAtTheTimeLimit) {
  const Outcome run = Plughost(std::string("info --timeout 0.5 ") + HANG_PLUGIN_PATH);
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Has(run.output,
                  "export Stuck does not follow the entry protocol: the entry call did not "
                  "return within 0.5 s"))
      << run.output;
  EXPECT_TRUE(Has(run.output, "class Sleeper")) << run.output;
}

}  // namespace
