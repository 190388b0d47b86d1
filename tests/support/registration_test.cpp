#include "support/registration.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

// The host's side of a registration, with an allocator that records every call.
struct FakeHost {
  std::vector<std::pair<void*, uint32_t>> allocations;
  abi::MethodEntry tables[4][abi::kComponentColumns]{};
  int tablesHandedOut = 0;
  bool refuse = false;
};
FakeHost* gFake = nullptr;

abi::MethodEntry* RecordingAllocator(void* descriptor, uint32_t column) {
  gFake->allocations.emplace_back(descriptor, column);
  if (gFake->refuse || gFake->tablesHandedOut == 4) return nullptr;
  return gFake->tables[gFake->tablesHandedOut++];
}

extern "C" abi::Result SlotA(void*) {
  return 0;
}
extern "C" abi::Result SlotB(void*) {
  return 0;
}
extern "C" abi::Result SlotC(void*) {
  return 0;
}
extern "C" abi::Result SlotD(void*) {
  return 0;
}

void* Fn(abi::Result (*f)(void*)) {
  return reinterpret_cast<void*>(f);
}

// Packed descriptor fields, read by value (a reference to one would be misaligned).
abi::MethodEntry* TableOf(const abi::PluginDescriptor& d, int row) {
  abi::MethodEntry* table;
  std::memcpy(&table, reinterpret_cast<const uint8_t*>(&d) + 610 + 4 * row, sizeof table);
  return table;
}
int16_t HighestColumn(const abi::PluginDescriptor& d, int row) {
  int16_t value;
  std::memcpy(&value, reinterpret_cast<const uint8_t*>(&d) + 738 + 2 * row, sizeof value);
  return value;
}
template <typename T>
T Copy(T value) {
  return value;
}

constexpr support::Name20 kTestName = support::MakeName20("Tester");

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    gFake = &fake_;
    std::memset(&descriptor_, 0x5A, sizeof descriptor_);
    std::memset(descriptor_.methodTables, 0, sizeof descriptor_.methodTables);
    std::memset(descriptor_.highestColumn, 0, sizeof descriptor_.highestColumn);
    descriptor_.highestRow = 0;
    descriptor_.allocator = &RecordingAllocator;
    descriptor_.hostPointer = &hostThing_;
    descriptor_.hostServices = &servicesThing_;
    slots_ = {{0, 7, Fn(&SlotA)}, {0, 34, Fn(&SlotB)}, {0, 8, Fn(&SlotC)}};
    after_ = {{1, 0, Fn(&SlotD)}};
    definition_ = {kTestName.chars,
                   182,
                   5,
                   slots_.data(),
                   static_cast<uint16_t>(slots_.size()),
                   after_.data(),
                   static_cast<uint16_t>(after_.size())};
  }
  void TearDown() override { gFake = nullptr; }

  FakeHost fake_;
  abi::PluginDescriptor descriptor_;
  int hostThing_ = 0;
  int servicesThing_ = 0;
  std::vector<support::SlotEntry> slots_;
  std::vector<support::SlotEntry> after_;
  support::ClassDefinition definition_{};
};

TEST_F(Registration, NameQueryWritesOnlyNameSizeAndFlags) {
  descriptor_.phase = 0;
  abi::PluginDescriptor before;
  std::memcpy(&before, &descriptor_, sizeof before);
  abi::PluginDescriptor otherHost = descriptor_;
  otherHost.hostServices = nullptr;
  support::CaptureHost(&otherHost);  // a known value the name query must not replace

  support::RunEntry(&descriptor_, definition_);

  const auto* now = reinterpret_cast<const uint8_t*>(&descriptor_);
  const auto* old = reinterpret_cast<const uint8_t*>(&before);
  for (size_t i = 0; i < sizeof descriptor_; ++i) {
    const bool mayChange = i < 16 || (i >= 804 && i < 812);
    if (!mayChange) {
      ASSERT_EQ(now[i], old[i]) << "byte " << i;
    }
  }
  EXPECT_EQ(std::memcmp(descriptor_.names, "Tester\0\0\0\0\0\0\0\0\0\0", 16), 0);
  EXPECT_EQ(Copy(descriptor_.instanceSize), 182u);
  EXPECT_EQ(Copy(descriptor_.classFlags), 5u);
  EXPECT_TRUE(fake_.allocations.empty());
  EXPECT_EQ(support::HostServices(), nullptr);
}

