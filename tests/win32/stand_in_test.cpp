// The Win32 stand-in on its own: the calls behave as the plug-ins expect of the system, and the
// control side sees every handle, call and misuse.
#include "win32/stand_in.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/common/bitmap_file.h"
#include "win32/win32.h"

namespace {

class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override { stand_in::Reset(); }
  void TearDown() override { stand_in::Reset(); }

  // A file with these bytes, removed at the end of the test.
  std::string TempFile(const std::string& bytes) {
    std::string path = ::testing::TempDir() + "stand_in_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    paths_.push_back(path);
    return path;
  }
  ~StandInTest() override {
    for (const std::string& path : paths_) std::remove(path.c_str());
  }

 private:
  std::vector<std::string> paths_;
};

TEST_F(StandInTest, DeviceContextsReportTheirDevicesAndAreCounted) {
  stand_in::Machine().screenDpiX = 120;
  stand_in::Machine().screenBitsPerPixel = 16;
  stand_in::Machine().screenWidth = 800;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(nullptr);
  ASSERT_NE(screen, nullptr);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(stand_in::LiveHandles().deviceContexts, 2);
  for (HDC dc : {screen, memory}) {
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 120);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 16);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 800);
    EXPECT_NE(GetDeviceCaps(dc, RASTERCAPS) & RC_BITBLT, 0);
  }
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  EXPECT_TRUE(DeleteDC(memory));
  EXPECT_EQ(stand_in::LiveHandles().Total(), 0);
  EXPECT_TRUE(stand_in::Faults().empty()) << stand_in::Report();
  EXPECT_EQ(stand_in::CallCount("GetDeviceCaps"), 10);
}

TEST_F(StandInTest, MisusedHandlesAreFaults) {
  HDC screen = GetDC(nullptr);
  EXPECT_FALSE(DeleteDC(screen));  // a window's context is released, not deleted
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 0);  // twice
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 0);
  HGLOBAL block = GlobalAlloc(GHND, 16);
  EXPECT_FALSE(GlobalUnlock(block));  // never locked
  EXPECT_FALSE(CloseHandle(block));   // not a file
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(GlobalFree(block), block);
  EXPECT_EQ(stand_in::Faults().size(), 6u) << stand_in::Report();
}

TEST_F(StandInTest, GlobalBlocksAreZeroedLockedAndLimited) {
  HGLOBAL block = GlobalAlloc(GHND, 100);
  ASSERT_NE(block, nullptr);
  auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(bytes[i], 0);
  EXPECT_EQ(GlobalLock(block), bytes);
  EXPECT_EQ(stand_in::LiveHandles().lockedBlocks, 1);
  EXPECT_TRUE(GlobalUnlock(block));
  EXPECT_FALSE(GlobalUnlock(block));
  EXPECT_EQ(stand_in::LiveHandles().lockedBlocks, 0);
  EXPECT_EQ(GlobalFree(block), nullptr);

  stand_in::Memory().largestBlock = 1000;
  EXPECT_EQ(GlobalAlloc(GHND, 1001), nullptr);
  stand_in::Memory().failAfter = 1;
  HGLOBAL first = GlobalAlloc(GHND, 10);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(GlobalAlloc(GHND, 10), nullptr);
  GlobalFree(first);
  EXPECT_EQ(stand_in::LiveHandles().Total(), 0);
  EXPECT_TRUE(stand_in::Faults().empty()) << stand_in::Report();
}

