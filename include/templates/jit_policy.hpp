// Which patterns may run on the library's JIT. PCRE 8.39's JIT and its interpreter disagree on
// some patterns, and the interpreter gives today's results (mostly Perl's). Differences found:
//   possessive quantifier on a group    `(bb|b){2,}+` finds no match in "bb"
//   backtracking verbs                  `x*(*PRUNE).|` matches in "x"
//   \K next to lookarounds or verbs     other match spans
//   \X in byte mode                     `\X{2}` on CR LF at the end runs past the text
//   back reference in a branch reset    `((?|(()?)|(\2)).)+[ab]` crashes on "-x"
//   conditional group                   `(()(?(1)a)??)A` matches "A" in "aA", not "aA"
//   lookahead starting with `.*`        `(?=.*)a?\n` matches in "c\n"; the interpreter tries
//                                       line starts only and finds none
//   group captured in an assertion      `((?=())\n){1,}` on "\n" sets group 2 to 0-0, not 1-1
//   back reference to its own group     `((?:.]?\p{L}|)*\g{1}*)a` finds no match in "ab"
//   subroutine call                     `(?:(-*+)(?1)|)` leaves group 1 unset
// Such patterns stay on the interpreter.
#pragma once

#include <algorithm>
#include <cstddef>

#include "templates/pattern_reader.hpp"

namespace templates {

// Whether a pattern as read is clear of the constructs listed above: no verbs or leading
// settings, \K, \X, branch reset, conditional group, back reference or subroutine call; no
// lookaround in a pattern with a capturing group; no `.` or \N after the first lookahead; no
// possessive quantifier on a group. A pattern the reader does not know is not trusted.
inline bool jit_is_trusted(const pattern_syntax& syntax) {
  if (!syntax.known) return false;
  constexpr std::size_t none = static_cast<std::size_t>(-1);
  bool untrusted = false, captures = false, lookaround = false;
  std::size_t first_lookahead = none, last_dot = 0;
  for_each_item(syntax.branches, [&](const pattern_item& item) {
    switch (item.kind) {
      case item_kind::verb:
      case item_kind::match_start_reset:
      case item_kind::back_reference:
      case item_kind::subroutine_call:
        untrusted = true;
        break;
      case item_kind::character_type:
        untrusted = untrusted || item.escape == 'X';
        if (item.escape == '.' || item.escape == 'N') last_dot = std::max(last_dot, item.begin);
        break;
      case item_kind::group:
        switch (item.group) {
          case group_kind::branch_reset:
          case group_kind::conditional:
            untrusted = true;
            break;
          case group_kind::capturing:
          case group_kind::named:
            captures = true;
            break;
          case group_kind::lookahead:
            first_lookahead = std::min(first_lookahead, item.begin);
            lookaround = true;
            break;
          case group_kind::negative_lookahead:
          case group_kind::lookbehind:
          case group_kind::negative_lookbehind:
            lookaround = true;
            break;
          default:
            break;
        }
        untrusted =
            untrusted || (item.repeat.present && item.repeat.mode == repeat_mode::possessive);
        break;
      default:
        break;
    }
  });
  const bool dot_after_lookahead = first_lookahead != none && last_dot > first_lookahead;
  return !untrusted && !(lookaround && captures) && !dot_after_lookahead;
}

}  // namespace templates
