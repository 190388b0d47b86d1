// What the XML writers (the SVG pictures and the JUnit report) share: text made safe to stand
// in an XML document.
#pragma once

#include <string>

namespace plughost {

// The text with the characters XML gives a meaning (& < > ") written as entities, for element
// text and attribute values alike. XML 1.0 has no place for most control characters, even
// escaped, so they become '?'.
inline std::string XmlEscaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
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
        out += c < 0x20 && c != '\t' && c != '\n' ? '?' : static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace plughost
