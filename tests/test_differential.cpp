// Randomized comparison of the application step, on the JIT and on the interpreter, with
// pcrecpp's Extract, Replace and GlobalReplace. The generated cases stay clear of the places where
// we deliberately differ: every capturing group takes part in each match, texts are valid UTF-8,
// and a pattern that can report an empty match only meets ASCII texts (pcrecpp steps bytes, not
// characters, after an empty match).
#include <gtest/gtest.h>
#include <pcrecpp.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "fuzz_checks.hpp"
#include "io/in_place_output.hpp"
#include "search/literal_search.hpp"
#include "templates/basic_pcre.hpp"
#include "templates/engine_options.hpp"

namespace {

// Every vector width this machine runs: the searches are compared at each.
const std::vector<textsift::search::vector_width> widths = textsift::search::widths_here();

class generator {
 public:
  explicit generator(unsigned seed) : random_(seed) {}

  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  template <class Item, std::size_t N>
  const Item& pick(const Item (&items)[N]) {
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
  const int file = memfd_create("in_place", 0);
  ASSERT_GE(file, 0);
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
    // Each vector width this machine runs, in turn.
    templates::match_settings settings;
    settings.width = widths[static_cast<std::size_t>(round) % widths.size()];
    templates::match_settings interpreter = settings;
    interpreter.jit = false;
    templates::basic_pcre<std::string> record, interpreted_record;
    const std::string record_modifiers = kind == 1 ? modifiers + "1" : modifiers;
    record.compile(kind != 0, pattern, rewrite, record_modifiers, settings);
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
    // Built over the text, as the last expression builds it, on a text long enough for the
    // result to lag behind the search: 8 copies, and in turn beyond the queue's first block of
    // 64 KiB and beyond 1 MiB where attempts read a bounded stretch (time stays linear).
    const bool bounded = fuzz::bounded_attempts(record);
    const std::size_t beyond = !bounded           ? 0
                               : round % 200 == 0 ? std::size_t{1} << 20
                               : round % 10 == 0  ? std::size_t{64} << 10
                                                  : 0;
    std::string longer;
    for (int copies = 0; !text.empty() && (copies < 8 || longer.size() <= beyond); ++copies) {
      longer += text;
    }
    std::string held = longer;
    const std::string held_failure = record.apply(held);
    const fuzz::in_place_outcome in_place = fuzz::built_in_place(record, longer, file);
    ASSERT_EQ(in_place.failure, held_failure) << pattern;
    if (held_failure.empty()) {
      ASSERT_EQ(in_place.result, held)
          << "in place: pattern " << pattern << " modifiers " << modifiers << " kind " << kind
          << " rewrite " << rewrite << " text \"" << longer.substr(0, 200) << '"';
    }
    // Cut into pieces of a few bytes, searched at once wherever the plan allows.
    templates::match_settings cut = settings;
    cut.piece_bytes = 1 + static_cast<std::size_t>(round % 16);
    templates::basic_pcre<std::string> in_pieces;
    in_pieces.compile(kind != 0, pattern, rewrite, record_modifiers, cut);
    const fuzz::in_place_outcome pieces = fuzz::applied_in_place(in_pieces, longer);
    ASSERT_EQ(pieces.failure, held_failure) << "in pieces: " << pattern;
    if (held_failure.empty()) {
      ASSERT_EQ(pieces.result, held)
          << "in pieces of " << cut.piece_bytes << " bytes: pattern " << pattern << " modifiers "
          << modifiers << " kind " << kind << " text \"" << longer.substr(0, 200) << '"';
    }
    ++compared;
    if (ours != text) ++changed;
  }
  close(file);
  // The generator must exercise the engine, not only produce failures or no-ops.
  EXPECT_GT(compared, 18000);
  EXPECT_GT(changed, compared / 2);
  EXPECT_LT(skipped, 2000);
}

}  // namespace

