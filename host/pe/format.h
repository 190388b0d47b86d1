// The PE/COFF records the DLL loader reads, laid out as a 32-bit (PE32) image holds them. All
// little-endian and byte-packed; the loader copies each out of the file or image with memcpy.
#pragma once

#include <cstddef>
#include <cstdint>

namespace refhost::pe {

constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;

// COFF file header characteristics.
constexpr uint16_t kRelocsStripped = 0x0001;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDllImage = 0x2000;

// Section characteristics.
constexpr uint32_t kSectionUninitializedData = 0x00000080;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionRead = 0x40000000;
constexpr uint32_t kSectionWrite = 0x80000000;

// Data directory indexes.
constexpr uint32_t kExportDirectory = 0;
constexpr uint32_t kImportDirectory = 1;
constexpr uint32_t kBaseRelocationDirectory = 5;
constexpr uint32_t kTlsDirectory = 9;
constexpr uint32_t kDirectoryCount = 16;

// Base relocation types (top four bits of each 16-bit entry).
constexpr uint16_t kRelocationAbsolute = 0;  // padding
constexpr uint16_t kRelocationHighLow = 3;   // add the delta to the 32-bit word

// An import lookup entry with this bit imports by ordinal (low 16 bits).
constexpr uint32_t kImportByOrdinal = 0x80000000;

// Why a DLL's entry point or TLS callback is called.
constexpr uint32_t kProcessDetach = 0;
constexpr uint32_t kProcessAttach = 1;

#pragma pack(push, 1)
// The MS-DOS stub header: only the magic and the offset of the PE signature matter.
struct DosHeader {
  uint16_t magic;
  uint8_t unused[58];
  uint32_t peOffset;  // e_lfanew
};
static_assert(sizeof(DosHeader) == 64);
static_assert(offsetof(DosHeader, peOffset) == 60);

// The COFF file header, right after the "PE\0\0" signature.
struct FileHeader {
  uint16_t machine;
  uint16_t numberOfSections;
  uint32_t timeDateStamp;
  uint32_t pointerToSymbolTable;
  uint32_t numberOfSymbols;
  uint16_t sizeOfOptionalHeader;
  uint16_t characteristics;
};
static_assert(sizeof(FileHeader) == 20);
static_assert(offsetof(FileHeader, sizeOfOptionalHeader) == 16);

struct DataDirectory {
  uint32_t rva;
  uint32_t size;
};
static_assert(sizeof(DataDirectory) == 8);

// The PE32 optional header with its full table of data directories; an image may declare fewer
// directories (numberOfRvaAndSizes), whose missing entries then read as empty.
struct OptionalHeader32 {
  uint16_t magic;
  uint8_t majorLinkerVersion;
  uint8_t minorLinkerVersion;
  uint32_t sizeOfCode;
  uint32_t sizeOfInitializedData;
  uint32_t sizeOfUninitializedData;
  uint32_t addressOfEntryPoint;
  uint32_t baseOfCode;
  uint32_t baseOfData;
  uint32_t imageBase;
  uint32_t sectionAlignment;
  uint32_t fileAlignment;
  uint16_t majorOperatingSystemVersion;
  uint16_t minorOperatingSystemVersion;
  uint16_t majorImageVersion;
  uint16_t minorImageVersion;
  uint16_t majorSubsystemVersion;
  uint16_t minorSubsystemVersion;
  uint32_t win32VersionValue;
  uint32_t sizeOfImage;
  uint32_t sizeOfHeaders;
  uint32_t checkSum;
  uint16_t subsystem;
  uint16_t dllCharacteristics;
  uint32_t sizeOfStackReserve;
  uint32_t sizeOfStackCommit;
  uint32_t sizeOfHeapReserve;
  uint32_t sizeOfHeapCommit;
  uint32_t loaderFlags;
  uint32_t numberOfRvaAndSizes;
  DataDirectory directories[kDirectoryCount];
};
static_assert(sizeof(OptionalHeader32) == 224);
static_assert(offsetof(OptionalHeader32, addressOfEntryPoint) == 16);
static_assert(offsetof(OptionalHeader32, imageBase) == 28);
static_assert(offsetof(OptionalHeader32, sectionAlignment) == 32);
static_assert(offsetof(OptionalHeader32, sizeOfImage) == 56);
static_assert(offsetof(OptionalHeader32, sizeOfHeaders) == 60);
static_assert(offsetof(OptionalHeader32, numberOfRvaAndSizes) == 92);
static_assert(offsetof(OptionalHeader32, directories) == 96);
constexpr size_t kOptionalHeaderFixedSize = offsetof(OptionalHeader32, directories);

struct SectionHeader {
  char name[8];
  uint32_t virtualSize;
  uint32_t virtualAddress;
  uint32_t sizeOfRawData;
  uint32_t pointerToRawData;
  uint32_t pointerToRelocations;
  uint32_t pointerToLinenumbers;
  uint16_t numberOfRelocations;
  uint16_t numberOfLinenumbers;
  uint32_t characteristics;
};
static_assert(sizeof(SectionHeader) == 40);
static_assert(offsetof(SectionHeader, characteristics) == 36);

// One imported DLL; the array ends with an all-zero descriptor.
struct ImportDescriptor {
  uint32_t originalFirstThunk;  // lookup table (0: use firstThunk)
  uint32_t timeDateStamp;
  uint32_t forwarderChain;
  uint32_t name;        // RVA of the DLL's name
  uint32_t firstThunk;  // the import address table the loader fills
};
static_assert(sizeof(ImportDescriptor) == 20);

struct ExportDirectory {
  uint32_t characteristics;
  uint32_t timeDateStamp;
  uint16_t majorVersion;
  uint16_t minorVersion;
  uint32_t name;
  uint32_t base;
  uint32_t numberOfFunctions;
  uint32_t numberOfNames;
  uint32_t addressOfFunctions;     // RVA of numberOfFunctions RVAs
  uint32_t addressOfNames;         // RVA of numberOfNames name RVAs, in ascending order
  uint32_t addressOfNameOrdinals;  // RVA of numberOfNames 16-bit indexes into the functions
};
static_assert(sizeof(ExportDirectory) == 40);
static_assert(offsetof(ExportDirectory, addressOfFunctions) == 28);

// The static thread-local storage of an image. Its fields are addresses (VAs), relocated with
// the image.
struct TlsDirectory32 {
  uint32_t startAddressOfRawData;
  uint32_t endAddressOfRawData;
  uint32_t addressOfIndex;
  uint32_t addressOfCallBacks;  // a null-terminated array of callback addresses
  uint32_t sizeOfZeroFill;
  uint32_t characteristics;
};
static_assert(sizeof(TlsDirectory32) == 24);

// A block of base relocations for one 4 KiB page, followed by 16-bit entries.
struct BaseRelocationBlock {
  uint32_t pageRva;
  uint32_t sizeOfBlock;  // header included
};
static_assert(sizeof(BaseRelocationBlock) == 8);
#pragma pack(pop)

}  // namespace refhost::pe
