// The built binary through real pipes: standard output, standard error and exit status exactly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "e2e_case.hpp"
#include "io/write_output.hpp"
#include "process.hpp"
#include "templates/pcre_binding.hpp"

namespace {

using test::both_engines;
using test::e2e_case;
using test::error;
using test::pipeline;

TEST_P(pipeline, gives_exact_output_error_and_status) {
  const e2e_case& c = GetParam();
  const test::run_result result = test::run(c.args, c.input);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.status, c.status);
}

TEST_P(both_engines, give_exact_output_error_and_status) {
  const e2e_case& c = GetParam();
  for (const bool without_jit : {false, true}) {
    if (without_jit && test::thread_sanitized) continue;  // the preload breaks the sanitizer
    const test::run_result result = test::run(c.args, c.input, without_jit);
    const char* engine = without_jit ? "interpreter" : "JIT";
    EXPECT_TRUE(result.out == c.out) << engine << ": output differs";
    EXPECT_EQ(result.err, c.err) << engine;
    EXPECT_EQ(result.status, c.status) << engine;
  }
}

// Texts around the size of the blocks in which input arrives and output once went.
constexpr std::size_t batch = std::size_t{128} << 10;

std::string repeated(const std::string& part, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += part;
  return text;
}

const std::vector<std::string> help_example = {"s/ABC[\\s]?/X/", "/(\\w+)\\s(\\w+)/$1=$2/"};
const std::vector<std::string> five = {"s/a/b/", "s/b/c/", "s/(/x/", "s/c/d/x", "/unknown"};

