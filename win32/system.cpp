// kernel32's and user32's system queries: the version, the processor, the screen's size and the
// keyboard, all answered from the machine's facts (stand_in::Machine()).
#include <cstdio>
#include <ctime>
#include <string>

#include "win32/state.h"

namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

// The lowest and highest addresses a 32-bit process may use, with 2 GB for itself.
constexpr uintptr_t kLowestAddress = 0x00010000;
constexpr uintptr_t kHighestAddress = 0x7FFEFFFF;

}  // namespace

extern "C" {

DWORD WINAPI GetVersion(void) {
  const DWORD version = stand_in::TheState().machine.version;
  stand_in::RecordCall("GetVersion() = " + Hex(version));
  return version;
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
  const stand_in::MachineFacts& machine = stand_in::TheState().machine;
  if (lpSystemInfo == nullptr) {
    // The system would fault here; the stand-in says so and carries on.
    stand_in::Fault("GetSystemInfo: null record");
    stand_in::RecordCall("GetSystemInfo(null)");
    return;
  }
  SYSTEM_INFO info{};
  info.wProcessorArchitecture = machine.processorArchitecture;
  info.dwPageSize = machine.pageSize;
  info.lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(kLowestAddress);
  info.lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(kHighestAddress);
  const uint32_t count = machine.processorCount > 32 ? 32 : machine.processorCount;
  info.dwActiveProcessorMask = count == 32 ? 0xFFFFFFFFu : (1u << count) - 1;
  info.dwNumberOfProcessors = machine.processorCount;
  info.dwProcessorType = machine.processorType;
  info.dwAllocationGranularity = machine.allocationGranularity;
  info.wProcessorLevel = machine.processorLevel;
  info.wProcessorRevision = machine.processorRevision;
  *lpSystemInfo = info;
  stand_in::RecordCall("GetSystemInfo(out) = processor type " +
                       std::to_string(machine.processorType));
}

void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  // 100-nanosecond intervals from 1601-01-01 to 1970-01-01.
  constexpr uint64_t kUnixEpoch = 116444736000000000ull;
  const int64_t configured = stand_in::TheState().machine.calendarSeconds;
  const int64_t seconds =
      configured == stand_in::kRealClock ? static_cast<int64_t>(std::time(nullptr)) : configured;
  if (lpSystemTimeAsFileTime == nullptr) {
    stand_in::Fault("GetSystemTimeAsFileTime: null record");
    stand_in::RecordCall("GetSystemTimeAsFileTime(null)");
    return;
  }
  const uint64_t ticks = kUnixEpoch + static_cast<uint64_t>(seconds) * 10000000ull;
  lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
  lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  stand_in::RecordCall("GetSystemTimeAsFileTime(out) = " + std::to_string(seconds) + " s");
}

int WINAPI GetSystemMetrics(int nIndex) {
  const stand_in::MachineFacts& machine = stand_in::TheState().machine;
  int result = 0;
  switch (nIndex) {
    case SM_CXSCREEN:
      result = machine.screenWidth;
      break;
    case SM_CYSCREEN:
      result = machine.screenHeight;
      break;
    default:
      break;  // a metric the stand-in does not know: 0, as the system answers for an unknown one
  }
  stand_in::RecordCall("GetSystemMetrics(" + std::to_string(nIndex) +
                       ") = " + std::to_string(result));
  return result;
}

int WINAPI GetKeyboardType(int nTypeFlag) {
  const stand_in::MachineFacts& machine = stand_in::TheState().machine;
  int result = 0;
  switch (nTypeFlag) {
    case 0:
      result = machine.keyboardType;
      break;
    case 1:
      result = machine.keyboardSubtype;
      break;
    case 2:
      result = machine.keyboardFunctionKeys;
      break;
    default:
      break;
  }
  stand_in::RecordCall("GetKeyboardType(" + std::to_string(nTypeFlag) +
                       ") = " + std::to_string(result));
  return result;
}

}  // extern "C"
