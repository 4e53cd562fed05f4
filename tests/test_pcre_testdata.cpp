// PCRE 8.39's own test files (fetched by scripts/fetch-pcre-testdata into the directory that
// TEXTSIFT_PCRE_TESTDATA names) through the record: every pattern and subject that textsift's
// modifiers can express, on the JIT choice and on the interpreter, each with fast paths on and
// off, group 0 and group 1 against the file's expected output. What cannot be expressed is
// counted by reason and printed.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "search/utf8.hpp"
#include "templates/basic_pcre.hpp"

namespace {

using record = templates::basic_pcre<std::string>;

std::vector<std::string> lines_of(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

bool blank(const std::string& line) {
  return line.find_first_not_of(" \t\r\n\f\v") == std::string::npos;
}

std::string trimmed(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r\n\f\v");
  if (first == std::string::npos) return "";
  return line.substr(first, line.find_last_not_of(" \t\r\n\f\v") + 1 - first);
}

// A text as pcretest prints it: printable ASCII as itself, other bytes as \xhh, or in UTF-8 mode
// other characters as \x{hh...}.
std::string printed(const std::string& text, bool utf8) {
  std::string out;
  char buffer[16];
  for (std::size_t i = 0; i < text.size();) {
    auto value = static_cast<unsigned long>(static_cast<unsigned char>(text[i]));
    std::size_t length = 1;
    if (utf8 && value >= 0xC0) {
      length = value >= 0xF0 ? 4 : value >= 0xE0 ? 3 : 2;
      value &= 0x3F >> (length - 1);
      for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
        value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
      }
    }
    i += length;
    if (value >= 32 && value <= 126) {
      out += static_cast<char>(value);
    } else {
      std::snprintf(buffer, sizeof buffer, utf8 ? "\\x{%02lx}" : "\\x%02lx", value);
      out += buffer;
    }
  }
  return out;
}

// A subject line with pcretest's escapes undone; sets `skip` to a reason when it uses one that
// passes an option to the library rather than a character.
std::string subject_of(const std::string& line, bool utf8, std::string& skip) {
  const std::string text = trimmed(line);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) break;  // a final backslash is ignored
    const char c = text[i];
    const auto digits = [&](int base, std::size_t most) {
      unsigned long value = 0;
      for (std::size_t n = 0; n < most && i + 1 < text.size(); ++n) {
        const char d = text[i + 1];
        const int digit = d >= '0' && d <= '9'                     ? d - '0'
                          : (d | 0x20) >= 'a' && (d | 0x20) <= 'f' ? (d | 0x20) - 'a' + 10
                                                                   : 99;
        if (digit >= base) break;
        value = value * base + digit;
        ++i;
      }
      return value;
    };
    const std::string simple = "abefnrtv";
    const char* const values = "\a\b\x1b\f\n\r\t\v";
    if (simple.find(c) != std::string::npos) {
      out += values[simple.find(c)];
    } else if (c >= '0' && c <= '7') {
      --i;
      out += static_cast<char>(digits(8, 3));
    } else if ((c == 'x' || c == 'o') && i + 1 < text.size() && text[i + 1] == '{') {
      const std::size_t close = text.find('}', i);
      if (close == std::string::npos) {
        skip = "data escape without its closing brace";
        return out;
      }
      const unsigned long value =
          std::strtoul(text.substr(i + 2, close - i - 2).c_str(), nullptr, c == 'x' ? 16 : 8);
      i = close;
      if (utf8) {
        out += textsift::search::utf8_encode(static_cast<std::uint32_t>(value));
      } else if (value > 0xFF) {
        skip = "data character above 255 in byte mode";
      } else {
        out += static_cast<char>(value);
      }
    } else if (c == 'x') {
      out += static_cast<char>(digits(16, 2));
    } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
      skip = std::string("data escape \\") + c + " (an exec option)";
    } else if (c == '?' || c == '>' || c == '<') {
      skip = std::string("data escape \\") + c + " (an exec option)";
    } else {
      out += c;
    }
  }
  return out;
}

// pcretest's modifiers as textsift's; sets `skip` for one that has no equivalent. Display
// modifiers (+ = I D B M Z S K) change nothing matched; g and G only add later matches, of
// which the first is compared.
std::string modifiers_of(const std::string& flags, bool& utf8, std::string& skip) {
  std::string modifiers;
  utf8 = false;
  for (const char c : flags) {
    if (std::string("imsx").find(c) != std::string::npos) {
      modifiers += c;
    } else if (c == '8') {
      utf8 = true;
    } else if (c == 'E' || c == 'U' || c == 'X' || c == 'N') {
      modifiers += c == 'E' ? '$' : c == 'U' ? '!' : c == 'X' ? 'X' : '*';
    } else if (std::string(" +=IDBMZSKgG-").find(c) == std::string::npos) {
      skip = std::string("modifier /") + c;
      if (c == '<') skip += flags.substr(flags.find('<'), flags.find('>') - flags.find('<') + 1);
      return modifiers;
    }
  }
  if (!utf8) modifiers += 'U';
  return modifiers;
}

