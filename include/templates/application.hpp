// The three ways an expression acts on the text: extract the first match, replace the first
// match, replace every match. Each reports an engine failure instead of treating it as no match.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/in_place_output.hpp"
#include "io/large_buffer.hpp"
#include "search/literal_search.hpp"
#include "search/utf8_check.hpp"
#include "templates/pcre_binding.hpp"
#include "templates/rewrite.hpp"

namespace templates {

using textsift::reserve_large;

// Statuses of one search besides the library's own codes: the match lies outside the searched
// range, which \K inside an assertion can cause; or a group's reported span is not a part of the
// text, which \C in UTF-8 mode before a lookbehind can cause.
constexpr int match_out_of_range = -1000;
constexpr int group_out_of_range = -1001;

// The message for a failed search status (anything below PCRE_ERROR_NOMATCH).
inline std::string search_failure_message(int status) {
  switch (status) {
    case PCRE_ERROR_MATCHLIMIT:
      return messages::fill(messages::match_limit);
    case PCRE_ERROR_RECURSIONLIMIT:
    case PCRE_ERROR_JIT_STACKLIMIT:
      return messages::fill(messages::recursion_limit);
    case PCRE_ERROR_BADUTF8:
      return messages::fill(messages::invalid_utf8);
    case match_out_of_range:
      return messages::fill(messages::match_out_of_range);
    case group_out_of_range:
      return messages::fill(messages::group_out_of_range);
    default:
      return messages::fill(messages::engine_error, std::to_string(status));
  }
}

// Successive searches of one pattern over one text. In UTF-8 mode the text is validated once,
// on the first search, and the library's own check is skipped from then on: repeating it for
// every match would make a global replacement quadratic. The check of a large text runs partly
// on a second thread, beside the first literal search, which is safe on any bytes; the engine
// never sees the text before the check has passed. A search from inside a character (after \C)
// ends as the library's check would end it, without the library.
class searcher {
 public:
  // Requires pattern.compiled() and text.size() <= max_text_size; both must outlive the searcher.
  // `known` is what the caller already knows of the text's UTF-8 validity, which is then taken
  // as it is: it must be true. Each match attempt's limit grows with the bytes from the search's
  // start to the end of the text, or with `limit_bytes` when not 0 (the searches of a piece take
  // the limit of a search over the whole text, which may be longer than theirs).
  searcher(const compiled_pattern& pattern, std::string_view text,
           textsift::search::utf8_known known = textsift::search::utf8_known::unknown,
           std::size_t limit_bytes = 0)
      : pattern_(pattern),
        text_(text),
        limit_bytes_(limit_bytes),
        ovector_(3 * (pattern.capture_count() + 1)),
        utf8_(pattern.utf8()),
        plan_(pattern.plan().search_literals ? &pattern.plan() : nullptr),
        by_line_(plan_ != nullptr && plan_->line_windows),
        known_(known) {}

  // Searches from `start` with the exec option bits `flags`. Returns the number of reported
  // groups plus one on a match (then begin() and end() give its span), PCRE_ERROR_NOMATCH when
  // there is none, or a failure status for search_failure_message.
  int search(std::size_t start, int flags) {
    if (utf8_ && known_ == textsift::search::utf8_known::unknown && !check_) {
      check_.emplace(text_, textsift::search::utf8_check::split_bytes, pattern_.width());
    }
    if (starts_before_ != SIZE_MAX) return search_before_bound(start, flags);
    std::size_t begin = start;
    if (flags == 0 && plan_ != nullptr && !dense_) {
      const textsift::search::literal_set_finder::occurrence found =
          pattern_.literals().find(text_.data(), text_.size(), start);
      if (!text_valid()) return PCRE_ERROR_BADUTF8;
      if (found.position == textsift::search::literal_set_finder::npos) return PCRE_ERROR_NOMATCH;
      if (plan_->pure_literal) return report_literal(found);
      if (by_line_) return search_by_line(start, found);
      begin = first_possible_start(start, found.position);
    }
    if (!text_valid()) return PCRE_ERROR_BADUTF8;
    return run_engine(start, begin, flags, text_.size());
  }

  // From now on only matches that start before `position`, just after a line feed, are wanted:
  // a search from before it reports no match where none starts before it, though one after it
  // may follow, and reads the text past it only as far as an attempt that starts before it does
  // (and a line more). Requires literals that every match holds at a bounded offset, and a
  // finder for them (as the rule "pieces" on a guess has).
  void want_starts_before(std::size_t position) {
    const textsift::analysis::pattern_plan& plan = pattern_.plan();
    std::size_t longest = 0;
    for (const textsift::search::literal& each : plan.literals) {
      longest = std::max(longest, each.bytes.size());
    }
    starts_before_ = position;
    literal_before_ = position + static_cast<std::size_t>(plan.literal_offset);
    literal_reach_ = std::min(text_.size(), literal_before_ + longest);
    seen_end_ = line_end_past(least_bytes_seen_past);
  }

