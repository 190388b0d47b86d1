// plughost run as a user meets it: expectations that fail name their line and the run goes
// on, errors stop it with the line and a reason, and what the plug-ins leave behind fails it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/tools/plughost_run.h"

namespace {

using plughost_testing::Has;
using plughost_testing::Outcome;
using plughost_testing::Plughost;

const std::string kDir = SCENARIO_TEST_DIR;
const std::string kLibDir = std::string(" --lib-dir ") + LIB_DIR;

Outcome RunFile(const std::string& name) {
  return Plughost("run " + kDir + "/" + name + kLibDir);
}

// Runs a scenario given as text, from a file of its own.
Outcome RunText(const std::string& text, const std::string& options = kLibDir) {
  char path[] = "/tmp/plughost_scenario_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  std::ofstream(path) << text;
  Outcome run = Plughost(std::string("run ") + path + options);
  std::remove(path);
  return run;
}

TEST(ScenarioRun, FailedExpectationsNameTheirLinesAndTheRunGoesOn) {
  const Outcome run = RunFile("expect_failures.scn");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Has(run.output, "expect_failures.scn:7: expected id(1803,0), got id(1802,0)"))
      << run.output;
  EXPECT_TRUE(Has(run.output, "expect_failures.scn:9: expected 0, got 1")) << run.output;
  EXPECT_FALSE(Has(run.output, "expect_failures.scn:6:"));
  EXPECT_TRUE(Has(run.output, "still running after the failures"));
  EXPECT_TRUE(Has(run.output, "2 expectations failed"));
}

TEST(ScenarioRun, WhatTheHostSawIsPrintedAndChecked) {
  const Outcome run = RunFile("probe.scn");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output, "p (Probe#1) on /stage/actor listens to id(77,0)")) << run.output;
  EXPECT_TRUE(Has(run.output, "  delivered to 1, handled by 1"));
  EXPECT_TRUE(Has(run.output, "  clock at 1000 ms"));
  EXPECT_TRUE(Has(run.output, "  0 instances told"));  // the probe asks for none
  EXPECT_TRUE(Has(run.output, "  ownership: 0 faults, 0 leaks"));
  EXPECT_FALSE(Has(run.output, "FAIL"));
}

TEST(ScenarioRun, MediaCommandsPlayAnObjectAndShowEachMessageWhereItWasSent) {
  const Outcome run = RunFile("media_cue.scn");
  EXPECT_EQ(run.status, 0) << run.output;
  // Each message follows the position that caused it, with all that it carried.
  EXPECT_TRUE(Has(run.output,
                  "  at 100 200 300\n"
                  "  cue (MediaCue#1) sent id(1,0) about /clip to every object (choice(201,5)), "
                  "data choice(9,2), flags 0x7\n"
                  "  at 400\n"))
      << run.output;
  EXPECT_TRUE(Has(run.output,
                  "  played 500 ms at 1000 a second: 5 steps, 5 notifications, 2 messages "
                  "sent; clock at 500 ms"));
  EXPECT_TRUE(Has(run.output, "  /clip at 350\n"));
  EXPECT_TRUE(Has(run.output, "  /clip plays at -1000 a second\n"));
  EXPECT_FALSE(Has(run.output, "FAIL"));
}

TEST(ScenarioRun, CursorsAskedForShowUnderTheirCommandAndCanBeChecked) {
  const Outcome run = RunFile("cursor_mod.scn");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output,
                  "> send /stage id(404)\n"
                  "  delivered to 1, handled by 1\n"
                  "  arrow (CursorMod#1) asked for cursor 3\n"))
      << run.output;
  EXPECT_TRUE(Has(run.output,
                  "> cursors\n"
                  "  arrow (CursorMod#1) asked for cursor 3\n"
                  "  arrow (CursorMod#1) asked for cursor 3\n"));
  EXPECT_FALSE(Has(run.output, "FAIL"));
  const Outcome none = RunText("expect cursor 0\n");
  EXPECT_EQ(none.status, 1);
  EXPECT_TRUE(Has(none.output, "expected 0, got no cursor")) << none.output;
}

