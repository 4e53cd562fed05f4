// The one reader of pattern text: PCRE 8.39's syntax read into items, once per pattern, for
// everything that looks inside a pattern (the fast paths, the engine choice, the parser's
// handling of typed white space). It reads the text exactly as the library does, or it says
// "unknown"; it never guesses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace textsift::analysis {

// A count too large for any text: "no bound".
constexpr std::int64_t unbounded = INT64_MAX / 4;

// Sums and products of counts, which stay `unbounded` once they reach it.
constexpr std::int64_t bounded_add(std::int64_t a, std::int64_t b) {
  return a >= unbounded || b >= unbounded ? unbounded : a + b;
}

constexpr std::int64_t bounded_multiply(std::int64_t a, std::int64_t count) {
  if (a == 0 || count == 0) return 0;
  return a >= unbounded || count >= unbounded || a * count >= unbounded ? unbounded : a * count;
}

enum class item_kind {
  character,          // one character matched as itself: `value`, `bytes`
  character_type,     // `.` or an escape for a set of characters (\d, \s, \R, \X, \p{..}, ...)
  character_class,    // [...]: `members`, `negated`
  class_range,        // a member low-high of a class: `value` to `high`
  posix_class,        // a member [:name:] of a class: `name`, `negated`
  assertion,          // ^ $ \b \B \A \z \Z \G
  group,              // (...): `group`, `branches`
  back_reference,     // \1, \g{1}, \g{-1}, \k<n>, (?P=n)
  subroutine_call,    // (?R), (?1), (?-1), (?&n), (?P>n), \g<n>
  match_start_reset,  // \K
  callout,            // (?C) or (?Cn)
  verb,               // (*...), a leading setting such as (*CR) or (*UCP) included
  option_setting,     // (?i), (?-x), ...: `options` changes for the rest of the enclosing group
  comment,            // (?#...), or under x a # comment with the newline that ends it
};

enum class group_kind {
  capturing,
  named,          // (?<n>...), (?'n'...), (?P<n>...)
  non_capturing,  // (?:...), and (?i:...) with its option letters
  atomic,         // (?>...)
  lookahead,
  negative_lookahead,
  lookbehind,
  negative_lookbehind,
  branch_reset,  // (?|...)
  conditional,   // (?(condition)...); an assertion condition is the first item of its first branch
};

enum class repeat_mode { greedy, lazy, possessive };

// A quantifier after an item; `present` false means the item stands once.
struct quantifier {
  bool present = false;
  std::int64_t min = 1;
  std::int64_t max = 1;  // `unbounded` for *, + and {n,}
  repeat_mode mode = repeat_mode::greedy;
};

struct pattern_item {
  item_kind kind = item_kind::character;
  // The item's text in the pattern, its quantifier not included.
  std::size_t begin = 0;
  std::size_t end = 0;
  // The option bits (PCRE_CASELESS, PCRE_EXTENDED, ...) in force where the item stands; for an
  // option setting, those in force after it.
  int options = 0;
  // character: its code point (a byte value in byte mode); class_range: the low end.
  std::uint32_t value = 0;
  std::uint32_t high = 0;  // class_range: the high end
  // character: the bytes it matches when case does not matter (a UTF-8 sequence in UTF-8 mode).
  std::string bytes;
  bool quoted = false;   // character: written between \Q and \E
  bool escaped = false;  // character: written as an escape (\n, \x41, \., ...)
  // character_type and assertion: the escape letter, or '.', '^', '$'.
  char escape = 0;
  bool negated = false;  // character_class: [^...]; posix_class: [:^name:]
  std::string name;      // posix_class: the class name
  group_kind group = group_kind::capturing;
  quantifier repeat;
  std::vector<pattern_item> members;                // character_class
  std::vector<std::vector<pattern_item>> branches;  // group: its alternatives
};

using pattern_branch = std::vector<pattern_item>;

// How far the reader got with a pattern.
enum class reading {
  read,          // all of it, exactly as the library reads it
  rejected,      // the library rejects the pattern: it does not compile
  not_modelled,  // the library may accept it, but the reader cannot follow all of it
};

// A pattern as read. Unless its status is `read`, nothing else here holds.
struct pattern_syntax {
  reading status = reading::not_modelled;
  bool known() const { return status == reading::read; }
  bool utf8 = false;                     // after leading settings such as (*UTF8)
  bool leading_settings = false;         // the pattern starts with (*CR), (*UCP), ...
  bool newline_is_line_feed = true;      // the newline convention is LF alone
  std::vector<pattern_branch> branches;  // the top-level alternatives
};

// Reads `pattern` as the library reads it when compiled with the option bits `options` (of
// PCRE_UTF8, PCRE_CASELESS, PCRE_EXTENDED, PCRE_DOTALL, PCRE_MULTILINE, PCRE_UNGREEDY,
// PCRE_EXTRA and PCRE_NO_AUTO_CAPTURE, the ones the modifiers set). Never throws for any text.
// A pattern the library rejects is `rejected` or, where the reader cannot tell, `not_modelled`;
// some patterns the library rejects (an unknown property name, say) are read all the same.
pattern_syntax read_pattern(std::string_view pattern, int options);

// Calls `visit` for every item of `branches` in the order of the text, the items inside groups
// and classes included (each after the item that holds it).
template <class Visit>
void for_each_item(const std::vector<pattern_branch>& branches, Visit&& visit) {
  for (const pattern_branch& branch : branches) {
    for (const pattern_item& item : branch) {
      visit(item);
      for (const pattern_item& member : item.members) visit(member);
      for_each_item(item.branches, visit);
    }
  }
}

}  // namespace textsift::analysis
