// Pictures of a dealt tile layout: the 28 kinds as a scenario reads them back, drawn as the
// three layers in the terminal and as an SVG.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "tavin/tile_layout.h"

namespace plughost {

// The kind at each position 1..28 (entry 0 unused). A value that is no kind (0, negative, past
// the last kind) is drawn as an empty cell.
using LayoutKinds = std::array<int32_t, tavin::tiles::kPositions + 1>;

// The bottom rows, the middle 2 x 2 and the top side by side, one line per bottom row, each
// cell as "[ 7]".
std::string LayoutText(const LayoutKinds& kinds);

// A standalone SVG: the bottom tiles, the middle ones raised on the cells under them and the
// top on the middle four, each tile coloured by kind and labelled with its kind and position.
std::string LayoutSvg(const LayoutKinds& kinds, const std::string& caption);

}  // namespace plughost
