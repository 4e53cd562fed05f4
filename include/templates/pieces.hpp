// Searching a text in pieces at once, each on a thread of its own, where the plan's rule "pieces"
// proves that this gives the results of one search over the whole text; and the way to texts
// longer than the engine takes, each piece then searched as a window of its own.
#pragma once

#include <pcre.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "io/in_place_output.hpp"
#include "parallel/workers.hpp"
#include "search/utf8_check.hpp"
#include "templates/application.hpp"
#include "templates/pcre_binding.hpp"

namespace templates {

// Texts shorter than this are searched whole: starting threads and cutting would cost more than
// the searches save (measured with bench/run on texts of 1 to 16 MB).
constexpr std::size_t pieces_from_bytes = std::size_t{4} << 20;

// What a test that forces small pieces gets at most: many cuts, in bounded memory.
constexpr std::size_t most_forced_pieces = 4096;

// Pieces per CPU, so that a piece with more matches than the others, or a thread on a slower
// CPU, delays the end little (with 4, the dense replacement of workload 16 in bench/run took
// 0.69 x its one-CPU time on two CPUs; with 16, 0.55 x).
constexpr std::size_t pieces_per_cpu = 16;

// No piece is shorter than this, and none longer than the engine takes in one window.
constexpr std::size_t least_piece_bytes = std::size_t{1} << 20;
constexpr std::size_t most_piece_bytes = std::size_t{1} << 30;

// How a text is searched: the pieces it is cut into, each searched through a window of the text,
// all found before any piece is searched (nothing reads the text while another thread writes
// it, but what the windows allow).
struct piece_layout {
  std::vector<std::size_t> cuts;     // where each piece starts, then the text's end
  std::vector<std::size_t> windows;  // piece k's searches see text[windows[2k], windows[2k + 1])
  unsigned threads = 1;
  bool windows_alone = false;  // each piece's searches see only its window, counted from its start
  // Pieces cut on a guess are all searched on it but the first, even where the guess is proved
  // when they start: what tests force, so that wrong guesses are searched again on any machine.
  bool always_guess = false;

