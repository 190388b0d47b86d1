#include "tools/plughost/layout_picture.h"

#include <cstdio>

#include "tools/plughost/xml_text.h"

namespace plughost {

namespace tiles = tavin::tiles;

namespace {

bool IsKind(int32_t kind) {
  return kind >= 1 && kind <= tiles::kKinds;
}

std::string Cell(int32_t kind) {
  char cell[8];
  if (!IsKind(kind)) return "[  ]";
  std::snprintf(cell, sizeof cell, "[%2d]", static_cast<int>(kind));
  return cell;
}

constexpr size_t kCellWidth = 4;
constexpr size_t kGap = 4;

// Tile geometry of the SVG, in pixels: a raised layer is drawn up and left of the one below.
constexpr int kTileWidth = 46;
constexpr int kTileHeight = 58;
constexpr int kRaise = 7;
constexpr int kMargin = 24;
constexpr int kCaptionHeight = 28;

// One tile with its top-left corner at (x, y): kind large in the middle, position small.
std::string Tile(int x, int y, int position, int32_t kind) {
  char svg[640];
  if (!IsKind(kind)) {
    std::snprintf(svg, sizeof svg,
                  "  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"5\" fill=\"none\" "
                  "stroke=\"#999\" stroke-dasharray=\"4 3\"/>\n"
                  "  <text x=\"%d\" y=\"%d\" font-size=\"10\" fill=\"#999\">%d</text>\n",
                  x, y, kTileWidth, kTileHeight, x + 4, y + 12, position);
    return svg;
  }
  // Kinds spread round the colour wheel, so neighbouring numbers look different.
  const int hue = (static_cast<int>(kind) * 137) % 360;
  std::snprintf(svg, sizeof svg,
                "  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"5\" fill=\"#555\"/>\n"
                "  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"5\" "
                "fill=\"hsl(%d,70%%,80%%)\" stroke=\"hsl(%d,50%%,35%%)\" stroke-width=\"2\"/>\n"
                "  <text x=\"%d\" y=\"%d\" font-size=\"22\" font-weight=\"bold\" "
                "text-anchor=\"middle\" fill=\"hsl(%d,60%%,25%%)\">%d</text>\n"
                "  <text x=\"%d\" y=\"%d\" font-size=\"10\" fill=\"#444\">%d</text>\n",
                x + 3, y + 3, kTileWidth, kTileHeight, x, y, kTileWidth, kTileHeight, hue, hue,
                x + kTileWidth / 2, y + kTileHeight / 2 + 8, hue, static_cast<int>(kind), x + 4,
                y + 12, position);
  return svg;
}

}  // namespace

std::string LayoutText(const LayoutKinds& kinds) {
  const size_t bottomWidth = kCellWidth * tiles::kBottomColumns;
  const size_t middleWidth = kCellWidth * tiles::kMiddleCells;
  std::string text = "bottom";
  text += std::string(bottomWidth + kGap - 6, ' ') + "middle";
  text += std::string(middleWidth + kGap - 6, ' ') + "top\n";
  for (int row = 1; row <= tiles::kBottomRows; ++row) {
    std::string line;
    for (int column = 1; column <= tiles::kBottomColumns; ++column) {
      const int position = tiles::kBottomPosition[row][column];
      line += position == 0 ? std::string(kCellWidth, ' ') : Cell(kinds[position]);
    }
    if (row <= tiles::kMiddleCells) {
      line += std::string(kGap, ' ');
      for (int column = 1; column <= tiles::kMiddleCells; ++column)
        line += Cell(kinds[tiles::kMiddlePosition[row][column]]);
      if (row == 1) line += std::string(kGap, ' ') + Cell(kinds[tiles::kTopPosition]);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

std::string LayoutSvg(const LayoutKinds& kinds, const std::string& caption) {
  const int width = 2 * kMargin + tiles::kBottomColumns * kTileWidth;
  const int height = 2 * kMargin + kCaptionHeight + tiles::kBottomRows * kTileHeight;
  const int top = kMargin + kCaptionHeight;
  char head[512];
  std::snprintf(head, sizeof head,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\">\n"
                "  <rect width=\"%d\" height=\"%d\" fill=\"#f4f1e8\"/>\n"
                "  <text x=\"%d\" y=\"%d\" font-size=\"15\" fill=\"#333\">",
                width, height, width, height, width, height, kMargin, kMargin + 8);
  std::string svg = head + XmlEscaped(caption) + "</text>\n";
  // Bottom first, then each layer above it, so upper tiles cover the ones they lie on.
  for (int row = 1; row <= tiles::kBottomRows; ++row) {
    for (int column = 1; column <= tiles::kBottomColumns; ++column) {
      const int position = tiles::kBottomPosition[row][column];
      if (position == 0) continue;
      svg += Tile(kMargin + (column - 1) * kTileWidth, top + (row - 1) * kTileHeight, position,
                  kinds[position]);
    }
  }
  // Middle cell (r, c) lies on bottom cell (r + 1, c + 2).
  for (int row = 1; row <= tiles::kMiddleCells; ++row) {
    for (int column = 1; column <= tiles::kMiddleCells; ++column) {
      const int position = tiles::kMiddlePosition[row][column];
      svg += Tile(kMargin + (column + 1) * kTileWidth - kRaise, top + row * kTileHeight - kRaise,
                  position, kinds[position]);
    }
  }
  // The top lies across the middle four.
  svg += Tile(kMargin + 2 * kTileWidth + kTileWidth / 2 - 2 * kRaise,
              top + kTileHeight + kTileHeight / 2 - 2 * kRaise, tiles::kTopPosition,
              kinds[tiles::kTopPosition]);
  return svg + "</svg>\n";
}

}  // namespace plughost
