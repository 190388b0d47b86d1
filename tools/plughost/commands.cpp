#include "tools/plughost/commands.h"

#include <cstdio>
#include <ostream>

#include "host/call_limit.h"
#include "host/class_knowledge.h"
#include "host/host.h"
#include "tools/plughost/options.h"

namespace plughost {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"info", "LIB... [--timeout S]", "list each exported class: size, flags, interface and slots",
       &Info},
      {"validate",
       "LIB... [--class NAME] [--include RE] [--exclude RE] [--seed N] [--list]\n"
       "             [--junit FILE] [--json FILE] [--timeout S]",
       "run the named checks on every class", &Validate},
      {"run", "FILE [--lib-dir DIR] [--trace] [--out-dir DIR] [--form so|dll] [--timeout S]",
       "run a scenario file (the language is below); --trace prints every host call; plots "
       "go to --out-dir",
       &Run},
      {"bench", "[--n N] [--json FILE] [--lib FILE]",
       "time ListMod's sorts, shuffle, draws and transfer beside native code", &Bench},
      {"print", "FILE.bmp ... --out PAGE.png", "print a bitmap with Print; the page as a PNG",
       &PrintCommand},
  };
  return commands;
}

namespace {

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%#x", value);
  return buffer;
}

void PrintClass(const refhost::ClassInfo& info, std::ostream& out) {
  out << "  class " << info.name << "\n";
  out << "    instance size  " << info.instanceSize << " bytes\n";
  out << "    class flags    " << info.classFlags << " (" << Hex(info.classFlags) << ": "
      << refhost::ClassFlagsMeaning(info.classFlags) << ")\n";
  out << "    interface      " << info.interfaceName << "\n";
  out << "    slots          " << info.slots.size() << ", in registration order:\n";
  for (const refhost::SlotInfo& slot : info.slots) {
    std::string_view name = refhost::SlotName(slot.row, slot.column);
    char line[96];
    std::snprintf(line, sizeof line, "      row %u  column %2u  %.*s\n", slot.row, slot.column,
                  static_cast<int>(name.size()), name.empty() ? "(unnamed)" : name.data());
    out << line;
  }
}

}  // namespace

int Info(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  uint32_t limitMs = refhost::kDefaultCallLimitMs;
  std::vector<std::string> libraries;
  OptionReader reader("info", args, err);
  while (reader.Next()) {
    if (reader.Current() == "--timeout") {
      if (!reader.Seconds(&limitMs)) return 2;
    } else if (reader.IsOption()) {
      return reader.Unknown();
    } else {
      libraries.push_back(reader.Current());
    }
  }
  if (libraries.empty()) return reader.Usage("name at least one library (plughost --help)");
  int status = 0;
  for (const std::string& path : libraries) {
    refhost::Host host;
    host.SetCallLimit(limitMs);
    refhost::LoadResult result = host.Load(path);
    out << path << "\n";
    if (!result.error.empty()) {
      err << "plughost: " << result.error << "\n";
      status = 1;
      continue;
    }
    for (const refhost::ClassInfo* info : host.Classes()) {
      if (info->usable) PrintClass(*info, out);
    }
    for (const std::string& line : result.exportErrors) {
      err << "plughost: " << line << "\n";
      status = 1;
    }
  }
  return status;
}

}  // namespace plughost
