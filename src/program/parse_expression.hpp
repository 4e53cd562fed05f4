// The expression syntax: from one command-line argument to kind, pattern, replacement and
// modifiers, with the escape rewriting of pattern and replacement.
#pragma once

#include <string>
#include <string_view>

namespace textsift {

// The characters allowed after the closing separator.
constexpr std::string_view modifier_set = "ixsmU!$X*1";

// What the parse makes of one argument. When `error` is not empty the argument is rejected and
// the other fields keep their initial values.
struct parsed_expression {
  bool search_kind = false;
  std::string pattern;      // rewritten; never empty when accepted
  std::string replacement;  // rewritten; may be empty or hold NUL bytes
  std::string modifiers;    // as typed, in order, repeats included
  std::string error;
};

// Parses `argument` (an s form "s/pattern/replacement/mods", an m form "m/pattern/mods" or a
// plain form "/pattern/[replacement/]mods") with the separators in `separators`. Never throws
// for bad input: the verdict is the error field.
parsed_expression parse_expression(std::string_view argument, std::string_view separators);

}  // namespace textsift
