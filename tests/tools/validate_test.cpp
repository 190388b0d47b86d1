// plughost validate: each way a class can break its life cycle is caught and named, a crash
// fails only its own class, and sound libraries pass.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/tools/plughost_run.h"
#include "tools/plughost/xml_text.h"

namespace {

using plughost_testing::Has;
using plughost_testing::Outcome;
using plughost_testing::Plughost;

// The lines printed for one class, up to the next class or the summary.
std::string ClassSection(const std::string& output, const std::string& name) {
  size_t start = output.find("  class " + name + " ");
  if (start == std::string::npos) return "";
  size_t end = output.find("  class ", start + 1);
  size_t summary = output.find("\nvalidate: ", start);
  return output.substr(start, std::min(end, summary) - start);
}

TEST(Validate, EachFlawedClassFailsForItsOwnFault) {
  const Outcome run = Plughost(std::string("validate ") + FLAWED_PLUGIN_PATH);
  EXPECT_EQ(run.status, 1) << run.output;

  const std::string sound = ClassSection(run.output, "Sound");
  ASSERT_FALSE(sound.empty()) << run.output;
  EXPECT_FALSE(Has(sound, "FAIL")) << sound;
  EXPECT_TRUE(Has(sound, "ok    state.save-load-round-trip")) << sound;

  struct Expected {
    const char* name;
    const char* line;
  };
  const Expected cases[] = {
      {"Leaky", "FAIL  lifecycle.destruct-releases-everything: Leaky#1 left string of 8 bytes"},
      {"Leaky",
       "FAIL  lifecycle.construct: its instances, once destroyed, left 1 allocation(s), the "
       "first: string of 8 bytes"},
      {"DoubleFree", "FAIL  lifecycle.construct: ownership fault: double free"},
      {"Sticky",
       "FAIL  messages.enable-disable-leaves-no-listener: after Disable it still listens "
       "to id(900,0)"},
      {"Lenient", "FAIL  state.unknown-version-refused: version 32767 answered 0"},
      {"Lenient", "FAIL  attributes.get-unknown-name-refused: answered 0 without an index"},
      {"Oversize", "FAIL  state.stored-size-matches-save: StoredSize said 14 bytes, Save wrote 10"},
      {"Crasher", "FAIL  state.stored-size-matches-save: crashed with Segmentation fault"},
      // A crash ends its own check only.
      {"Crasher", "ok    lifecycle.destruct-releases-everything"},
      {"Fickle", "FAIL  registration.repeatable: a registration now fills 13 slots"},
      {"Deaf", "FAIL  messages.own-ids-handled: id(900,0) answered 1"},
      {"ScreenKeeper", "system handle(s) still open: live handles: dc#"},
      {"Ticker",
       "FAIL  lifecycle.destruct-stops-periodic-calls: its periodic calls still ran after "
       "Destruct"},
      // The faults only the robustness checks find, each with where it happened.
      {"Scribbler",
       "FAIL  registration.name-query-writes-only-name-size-flags: in the name query it wrote "
       "descriptor byte 16 (byte 16 of name entry 0)"},
      {"Greedy",
       "FAIL  registration.null-allocator-survived: row 0's highest-column field was raised to "
       "37 for slots that were not registered"},
      {"Quit",
       "FAIL  registration.matches-declared-table: the name query gives size 14 and flags 1, "
       "declared 20 and 1"},
      {"Lazy",
       "FAIL  lifecycle.pattern-filled-memory: Construct in memory filled with 0xA5 stores "
       "differently"},
      {"Shallow",
       "FAIL  lifecycle.copy-outlives-source: destroying the copies after their source: "
       "ownership fault: double free"},
      {"Brittle",
       "FAIL  state.load-truncated-streams: crashed with Segmentation fault at Load of its "
       "stored form cut to 0 of 10 bytes"},
      {"Brittle",
       "FAIL  faults.failed-host-calls: crashed with Segmentation fault at Load with the 1st "
       "Stream.ReadValue failing"},
      {"Peeker",
       "FAIL  state.other-versions-refused: version -1 answered 1 after reading 10 bytes"},
      {"Frail",
       "FAIL  faults.refused-allocations: crashed with Segmentation fault at Construct with the "
       "1st allocation refused"},
      {"Trusting",
       "FAIL  faults.failed-host-calls: stopped the host (exit status 1; what it said is on "
       "standard error) at Construct with the 1st StringService.StringLength failing"},
      {"Secretive",
       "FAIL  messages.visit-covers-listened-ids: a fresh instance listens for id(900,0) but does "
       "not visit it"},
      {"Follower", "FAIL  messages.foreign-ids-change-nothing: id(0,0) changed the instance"},
      {"Moody", "FAIL  editor.every-other-mode-alike: it refuses mode 1 but mode 2 answered 0"},
      {"Fidgety",
       "FAIL  editor.every-item-number-survives: crashed with Segmentation fault at item numbers "
       "-64 to "},
      {"Scrawler", "FAIL  attributes.every-name-index-and-output: GetAttribute \""},
      {"Fiddler", "FAIL  attributes.every-name-index-and-output: SetAttribute \""},
  };
  for (const Expected& c : cases) {
    EXPECT_TRUE(Has(ClassSection(run.output, c.name), c.line)) << c.name << "\n" << run.output;
  }
  // A fault is pinned on its own class only: Sticky's listener does not fail Lenient's checks.
  EXPECT_FALSE(Has(ClassSection(run.output, "Lenient"), "listener: after"));
  // The crash ended Crasher's child, and the classes after it were still checked.
  EXPECT_TRUE(Has(run.output, "  class Sticky")) << run.output;
  EXPECT_TRUE(Has(run.output, "validate: 1 library, 26 classes")) << run.output;
  // Each of these breaks one rule, and only the checks of that rule fail.
  const std::pair<const char*, int> failing[] = {{"Scribbler", 2}, {"Greedy", 1},  {"Peeker", 2},
                                                 {"Secretive", 1}, {"Moody", 1},   {"Fidgety", 1},
                                                 {"Quit", 1},      {"Follower", 1}};
  for (const auto& [name, count] : failing) {
    const std::string section = ClassSection(run.output, name);
    size_t fails = 0;
    for (size_t at = section.find("FAIL"); at != std::string::npos;
         at = section.find("FAIL", at + 1))
      ++fails;
    EXPECT_EQ(fails, static_cast<size_t>(count)) << section;
  }
  EXPECT_TRUE(Has(run.output, "\nFAIL\n"));
}

TEST(Validate, SoundLibrariesPassAndBadOnesFail) {
  const Outcome probe = Plughost(std::string("validate ") + PROBE_PLUGIN_PATH);
  EXPECT_EQ(probe.status, 0) << probe.output;
  EXPECT_TRUE(Has(probe.output, "ok    lifecycle.construct")) << probe.output;
  EXPECT_TRUE(Has(probe.output, "ok    messages.enable-disable-leaves-no-listener"));
  EXPECT_TRUE(Has(probe.output, "0 failed"));
  EXPECT_TRUE(Has(probe.output, "\nPASS\n"));

  // Refused exports are failed checks, and a file that is no library fails without a crash.
  const Outcome bad =
      Plughost(std::string("validate ") + BAD_PLUGIN_PATH + " /etc/passwd " + PROBE_PLUGIN_PATH);
  EXPECT_EQ(bad.status, 1) << bad.output;
  EXPECT_TRUE(Has(bad.output,
                  "FAIL  registration.entry-protocol: export Crashy does not follow the entry "
                  "protocol: it crashed"))
      << bad.output;
  EXPECT_TRUE(Has(bad.output, "FAIL  load: /etc/passwd is not an ELF file"));
  EXPECT_TRUE(Has(bad.output, "  class Probe"));

  EXPECT_EQ(Plughost("validate").status, 2);
}

}  // namespace

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The seed line: "validate: seed N (--seed N repeats this run), ...".
std::string SeedOf(const std::string& output) {
  const std::string head = "validate: seed ";
  const size_t at = output.find(head);
  if (at == std::string::npos) return "";
  return output.substr(at + head.size(), output.find(' ', at + head.size()) - at - head.size());
}