  std::size_t begin() const { return static_cast<std::size_t>(ovector_[0]); }
  std::size_t end() const { return static_cast<std::size_t>(ovector_[1]); }
  const int* ovector() const { return ovector_.data(); }

  // Where a search goes on after an empty match at `position` that cannot be extended: past one
  // character, which is one byte, a whole UTF-8 sequence in UTF-8 mode, or CR LF when that pair
  // is one newline.
  std::size_t step_over(std::size_t position) const {
    std::size_t next = position + 1;
    if (next < text_.size() && text_[position] == '\r' && text_[next] == '\n' &&
        pattern_.crlf_is_newline()) {
      return next + 1;
    }
    if (utf8_) {
      while (next < text_.size() && !at_character_start(next)) ++next;
    }
    return next;
  }

 private:
  // After every so many candidates that held no match, a search weighs whether looking for the
  // literals still pays: it stops for good when they lie closer than `dense_candidate_bytes`
  // apart on average. Asking the engine about one line costs about what its own scan of 64 to
  // 80 bytes costs (measured with a literal on every line of 12, 71 and 80 bytes).
  static constexpr std::size_t candidates_before_judging = 64;
  static constexpr std::size_t dense_candidate_bytes = 64;

  // The least bytes past starts_before_ that a search before it sees, and the first stretch it
  // sees more where an attempt needs it. The library tells where an attempt needed a character
  // past the end it was given, or tested that end (\z, \b, $ and the like): such an attempt is
  // made again on a text that ends further on, twice as far each time. Only an attempt that tests
  // the end before reading any character goes unreported, which $ and \Z do within a newline's
  // two bytes of it: no wanted attempt starts there.
  static constexpr std::size_t least_bytes_seen_past = 2;
  static constexpr std::size_t first_bytes_seen_more = 4096;

  // A search from `start` for a match that starts before starts_before_, as the search over the
  // whole text would find it: one that starts there or later may be reported as no match. An
  // attempt that may start before it holds an occurrence of a literal that starts before
  // literal_before_, and so ends by literal_reach_; the engine sees the text up to seen_end_.
  int search_before_bound(std::size_t start, int flags) {
    std::size_t begin = start;
    if (flags == 0) {
      const std::size_t found =
          pattern_.literals().find(text_.data(), literal_reach_, start).position;
      if (!text_valid()) return PCRE_ERROR_BADUTF8;
      if (found == textsift::search::literal_set_finder::npos || found >= literal_before_) {
        return PCRE_ERROR_NOMATCH;
      }
      begin = first_possible_start(start, found);
      if (begin >= starts_before_) return PCRE_ERROR_NOMATCH;
    }
    if (!text_valid()) return PCRE_ERROR_BADUTF8;
    std::size_t seen = seen_end_;
    for (std::size_t more = first_bytes_seen_more;; more *= 2) {
      const bool whole = seen == text_.size();
      const int status = run_engine(start, begin, flags | (whole ? 0 : PCRE_PARTIAL_HARD), seen);
      // A failure may come from an attempt past the wanted starts, on a text cut short there:
      // the search over the whole text decides.
      if (status < PCRE_ERROR_NOMATCH && status != PCRE_ERROR_PARTIAL && !whole) {
        return run_engine(start, begin, flags, text_.size());
      }
      if (status != PCRE_ERROR_PARTIAL) return status;
      // Every attempt before the one that needed more failed without reading past the end.
      const auto needed_more = static_cast<std::size_t>(ovector_[2]);
      if (needed_more >= starts_before_) return PCRE_ERROR_NOMATCH;
      begin = needed_more;
      seen = line_end_past(more);
    }
  }

  // The end of the first line that ends `bytes` or more past starts_before_ (just past its line
  // feed), or the text's end.
  std::size_t line_end_past(std::size_t bytes) const {
    const std::size_t from = starts_before_ + bytes - 1;
    if (from >= text_.size()) return text_.size();
    const void* line_feed = std::memchr(text_.data() + from, '\n', text_.size() - from);
    return line_feed ? static_cast<const char*>(line_feed) - text_.data() + 1 : text_.size();
  }

