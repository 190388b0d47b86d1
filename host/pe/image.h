// A PE32 i386 DLL mapped for execution: headers validated, sections at their addresses with
// their protections, base relocations applied when the preferred base is taken, every import
// bound to a stand-in (or to a trap), the exports and the TLS directory read. No code of the
// DLL runs here; host/pe/module.h runs it.
//
// Everything read from the file or the image is bounds-checked first: a malformed DLL is
// refused with a sentence naming the DLL and what is wrong, never read past.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace refhost::pe {

// Windows page protections, as VirtualQuery and VirtualProtect speak them.
namespace page {
constexpr uint32_t kNoAccess = 0x01;
constexpr uint32_t kReadOnly = 0x02;
constexpr uint32_t kReadWrite = 0x04;
constexpr uint32_t kWriteCopy = 0x08;
constexpr uint32_t kExecute = 0x10;
constexpr uint32_t kExecuteRead = 0x20;
constexpr uint32_t kExecuteReadWrite = 0x40;
constexpr uint32_t kExecuteWriteCopy = 0x80;
constexpr uint32_t kSize = 4096;
}  // namespace page

struct Section {
  std::string name;
  uint32_t rva = 0;
  uint32_t size = 0;  // in the image
  uint32_t characteristics = 0;
};

struct Export {
  std::string name;
  uint32_t rva = 0;
};

// One import as the loader bound it.
struct Import {
  std::string dll;       // as the import table names it ("KERNEL32.dll")
  std::string symbol;    // the name, or "#N" for an import by ordinal
  bool standIn = false;  // false: bound to a trap
};

// The image's static thread-local storage, as RVAs into the mapped image.
struct TlsInfo {
  uint32_t templateRva = 0;
  uint32_t templateSize = 0;
  uint32_t zeroFill = 0;
  uint32_t indexRva = 0;  // where the loader writes the image's TLS index
  std::vector<uint32_t> callbackRvas;
};

struct Trap;

class Image {
 public:
  // Validates `bytes` as a PE32 i386 DLL and maps it. `name` is what messages call it
  // ("TAVIN.dll"). Null, with the reason in `error`, when the bytes are not a loadable DLL.
  static std::unique_ptr<Image> Map(const std::string& name, const std::vector<uint8_t>& bytes,
                                    std::string* error);
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  const std::string& Name() const { return name_; }
  uint8_t* Base() const { return base_; }
  uint32_t Size() const { return size_; }
  uint32_t PreferredBase() const { return preferredBase_; }
  bool Relocated() const;
  bool Contains(const void* address) const;
  void* At(uint32_t rva) const { return base_ + rva; }
  uint32_t EntryPointRva() const { return entryPointRva_; }  // 0: none
  const std::vector<Section>& Sections() const { return sections_; }
  const std::vector<Export>& Exports() const { return exports_; }  // code exports, by name
  const std::vector<Import>& Imports() const { return imports_; }
  const std::optional<TlsInfo>& Tls() const { return tls_; }

  // The Windows protection of the page holding `rva`, and the run of pages from there that
  // share it (for VirtualQuery).
  uint32_t Protection(uint32_t rva, uint32_t* runBytes = nullptr) const;
  // VirtualProtect on pages of the image: false when the range leaves the image or the
  // protection is not one Windows knows.
  bool Protect(uint32_t rva, uint32_t size, uint32_t protection, uint32_t* old);

  // The first failure of the DLL's code (a trap, abort): it stops whatever called into it.
  const std::string& Failure() const { return failure_; }
  void SetFailure(const std::string& message) {
    if (failure_.empty()) failure_ = message;
  }

  // The mapped image holding `address`, or null.
  static Image* Holding(const void* address);

 private:
  Image() = default;
  friend class ImageBuilder;
  std::string name_;
  uint8_t* base_ = nullptr;
  uint32_t size_ = 0;    // SizeOfImage
  uint32_t mapped_ = 0;  // whole pages
  uint32_t preferredBase_ = 0;
  uint32_t entryPointRva_ = 0;
  std::vector<Section> sections_;
  std::vector<Export> exports_;
  std::vector<Import> imports_;
  std::optional<TlsInfo> tls_;
  std::vector<uint32_t> pageProtections_;  // Windows protection per page
  std::vector<std::unique_ptr<Trap>> traps_;
  uint8_t* thunks_ = nullptr;  // the traps' code
  uint32_t thunkBytes_ = 0;
  std::string failure_;
};

}  // namespace refhost::pe
