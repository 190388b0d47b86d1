#include "tools/plughost/plot.h"

#include <algorithm>
#include <cstdio>

#include "tools/plughost/xml_text.h"

namespace plughost {
namespace {

// The drawing area inside the picture, in SVG units.
constexpr double kWidth = 760;
constexpr double kHeight = 380;
constexpr double kLeft = 56;
constexpr double kRight = 740;
constexpr double kTop = 56;
constexpr double kBottom = 336;

constexpr const char* kColours[] = {"#1f77b4", "#d62728", "#2ca02c",
                                    "#9467bd", "#ff7f0e", "#17becf"};

constexpr const char* kBlocks[] = {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};

std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

// A round step for the time axis: 1, 2 or 5 times a power of ten milliseconds, giving at most
// ten ticks.
uint64_t TickMicros(uint64_t span) {
  uint64_t step = 1000;
  for (;;) {
    for (uint64_t factor : {1, 2, 5}) {
      if (span / (step * factor) <= 10) return step * factor;
    }
    step *= 10;
  }
}

struct Scale {
  const Plot& plot;
  double X(uint64_t micros) const {
    const uint64_t span = std::max<uint64_t>(1, plot.toMicros - plot.fromMicros);
    const uint64_t at = std::clamp(micros, plot.fromMicros, plot.toMicros) - plot.fromMicros;
    return kLeft + (kRight - kLeft) * static_cast<double>(at) / static_cast<double>(span);
  }
  double Y(int32_t value) const {
    const double low = plot.Low(), high = plot.High();
    return kBottom - (kBottom - kTop) * (value - low) / (high - low);
  }
};

}  // namespace

int32_t Plot::Low() const {
  int32_t low = -100;
  for (const PlotLine& line : lines) {
    for (const refhost::SeriesPoint& p : line.points) low = std::min(low, p.value);
  }
  return low;
}

int32_t Plot::High() const {
  int32_t high = 100;
  for (const PlotLine& line : lines) {
    for (const refhost::SeriesPoint& p : line.points) high = std::max(high, p.value);
  }
  return high;
}

std::string TimeText(uint64_t micros) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g s", static_cast<double>(micros / 1000) / 1000);
  return buffer;
}

