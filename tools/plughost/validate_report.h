// What `plughost validate` found, kept check by check for the reports CI tools read: JUnit XML
// (--junit FILE) and JSON (--json FILE).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/plughost/class_checks.h"

namespace plughost {

struct CheckResult {
  std::string library;    // as named on the command line
  std::string className;  // "" for the library's own load
  std::string check;      // "state.stored-size-matches-save", "load", ...
  Outcome outcome = Outcome::kOk;
  std::string reason;  // why it failed or was skipped
  double seconds = 0;
};

struct ValidateReport {
  uint32_t seed = 0;
  std::vector<CheckResult> results;
};

// Both answer false (with the reason) when the file cannot be written.
bool WriteJUnit(const ValidateReport& report, const std::string& path, std::string* error);
bool WriteJson(const ValidateReport& report, const std::string& path, std::string* error);

}  // namespace plughost
