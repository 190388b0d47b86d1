// plughost run: reads a scenario file, parses it whole, then runs it.
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include "tools/plughost/commands.h"
#include "tools/plughost/scenario.h"
#include "tools/plughost/scenario_parser.h"

namespace plughost {

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  scenario::RunOptions options;
  std::string file;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--lib-dir") {
      if (i + 1 >= args.size()) {
        err << "plughost run: --lib-dir needs a folder\n";
        return 2;
      }
      options.libDir = args[++i];
    } else if (args[i] == "--out-dir") {
      if (i + 1 >= args.size()) {
        err << "plughost run: --out-dir needs a folder\n";
        return 2;
      }
      options.outDir = args[++i];
    } else if (args[i] == "--form") {
      if (i + 1 >= args.size() || (args[i + 1] != "so" && args[i + 1] != "dll")) {
        err << "plughost run: --form takes so or dll\n";
        return 2;
      }
      options.form = args[++i];
    } else if (args[i] == "--trace") {
      options.trace = true;
    } else if (args[i].rfind("--", 0) == 0) {
      err << "plughost run: unknown option " << args[i] << " (plughost --help)\n";
      return 2;
    } else if (file.empty()) {
      file = args[i];
    } else {
      err << "plughost run: one scenario file at a time (" << args[i] << " is extra)\n";
      return 2;
    }
  }
  if (file.empty()) {
    err << "plughost run: name a scenario file (plughost --help)\n";
    return 2;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    err << "plughost run: cannot read " << file << "\n";
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  scenario::ParseResult parsed = scenario::Parse(text.str());
  if (!parsed.error.empty()) {
    err << file << ":" << parsed.errorLine << ": " << parsed.error << "\n";
    return 1;
  }
  options.fileName = file;
  options.scenarioDir = std::filesystem::path(file).parent_path().string();
  return scenario::Run(parsed.steps, options, out, err);
}

}  // namespace plughost