INSTANTIATE_TEST_SUITE_P(
    runs, both_engines,
    testing::Values(
        e2e_case{"help_example", help_example, "ABC DEF YES", "XDEF=YES", "", 0},
        e2e_case{"help_example_newline_kept_out", help_example, "ABC DEF YES\n", "XDEF=YES", "", 0},
        e2e_case{"no_trailing_newline_added", {"s/a/b/"}, "aaa", "bbb", "", 0},
        e2e_case{"trailing_newline_kept", {"s/a/b/"}, "a\n", "b\n", "", 0},
        e2e_case{"empty_input_passes", {"s/a/b/"}, "", "", "", 0},
        e2e_case{"empty_input_empty_match", {"s/^/x/"}, "", "x", "", 0},
        e2e_case{"empty_input_match_rewrite", {"/x*/[$0]/"}, "", "[]", "", 0},
        // Results built over the text: of 0 and 1 byte, one block, many blocks of short and long
        // parts, results that outgrow their text, and lookbehinds that read back over what has
        // already been replaced (a far one, nested ones, characters of 2 bytes, and one through
        // a subroutine call, whose length the library does not report).
        e2e_case{"held_empty_input", {"s/a?b/x/"}, "", "", "", 0},
        e2e_case{"held_one_byte", {"s/a?b/x/"}, "b", "x", "", 0},
        e2e_case{"held_one_byte_no_match", {"s/a?b/x/"}, "c", "c", "", 0},
        e2e_case{"held_batch_of_bytes",
                 {"s/a+?/b/"},
                 LATER(std::string(batch, 'a')),
                 LATER(std::string(batch, 'b')),
                 "",
                 0},
        e2e_case{"held_batch_with_one_span",
                 {"s/x?x/y/"},
                 LATER("x" + std::string(batch - 2, 'a') + "x"),
                 LATER("y" + std::string(batch - 2, 'a') + "y"),
                 "",
                 0},
        e2e_case{"held_short_spans",
                 {"s/d?e/E/"},
                 LATER(repeated(std::string(30, '-') + "de", 20000)),
                 LATER(repeated(std::string(30, '-') + "E", 20000)),
                 "",
                 0},
        e2e_case{"held_spans_either_side_of_the_copy_length",
                 {"s/d?e/E/"},
                 LATER(repeated(std::string(7, '-') + "de" + std::string(8, '-') + "de", 20000)),
                 LATER(repeated(std::string(7, '-') + "E" + std::string(8, '-') + "E", 20000)),
                 "",
                 0},
        e2e_case{"held_groups_as_spans_out_of_order",
                 {"s/(\\w+)-(\\w+)/$2$1/"},
                 LATER(repeated("abcdefghij-klmnopqrst ab-cd ", 5000)),
                 LATER(repeated("klmnopqrstabcdefghij cdab ", 5000)),
                 "",
                 0},
        e2e_case{"held_more_pieces_than_a_batch",
                 {"s/d?e/<$0>/"},
                 LATER(repeated(std::string(5000, '-') + "de", 1030)),
                 LATER(repeated(std::string(5000, '-') + "<de>", 1030)),
                 "",
                 0},
        e2e_case{"held_growing_beyond_the_text",
                 {"s/b/<$0>/"},
                 LATER(repeated("ab ", 100000)),
                 LATER(repeated("a<b> ", 100000)),
                 "",
                 0},
        e2e_case{"held_first_replacement_with_the_rest",
                 {"s/b/<$0>/1"},
                 LATER(std::string(batch, 'a') + "b" + std::string(batch, 'b')),
                 LATER(std::string(batch, 'a') + "<b>" + std::string(batch, 'b')),
                 "",
                 0},
        e2e_case{"held_lookbehind_far_back",
                 {"s/a|(?<=a{100})b/Y/U"},
                 LATER(repeated(std::string(100, 'a') + "b", 50)),
                 LATER(std::string(5050, 'Y')),
                 "",
                 0},
        e2e_case{"held_lookbehinds_nested",
                 {"s/a|(?<=(?<=a{100})a{100})b/Y/U"},
                 LATER(repeated(std::string(200, 'a') + "b", 50)),
                 LATER(std::string(10050, 'Y')),
                 "",
                 0},
        e2e_case{"held_lookbehind_over_two_byte_characters",
                 {"s/\xc3\xa9|(?<=\xc3\xa9{100})b/Y/"},
                 LATER(repeated(repeated("\xc3\xa9", 100) + "b", 50)),
                 LATER(std::string(5050, 'Y')),
                 "",
                 0},
        e2e_case{"held_lookbehind_through_a_subroutine_call",
                 {"s/a|(?<=(?1){100})b|(a)/Y/U"},
                 LATER(repeated(std::string(100, 'a') + "b", 50)),
                 LATER(std::string(5050, 'Y')),
                 "",
                 0},
        e2e_case{"held_after_earlier_expressions",
                 {"s/a/bb/", "s/b?b/c/"},
                 LATER(repeated(std::string(40, '-') + "a", 5000)),
                 LATER(repeated(std::string(40, '-') + "c", 5000)),
                 "",
                 0},
        // A match that \C ends inside a character: the next search starts there, in the last
        // expression (built over the text) as in an earlier one (held).
        e2e_case{"in_place_search_from_inside_a_character",
                 {"s/(\\C)\\C/$1/"},
                 "aa\xc3\xbc"
                 "aaaaa\xc3\xbc",
                 "",
                 error("Expression 1: Matching failed (PCRE error -11)"),
                 1},
        e2e_case{"held_search_from_inside_a_character",
                 {"s/(\\C)\\C/$1/", "s/(?!)//U"},
                 "aa\xc3\xbc"
                 "aaaaa\xc3\xbc",
                 "",
                 error("Expression 1: Matching failed (PCRE error -11)"),
                 1},
        e2e_case{"in_place_count_of_bytes_ends_inside_a_character",
                 {"s/z\\C{1,3}//"},
                 "zaaazaaaz\xe2\x82\xac"
                 "aa\xe6\x9c\xac"
                 "aaaaaza\xe6\x9c\xac",
                 "",
                 error("Expression 1: Matching failed (PCRE error -11)"),
                 1},
        e2e_case{"last_fails_after_matches_nothing_written",
                 {"s/c/e/", "s/e|(d+)+$/x/"},
                 "cc" + std::string(30, 'd') + "f",
                 "",
                 error("Expression 2: Match limit exceeded (pattern too complex for this text)"),
                 1},
        e2e_case{"verbose_alone_copies", {"-v"}, "a\nb", "a\nb", "", 0},
        e2e_case{"debug_alone_copies", {"--debug"}, "abc", "abc", "", 0},
        e2e_case{"sequential", {"s/a/b/", "s/b/c/", "/c+/"}, "xaab", "ccc", "", 0},
        e2e_case{"extract_nothing_empties", {"/z/", "s/^/-/"}, "abc", "-", "", 0},
        e2e_case{"nul_bytes_kept",
                 {"s/b/x/"},
                 std::string("a\0b\0c", 5),
                 std::string("a\0x\0c", 5),
                 "",
                 0},
        e2e_case{"multibyte_steps", {"s/x*/-/"}, "a\xc3\xa9", "-a-\xc3\xa9-", "", 0},
        e2e_case{"unset_group_empty", {"s/(a)|(b)/[$1$2]/"}, "ab", "[a][b]", "", 0},
        // What stands between an item and its quantifier belongs to neither.
        e2e_case{"comment_before_count", {"s/^a(?#xxx){3}c/<$0>/"}, "aaac", "<aaac>", "", 0},
        e2e_case{
            "comments_before_count_x", {"s/a (?#x) (?#y) {3}c/<$0>/x"}, "xaaac", "x<aaac>", "", 0},
        e2e_case{"count_is_no_literal", {"s/a(?#c){3}/X/"}, "a{3} aaa", "a{3} X", "", 0},
        e2e_case{"stray_quote_end_before_count", {"s/a\\E{3}/<$0>/"}, "aaa", "<aaa>", "", 0},
        e2e_case{"empty_quote_before_count", {"s/a\\Q\\E{2}/<$0>/"}, "aa", "<aa>", "", 0},
        e2e_case{
            "empty_quote_before_open_count", {"/a\\Q\\E{2,}b/"}, "xaaab a{2,}b", "aaab", "", 0},
        e2e_case{"crlf_newline_bytes", {"s/\\Rfo/<$0>/U"}, "\r\nfo", "<\r\nfo>", "", 0},
        e2e_case{
            "crlf_newline_before_literal", {"s/x\\Rfoo/<$0>/U"}, "x\r\nfoo", "<x\r\nfoo>", "", 0},
        e2e_case{"crlf_newline_utf8",
                 {"s/x\\Rfoo/<$0>/"},
                 "x\r\nfoo x\xe2\x80\xa8"
                 "foo",
                 "<x\r\nfoo> <x\xe2\x80\xa8"
                 "foo>",
                 "",
                 0},
        e2e_case{"x_comments_in_group", {"s/(a #one\n+) # two\nc/<$1>/x"}, "aac", "<aa>", "", 0},
        e2e_case{"line_feed_quoted", {"s/\\Qa\nb\\E/X/"}, "a\nb a\\nb", "X a\\nb", "", 0},
        e2e_case{"line_feed_escaped", {"s/ab\\\ncd/X/"}, "ab\ncd", "X", "", 0},
        e2e_case{"line_feed_escaped_pair", {"s/ab\\\\\ncd/X/x"}, "ab\ncd", "X", "", 0},
        e2e_case{"tab_after_comment_matched", {"s/a # c\n\tb/X/x"}, "a\tb", "X", "", 0},
        // Sets of literals, searched without the engine where the set is all of the pattern.
        e2e_case{"literal_set_replaced",
                 {"s/ERROR|FATAL/X/"},
                 "a ERROR b FATAL\nc",
                 "a X b X\nc",
                 "",
                 0},
        e2e_case{"literal_set_in_group",
                 {"s/(ERROR|FATAL)/<$1$0>/1"},
                 "FATAL ERROR",
                 "<FATALFATAL> ERROR",
                 "",
                 0},
        e2e_case{"literal_set_first_alternative_wins",
                 {"s/ab|abc|b/[$0]/"},
                 "abc b",
                 "[ab]c [b]",
                 "",
                 0},
        e2e_case{
            "literal_set_caseless", {"s/(?:cat|dog)/pet/i"}, "Cat DOG cow", "pet pet cow", "", 0},
        e2e_case{
            "literal_set_from_class", {"s/[Ee]rror/E/"}, "Error error ERROR", "E E ERROR", "", 0},
        e2e_case{"rare_byte_on_its_line",
                 {"s/[\\w.]+@[\\w.]+/EMAIL/"},
                 "x a.b@c.d y\n@ z",
                 "x EMAIL y\n@ z",
                 "",
                 0},
        e2e_case{"false_candidates_passed_over",
                 {"/user=(\\d+)/$1/"},
                 "user=bob\nuser=x user=42",
                 "42",
                 "",
                 0},
        e2e_case{"set_before_end_of_text", {"/(?:ab|cd)$/"}, "ab\ncd", "cd", "", 0}));

