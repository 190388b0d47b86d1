#include "tavin/bitmap_print.h"

#include <cstring>

#include "support/host_calls.h"
#include "support/values.h"

namespace tavin {

namespace {

BitmapRecord gBitmap;

// The pixel data is read in chunks no larger than this.
constexpr DWORD kLargestChunk = 64000;
// Coordinates on the page are signed 16-bit numbers.
constexpr int32_t kLargestCoordinate = 32767;
// Room for the largest header a bitmap file may carry (BITMAPV5HEADER).
constexpr uint32_t kLargestHeader = 124;
constexpr uint32_t kMaskBytes = 12;
constexpr uint32_t kLargestColourTable = 256;
constexpr const char kDocumentName[] = "Bitmap Printing Test";
constexpr const char kNoBitmapsText[] = "Printer cannot display bitmaps.";
constexpr const char kNoBitmapsTitle[] = "Device Error";

bool KnownHeaderSize(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool Compressed(uint32_t compression) {
  return compression == BI_RLE8 || compression == BI_RLE4;
}

// Whether a compression suits the bit count: run lengths for 4 and 8 bits (handed to the
// device as they are), bit fields for 16 and 32, plain RGB for all.
bool CompressionFits(uint32_t compression, uint16_t bits) {
  switch (compression) {
    case BI_RGB:
      return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case BI_RLE8:
      return bits == 8;
    case BI_RLE4:
      return bits == 4;
    case BI_BITFIELDS:
      return bits == 16 || bits == 32;
    default:
      return false;
  }
}

bool ReadExactly(HANDLE file, void* into, DWORD count) {
  DWORD read = 0;
  return ReadFile(file, into, count, &read, nullptr) != FALSE && read == count;
}

// Reads `count` bytes in chunks of at most kLargestChunk. A read that fails or delivers
// nothing before the end ends it: the file is shorter than it said.
bool ReadChunks(HANDLE file, uint8_t* into, uint32_t count) {
  uint32_t missing = count;
  while (missing > 0) {
    const DWORD ask = missing < kLargestChunk ? missing : kLargestChunk;
    DWORD read = 0;
    if (ReadFile(file, into, ask, &read, nullptr) == FALSE || read == 0 || read > ask) {
      return false;
    }
    into += read;
    missing -= read;
  }
  return true;
}

// A movable, zeroed block of `size` bytes, locked: its address in `at`.
HGLOBAL LockedBlock(uint32_t size, uint8_t** at) {
  HGLOBAL block = GlobalAlloc(GHND, size);
  *at = nullptr;
  if (block == nullptr) return nullptr;
  *at = static_cast<uint8_t*>(GlobalLock(block));
  if (*at == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  return block;
}

// What the headers of a bitmap file say, once they are known to describe something printable.
struct FileLayout {
  uint32_t pixelOffset;
  uint32_t pixelBytes;   // the pixel block: announced file size - pixel offset
  uint32_t maskBytes;    // bit-field masks handed to the device after the header
  uint32_t colours;      // colour table entries in the file
  uint32_t extraHeader;  // header bytes past the first 40
};

// Checks the headers against each other and against the file's real size. Nothing about a
// file is trusted: every size it states is checked before anything is allocated or read.
bool CheckLayout(const BITMAPFILEHEADER& fileHeader, const BITMAPINFOHEADER& header,
                 uint32_t fileSize, FileLayout* layout) {
  const uint16_t bits = header.biBitCount;
  if (!KnownHeaderSize(header.biSize)) return false;
  if (!CompressionFits(header.biCompression, bits)) return false;
  if (header.biWidth <= 0 || header.biWidth > kLargestCoordinate) return false;
  if (header.biHeight == 0 || header.biHeight < -kLargestCoordinate ||
      header.biHeight > kLargestCoordinate) {
    return false;
  }
  if (header.biHeight < 0 && Compressed(header.biCompression)) return false;
  // 1-, 4- and 8-bit images index a table of at most 2^bits colours; deeper ones may carry an
  // optional table the device does not need.
  const uint32_t mostColours = bits <= 8 ? (1u << bits) : kLargestColourTable;
  if (header.biClrUsed > mostColours) return false;
  layout->colours = bits <= 8 && header.biClrUsed == 0 ? mostColours : header.biClrUsed;
  layout->extraHeader = header.biSize - sizeof(BITMAPINFOHEADER);
  const bool masks = header.biCompression == BI_BITFIELDS;
  layout->maskBytes = masks ? kMaskBytes : 0;
  const uint32_t masksInFile = masks && header.biSize == sizeof(BITMAPINFOHEADER) ? kMaskBytes : 0;
  const uint64_t headersEnd = uint64_t{sizeof(BITMAPFILEHEADER)} + header.biSize + masksInFile +
                              4 * uint64_t{layout->colours};

  // The pixels lie after the headers and within the file; the file is as long as it says.
  const uint32_t announced = fileHeader.bfSize;
  if (announced > fileSize) return false;
  if (fileHeader.bfOffBits < headersEnd || fileHeader.bfOffBits >= announced) return false;
  layout->pixelOffset = fileHeader.bfOffBits;
  layout->pixelBytes = announced - fileHeader.bfOffBits;

  const uint32_t rows =
      static_cast<uint32_t>(header.biHeight < 0 ? -header.biHeight : header.biHeight);
  if (Compressed(header.biCompression)) {
    return header.biSizeImage <= layout->pixelBytes;
  }
  const uint64_t stride = (uint64_t(header.biWidth) * bits + 31) / 32 * 4;
  return stride * rows <= layout->pixelBytes;
}

// Reads what follows the 40-byte header: the rest of a larger header, the masks and the
// colour table, into the information block after its own header.
bool ReadTables(HANDLE file, const FileLayout& layout, uint8_t* info) {
  uint8_t extra[kLargestHeader - sizeof(BITMAPINFOHEADER)];
  uint8_t* at = info + sizeof(BITMAPINFOHEADER);
  if (layout.extraHeader > 0) {
    if (!ReadExactly(file, extra, layout.extraHeader)) return false;
    // A larger header carries the masks in its first bytes past the 40.
    if (layout.maskBytes > 0) std::memcpy(at, extra, kMaskBytes);
  } else if (layout.maskBytes > 0 && !ReadExactly(file, at, kMaskBytes)) {
    return false;
  }
  at += layout.maskBytes;
  return layout.colours == 0 || ReadExactly(file, at, 4 * layout.colours);
}

// Reads the bitmap file into the record's blocks. The blocks stay locked for the device bitmap.
bool ReadBitmapFile(HANDLE file, uint8_t** info, uint8_t** pixels) {
  DWORD sizeHigh = 0;
  const DWORD fileSize = GetFileSize(file, &sizeHigh);
  if (fileSize == INVALID_FILE_SIZE || sizeHigh != 0) return false;
  BITMAPFILEHEADER fileHeader;
  if (!ReadExactly(file, &fileHeader, sizeof fileHeader)) return false;
  BITMAPINFOHEADER& header = gBitmap.header;
  if (!ReadExactly(file, &header, sizeof header)) return false;
  FileLayout layout;
  if (!CheckLayout(fileHeader, header, fileSize, &layout)) return false;

  const uint32_t infoBytes = sizeof(BITMAPINFOHEADER) + layout.maskBytes + 4 * layout.colours;
  gBitmap.info = LockedBlock(infoBytes, info);
  if (gBitmap.info == nullptr) return false;
  // The device is handed a plain 40-byte header, with the masks right after it, then the
  // colours; a compressed image says how many bytes of runs it has.
  BITMAPINFOHEADER handed = header;
  handed.biSize = sizeof(BITMAPINFOHEADER);
  if (Compressed(header.biCompression) && handed.biSizeImage == 0) {
    handed.biSizeImage = layout.pixelBytes;
  }
  std::memcpy(*info, &handed, sizeof handed);
  if (!ReadTables(file, layout, *info)) return false;

  gBitmap.pixels = LockedBlock(layout.pixelBytes, pixels);
  if (gBitmap.pixels == nullptr) return false;
  if (SetFilePointer(file, static_cast<LONG>(layout.pixelOffset), nullptr, FILE_BEGIN) !=
      layout.pixelOffset) {
    return false;
  }
  if (!ReadChunks(file, *pixels, layout.pixelBytes)) return false;
  gBitmap.width = header.biWidth;
  gBitmap.height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  return true;
}

void Unlock(HGLOBAL block, const uint8_t* at) {
  if (block != nullptr && at != nullptr) GlobalUnlock(block);
}

// The picture's size on the printer, the page, and the ratio of the two resolutions (the larger
// over the smaller, never below 1). False when a device reports no resolution or a size lies
// past the page's 16-bit coordinates: nothing is printed then.
bool PlacePicture(HDC printer, Rect16* picture, Rect16* page) {
  const int screenX = GetDeviceCaps(gBitmap.screen, LOGPIXELSX);
  const int screenY = GetDeviceCaps(gBitmap.screen, LOGPIXELSY);
  const int printerX = GetDeviceCaps(printer, LOGPIXELSX);
  const int printerY = GetDeviceCaps(printer, LOGPIXELSY);
  const int pageWidth = GetDeviceCaps(printer, HORZRES);
  const int pageHeight = GetDeviceCaps(printer, VERTRES);
  if (screenX <= 0 || screenY <= 0 || printerX <= 0 || printerY <= 0) return false;
  if (pageWidth <= 0 || pageWidth > kLargestCoordinate || pageHeight <= 0 ||
      pageHeight > kLargestCoordinate) {
    return false;
  }
  const float sx = static_cast<float>(screenX);
  const float sy = static_cast<float>(screenY);
  const float px = static_cast<float>(printerX);
  const float py = static_cast<float>(printerY);
  const float rx = px < sx ? sx / px : px / sx;
  const float ry = py < sy ? sy / py : py / sy;
  const float width = static_cast<float>(gBitmap.width) * rx;
  const float height = static_cast<float>(gBitmap.height) * ry;
  if (!(width < kLargestCoordinate + 1.0f) || !(height < kLargestCoordinate + 1.0f)) return false;
  *picture = Rect16{0, 0, static_cast<int16_t>(width), static_cast<int16_t>(height)};
  *page = Rect16{0, 0, static_cast<int16_t>(pageWidth), static_cast<int16_t>(pageHeight)};
  return true;
}

// Draws the record's pixels into `destination` on the printer's page.
void DrawPicture(HDC printer, HBITMAP bitmap, const Rect16& destination) {
  HDC memory = CreateCompatibleDC(printer);
  HGDIOBJ previous = memory != nullptr ? SelectObject(memory, bitmap) : nullptr;
  const auto* pixels = static_cast<const uint8_t*>(GlobalLock(gBitmap.pixels));
  const auto* info = static_cast<const BITMAPINFO*>(GlobalLock(gBitmap.info));
  if (pixels != nullptr && info != nullptr) {
    StretchDIBits(printer, destination.left, destination.top, destination.right - destination.left,
                  destination.bottom - destination.top, 0, 0, gBitmap.width, gBitmap.height, pixels,
                  info, DIB_RGB_COLORS, SRCCOPY);
  }
  Unlock(gBitmap.pixels, pixels);
  Unlock(gBitmap.info, reinterpret_cast<const uint8_t*>(info));
  if (memory != nullptr) {
    if (previous != nullptr) SelectObject(memory, previous);
    DeleteDC(memory);
  }
}

}  // namespace

void ReleaseBitmapRecord() {
  if (gBitmap.info != nullptr) GlobalFree(gBitmap.info);
  if (gBitmap.pixels != nullptr) GlobalFree(gBitmap.pixels);
  if (gBitmap.screen != nullptr) DeleteDC(gBitmap.screen);
  gBitmap.info = nullptr;
  gBitmap.pixels = nullptr;
  gBitmap.screen = nullptr;
  gBitmap.width = 0;
  gBitmap.height = 0;
}

HBITMAP LoadBitmapFile(void* instance, const void* pathValue) {
  // Whatever an earlier load left goes first: the record holds one bitmap.
  ReleaseBitmapRecord();
  TextValue path;
  std::memcpy(&path, pathValue, sizeof path);
  char resolved[256] = {};
  host::system::ResolveFilePath(instance, path.chars != nullptr ? path.chars : "", resolved);
  resolved[sizeof resolved - 1] = '\0';

  gBitmap.screen = CreateCompatibleDC(nullptr);
  HANDLE file = CreateFileA(resolved, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (gBitmap.screen == nullptr || file == INVALID_HANDLE_VALUE) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    ReleaseBitmapRecord();
    return nullptr;
  }
  uint8_t* info = nullptr;
  uint8_t* pixels = nullptr;
  HBITMAP bitmap = nullptr;
  if (ReadBitmapFile(file, &info, &pixels)) {
    bitmap =
        CreateDIBitmap(gBitmap.screen, reinterpret_cast<const BITMAPINFOHEADER*>(info), CBM_INIT,
                       pixels, reinterpret_cast<const BITMAPINFO*>(info), DIB_RGB_COLORS);
  }
  Unlock(gBitmap.info, info);
  Unlock(gBitmap.pixels, pixels);
  CloseHandle(file);
  if (bitmap == nullptr) ReleaseBitmapRecord();
  return bitmap;
}

uint16_t PrintBitmap(HBITMAP bitmap, uint16_t scale, uint16_t keep, uint16_t showDialog) {
  PRINTDLGA dialog;
  std::memset(&dialog, 0, sizeof dialog);
  dialog.lStructSize = sizeof dialog;
  dialog.Flags = showDialog != 0 ? PD_RETURNDC : PD_RETURNDC | PD_RETURNDEFAULT;
  dialog.nFromPage = 1;
  dialog.nToPage = 1;
  dialog.nCopies = 1;
  const BOOL chosen = PrintDlgA(&dialog);
  // The printer's settings and names come back as blocks of their own; nothing here uses them.
  if (dialog.hDevMode != nullptr) GlobalFree(dialog.hDevMode);
  if (dialog.hDevNames != nullptr) GlobalFree(dialog.hDevNames);
  if (chosen == FALSE) {
    CommDlgExtendedError();
    return 0;
  }
  HDC printer = dialog.hDC;
  if (printer == nullptr) return 0;
  if ((GetDeviceCaps(printer, RASTERCAPS) & RC_BITBLT) == 0) {
    DeleteDC(printer);
    MessageBoxA(nullptr, kNoBitmapsText, kNoBitmapsTitle, MB_OK);
    return 1;
  }
  DOCINFOA document;
  std::memset(&document, 0, sizeof document);
  document.cbSize = sizeof document;
  document.lpszDocName = kDocumentName;
  Rect16 picture;
  Rect16 page;
  // A job identifier may be any number but SP_ERROR. Without a place for the picture the job
  // is dropped unended, as after a failed start: the printer's context goes, and the document
  // with it.
  if (StartDocA(printer, &document) != SP_ERROR && StartPage(printer) > 0 &&
      PlacePicture(printer, &picture, &page)) {
    Rect16 destination = page;
    if (scale == 0) {
      destination = picture;
      CentreRect(&destination, page);
    } else if (keep != 0) {
      destination = FitRect(picture, page);
    }
    DrawPicture(printer, bitmap, destination);
    if (EndPage(printer) > 0) EndDoc(printer);
  }
  DeleteDC(printer);
  return 0;
}

Rect16 FitRect(Rect16 picture, Rect16 page) {
  const int32_t pictureWidth = picture.right - picture.left;
  const int32_t pictureHeight = picture.bottom - picture.top;
  const int32_t pageWidth = page.right - page.left;
  const int32_t pageHeight = page.bottom - page.top;
  if (pictureWidth <= 0 || pictureHeight <= 0 || pageWidth <= 0 || pageHeight <= 0) {
    return Rect16{0, 0, 0, 0};
  }
  // One scale for both sides: the page's width over the picture's, or its height over the
  // picture's, whichever is smaller, compared without rounding.
  int64_t width = pageWidth;
  int64_t height = pageHeight;
  if (int64_t{pageWidth} * pictureHeight <= int64_t{pageHeight} * pictureWidth) {
    height = int64_t{pictureHeight} * pageWidth / pictureWidth;
  } else {
    width = int64_t{pictureWidth} * pageHeight / pictureHeight;
  }
  return Rect16{page.left, page.top, static_cast<int16_t>(page.left + width),
                static_cast<int16_t>(page.top + height)};
}

void CentreRect(Rect16* picture, Rect16 page) {
  const int32_t pageWidth = page.right - page.left;
  const int32_t pageHeight = page.bottom - page.top;
  if (picture->right - picture->left > pageWidth || picture->bottom - picture->top > pageHeight) {
    *picture = page;
  }
  const int32_t width = picture->right - picture->left;
  const int32_t height = picture->bottom - picture->top;
  picture->left = static_cast<int16_t>(picture->left + (pageWidth - width) / 2);
  picture->right = static_cast<int16_t>(picture->left + width);
  picture->top = static_cast<int16_t>(picture->top + (pageHeight - height) / 2);
  picture->bottom = static_cast<int16_t>(picture->top + height);
}

}  // namespace tavin
