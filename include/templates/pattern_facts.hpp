// What a pattern says about every match of it: a literal that each match contains, how far into
// a match that literal can start, and whether a match can span a line feed. Computed once per
// pattern from the pattern reader's items, so that searches can skip text that cannot hold a
// match. Anything the facts cannot follow exactly makes them unknown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "templates/pattern_reader.hpp"

namespace templates {

// Facts about every match of a pattern. When `known` is false nothing below holds.
struct pattern_facts {
  bool known = false;
  // Bytes that every match contains (empty: no such literal was found). When `caseless`, ASCII
  // letters in it match either case and its other bytes match exactly.
  std::string literal;
  bool caseless = false;
  // The most bytes a match can span before the literal starts, or `unbounded`.
  std::int64_t literal_offset = unbounded;
  // Whether a match can contain a line feed.
  bool line_feed = true;
  // Whether each match is exactly an occurrence of `literal`: the pattern holds nothing else.
  bool pure_literal = false;
};

// The facts of a pattern as the reader read it. Unknown when the reading is unknown or the
// pattern holds what changes where or how a match can start: verbs and leading settings
// "(*...)", \G, \K, back references, recursion and subroutine calls, callouts, conditions,
// branch resets.
pattern_facts facts_of(const pattern_syntax& syntax);

// The facts of `pattern` compiled with the PCRE option bits `options`; `pattern` must be one
// the library compiles.
inline pattern_facts read_pattern_facts(std::string_view pattern, int options) {
  return facts_of(read_pattern(pattern, options));
}

}  // namespace templates
