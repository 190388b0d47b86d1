// What the host knows of the contract's numbers, so tools can say what they mean: each class's
// editor items, the class flags word and the member selector of list-shaped attribute indexes.
// Only for people reading output: the host itself never behaves differently by class name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace refhost {

// "enable message (enableId): starts watching the play position", or "" for an item the host
// knows no meaning of.
std::string_view EditorItemMeaning(std::string_view className, int16_t item);

// "plain", or "Construct and CopyConstruct take a base object" for 5.
std::string ClassFlagsMeaning(uint32_t flags);

// For an integer index of a list-shaped attribute ("events"): "first member, element 1"
// for 0x80000001, or "" when the word follows no such convention.
std::string ListIndexMeaning(uint32_t index);

}  // namespace refhost
