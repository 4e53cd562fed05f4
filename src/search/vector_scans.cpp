#include "search/vector_scans.hpp"

#include <cstdint>
#include <cstring>

#include "search/utf8_tables.hpp"

namespace textsift::search {

// Each width's scans, compiled from the one text of vector_scans.inc.
namespace word_scans {
using vector = word::vector;
constexpr vector_width width = vector_width::word;
#include "search/vector_scans.inc"
}  // namespace word_scans

#ifdef TEXTSIFT_X86_VECTORS
TEXTSIFT_BEGIN_SSSE3
namespace ssse3_scans {
using vector = ssse3::vector;
constexpr vector_width width = vector_width::ssse3;
#include "search/vector_scans.inc"
}  // namespace ssse3_scans
TEXTSIFT_END_TARGET

TEXTSIFT_BEGIN_AVX2
namespace avx2_scans {
using vector = avx2::vector;
constexpr vector_width width = vector_width::avx2;
#include "search/vector_scans.inc"
}  // namespace avx2_scans
TEXTSIFT_END_TARGET
#endif

bool cpu_has(vector_width width) {
  switch (width) {
    case vector_width::word:
      return true;
    case vector_width::ssse3:
#ifdef TEXTSIFT_X86_VECTORS
      return __builtin_cpu_supports("ssse3");
#else
      return false;
#endif
    case vector_width::avx2:
#ifdef TEXTSIFT_X86_VECTORS
      return __builtin_cpu_supports("avx2");
#else
      return false;
#endif
  }
  return false;
}

vector_width widest_width() {
  static const vector_width widest = cpu_has(vector_width::avx2)    ? vector_width::avx2
                                     : cpu_has(vector_width::ssse3) ? vector_width::ssse3
                                                                    : vector_width::word;
  return widest;
}

std::vector<vector_width> widths_here() {
  std::vector<vector_width> widths;
  for (const vector_width width : {vector_width::word, vector_width::ssse3, vector_width::avx2}) {
    if (cpu_has(width)) widths.push_back(width);
  }
  return widths;
}

const char* width_name(vector_width width) {
  switch (width) {
    case vector_width::word:
      return "word";
    case vector_width::ssse3:
      return "SSSE3";
    case vector_width::avx2:
      return "AVX2";
  }
  return "?";
}

const vector_scans& scans_at(vector_width width) {
  switch (width) {
    case vector_width::word:
      return word_scans::scans;
    case vector_width::ssse3:
#ifdef TEXTSIFT_X86_VECTORS
      return ssse3_scans::scans;
#else
      break;
#endif
    case vector_width::avx2:
#ifdef TEXTSIFT_X86_VECTORS
      return avx2_scans::scans;
#else
      break;
#endif
  }
  return word_scans::scans;
}

}  // namespace textsift::search
