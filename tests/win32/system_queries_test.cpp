// The stand-in's system queries answer from the machine's facts, record each call, and report
// a null record as misuse instead of crashing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "win32/stand_in.h"
#include "win32/win32.h"

namespace {

class SystemQueries : public ::testing::Test {
 protected:
  void SetUp() override { stand_in::Reset(); }
  void TearDown() override { stand_in::Reset(); }
};

TEST_F(SystemQueries, DefaultsDescribeAPlausibleMachine) {
  EXPECT_EQ(GetVersion() & 0xFFFF, 0x0105u);  // 5.1
  SYSTEM_INFO info;
  std::memset(&info, 0xA5, sizeof info);
  GetSystemInfo(&info);
  EXPECT_EQ(info.dwProcessorType, static_cast<DWORD>(PROCESSOR_INTEL_PENTIUM));
  EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
  EXPECT_EQ(info.wReserved, 0);
  EXPECT_EQ(info.dwNumberOfProcessors, 1u);
  EXPECT_EQ(info.dwActiveProcessorMask, 1u);
  EXPECT_EQ(info.dwPageSize, 4096u);
  EXPECT_LT(info.lpMinimumApplicationAddress, info.lpMaximumApplicationAddress);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
  EXPECT_EQ(GetKeyboardType(0), 4);
  EXPECT_EQ(GetKeyboardType(2), 12);
}

TEST_F(SystemQueries, AnswerWhatTheMachineIsToldAndRecordEachCall) {
  stand_in::MachineFacts& machine = stand_in::Machine();
  machine.version = 0x5F03;
  machine.processorType = PROCESSOR_INTEL_386;
  machine.processorCount = 32;
  machine.screenWidth = 640;
  machine.screenHeight = -1;
  machine.keyboardType = 7;
  machine.keyboardSubtype = 3;
  EXPECT_EQ(GetVersion(), 0x5F03u);
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  EXPECT_EQ(info.dwProcessorType, 386u);
  EXPECT_EQ(info.dwActiveProcessorMask, 0xFFFFFFFFu);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), -1);
  EXPECT_EQ(GetSystemMetrics(80), 0);  // a metric the stand-in does not know
  EXPECT_EQ(GetKeyboardType(0), 7);
  EXPECT_EQ(GetKeyboardType(1), 3);
  EXPECT_EQ(GetKeyboardType(5), 0);
  EXPECT_EQ(stand_in::Calls(),
            (std::vector<std::string>{
                "GetVersion() = 0x5f03", "GetSystemInfo(out) = processor type 386",
                "GetSystemMetrics(0) = 640", "GetSystemMetrics(1) = -1", "GetSystemMetrics(80) = 0",
                "GetKeyboardType(0) = 7", "GetKeyboardType(1) = 3", "GetKeyboardType(5) = 0"}));
  EXPECT_TRUE(stand_in::Faults().empty());

  GetSystemInfo(nullptr);
  ASSERT_EQ(stand_in::Faults().size(), 1u);
  EXPECT_EQ(stand_in::Faults()[0], "GetSystemInfo: null record");
}

}  // namespace
