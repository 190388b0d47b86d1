// Host-owned tagged values: deep copies that the host keeps for attributes, editor items and
// stream contents, independent of any plug-in buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/values.h"

namespace refhost {

// Tags the host gives a body of its own.
namespace hosttag {
// A target designation as the host's editor yields it: object handle and identity serial.
constexpr uint16_t kTargetDesignation = 115;
constexpr uint16_t kCueRequest = 113;  // request tags: "give me whatever the item holds"
constexpr uint16_t kRangeRequest = 114;
constexpr uint16_t kListTransfer = 13013;
}  // namespace hosttag

#pragma pack(push, 1)
struct TargetDesignationValue {
  uint16_t tag;  // 115
  uint32_t object;
  uint32_t serial;  // identity serial of the object, to find it again after a reload
};
#pragma pack(pop)
static_assert(sizeof(TargetDesignationValue) == 10);

// Size in bytes of a value whose body has no pointers (tag included), 0 for texts, blocks,
// paths, references and tags the host does not know.
uint32_t FixedSizeOf(uint16_t tag);
bool IsText(uint16_t tag);

// A deep copy of one tagged value. Texts, blocks and path entries live in std containers;
// a reference keeps its object handle and identity but never the plug-in's chain links.
struct Value {
  uint16_t tag = tag::kEmpty;
  // Fixed-size tags: the whole record, tag included. A default Value is the empty value, so
  // its record is there to be written wherever a value goes.
  std::vector<uint8_t> raw = std::vector<uint8_t>(2, 0);
  std::string text;               // 102, 111
  std::vector<uint8_t> bytes;     // 101
  std::vector<uint32_t> entries;  // 109
  uint32_t object = 0;            // 105
  bool hasIdentity = false;       // 105
  IdentityValue identity{};       // 105

  // Reads the value a plug-in record holds. Returns false for a tag the host cannot copy
  // (the value is then left empty).
  static bool FromRecord(const void* record, Value* out);

  static Value Integer(int32_t v);
  static Value Real(double v);
  static Value Flag(bool v);
  static Value MessageId(uint32_t id, uint32_t second = 0);
  static Value Text(std::string text, uint16_t tag = tag::kText);
  static Value Reference(uint32_t object);
  static Value Path(std::vector<uint32_t> entries);
  static Value Point(int16_t x, int16_t y);
  static Value Duration(uint32_t count, uint32_t divisor, uint32_t rate);
  static Value Raw(const void* record, uint32_t size);  // any fixed-size record

  bool operator==(const Value& other) const;

  int32_t AsInteger() const;  // tag 1 only; 0 otherwise
  // A readable form for reports and editor item texts.
  std::string Describe() const;
};

}  // namespace refhost
