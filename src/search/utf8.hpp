// UTF-8 validity as the engine defines it (RFC 3629): no overlong forms, no surrogates, nothing
// above U+10FFFF, no truncated sequences. Checked here once per application, 16 or 32 bytes at a
// time, far faster than the engine's own byte-by-byte check, which matching then skips.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TEXTSIFT_UTF8_SSSE3 1
#endif

namespace textsift::search {

namespace utf8_detail {

// What a lead byte allows: the sequence length (0: not a lead byte) and the range of the second
// byte, which excludes overlong forms, surrogates and values above U+10FFFF. Further bytes are
// always 80-BF.
struct lead_rule {
  unsigned char length;
  unsigned char low;
  unsigned char high;
};

struct lead_table {
  lead_rule rules[256];
};

constexpr lead_table make_lead_table() {
  lead_table table{};
  for (int lead = 0; lead < 256; ++lead) {
    lead_rule rule{0, 0x80, 0xBF};
    if (lead < 0x80) rule.length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) rule.length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) rule.length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) rule.length = 4;
    if (lead == 0xE0) rule.low = 0xA0;
    if (lead == 0xED) rule.high = 0x9F;
    if (lead == 0xF0) rule.low = 0x90;
    if (lead == 0xF4) rule.high = 0x8F;
    table.rules[lead] = rule;
  }
  return table;
}

inline constexpr lead_table leads = make_lead_table();

}  // namespace utf8_detail

// Whether data[0, size) is valid UTF-8, one character at a time.
inline bool valid_utf8_scalar(const char* data, std::size_t size) {
  const auto* byte = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* const end = byte + size;
  constexpr std::uint64_t high_bits = 0x8080808080808080ULL;
  while (byte < end) {
    // Skip ASCII eight bytes at a time, straight to the first byte with its high bit set.
    if (end - byte >= 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, byte, 8);
      const std::uint64_t high = word & high_bits;
      if (high == 0) {
        byte += 8;
        continue;
      }
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      byte += __builtin_ctzll(high) / 8;
#endif
    }
    const utf8_detail::lead_rule rule = utf8_detail::leads.rules[*byte];
    const std::size_t length = rule.length;
    if (length == 1) {
      ++byte;
      continue;
    }
    if (length == 0 || static_cast<std::size_t>(end - byte) < length) return false;
    if (byte[1] < rule.low || byte[1] > rule.high) return false;
    if (length >= 3 && (byte[2] & 0xC0) != 0x80) return false;
    if (length == 4 && (byte[3] & 0xC0) != 0x80) return false;
    byte += length;
  }
  return true;
}

#ifdef TEXTSIFT_UTF8_SSSE3
namespace utf8_detail {

// Sixteen bytes at a time: each byte is classified together with the one before it by three
// nibble lookups, whose bitwise AND is non-zero exactly for an invalid pair (a bit per kind of
// fault); third and fourth bytes of long sequences are then expected to show only the
// "two continuation bytes" bit.
enum : unsigned char {
  too_short = 1 << 0,       // lead byte not followed by a continuation byte
  too_long = 1 << 1,        // ASCII followed by a continuation byte
  overlong_3 = 1 << 2,      // E0 80-9F
  too_large = 1 << 3,       // F4 90-BF, F5-FF 90-BF
  surrogate = 1 << 4,       // ED A0-BF
  overlong_2 = 1 << 5,      // C0-C1 80-BF
  too_large_1000 = 1 << 6,  // F5-FF 80-8F
  overlong_4 = 1 << 6,      // F0 80-8F
  two_continuations = 1 << 7,
  carry = too_short | too_long | two_continuations,
};

constexpr unsigned char continuation = too_long | overlong_2 | two_continuations;
constexpr unsigned char above_f4 = carry | too_large | too_large_1000;

// Indexed by the high nibble of the first byte of a pair.
alignas(16) constexpr unsigned char byte_1_high_table[16] = {
    too_long,
    too_long,
    too_long,
    too_long,
    too_long,
    too_long,
    too_long,
    too_long,
    two_continuations,
    two_continuations,
    two_continuations,
    two_continuations,
    too_short | overlong_2,
    too_short,
    too_short | overlong_3 | surrogate,
    too_short | too_large | too_large_1000 | overlong_4};
// Indexed by the low nibble of the first byte of a pair.
alignas(16) constexpr unsigned char byte_1_low_table[16] = {
    carry | overlong_3 | overlong_2 | overlong_4,
    carry | overlong_2,
    carry,
    carry,
    carry | too_large,
    above_f4,
    above_f4,
    above_f4,
    above_f4,
    above_f4,
    above_f4,
    above_f4,
    above_f4,
    above_f4 | surrogate,
    above_f4,
    above_f4};
// Indexed by the high nibble of the second byte of a pair.
alignas(16) constexpr unsigned char byte_2_high_table[16] = {
    too_short,
    too_short,
    too_short,
    too_short,
    too_short,
    too_short,
    too_short,
    too_short,
    continuation | overlong_3 | too_large_1000 | overlong_4,
    continuation | overlong_3 | too_large,
    continuation | surrogate | too_large,
    continuation | surrogate | too_large,
    too_short,
    too_short,
    too_short,
    too_short};

__attribute__((target("ssse3"))) inline __m128i lookup(const unsigned char (&table)[16],
                                                       __m128i index) {
  return _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(table)), index);
}

