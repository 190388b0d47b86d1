// A dealt layout as plughost shows it: the `layout` command and target values in scenarios,
// the terminal picture of the three layers and the SVG, checked against the deal itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tavin/tile_layout.h"
#include "tests/tools/plughost_run.h"
#include "tools/plughost/layout_picture.h"
#include "tools/plughost/scenario_parser.h"

namespace {

namespace tiles = tavin::tiles;
using plughost::LayoutKinds;
using plughost_testing::Has;
using plughost_testing::Outcome;
using plughost_testing::Plughost;

LayoutKinds DealOf(uint32_t seed) {
  tiles::GenerateLayoutFromSeed(seed);
  LayoutKinds kinds{};
  for (int p = 1; p <= tiles::kPositions; ++p) kinds[p] = tiles::LastDeal().kinds[p];
  return kinds;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The kind shown in the cell of width 4 at `column` (from 0) of a picture line, 0 for "[  ]".
int CellAt(const std::string& line, size_t column) {
  const std::string cell = line.substr(4 * column, 4);
  EXPECT_EQ(cell.front(), '[') << line;
  EXPECT_EQ(cell.back(), ']') << line;
  const std::string digits = cell.substr(1, 2);
  return digits == "  " ? 0 : std::stoi(digits);
}

// Reading the picture back cell by cell gives the deal, each position where it lies.
TEST(LayoutPicture, EachPositionShowsItsKindWhereItLies) {
  for (uint32_t seed : {1u, 1700000000u, 4000000000u}) {
    const LayoutKinds kinds = DealOf(seed);
    const std::vector<std::string> lines = Lines(plughost::LayoutText(kinds));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].find("bottom"), 0u);
    const size_t middleAt = lines[0].find("middle");
    const size_t topAt = lines[0].find("top");
    for (int row = 1; row <= tiles::kBottomRows; ++row) {
      for (int column = 1; column <= tiles::kBottomColumns; ++column) {
        const int position = tiles::kBottomPosition[row][column];
        if (position == 0) continue;
        EXPECT_EQ(CellAt(lines[row], column - 1), kinds[position]) << "position " << position;
      }
    }
    for (int row = 1; row <= 2; ++row) {
      const std::string middle = lines[row].substr(middleAt);
      EXPECT_EQ(CellAt(middle, 0), kinds[tiles::kMiddlePosition[row][1]]);
      EXPECT_EQ(CellAt(middle, 1), kinds[tiles::kMiddlePosition[row][2]]);
    }
    EXPECT_EQ(CellAt(lines[1].substr(topAt), 0), kinds[tiles::kTopPosition]);
    EXPECT_EQ(lines[2].size(), topAt - 4) << "no top cell beside the second row";
  }
  // Values that are no kind show as empty cells.
  LayoutKinds odd{};
  odd[10] = 24;
  odd[1] = -3;
  const std::vector<std::string> lines = Lines(plughost::LayoutText(odd));
  EXPECT_EQ(lines[1].substr(0, 4), "[  ]");
  EXPECT_EQ(lines[1].substr(lines[0].find("top"), 4), "[  ]");
}

TEST(LayoutPicture, TheSvgDrawsEveryTileWithItsKindAndPosition) {
  const LayoutKinds kinds = DealOf(1700000000u);
  const std::string svg = plughost::LayoutSvg(kinds, "Deal <1> & \"more\"");
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_TRUE(Has(svg, "Deal &lt;1&gt; &amp; &quot;more&quot;")) << svg;
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  size_t tiles = 0;
  for (size_t at = svg.find("font-size=\"22\""); at != std::string::npos;
       at = svg.find("font-size=\"22\"", at + 1)) {
    ++tiles;
  }
  EXPECT_EQ(tiles, static_cast<size_t>(tiles::kPositions));
  // Drawn bottom first and the top last, so raised tiles cover the ones they lie on.
  const size_t bottomLabel = svg.find(">10</text>");
  const size_t topLabel = svg.rfind(">1</text>");
  ASSERT_NE(bottomLabel, std::string::npos);
  ASSERT_NE(topLabel, std::string::npos);
  EXPECT_LT(bottomLabel, topLabel);
  // An empty layout still draws every place, dashed.
  const std::string empty = plughost::LayoutSvg(LayoutKinds{}, "");
  EXPECT_EQ(empty.find("font-size=\"22\""), std::string::npos);
  size_t dashed = 0;
  for (size_t at = empty.find("stroke-dasharray"); at != std::string::npos;
       at = empty.find("stroke-dasharray", at + 1)) {
    ++dashed;
  }
  EXPECT_EQ(dashed, static_cast<size_t>(tiles::kPositions));
}

TEST(LayoutScenario, TargetsAndLayoutsParse) {
  using plughost::scenario::Parse;
  const auto r = Parse("item 9 = target(/stage/table)\nlayout board\nlayout board svg out.svg\n");
  ASSERT_TRUE(r.error.empty()) << r.error;
  EXPECT_EQ(plughost::scenario::Format(r.steps[0].value), "target(/stage/table)");
  EXPECT_EQ(r.steps[1].op, plughost::scenario::Op::kLayout);
  EXPECT_EQ(r.steps[1].text, "");
  EXPECT_EQ(r.steps[2].name, "board");
  EXPECT_EQ(r.steps[2].text, "out.svg");
  const auto clock = Parse("machine time 1765281600 keyboard 4\nmachine time now\n");
  ASSERT_TRUE(clock.error.empty()) << clock.error;
  EXPECT_EQ(clock.steps[0].facts.front(), (std::pair<std::string, int64_t>{"time", 1765281600}));
  EXPECT_EQ(clock.steps[1].facts.front(), (std::pair<std::string, int64_t>{"time", -1}));
  for (const char* bad :
       {"item 9 = target(table)", "item 9 = target()", "layout", "layout board svg",
        "layout board png x", "machine time soon", "machine time -1"}) {
    EXPECT_FALSE(Parse(bad).error.empty()) << bad;
  }
}

TEST(LayoutScenario, ADealChosenInTheEditorIsReadBackAndDrawn) {
  char dir[] = "/tmp/plughost_layout_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const Outcome run = Plughost(std::string("run ") + SCENARIO_TEST_DIR + "/deal.scn --lib-dir " +
                               LIB_DIR + " --out-dir " + dir);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output, "  item 9 = target(/stage/table)")) << run.output;
  EXPECT_TRUE(Has(run.output, "  clock: 2025-12-09 12:00:00 UTC")) << run.output;
  // The deal of the second the machine's clock stands at.
  const LayoutKinds dealt = DealOf(1765281600);
  std::string list;
  for (int p = 1; p <= tiles::kPositions; ++p)
    list += (p == 1 ? "" : " ") + std::to_string(dealt[p]);
  EXPECT_TRUE(Has(run.output, "  board.value[1..28] = " + list + "\n")) << run.output;
  EXPECT_TRUE(Has(run.output, "  bottom")) << run.output;
  const std::string file = std::string(dir) + "/deal.svg";
  EXPECT_TRUE(Has(run.output, "  wrote " + file)) << run.output;
  std::ifstream svg(file);
  std::stringstream text;
  text << svg.rdbuf();
  EXPECT_TRUE(Has(text.str(), "The deal as board holds it")) << text.str();
  std::filesystem::remove_all(dir);
}

}  // namespace
