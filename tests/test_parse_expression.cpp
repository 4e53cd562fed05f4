#include <gtest/gtest.h>

#include <string>

#include "program/parse_expression.hpp"

namespace {

using textsift::parse_expression;

constexpr const char* separators = "/|#%";
const std::string invalid = "Invalid pattern (must start with one of the separators: /|#%)";

struct parse_case {
  std::string argument;
  bool search_kind;
  std::string pattern;
  std::string replacement;
  std::string modifiers;
  std::string error;
};

void PrintTo(const parse_case& c, std::ostream* out) {
  *out << '"' << c.argument << '"';
}

class parse : public testing::TestWithParam<parse_case> {};

TEST_P(parse, yields_kind_pattern_replacement_modifiers_or_error) {
  const parse_case& c = GetParam();
  const auto parsed = parse_expression(c.argument, separators);
  EXPECT_EQ(parsed.error, c.error);
  EXPECT_EQ(parsed.search_kind, c.search_kind);
  EXPECT_EQ(parsed.pattern, c.pattern);
  EXPECT_EQ(parsed.replacement, c.replacement);
  EXPECT_EQ(parsed.modifiers, c.modifiers);
}

const std::string nul(1, '\0');

// A rejected argument leaves kind, pattern, replacement and modifiers at their initial values.
parse_case rejected(std::string argument, std::string error) {
  return {std::move(argument), false, "", "", "", std::move(error)};
}

INSTANTIATE_TEST_SUITE_P(
    forms_and_splitting, parse,
    testing::Values(
        parse_case{"/abc/", false, "abc", "", "", ""},
        parse_case{"/abc/i", false, "abc", "", "i", ""},
        parse_case{"s/a/b/", true, "a", "b", "", ""},
        parse_case{"s/a/b/1", true, "a", "b", "1", ""},
        parse_case{"/a/b/Ui1", false, "a", "b", "Ui1", ""},
        parse_case{"/(\\w+)\\s(\\w+)/$1=$2/", false, "(\\w+)\\s(\\w+)", "\\1=\\2", "", ""},
        parse_case{"s/ABC[\\s]?/X/", true, "ABC[\\s]?", "X", "", ""},
        parse_case{"m/a/b/", false, "a/b", "", "", ""},
        parse_case{"s/a/b/c/", true, "a", "b/c", "", ""},
        parse_case{"/a/i/", false, "a", "i", "", ""}, parse_case{"/a//", false, "a", "", "", ""},
        parse_case{"s/a/", true, "a", "", "", ""}, parse_case{"s/a/i", true, "a", "", "i", ""},
        parse_case{"s/a/xi", true, "a", "", "xi", ""}, parse_case{"m//x/", false, "/x", "", "", ""},
        parse_case{"m///", false, "/", "", "", ""}, parse_case{"#a#b#", false, "a", "b", "", ""},
        parse_case{"%a%", false, "a", "", "", ""}, parse_case{"s|a|b/c|", true, "a", "b/c", "", ""},
        parse_case{"m|(.*)|{ $1 }|", false, "(.*)|{ $1 }", "", "", ""},
        parse_case{"|< [\\s]* body .*? > (.*?) <[\\s]* / [\\s]* body |$1|smix1", false,
                   "< [\\s]* body .*? > (.*?) <[\\s]* / [\\s]* body ", "\\1", "smix1", ""},
        parse_case{"/a/iiXU$!*smx1/", false, "a", "iiXU$!*smx1", "", ""},
        parse_case{"/a/ixsmU!$X*1", false, "a", "", "ixsmU!$X*1", ""},
        parse_case{"s/\xc3\xa9/\xe2\x82\xac/", true, "\xc3\xa9", "\xe2\x82\xac", "", ""}));

INSTANTIATE_TEST_SUITE_P(pattern_escapes, parse,
                         testing::Values(parse_case{"/a\\/b/", false, "a/b", "", "", ""},
                                         parse_case{"s/a\\/b/c/", true, "a/b", "c", "", ""},
                                         parse_case{"/a\\\\\\\\b/", false, "a\\\\b", "", "", ""},
                                         parse_case{"s/a\\\\/x/", true, "a\\", "x", "", ""},
                                         parse_case{"/a\\d\\$\\n/", false, "a\\d\\$\\n", "", "",
                                                    ""},
                                         parse_case{"/a\\/", false, "a\\", "", "", ""},
                                         parse_case{"/a\nb/", false, "a\\nb", "", "", ""},
                                         parse_case{"/a\rb/", false, "a\\rb", "", "", ""},
                                         parse_case{"/a\tb/x\ty/", false, "a\\tb", "x\ty", "", ""},
                                         parse_case{"/a$/", false, "a$", "", "", ""},
                                         parse_case{"m/a\\/b/", false, "a/b", "", "", ""}));

// Typed line feeds, carriage returns and tabs become escapes, except where they must reach the
// engine as typed: ending a # comment under x, inside \Q...\E, after an escaping backslash.
INSTANTIATE_TEST_SUITE_P(
    typed_white_space, parse,
    testing::Values(parse_case{"/a #one\n+c/x", false, "a #one\n+c", "", "x", ""},
                    parse_case{"/a #one\n+c/", false, "a #one\\n+c", "", "", ""},
                    parse_case{"/a #c\tb\r\nd/ix", false, "a #c\tb\r\nd", "", "ix", ""},
                    parse_case{"/(?x)a #c\nb\n/", false, "(?x)a #c\nb\\n", "", "", ""},
                    parse_case{"/(?x:a #c\n)b #d\n/", false, "(?x:a #c\n)b #d\\n", "", "", ""},
                    parse_case{"/(?x)a(?-x) #c\nb/", false, "(?x)a(?-x) #c\\nb", "", "", ""},
                    parse_case{"/a [#]\nb/x", false, "a [#]\\nb", "", "x", ""},
                    parse_case{"/a \\#\nb/x", false, "a \\#\\nb", "", "x", ""},
                    parse_case{"/a \\Q#\\E\nb/x", false, "a \\Q#\\E\\nb", "", "x", ""},
                    parse_case{"/\\Qa\tb\nc\\E\n/", false, "\\Qa\tb\nc\\E\\n", "", "", ""},
                    parse_case{"/\\Qa\nb/x", false, "\\Qa\nb", "", "x", ""},
                    parse_case{"/[\\Q\n\\E\t]/", false, "[\\Q\n\\E\\t]", "", "", ""},
                    parse_case{"/ab\\\ncd/", false, "ab\\\ncd", "", "", ""},
                    parse_case{"/ab\\\\\ncd/", false, "ab\\\ncd", "", "", ""},
                    parse_case{"/ab\\\\\\\\\ncd/", false, "ab\\\\\\ncd", "", "", ""},
                    parse_case{"/[a\\\t]/", false, "[a\\\t]", "", "", ""},
                    parse_case{"/\\c\n/", false, "\\c\n", "", "", ""},
                    parse_case{"s/a #x\n/#y\n/x", true, "a #x\n", "#y\n", "x", ""},
                    parse_case{"/[a[.b]\n #c\n/x", false, "[a[.b]\\n #c\\n", "", "x", ""},
                    parse_case{"/" + std::string(3000, '(') + "\n/", false,
                               std::string(3000, '(') + "\\n", "", "", ""}));

INSTANTIATE_TEST_SUITE_P(
    replacement_escapes, parse,
    testing::Values(parse_case{"s/a/\\1/", true, "a", "\\1", "", ""},
                    parse_case{"s/(a)(b)/$2$1/", true, "(a)(b)", "\\2\\1", "", ""},
                    parse_case{"s/a/$/", true, "a", "$", "", ""},
                    parse_case{"s/a/$x/", true, "a", "$x", "", ""},
                    parse_case{"s/a/\\$1/", true, "a", "$1", "", ""},
                    parse_case{"s/a/$0/", true, "a", "\\0", "", ""},
                    parse_case{"s/a/\\0/", true, "a", nul, "", ""},
                    parse_case{"s/a/x\\ny/", true, "a", "x\ny", "", ""},
                    parse_case{"s/a/\\a\\b\\f\\n\\r\\t\\v/", true, "a", "\a\b\f\n\r\t\v", "", ""},
                    parse_case{"s/a/\\\\/", true, "a", "\\", "", ""},
                    parse_case{"s/a/\\//", true, "a", "/", "", ""},
                    parse_case{"s#a#\\##", true, "a", "#", "", ""},
                    parse_case{"s/a/\\d/", true, "a", "\\d", "", ""},
                    parse_case{"s/a/x\\/", true, "a", "x\\", "", ""},
                    parse_case{"s/a/x\\\\/", true, "a", "x\\", "", ""},
                    parse_case{"s/a/\n\t/", true, "a", "\n\t", "", ""},
                    parse_case{"s/a/$12/", true, "a", "\\12", "", ""}));

INSTANTIATE_TEST_SUITE_P(
    errors, parse,
    testing::Values(rejected("", "Empty pattern"), rejected("-h", "Empty pattern"),
                    rejected("-v", "Empty pattern"), rejected("/a", "Empty pattern"),
                    rejected("s/a", "Empty pattern"), rejected("/ab", "Empty pattern"),
                    rejected("/abs", "Empty pattern"), rejected("s//x/", "Empty pattern"),
                    rejected("///", "Empty pattern"), rejected("s///", "Empty pattern"),
                    rejected("m/a", "Empty pattern"),
                    rejected("/abc", "Unknown modifier/option 'c'"),
                    rejected("/foo/bar", "Unknown modifier/option 'r'"),
                    rejected("s/a/b/gi", "Unknown modifier/option 'g'"),
                    rejected("s/a/b/ig", "Unknown modifier/option 'g'"), rejected("abc", invalid),
                    rejected("sab", invalid), rejected("S/a/b/", invalid),
                    rejected("ms/a/b/", invalid), rejected("--help", invalid)));

}  // namespace
