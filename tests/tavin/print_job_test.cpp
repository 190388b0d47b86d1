// Print's message printing a bitmap file: every kind of file read and drawn, the resolution
// ratios, the three placements, each failure of the dialog and the job, damaged files refused,
// and nothing of the system left behind.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/common/bitmap_file.h"
#include "tests/common/plugin_fixture.h"
#include "win32/stand_in.h"

namespace {

using testing_support::BitmapShape;
using testing_support::MakeBitmapFile;
using testing_support::TempFile;
using testing_support::TestText;

constexpr uint32_t kPrintId = 302;

struct DrawnRect {
  int32_t x, y, width, height;
  bool operator==(const DrawnRect&) const = default;
};

void PrintTo(const DrawnRect& r, std::ostream* out) {
  *out << "(" << r.x << ", " << r.y << ", " << r.width << " x " << r.height << ")";
}

class PrintJob : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    print_ = host_->Create("Print", host_->AddObject(0, "movie"));
    ASSERT_NE(print_, nullptr);
    // One pixel on the screen is one on the printer unless a test says otherwise.
    stand_in::Machine().screenDpiX = stand_in::Machine().screenDpiY = 96;
    stand_in::Printer().dpiX = stand_in::Printer().dpiY = 96;
  }

  void SetPage(int32_t width, int32_t height) {
    stand_in::Printer().pageWidth = width;
    stand_in::Printer().pageHeight = height;
  }

  // Prints `bytes` as a file through the instance's message; answers the message's status.
  uint16_t PrintFile(const std::string& bytes, const std::string& name = "picture.bmp") {
    TempFile file(name, bytes);
    return PrintPath(file.Path());
  }

  uint16_t PrintPath(const std::string& path) {
    TestText value(path);
    EXPECT_EQ(print_->SetAttribute("filepath", nullptr, value.Value()), 0);
    return print_->HandleMessage(0, kPrintId, 0);
  }

  void SetFlag(const char* name, bool on) {
    FlagValue flag{tag::kFlag, static_cast<uint16_t>(on ? 1 : 0)};
    uint8_t* record = static_cast<uint8_t*>(print_->Record());
    size_t at = std::string(name) == "scale" ? 10 : 14;
    std::memcpy(record + at, &flag, sizeof flag);
  }

  // The one rectangle drawn by the one job, which printed one page and ended.
  DrawnRect OnlyDraw() {
    const auto& jobs = stand_in::Jobs();
    EXPECT_EQ(jobs.size(), 1u);
    if (jobs.size() != 1 || jobs[0].pages.size() != 1 || jobs[0].pages[0].draws.size() != 1) {
      ADD_FAILURE() << "expected one job of one page with one draw";
      return {};
    }
    EXPECT_TRUE(jobs[0].ended);
    EXPECT_TRUE(jobs[0].pages[0].ended);
    const stand_in::Draw& d = jobs[0].pages[0].draws[0];
    return {d.xDest, d.yDest, d.destWidth, d.destHeight};
  }

  refhost::Instance* print_ = nullptr;
};

