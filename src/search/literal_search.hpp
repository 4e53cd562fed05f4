// Finding literals in a text at memory speed. One literal: two bytes of it, the rarest ones in
// typical text, are compared at 16 (or 32) positions at a time, and only where both agree is the
// whole literal compared. A set of literals: the first bytes of all of them are looked up at 16
// (or 32) positions at a time through tables of their half bytes, which sort the literals into
// eight buckets, and only the literals of the buckets that agree are compared.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "search/literal.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TEXTSIFT_LITERAL_SIMD 1
#endif

namespace textsift::search {

// `bytes` prepared for comparison: each ASCII letter in lower case and 0x20 at its place in
// `mask` when `caseless`, so that a text byte t matches where (t | mask) == folded.
inline void fold_case(const std::string& bytes, bool caseless, std::string& folded,
                      std::string& mask) {
  folded = bytes;
  mask.assign(bytes.size(), '\0');
  for (std::size_t i = 0; caseless && i < bytes.size(); ++i) {
    if (ascii_letter(static_cast<unsigned char>(bytes[i]))) {
      folded[i] = static_cast<char>(bytes[i] | 0x20);
      mask[i] = 0x20;
    }
  }
}

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
  literal_finder(const std::string& literal, bool caseless) : caseless_(caseless) {
    fold_case(literal, caseless, folded_, mask_);
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

// A set of literals to look for, each exactly or with ASCII letters in either case.
class literal_set_finder {
 public:
  static constexpr std::size_t npos = std::string::npos;

  // Where a literal of the set occurs, and which one (its index in the set).
  struct occurrence {
    std::size_t position = npos;
    std::size_t index = 0;
  };

  literal_set_finder() = default;

  // `literals` holds 1 to 256 literals, none of them empty.
  explicit literal_set_finder(const std::vector<literal>& literals) {
    if (literals.size() == 1) {
      single_ = literal_finder(literals.front().bytes, literals.front().caseless);
    }
    std::size_t shortest = SIZE_MAX;
    for (const literal& each : literals) {
      shortest = std::min(shortest, each.bytes.size());
      folded_.emplace_back();
      masks_.emplace_back();
      fold_case(each.bytes, each.caseless, folded_.back(), masks_.back());
      heads_.push_back(head_of(folded_.back(), masks_.back()));
    }
    shortest_ = shortest;
    // With more literals than buckets, a bucket's half bytes admit more text: one byte more
    // keeps the candidates few.
    fingerprint_ = std::min<std::size_t>(literals.size() > 8 ? 4 : 3, shortest);
    assign_buckets();
  }

  std::size_t size() const { return folded_.size(); }
  std::size_t length(std::size_t index) const { return folded_[index].size(); }

  // The first position at or after `from` where a literal of the set occurs in text[0, size),
  // with the first literal in the set's order that occurs there; position npos when none does.
  occurrence find(const char* text, std::size_t size, std::size_t from) const {
    if (folded_.size() == 1) return {single_.find(text, size, from), 0};
    return find_in_set(text, size, from);
  }

 private:
  occurrence find_in_set(const char* text, std::size_t size, std::size_t from) const {
    if (folded_.empty() || size < shortest_ || from > size - shortest_) return {};
    std::size_t position = from;
    occurrence found;
#ifdef TEXTSIFT_LITERAL_SIMD
    static const bool wide = __builtin_cpu_supports("avx2");
    static const bool shuffles = __builtin_cpu_supports("ssse3");
    if (wide) {
      found = fingerprint_ == 1   ? scan_avx2<1>(text, size, position)
              : fingerprint_ == 2 ? scan_avx2<2>(text, size, position)
              : fingerprint_ == 3 ? scan_avx2<3>(text, size, position)
                                  : scan_avx2<4>(text, size, position);
    } else if (shuffles) {
      found = fingerprint_ == 1   ? scan_ssse3<1>(text, size, position)
              : fingerprint_ == 2 ? scan_ssse3<2>(text, size, position)
              : fingerprint_ == 3 ? scan_ssse3<3>(text, size, position)
                                  : scan_ssse3<4>(text, size, position);
    }
    if (found.position != npos) return found;
#endif
    for (; position + shortest_ <= size; ++position) {
      const unsigned buckets = first_byte_buckets_[static_cast<unsigned char>(text[position])];
      const std::size_t index = buckets ? first_match(text, size, position, buckets) : npos;
      if (index != npos) return {position, index};
    }
    return {};
  }

  // Each literal joins the bucket whose tables then admit the fewest new byte strings (one
  // literal alone admits one; literals that begin alike admit no more than one of them), so that
  // few places of a text pass the tables without holding a literal.
  void assign_buckets() {
    for (std::size_t index = 0; index < folded_.size(); ++index) {
      unsigned best = 0;
      double best_growth = 0;
      for (unsigned bucket = 0; bucket < 8; ++bucket) {
        const double growth = admitted(bucket, index) - admitted(bucket, npos);
        if (bucket == 0 || growth < best_growth) {
          best = bucket;
          best_growth = growth;
        }
      }
      members_[best].push_back(index);
      for (std::size_t j = 0; j < fingerprint_; ++j) {
        const unsigned char byte = static_cast<unsigned char>(folded_[index][j]);
        mark(j, byte, 1u << best);
        if (masks_[index][j] != 0) mark(j, byte & ~0x20u, 1u << best);
      }
    }
  }

  // How many strings of fingerprint bytes the tables of `bucket` admit, with literal `extra`
  // added (npos: none).
  double admitted(unsigned bucket, std::size_t extra) const {
    if (members_[bucket].empty() && extra == npos) return 0;
    double product = 1;
    for (std::size_t j = 0; j < fingerprint_; ++j) {
      unsigned low = 0, high = 0;
      for (unsigned half = 0; half < 16; ++half) {
        low |= (low_[j][half] >> bucket & 1u) << half;
        high |= (high_[j][half] >> bucket & 1u) << half;
      }
      if (extra != npos) {
        const unsigned char byte = static_cast<unsigned char>(folded_[extra][j]);
        low |= 1u << (byte & 15);
        high |= 1u << (byte >> 4);
        if (masks_[extra][j] != 0) high |= 1u << ((byte & ~0x20u) >> 4);
      }
      product *= __builtin_popcount(low) * __builtin_popcount(high);
    }
    return product;
  }

  void mark(std::size_t j, unsigned char byte, unsigned bit) {
    low_[j][byte & 15] = static_cast<char>(low_[j][byte & 15] | bit);
    high_[j][byte >> 4] = static_cast<char>(high_[j][byte >> 4] | bit);
    if (j == 0) first_byte_buckets_[byte] |= static_cast<std::uint8_t>(bit);
  }

  // Whether literal `index` occurs at `candidate`, which has `room` bytes of text from it on
  // (at least the literal's length). Where eight bytes can be read, its first eight (or fewer)
  // are compared at once.
  bool matches_at(std::size_t index, const char* candidate, std::size_t room) const {
    const std::string& folded = folded_[index];
    const std::string& mask = masks_[index];
    std::size_t i = 0;
    if (room >= 8) {
      const head& first = heads_[index];
      std::uint64_t bytes = 0;
      std::memcpy(&bytes, candidate, 8);
      if (((bytes | first.mask) & first.keep) != first.folded) return false;
      i = std::min<std::size_t>(8, folded.size());
    }
    for (; i < folded.size(); ++i) {
      if ((candidate[i] | mask[i]) != folded[i]) return false;
    }
    return true;
  }

  // The first eight bytes of a literal as one word, in the order of memory: `keep` covers the
  // literal's own bytes, `mask` its letters that match either case.
  struct head {
    std::uint64_t folded = 0, mask = 0, keep = 0;
  };

  static head head_of(const std::string& folded, const std::string& mask) {
    head result;
    const std::size_t length = std::min<std::size_t>(8, folded.size());
    std::memcpy(&result.folded, folded.data(), length);
    std::memcpy(&result.mask, mask.data(), length);
    std::memset(&result.keep, 0xff, length);
    return result;
  }

  // The first literal in order, among those of `buckets`, that occurs at `position`, or npos.
  std::size_t first_match(const char* text, std::size_t size, std::size_t position,
                          unsigned buckets) const {
    std::size_t best = npos;
    for (; buckets != 0; buckets &= buckets - 1) {
      for (const std::size_t index : members_[__builtin_ctz(buckets)]) {
        if (index >= best) break;
        if (position + folded_[index].size() <= size &&
            matches_at(index, text + position, size - position)) {
          best = index;
          break;
        }
      }
    }
    return best;
  }

#ifdef TEXTSIFT_LITERAL_SIMD
  // The first occurrence the vector loop finds, or npos with `position` where the loop
  // stopped: the rest, shorter than a vector, is left to the caller.
  template <std::size_t fingerprint>
  __attribute__((target("ssse3"))) occurrence scan_ssse3(const char* text, std::size_t size,
                                                         std::size_t& position) const {
    const __m128i nibble = _mm_set1_epi8(0x0f);
    __m128i low[fingerprint], high[fingerprint];
    for (std::size_t j = 0; j < fingerprint; ++j) {
      low[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low_[j]));
      high[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(high_[j]));
    }
    for (; position + fingerprint - 1 + 16 <= size; position += 16) {
      __m128i buckets = _mm_set1_epi8(-1);
      for (std::size_t j = 0; j < fingerprint; ++j) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + position + j));
        const __m128i lows = _mm_shuffle_epi8(low[j], _mm_and_si128(v, nibble));
        const __m128i highs =
            _mm_shuffle_epi8(high[j], _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
        buckets = _mm_and_si128(buckets, _mm_and_si128(lows, highs));
      }
      unsigned bits =
          ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(buckets, _mm_setzero_si128()))) &
          0xffffu;
      if (bits == 0) continue;
      alignas(16) unsigned char lanes[16];
      _mm_store_si128(reinterpret_cast<__m128i*>(lanes), buckets);
      for (; bits != 0; bits &= bits - 1) {
        const std::size_t lane = static_cast<std::size_t>(__builtin_ctz(bits));
        const std::size_t index = first_match(text, size, position + lane, lanes[lane]);
        if (index != npos) return {position + lane, index};
      }
    }
    return {};
  }

  template <std::size_t fingerprint>
  __attribute__((target("avx2"))) occurrence scan_avx2(const char* text, std::size_t size,
                                                       std::size_t& position) const {
    const __m256i nibble = _mm256_set1_epi8(0x0f);
    __m256i low[fingerprint], high[fingerprint];
    for (std::size_t j = 0; j < fingerprint; ++j) {
      low[j] =
          _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low_[j])));
      high[j] =
          _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(high_[j])));
    }
    for (; position + fingerprint - 1 + 32 <= size; position += 32) {
      __m256i buckets = _mm256_set1_epi8(-1);
      for (std::size_t j = 0; j < fingerprint; ++j) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + position + j));
        const __m256i lows = _mm256_shuffle_epi8(low[j], _mm256_and_si256(v, nibble));
        const __m256i highs =
            _mm256_shuffle_epi8(high[j], _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
        buckets = _mm256_and_si256(buckets, _mm256_and_si256(lows, highs));
      }
      unsigned bits = ~static_cast<unsigned>(
          _mm256_movemask_epi8(_mm256_cmpeq_epi8(buckets, _mm256_setzero_si256())));
      if (bits == 0) continue;
      alignas(32) unsigned char lanes[32];
      _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), buckets);
      for (; bits != 0; bits &= bits - 1) {
        const std::size_t lane = static_cast<std::size_t>(__builtin_ctz(bits));
        const std::size_t index = first_match(text, size, position + lane, lanes[lane]);
        if (index != npos) return {position + lane, index};
      }
    }
    return {};
  }
#endif

  literal_finder single_;            // the one literal of a set of one
  std::vector<std::string> folded_;  // each literal, letters in lower case where caseless
  std::vector<std::string> masks_;   // 0x20 at each such letter, else 0: text | mask == folded
  std::vector<head> heads_;
  std::size_t shortest_ = 0;
  std::size_t fingerprint_ = 0;          // how many first bytes the tables describe: 1 to 4
  std::vector<std::size_t> members_[8];  // the literals of each bucket, in order
  char low_[4][16] = {};                 // buckets of the literals whose byte j has this low half
  char high_[4][16] = {};                // ... and this high half
  std::uint8_t first_byte_buckets_[256] = {};
};

}  // namespace textsift::search
