#include "program/parse_expression.hpp"

#include <algorithm>
#include <vector>

#include "analysis/pattern_reader.hpp"
#include "messages/message_byte.hpp"
#include "messages/messages.hpp"
#include "templates/engine_options.hpp"

namespace textsift {
namespace {

// Marks the end of the body, so a trailing backslash reads as an escaped backslash.
constexpr char guard = '\\';

char at_or_guard(std::string_view body, std::size_t i) {
  return i < body.size() ? body[i] : guard;
}

// Finds the closing separator in `tail` (the argument after prefix and opening separator):
// the rightmost separator at position 1 or later with only modifiers after it. Returns its
// position, or sets `error`.
std::size_t find_closing_separator(std::string_view tail, char separator, std::string& error) {
  std::size_t position = tail.size() - 1;
  if (tail.size() > 2) {
    for (; position >= 2; --position) {
      const char c = tail[position];
      if (c == separator) return position;
      if (modifier_set.find(c) == std::string_view::npos) {
        error = messages::fill(messages::unknown_modifier, message_byte(c));
        return 0;
      }
    }
  }
  if (tail[position] != separator) error = messages::fill(messages::empty_pattern);
  return position;
}

// Takes the pattern part of `body`: a backslash before a backslash or before the separator is
// consumed. Returns where the replacement part starts, or npos when no unescaped separator ends
// the pattern part (always so in the m form).
std::size_t take_pattern(std::string_view body, char separator, bool m_form, std::string& pattern) {
  pattern.reserve(body.size() + 1);
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (c == '\\') {
      const char next = at_or_guard(body, i + 1);
      pattern += next == separator ? separator : '\\';
      if (next == '\\' || next == separator) ++i;
    } else if (c == separator && !m_form) {
      return i + 1;
    } else {
      pattern += c;
    }
  }
  return std::string_view::npos;
}

bool is_typed_white_space(char c) {
  return c == '\n' || c == '\r' || c == '\t';
}

// Marks the typed line feeds, carriage returns and tabs that must reach the engine as typed:
// those in a # comment under x (the line feed ends it), inside \Q...\E, and those a backslash
// escapes.
std::vector<bool> typed_white_space_kept(const analysis::pattern_syntax& syntax, std::size_t size) {
  std::vector<bool> kept(size, false);
  const auto keep = [&kept](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to && i < kept.size(); ++i) kept[i] = true;
  };
  analysis::for_each_item(syntax.branches, [&](const analysis::pattern_item& item) {
    const bool escape = item.kind == analysis::item_kind::character && item.escaped;
    if (item.kind == analysis::item_kind::comment || item.quoted || escape) {
      keep(item.begin, item.end);
    }
  });
  return kept;
}

// Typed line feeds, carriage returns and tabs become the engine's escapes, so that they stay
// literal under x, except where they already mean themselves or must end a comment (see above).
// The reading follows the modifiers; a pattern the reader does not know gets all of them escaped.
std::string escape_typed_white_space(const std::string& pattern, std::string_view modifiers) {
  if (std::find_if(pattern.begin(), pattern.end(), is_typed_white_space) == pattern.end()) {
    return pattern;
  }
  const int options = templates::engine_options(modifiers).all_options();
  const analysis::pattern_syntax syntax = analysis::read_pattern(pattern, options);
  const std::vector<bool> kept = typed_white_space_kept(syntax, pattern.size());
  std::string escaped;
  escaped.reserve(2 * pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (!is_typed_white_space(c) || kept[i]) {
      escaped += c;
    } else {
      escaped += '\\';
      escaped += c == '\n' ? 'n' : c == '\r' ? 'r' : 't';
    }
  }
  return escaped;
}

// The character a backslash escape in the replacement stands for, or 0 when it is not one.
char replacement_escape(char c, char separator) {
  switch (c) {
    case '$':
    case '\\':
      return c;
    case 'a':
      return '\a';
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    case 'v':
      return '\v';
    default:
      return c == separator ? separator : 0;
  }
}

// Rewrites the replacement part: "$n" becomes the engine's "\n" reference, the common character
// escapes become the characters they name, "\0" a NUL byte; anything else stays as typed.
std::string rewrite_replacement(std::string_view part, char separator) {
  std::string replacement;
  replacement.reserve(part.size());
  for (std::size_t i = 0; i < part.size(); ++i) {
    const char c = part[i];
    const char next = at_or_guard(part, i + 1);
    if (c == '$') {
      replacement += next >= '0' && next <= '9' ? '\\' : '$';
    } else if (c == '\\' && next == '0') {
      replacement += '\0';
      ++i;
    } else if (c == '\\' && replacement_escape(next, separator) != 0) {
      replacement += replacement_escape(next, separator);
      ++i;
    } else {
      replacement += c;
    }
  }
  return replacement;
}

}  // namespace

parsed_expression parse_expression(std::string_view argument, std::string_view separators) {
  parsed_expression result;
  if (argument.size() < 3) {
    result.error = messages::fill(messages::empty_pattern);
    return result;
  }
  const bool search_kind = argument[0] == 's';
  const bool m_form = argument[0] == 'm';
  const std::size_t prefix = search_kind || m_form ? 1 : 0;
  const char separator = argument[prefix];
  if (separators.find(separator) == std::string_view::npos) {
    result.error = messages::fill(messages::no_separator, separators);
    return result;
  }
  const std::string_view tail = argument.substr(prefix + 1);
  std::string error;
  const std::size_t closing = find_closing_separator(tail, separator, error);
  if (!error.empty()) {
    result.error = error;
    return result;
  }
  const std::string_view body = tail.substr(0, closing);
  std::string pattern;
  const std::size_t replacement_start = take_pattern(body, separator, m_form, pattern);
  if (pattern.empty()) {
    result.error = messages::fill(messages::empty_pattern);
    return result;
  }
  result.search_kind = search_kind;
  result.modifiers = std::string(tail.substr(closing + 1));
  result.pattern = escape_typed_white_space(pattern, result.modifiers);
  if (replacement_start != std::string_view::npos) {
    result.replacement = rewrite_replacement(body.substr(replacement_start), separator);
  }
  return result;
}

}  // namespace textsift
