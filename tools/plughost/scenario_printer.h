// The scenario's virtual printer: `printer` sets it, and every page a plug-in prints is shown
// under the command that printed it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace plughost::scenario {

// Applies `printer` settings (dpi, pagewidth, pageheight, dialog 0 ok / 1 cancel / 2 fail,
// bitmaps 0 or 1) and shows the printer as it now is.
void SetPrinter(const std::vector<std::pair<std::string, int64_t>>& settings, std::ostream& out);

// What of the printing has been shown so far.
struct PrintingSeen {
  size_t jobs = 0;
  size_t messageBoxes = 0;
};

// Shows the print jobs and message boxes not shown yet.
void ShowNewPrinting(PrintingSeen* seen, std::ostream& out);

// The print jobs the system has seen, counted for `expect printed`.
size_t PrintJobCount();

}  // namespace plughost::scenario
