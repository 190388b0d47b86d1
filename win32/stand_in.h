// The control side of the Win32 stand-in: what the reference host and the tests set before a
// plug-in calls the Win32 surface (the machine's facts, a virtual printer, the answers of the
// dialogs) and what they read afterwards (print jobs with their pages, dialogs and message boxes
// shown, the calls made, and every handle still alive).
//
// One state per process, shared by every plug-in library that links the stand-in. Reset() puts
// everything back to the defaults below and frees whatever was left; a test starts with it.
// Host-side code: not for the plug-ins, which only see win32/win32.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win32/win32.h"

namespace stand_in {

// ---------------------------------------------------------------------------------------------
// The machine: what the system queries report.

struct MachineFacts {
  // GetVersion: major in the lowest byte, minor in the next, build number in the high word.
  uint32_t version = 0x0A280105;  // 5.1, build 2600
  uint32_t processorType = PROCESSOR_INTEL_PENTIUM;
  uint16_t processorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
  uint16_t processorLevel = 6;
  uint16_t processorRevision = 0x0801;
  uint32_t processorCount = 1;
  uint32_t pageSize = 4096;
  uint32_t allocationGranularity = 65536;
  int32_t screenWidth = 1024;  // pixels
  int32_t screenHeight = 768;
  int32_t screenBitsPerPixel = 32;
  int32_t screenDpiX = 96;  // pixels per logical inch
  int32_t screenDpiY = 96;
  int32_t keyboardType = 4;  // GetKeyboardType(0): IBM enhanced (101/102-key)
  int32_t keyboardSubtype = 0;
  int32_t keyboardFunctionKeys = 12;
  // The calendar time the system clock reports, in whole seconds since 1970-01-01 UTC, or
  // kRealClock (the default, as on a real machine) to follow this machine's clock. Whoever needs
  // runs that repeat stands it still (the reference host does, at kStandingClock).
  int64_t calendarSeconds = -1;
};
constexpr int64_t kRealClock = -1;
constexpr int64_t kStandingClock = 1000000000;  // 2001-09-09 01:46:40

MachineFacts& Machine();

// ---------------------------------------------------------------------------------------------
// The virtual printer and the print dialog.

enum class DialogAnswer {
  kOk,      // the user confirms (or, without a dialog, the default printer is there)
  kCancel,  // the user cancels: FALSE, and CommDlgExtendedError answers 0
  kFail,    // the dialog fails: FALSE, and CommDlgExtendedError answers `error`
};

struct PrinterSettings {
  int32_t dpiX = 300;  // pixels per logical inch
  int32_t dpiY = 300;
  int32_t pageWidth = 2480;  // printable pixels (A4 at 300 dpi)
  int32_t pageHeight = 3508;
  int32_t bitsPerPixel = 24;
  int32_t rasterCaps =
      RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
  DialogAnswer dialog = DialogAnswer::kOk;
  uint32_t dialogError = PDERR_PRINTERNOTFOUND;
  // The job identifier StartDocA answers for the first document, counting up from there.
  // Windows answers a positive one; only SP_ERROR says the document did not start.
  int32_t firstJobId = 1;
  // Job calls that fail: StartDocA answers SP_ERROR, the others 0.
  bool failStartDoc = false;
  bool failStartPage = false;
  bool failEndPage = false;
  bool failEndDoc = false;
};

PrinterSettings& Printer();

// One call of PrintDlgA, as the caller filled the record.
struct PrintDialogCall {
  uint32_t structSize = 0;
  uint32_t flags = 0;
  uint16_t fromPage = 0;
  uint16_t toPage = 0;
  uint16_t minPage = 0;
  uint16_t maxPage = 0;
  uint16_t copies = 0;
  bool hadOwner = false;
  bool succeeded = false;
};

// One StretchDIBits onto a page: the rectangles, and the bitmap as the device was handed it.
struct Draw {
  int32_t xDest = 0, yDest = 0, destWidth = 0, destHeight = 0;
  int32_t xSrc = 0, ySrc = 0, srcWidth = 0, srcHeight = 0;
  uint32_t usage = 0;
  uint32_t rop = 0;
  BITMAPINFOHEADER header{};
  std::vector<uint8_t> info;  // the header as handed over, then its masks and colour table
  std::vector<uint8_t> bits;  // the pixel data the header describes
};

struct Page {
  std::vector<Draw> draws;
  bool ended = false;  // EndPage succeeded
};

struct PrintJob {
  std::string documentName;
  bool hadOutputFile = false;
  int32_t pageWidth = 0;  // the printer's page when the job started
  int32_t pageHeight = 0;
  std::vector<Page> pages;
  bool ended = false;  // EndDoc succeeded
};

const std::vector<PrintDialogCall>& PrintDialogs();
const std::vector<PrintJob>& Jobs();

// ---------------------------------------------------------------------------------------------
// Pictures: a decoded bitmap or a rendered page, 8-bit RGB, rows from the top.

struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;                    // width * height * 3
  uint32_t Pixel(int32_t x, int32_t y) const;  // 0xRRGGBB
  void SetPixel(int32_t x, int32_t y, uint32_t colour);
};

