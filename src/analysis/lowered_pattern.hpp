// A pattern's meaning, lowered once from the reader's syntax tree for every analysis that looks
// inside a pattern: comments and option settings are gone, case is resolved into the bytes each
// atom matches, whether each group captures is settled as the library settles it, quantifiers are
// greedy, lazy or possessive as they act (the ungreedy option applied), and the properties every
// client needs are computed once, per node and for the whole pattern. What is not modelled is a
// node of its own kind, so that no analysis can mistake it for something harmless.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "analysis/pattern_reader.hpp"
#include "search/literal.hpp"

namespace textsift::analysis {

enum class node_kind {
  atom,        // one character out of a set, or a short run of characters (\R, \X): `atom`
  assertion,   // a zero-width test of the text at a point: `assertion`
  group,       // alternatives, in `branches`; `captures`, `atomic`
  look,        // a lookahead or lookbehind: `look`, its alternatives in `branches`
  unmodelled,  // what the analyses do not follow: `unmodelled`; a body in `branches`, if any
};

// What an atom is, for the rules that single some out.
enum class atom_kind {
  character,         // a character written as itself or as an escape
  character_class,   // [...]
  any_character,     // `.` and \N
  single_byte,       // \C: one byte, even inside a UTF-8 character
  newline_sequence,  // \R: CR LF, or one newline character
  grapheme,          // \X: an extended grapheme cluster, one or more characters
  character_type,    // \d \D \s \S \w \W \h \H \v \V \p \P
};

enum class assertion_kind {
  text_start,                 // \A, and ^ outside multi-line mode
  line_start,                 // ^ in multi-line mode
  text_end,                   // \z, and $ under `$` outside multi-line mode
  text_end_or_final_newline,  // \Z, and $ otherwise outside multi-line mode
  line_end,                   // $ in multi-line mode
  word_boundary,              // \b
  not_word_boundary,          // \B
  search_start,               // \G: where the search started
};

enum class look_kind { ahead, negative_ahead, behind, negative_behind };

// Constructs whose effect on where and how a match can start no analysis follows.
enum class unmodelled_kind {
  back_reference,     // \1, \g{..}, \k<..>, (?P=..)
  subroutine_call,    // (?R), (?1), (?&n), \g<..>, ...
  match_start_reset,  // \K
  callout,            // (?C)
  verb,               // (*PRUNE) and the others, leading settings such as (*CR) included
  conditional,        // (?(condition)...): its branches are lowered
  branch_reset,       // (?|...): its branches are lowered
};

// How often a node stands; {1, 1} when it has no quantifier. The mode is how the quantifier acts,
// the ungreedy option applied.
struct repetition {
  std::int64_t min = 1;
  std::int64_t max = 1;  // `unbounded` for *, + and {n,}
  repeat_mode mode = repeat_mode::greedy;
  bool quantified() const { return min != 1 || max != 1; }
};

// What a node can match, its quantifier included.
struct properties {
  std::int64_t min_bytes = 0;
  std::int64_t max_bytes = 0;  // `unbounded` when not bounded
  bool line_feed = false;      // a match may contain a line feed
  bool looks_ahead = false;    // whether it matches may depend on text after its end: $, \Z, \z,
                               // lookahead (a lookbehind inside a lookahead included)
  bool reads_ahead = false;    // ... beyond the one character after it: a lookahead, or \Z, \z
                               // and $ outside multi-line mode (which compare with the text's end)
  bool text_start = false;     // it asks whether it stands at the text's start: \A, ^ outside
                               // multi-line mode
  bool unmodelled = false;     // it holds an unmodelled node or \G
  int captures = 0;            // the capturing groups it holds, itself included
};

struct node;
using branch = std::vector<node>;

struct node {
  node_kind kind = node_kind::atom;
  std::size_t begin = 0;  // where it stands in the pattern's text
  repetition repeat;
  properties props;

  // atom: what one occurrence matches. When `exact`, it matches exactly the strings of
  // `strings` (each one character; a caseless literal stands for its letters in either case),
  // and never anything else.
  atom_kind atom = atom_kind::character;
  std::vector<search::literal> strings;
  bool exact = false;

  assertion_kind assertion = assertion_kind::text_start;
  bool captures = false;  // group: it captures (a named group, or a plain one unless `*`)
  bool atomic = false;    // group: (?>...)
  look_kind look = look_kind::ahead;
  unmodelled_kind unmodelled = unmodelled_kind::verb;
  std::vector<branch> branches;
};

// A pattern's meaning. Unless `status` is `read`, it has no nodes and nothing else holds.
struct lowered_pattern {
  reading status = reading::not_modelled;
  bool known() const { return status == reading::read; }
  bool utf8 = false;
  std::vector<branch> branches;  // the top-level alternatives
  properties props;              // of the whole pattern
};

// Lowers a pattern as read. `unicode_case` says whether the library folds case beyond ASCII
// (it does when built with Unicode property support): in UTF-8 mode, k and s ignoring case then
// also match KELVIN SIGN and LONG S.
lowered_pattern lower(const pattern_syntax& syntax, bool unicode_case);

// Reads and lowers `pattern` as compiled with the option bits `options` (as for read_pattern),
// for the library linked here.
lowered_pattern lower_pattern(std::string_view pattern, int options);

// Calls `visit` for every node of `branches`, in the order of the text, each before the nodes it
// holds.
template <class Visit>
void for_each_node(const std::vector<branch>& branches, Visit&& visit) {
  for (const branch& each : branches) {
    for (const node& item : each) {
      visit(item);
      for_each_node(item.branches, visit);
    }
  }
}

}  // namespace textsift::analysis