// The faults among the pairs ending in `input`, given the sixteen bytes before it.
__attribute__((target("ssse3"))) inline __m128i block_errors(__m128i input, __m128i previous) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i previous_1 = _mm_alignr_epi8(input, previous, 15);
  const __m128i byte_1_high =
      lookup(byte_1_high_table, _mm_and_si128(_mm_srli_epi16(previous_1, 4), nibble));
  const __m128i byte_1_low = lookup(byte_1_low_table, _mm_and_si128(previous_1, nibble));
  const __m128i byte_2_high =
      lookup(byte_2_high_table, _mm_and_si128(_mm_srli_epi16(input, 4), nibble));
  const __m128i special = _mm_and_si128(_mm_and_si128(byte_1_high, byte_1_low), byte_2_high);

  const __m128i previous_2 = _mm_alignr_epi8(input, previous, 14);
  const __m128i previous_3 = _mm_alignr_epi8(input, previous, 13);
  const __m128i third = _mm_subs_epu8(previous_2, _mm_set1_epi8(static_cast<char>(0xE0 - 1)));
  const __m128i fourth = _mm_subs_epu8(previous_3, _mm_set1_epi8(static_cast<char>(0xF0 - 1)));
  const __m128i must_continue =
      _mm_andnot_si128(_mm_cmpeq_epi8(_mm_or_si128(third, fourth), _mm_setzero_si128()),
                       _mm_set1_epi8(static_cast<char>(two_continuations)));
  return _mm_xor_si128(must_continue, special);
}

// Whether the last three bytes of `mask`'s block (the bit per byte of movemask) are ASCII: then no
// pair of the next block reaches back into a sequence, and an ASCII block after it has no fault.
inline bool ends_in_ascii(unsigned mask, int block_bytes) {
  return (mask >> (block_bytes - 3)) == 0;
}

__attribute__((target("ssse3"))) inline bool valid_utf8_ssse3(const char* data, std::size_t size) {
  __m128i previous = _mm_setzero_si128();
  __m128i errors = _mm_setzero_si128();
  std::size_t offset = 0;
  // Text that is mostly ASCII passes at the speed of a load: 32 bytes of ASCII after an ASCII end
  // need no classification.
  for (bool ascii_end = true; offset + 32 <= size; offset += 32) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + offset));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + offset + 16));
    if (ascii_end && _mm_movemask_epi8(_mm_or_si128(first, second)) == 0) {
      previous = second;
      continue;
    }
    errors = _mm_or_si128(errors, block_errors(first, previous));
    errors = _mm_or_si128(errors, block_errors(second, first));
    previous = second;
    ascii_end = ends_in_ascii(static_cast<unsigned>(_mm_movemask_epi8(second)), 16);
  }
  for (; offset + 16 <= size; offset += 16) {
    const __m128i input = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + offset));
    errors = _mm_or_si128(errors, block_errors(input, previous));
    previous = input;
  }
  // The rest, padded with NUL bytes: a sequence cut off at the end then meets ASCII.
  char last[16] = {};
  std::memcpy(last, data + offset, size - offset);
  errors = _mm_or_si128(
      errors, block_errors(_mm_loadu_si128(reinterpret_cast<const __m128i*>(last)), previous));
  return _mm_movemask_epi8(_mm_cmpeq_epi8(errors, _mm_setzero_si128())) == 0xFFFF;
}

