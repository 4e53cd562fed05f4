// A literal: bytes to look for, where ASCII letters may match either case.
#pragma once

#include <string>

namespace textsift::search {

// Bytes to look for; with `caseless`, ASCII letters in them match either case and the other
// bytes match exactly.
struct literal {
  std::string bytes;
  bool caseless = false;
};

// Whether byte or code point `c` is an ASCII letter, of either case.
constexpr bool ascii_letter(unsigned c) {
  return c < 0x80 && (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// Whether `bytes` holds an ASCII letter: only then does ignoring case change what it matches.
inline bool has_ascii_letter(const std::string& bytes) {
  for (const char c : bytes) {
    if (ascii_letter(static_cast<unsigned char>(c))) return true;
  }
  return false;
}

}  // namespace textsift::search