// What the file expects of one subject.
struct expectation {
  bool match = false;
  bool error = false;  // the match fails with an error
  std::string group0, group1 = "<unset>";
  std::string unknown;  // set when the output shows none of these
};

expectation expected_of(const std::vector<std::string>& results) {
  expectation expected;
  bool seen = false;
  for (const std::string& line : results) {
    if (!seen && line.rfind(" 0: ", 0) == 0) {
      expected.match = seen = true;
      expected.group0 = line.substr(4);
    } else if (!seen && line == " 0:") {
      expected.match = seen = true;
    } else if (seen && line.rfind(" 1: ", 0) == 0) {
      expected.group1 = line.substr(4);
    } else if (seen && line.rfind(" 0: ", 0) == 0) {
      break;  // a later match under /g
    } else if (!seen && line.rfind("No match", 0) == 0) {
      return expected;
    } else if (!seen && line.rfind("Error ", 0) == 0) {
      expected.error = true;
      return expected;
    } else if (!seen && line.rfind("Partial match", 0) == 0) {
      expected.unknown = "partial match";
    }
  }
  if (!seen && expected.unknown.empty()) expected.unknown = "no result shown";
  return expected;
}

struct tally {
  int passed = 0;
  std::vector<std::string> failures;
  std::map<std::string, int> skipped;
};

// The four ways a record can run: the engine the JIT choice picks or the interpreter always,
// each with fast paths on and off.
std::array<templates::match_settings, 4> four_ways() {
  std::array<templates::match_settings, 4> ways;
  for (int way = 0; way < 4; ++way) {
    ways[way].jit = way < 2;
    ways[way].accelerate = way % 2 == 0;
  }
  return ways;
}

const char* const way_names[] = {"JIT choice, fast", "JIT choice, plain", "interpreter, fast",
                                 "interpreter, plain"};

// One subject on one way: what the record gives for the rewrite "=\0" (or "=\1"), printed, or an
// error marker.
std::string outcome(const record& compiled, const std::string& subject, bool utf8) {
  std::string text = subject;
  const std::string failure = compiled.apply(text);
  if (!failure.empty()) return "error: " + failure;
  if (text.empty()) return "no match";
  return printed(text.substr(1), utf8);
}

void run_pattern(const std::string& pattern, const std::string& flags,
                 const std::vector<std::string>& pattern_results,
                 const std::vector<std::pair<std::string, std::vector<std::string>>>& subjects,
                 int line_number, tally& counts) {
  bool utf8 = false;
  std::string skip;
  const std::string modifiers = modifiers_of(flags, utf8, skip);
  const auto skip_all = [&](const std::string& reason) {
    counts.skipped[reason] += static_cast<int>(subjects.size());
  };
  if (!skip.empty()) return skip_all(skip);
  bool expect_failure = false;
  for (const std::string& line : pattern_results) expect_failure |= line.rfind("Failed:", 0) == 0;
  const auto ways = four_ways();
  std::array<record, 4> group0, group1;
  for (int way = 0; way < 4; ++way) {
    group0[way].compile(false, pattern, "=\\0", modifiers, ways[way]);
    if (group0[way].matcher().capture_count() >= 1) {
      group1[way].compile(false, pattern, "=\\1", modifiers, ways[way]);
    }
  }
  const std::string where = "line " + std::to_string(line_number) + " /" + pattern + "/" + flags;
  if (!group0[0].error().empty() || expect_failure) {
    if (group0[0].error().empty() || !expect_failure) {
      counts.failures.push_back(where + ": compiles differently: " + group0[0].error());
    } else {
      ++counts.passed;
    }
    return;
  }
  const bool has_group1 = group0[0].matcher().capture_count() >= 1;
  for (const auto& [line, results] : subjects) {
    std::string subject_skip;
    const std::string subject = subject_of(line, utf8, subject_skip);
    const expectation expected = expected_of(results);
    if (!subject_skip.empty() || !expected.unknown.empty()) {
      ++counts.skipped[subject_skip.empty() ? expected.unknown : subject_skip];
      continue;
    }
    std::string differences;
    for (int way = 0; way < 4; ++way) {
      const std::string got0 = outcome(group0[way], subject, utf8);
      const std::string got1 = has_group1 ? outcome(group1[way], subject, utf8) : "";
      const bool same =
          expected.error ? got0.rfind("error: ", 0) == 0
          : !expected.match
              ? got0 == "no match"
              : got0 == expected.group0 &&
                    (!has_group1 || got1 == (expected.group1 == "<unset>" ? "" : expected.group1));
      if (!same) {
        differences += std::string("\n    ") + way_names[way] + ": 0: " + got0 + " 1: " + got1;
      }
    }
    if (differences.empty()) {
      ++counts.passed;
    } else {
      counts.failures.push_back(where + " on \"" + trimmed(line) + "\": expected " +
                                (expected.match ? "0: " + expected.group0 + " 1: " + expected.group1
                                 : expected.error ? "an error"
                                                  : "no match") +
                                differences);
    }
  }
}

