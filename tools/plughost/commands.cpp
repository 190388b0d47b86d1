#include "tools/plughost/commands.h"

#include <cstdio>
#include <ostream>

#include "host/host.h"

namespace plughost {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"info", "LIB...", "list each exported class: size, flags, interface and slots", &Info},
      {"validate", "LIB...", "check every class's whole life cycle through the host", &Validate},
      {"run", "FILE [--lib-dir DIR] [--trace] [--out-dir DIR] [--form so|dll]",
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
  out << "    class flags    " << info.classFlags << " (" << Hex(info.classFlags) << ")\n";
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
  if (args.empty()) {
    err << "plughost info: name at least one library (plughost --help)\n";
    return 2;
  }
  int status = 0;
  for (const std::string& path : args) {
    refhost::Host host;
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
