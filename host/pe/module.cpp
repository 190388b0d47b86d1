#include "host/pe/module.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "host/pe/format.h"
#include "host/pe/thread_block.h"
#include "host/pe/trap.h"

namespace refhost::pe {
namespace {

// DllMain and TLS callbacks: (module, reason, reserved), stdcall.
using Notification = int32_t(__attribute__((stdcall)) *)(void* module, uint32_t reason,
                                                         void* reserved);

const char* ReasonName(uint32_t reason) {
  return reason == kProcessAttach ? "DLL_PROCESS_ATTACH" : "DLL_PROCESS_DETACH";
}

}  // namespace

bool LooksLikePe(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z';
}

std::unique_ptr<Module> Module::Map(const std::string& path, const std::vector<uint8_t>& bytes,
                                    std::string* error) {
  std::string why;
  auto image = Image::Map(std::filesystem::path(path).filename().string(), bytes, &why);
  if (image == nullptr) {
    *error = path + " is not a usable Windows DLL: " + why;
    return nullptr;
  }
  auto module = std::unique_ptr<Module>(new Module());
  module->image_ = std::move(image);
  return module;
}

bool Module::Attach(std::string* error) {
  Image& image = *image_;
  if (!EnsureThreadBlock(error)) return false;
  if (const auto& tls = image.Tls()) {
    // The image's static TLS block: its template, then zeros.
    const size_t size = size_t{tls->templateSize} + tls->zeroFill;
    tlsBlock_ = std::calloc(1, size == 0 ? 1 : size);
    if (tls->templateSize != 0)
      std::memcpy(tlsBlock_, image.At(tls->templateRva), tls->templateSize);
    if (!AllocateTlsIndex(tlsBlock_, &tlsIndex_)) {
      *error = image.Name() + " needs a TLS slot and all are taken";
      return false;
    }
    tlsIndexHeld_ = true;
    std::memcpy(image.At(tls->indexRva), &tlsIndex_, 4);
  }
  if (!Notify(kProcessAttach, false, error)) {
    // A refusal (not a failure) still hears that it goes.
    if (image.Failure().empty()) {
      std::string ignored;
      Notify(kProcessDetach, true, &ignored);
    }
    return false;
  }
  attached_ = true;
  return true;
}

bool Module::Detach(std::string* error) {
  if (!attached_) return true;
  attached_ = false;
  return Notify(kProcessDetach, true, error);
}

// Windows calls the TLS callbacks before the entry point on attach; on detach the host calls
// them after it, so each sees the other's set-up in place.
bool Module::Notify(uint32_t reason, bool entryFirst, std::string* error) {
  Image& image = *image_;
  std::vector<uint32_t> order;
  if (image.Tls()) order = image.Tls()->callbackRvas;
  const uint32_t entry = image.EntryPointRva();
  if (entry != 0) order.insert(entryFirst ? order.begin() : order.end(), entry);
  for (uint32_t rva : order) {
    auto function = reinterpret_cast<Notification>(image.At(rva));
    int32_t answer = 1;
    std::string reasonText;
    if (!RunGuarded([&] { answer = function(image.Base(), reason, nullptr); }, &reasonText)) {
      *error = reasonText;
      return false;
    }
    if (rva == entry && answer == 0 && reason == kProcessAttach) {
      *error = image.Name() + "'s entry point answered FALSE to " + ReasonName(reason);
      return false;
    }
  }
  return true;
}

Module::~Module() {
  std::string error;
  if (!Detach(&error)) std::fprintf(stderr, "error: %s\n", error.c_str());
  if (tlsIndexHeld_) FreeTlsIndex(tlsIndex_);
  std::free(tlsBlock_);
}

std::vector<std::pair<std::string, void*>> Module::Entries() const {
  std::vector<std::pair<std::string, void*>> entries;
  for (const Export& e : image_->Exports()) entries.emplace_back(e.name, image_->At(e.rva));
  return entries;
}

}  // namespace refhost::pe
