// A small vector type per width, over which each search is written once (vector_searches.inc):
// 32 bytes with AVX2, 16 bytes with SSSE3, and 8 bytes in a machine word on any CPU. All offer the
// same operations, byte by byte. Code for a width runs only on a CPU that has it; the width of a
// search is chosen when its searcher is built, the widest this CPU has unless a test forces one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TEXTSIFT_X86_VECTORS 1
#endif

// Code between these is compiled for a CPU with the named extension.
#if defined(__clang__)
#define TEXTSIFT_BEGIN_AVX2 \
  _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define TEXTSIFT_BEGIN_SSSE3 \
  _Pragma("clang attribute push(__attribute__((target(\"ssse3\"))), apply_to = function)")
#define TEXTSIFT_END_TARGET _Pragma("clang attribute pop")
#else
#define TEXTSIFT_BEGIN_AVX2 _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define TEXTSIFT_BEGIN_SSSE3 _Pragma("GCC push_options") _Pragma("GCC target(\"ssse3\")")
#define TEXTSIFT_END_TARGET _Pragma("GCC pop_options")
#endif

namespace textsift::search {

enum class vector_width { word, ssse3, avx2 };

// Whether this CPU runs code of `width`.
bool cpu_has(vector_width width);

// The widest width this CPU runs: what searches use unless told otherwise.
vector_width widest_width();

// Every width this CPU runs, narrowest first.
std::vector<vector_width> widths_here();

// "word", "SSSE3" or "AVX2".
const char* width_name(vector_width width);

// Eight bytes in a 64-bit word, one operation a byte at a time: the width of any CPU.
namespace word {

struct vector {
  static constexpr std::size_t size = 8;
  unsigned char bytes[8];

  struct table {
    unsigned char entries[16];
  };

  static vector load(const void* from) {
    vector v;
    std::memcpy(v.bytes, from, size);
    return v;
  }
  static vector splat(unsigned char byte) {
    vector v;
    std::memset(v.bytes, byte, size);
    return v;
  }
  static vector zero() { return splat(0); }
  static table make_table(const unsigned char* entries) {
    table t;
    std::memcpy(t.entries, entries, 16);
    return t;
  }
  void store(unsigned char* to) const { std::memcpy(to, bytes, size); }

  template <class Operation>
  vector each(const vector& other, Operation operation) const {
    vector v;
    for (std::size_t i = 0; i < size; ++i) v.bytes[i] = operation(bytes[i], other.bytes[i]);
    return v;
  }
  vector operator&(const vector& other) const {
    return each(other, [](unsigned a, unsigned b) { return static_cast<unsigned char>(a & b); });
  }
  vector operator|(const vector& other) const {
    return each(other, [](unsigned a, unsigned b) { return static_cast<unsigned char>(a | b); });
  }
  vector operator^(const vector& other) const {
    return each(other, [](unsigned a, unsigned b) { return static_cast<unsigned char>(a ^ b); });
  }
  // ~this & other
  vector and_not(const vector& other) const {
    return each(other, [](unsigned a, unsigned b) { return static_cast<unsigned char>(~a & b); });
  }
  // 0xFF where the bytes are equal, 0 elsewhere.
  vector equal(const vector& other) const {
    return each(other, [](unsigned a, unsigned b) {
      return static_cast<unsigned char>(a == b ? 0xFF : 0);
    });
  }
  vector saturating_sub(const vector& other) const {
    return each(other, [](unsigned a, unsigned b) {
      return static_cast<unsigned char>(a > b ? a - b : 0);
    });
  }
  vector high_nibbles() const {
    vector v;
    for (std::size_t i = 0; i < size; ++i) v.bytes[i] = static_cast<unsigned char>(bytes[i] >> 4);
    return v;
  }
  vector low_nibbles() const {
    vector v;
    for (std::size_t i = 0; i < size; ++i) v.bytes[i] = static_cast<unsigned char>(bytes[i] & 15);
    return v;
  }
  // Each byte (0 to 15) replaced by that entry of `t`.
  vector lookup(const table& t) const {
    vector v;
    for (std::size_t i = 0; i < size; ++i) v.bytes[i] = t.entries[bytes[i] & 15];
    return v;
  }
  // Bit i set where byte i has its high bit set.
  std::uint32_t mask() const {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < size; ++i) bits |= static_cast<std::uint32_t>(bytes[i] >> 7) << i;
    return bits;
  }
  bool any() const {
    for (const unsigned char byte : bytes) {
      if (byte != 0) return true;
    }
    return false;
  }
  // The bytes `n` (1 to 3) places before each byte of `input`, the first ones from `before`.
  template <int n>
  static vector previous(const vector& input, const vector& before) {
    vector v;
    for (std::size_t i = 0; i < size; ++i)
      v.bytes[i] =
          i >= static_cast<std::size_t>(n) ? input.bytes[i - n] : before.bytes[size + i - n];
    return v;
  }
};

}  // namespace word

