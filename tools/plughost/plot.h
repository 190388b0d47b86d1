// Pictures of what plug-ins did to an attribute over time (an owner's "pan", say): an SVG plot
// with one line per object and the messages that started and stopped it marked, and the same
// as a compact text sparkline for the terminal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/series.h"

namespace plughost {

// A message handled at a point in time, shown as a mark on its object's line.
struct PlotMark {
  uint64_t micros = 0;
  std::string label;  // "start", "stop", "id(42,0)"
};

struct PlotLine {
  std::string name;                          // the object's path
  std::vector<refhost::SeriesPoint> points;  // in time order; each value holds until the next
  std::vector<PlotMark> marks;
};

struct Plot {
  std::string attribute;  // "pan"
  uint64_t fromMicros = 0;
  uint64_t toMicros = 0;
  std::vector<PlotLine> lines;

  // The value range shown: -100..100, widened to whatever the lines hold.
  int32_t Low() const;
  int32_t High() const;
};

// The whole plot as an SVG document: values against time in milliseconds, the value range on
// the vertical axis, a line per object in its own colour, each mark a dashed rule with its label.
std::string PlotSvg(const Plot& plot);

// One line as `width` characters of ▁ to █ (a space before its first value) sampled at the end
// of each slice of the plot's time, and under it a line with ^ at each mark and its label.
struct Sparkline {
  std::string values;
  std::string marks;  // "" when the line has none
};
Sparkline MakeSparkline(const Plot& plot, const PlotLine& line, size_t width);

// "0.85 s", "12 s": a time for people, to the millisecond.
std::string TimeText(uint64_t micros);

}  // namespace plughost
