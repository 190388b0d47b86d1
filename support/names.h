// Fixed 16-byte names: class, interface and attribute names as the host exchanges them.
//
// A name is up to 16 characters, NUL-padded, with no terminator when all 16 are used. Every
// constant compared against one lives in a wider NUL-padded field so that a 16-byte read
// never runs past it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/abi.h"

namespace support {

// A name constant: NUL-padded to 20 bytes.
struct Name20 {
  char chars[20];
};

template <size_t N>
constexpr Name20 MakeName20(const char (&text)[N]) {
  static_assert(N <= 21, "a name constant holds at most 20 characters");
  Name20 name{};
  for (size_t i = 0; i + 1 < N; ++i) name.chars[i] = text[i];
  return name;
}

// Copies exactly 16 bytes, whatever they contain.
void CopyName16(void* destination, const void* source);

// Case-insensitive comparison of two 16-byte name fields: ASCII letters are folded, every other
// byte (NUL and bytes of 128 and above included) must match exactly, and all 16 bytes count.
bool NamesEqual16(const void* a, const void* b);

// Writes a class name into descriptor bytes 0..15: cut at the first space, NUL-padded, and
// without a terminator when 16 or more characters are given.
void CopyClassName(abi::PluginDescriptor* descriptor, const char* name);

}  // namespace support
