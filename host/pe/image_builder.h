// The steps of Image::Map, shared by the files that carry them out (image.cpp: headers,
// placing, relocations, protections; image_directories.cpp: imports, exports, TLS). Each step
// answers false with the first reason it found.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/pe/format.h"
#include "host/pe/image.h"

namespace refhost::pe {

class ImageBuilder {
 public:
  explicit ImageBuilder(Image* image) : image_(image) {}
  bool ReadHeaders(const std::vector<uint8_t>& bytes);
  bool Place(const std::vector<uint8_t>& bytes);
  bool Relocate();
  bool BindImports();
  bool ReadExports();
  bool ReadTls();
  void Protect();
  const std::string& Error() const { return error_; }

 private:
  struct Placed {
    SectionHeader header;
    std::string name;
    uint32_t virtualSize;
    uint32_t copied;  // bytes taken from the file
  };
  bool ReadSections(const std::vector<uint8_t>& bytes, uint64_t tableAt);
  bool InCode(uint32_t rva) const;
  bool Refuse(std::string reason);
  // Within the mapped image: `size` bytes at `rva`; a NUL-terminated text at `rva`.
  bool InImage(uint32_t rva, uint32_t size) const;
  bool TextAt(uint32_t rva, std::string* text) const;
  uint32_t Word(uint32_t rva) const;
  const void* BindOne(const std::string& dll, const std::string& symbol, bool* standIn);

  Image* image_;
  FileHeader file_{};
  OptionalHeader32 optional_{};
  std::vector<Placed> sections_;
  std::string error_;
  std::vector<uint32_t> pendingTraps_;  // IAT slots to point at traps, by trap index
};

}  // namespace refhost::pe