TEST(ScenarioRun, MachineFactsSetInAScenarioAreWhatSysInfoReports) {
  const Outcome run = RunFile("sys_info.scn");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output,
                  "  machine: system 3.95 (0x5f03), processor type 386, screen 640 x 480 at 8 "
                  "bits, keyboard type 1\n"))
      << run.output;
  EXPECT_TRUE(Has(run.output, "  old.SCREENSIZE = point(640,480)\n"));
  EXPECT_FALSE(Has(run.output, "FAIL"));
}

TEST(ScenarioRun, PlayTakesPositionsFromTheStartSoUnevenRatesDoNotDrift) {
  // 333 a second in 300 ms steps: 99.9, 199.8, 299.7, then the last 100 ms to 333.
  const Outcome run = RunText(
      "object /a\nrate /a 333\nseek /a 0\nplay /a 1000 step 300\nposition /a\n"
      "expect value 333\nplay /a 0\nexpect sent 0\nexpect sent 1\n");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Has(run.output, "  at 99 199 299 333\n")) << run.output;
  EXPECT_TRUE(Has(run.output, "4 steps, 0 notifications, 0 messages sent; clock at 1000 ms"));
  EXPECT_TRUE(Has(run.output, "played 0 ms at 333 a second: 0 steps"));
  EXPECT_FALSE(Has(run.output, ":6:")) << run.output;
  EXPECT_TRUE(Has(run.output, ":9: expected 1, got 0")) << run.output;
}

TEST(ScenarioRun, ALeakLeftByAPlugInFailsTheRun) {
  const Outcome run = RunFile("leak_at_end.scn");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Has(run.output, "ownership: 0 faults, 1 leak")) << run.output;
  EXPECT_TRUE(Has(run.output, "leak: string of 8 bytes")) << run.output;
  EXPECT_TRUE(Has(run.output, "at the end the host saw 0 ownership fault(s) and 1 leak(s)"));
}

TEST(ScenarioRun, ErrorsStopTheRunWithTheLineAndAReason) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"say one\nload NoSuchLibrary\n", ":2: cannot find library NoSuchLibrary"},
      {"load /etc/passwd\n", ":1: /etc/passwd is not an ELF file"},
      {"object /a/b\n", ":1: no object /a (add it with object)"},
      {"object /a\nobject /a\n", ":2: object /a exists already"},
      {"object /a\nnew q Quit on /a\n", ":2: no class Quit (load its library first)"},
      {"load TAVIN\nobject /a\nnew q Quit on /b\n", ":3: no object /b"},
      {"load TAVIN\nobject /a\nnew q Quit on /a\nnew q Quit on /a\n",
       ":4: instance \"q\" exists already"},
      {"enable ghost\n", ":1: no instance named \"ghost\""},
      {"load TAVIN\nobject /a\nnew q Quit on /a\nrestore q\n", ":4: nothing saved yet"},
      {"load TAVIN\nobject /a\nnew q Quit on /a\nset q events = id(1)\n",
       ":4: Quit has no SetAttribute"},
      {"item 1 = 5\n", ":1: no editor yet"},
      {"expect status 0\n", ":1: no command before this line answered a status"},
      {"load TAVIN\nobject /a\nnew q Quit on /a\nset /a link = ref(/nowhere)\n",
       ":4: no object /nowhere"},
      {"say fine\nfrobnicate\n", ":2: unknown command \"frobnicate\""},
      {"play /nowhere 100\n", ":1: no object /nowhere"},
      {"object /a\nrate /b 5\n", ":2: no object /b"},
      {"seek /a 5\n", ":1: no object /a"},
      {"position /a\n", ":1: no object /a"},
      {"expect sent 0\n", ":1: no command before this line answered a sent count"},
      {"object /a\nseek /a 5\nposition /a\nexpect sent 0\n", ":4: no command before this"},
  };
  for (const Case& c : cases) {
    const Outcome run = RunText(c.text);
    EXPECT_EQ(run.status, 1) << c.text << run.output;
    EXPECT_TRUE(Has(run.output, c.message)) << c.text << "\n" << run.output;
  }
  // A parse error stops the run before the first line does anything.
  const Outcome early = RunText("say first line\nadvance soon\n");
  EXPECT_FALSE(Has(early.output, "first line")) << early.output;
  EXPECT_TRUE(Has(early.output, ":2: \"soon\" is not a number")) << early.output;
}

