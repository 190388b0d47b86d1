// The Windows DLL loader: a DLL made byte by byte (pe_test_dll.h) mapped, relocated, bound,
// attached and run; the same DLL broken one field at a time and refused with its reason; and
// the deliverables loaded into the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

#include "host/host.h"
#include "host/pe/module.h"
#include "host/pe/stand_ins.h"
#include "host/pe/thread_block.h"
#include "host/pe/trap.h"
#include "tests/host/pe_test_dll.h"

namespace {

using namespace pe_testing;
namespace pe = refhost::pe;

using Function = uint32_t (*)();

Function Export(pe::Module& module, const std::string& name) {
  for (auto& [exported, address] : module.Entries()) {
    if (exported == name) return reinterpret_cast<Function>(address);
  }
  ADD_FAILURE() << "no export " << name;
  return [] { return 0u; };
}

uint32_t Call(pe::Module& module, const std::string& name) {
  return Export(module, name)();
}

uint32_t WordAt(pe::Image& image, uint32_t rva) {
  uint32_t word;
  std::memcpy(&word, image.At(rva), 4);
  return word;
}

std::unique_ptr<pe::Module> MapOrFail(const std::vector<uint8_t>& bytes) {
  std::string error;
  auto module = pe::Module::Map("/tmp/test.dll", bytes, &error);
  EXPECT_NE(module, nullptr) << error;
  return module;
}

TEST(PeLoader, MapsRelocatesBindsAttachesAndRunsADll) {
  TestDll dll;
  auto first = MapOrFail(dll.Bytes());
  auto second = MapOrFail(dll.Bytes());  // the preferred base is taken now: relocated
  ASSERT_TRUE(first && second);
  EXPECT_FALSE(first->GetImage().Relocated());
  EXPECT_TRUE(second->GetImage().Relocated());
  for (pe::Module* module : {first.get(), second.get()}) {
    pe::Image& image = module->GetImage();
    std::string error;
    ASSERT_TRUE(module->Attach(&error)) << error;
    // Exports by name; absolute addresses point into this copy, wherever it landed.
    ASSERT_EQ(module->Entries().size(), 4u);
    EXPECT_EQ(module->Entries()[0].first, "CallMissing");
    EXPECT_EQ(Call(*module, "DataAddress"), reinterpret_cast<uintptr_t>(image.At(kDataWord)));
    // The TLS callback ran before DllMain, DllMain saw DLL_PROCESS_ATTACH, the TLS index was
    // written and its block holds the template.
    EXPECT_EQ(WordAt(image, kCounter), 1u);
    EXPECT_EQ(WordAt(image, kReason), pe::kProcessAttach);
    void* block = pe::TlsBlock(WordAt(image, kTlsIndex));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(static_cast<const char*>(block), "TLS");
    // The thread information block through %fs, as Windows code reads it.
    EXPECT_NE(pe::ReadThreadBlockSelf(), 0u);
    EXPECT_EQ(Call(*module, "ThreadBlock"), pe::ReadThreadBlockSelf());
    // Imports: one stand-in (stdcall, through the address table), one trap.
    ASSERT_EQ(image.Imports().size(), 2u);
    EXPECT_TRUE(image.Imports()[0].standIn);
    EXPECT_FALSE(image.Imports()[1].standIn);
    pe::SetLastError(1234);
    EXPECT_EQ(Call(*module, "LastError"), 1234u);
    std::string reason;
    Function missing = Export(*module, "CallMissing");  // nothing of the host's on the way
    EXPECT_FALSE(pe::RunGuarded([&] { missing(); }, &reason));
    EXPECT_EQ(reason,
              "test.dll called KERNEL32!Missing, which the reference host does not provide");
    EXPECT_EQ(image.Failure(), reason);
    // Detach: DllMain first, then the TLS callback.
    ASSERT_TRUE(module->Detach(&error)) << error;
    EXPECT_EQ(WordAt(image, kReason), pe::kProcessDetach);
    EXPECT_EQ(WordAt(image, kCounter), 2u);
  }
}

TEST(PeLoader, SectionsGetTheirProtectionsAndVirtualQueryReportsThem) {
  TestDll dll;
  auto module = MapOrFail(dll.Bytes());
  ASSERT_TRUE(module);
  pe::Image& image = module->GetImage();
  EXPECT_EQ(image.Protection(0), pe::page::kReadOnly);  // headers
  EXPECT_EQ(image.Protection(kTextRva), pe::page::kExecuteRead);
  EXPECT_EQ(image.Protection(kRdataRva), pe::page::kReadOnly);
  EXPECT_EQ(image.Protection(kDataRva), pe::page::kReadWrite);
  // KERNEL32's VirtualQuery and VirtualProtect, called as the runtime relocator calls them.
  using Query = uint32_t(__attribute__((stdcall))*)(const void*, void*, uint32_t);
  using Protect = int32_t(__attribute__((stdcall))*)(void*, uint32_t, uint32_t, uint32_t*);
  auto query = reinterpret_cast<Query>(pe::FindStandIn("kernel32", "VirtualQuery"));
  auto protect = reinterpret_cast<Protect>(pe::FindStandIn("KERNEL32.DLL", "VirtualProtect"));
  ASSERT_TRUE(query && protect);
  uint32_t info[7] = {};
  ASSERT_EQ(query(image.At(kTextRva + 5), info, sizeof info), 28u);
  EXPECT_EQ(info[0], reinterpret_cast<uintptr_t>(image.At(kTextRva)));
  EXPECT_EQ(info[1], reinterpret_cast<uintptr_t>(image.Base()));
  EXPECT_EQ(info[3], 0x1000u);
  EXPECT_EQ(info[5], pe::page::kExecuteRead);
  uint32_t old = 0;
  ASSERT_EQ(protect(image.At(kTextRva), 16, pe::page::kExecuteReadWrite, &old), 1);
  EXPECT_EQ(old, pe::page::kExecuteRead);
  *static_cast<uint8_t*>(image.At(kTextRva + 0x800)) = 0x90;  // writable now
  ASSERT_EQ(protect(image.At(kTextRva), 16, old, &old), 1);
  EXPECT_EQ(image.Protection(kTextRva), pe::page::kExecuteRead);
  int local = 0;
  EXPECT_EQ(query(&local, info, sizeof info), 0u);  // not in an image
  EXPECT_EQ(protect(image.At(kTextRva), 16, 0x1234, &old), 0);
}

TEST(PeLoader, AnEntryPointThatAnswersFalseIsRefusedAndDetached) {
  TestDll dll;
  dll.Put(kDllMain, {0x8B, 0x44, 0x24, 0x08, 0xA3});      // remembers the reason as before,
  dll.Put(kDllMain + 9, {0x31, 0xC0, 0xC2, 0x0C, 0x00});  // then answers FALSE
  auto module = MapOrFail(dll.Bytes());
  ASSERT_TRUE(module);
  std::string error;
  EXPECT_FALSE(module->Attach(&error));
  EXPECT_EQ(error, "test.dll's entry point answered FALSE to DLL_PROCESS_ATTACH");
  EXPECT_EQ(WordAt(module->GetImage(), kReason), pe::kProcessDetach);
  EXPECT_FALSE(module->Attached());
}

// One field of the DLL broken per case; each is refused with its reason, never followed.
TEST(PeLoader, MalformedDllsAreRefusedWithTheirReason) {
  struct Case {
    const char* what;
    std::function<void(TestDll&)> breakIt;
    const char* reason;
  };
  const uint32_t relocationSize = TestDll().Get<uint32_t>(TestDll().DirectoryAt(5) + 4);
  const Case cases[] = {
      {"cut in the MS-DOS header", [](TestDll& d) { d.Bytes().resize(10); }, "cut short"},
      {"cut in the section table", [](TestDll& d) { d.Bytes().resize(0x160); }, "cut short"},
      {"cut in a section", [](TestDll& d) { d.Bytes().resize(0x2800); },
       "section .rdata's data lies past the end"},
      {"no PE signature", [](TestDll& d) { d.Put<uint32_t>(0x40, 0x4551); }, "no PE signature"},
      {"PE header past the end", [](TestDll& d) { d.Put<uint32_t>(60, 0x7FFFFFF0); }, "cut short"},
      {"64-bit machine", [](TestDll& d) { d.Put<uint16_t>(d.FileField(0), kMachineAmd64); },
       "64-bit"},
      {"PE32+", [](TestDll& d) { d.Put<uint16_t>(d.OptionalField(0), kPe32PlusMagic); },
       "64-bit (PE32+)"},
      {"an EXE", [](TestDll& d) { d.Put<uint16_t>(d.FileField(18), kExecutableImage | 0x0100); },
       "it is an EXE, not a DLL"},
      {"too many directories",
       [](TestDll& d) {
         d.Put<uint32_t>(d.OptionalField(offsetof(OptionalHeader32, numberOfRvaAndSizes)), 17);
       },
       "data directories"},
      {"no sections", [](TestDll& d) { d.Put<uint16_t>(d.FileField(2), 0); }, "no sections"},
      {"section outside the image",
       [](TestDll& d) { d.Put<uint32_t>(d.SectionField(3, 8), 0x10000); },
       "section .reloc (RVA 0x4000, 65536 bytes) lies outside the image"},
      {"sections overlapping", [](TestDll& d) { d.Put<uint32_t>(d.SectionField(1, 12), 0x1800); },
       "section .rdata overlaps section .text"},
      {"entry point in data", [](TestDll& d) { d.Put<uint32_t>(d.OptionalField(16), kDataRva); },
       "not in a code section"},
      {"relocation outside the image", [](TestDll& d) { d.Put<uint32_t>(kRelocRva, kImageSize); },
       "a base relocation at RVA 0x5005 lies outside the image"},
      {"relocation block of size 0", [](TestDll& d) { d.Put<uint32_t>(kRelocRva + 4, 0); },
       "impossible size 0"},
      {"relocation block past its table",
       [=](TestDll& d) { d.Put<uint32_t>(kRelocRva + 4, relocationSize + 8); }, "impossible size"},
      {"64-bit relocation", [](TestDll& d) { d.Put<uint16_t>(kRelocRva + 8, (10 << 12) | 5); },
       "type 10"},
      {"import table without end",
       [](TestDll& d) {
         // Descriptors all the way to the end of the image, none empty.
         d.Put<uint32_t>(d.DirectoryAt(1), kRelocRva + 0xF00);
         for (uint32_t at = kRelocRva + 0xF00; at + 20 <= kImageSize; at += 20) {
           d.Put<uint32_t>(at + 12, kImports + 0xA0);
           d.Put<uint32_t>(at + 16, kIat);
         }
       },
       "its import table has no end"},
      {"import table that loops",
       [](TestDll& d) {
         // The same DLL named over and over, as a table that turns back on itself would
         // (written over the relocations, which this copy then does without).
         d.Put<uint32_t>(d.DirectoryAt(5) + 4, 0);
         d.Put<uint32_t>(d.DirectoryAt(1), kDataRva + 0x400);
         for (uint32_t i = 0; i < 300; ++i) {
           const uint32_t at = kDataRva + 0x400 + 20 * i;
           d.Put<uint32_t>(at, kLookups);
           d.Put<uint32_t>(at + 12, kImports + 0xA0);
           d.Put<uint32_t>(at + 16, kIat);
         }
       },
       "more than 256 DLLs (does it loop?)"},
      {"import that names no DLL", [](TestDll& d) { d.Put<uint32_t>(kImports + 12, 0); },
       "import descriptor 0 names no DLL"},
      {"import lookups past the end", [](TestDll& d) { d.Put<uint32_t>(kImports, kImageSize - 2); },
       "run past the end of the image"},
      {"import name outside the image", [](TestDll& d) { d.Put<uint32_t>(kLookups, 0x7FFFFFF0); },
       "has its name outside the image"},
      {"export name outside the image",
       [](TestDll& d) { d.Put<uint32_t>(kExports + 0x50, 0x00FFFFFF); },
       "export name 0 points outside the image"},
      {"export name without its end inside the image",
       [](TestDll& d) {
         d.Put<uint32_t>(kExports + 0x50, kImageSize - 4);
         d.Put<uint32_t>(kImageSize - 4, 0x41414141);
       },
       "export name 0 points outside the image"},
      {"export table outside the image",
       [](TestDll& d) { d.Put<uint32_t>(kExports + 28, kImageSize - 8); },
       "export address table lies outside the image"},
      {"export outside the image", [](TestDll& d) { d.Put<uint32_t>(kExports + 0x40, 0x00FFFFFF); },
       "export CallMissing points outside the image"},
      {"forwarded export", [](TestDll& d) { d.Put<uint32_t>(kExports + 0x40, kExports + 0x90); },
       "export CallMissing is forwarded"},
      {"export ordinal past the table", [](TestDll& d) { d.Put<uint16_t>(kExports + 0x60, 9); },
       "ordinal lies past"},
      {"TLS callback in data",
       [](TestDll& d) { d.Put<uint32_t>(kTlsCallbacks, kImageBase + kDataRva); },
       "TLS callback 0 is not in a code section"},
      {"TLS callback list without end",
       [](TestDll& d) {
         d.Put<uint32_t>(kTls + 12, kImageBase + kImageSize - 4);
         d.Put<uint32_t>(kImageSize - 4, kImageBase + kTlsCallback);
       },
       "TLS callback list has no end"},
      {"TLS index outside the image", [](TestDll& d) { d.Put<uint32_t>(kTls + 8, 16); },
       "TLS index lies outside the image"},
      {"directory outside the image",
       [](TestDll& d) { d.Put<uint32_t>(d.DirectoryAt(0), kImageSize); },
       "data directory 0 (RVA 0x5000, 256 bytes) lies outside the image"},
  };
  for (const Case& c : cases) {
    TestDll dll;
    c.breakIt(dll);
    std::string error;
    EXPECT_EQ(pe::Module::Map("/tmp/test.dll", dll.Bytes(), &error), nullptr) << c.what;
    EXPECT_NE(error.find("/tmp/test.dll is not a usable Windows DLL: "), std::string::npos)
        << c.what << ": " << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
  }
}

TEST(PeLoader, ADllWithoutRelocationsLoadsOnlyAtItsPreferredBase) {
  TestDll dll;
  dll.Put<uint16_t>(dll.FileField(18), kExecutableImage | kDllImage | kRelocsStripped);
  auto first = MapOrFail(dll.Bytes());
  ASSERT_TRUE(first);
  std::string error;
  EXPECT_EQ(pe::Module::Map("/tmp/test.dll", dll.Bytes(), &error), nullptr);
  EXPECT_NE(error.find("preferred base 0x58000000 is taken and it has no relocations"),
            std::string::npos)
      << error;
}

TEST(PeLoader, TheHostLoadsTheDeliverableDllsAndRefusesBrokenFilesWithExitReasons) {
#ifdef DLL_DIR
  refhost::Host host;
  refhost::LoadResult tavin = host.Load(std::string(DLL_DIR) + "/TAVIN.dll");
  ASSERT_TRUE(tavin.ok) << tavin.Summary();
  for (const char* name : {"MediaCue", "Quit"}) {
    EXPECT_NE(std::find(tavin.classes.begin(), tavin.classes.end(), name), tavin.classes.end());
  }
  // Every import of the deliverables has a stand-in: the runtime's KERNEL32 and msvcrt, and
  // the Win32 surface from the stand-in library the Linux builds link.
  for (const char* name : {"/TAVIN.dll", "/ostrel.dll"}) {
    std::ifstream file(std::string(DLL_DIR) + name, std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    std::string error;
    auto module = pe::Module::Map(name, image, &error);
    ASSERT_NE(module, nullptr) << error;
    EXPECT_GE(module->GetImage().Imports().size(), 20u);
    for (const pe::Import& import : module->GetImage().Imports()) {
      EXPECT_TRUE(import.standIn) << name << " imports " << import.dll << "!" << import.symbol;
    }
  }
  refhost::Instance* quit = host.Create("Quit", host.AddObject(0, "a"));
  ASSERT_NE(quit, nullptr);
  host.Destroy(quit);
  // A truncated copy of the real thing.
  std::ifstream in(std::string(DLL_DIR) + "/TAVIN.dll", std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string cut = ::testing::TempDir() + "cut.dll";
  std::ofstream(cut, std::ios::binary).write(bytes.data(), 0x300);
  refhost::LoadResult broken = host.Load(cut);
  EXPECT_FALSE(broken.ok);
  EXPECT_NE(broken.error.find("is not a usable Windows DLL: the file is cut short"),
            std::string::npos)
      << broken.error;
  std::remove(cut.c_str());
  EXPECT_EQ(host.StopReason(), "");
#else
  GTEST_SKIP() << "this build made no DLLs";
#endif
}

// A DLL calling an import with no stand-in from a callback stops the host: that call answers
// "not registered", every later one too, and the reason names the DLL and the import.
TEST(PeLoader, AnImportWithoutStandInStopsTheHostCleanly) {
#ifdef DLL_DIR
  refhost::Host host;
  refhost::LoadResult stray = host.Load(std::string(DLL_DIR) + "/testdata/stray_plugin.dll");
  ASSERT_TRUE(stray.ok) << stray.Summary();
  refhost::Instance* instance = host.Create("Stray", host.AddObject(0, "a"));
  ASSERT_NE(instance, nullptr);
  uint8_t value[16] = {};
  EXPECT_EQ(instance->GetAttribute("ticks", nullptr, value), refhost::kSlotNotRegistered);
  EXPECT_EQ(host.StopReason(),
            "stray_plugin.dll called KERNEL32!GetTickCount, which the reference host does not "
            "provide");
  EXPECT_EQ(instance->GetAttribute("other", nullptr, value), refhost::kSlotNotRegistered);
  host.DestroyAll();
  EXPECT_TRUE(host.Ownership().Faults().empty());
  // abort() ends the call the same way, in a fresh host.
  refhost::Host other;
  ASSERT_TRUE(other.Load(std::string(DLL_DIR) + "/testdata/stray_plugin.dll").ok);
  refhost::Instance* again = other.Create("Stray", other.AddObject(0, "b"));
  ASSERT_NE(again, nullptr);
  again->SetAttribute("abort", nullptr, value);
  EXPECT_EQ(other.StopReason(), "stray_plugin.dll called abort");
#else
  GTEST_SKIP() << "this build made no DLLs";
#endif
}

}  // namespace