// Twice this is more than 1 MiB.
const std::string half_mib_and_more(600000, 'a');

INSTANTIATE_TEST_SUITE_P(
    failures, both_engines,
    testing::Values(
        e2e_case{
            "no_arguments", {}, "abc", "", error("No expression given (try textsift --help)"), 1},
        e2e_case{"later_h_is_an_expression",
                 {"/a/", "-h"},
                 "a",
                 "",
                 error("Expression 2: Empty pattern"),
                 1},
        e2e_case{
            "later_help_is_an_expression",
            {"/a/", "--help"},
            "a",
            "",
            error("Expression 2: Invalid pattern (must start with one of the separators: /|#%)"),
            1},
        e2e_case{"numbering_without_option",
                 {"/a/", "s/b/c/gi"},
                 "a",
                 "",
                 error("Expression 2: Unknown modifier/option 'g'"),
                 1},
        e2e_case{"numbering_after_option",
                 {"-v", "/a/", "s/b/c/gi"},
                 "a",
                 "",
                 error("Expression 3: Unknown modifier/option 'g'"),
                 1},
        e2e_case{
            "numbering_after_vv", {"-vv", "/(/"}, "a", "", error("Expression 2: missing )"), 1},
        e2e_case{"third_of_five_fails", five, "abc", "", error("Expression 3: missing )"), 1},
        e2e_case{"literal_set_checks_the_whole_text_first",
                 {"s/a|b/x/"},
                 "ab\xff",
                 "",
                 error("Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)"),
                 1},
        // Texts of more than 1 MiB, checked as they arrive.
        e2e_case{"large_text_invalid_at_its_start",
                 {"s/a|b/x/"},
                 LATER("\xff" + half_mib_and_more + half_mib_and_more),
                 "",
                 error("Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)"),
                 1},
        e2e_case{"large_text_invalid_in_the_middle",
                 {"s/a|b/x/"},
                 LATER(half_mib_and_more + "\xe2\x82" + half_mib_and_more),
                 "",
                 error("Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)"),
                 1},
        e2e_case{"large_text_invalid_at_its_end",
                 {"s/a|b/x/"},
                 LATER(half_mib_and_more + half_mib_and_more + "\xc3"),
                 "",
                 error("Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)"),
                 1},
        e2e_case{"large_text_invalid_inside_the_candidate",
                 {"s/\xc3\xa9/e/"},
                 LATER(half_mib_and_more + "\xc3\xa9\xa9" + half_mib_and_more),
                 "",
                 error("Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)"),
                 1},
        e2e_case{"large_text_with_a_character_across_the_middle",
                 {"s/\xc3\xa9/e/"},
                 LATER(half_mib_and_more + "\xc3\xa9" + half_mib_and_more),
                 LATER(half_mib_and_more + "e" + half_mib_and_more),
                 "",
                 0},
        // A text of unknown validity (the first expression matches bytes, so reading checks
        // nothing) is checked by the second in two halves, one on a thread beside its first
        // literal search.
        e2e_case{"large_text_checked_beside_the_first_search",
                 {"s/q/r/U", "s/\xc3\xa9/e/"},
                 LATER(half_mib_and_more + "\xc3\xa9" + half_mib_and_more),
                 LATER(half_mib_and_more + "e" + half_mib_and_more),
                 "",
                 0},
        e2e_case{"large_text_found_invalid_beside_the_first_search",
                 {"s/q/r/U", "s/\xc3\xa9/e/"},
                 LATER(half_mib_and_more + "\xe2\x82" + half_mib_and_more),
                 "",
                 error("Expression 2: Text is not valid UTF-8 (use the modifier U to match bytes)"),
                 1},
        e2e_case{
            "replacement_checked_before_input",
            {"s/(a)/$2/"},
            "a",
            "",
            error("Expression 1: Replacement refers to group 2, which the pattern does not have"),
            1},
        e2e_case{"unknown_escape",
                 {"s/o/\\q/"},
                 "foo",
                 "",
                 error("Expression 1: Replacement has an unknown escape sequence: \\q"),
                 1},
        e2e_case{"trailing_backslash",
                 {"s/o/x\\\\/"},
                 "foo",
                 "",
                 error("Expression 1: Replacement ends with a single backslash"),
                 1},
        e2e_case{"invalid_utf8_text",
                 {"s/a/b/", "s/b/c/"},
                 "a\xff",
                 "",
                 error("Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)"),
                 1},
        e2e_case{"invalid_utf8_bytes_with_U", {"s/a/b/U"}, "a\xff", "b\xff", "", 0},
        e2e_case{"match_limit",
                 {"s/(a+)+$/x/"},
                 std::string(30, 'a') + "b",
                 "",
                 error("Expression 1: Match limit exceeded (pattern too complex for this text)"),
                 1},
        e2e_case{
            "recursion_limit",
            {"s/b/c/", "s/^(?:a|b)*$/x/"},
            LATER(std::string(3000000, 'a')),
            "",
            error("Expression 2: Recursion limit exceeded (pattern too complex for this text)"),
            1},
        e2e_case{"version_second_is_an_expression",
                 {"/a/", "--version"},
                 "a",
                 "",
                 error("Expression 2: Invalid pattern (must start with one of the separators: "
                       "/|#%)"),
                 1},
        e2e_case{"version_after_option_is_an_expression",
                 {"-v", "--version"},
                 "a",
                 "",
                 error("Expression 2: Invalid pattern (must start with one of the separators: "
                       "/|#%)"),
                 1},
        e2e_case{"library_error_code",
                 {"s/\\C/x/"},
                 "\xc3\xa9",
                 "",
                 error("Expression 1: Matching failed (PCRE error -11)"),
                 1},
        e2e_case{"comment_under_x_accepted", {"/a # note/x"}, "ba", "a", "", 0},
        e2e_case{"verb_accepted", {"s/(*CR)a/b/"}, "a", "b", "", 0}));

