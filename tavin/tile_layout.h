// The tile layout generator behind Vellomar: 28 positions on three stacked layers, dealt with 7
// of the 23 tile kinds, four tiles each, in an order that clears pair by pair when read
// backwards.
//
// Plain computation on library-wide tables: no host call, no allocation. Generations run one
// at a time, inside the host's message delivery, and each overwrites the last.
#pragma once

#include <cstdint>

namespace tavin::tiles {

constexpr int kPositions = 28;
constexpr int kKinds = 23;      // kinds are numbered 1..23
constexpr int kKindsDealt = 7;  // each on four positions
constexpr int kBottomRows = 4;  // bottom rows 1..4
constexpr int kBottomColumns = 7;
constexpr int kMiddleCells = 2;  // the middle layer is 2 x 2

constexpr uint8_t kBottomLayer = 1;
constexpr uint8_t kMiddleLayer = 2;
constexpr uint8_t kTopLayer = 3;

// The fixed arrangement. Bottom cells by (row, column), both from 1; 0 where no cell exists.
constexpr uint8_t kBottomPosition[kBottomRows + 1][kBottomColumns + 1] = {
    {0, 0, 0, 0, 0, 0, 0, 0},   {0, 10, 11, 12, 13, 14, 15, 0}, {0, 16, 17, 6, 7, 18, 19, 20},
    {0, 0, 21, 8, 9, 22, 0, 0}, {0, 23, 24, 25, 26, 27, 28, 0},
};
// Middle cells by (row, column) of the 2 x 2 grid. Middle cell (r, c) lies on bottom cell
// (r + 1, c + 2); the top, position 1, lies on all four.
constexpr uint8_t kMiddlePosition[kMiddleCells + 1][kMiddleCells + 1] = {
    {0, 0, 0}, {0, 2, 3}, {0, 4, 5}};
constexpr uint8_t kTopPosition = 1;
// Bottom positions 16 and 19 open only once the cells beside them below are filled.
constexpr uint8_t kGuardedPositions[2] = {16, 19};

// Where a position lies: its layer and its row and column within that layer (the top is row 0,
// column 0).
struct Place {
  uint8_t layer;
  uint8_t row;
  uint8_t column;
};
constexpr Place PlaceOf(int position) {
  if (position == kTopPosition) return {kTopLayer, 0, 0};
  for (uint8_t r = 1; r <= kMiddleCells; ++r) {
    for (uint8_t c = 1; c <= kMiddleCells; ++c) {
      if (kMiddlePosition[r][c] == position) return {kMiddleLayer, r, c};
    }
  }
  for (uint8_t r = 1; r <= kBottomRows; ++r) {
    for (uint8_t c = 1; c <= kBottomColumns; ++c) {
      if (kBottomPosition[r][c] == position) return {kBottomLayer, r, c};
    }
  }
  return {0, 0, 0};
}

// What the last generation left: the layout table and how it was filled.
struct Deal {
  uint8_t kinds[kPositions + 1];  // kind per position 1..28; entry 0 is no position
  uint8_t order[kPositions];      // positions in the order they were filled
  uint8_t filled;                 // entries of `order` used (28 once a deal is complete)
  uint8_t opening;                // 1 or 2: a row of four; 3: a stacked pair
  // The drawn pair would have left positions no pair could fill, so the last pairs were
  // chosen by looking ahead instead.
  bool lookedAhead;
};

// How the last pairs are chosen. Drawn as written, about one deal in twelve runs into a
// position no pair can reach any more; looking ahead once few tiles are left avoids that and
// changes nothing where the drawn pairs complete the deal.
enum class LastPairs {
  kLookAhead,
  kAsDrawn,  // stops at a dead end, leaving positions without a kind: for comparison only
};

// Once this many tiles or fewer are left, the drawn pair is checked to leave a layout that pairs
// can still complete.
constexpr int kLookAheadTiles = 8;

// Deals a fresh layout, the random numbers seeded with the calendar time in whole seconds.
void GenerateLayout();
// The same from a given seed: what GenerateLayout deals in the second `seed`.
void GenerateLayoutFromSeed(uint32_t seed, LastPairs lastPairs = LastPairs::kLookAhead);
// The last deal; readable until the next generation.
const Deal& LastDeal();

}  // namespace tavin::tiles