  std::size_t pieces() const { return cuts.size() - 1; }
  std::size_t window_begin(std::size_t k) const { return windows[2 * k]; }
  std::size_t window_end(std::size_t k) const { return windows[2 * k + 1]; }
  // The bytes at piece k's start that the searches of the piece before it read.
  std::size_t read_from_before(std::size_t k) const {
    return k == 0 ? 0 : std::min(cuts[k + 1], window_end(k - 1)) - cuts[k];
  }
  // The bytes at piece k's end that the searches of the piece after it read: the look-back
  // before their start, or their window's start.
  std::size_t read_from_after(std::size_t k, std::size_t look_back) const {
    if (k + 1 == pieces()) return 0;
    const std::size_t window = cuts[k + 1] - std::min(cuts[k + 1], window_begin(k + 1));
    return std::min(cuts[k + 1] - cuts[k], windows_alone ? std::max(window, look_back) : look_back);
  }
};

// The search of piece `k` sees text[window_begin, window_end).
inline std::size_t window_begin(const piece_layout& layout, const compiled_pattern& pattern,
                                std::string_view text, std::size_t k) {
  if (!layout.windows_alone) return 0;
  const std::size_t back = pattern.look_back_bytes();
  std::size_t begin = layout.cuts[k] > back ? layout.cuts[k] - back : 0;
  // Back to a character's start, so that the search reads whole characters.
  while (pattern.utf8() && begin > 0 && textsift::search::continuation_byte(text[begin])) {
    --begin;
  }
  return begin;
}

inline std::size_t window_end(const piece_layout& layout, const compiled_pattern& pattern,
                              std::string_view text, std::size_t k) {
  std::size_t end = layout.cuts[k + 1];
  if (pattern.plan().split == textsift::analysis::split_mode::guessed) return text.size();
  if (pattern.plan().split == textsift::analysis::split_mode::bounded) {
    end = std::min(text.size(), end + pattern.plan().split_window);
    while (pattern.utf8() && end < text.size() && textsift::search::continuation_byte(text[end])) {
      ++end;
    }
  }
  return end;
}

// Whether no match can cross `cut` in a pattern whose matches are at most `most` bytes: no
// attempt in the bytes before it, after an empty match or not, reaches past it. Attempts that
// fail with an error count as crossing.
inline bool no_match_crosses(const compiled_pattern& pattern, std::string_view text,
                             std::size_t cut, std::size_t most) {
  const std::size_t length = std::min(text.size(), cut + most + 64);
  if (length > max_text_size || cut > max_text_size) return false;
  std::vector<int> ovector(3 * (pattern.capture_count() + 1));
  for (std::size_t at = cut > most ? cut - most : 0; at < cut; ++at) {
    if (pattern.utf8() && textsift::search::continuation_byte(text[at])) continue;
    for (const int flags : {PCRE_ANCHORED, PCRE_ANCHORED | PCRE_NOTEMPTY}) {
      const int status =
          pattern.exec(text.data(), static_cast<int>(length), static_cast<int>(at),
                       flags | (pattern.utf8() ? PCRE_NO_UTF8_CHECK : 0), ovector.data(),
                       static_cast<int>(ovector.size()), text.size());
      if (status < PCRE_ERROR_NOMATCH ||
          (status > 0 && static_cast<std::size_t>(ovector[1]) > cut)) {
        return false;
      }
    }
  }
  return true;
}

// Where to cut `text` for `pattern` into `wanted` pieces or fewer: after the line feed nearest
// past each even share, where the plan allows a cut there (its rule "pieces"). One piece where the
// plan allows none.
inline std::vector<std::size_t> cut_text(const compiled_pattern& pattern, std::string_view text,
                                         std::size_t wanted) {
  std::vector<std::size_t> cuts{0};
  const textsift::analysis::pattern_plan& plan = pattern.plan();
  if (plan.split != textsift::analysis::split_mode::whole && wanted > 1) {
    const std::size_t share = text.size() / wanted;
    for (std::size_t k = 1; k < wanted; ++k) {
      std::size_t at = std::max(cuts.back() + 1, k * share);
      for (;;) {
        const void* line_feed = at < text.size()
                                    ? std::memchr(text.data() + at - 1, '\n', text.size() - at + 1)
                                    : nullptr;
        if (line_feed == nullptr) break;
        at = static_cast<const char*>(line_feed) - text.data() + 1;
        if (at >= text.size()) break;
        if (plan.split != textsift::analysis::split_mode::bounded ||
            no_match_crosses(pattern, text, at, plan.split_window)) {
          cuts.push_back(at);
          break;
        }
        ++at;
      }
      if (cuts.back() < k * share) break;  // no line feed left to cut after
    }
  }
  cuts.push_back(text.size());
  return cuts;
}

// How many pieces `pattern` searches a text of `size` bytes in: one below pieces_from_bytes, and
// when the plan allows no pieces; otherwise `pieces_per_cpu` pieces for each usable CPU (of at
// least least_piece_bytes each), or more where the text is longer than the engine takes.
// `piece_bytes`, when not 0, asks for pieces of about that many bytes whatever the text's size
// (at most most_forced_pieces of them): what tests force.
inline std::size_t pieces_wanted(const compiled_pattern& pattern, std::size_t size,
                                 std::size_t piece_bytes = 0) {
  if (pattern.plan().split == textsift::analysis::split_mode::whole) return 1;
  std::size_t wanted = 1;
  if (piece_bytes != 0) {
    wanted = std::clamp<std::size_t>(size / piece_bytes, 1, most_forced_pieces);
  } else if (const unsigned cpus = textsift::usable_cpus(); size >= pieces_from_bytes && cpus > 1) {
    wanted = std::min<std::size_t>(cpus * pieces_per_cpu, size / least_piece_bytes);
  }
  if (size > max_text_size) wanted = std::max(wanted, size / (most_piece_bytes / 2) + 1);
  return wanted;
}

// The pieces of `text` for `pattern`, about `wanted` of them; on two threads at least where a
// test forces pieces (`forced`), to run them at once on any machine. The text must be one the
// pattern may search: valid UTF-8 in UTF-8 mode.
inline piece_layout lay_out_pieces(const compiled_pattern& pattern, std::string_view text,
                                   std::size_t wanted, bool forced = false) {
  piece_layout layout;
  layout.threads = textsift::usable_cpus();
  if (forced) layout.threads = std::max(2u, layout.threads);
  layout.always_guess = forced;
  layout.windows_alone = text.size() > max_text_size && pattern.plan().split_alone;
  layout.cuts = cut_text(pattern, text, wanted);
  for (std::size_t k = 0; k < layout.pieces(); ++k) {
    layout.windows.push_back(window_begin(layout, pattern, text, k));
    layout.windows.push_back(window_end(layout, pattern, text, k));
    // Every window must be one the engine takes: otherwise the text is one piece, refused.
    if (layout.windows_alone && layout.window_end(k) - layout.window_begin(k) > max_text_size) {
      layout.cuts = {0, text.size()};
      layout.windows = {0, text.size()};
      layout.windows_alone = false;
      break;
    }
  }
  return layout;
}

// A global replacement of the pieces of `text` at once, each result built over its piece
// (outputs, one per piece, in order). The text must be valid UTF-8 where the pattern matches in
// UTF-8 mode (`known` tells, and must be true). Returns the first failure in the order of the
// pieces, or an empty string; `matched` tells whether a match was replaced.
template <class String>
std::string replace_all_in_pieces(const compiled_pattern& pattern, const String& rewrite,
                                  char* text, std::size_t size, const piece_layout& layout,
                                  textsift::search::utf8_known known,
                                  std::vector<textsift::in_place_output>& outputs, bool& matched) {
  const std::string_view whole(text, size);
  const std::size_t count = layout.pieces();
  const std::size_t back = pattern.look_back_bytes();
  outputs.clear();
  outputs.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t begin = layout.cuts[k], end = layout.cuts[k + 1];
    // The piece before reads this one's start, the piece after this one's end.
    outputs.emplace_back(text + begin, end - begin, back, layout.read_from_before(k),
                         layout.read_from_after(k, back));
  }
  std::vector<std::string> failures(count);
  std::vector<char> matches(count, 0);
  pattern.prepare_for_threads();
  textsift::run_tasks(count, layout.threads, [&](std::size_t k) {
    const std::size_t base = layout.window_begin(k);
    const std::string_view window = whole.substr(base, layout.window_end(k) - base);
    searcher search(pattern, window, known, size);
    bool piece_matched = false;
    std::size_t rest = 0;
    const std::size_t origin = layout.cuts[k] - base;
    failures[k] = replace_matches(search, rewrite, window, origin, layout.cuts[k + 1] - base,
                                  k + 1 == count, origin, outputs[k], piece_matched, rest);
    outputs[k].append_rest(rest - origin);
    matches[k] = piece_matched;
  });
  matched = std::find(matches.begin(), matches.end(), 1) != matches.end();
  for (const std::string& failure : failures) {
    if (!failure.empty()) return failure;
  }
  return std::string();
}