  // Whether the text may be searched: not in UTF-8 mode, or found valid UTF-8.
  bool text_valid() {
    if (!utf8_) return true;
    return known_ == textsift::search::utf8_known::unknown
               ? check_->valid()
               : known_ == textsift::search::utf8_known::valid;
  }

  // The search from `start` where a candidate's line holds every match that starts on it, and
  // `found` is the first candidate: the engine is asked about one line at a time.
  int search_by_line(std::size_t start, textsift::search::literal_set_finder::occurrence found) {
    if (origin_ == std::string_view::npos) origin_ = start;
    for (std::size_t from = start;;) {
      const std::size_t line_end = end_of_line(found.position);
      const int status = run_engine(start, first_possible_start(from, found.position), 0, line_end);
      if (status != PCRE_ERROR_NOMATCH || line_end == text_.size()) return status;
      from = line_end + 1;
      note_false_candidate(from);
      if (dense_) return run_engine(start, from, 0, text_.size());
      found = pattern_.literals().find(text_.data(), text_.size(), from);
      if (found.position == textsift::search::literal_set_finder::npos) return PCRE_ERROR_NOMATCH;
    }
  }

  // The engine from `begin` over text[0, length), as a search from `start` would run: its match
  // limit is that of the bytes from `start` to the end of the text.
  [[gnu::always_inline]] int run_engine(std::size_t start, std::size_t begin, int flags,
                                        std::size_t length) {
    if (utf8_) {
      // The text is valid UTF-8, checked before the first search, so a search from inside a
      // character can only end as the library's own check ends it. That check reads the whole
      // text, whose start a result built over it may have overwritten: it is not asked.
      if (!at_character_start(begin)) return PCRE_ERROR_BADUTF8_OFFSET;
      flags |= PCRE_NO_UTF8_CHECK;
    }
    const int status = pattern_.exec(
        text_.data(), static_cast<int>(length), static_cast<int>(begin), flags, ovector_.data(),
        static_cast<int>(ovector_.size()), limit_bytes_ != 0 ? limit_bytes_ : text_.size() - start);
    if (status <= 0) return status;
    if (this->begin() < begin || end() < this->begin()) return match_out_of_range;
    return spans_in_text(status) ? status : group_out_of_range;
  }

  // The match of a pure literal set: the occurrence itself, and group 1 the same when a group
  // holds the whole pattern.
  int report_literal(const textsift::search::literal_set_finder::occurrence& found) {
    const std::size_t length = pattern_.literals().length(found.index);
    ovector_[0] = static_cast<int>(found.position);
    ovector_[1] = static_cast<int>(found.position + length);
    if (!plan_->whole_match_group) return 1;
    ovector_[2] = ovector_[0];
    ovector_[3] = ovector_[1];
    return 2;
  }

  // Where the line of `position` ends: its line feed, or the end of the text. Searches move
  // forward, so the last answer is kept: a text of one long line is scanned for its end once,
  // not once per match.
  std::size_t end_of_line(std::size_t position) {
    if (position >= line_scanned_from_ && position <= line_end_) return line_end_;
    const void* line_feed = std::memchr(text_.data() + position, '\n', text_.size() - position);
    line_scanned_from_ = position;
    line_end_ = line_feed ? static_cast<const char*>(line_feed) - text_.data() : text_.size();
    return line_end_;
  }

  // Counts a candidate whose line held no match; the search goes on at `resumed`.
  void note_false_candidate(std::size_t resumed) {
    if (++false_candidates_ % candidates_before_judging != 0) return;
    dense_ = resumed - origin_ < false_candidates_ * dense_candidate_bytes;
  }

  // Where an unanchored search from `start` may begin without changing its result, given that
  // the pattern's literal first occurs at or after `start` at `found`. Every match contains the
  // literal, so a match that begins at s >= start holds an occurrence at or after s, which
  // cannot lie before `found`. Hence:
  // - when at most k bytes of a match come before its literal, s >= found - k;
  // - when no match can contain a line feed, the match and its literal lie on one line, so s is
  //   not before the start of the line of `found` (the first line feed before `found`, plus one).
  // Every attempt in between would fail; skipping them changes nothing, except that an attempt
  // there cannot reach a limit. The text stays whole, so lookbehind, \b and ^ see what they saw.
  // Patterns where this reasoning fails (\G, \K, verbs, recursion, ...) have no literals. In UTF-8
  // mode the result is a character start (moving back only adds attempts that fail).
  std::size_t first_possible_start(std::size_t start, std::size_t found) const {
    const textsift::analysis::pattern_plan& plan = pattern_.plan();
    std::size_t from = start;
    if (plan.literal_offset < textsift::analysis::unbounded &&
        found - start > static_cast<std::size_t>(plan.literal_offset)) {
      from = found - static_cast<std::size_t>(plan.literal_offset);
    }
    if (!plan.line_feed && found > from) {
      const void* line_feed = memrchr(text_.data() + from, '\n', found - from);
      if (line_feed != nullptr) from = static_cast<const char*>(line_feed) - text_.data() + 1;
    }
    while (utf8_ && from > start && !at_character_start(from)) --from;
    return from;
  }

