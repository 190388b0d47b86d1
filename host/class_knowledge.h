// What the host knows of the contract's numbers, so tools can say what they mean: each class's
// editor items, the class flags word and the member selector of list-shaped attribute indexes.
// Only for people reading output: the host itself never behaves differently by class name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace refhost {

// "enable message (enableId): starts watching the play position", or "" for an item the host
// knows no meaning of.
std::string_view EditorItemMeaning(std::string_view className, int16_t item);

// A class's registration as the contract declares it: what the name query and the
// registration must give, the row-0 slots in the order they are registered, and row 1's.
struct DeclaredRegistration {
  uint32_t instanceSize = 0;
  uint32_t classFlags = 0;
  std::vector<uint16_t> row0;
  std::vector<uint16_t> row1;
};
// The declared registration of one of the contract's classes, or null for any other class.
const DeclaredRegistration* DeclaredRegistrationOf(std::string_view className);

// Every attribute name a class of the contract answers to or reads on other objects, spelt as
// the contract spells it: the names worth trying on any class.
const std::vector<std::string_view>& ContractAttributeNames();

// Attributes whose refusals still leave a mark by a class's contract: reads that write the
// output and answer 1 (a list's count written before it finds the list empty), and writes that
// change the instance and answer 1 (a reference dropped before the new text is refused).
struct MarkingRefusals {
  std::vector<std::string_view> reads;
  std::vector<std::string_view> writes;
};
const MarkingRefusals& MarkingRefusalsOf(std::string_view className);

// "plain", or "Construct and CopyConstruct take a base object" for 5.
std::string ClassFlagsMeaning(uint32_t flags);

// For an integer index of a list-shaped attribute ("events"): "first member, element 1"
// for 0x80000001, or "" when the word follows no such convention.
std::string ListIndexMeaning(uint32_t index);

}  // namespace refhost