TEST(ScenarioRun, UsageErrors) {
  EXPECT_EQ(Plughost("run").status, 2);
  EXPECT_EQ(Plughost("run a.scn b.scn").status, 2);
  EXPECT_EQ(Plughost("run a.scn --lib-dir").status, 2);
  EXPECT_EQ(Plughost("run a.scn --fast").status, 2);
  const Outcome missing = Plughost("run /nonexistent/x.scn");
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Has(missing.output, "cannot read /nonexistent/x.scn"));
  const Outcome help = Plughost("--help");
  EXPECT_TRUE(Has(help.output, "validate LIB...")) << help.output;
  EXPECT_TRUE(Has(help.output, "run FILE [--lib-dir DIR]"));
  EXPECT_TRUE(Has(help.output, "expect status N"));
  EXPECT_TRUE(Has(help.output, "play PATH MS [step MS]"));
  EXPECT_TRUE(Has(help.output, "range(100,200)"));
}

}  // namespace

namespace {

TEST(ScenarioRun, TracePrintsEachHostCallUnderItsCommand) {
  const std::string text =
      "load TAVIN\nobject /movie\nnew quit Quit on /movie\ntrace on\nenable quit\n"
      "trace off\ndisable quit\n";
  const Outcome run = RunText(text);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output,
                  "> enable quit\n  | -> Quit#1.Enable = 0\n"
                  "  |   Quit#1: Instance.Listen(1, id(1802,0)) = 0\n"
                  "  |   Quit#1: Instance.Listen(1, id(1803,0)) = 0\n> trace off\n"))
      << run.output;
  EXPECT_FALSE(Has(run.output, "Listen(2")) << run.output;
  EXPECT_EQ(RunText("trace maybe\n").status, 1);

  // --trace starts the run with trace on: the instance's construction shows too.
  char path[] = "/tmp/plughost_scenario_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(path) << "load TAVIN\nobject /movie\nnew quit Quit on /movie\n";
  const Outcome traced = Plughost(std::string("run ") + path + kLibDir + " --trace");
  std::remove(path);
  EXPECT_EQ(traced.status, 0) << traced.output;
  EXPECT_TRUE(Has(traced.output, "  | -> Quit#1.Construct = 0\n")) << traced.output;
  EXPECT_TRUE(Has(traced.output, "> (end: destroy all)\n  | -> Quit#1.Destruct = 0\n"))
      << traced.output;
}

}  // namespace

namespace {

TEST(ScenarioRun, EveryRunEndsWithOneSummaryLine) {
  const Outcome run = RunText("object /a\nexpect listeners 0\nexpect listeners 1\n");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Has(run.output, ": 2 expectations, 1 failed, 0 faults, 0 leaks: FAIL\n"))
      << run.output;
  const Outcome demo = Plughost(std::string("run ") + DEMO_SCENARIO + kLibDir);
  EXPECT_EQ(demo.status, 0) << demo.output;
  EXPECT_TRUE(Has(demo.output, "\ndemo.scn: ")) << demo.output;
  EXPECT_TRUE(Has(demo.output, " 0 failed, 0 faults, 0 leaks: PASS\n")) << demo.output;
}

TEST(ScenarioRun, AnExportRefusedOnLoadFailsTheRun) {
  const Outcome run = RunText(std::string("load ") + BAD_PLUGIN_PATH + "\nsay still running\n");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Has(run.output, "refused: export Crashy does not follow the entry protocol"))
      << run.output;
  EXPECT_TRUE(Has(run.output, "still running"));
  EXPECT_TRUE(Has(run.output, "7 exports were refused"));
  EXPECT_TRUE(Has(run.output, "0 leaks, 7 exports refused: FAIL\n"));
}

TEST(ScenarioRun, AFolderOrAnEmptyFileIsNoScenario) {
  const Outcome folder = Plughost("run /tmp");
  EXPECT_EQ(folder.status, 1);
  EXPECT_TRUE(Has(folder.output, "/tmp is a folder, not a scenario file")) << folder.output;
  const Outcome empty = Plughost("run /dev/null");
  EXPECT_EQ(empty.status, 1);
  EXPECT_TRUE(Has(empty.output, "/dev/null: the scenario has no commands")) << empty.output;
  const Outcome comments = RunText("# nothing but a comment\n\n");
  EXPECT_EQ(comments.status, 1);
  EXPECT_TRUE(Has(comments.output, "has no commands")) << comments.output;
}

