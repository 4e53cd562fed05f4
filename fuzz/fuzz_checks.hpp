// The properties the fuzzers check, shared with the test that replays the seed corpus and every
// input a fuzzer once failed on. A violated property prints what went wrong and aborts.
#pragma once

#include <pcre.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/lowered_pattern.hpp"
#include "io/in_place_output.hpp"
#include "program/expression_list.hpp"
#include "search/literal_search.hpp"
#include "templates/basic_pcre.hpp"
#include "templates/engine_options.hpp"
#include "templates/match_settings.hpp"

namespace fuzz {

[[noreturn]] inline void violated(const std::string& what) {
  std::fprintf(stderr, "property violated: %s\n", what.c_str());
  std::abort();
}

// The program's settings with a smaller match limit: a pattern that is costly at every start
// position then ends in milliseconds, not seconds, and fuzzing stays fast. Not `fast`: every
// search on the interpreter, none skipping text.
inline templates::match_settings fuzz_settings(
    bool fast = true, textsift::search::vector_width width = textsift::search::widest_width()) {
  templates::match_settings settings;
  settings.width = width;
  settings.jit = fast;
  settings.accelerate = fast;
  settings.match_limit = 100000;
  return settings;
}

// The vector width an input runs at: each one this CPU runs, chosen by the input's size, so that
// a fuzzer reaches every width with inputs of every kind.
inline textsift::search::vector_width fuzz_width(std::size_t size) {
  static const std::vector<textsift::search::vector_width> widths = textsift::search::widths_here();
  return widths[size % widths.size()];
}

// Whether `failure` is one of the limits, which the JIT and the interpreter count differently.
inline bool limit_failure(const std::string& failure) {
  return failure.find("limit exceeded") != std::string::npos;
}

// What applying `record` to `text` gives when, as the last expression of a run, it builds its
// result over its own copy of the text, written to `fd` (a file in memory): its failure, or the
// result.
struct in_place_outcome {
  std::string failure;
  std::string result;
};

inline in_place_outcome built_in_place(const textsift::expression& record, const std::string& text,
                                       int fd) {
  std::string own = text;
  textsift::in_place_output out(own.data(), own.size(), record.matcher().look_back_bytes());
  const templates::application_result outcome = record.apply(std::string_view(own), out);
  if (!outcome.failure.empty()) return {outcome.failure, ""};
  if (!outcome.replaced) return {"", text};
  if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) violated("no file in memory");
  out.write_to(fd);
  std::string result(static_cast<std::size_t>(lseek(fd, 0, SEEK_CUR)), '\0');
  if (pread(fd, result.data(), result.size(), 0) != static_cast<ssize_t>(result.size())) {
    violated("short read of the file in memory");
  }
  return {"", result};
}

// The text an in-place application leaves: its outputs joined, or `original` where it replaced
// nothing.
inline std::string result_of(const templates::in_place_application& applied,
                             std::string_view original) {
  if (!applied.replaced) return std::string(original);
  std::vector<iovec> parts;
  for (const textsift::in_place_output& out : applied.outputs) out.parts(parts);
  std::string result;
  for (const iovec& part : parts)
    result.append(static_cast<const char*>(part.iov_base), part.iov_len);
  return result;
}

// What `record` gives for `text` built over its own copy as apply_and_write builds it: in pieces
// where its settings and plan cut the text. The failure, or the result.
inline in_place_outcome applied_in_place(const textsift::expression& record,
                                         const std::string& text) {
  std::string own = text;
  const templates::in_place_application applied =
      record.apply_in_place(own.data(), own.size(), SIZE_MAX);
  if (!applied.failure.empty()) return {applied.failure, ""};
  return {"", result_of(applied, text)};
}

// A file in memory for built_in_place, opened once.
inline int memory_file() {
  static const int fd = memfd_create("in_place", 0);
  if (fd < 0) violated("memfd_create failed");
  return fd;
}

// Whether every match attempt of `record` reads a bounded stretch of text, so that its searches
// take time in proportion to the text: only such records are tried on large texts.
inline bool bounded_attempts(const textsift::expression& record) {
  const int options = templates::engine_options(record.modifiers()).all_options();
  const textsift::analysis::lowered_pattern lowered =
      textsift::analysis::lower_pattern(record.pattern(), options);
  return lowered.known() && lowered.props.max_bytes < textsift::analysis::unbounded;
}

