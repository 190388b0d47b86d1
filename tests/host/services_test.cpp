#include <cstring>
#include <string>

#include "tests/host/host_test_support.h"

namespace {

bool HasFault(const std::vector<refhost::Fault>& faults, const std::string& what) {
  for (const refhost::Fault& f : faults) {
    if (f.what == what) return true;
  }
  return false;
}

TEST_F(HostTest, StringServiceCopiesComparesAndAllocatesExactly) {
  char* buffer = nullptr;
  ASSERT_EQ(S(svc::kString, mth::kAllocString, static_cast<void*>(&buffer), uint32_t{8}), 0);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(host_->Ownership().Find(reinterpret_cast<uintptr_t>(buffer))->size, 8u);

  EXPECT_EQ(S(svc::kString, mth::kCopyString, buffer, "abc"), 0);
  EXPECT_EQ(S(svc::kString, mth::kAppendString, buffer, "defg"), 0);
  EXPECT_STREQ(buffer, "abcdefg");
  // One character more than the buffer holds is refused, not written.
  EXPECT_NE(S(svc::kString, mth::kAppendString, buffer, "h"), 0);
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_TRUE(HasFault(TakeFaults(), "buffer overrun"));

  // CopyStringMax: at most max characters, then a NUL.
  EXPECT_EQ(S(svc::kString, mth::kCopyStringMax, buffer, "123456789", uint32_t{3}), 0);
  EXPECT_STREQ(buffer, "123");
  EXPECT_EQ(S(svc::kString, mth::kCopyStringMax, buffer, "xy", uint32_t{5}), 0);
  EXPECT_STREQ(buffer, "xy");
  EXPECT_EQ(S(svc::kString, mth::kCopyStringMax, buffer, "zz", uint32_t{0}), 0);
  EXPECT_STREQ(buffer, "");

  uint32_t length = 99;
  EXPECT_EQ(S(svc::kString, mth::kStringLength, static_cast<void*>(&length), "four"), 0);
  EXPECT_EQ(length, 4u);
  int32_t order = 0;
  EXPECT_EQ(S(svc::kString, mth::kCompareStrings, static_cast<void*>(&order), "abc", "abd"), 0);
  EXPECT_EQ(order, -1);
  EXPECT_EQ(S(svc::kString, mth::kCompareStrings, static_cast<void*>(&order), "b", "a"), 0);
  EXPECT_EQ(order, 1);
  EXPECT_EQ(S(svc::kString, mth::kCompareStrings, static_cast<void*>(&order), "same", "same"), 0);
  EXPECT_EQ(order, 0);

  char* copy = nullptr;
  EXPECT_EQ(S(svc::kString, mth::kDuplicateString, static_cast<void*>(&copy), "dup"), 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "dup");
  EXPECT_EQ(host_->Ownership().Find(reinterpret_cast<uintptr_t>(copy))->size, 4u);

  // Null arguments and a zero size are refused.
  EXPECT_NE(S(svc::kString, mth::kCopyString, buffer, static_cast<const char*>(nullptr)), 0);
  EXPECT_NE(S(svc::kString, mth::kStringLength, static_cast<void*>(nullptr), "x"), 0);
  char* none = reinterpret_cast<char*>(1);
  EXPECT_NE(S(svc::kString, mth::kAllocString, static_cast<void*>(&none), uint32_t{0}), 0);
  EXPECT_EQ(none, nullptr);
  EXPECT_NE(S(svc::kString, mth::kDuplicateString, static_cast<void*>(&none),
              static_cast<const char*>(nullptr)),
            0);

  EXPECT_EQ(host_->Ownership().Leaks().size(), 2u);
  EXPECT_EQ(S(svc::kString, mth::kFreeString, buffer), 0);
  EXPECT_EQ(S(svc::kString, mth::kFreeString, copy), 0);
}

TEST_F(HostTest, OwnershipRecordsForeignDoubleAndWrongKindFreesAndLeaks) {
  char local[8] = "stack";
  EXPECT_NE(S(svc::kString, mth::kFreeString, local), 0);
  char* text = nullptr;
  S(svc::kString, mth::kAllocString, static_cast<void*>(&text), uint32_t{4});
  EXPECT_EQ(S(svc::kString, mth::kFreeString, text), 0);
  EXPECT_NE(S(svc::kString, mth::kFreeString, text), 0);
  void* block = nullptr;
  ASSERT_EQ(S(svc::kMemory, mth::kAllocMemory, uint32_t{12}, static_cast<void*>(&block)), 0);
  EXPECT_NE(S(svc::kString, mth::kFreeString, static_cast<char*>(block)), 0);  // wrong kind
  EXPECT_NE(S(svc::kList, mth::kDisposeList, uint32_t{12345}), 0);

  std::vector<refhost::Fault> faults = TakeFaults();
  ASSERT_EQ(faults.size(), 4u);
  EXPECT_EQ(faults[0].what, "foreign free");
  EXPECT_EQ(faults[1].what, "double free");
  EXPECT_EQ(faults[2].what, "wrong-kind free");
  EXPECT_EQ(faults[3].what, "bad list handle");
  // The wrongly freed block is still the plug-in's, and a leak until it goes back right.
  std::vector<refhost::Allocation> leaks = host_->Ownership().Leaks();
  ASSERT_EQ(leaks.size(), 1u);
  EXPECT_EQ(leaks[0].kind, refhost::AllocationKind::kMemory);
  EXPECT_EQ(leaks[0].size, 12u);
  EXPECT_NE(host_->Ownership().Report().find("memory block of 12 bytes"), std::string::npos);
  EXPECT_EQ(S(svc::kMemory, mth::kFreeMemory, block), 0);
  EXPECT_TRUE(host_->Ownership().Leaks().empty());
}

TEST_F(HostTest, AllocationsNameTheInstanceWhoseCallbackMadeThem) {
  uint32_t object = host_->AddObject(0, "o");
  refhost::Instance* probe = host_->Create("Probe", object);  // allocates a 16-byte note
  std::vector<refhost::Allocation> leaks = host_->Ownership().Leaks();
  ASSERT_EQ(leaks.size(), 1u);
  EXPECT_EQ(leaks[0].madeBy, probe->Label());
  EXPECT_EQ(leaks[0].size, 16u);
  host_->Destroy(probe);  // Destruct gives it back
  EXPECT_TRUE(host_->Ownership().Leaks().empty());
}

TEST_F(HostTest, ListsKeepFixedSizeItemsAtPositionsFromOne) {
  uint32_t list = 0;
  ASSERT_EQ(S(svc::kList, mth::kCreateList, uint32_t{6}, static_cast<void*>(&list)), 0);
  ASSERT_NE(list, 0u);
  auto item = [](int32_t v) { return testing_support::Integer(v); };
  IntegerValue a = item(1), b = item(2), c = item(3), out{};
  EXPECT_EQ(S(svc::kList, mth::kAppendListItem, list, static_cast<const void*>(&a)), 0);
  EXPECT_EQ(S(svc::kList, mth::kAppendListItem, list, static_cast<const void*>(&c)), 0);
  EXPECT_EQ(S(svc::kList, mth::kInsertListItem, list, uint32_t{2}, static_cast<const void*>(&b)),
            0);
  uint32_t count = 0;
  EXPECT_EQ(S(svc::kList, mth::kListCount, list, static_cast<void*>(&count)), 0);
  EXPECT_EQ(count, 3u);
  for (uint32_t p = 1; p <= 3; ++p) {
    EXPECT_EQ(S(svc::kList, mth::kGetListItem, list, p, static_cast<void*>(&out)), 0);
    EXPECT_EQ(Get(out.value), static_cast<int32_t>(p));
  }
  // Boundaries: position 0, past the end; insert may go one past the end.
  EXPECT_NE(S(svc::kList, mth::kGetListItem, list, uint32_t{0}, static_cast<void*>(&out)), 0);
  EXPECT_NE(S(svc::kList, mth::kGetListItem, list, uint32_t{4}, static_cast<void*>(&out)), 0);
  EXPECT_NE(S(svc::kList, mth::kInsertListItem, list, uint32_t{5}, static_cast<const void*>(&a)),
            0);
  EXPECT_EQ(S(svc::kList, mth::kInsertListItem, list, uint32_t{4}, static_cast<const void*>(&a)),
            0);
  EXPECT_NE(S(svc::kList, mth::kDeleteListItem, list, uint32_t{5}), 0);
  EXPECT_EQ(S(svc::kList, mth::kDeleteListItem, list, uint32_t{1}), 0);
  EXPECT_EQ(S(svc::kList, mth::kSetListItem, list, uint32_t{1}, static_cast<const void*>(&c)), 0);
  EXPECT_EQ(S(svc::kList, mth::kGetListItem, list, uint32_t{1}, static_cast<void*>(&out)), 0);
  EXPECT_EQ(Get(out.value), 3);
  EXPECT_EQ(S(svc::kList, mth::kClearList, list), 0);
  EXPECT_EQ(S(svc::kList, mth::kListCount, list, static_cast<void*>(&count)), 0);
  EXPECT_EQ(count, 0u);

  // A list not disposed is a leak; disposing twice is a fault; a disposed handle is dead.
  ASSERT_EQ(host_->Ownership().Leaks().size(), 1u);
  EXPECT_EQ(host_->Ownership().Leaks()[0].kind, refhost::AllocationKind::kList);
  EXPECT_EQ(S(svc::kList, mth::kDisposeList, list), 0);
  EXPECT_NE(S(svc::kList, mth::kDisposeList, list), 0);
  EXPECT_NE(S(svc::kList, mth::kAppendListItem, list, static_cast<const void*>(&a)), 0);
  std::vector<refhost::Fault> faults = TakeFaults();
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0].what, "double free");
  EXPECT_EQ(faults[1].what, "bad list handle");
  EXPECT_NE(S(svc::kList, mth::kCreateList, uint32_t{0}, static_cast<void*>(&list)), 0);
}

