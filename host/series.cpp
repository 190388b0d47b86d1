#include "host/series.h"

#include <cctype>
#include <string>

namespace refhost {

std::vector<Series> IntegerSeries(const Host& host, std::string_view name, uint64_t fromMicros) {
  std::string wanted(name);
  for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::vector<Series> all;
  for (const AttributeWrite& write : host.AttributeWrites()) {
    if (write.status != 0 || write.micros < fromMicros || write.name != wanted ||
        write.value.tag != tag::kInteger) {
      continue;
    }
    Series* series = nullptr;
    for (Series& s : all) {
      if (s.object == write.object) series = &s;
    }
    if (series == nullptr) series = &all.emplace_back(Series{write.object, {}});
    series->points.push_back(SeriesPoint{write.micros, write.value.AsInteger()});
  }
  return all;
}

}  // namespace refhost
