// Values inside packed records, reached by byte address: a typed pointer to a packed member may
// be misaligned, so fields are copied in and out whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace support {

// Room for whatever a host writes into a value a component only looks at: larger than any
// tag's value, so an answer of an unexpected kind cannot run past it.
constexpr size_t kScratchSize = 64;

inline uint8_t* Field(void* record, size_t offset) {
  return static_cast<uint8_t*>(record) + offset;
}
inline const uint8_t* Field(const void* record, size_t offset) {
  return static_cast<const uint8_t*>(record) + offset;
}

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

}  // namespace support
