// The expression record from argument to result: compile errors, option bits, copies and the
// application of each kind, including engine failures.
#include <gtest/gtest.h>

#include <string>

#include "fuzz_checks.hpp"
#include "lazy_text.hpp"
#include "program/expression_list.hpp"
#include "templates/engine_options.hpp"
#include "templates/match_settings.hpp"

namespace {

using textsift::make_expression;

const std::string not_utf8 = "Text is not valid UTF-8 (use the modifier U to match bytes)";
const std::string match_limit = "Match limit exceeded (pattern too complex for this text)";
const std::string recursion_limit = "Recursion limit exceeded (pattern too complex for this text)";

struct apply_case {
  std::string argument;
  test::lazy_text input;
  test::lazy_text output;  // expected text when `failure` is empty
  std::string failure;     // expected reason when the application fails
};

void PrintTo(const apply_case& c, std::ostream* out) {
  const std::string& text = c.input;
  const std::string input = text.size() > 40 ? text.substr(0, 40) + "..." : text;
  *out << '"' << c.argument << "\" on \"" << input << '"';
}

class application : public testing::TestWithParam<apply_case> {};

// Every row holds on both engines: the JIT where the pattern allows it, and the interpreter.
TEST_P(application, gives_the_result_or_the_failure) {
  const apply_case& c = GetParam();
  for (const bool jit : {true, false}) {
    templates::match_settings settings;
    settings.jit = jit;
    const auto record = make_expression(c.argument, settings);
    ASSERT_EQ(record.error(), "");
    std::string text = c.input.get();
    EXPECT_EQ(record.apply(text), c.failure) << (jit ? "JIT" : "interpreter");
    EXPECT_EQ(text, c.failure.empty() ? c.output.get() : c.input.get())
        << (jit ? "JIT" : "interpreter");
    // Built over its text and cut into pieces of a few bytes, searched at once wherever the plan
    // allows: the same result, or failure.
    settings.piece_bytes = 3;
    const auto in_pieces = make_expression(c.argument, settings);
    const fuzz::in_place_outcome outcome = fuzz::applied_in_place(in_pieces, c.input.get());
    EXPECT_EQ(outcome.failure, c.failure) << "in pieces, " << (jit ? "JIT" : "interpreter");
    if (c.failure.empty()) {
      EXPECT_TRUE(outcome.result == c.output.get())
          << "in pieces, " << (jit ? "JIT" : "interpreter");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    kinds, application,
    testing::Values(
        apply_case{"/b+/", "abbbc", "bbb", ""}, apply_case{"/z/", "abc", "", ""},
        apply_case{"/(b+)/[$1]/", "abbbc", "[bbb]", ""}, apply_case{"s/o/0/", "foo", "f00", ""},
        apply_case{"s/o/0/1", "foo", "f0o", ""}, apply_case{"s/z/0/1", "foo", "foo", ""},
        apply_case{"s/z/0/", "foo", "foo", ""}, apply_case{"s/o//", "foo", "f", ""},
        apply_case{"/o//", "foo", "o", ""}, apply_case{"/o/x/1", "foo", "x", ""},
        apply_case{"s/x*/-/", "abc", "-a-b-c-", ""}, apply_case{"s/x*/-/", "", "-", ""},
        apply_case{"/x*/[$0]/", "", "[]", ""}, apply_case{"s/a|/-/", "baac", "-b---c-", ""},
        apply_case{"s/b*|aa/@/", "aa", "@@@", ""}, apply_case{"s/a/<$0>/", "ab", "<a>b", ""},
        apply_case{"s/(a)(b)/$2$1/", "xaby", "xbay", ""}, apply_case{"s/(a)/$12/", "a", "a2", ""},
        apply_case{"s/(?<n>a)/[$1]/", "ba", "b[a]", ""}, apply_case{"s/a/\\\\\\\\/", "a", "\\", ""},
        apply_case{"s/a/\\0/", "bab", std::string("b\0b", 3), ""},
        apply_case{"s/b/x/", std::string("a\0b\0", 4), std::string("a\0x\0", 4), ""},
        apply_case{"/a\\x00b/", std::string("za\0bz", 5), std::string("a\0b", 3), ""},
        apply_case{"s/\xc3\xa9/e/", "caf\xc3\xa9!", "cafe!", ""},
        apply_case{"/(\\w+)\\s(\\w+)/$1=$2/", "XDEF YES", "XDEF=YES", ""}));

INSTANTIATE_TEST_SUITE_P(
    modifiers, application,
    testing::Values(apply_case{"/A/i", "a", "a", ""}, apply_case{"/A/", "a", "", ""},
                    apply_case{"/^b/m", "a\nb", "b", ""}, apply_case{"/^b/", "a\nb", "", ""},
                    apply_case{"/a.b/s", "a\nb", "a\nb", ""}, apply_case{"/a.b/", "a\nb", "", ""},
                    apply_case{"/a b/x", "ab", "ab", ""}, apply_case{"/a+?/!", "aaa", "aaa", ""},
                    apply_case{"/a+?/", "aaa", "a", ""}, apply_case{"/a$/$", "a\n", "", ""},
                    apply_case{"/a$/", "a\n", "a", ""}, apply_case{"/./U", "\xc3\xa9", "\xc3", ""},
                    apply_case{"/./", "\xc3\xa9", "\xc3\xa9", ""},
                    apply_case{"/(a)(b)/$0/*", "ab", "ab", ""}, apply_case{"/a/iii", "A", "A", ""},
                    apply_case{"/a/1", "aa", "a", ""}));

// Behaviour the library offers but its C++ wrapper got wrong, and failures that must be reported.
INSTANTIATE_TEST_SUITE_P(
    sound_behaviour, application,
    testing::Values(
        apply_case{"s/(a)|(b)/[$1$2]/", "ab", "[a][b]", ""},
        apply_case{"/(a)|(b)/[$1$2]/", "b", "[b]", ""},
        apply_case{"s/x*/-/", "a\xc3\xa9", "-a-\xc3\xa9-", ""},
        apply_case{"s/x*/-/", "\xe2\x82\xac\xf0\x9f\x98\x80", "-\xe2\x82\xac-\xf0\x9f\x98\x80-",
                   ""},
        apply_case{"s/x*/-/U", "a\xc3\xa9", "-a-\xc3-\xa9-", ""},
        apply_case{"s/x*/-/", "a\r\nb", "-a-\r-\n-b-", ""},
        apply_case{"s/(*CRLF)x*/-/", "a\r\nb", "-a-\r\n-b-", ""},
        apply_case{"/a # note/x", "a", "a", ""}, apply_case{"/a\\Q.b/", "xa.b", "a.b", ""},
        apply_case{"s/(*CR)a/b/", "a", "b", ""},
        apply_case{"/(*UCP)\\w+/", "\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9", ""},
        apply_case{"s/a/b/", "a\xff", "", not_utf8}, apply_case{"/a/", "a\xff", "", not_utf8},
        apply_case{"s/a/b/1", "\xc3", "", not_utf8}, apply_case{"s/a/b/U", "a\xff", "b\xff", ""},
        apply_case{"/a/U",
                   "\xff"
                   "a",
                   "a", ""},
        apply_case{"s/(a+)+$/x/", std::string(30, 'a') + "b", "", match_limit},
        apply_case{"/(a+)+$/", std::string(30, 'a') + "b", "", match_limit},
        apply_case{"s/(a+)+$/x/1", std::string(30, 'a') + "b", "", match_limit},
        apply_case{"/^(\\w+\\s?)*$/", "an apple a day keeps the doctor away!", "", match_limit},
        apply_case{"/<(.*?)>/", LATER("<" + std::string(11000000, 'x') + ">"),
                   LATER("<" + std::string(11000000, 'x') + ">"), ""},
        apply_case{"s/^(?:a|b)*$/x/", LATER(std::string(3000000, 'a')), "", recursion_limit},
        apply_case{"s/(?:a|b)*c/x/", std::string(2000, 'a'), std::string(2000, 'a'), ""},
        apply_case{"s/\"((?:[^\"\\\\\\\\]|\\\\\\\\.)*)\"/<$1>/",
                   "\"" + std::string(5000, 'x') + "\"", "<" + std::string(5000, 'x') + ">", ""},
        apply_case{"s/(\\C?){2}(?<=a)/[$1]/", "a\xc3\xa9", "",
                   "Matching failed (a group reported out of range)"},
        apply_case{"s/\\C/x/", "\xc3\xa9", "", "Matching failed (PCRE error -11)"},
        apply_case{"s/\\C/x/U", "\xc3\xa9", "xx", ""},
        apply_case{"s/(?=ab\\K)/x/", "ab", "",
                   "Match start out of range (\\K inside an assertion)"},
        apply_case{"/(?=ab\\K)/", "ab", "", "Match start out of range (\\K inside an assertion)"}));

// Texts cut into pieces (every row of these tables is also applied in pieces of 3 bytes): matches
// at the cuts, empty matches, CR LF at a cut, lookbehinds that read over a cut, \G (searched
// whole), a leading .*, first matches in a later piece only, and limits reached in a later piece,
// where the first match in an earlier one decides, and in an earlier one. Patterns whose matches
// may cross cuts are cut on a guess: matches that cross one cut or several (the rewrite reading
// bytes of the piece after), lookaheads that read far, and a guess that fails on a limit where
// the whole search has none; their searches see a piece's text up to a line past its end: $ and
// \Z that test that end at a wanted start, matches that need far more, and a limit reached there.
INSTANTIATE_TEST_SUITE_P(
    pieces, application,
    testing::Values(
        apply_case{"s/b/X/", "a\nb\nb\nab\n", "a\nX\nX\naX\n", ""},
        apply_case{"s/x*/-/", "a\nb\nc", "-a-\n-b-\n-c-", ""},
        apply_case{"s/$/!/m", "a\r\nb\r\n", "a\r!\nb\r!\n!", ""},
        apply_case{"s/\\r?\\n/;/", "a\r\nb\r\nc", "a;b;c", ""},
        apply_case{"s/(?<=a\\n)b/X/", "a\nb\na\nb", "a\nX\na\nX", ""},
        apply_case{"s/\\Ga/X/", "aa\naa", "XX\naa", ""},
        apply_case{"s/.*b/X/", "ab\ncb\nd", "X\nX\nd", ""},
        apply_case{"/c+/", "a\nb\nccc\nd", "ccc", ""},
        apply_case{"s/c/X/1", "a\nb\ncc", "a\nb\nXc", ""},
        apply_case{"s/(a+)+$/x/", "b\nb\n" + std::string(30, 'a') + "b", "", match_limit},
        apply_case{"/b/", "b\nb\n" + std::string(30, 'a') + "b", "b", ""},
        apply_case{"/(a+)+$|z/", std::string(30, 'a') + "b\nz", "", match_limit},
        apply_case{"s/\"[^\"]*\"/Q/", "a \"b\nc\" d\n\"e\"\n\"\nf\n\"", "a Q d\nQ\nQ", ""},
        apply_case{"s/c[^a]*+/<$0>/", "xc\n\nya\nc\n", "x<c\n\ny>a\n<c\n>", ""},
        apply_case{"s/c[^a]*+/$0/", "bc[ -\n[ab-cd\n[a", "bc[ -\n[ab-cd\n[a", ""},
        apply_case{"s/<[^>]*>//", "<a\nb\nc\nd>e\n<f>g\n<", "e\ng\n<", ""},
        apply_case{"s/x(?=[^y]*y)/X/", "x\nx\n\nyx\n", "X\nX\n\nyx\n", ""},
        apply_case{"s/<[^>]*>|a(a+)+$/X/", "<\n\n\n" + std::string(30, 'a') + ">\n", "X\n", ""},
        apply_case{"s/(?!$)\\n[^y]*x/Y/", "ab\nxc\nd\n\n", "abYc\nd\n\n", ""},
        apply_case{"s/(?!\\Z)\\n[^y]*x/Y/", "ab\nxc\nd\n\n", "abYc\nd\n\n", ""},
        apply_case{"s/<[^>]*>/T/", "<" + std::string(6000, '\n') + ">b\n<c>\n", "Tb\nT\n", ""},
        apply_case{"s/\"(a+)+b[^\"]*\"/X/", "x\n\"" + std::string(30, 'a') + "c\n\"ab\nz\nz\n", "",
                   match_limit}));

// Patterns that the library's JIT gets wrong give the interpreter's result.
INSTANTIATE_TEST_SUITE_P(jit_defects, application,
                         testing::Values(apply_case{"s/(bb|b){2,}+/X/", "bb", "X", ""},
                                         apply_case{"/(\\d\\d|\\d){2,}+/", "12", "12", ""},
                                         apply_case{"/(?:.|b)?+a/", "a", "a", ""},
                                         apply_case{"/ (?:.|b) ?+ a/x", "a", "a", ""},
                                         apply_case{"s/x*(*PRUNE).|/-/", "x", "x", ""},
                                         apply_case{"/\\X{2}/U", "\r\n", "", ""},
                                         apply_case{"s/((?|(()?)|(\\2)).)+[ab]/y/", "-x", "-x", ""},
                                         apply_case{"/(?:(?!(a))?()){2}/[$1]/", "a", "[a]", ""},
                                         apply_case{"/(()(?(1)a)?\?)A/", "aA", "aA", ""},
                                         apply_case{"/(?=.*)a?\\n/", "c\n", "", ""},
                                         apply_case{"/((?=(a*))\\n){1,}/[$2]/", "\na\n", "[a]", ""},
                                         apply_case{"s/((?:.]?\\p{L}|)*\\g{1}*)a/<$0>/", "aa",
                                                    "<a><a>", ""},
                                         apply_case{"/(?:(-*+)(?1)|)/", "--", "--", ""}));

struct compile_case {
  std::string argument;
  std::string error;
};

void PrintTo(const compile_case& c, std::ostream* out) {
  *out << '"' << c.argument << '"';
}

class compilation : public testing::TestWithParam<compile_case> {};

TEST_P(compilation, sets_the_error_message) {
  EXPECT_EQ(make_expression(GetParam().argument).error(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    library_and_replacement_errors, compilation,
    testing::Values(compile_case{"/(a/", "missing )"},
                    compile_case{"/a)/", "unmatched parentheses"},
                    compile_case{"s/*/x/", "nothing to repeat"},
                    compile_case{"s/a\\\\/x/", "\\ at end of pattern"},
                    compile_case{"/\xff/", "invalid UTF-8 string"}, compile_case{"/\xff/U", ""},
                    compile_case{"/\\j/X", "unrecognized character follows \\"},
                    compile_case{"/\\j/", ""}, compile_case{"/(a/x", "missing )"},
                    compile_case{"s/(a)/\\2/1",
                                 "Replacement refers to group 2, which the pattern does not have"},
                    compile_case{"/(a)/$1$2/",
                                 "Replacement refers to group 2, which the pattern does not have"},
                    compile_case{"s/(a)/$1/*",
                                 "Replacement refers to group 1, which the pattern does not have"},
                    compile_case{"s/(a)(b)(c)(d)(e)(f)(g)(h)(i)/$9/", ""},
                    compile_case{"s/o/\\q/", "Replacement has an unknown escape sequence: \\q"},
                    compile_case{"/o/a\\q/", "Replacement has an unknown escape sequence: \\q"},
                    compile_case{"s/o/\\d$9/", "Replacement has an unknown escape sequence: \\d"},
                    compile_case{"s/o/$9\\d/",
                                 "Replacement refers to group 9, which the pattern does not have"},
                    compile_case{"s/o/x\\\\/", "Replacement ends with a single backslash"},
                    compile_case{"s/o/\\\\\\\\/", ""}, compile_case{"/o//", ""},
                    compile_case{"/o/$0/", ""}));

struct options_case {
  std::string modifiers;
  int bits;
};

class option_bits : public testing::TestWithParam<options_case> {};

TEST_P(option_bits, follow_the_modifiers_and_limits_stay) {
  const auto options = templates::engine_options(GetParam().modifiers);
  EXPECT_EQ(options.all_options(), GetParam().bits);
  EXPECT_EQ(options.match_limit(), 10000000);
  EXPECT_EQ(options.match_limit_recursion(), templates::interpreter_recursion_limit());
}

INSTANTIATE_TEST_SUITE_P(
    each_modifier, option_bits,
    testing::Values(
        options_case{"", PCRE_UTF8}, options_case{"1", PCRE_UTF8}, options_case{"U", 0},
        options_case{"i", PCRE_UTF8 | PCRE_CASELESS}, options_case{"x", PCRE_UTF8 | PCRE_EXTENDED},
        options_case{"s", PCRE_UTF8 | PCRE_DOTALL}, options_case{"m", PCRE_UTF8 | PCRE_MULTILINE},
        options_case{"!", PCRE_UTF8 | PCRE_UNGREEDY},
        options_case{"$", PCRE_UTF8 | PCRE_DOLLAR_ENDONLY},
        options_case{"X", PCRE_UTF8 | PCRE_EXTRA},
        options_case{"*", PCRE_UTF8 | PCRE_NO_AUTO_CAPTURE},
        options_case{"iii", PCRE_UTF8 | PCRE_CASELESS},
        options_case{"1*X$!msxiU", PCRE_CASELESS | PCRE_EXTENDED | PCRE_DOTALL | PCRE_MULTILINE |
                                       PCRE_UNGREEDY | PCRE_DOLLAR_ENDONLY | PCRE_EXTRA |
                                       PCRE_NO_AUTO_CAPTURE}));

struct jit_case {
  std::string pattern;
  bool trusted;  // clear of the constructs the JIT gets wrong
};

void PrintTo(const jit_case& c, std::ostream* out) {
  *out << '"' << c.pattern << '"';
}

class jit_choice : public testing::TestWithParam<jit_case> {};

// Searches run JIT code exactly for the trusted patterns (where the library can JIT at all).
TEST_P(jit_choice, follows_the_scan_of_the_pattern) {
  const jit_case& c = GetParam();
  const templates::compiled_pattern pattern(c.pattern, templates::engine_options(std::string()));
  ASSERT_TRUE(pattern.compiled()) << pattern.error();
  EXPECT_EQ(pattern.plan().jit, c.trusted);
  EXPECT_EQ(pattern.uses_jit(), c.trusted && templates::jit_available());
}

INSTANTIATE_TEST_SUITE_P(
    patterns, jit_choice,
    testing::Values(
        jit_case{"(bb|b){2,}+", false}, jit_case{"(a)*+", false}, jit_case{"(?:a)++", false},
        jit_case{"(a)?+", false}, jit_case{"(a){2}+", false}, jit_case{"(?x)(a) {2,3} +", false},
        jit_case{"(?x)(a)# note\n*+", false}, jit_case{"(a)(?#note)?+", false},
        jit_case{"x*(*PRUNE).|", false}, jit_case{"(*CRLF)a", false}, jit_case{"a\\Kb", false},
        jit_case{"\\X", false}, jit_case{"(?|(a)|(b))", false}, jit_case{"(a)?(?(1)a|b)", false},
        jit_case{"(a)(?!b)", false}, jit_case{"(?<n>a)(?<!b)", false},
        jit_case{"(?P<n>a)(?!b)", false}, jit_case{"(?'n'a)(?!b)", false},
        jit_case{"(?=.*)a?\\n", false}, jit_case{"(?=x)\\N", false}, jit_case{"(?=x)a", true},
        jit_case{"(a)(?=b)", false}, jit_case{"(a)\\1", false}, jit_case{"(a)(?1)", false},
        jit_case{"(a)(?-1)", false}, jit_case{"(?<n>a)\\k<n>", false},
        jit_case{"(a)\\g{-1}", false}, jit_case{"(?<n>a)(?&n)", false}, jit_case{"a(?R)?", false},
        jit_case{"(?-i)a", true}, jit_case{"a\\01", true}, jit_case{"a*+", true},
        jit_case{"[ab]{2,}+", true}, jit_case{"(a)*", true}, jit_case{"(a)+?", true},
        jit_case{"(?>a|b)+", true}, jit_case{"(?:a)(?!b)", true}, jit_case{"(?<=a)(?!b)", true},
        jit_case{"(a)#\n*", true}, jit_case{"(\\d+)-(\\d+)", true}, jit_case{"(a){2,}", true},
        jit_case{"\\Q(*PRUNE)\\K\\E", true}, jit_case{"(?=x)[.]\\.", true},
        jit_case{"[\\K\\X]", true}, jit_case{"a(?#x)*+", true}, jit_case{"(a)\\Q\\E*+", false},
        jit_case{"(a)\\E{2}+", false}, jit_case{"(?x)(?#c) (a) # c\n {2} +", false},
        jit_case{"a[(]b(?=c)", true}, jit_case{"(?:a)(?C1)", true}, jit_case{"[a[.b]", false}));

// The interpreter's recursion, frame by frame, stays within three quarters of the stack, grows
// with the stack, and is never held below 500.
TEST(recursion_limit, fits_the_stack) {
  constexpr std::uint64_t mib = 1 << 20;
  for (const int frame : {0, 200, 496, 2000}) {
    int previous = 0;
    for (const std::uint64_t stack : {std::uint64_t{0}, mib / 2, mib, 2 * mib, 8 * mib, 64 * mib,
                                      1024 * mib, std::uint64_t{RLIM_INFINITY}}) {
      const int limit = templates::recursion_limit_for(stack, frame);
      EXPECT_GE(limit, 500) << stack << " " << frame;
      EXPECT_GE(limit, previous) << stack << " " << frame;
      if (limit > 500) {
        EXPECT_LE(static_cast<std::uint64_t>(limit) * std::max(frame, 1),
                  std::min(stack, 256 * mib) / 4 * 3)
            << stack << " " << frame;
      }
      previous = limit;
    }
  }
  EXPECT_GT(templates::recursion_limit_for(8 * mib, 496), 10000);
}

TEST(record, stores_the_parts_and_flags_of_an_accepted_argument) {
  const auto search = make_expression("s/(a)/[$1]/xi");
  EXPECT_TRUE(search.search_kind());
  EXPECT_TRUE(search.global());
  EXPECT_EQ(search.expression_text(), "s/(a)/[$1]/xi");
  EXPECT_EQ(search.pattern(), "(a)");
  EXPECT_EQ(search.replacement(), "[\\1]");
  EXPECT_EQ(search.modifiers(), "xi");
  EXPECT_FALSE(make_expression("s/a/b/1").global());
  EXPECT_FALSE(make_expression("/a/b/").global());
}

TEST(record, keeps_the_parts_when_the_library_rejects_the_pattern) {
  const auto record = make_expression("s/(a/b/i");
  EXPECT_EQ(record.error(), "missing )");
  EXPECT_TRUE(record.search_kind());
  EXPECT_EQ(record.pattern(), "(a");
  EXPECT_EQ(record.replacement(), "b");
  EXPECT_EQ(record.modifiers(), "i");
}

TEST(record, rejected_by_the_parse_keeps_only_text_and_message) {
  const auto record = make_expression("s/a/b/gi");
  EXPECT_EQ(record.expression_text(), "s/a/b/gi");
  EXPECT_EQ(record.error(), "Unknown modifier/option 'g'");
  EXPECT_FALSE(record.search_kind());
  EXPECT_FALSE(record.global());
  EXPECT_EQ(record.pattern(), "");
  EXPECT_EQ(record.modifiers(), "");
}

TEST(record, fresh_has_its_initial_state) {
  const textsift::expression record;
  EXPECT_EQ(record.separators(), "/|#%");
  EXPECT_EQ(record.separator(), '/');
  EXPECT_EQ(record.error(), "");
  EXPECT_EQ(record.expression().pattern(), "");
}

TEST(record, copies_compile_their_own_expression_and_behave_alike) {
  textsift::expression copy;
  {
    const auto original = make_expression("s/(o+)/<$1>/i");
    copy = original;
    const textsift::expression constructed(original);
    std::string a = "fOo", b = "fOo";
    EXPECT_EQ(original.apply(a), "");
    EXPECT_EQ(constructed.apply(b), "");
    EXPECT_EQ(a, b);
  }  // the original is gone: the copy must not depend on it
  EXPECT_EQ(copy.expression().pattern(), "(o+)");
  EXPECT_EQ(copy.expression().error(), "");
  std::string text = "fOo";
  EXPECT_EQ(copy.apply(text), "");
  EXPECT_EQ(text, "f<Oo>");
}

TEST(record, refuses_a_text_beyond_the_size_limit) {
  for (const char* argument : {"/a/", "s/a/b/", "s/a/b/1"}) {
    const auto record = make_expression(argument);
    std::string text = "abcd";
    EXPECT_EQ(record.apply(text, 3), "Text larger than 3 bytes") << argument;
    EXPECT_EQ(text, "abcd");
    EXPECT_EQ(record.apply(text, 4), "") << argument;
  }
}

}  // namespace

namespace {

// Longer than any single command-line argument can be, so checked in process.
TEST(record, one_mebibyte_expression_is_refused_cleanly) {
  const auto literal = make_expression("/" + std::string(1 << 20, 'a') + "/");
  EXPECT_EQ(literal.error(), "regular expression is too large");
  const auto replacement = make_expression("s/a/" + std::string(1 << 20, 'b') + "/");
  EXPECT_EQ(replacement.error(), "");
  std::string text = "xa";
  EXPECT_EQ(replacement.apply(text), "");
  EXPECT_EQ(text, "x" + std::string(1 << 20, 'b'));
}

TEST(record, control_bytes_in_messages_are_escaped) {
  EXPECT_EQ(make_expression("s/a/b/\x7f").error(), "Unknown modifier/option '\\x7f'");
  EXPECT_EQ(make_expression(std::string("s/a/\\\x01/", 7)).error(),
            "Replacement has an unknown escape sequence: \\\\x01");
  EXPECT_EQ(make_expression("s/a/b/\xc3").error(), "Unknown modifier/option '\xc3'");
}

}  // namespace
