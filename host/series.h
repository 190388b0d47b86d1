// The attribute writes the host kept, read as time series: what a plug-in did to one
// attribute of each object over the clock (an owner's "pan" during a ramp, say).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace refhost {

struct SeriesPoint {
  uint64_t micros;
  int32_t value;
};

struct Series {
  uint32_t object;
  std::vector<SeriesPoint> points;  // in time order
};

// The integer values written to attribute `name` (any case) that the objects took, from the
// `firstWrite`-th write the host kept on (AttributeWrites()), one series per object in the
// order of their first write.
std::vector<Series> IntegerSeries(const Host& host, std::string_view name, size_t firstWrite = 0);

}  // namespace refhost
