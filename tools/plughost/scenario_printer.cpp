#include "tools/plughost/scenario_printer.h"

#include <ostream>

#include "win32/stand_in.h"

namespace plughost::scenario {

namespace {

const char* AnswerName(stand_in::DialogAnswer answer) {
  switch (answer) {
    case stand_in::DialogAnswer::kOk:
      return "ok";
    case stand_in::DialogAnswer::kCancel:
      return "cancel";
    case stand_in::DialogAnswer::kFail:
      return "fail";
  }
  return "?";
}

}  // namespace

void SetPrinter(const std::vector<std::pair<std::string, int64_t>>& settings, std::ostream& out) {
  stand_in::PrinterSettings& printer = stand_in::Printer();
  for (const auto& [key, value] : settings) {
    if (key == "dpi") printer.dpiX = printer.dpiY = static_cast<int32_t>(value);
    if (key == "pagewidth") printer.pageWidth = static_cast<int32_t>(value);
    if (key == "pageheight") printer.pageHeight = static_cast<int32_t>(value);
    if (key == "dialog") printer.dialog = static_cast<stand_in::DialogAnswer>(value);
    if (key == "bitmaps") {
      printer.rasterCaps =
          value != 0 ? printer.rasterCaps | RC_BITBLT : printer.rasterCaps & ~RC_BITBLT;
    }
  }
  out << "  printer: " << printer.dpiX << " x " << printer.dpiY << " dpi, page "
      << printer.pageWidth << " x " << printer.pageHeight << " pixels, dialog "
      << AnswerName(printer.dialog) << ", bitmaps "
      << ((printer.rasterCaps & RC_BITBLT) != 0 ? "yes" : "no") << "\n";
}

void ShowNewPrinting(PrintingSeen* seen, std::ostream& out) {
  const std::vector<stand_in::PrintJob>& jobs = stand_in::Jobs();
  for (; seen->jobs < jobs.size(); ++seen->jobs) {
    const stand_in::PrintJob& job = jobs[seen->jobs];
    out << "  printed \"" << job.documentName << "\": " << job.pages.size() << " page"
        << (job.pages.size() == 1 ? "" : "s") << (job.ended ? "" : ", not ended") << "\n";
    for (const stand_in::Page& page : job.pages) {
      for (const stand_in::Draw& d : page.draws) {
        out << "    a " << d.srcWidth << " x " << d.srcHeight << " picture drawn at (" << d.xDest
            << ", " << d.yDest << ") as " << d.destWidth << " x " << d.destHeight << " on a "
            << job.pageWidth << " x " << job.pageHeight << " page\n";
      }
    }
  }
  const std::vector<stand_in::MessageBoxCall>& boxes = stand_in::MessageBoxes();
  for (; seen->messageBoxes < boxes.size(); ++seen->messageBoxes) {
    const stand_in::MessageBoxCall& box = boxes[seen->messageBoxes];
    out << "  message box \"" << box.caption << "\": \"" << box.text << "\"\n";
  }
}

size_t PrintJobCount() {
  return stand_in::Jobs().size();
}

}  // namespace plughost::scenario