TEST_F(PrintJob, EveryKindOfBitmapPrintsPixelForPixel) {
  const BitmapShape cases[] = {
      {5, 3, 1},
      {7, 4, 4},
      {9, 3, 8},
      {9, 3, 8, BI_RGB, 40, 5},  // a short colour table
      {11, 4, 8, BI_RLE8},
      {11, 4, 4, BI_RLE4},
      {6, 5, 16},
      {6, 5, 16, BI_BITFIELDS},
      {6, 5, 24},
      {6, 5, 32},
      {6, 5, 32, BI_BITFIELDS},
      {6, -5, 24},  // rows from the top
      {13, -4, 1},
      {6, 5, 32, BI_BITFIELDS, 124},
      {6, 5, 16, BI_BITFIELDS, 56},
      {6, 5, 24, BI_RGB, 108},
      {6, 5, 24, BI_RGB, 40, 3, 3},  // an optional table before true-colour pixels
      {6, 5, 24, BI_RGB, 40, 0, 3},  // a table the header does not count, skipped
  };
  for (const BitmapShape& shape : cases) {
    const int32_t rows = shape.height < 0 ? -shape.height : shape.height;
    SCOPED_TRACE(std::to_string(shape.bits) + " bits, " + std::to_string(shape.width) + " x " +
                 std::to_string(shape.height) + ", compression " +
                 std::to_string(shape.compression) + ", header " +
                 std::to_string(shape.headerSize));
    stand_in::Reset();
    stand_in::Printer().dpiX = stand_in::Printer().dpiY = 96;
    SetPage(shape.width, rows);
    EXPECT_EQ(PrintFile(MakeBitmapFile(shape)), 0);
    ASSERT_EQ(OnlyDraw(), (DrawnRect{0, 0, shape.width, rows}));
    const stand_in::PrintJob& job = stand_in::Jobs()[0];
    EXPECT_EQ(job.documentName, "Bitmap Printing Test");
    EXPECT_FALSE(job.hadOutputFile);
    const stand_in::Draw& draw = job.pages[0].draws[0];
    EXPECT_EQ((std::vector<int32_t>{draw.xSrc, draw.ySrc, draw.srcWidth, draw.srcHeight}),
              (std::vector<int32_t>{0, 0, shape.width, rows}));
    EXPECT_EQ(draw.usage, uint32_t{DIB_RGB_COLORS});
    EXPECT_EQ(draw.rop, uint32_t{SRCCOPY});
    EXPECT_EQ(draw.header.biHeight, shape.height);  // the device is told the row order
    const stand_in::Image page = stand_in::RenderPage(job, 0);
    int wrong = 0;
    for (int32_t y = 0; y < rows; ++y) {
      for (int32_t x = 0; x < shape.width; ++x) {
        if (page.Pixel(x, y) != testing_support::ExpectedColour(shape, x, y)) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << stand_in::Report();
  }
}

TEST_F(PrintJob, PictureGrowsByTheRatioOfTheResolutions) {
  struct Case {
    int screenX, screenY, printerX, printerY;
    DrawnRect drawn;  // centred on a 2000 x 2000 page
  };
  const Case cases[] = {
      {96, 96, 600, 600, {687, 844, 625, 312}},  // 6.25: the picture (0, 0, 625, 312)
      {96, 96, 72, 72, {933, 967, 133, 66}},     // 1.333: never below 1
      {600, 600, 96, 96, {687, 844, 625, 312}},  // the larger over the smaller either way
      {96, 120, 96, 240, {950, 950, 100, 100}},  // each direction on its own
  };
  for (const Case& c : cases) {
    stand_in::Reset();
    stand_in::Machine().screenDpiX = c.screenX;
    stand_in::Machine().screenDpiY = c.screenY;
    stand_in::Printer().dpiX = c.printerX;
    stand_in::Printer().dpiY = c.printerY;
    SetPage(2000, 2000);
    PrintFile(MakeBitmapFile({100, 50, 24}));
    EXPECT_EQ(OnlyDraw(), c.drawn) << c.screenX << "/" << c.printerX;
  }
}

TEST_F(PrintJob, ThreePlacementsOnThePage) {
  struct Case {
    int32_t width, height;
    bool scale, keep;
    DrawnRect drawn;  // on a 480 x 660 page
  };
  const Case cases[] = {
      {100, 50, false, false, {190, 305, 100, 50}},  // centred at its size
      {600, 50, false, false, {0, 0, 480, 660}},     // wider than the page: the page itself
      {100, 700, false, true, {0, 0, 480, 660}},     // keep alone changes nothing
      {100, 50, true, false, {0, 0, 480, 660}},      // stretched over the page
      {100, 50, true, true, {0, 0, 480, 240}},       // grown inside, proportions kept
      {50, 100, true, true, {0, 0, 330, 660}},
      {1000, 500, true, true, {0, 0, 480, 240}},  // larger than the page: shrunk to fit
      {960, 1320, true, true, {0, 0, 480, 660}},
  };
  SetPage(480, 660);
  for (const Case& c : cases) {
    stand_in::Reset();
    stand_in::Printer().dpiX = stand_in::Printer().dpiY = 96;
    SetPage(480, 660);
    SetFlag("scale", c.scale);
    SetFlag("keep", c.keep);
    PrintFile(MakeBitmapFile({c.width, c.height, 8}));
    EXPECT_EQ(OnlyDraw(), c.drawn)
        << c.width << " x " << c.height << " scale " << c.scale << " keep " << c.keep;
  }
}

// The system calls of one print, in the order of the steps that make them: the load, then
// the dialog, the check for bitmaps, the document and its page, and only then the resolutions
// and the page size, the drawing, the ends, and the clearing up.
TEST_F(PrintJob, LoadAndJobCallTheSystemInTheOrderOfTheirSteps) {
  SetPage(100, 100);
  PrintFile(MakeBitmapFile({4, 4, 24}));
  const std::set<std::string> stepCalls = {"CreateCompatibleDC", "CreateFileA", "CreateDIBitmap",
                                           "CloseHandle",        "PrintDlgA",   "GetDeviceCaps",
                                           "StartDocA",          "StartPage",   "StretchDIBits",
                                           "DeleteDC",           "EndPage",     "EndDoc",
                                           "DeleteObject"};
  std::string screen, printer, seen;
  for (const std::string& line : stand_in::Calls()) {
    const size_t open = line.find('(');
    const std::string name = line.substr(0, open);
    if (stepCalls.count(name) == 0) continue;
    const std::string result = line.substr(line.rfind(' ') + 1);
    if (screen.empty() && name == "CreateCompatibleDC") screen = result;
    if (name == "PrintDlgA") printer = result;
    seen += (seen.empty() ? "" : " ") + name;
    if (name != "GetDeviceCaps") continue;
    // Which context is asked, by its part in the print, and for what.
    const size_t comma = line.find(", ");
    const std::string dc = line.substr(open + 1, comma - open - 1);
    seen += (dc == screen    ? "(screen,"
             : dc == printer ? "(printer,"
                             : "(other,") +
            line.substr(comma + 2, line.find(')') - comma - 2) + ")";
  }
  EXPECT_EQ(seen,
            "CreateCompatibleDC CreateFileA CreateDIBitmap CloseHandle PrintDlgA "
            "GetDeviceCaps(printer,38) StartDocA StartPage GetDeviceCaps(screen,88) "
            "GetDeviceCaps(screen,90) GetDeviceCaps(printer,88) GetDeviceCaps(printer,90) "
            "GetDeviceCaps(printer,8) GetDeviceCaps(printer,10) CreateCompatibleDC StretchDIBits "
            "DeleteDC EndPage EndDoc DeleteDC DeleteObject DeleteDC");
}

TEST_F(PrintJob, DialogAsksOrTakesTheDefaultPrinter) {
  const std::string file = MakeBitmapFile({4, 4, 24});
  PrintFile(file);
  FlagValue off{tag::kFlag, 0};
  ASSERT_EQ(print_->SetAttribute("showdialog", nullptr, &off), 0);
  PrintFile(file);
  const auto& dialogs = stand_in::PrintDialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].flags, 0x100u);
  EXPECT_EQ(dialogs[1].flags, 0x500u);
  for (const stand_in::PrintDialogCall& call : dialogs) {
    EXPECT_EQ(call.structSize, 66u);
    EXPECT_EQ(call.fromPage, 1);
    EXPECT_EQ(call.toPage, 1);
    EXPECT_EQ(call.copies, 1);
    EXPECT_FALSE(call.hadOwner);
  }
  EXPECT_EQ(stand_in::Jobs().size(), 2u);
  // The printer's settings and names the dialog hands back are freed each time.
  EXPECT_EQ(stand_in::CallCount("GlobalFree"), 2 * 4);
}

