// The directories a mapped image is read for: imports (bound to stand-ins or traps), exports
// (the plug-in entries) and static TLS. Every table is read from the relocated image, each read
// checked against the image's bounds, each walk bounded, so a table that never ends or points
// anywhere is refused rather than followed.
#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "host/pe/image_builder.h"
#include "host/pe/stand_ins.h"
#include "host/pe/trap.h"

namespace refhost::pe {
namespace {

constexpr uint32_t kMaxImportDlls = 256;
constexpr uint32_t kMaxImports = 16384;
constexpr uint32_t kMaxNameLength = 4096;
constexpr uint32_t kMaxTlsCallbacks = 256;
constexpr uint32_t kMaxTlsBytes = 1u << 20;

// "KERNEL32.dll" -> "KERNEL32", as the trap's sentence names a DLL.
std::string DllBaseName(const std::string& dll) {
  if (dll.size() > 4) {
    std::string tail = dll.substr(dll.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (tail == ".dll") return dll.substr(0, dll.size() - 4);
  }
  return dll;
}

}  // namespace

bool ImageBuilder::InImage(uint32_t rva, uint32_t size) const {
  return uint64_t{rva} + size <= image_->size_;
}

bool ImageBuilder::TextAt(uint32_t rva, std::string* text) const {
  if (rva >= image_->size_) return false;
  const auto* start = static_cast<const char*>(image_->At(rva));
  const size_t room = std::min<size_t>(image_->size_ - rva, kMaxNameLength + 1);
  const size_t length = strnlen(start, room);
  if (length == room) return false;  // no NUL before the image (or the name limit) ends
  text->assign(start, length);
  return true;
}

uint32_t ImageBuilder::Word(uint32_t rva) const {
  uint32_t word;
  std::memcpy(&word, image_->At(rva), 4);
  return word;
}

// ---- Imports.

bool ImageBuilder::BindImports() {
  Image& image = *image_;
  const DataDirectory& directory = optional_.directories[kImportDirectory];
  if (directory.rva == 0 || directory.size == 0) return true;
  // Every lookup is read before any address table is written: a table that overlaps another
  // must not feed the loader's own writes back to it.
  struct Binding {
    uint32_t slotRva;
    const void* address;  // null: a trap
    std::string message;
  };
  std::vector<Binding> bindings;
  for (uint32_t n = 0;; ++n) {
    const uint64_t at = uint64_t{directory.rva} + uint64_t{n} * sizeof(ImportDescriptor);
    if (at + sizeof(ImportDescriptor) > image.size_) {
      return Refuse("its import table has no end: no empty descriptor before the image ends");
    }
    if (n == kMaxImportDlls) {
      return Refuse("its import table names more than " + std::to_string(kMaxImportDlls) +
                    " DLLs (does it loop?)");
    }
    ImportDescriptor descriptor;
    std::memcpy(&descriptor, image.At(static_cast<uint32_t>(at)), sizeof descriptor);
    if (descriptor.name == 0 && descriptor.firstThunk == 0 && descriptor.originalFirstThunk == 0) {
      break;
    }
    std::string dll;
    if (descriptor.name == 0 || !TextAt(descriptor.name, &dll) || dll.empty()) {
      return Refuse("import descriptor " + std::to_string(n) + " names no DLL");
    }
    if (descriptor.firstThunk == 0) {
      return Refuse("its imports from " + dll + " have no address table");
    }
    const uint32_t lookup =
        descriptor.originalFirstThunk != 0 ? descriptor.originalFirstThunk : descriptor.firstThunk;
    for (uint32_t i = 0;; ++i) {
      const uint64_t lookupAt = uint64_t{lookup} + 4 * uint64_t{i};
      const uint64_t slotAt = uint64_t{descriptor.firstThunk} + 4 * uint64_t{i};
      if (lookupAt + 4 > image.size_ || slotAt + 4 > image.size_) {
        return Refuse("its imports from " + dll + " run past the end of the image");
      }
      const uint32_t entry = Word(static_cast<uint32_t>(lookupAt));
      if (entry == 0) break;
      if (bindings.size() == kMaxImports) {
        return Refuse("it has more than " + std::to_string(kMaxImports) +
                      " imports (does its import table loop?)");
      }
      std::string symbol;
      if ((entry & kImportByOrdinal) != 0) {
        symbol = "#" + std::to_string(entry & 0xFFFF);
      } else if (entry > image.size_ - 2 || !TextAt(entry + 2, &symbol) || symbol.empty()) {
        return Refuse("import " + std::to_string(i) + " from " + dll +
                      " has its name outside the image");
      }
      const void* address = FindStandIn(dll, symbol);
      image.imports_.push_back(Import{dll, symbol, address != nullptr});
      bindings.push_back(Binding{static_cast<uint32_t>(slotAt), address,
                                 address != nullptr
                                     ? std::string()
                                     : image.name_ + " called " + DllBaseName(dll) + "!" + symbol +
                                           ", which the reference host does not provide"});
    }
  }

  size_t trapCount = 0;
  for (const Binding& b : bindings) trapCount += b.address == nullptr ? 1 : 0;
  if (trapCount != 0) {
    const size_t bytes = (trapCount * kTrapThunkSize + page::kSize - 1) & ~size_t{page::kSize - 1};
    void* code = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (code == MAP_FAILED) return Refuse("there is no room for its import traps");
    image.thunks_ = static_cast<uint8_t*>(code);
    image.thunkBytes_ = static_cast<uint32_t>(bytes);
  }
  for (Binding& b : bindings) {
    if (b.address == nullptr) {
      image.traps_.push_back(std::make_unique<Trap>(Trap{&image, std::move(b.message)}));
      uint8_t* thunk = image.thunks_ + (image.traps_.size() - 1) * kTrapThunkSize;
      WriteTrapThunk(thunk, image.traps_.back().get());
      b.address = thunk;
    }
    const auto word = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(b.address));
    std::memcpy(image.At(b.slotRva), &word, 4);
  }
  if (image.thunks_ != nullptr) mprotect(image.thunks_, image.thunkBytes_, PROT_READ | PROT_EXEC);
  return true;
}

// ---- Exports.

bool ImageBuilder::ReadExports() {
  Image& image = *image_;
  const DataDirectory& directory = optional_.directories[kExportDirectory];
  if (directory.rva == 0 || directory.size == 0) return true;
  ExportDirectory table;
  if (!InImage(directory.rva, sizeof table)) return Refuse("its export directory is cut short");
  std::memcpy(&table, image.At(directory.rva), sizeof table);
  if (table.numberOfFunctions > image.size_ / 4 ||
      !InImage(table.addressOfFunctions, 4 * table.numberOfFunctions)) {
    return Refuse("its export address table lies outside the image");
  }
  if (table.numberOfNames > image.size_ / 4 ||
      !InImage(table.addressOfNames, 4 * table.numberOfNames) ||
      !InImage(table.addressOfNameOrdinals, 2 * table.numberOfNames)) {
    return Refuse("its export name table lies outside the image");
  }
  for (uint32_t i = 0; i < table.numberOfNames; ++i) {
    std::string name;
    if (!TextAt(Word(table.addressOfNames + 4 * i), &name)) {
      return Refuse("export name " + std::to_string(i) + " points outside the image");
    }
    if (name.empty()) return Refuse("export " + std::to_string(i) + " has an empty name");
    uint16_t index;
    std::memcpy(&index, image.At(table.addressOfNameOrdinals + 2 * i), 2);
    if (index >= table.numberOfFunctions) {
      return Refuse("export " + name + "'s ordinal lies past its address table");
    }
    const uint32_t rva = Word(table.addressOfFunctions + 4 * uint32_t{index});
    if (rva >= directory.rva && rva - directory.rva < directory.size) {
      return Refuse("export " + name + " is forwarded to another DLL, which the host does not do");
    }
    if (rva == 0 || rva >= image.size_)
      return Refuse("export " + name + " points outside the image");
    // Data exports are no entries; the ELF loader passes over data symbols the same way.
    if (!InCode(rva)) continue;
    image.exports_.push_back(Export{name, rva});
  }
  std::sort(image.exports_.begin(), image.exports_.end(),
            [](const Export& a, const Export& b) { return a.name < b.name; });
  return true;
}

// ---- Static TLS.

bool ImageBuilder::ReadTls() {
  Image& image = *image_;
  const DataDirectory& directory = optional_.directories[kTlsDirectory];
  if (directory.rva == 0 || directory.size == 0) return true;
  TlsDirectory32 tls;
  if (directory.size < sizeof tls) return Refuse("its TLS directory is cut short");
  std::memcpy(&tls, image.At(directory.rva), sizeof tls);
  const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(image.base_));
  auto toRva = [&](uint32_t address, uint32_t* rva) {
    *rva = address - base;
    return address >= base && *rva < image.size_;
  };
  TlsInfo info;
  info.zeroFill = tls.sizeOfZeroFill;
  if (tls.endAddressOfRawData < tls.startAddressOfRawData) {
    return Refuse("its TLS template ends before it starts");
  }
  info.templateSize = tls.endAddressOfRawData - tls.startAddressOfRawData;
  if (info.templateSize > kMaxTlsBytes || info.zeroFill > kMaxTlsBytes) {
    return Refuse("its TLS block is absurdly large");
  }
  if (info.templateSize != 0 && (!toRva(tls.startAddressOfRawData, &info.templateRva) ||
                                 !InImage(info.templateRva, info.templateSize))) {
    return Refuse("its TLS template lies outside the image");
  }
  if (!toRva(tls.addressOfIndex, &info.indexRva) || !InImage(info.indexRva, 4)) {
    return Refuse("its TLS index lies outside the image");
  }
  if (tls.addressOfCallBacks != 0) {
    uint32_t list;
    if (!toRva(tls.addressOfCallBacks, &list))
      return Refuse("its TLS callbacks lie outside the image");
    for (uint32_t i = 0;; ++i) {
      if (i == kMaxTlsCallbacks) return Refuse("it has more TLS callbacks than the host runs");
      if (!InImage(list + 4 * i, 4)) return Refuse("its TLS callback list has no end");
      const uint32_t callback = Word(list + 4 * i);
      if (callback == 0) break;
      uint32_t rva;
      if (!toRva(callback, &rva) || !InCode(rva)) {
        return Refuse("its TLS callback " + std::to_string(i) + " is not in a code section");
      }
      info.callbackRvas.push_back(rva);
    }
  }
  image.tls_ = std::move(info);
  return true;
}

}  // namespace refhost::pe