namespace {

// Searches that skip text against plain ones: patterns built around a literal, texts that hold it
// in many forms (other case, KELVIN SIGN and LONG S, across lines, with NUL bytes).
TEST(differential, acceleration_changes_no_result) {
  generator generate(20261208);
  // As many literals as a set holds, and one more.
  static const std::string most = [] {
    std::string alternatives = "(?:x0";
    for (int i = 1; i < 64; ++i) alternatives += "|x" + std::to_string(i);
    return alternatives + ")";
  }();
  static const std::string too_many = "(?:foo|" + most.substr(3);
  static const char* const literals[] = {
      most.c_str(), too_many.c_str(), "foo", "\\[FATAL\\]", "ab", "Kk", "s-S", "caf\xc3\xa9",
      "a\\nb", "\\Q.*\\E", "x y", "12", "\\Qx y\\E", "\\Q\tb\\E", "f(?#c)oo", "a\\E\\Q\\Eb",
      "x # c\n y", "\\R12", "\\R\\R12", "(?x) a b (?-x)", "(?x: a\tb )c", "\\E{2}b",
      // Sets of literals: alternatives, overlapping ones, classes, counts, case.
      "(?:foo|ab)", "(ERROR|FATAL)", "ERROR|FATAL|foo", "(?:ab|abc|b)", "[Ff]oo", "(?i:cat|dog)",
      "(?:ab){2}", "o{3}", "(?:caf\xc3\xa9|Kk)", "(?:ERROR|FATAL)x?", "(?:foo|ab|x y)+",
      "(?:ERROR:? \\d|fo+)", "(?>ab|a)b", "[Ee](?:RROR|rror)", "user=",
      // ... where the set is none: in lookarounds, optional.
      "(?=foo|ab)", "(?<=ab|b)x", "(?:foo|ab)?", "(?!ERROR|FATAL)\\w"};
  static const char* const around[] = {"", "\\d+", "\\w*?", ".*", ".{0,3}", "[^x]*", "\\s",
                                       "(?:a|bb)", "\\b", "(\\w+)", "[\\s\\S]", "(?=a)", "(?<=b)",
                                       "^", "$", "\\S+ ", "(?i)", "(?=.*)", "(?=(?:.*?))",
                                       // What may stand between an item and its quantifier.
                                       "o(?#c){2}", "o(?#c) {2,}", "o\\E{2}", "o\\Q\\E{1,2}",
                                       "o # c\n{2}", "\\R{2}", "\\R+?", "\\X{2}", "(?x) # c\n"};
  static const char* const modifiers[] = {"", "i", "s", "m", "x", "U", "is", "iU", "mx"};
  static const std::string pieces[] = {"ERROR",
                                       "FATAL",
                                       "error",
                                       "cat",
                                       "DOG",
                                       "abc",
                                       "Foo",
                                       "user=",
                                       "user=7",
                                       "foo",
                                       "FOO",
                                       "[FATAL]",
                                       "[fatal]",
                                       "ab",
                                       "AB",
                                       "Kk",
                                       "\xe2\x84\xaak",
                                       "s-S",
                                       "\xc5\xbf-s",
                                       "caf\xc3\xa9",
                                       "CAF\xc3\x89",
                                       "a\nb",
                                       ".*",
                                       "x y",
                                       "xy",
                                       " ",
                                       "\n",
                                       "\r\n",
                                       "1",
                                       "12",
                                       "a",
                                       "b",
                                       "x",
                                       "oo",
                                       "{2}",
                                       "\r",
                                       "\xe2\x80\xa8",
                                       "e\xcc\x81",
                                       "\t",
                                       std::string(1, '\0')};
  int compared = 0, accelerated = 0, changed = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::string pattern =
        std::string(generate.pick(around)) + generate.pick(literals) + generate.pick(around);
    const std::string modifier = generate.pick(modifiers);
    std::string text;
    // Some texts long enough for a search to find its candidates too dense and stop looking.
    for (int n = generate.below(round % 50 == 0 ? 2000 : 30); n > 0; --n)
      text += generate.pick(pieces);
    const int kind = generate.below(3);
    templates::match_settings settings;  // each vector width this machine runs, in turn
    settings.width = widths[static_cast<std::size_t>(round) % widths.size()];
    templates::match_settings plain = settings;
    plain.accelerate = false;
    const std::string record_modifiers = kind == 1 ? modifier + "1" : modifier;
    templates::basic_pcre<std::string> fast, slow;
    fast.compile(kind != 0, pattern, "<\\0>", record_modifiers, settings);
    slow.compile(kind != 0, pattern, "<\\0>", record_modifiers, plain);
    if (!fast.error().empty()) continue;  // such as a look-behind of no fixed length
    std::string fast_text = text, slow_text = text;
    const std::string fast_failure = fast.apply(fast_text);
    const std::string slow_failure = slow.apply(slow_text);
    if (slow_failure.find("limit exceeded") != std::string::npos) continue;
    ASSERT_EQ(fast_failure, slow_failure) << pattern << " /" << modifier << " kind " << kind;
    ASSERT_TRUE(fast_text == slow_text) << "pattern " << pattern << " modifiers " << modifier
                                        << " kind " << kind << " text \"" << text << '"';
    ++compared;
    if (fast.matcher().plan().search_literals) ++accelerated;
    if (fast_text != text) ++changed;
  }
  EXPECT_GT(compared, 15000);
  EXPECT_GT(accelerated, compared / 2);
  EXPECT_GT(changed, compared / 4);
}

}  // namespace