TEST_F(PrintJob, CancelledOrFailedDialogPrintsNothing) {
  for (auto answer : {stand_in::DialogAnswer::kCancel, stand_in::DialogAnswer::kFail}) {
    stand_in::Reset();
    stand_in::Printer().dialog = answer;
    EXPECT_EQ(PrintFile(MakeBitmapFile({4, 4, 24})), 0);
    EXPECT_TRUE(stand_in::Jobs().empty());
    EXPECT_TRUE(stand_in::MessageBoxes().empty());
    EXPECT_EQ(stand_in::CallCount("CommDlgExtendedError"), 1);
    EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << stand_in::Report();
  }
}

TEST_F(PrintJob, PrinterWithoutBitmapsSaysSo) {
  stand_in::Printer().rasterCaps = RC_STRETCHDIB;  // no RC_BITBLT
  EXPECT_EQ(PrintFile(MakeBitmapFile({4, 4, 24})), 0);
  EXPECT_TRUE(stand_in::Jobs().empty());
  ASSERT_EQ(stand_in::MessageBoxes().size(), 1u);
  const stand_in::MessageBoxCall& box = stand_in::MessageBoxes()[0];
  EXPECT_EQ(box.text, "Printer cannot display bitmaps.");
  EXPECT_EQ(box.caption, "Device Error");
  EXPECT_EQ(box.type, uint32_t{MB_OK});
  EXPECT_FALSE(box.hadOwner);
  EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << stand_in::Report();
}