TEST(Validate, ClassIncludeAndExcludeChooseWhatRuns) {
  const Outcome run =
      Plughost(std::string("validate --class Lenient --class Sound --include ^state\\\\. "
                           "--exclude unknown-version ") +
               FLAWED_PLUGIN_PATH);
  EXPECT_EQ(run.status, 0) << run.output;  // Lenient's faults lie outside what was chosen
  EXPECT_TRUE(Has(run.output, "  class Lenient")) << run.output;
  EXPECT_FALSE(Has(run.output, "  class Leaky"));
  EXPECT_TRUE(Has(run.output, "ok    state.stored-size-matches-save"));
  EXPECT_FALSE(Has(run.output, "lifecycle."));
  EXPECT_FALSE(Has(run.output, "state.unknown-version-refused"));
  EXPECT_TRUE(Has(run.output, "validate: 1 library, 2 classes, 16 checks: 16 ok")) << run.output;

  const Outcome nobody = Plughost(std::string("validate --class Nobody ") + FLAWED_PLUGIN_PATH);
  EXPECT_EQ(nobody.status, 1);
  EXPECT_TRUE(Has(nobody.output, "FAIL  class: no library named exports a class Nobody"))
      << nobody.output;
  EXPECT_EQ(Plughost("validate --include nothing-matches-this x.so").status, 2);
  EXPECT_EQ(Plughost("validate --include '(' x.so").status, 2);
}

