#include "tools/plughost/options.h"

#include <cmath>
#include <cstdlib>
#include <ostream>

namespace plughost {

bool OptionReader::Value(std::string* out) {
  const std::string option = Current();
  if (!Next()) {
    Usage(option + " needs a value");
    return false;
  }
  *out = Current();
  return true;
}

bool OptionReader::Seconds(uint32_t* milliseconds) {
  std::string text;
  if (!Value(&text)) return false;
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > 86400) {
    Usage("--timeout takes seconds from 0 (no limit) to 86400, not \"" + text + "\"");
    return false;
  }
  *milliseconds = static_cast<uint32_t>(std::lround(seconds * 1000));
  if (*milliseconds == 0 && seconds > 0) *milliseconds = 1;
  return true;
}

bool OptionReader::Number(uint64_t* out) {
  const std::string option = Current();
  std::string text;
  if (!Value(&text)) return false;
  char* end = nullptr;
  *out = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || text[0] == '-' || *end != '\0') {
    Usage(option + " takes a whole number, not \"" + text + "\"");
    return false;
  }
  return true;
}

int OptionReader::Unknown() {
  return Usage("unknown option " + Current() + " (plughost --help)");
}

int OptionReader::Usage(const std::string& what) {
  err_ << "plughost " << command_ << ": " << what << "\n";
  return 2;
}

}  // namespace plughost
