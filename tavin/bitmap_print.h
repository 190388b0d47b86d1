// Bitmap printing: a Windows bitmap file read into memory and printed on one page, scaled from
// screen to printer resolution and placed by one of three rules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win32/win32.h"

namespace tavin {

// Four signed 16-bit coordinates: left, top, right, bottom. Empty when right <= left or
// bottom <= top.
#pragma pack(push, 1)
struct Rect16 {
  int16_t left;
  int16_t top;
  int16_t right;
  int16_t bottom;
};
#pragma pack(pop)
static_assert(sizeof(Rect16) == 8);
static_assert(offsetof(Rect16, right) == 4);

// The bitmap of the last load: one record for the whole library, replaced by every load and
// emptied after every print (ReleaseBitmapRecord). Only the host's one calling thread uses it.
struct BitmapRecord {
  BITMAPINFOHEADER header;  // as read from the file
  HGLOBAL info;             // movable: the header (as a 40-byte one), masks, colour table
  HGLOBAL pixels;           // movable: the pixel data as read
  HDC screen;               // memory context compatible with the screen
  int32_t width;            // pixels
  int32_t height;           // rows, whichever way they are stored
};

// Reads the file the path text value names (resolved by the host) into the library's record
// and makes a device bitmap of it on the screen context. Null when the file cannot be opened
// or is not a bitmap this can print; nothing is shown then and nothing is left behind.
HBITMAP LoadBitmapFile(void* instance, const void* pathValue);

// Prints the loaded bitmap on one page: the print dialog (or the default printer when
// `showDialog` is 0), one document of one page, the picture scaled from screen to printer
// resolution and centred (`scale` 0), grown inside the page (`scale` and `keep`) or stretched
// over it (`scale` alone). 1 when the printer cannot print bitmaps, else 0.
uint16_t PrintBitmap(HBITMAP bitmap, uint16_t scale, uint16_t keep, uint16_t showDialog);

// Frees the record's blocks and deletes its screen context.
void ReleaseBitmapRecord();

// The picture grown or shrunk, proportions kept, to the largest size that fits the page, at
// the page's top-left corner; empty when either is.
Rect16 FitRect(Rect16 picture, Rect16 page);

// Centres the picture in the page; a picture wider or taller than the page becomes the page.
void CentreRect(Rect16* picture, Rect16 page);

}  // namespace tavin
