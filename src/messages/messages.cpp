#include "messages/messages.hpp"

namespace textsift::messages {
namespace {

template <std::size_t size>
std::vector<std::string_view> parts(const std::array<std::string_view, size>& form) {
  std::vector<std::string_view> fixed;
  for (const std::string_view part : form) {
    if (!part.empty()) fixed.push_back(part);
  }
  return fixed;
}

}  // namespace

std::vector<std::vector<std::string_view>> catalog() {
  return {parts(no_expression),   parts(numbered),           parts(out_of_memory),
          parts(no_input),        parts(read_failed),        parts(input_shrank),
          parts(input_too_large), parts(write_failed),       parts(empty_pattern),
          parts(no_separator),    parts(unknown_modifier),   parts(single_backslash),
          parts(missing_group),   parts(unknown_escape),     parts(compile_failed),
          parts(text_too_large),  parts(match_limit),        parts(recursion_limit),
          parts(invalid_utf8),    parts(match_out_of_range), parts(group_out_of_range),
          parts(engine_error)};
}

}  // namespace textsift::messages
