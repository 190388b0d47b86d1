// gdi32's print jobs on the virtual printer: documents of pages, each page the record of what
// was drawn on it, rendered into an image on request.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "win32/dib.h"
#include "win32/state.h"

using stand_in::Device;
using stand_in::DeviceContextObject;
using stand_in::HandleKind;
using stand_in::HandleObject;

namespace {

// The printer's own context (from the print dialog), not a memory one.
DeviceContextObject* FindPrinter(HDC dc, const char* function) {
  HandleObject* object = stand_in::Find(dc, HandleKind::kDeviceContext, function);
  if (object == nullptr) return nullptr;
  if (object->dc.device != Device::kPrinter || object->dc.memory) {
    stand_in::Fault(std::string(function) + ": " + stand_in::HandleName(dc) +
                    " is not a printer's context");
    return nullptr;
  }
  return &object->dc;
}

stand_in::PrintJob& JobOf(const DeviceContextObject& dc) {
  return stand_in::TheState().jobs[dc.job];
}

void Record(const char* function, HDC dc, int result) {
  stand_in::RecordCall(std::string(function) + "(" + stand_in::HandleName(dc) +
                       ") = " + std::to_string(result));
}

// The range of source pixels [first, first + count) that destination step i of n shows, by
// nearest sampling; `mirrored` walks the source backwards.
int64_t SourceAt(int64_t i, int64_t n, int64_t first, int64_t count, bool mirrored) {
  int64_t offset = (2 * i + 1) * count / (2 * n);
  if (mirrored) offset = count - 1 - offset;
  return first + offset;
}

}  // namespace

extern "C" {

int WINAPI StartDocA(HDC hdc, const DOCINFOA* lpdi) {
  stand_in::State& s = stand_in::TheState();
  int result = SP_ERROR;
  DeviceContextObject* dc = FindPrinter(hdc, "StartDocA");
  if (dc != nullptr && dc->inDocument) {
    stand_in::Fault("StartDocA: " + stand_in::HandleName(hdc) + " already has a document");
  } else if (dc != nullptr && lpdi != nullptr && !s.printer.failStartDoc) {
    stand_in::PrintJob job;
    job.documentName = lpdi->lpszDocName == nullptr ? "" : lpdi->lpszDocName;
    job.hadOutputFile = lpdi->lpszOutput != nullptr;
    job.pageWidth = s.printer.pageWidth;
    job.pageHeight = s.printer.pageHeight;
    s.jobs.push_back(std::move(job));
    dc->inDocument = true;
    dc->job = s.jobs.size() - 1;
    result = s.printer.firstJobId + static_cast<int>(s.jobs.size()) - 1;
  }
  stand_in::RecordCall("StartDocA(" + stand_in::HandleName(hdc) + ", \"" +
                       (lpdi != nullptr && lpdi->lpszDocName != nullptr ? lpdi->lpszDocName : "") +
                       "\") = " + std::to_string(result));
  return result;
}

int WINAPI StartPage(HDC hdc) {
  int result = 0;
  DeviceContextObject* dc = FindPrinter(hdc, "StartPage");
  if (dc != nullptr && (!dc->inDocument || dc->inPage)) {
    stand_in::Fault("StartPage: " + stand_in::HandleName(hdc) +
                    (dc->inPage ? " already has a page" : " has no document"));
  } else if (dc != nullptr && !stand_in::TheState().printer.failStartPage) {
    JobOf(*dc).pages.emplace_back();
    dc->inPage = true;
    result = 1;
  }
  Record("StartPage", hdc, result);
  return result;
}

int WINAPI EndPage(HDC hdc) {
  int result = 0;
  DeviceContextObject* dc = FindPrinter(hdc, "EndPage");
  if (dc != nullptr && !dc->inPage) {
    stand_in::Fault("EndPage: " + stand_in::HandleName(hdc) + " has no page");
  } else if (dc != nullptr) {
    dc->inPage = false;
    if (!stand_in::TheState().printer.failEndPage) {
      JobOf(*dc).pages.back().ended = true;
      result = 1;
    }
  }
  Record("EndPage", hdc, result);
  return result;
}

int WINAPI EndDoc(HDC hdc) {
  int result = 0;
  DeviceContextObject* dc = FindPrinter(hdc, "EndDoc");
  if (dc != nullptr && (!dc->inDocument || dc->inPage)) {
    stand_in::Fault("EndDoc: " + stand_in::HandleName(hdc) +
                    (dc->inPage ? " has a page not ended" : " has no document"));
  } else if (dc != nullptr) {
    dc->inDocument = false;
    if (!stand_in::TheState().printer.failEndDoc) {
      JobOf(*dc).ended = true;
      result = 1;
    }
  }
  Record("EndDoc", hdc, result);
  return result;
}

int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                         int ySrc, int SrcWidth, int SrcHeight, const void* lpBits,
                         const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop) {
  int result = 0;
  stand_in::DibLayout layout;
  DeviceContextObject* dc = FindPrinter(hdc, "StretchDIBits");
  if (dc != nullptr && !dc->inPage) {
    stand_in::Fault("StretchDIBits: " + stand_in::HandleName(hdc) + " has no page");
  } else if (dc != nullptr && iUsage != DIB_RGB_COLORS) {
    stand_in::Fault("StretchDIBits: only RGB colour tables are supported");
  } else if (dc != nullptr && lpbmi != nullptr && lpBits != nullptr &&
             stand_in::ReadDibLayout(lpbmi, SIZE_MAX, &layout)) {
    // The device takes a copy of what it is handed, as a spooler does.
    stand_in::Draw draw;
    draw.xDest = xDest;
    draw.yDest = yDest;
    draw.destWidth = DestWidth;
    draw.destHeight = DestHeight;
    draw.xSrc = xSrc;
    draw.ySrc = ySrc;
    draw.srcWidth = SrcWidth;
    draw.srcHeight = SrcHeight;
    draw.usage = iUsage;
    draw.rop = rop;
    std::memcpy(&draw.header, lpbmi, sizeof draw.header);
    const auto* info = reinterpret_cast<const uint8_t*>(lpbmi);
    draw.info.assign(info, info + layout.infoBytes);
    const auto* bits = static_cast<const uint8_t*>(lpBits);
    draw.bits.assign(bits, bits + layout.bitsBytes);
    JobOf(*dc).pages.back().draws.push_back(std::move(draw));
    result = SrcHeight < 0 ? -SrcHeight : SrcHeight;
  }
  stand_in::RecordCall("StretchDIBits(" + stand_in::HandleName(hdc) + ", " + std::to_string(xDest) +
                       ", " + std::to_string(yDest) + ", " + std::to_string(DestWidth) + ", " +
                       std::to_string(DestHeight) + ", " + std::to_string(xSrc) + ", " +
                       std::to_string(ySrc) + ", " + std::to_string(SrcWidth) + ", " +
                       std::to_string(SrcHeight) + ") = " + std::to_string(result));
  return result;
}

}  // extern "C"