// The same check 32 bytes at a time: each 16-byte lane is classified as above, with the byte
// pairs across the lane boundary taken from the lane before.
__attribute__((target("avx2"))) inline __m256i lookup(const unsigned char (&table)[16],
                                                      __m256i index) {
  const __m256i both_lanes =
      _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
  return _mm256_shuffle_epi8(both_lanes, index);
}

__attribute__((target("avx2"))) inline __m256i block_errors(__m256i input, __m256i previous) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  // The 32 bytes before `input`'s bytes, lane by lane: the previous block's high lane, then
  // `input`'s low lane.
  const __m256i before = _mm256_permute2x128_si256(previous, input, 0x21);
  const __m256i previous_1 = _mm256_alignr_epi8(input, before, 15);
  const __m256i byte_1_high =
      lookup(byte_1_high_table, _mm256_and_si256(_mm256_srli_epi16(previous_1, 4), nibble));
  const __m256i byte_1_low = lookup(byte_1_low_table, _mm256_and_si256(previous_1, nibble));
  const __m256i byte_2_high =
      lookup(byte_2_high_table, _mm256_and_si256(_mm256_srli_epi16(input, 4), nibble));
  const __m256i special = _mm256_and_si256(_mm256_and_si256(byte_1_high, byte_1_low), byte_2_high);

  const __m256i previous_2 = _mm256_alignr_epi8(input, before, 14);
  const __m256i previous_3 = _mm256_alignr_epi8(input, before, 13);
  const __m256i third = _mm256_subs_epu8(previous_2, _mm256_set1_epi8(static_cast<char>(0xE0 - 1)));
  const __m256i fourth =
      _mm256_subs_epu8(previous_3, _mm256_set1_epi8(static_cast<char>(0xF0 - 1)));
  const __m256i must_continue =
      _mm256_andnot_si256(_mm256_cmpeq_epi8(_mm256_or_si256(third, fourth), _mm256_setzero_si256()),
                          _mm256_set1_epi8(static_cast<char>(two_continuations)));
  return _mm256_xor_si256(must_continue, special);
}

__attribute__((target("avx2"))) inline bool valid_utf8_avx2(const char* data, std::size_t size) {
  __m256i previous = _mm256_setzero_si256();
  __m256i errors = _mm256_setzero_si256();
  std::size_t offset = 0;
  for (bool ascii_end = true; offset + 64 <= size; offset += 64) {
    const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + offset));
    const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + offset + 32));
    if (ascii_end && _mm256_movemask_epi8(_mm256_or_si256(first, second)) == 0) {
      previous = second;
      continue;
    }
    errors = _mm256_or_si256(errors, block_errors(first, previous));
    errors = _mm256_or_si256(errors, block_errors(second, first));
    previous = second;
    ascii_end = ends_in_ascii(static_cast<unsigned>(_mm256_movemask_epi8(second)), 32);
  }
  for (; offset + 32 <= size; offset += 32) {
    const __m256i input = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + offset));
    errors = _mm256_or_si256(errors, block_errors(input, previous));
    previous = input;
  }
  char last[32] = {};
  std::memcpy(last, data + offset, size - offset);
  errors = _mm256_or_si256(
      errors, block_errors(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(last)), previous));
  return _mm256_testz_si256(errors, errors) != 0;
}

}  // namespace utf8_detail
#endif

// Whether data[0, size) is valid UTF-8.
inline bool valid_utf8(const char* data, std::size_t size) {
#ifdef TEXTSIFT_UTF8_SSSE3
  static const int vectors = __builtin_cpu_supports("avx2")    ? 2
                             : __builtin_cpu_supports("ssse3") ? 1
                                                               : 0;
  if (vectors == 2) return utf8_detail::valid_utf8_avx2(data, size);
  if (vectors == 1) return utf8_detail::valid_utf8_ssse3(data, size);
#endif
  return valid_utf8_scalar(data, size);
}

// The UTF-8 bytes of code point `value` (at most U+10FFFF).
inline std::string utf8_encode(std::uint32_t value) {
  std::string out;
  if (value < 0x80) {
    out += static_cast<char>(value);
  } else if (value < 0x800) {
    out += static_cast<char>(0xC0 | (value >> 6));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    out += static_cast<char>(0xE0 | (value >> 12));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (value >> 18));
    out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  }
  return out;
}

}  // namespace textsift::search
