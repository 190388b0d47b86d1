// The Windows DLL loader over arbitrary bytes: every input is validated, mapped, relocated, its
// imports bound and its exports and TLS read, or refused with a reason. No code of the DLL
// runs (its bytes are the fuzzer's). What the loader accepted must hold together: exports in
// code inside the image, TLS callbacks too, every page with a protection Windows knows.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/pe/image.h"

namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "the loader accepted a DLL whose %s\n", what);
  std::abort();
}

bool InCode(const refhost::pe::Image& image, uint32_t rva) {
  for (const refhost::pe::Section& s : image.Sections()) {
    if ((s.characteristics & 0x20000000) != 0 && rva >= s.rva && rva - s.rva < s.size) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  std::string error;
  std::unique_ptr<refhost::pe::Image> image = refhost::pe::Image::Map("fuzz.dll", bytes, &error);
  if (image == nullptr) {
    if (error.empty()) Broken("refusal came without a reason");
    return 0;
  }
  for (const refhost::pe::Export& e : image->Exports()) {
    if (e.name.empty() || !InCode(*image, e.rva)) Broken("export lies outside its code");
  }
  if (const auto& tls = image->Tls()) {
    for (uint32_t rva : tls->callbackRvas) {
      if (!InCode(*image, rva)) Broken("TLS callback lies outside its code");
    }
    if (uint64_t{tls->indexRva} + 4 > image->Size()) Broken("TLS index lies outside the image");
  }
  for (uint32_t rva = 0; rva < image->Size(); rva += refhost::pe::page::kSize) {
    uint32_t run = 0;
    const uint32_t protection = image->Protection(rva, &run);
    if (run == 0 || (protection & (protection - 1)) != 0) Broken("page protection is unknown");
  }
  return 0;
}