#ifdef TEXTSIFT_X86_VECTORS

TEXTSIFT_BEGIN_SSSE3
namespace ssse3 {

struct vector {
  static constexpr std::size_t size = 16;
  __m128i v;

  struct table {
    __m128i entries;
  };

  static vector load(const void* from) {
    return {_mm_loadu_si128(static_cast<const __m128i*>(from))};
  }
  static vector splat(unsigned char byte) { return {_mm_set1_epi8(static_cast<char>(byte))}; }
  static vector zero() { return {_mm_setzero_si128()}; }
  static table make_table(const unsigned char* entries) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(entries))};
  }
  void store(unsigned char* to) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(to), v); }

  vector operator&(const vector& other) const { return {_mm_and_si128(v, other.v)}; }
  vector operator|(const vector& other) const { return {_mm_or_si128(v, other.v)}; }
  vector operator^(const vector& other) const { return {_mm_xor_si128(v, other.v)}; }
  vector and_not(const vector& other) const { return {_mm_andnot_si128(v, other.v)}; }
  vector equal(const vector& other) const { return {_mm_cmpeq_epi8(v, other.v)}; }
  vector saturating_sub(const vector& other) const { return {_mm_subs_epu8(v, other.v)}; }
  vector high_nibbles() const { return {_mm_and_si128(_mm_srli_epi16(v, 4), _mm_set1_epi8(15))}; }
  vector low_nibbles() const { return {_mm_and_si128(v, _mm_set1_epi8(15))}; }
  vector lookup(const table& t) const { return {_mm_shuffle_epi8(t.entries, v)}; }
  std::uint32_t mask() const { return static_cast<std::uint32_t>(_mm_movemask_epi8(v)); }
  bool any() const { return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) != 0xFFFF; }
  template <int n>
  static vector previous(const vector& input, const vector& before) {
    return {_mm_alignr_epi8(input.v, before.v, 16 - n)};
  }
};

}  // namespace ssse3
TEXTSIFT_END_TARGET

TEXTSIFT_BEGIN_AVX2
namespace avx2 {

struct vector {
  static constexpr std::size_t size = 32;
  __m256i v;

  struct table {
    __m256i entries;  // the same 16 entries in both lanes: shuffles look up within a lane
  };

  static vector load(const void* from) {
    return {_mm256_loadu_si256(static_cast<const __m256i*>(from))};
  }
  static vector splat(unsigned char byte) { return {_mm256_set1_epi8(static_cast<char>(byte))}; }
  static vector zero() { return {_mm256_setzero_si256()}; }
  static table make_table(const unsigned char* entries) {
    return {
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entries)))};
  }
  void store(unsigned char* to) const { _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), v); }

  vector operator&(const vector& other) const { return {_mm256_and_si256(v, other.v)}; }
  vector operator|(const vector& other) const { return {_mm256_or_si256(v, other.v)}; }
  vector operator^(const vector& other) const { return {_mm256_xor_si256(v, other.v)}; }
  vector and_not(const vector& other) const { return {_mm256_andnot_si256(v, other.v)}; }
  vector equal(const vector& other) const { return {_mm256_cmpeq_epi8(v, other.v)}; }
  vector saturating_sub(const vector& other) const { return {_mm256_subs_epu8(v, other.v)}; }
  vector high_nibbles() const {
    return {_mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(15))};
  }
  vector low_nibbles() const { return {_mm256_and_si256(v, _mm256_set1_epi8(15))}; }
  vector lookup(const table& t) const { return {_mm256_shuffle_epi8(t.entries, v)}; }
  std::uint32_t mask() const { return static_cast<std::uint32_t>(_mm256_movemask_epi8(v)); }
  bool any() const { return _mm256_testz_si256(v, v) == 0; }
  // The 32 bytes before `input`'s, lane by lane: `before`'s high lane, then `input`'s low lane.
  template <int n>
  static vector previous(const vector& input, const vector& before) {
    const __m256i shifted = _mm256_permute2x128_si256(before.v, input.v, 0x21);
    return {_mm256_alignr_epi8(input.v, shifted, 16 - n)};
  }
};

}  // namespace avx2
TEXTSIFT_END_TARGET

#endif

}  // namespace textsift::search