namespace stand_in {

Image RenderPage(const PrintJob& job, size_t page) {
  Image canvas;
  // A page too large to hold in memory renders as nothing.
  constexpr uint64_t kLargestPage = 128u << 20;
  if (page >= job.pages.size() || job.pageWidth <= 0 || job.pageHeight <= 0 ||
      uint64_t(job.pageWidth) * uint64_t(job.pageHeight) > kLargestPage) {
    return canvas;
  }
  canvas.width = job.pageWidth;
  canvas.height = job.pageHeight;
  canvas.rgb.assign(size_t(canvas.width) * size_t(canvas.height) * 3, 0xFF);
  for (const Draw& draw : job.pages[page].draws) {
    Image source;
    if (!DecodeDib(draw.info.data(), draw.info.size(), draw.bits.data(), draw.bits.size(),
                   &source)) {
      continue;
    }
    const int64_t destWidth = std::abs(int64_t{draw.destWidth});
    const int64_t destHeight = std::abs(int64_t{draw.destHeight});
    const int64_t srcWidth = std::abs(int64_t{draw.srcWidth});
    const int64_t srcHeight = std::abs(int64_t{draw.srcHeight});
    if (destWidth == 0 || destHeight == 0 || srcWidth == 0 || srcHeight == 0) continue;
    const int64_t left = std::min<int64_t>(draw.xDest, int64_t{draw.xDest} + draw.destWidth);
    const int64_t top = std::min<int64_t>(draw.yDest, int64_t{draw.yDest} + draw.destHeight);
    const int64_t srcLeft = std::min<int64_t>(draw.xSrc, int64_t{draw.xSrc} + draw.srcWidth);
    // Source rows count from the bottom of a bottom-up bitmap and from the top of a top-down one.
    int64_t srcTop = std::min<int64_t>(draw.ySrc, int64_t{draw.ySrc} + draw.srcHeight);
    if (draw.header.biHeight > 0) srcTop = source.height - srcTop - srcHeight;
    const bool mirrorX = (draw.destWidth < 0) != (draw.srcWidth < 0);
    const bool mirrorY = (draw.destHeight < 0) != (draw.srcHeight < 0);
    const int64_t firstY = std::max<int64_t>(0, -top);
    const int64_t lastY = std::min<int64_t>(destHeight, canvas.height - top);
    const int64_t firstX = std::max<int64_t>(0, -left);
    const int64_t lastX = std::min<int64_t>(destWidth, canvas.width - left);
    for (int64_t dy = firstY; dy < lastY; ++dy) {
      const int64_t sy = SourceAt(dy, destHeight, srcTop, srcHeight, mirrorY);
      if (sy < 0 || sy >= source.height) continue;
      for (int64_t dx = firstX; dx < lastX; ++dx) {
        const int64_t sx = SourceAt(dx, destWidth, srcLeft, srcWidth, mirrorX);
        if (sx < 0 || sx >= source.width) continue;
        canvas.SetPixel(static_cast<int32_t>(left + dx), static_cast<int32_t>(top + dy),
                        source.Pixel(static_cast<int32_t>(sx), static_cast<int32_t>(sy)));
      }
    }
  }
  return canvas;
}

}  // namespace stand_in
