// How the searches of a pattern run: which engine, and the limits of one match attempt.
#pragma once

#include <pcre.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "search/vector.hpp"

namespace templates {

// The library's own default. A match attempt (one start position of a search) that needs more
// steps fails with an error; a lazy `.*?` costs about one step per character it spans.
constexpr int default_match_limit = 10000000;

// Steps per byte searched that an attempt may take on a long text. Patterns of linear cost take
// at most 2 per byte on either engine (lazy and greedy dot, the quoted-string idiom, [^x]*
// chains), lazy groups such as (?:.)*? 3 and doubly nested ones 6 (bench/match_steps measures
// them), so all of them can span the whole text; costlier patterns still meet the limit.
constexpr unsigned long match_steps_per_byte = 8;

// The match limit of one attempt over `searched` bytes: `configured`, or more on a long text.
inline unsigned long match_limit_for(int configured, std::size_t searched) {
  return std::max<unsigned long>(static_cast<unsigned long>(configured),
                                 match_steps_per_byte * searched);
}

// The interpreter is never held to less recursion than this.
constexpr int min_recursion_limit = 500;

// The deepest recursion of the interpreter that fits a stack of `stack_bytes` with frames of
// `frame_bytes`: a quarter of the stack (at least 1 MiB) is kept for the program's own frames,
// and each frame is counted 64 bytes larger than reported, since some frames take a little more.
// An unlimited stack (RLIM_INFINITY) counts as 256 MiB. The result is at least
// min_recursion_limit; an unknown frame size (not positive) counts as 1 KiB.
inline int recursion_limit_for(std::uint64_t stack_bytes, int frame_bytes) {
  constexpr std::uint64_t mib = 1 << 20;
  const std::uint64_t stack = std::min<std::uint64_t>(stack_bytes, 256 * mib);
  const std::uint64_t reserve = std::max(stack / 4, mib);
  const std::uint64_t frame = (frame_bytes > 0 ? frame_bytes : 1024) + 64;
  const std::uint64_t depth = stack > reserve ? (stack - reserve) / frame : 0;
  return static_cast<int>(std::max<std::uint64_t>(depth, min_recursion_limit));
}

// The interpreter's recursion limit for this process: as deep as its stack limit safely allows.
// Computed once.
inline int interpreter_recursion_limit() {
  static const int limit = [] {
    rlimit stack{};
    if (getrlimit(RLIMIT_STACK, &stack) != 0) return min_recursion_limit;
    // With these arguments the library reports the size of one recursion frame, negated.
    const int frame = -pcre_exec(nullptr, nullptr, nullptr, -999, -999, 0, nullptr, 0);
    return recursion_limit_for(stack.rlim_cur, frame);
  }();
  return limit;
}

// Choices for a record's searches. The defaults are the program's; tests and fuzzers change them
// to compare the engines or to keep runs short.
struct match_settings {
  // Whether searches may run the library's JIT code (where the pattern allows it); false runs
  // every search on the interpreter.
  bool jit = true;
  // Whether searches may skip text that cannot hold a match, as the pattern's facts tell; false
  // leaves every search to the engine.
  bool accelerate = true;
  int match_limit = default_match_limit;
  int recursion_limit = interpreter_recursion_limit();
  // The width of the vector searches (literals, UTF-8); tests force each one this CPU runs.
  textsift::search::vector_width width = textsift::search::widest_width();
  // Where not 0, every text is searched in pieces of about this many bytes, where the plan
  // allows pieces, however short it is: what tests force. 0 leaves it to the text's size.
  std::size_t piece_bytes = 0;
};

}  // namespace templates
