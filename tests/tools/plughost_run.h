// Runs plughost as a user does, through the i386 wrapper, and keeps what it printed.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace plughost_testing {

struct Outcome {
  int status = -1;
  std::string output;  // stdout and stderr together
};

// Runs `plughost ARGS` (in folder `in` when given).
inline Outcome Plughost(const std::string& args, const std::string& in = "") {
  Outcome run;
  // Through the i386 wrapper, as CTest runs every program: the kernel may not run i386 itself.
  std::string command = (in.empty() ? "" : "cd '" + in + "' && ") + "sh " + RUN_I386_PATH + " " +
                        PLUGHOST_PATH + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 512> buffer;
  while (fgets(buffer.data(), buffer.size(), pipe) != nullptr) run.output += buffer.data();
  int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace plughost_testing
