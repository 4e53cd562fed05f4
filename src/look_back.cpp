#include "templates/look_back.hpp"

#include <algorithm>
#include <vector>

namespace templates {
namespace {

// The character before a point is what \b and \B look at; ^ in multiline mode looks at the
// newline before it, which may be CR LF. The library's start-of-line search after a newline
// looks as far, whatever the pattern, so every search may read this much.
constexpr std::int64_t newline_characters = 2;

std::int64_t back_of_branches(const std::vector<pattern_branch>& branches, std::int64_t lookbehind);

// How far before its own position an item may read. Every item after it in its branch stands at
// or after that position, so the most of any item bounds a branch. A lookbehind steps back at
// most `lookbehind` characters and matches from there, so nesting adds up.
std::int64_t back_of(const pattern_item& item, std::int64_t lookbehind) {
  switch (item.kind) {
    case item_kind::assertion:
      return item.escape == '^' || item.escape == 'b' || item.escape == 'B' ? newline_characters
                                                                            : 0;
    case item_kind::subroutine_call:
      return unbounded;
    case item_kind::group: {
      const std::int64_t inside = back_of_branches(item.branches, lookbehind);
      const bool behind =
          item.group == group_kind::lookbehind || item.group == group_kind::negative_lookbehind;
      return behind ? std::min(unbounded, inside + lookbehind) : inside;
    }
    default:
      return 0;
  }
}

std::int64_t back_of_branches(const std::vector<pattern_branch>& branches,
                              std::int64_t lookbehind) {
  std::int64_t most = 0;
  for (const pattern_branch& branch : branches) {
    for (const pattern_item& item : branch) most = std::max(most, back_of(item, lookbehind));
  }
  return most;
}

}  // namespace

std::int64_t look_back_characters(const pattern_syntax& syntax, int max_lookbehind) {
  if (!syntax.known || max_lookbehind < 0) return unbounded;
  return std::min(unbounded,
                  newline_characters + back_of_branches(syntax.branches, max_lookbehind));
}

}  // namespace templates
