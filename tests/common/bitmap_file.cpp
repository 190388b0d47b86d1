#include "tests/common/bitmap_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace testing_support {

namespace {

bool Compressed(uint32_t compression) {
  return compression == BI_RLE8 || compression == BI_RLE4;
}

uint32_t TableColours(const BitmapShape& shape) {
  if (shape.bits <= 8) return shape.coloursUsed == 0 ? (1u << shape.bits) : shape.coloursUsed;
  return shape.tableColours;
}

// Palette entry i: distinct, easy to tell apart.
uint32_t PaletteColour(uint32_t i) {
  return ((i * 67u) % 256) << 16 | ((i * 151u + 40) % 256) << 8 | ((255 - i * 29u) % 256);
}

uint32_t IndexAt(const BitmapShape& shape, int32_t x, int32_t y) {
  return static_cast<uint32_t>(x + 3 * y) % TableColours(shape);
}

// The full-colour picture: a gradient across and down.
uint32_t TrueColour(int32_t x, int32_t y) {
  return (static_cast<uint32_t>(x * 37 + 11) % 256) << 16 |
         (static_cast<uint32_t>(y * 53 + 7) % 256) << 8 | (static_cast<uint32_t>(x * y + 99) % 256);
}

uint8_t Scale5(uint32_t channel) {
  return static_cast<uint8_t>((channel >> 3) * 255 / 31);
}

void Append32(std::string* out, uint32_t value) {
  out->append(reinterpret_cast<const char*>(&value), 4);
}
void Append16(std::string* out, uint16_t value) {
  out->append(reinterpret_cast<const char*>(&value), 2);
}

// One stored row (row 0 is the first in the file) of an uncompressed image.
std::string Row(const BitmapShape& shape, int32_t y) {
  const size_t stride = (size_t(shape.width) * shape.bits + 31) / 32 * 4;
  std::string row(stride, '\0');
  for (int32_t x = 0; x < shape.width; ++x) {
    const uint32_t colour = TrueColour(x, y);
    const uint8_t r = colour >> 16, g = colour >> 8, b = colour;
    switch (shape.bits) {
      case 1:
        row[x / 8] = static_cast<char>(row[x / 8] | (IndexAt(shape, x, y) << (7 - x % 8)));
        break;
      case 4:
        row[x / 2] = static_cast<char>(row[x / 2] | (IndexAt(shape, x, y) << (x % 2 == 0 ? 4 : 0)));
        break;
      case 8:
        row[x] = static_cast<char>(IndexAt(shape, x, y));
        break;
      case 16: {
        // Plain 5-5-5, or 5-6-5 when the file carries bit fields.
        const uint16_t pixel =
            shape.compression == BI_BITFIELDS
                ? static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3))
                : static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
        std::memcpy(&row[2 * size_t(x)], &pixel, 2);
        break;
      }
      case 24:
        row[3 * size_t(x)] = static_cast<char>(b);
        row[3 * size_t(x) + 1] = static_cast<char>(g);
        row[3 * size_t(x) + 2] = static_cast<char>(r);
        break;
      default: {
        // Bit-field files put blue in the top byte, so a reader that ignores the masks shows it.
        const uint32_t pixel = shape.compression == BI_BITFIELDS
                                   ? uint32_t{b} << 24 | uint32_t{g} << 16 | uint32_t{r} << 8
                                   : colour;
        std::memcpy(&row[4 * size_t(x)], &pixel, 4);
        break;
      }
    }
  }
  return row;
}

