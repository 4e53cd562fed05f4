// Randomized comparison of the application step, on the JIT and on the interpreter, with
// pcrecpp's Extract, Replace and GlobalReplace. The generated cases stay clear of the places where
// we deliberately differ: every capturing group takes part in each match, texts are valid UTF-8,
// and a pattern that can report an empty match only meets ASCII texts (pcrecpp steps bytes, not
// characters, after an empty match).
#include <gtest/gtest.h>
#include <pcrecpp.h>

#include <random>
#include <string>

#include "templates/basic_pcre.hpp"
#include "templates/engine_options.hpp"

namespace {

class generator {
 public:
  explicit generator(unsigned seed) : random_(seed) {}

  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  template <std::size_t N>
  const char* pick(const char* const (&items)[N]) {
    return items[below(static_cast<int>(N))];
  }

  // A pattern; `min_length` receives the fewest characters a match of it can report.
  std::string pattern(int& groups, int& min_length) {
    groups = 0;
    keeps_out_ = false;
    std::string pattern = sequence(2, true, groups, min_length);
    if (keeps_out_) min_length = 0;
    return pattern;
  }

  std::string text(bool ascii_only) {
    static const char* const ascii[] = {"a", "b", "c", " ", "\n", "1", "-", "ab", "[", "]"};
    static const char* const wide[] = {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80"};
    std::string text;
    for (int n = below(24); n > 0; --n)
      text += !ascii_only && below(5) == 0 ? pick(wide) : pick(ascii);
    return text;
  }

  std::string rewrite(int groups) {
    static const char* const literals[] = {"x", "-", "<", ">", "\xc3\xa9", "\\\\", ""};
    std::string rewrite;
    for (int n = below(5); n > 0; --n) {
      if (below(2) == 0) {
        rewrite += '\\';
        rewrite += static_cast<char>('0' + below(groups + 1));
      } else {
        rewrite += pick(literals);
      }
    }
    return rewrite;
  }

  std::string modifiers() {
    static const char* const choices[] = {"",  "",  "",  "i", "m",   "s",
                                          "x", "!", "$", "*", "ims", "U"};
    return pick(choices);
  }

 private:
  // Capturing groups appear only where they must take part in every match: `mandatory` says so.
  std::string sequence(int depth, bool mandatory, int& groups, int& min_length) {
    std::string out;
    min_length = 0;
    for (int n = 1 + below(3); n > 0; --n) {
      int atom_min = 0;
      out += quantified(depth, mandatory, groups, atom_min);
      min_length += atom_min;
    }
    return out;
  }

  std::string quantified(int depth, bool mandatory, int& groups, int& min_length) {
    static const char* const optional[] = {"?", "*", "??", "*?", "{0,2}", "?+", "*+"};
    static const char* const repeated[] = {"+", "+?", "{1,3}", "{2}", "++", "{2,}+"};
    static const char* const anchors[] = {"^",        "$",       "\\b",       "\\B",
                                          "(*PRUNE)", "(*SKIP)", "(*COMMIT)", "\\K"};
    const int choice = below(7);
    if (choice == 0) {
      min_length = 0;
      const char* anchor = pick(anchors);
      if (anchor == std::string("\\K")) keeps_out_ = true;
      return anchor;
    }
    const bool may_be_absent = choice == 1;
    std::string item = atom(depth, mandatory && !may_be_absent, groups, min_length);
    if (may_be_absent) {
      min_length = 0;
      return item + pick(optional);
    }
    if (choice == 2) return item + pick(repeated);  // "{2}" keeps min_length 0 or above 0
    return item;
  }

  std::string atom(int depth, bool mandatory, int& groups, int& min_length) {
    static const char* const singles[] = {"a",   "b",   "c",   ".",        "[ab]", "[^a]",
                                          "\\w", "\\s", "\\d", "\xc3\xa9", "-",    "\\["};
    const int choice = depth > 0 ? below(9) : 0;
    if (choice < 6) {
      min_length = 1;
      return pick(singles);
    }
    if (choice == 6 && mandatory) {
      ++groups;
      return "(" + sequence(depth - 1, true, groups, min_length) + ")";
    }
    int first = 0, second = 0;
    std::string inner = "(?:" + sequence(depth - 1, false, groups, first) + "|" +
                        sequence(depth - 1, false, groups, second) + ")";
    min_length = std::min(first, second);
    return inner;
  }

  std::mt19937 random_;
  bool keeps_out_ = false;  // \K: a match may report less than it consumed
};

TEST(differential, application_matches_pcrecpp) {
  generator generate(20261207);
  int compared = 0, changed = 0, skipped = 0;
  for (int round = 0; round < 20000; ++round) {
    int groups = 0, min_length = 0;
    const std::string pattern = generate.pattern(groups, min_length);
    const std::string modifiers = generate.modifiers();
    const bool byte_mode = modifiers.find('U') != std::string::npos;
    const std::string text = generate.text(min_length == 0 && !byte_mode);
    const int kind = generate.below(3);  // extract, replace first, replace all
    const bool no_capture = modifiers.find('*') != std::string::npos;
    std::string rewrite = generate.rewrite(no_capture ? 0 : groups);
    if (kind == 0 && rewrite.empty()) rewrite = "\\0";

    const pcrecpp::RE reference(pattern, templates::engine_options(modifiers));
    if (!reference.error().empty()) {
      ++skipped;
      ADD_FAILURE() << "the generator made a pattern pcrecpp rejects: " << pattern << " /"
                    << modifiers << ": " << reference.error();
      continue;
    }
    templates::match_settings interpreter;
    interpreter.jit = false;
    templates::basic_pcre<std::string> record, interpreted_record;
    const std::string record_modifiers = kind == 1 ? modifiers + "1" : modifiers;
    record.compile(kind != 0, pattern, rewrite, record_modifiers);
    interpreted_record.compile(kind != 0, pattern, rewrite, record_modifiers, interpreter);
    ASSERT_EQ(record.error(), "") << pattern << " /" << modifiers;

    std::string ours = text, interpreted = text, expected = text;
    const std::string failure = record.apply(ours);
    const std::string interpreter_failure = interpreted_record.apply(interpreted);
    if (!failure.empty() || !interpreter_failure.empty()) {  // a limit: pcrecpp would hide it
      ++skipped;
      continue;
    }
    ASSERT_EQ(ours, interpreted) << "JIT and interpreter differ: pattern " << pattern
                                 << " modifiers " << modifiers << " kind " << kind << " text \""
                                 << text << '"';
    if (kind == 0) {
      expected.clear();
      reference.Extract(rewrite, text, &expected);
    } else if (kind == 1) {
      reference.Replace(rewrite, &expected);
    } else {
      reference.GlobalReplace(rewrite, &expected);
    }
    ASSERT_EQ(ours, expected) << "pattern " << pattern << " modifiers " << modifiers << " kind "
                              << kind << " rewrite " << rewrite << " text \"" << text << '"';
    ++compared;
    if (ours != text) ++changed;
  }
  // The generator must exercise the engine, not only produce failures or no-ops.
  EXPECT_GT(compared, 18000);
  EXPECT_GT(changed, compared / 2);
  EXPECT_LT(skipped, 2000);
}

}  // namespace
