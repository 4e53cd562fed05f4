// Every message the user can see after "Error: ", in one place, and the one type that carries a
// failure to the single place that reports it. A message is a shape: fixed parts with the
// variable parts (a number, a byte, a reason) between them. The catalog lists every shape; the
// manual page names each one, and its test reads them from here. The engine's own compile
// messages ("missing )") are the library's, not ours.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace textsift {

// A failure of the run: `message()` is what the user sees after "Error: ".
class failure {
 public:
  explicit failure(std::string message) : message_(std::move(message)) {}
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

namespace messages {

template <std::size_t holes>
using shape = std::array<std::string_view, holes + 1>;

// The run.
inline constexpr shape<1> no_expression = {"No expression given (try ", " --help)"};  // name
inline constexpr shape<2> numbered = {"Expression ", ": ", ""};  // number, reason
inline constexpr shape<0> out_of_memory = {"Out of memory"};
// Input and output.
inline constexpr shape<0> no_input = {"Pipe in your text data."};
inline constexpr shape<0> read_failed = {"Failed to read from stdin"};
inline constexpr shape<0> input_shrank = {"Input file shrank while being read"};
inline constexpr shape<1> input_too_large = {"Input larger than ", " bytes"};
inline constexpr shape<0> write_failed = {"Failed to write to stdout"};
// Parsing an expression.
inline constexpr shape<0> empty_pattern = {"Empty pattern"};
inline constexpr shape<1> no_separator = {
    "Invalid pattern (must start with one of the separators: ", ")"};
inline constexpr shape<1> unknown_modifier = {"Unknown modifier/option '", "'"};
// The replacement.
inline constexpr shape<0> single_backslash = {"Replacement ends with a single backslash"};
inline constexpr shape<1> missing_group = {"Replacement refers to group ",
                                           ", which the pattern does not have"};
inline constexpr shape<1> unknown_escape = {"Replacement has an unknown escape sequence: \\", ""};
// Compiling, when the library gives no message of its own.
inline constexpr shape<0> compile_failed = {"compilation failed"};
// Applying an expression.
inline constexpr shape<1> text_too_large = {"Text larger than ", " bytes"};
inline constexpr shape<0> match_limit = {
    "Match limit exceeded (pattern too complex for this text)"};
inline constexpr shape<0> recursion_limit = {
    "Recursion limit exceeded (pattern too complex for this text)"};
inline constexpr shape<0> invalid_utf8 = {
    "Text is not valid UTF-8 (use the modifier U to match bytes)"};
inline constexpr shape<0> match_out_of_range = {
    "Match start out of range (\\K inside an assertion)"};
inline constexpr shape<0> group_out_of_range = {"Matching failed (a group reported out of range)"};
inline constexpr shape<1> engine_error = {"Matching failed (PCRE error ", ")"};

// The message of `form` with `parts` in its holes, in order.
template <std::size_t size, class... Parts>
std::string fill(const std::array<std::string_view, size>& form, const Parts&... parts) {
  static_assert(sizeof...(parts) + 1 == size, "one part for each hole");
  std::string text(form[0]);
  std::size_t next = 1;
  ((text += parts, text += form[next++]), ...);
  return text;
}

// The fixed parts of every shape above, for the manual page's test.
std::vector<std::vector<std::string_view>> catalog();

}  // namespace messages
}  // namespace textsift
