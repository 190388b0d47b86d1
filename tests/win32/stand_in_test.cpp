// The Win32 stand-in on its own: the calls behave as the plug-ins expect of the system, and the
// control side sees every handle, call and misuse.
#include "win32/stand_in.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

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
