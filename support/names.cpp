#include "support/names.h"

#include <cstring>

namespace support {

void CopyName16(void* destination, const void* source) {
  if (destination == nullptr || source == nullptr) return;
  std::memmove(destination, source, abi::kNameSize);
}

bool NamesEqual16(const void* a, const void* b) {
  if (a == nullptr || b == nullptr) return false;
  const auto* left = static_cast<const uint8_t*>(a);
  const auto* right = static_cast<const uint8_t*>(b);
  for (size_t i = 0; i < abi::kNameSize; ++i) {
    uint8_t x = left[i];
    uint8_t y = right[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<uint8_t>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<uint8_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

void CopyClassName(abi::PluginDescriptor* descriptor, const char* name) {
  if (descriptor == nullptr) return;
  uint8_t* out = descriptor->names;
  bool stopped = name == nullptr;
  for (size_t i = 0; i < abi::kNameSize; ++i) {
    if (stopped) {
      out[i] = 0;
      continue;
    }
    out[i] = static_cast<uint8_t>(name[i]);
    // A NUL just copied also stops the copy: the next byte may lie past a short name's end.
    if (name[i] == '\0' || name[i + 1] == '\0' || name[i + 1] == ' ') stopped = true;
  }
}

}  // namespace support