const std::string match_limit = "Match limit exceeded (pattern too complex for this text)";
const std::string recursion_limit = "Recursion limit exceeded (pattern too complex for this text)";

// The body of a page of `size` bytes or more, as the help text's HTML example extracts it.
std::string html_body(std::size_t size) {
  std::string body = "\n";
  for (int i = 0; body.size() < size; ++i) {
    body += "<p class=\"x\">Paragraph " + std::to_string(i) + " with <b>bold</b> words.</p>\n";
  }
  return body;
}

const std::string& body() {
  static const std::string text = html_body(135000);
  return text;
}

const std::string& long_body() {
  static const std::string text = html_body(24 << 20);  // longer than the fixed limit allowed
  return text;
}

// Real documents fit the limits; a pattern too complex for its text still ends with an error.
INSTANTIATE_TEST_SUITE_P(
    limits, both_engines,
    testing::Values(e2e_case{"html_example_on_a_real_page",
                             {"|< [\\s]* body .*? > (.*?) <[\\s]* / [\\s]* body |$1|smix1"},
                             LATER("<html>\n<head><title>t</title></head>\n<body class=\"main\">" +
                                   body() + "</body>\n</html>\n"),
                             LATER(body()),
                             "",
                             0},
                    e2e_case{
                        "html_example_on_a_24_MB_body",
                        {"|< [\\s]* body .*? > (.*?) <[\\s]* / [\\s]* body |$1|smix1"},
                        LATER("<html>\n<body class=\"main\">" + long_body() + "</body>\n</html>\n"),
                        LATER(long_body()),
                        "",
                        0},
                    // The match limit grows with the text: a lazy span may cross all of it.
                    e2e_case{"lazy_span_over_11_million_characters",
                             {"/<(.*?)>/", "s/^$/none/"},
                             LATER("<" + std::string(11000000, 'x')),
                             "none",
                             "",
                             0},
                    e2e_case{"catastrophic_backtracking",
                             {"/^(\\w+\\s?)*$/"},
                             "an apple a day keeps the doctor away!",
                             "",
                             error("Expression 1: " + match_limit),
                             1}));

