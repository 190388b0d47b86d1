#include <cstdio>
#include <fstream>
#include <string>

#include "tests/host/host_test_support.h"

namespace {

bool Mentions(const std::vector<std::string>& lines, const std::string& a, const std::string& b) {
  for (const std::string& line : lines) {
    if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) return true;
  }
  return false;
}

TEST_F(HostTest, ProbeRegistersInItsOwnOrderWithHostMethodsInstalled) {
  const refhost::ClassInfo* info = host_->FindClass("Probe");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->usable);
  EXPECT_EQ(info->instanceSize, 40u);
  EXPECT_EQ(info->classFlags, 5u);
  EXPECT_EQ(info->interfaceName, "_QComponent");
  // The order the probe calls its registrations in, rows merged.
  const std::vector<std::pair<int, int>> expected = {{0, 7},  {0, 34}, {0, 8},  {0, 9},
                                                     {0, 10}, {0, 13}, {0, 14}, {0, 25},
                                                     {0, 22}, {0, 23}, {1, 0},  {1, 1}};
  ASSERT_EQ(info->slots.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(info->slots[i].row, expected[i].first) << i;
    EXPECT_EQ(info->slots[i].column, expected[i].second) << i;
  }
  // GetOwner and Listen are the host's, with flags 0 so the instance itself is `self`.
  const abi::MethodEntry* owner = info->Entry(0, abi::slot::kGetOwner);
  const abi::MethodEntry* listen = info->Entry(0, abi::slot::kListen);
  ASSERT_NE(owner, nullptr);
  ASSERT_NE(listen, nullptr);
  EXPECT_EQ(owner->flags, 0);
  EXPECT_EQ(listen->flags, 0);
  EXPECT_EQ(refhost::SlotName(0, 36), "ValidateEditorItem");
  EXPECT_EQ(refhost::SlotName(1, 1), "PositionChanged");
  EXPECT_EQ(refhost::SlotName(0, 0), "");
}

TEST_F(HostTest, EveryProtocolBreachIsRefusedWithItsReason) {
  refhost::LoadResult bad = host_->Load(BAD_PLUGIN_PATH);
  EXPECT_FALSE(bad.ok);
  EXPECT_TRUE(bad.error.empty()) << bad.error;
  EXPECT_TRUE(bad.classes.empty());
  const auto& e = bad.exportErrors;
  ASSERT_EQ(e.size(), 7u) << bad.Summary();
  EXPECT_TRUE(Mentions(e, "export Crashy does not follow the entry protocol", "crashed"));
  EXPECT_TRUE(Mentions(e, "Misnamed", "\"Other\""));
  EXPECT_TRUE(Mentions(e, "Huge", "more than 1 MiB"));
  EXPECT_TRUE(Mentions(e, "Empty", "no slot registered"));
  EXPECT_TRUE(Mentions(e, "Unnamed", "empty class name"));
  EXPECT_TRUE(Mentions(e, "WrongFace", "_QThing"));
  EXPECT_TRUE(Mentions(e, "Thief", "column 32"));
  // A refused class is known but cannot be instantiated.
  const refhost::ClassInfo* huge = host_->FindClass("Huge");
  ASSERT_NE(huge, nullptr);
  EXPECT_FALSE(huge->usable);
  EXPECT_EQ(host_->Create("Huge", 0), nullptr);
  EXPECT_EQ(host_->Create("NoSuchClass", 0), nullptr);
  // The host is still sound after a crash inside an entry.
  refhost::Instance* probe = host_->Create("Probe", host_->AddObject(0, "o"));
  ASSERT_NE(probe, nullptr);
}

TEST_F(HostTest, AFailingAllocatorMakesTheClassUnusableWithoutACrash) {
  refhost::Host other;
  refhost::LoadOptions options;
  options.failAllocator = true;
  refhost::LoadResult result = other.Load(PROBE_PLUGIN_PATH, options);
  EXPECT_FALSE(result.ok);
  ASSERT_EQ(result.exportErrors.size(), 1u);
  EXPECT_NE(result.exportErrors[0].find("allocator"), std::string::npos) << result.exportErrors[0];
  EXPECT_EQ(other.Create("Probe", 0), nullptr);
  // The library itself is fine: this host's probe still works.
  ASSERT_TRUE(host_->Load(PROBE_PLUGIN_PATH).ok);
  EXPECT_NE(host_->Create("Probe", 0), nullptr);
}

TEST_F(HostTest, FilesThatAreNotPluginLibrariesAreRefusedClearly) {
  refhost::LoadResult missing = host_->Load("/nonexistent/plug.so");
  EXPECT_NE(missing.error.find("cannot open"), std::string::npos) << missing.error;
  refhost::LoadResult text = host_->Load("/etc/passwd");
  EXPECT_NE(text.error.find("not an ELF file"), std::string::npos) << text.error;
  // A Windows build handed to the Linux host is named as such.
  const std::string dll = ::testing::TempDir() + "plug.dll";
  {
    std::ofstream file(dll, std::ios::binary);
    file << "MZ" << std::string(62, '\0');
  }
  refhost::LoadResult windows = host_->Load(dll);
  EXPECT_FALSE(windows.ok);
  EXPECT_NE(windows.error.find("Windows DLL"), std::string::npos) << windows.error;
  std::remove(dll.c_str());
  refhost::LoadResult wide = host_->Load("/bin/sh");  // the machine's own 64-bit binaries
  EXPECT_FALSE(wide.ok);
  EXPECT_FALSE(wide.error.empty());
}

TEST_F(HostTest, DescriptorsForSupportTestsCarryTheServicesAndAWorkingAllocator) {
  abi::PluginDescriptor d = host_->MakeDescriptor(1);
  EXPECT_EQ(d.phase, 1);
  EXPECT_EQ(d.hostServices, host_->ServicesRecord());
  abi::MethodEntry* table = d.allocator(&d, 7);
  ASSERT_NE(table, nullptr);
  for (int i = 0; i < 38; ++i) EXPECT_EQ(table[i].function, nullptr);
  auto** record = static_cast<void**>(host_->ServicesRecord());
  EXPECT_EQ(record[svc::kString], host_->ServiceObject(svc::kString));
  EXPECT_EQ(record[0], nullptr);
  EXPECT_EQ(record[3], nullptr);
}

}  // namespace
