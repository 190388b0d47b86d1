#include "win32/state.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace stand_in {

namespace {

// Handle values are small numbers below the first page a process can map, so none can be
// mistaken for the address of a fixed block; they come round again only after this many.
constexpr uintptr_t kFirstHandle = 0x1000;
constexpr uintptr_t kHandleSlots = (0x10000 - kFirstHandle) / 4;

const char* KindName(HandleKind kind) {
  switch (kind) {
    case HandleKind::kDeviceContext:
      return "dc";
    case HandleKind::kBitmap:
      return "bitmap";
    case HandleKind::kGlobalBlock:
      return "block";
    case HandleKind::kFile:
      return "file";
  }
  return "handle";
}

uintptr_t Key(const void* handle) {
  return reinterpret_cast<uintptr_t>(handle);
}

}  // namespace

State& TheState() {
  static State state;
  return state;
}

HANDLE AddHandle(HandleKind kind, HandleObject object, uintptr_t value) {
  State& s = TheState();
  object.kind = kind;
  object.serial = s.nextSerial++;
  if (value == 0) {
    for (uintptr_t tries = 0; tries < kHandleSlots; ++tries) {
      uintptr_t candidate = kFirstHandle + 4 * (object.serial % kHandleSlots);
      if (s.handles.count(candidate) == 0) {
        value = candidate;
        break;
      }
      object.serial = s.nextSerial++;
    }
    if (value == 0) return nullptr;  // every slot alive: the caller reports failure
  }
  s.handles.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

HandleObject* Find(const void* handle, HandleKind kind, const char* function) {
  State& s = TheState();
  auto it = s.handles.find(Key(handle));
  if (it == s.handles.end()) {
    if (handle != nullptr)
      Fault(std::string(function) + ": " + HandleName(handle) + " is not live");
    return nullptr;
  }
  if (it->second.kind != kind) {
    Fault(std::string(function) + ": " + HandleName(handle) + " is not a " + KindName(kind));
    return nullptr;
  }
  return &it->second;
}

void RemoveHandle(const void* handle) {
  State& s = TheState();
  auto it = s.handles.find(Key(handle));
  if (it == s.handles.end()) return;
  if (it->second.kind == HandleKind::kFile && it->second.file.descriptor >= 0) {
    close(it->second.file.descriptor);
  }
  s.handles.erase(it);
}

std::string HandleName(const void* handle) {
  if (handle == nullptr) return "null";
  State& s = TheState();
  auto it = s.handles.find(Key(handle));
  if (it == s.handles.end()) {
    char text[32];
    std::snprintf(text, sizeof text, "unknown 0x%lx", static_cast<unsigned long>(Key(handle)));
    return text;
  }
  return std::string(KindName(it->second.kind)) + "#" + std::to_string(it->second.serial);
}

void Fault(const std::string& text) {
  TheState().faults.push_back(text);
}

void RecordCall(const std::string& line) {
  TheState().calls.push_back(line);
}

// ---------------------------------------------------------------------------------------------
// The control API.

MachineFacts& Machine() {
  return TheState().machine;
}
PrinterSettings& Printer() {
  return TheState().printer;
}
FileDialogAnswer& FileDialog() {
  return TheState().fileDialog;
}
FileSettings& Files() {
  return TheState().files;
}
MemorySettings& Memory() {
  return TheState().memory;
}
const std::vector<PrintDialogCall>& PrintDialogs() {
  return TheState().printDialogs;
}
const std::vector<PrintJob>& Jobs() {
  return TheState().jobs;
}
const std::vector<FileDialogCall>& FileDialogs() {
  return TheState().fileDialogs;
}
const std::vector<MessageBoxCall>& MessageBoxes() {
  return TheState().messageBoxes;
}
const std::vector<uint32_t>& ReadRequests() {
  return TheState().readRequests;
}
const std::vector<std::string>& Faults() {
  return TheState().faults;
}
const std::vector<std::string>& Calls() {
  return TheState().calls;
}

int CallCount(const std::string& function) {
  const std::string prefix = function + "(";
  const auto& calls = TheState().calls;
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
    return c.compare(0, prefix.size(), prefix) == 0;
  }));
}

HandleCounts LiveHandles() {
  HandleCounts counts;
  for (const auto& [value, object] : TheState().handles) {
    switch (object.kind) {
      case HandleKind::kDeviceContext:
        ++counts.deviceContexts;
        break;
      case HandleKind::kBitmap:
        ++counts.bitmaps;
        break;
      case HandleKind::kGlobalBlock:
        ++counts.globalBlocks;
        if (object.block.locks > 0) ++counts.lockedBlocks;
        break;
      case HandleKind::kFile:
        ++counts.files;
        break;
    }
  }
  return counts;
}

std::string Report() {
  State& s = TheState();
  std::ostringstream out;
  out << "live handles:";
  if (s.handles.empty()) out << " none";
  for (const auto& [value, object] : s.handles) {
    out << ' ' << KindName(object.kind) << '#' << object.serial;
    if (object.kind == HandleKind::kFile) out << " (" << object.file.path << ')';
    if (object.kind == HandleKind::kGlobalBlock) out << " (" << object.block.size << " bytes)";
  }
  out << "\nfaults:";
  if (s.faults.empty()) out << " none";
  for (const std::string& fault : s.faults) out << "\n  " << fault;
  return out.str();
}

void Reset() {
  State& s = TheState();
  for (auto& [value, object] : s.handles) {
    if (object.kind == HandleKind::kFile && object.file.descriptor >= 0) {
      close(object.file.descriptor);
    }
  }
  s = State{};
}

// ---------------------------------------------------------------------------------------------
// Images.

uint32_t Image::Pixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return 0;
  const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
  return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

void Image::SetPixel(int32_t x, int32_t y, uint32_t colour) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
  p[0] = static_cast<uint8_t>(colour >> 16);
  p[1] = static_cast<uint8_t>(colour >> 8);
  p[2] = static_cast<uint8_t>(colour);
}

}  // namespace stand_in