// replace_all_in_pieces for pieces cut on a guess (split_mode::guessed): each piece is searched
// from its start on the guess that no match crosses it, its result held; pieces are proved in
// order, and a proved piece's result goes into its text (from its next search on, if it still
// runs). Where the piece before ended past a piece's start, the guess was wrong, and the piece
// is searched again from there. A piece's searches look for matches that start in it, and read
// past its end only as far as an attempt that starts in it needs. No more pieces are under way
// at once than `ahead_per_thread` per thread, which bounds the results held; where many guesses
// were wrong, one.
constexpr std::size_t ahead_per_thread = 2;

template <class String>
std::string replace_all_on_guesses(const compiled_pattern& pattern, const String& rewrite,
                                   char* text, std::size_t size, const piece_layout& layout,
                                   textsift::search::utf8_known known,
                                   std::vector<textsift::in_place_output>& outputs, bool& matched) {
  const std::string_view whole(text, size);
  const std::size_t count = layout.pieces();
  const std::size_t back = pattern.look_back_bytes();
  const std::size_t ahead = ahead_per_thread * layout.threads;
  struct piece_state {
    std::size_t entry = 0;  // where its searches start: its start, or where they truly start
    std::size_t rest = 0;   // where its last match ended, or its searches stopped
    bool done = false;
    bool matched = false;
    std::string failure;
  };
  std::vector<piece_state> states(count);
  // Set when a piece's entry is proved while its result is held.
  std::vector<std::atomic<bool>> proofs(count);
  outputs.clear();
  outputs.reserve(count);
  // Each piece keeps its end unwritten for the look-back of the searches after it; the searches
  // before it are all done before it writes.
  const auto fresh_output = [&](std::size_t k) {
    const std::size_t begin = layout.cuts[k], end = layout.cuts[k + 1];
    return textsift::in_place_output(text + begin, end - begin, back, 0,
                                     k + 1 == count ? 0 : std::min(back, end - begin));
  };
  for (std::size_t k = 0; k < count; ++k) outputs.push_back(fresh_output(k));
  // Piece k from its entry, its result held unless the entry is proved already.
  const auto search_piece = [&](std::size_t k, bool held, textsift::in_place_output::room room) {
    if (held) outputs[k].hold(std::move(room), &proofs[k]);
    const bool last = k + 1 == count;
    searcher search(pattern, whole, known, size);
    if (!last) search.want_starts_before(layout.cuts[k + 1]);
    piece_state& state = states[k];
    state.failure = replace_matches(search, rewrite, whole, state.entry, layout.cuts[k + 1], last,
                                    layout.cuts[k], outputs[k], state.matched, state.rest);
    outputs[k].append_rest(state.rest - layout.cuts[k]);
  };
  std::mutex lock;
  std::condition_variable moved;
  std::size_t next = 0, proved = 0;  // the next piece to start; the pieces proved and done
  std::size_t wrong = 0;             // guesses found wrong so far
  std::vector<textsift::in_place_output::room> rooms;  // for held results: reused, not faulted in
  bool stop = false;
  std::string failure;
  // Where piece k's searches truly start, once every piece before it is proved and done.
  const auto true_entry = [&](std::size_t k) {
    return k == 0 ? 0 : std::max(layout.cuts[k], states[k - 1].rest);
  };
  // One step of a thread under `guard`: prove, search again, write or start a piece, or wait.
  const auto step = [&](std::unique_lock<std::mutex>& guard) {
    const std::size_t k = proved;
    if (k < next) {
      const std::size_t entry = true_entry(k);
      if (states[k].done && states[k].entry != entry) {  // a wrong guess: again, from the entry
        ++wrong;
        states[k] = piece_state();
        states[k].entry = entry;
        guard.unlock();
        outputs[k] = fresh_output(k);
        search_piece(k, false, {});
        guard.lock();
        states[k].done = true;
        return;
      }
      if (states[k].done) {
        if (!states[k].failure.empty()) {
          failure = states[k].failure;
          stop = true;
          return;
        }
        matched = matched || states[k].matched;
        ++proved;
        moved.notify_all();
        // Its result goes into its text beside the other threads' work: no search reads there.
        guard.unlock();
        textsift::in_place_output::room left = outputs[k].commit();
        guard.lock();
        if (left.capacity != 0) rooms.push_back(std::move(left));
        return;
      }
      if (states[k].entry == entry) proofs[k].store(true, std::memory_order_release);
    }
    // Where a quarter of the guesses or more were wrong, guessing costs more than it saves: the
    // pieces are then searched one after another, each once the one before is done.
    const bool guessing = wrong == 0 || 4 * wrong < proved;
    if (next < count && next < proved + (guessing ? ahead : 1)) {
      const std::size_t k = next++;
      const bool proved_entry = k == 0 || (k == proved && !layout.always_guess);
      states[k].entry = proved_entry ? true_entry(k) : layout.cuts[k];
      textsift::in_place_output::room room;
      if (!proved_entry && !rooms.empty()) {
        room = std::move(rooms.back());
        rooms.pop_back();
      }
      guard.unlock();
      search_piece(k, !proved_entry, std::move(room));
      guard.lock();
      states[k].done = true;
      moved.notify_all();
      return;
    }
    moved.wait(guard);
  };
  pattern.prepare_for_threads();
  const auto work = [&](std::size_t) {
    std::unique_lock<std::mutex> guard(lock);
    try {
      while (!stop && proved < count) step(guard);
    } catch (...) {
      if (!guard.owns_lock()) guard.lock();
      stop = true;
      moved.notify_all();
      throw;
    }
    moved.notify_all();
  };
  matched = false;
  textsift::run_tasks(layout.threads, layout.threads, work);
  return failure;
}