TEST(engines, quoted_string_of_20000_characters_needs_the_jit) {
  const std::string value = std::string(10000, 'x') + "\\\"" + std::string(10000, 'y');
  test::run_request request;
  request.args = {"s/\"((?:[^\"\\\\\\\\]|\\\\\\\\.)*)\"/<$1>/"};
  request.chunks = {"{\"key\": \"" + value + "\"}\n"};
  request.stack = 8 << 20;
  auto result = test::run(request);
  EXPECT_TRUE(result.out == "{<key>: <" + value + ">}\n");
  EXPECT_EQ(result.status, 0);
  // The interpreter recurses once per character here, deeper than 8 MiB of stack allows.
  request.without_jit = true;
  result = test::run(request);
  EXPECT_EQ(result.err, error("Expression 1: " + recursion_limit));
  EXPECT_EQ(result.status, 1);
}

TEST(engines, interpreter_recursion_stays_within_the_stack) {
  for (const std::size_t mib : {1, 8, 64}) {
    // valgrind gives the program a main stack of its own, at most 16 MiB.
    if (test::wrapped() && mib > 8) continue;
    test::run_request request;
    request.args = {"s/^(?:a|b)*$/x/"};
    request.chunks = {std::string(3000000, 'a')};
    request.stack = mib << 20;
    request.without_jit = true;
    const auto result = test::run(request);
    EXPECT_EQ(result.err, error("Expression 1: " + recursion_limit)) << mib << " MiB";
    EXPECT_EQ(result.status, 1) << mib << " MiB";
  }
}

