// plughost validate: each way a class can break its life cycle is caught and named, a crash
// fails only its own class, and sound libraries pass.
#include <gtest/gtest.h>

#include "tests/tools/plughost_run.h"

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
  EXPECT_TRUE(Has(sound, "ok    Save then Load into a fresh instance")) << sound;

  struct Expected {
    const char* name;
    const char* line;
  };
  const Expected cases[] = {
      {"Leaky", "FAIL  Destruct leaves nothing behind: Leaky#2 left string of 8 bytes"},
      {"Leaky", "FAIL  no ownership fault and no leak once every instance is gone: 4 leak(s)"},
      {"DoubleFree", "FAIL  Destruct leaves nothing behind: ownership fault: double free"},
      {"Sticky",
       "FAIL  Enable then Disable leaves no listener: after Disable it still listens "
       "to id(900,0)"},
      {"Lenient", "FAIL  Load of an unknown data version answers 1: version 32767 answered 0"},
      {"Lenient", "FAIL  GetAttribute of an unknown name answers 1: answered 0 without an index"},
      {"Oversize",
       "FAIL  StoredSize equals what Save writes: StoredSize said 14 bytes, Save "
       "wrote 10"},
      {"Deaf", "FAIL  HandleMessage of each id it listens for answers 0: id(900,0) answered 1"},
      {"ScreenKeeper",
       "FAIL  no ownership fault and no leak once every instance is gone: 3 system handle(s) "
       "still open: live handles: dc#1 dc#2 dc#3"},
      {"Crasher", "crashed with Segmentation fault; the class's remaining checks did not run"},
      {"Fickle",
       "FAIL  registration run again gives the same answer: a registration now fills "
       "13 slots"},
      {"Ticker",
       "FAIL  Destruct stops the periodic calls its messages started: its periodic calls still "
       "ran after Destruct"},
  };
  for (const Expected& c : cases) {
    EXPECT_TRUE(Has(ClassSection(run.output, c.name), c.line)) << c.name << "\n" << run.output;
  }
  // A fault is pinned on its own class only: Sticky's listener does not fail Lenient's checks.
  EXPECT_FALSE(Has(ClassSection(run.output, "Lenient"), "listener: after"));
  // The crash ended Crasher's child, and the classes after it were still checked.
  EXPECT_TRUE(Has(run.output, "  class Sticky")) << run.output;
  EXPECT_TRUE(Has(run.output, "validate: 1 library, 11 classes")) << run.output;
  EXPECT_TRUE(Has(run.output, "\nFAIL\n"));
}

TEST(Validate, SoundLibrariesPassAndBadOnesFail) {
  const Outcome probe = Plughost(std::string("validate ") + PROBE_PLUGIN_PATH);
  EXPECT_EQ(probe.status, 0) << probe.output;
  EXPECT_TRUE(Has(probe.output, "ok    Construct with a base object")) << probe.output;
  EXPECT_TRUE(Has(probe.output, "ok    Enable then Disable leaves no listener"));
  EXPECT_TRUE(Has(probe.output, "0 failed"));
  EXPECT_TRUE(Has(probe.output, "\nPASS\n"));

  // Refused exports are failed checks, and a file that is no library fails without a crash.
  const Outcome bad =
      Plughost(std::string("validate ") + BAD_PLUGIN_PATH + " /etc/passwd " + PROBE_PLUGIN_PATH);
  EXPECT_EQ(bad.status, 1) << bad.output;
  EXPECT_TRUE(Has(bad.output,
                  "FAIL  registration: export Crashy does not follow the entry "
                  "protocol: it crashed"))
      << bad.output;
  EXPECT_TRUE(Has(bad.output, "FAIL  load: /etc/passwd is not an ELF file"));
  EXPECT_TRUE(Has(bad.output, "  class Probe"));

  EXPECT_EQ(Plughost("validate").status, 2);
}

}  // namespace
