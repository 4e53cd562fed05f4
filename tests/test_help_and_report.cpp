// The help text and the verbose report, end to end through the built binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "process.hpp"

namespace {

std::string help_listing() {
  std::ifstream file(TEXTSIFT_TEST_DATA "/help.txt", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(help, both_options_write_the_listing_exactly_and_exit_1) {
  const std::string listing = help_listing();
  ASSERT_EQ(std::count(listing.begin(), listing.end(), '\n'), 107);
  for (const char* option : {"-h", "--help"}) {
    const auto result = test::run({option}, "ignored");
    EXPECT_EQ(result.err, listing) << option;
    EXPECT_EQ(result.out, "") << option;
    EXPECT_EQ(result.status, 1) << option;
  }
}

TEST(help, text_is_plain_ascii_without_tabs_or_trailing_blanks) {
  std::istringstream lines(test::run({"-h"}, "").err);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_EQ(line.find('\t'), std::string::npos) << count + 1;
    EXPECT_TRUE(line.empty() || line.back() != ' ') << count + 1;
    for (const char c : line) EXPECT_TRUE(c > 0 && c < 127) << count + 1;
  }
  EXPECT_EQ(count, 107);
}

TEST(help, ignores_what_follows_and_reads_no_input) {
  test::run_request request;
  request.args = {"--help", "s/(/x/", "bad"};
  request.input = test::input_mode::closed;  // reading would fail with an error line
  const auto result = test::run(request);
  EXPECT_EQ(result.err, help_listing());
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 1);
}

const std::string global_line = "   - global: replace all matches (no `1`)\n";
const std::string first_line = "   - not global replace first match (`1`)\n";
const std::string default_options =
    "   - case sensitive matching (no `i`)\n"
    "   - comments/unmatched spaces in pattern not permitted (no `x`)\n"
    "   - Line-by-line (^/$ match start/end of line) (no `m`)\n"
    "   - `.` does not match newlines (no `s`)\n"
    "   - UTF support enabled. (no `U`)\n";

// The standard error of a verbose run over `args` (after "-v") with empty input.
std::string verbose_report(const std::vector<std::string>& args, const char* option = "-v") {
  std::vector<std::string> all = {option};
  all.insert(all.end(), args.begin(), args.end());
  const auto result = test::run(all, "");
  EXPECT_EQ(result.status, 0);
  return result.err;
}

TEST(report, example_block) {
  EXPECT_EQ(verbose_report({"s/a/b/i"}),
            "Expression 1: \n"
            "{\n"
            " - ok: yes\n"
            " - pattern: \"s/a/b/i\"\n"
            " - search: \"a\"\n"
            " - replace: \"b\"\n"
            " - modifiers: \"i\",\n"
            "   - global: replace all matches (no `1`)\n"
            "   - case insensitive matching (`i`)\n"
            "   - comments/unmatched spaces in pattern not permitted (no `x`)\n"
            "   - Line-by-line (^/$ match start/end of line) (no `m`)\n"
            "   - `.` does not match newlines (no `s`)\n"
            "   - UTF support enabled. (no `U`)\n"
            "}\n");
}

TEST(report, all_verbosity_options_write_the_same) {
  const std::vector<std::string> args = {"s/a/b/1", "/x/y/"};
  const std::string expected = verbose_report(args, "-v");
  for (const char* option : {"--verbose", "-vv", "-v2", "--debug"}) {
    EXPECT_EQ(verbose_report(args, option), expected) << option;
  }
}

TEST(report, every_modifier_in_table_order_once) {
  EXPECT_EQ(verbose_report({"/a/1XU*$!msxi$iU/"}),
            "Expression 1: \n{\n - ok: yes\n - pattern: \"/a/1XU*$!msxi$iU/\"\n"
            " - match: \"a\"\n - replace: \"1XU*$!msxi$iU\"\n - modifiers: \"\",\n" +
                first_line + default_options + "}\n");
  EXPECT_EQ(verbose_report({"s/a/b/1XU*$!msxi$iU"}),
            "Expression 1: \n{\n - ok: yes\n - pattern: \"s/a/b/1XU*$!msxi$iU\"\n"
            " - search: \"a\"\n - replace: \"b\"\n - modifiers: \"1XU*$!msxi$iU\",\n" +
                first_line +
                "   - case insensitive matching (`i`)\n"
                "   - whitespaces and commente in pattern permitted (`x`)\n"
                "   - Multiline (^/$ match start/end of text) (`m`)\n"
                "   - `.` matches newlines as well (`s`)\n"
                "   - `$` matches only at the end. (`$`)\n"
                "   - Meaning of `*?` and `*` swapped. (`!`)\n"
                "   - Sub pattern matching disabled (`*`)\n"
                "   - (PCRE:) Extra strict pattern escape parsing. (`X`)\n"
                "   - UTF support disabled. (`U`)\n"
                "}\n");
}

TEST(report, numbers_by_list_position_and_splits_values_with_line_breaks) {
  EXPECT_EQ(verbose_report({"s/x/a\\nb/", "/a\nb/"}),
            "Expression 1: \n{\n - ok: yes\n - pattern: \"s/x/a\\nb/\"\n - search: \"x\"\n"
            " - replace: \"a\nb\"\n - modifiers: \"\",\n" +
                global_line + default_options +
                "}\nExpression 2: \n{\n - ok: yes\n - pattern: \"/a\nb/\"\n"
                " - match: \"a\\nb\"\n - modifiers: \"\",\n" +
                first_line + default_options + "}\n");
}

TEST(report, none_when_a_later_expression_is_rejected) {
  const auto result = test::run({"-v", "s/a/b/", "/(/"}, "a");
  EXPECT_EQ(result.err, "Error: Expression 3: missing )\n");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 1);
}