  // Whether each of the `reported` groups took no part in the match or spans a part of the text.
  bool spans_in_text(int reported) const {
    const auto length = static_cast<int>(text_.size());
    for (int group = 0; group < reported; ++group) {
      const int group_begin = ovector_[2 * group], group_end = ovector_[2 * group + 1];
      if (group_begin < 0 && group_end < 0) continue;
      if (group_begin < 0 || group_end < group_begin || group_end > length) return false;
    }
    return true;
  }

  bool at_character_start(std::size_t position) const {
    return position >= text_.size() || !textsift::search::continuation_byte(text_[position]);
  }

  const compiled_pattern& pattern_;
  std::string_view text_;
  std::size_t limit_bytes_;
  std::vector<int> ovector_;
  bool utf8_;
  const textsift::analysis::pattern_plan* plan_;  // null: no literals to look for
  bool by_line_;
  textsift::search::utf8_known known_;
  std::optional<textsift::search::utf8_check>
      check_;  // started on the first search in UTF-8 mode, when not known
  std::size_t line_scanned_from_ = 1, line_end_ = 0;  // no line feed in between: none known yet
  std::size_t false_candidates_ = 0;
  std::size_t origin_ = std::string_view::npos;  // where the first search with the literals began
  bool dense_ = false;  // candidates proved too dense to be worth looking for
  // Only matches that start before starts_before_ are wanted (SIZE_MAX: all are), and those hold
  // a literal that starts before literal_before_ and ends by literal_reach_; the engine sees the
  // text up to seen_end_ (a line's end, at least least_bytes_seen_past beyond starts_before_) but
  // where an attempt needs more.
  std::size_t starts_before_ = SIZE_MAX, literal_before_ = SIZE_MAX, literal_reach_ = SIZE_MAX;
  std::size_t seen_end_ = SIZE_MAX;
};

// Failure message for a text too long for the engine, or empty.
inline std::string text_size_failure(std::size_t size, std::size_t max_size) {
  if (size <= max_size) return std::string();
  return messages::fill(messages::text_too_large, std::to_string(max_size));
}

// What applying an expression did: `failure` is empty on success, and `replaced` tells whether
// the result string holds the new text (otherwise the text stays as it was).
struct application_result {
  std::string failure;
  bool replaced = false;
};

// The same for a result built over its text: the new text is that of `outputs`, in order.
struct in_place_application {
  std::string failure;
  bool replaced = false;
  std::vector<textsift::in_place_output> outputs;
};

// Tells `out` that the next search starts at `start`: a result built over its own text may then
// overwrite what that search and the ones after it cannot read. Other outputs ignore it.
template <class Output>
void will_search_from(Output&, std::size_t) {}

// Appends the rest of `text` from `position` to `out`, as the last part of the result.
template <class Output>
void append_rest(Output& out, std::string_view text, std::size_t position) {
  if (position < text.size()) out.append(text.data() + position, text.size() - position);
}

// The operations below read `text` and, when the text changes, write the new text to `out`; on
// failure `out` holds nothing useful. `out` must not overlap `text`, unless it writes only where
// will_search_from allows. `Output` is a string, or a stream with the same few operations (clear,
// append, push_back, and reserve_large, will_search_from and append_rest found by
// argument-dependent lookup). `known` is what is already known of the text's UTF-8 validity, as
// for the searcher. The text may be longer than the engine takes only where a searcher sees a
// window of it (pieces.hpp).

// The first match that `search` finds from `from`, where it starts before `to` or the part
// [from, to) ends the text: its status (as searcher::search returns it).
inline int first_match_in(searcher& search, std::size_t from, std::size_t to, bool at_text_end) {
  const int status = search.search(from, 0);
  if (status > 0 && search.begin() >= to && !at_text_end) return PCRE_ERROR_NOMATCH;
  return status;
}

// The text with the rewrite of a match: `rewrite` applied to the match (extract), or the match
// replaced by it in the text (replace first). The match was found in `subject`, which begins
// `base` bytes into `text`; `ovector` holds `status` groups.
template <class String, class Output>
void extract_match(const String& rewrite, const char* subject, const int* ovector, int status,
                   Output& out) {
  out.clear();
  append_rewrite(out, rewrite, subject, ovector, status);
}

template <class String, class Output>
void replace_match(const String& rewrite, std::string_view text, std::size_t base,
                   const int* ovector, int status, Output& out) {
  out.clear();
  reserve_large(out, text.size() + rewrite.size());
  out.append(text.data(), base + static_cast<std::size_t>(ovector[0]));
  append_rewrite(out, rewrite, text.data() + base, ovector, status);
  append_rest(out, text, base + static_cast<std::size_t>(ovector[1]));
}

// The new text is `rewrite` applied to the first match, or the empty string when nothing matches.
template <class String, class Output>
application_result extract(
    const compiled_pattern& pattern, const String& rewrite, std::string_view text, Output& out,
    textsift::search::utf8_known known = textsift::search::utf8_known::unknown) {
  searcher search(pattern, text, known);
  const int status = search.search(0, 0);
  if (status < PCRE_ERROR_NOMATCH) return {search_failure_message(status)};
  out.clear();
  if (status > 0) extract_match(rewrite, text.data(), search.ovector(), status, out);
  return {std::string(), true};
}

// The first match is replaced with `rewrite` applied to it; without a match the text stays.
template <class String, class Output>
application_result replace_first(
    const compiled_pattern& pattern, const String& rewrite, std::string_view text, Output& out,
    textsift::search::utf8_known known = textsift::search::utf8_known::unknown) {
  searcher search(pattern, text, known);
  const int status = search.search(0, 0);
  if (status < PCRE_ERROR_NOMATCH) return {search_failure_message(status)};
  if (status == PCRE_ERROR_NOMATCH) return {};
  replace_match(rewrite, text, 0, search.ovector(), status, out);
  return {std::string(), true};
}

// The scan of a global replacement over [from, to) of the searcher's text, whose matches it
// replaces: those that start in it (and one at the text's end, where `to` ends the text). Out's
// positions count from `origin` of the text. Returns the failure, or an empty string; `matched`
// tells whether a match was replaced, and `rest` where the text that follows the last one
// starts (the result's end is the text from there to `to`, which the caller appends). After an
// empty match the next attempt must be a non-empty match at the same place; when there is none,
// one character is kept and the scan goes on after it.
template <class String, class Output>
std::string replace_matches(searcher& search, const String& rewrite, std::string_view text,
                            std::size_t from, std::size_t to, bool at_text_end, std::size_t origin,
                            Output& out, bool& matched, std::size_t& rest) {
  std::size_t start = from;
  bool after_empty_match = false;
  matched = false;
  while (start < to || (at_text_end && start <= text.size())) {
    will_search_from(out, start - origin);
    const int flags = after_empty_match ? PCRE_ANCHORED | PCRE_NOTEMPTY : 0;
    const int status = search.search(start, flags);
    if (status < PCRE_ERROR_NOMATCH) return search_failure_message(status);
    if (status > 0 && search.begin() >= to && !at_text_end) break;  // the next part's match
    if (status == PCRE_ERROR_NOMATCH) {
      if (!after_empty_match) break;
      const std::size_t next = search.step_over(start);
      if (start < text.size()) out.append(text.data() + start, next - start);
      start = next;
      after_empty_match = false;
      continue;
    }
    if (!matched) {
      out.clear();
      reserve_large(out, text.size() + text.size() / 8);
    }
    matched = true;
    out.append(text.data() + start, search.begin() - start);
    append_rewrite(out, rewrite, text.data(), search.ovector(), status);
    start = search.end();
    after_empty_match = search.begin() == search.end();
  }
  rest = start;
  return std::string();
}

// Every match is replaced with `rewrite` applied to it, scanning left to right; the replaced text
// is not searched again. Without a match the text stays.
template <class String, class Output>
application_result replace_all(
    const compiled_pattern& pattern, const String& rewrite, std::string_view text, Output& out,
    textsift::search::utf8_known known = textsift::search::utf8_known::unknown) {
  searcher search(pattern, text, known);
  bool matched = false;
  std::size_t rest = 0;
  const std::string failure =
      replace_matches(search, rewrite, text, 0, text.size(), true, 0, out, matched, rest);
  if (!failure.empty()) return {failure};
  if (!matched) return {};
  append_rest(out, text, rest);
  return {std::string(), true};
}

}  // namespace templates
