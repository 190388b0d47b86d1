// A Windows DLL loaded as the runtime loads a plug-in: read and mapped (image.h), then its TLS
// callbacks and its entry point called with DLL_PROCESS_ATTACH; when it goes, the entry point
// and the callbacks again with DLL_PROCESS_DETACH, and the image unmapped. Every call into the
// DLL runs guarded (trap.h), with the thread information block in %fs (thread_block.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/pe/image.h"

namespace refhost::pe {

// True when the file starts as a Windows executable does ("MZ").
bool LooksLikePe(const std::vector<uint8_t>& bytes);

class Module {
 public:
  // Maps `bytes` read from `path`; no code of the DLL runs. Null with the reason when the
  // bytes are not a loadable DLL.
  static std::unique_ptr<Module> Map(const std::string& path, const std::vector<uint8_t>& bytes,
                                     std::string* error);
  // TLS callbacks, then the entry point, for process attach. False with the reason when the
  // DLL fails or its entry point answers FALSE (it is then detached again, as Windows does).
  bool Attach(std::string* error);
  // The entry point, then the TLS callbacks, for process detach; false with the reason when
  // the DLL failed. Only after a successful Attach; the destructor does it otherwise.
  bool Detach(std::string* error);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  Image& GetImage() { return *image_; }
  bool Attached() const { return attached_; }
  // Each code export with its address.
  std::vector<std::pair<std::string, void*>> Entries() const;

 private:
  Module() = default;
  bool Notify(uint32_t reason, bool entryFirst, std::string* error);
  std::unique_ptr<Image> image_;
  bool attached_ = false;
  bool tlsIndexHeld_ = false;
  uint32_t tlsIndex_ = 0;
  void* tlsBlock_ = nullptr;
};

}  // namespace refhost::pe
