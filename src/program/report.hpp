// The verbose report of one expression record: what parsing and compilation made of the argument
// and which engine options its modifiers select.
#pragma once

#include <ostream>

#include "templates/basic_pcre.hpp"

namespace templates {

// Writes the report of `record` to `out`, starting with a line break that ends the caller's
// prefix; every line is flushed. Field values are written as stored. Returns `out`.
template <class String>
std::ostream& operator<<(std::ostream& out, const basic_pcre<String>& record) {
  struct option_line {
    char modifier;
    const char* present;
    const char* absent;  // nullptr: no line
  };
  static constexpr option_line option_lines[] = {
      {'i', "   - case insensitive matching (`i`)", "   - case sensitive matching (no `i`)"},
      {'x', "   - whitespaces and commente in pattern permitted (`x`)",
       "   - comments/unmatched spaces in pattern not permitted (no `x`)"},
      {'m', "   - Multiline (^/$ match start/end of text) (`m`)",
       "   - Line-by-line (^/$ match start/end of line) (no `m`)"},
      {'s', "   - `.` matches newlines as well (`s`)", "   - `.` does not match newlines (no `s`)"},
      {'$', "   - `$` matches only at the end. (`$`)", nullptr},
      {'!', "   - Meaning of `*?` and `*` swapped. (`!`)", nullptr},
      {'*', "   - Sub pattern matching disabled (`*`)", nullptr},
      {'X', "   - (PCRE:) Extra strict pattern escape parsing. (`X`)", nullptr},
      {'U', "   - UTF support disabled. (`U`)", "   - UTF support enabled. (no `U`)"},
  };
  out << std::endl << "{" << std::endl;
  out << " - ok: " << (record.error().empty() ? "yes" : "no") << std::endl;
  out << " - pattern: \"" << record.expression_text() << "\"" << std::endl;
  out << (record.search_kind() ? " - search: \"" : " - match: \"") << record.pattern() << "\""
      << std::endl;
  if (!record.replacement().empty()) {
    out << " - replace: \"" << record.replacement() << "\"" << std::endl;
  }
  out << " - modifiers: \"" << record.modifiers() << "\"," << std::endl;
  out << (record.global() ? "   - global: replace all matches (no `1`)"
                          : "   - not global replace first match (`1`)")
      << std::endl;
  for (const option_line& line : option_lines) {
    const bool present = record.modifiers().find(line.modifier) != String::npos;
    const char* text = present ? line.present : line.absent;
    if (text != nullptr) out << text << std::endl;
  }
  return out << "}" << std::endl;
}

}  // namespace templates