TEST_F(StandInTest, FilesReadSeekAndReportShortReads) {
  std::string path = TempFile("0123456789");
  EXPECT_EQ(CreateFileA((path + ".missing").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(stand_in::LiveHandles().files, 1);
  EXPECT_EQ(GetFileSize(file, nullptr), 10u);
  char buffer[16] = {};
  DWORD read = 99;
  stand_in::Files().readLimit = 3;
  EXPECT_TRUE(ReadFile(file, buffer, 8, &read, nullptr));
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(SetFilePointer(file, 7, nullptr, FILE_BEGIN), 7u);
  EXPECT_TRUE(ReadFile(file, buffer, 8, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "789");
  EXPECT_TRUE(ReadFile(file, buffer, 8, &read, nullptr));
  EXPECT_EQ(read, 0u);  // at the end: success with nothing read
  EXPECT_EQ(stand_in::ReadRequests(), (std::vector<uint32_t>{8, 8, 8}));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(stand_in::LiveHandles().Total(), 0);
}

TEST_F(StandInTest, ResetReleasesWhatWasLeft) {
  GetDC(nullptr);
  GlobalAlloc(GHND, 10);
  stand_in::Printer().dpiX = 1;
  EXPECT_EQ(stand_in::LiveHandles().Total(), 2);
  stand_in::Reset();
  EXPECT_EQ(stand_in::LiveHandles().Total(), 0);
  EXPECT_EQ(stand_in::Printer().dpiX, 300);
  EXPECT_TRUE(stand_in::Calls().empty());
}

}  // namespace

namespace {

using testing_support::BitmapShape;
using testing_support::MakeBitmapFile;

// The BITMAPINFO and the pixels of a bitmap file, as a program hands them to a device.
struct Dib {
  std::string info;
  std::string bits;
  explicit Dib(const std::string& file) {
    const uint32_t offset = testing_support::Get32(file, testing_support::kPixelOffsetAt);
    info = file.substr(14, offset - 14);
    bits = file.substr(offset);
  }
  const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
};

// A 4 x 2 8-bit run-length bitmap with a four-colour table and the given runs.
std::string RunLengthInfo() {
  std::string info(40 + 16, '\0');
  BITMAPINFOHEADER header{40, 4, 2, 1, 8, BI_RLE8, 0, 0, 0, 4, 0};
  std::memcpy(info.data(), &header, sizeof header);
  const uint32_t colours[4] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  std::memcpy(info.data() + 40, colours, sizeof colours);
  return info;
}

TEST_F(StandInTest, DecodesEveryKindOfBitmap) {
  const BitmapShape cases[] = {
      {5, 3, 1},
      {7, 4, 4},
      {9, 3, 8, BI_RGB, 40, 5},
      {11, 4, 8, BI_RLE8},
      {11, 4, 4, BI_RLE4},
      {6, 5, 16},
      {6, 5, 16, BI_BITFIELDS},
      {6, -5, 24},
      {6, 5, 32, BI_BITFIELDS, 124},
  };
  for (const BitmapShape& shape : cases) {
    const Dib dib(MakeBitmapFile(shape));
    stand_in::Image image;
    ASSERT_TRUE(stand_in::DecodeDib(dib.info.data(), dib.info.size(), dib.bits.data(),
                                    dib.bits.size(), &image))
        << shape.bits;
    int wrong = 0;
    for (int32_t y = 0; y < image.height; ++y) {
      for (int32_t x = 0; x < image.width; ++x) {
        if (image.Pixel(x, y) != testing_support::ExpectedColour(shape, x, y)) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << shape.bits << " bits, compression " << shape.compression;
    // Pixels short of what the header describes are refused, not read past.
    if (shape.compression == BI_RGB) {
      EXPECT_FALSE(stand_in::DecodeDib(dib.info.data(), dib.info.size(), dib.bits.data(),
                                       dib.bits.size() - 1, &image));
    }
  }
}

TEST_F(StandInTest, RunLengthEscapesStayInsideThePicture) {
  const std::string info = RunLengthInfo();
  struct Case {
    std::string runs;
    uint32_t bottom[4];  // row 1 of the image (the first stored)
    uint32_t top[4];
  };
  const Case cases[] = {
      // A run of 2, a literal stretch of 3 padded to a word, then the end.
      {std::string("\2\1\0\3\2\3\1\0", 8), {0xFF0000, 0xFF0000, 0x00FF00, 0x0000FF}, {0, 0, 0, 0}},
      // A delta over one pixel and up a row, then a run there.
      {std::string("\1\2\0\2\1\1\2\3\0\1", 10), {0x00FF00, 0, 0, 0}, {0, 0, 0x0000FF, 0x0000FF}},
      // A run past the row's end and a delta far away: clipped, nothing else touched.
      {std::string("\xff\1\0\2\xff\xff\3\2\0\1", 10),
       {0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000},
       {0, 0, 0, 0}},
      // A literal stretch longer than the data: it stops there.
      {std::string("\0\xfe\1\2", 4), {0, 0, 0, 0}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::string header = info;
    const uint32_t size = static_cast<uint32_t>(c.runs.size());
    std::memcpy(header.data() + 20, &size, sizeof size);
    stand_in::Image image;
    ASSERT_TRUE(
        stand_in::DecodeDib(header.data(), header.size(), c.runs.data(), c.runs.size(), &image));
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(image.Pixel(x, 1), c.bottom[x]) << x;
      EXPECT_EQ(image.Pixel(x, 0), c.top[x]) << x;
    }
  }
}

TEST_F(StandInTest, SaysWhyADeviceRefusesABitmap) {
  struct Case {
    size_t at;
    uint32_t value;
    const char* why;
  };
  const Case cases[] = {
      {0, 12, "a header of 12 bytes is none of 40, 52, 56, 108 and 124"},
      {14, 7, "7 bits per pixel is none of 1, 4, 8, 16, 24 and 32"},
      {4, 0, "a size of 0 x 3 pixels"},
      {16, BI_RLE4, "compression 2 does not go with 8 bits per pixel"},
      {32, 300, "300 colours are more than 256"},
  };
  for (const Case& c : cases) {
    Dib dib(MakeBitmapFile({4, 3, 8}));
    if (c.at == 14) {
      testing_support::Put16(&dib.info, c.at, static_cast<uint16_t>(c.value));
    } else {
      testing_support::Put32(&dib.info, c.at, c.value);
    }
    EXPECT_EQ(stand_in::DibProblem(dib.info.data(), dib.info.size()), c.why);
  }
  const Dib good(MakeBitmapFile({4, 3, 8}));
  stand_in::DibSizes sizes;
  EXPECT_EQ(stand_in::DibProblem(good.info.data(), good.info.size(), &sizes), "");
  EXPECT_EQ(sizes.infoBytes, 40u + 4 * 256);
  EXPECT_EQ(sizes.bitsBytes, 12u);
  EXPECT_EQ(stand_in::DibProblem(good.info.data(), 100), "the colour table is cut short");
}

TEST_F(StandInTest, PrintDialogAnswersAndHandsOverItsBlocks) {
  PRINTDLGA dialog = {};
  dialog.lStructSize = 60;
  EXPECT_FALSE(PrintDlgA(&dialog));
  EXPECT_EQ(CommDlgExtendedError(), DWORD{CDERR_STRUCTSIZE});
  dialog.lStructSize = sizeof dialog;
  dialog.Flags = PD_RETURNDC;
  ASSERT_TRUE(PrintDlgA(&dialog));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_EQ(GetDeviceCaps(dialog.hDC, LOGPIXELSX), 300);
  EXPECT_EQ(stand_in::LiveHandles().globalBlocks, 2);
  const auto* names = static_cast<const DEVNAMES*>(GlobalLock(dialog.hDevNames));
  EXPECT_STREQ(reinterpret_cast<const char*>(names) + names->wDeviceOffset, "Virtual Printer");
  GlobalUnlock(dialog.hDevNames);
  // Asking for the default printer with blocks of one's own is an error.
  PRINTDLGA again = dialog;
  again.Flags = PD_RETURNDC | PD_RETURNDEFAULT;
  EXPECT_FALSE(PrintDlgA(&again));
  EXPECT_EQ(CommDlgExtendedError(), 0x1009u);
  GlobalFree(dialog.hDevMode);
  GlobalFree(dialog.hDevNames);
  DeleteDC(dialog.hDC);
  EXPECT_EQ(stand_in::LiveHandles().Total(), 0);
}

TEST_F(StandInTest, FileDialogFillsTheCallersBufferOrSaysHowMuchItNeeds) {
  char file[8] = "old";
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  dialog.lpstrFilter = "Pictures\0*.bmp\0";
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  stand_in::FileDialog().answer = stand_in::DialogAnswer::kOk;
  stand_in::FileDialog().path = "a\\b.bmp";
  ASSERT_TRUE(GetOpenFileNameA(&dialog));
  EXPECT_STREQ(file, "a\\b.bmp");
  EXPECT_EQ(dialog.nFileOffset, 2);
  EXPECT_EQ(dialog.nFileExtension, 4);
  stand_in::FileDialog().path = "a\\bc.bmp";  // 9 bytes with its NUL
  EXPECT_FALSE(GetOpenFileNameA(&dialog));
  EXPECT_EQ(CommDlgExtendedError(), DWORD{FNERR_BUFFERTOOSMALL});
  uint16_t needed = 0;
  std::memcpy(&needed, file, sizeof needed);
  EXPECT_EQ(needed, 9);
  dialog.lStructSize = 20;
  EXPECT_FALSE(GetOpenFileNameA(&dialog));
  EXPECT_EQ(CommDlgExtendedError(), DWORD{CDERR_STRUCTSIZE});
  ASSERT_EQ(stand_in::FileDialogs().size(), 3u);
  EXPECT_EQ(stand_in::FileDialogs()[0].filter, (std::vector<std::string>{"Pictures", "*.bmp"}));
  EXPECT_TRUE(stand_in::FileDialogs()[0].filterTerminated);
  EXPECT_EQ(stand_in::FileDialogs()[0].initialFile, "old");
}

TEST_F(StandInTest, JobsFollowDocumentAndPageOrder) {
  PRINTDLGA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.Flags = PD_RETURNDC;
  ASSERT_TRUE(PrintDlgA(&dialog));
  GlobalFree(dialog.hDevMode);
  GlobalFree(dialog.hDevNames);
  HDC printer = dialog.hDC;
  HDC memory = CreateCompatibleDC(printer);
  EXPECT_EQ(StartPage(printer), 0);  // no document yet
  DOCINFOA document = {sizeof document, "Doc", nullptr, nullptr, 0};
  EXPECT_EQ(StartDocA(memory, &document), SP_ERROR);  // a memory context prints nothing
  EXPECT_GT(StartDocA(printer, &document), 0);
  EXPECT_GT(StartPage(printer), 0);
  EXPECT_EQ(EndDoc(printer), 0);  // the page is still open
  // A 2 x 2 picture drawn mirrored across a 4 x 2 rectangle of a 6 x 4 page.
  stand_in::Printer().pageWidth = 6;
  const Dib dib(MakeBitmapFile({2, 2, 24}));
  EXPECT_EQ(StretchDIBits(printer, 5, 1, -4, 2, 0, 0, 2, 2, dib.bits.data(), dib.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            2);
  EXPECT_EQ(StretchDIBits(memory, 0, 0, 2, 2, 0, 0, 2, 2, dib.bits.data(), dib.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  EXPECT_GT(EndPage(printer), 0);
  EXPECT_GT(EndDoc(printer), 0);
  DeleteDC(memory);
  DeleteDC(printer);
  EXPECT_EQ(stand_in::Faults().size(), 4u) << stand_in::Report();

  ASSERT_EQ(stand_in::Jobs().size(), 1u);
  const stand_in::PrintJob& job = stand_in::Jobs()[0];
  EXPECT_EQ(job.documentName, "Doc");
  EXPECT_TRUE(job.ended);
  stand_in::PrintJob narrow = job;
  narrow.pageWidth = 6;
  narrow.pageHeight = 4;
  const stand_in::Image page = stand_in::RenderPage(narrow, 0);
  const BitmapShape shape{2, 2, 24};
  for (int x = 0; x < 4; ++x) {
    // Mirrored: the picture's right column lands on the left.
    EXPECT_EQ(page.Pixel(1 + x, 1), testing_support::ExpectedColour(shape, 1 - x / 2, 0)) << x;
    EXPECT_EQ(page.Pixel(1 + x, 2), testing_support::ExpectedColour(shape, 1 - x / 2, 1)) << x;
  }
  EXPECT_EQ(page.Pixel(0, 1), 0xFFFFFFu);
  EXPECT_EQ(page.Pixel(5, 1), 0xFFFFFFu);
  EXPECT_EQ(page.Pixel(1, 0), 0xFFFFFFu);
}

TEST_F(StandInTest, BitmapsLiveInOneContextAtATime) {
  const Dib dib(MakeBitmapFile({3, 2, 24}));
  HDC first = CreateCompatibleDC(nullptr);
  HDC second = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBitmap(first, &dib.Info()->bmiHeader, CBM_INIT, dib.bits.data(),
                                  dib.Info(), DIB_RGB_COLORS);
  ASSERT_NE(bitmap, nullptr);
  ASSERT_NE(stand_in::BitmapPixels(bitmap), nullptr);
  EXPECT_EQ(stand_in::BitmapPixels(bitmap)->Pixel(2, 1),
            testing_support::ExpectedColour({3, 2, 24}, 2, 1));
  HGDIOBJ stock = SelectObject(first, bitmap);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(SelectObject(second, bitmap), nullptr);  // already in the first
  EXPECT_FALSE(DeleteObject(bitmap));                // still selected
  EXPECT_EQ(SelectObject(first, stock), bitmap);
  EXPECT_TRUE(DeleteObject(bitmap));
  DeleteDC(first);
  DeleteDC(second);
  EXPECT_EQ(stand_in::Faults().size(), 2u) << stand_in::Report();
  EXPECT_EQ(stand_in::LiveHandles().Total(), 0);
  // A device refuses a bitmap it cannot decode, or one with fewer pixels than it says.
  Dib broken = dib;
  testing_support::Put16(&broken.info, 14, 5);
  HDC screen = CreateCompatibleDC(nullptr);
  EXPECT_EQ(CreateDIBitmap(screen, &broken.Info()->bmiHeader, CBM_INIT, broken.bits.data(),
                           broken.Info(), DIB_RGB_COLORS),
            nullptr);
  DeleteDC(screen);
}

}  // namespace