TEST_F(PrintJob, JobFailuresStopTheJobAndReleaseThePrinter) {
  struct Case {
    bool startDoc, startPage, endPage;
    size_t pages;
    bool drawn, endDocCalled;
  };
  const Case cases[] = {
      {true, false, false, 0, false, false},
      {false, true, false, 0, false, false},
      {false, false, true, 1, true, false},
  };
  for (const Case& c : cases) {
    stand_in::Reset();
    stand_in::Printer().dpiX = stand_in::Printer().dpiY = 96;
    stand_in::Printer().failStartDoc = c.startDoc;
    stand_in::Printer().failStartPage = c.startPage;
    stand_in::Printer().failEndPage = c.endPage;
    EXPECT_EQ(PrintFile(MakeBitmapFile({4, 4, 24})), 0);
    const auto& jobs = stand_in::Jobs();
    EXPECT_EQ(jobs.size(), c.startDoc ? 0u : 1u);
    if (!jobs.empty()) {
      EXPECT_EQ(jobs[0].pages.size(), c.pages);
      EXPECT_FALSE(jobs[0].ended);
      EXPECT_EQ(!jobs[0].pages.empty() && !jobs[0].pages[0].draws.empty(), c.drawn);
    }
    EXPECT_EQ(stand_in::CallCount("EndDoc"), c.endDocCalled ? 1 : 0);
    EXPECT_TRUE(stand_in::MessageBoxes().empty());
    EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << stand_in::Report();
  }
}

TEST_F(PrintJob, OnlySpErrorFromStartDocIsAFailure) {
  // A printer whose first job is numbered 0: the document started all the same.
  stand_in::Printer().firstJobId = 0;
  SetPage(4, 4);
  EXPECT_EQ(PrintFile(MakeBitmapFile({4, 4, 24})), 0);
  EXPECT_EQ(OnlyDraw(), (DrawnRect{0, 0, 4, 4}));
  EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << stand_in::Report();
}

TEST_F(PrintJob, NoResolutionOrNoRoomOnThePagePrintsNothing) {
  struct Case {
    int screenX, printerY;
    int32_t pageWidth;
    int32_t width;
  };
  const Case cases[] = {
      {0, 96, 1000, 10},      // a screen without a resolution
      {96, 0, 1000, 10},      // a printer without one
      {96, 96, 40000, 10},    // a page past 16-bit coordinates
      {96, 96, 0, 10},        // a page of nothing
      {96, 96, 1000, 32000},  // scaled past 16-bit coordinates (see the ratio below)
  };
  for (const Case& c : cases) {
    stand_in::Reset();
    stand_in::Machine().screenDpiX = c.screenX;
    stand_in::Printer().dpiX = c.width == 32000 ? 192 : 96;
    stand_in::Printer().dpiY = c.printerY;
    SetPage(c.pageWidth, 1000);
    EXPECT_EQ(PrintFile(MakeBitmapFile({c.width, 2, 1})), 0);
    // The document and its page were started before the sizes could be known: the job is
    // dropped unended with the printer's context, nothing drawn.
    const auto& jobs = stand_in::Jobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_FALSE(jobs[0].ended) << c.screenX << " " << c.printerY << " " << c.pageWidth;
    ASSERT_EQ(jobs[0].pages.size(), 1u);
    EXPECT_TRUE(jobs[0].pages[0].draws.empty());
    EXPECT_FALSE(jobs[0].pages[0].ended);
    EXPECT_EQ(stand_in::CallCount("EndPage") + stand_in::CallCount("EndDoc"), 0);
    EXPECT_EQ(stand_in::PrintDialogs().size(), 1u);
    EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << stand_in::Report();
  }
}