// Run-length rows: the first half of each row as runs of two, the rest as one literal stretch.
std::string RunLengthRows(const BitmapShape& shape) {
  const bool four = shape.compression == BI_RLE4;
  std::string out;
  for (int32_t row = 0; row < shape.height; ++row) {
    const int32_t y = shape.height - 1 - row;
    int32_t x = 0;
    const int32_t half = shape.width / 2;
    while (x + 1 < half) {
      // Two pixels with their own indexes: a run of 2 alternates the two nibbles in 4 bits,
      // and repeats one index in 8 bits, so 8-bit runs take pixel pairs of equal colour.
      const uint32_t a = IndexAt(shape, x, y);
      const uint32_t b = IndexAt(shape, x + 1, y);
      if (four) {
        out += static_cast<char>(2);
        out += static_cast<char>(a << 4 | b);
      } else if (a == b) {
        out += static_cast<char>(2);
        out += static_cast<char>(a);
      } else {
        out += static_cast<char>(1);
        out += static_cast<char>(a);
        out += static_cast<char>(1);
        out += static_cast<char>(b);
      }
      x += 2;
    }
    const int32_t rest = shape.width - x;
    if (rest >= 3) {
      out += '\0';
      out += static_cast<char>(rest);
      std::string literal;
      for (int32_t i = 0; i < rest; ++i) {
        const uint32_t index = IndexAt(shape, x + i, y);
        if (four) {
          if (i % 2 == 0)
            literal += static_cast<char>(index << 4);
          else
            literal.back() = static_cast<char>(literal.back() | index);
        } else {
          literal += static_cast<char>(index);
        }
      }
      if (literal.size() % 2 != 0) literal += '\0';
      out += literal;
    } else {
      for (int32_t i = 0; i < rest; ++i) {
        out += static_cast<char>(1);
        const uint32_t index = IndexAt(shape, x + i, y);
        out += static_cast<char>(four ? index << 4 : index);
      }
    }
    out += '\0';
    out += '\0';  // end of line
  }
  out += '\0';
  out += '\1';  // end of bitmap
  return out;
}

}  // namespace

uint32_t ExpectedColour(const BitmapShape& shape, int32_t x, int32_t y) {
  if (shape.bits <= 8) return PaletteColour(IndexAt(shape, x, y));
  const uint32_t colour = TrueColour(x, y);
  if (shape.bits != 16) return colour;
  const uint32_t r = colour >> 16 & 0xFF, g = colour >> 8 & 0xFF, b = colour & 0xFF;
  const uint32_t green = shape.compression == BI_BITFIELDS ? (g >> 2) * 255 / 63 : Scale5(g);
  return uint32_t{Scale5(r)} << 16 | green << 8 | Scale5(b);
}

std::string MakeBitmapFile(const BitmapShape& shape) {
  const int32_t rows = shape.height < 0 ? -shape.height : shape.height;
  std::string pixels;
  if (Compressed(shape.compression)) {
    pixels = RunLengthRows(shape);
  } else {
    for (int32_t row = 0; row < rows; ++row) {
      pixels += Row(shape, shape.height < 0 ? row : rows - 1 - row);
    }
  }
  std::string header;
  Append32(&header, shape.headerSize);
  Append32(&header, static_cast<uint32_t>(shape.width));
  Append32(&header, static_cast<uint32_t>(shape.height));
  Append16(&header, 1);
  Append16(&header, shape.bits);
  Append32(&header, shape.compression);
  Append32(&header, Compressed(shape.compression) ? static_cast<uint32_t>(pixels.size()) : 0);
  Append32(&header, 2835);
  Append32(&header, 2835);
  Append32(&header, shape.coloursUsed);
  Append32(&header, 0);
  std::string masks;
  if (shape.compression == BI_BITFIELDS) {
    if (shape.bits == 16) {
      Append32(&masks, 0xF800);
      Append32(&masks, 0x07E0);
      Append32(&masks, 0x001F);
    } else {
      Append32(&masks, 0x0000FF00);
      Append32(&masks, 0x00FF0000);
      Append32(&masks, 0xFF000000);
    }
  }
  // A larger header carries the masks itself, then zeros to its size.
  if (shape.headerSize > 40) {
    header += masks;
    masks.clear();
    header.resize(shape.headerSize, '\0');
  }
  std::string table;
  for (uint32_t i = 0; i < TableColours(shape); ++i) Append32(&table, PaletteColour(i));
  const uint32_t offset = static_cast<uint32_t>(14 + header.size() + masks.size() + table.size());
  std::string file = "BM";
  Append32(&file, offset + static_cast<uint32_t>(pixels.size()));
  Append32(&file, 0);
  Append32(&file, offset);
  return file + header + masks + table + pixels;
}

void Put32(std::string* bytes, size_t at, uint32_t value) {
  std::memcpy(&(*bytes)[at], &value, 4);
}
void Put16(std::string* bytes, size_t at, uint16_t value) {
  std::memcpy(&(*bytes)[at], &value, 2);
}
uint32_t Get32(const std::string& bytes, size_t at) {
  uint32_t value;
  std::memcpy(&value, &bytes[at], 4);
  return value;
}

TempFile::TempFile(const std::string& name, const std::string& bytes) {
  path_ = ::testing::TempDir() + "print_" + std::to_string(getpid()) + "_" + name;
  FILE* file = std::fopen(path_.c_str(), "wb");
  if (file != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
}

TempFile::~TempFile() {
  std::remove(path_.c_str());
}

}  // namespace testing_support
