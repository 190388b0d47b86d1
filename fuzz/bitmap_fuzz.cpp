// Print's bitmap loader and print path under any file bytes: a first byte of settings (the
// placement, the dialog, how much a read delivers, the printer's resolution), then the file.
// Whatever the file holds, nothing may be read or written out of bounds, no system handle may
// be left or misused, nothing the host handed out may leak, and a page that is printed shows
// the file's whole picture.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tavin/print.h"
#include "win32/stand_in.h"

namespace {

using fuzzing::Input;

// The virtual printer's pages are kept small so each input renders quickly.
constexpr int32_t kPage = 96;
// Devices refuse bitmaps past this many pixels, so a small file cannot ask for a huge one.
constexpr uint32_t kLargestBitmap = 1u << 16;

const std::string& FilePath() {
  static const std::string path = (std::filesystem::temp_directory_path() /
                                   ("bitmap_fuzz_" + std::to_string(getpid()) + ".bmp"))
                                      .string();
  return path;
}

void WriteFile(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(FilePath().c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

void SetFlag(refhost::Instance* print, size_t offset, bool on) {
  const FlagValue flag{tag::kFlag, static_cast<uint16_t>(on ? 1 : 0)};
  std::memcpy(static_cast<uint8_t*>(print->Record()) + offset, &flag, sizeof flag);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t settings = in.Byte();
  WriteFile(data + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);

  stand_in::Reset();
  static constexpr uint32_t kReadLimits[] = {0, 1, 7, 4000};
  static constexpr int32_t kDpis[] = {96, 72, 600, 0, 97, 1, 192, 300};
  stand_in::Files().readLimit = kReadLimits[(settings >> 3) & 3];
  stand_in::Printer().dpiX = stand_in::Printer().dpiY = kDpis[settings >> 5];
  stand_in::Printer().pageWidth = stand_in::Printer().pageHeight = kPage;
  stand_in::Memory().largestBitmapPixels = kLargestBitmap;

  std::unique_ptr<refhost::Host> host = fuzzing::NewHost();
  const uint32_t object = host->AddObject(0, "page");
  refhost::Instance* print = host->Create("Print", object);
  if (print == nullptr) __builtin_trap();
  fuzzing::HeldText path(FilePath(), tag::kText, 0);
  if (print->SetAttribute("filepath", nullptr, path.Value()) != 0) __builtin_trap();
  SetFlag(print, offsetof(tavin::PrintRecord, scaleToPage), (settings & 1) != 0);
  SetFlag(print, offsetof(tavin::PrintRecord, keepProportion), (settings & 2) != 0);
  SetFlag(print, offsetof(tavin::PrintRecord, showDialog), (settings & 4) != 0);
  if (print->HandleMessage(object, tavin::kPrintIdDefault, 0) != 0) {
    fuzzing::Fail("the print message did not answer 0", print);
  }

  for (const stand_in::PrintJob& job : stand_in::Jobs()) {
    for (const stand_in::Page& page : job.pages) {
      for (const stand_in::Draw& draw : page.draws) {
        // The device is handed the whole picture the header describes.
        const int32_t rows =
            draw.header.biHeight < 0 ? -draw.header.biHeight : draw.header.biHeight;
        if (draw.srcWidth != draw.header.biWidth || draw.srcHeight != rows) {
          fuzzing::Fail("the source rectangle is not the whole picture", print);
        }
        if (stand_in::DibProblem(draw.info.data(), draw.info.size()) != "") {
          fuzzing::Fail("the device was handed a bitmap it cannot take", print);
        }
      }
    }
    if (!job.pages.empty()) stand_in::RenderPage(job, 0);
  }
  fuzzing::Finish(std::move(host));
  if (stand_in::LiveHandles().Total() != 0 || !stand_in::Faults().empty()) {
    std::fprintf(stderr, "system handles:\n%s\n", stand_in::Report().c_str());
    std::abort();
  }
  return 0;
}
