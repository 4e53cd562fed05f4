// Finding a literal in a text at memory speed: two bytes of the literal, the rarest ones in
// typical text, are compared at 16 (or 32) positions at a time, and only where both agree is the
// whole literal compared.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TEXTSIFT_LITERAL_SIMD 1
#endif

namespace templates {

// How common byte `c` is in typical text, from 0 (rare) to 255 (most common).
constexpr int byte_commonness(unsigned char c) {
  constexpr unsigned char letters[] = {230, 150, 185, 190, 250, 170, 165, 200, 225,
                                       80,  120, 200, 175, 225, 225, 170, 70,  220,
                                       220, 235, 180, 130, 160, 90,  160, 70};
  if (c == ' ') return 255;
  if (c >= 'a' && c <= 'z') return letters[c - 'a'];
  if (c >= 'A' && c <= 'Z') return 90;
  if (c >= '0' && c <= '9') return 160;
  if (c == '\n' || c == '\t' || c == '.' || c == ',' || c == '-' || c == '/' || c == ':' ||
      c == '=' || c == '"' || c == '(' || c == ')' || c == '[' || c == ']' || c == '_') {
    return 140;
  }
  return c >= 0x80 ? 60 : 40;
}

// A literal to look for, exactly or with ASCII letters in either case.
class literal_finder {
 public:
  static constexpr std::size_t npos = std::string::npos;

  literal_finder() = default;

  // `literal` must not be empty. With `caseless`, each ASCII letter matches both of its cases;
  // every other byte matches only itself.
  literal_finder(const std::string& literal, bool caseless)
      : folded_(literal), mask_(literal.size(), '\0'), caseless_(caseless) {
    if (caseless_) {
      for (std::size_t i = 0; i < folded_.size(); ++i) {
        const char lower = static_cast<char>(folded_[i] | 0x20);
        if (lower >= 'a' && lower <= 'z') {
          folded_[i] = lower;
          mask_[i] = 0x20;
        }
      }
    }
    const auto rarer = [this](std::size_t a, std::size_t b) {
      return byte_commonness(static_cast<unsigned char>(folded_[a])) <
             byte_commonness(static_cast<unsigned char>(folded_[b]));
    };
    for (std::size_t i = 1; i < folded_.size(); ++i) {
      if (rarer(i, probe_)) probe_ = i;
    }
    other_probe_ = probe_ == 0 ? folded_.size() - 1 : 0;
    for (std::size_t i = 0; i < folded_.size(); ++i) {
      if (i != probe_ && rarer(i, other_probe_)) other_probe_ = i;
    }
    if (other_probe_ < probe_) std::swap(probe_, other_probe_);
  }

  std::size_t size() const { return folded_.size(); }

  // The first position at or after `from` where the literal occurs in text[0, size), or npos.
  std::size_t find(const char* text, std::size_t size, std::size_t from) const {
    const std::size_t length = folded_.size();
    if (length == 0 || size < length || from > size - length) return npos;
    if (!caseless_ && length == 1) {
      const void* found = std::memchr(text + from, folded_[0], size - from);
      return found ? static_cast<const char*>(found) - text : npos;
    }
    std::size_t position = from;
#ifdef TEXTSIFT_LITERAL_SIMD
    static const bool wide = __builtin_cpu_supports("avx2");
    position = wide ? scan_avx2(text, size, position) : scan_sse2(text, size, position);
#endif
    for (; position + length <= size; ++position) {
      if (matches_at(text + position)) return position;
    }
    return npos;
  }

 private:
  // A loop beats a call for the short literals that patterns mostly hold; the mask is zero
  // when case matters.
  bool matches_at(const char* candidate) const {
    if (!caseless_ && folded_.size() > 16) {
      return std::memcmp(candidate, folded_.data(), folded_.size()) == 0;
    }
    for (std::size_t i = 0; i < folded_.size(); ++i) {
      if ((candidate[i] | mask_[i]) != folded_[i]) return false;
    }
    return true;
  }

#ifdef TEXTSIFT_LITERAL_SIMD
  // The first match found by the vector loop, or where the loop stopped: the rest, shorter than
  // a vector, is left to the caller, which compares there first.
  std::size_t scan_sse2(const char* text, std::size_t size, std::size_t position) const {
    const std::size_t i = probe_, j = other_probe_, last = folded_.size() - 1;
    const __m128i first = _mm_set1_epi8(folded_[i]), first_mask = _mm_set1_epi8(mask_[i]);
    const __m128i second = _mm_set1_epi8(folded_[j]), second_mask = _mm_set1_epi8(mask_[j]);
    // Every candidate of a block must have the whole literal inside the text.
    for (; position + last + 16 <= size; position += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + position + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + position + j));
      const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, first_mask), first),
                                         _mm_cmpeq_epi8(_mm_or_si128(b, second_mask), second));
      for (unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(both)); bits != 0;
           bits &= bits - 1) {
        const std::size_t candidate = position + static_cast<std::size_t>(__builtin_ctz(bits));
        if (matches_at(text + candidate)) return candidate;
      }
    }
    return position;
  }

  __attribute__((target("avx2"))) std::size_t scan_avx2(const char* text, std::size_t size,
                                                        std::size_t position) const {
    const std::size_t i = probe_, j = other_probe_, last = folded_.size() - 1;
    const __m256i first = _mm256_set1_epi8(folded_[i]), first_mask = _mm256_set1_epi8(mask_[i]);
    const __m256i second = _mm256_set1_epi8(folded_[j]);
    const __m256i second_mask = _mm256_set1_epi8(mask_[j]);
    for (; position + last + 32 <= size; position += 32) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + position + i));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + position + j));
      const __m256i both =
          _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(a, first_mask), first),
                           _mm256_cmpeq_epi8(_mm256_or_si256(b, second_mask), second));
      for (unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(both)); bits != 0;
           bits &= bits - 1) {
        const std::size_t candidate = position + static_cast<std::size_t>(__builtin_ctz(bits));
        if (matches_at(text + candidate)) return candidate;
      }
    }
    return position;
  }
#endif

  std::string folded_;  // the literal, letters in lower case when caseless
  std::string mask_;    // 0x20 at each letter when caseless, else 0: text | mask == folded
  bool caseless_ = false;
  std::size_t probe_ = 0, other_probe_ = 0;  // the rarest two positions, in order
};

}  // namespace templates