TEST(version, names_the_library_and_whether_it_can_jit) {
  for (const bool without_jit : {false, true}) {
    test::run_request request;
    request.args = {"--version", "s/(/x/"};
    request.input = test::input_mode::closed;  // reading would fail with an error line
    request.without_jit = without_jit;
    const auto result = test::run(request);
    const bool jit = !without_jit && templates::jit_available();
    EXPECT_EQ(result.out, std::string("textsift 1.0 (PCRE ") + pcre_version() +
                              (jit ? ", JIT)\n" : ", no JIT)\n"));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }
}

// The verbose case above checks stdout and status only: its stderr holds the reports.
TEST(pipeline, verbose_failure_names_the_command_line_position) {
  const auto result = test::run({"-v", "s/a/b/U", "s/b/c/"}, "a\xff");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  const std::string expected =
      error("Expression 3: Text is not valid UTF-8 (use the modifier U to match bytes)");
  ASSERT_GE(result.err.size(), expected.size());
  EXPECT_EQ(result.err.substr(result.err.size() - expected.size()), expected);
}

TEST(pipeline, help_reads_no_input_and_parses_nothing) {
  test::run_request request;
  request.args = {"-h", "s/(/x/"};
  request.input = test::input_mode::closed;
  const auto result = test::run(request);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.find("Error"), std::string::npos);
}

TEST(input, closed_stdin_asks_for_piped_data) {
  if (test::wrapped()) GTEST_SKIP() << "the wrapper would fill the closed descriptor";
  test::run_request request;
  request.args = {"s/a/b/"};
  request.input = test::input_mode::closed;
  const auto result = test::run(request);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, error("Pipe in your text data."));
  EXPECT_EQ(result.status, 1);
}

TEST(input, terminal_with_nothing_typed_times_out) {
  test::run_request request;
  request.args = {"s/a/b/"};
  request.input = test::input_mode::terminal;
  const auto result = test::run(request);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, error("Pipe in your text data."));
  EXPECT_EQ(result.status, 1);
}

