// Quoting a byte of user input inside a one-line error message.
#pragma once

#include <cstdio>
#include <string>

namespace textsift {

// `byte` as it appears in a message: itself, except a control character (00-1F, 7F), which is
// written as \xHH so that the message stays on one line and cannot drive the terminal.
inline std::string message_byte(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  if (value >= 0x20 && value != 0x7F) return std::string(1, byte);
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02x", value);
  return escaped;
}

}  // namespace textsift
