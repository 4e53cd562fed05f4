// How the searches of a pattern run: one plan, made once per compiled pattern from the pattern's
// lowered meaning and from what the library reports about the compiled pattern. Every shortcut a
// search takes is decided here, each rule beside its reason in pattern_plan.cpp: the engine (JIT
// or interpreter), the literals that every match holds and how far into a match they start,
// whether a candidate's line can be searched alone, whether the pattern is a plain set of
// literals that needs no engine, and how far before its start a search may read. Whatever the
// plan does not know takes the slow, exact way: no literals, the interpreter, the whole result
// held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/lowered_pattern.hpp"
#include "search/literal.hpp"

namespace textsift::analysis {

// The most literals a set of required literals holds.
constexpr std::size_t max_required_literals = 64;

// What the library reports about a compiled pattern (pcre_fullinfo), as plans use it.
struct library_report {
  int capture_count = 0;          // PCRE_INFO_CAPTURECOUNT
  int max_lookbehind = 0;         // PCRE_INFO_MAXLOOKBEHIND: the longest lookbehind, in characters
  bool utf8 = false;              // UTF-8 mode, a leading (*UTF8) included
  bool start_restricted = false;  // anchored, or tried only at the start and after newlines
  bool anchored = false;          // tried only where a search starts
  bool match_empty = false;       // PCRE_INFO_MATCH_EMPTY
  int first_byte = -1;            // the byte every match starts with, where the library knows one
  int required_byte = -1;         // a byte every match holds after its start, where it knows one
};

// How a text may be cut into pieces that are searched at once, each by a search of its own
// that starts where the piece starts and takes the matches that start in it (pattern_plan.cpp,
// the rule "pieces").
enum class split_mode {
  whole,    // one search over the whole text
  lines,    // cut after line feeds: no match holds one, so a match that starts in a piece ends
            // in it, and a piece's searches need the text only up to the piece's end
  bounded,  // cut after line feeds that no match crosses (checked at each cut): every match is
            // short, and a piece's searches need the text up to `split_window` bytes past its end
  guessed,  // cut after line feeds, each piece searched on the guess that no match crosses its
            // start, and searched again from where the piece before it ended where one did; a
            // piece's searches may read the whole text but try no start past its end, and its
            // result stays held until its guess is proved. Global replacements only: a first
            // match is searched for whole.
};

// What the searches may do. `jit` and `accelerate` say what is wanted (match_settings); the plan
// grants what the pattern allows.
struct plan_wanted {
  bool jit = true;
  bool accelerate = true;
};

struct pattern_plan {
  // The pattern was read and its plan agrees with the library. Otherwise nothing below is used:
  // the interpreter runs every search over the whole text and the whole result is held.
  bool known = false;
  bool jit = false;  // searches may run the library's JIT code
  // Whether the literal facts below hold (the rules "unmodelled" and "start restricted").
  bool facts = false;
  // Every match holds one of these literals (empty: no such set was found), starting at most
  // `literal_offset` bytes into the match; their order is the order the engine tries them in,
  // which matters only for a pure set.
  std::vector<search::literal> literals;
  std::int64_t literal_offset = unbounded;
  bool line_feed = true;  // a match may contain a line feed
  // Each match is exactly the leftmost occurrence of a literal of the set, the first of them in
  // order that occurs there: no engine is needed. The pattern has no capturing group, or one
  // around all of it (`whole_match_group`).
  bool pure_literal = false;
  bool whole_match_group = false;
  bool search_literals = false;  // searches look for the literals (the rule "worth it")
  bool line_windows = false;     // every match lies within one line and is decided there: the
                                 // engine may be asked about a candidate's line alone
  // The most bytes before its starting point that a search may read; SIZE_MAX when unknown.
  std::size_t look_back_bytes = SIZE_MAX;
  // The capturing groups as the plan counts them; -1 when it cannot (a branch reset).
  int capture_count = -1;
  // Pieces: how a text may be cut, how far past a piece's end its attempts may read, and whether
  // a piece may be searched as a text of its own, from its look-back on (lines, and nothing
  // asks for the text's start): the way to texts beyond the engine's 2 GiB.
  split_mode split = split_mode::whole;
  std::size_t split_window = 0;
  bool split_alone = false;
};

// The plan of a lowered pattern, as its rules make it, before it is checked against the library.
pattern_plan plan_from(const lowered_pattern& pattern, const library_report& library,
                       const plan_wanted& wanted);

// Where a plan contradicts what the library reports about the same pattern: its count of
// capturing groups, a set of literals for a pattern that can match the empty string, literals at
// the start of every match that do not begin with the library's first byte, a pure set whose
// literals lack the library's required byte. Empty when they agree.
std::string library_disagreement(const pattern_plan& plan, const library_report& library);

// The plan the searches follow: plan_from(), or the slow, exact way where the library disagrees.
pattern_plan make_plan(const lowered_pattern& pattern, const library_report& library,
                       const plan_wanted& wanted);

// The most characters before a search's starting point that a search of `pattern` may read,
// given the library's longest lookbehind `max_lookbehind`; `unbounded` when not known.
std::int64_t look_back_characters(const lowered_pattern& pattern, int max_lookbehind);

}  // namespace textsift::analysis