TEST_F(PrintJob, PixelsAreReadInChunksOfAtMost64000Bytes) {
  // 24 bits, 200 x 120: rows of 600 bytes, 72000 bytes of pixels.
  SetPage(200, 120);
  PrintFile(MakeBitmapFile({200, 120, 24}));
  const std::vector<uint32_t>& asked = stand_in::ReadRequests();
  ASSERT_GE(asked.size(), 2u);
  EXPECT_EQ(asked[asked.size() - 2], 64000u);
  EXPECT_EQ(asked.back(), 8000u);
  ASSERT_EQ(stand_in::Jobs().size(), 1u);

  // A file that delivers a little at a time is read on, each chunk asking for what is missing.
  stand_in::Reset();
  stand_in::Printer().dpiX = stand_in::Printer().dpiY = 96;
  SetPage(200, 120);
  stand_in::Files().readLimit = 30000;
  PrintFile(MakeBitmapFile({200, 120, 24}));
  const std::vector<uint32_t>& small = stand_in::ReadRequests();
  ASSERT_GE(small.size(), 3u);
  EXPECT_EQ(std::vector<uint32_t>(small.end() - 3, small.end()),
            (std::vector<uint32_t>{64000, 42000, 12000}));
  ASSERT_EQ(stand_in::Jobs().size(), 1u);
  const stand_in::Image page = stand_in::RenderPage(stand_in::Jobs()[0], 0);
  EXPECT_EQ(page.Pixel(199, 119), testing_support::ExpectedColour({200, 120, 24}, 199, 119));
}

TEST_F(PrintJob, ReadThatDeliversNothingEndsTheLoad) {
  stand_in::Files().readableBytes = 1000;  // the file stops delivering part way
  SetPage(200, 120);
  EXPECT_EQ(PrintFile(MakeBitmapFile({200, 120, 24})), 0);
  EXPECT_TRUE(stand_in::Jobs().empty());
  EXPECT_TRUE(stand_in::PrintDialogs().empty());
  EXPECT_LT(stand_in::ReadRequests().size(), 10u);
}

TEST_F(PrintJob, DamagedFilesAreRefusedQuietly) {
  using testing_support::Put16;
  using testing_support::Put32;
  const std::string good = MakeBitmapFile({8, 6, 8});
  const std::string rle = MakeBitmapFile({8, 6, 8, BI_RLE8});
  const std::string truecolour = MakeBitmapFile({8, 6, 24});
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::vector<Case> cases = {
      {"empty file", ""},
      {"file header only", good.substr(0, 14)},
      {"cut in the colour table", good.substr(0, 200)},
      {"cut in the pixels", good.substr(0, good.size() - 1)},
  };
  auto damaged = [&](const char* what, std::string bytes, auto change) {
    change(&bytes);
    cases.push_back({what, std::move(bytes)});
  };
  damaged("pixel offset past the file", good,
          [](std::string* b) { Put32(b, testing_support::kPixelOffsetAt, 100000); });
  damaged("pixel offset inside the colour table", good,
          [](std::string* b) { Put32(b, testing_support::kPixelOffsetAt, 60); });
  damaged("file size larger than the file", good,
          [](std::string* b) { Put32(b, testing_support::kFileSizeAt, 0x7FFFFFF0); });
  damaged("pixel block smaller than its rows", good, [&](std::string* b) {
    Put32(b, testing_support::kFileSizeAt, static_cast<uint32_t>(good.size() - 8));
  });
  for (uint32_t size : {0u, 12u, 39u, 41u, 64u, 0xFFFFFFFFu}) {
    damaged("unknown header size", good,
            [&](std::string* b) { Put32(b, testing_support::kHeaderSizeAt, size); });
  }
  for (uint16_t bits : {0, 2, 3, 7, 9, 48, 0xFFFF}) {
    damaged("unknown bit count", good,
            [&](std::string* b) { Put16(b, testing_support::kBitCountAt, bits); });
  }
  damaged("more colours than 8 bits index", good,
          [](std::string* b) { Put32(b, testing_support::kColoursUsedAt, 257); });
  damaged("a huge optional colour table", truecolour,
          [](std::string* b) { Put32(b, testing_support::kColoursUsedAt, 0x40000000); });
  for (uint32_t width : {0u, 0xFFFFFFFFu, 0x80000000u, 32768u}) {
    damaged("width out of range", good,
            [&](std::string* b) { Put32(b, testing_support::kWidthAt, width); });
  }
  for (uint32_t height : {0u, 0x80000000u, 40000u, static_cast<uint32_t>(-40000)}) {
    damaged("height out of range", good,
            [&](std::string* b) { Put32(b, testing_support::kHeightAt, height); });
  }
  damaged("run lengths stored from the top", rle,
          [](std::string* b) { Put32(b, testing_support::kHeightAt, static_cast<uint32_t>(-6)); });
  damaged("8-bit runs in a 4-bit image", rle,
          [](std::string* b) { Put32(b, testing_support::kCompressionAt, BI_RLE4); });
  damaged("runs longer than the file", rle,
          [](std::string* b) { Put32(b, testing_support::kSizeImageAt, 100000); });
  for (uint32_t compression : {uint32_t{BI_JPEG}, uint32_t{BI_PNG}, 6u, 0x7FFFFFFFu}) {
    damaged("unknown compression", truecolour,
            [&](std::string* b) { Put32(b, testing_support::kCompressionAt, compression); });
  }
  for (const Case& c : cases) {
    stand_in::Reset();
    EXPECT_EQ(PrintFile(c.bytes), 0) << c.what;
    EXPECT_TRUE(stand_in::PrintDialogs().empty()) << c.what;
    EXPECT_TRUE(stand_in::Jobs().empty()) << c.what;
    EXPECT_TRUE(stand_in::MessageBoxes().empty()) << c.what;
    EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << c.what << "\n" << stand_in::Report();
    EXPECT_TRUE(stand_in::Faults().empty()) << c.what << "\n" << stand_in::Report();
  }
}