TEST(ScenarioRun, ARunStoppedByAnErrorStillReleasesWhatIsLeftAndReportsLeaks) {
  const Outcome run = RunText(std::string("load ") + FLAWED_PLUGIN_PATH +
                              "\nobject /a\nnew l Leaky on /a\nenable ghost\nsay never\n");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Has(run.output, ":4: no instance named \"ghost\"")) << run.output;
  EXPECT_FALSE(Has(run.output, "never"));
  EXPECT_TRUE(Has(run.output, "at the end the host saw 0 ownership fault(s) and 1 leak(s)"))
      << run.output;
  EXPECT_TRUE(Has(run.output, "1 leak, stopped at line 4: FAIL\n")) << run.output;
}

TEST(ScenarioRun, ALibraryNameMustBeFoundOnceAndLoadingSaysWhichFile) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("plughost_libs_" + std::to_string(getpid()));
  fs::create_directories(root / "one");
  fs::create_directories(root / "two");
  fs::create_symlink(TAVIN_PATH, root / "one" / "TAVIN.so");
  const std::string load = "load TAVIN\n";

  const Outcome found = RunText(load, " --lib-dir " + root.string());
  EXPECT_EQ(found.status, 0) << found.output;
  EXPECT_TRUE(Has(found.output, "loaded " + (root / "one" / "TAVIN.so").string() + ": "))
      << found.output;

  fs::create_symlink(TAVIN_PATH, root / "two" / "TAVIN.so");
  const Outcome twice = RunText(load, " --lib-dir " + root.string());
  EXPECT_EQ(twice.status, 1) << twice.output;
  EXPECT_TRUE(Has(twice.output, "library TAVIN is found 2 times below " + root.string() +
                                    "; load one by its path:\n  " +
                                    (root / "one" / "TAVIN.so").string() + "\n  " +
                                    (root / "two" / "TAVIN.so").string()))
      << twice.output;
  fs::remove_all(root);

  const Outcome nowhere = RunText(load, " --lib-dir /nonexistent/libs");
  EXPECT_EQ(nowhere.status, 2);
  EXPECT_TRUE(Has(nowhere.output, "--lib-dir /nonexistent/libs is not a folder")) << nowhere.output;
  const Outcome missing = RunText("load NoSuch\n", " --lib-dir /tmp");
  EXPECT_TRUE(Has(missing.output, "(looked in /tmp, . and below /tmp)")) << missing.output;
}

TEST(ScenarioRun, ACallThatNeverReturnsStopsTheRunNamingClassAndSlot) {
  const Outcome run = RunText(std::string("load ") + HANG_PLUGIN_PATH +
                                  "\nobject /a\nnew s Sleeper on /a\ndeliver s id(1)\nsay never\n",
                              kLibDir + " --timeout 0.5");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Has(run.output,
                  "refused: export Stuck does not follow the entry protocol: the "
                  "entry call did not return within 0.5 s"))
      << run.output;
  EXPECT_TRUE(Has(run.output, ":4: Sleeper#1.HandleMessage did not return within 0.5 s"))
      << run.output;
  EXPECT_FALSE(Has(run.output, "never"));
  EXPECT_TRUE(Has(run.output, "stopped at line 4: FAIL\n")) << run.output;
  EXPECT_EQ(RunText("say x\n", " --timeout soon").status, 2);
}

TEST(ScenarioRun, GetSaysWhatAnIndexMeansAndWhenTheTypeAskedForIsNotTheOneWritten) {
  const Outcome run = RunText(
      "load TAVIN\nobject /a\nnew q Quit on /a\nget q events[0x40000001] as int\n"
      "enable q\nexpect sent 0\neditor q\n");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output,
                  "  q.events[0x40000001] = id(1803,0)   # index: second member, element 1; "
                  "asked as int, the plug-in wrote a message id\n"))
      << run.output;
  EXPECT_TRUE(Has(run.output, "  item 6 = id(1802,0)   # first message answered as handled"))
      << run.output;
}

}  // namespace
