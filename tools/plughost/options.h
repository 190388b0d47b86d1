// Reading the options of plughost's commands: each command walks its arguments with an
// OptionReader, so every command refuses an unknown option and a missing value the same way
// (a usage error, exit status 2).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace plughost {

class OptionReader {
 public:
  OptionReader(const char* command, const std::vector<std::string>& args, std::ostream& err)
      : command_(command), args_(args), err_(err) {}

  // Moves to the next argument; false at the end.
  bool Next() { return ++at_ < args_.size(); }
  const std::string& Current() const { return args_[at_]; }
  bool IsOption() const { return Current().size() > 1 && Current()[0] == '-'; }
  // The value after the current option; false (with a usage message) when there is none.
  bool Value(std::string* out);
  // --timeout S: seconds, fractions allowed, 0 for no limit.
  bool Seconds(uint32_t* milliseconds);
  // A whole number, for --seed.
  bool Number(uint64_t* out);
  // Says the current option is unknown; answers the exit status 2 for the caller to return.
  int Unknown();
  // Prints "plughost COMMAND: what" and answers 2.
  int Usage(const std::string& what);

 private:
  const char* command_;
  const std::vector<std::string>& args_;
  std::ostream& err_;
  size_t at_ = static_cast<size_t>(-1);
};

}  // namespace plughost
