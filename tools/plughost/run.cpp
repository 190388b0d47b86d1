// plughost run: reads a scenario file, parses it whole, then runs it.
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include "tools/plughost/commands.h"
#include "tools/plughost/options.h"
#include "tools/plughost/scenario.h"
#include "tools/plughost/scenario_parser.h"

namespace plughost {

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  namespace fs = std::filesystem;
  scenario::RunOptions options;
  std::string file;
  OptionReader reader("run", args, err);
  while (reader.Next()) {
    if (reader.Current() == "--lib-dir") {
      if (!reader.Value(&options.libDir)) return 2;
    } else if (reader.Current() == "--out-dir") {
      if (!reader.Value(&options.outDir)) return 2;
    } else if (reader.Current() == "--form") {
      if (!reader.Value(&options.form)) return 2;
      if (options.form != "so" && options.form != "dll")
        return reader.Usage("--form takes so or dll");
    } else if (reader.Current() == "--trace") {
      options.trace = true;
    } else if (reader.Current() == "--timeout") {
      if (!reader.Seconds(&options.callLimitMs)) return 2;
    } else if (reader.IsOption()) {
      return reader.Unknown();
    } else if (file.empty()) {
      file = reader.Current();
    } else {
      return reader.Usage("one scenario file at a time (" + reader.Current() + " is extra)");
    }
  }
  if (file.empty()) return reader.Usage("name a scenario file (plughost --help)");
  std::error_code ec;
  if (!options.libDir.empty() && !fs::is_directory(options.libDir, ec))
    return reader.Usage("--lib-dir " + options.libDir + " is not a folder");
  if (fs::is_directory(file, ec)) {
    err << "plughost run: " << file << " is a folder, not a scenario file\n";
    return 1;
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
  if (parsed.steps.empty()) {
    err << file << ": the scenario has no commands, so there is nothing to run\n";
    return 1;
  }
  options.fileName = file;
  options.scenarioDir = fs::path(file).parent_path().string();
  return scenario::Run(parsed.steps, options, out, err);
}

}  // namespace plughost
