#include "host/series.h"

#include <cctype>
#include <string>

namespace refhost {

std::vector<Series> IntegerSeries(const Host& host, std::string_view name, size_t firstWrite) {
  std::string wanted(name);
  for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::vector<Series> all;
  const std::vector<AttributeWrite>& writes = host.AttributeWrites();
  for (size_t i = firstWrite; i < writes.size(); ++i) {
    const AttributeWrite& write = writes[i];
    if (write.status != 0 || write.name != wanted || write.value.tag != tag::kInteger) continue;
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
