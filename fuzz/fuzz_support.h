// What every fuzz target shares: reading the fuzzer's bytes as a bounded series of choices,
// values shaped as the contract allows them, and a fresh reference host per input that must
// end with no ownership fault and no leak.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/value.h"
#include "support/values.h"

namespace fuzzing {

// The fuzzer's bytes as choices. Past the end every read answers 0, so an input never runs
// short and a run is bounded by the caller's own caps.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  size_t Left() const { return Empty() ? 0 : size_ - at_; }
  uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }
  uint16_t U16();
  uint32_t U32();
  int32_t I32() { return static_cast<int32_t>(U32()); }
  bool Bool() { return (Byte() & 1) != 0; }
  // A number in 0..count-1 (count > 0).
  uint32_t Below(uint32_t count) { return count <= 256 ? Byte() % count : U32() % count; }
  template <typename T, size_t N>
  T Pick(const T (&choices)[N]) {
    return choices[Below(N)];
  }
  // A length that is usually short, sometimes near a boundary of the plug-ins' buffers, and
  // at most `max`.
  uint32_t Length(uint32_t max);
  // Up to `length` bytes of the input, never a NUL: texts the host hands over are C strings.
  std::string Text(uint32_t length);
  std::vector<uint8_t> Bytes(uint32_t length);

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// A new host with TAVIN and ostrel loaded; aborts when either cannot be loaded.
std::unique_ptr<refhost::Host> NewHost();

// Ends an input: every instance destroyed, then abort() with the host's report when it saw an
// ownership fault or anything still allocated, or an instance went with its periodic calls on.
void Finish(std::unique_ptr<refhost::Host> host);

// Stops the run with a sentence saying which rule an instance broke.
[[noreturn]] void Fail(const char* what, const refhost::Instance* instance);

// A tagged value in a heap block of exactly its size, so a plug-in that reads past what the
// tag allows trips AddressSanitizer.
class Exact {
 public:
  Exact() = default;
  Exact(const void* record, size_t size);
  template <typename T>
  explicit Exact(const T& record) : Exact(&record, sizeof record) {}
  void* Get() { return bytes_.empty() ? nullptr : bytes_.data(); }
  size_t Size() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};

// A text value whose characters the harness owns (owner word not any instance's), well formed:
// NUL-terminated, length below capacity.
class HeldText {
 public:
  HeldText(std::string text, uint16_t tag, uint32_t spare);
  void* Value() { return value_.Get(); }

 private:
  std::vector<char> storage_;
  Exact value_;
};

// An output value: room for the largest value any class writes, preset to `tag`.
struct Out {
  explicit Out(uint16_t tag) { std::memcpy(bytes, &tag, 2); }
  uint16_t Tag() const;
  alignas(4) uint8_t bytes[64] = {};
};

// Frees what a plug-in handed over in a text value (a buffer other than `ours`) through the
// host's string service, as the runtime does with a text it received.
void FreeReceivedText(refhost::Host& host, void* textValue, const char* ours);

// A host-side value of an arbitrary kind, as an editor item or an object attribute may hold:
// numbers, flags, ids, texts, references, ranges, choices, paths, target designations, empty.
refhost::Value AnyHostValue(Input& in, refhost::Host& host, const std::vector<uint32_t>& objects);

// An index value for an attribute read or write: none, a well-formed integer with any selector
// and element, or another tag of its exact size. `holder` keeps it alive.
void* AnyIndex(Input& in, Exact& holder);

// Reads or writes one of `names` with an index and an output preset of the fuzzer's choosing.
template <size_t N>
void AnyAttributeCall(Input& in, refhost::Instance* instance, const char* const (&names)[N]) {
  Exact index;
  void* at = AnyIndex(in, index);
  Out out(in.Bool() ? tag::kMessageId : tag::kUnassigned);
  if (in.Bool()) {
    instance->GetAttribute(in.Pick(names), at, out.bytes);
  } else {
    instance->SetAttribute(in.Pick(names), at, out.bytes);
  }
}

// A stream to Load from: the stored form one of `pair` saves (checked against the size its
// StoredSize promised), up to `maxValues` values the host can read, in an order a class might
// not expect, or up to `maxBytes` raw bytes.
refhost::HostStream& AnyStoredForm(Input& in, refhost::Host& host,
                                   refhost::Instance* const (&pair)[2],
                                   const std::vector<uint32_t>& objects, uint32_t maxValues,
                                   uint32_t maxBytes);

// Replaces `instance`, one of `pair`, by a copy of either of them on one of `objects`.
void ReplaceWithCopy(Input& in, refhost::Host& host, refhost::Instance* const (&pair)[2],
                     refhost::Instance*& instance, const std::vector<uint32_t>& objects);

// One step of an instance's own life, as every class has it: assigned from either of `pair`,
// replaced by a copy, enabled or disabled, or asked to visit its ids.
void LifeStep(Input& in, refhost::Host& host, refhost::Instance* const (&pair)[2],
              refhost::Instance*& instance, const std::vector<uint32_t>& objects);

// An 80-byte message record concerning `object` with the given id pair.
std::vector<uint8_t> MessageRecord(uint32_t object, uint32_t id, uint32_t second);

}  // namespace fuzzing