namespace {

// The vector searches at every width against a plain one, on texts long enough for several
// vectors and texts that end in part of a literal; bytes that differ only in bit 5 ('@' and '`',
// '[' and '{') must stay apart when ignoring case. Sets of 1 to 64 literals, some overlapping, some
// beginning alike: the first position wins, and there the first literal of the set.
TEST(differential, literal_finders_agree_with_a_plain_scan) {
  std::string names;  // the widths compared, which the test's output shows
  for (const textsift::search::vector_width width : widths) {
    names += std::string(names.empty() ? "" : " ") + textsift::search::width_name(width);
  }
  RecordProperty("widths", names);
  std::printf("vector widths compared on this machine: %s\n", names.c_str());
  generator generate(7);
  const std::string alphabet = "aAbB@`[{-\xc3\xa9 x";
  const auto same = [](char a, char b, bool caseless) {
    const bool letter = ((a | 0x20) >= 'a' && (a | 0x20) <= 'z');
    return caseless && letter ? (a | 0x20) == (b | 0x20) : a == b;
  };
  for (int round = 0; round < 50000; ++round) {
    const int count = round % 2 == 0 ? 1 : 1 + generate.below(round % 7 == 1 ? 64 : 6);
    std::vector<textsift::search::literal> set;
    for (int i = 0; i < count; ++i) {
      std::string bytes;
      for (int n = 1 + generate.below(5); n > 0; --n) bytes += alphabet[generate.below(13)];
      if (i > 0 && generate.below(3) == 0) bytes = set[generate.below(i)].bytes + bytes;
      set.push_back({bytes, generate.below(2) == 0});
    }
    std::string text;
    for (int n = generate.below(100); n > 0; --n) text += alphabet[generate.below(13)];
    // The text may end in the start of an occurrence: a candidate cut off by the end.
    const std::string& last = set[generate.below(count)].bytes;
    text += last.substr(0, generate.below(static_cast<int>(last.size())));
    const std::size_t from = generate.below(static_cast<int>(text.size()) + 1);
    std::size_t position = std::string::npos, index = 0;
    for (std::size_t i = from; i < text.size() && position == std::string::npos; ++i) {
      for (std::size_t which = 0; which < set.size() && position == std::string::npos; ++which) {
        const textsift::search::literal& each = set[which];
        bool all = i + each.bytes.size() <= text.size();
        for (std::size_t k = 0; all && k < each.bytes.size(); ++k)
          all = same(text[i + k], each.bytes[k], each.caseless);
        if (all) position = i, index = which;
      }
    }
    const std::vector<char> exact(text.begin(), text.end());  // no room after it to read by mistake
    for (const textsift::search::vector_width width : widths) {
      const char* name = textsift::search::width_name(width);
      const textsift::search::literal_set_finder finder(set, width);
      const textsift::search::literal_set_finder::occurrence found =
          finder.find(exact.data(), exact.size(), from);
      ASSERT_EQ(found.position, position)
          << name << " \"" << text << "\" from " << from << ", " << count
          << " literals, the first \"" << set[0].bytes << '"';
      if (position != std::string::npos) {
        ASSERT_EQ(found.index, index) << name << " " << text;
      }
      if (count == 1) {
        const textsift::search::literal_finder single(set[0].bytes, set[0].caseless, width);
        ASSERT_EQ(single.find(exact.data(), exact.size(), from), position) << name << " " << text;
      }
    }
  }
}

}  // namespace
