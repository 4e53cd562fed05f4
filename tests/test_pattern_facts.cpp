// The pattern-facts reader: what it knows of each construct, and where it must say "unknown".
#include <gtest/gtest.h>
#include <pcre.h>

#include <string>

#include "templates/pattern_facts.hpp"

namespace {

using templates::unbounded;

constexpr int utf8 = PCRE_UTF8;

struct facts_case {
  std::string pattern;
  int options;
  bool known;
  std::string literal;  // the required set, its literals joined by '|'
  bool caseless;
  std::int64_t offset;  // bytes before the literal at most
  bool line_feed;
  bool pure;
};

void PrintTo(const facts_case& c, std::ostream* out) {
  *out << '"' << c.pattern << "\" options " << c.options;
}

class pattern_facts : public testing::TestWithParam<facts_case> {};

TEST_P(pattern_facts, are_read_exactly_or_unknown) {
  const facts_case& c = GetParam();
  const templates::pattern_facts facts = templates::read_pattern_facts(c.pattern, c.options);
  EXPECT_EQ(facts.known, c.known);
  if (!c.known) return;
  std::string literals;  // the set as alternatives, "a|b"
  for (const templates::literal& each : facts.literals) {
    literals += (literals.empty() ? "" : "|") + each.bytes;
    EXPECT_EQ(each.caseless, c.caseless) << each.bytes;
  }
  EXPECT_EQ(literals, c.literal);
  if (!c.literal.empty()) {
    EXPECT_EQ(facts.literal_offset, c.offset);
  }
  EXPECT_EQ(facts.line_feed, c.line_feed);
  EXPECT_EQ(facts.pure_literal, c.pure);
}

INSTANTIATE_TEST_SUITE_P(
    constructs, pattern_facts,
    testing::Values(
        facts_case{"foo", utf8, true, "foo", false, 0, false, true},
        facts_case{"(\\d+)-(\\d+)-(\\d+) \\S+ \\[FATAL\\]", utf8, true, " [FATAL]", false,
                   unbounded, false, false},
        facts_case{"\\d{4}-\\d{2}x", utf8, true, "-", false, 4, false, false},
        facts_case{"a.{3}bcd", utf8, true, "bcd", false, 13, false, false},
        facts_case{"a.{3}bcd", 0, true, "bcd", false, 4, false, false},
        facts_case{"ab+cd", utf8, true, "cd", false, unbounded, false, false},
        facts_case{"x?abc", utf8, true, "abc", false, 1, false, false},
        facts_case{"ab|cd", utf8, true, "ab|cd", false, 0, false, true},
        facts_case{"(?:ab|cd)ef", utf8, true, "abef|cdef", false, 0, false, true},
        facts_case{"(a\\nb)cd", utf8, true, "a\nbcd", false, 0, true, false},
        facts_case{"\\berror\\b", utf8, true, "error", false, 0, false, false},
        facts_case{"^abc$", utf8, true, "abc", false, 0, false, false},
        facts_case{"a(?=b.*\\n)bc", utf8, true, "bc", false, 1, false, false},
        facts_case{"(?<=\\s)abc", utf8, true, "abc", false, 0, false, false},
        facts_case{"a\\nb", utf8, true, "a\nb", false, 0, true, true},
        facts_case{"a\\x41\\x{e9}b", utf8, true, "aA", false, 0, false, false},
        facts_case{"\\Qa.b\\E+c", utf8, true, "a.", false, 0, false, false},
        facts_case{"\\Q(x)\\E", utf8, true, "(x)", false, 0, false, true},
        facts_case{"caf\xc3\xa9", utf8, true, "caf\xc3\xa9", false, 0, false, true},
        // Case: ASCII letters only, never k or s in UTF-8 mode (KELVIN SIGN, LONG S).
        facts_case{"error", utf8 | PCRE_CASELESS, true, "error", true, 0, false, true},
        facts_case{"(?i)ab-c", utf8, true, "ab-c", true, 0, false, true},
        facts_case{"a(?i)bc", utf8, true, "bc", true, 1, false, false},
        facts_case{"(?i:ab)cd", utf8, true, "ab", true, 0, false, false},
        facts_case{"Kiss me", utf8 | PCRE_CASELESS, true, " me", true, 10, false, false},
        facts_case{"Kiss me", PCRE_CASELESS, true, "Kiss me", true, 0, false, true},
        facts_case{"caf\xc3\xa9s", utf8 | PCRE_CASELESS, true, "caf", true, 0, false, false},
        // Sets of literals: alternatives, small classes, counts, groups every match passes.
        facts_case{"ERROR|FATAL|WARN", utf8, true, "ERROR|FATAL|WARN", false, 0, false, true},
        facts_case{"(ERROR|FATAL)", utf8, true, "ERROR|FATAL", false, 0, false, true},
        facts_case{"(ERROR|FATAL)", utf8 | PCRE_NO_AUTO_CAPTURE, true, "ERROR|FATAL", false, 0,
                   false, true},
        facts_case{"(?:(ERROR)|FATAL)", utf8, true, "ERROR|FATAL", false, 0, false, false},
        facts_case{"(ERROR|FATAL): (\\w+)", utf8, true, "ERROR: |FATAL: ", false, 0, false, false},
        facts_case{"\\b(?:GET|POST)\\b /", utf8, true, "GET|POST", false, 0, false, false},
        facts_case{"(?:cat|dog)", utf8 | PCRE_CASELESS, true, "cat|dog", true, 0, false, true},
        facts_case{"[Ee]rror", utf8, true, "Error|error", false, 0, false, true},
        facts_case{"[e]rror", utf8 | PCRE_CASELESS, true, "error", true, 0, false, true},
        facts_case{"[a-c]x", 0, true, "ax|bx|cx", false, 0, false, true},
        facts_case{"[a-z]x", 0, true, "x", false, 1, false, false},
        facts_case{"[^E]rror", utf8, true, "rror", false, 4, true, false},
        facts_case{"[k]x", utf8 | PCRE_CASELESS, true, "x", true, 4, false, false},
        facts_case{"x{3}", utf8, true, "xxx", false, 0, false, true},
        facts_case{"(?:ab){2}c", utf8, true, "ababc", false, 0, false, true},
        facts_case{"a{0}bc", utf8, true, "bc", false, 0, false, false},
        facts_case{"x{300}", utf8, true, "", false, 0, false, false},
        facts_case{"ab|abc|b", utf8, true, "ab|abc|b", false, 0, false, true},
        facts_case{"(?>ab|a)c", utf8, true, "c", false, 2, false, false},
        facts_case{"(?>ab|ac)", utf8, true, "ab|ac", false, 0, false, false},
        facts_case{"(?:ERROR: \\d+|FATAL)x", utf8, true, "ERROR: |FATAL", false, 0, false, false},
        facts_case{"(?:ERROR|\\d)x", utf8, true, "x", false, 5, false, false},
        facts_case{"(?:ERROR|FATAL)+!", utf8, true, "ERROR|FATAL", false, 0, false, false},
        facts_case{"(?:ERROR|FATAL)?!", utf8, true, "!", false, 5, false, false},
        facts_case{"(?=ERROR|FATAL)\\w+", utf8, true, "", false, 0, false, false},
        facts_case{"[\\w.]+@[\\w.]+", utf8, true, "@", false, unbounded, false, false},
        facts_case{"user=(\\d+)", utf8, true, "user=", false, 0, false, false},
        facts_case{"a|", utf8, true, "", false, 0, false, false},
        facts_case{"(?i)error|FATAL", utf8, true, "error|FATAL", true, 0, false, true},
        // Line feeds.
        facts_case{"a.b", utf8, true, "a", false, 0, false, false},
        facts_case{"a.bc", utf8 | PCRE_DOTALL, true, "bc", false, 5, true, false},
        facts_case{"(?s)a.bc", utf8, true, "bc", false, 5, true, false},
        facts_case{"(?s:a.)bc", utf8, true, "bc", false, 5, true, false},
        facts_case{"[^\\n\"]*xy", utf8, true, "xy", false, unbounded, false, false},
        facts_case{"[^\"]*xy", utf8, true, "xy", false, unbounded, true, false},
        facts_case{"[\\s]xy", utf8, true, "xy", false, 4, true, false},
        facts_case{"[\\x00-\\x7f]xy", utf8, true, "xy", false, 4, true, false},
        facts_case{"[[:space:]]xy", utf8, true, "xy", false, 4, true, false},
        facts_case{"[[:^space:]]xy", utf8, true, "xy", false, 4, false, false},
        facts_case{"[]a-]xy", utf8, true, "-xy|]xy|axy", false, 0, false, true},
        facts_case{"\\s\\D\\W\\R\\v\\Hxy", utf8, true, "xy", false, 23, true, false},
        facts_case{"\\d\\w\\S\\N\\h\\Vxy", utf8, true, "xy", false, 18, false, false},
        facts_case{"\\Cxy", utf8, true, "xy", false, 1, true, false},
        facts_case{"\\p{L}xy", utf8, true, "xy", false, 4, true, false},
        // Extended mode: white space and comments are no part of the pattern.
        facts_case{"a b  c # d", utf8 | PCRE_EXTENDED, true, "abc", false, 0, false, true},
        facts_case{"(?x) a b +c", utf8, true, "a", false, 0, false, false},
        facts_case{"a\\ b", utf8 | PCRE_EXTENDED, true, "a b", false, 0, false, true},
        facts_case{"(?#note)ab", utf8, true, "ab", false, 0, false, true},
        facts_case{"a{,2}", utf8, true, "a{,2}", false, 0, false, true},
        facts_case{"a #one\n+c", utf8 | PCRE_EXTENDED, true, "c", false, unbounded, false, false},
        facts_case{"(?x: a b )c d", utf8, true, "abc d", false, 0, false, true},
        facts_case{"(?x)a b(?-x) c", utf8, true, "ab c", false, 0, false, true},
        facts_case{"\\Qa b\\E", utf8 | PCRE_EXTENDED, true, "a b", false, 0, false, true},
        // What stands between an item and its quantifier belongs to neither.
        facts_case{"^a(?#xxx){3}c", utf8, true, "aaac", false, 0, false, false},
        facts_case{"a (?#x) (?#y) {3}c", utf8 | PCRE_EXTENDED, true, "aaac", false, 0, false, true},
        facts_case{"a\\E{3}", utf8, true, "aaa", false, 0, false, true},
        facts_case{"xa\\Q\\E{2,}b", utf8, true, "x", false, 0, false, false},
        facts_case{"a\\E\\Q\\Eb", utf8, true, "ab", false, 0, false, true},
        // Items of more than one width.
        facts_case{"\\Rfo", 0, true, "fo", false, 2, true, false},
        facts_case{"x\\Rfoo", utf8, true, "foo", false, 4, true, false},
        facts_case{"\\Xab", utf8, true, "ab", false, unbounded, true, false},
        // Unknown: anything whose effect the reader cannot state.
        facts_case{"\\Gfoo", utf8, false, "", false, 0, false, false},
        facts_case{"a\\Kfoo", utf8, false, "", false, 0, false, false},
        facts_case{"(*CRLF)foo", utf8, false, "", false, 0, false, false},
        facts_case{"foo(*COMMIT)bar", utf8, false, "", false, 0, false, false},
        facts_case{"(a)\\1foo", utf8, false, "", false, 0, false, false},
        facts_case{"(a)(?1)foo", utf8, false, "", false, 0, false, false},
        facts_case{"(?R)?foo", utf8, false, "", false, 0, false, false},
        facts_case{"(?(1)a|b)foo", utf8, false, "", false, 0, false, false},
        facts_case{"(?|(a)|(b))foo", utf8, false, "", false, 0, false, false},
        facts_case{"(?C1)foo", utf8, false, "", false, 0, false, false},
        facts_case{"\\cJfoo", utf8, true, "\nfoo", false, 0, true, true},
        facts_case{"\\jfoo", utf8, true, "jfoo", false, 0, false, true},
        facts_case{"[[:nonsense:]]foo", utf8, false, "", false, 0, false, false},
        // As deep as the library nests groups, and one deeper.
        facts_case{std::string(250, '(') + "ab" + std::string(250, ')') + "c", utf8, true, "abc",
                   false, 0, false, false},
        facts_case{std::string(251, '(') + "ab" + std::string(251, ')') + "c", utf8, false, "",
                   false, 0, false, false}));

}  // namespace
