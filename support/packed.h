// Reading and writing values at byte addresses inside packed records: the one safe way to reach
// a field that may sit at any alignment (a typed pointer to it would not be).
#pragma once

#include <cstdint>
#include <cstring>

namespace support {

template <typename T>
T Read(const void* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
void Write(void* at, const T& value) {
  std::memcpy(at, &value, sizeof value);
}

// The tag of the tagged value at `value`.
inline uint16_t TagOf(const void* value) {
  return Read<uint16_t>(value);
}

}  // namespace support
