// The properties of a pattern's plan, checked against the library itself: what the plan says
// must hold for the compiled pattern and for every match the plain engine finds. Shared by the
// fuzz targets and the table tests; a violated property prints what went wrong and aborts.
#pragma once

#include <pcre.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "analysis/pattern_plan.hpp"
#include "fuzz_checks.hpp"
#include "templates/engine_options.hpp"
#include "templates/pcre_binding.hpp"

namespace fuzz {

// A plan check's input: a pattern, its options (with the limits of fuzz_settings()), a text.
struct plan_input {
  std::string pattern;
  pcrecpp::RE_Options options;
  std::string text;
};

// The options of the option bits `bits`, with the limits of fuzz_settings().
inline pcrecpp::RE_Options plan_options(int bits) {
  pcrecpp::RE_Options options = templates::engine_options(std::string(), fuzz_settings());
  options.set_all_options(bits);
  return options;
}

// Reads a fuzz input: the modifiers (chosen by the first byte), the pattern up to the first NUL
// byte, and the text after it. False when there is no NUL.
inline bool read_plan_input(const std::uint8_t* data, std::size_t size, plan_input& input) {
  static const char* const modifiers[] = {"", "i", "m", "s", "x", "U", "iU", "ms", "*", "!", "$"};
  if (size == 0) return false;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t end = rest.find('\0');
  if (end == std::string::npos) return false;
  const char* const chosen = modifiers[data[0] % (sizeof modifiers / sizeof modifiers[0])];
  input.options = templates::engine_options(std::string(chosen), fuzz_settings());
  input.pattern = rest.substr(0, end);
  input.text = rest.substr(end + 1);
  return true;
}

inline std::string describe(const plan_input& input) {
  return "\"" + input.pattern + "\" with option bits " +
         std::to_string(input.options.all_options());
}

// (a) Where the reader says the library rejects a pattern, it does; where the plan is known, it
// agrees with what the library reports: its count of groups, no literals for a pattern that can
// match the empty string, the first byte of every match, the required byte of a pure set.
inline void check_plan_against_library(const plan_input& input) {
  const int bits = input.options.all_options();
  const templates::compiled_pattern compiled(input.pattern, input.options, fuzz_settings());
  const textsift::analysis::lowered_pattern lowered =
      textsift::analysis::lower_pattern(input.pattern, bits);
  if (!compiled.compiled()) return;
  if (lowered.status == textsift::analysis::reading::rejected) {
    violated("the reader says the library rejects " + describe(input) + ", which it compiles");
  }
  const textsift::analysis::pattern_plan plan =
      textsift::analysis::plan_from(lowered, compiled.report(), {true, true});
  const std::string disagreement =
      textsift::analysis::library_disagreement(plan, compiled.report());
  if (!disagreement.empty()) violated(describe(input) + ": " + disagreement);
}

// Every match of the plain engine (the interpreter, searching the whole text) of a global scan,
// as [begin, end) pairs, up to the first failure.
inline std::vector<std::pair<int, int>> plain_matches(const templates::compiled_pattern& plain,
                                                      const std::string& text) {
  std::vector<std::pair<int, int>> matches;
  std::vector<int> ovector(3 * (plain.capture_count() + 1));
  const int length = static_cast<int>(text.size());
  int start = 0;
  bool after_empty = false;
  while (start <= length) {
    const int flags = after_empty ? PCRE_ANCHORED | PCRE_NOTEMPTY : 0;
    const int status = plain.exec(text.data(), length, start, flags, ovector.data(),
                                  static_cast<int>(ovector.size()), text.size());
    if (status == PCRE_ERROR_NOMATCH && after_empty) {
      ++start;  // one byte is enough here: a search from inside a character fails
      after_empty = false;
      continue;
    }
    if (status <= 0 || ovector[0] < start || ovector[1] < ovector[0]) break;
    matches.emplace_back(ovector[0], ovector[1]);
    after_empty = ovector[0] == ovector[1];
    start = ovector[1];
  }
  return matches;
}

// Whether literal `each` occurs in `text` at `at`, within [0, end).
inline bool occurs_at(const textsift::search::literal& each, const std::string& text,
                      std::size_t at, std::size_t end) {
  if (at + each.bytes.size() > end) return false;
  for (std::size_t i = 0; i < each.bytes.size(); ++i) {
    const auto a = static_cast<unsigned char>(text[at + i]);
    const auto b = static_cast<unsigned char>(each.bytes[i]);
    const bool letter = textsift::search::ascii_letter(b);
    if (a != b && !(each.caseless && letter && (a | 0x20) == (b | 0x20))) return false;
  }
  return true;
}

// (b) Every match the plain engine finds holds a literal of the plan's set, starting within the
// plan's offset of the match's start; where line windows apply, it lies within one line, and the
// engine finds it as well when it sees no more than that line.
inline void check_plan_matches(const plan_input& input) {
  const templates::compiled_pattern planned(input.pattern, input.options, fuzz_settings());
  const templates::compiled_pattern plain(input.pattern, input.options, fuzz_settings(false));
  if (!planned.compiled()) return;
  const textsift::analysis::pattern_plan& plan = planned.plan();
  if (!plan.facts || plan.literals.empty()) return;
  const std::string& text = input.text;
  std::vector<int> ovector(3 * (plain.capture_count() + 1));
  for (const auto& [begin, end] : plain_matches(plain, text)) {
    const auto first = static_cast<std::size_t>(begin);
    const std::size_t last_start =
        plan.literal_offset >= textsift::analysis::unbounded
            ? static_cast<std::size_t>(end)
            : std::min<std::size_t>(end, first + static_cast<std::size_t>(plan.literal_offset));
    bool holds = false;
    for (std::size_t at = first; at <= last_start && !holds; ++at) {
      for (const textsift::search::literal& each : plan.literals)
        holds = holds || occurs_at(each, text, at, static_cast<std::size_t>(end));
    }
    if (!holds) {
      violated(describe(input) + ": the match at " + std::to_string(begin) + "-" +
               std::to_string(end) + " holds no literal of the plan within its offset " +
               std::to_string(plan.literal_offset));
    }
    if (!plan.line_windows) continue;
    if (text.find('\n', first) < static_cast<std::size_t>(end)) {
      violated(describe(input) + ": a match spans lines where line windows apply");
    }
    const std::size_t line_end = std::min(text.find('\n', first), text.size());
    const int status = plain.exec(text.data(), static_cast<int>(line_end), begin, PCRE_ANCHORED,
                                  ovector.data(), static_cast<int>(ovector.size()), text.size());
    if (status <= 0 || ovector[1] != end) {
      violated(describe(input) + ": the match at " + std::to_string(begin) +
               " differs when the engine sees its line alone");
    }
  }
}

// (c) Bytes before `start` minus the plan's look-back change no search from `start`: each search
// of the scan gives the same status and groups when they are replaced by others.
inline void check_plan_look_back(const plan_input& input) {
  const templates::compiled_pattern compiled(input.pattern, input.options, fuzz_settings());
  if (!compiled.compiled()) return;
  const std::size_t back = compiled.look_back_bytes();
  const std::string& text = input.text;
  if (back == SIZE_MAX || text.size() > 4096) return;
  const bool utf8 = compiled.utf8();
  if (utf8 && !textsift::search::valid_utf8(text.data(), text.size())) return;
  std::minstd_rand random(static_cast<unsigned>(text.size() * 31 + input.pattern.size()));
  std::vector<int> before(3 * (compiled.capture_count() + 1)), after(before.size());
  const auto character_start = [&](std::size_t at) {
    return at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80;
  };
  for (std::size_t start = back + 1; start <= text.size(); ++start) {
    if (utf8 && !character_start(start)) continue;  // the library checks the text from there
    std::string scrambled = text;
    for (std::size_t i = 0; i < start - back; ++i) scrambled[i] = static_cast<char>(random());
    for (const int flags : {0, PCRE_ANCHORED | PCRE_NOTEMPTY}) {
      const int exec_flags = flags | (utf8 ? PCRE_NO_UTF8_CHECK : 0);
      const int expected =
          compiled.exec(text.data(), static_cast<int>(text.size()), static_cast<int>(start),
                        exec_flags, before.data(), static_cast<int>(before.size()), text.size());
      const int got = compiled.exec(scrambled.data(), static_cast<int>(scrambled.size()),
                                    static_cast<int>(start), exec_flags, after.data(),
                                    static_cast<int>(after.size()), text.size());
      const int reported = expected > 0 ? 2 * expected : 0;
      if (got != expected ||
          !std::equal(before.begin(), before.begin() + reported, after.begin())) {
        violated(describe(input) + ": a search from " + std::to_string(start) +
                 " changes when the bytes more than " + std::to_string(back) + " before it change");
      }
    }
  }
}

// All three, on one input.
inline void check_plan(const plan_input& input) {
  check_plan_against_library(input);
  check_plan_matches(input);
  check_plan_look_back(input);
}

// All three, on one fuzz input.
inline void check_plan_bytes(const std::uint8_t* data, std::size_t size) {
  plan_input input;
  if (read_plan_input(data, size, input)) check_plan(input);
}

}  // namespace fuzz
