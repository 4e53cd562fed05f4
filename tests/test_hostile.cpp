// Hostile arguments, input and output: every run ends with a result or with exactly one "Error: "
// line, exit status 1 and nothing on standard output; never a crash or a hang.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "e2e_case.hpp"
#include "process.hpp"

namespace {

// The outcome of any run: success with a quiet stderr, or the one error line and no output.
void expect_clean_outcome(const test::run_result& result, const std::string& what) {
  if (result.status == 0) {
    EXPECT_EQ(result.err, "") << what;
    return;
  }
  EXPECT_EQ(result.status, 1) << what;
  EXPECT_EQ(result.out, "") << what;
  ASSERT_GE(result.err.size(), 8u) << what;
  EXPECT_EQ(result.err.compare(0, 7, "Error: "), 0) << what;
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << what;
}

// Every byte in every position where TEXTSIFT_EXHAUSTIVE=1 (CI); otherwise a sample of a seventh
// of the bytes at each position, a different seventh at each, so that every byte still meets
// several positions (under valgrind, where every run costs a second, a seventeenth).
TEST(hostile_arguments, every_byte_in_every_position) {
  const std::string expression = "s/a(b)/$1/i";
  const char* exhaustive = std::getenv("TEXTSIFT_EXHAUSTIVE");
  const int step = test::wrapped()                                           ? 17
                   : exhaustive != nullptr && std::string(exhaustive) == "1" ? 1
                                                                             : 7;
  for (std::size_t position = 0; position < expression.size(); ++position) {
    for (int byte = 1 + static_cast<int>(position) % step; byte < 256; byte += step) {
      std::string argument = expression;
      argument[position] = static_cast<char>(byte);
      const auto result = test::run({argument}, "xab\xc3\xa9 abAB");
      expect_clean_outcome(result, testing::PrintToString(argument));
    }
  }
}

using test::e2e_case;
using test::error;
using test::pipeline;

std::string nested(int depth) {
  return std::string(depth, '(') + "a" + std::string(depth, ')');
}

INSTANTIATE_TEST_SUITE_P(
    hostile_cases, pipeline,
    testing::Values(
        e2e_case{"empty_argument", {""}, "a", "", error("Expression 1: Empty pattern"), 1},
        e2e_case{
            "empty_after_valid", {"s/a/b/", ""}, "a", "", error("Expression 2: Empty pattern"), 1},
        e2e_case{"option_then_nothing", {"--verbose"}, "x\ny", "x\ny", "", 0},
        e2e_case{"deep_nesting",
                 {"/" + nested(5000) + "/"},
                 "a",
                 "",
                 error("Expression 1: parentheses are too deeply nested"),
                 1},
        e2e_case{"moderate_nesting", {"/" + nested(200) + "/"}, "xa", "a", "", 0},
        e2e_case{"unterminated_class",
                 {"/[a/"},
                 "a",
                 "",
                 error("Expression 1: missing terminating ] for character class"),
                 1},
        e2e_case{"line_break_as_modifier",
                 {"s/a/b/\n"},
                 "a",
                 "",
                 error("Expression 1: Unknown modifier/option '\\x0a'"),
                 1},
        e2e_case{"escape_as_modifier",
                 {"s/a/b/\x1b[31m"},
                 "a",
                 "",
                 error("Expression 1: Unknown modifier/option '3'"),
                 1},
        e2e_case{"escape_byte_as_modifier",
                 {"s/a/b/\x1b"},
                 "a",
                 "",
                 error("Expression 1: Unknown modifier/option '\\x1b'"),
                 1},
        e2e_case{"line_break_escaped_in_replacement",
                 {"s/a/\\\n/"},
                 "a",
                 "",
                 error("Expression 1: Replacement has an unknown escape sequence: \\\\x0a"),
                 1},
        e2e_case{"bad_repeat",
                 {"s/a{99999}/x/"},
                 "a",
                 "",
                 error("Expression 1: number too big in {} quantifier"),
                 1},
        e2e_case{"lookbehind_not_fixed",
                 {"/(?<=a+)b/"},
                 "ab",
                 "",
                 error("Expression 1: lookbehind assertion is not fixed length"),
                 1},
        e2e_case{"nul_bytes", {"s/\\x00/0/"}, std::string("a\0b\0", 4), "a0b0", "", 0},
        e2e_case{
            "crlf_text", {"s/\\r$//m", "s/^(\\w)/[$1]/m"}, "ab\r\ncd\r\n", "[a]b\n[c]d\n", "", 0},
        e2e_case{"crlf_dot", {"/a.*/"}, "ab\r\ncd", "ab\r", "", 0},
        e2e_case{"one_byte", {"s/^|$/|/"}, "x", "|x|", "", 0},
        e2e_case{"one_invalid_byte",
                 {"/./"},
                 "\x80",
                 "",
                 error("Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)"),
                 1},
        e2e_case{"one_invalid_byte_U", {"/./U"}, "\x80", "\x80", "", 0},
        e2e_case{"truncated_sequence",
                 {"s/a/b/"},
                 "a\xe2\x82",
                 "",
                 error("Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)"),
                 1},
        e2e_case{"surrogate",
                 {"s/a/b/"},
                 "a\xed\xa0\x80",
                 "",
                 error("Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)"),
                 1},
        e2e_case{"backtracking_match_limit",
                 {"s/(a+)+$/x/"},
                 std::string(10000, 'a') + "b",
                 "",
                 error("Expression 1: Match limit exceeded (pattern too complex for this text)"),
                 1},
        // Each text holds the byte every match needs, so the engine has to run.
        e2e_case{
            "nested_lazy_groups",
            {"/((.*?)*?)*?x/s"},
            std::string(1 << 20, 'y') + "x",
            "",
            error("Expression 1: Recursion limit exceeded (pattern too complex for this text)"),
            1},
        e2e_case{
            "deep_recursion",
            {"/^(a|b)*c/"},
            std::string(3000000, 'a') + "c",
            "",
            error("Expression 1: Recursion limit exceeded (pattern too complex for this text)"),
            1},
        // Without that byte no match can exist, and no engine runs to find that out.
        e2e_case{"deep_recursion_without_its_byte",
                 {"/^(a|b)*c/"},
                 std::string(3000000, 'a'),
                 "",
                 "",
                 0}));

// Linux refuses a single argument of 128 KiB or more (MAX_ARG_STRLEN), so the longest that can
// reach the program is one byte less; a 1 MiB expression is checked in process.
TEST(hostile_arguments, longest_possible_expression) {
  const std::size_t longest = 128 * 1024 - 1;
  std::string pattern;
  while (pattern.size() < longest - 2) pattern += "a" + std::to_string(pattern.size() % 10);
  pattern.resize(longest - 2);
  auto result = test::run({"/" + pattern + "/"}, "a0");
  EXPECT_EQ(result.err, error("Expression 1: regular expression is too large"));
  EXPECT_EQ(result.status, 1);
  result = test::run({"s/" + std::string(longest - 7, 'x') + "|a/b/"}, "a");
  expect_clean_outcome(result, "longest alternative");
}

TEST(hostile_arguments, ten_thousand_expressions) {
  std::vector<std::string> args;
  for (int i = 0; i < 10000; ++i) args.push_back(i % 2 == 0 ? "s/a/b/" : "s/b/a/");
  auto result = test::run(args, "xa");
  EXPECT_EQ(result.out, "xa");
  EXPECT_EQ(result.status, 0);
  args.back() = "s/(/x/";
  result = test::run(args, "xa");
  EXPECT_EQ(result.err, error("Expression 10000: missing )"));
  EXPECT_EQ(result.status, 1);
}

TEST(hostile_input, text_in_tiny_pieces_with_pauses) {
  test::run_request request;
  request.args = {"s/(\\w+) (\\w+)/$2 $1/"};
  for (const char c : std::string("hello world\xc3\xa9\n"))
    request.chunks.push_back(std::string(1, c));
  request.chunk_delay_ms = 15;
  const auto result = test::run(request);
  EXPECT_EQ(result.out, "world hello\xc3\xa9\n");
  EXPECT_EQ(result.status, 0);
}

TEST(hostile_output, reader_closing_early_ends_the_run_quietly) {
  test::run_request request;
  request.args = {"s/a/bb/"};
  request.chunks = {std::string(1 << 20, 'a')};
  request.stdout_limit = 1;
  const auto result = test::run(request);
  EXPECT_EQ(result.out, "b");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 128 + 13);  // SIGPIPE, as for any filter
}

TEST(hostile_input, memory_exhaustion_is_reported) {
  if (test::wrapped() || TEXTSIFT_SANITIZED)
    GTEST_SKIP() << "address-space limits need a plain run";
  test::run_request request;
  // An optional item keeps the engine in use, so the result is built whole (a plain literal's is
  // streamed).
  request.args = {"s/(a)x?/" + std::string(64, 'x') + "/"};
  request.chunks = {std::string(8 << 20, 'a')};
  request.address_space = 256u << 20;
  const auto result = test::run(request);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, error("Out of memory"));
  EXPECT_EQ(result.status, 1);
}

}  // namespace