TEST_F(Registration, RegistrationFillsTablesInOrderAndCapturesTheHost) {
  descriptor_.phase = 1;
  support::RunEntry(&descriptor_, definition_);

  EXPECT_EQ(std::memcmp(descriptor_.names, "_QComponent\0\0\0\0\0", 16), 0);
  EXPECT_EQ(descriptor_.names[16], 0x5A);  // the 17th byte of an entry is never touched
  EXPECT_EQ(Copy(descriptor_.highestRow), 0);
  EXPECT_EQ(Copy(descriptor_.instanceSize), 182u);
  EXPECT_EQ(Copy(descriptor_.classFlags), 5u);
  // One table per row, asked for with the row's first column.
  ASSERT_EQ(fake_.allocations.size(), 2u);
  EXPECT_EQ(fake_.allocations[0], std::make_pair(static_cast<void*>(&descriptor_), 7u));
  EXPECT_EQ(fake_.allocations[1], std::make_pair(static_cast<void*>(&descriptor_), 0u));
  EXPECT_EQ(TableOf(descriptor_, 0), fake_.tables[0]);
  EXPECT_EQ(TableOf(descriptor_, 1), fake_.tables[1]);
  // 7, then 34, then 8: the high-water mark only grows.
  EXPECT_EQ(HighestColumn(descriptor_, 0), 34);
  EXPECT_EQ(HighestColumn(descriptor_, 1), 0);
  EXPECT_EQ(fake_.tables[0][7].function, Fn(&SlotA));
  EXPECT_EQ(fake_.tables[0][34].function, Fn(&SlotB));
  EXPECT_EQ(fake_.tables[0][8].function, Fn(&SlotC));
  EXPECT_EQ(fake_.tables[0][7].flags, 1);
  EXPECT_EQ(fake_.tables[0][9].function, nullptr);
  EXPECT_EQ(fake_.tables[1][0].function, Fn(&SlotD));
  EXPECT_EQ(support::HostServices(), &servicesThing_);
  EXPECT_EQ(support::HostPointer(), &hostThing_);
}

TEST_F(Registration, RegisterSlotSignExtendsFlagsAndKeepsExistingTables) {
  abi::MethodEntry table[abi::kComponentColumns]{};
  descriptor_.methodTables[0] = table;
  descriptor_.highestColumn[0] = 20;
  EXPECT_EQ(support::RegisterSlot(&descriptor_, -2, 0, 5, Fn(&SlotA)), 0);
  EXPECT_EQ(support::RegisterSlot(&descriptor_, 0x7FFF, 0, 37, Fn(&SlotB)), 0);
  EXPECT_TRUE(fake_.allocations.empty());
  EXPECT_EQ(table[5].flags, -2);
  EXPECT_EQ(table[37].flags, 0x7FFF);
  EXPECT_EQ(HighestColumn(descriptor_, 0), 37);
  EXPECT_EQ(Copy(descriptor_.highestRow), 0);
}

TEST_F(Registration, NullAllocatorLeavesEverySlotUnregistered) {
  fake_.refuse = true;
  descriptor_.phase = 1;
  EXPECT_EQ(support::RegisterSlot(&descriptor_, 1, 0, 9, Fn(&SlotA)), abi::kNoMethodTable);
  EXPECT_EQ(TableOf(descriptor_, 0), nullptr);
  EXPECT_EQ(HighestColumn(descriptor_, 0), 0);

  fake_.allocations.clear();
  support::RunEntry(&descriptor_, definition_);
  // Every slot asked again, and the entry went on to capture the host.
  ASSERT_EQ(fake_.allocations.size(), 4u);
  EXPECT_EQ(fake_.allocations[0].second, 7u);
  EXPECT_EQ(fake_.allocations[1].second, 34u);
  EXPECT_EQ(fake_.allocations[2].second, 8u);
  EXPECT_EQ(fake_.allocations[3].second, 0u);
  EXPECT_EQ(TableOf(descriptor_, 0), nullptr);
  EXPECT_EQ(HighestColumn(descriptor_, 0), 0);
  EXPECT_EQ(support::HostServices(), &servicesThing_);

  descriptor_.allocator = nullptr;
  EXPECT_EQ(support::RegisterSlot(&descriptor_, 1, 0, 9, Fn(&SlotA)), abi::kNoMethodTable);
  EXPECT_EQ(support::RegisterSlot(&descriptor_, 1, abi::kMaxRows, 0, Fn(&SlotA)),
            abi::kNoMethodTable);
}

TEST_F(Registration, InterfaceNamesRaiseTheHighestRowOnly) {
  descriptor_.highestRow = 0;
  EXPECT_EQ(support::RegisterInterfaceName(&descriptor_, support::kInterfaceNames[1].chars, 4, 1),
            0);
  EXPECT_EQ(std::memcmp(descriptor_.names + 17, "_QCoreService\0\0\0", 16), 0);
  EXPECT_EQ(Copy(descriptor_.highestRow), 1);
  support::RegisterInterfaceName(&descriptor_, support::kInterfaceNames[0].chars, 38, 0);
  EXPECT_EQ(Copy(descriptor_.highestRow), 1);
  EXPECT_EQ(descriptor_.names[33], 0x5A);
}

TEST_F(Registration, CaptureHostTakesTheLatestDescriptor) {
  support::CaptureHost(&descriptor_);
  EXPECT_EQ(support::HostServices(), &servicesThing_);
  int other = 0;
  descriptor_.hostServices = &other;
  descriptor_.hostPointer = nullptr;
  support::CaptureHost(&descriptor_);
  EXPECT_EQ(support::HostServices(), &other);
  EXPECT_EQ(support::HostPointer(), nullptr);
}

}  // namespace