// The last expression built over its text against the same held, at each size class that
// `classes` picks (bit 0: as it is; bit 1: repeated beyond the queue's first block of 64 KiB;
// bit 2: repeated beyond 1 MiB, where its UTF-8 check splits; both only for bounded attempts):
// the same failure and result.
inline void check_in_place(const textsift::expression& record, const std::string& argument,
                           const std::string& text, unsigned classes) {
  const std::size_t sizes[] = {0, std::size_t{64} << 10, std::size_t{1} << 20};
  if (text.empty() || !bounded_attempts(record)) classes &= 1;
  for (int size_class = 0; size_class < 3; ++size_class) {
    if ((classes >> size_class & 1) == 0) continue;
    std::string sized = text;
    while (size_class > 0 && sized.size() <= sizes[size_class]) sized += text;
    std::string held = sized;
    const std::string held_failure = record.apply(held);
    const in_place_outcome in_place = built_in_place(record, sized, memory_file());
    if (limit_failure(held_failure) || limit_failure(in_place.failure)) continue;
    if (in_place.failure != held_failure || (held_failure.empty() && in_place.result != held)) {
      violated("\"" + argument + "\" built over its text of " + std::to_string(sized.size()) +
               " bytes differs from the held result: \"" + in_place.failure + "\" and \"" +
               held_failure + "\"");
    }
  }
}

// One argument's bytes (cut at the first NUL, as a command line would) through parse and
// compile: the record is either usable, with a non-empty pattern, and applies alike from a copy,
// or rejected with a non-empty one-line message.
inline void check_parse_compile(const std::uint8_t* data, std::size_t size) {
  std::string argument(reinterpret_cast<const char*>(data), size);
  argument.resize(argument.find('\0') == std::string::npos ? size : argument.find('\0'));
  const textsift::expression record = textsift::make_expression(argument, fuzz_settings());
  if (!record.error().empty()) {
    if (record.error().find('\n') != std::string::npos) violated("message spans lines");
    return;
  }
  if (record.pattern().empty()) violated("usable record with an empty pattern");
  const textsift::expression copy = record;
  std::string text = "sample \xc3\xa9 text 123\n[x]", text_of_copy = text;
  const std::string failure = record.apply(text);
  if (failure != copy.apply(text_of_copy) || text != text_of_copy) violated("copy differs");
}

// The engine's verdict for a failed search, as the user must see it.
inline std::string reference_failure(int status) {
  switch (status) {
    case PCRE_ERROR_MATCHLIMIT:
      return "Match limit exceeded (pattern too complex for this text)";
    case PCRE_ERROR_RECURSIONLIMIT:
      return "Recursion limit exceeded (pattern too complex for this text)";
    case PCRE_ERROR_BADUTF8:
      return "Text is not valid UTF-8 (use the modifier U to match bytes)";
    default:
      return "Matching failed (PCRE error " + std::to_string(status) + ")";
  }
}

