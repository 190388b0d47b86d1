// plughost print as a user runs it: a page image that shows the file, the placements, and a
// readable reason with status 1 when nothing can be printed.
#include <gtest/gtest.h>

#include <string>

#include "tests/common/bitmap_file.h"
#include "tests/tools/plughost_run.h"

// The decoder of Debian's libstb-dev, to look at the page image as a person's viewer would.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

namespace {

using plughost_testing::Has;
using plughost_testing::Outcome;
using plughost_testing::Plughost;
using testing_support::BitmapShape;
using testing_support::MakeBitmapFile;
using testing_support::TempFile;

struct Png {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  uint32_t Pixel(int x, int y) const {
    const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
    return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  }
};

Png ReadPng(const std::string& path) {
  Png png;
  int channels = 0;
  unsigned char* data = stbi_load(path.c_str(), &png.width, &png.height, &channels, 3);
  if (data != nullptr) {
    png.rgb.assign(data, data + size_t(png.width) * png.height * 3);
    stbi_image_free(data);
  }
  return png;
}

std::string OutPath(const std::string& name) {
  return ::testing::TempDir() + "plughost_print_" + name + ".png";
}

TEST(PlughostPrint, PageImageShowsThePicturePlacedOnThePage) {
  const BitmapShape shape{12, 8, 8};
  TempFile file("page.bmp", MakeBitmapFile(shape));
  const std::string out = OutPath("centred");
  // The same resolution on screen and printer: the picture keeps its size, centred.
  Outcome run = Plughost("print " + file.Path() + " --printer-dpi 96 --page 40x30 --out " + out);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output, "drawn at (14, 11) as 12 x 8")) << run.output;
  EXPECT_TRUE(Has(run.output, "\"Bitmap Printing Test\", 1 page"));
  EXPECT_TRUE(Has(run.output, out));
  const Png png = ReadPng(out);
  ASSERT_EQ(png.width, 40);
  ASSERT_EQ(png.height, 30);
  EXPECT_EQ(png.Pixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(png.Pixel(13, 10), 0xFFFFFFu);
  int wrong = 0;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 12; ++x) {
      if (png.Pixel(14 + x, 11 + y) != testing_support::ExpectedColour(shape, x, y)) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0);
  std::remove(out.c_str());
}

TEST(PlughostPrint, PlacementsAndResolution) {
  TempFile file("place.bmp", MakeBitmapFile({20, 10, 24}));
  struct Case {
    const char* options;
    const char* drawn;
  };
  const Case cases[] = {
      {"--fit --printer-dpi 96 --page 100x100", "drawn at (0, 0) as 100 x 50"},
      {"--stretch --printer-dpi 96 --page 100x100", "drawn at (0, 0) as 100 x 100"},
      {"--centre --printer-dpi 192 --page 100x100", "drawn at (30, 40) as 40 x 20"},
      // A4 at 100 dpi: 827 x 1169 pixels.
      {"--fit --printer-dpi 100", "drawn at (0, 0) as 827 x 413"},
  };
  const std::string out = OutPath("placed");
  for (const Case& c : cases) {
    Outcome run = Plughost("print " + file.Path() + " " + c.options + " --out " + out);
    EXPECT_EQ(run.status, 0) << c.options << "\n" << run.output;
    EXPECT_TRUE(Has(run.output, c.drawn)) << c.options << "\n" << run.output;
  }
  std::remove(out.c_str());
}

TEST(PlughostPrint, NothingPrintedSaysWhy) {
  std::string badBits = MakeBitmapFile({4, 4, 8});
  testing_support::Put16(&badBits, testing_support::kBitCountAt, 7);
  TempFile damaged("damaged.bmp", badBits);
  TempFile good("good.bmp", MakeBitmapFile({4, 4, 8}));
  struct Case {
    std::string args;
    const char* why;
  };
  const Case cases[] = {
      {::testing::TempDir() + "missing.bmp", "cannot open"},
      {damaged.Path(), "7 bits per pixel is none of 1, 4, 8, 16, 24 and 32"},
      {good.Path() + " --dialog cancel", "the print dialog was cancelled"},
      {good.Path() + " --dialog fail", "the print dialog failed"},
      {good.Path() + " --page 40000x100", "past the page's 16-bit coordinates"},
  };
  const std::string out = OutPath("none");
  for (const Case& c : cases) {
    Outcome run = Plughost("print " + c.args + " --out " + out);
    EXPECT_EQ(run.status, 1) << c.args << "\n" << run.output;
    EXPECT_TRUE(Has(run.output, "nothing printed: ")) << run.output;
    EXPECT_TRUE(Has(run.output, c.why)) << c.args << "\n" << run.output;
  }
}

TEST(PlughostPrint, UsageErrors) {
  for (const char* args :
       {"print", "print a.bmp", "print a.bmp b.bmp --out x.png",
        "print a.bmp --fit --stretch --out x.png", "print a.bmp --page 10 --out x.png",
        "print a.bmp --dialog maybe --out x.png", "print a.bmp --printer-dpi 0 --out x.png",
        "print a.bmp --frob --out x.png"}) {
    Outcome run = Plughost(args);
    EXPECT_EQ(run.status, 2) << args << "\n" << run.output;
    EXPECT_TRUE(Has(run.output, "usage: plughost print")) << run.output;
  }
}

}  // namespace
