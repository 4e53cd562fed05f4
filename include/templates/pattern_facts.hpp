// What a pattern says about every match of it: a set of literals of which each match contains
// one, how far into a match that literal can start, and whether a match can span a line feed.
// Computed once per pattern from the pattern reader's items, so that searches can skip text that
// cannot hold a match. Anything the facts cannot follow exactly makes them unknown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "templates/literal_search.hpp"
#include "templates/pattern_reader.hpp"

namespace templates {

// The most literals a required set holds.
constexpr std::size_t max_required_literals = 64;

// Facts about every match of a pattern. When `known` is false nothing below holds.
struct pattern_facts {
  bool known = false;
  // Every match contains one of these (empty: no such set was found), each starting at most
  // `literal_offset` bytes into the match. Their order is the order in which the engine tries
  // them, which matters only for a pure set.
  std::vector<literal> literals;
  // The most bytes a match can span before its literal starts, or `unbounded`.
  std::int64_t literal_offset = unbounded;
  // Whether a match can contain a line feed.
  bool line_feed = true;
  // Whether the engine may look at text after a match's end to decide it: $, \Z, \z, lookahead.
  bool looks_ahead = true;
  // Whether each match is exactly an occurrence of a literal of the set: at the leftmost
  // position where any occurs, the first of them in order that occurs there. The pattern holds
  // no capturing group, or one around all of it (`whole_match_group`).
  bool pure_literal = false;
  bool whole_match_group = false;
};

// The facts of a pattern as the reader read it. Unknown when the reading is unknown or the
// pattern holds what changes where or how a match can start: verbs and leading settings
// "(*...)", \G, \K, back references, recursion and subroutine calls, callouts, conditions,
// branch resets.
pattern_facts facts_of(const pattern_syntax& syntax);

// Whether some top-level alternative begins, through the groups it opens, with a lookahead. The
// library may read a `.*` that starts such a lookahead as anchoring every match to the start of
// the text or of a line, and then tries no other start, where a search that skips ahead would.
bool begins_with_lookahead(const pattern_syntax& syntax);

// The facts of `pattern` compiled with the PCRE option bits `options`; `pattern` must be one
// the library compiles.
inline pattern_facts read_pattern_facts(std::string_view pattern, int options) {
  return facts_of(read_pattern(pattern, options));
}

}  // namespace templates
