// UTF-8 validity as the engine defines it (RFC 3629): no overlong forms, no surrogates, nothing
// above U+10FFFF, no truncated sequences. Checked here once per application, a vector at a time
// (vector_scans.inc), far faster than the engine's own byte-by-byte check, which matching then
// skips.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "search/vector_scans.hpp"

namespace textsift::search {

// Whether data[0, size) is valid UTF-8, checked at `width`, which this CPU must run.
inline bool valid_utf8(const char* data, std::size_t size, vector_width width) {
  return scans_at(width).utf8(data, size);
}

// The same at the widest width this CPU runs.
inline bool valid_utf8(const char* data, std::size_t size) {
  static const vector_scans& widest = scans_at(widest_width());
  return widest.utf8(data, size);
}

// The UTF-8 bytes of code point `value` (at most U+10FFFF).
inline std::string utf8_encode(std::uint32_t value) {
  std::string out;
  if (value < 0x80) {
    out += static_cast<char>(value);
  } else if (value < 0x800) {
    out += static_cast<char>(0xC0 | (value >> 6));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    out += static_cast<char>(0xE0 | (value >> 12));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (value >> 18));
    out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  }
  return out;
}

}  // namespace textsift::search