// A plain global replacement on the interpreter: every search through pcre_exec with the
// library's own UTF-8 check, the limits of fuzz_settings() attached, an anchored non-empty retry
// after an empty match and a step over one character (a CR LF pair where that is one newline) when
// the retry fails. Returns the failure message, or an empty string with `text` replaced.
inline std::string reference_replace_all(const textsift::expression& record, std::string& text) {
  const pcrecpp::RE_Options limits = templates::engine_options(record.modifiers(), fuzz_settings());
  const int options = limits.all_options();
  const char* message = nullptr;
  int offset = 0;
  pcre* code = pcre_compile(record.pattern().c_str(), options, &message, &offset, nullptr);
  if (code == nullptr) violated("reference compile failed: " + std::string(message));
  pcre_extra* study = pcre_study(code, 0, &message);
  pcre_extra extra{};
  extra.flags = PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
  extra.match_limit = limits.match_limit();
  extra.match_limit_recursion = limits.match_limit_recursion();
  if (study != nullptr) {
    extra.flags |= PCRE_EXTRA_STUDY_DATA;
    extra.study_data = study->study_data;
  }
  int groups = 0;
  unsigned long compiled_options = 0;
  pcre_fullinfo(code, nullptr, PCRE_INFO_CAPTURECOUNT, &groups);
  pcre_fullinfo(code, nullptr, PCRE_INFO_OPTIONS, &compiled_options);
  const unsigned long newline = compiled_options & 0x700000UL;
  const bool crlf = newline == PCRE_NEWLINE_CRLF || newline == PCRE_NEWLINE_ANY ||
                    newline == PCRE_NEWLINE_ANYCRLF;
  const bool utf8 = (compiled_options & PCRE_UTF8) != 0;
  std::vector<int> ovector(3 * (groups + 1));
  const std::string& rewrite = record.replacement();
  const int length = static_cast<int>(text.size());

  std::string out, failure;
  int start = 0, count = 0;
  bool after_empty = false;
  while (start <= length) {
    const int status = pcre_exec(code, &extra, text.data(), length, start,
                                 after_empty ? PCRE_ANCHORED | PCRE_NOTEMPTY : 0, ovector.data(),
                                 static_cast<int>(ovector.size()));
    if (status == PCRE_ERROR_NOMATCH && after_empty) {
      int next = start + 1;
      if (crlf && next < length && text[start] == '\r' && text[next] == '\n') {
        ++next;
      } else if (utf8) {
        while (next < length && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) ++next;
      }
      if (start < length) out.append(text, start, next - start);
      start = next;
      after_empty = false;
      continue;
    }
    if (status == PCRE_ERROR_NOMATCH) break;
    if (status < 0) {
      failure = reference_failure(status);
      break;
    }
    if (ovector[0] < start || ovector[1] < ovector[0]) {
      failure = "Match start out of range (\\K inside an assertion)";
      break;
    }
    for (int group = 1; group < status; ++group) {
      const int begin = ovector[2 * group], end = ovector[2 * group + 1];
      if ((begin >= 0 || end >= 0) && (begin < 0 || end < begin || end > length)) {
        failure = "Matching failed (a group reported out of range)";
      }
    }
    if (!failure.empty()) break;
    out.append(text, start, ovector[0] - start);
    for (std::size_t i = 0; i < rewrite.size(); ++i) {
      if (rewrite[i] != '\\') {
        out += rewrite[i];
      } else if (rewrite[++i] == '\\') {
        out += '\\';
      } else if (const int group = rewrite[i] - '0'; group < status && ovector[2 * group] >= 0) {
        out.append(text, ovector[2 * group], ovector[2 * group + 1] - ovector[2 * group]);
      }
    }
    start = ovector[1];
    after_empty = ovector[0] == ovector[1];
    ++count;
  }
  pcre_free_study(study);
  pcre_free(code);
  if (failure.empty() && count > 0) {
    if (start < length) out.append(text, start, std::string::npos);
    text = out;
  }
  return failure;
}

// A run's input: the first byte chooses how many arguments (1 to 3) follow, each ended by a NUL
// byte; the rest is the text. False when the arguments are not all there.
inline bool read_run_input(const std::uint8_t* data, std::size_t size,
                           std::vector<std::string>& arguments, std::string& text) {
  if (size == 0) return false;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::size_t position = 0;
  for (int n = 1 + data[0] % 3; n > 0; --n) {
    const std::size_t end = input.find('\0', position);
    if (end == std::string::npos) return false;
    arguments.push_back(input.substr(position, end - position));
    position = end + 1;
  }
  text = input.substr(position);
  return true;
}

