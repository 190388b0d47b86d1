// plughost print: a Print instance in the reference host prints a bitmap file on the virtual
// printer of the Win32 stand-in, and the printed page is written as a PNG.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include "host/host.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/library_search.h"
#include "tools/plughost/page_image.h"
#include "win32/stand_in.h"

namespace plughost {

namespace {

namespace fs = std::filesystem;

// The owner word of the path text handed to the instance: no instance lives there.
constexpr uint32_t kToolOwner = 0x5CE0;
// Print keeps a path of at most this many characters.
constexpr size_t kLongestPath = 254;
// Coordinates on the page are signed 16-bit numbers.
constexpr int32_t kLargestCoordinate = 32767;
// A4, for a page size that follows the printer's resolution.
constexpr double kA4WidthInches = 210 / 25.4;
constexpr double kA4HeightInches = 297 / 25.4;
// Print's editor items for its placement flags.
constexpr int16_t kScaleToPageItem = 15;
constexpr int16_t kKeepProportionItem = 10;

enum class Placement { kOwn, kCentre, kStretch, kFit };

struct Options {
  std::string file;
  std::string out;
  std::string lib;
  Placement placement = Placement::kOwn;
  stand_in::DialogAnswer dialog = stand_in::DialogAnswer::kOk;
  int dpi = 0;
  int pageWidth = 0;
  int pageHeight = 0;
};

const char* kUsage =
    "usage: plughost print FILE.bmp [--centre | --stretch | --fit] [--dialog ok|cancel|fail]\n"
    "                      [--printer-dpi N] [--page WxH] [--lib TAVIN.so] --out PAGE.png\n";

bool ParsePositive(const std::string& text, int* out) {
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value <= 0 || value > 1000000) return false;
  *out = static_cast<int>(value);
  return true;
}

// Reads the command line into options; "" or why it is wrong.
std::string ParseOptions(const std::vector<std::string>& args, Options* o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto next = [&](std::string* value) {
      if (i + 1 >= args.size()) return false;
      *value = args[++i];
      return true;
    };
    std::string value;
    if (a == "--centre" || a == "--stretch" || a == "--fit") {
      if (o->placement != Placement::kOwn) return "choose one of --centre, --stretch and --fit";
      o->placement = a == "--centre"    ? Placement::kCentre
                     : a == "--stretch" ? Placement::kStretch
                                        : Placement::kFit;
    } else if (a == "--dialog") {
      if (!next(&value)) return "--dialog needs ok, cancel or fail";
      if (value == "ok") {
        o->dialog = stand_in::DialogAnswer::kOk;
      } else if (value == "cancel") {
        o->dialog = stand_in::DialogAnswer::kCancel;
      } else if (value == "fail") {
        o->dialog = stand_in::DialogAnswer::kFail;
      } else {
        return "--dialog takes ok, cancel or fail, not " + value;
      }
    } else if (a == "--printer-dpi") {
      if (!next(&value) || !ParsePositive(value, &o->dpi))
        return "--printer-dpi needs a positive number of pixels per inch";
    } else if (a == "--page") {
      const size_t x = next(&value) ? value.find('x') : std::string::npos;
      if (x == std::string::npos || !ParsePositive(value.substr(0, x), &o->pageWidth) ||
          !ParsePositive(value.substr(x + 1), &o->pageHeight)) {
        return "--page needs a size in pixels, WIDTHxHEIGHT";
      }
    } else if (a == "--out" || a == "--lib") {
      if (!next(&value)) return a + " needs a file";
      (a == "--out" ? o->out : o->lib) = value;
    } else if (a.rfind("--", 0) == 0) {
      return "unknown option " + a;
    } else if (o->file.empty()) {
      o->file = a;
    } else {
      return "one bitmap file at a time (" + a + " is extra)";
    }
  }
  if (o->file.empty()) return "name a bitmap file";
  if (o->out.empty()) return "name the page image with --out PAGE.png";
  return "";
}

// TAVIN.so from --lib, or from the build tree this plughost belongs to.
std::string FindTavin(const Options& o) {
  if (!o.lib.empty()) return o.lib;
  std::error_code ec;
  fs::path here = fs::read_symlink("/proc/self/exe", ec).parent_path();
  for (int up = 0; up < 3 && !here.empty(); ++up, here = here.parent_path()) {
    std::string found = FindBelow(here.string(), {"TAVIN.so"});
    if (!found.empty()) return found;
  }
  return "";
}

