// The stand-in's system clock: it stands where the machine says, or follows this machine's, and
// answers as Windows counts, in 100-nanosecond intervals since 1601.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "win32/stand_in.h"
#include "win32/win32.h"

namespace {

class Clock : public ::testing::Test {
 protected:
  void SetUp() override { stand_in::Reset(); }
  void TearDown() override { stand_in::Reset(); }

  static uint64_t Ticks() {
    FILETIME now{0xA5A5A5A5, 0xA5A5A5A5};
    GetSystemTimeAsFileTime(&now);
    return (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  }
};

constexpr uint64_t kUnixEpoch = 116444736000000000ull;
constexpr uint64_t kTicksPerSecond = 10000000;

TEST_F(Clock, StandsWhereTheMachineSaysAndRecordsEachReading) {
  stand_in::Machine().calendarSeconds = stand_in::kStandingClock;  // 2001-09-09 01:46:40 UTC
  EXPECT_EQ(Ticks(), kUnixEpoch + 1000000000 * kTicksPerSecond);
  EXPECT_EQ(Ticks(), kUnixEpoch + 1000000000 * kTicksPerSecond);
  stand_in::Machine().calendarSeconds = 0;
  EXPECT_EQ(Ticks(), kUnixEpoch);
  stand_in::Machine().calendarSeconds = 0xFFFFFFFFll;  // past 2106 still counts on
  EXPECT_EQ(Ticks(), kUnixEpoch + 0xFFFFFFFFull * kTicksPerSecond);
  EXPECT_EQ(stand_in::Calls(),
            (std::vector<std::string>{"GetSystemTimeAsFileTime(out) = 1000000000 s",
                                      "GetSystemTimeAsFileTime(out) = 1000000000 s",
                                      "GetSystemTimeAsFileTime(out) = 0 s",
                                      "GetSystemTimeAsFileTime(out) = 4294967295 s"}));
}

TEST_F(Clock, FollowsThisMachinesClockUnlessToldOtherwise) {
  const uint64_t before = static_cast<uint64_t>(std::time(nullptr));
  const uint64_t seconds = (Ticks() - kUnixEpoch) / kTicksPerSecond;
  const uint64_t after = static_cast<uint64_t>(std::time(nullptr));
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after);
}

TEST_F(Clock, ANullRecordIsMisuseNotACrash) {
  GetSystemTimeAsFileTime(nullptr);
  EXPECT_EQ(stand_in::Calls(), (std::vector<std::string>{"GetSystemTimeAsFileTime(null)"}));
  EXPECT_FALSE(stand_in::Faults().empty());
}

}  // namespace
