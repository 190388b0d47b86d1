// A small PE32 i386 DLL made byte by byte, so the DLL loader's tests can break one field at a
// time. Sections sit in the file at their RVAs:
//   .text  0x1000  DllMain (writes the reason to `kReason`), four exports, a TLS callback
//   .rdata 0x2000  export directory, import table (KERNEL32: GetLastError, Missing), TLS directory
//   .data  0x3000  the words the code writes, the import address table, TLS template and list
//   .reloc 0x4000  a relocation for every absolute address above
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/pe/format.h"

namespace pe_testing {

using namespace refhost::pe;

constexpr uint32_t kImageBase = 0x58000000;
constexpr uint32_t kImageSize = 0x5000;
constexpr uint32_t kFileHeaderAt = 0x44;
constexpr uint32_t kOptionalAt = 0x58;
constexpr uint32_t kSectionsAt = kOptionalAt + sizeof(OptionalHeader32);
constexpr uint32_t kTextRva = 0x1000, kRdataRva = 0x2000, kDataRva = 0x3000, kRelocRva = 0x4000;
// Code.
constexpr uint32_t kDllMain = 0x1000, kDataAddress = 0x1020, kCallMissing = 0x1030,
                   kThreadBlock = 0x1040, kTlsCallback = 0x1050, kLastError = 0x1060;
// Data.
constexpr uint32_t kReason = 0x3000, kDataWord = 0x3004, kCounter = 0x3008, kTlsIndex = 0x300C,
                   kIat = 0x3100, kTlsTemplate = 0x3200, kTlsCallbacks = 0x3210;
// Directories.
constexpr uint32_t kExports = 0x2000, kImports = 0x2200, kLookups = 0x2240, kTls = 0x2300;

class TestDll {
 public:
  TestDll() : bytes_(kImageSize, 0) {
    Headers();
    Code();
    Exports();
    Imports();
    Tls();
    Relocations();
  }

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& Bytes() { return bytes_; }

  template <typename T>
  void Put(uint32_t at, T value) {
    std::memcpy(&bytes_[at], &value, sizeof value);
  }
  template <typename T>
  T Get(uint32_t at) const {
    T value;
    std::memcpy(&value, &bytes_[at], sizeof value);
    return value;
  }
  void PutText(uint32_t at, const std::string& text) {
    std::memcpy(&bytes_[at], text.c_str(), text.size() + 1);
  }
  void Put(uint32_t at, std::vector<uint8_t> code) {
    std::memcpy(&bytes_[at], code.data(), code.size());
  }
  // Header fields by their place in the records.
  uint32_t FileField(size_t offset) const { return kFileHeaderAt + static_cast<uint32_t>(offset); }
  uint32_t OptionalField(size_t offset) const {
    return kOptionalAt + static_cast<uint32_t>(offset);
  }
  uint32_t SectionField(int section, size_t offset) const {
    return kSectionsAt + 40 * section + static_cast<uint32_t>(offset);
  }
  uint32_t DirectoryAt(uint32_t index) const {
    return OptionalField(offsetof(OptionalHeader32, directories)) + 8 * index;
  }

 private:
  static uint32_t Va(uint32_t rva) { return kImageBase + rva; }

  void Headers() {
    Put<uint16_t>(0, kDosMagic);
    Put<uint32_t>(offsetof(DosHeader, peOffset), 0x40);
    Put<uint32_t>(0x40, kPeSignature);
    FileHeader file{};
    file.machine = kMachineI386;
    file.numberOfSections = 4;
    file.sizeOfOptionalHeader = sizeof(OptionalHeader32);
    file.characteristics = kExecutableImage | kDllImage | 0x0100;  // 32-bit machine
    Put(kFileHeaderAt, file);
    OptionalHeader32 optional{};
    optional.magic = kPe32Magic;
    optional.addressOfEntryPoint = kDllMain;
    optional.imageBase = kImageBase;
    optional.sectionAlignment = 0x1000;
    optional.fileAlignment = 0x200;
    optional.sizeOfImage = kImageSize;
    optional.sizeOfHeaders = 0x400;
    optional.numberOfRvaAndSizes = kDirectoryCount;
    optional.directories[kExportDirectory] = {kExports, 0x100};
    optional.directories[kImportDirectory] = {kImports, 40};
    optional.directories[kTlsDirectory] = {kTls, sizeof(TlsDirectory32)};
    optional.directories[kBaseRelocationDirectory] = {kRelocRva, 0};  // set by Relocations()
    Put(kOptionalAt, optional);
    const char* names[] = {".text", ".rdata", ".data", ".reloc"};
    const uint32_t flags[] = {0x60000020, 0x40000040, 0xC0000040, 0x42000040};
    for (int i = 0; i < 4; ++i) {
      SectionHeader section{};
      std::memcpy(section.name, names[i], std::strlen(names[i]));
      section.virtualAddress = section.pointerToRawData = 0x1000 * (i + 1);
      section.virtualSize = section.sizeOfRawData = 0x1000;
      section.characteristics = flags[i];
      Put(kSectionsAt + 40 * i, section);
    }
  }