// A page as the printer would put it on paper: white, with every draw in order.
Image RenderPage(const PrintJob& job, size_t page);

// Decodes a device-independent bitmap as a device does: 1, 4, 8, 16, 24 and 32 bits, RGB,
// bit fields and run-length encoded, bottom-up and top-down. `infoSize` and `bitsSize` bound
// what is read. False (and nothing decoded) for a bitmap the device cannot take.
bool DecodeDib(const void* info, size_t infoSize, const void* bits, size_t bitsSize, Image* out);
// Why a device cannot take this BITMAPINFO (header, masks and colour table within `infoSize`
// bytes), readably; "" when it can, and then how many bytes its header, masks and colour table
// take and how many bytes of pixels it describes (for run lengths, what the header says).
struct DibSizes {
  size_t infoBytes = 0;
  size_t bitsBytes = 0;
};
std::string DibProblem(const void* info, size_t infoSize, DibSizes* sizes = nullptr);

// The pixels of a live device bitmap, or null.
const Image* BitmapPixels(HBITMAP bitmap);

// ---------------------------------------------------------------------------------------------
// The file dialog and message boxes.

struct FileDialogAnswer {
  DialogAnswer answer = DialogAnswer::kCancel;
  std::string path;                       // what the user picks when the answer is kOk
  uint32_t error = CDERR_INITIALIZATION;  // for kFail
};

FileDialogAnswer& FileDialog();

// One call of GetOpenFileNameA, as the caller filled the record.
struct FileDialogCall {
  uint32_t structSize = 0;
  bool hadOwner = false;
  std::vector<std::string> filter;  // the NUL-separated strings up to the double NUL
  bool filterTerminated = false;    // a double NUL ended the filter within 4096 bytes
  uint32_t filterIndex = 0;
  uint32_t maxFile = 0;
  std::string initialFile;  // the file buffer's text when the dialog opened
  uint32_t flags = 0;
  bool hadFileTitle = false;
  bool hadInitialDir = false;
  bool hadTitle = false;
  bool hadCustomFilter = false;
  bool succeeded = false;
};

const std::vector<FileDialogCall>& FileDialogs();

struct MessageBoxCall {
  bool hadOwner = false;
  std::string text;
  std::string caption;
  uint32_t type = 0;
};

const std::vector<MessageBoxCall>& MessageBoxes();

// ---------------------------------------------------------------------------------------------
// Files and memory.

struct FileSettings {
  uint32_t readLimit = 0;  // most bytes one ReadFile delivers; 0: as many as asked
  // Bytes all reads together deliver; after that every read succeeds with nothing, as a file
  // cut short while it is read.
  uint32_t readableBytes = UINT32_MAX;
};
FileSettings& Files();
// The byte count each ReadFile asked for, in order.
const std::vector<uint32_t>& ReadRequests();

struct MemorySettings {
  uint32_t largestBlock = 256u << 20;  // GlobalAlloc refuses anything larger
  int32_t failAfter = -1;  // this many more GlobalAllocs succeed, then every one fails; -1: none
  // The largest bitmap a device takes (CreateDIBitmap, StretchDIBits), in pixels.
  uint32_t largestBitmapPixels = 16u << 20;
};
MemorySettings& Memory();

// ---------------------------------------------------------------------------------------------
// Handles and the record of calls.

struct HandleCounts {
  int deviceContexts = 0;  // memory, printer and window contexts
  int bitmaps = 0;
  int globalBlocks = 0;
  int lockedBlocks = 0;  // global blocks with a lock count above 0
  int files = 0;
  int Total() const { return deviceContexts + bitmaps + globalBlocks + files; }
};

HandleCounts LiveHandles();

// Misuse seen: an unknown or already released handle, an unlock without a lock, a handle of
// the wrong kind. Each a readable line.
const std::vector<std::string>& Faults();

// Every Win32 call, one readable line each ("StartPage(dc#3) = 1"), in order.
const std::vector<std::string>& Calls();
// How many calls of this function the record holds.
int CallCount(const std::string& function);

// The live handles and the faults, readably: what a test prints when it finds some.
std::string Report();

// Back to the defaults: settings, answers and records cleared, every live handle released.
void Reset();

}  // namespace stand_in
