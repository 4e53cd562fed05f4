// The mapping from modifier characters to the engine's option bits and limits.
#pragma once

#include <pcrecpp.h>

#include "templates/match_settings.hpp"

namespace templates {

// Options for a pattern written with `modifiers` (any of "ixsmU!$X*1", in any order, repeats
// allowed): the match and recursion limits of `settings` and one option bit per modifier. UTF-8
// mode is on unless "U" is given; "1" selects no option.
template <class String>
pcrecpp::RE_Options engine_options(const String& modifiers,
                                   const match_settings& settings = match_settings()) {
  const auto has = [&modifiers](char modifier) { return modifiers.find(modifier) != String::npos; };
  pcrecpp::RE_Options options;
  options.set_match_limit(settings.match_limit);
  options.set_match_limit_recursion(settings.recursion_limit);
  options.set_caseless(has('i'));
  options.set_utf8(!has('U'));
  options.set_extended(has('x'));
  options.set_dotall(has('s'));
  options.set_multiline(has('m'));
  options.set_ungreedy(has('!'));
  options.set_dollar_endonly(has('$'));
  options.set_extra(has('X'));
  options.set_no_auto_capture(has('*'));
  return options;
}

}  // namespace templates
