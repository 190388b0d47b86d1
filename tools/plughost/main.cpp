// plughost: loads plug-in libraries into the reference host and reports on them.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tools/plughost/commands.h"
#include "tools/plughost/scenario_parser.h"

namespace {

void Help(std::ostream& out) {
  out << "usage: plughost COMMAND [ARGS...]\n"
         "       plughost --help\n\n"
         "Loads plug-in libraries into the reference host, exactly as the runtime loads them.\n\n"
         "commands:\n";
  for (const plughost::Command& command : plughost::Commands()) {
    std::string head = std::string(command.name) + " " + command.usage;
    // A long usage gets its summary on a line of its own.
    const bool fits = head.size() < 30 && head.find('\n') == std::string::npos;
    out << "  " << head << (fits ? std::string(30 - head.size(), ' ') : "\n" + std::string(32, ' '))
        << command.summary << "\n";
  }
  out << "\nvalidate prints one line per check of each class (ok, FAIL: why, or skip) and a\n"
         "summary; each class runs in a process of its own, so a crash fails only that class.\n"
         "Checks are named area.what-it-proves (--list shows them); --class, --include and\n"
         "--exclude (regular expressions over check names) choose what runs; every run prints\n"
         "its seed, and --seed N repeats it; --junit FILE and --json FILE write reports.\n"
         "--timeout S (default 5, 0 for none): the longest one entry call or callback may take\n"
         "before it is abandoned and its check fails, naming the class and slot; info, validate\n"
         "and run all take it.\n\n"
         "print FILE.bmp [--centre | --stretch | --fit] [--dialog ok|cancel|fail]\n"
         "      [--printer-dpi N] [--page WxH] [--lib TAVIN.so] --out PAGE.png\n"
         "has a Print instance print the file on the virtual printer (300 dpi, an A4 page of\n"
         "2480 x 3508 pixels unless told otherwise; --printer-dpi alone gives A4 at that\n"
         "resolution) through the print dialog's answer, placed by the instance's own settings\n"
         "or the one named, and writes the page as PNG. A file that cannot be printed is named\n"
         "with the reason, and the status is 1.\n\n"
      << plughost::scenario::LanguageHelp()
      << "\nExit status: 0 when everything loaded, passed and held; 1 when a library or an\n"
         "export was refused, a check failed or a scenario failed (the reason is printed,\n"
         "with the scenario's line number); 2 for a usage error.\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Help(std::cerr);
    return 2;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    Help(std::cout);
    return 0;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const plughost::Command& command : plughost::Commands()) {
    if (name == command.name) return command.run(args, std::cout, std::cerr);
  }
  std::cerr << "plughost: unknown command \"" << name << "\" (plughost --help lists them)\n";
  return 2;
}
