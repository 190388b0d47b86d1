// What plughost adds for panning: points and durations as values, objects that move over the
// clock, EditorItemChanged from a scenario, and pan plots as SVG and as sparklines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/tools/plughost_run.h"
#include "tools/plughost/plot.h"
#include "tools/plughost/scenario_parser.h"

namespace {

using plughost_testing::Has;
using plughost_testing::Outcome;
using plughost_testing::Plughost;
using namespace plughost::scenario;

TEST(PanningTools, ParsesPointsDurationsMovesPlotsAndChanges) {
  const ParseResult r = Parse(
      "set /a position = point(-5,32767)\n"
      "item 11 = duration(600)\n"
      "item 11 = duration(3000,2,25)\n"
      "move /a to point(10,-4) over 2000 step 50\n"
      "move /a to point(1,1) over 0\n"
      "plot pan out/pan.svg\n"
      "change p 16\n");
  ASSERT_TRUE(r.error.empty()) << r.errorLine << ": " << r.error;
  ASSERT_EQ(r.steps.size(), 7u);
  EXPECT_EQ(Format(r.steps[0].value), "point(-5,32767)");
  EXPECT_EQ(Format(r.steps[1].value), "duration(600,1,600)");
  EXPECT_EQ(Format(r.steps[2].value), "duration(3000,2,25)");
  EXPECT_EQ(r.steps[3].op, Op::kMove);
  EXPECT_EQ(r.steps[3].path, "/a");
  EXPECT_EQ(Format(r.steps[3].value), "point(10,-4)");
  EXPECT_EQ(r.steps[3].number, 2000);
  EXPECT_EQ(r.steps[3].step, 50);
  EXPECT_EQ(r.steps[4].step, 100);
  EXPECT_EQ(r.steps[5].op, Op::kPlot);
  EXPECT_EQ(r.steps[5].attribute, "pan");
  EXPECT_EQ(r.steps[5].text, "out/pan.svg");
  EXPECT_EQ(r.steps[6].op, Op::kChange);
  EXPECT_EQ(r.steps[6].number, 16);

  const std::pair<const char*, const char*> bad[] = {
      {"item 1 = point(1)", "is not a point: write point(800,600)"},
      {"item 1 = point(1,40000)", "is not a point"},
      {"item 1 = duration()", "is not a duration"},
      {"item 1 = duration(1,2,3,4)", "is not a duration"},
      {"item 1 = duration(1,)", "is not a duration"},
      {"move /a to 5 over 10", "move goes to a point(X,Y)"},
      {"move /a point(1,1) over 10", "expected \"to\""},
      {"move /a to point(1,1) in 10", "expected \"over\""},
      {"move /a to point(1,1) over 10 step 0", "is not a number from 1"},
      {"plot pan", "missing an SVG file"},
      {"plot pan[1] x.svg", "without an index"},
      {"change p", "missing an editor item number"},
  };
  for (const auto& [text, reason] : bad) {
    const ParseResult b = Parse(text);
    EXPECT_EQ(b.errorLine, 1) << text;
    EXPECT_TRUE(Has(b.error, reason)) << text << " -> " << b.error;
  }
}

TEST(PanningTools, PlotsAndSparklinesShowEachLineAndItsMarks) {
  plughost::Plot plot;
  plot.attribute = "pan";
  plot.fromMicros = 1000000;
  plot.toMicros = 2000000;
  plughost::PlotLine up{"/a<b>", {{1000000, -100}, {1500000, 0}, {1900000, 100}}, {}};
  up.marks = {{1000000, "start"}, {1950000, "stop"}};
  plughost::PlotLine late{"/c", {{1600000, 250}}, {}};
  plot.lines = {up, late};
  EXPECT_EQ(plot.Low(), -100);
  EXPECT_EQ(plot.High(), 250);  // widened to what the lines hold

  const std::string svg = plughost::PlotSvg(plot);
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_TRUE(Has(svg, "/a&lt;b&gt; (3)")) << svg;
  EXPECT_TRUE(Has(svg, ">start</text>"));
  EXPECT_TRUE(Has(svg, ">stop</text>"));
  EXPECT_TRUE(Has(svg, ">1.5 s</text>"));
  size_t lines = 0;
  for (size_t at = 0; (at = svg.find("<polyline", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, 2u);
  EXPECT_TRUE(Has(svg, "</svg>\n"));

  plot.lines[1].points.clear();
  plot.lines[1].points.push_back({1600000, 100});
  const plughost::Sparkline spark = plughost::MakeSparkline(plot, up, 10);
  EXPECT_EQ(spark.values, "▁▁▁▁▅▅▅▅██");  // 0 is just above the middle of 8 levels
  EXPECT_EQ(spark.marks, "^start   ^stop");
  const plughost::Sparkline other = plughost::MakeSparkline(plot, plot.lines[1], 10);
  EXPECT_EQ(other.values, "     █████");  // nothing before its first value
  EXPECT_EQ(other.marks, "");
  EXPECT_EQ(plughost::TimeText(12345678), "12.345 s");
}

TEST(PanningTools, AScenarioMovesTheOwnerAndPlotsWhatThePanDid) {
  char dir[] = "/tmp/plughost_plots_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const Outcome run = Plughost(std::string("run ") + SCENARIO_TEST_DIR + "/panning.scn --lib-dir " +
                               LIB_DIR + " --out-dir " + dir);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_FALSE(Has(run.output, "FAIL"));
  // Item 16 limits what is entered, and copies it to item 9.
  EXPECT_TRUE(Has(run.output, "> change ramp 16\n  item 4 = id(2001,0)")) << run.output;
  EXPECT_TRUE(Has(run.output, "  item 9 = 100   # target pan\n")) << run.output;
  EXPECT_TRUE(Has(run.output, "  item 11 = duration(60,2,600)")) << run.output;
  EXPECT_TRUE(Has(run.output, "  item 9 = 0 (disabled)   # target pan\n")) << run.output;
  EXPECT_TRUE(Has(run.output,
                  "moved /hall/bell from point(0,50) to point(200,50) in 4 steps; "
                  "clock at 300 ms"));
  // 30 ticks: three steps and the stopping call, then nothing more.
  EXPECT_TRUE(Has(run.output, "  pan from 0 s to 0.2 s: 1 object, 4 values"));
  EXPECT_TRUE(Has(run.output, "  pan from 0.2 s to 0.317 s: 1 object, 7 values")) << run.output;
  EXPECT_TRUE(Has(run.output, "^start")) << run.output;
  EXPECT_TRUE(Has(run.output, "^stop")) << run.output;
  EXPECT_TRUE(Has(run.output, "  pan from 0.317 s to 0.317 s: 0 objects, 0 values"));

  const std::string ramp = std::string(dir) + "/ramp.svg";
  EXPECT_TRUE(Has(run.output, "  wrote " + ramp + "\n")) << run.output;
  std::ifstream in(ramp);
  std::stringstream svg;
  svg << in.rdbuf();
  EXPECT_TRUE(Has(svg.str(), "<polyline")) << svg.str();
  EXPECT_TRUE(Has(svg.str(), "/hall/bell (4)"));
  std::filesystem::remove_all(dir);

  const Outcome unwritable = Plughost(std::string("run ") + SCENARIO_TEST_DIR +
                                      "/panning.scn --lib-dir " + LIB_DIR + " --out-dir /proc/x");
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_TRUE(Has(unwritable.output, "panning.scn:24: cannot write /proc/x/ramp.svg"))
      << unwritable.output;
  EXPECT_EQ(Plughost("run x.scn --out-dir").status, 2);
}

}  // namespace