  void Code() {
    // DllMain(module, reason, reserved): remembers the reason, answers TRUE.
    Put(kDllMain, {0x8B, 0x44, 0x24, 0x08, 0xA3});
    Put<uint32_t>(kDllMain + 5, Va(kReason));
    Put(kDllMain + 9, {0xB8, 1, 0, 0, 0, 0xC2, 0x0C, 0x00});
    // DataAddress(): the address of kDataWord, an absolute address the relocations move.
    Put(kDataAddress, {0xB8});
    Put<uint32_t>(kDataAddress + 1, Va(kDataWord));
    Put(kDataAddress + 5, {0xC3});
    // CallMissing(): calls the import with no stand-in, through the import address table.
    Put(kCallMissing, {0xFF, 0x15});
    Put<uint32_t>(kCallMissing + 2, Va(kIat + 4));
    Put(kCallMissing + 6, {0xC3});
    // ThreadBlock(): %fs:0x18, the thread information block's own address.
    Put(kThreadBlock, {0x64, 0xA1, 0x18, 0, 0, 0, 0xC3});
    // The TLS callback counts its calls.
    Put(kTlsCallback, {0xFF, 0x05});
    Put<uint32_t>(kTlsCallback + 2, Va(kCounter));
    Put(kTlsCallback + 6, {0xB8, 1, 0, 0, 0, 0xC2, 0x0C, 0x00});
    // LastError(): KERNEL32!GetLastError through the import address table.
    Put(kLastError, {0xFF, 0x15});
    Put<uint32_t>(kLastError + 2, Va(kIat));
    Put(kLastError + 6, {0xC3});
    Put<uint32_t>(kDataWord, 0x1234);
  }

  void Exports() {
    const char* names[] = {"CallMissing", "DataAddress", "LastError", "ThreadBlock"};
    const uint32_t code[] = {kCallMissing, kDataAddress, kLastError, kThreadBlock};
    ExportDirectory table{};
    table.name = kExports + 0x90;
    table.base = 1;
    table.numberOfFunctions = table.numberOfNames = 4;
    table.addressOfFunctions = kExports + 0x40;
    table.addressOfNames = kExports + 0x50;
    table.addressOfNameOrdinals = kExports + 0x60;
    Put(kExports, table);
    PutText(kExports + 0x90, "test.dll");
    for (uint32_t i = 0; i < 4; ++i) {
      Put<uint32_t>(kExports + 0x40 + 4 * i, code[i]);
      Put<uint32_t>(kExports + 0x50 + 4 * i, kExports + 0xA0 + 0x10 * i);
      Put<uint16_t>(kExports + 0x60 + 2 * i, static_cast<uint16_t>(i));
      PutText(kExports + 0xA0 + 0x10 * i, names[i]);
    }
  }

  void Imports() {
    ImportDescriptor kernel32{};
    kernel32.originalFirstThunk = kLookups;
    kernel32.name = kImports + 0xA0;
    kernel32.firstThunk = kIat;
    Put(kImports, kernel32);  // the all-zero descriptor after it ends the table
    PutText(kImports + 0xA0, "KERNEL32.dll");
    const char* symbols[] = {"GetLastError", "Missing"};
    for (uint32_t i = 0; i < 2; ++i) {
      const uint32_t hintName = kImports + 0x60 + 0x20 * i;
      PutText(hintName + 2, symbols[i]);
      Put<uint32_t>(kLookups + 4 * i, hintName);
      Put<uint32_t>(kIat + 4 * i, hintName);
    }
  }

  void Tls() {
    TlsDirectory32 tls{};
    tls.startAddressOfRawData = Va(kTlsTemplate);
    tls.endAddressOfRawData = Va(kTlsTemplate + 4);
    tls.addressOfIndex = Va(kTlsIndex);
    tls.addressOfCallBacks = Va(kTlsCallbacks);
    tls.sizeOfZeroFill = 4;
    Put(kTls, tls);
    PutText(kTlsTemplate, "TLS");
    Put<uint32_t>(kTlsCallbacks, Va(kTlsCallback));
  }

  void Relocations() {
    const std::vector<uint32_t> at = {
        kDllMain + 5, kDataAddress + 1, kCallMissing + 2, kTlsCallback + 2, kLastError + 2,
        kTls,         kTls + 4,         kTls + 8,         kTls + 12,        kTlsCallbacks};
    uint32_t offset = kRelocRva;
    for (uint32_t page : {kTextRva, kRdataRva, kDataRva}) {
      std::vector<uint16_t> entries;
      for (uint32_t rva : at) {
        if (rva / 0x1000 * 0x1000 == page) {
          entries.push_back(static_cast<uint16_t>((kRelocationHighLow << 12) | (rva & 0xFFF)));
        }
      }
      if (entries.size() % 2 != 0) entries.push_back(0);  // blocks stay 4-byte aligned
      Put<uint32_t>(offset, page);
      Put<uint32_t>(offset + 4, static_cast<uint32_t>(8 + 2 * entries.size()));
      for (size_t i = 0; i < entries.size(); ++i) Put<uint16_t>(offset + 8 + 2 * i, entries[i]);
      offset += static_cast<uint32_t>(8 + 2 * entries.size());
    }
    Put<uint32_t>(DirectoryAt(kBaseRelocationDirectory) + 4, offset - kRelocRva);
  }

  std::vector<uint8_t> bytes_;
};

}  // namespace pe_testing
