// Invariants checked where the build asks for it (TEXTSIFT_CHECK_INVARIANTS: debug, sanitizer
// and fuzzing builds); elsewhere they cost nothing.
#pragma once

#ifdef TEXTSIFT_CHECK_INVARIANTS
#include <cstdio>
#include <cstdlib>

// Aborts with `what` when `condition` does not hold.
#define TEXTSIFT_INVARIANT(condition, what)                                            \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, what); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (false)
#else
#define TEXTSIFT_INVARIANT(condition, what) static_cast<void>(sizeof(condition))
#endif