TEST(input, slow_pipe_writer_is_waited_for) {
  test::run_request request;
  request.args = {"s/x/y/"};
  request.chunks = {"x", "x\n"};
  request.chunk_delay_ms = 2600;  // beyond the terminal wait, twice over
  const auto result = test::run(request);
  EXPECT_EQ(result.out, "yy\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
}

TEST(input, large_text_arrives_whole) {
  std::string text;
  for (int i = 0; i < 200000; ++i) {
    text += "line " + std::to_string(i);
    text += i % 7 ? std::string("\n") : std::string("\0\n", 2);
  }
  std::string expected = text;
  for (auto& c : expected) {
    if (c == 'e') c = 'E';
  }
  const auto result = test::run({"s/e/E/"}, text);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(result.out == expected) << "output differs from the expected text";
}

TEST(input, regular_file_and_directory) {
  const std::string path = testing::TempDir() + "textsift_input.txt";
  std::ofstream(path) << "abc";
  test::run_request request;
  request.args = {"s/b/x/"};
  request.input = test::input_mode::file;
  request.input_path = path;
  auto result = test::run(request);
  EXPECT_EQ(result.out, "axc");
  EXPECT_EQ(result.status, 0);

  request.input_path = testing::TempDir();
  result = test::run(request);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, error("Failed to read from stdin"));
  EXPECT_EQ(result.status, 1);
}

// A regular file of 1 MiB or more is read into a buffer of its own, one of 4 MiB or more in two
// halves at once (the second from 2 MiB here), each checked as UTF-8 block by block as it comes:
// the result is what the pipe gives, wherever a character or a fault lies.
std::string five_mib_with(const std::string& bytes, std::size_t at) {
  std::string text = std::string(at, 'a') + bytes;
  return text + std::string((5 << 20) - text.size(), 'a');
}

TEST(input, large_file_gives_what_the_pipe_gives) {
  std::string words;
  for (int i = 0; words.size() < (3 << 20); ++i)
    words += "word-" + std::to_string(i % 10) + " caf\xc3\xa9\n";
  const std::string emoji = "\xf0\x9f\x98\x80";
  constexpr std::size_t mib = 1 << 20;
  const struct {
    std::string text;
    const char* expression;
    bool valid;
  } cases[] = {
      {words, "s/(\\w+)-(\\d)/$2$1/", true},
      {words, "s/caf\xc3\xa9/tea/", true},
      {words, "/-(\\d) \\S+\\n$/", true},
      {five_mib_with(emoji, 2 * mib - 1), "s/\\x{1F600}/!/", true},
      {five_mib_with(emoji, 2 * mib - 3), "s/\\x{1F600}/!/", true},
      {five_mib_with(emoji, 2 * mib), "s/\\x{1F600}/!/", true},
      {five_mib_with(emoji, mib - 1), "s/\\x{1F600}/!/", true},
      {five_mib_with(emoji, 3 * mib - 2), "s/\\x{1F600}/!/", true},
      {five_mib_with("\xff", 0), "s/a/b/", false},
      {five_mib_with("\x80", 2 * mib), "s/a/b/", false},
      {five_mib_with(emoji + "\x80", 2 * mib - 1), "s/a/b/", false},
      {five_mib_with("\xc3", 2 * mib - 1), "s/a/b/", false},
      {five_mib_with("\xe2\x82", mib - 1), "s/a/b/", false},
      {five_mib_with("\xe2\x82", 3 * mib - 1), "s/a/b/", false},
      {std::string(5 * mib, 'a') + "\xc3", "s/a/b/", false},
  };
  const std::string path = testing::TempDir() + "textsift_large_input.txt";
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
    test::run_request request;
    request.args = {c.expression};
    request.input = test::input_mode::file;
    request.input_path = path;
    const auto from_file = test::run(request);
    const auto from_pipe = test::run({c.expression}, c.text);
    const std::string where = "case " + std::to_string(&c - cases);
    EXPECT_TRUE(from_file.out == from_pipe.out) << where;
    EXPECT_EQ(from_file.err, from_pipe.err) << where;
    EXPECT_EQ(from_file.status, c.valid ? 0 : 1) << where;
    EXPECT_EQ(from_pipe.status, from_file.status) << where;
    if (c.valid) {
      EXPECT_NE(from_file.out, c.text) << where;
    } else {
      EXPECT_EQ(from_file.err,
                error("Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)"))
          << where;
    }
  }
}