TEST(Validate, ListNamesTheChecksWithoutRunningThem) {
  const Outcome list = Plughost("validate --list --include ^editor");
  EXPECT_EQ(list.status, 0) << list.output;
  EXPECT_TRUE(Has(list.output, "editor.round-trip ")) << list.output;
  EXPECT_FALSE(Has(list.output, "state."));
  EXPECT_FALSE(Has(list.output, "validate: seed"));
  // Every check is named area.what-it-proves.
  const Outcome all = Plughost("validate --list");
  std::istringstream lines(all.output);
  std::string line;
  int checks = 0;
  while (std::getline(lines, line)) {
    ++checks;
    const std::string name = line.substr(0, line.find(' '));
    EXPECT_TRUE(std::regex_match(name, std::regex("[a-z]+\\.[a-z0-9-]+"))) << line;
  }
  EXPECT_GE(checks, 20);
}

TEST(Validate, EveryRunPrintsItsSeedAndASeedRepeatsARun) {
  const Outcome first = Plughost(std::string("validate ") + PROBE_PLUGIN_PATH);
  const std::string seed = SeedOf(first.output);
  ASSERT_FALSE(seed.empty()) << first.output;
  EXPECT_TRUE(Has(first.output, "(--seed " + seed + " repeats this run)"));
  const Outcome again = Plughost("validate --seed " + seed + " " + PROBE_PLUGIN_PATH);
  EXPECT_EQ(SeedOf(again.output), seed);
  EXPECT_TRUE(Has(again.output, "; seed " + seed + "\n")) << again.output;
  EXPECT_EQ(Plughost("validate --seed -3 x.so").status, 2);
}

TEST(Validate, JUnitAndJsonReportsHoldEveryCheck) {
  const std::string junit = "/tmp/plughost_validate_" + std::to_string(getpid()) + "/v.xml";
  const std::string json = "/tmp/plughost_validate_" + std::to_string(getpid()) + "/v.json";
  const Outcome run =
      Plughost("validate --seed 42 --class Oversize --class Sound --junit " + junit + " --json " +
               json + " " + FLAWED_PLUGIN_PATH + " /etc/passwd");
  EXPECT_EQ(run.status, 1) << run.output;
  const std::string xml = ReadFile(junit);
  EXPECT_TRUE(Has(xml, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites ")) << xml;
  EXPECT_TRUE(Has(xml, "<testsuite name=\"flawed_plugin.Oversize\" tests=\"43\" failures=\"15\""))
      << xml;
  EXPECT_TRUE(Has(xml, "<property name=\"seed\" value=\"42\"/>"));
  EXPECT_TRUE(Has(xml,
                  "<testcase classname=\"flawed_plugin.Oversize\" "
                  "name=\"state.stored-size-matches-save\" time=\""))
      << xml;
  EXPECT_TRUE(Has(xml, "<failure message=\"StoredSize said 14 bytes, Save wrote 10\"/>"));
  EXPECT_TRUE(Has(xml, "<skipped message=\"no Attached slot\"/>"));
  EXPECT_TRUE(Has(xml, "name=\"load\""));
  EXPECT_TRUE(Has(xml, "/etc/passwd is not an ELF file"));

  const std::string text = ReadFile(json);
  EXPECT_TRUE(Has(text, "\"seed\": 42")) << text;
  EXPECT_TRUE(Has(text, "{\"library\": \"" + std::string(FLAWED_PLUGIN_PATH) +
                            "\", \"class\": \"Oversize\", \"check\": "
                            "\"state.stored-size-matches-save\", \"result\": \"fail\", "
                            "\"reason\": \"StoredSize said 14 bytes, Save wrote 10\", "
                            "\"seconds\": "))
      << text;
  EXPECT_TRUE(Has(text, "\"class\": \"\", \"check\": \"load\", \"result\": \"fail\""));
  std::filesystem::remove_all(std::filesystem::path(junit).parent_path());

  const Outcome unwritable =
      Plughost(std::string("validate --junit /proc/none/v.xml ") + PROBE_PLUGIN_PATH);
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_TRUE(Has(unwritable.output, "cannot write /proc/none/v.xml")) << unwritable.output;
}

// A reason may carry whatever a plug-in wrote (names, texts with control bytes); the reports
// and pictures stay well-formed XML whatever it holds.
TEST(XmlText, EscapesMarkupAndReplacesWhatXmlCannotHold) {
  const struct {
    std::string text, xml;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"a<b>&\"c\"", "a&lt;b&gt;&amp;&quot;c&quot;"},
      {"tab\tand\nline", "tab\tand\nline"},
      {std::string("nul\0bell\acr\r", 12), "nul?bell?cr?"},
      {"caf\xc3\xa9 \x7f", "caf\xc3\xa9 \x7f"},
  };
  for (const auto& c : cases) EXPECT_EQ(plughost::XmlEscaped(c.text), c.xml) << c.text;
}

TEST(Validate, ACallThatNeverReturnsFailsItsCheckNamingClassAndSlot) {
  const Outcome run = Plughost(std::string("validate --timeout 0.5 ") + HANG_PLUGIN_PATH);
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Has(run.output,
                  "FAIL  attributes.get-unknown-name-refused: Sleeper#1.GetAttribute did not "
                  "return within 0.5 s"))
      << run.output;
  // The class is fenced off, not ended: the checks after it still run.
  EXPECT_TRUE(Has(run.output, "ok    attributes.set-unknown-name-refused")) << run.output;
  EXPECT_TRUE(Has(
      run.output,
      "FAIL  messages.foreign-id-refused: Sleeper#1.HandleMessage did not return within 0.5 s"));
  EXPECT_TRUE(Has(run.output,
                  "FAIL  registration.entry-protocol: export Stuck does not follow the entry "
                  "protocol: the entry call did not return within 0.5 s"));
#ifdef DLL_DIR
  // The same code as a Windows DLL in the host's own loader.
  const Outcome dll = Plughost(std::string("validate --timeout 0.5 --include foreign ") + DLL_DIR +
                               "/testdata/hang_plugin.dll");
  EXPECT_TRUE(Has(dll.output,
                  "FAIL  messages.foreign-id-refused: Sleeper#1.HandleMessage did not return "
                  "within 0.5 s"))
      << dll.output;
  EXPECT_TRUE(Has(dll.output,
                  "export Stuck does not follow the entry protocol: the entry call "
                  "did not return within 0.5 s"));
#endif
}

}  // namespace

