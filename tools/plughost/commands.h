// plughost's subcommands. Each takes its arguments (after the subcommand's name) and the
// streams to write to, and answers the process exit status.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace plughost {

struct Command {
  const char* name;
  const char* usage;    // arguments, for the help text
  const char* summary;  // one line
  int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

const std::vector<Command>& Commands();

int Info(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Validate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Bench(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int PrintCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace plughost