std::string PlotSvg(const Plot& plot) {
  const Scale scale{plot};
  std::string svg;
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(kWidth) + "\" height=\"" +
         Number(kHeight) + "\" viewBox=\"0 0 " + Number(kWidth) + " " + Number(kHeight) +
         "\" font-family=\"sans-serif\" font-size=\"11\">\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += "<text x=\"" + Number(kLeft) + "\" y=\"18\" font-size=\"14\">" +
         XmlEscaped(plot.attribute) + " from " + TimeText(plot.fromMicros) + " to " +
         TimeText(plot.toMicros) + "</text>\n";

  // Value grid: five rules across the range, the middle one solid.
  const int32_t low = plot.Low(), high = plot.High();
  for (int i = 0; i <= 4; ++i) {
    const int32_t value = low + static_cast<int32_t>((int64_t{high} - low) * i / 4);
    const std::string y = Number(scale.Y(value));
    svg += "<line x1=\"" + Number(kLeft) + "\" y1=\"" + y + "\" x2=\"" + Number(kRight) +
           "\" y2=\"" + y + "\" stroke=\"#ccc\"" + (i == 2 ? "" : " stroke-dasharray=\"2,3\"") +
           "/>\n";
    svg += "<text x=\"" + Number(kLeft - 6) + "\" y=\"" + Number(scale.Y(value) + 4) +
           "\" text-anchor=\"end\">" + std::to_string(value) + "</text>\n";
  }
  // Time axis.
  const uint64_t tick = TickMicros(plot.toMicros - plot.fromMicros);
  for (uint64_t t = (plot.fromMicros + tick - 1) / tick * tick; t <= plot.toMicros; t += tick) {
    const std::string x = Number(scale.X(t));
    svg += "<line x1=\"" + x + "\" y1=\"" + Number(kBottom) + "\" x2=\"" + x + "\" y2=\"" +
           Number(kBottom + 4) + "\" stroke=\"#666\"/>\n";
    svg += "<text x=\"" + x + "\" y=\"" + Number(kBottom + 17) + "\" text-anchor=\"middle\">" +
           TimeText(t) + "</text>\n";
  }
  svg += "<rect x=\"" + Number(kLeft) + "\" y=\"" + Number(kTop) + "\" width=\"" +
         Number(kRight - kLeft) + "\" height=\"" + Number(kBottom - kTop) +
         "\" fill=\"none\" stroke=\"#666\"/>\n";

  for (size_t i = 0; i < plot.lines.size(); ++i) {
    const PlotLine& line = plot.lines[i];
    const std::string colour = kColours[i % std::size(kColours)];
    // Legend, above the drawing.
    const double legendX = kLeft + 180.0 * static_cast<double>(i % 4);
    const double legendY = 36 + 14.0 * static_cast<double>(i / 4);
    svg += "<rect x=\"" + Number(legendX) + "\" y=\"" + Number(legendY - 8) +
           "\" width=\"10\" height=\"10\" fill=\"" + colour + "\"/>\n";
    svg += "<text x=\"" + Number(legendX + 14) + "\" y=\"" + Number(legendY + 1) + "\">" +
           XmlEscaped(line.name) + " (" + std::to_string(line.points.size()) + ")</text>\n";
    // Each value holds until the next one, and the last until the end.
    if (!line.points.empty()) {
      std::string path;
      for (size_t k = 0; k < line.points.size(); ++k) {
        const refhost::SeriesPoint& p = line.points[k];
        const std::string x = Number(scale.X(p.micros));
        if (k != 0) path += " " + x + "," + Number(scale.Y(line.points[k - 1].value));
        path += " " + x + "," + Number(scale.Y(p.value));
      }
      path +=
          " " + Number(scale.X(plot.toMicros)) + "," + Number(scale.Y(line.points.back().value));
      svg += "<polyline fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"2\" points=\"" +
             path.substr(1) + "\"/>\n";
    }
    for (size_t k = 0; k < line.marks.size(); ++k) {
      const PlotMark& mark = line.marks[k];
      const std::string x = Number(scale.X(mark.micros));
      svg += "<line x1=\"" + x + "\" y1=\"" + Number(kTop) + "\" x2=\"" + x + "\" y2=\"" +
             Number(kBottom) + "\" stroke=\"" + colour + "\" stroke-dasharray=\"4,3\"/>\n";
      // Labels step down so that marks close together stay readable.
      const double labelY = kTop + 12 + 12.0 * static_cast<double>((i + k) % 4);
      svg += "<text x=\"" + Number(scale.X(mark.micros) + 3) + "\" y=\"" + Number(labelY) +
             "\" fill=\"" + colour +
             "\" stroke=\"white\" stroke-width=\"3\" paint-order=\"stroke\">" +
             XmlEscaped(mark.label) + "</text>\n";
    }
  }
  svg += "</svg>\n";
  return svg;
}

Sparkline MakeSparkline(const Plot& plot, const PlotLine& line, size_t width) {
  Sparkline out;
  if (width == 0) return out;
  const uint64_t span = std::max<uint64_t>(1, plot.toMicros - plot.fromMicros);
  const double low = plot.Low(), high = plot.High();
  size_t next = 0;
  bool any = false;
  int32_t value = 0;
  for (size_t column = 0; column < width; ++column) {
    const uint64_t end = plot.fromMicros + span * (column + 1) / width;
    while (next < line.points.size() && line.points[next].micros <= end) {
      value = line.points[next++].value;
      any = true;
    }
    if (!any) {
      out.values += " ";
      continue;
    }
    const auto level = static_cast<size_t>((value - low) / (high - low) * 7 + 0.5);
    out.values += kBlocks[std::min<size_t>(level, 7)];
  }
  if (line.marks.empty()) return out;
  // Character positions, not bytes: the marks line is plain ASCII.
  std::string marks(width, ' ');
  for (const PlotMark& mark : line.marks) {
    const uint64_t at = std::clamp(mark.micros, plot.fromMicros, plot.toMicros) - plot.fromMicros;
    size_t column = static_cast<size_t>(at * width / span);
    column = std::min(column, width - 1);
    // A label goes where it fits without covering another; the ^ always shows.
    const std::string label = "^" + mark.label;
    bool free = column + label.size() <= marks.size() + 16;
    for (size_t k = column; free && k < std::min(marks.size(), column + label.size() + 1); ++k) {
      free = marks[k] == ' ';
    }
    if (free) {
      if (marks.size() < column + label.size()) marks.resize(column + label.size(), ' ');
      marks.replace(column, label.size(), label);
    } else {
      marks[column] = '^';
    }
  }
  while (!marks.empty() && marks.back() == ' ') marks.pop_back();
  out.marks = marks;
  return out;
}

}  // namespace plughost