TEST_F(HostTest, RandomIntegersAreInclusiveAndRepeatableBySeed) {
  auto draw = [](refhost::Host& host, int n) {
    std::vector<int32_t> values;
    for (int i = 0; i < n; ++i) {
      int32_t v = 0;
      CallHostMethod(host.ServiceObject(svc::kSystem), 1, mth::kRandomInteger, int32_t{-2},
                     int32_t{2}, static_cast<void*>(&v));
      values.push_back(v);
    }
    return values;
  };
  refhost::Host a(42), b(42), c(43);
  std::vector<int32_t> first = draw(a, 200);
  EXPECT_EQ(first, draw(b, 200));
  EXPECT_NE(first, draw(c, 200));
  bool seen[5] = {};
  for (int32_t v : first) {
    ASSERT_GE(v, -2);
    ASSERT_LE(v, 2);
    seen[v + 2] = true;
  }
  for (bool s : seen) EXPECT_TRUE(s);
  int32_t v = 77;
  EXPECT_EQ(S(svc::kSystem, mth::kRandomInteger, int32_t{5}, int32_t{5}, static_cast<void*>(&v)),
            0);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(S(svc::kSystem, mth::kRandomInteger, int32_t{6}, int32_t{5}, static_cast<void*>(&v)),
            1);
  EXPECT_EQ(v, 5);
}

