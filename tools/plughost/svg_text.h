// What the SVG writers share: text made safe to stand in an SVG document.
#pragma once

#include <string>

namespace plughost {

// The text with the characters XML gives a meaning (& < > ") written as entities, for element
// text and attribute values alike.
inline std::string SvgEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace plughost
