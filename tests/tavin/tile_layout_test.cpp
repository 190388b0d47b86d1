// The tile layout generator dealt from given seeds, over runs of consecutive seconds and seeds
// spread over the whole range: what every deal holds, how it opens, the order it fills in, and
// that read backwards that order clears the layout pair by pair.
#include "tavin/tile_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "win32/stand_in.h"

namespace {

using namespace tavin::tiles;

constexpr uint32_t kRunStart = 1700000000;  // a calendar time in seconds
constexpr uint32_t kRunLength = 60000;
constexpr uint32_t kSpread = 60000;

std::vector<uint32_t> Seeds() {
  std::vector<uint32_t> seeds;
  for (uint32_t s = 0; s < kRunLength; ++s) seeds.push_back(kRunStart + s);
  uint32_t x = 2463534242u;
  for (uint32_t s = 0; s < kSpread; ++s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    seeds.push_back(x);
  }
  return seeds;
}

// Runs `check` on the deal of every seed; names the first few seeds it fails for.
void ForEachDeal(const std::function<std::string(const Deal&)>& check) {
  int failures = 0;
  for (uint32_t seed : Seeds()) {
    GenerateLayoutFromSeed(seed);
    const std::string why = check(LastDeal());
    if (why.empty()) continue;
    ADD_FAILURE() << "seed " << seed << ": " << why;
    if (++failures == 5) return;
  }
}

// ---- The arrangement as the test reads it, independently of the generator's own scan.

int BottomAt(int row, int column) {
  if (row < 1 || row > kBottomRows || column < 1 || column > kBottomColumns) return 0;
  return kBottomPosition[row][column];
}

// The middle cell lying on a bottom position, 0 for none.
int MiddleOn(int position) {
  const Place p = PlaceOf(position);
  if (p.layer != kBottomLayer || p.row < 2 || p.row > 3 || p.column < 3 || p.column > 4) return 0;
  return kMiddlePosition[p.row - 1][p.column - 2];
}

// The bottom position under a middle cell.
int BottomUnder(int position) {
  const Place p = PlaceOf(position);
  return BottomAt(p.row + 1, p.column + 2);
}

using Cells = std::array<bool, kPositions + 1>;  // filled, by position

bool Filled(const Cells& cells, int position) {
  return position != 0 && cells[position];
}

bool MiddleFull(const Cells& cells) {
  return cells[2] && cells[3] && cells[4] && cells[5];
}

// Whether a tile may be put on an empty position now: a row is started at columns 3 or 4 and
// grows from there cell by cell; 16 needs 17 and 21, 19 needs 18 and 22; a middle cell needs
// the cell under it, the top the whole middle layer.
bool Open(const Cells& cells, int position) {
  if (cells[position]) return false;
  const Place p = PlaceOf(position);
  if (p.layer == kTopLayer) return MiddleFull(cells);
  if (p.layer == kMiddleLayer) return cells[BottomUnder(position)];
  bool rowStarted = false;
  for (int c = 1; c <= kBottomColumns; ++c) rowStarted |= Filled(cells, BottomAt(p.row, c));
  if (!rowStarted) return p.column == 3 || p.column == 4;
  if (position == 16) return cells[17] && cells[21];
  if (position == 19) return cells[18] && cells[22];
  return Filled(cells, BottomAt(p.row, p.column - 1)) ||
         Filled(cells, BottomAt(p.row, p.column + 1));
}

// Whether a tile may be taken away now: nothing on top of it and an open side in its row.
bool Free(const Cells& cells, int position) {
  if (!cells[position]) return false;
  const Place p = PlaceOf(position);
  if (p.layer == kTopLayer) return true;
  if (p.layer == kMiddleLayer) return !cells[kTopPosition];  // each lies on an edge of its grid
  if (Filled(cells, MiddleOn(position))) return false;
  return !Filled(cells, BottomAt(p.row, p.column - 1)) ||
         !Filled(cells, BottomAt(p.row, p.column + 1));
}

// The opening places its block at once: a row of four, or a stacked pair.
int BlockSize(const Deal& deal) {
  return deal.opening == 3 ? 2 : 4;
}

std::string Text(int position) {
  return "position " + std::to_string(position);
}

// ---- Properties.

TEST(TileLayout, EveryDealHoldsSevenKindsFourTimesEachOnEveryPosition) {
  ForEachDeal([](const Deal& deal) -> std::string {
    if (deal.filled != kPositions) return "only " + std::to_string(deal.filled) + " filled";
    std::array<int, kKinds + 1> uses{};
    for (int position = 1; position <= kPositions; ++position) {
      const int kind = deal.kinds[position];
      if (kind < 1 || kind > kKinds) return Text(position) + " holds kind " + std::to_string(kind);
      ++uses[kind];
    }
    int kinds = 0;
    for (int kind = 1; kind <= kKinds; ++kind) {
      if (uses[kind] == 0) continue;
      ++kinds;
      if (uses[kind] != 4)
        return "kind " + std::to_string(kind) + " " + std::to_string(uses[kind]) + " times";
    }
    if (kinds != kKindsDealt) return std::to_string(kinds) + " kinds";
    std::array<bool, kPositions + 1> seen{};
    for (int n = 0; n < kPositions; ++n) {
      const int position = deal.order[n];
      if (position < 1 || position > kPositions || seen[position])
        return "the fill order holds " + Text(position) + " wrongly";
      seen[position] = true;
    }
    return "";
  });
}

TEST(TileLayout, OpeningsStartTheirRowsWhereTheyMayOrStackOnTheCentralFour) {
  std::array<int, 4> openings{};
  ForEachDeal([&openings](const Deal& deal) -> std::string {
    if (deal.opening < 1 || deal.opening > 3) return "opening " + std::to_string(deal.opening);
    ++openings[deal.opening];
    const uint8_t* o = deal.order;
    const uint8_t* k = deal.kinds;
    if (deal.opening == 3) {
      const bool stacked = (o[0] == 6 && o[1] == 2) || (o[0] == 7 && o[1] == 3) ||
                           (o[0] == 8 && o[1] == 4) || (o[0] == 9 && o[1] == 5);
      if (!stacked || k[o[0]] != k[o[1]])
        return "opening 3 on " + Text(o[0]) + " and " + Text(o[1]);
      return "";
    }
    const Place first = PlaceOf(o[0]);
    for (int j = 0; j < 4; ++j) {
      if (o[j] != BottomAt(first.row, first.column + j))
        return "the row of four is not four cells side by side";
    }
    const bool innerRow = first.row == 2 || first.row == 3;
    if (first.layer != kBottomLayer || (innerRow && first.column != 2) ||
        (!innerRow && (first.column < 1 || first.column > 3)))
      return "a row of four in row " + std::to_string(first.row) + " from column " +
             std::to_string(first.column);
    const bool pairs = k[o[0]] == k[o[1]] && k[o[2]] == k[o[3]] && k[o[0]] != k[o[2]];
    const bool alternating = k[o[0]] == k[o[2]] && k[o[1]] == k[o[3]] && k[o[0]] != k[o[1]];
    if (deal.opening == 1 ? !pairs : !alternating)
      return "opening " + std::to_string(deal.opening) + " has the kinds in the wrong pattern";
    return "";
  });
  // Each opening is drawn about a third of the time.
  for (int o = 1; o <= 3; ++o) {
    EXPECT_GT(openings[o], static_cast<int>((kRunLength + kSpread) / 4)) << "opening " << o;
  }
}

// Every tile after the opening's block lands, as one of a pair of one kind, on a cell open
// before the pair: so the layer above only follows the cell under it, and the central stack
// takes the first tile of a pair whenever one of its cells is open.
TEST(TileLayout, PairsLandOnOpenCellsCentralStackFirst) {
  ForEachDeal([](const Deal& deal) -> std::string {
    Cells cells{};
    const int block = BlockSize(deal);
    for (int n = 0; n < block; ++n) cells[deal.order[n]] = true;
    for (int n = block; n + 1 < kPositions; n += 2) {
      const int first = deal.order[n];
      const int second = deal.order[n + 1];
      if (deal.kinds[first] != deal.kinds[second])
        return Text(first) + " and " + Text(second) + " are a pair of two kinds";
      if (!Open(cells, first) || !Open(cells, second))
        return "the pair " + Text(first) + ", " + Text(second) + " was not open";
      // The opening's own extra tiles draw from all open cells; the pairs after them prefer
      // the central stack. A deal that looks ahead may have to take a last pair without it
      // (16 and 20 left beside the top, say), when no pair starting there can complete it.
      const bool openingPair = n < (deal.opening == 3 ? 4 : 8);
      const bool lookingAhead = deal.lookedAhead && n >= kPositions - kLookAheadTiles;
      bool centralOpen = false;
      for (int p = 1; p <= 9; ++p) centralOpen |= Open(cells, p);
      if (!openingPair && !lookingAhead && centralOpen && first > 9)
        return Text(first) + " took the first tile while the central stack was open";
      cells[first] = cells[second] = true;
    }
    // What the openness above implies, checked from the order itself.
    std::array<int, kPositions + 1> when{};
    for (int n = 0; n < kPositions; ++n) when[deal.order[n]] = n;
    for (int middle = 2; middle <= 5; ++middle) {
      if (when[kTopPosition] < when[middle]) return "1 before " + Text(middle);
      if (when[middle] < when[BottomUnder(middle)]) return Text(middle) + " before its cell";
    }
    return "";
  });
}

// Undoing the deal from its last pair: each pair is one kind, both its tiles free at once
// (nothing on top, an open side in the row); then the opening's block, the upper tile of a
// stack first and a row from its right end, each tile free when it goes.
TEST(TileLayout, ReadBackwardsTheFillOrderClearsTheLayout) {
  ForEachDeal([](const Deal& deal) -> std::string {
    Cells cells{};
    for (int n = 0; n < kPositions; ++n) cells[deal.order[n]] = true;
    const int block = BlockSize(deal);
    for (int n = kPositions - 2; n >= block; n -= 2) {
      const int first = deal.order[n];
      const int second = deal.order[n + 1];
      if (deal.kinds[first] != deal.kinds[second]) return "a pair of two kinds";
      if (!Free(cells, first) || !Free(cells, second))
        return "the pair " + Text(first) + ", " + Text(second) + " is not free";
      cells[first] = cells[second] = false;
    }
    for (int n = block - 1; n >= 0; --n) {
      if (!Free(cells, deal.order[n])) return "the opening's " + Text(deal.order[n]) + " is stuck";
      cells[deal.order[n]] = false;
    }
    return "";
  });
}

TEST(TileLayout, TheSameSeedDealsTheSameTable) {
  for (uint32_t seed : {0u, 1u, kRunStart, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    GenerateLayoutFromSeed(seed);
    const Deal first = LastDeal();
    GenerateLayoutFromSeed(seed + 1);
    GenerateLayoutFromSeed(seed);
    const Deal& again = LastDeal();
    EXPECT_TRUE(std::equal(first.kinds, first.kinds + kPositions + 1, again.kinds)) << seed;
    EXPECT_TRUE(std::equal(first.order, first.order + kPositions, again.order)) << seed;
  }
  // Seeds a second apart deal different tables.
  int same = 0;
  GenerateLayoutFromSeed(kRunStart);
  Deal previous = LastDeal();
  for (uint32_t s = 1; s < 1000; ++s) {
    GenerateLayoutFromSeed(kRunStart + s);
    same += std::equal(previous.kinds, previous.kinds + kPositions + 1, LastDeal().kinds);
    previous = LastDeal();
  }
  EXPECT_LT(same, 5);
}

// Drawn as written, the last pair sometimes finds one cell open where two are needed (19 then
// 20, 21 then 16, and rarely at the ends of row 4). Those deals look ahead; every other deal is
// exactly what the drawn pairs give.
TEST(TileLayout, DealsThatWouldDeadEndLookAheadAndNoOtherChanges) {
  int deadEnds = 0;
  int failures = 0;
  for (uint32_t seed : Seeds()) {
    GenerateLayoutFromSeed(seed, LastPairs::kAsDrawn);
    const Deal drawn = LastDeal();
    GenerateLayoutFromSeed(seed);
    const Deal& dealt = LastDeal();
    std::string why;
    if (drawn.filled == kPositions) {
      if (dealt.lookedAhead || !std::equal(drawn.order, drawn.order + kPositions, dealt.order) ||
          !std::equal(drawn.kinds, drawn.kinds + kPositions + 1, dealt.kinds))
        why = "a deal that completes as drawn was changed";
    } else {
      ++deadEnds;
      if (drawn.filled != kPositions - 2) why = "a dead end before the last pair";
      if (!dealt.lookedAhead || dealt.filled != kPositions) why = "the dead end was not avoided";
      // Only the last pairs are chosen anew.
      if (!std::equal(drawn.order, drawn.order + kPositions - kLookAheadTiles, dealt.order))
        why = "pairs before the last ones changed";
    }
    if (!why.empty() && failures++ < 5) ADD_FAILURE() << "seed " << seed << ": " << why;
  }
  const double share = static_cast<double>(deadEnds) / (kRunLength + kSpread);
  EXPECT_GT(share, 0.06);
  EXPECT_LT(share, 0.11);
  std::printf("[ info ] %d of %u seeds look ahead (%.2f%%)\n", deadEnds, kRunLength + kSpread,
              100 * share);
}

// ---- The highest draw. A draw of 32767 scales to n itself, one past the last entry: the
// generator takes the last entry instead. Seeds are made so that one chosen draw is 32767.

constexpr uint32_t kMultiplier = 214013;
constexpr uint32_t kIncrement = 2531011;

uint32_t Inverse(uint32_t a) {  // modulo 2^32, for odd a
  uint32_t x = a;
  for (int i = 0; i < 5; ++i) x *= 2 - a * x;
  return x;
}

uint32_t Draw(uint32_t* state) {
  *state = *state * kMultiplier + kIncrement;
  return (*state >> 16) & 0x7FFF;
}

// A seed whose draw number `d` (from 1) is the highest, and whose earlier draws satisfy
// `earlier` (which sees them in order).
uint32_t SeedWithHighestDraw(int d,
                             const std::function<bool(const std::vector<uint32_t>&)>& earlier) {
  const uint32_t inverse = Inverse(kMultiplier);
  for (uint32_t low = 0;; ++low) {
    uint32_t state = 0x7FFF0000u | low;
    for (int i = 0; i < d; ++i) state = (state - kIncrement) * inverse;
    uint32_t replay = state;
    std::vector<uint32_t> draws;
    for (int i = 0; i < d; ++i) draws.push_back(Draw(&replay));
    if (draws.back() == 0x7FFF && earlier(draws)) return state;
  }
}

uint32_t Scaled(uint32_t n, uint32_t r) {
  return n * r / 32767;
}

TEST(TileLayout, TheHighestDrawTakesTheLastChoice) {
  // Draws 1..7 choose the kinds, 8 the opening, then the opening's row and column.
  auto any = [](const std::vector<uint32_t>&) { return true; };
  auto rowOpening = [](const std::vector<uint32_t>& d) { return Scaled(3, d[7]) < 2; };
  auto rowOpeningInOuterRow = [](const std::vector<uint32_t>& d) {
    return Scaled(3, d[7]) < 2 && (Scaled(4, d[8]) == 0 || Scaled(4, d[8]) == 3);
  };
  auto stackOpening = [](const std::vector<uint32_t>& d) { return Scaled(3, d[7]) == 2; };
  struct Case {
    const char* what;
    int draw;
    std::function<bool(const std::vector<uint32_t>&)> earlier;
    std::function<bool(const Deal&)> expected;
  };
  const Case cases[] = {
      {"the opening is the third", 8, any, [](const Deal& d) { return d.opening == 3; }},
      {"the row of four is row 4", 9, rowOpening,
       [](const Deal& d) { return PlaceOf(d.order[0]).row == 4; }},
      {"the row of four starts at column 3", 10, rowOpeningInOuterRow,
       [](const Deal& d) { return PlaceOf(d.order[0]).column == 3; }},
      {"the stack stands on row 3", 9, stackOpening,
       [](const Deal& d) { return PlaceOf(d.order[0]).row == 3; }},
      {"the stack stands on column 4", 10, stackOpening,
       [](const Deal& d) { return PlaceOf(d.order[0]).column == 4; }},
  };
  for (const Case& c : cases) {
    const uint32_t seed = SeedWithHighestDraw(c.draw, c.earlier);
    GenerateLayoutFromSeed(seed);
    EXPECT_TRUE(c.expected(LastDeal())) << c.what << " (seed " << seed << ")";
    EXPECT_EQ(LastDeal().filled, kPositions) << c.what;
  }
  // The kinds are drawn from a pool of n + 1, so there the highest draw names the last kind.
  GenerateLayoutFromSeed(SeedWithHighestDraw(1, any));
  EXPECT_EQ(std::count(LastDeal().kinds + 1, LastDeal().kinds + kPositions + 1, 23), 4);
}

// A fresh layout is seeded with the system's calendar time in whole seconds.
TEST(TileLayout, AFreshLayoutIsSeededWithTheTimeInSeconds) {
  stand_in::Reset();
  for (int64_t second : {int64_t{1000000000}, int64_t{1765281600}, int64_t{1765281601}}) {
    stand_in::Machine().calendarSeconds = second;
    GenerateLayout();
    const Deal dealt = LastDeal();
    GenerateLayoutFromSeed(static_cast<uint32_t>(second));
    EXPECT_TRUE(std::equal(dealt.kinds, dealt.kinds + kPositions + 1, LastDeal().kinds)) << second;
  }
  // On a machine whose clock runs, the second it is now.
  stand_in::Machine().calendarSeconds = stand_in::kRealClock;
  const auto before = static_cast<uint32_t>(std::time(nullptr));
  GenerateLayout();
  const Deal dealt = LastDeal();
  const auto after = static_cast<uint32_t>(std::time(nullptr));
  bool matched = false;
  for (uint32_t t = before; t <= after && !matched; ++t) {
    GenerateLayoutFromSeed(t);
    matched = std::equal(dealt.kinds, dealt.kinds + kPositions + 1, LastDeal().kinds);
  }
  EXPECT_TRUE(matched);
  stand_in::Reset();
}

}  // namespace