TEST_F(HostTest, SystemServiceRecordsCursorsVisitsAndResolvesFilePaths) {
  MessageIdValue id = testing_support::MessageId(1802, 4);
  EXPECT_EQ(S(svc::kSystem, mth::kVisitMessageId, uint32_t{0}, uint32_t{11}, uint32_t{22},
              static_cast<const void*>(&id)),
            0);
  ASSERT_EQ(host_->Visits().size(), 1u);
  EXPECT_EQ(host_->Visits()[0].a, 11u);
  EXPECT_EQ(host_->Visits()[0].b, 22u);
  EXPECT_EQ(host_->Visits()[0].id, 1802u);
  EXPECT_EQ(host_->Visits()[0].second, 4u);
  EXPECT_EQ(S(svc::kSystem, mth::kSetCursor, static_cast<void*>(nullptr), int32_t{3}), 0);
  ASSERT_EQ(host_->Cursors().size(), 1u);
  EXPECT_EQ(host_->Cursors()[0].cursor, 3);

  char out[256];
  host_->SetFileFolder("/data/title");
  EXPECT_EQ(
      S(svc::kSystem, mth::kResolveFilePath, static_cast<void*>(nullptr), "art\\pic.bmp", out), 0);
  EXPECT_STREQ(out, "/data/title/art/pic.bmp");
  EXPECT_EQ(S(svc::kSystem, mth::kResolveFilePath, static_cast<void*>(nullptr), "/abs.bmp", out),
            0);
  EXPECT_STREQ(out, "/abs.bmp");
  std::string longName(300, 'x');
  EXPECT_NE(
      S(svc::kSystem, mth::kResolveFilePath, static_cast<void*>(nullptr), longName.c_str(), out),
      0);
  EXPECT_STREQ(out, "");
}

}  // namespace