TEST(input, file_truncated_while_read_is_an_error) {
  const std::string path = testing::TempDir() + "textsift_shrinking_input.txt";
  std::ofstream(path, std::ios::binary) << std::string(2 << 20, 'a');
  test::run_request request;
  request.args = {"s/a/b/"};
  request.input = test::input_mode::file;
  request.input_path = path;
  request.preload = TEXTSIFT_TRUNCATE_WHILE_READING;
  const auto result = test::run(request);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, error("Input file shrank while being read"));
  EXPECT_EQ(result.status, 1);
}

TEST(output, full_or_closed_stdout_is_a_failure) {
  test::run_request request;
  request.args = {"s/a/b/"};
  request.chunks = {"aaa"};
  request.output = test::output_mode::file;
  request.output_path = "/dev/full";
  auto result = test::run(request);
  EXPECT_EQ(result.err, error("Failed to write to stdout"));
  EXPECT_EQ(result.status, 1);

  if (test::wrapped()) return;  // the wrapper would fill the closed descriptor
  request.output = test::output_mode::closed;
  result = test::run(request);
  EXPECT_EQ(result.err, error("Failed to write to stdout"));
  EXPECT_EQ(result.status, 1);
}

TEST(output, failure_in_the_middle_of_a_batch_is_a_failure) {
  // One long span of the text and the replacement after it: half of the span is written.
  const std::size_t size = 3 * batch;
  test::run_request request;
  request.args = {"s/a?b/c/"};
  request.chunks = {std::string(size, 'x') + "b"};
  request.preload = TEXTSIFT_FAIL_WRITE_MIDWAY;
  const auto result = test::run(request);
  EXPECT_EQ(result.out, std::string((size + 1) / 2, 'x'));
  EXPECT_EQ(result.err, error("Failed to write to stdout"));
  EXPECT_EQ(result.status, 1);
}

// Without a second thread a large text is checked whole on the first: the same results.
TEST(utf8_check, without_a_thread_gives_the_same_results) {
  if (test::thread_sanitized) GTEST_SKIP() << "the preload breaks the sanitizer";
  const std::string invalid =
      "Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)";
  const struct {
    std::string text, out, err;
  } cases[] = {
      {half_mib_and_more + "\xe2\x82" + half_mib_and_more, "", error(invalid)},
      {half_mib_and_more + half_mib_and_more + "\xc3", "", error(invalid)},
      {half_mib_and_more + "\xc3\xa9" + half_mib_and_more,
       half_mib_and_more + "e" + half_mib_and_more, ""},
  };
  for (const auto& each : cases) {
    test::run_request request;
    request.args = {"s/\xc3\xa9/e/"};
    request.chunks = {each.text};
    request.preload = TEXTSIFT_NO_THREADS;
    const auto result = test::run(request);
    EXPECT_EQ(result.out, each.out);
    EXPECT_EQ(result.err, each.err);
    EXPECT_EQ(result.status, each.err.empty() ? 0 : 1);
  }
}

TEST(output, empty_result_to_full_stdout_succeeds) {
  test::run_request request;
  request.args = {"/z/"};
  request.chunks = {"aaa"};
  request.output = test::output_mode::file;
  request.output_path = "/dev/full";
  const auto result = test::run(request);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
}

TEST(program_name, comes_from_the_constant_not_argv0) {
  const std::string link = testing::TempDir() + "renamed_filter";
  std::remove(link.c_str());
  ASSERT_EQ(symlink(test::binary().c_str(), link.c_str()), 0);
  test::run_request request;
  request.program = link;
  const auto result = test::run(request);
  EXPECT_EQ(result.err, error("No expression given (try textsift --help)"));
  EXPECT_EQ(result.status, 1);
}

}  // namespace