// Walks the input file and its expected output side by side: the output repeats every input line
// and puts the results of each after it.
tally run_file(const std::string& input_path, const std::string& output_path) {
  tally counts;
  const std::vector<std::string> input = lines_of(input_path);
  const std::vector<std::string> output = lines_of(output_path);
  std::vector<std::vector<std::string>> results(input.size());
  std::size_t j = 0;
  for (std::size_t k = 0; k < input.size(); ++k) {
    for (; j < output.size() && output[j] != input[k]; ++j) {
      if (k > 0) results[k - 1].push_back(output[j]);
    }
    if (j == output.size()) {
      counts.failures.push_back("output does not repeat input line " + std::to_string(k + 1));
      return counts;
    }
    ++j;
  }
  for (; j < output.size() && !input.empty(); ++j) results.back().push_back(output[j]);

  for (std::size_t k = 0; k < input.size();) {
    const std::string first = trimmed(input[k]);
    if (first.empty() || first[0] == '<') {
      ++k;
      continue;
    }
    // A pattern: from its delimiter to the next one not escaped, over several lines if need be.
    const char delimiter = first[0];
    const std::size_t start_line = k;
    std::string text = input[k].substr(input[k].find(delimiter) + 1);
    std::string pattern;
    std::size_t i = 0;
    while (true) {
      if (i >= text.size()) {
        if (++k == input.size()) return counts;
        pattern += '\n';
        text = input[k];
        i = 0;
        continue;
      }
      if (text[i] == '\\' && i + 1 < text.size()) {
        pattern += text.substr(i, 2);
        i += 2;
      } else if (text[i] == delimiter) {
        break;
      } else {
        pattern += text[i++];
      }
    }
    std::string flags = text.substr(i + 1);
    if (!flags.empty() && flags[0] == '\\') {
      pattern += '\\';
      flags.erase(0, 1);
    }
    const std::vector<std::string> pattern_results = results[k];
    std::vector<std::pair<std::string, std::vector<std::string>>> subjects;
    for (++k; k < input.size() && !blank(input[k]); ++k)
      subjects.emplace_back(input[k], results[k]);
    run_pattern(pattern, trimmed(flags), pattern_results, subjects,
                static_cast<int>(start_line + 1), counts);
  }
  return counts;
}

class pcre_testdata : public testing::TestWithParam<std::string> {};

TEST_P(pcre_testdata, every_expressible_case_gives_the_files_result_on_four_ways) {
  const char* directory = std::getenv("TEXTSIFT_PCRE_TESTDATA");
  const char* required = std::getenv("TEXTSIFT_PCRE_TESTDATA_REQUIRED");
  const std::string base = directory != nullptr ? directory : "";
  const std::string input = base + "/testinput" + GetParam();
  const std::string output = base + "/testoutput" + GetParam();
  if (base.empty() || !std::ifstream(input) || !std::ifstream(output)) {
    if (required != nullptr && std::string(required) == "1") {
      FAIL() << "PCRE test data missing (TEXTSIFT_PCRE_TESTDATA=\"" << base << "\")";
    }
    GTEST_SKIP() << "PCRE test data not fetched: run scripts/fetch-pcre-testdata and set "
                    "TEXTSIFT_PCRE_TESTDATA";
  }
  const tally counts = run_file(input, output);
  std::ostringstream summary;
  summary << "testinput" << GetParam() << ": " << counts.passed << " passed, "
          << counts.failures.size() << " failed";
  int skipped = 0;
  for (const auto& [reason, count] : counts.skipped) skipped += count;
  summary << ", " << skipped << " skipped";
  for (const auto& [reason, count] : counts.skipped) summary << "\n  " << count << " " << reason;
  std::cout << summary.str() << "\n";
  EXPECT_GT(counts.passed, 300);  // the files were read, not skipped whole
  for (std::size_t n = 0; n < counts.failures.size() && n < 40; ++n) {
    ADD_FAILURE() << counts.failures[n];
  }
}

INSTANTIATE_TEST_SUITE_P(files, pcre_testdata, testing::Values("1", "4"));

}  // namespace