uint32_t Word32(const std::string& bytes, size_t at) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

// Why the file is no bitmap Print prints, as the host reads it; "" when it looks printable.
std::string FileProblem(const std::string& bytes) {
  constexpr size_t kHeaders = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  if (bytes.size() < kHeaders) {
    return "it has " + std::to_string(bytes.size()) + " bytes, fewer than the " +
           std::to_string(kHeaders) + " of a bitmap's headers";
  }
  const uint32_t announced = Word32(bytes, offsetof(BITMAPFILEHEADER, bfSize));
  const uint32_t offset = Word32(bytes, offsetof(BITMAPFILEHEADER, bfOffBits));
  if (announced > bytes.size()) {
    return "its header says " + std::to_string(announced) + " bytes, the file has " +
           std::to_string(bytes.size());
  }
  std::string info = bytes.substr(sizeof(BITMAPFILEHEADER));
  BITMAPINFOHEADER header;
  std::memcpy(&header, info.data(), sizeof header);
  const bool runs = header.biCompression == BI_RLE8 || header.biCompression == BI_RLE4;
  if (runs && header.biSizeImage == 0 && offset < announced) {
    header.biSizeImage = announced - offset;  // runs up to the end, as Print reads them
    std::memcpy(info.data(), &header, sizeof header);
  }
  stand_in::DibSizes sizes;
  std::string problem = stand_in::DibProblem(info.data(), info.size(), &sizes);
  if (!problem.empty()) return problem;
  if (header.biWidth > kLargestCoordinate || std::abs(header.biHeight) > kLargestCoordinate) {
    return std::to_string(header.biWidth) + " x " + std::to_string(header.biHeight) +
           " pixels lie past the page's 16-bit coordinates";
  }
  if (offset < sizeof(BITMAPFILEHEADER) + sizes.infoBytes || offset >= announced) {
    return "its pixels are said to start at byte " + std::to_string(offset) +
           ", outside the pixel data";
  }
  if (announced - offset < sizes.bitsBytes) {
    return "it needs " + std::to_string(sizes.bitsBytes) + " bytes of pixels and holds " +
           std::to_string(announced - offset);
  }
  return "";
}

// Why nothing was printed, from what the file is and what the system was asked.
std::string WhyNothingPrinted(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!fs::is_regular_file(path) || !in) return "cannot open " + path;
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::string problem = FileProblem(bytes.str());
  if (!problem.empty()) return path + " is not a bitmap Print can print: " + problem;
  if (stand_in::PrintDialogs().empty()) return "the system could not make a bitmap of " + path;
  if (!stand_in::PrintDialogs().back().succeeded) {
    return stand_in::Printer().dialog == stand_in::DialogAnswer::kCancel
               ? "the print dialog was cancelled"
               : "the print dialog failed (error " +
                     std::to_string(stand_in::Printer().dialogError) + ")";
  }
  if (!stand_in::MessageBoxes().empty()) {
    const stand_in::MessageBoxCall& box = stand_in::MessageBoxes().back();
    return "the printer cannot print bitmaps (\"" + box.caption + ": " + box.text + "\")";
  }
  return "the picture, scaled to the printer, or the page lies past the page's 16-bit "
         "coordinates";
}

void SetUpPrinter(const Options& o) {
  stand_in::Reset();
  stand_in::PrinterSettings& printer = stand_in::Printer();
  printer.dialog = o.dialog;
  if (o.dpi > 0) {
    printer.dpiX = printer.dpiY = o.dpi;
    printer.pageWidth = static_cast<int32_t>(std::lround(o.dpi * kA4WidthInches));
    printer.pageHeight = static_cast<int32_t>(std::lround(o.dpi * kA4HeightInches));
  }
  if (o.pageWidth > 0) {
    printer.pageWidth = o.pageWidth;
    printer.pageHeight = o.pageHeight;
  }
}

// The instance's placement flags set as an author would: through its editor.
void Place(refhost::Host& host, refhost::Instance* print, Placement placement) {
  if (placement == Placement::kOwn) return;
  refhost::HostEditor& editor = host.NewEditor();
  print->ToEditor(editor, 0);
  editor.SetItem(kScaleToPageItem, refhost::Value::Flag(placement != Placement::kCentre));
  editor.SetItem(kKeepProportionItem, refhost::Value::Flag(placement == Placement::kFit));
  print->FromEditor(editor);
}

