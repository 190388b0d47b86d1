#include "support/host_calls.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/registration.h"

namespace {

// What the probe methods saw.
struct Seen {
  uint32_t self = 0;
  int32_t first = 0;
  int32_t second = 0;
  const void* pointer = nullptr;
  int calls = 0;
};
Seen gSeen;

extern "C" abi::Result ProbeTwoInts(uint32_t self, int32_t a, int32_t b, void* out) {
  gSeen = {self, a, b, out, gSeen.calls + 1};
  const int32_t answer = a + b;
  std::memcpy(out, &answer, sizeof answer);
  return 0xBEEF0005u;  // only the low half is the status
}

extern "C" abi::Result ProbeShorts(uint32_t self, int16_t item, int16_t flag) {
  gSeen = {self, item, flag, nullptr, gSeen.calls + 1};
  return 0;
}

extern "C" abi::Result ProbeListen(uint32_t self, int16_t mode, const void* id) {
  gSeen = {self, mode, 0, id, gSeen.calls + 1};
  return 2;
}

extern "C" abi::Result ProbeOther(uint32_t self, int32_t, int32_t, void*) {
  gSeen = {self, -1, -1, nullptr, gSeen.calls + 1};
  return 7;
}

void* Fn(auto f) {
  return reinterpret_cast<void*>(f);
}

// A host object laid out by hand: header, then the object's own bytes.
struct HandMadeObject {
  abi::MethodEntry row0[abi::kComponentColumns]{};
  abi::MethodEntry row1[abi::kComponentColumns]{};
  abi::MethodEntry* rows[2] = {row0, row1};
  int32_t offsets[5] = {1000, 2000, 3000, 4000, 5000};
  abi::ClassRecord record{rows, &offsets[2]};  // k may reach two entries back
  struct {
    abi::HostObjectHeader header;
    uint8_t bytes[16];
  } block{};

  HandMadeObject() { block.header = {0x10000, &record}; }
  void* Object() { return block.bytes; }
};

TEST(MethodLookup, FunctionAndSelfFromHeaderAndOffsets) {
  HandMadeObject object;
  object.row1[2] = {Fn(&ProbeTwoInts), -1};
  object.row1[3] = {Fn(&ProbeTwoInts), static_cast<int32_t>(0x00050002)};  // k = 2, not 0x50002
  object.row1[4] = {Fn(&ProbeTwoInts), 0x0000FFFE};  // k = -2 from the low half alone

  EXPECT_EQ(support::MethodFunction(1, object.Object(), 2), Fn(&ProbeTwoInts));
  EXPECT_EQ(support::MethodSelf(1, object.Object(), 2), 0x10000u + 2000u);
  EXPECT_EQ(support::MethodSelf(1, object.Object(), 3), 0x10000u + 5000u);
  EXPECT_EQ(support::MethodSelf(1, object.Object(), 4), 0x10000u + 1000u);
  EXPECT_EQ(support::MethodFunction(0, object.Object(), 2), nullptr);

  // Negative offsets wrap like the 32-bit sums they are.
  object.offsets[2] = -0x20000;
  object.row1[5] = {Fn(&ProbeTwoInts), 0};
  EXPECT_EQ(support::MethodSelf(1, object.Object(), 5), 0xFFFF0000u);

  EXPECT_EQ(support::MethodFunction(1, nullptr, 2), nullptr);
  EXPECT_EQ(support::MethodSelf(1, nullptr, 2), 0u);
  object.rows[1] = nullptr;
  EXPECT_EQ(support::MethodFunction(1, object.Object(), 2), nullptr);
}

// Service objects are found through the captured HostServices record.
class HostCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    gSeen = {};
    std::memset(services_, 0, sizeof services_);
    services_[abi::service::kSystem] = system_.Object();
    abi::PluginDescriptor descriptor{};
    descriptor.hostServices = services_;
    support::CaptureHost(&descriptor);
  }
  void TearDown() override {
    abi::PluginDescriptor descriptor{};
    support::CaptureHost(&descriptor);
  }
  void* services_[abi::service::kCount];
  HandMadeObject system_;
};

TEST_F(HostCalls, WrapperPassesSelfAndArgumentsAndRecordsStatus) {
  system_.row1[abi::method::kRandomInteger] = {Fn(&ProbeTwoInts), 1};
  int32_t out = 0;
  support::SetLastHostStatus(99);
  EXPECT_EQ(host::system::RandomInteger(-4, 10, &out), 5);
  EXPECT_EQ(support::LastHostStatus(), 5);
  EXPECT_EQ(gSeen.self, 0x10000u + 4000u);
  EXPECT_EQ(gSeen.first, -4);
  EXPECT_EQ(gSeen.second, 10);
  EXPECT_EQ(out, 6);

  // The table is read again at every call: a replaced entry is used at once.
  system_.row1[abi::method::kRandomInteger] = {Fn(&ProbeOther), 0};
  EXPECT_EQ(host::system::RandomInteger(1, 2, &out), 7);
  EXPECT_EQ(gSeen.self, 0x10000u + 3000u);
  EXPECT_EQ(gSeen.calls, 2);
}

TEST_F(HostCalls, MissingServiceOrMethodMakesNoCall) {
  int32_t out = 0;
  EXPECT_EQ(host::list::ListCount(1, &out), support::kNoHostMethod);  // no ListService
  EXPECT_EQ(support::LastHostStatus(), support::kNoHostMethod);
  EXPECT_EQ(host::system::RandomInteger(1, 2, &out), support::kNoHostMethod);  // empty column
  EXPECT_EQ(host::stream::WriteValue(nullptr, &out), support::kNoHostMethod);
  abi::PluginDescriptor none{};
  support::CaptureHost(&none);
  EXPECT_EQ(host::system::SetCursor(nullptr, 3), support::kNoHostMethod);
  EXPECT_EQ(gSeen.calls, 0);
}

TEST_F(HostCalls, ObjectMethodsUseTheirOwnRowsAndShortArguments) {
  HandMadeObject editor;
  editor.row1[abi::method::kDisableItem] = {Fn(&ProbeShorts), 0};
  EXPECT_EQ(host::editor::DisableItem(editor.Object(), -3, 1), 0);
  EXPECT_EQ(gSeen.first, -3);
  EXPECT_EQ(gSeen.second, 1);
  EXPECT_EQ(gSeen.self, 0x10000u + 3000u);

  // The instance's own methods sit in row 0: Listen is column 33.
  HandMadeObject instance;
  instance.row0[abi::slot::kListen] = {Fn(&ProbeListen), -2};
  const uint8_t id[10] = {23};
  EXPECT_EQ(host::instance::Listen(instance.Object(), host::instance::kListenStop, id), 2);
  EXPECT_EQ(support::LastHostStatus(), 2);
  EXPECT_EQ(gSeen.first, 2);
  EXPECT_EQ(gSeen.pointer, id);
  EXPECT_EQ(gSeen.self, 0x10000u + 1000u);
  EXPECT_EQ(host::instance::GetOwner(instance.Object(), nullptr), support::kNoHostMethod);
}

}  // namespace