// A whole run in process (input as read_run_input reads it). Every record is parsed and
// compiled, and the usable ones are applied in order, on the JIT where the pattern allows it and
// skipping text where its facts allow it. Each application must agree with the same record run
// plainly on the interpreter, and each global replacement with the reference loop, unless a limit
// acts (the engines count differently, and skipped attempts reach no limit).
inline void check_run(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments;
  std::string text;
  if (!read_run_input(data, size, arguments, text)) return;
  const textsift::search::vector_width width = fuzz_width(size);
  std::vector<textsift::expression> list;
  for (const std::string& argument : arguments) {
    list.push_back(textsift::make_expression(argument, fuzz_settings(true, width)));
    if (!list.back().error().empty()) return;  // the run ends here
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    const textsift::expression& record = list[i];
    // The last expression's result is built over its text: bits 4 to 6 of the first byte pick
    // the size classes to compare that at, the text as it is at least once in eight.
    if (i + 1 == list.size()) check_in_place(record, arguments[i], text, (data[0] >> 4) | 1u);
    std::string plain_text = text, expected = text;
    const auto plain = textsift::make_expression(arguments[i], fuzz_settings(false, width));
    const std::string plain_failure = plain.apply(plain_text);
    const bool compare = record.search_kind() && record.global();
    const std::string expected_failure = compare ? reference_replace_all(record, expected) : "";
    const std::string failure = record.apply(text);
    if (limit_failure(failure) || limit_failure(plain_failure) || limit_failure(expected_failure)) {
      return;
    }
    if (failure != plain_failure || text != plain_text) {
      violated("\"" + arguments[i] + "\" differs from the plain interpreter run: \"" + failure +
               "\" and \"" + plain_failure + "\"");
    }
    if (compare && failure != expected_failure) {
      violated("failure \"" + failure + "\" where the reference gives \"" + expected_failure +
               "\"");
    }
    if (!failure.empty()) return;
    if (compare && text != expected) violated("global replacement differs from the reference");
  }
}

// Pieces against none: the same run (input as read_run_input reads it) with each record's text
// built over in place and cut into pieces of 1 to 16 bytes (chosen by the first byte), searched
// at once wherever the plan allows, and held whole. Output and failures must agree, unless a
// limit acts (a piece's attempts may get more steps than a whole search's).
inline void check_pieces(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments;
  std::string text;
  if (!read_run_input(data, size, arguments, text)) return;
  templates::match_settings cut = fuzz_settings(true, fuzz_width(size));
  cut.piece_bytes = 1 + (data[0] >> 4);
  for (const std::string& argument : arguments) {
    const auto whole = textsift::make_expression(argument, fuzz_settings(true, fuzz_width(size)));
    const auto in_pieces = textsift::make_expression(argument, cut);
    if (!whole.error().empty()) return;
    std::string held = text;
    const std::string held_failure = whole.apply(held);
    const in_place_outcome pieces = applied_in_place(in_pieces, text);
    if (limit_failure(held_failure) || limit_failure(pieces.failure)) return;
    if (pieces.failure != held_failure || (held_failure.empty() && pieces.result != held)) {
      violated("\"" + argument + "\" in pieces of " + std::to_string(cut.piece_bytes) +
               " bytes differs from the whole: \"" + pieces.failure + "\" and \"" + held_failure +
               "\"");
    }
    if (!held_failure.empty()) return;
    text = held;
  }
}

// Fast paths against none: the same run (input as read_run_input reads it) with searches that
// skip text where the pattern's facts allow it and with searches that skip nothing, on the same
// engine. Output and failures must agree, unless a limit acts (skipped attempts reach no limit).
inline void check_fast_paths(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments;
  std::string fast_text;
  if (!read_run_input(data, size, arguments, fast_text)) return;
  const textsift::search::vector_width width = fuzz_width(size);
  templates::match_settings plain_settings = fuzz_settings(true, width);
  plain_settings.accelerate = false;
  std::string plain_text = fast_text;
  for (const std::string& argument : arguments) {
    const auto fast = textsift::make_expression(argument, fuzz_settings(true, width));
    const auto plain = textsift::make_expression(argument, plain_settings);
    if (fast.error() != plain.error()) violated("\"" + argument + "\" compiles differently");
    if (!fast.error().empty()) return;
    const std::string fast_failure = fast.apply(fast_text);
    const std::string plain_failure = plain.apply(plain_text);
    if (limit_failure(fast_failure) || limit_failure(plain_failure)) return;
    if (fast_failure != plain_failure || fast_text != plain_text) {
      violated("\"" + argument + "\" with fast paths differs from the run without: \"" +
               fast_failure + "\" and \"" + plain_failure + "\"");
    }
    if (!fast_failure.empty()) return;
  }
}

