#pragma once
// Test helper: expected texts are written readably in UTF-8 and turned into
// Windows-1252 bytes here, independently of how the product spells them.
#include <stdexcept>
#include <string>

namespace testing_cp1252 {

inline std::string ToCp1252(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      const unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3Fu);
      if (cp < 0xA0 || cp > 0xFF) throw std::runtime_error("not in Latin-1: " + utf8);
      out += static_cast<char>(cp);
    } else {
      throw std::runtime_error("unsupported character in " + utf8);
    }
  }
  return out;
}

}  // namespace testing_cp1252