// Sends the instance its own print message, as the title would.
void SendPrintMessage(refhost::Host& host, refhost::Instance* print, uint32_t object) {
  IntegerValue index{tag::kInteger, 1};
  MessageIdValue id{tag::kMessageId, 0, 0};
  print->GetAttribute("events", &index, &id);
  print->Enable();
  host.SendMessage(object, id.id, id.second);
  print->Disable();
}

void Describe(const Options& o, const std::string& lib, std::ostream& out) {
  const stand_in::PrintJob& job = stand_in::Jobs().front();
  const stand_in::PrinterSettings& printer = stand_in::Printer();
  out << "printed " << o.file << " with Print from " << lib << "\n";
  out << "  document  \"" << job.documentName << "\", " << job.pages.size() << " page"
      << (job.pages.size() == 1 ? "" : "s") << (job.ended ? "" : " (not ended)") << "\n";
  out << "  printer   " << printer.dpiX << " x " << printer.dpiY << " dpi, page " << job.pageWidth
      << " x " << job.pageHeight << " pixels; screen " << stand_in::Machine().screenDpiX << " x "
      << stand_in::Machine().screenDpiY << " dpi\n";
  for (const stand_in::Draw& d : job.pages.front().draws) {
    out << "  picture   " << d.srcWidth << " x " << d.srcHeight << " pixels, "
        << d.header.biBitCount << " bits, drawn at (" << d.xDest << ", " << d.yDest << ") as "
        << d.destWidth << " x " << d.destHeight << "\n";
  }
  out << "  page      " << o.out << "\n";
}

}  // namespace

int PrintCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options o;
  std::string usage = ParseOptions(args, &o);
  if (!usage.empty()) {
    err << "plughost print: " << usage << "\n" << kUsage;
    return 2;
  }
  const std::string lib = FindTavin(o);
  if (lib.empty()) {
    err << "plughost print: cannot find TAVIN.so near plughost; name it with --lib\n";
    return 1;
  }
  std::error_code ec;
  const std::string path = fs::absolute(o.file, ec).lexically_normal().string();
  if (path.size() > kLongestPath) {
    err << "plughost print: the path has " << path.size() << " characters; Print keeps "
        << kLongestPath << "\n";
    return 1;
  }
  SetUpPrinter(o);

  refhost::Host host;
  refhost::LoadResult loaded = host.Load(lib);
  if (!loaded.error.empty()) {
    err << "plughost print: " << loaded.error << "\n";
    return 1;
  }
  const uint32_t object = host.AddObject(0, "page");
  refhost::Instance* print = host.Create("Print", object);
  if (print == nullptr) {
    err << "plughost print: " << lib << " has no usable Print class\n";
    return 1;
  }
  std::string chars = path;
  TextValue text{tag::kText, kToolOwner, static_cast<uint32_t>(chars.size() + 1),
                 static_cast<uint32_t>(chars.size()), chars.data()};
  print->SetAttribute("filepath", nullptr, &text);
  Place(host, print, o.placement);
  SendPrintMessage(host, print, object);
  host.DestroyAll();

  int status = 0;
  const auto& jobs = stand_in::Jobs();
  // A job dropped before anything was drawn on its page printed nothing either.
  if (jobs.empty() || jobs.front().pages.empty() || jobs.front().pages.front().draws.empty()) {
    err << "plughost print: nothing printed: " << WhyNothingPrinted(path) << "\n";
    status = 1;
  } else if (!WritePageImage(o.out, stand_in::RenderPage(jobs.front(), 0))) {
    err << "plughost print: cannot write the page image " << o.out << "\n";
    status = 1;
  } else {
    Describe(o, lib, out);
  }
  // What the plug-in left behind is its fault, whatever it printed.
  const refhost::Ownership& ownership = host.Ownership();
  if (!ownership.Faults().empty() || !ownership.Leaks().empty()) {
    err << "plughost print: the plug-in broke ownership:\n" << ownership.Report() << "\n";
    status = 1;
  }
  if (stand_in::LiveHandles().Total() != 0 || !stand_in::Faults().empty()) {
    err << "plughost print: the plug-in left system handles:\n" << stand_in::Report() << "\n";
    status = 1;
  }
  return status;
}

}  // namespace plughost