TEST(report, comes_after_the_input_and_before_any_application) {
  // The second expression fails on the text: its report is written all the same.
  const auto result = test::run({"-v", "s/c/d/", "s/(a+)+$/x/"}, std::string(30, 'a') + "c");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Expression 2: \n{\n"), std::string::npos);
  EXPECT_EQ(result.err.find("Error"), result.err.rfind("Error: Expression 3: Match limit"));
}

// Every accepted argument of the parser's edge-case table, as its report shows it.
struct accepted_case {
  std::string argument;
  bool search;
  std::string pattern;
  std::string replacement;
  std::string modifiers;
};

void PrintTo(const accepted_case& c, std::ostream* out) {
  *out << '"' << c.argument << '"';
}

class accepted_argument : public testing::TestWithParam<accepted_case> {};

TEST_P(accepted_argument, is_reported_as_parsed) {
  const accepted_case& c = GetParam();
  const bool global = c.search && c.modifiers.find('1') == std::string::npos;
  std::string expected = "Expression 1: \n{\n - ok: yes\n - pattern: \"" + c.argument + "\"\n" +
                         (c.search ? " - search: \"" : " - match: \"") + c.pattern + "\"\n";
  if (!c.replacement.empty()) expected += " - replace: \"" + c.replacement + "\"\n";
  expected += " - modifiers: \"" + c.modifiers + "\",\n" + (global ? global_line : first_line);
  const std::string report = verbose_report({c.argument});
  EXPECT_EQ(report.substr(0, expected.size()), expected);
  EXPECT_EQ(report.substr(report.size() - 2), "}\n");
}

INSTANTIATE_TEST_SUITE_P(
    edge_case_table, accepted_argument,
    testing::Values(
        accepted_case{"/abc/", false, "abc", "", ""},
        accepted_case{"/abc/i", false, "abc", "", "i"}, accepted_case{"s/a/b/", true, "a", "b", ""},
        accepted_case{"s/a/b/1", true, "a", "b", "1"},
        accepted_case{"/a/b/Ui1", false, "a", "b", "Ui1"},
        accepted_case{"/(\\w+)\\s(\\w+)/$1=$2/", false, "(\\w+)\\s(\\w+)", "\\1=\\2", ""},
        accepted_case{"s/ABC[\\s]?/X/", true, "ABC[\\s]?", "X", ""},
        accepted_case{"m/a/b/", false, "a/b", "", ""},
        accepted_case{"s/a/b/c/", true, "a", "b/c", ""},
        accepted_case{"/a/i/", false, "a", "i", ""}, accepted_case{"/a//", false, "a", "", ""},
        accepted_case{"s/a/", true, "a", "", ""}, accepted_case{"s/a/i", true, "a", "", "i"},
        accepted_case{"s/a/xi", true, "a", "", "xi"},
        accepted_case{"/a\\/b/", false, "a/b", "", ""},
        accepted_case{"s/a\\/b/c/", true, "a/b", "c", ""},
        accepted_case{"/a\\\\\\\\b/", false, "a\\\\b", "", ""},
        accepted_case{"s/(a)/\\1/", true, "(a)", "\\1", ""},
        accepted_case{"s/(a)(b)/$2$1/", true, "(a)(b)", "\\2\\1", ""},
        accepted_case{"s/a/$/", true, "a", "$", ""}, accepted_case{"s/a/$x/", true, "a", "$x", ""},
        accepted_case{"s/a/\\$1/", true, "a", "$1", ""},
        accepted_case{"s/a/$0/", true, "a", "\\0", ""},
        accepted_case{"s/a/\\0/", true, "a", std::string(1, '\0'), ""},
        accepted_case{"s/a/x\\ny/", true, "a", "x\ny", ""},
        accepted_case{"s/a/\\//", true, "a", "/", ""}, accepted_case{"m//x/", false, "/x", "", ""},
        accepted_case{"m///", false, "/", "", ""}, accepted_case{"#a#b#", false, "a", "b", ""},
        accepted_case{"%a%", false, "a", "", ""}, accepted_case{"/a\nb/", false, "a\\nb", "", ""},
        accepted_case{"/a\tb/x\ty/", false, "a\\tb", "x\ty", ""},
        accepted_case{"m|(.*)|{ $1 }|", false, "(.*)|{ $1 }", "", ""},
        accepted_case{"|< [\\s]* body .*? > (.*?) <[\\s]* / [\\s]* body |$1|smix1", false,
                      "< [\\s]* body .*? > (.*?) <[\\s]* / [\\s]* body ", "\\1", "smix1"},
        accepted_case{"s|a|b/c|", true, "a", "b/c", ""},
        accepted_case{"/a #c\n\tb/x", false, "a #c\n\\tb", "", "x"}));

// Rows the parse accepts but whose replacement can never apply: refused before the input is read.
TEST(accepted_argument, unless_its_replacement_can_never_apply) {
  const std::pair<const char*, const char*> rows[] = {
      {"s/a/\\1/", "Replacement refers to group 1, which the pattern does not have"},
      {"s/a/\\\\/", "Replacement ends with a single backslash"},
      {"s/a/\\d/", "Replacement has an unknown escape sequence: \\d"}};
  for (const auto& [argument, message] : rows) {
    test::run_request request;
    request.args = {"-v", argument};
    request.input = test::input_mode::closed;
    const auto result = test::run(request);
    EXPECT_EQ(result.err, std::string("Error: Expression 2: ") + message + "\n") << argument;
    EXPECT_EQ(result.status, 1);
  }
}

}  // namespace
