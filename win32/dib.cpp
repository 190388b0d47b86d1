#include "win32/dib.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "win32/state.h"

namespace stand_in {

namespace {

uint32_t Word32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

uint16_t Word16(const uint8_t* at) {
  uint16_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

bool KnownHeaderSize(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool CompressionFits(uint32_t compression, uint16_t bits) {
  switch (compression) {
    case BI_RGB:
      return true;
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

// One channel of a bit-field pixel scaled to 0..255.
uint8_t Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const uint32_t top = mask >> shift;
  return static_cast<uint8_t>(uint64_t{(pixel & mask) >> shift} * 255 / top);
}

class Decoder {
 public:
  Decoder(const DibLayout& layout, const uint8_t* info, Image* out)
      : layout_(layout), info_(info), out_(out) {}

  uint32_t Colour(uint32_t index) const {
    if (index >= layout_.colours) return 0;
    const uint8_t* entry = info_ + layout_.colourOffset + 4 * size_t{index};
    return (uint32_t{entry[2]} << 16) | (uint32_t{entry[1]} << 8) | entry[0];
  }

  // Row `row` as stored: from the bottom for a bottom-up bitmap.
  void Set(int64_t x, int64_t row, uint32_t colour) {
    if (x < 0 || row < 0 || x >= layout_.width || row >= layout_.height) return;
    const int64_t y = layout_.topDown ? row : layout_.height - 1 - row;
    out_->SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), colour);
  }

  void Uncompressed(const uint8_t* bits) {
    for (int32_t row = 0; row < layout_.height; ++row) {
      const uint8_t* line = bits + layout_.stride * static_cast<size_t>(row);
      for (int32_t x = 0; x < layout_.width; ++x) Set(x, row, PixelAt(line, x));
    }
  }

  // Run-length encoded 8- or 4-bit pixels: runs, ends of lines, deltas and literal stretches.
  void RunLength(const uint8_t* bits, size_t size) {
    const bool four = layout_.compression == BI_RLE4;
    int64_t x = 0;
    int64_t row = 0;
    size_t at = 0;
    while (at + 2 <= size) {
      const uint8_t count = bits[at];
      const uint8_t value = bits[at + 1];
      at += 2;
      if (count > 0) {
        for (int i = 0; i < count; ++i, ++x) {
          uint32_t index = four ? ((i % 2 == 0) ? value >> 4 : value & 0xF) : value;
          Set(x, row, Colour(index));
        }
        continue;
      }
      if (value == 0) {  // end of line
        x = 0;
        ++row;
      } else if (value == 1) {  // end of bitmap
        return;
      } else if (value == 2) {  // delta
        if (at + 2 > size) return;
        x += bits[at];
        row += bits[at + 1];
        at += 2;
      } else {  // `value` literal pixels, padded to a 16-bit boundary
        const size_t bytes = four ? (size_t{value} + 1) / 2 : value;
        if (at + bytes > size) return;
        for (int i = 0; i < value; ++i, ++x) {
          uint32_t index =
              four ? ((i % 2 == 0) ? bits[at + i / 2] >> 4 : bits[at + i / 2] & 0xF) : bits[at + i];
          Set(x, row, Colour(index));
        }
        at += bytes + (bytes % 2);
      }
    }
  }

 private:
  uint32_t PixelAt(const uint8_t* line, int32_t x) const {
    switch (layout_.bitCount) {
      case 1:
        return Colour((line[x / 8] >> (7 - x % 8)) & 1);
      case 4:
        return Colour((line[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF);
      case 8:
        return Colour(line[x]);
      case 16:
        return Masked(Word16(line + 2 * size_t(x)));
      case 24: {
        const uint8_t* p = line + 3 * size_t(x);
        return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
      }
      default:
        return Masked(Word32(line + 4 * size_t(x)));
    }
  }

  uint32_t Masked(uint32_t pixel) const {
    return (uint32_t{Channel(pixel, layout_.masks[0])} << 16) |
           (uint32_t{Channel(pixel, layout_.masks[1])} << 8) | Channel(pixel, layout_.masks[2]);
  }

  const DibLayout& layout_;
  const uint8_t* info_;
  Image* out_;
};

}  // namespace

bool ReadDibLayout(const void* info, size_t infoSize, DibLayout* layout, std::string* why) {
  std::string ignored;
  std::string& reason = why != nullptr ? *why : ignored;
  if (info == nullptr || infoSize < sizeof(BITMAPINFOHEADER)) {
    reason = "the information header is cut short";
    return false;
  }
  const auto* bytes = static_cast<const uint8_t*>(info);
  BITMAPINFOHEADER header;
  std::memcpy(&header, bytes, sizeof header);
  DibLayout result;
  const uint16_t bits = header.biBitCount;
  if (!KnownHeaderSize(header.biSize)) {
    reason = "a header of " + std::to_string(header.biSize) +
             " bytes is none of 40, 52, 56, 108 and 124";
    return false;
  }
  if (header.biPlanes != 1) {
    reason = std::to_string(header.biPlanes) + " planes instead of 1";
    return false;
  }
  if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) {
    reason = "a size of " + std::to_string(header.biWidth) + " x " +
             std::to_string(header.biHeight) + " pixels";
    return false;
  }
  result.width = header.biWidth;
  result.topDown = header.biHeight < 0;
  result.height = result.topDown ? -header.biHeight : header.biHeight;
  result.bitCount = bits;
  result.compression = header.biCompression;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    reason = std::to_string(bits) + " bits per pixel is none of 1, 4, 8, 16, 24 and 32";
    return false;
  }
  if (!CompressionFits(result.compression, bits)) {
    reason = "compression " + std::to_string(result.compression) + " does not go with " +
             std::to_string(bits) + " bits per pixel";
    return false;
  }
  const bool compressed = result.compression == BI_RLE8 || result.compression == BI_RLE4;
  if (compressed && result.topDown) {
    reason = "run-length rows cannot be stored from the top";
    return false;
  }
  const uint64_t pixels = uint64_t(result.width) * uint64_t(result.height);
  if (pixels > TheState().memory.largestBitmapPixels) {
    reason = std::to_string(pixels) + " pixels are more than the device takes";
    return false;
  }

  result.colourOffset = header.biSize;
  if (result.compression == BI_BITFIELDS) {
    // The three masks follow a plain 40-byte header, or lie inside a larger one.
    if (header.biSize == 40) result.colourOffset += 12;
    if (infoSize < 52) {
      reason = "the colour masks are cut short";
      return false;
    }
    for (int i = 0; i < 3; ++i) result.masks[i] = Word32(bytes + 40 + 4 * i);
  } else if (bits == 16) {
    result.masks[0] = 0x7C00;
    result.masks[1] = 0x03E0;
    result.masks[2] = 0x001F;
  } else if (bits == 32) {
    result.masks[0] = 0xFF0000;
    result.masks[1] = 0x00FF00;
    result.masks[2] = 0x0000FF;
  }
  const uint32_t most = bits <= 8 ? 1u << bits : 256;
  if (header.biClrUsed > most) {
    reason = std::to_string(header.biClrUsed) + " colours are more than " + std::to_string(most);
    return false;
  }
  result.colours = bits <= 8 && header.biClrUsed == 0 ? most : header.biClrUsed;
  result.infoBytes = result.colourOffset + 4 * size_t{result.colours};
  if (infoSize < result.infoBytes) {
    reason = "the colour table is cut short";
    return false;
  }

  result.stride = static_cast<size_t>((uint64_t(result.width) * bits + 31) / 32 * 4);
  if (compressed) {
    if (header.biSizeImage == 0) {
      reason = "run-length pixels of unknown length";
      return false;
    }
    result.bitsBytes = header.biSizeImage;
  } else {
    result.bitsBytes = result.stride * static_cast<size_t>(result.height);
  }
  *layout = result;
  return true;
}

std::string DibProblem(const void* info, size_t infoSize, DibSizes* sizes) {
  DibLayout layout;
  std::string why;
  if (!ReadDibLayout(info, infoSize, &layout, &why)) return why;
  if (sizes != nullptr) *sizes = DibSizes{layout.infoBytes, layout.bitsBytes};
  return "";
}

bool DecodeWithLayout(const DibLayout& layout, const void* info, const void* bits, size_t bitsSize,
                      Image* out) {
  if (bits == nullptr) return false;
  const bool compressed = layout.compression == BI_RLE8 || layout.compression == BI_RLE4;
  if (!compressed && bitsSize < layout.bitsBytes) return false;
  Image image;
  image.width = layout.width;
  image.height = layout.height;
  // What a run-length bitmap skips shows colour 0, as on a device that starts from it.
  image.rgb.assign(size_t(layout.width) * size_t(layout.height) * 3, 0);
  Decoder decoder(layout, static_cast<const uint8_t*>(info), &image);
  if (compressed) {
    const uint32_t background = decoder.Colour(0);
    for (int32_t y = 0; y < image.height; ++y) {
      for (int32_t x = 0; x < image.width; ++x) image.SetPixel(x, y, background);
    }
    decoder.RunLength(static_cast<const uint8_t*>(bits), std::min(bitsSize, layout.bitsBytes));
  } else {
    decoder.Uncompressed(static_cast<const uint8_t*>(bits));
  }
  *out = std::move(image);
  return true;
}

bool DecodeDib(const void* info, size_t infoSize, const void* bits, size_t bitsSize, Image* out) {
  DibLayout layout;
  return ReadDibLayout(info, infoSize, &layout) &&
         DecodeWithLayout(layout, info, bits, bitsSize, out);
}

}  // namespace stand_in
