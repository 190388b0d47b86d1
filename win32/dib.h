// Device-independent bitmaps as a device reads them: how many bytes of header, masks, colour
// table and pixels a BITMAPINFO describes, and decoding them into an Image. Internal to win32/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "win32/stand_in.h"

namespace stand_in {

struct DibLayout {
  int32_t width = 0;
  int32_t height = 0;  // rows, whatever the direction
  bool topDown = false;
  uint16_t bitCount = 0;
  uint32_t compression = BI_RGB;
  uint32_t masks[3] = {0, 0, 0};  // red, green, blue, for 16 and 32 bits
  uint32_t colours = 0;           // colour table entries
  size_t colourOffset = 0;        // where the colour table starts in the BITMAPINFO
  size_t infoBytes = 0;           // header, masks and colour table
  size_t stride = 0;              // bytes per row of an uncompressed bitmap
  size_t bitsBytes = 0;           // pixel bytes the device reads
};

// The layout a BITMAPINFO describes, if a device can take it. `infoSize` bounds what may be
// read of `info` (at least the 40-byte header is needed). Refused: a header size other than
// 40, 52, 56, 108 or 124; a width or height of 0 or a negative width; a bit count other than
// 1, 4, 8, 16, 24 or 32; a compression that does not fit the bit count; a top-down compressed
// bitmap; more colours than the bit count can index; more pixels than the device takes. `why`
// then says which, readably.
bool ReadDibLayout(const void* info, size_t infoSize, DibLayout* layout,
                   std::string* why = nullptr);

// The decoded picture, rows from the top. `bitsSize` bounds what is read of `bits`; an
// uncompressed bitmap needs stride * height bytes, a compressed one stops at its end.
bool DecodeWithLayout(const DibLayout& layout, const void* info, const void* bits, size_t bitsSize,
                      Image* out);

}  // namespace stand_in
