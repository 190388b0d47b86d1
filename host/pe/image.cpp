// Mapping a PE32 DLL: the headers checked against the file, the sections copied to their
// addresses, base relocations, then imports, exports and TLS (image_directories.cpp), and the
// sections' protections last, once the loader has written everything it writes.
#include "host/pe/image.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/pe/format.h"
#include "host/pe/image_builder.h"
#include "host/pe/trap.h"

namespace refhost::pe {
namespace {

// The largest image the host maps: the plug-ins are a few hundred KiB.
constexpr uint32_t kMaxImageSize = 64u << 20;
constexpr uint16_t kMaxSections = 96;

std::vector<Image*>& Mapped() {
  static std::vector<Image*> images;
  return images;
}

uint32_t RoundUpToPage(uint32_t size) {
  return (size + page::kSize - 1) & ~(page::kSize - 1);
}

std::string SectionName(const SectionHeader& header) {
  std::string name;
  for (char c : header.name) {
    if (c == 0) break;
    name += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return name.empty() ? "(unnamed)" : name;
}

// The Windows protection a section's characteristics ask for.
uint32_t SectionProtection(uint32_t characteristics) {
  const bool execute = (characteristics & kSectionExecute) != 0;
  const bool write = (characteristics & kSectionWrite) != 0;
  if (execute) return write ? page::kExecuteReadWrite : page::kExecuteRead;
  return write ? page::kReadWrite : page::kReadOnly;
}

int PosixProtection(uint32_t protection) {
  switch (protection) {
    case page::kReadOnly:
      return PROT_READ;
    case page::kReadWrite:
    case page::kWriteCopy:
      return PROT_READ | PROT_WRITE;
    case page::kExecute:
    case page::kExecuteRead:
      return PROT_READ | PROT_EXEC;
    case page::kExecuteReadWrite:
    case page::kExecuteWriteCopy:
      return PROT_READ | PROT_WRITE | PROT_EXEC;
    default:
      return PROT_NONE;
  }
}

// The protection covering both: a page shared by two sections gets what each needs.
uint32_t Union(uint32_t a, uint32_t b) {
  if (a == page::kNoAccess) return b;
  const bool execute = a >= page::kExecute || b >= page::kExecute;
  const bool write = a == page::kReadWrite || a == page::kExecuteReadWrite ||
                     b == page::kReadWrite || b == page::kExecuteReadWrite;
  if (execute) return write ? page::kExecuteReadWrite : page::kExecuteRead;
  return write ? page::kReadWrite : page::kReadOnly;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

}  // namespace

// ---- Header checks.

bool ImageBuilder::ReadHeaders(const std::vector<uint8_t>& bytes) {
  auto inFile = [&](uint64_t offset, uint64_t size) { return offset + size <= bytes.size(); };
  DosHeader dos;
  if (!inFile(0, sizeof dos)) return Refuse("the file is cut short before its MS-DOS header ends");
  std::memcpy(&dos, bytes.data(), sizeof dos);
  if (dos.magic != kDosMagic) return Refuse("it has no MS-DOS header (\"MZ\")");
  uint32_t signature = 0;
  if (!inFile(dos.peOffset, 4 + sizeof(FileHeader))) {
    return Refuse("the file is cut short: its PE header at offset " + Hex(dos.peOffset) +
                  " lies past the end");
  }
  std::memcpy(&signature, bytes.data() + dos.peOffset, 4);
  if (signature != kPeSignature) {
    return Refuse("it has no PE signature at offset " + Hex(dos.peOffset));
  }
  std::memcpy(&file_, bytes.data() + dos.peOffset + 4, sizeof file_);
  if (file_.machine == kMachineAmd64 || file_.machine == kMachineArm64) {
    return Refuse("it is a 64-bit image; plug-ins are 32-bit (i386)");
  }
  if (file_.machine != kMachineI386) {
    return Refuse("it is built for machine " + Hex(file_.machine) + ", not i386");
  }
  const uint64_t optionalAt = uint64_t{dos.peOffset} + 4 + sizeof(FileHeader);
  if (!inFile(optionalAt, 2)) return Refuse("the file is cut short before its optional header");
  uint16_t magic = 0;
  std::memcpy(&magic, bytes.data() + optionalAt, 2);
  if (magic == kPe32PlusMagic) return Refuse("it is a 64-bit (PE32+) image; plug-ins are PE32");
  if (magic != kPe32Magic) return Refuse("its optional header has the unknown magic " + Hex(magic));
  if (file_.sizeOfOptionalHeader < kOptionalHeaderFixedSize) {
    return Refuse("its optional header is " + std::to_string(file_.sizeOfOptionalHeader) +
                  " bytes, too short for PE32");
  }
  if (!inFile(optionalAt, file_.sizeOfOptionalHeader)) {
    return Refuse("the file is cut short inside its optional header");
  }
  std::memset(&optional_, 0, sizeof optional_);
  std::memcpy(&optional_, bytes.data() + optionalAt,
              std::min<size_t>(file_.sizeOfOptionalHeader, sizeof optional_));
  const uint32_t directories = optional_.numberOfRvaAndSizes;
  if (directories > kDirectoryCount ||
      kOptionalHeaderFixedSize + directories * sizeof(DataDirectory) > file_.sizeOfOptionalHeader) {
    return Refuse("it declares " + std::to_string(directories) +
                  " data directories, more than its optional header holds");
  }
  for (uint32_t i = directories; i < kDirectoryCount; ++i) optional_.directories[i] = {};
  if ((file_.characteristics & kDllImage) == 0) return Refuse("it is an EXE, not a DLL");
  if ((file_.characteristics & kExecutableImage) == 0) {
    return Refuse("it is not marked as an executable image (an unlinked object?)");
  }

  const uint32_t size = optional_.sizeOfImage;
  if (size == 0 || size > kMaxImageSize) {
    return Refuse("its image size " + std::to_string(size) + " is " +
                  (size == 0 ? "zero" : "absurd (more than 64 MiB)"));
  }
  if (optional_.sizeOfHeaders == 0 || optional_.sizeOfHeaders > size) {
    return Refuse("its headers (" + std::to_string(optional_.sizeOfHeaders) +
                  " bytes) do not fit its image");
  }
  if (!inFile(0, optional_.sizeOfHeaders)) {
    return Refuse("the file is cut short: its headers are " +
                  std::to_string(optional_.sizeOfHeaders) + " bytes, the file " +
                  std::to_string(bytes.size()));
  }
  for (uint32_t i = 0; i < kDirectoryCount; ++i) {
    const DataDirectory& d = optional_.directories[i];
    if (d.size != 0 && (d.rva > size || d.size > size - d.rva)) {
      return Refuse("its data directory " + std::to_string(i) + " (RVA " + Hex(d.rva) + ", " +
                    std::to_string(d.size) + " bytes) lies outside the image");
    }
  }
  return ReadSections(bytes, optionalAt + file_.sizeOfOptionalHeader);
}

bool ImageBuilder::ReadSections(const std::vector<uint8_t>& bytes, uint64_t tableAt) {
  const uint16_t count = file_.numberOfSections;
  if (count == 0) return Refuse("it has no sections");
  if (count > kMaxSections) {
    return Refuse("it has " + std::to_string(count) + " sections, more than a PE image may have");
  }
  if (tableAt + uint64_t{count} * sizeof(SectionHeader) > bytes.size()) {
    return Refuse("the file is cut short: its section table runs past the end");
  }
  const uint32_t size = optional_.sizeOfImage;
  uint32_t previousEnd = optional_.sizeOfHeaders;
  std::string previous = "the headers";
  for (uint16_t i = 0; i < count; ++i) {
    SectionHeader header;
    std::memcpy(&header, bytes.data() + tableAt + i * sizeof header, sizeof header);
    const std::string name = SectionName(header);
    const uint32_t virtualSize =
        header.virtualSize != 0 ? header.virtualSize : header.sizeOfRawData;
    if (header.virtualAddress > size || virtualSize > size - header.virtualAddress) {
      return Refuse("section " + name + " (RVA " + Hex(header.virtualAddress) + ", " +
                    std::to_string(virtualSize) + " bytes) lies outside the image of " +
                    std::to_string(size) + " bytes");
    }
    if (header.virtualAddress < previousEnd) {
      return Refuse("section " + name + " overlaps " + previous);
    }
    const bool hasData = (header.characteristics & kSectionUninitializedData) == 0;
    const uint32_t copied = hasData ? std::min(header.sizeOfRawData, virtualSize) : 0;
    if (copied != 0 && uint64_t{header.pointerToRawData} + copied > bytes.size()) {
      return Refuse("the file is cut short: section " + name + "'s data lies past the end");
    }
    sections_.push_back(Placed{header, name, virtualSize, copied});
    previousEnd = header.virtualAddress + virtualSize;
    previous = "section " + name;
  }
  const uint32_t entry = optional_.addressOfEntryPoint;
  if (entry != 0 && !InCode(entry)) {
    return Refuse("its entry point (RVA " + Hex(entry) + ") is not in a code section");
  }
  return true;
}

bool ImageBuilder::InCode(uint32_t rva) const {
  for (const Placed& s : sections_) {
    if ((s.header.characteristics & kSectionExecute) != 0 && rva >= s.header.virtualAddress &&
        rva - s.header.virtualAddress < s.virtualSize) {
      return true;
    }
  }
  return false;
}

// ---- Mapping.

bool ImageBuilder::Place(const std::vector<uint8_t>& bytes) {
  Image& image = *image_;
  image.size_ = optional_.sizeOfImage;
  image.mapped_ = RoundUpToPage(image.size_);
  image.preferredBase_ = optional_.imageBase;
  // At the preferred base when it is free (the kernel takes the hint only then), else where
  // the kernel puts it, relocated.
  void* hint = nullptr;
  if (optional_.imageBase % page::kSize == 0) {
    hint = reinterpret_cast<void*>(uintptr_t{optional_.imageBase});
  }
  void* at = mmap(hint, image.mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) {
    return Refuse("there is no room for its " + std::to_string(image.size_) + " bytes");
  }
  image.base_ = static_cast<uint8_t*>(at);
  if (image.Relocated() && (file_.characteristics & kRelocsStripped) != 0) {
    return Refuse("its preferred base " + Hex(optional_.imageBase) +
                  " is taken and it has no relocations to load anywhere else");
  }
  std::memcpy(image.base_, bytes.data(), optional_.sizeOfHeaders);
  for (const Placed& s : sections_) {
    if (s.copied == 0) continue;
    std::memcpy(image.base_ + s.header.virtualAddress, bytes.data() + s.header.pointerToRawData,
                s.copied);
  }
  for (const Placed& s : sections_) {
    image.sections_.push_back(
        Section{s.name, s.header.virtualAddress, s.virtualSize, s.header.characteristics});
  }
  image.entryPointRva_ = optional_.addressOfEntryPoint;
  return true;
}

// Walks every relocation block whatever the base, so a malformed table is refused wherever the
// image lands; patches only when it moved.
bool ImageBuilder::Relocate() {
  Image& image = *image_;
  const DataDirectory& directory = optional_.directories[kBaseRelocationDirectory];
  const uint32_t delta =
      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(image.base_)) - optional_.imageBase;
  uint32_t offset = 0;
  while (offset < directory.size) {
    BaseRelocationBlock block;
    if (directory.size - offset < sizeof block) {
      return Refuse("its base relocation table ends inside a block header");
    }
    std::memcpy(&block, image.At(directory.rva + offset), sizeof block);
    if (block.sizeOfBlock < sizeof block || block.sizeOfBlock % 2 != 0 ||
        block.sizeOfBlock > directory.size - offset) {
      return Refuse("its base relocation block at RVA " + Hex(directory.rva + offset) +
                    " has the impossible size " + std::to_string(block.sizeOfBlock));
    }
    const uint32_t entries = (block.sizeOfBlock - sizeof block) / 2;
    for (uint32_t i = 0; i < entries; ++i) {
      uint16_t entry;
      std::memcpy(&entry, image.At(directory.rva + offset + sizeof block + 2 * i), 2);
      const uint16_t type = entry >> 12;
      if (type == kRelocationAbsolute) continue;
      if (type != kRelocationHighLow) {
        return Refuse("it uses base relocation type " + std::to_string(type) +
                      ", which a 32-bit image does not");
      }
      const uint64_t target = uint64_t{block.pageRva} + (entry & 0x0FFF);
      if (target + 4 > image.size_) {
        return Refuse("a base relocation at RVA " + Hex(static_cast<uint32_t>(target)) +
                      " lies outside the image");
      }
      if (delta == 0) continue;
      uint32_t word;
      std::memcpy(&word, image.At(static_cast<uint32_t>(target)), 4);
      word += delta;
      std::memcpy(image.At(static_cast<uint32_t>(target)), &word, 4);
    }
    offset += block.sizeOfBlock;
  }
  return true;
}

void ImageBuilder::Protect() {
  Image& image = *image_;
  const uint32_t pages = image.mapped_ / page::kSize;
  image.pageProtections_.assign(pages, page::kNoAccess);
  for (uint32_t p = 0; p * page::kSize < optional_.sizeOfHeaders; ++p) {
    image.pageProtections_[p] = page::kReadOnly;
  }
  for (const Section& s : image.sections_) {
    if (s.size == 0) continue;
    const uint32_t first = s.rva / page::kSize;
    const uint32_t last = (s.rva + s.size - 1) / page::kSize;
    for (uint32_t p = first; p <= last; ++p) {
      image.pageProtections_[p] =
          Union(image.pageProtections_[p], SectionProtection(s.characteristics));
    }
  }
  // One call per run of pages that share a protection.
  for (uint32_t first = 0, run = 0; first < pages; first += run) {
    image.Protection(first * page::kSize, &run);
    run /= page::kSize;
    mprotect(image.base_ + first * page::kSize, run * page::kSize,
             PosixProtection(image.pageProtections_[first]));
  }
}

bool ImageBuilder::Refuse(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  return false;
}

// ---- Image.

std::unique_ptr<Image> Image::Map(const std::string& name, const std::vector<uint8_t>& bytes,
                                  std::string* error) {
  auto image = std::unique_ptr<Image>(new Image());
  image->name_ = name;
  ImageBuilder builder(image.get());
  bool ok = builder.ReadHeaders(bytes) && builder.Place(bytes) && builder.Relocate() &&
            builder.BindImports() && builder.ReadExports() && builder.ReadTls();
  if (!ok) {
    *error = builder.Error();
    return nullptr;
  }
  builder.Protect();
  Mapped().push_back(image.get());
  return image;
}

Image::~Image() {
  auto& mapped = Mapped();
  mapped.erase(std::remove(mapped.begin(), mapped.end(), this), mapped.end());
  if (base_ != nullptr) munmap(base_, mapped_);
  if (thunks_ != nullptr) munmap(thunks_, thunkBytes_);
}

bool Image::Relocated() const {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(base_)) != preferredBase_;
}

bool Image::Contains(const void* address) const {
  const auto* byte = static_cast<const uint8_t*>(address);
  return base_ != nullptr && byte >= base_ && byte < base_ + mapped_;
}

uint32_t Image::Protection(uint32_t rva, uint32_t* runBytes) const {
  const uint32_t first = rva / page::kSize;
  if (first >= pageProtections_.size()) return page::kNoAccess;
  uint32_t last = first;
  while (last + 1 < pageProtections_.size() &&
         pageProtections_[last + 1] == pageProtections_[first]) {
    ++last;
  }
  if (runBytes != nullptr) *runBytes = (last - first + 1) * page::kSize;
  return pageProtections_[first];
}

bool Image::Protect(uint32_t rva, uint32_t size, uint32_t protection, uint32_t* old) {
  if (size == 0 || rva >= mapped_ || size > mapped_ - rva) return false;
  if (protection != page::kNoAccess && PosixProtection(protection) == PROT_NONE) return false;
  const uint32_t first = rva / page::kSize;
  const uint32_t last = (rva + size - 1) / page::kSize;
  if (old != nullptr) *old = pageProtections_[first];
  for (uint32_t p = first; p <= last; ++p) pageProtections_[p] = protection;
  return mprotect(base_ + first * page::kSize, (last - first + 1) * page::kSize,
                  PosixProtection(protection)) == 0;
}

Image* Image::Holding(const void* address) {
  for (Image* image : Mapped()) {
    if (image->Contains(address)) return image;
  }
  return nullptr;
}

}  // namespace refhost::pe