namespace {

TEST_F(HostTest, ListsRunOutWithTheRestOfMemory) {
  const uint32_t before = host_->AllocationRequests();
  host_->FailAllocations(1, 1);
  uint32_t granted = 0, refused = 7;
  EXPECT_EQ(S(svc::kList, mth::kCreateList, uint32_t{6}, static_cast<void*>(&granted)), 0);
  EXPECT_NE(S(svc::kList, mth::kCreateList, uint32_t{6}, static_cast<void*>(&refused)), 0);
  EXPECT_EQ(refused, 0u);
  EXPECT_EQ(host_->RefusedAllocations(), 1u);
  EXPECT_EQ(host_->AllocationRequests() - before, 2u);
  EXPECT_EQ(S(svc::kList, mth::kDisposeList, granted), 0);
}

TEST_F(HostTest, AHostCallFailsOnPurposeOnceAtTheNthCallOfItsKind) {
  host_->CountCallsByMethod(true);
  char text[] = "abc";
  int32_t length = -1;
  // The second StringLength fails without writing its output; the others are done.
  host_->FailHostCall("StringService.StringLength", 2);
  EXPECT_EQ(S(svc::kString, mth::kStringLength, static_cast<void*>(&length), text), 0);
  EXPECT_EQ(length, 3);
  length = -1;
  EXPECT_EQ(S(svc::kString, mth::kStringLength, static_cast<void*>(&length), text),
            refhost::kInjectedFailure);
  EXPECT_EQ(length, -1);
  EXPECT_TRUE(host_->InjectedFailureHappened());
  EXPECT_EQ(S(svc::kString, mth::kStringLength, static_cast<void*>(&length), text), 0);
  EXPECT_EQ(length, 3);
  // A call that gives something back still does, and only answers the failure.
  char* buffer = nullptr;
  ASSERT_EQ(S(svc::kString, mth::kAllocString, static_cast<void*>(&buffer), uint32_t{8}), 0);
  host_->FailHostCall("StringService.FreeString", 1);
  EXPECT_EQ(S(svc::kString, mth::kFreeString, buffer), refhost::kInjectedFailure);
  EXPECT_TRUE(host_->Ownership().Leaks().empty());
  host_->CountCallsByMethod(false);
  EXPECT_EQ(host_->CallsByMethod().at("StringService.StringLength"), 3u);
  EXPECT_EQ(host_->CallsByMethod().at("StringService.FreeString"), 1u);
}

}  // namespace
