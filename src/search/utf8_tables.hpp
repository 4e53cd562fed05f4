// The tables of the vector UTF-8 check (vector_scans.inc): each byte is classified together with
// the one before it by three half-byte lookups, whose AND is non-zero exactly for an invalid pair.
#pragma once

namespace textsift::search::utf8_detail {

// The kinds of fault of a pair of bytes, a bit each, and the tables that give them by the half
// bytes of the pair.
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

}  // namespace textsift::search::utf8_detail
