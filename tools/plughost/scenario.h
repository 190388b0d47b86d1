// Runs parsed scenario steps against a reference host and prints what the host saw.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "host/call_limit.h"
#include "tools/plughost/scenario_parser.h"

namespace plughost::scenario {

struct RunOptions {
  std::string fileName;     // for messages: "demo.scn:12: ..."
  std::string libDir;       // where `load NAME` looks first ("" for none)
  std::string scenarioDir;  // the scenario's own folder, searched after libDir
  bool trace = false;       // as if the file began with `trace on`
  uint32_t callLimitMs = refhost::kDefaultCallLimitMs;  // per entry call and callback; 0: none
  std::string outDir;  // where `plot` writes a relative file ("" for the current folder)
  std::string form;    // which build `load NAME` takes: "so", "dll", or "" for either
};

// 0 when every step ran, every expectation held, no export was refused and the host saw no
// ownership fault or leak; 1 otherwise (the reason is on `err`). Ends with a summary line.
int Run(const std::vector<Step>& steps, const RunOptions& options, std::ostream& out,
        std::ostream& err);

}  // namespace plughost::scenario