TEST_F(PrintJob, TypeBytesAreNotChecked) {
  std::string file = MakeBitmapFile({4, 4, 8});
  file[0] = 'X';
  file[1] = 'Y';
  SetPage(4, 4);
  PrintFile(file);
  EXPECT_EQ(stand_in::Jobs().size(), 1u);
}

TEST_F(PrintJob, FilesThatCannotBeOpenedPrintNothingAndLeaveNothing) {
  // The default path, a missing file and a folder.
  EXPECT_EQ(print_->HandleMessage(0, kPrintId, 0), 0);
  EXPECT_EQ(PrintPath(::testing::TempDir() + "no-such-picture.bmp"), 0);
  EXPECT_EQ(PrintPath(::testing::TempDir()), 0);
  EXPECT_EQ(stand_in::CallCount("CreateFileA"), 3);
  EXPECT_TRUE(stand_in::PrintDialogs().empty());
  EXPECT_TRUE(stand_in::MessageBoxes().empty());
  // Every screen context the loads made is gone again.
  EXPECT_EQ(stand_in::CallCount("CreateCompatibleDC"), 3);
  EXPECT_EQ(stand_in::CallCount("DeleteDC"), 3);
}

TEST_F(PrintJob, LongPathsOpen) {
  // Past the 128 characters an older way of opening files could take.
  const std::string name = std::string(150, 'p') + ".bmp";
  TempFile file(name, MakeBitmapFile({4, 4, 24}));
  ASSERT_GT(file.Path().size(), 160u);
  SetPage(4, 4);
  EXPECT_EQ(PrintPath(file.Path()), 0);
  EXPECT_EQ(stand_in::Jobs().size(), 1u);
}

TEST_F(PrintJob, NothingStaysFromPrintToPrint) {
  SetPage(40, 40);
  const std::string file = MakeBitmapFile({20, 20, 8});
  for (int i = 0; i < 3; ++i) {
    PrintFile(file);
    EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << "after print " << i << "\n"
                                                  << stand_in::Report();
  }
  EXPECT_EQ(stand_in::Jobs().size(), 3u);
  EXPECT_EQ(stand_in::CallCount("GlobalAlloc"), stand_in::CallCount("GlobalFree"));
}

TEST_F(PrintJob, SystemShortOfMemoryPrintsNothing) {
  // The first two blocks are the load's; the dialog's own come after.
  for (int granted = 0; granted < 4; ++granted) {
    stand_in::Reset();
    stand_in::Printer().dpiX = stand_in::Printer().dpiY = 96;
    stand_in::Memory().failAfter = granted;
    PrintFile(MakeBitmapFile({8, 8, 8}));
    EXPECT_EQ(stand_in::Jobs().size(), granted >= 2 ? 1u : 0u) << granted;
    EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << granted << "\n" << stand_in::Report();
  }
  // A device that cannot make the bitmap.
  stand_in::Reset();
  stand_in::Memory().largestBitmapPixels = 10;
  PrintFile(MakeBitmapFile({8, 8, 8}));
  EXPECT_TRUE(stand_in::Jobs().empty());
  EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << stand_in::Report();
}

TEST_F(PrintJob, OtherMessagesDoNothing) {
  EXPECT_EQ(print_->HandleMessage(0, kPrintId, 1), 1);
  EXPECT_EQ(print_->HandleMessage(0, 303, 0), 1);
  EXPECT_TRUE(stand_in::Calls().empty());
}

}  // namespace
