// Windows bitmap files made for tests: every bit depth, both row orders, run-length and
// bit-field images, with a picture whose every pixel the test can predict, and the means to
// damage any field afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win32/win32.h"

namespace testing_support {

struct BitmapShape {
  int32_t width = 4;
  int32_t height = 3;  // negative: rows stored from the top
  uint16_t bits = 24;
  uint32_t compression = BI_RGB;
  uint32_t headerSize = 40;   // 40, or a larger header (52, 56, 108, 124)
  uint32_t coloursUsed = 0;   // the header's count; 0 means a full table for 1 to 8 bits
  uint32_t tableColours = 0;  // colour table entries written for 16 bits and more
};

// The picture every generated file shows: the colour of pixel (x, y), counted from the top
// left, as the file's bit depth can hold it.
uint32_t ExpectedColour(const BitmapShape& shape, int32_t x, int32_t y);

// The file's bytes. Run-length files encode each row as runs and literal stretches.
std::string MakeBitmapFile(const BitmapShape& shape);

// Field offsets of the file, for damaging one.
constexpr size_t kFileSizeAt = 2;
constexpr size_t kPixelOffsetAt = 10;
constexpr size_t kHeaderSizeAt = 14;
constexpr size_t kWidthAt = 18;
constexpr size_t kHeightAt = 22;
constexpr size_t kBitCountAt = 28;
constexpr size_t kCompressionAt = 30;
constexpr size_t kSizeImageAt = 34;
constexpr size_t kColoursUsedAt = 46;

void Put32(std::string* bytes, size_t at, uint32_t value);
void Put16(std::string* bytes, size_t at, uint16_t value);
uint32_t Get32(const std::string& bytes, size_t at);

// A file in the test's temporary folder, removed when this goes.
class TempFile {
 public:
  TempFile(const std::string& name, const std::string& bytes);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace testing_support