namespace {

TEST(Validate, StrictnessIsOneToTenAndNamedInTheHeader) {
  const Outcome quick = Plughost(std::string("validate --strictness 1 --class Sound ") +
                                 "--include load-random " + FLAWED_PLUGIN_PATH);
  EXPECT_EQ(quick.status, 0) << quick.output;
  EXPECT_TRUE(Has(quick.output, ", strictness 1\n")) << quick.output;
  const Outcome usual =
      Plughost(std::string("validate --class Sound --include load-random ") + FLAWED_PLUGIN_PATH);
  EXPECT_TRUE(Has(usual.output, ", strictness 5\n")) << usual.output;
  for (const char* bad : {"0", "11", "-1", "x"}) {
    EXPECT_EQ(Plughost(std::string("validate --strictness ") + bad + " x.so").status, 2) << bad;
  }
}

}  // namespace

#ifdef DLL_DIR
namespace {

// The same faults in the Windows build of the test library, through the host's DLL loader:
// each crash ends its own check, named where it happened.
TEST(Validate, TheDllOfTheTestLibraryFailsForTheSameFaults) {
  const Outcome run =
      Plughost(std::string("validate --class Scribbler --class Frail --class Brittle ") +
               "--class Greedy --class Follower " + DLL_DIR + "/testdata/flawed_plugin.dll");
  EXPECT_EQ(run.status, 1) << run.output;
  for (const char* line :
       {"FAIL  registration.name-query-writes-only-name-size-flags: in the name query it wrote "
        "descriptor byte 16 (byte 16 of name entry 0)",
        "FAIL  registration.null-allocator-survived: row 0's highest-column field was raised to "
        "37",
        "FAIL  faults.refused-allocations: crashed with Segmentation fault at Construct with the "
        "1st allocation refused",
        "FAIL  state.load-empty-stream: crashed with Segmentation fault at Load of an empty stream",
        "FAIL  messages.foreign-ids-change-nothing: id(0,0) changed the instance"}) {
    EXPECT_TRUE(Has(run.output, line)) << line << "\n" << run.output;
  }
  EXPECT_TRUE(Has(run.output, "validate: 1 library, 5 classes")) << run.output;
}

}  // namespace
#endif
