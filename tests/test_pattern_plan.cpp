// The plan of a pattern: what it knows of each construct, and where it must say "unknown".
#include <gtest/gtest.h>
#include <pcre.h>

#include <random>
#include <set>
#include <string>

#include "analysis/lowered_pattern.hpp"
#include "plan_checks.hpp"
#include "search/utf8.hpp"
#include "templates/pcre_binding.hpp"

namespace {

using textsift::analysis::unbounded;

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

// The plan of `pattern` compiled with the option bits `options`.
textsift::analysis::pattern_plan plan_of(const std::string& pattern, int options) {
  pcrecpp::RE_Options bits;
  bits.set_all_options(options);
  return templates::compiled_pattern(pattern, bits).plan();
}

class pattern_facts : public testing::TestWithParam<facts_case> {};

TEST_P(pattern_facts, are_read_exactly_or_unknown) {
  const facts_case& c = GetParam();
  const textsift::analysis::pattern_plan facts = plan_of(c.pattern, c.options);
  EXPECT_EQ(facts.facts, c.known);
  if (!c.known) return;
  std::string literals;  // the set as alternatives, "a|b"
  for (const textsift::search::literal& each : facts.literals) {
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

// What each row's plan says holds for the library: its report on the compiled pattern, every
// match the plain engine finds on texts made of pieces of the pattern and of characters that
// case folding and line ends make special, and every search with the bytes before its look-back
// scrambled.
TEST_P(pattern_facts, hold_for_the_library_and_every_match) {
  const facts_case& c = GetParam();
  static const std::string pieces[] = {"a", "b", "x", " ", "\n",       "\r\n",         "1",
                                       "-", "@", "[", "]", "\xc3\xa9", "\xe2\x84\xaa", "\xc5\xbf",
                                       "K", "s", "E", "\t"};
  std::minstd_rand random(static_cast<unsigned>(c.pattern.size()));
  fuzz::plan_input input{c.pattern, fuzz::plan_options(c.options), ""};
  for (int round = 0; round < 40; ++round) {
    input.text.clear();
    for (int n = static_cast<int>(random() % 12); n > 0; --n) {
      if (random() % 2 == 0) {
        input.text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
      } else {  // a stretch of the pattern's own text, as a match would often hold
        const std::size_t from = random() % (c.pattern.size() + 1);
        input.text += c.pattern.substr(from, random() % 8);
      }
    }
    fuzz::check_plan(input);
  }
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
        // Case: ASCII letters, and in UTF-8 mode the one character beyond ASCII that k and s
        // match each (KELVIN SIGN, LONG S); no other character beyond ASCII.
        facts_case{"error", utf8 | PCRE_CASELESS, true, "error", true, 0, false, true},
        facts_case{"(?i)ab-c", utf8, true, "ab-c", true, 0, false, true},
        facts_case{"a(?i)bc", utf8, true, "bc", true, 1, false, false},
        facts_case{"(?i:ab)cd", utf8, true, "ab", true, 0, false, false},
        facts_case{
            "Kiss me", utf8 | PCRE_CASELESS, true,
            "Kiss me|Kis\xc5\xbf me|Ki\xc5\xbfs me|Ki\xc5\xbf\xc5\xbf me|\xe2\x84\xaaiss me|"
            "\xe2\x84\xaais\xc5\xbf me|\xe2\x84\xaai\xc5\xbfs me|\xe2\x84\xaai\xc5\xbf\xc5\xbf me",
            true, 0, false, true},
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
        facts_case{"[k]x", utf8 | PCRE_CASELESS, true, "kx|\xe2\x84\xaax", true, 0, false, true},
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

namespace {

// Case folding as the lowering models it, against the library: in UTF-8 mode, each ASCII letter
// ignoring case matches exactly the characters of its atom (KELVIN SIGN and LONG S included), of
// all characters up to U+FFFF.
TEST(lowering, folds_case_as_the_library_does) {
  for (char letter = 'A'; letter <= 'z'; ++letter) {
    if (!textsift::search::ascii_letter(static_cast<unsigned char>(letter))) continue;
    const std::string pattern(1, letter);
    const auto lowered =
        textsift::analysis::lower_pattern(pattern, PCRE_UTF8 | PCRE_CASELESS | PCRE_ANCHORED);
    ASSERT_TRUE(lowered.known());
    const textsift::analysis::node& atom = lowered.branches.at(0).at(0);
    ASSERT_TRUE(atom.exact) << letter;
    std::set<std::string> ours;
    for (const textsift::search::literal& each : atom.strings) {
      ours.insert(each.bytes);
      if (each.caseless) ours.insert(std::string(1, static_cast<char>(each.bytes[0] ^ 0x20)));
    }
    const char* error = nullptr;
    int offset = 0;
    pcre* code = pcre_compile(pattern.c_str(), PCRE_UTF8 | PCRE_CASELESS | PCRE_ANCHORED, &error,
                              &offset, nullptr);
    ASSERT_NE(code, nullptr);
    std::set<std::string> library;
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      const std::string character = textsift::search::utf8_encode(c);
      int ovector[3];
      const int status = pcre_exec(code, nullptr, character.data(),
                                   static_cast<int>(character.size()), 0, 0, ovector, 3);
      if (status > 0 && ovector[1] == static_cast<int>(character.size())) library.insert(character);
    }
    pcre_free(code);
    EXPECT_EQ(ours, library) << letter;
  }
}

}  // namespace