// The first match in `text`, found in its pieces at once: the earliest piece that has one
// decides, and a failure in a piece counts where no piece before it has a match. Returns its
// status (as searcher::search returns it); on a match, `ovector` holds its groups, counted from
// `base` of the text.
inline int first_match_in_pieces(const compiled_pattern& pattern, std::string_view text,
                                 const piece_layout& layout, textsift::search::utf8_known known,
                                 std::vector<int>& ovector, std::size_t& base) {
  const std::size_t count = layout.pieces();
  std::vector<int> statuses(count, PCRE_ERROR_NOMATCH);
  std::vector<std::vector<int>> groups(count);
  std::atomic<std::size_t> decided(count);  // the earliest piece known to decide
  pattern.prepare_for_threads();
  textsift::run_tasks(count, layout.threads, [&](std::size_t k) {
    if (k > decided.load()) return;  // an earlier piece decides already
    const std::size_t from = layout.window_begin(k);
    const std::string_view window = text.substr(from, layout.window_end(k) - from);
    searcher search(pattern, window, known, text.size());
    statuses[k] =
        first_match_in(search, layout.cuts[k] - from, layout.cuts[k + 1] - from, k + 1 == count);
    if (statuses[k] == PCRE_ERROR_NOMATCH) return;
    const int reported = statuses[k] > 0 ? statuses[k] : 0;
    groups[k].assign(search.ovector(), search.ovector() + 2 * reported);
    for (std::size_t seen = decided.load(); k < seen && !decided.compare_exchange_weak(seen, k);) {
    }
  });
  for (std::size_t k = 0; k < count; ++k) {
    if (statuses[k] == PCRE_ERROR_NOMATCH) continue;
    ovector = groups[k];
    base = layout.window_begin(k);
    return statuses[k];
  }
  return PCRE_ERROR_NOMATCH;
}

}  // namespace templates
