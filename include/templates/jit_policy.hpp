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

#include <cstddef>
#include <string_view>

namespace templates {

namespace jit_detail {

constexpr std::size_t none = std::string_view::npos;

inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// From `i`, skips what may stand between a group and its quantifier under the modifier x: white
// space, # comments to the end of the line, and (?#...) comments. Skipped also without x, where
// it can only add false alarms: without x a quantifier right after the group is never skipped.
inline std::size_t skip_ignorable(std::string_view pattern, std::size_t i) {
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == ' ' || (c >= '\t' && c <= '\r')) {
      ++i;
    } else if (c == '#') {
      i = pattern.find('\n', i);
      if (i == none) return pattern.size();
      ++i;
    } else if (pattern.compare(i, 3, "(?#") == 0) {
      i = pattern.find(')', i);
      if (i == none) return pattern.size();
      ++i;
    } else {
      break;
    }
  }
  return i;
}

// The position after a quantifier (*, +, ?, {n}, {n,}, {n,m}) that starts at `i`, or none.
inline std::size_t after_quantifier(std::string_view pattern, std::size_t i) {
  if (i >= pattern.size()) return none;
  const char c = pattern[i];
  if (c == '*' || c == '+' || c == '?') return i + 1;
  if (c != '{') return none;
  std::size_t j = i + 1;
  while (j < pattern.size() && (is_digit(pattern[j]) || pattern[j] == ',')) ++j;
  return j > i + 1 && j < pattern.size() && pattern[j] == '}' ? j + 1 : none;
}

// Whether a closing parenthesis is followed by a possessive quantifier: ")*+", "){2,}+", ") ?+".
inline bool has_possessive_group(std::string_view pattern) {
  for (std::size_t close = pattern.find(')'); close != none; close = pattern.find(')', close + 1)) {
    const std::size_t quantifier_end =
        after_quantifier(pattern, skip_ignorable(pattern, close + 1));
    if (quantifier_end == none) continue;
    const std::size_t next = skip_ignorable(pattern, quantifier_end);
    if (next < pattern.size() && pattern[next] == '+') return true;
  }
  return false;
}

// Whether `pattern` may hold a capturing group: a "(" not followed by "?" or "*", or a named
// group.
inline bool may_capture(std::string_view pattern) {
  for (std::size_t open = pattern.find('('); open != none; open = pattern.find('(', open + 1)) {
    const std::string_view rest = pattern.substr(open + 1);
    if (rest.empty() || (rest[0] != '?' && rest[0] != '*')) return true;
    if (rest.compare(0, 2, "?P") == 0 || rest.compare(0, 2, "?'") == 0) return true;
    if (rest.size() > 2 && rest.compare(0, 2, "?<") == 0 && rest[2] != '=' && rest[2] != '!') {
      return true;
    }
  }
  return false;
}

// Whether `pattern` may refer to a group by number: a back reference "\1" to "\9", or a
// subroutine call "(?1)", "(?+1)", "(?-1)".
inline bool may_refer_by_number(std::string_view pattern) {
  for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
    if (pattern[i] == '\\' && pattern[i + 1] != '0' && is_digit(pattern[i + 1])) return true;
    if (pattern.compare(i, 2, "(?") != 0 || i + 2 >= pattern.size()) continue;
    const char after = pattern[i + 2];
    if (is_digit(after)) return true;
    if ((after == '+' || after == '-') && i + 3 < pattern.size() && is_digit(pattern[i + 3])) {
      return true;
    }
  }
  return false;
}

}  // namespace jit_detail

// Whether `pattern` (as compiled) is clear of the constructs listed above: no "(*" (verbs; leading
// settings such as (*CRLF) count too), no "\K", "\X", "(?|" or "(?(", no back reference or
// subroutine call ("\1", "\g", "\k", "(?P=", "(?1)", "(?&", "(?P>", "(?R"), no assertion in a
// pattern that may capture, no "." or "\N" after a "(?=", and no possessive quantifier right after
// a closing parenthesis. The scan reads the text, not the syntax, so escaped or quoted look-alikes
// are false alarms: they cost speed only, while a miss would cost correctness.
inline bool jit_is_trusted(std::string_view pattern) {
  using namespace jit_detail;
  static constexpr std::string_view constructs[] = {"(*",  "\\K",  "\\X",  "(?|", "(?(", "\\g",
                                                    "\\k", "(?P=", "(?P>", "(?&", "(?R"};
  for (const std::string_view construct : constructs) {
    if (pattern.find(construct) != none) return false;
  }
  if (may_refer_by_number(pattern)) return false;
  const bool assertion = pattern.find("(?=") != none || pattern.find("(?!") != none ||
                         pattern.find("(?<=") != none || pattern.find("(?<!") != none;
  if (assertion && may_capture(pattern)) return false;
  const std::size_t lookahead = pattern.find("(?=");
  if (lookahead != none &&
      (pattern.find('.', lookahead) != none || pattern.find("\\N", lookahead) != none)) {
    return false;
  }
  return !has_possessive_group(pattern);
}

}  // namespace templates