// A set of literals, taken from the input, as an alternation in one of a few settings, on a
// text made of those literals (some in another case) and bytes between them: the run with fast
// paths must give what the run without gives, and the set search what a plain scan finds.
// Input: a shape byte, then the literals and last the text, each part ended by a 0xff byte.
inline void check_literal_sets(const std::uint8_t* data, std::size_t size) {
  static const char* const settings[][2] = {
      {"", ""},        {"(", ")"},          {"(?:", ")"},        {"\\b(?:", ")\\b"},
      {"(?i:", ")"},   {"\\w+(?:", ")"},    {"(?:", ")\\d"},     {"(?:", ")?x"},
      {"(?=", ")\\w"}, {"[\\w.]+(?:", ")"}, {"^(?:", ")"},       {"(?:", ")$"},
      {"(?:", ")+"},   {"(?<=a)(?:", ")"},  {"(?:", ")[^\\n]*"}, {"(?:", ")(?!b)"}};
  static const char* const modifiers[] = {"", "i", "U", "m", "Ui", "s"};
  if (size < 2) return;
  const unsigned shape = data[0];
  std::vector<std::string> parts(1);
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0xff) {
      parts.emplace_back();
    } else {
      parts.back() += static_cast<char>(data[i]);
    }
  }
  const std::string seed = parts.back();
  parts.pop_back();
  std::vector<textsift::search::literal> literals;
  std::string pattern;
  for (const std::string& part : parts) {
    if (part.empty() || literals.size() == 70) continue;
    literals.push_back({part, false});
    pattern += pattern.empty() ? "" : "|";
    for (const char c : part) {  // every byte but a letter or digit as a hexadecimal escape
      char escape[8];
      const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      std::snprintf(escape, sizeof escape, plain ? "%c" : "\\x%02x", static_cast<unsigned char>(c));
      pattern += escape;
    }
  }
  if (literals.empty()) return;
  // A byte of the seed below 0x20 stands for a literal, the others for themselves.
  std::string text;
  for (const char c : seed) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20) {
      text += c;
      continue;
    }
    std::string each = literals[byte % literals.size()].bytes;
    if (byte & 0x10) {
      for (char& letter : each)
        letter = static_cast<char>(letter ^
                                   ((letter | 0x20) >= 'a' && (letter | 0x20) <= 'z' ? 0x20 : 0));
    }
    text += each;
  }
  // The set search at every width against a plain scan, for the literals as bytes.
  if (literals.size() <= 64) {
    const std::size_t from = shape % (text.size() + 1);
    std::size_t position = std::string::npos, index = 0;
    for (std::size_t at = from; at < text.size() && position == std::string::npos; ++at) {
      for (std::size_t which = 0; which < literals.size(); ++which) {
        if (text.compare(at, literals[which].bytes.size(), literals[which].bytes) == 0) {
          position = at;
          index = which;
          break;
        }
      }
    }
    for (const textsift::search::vector_width width : textsift::search::widths_here()) {
      const textsift::search::literal_set_finder finder(literals, width);
      const auto found = finder.find(text.data(), text.size(), from);
      if (found.position != position || (position != std::string::npos && found.index != index)) {
        violated(std::string("the set search at ") + textsift::search::width_name(width) +
                 " finds " + std::to_string(found.position) + " (literal " +
                 std::to_string(found.index) + "), a plain scan " + std::to_string(position));
      }
    }
  }
  const char* const* setting = settings[shape % 16];
  pattern = setting[0] + pattern + setting[1];
  const std::string modifier = modifiers[(shape / 16) % 6];
  const bool search_kind = (shape / 96) % 3 != 0;
  const std::string record_modifiers = modifier + ((shape / 96) % 3 == 1 ? "1" : "");
  templates::match_settings plain_settings = fuzz_settings(true, fuzz_width(size));
  plain_settings.accelerate = false;
  templates::basic_pcre<std::string> fast, plain;
  fast.compile(search_kind, pattern, "<\\0>", record_modifiers,
               fuzz_settings(true, fuzz_width(size)));
  plain.compile(search_kind, pattern, "<\\0>", record_modifiers, plain_settings);
  if (fast.error() != plain.error()) violated("\"" + pattern + "\" compiles differently");
  if (!fast.error().empty()) return;
  std::string fast_text = text, plain_text = text;
  const std::string fast_failure = fast.apply(fast_text);
  const std::string plain_failure = plain.apply(plain_text);
  if (limit_failure(fast_failure) || limit_failure(plain_failure)) return;
  if (fast_failure != plain_failure || fast_text != plain_text) {
    violated("\"" + pattern + "\" /" + record_modifiers +
             " with fast paths differs from the run without");
  }
}

}  // namespace fuzz
