// Literals prepared for the vector scans (vector_scans.inc): what a scan of one literal and of a
// set of literals reads, and the byte-by-byte comparisons that confirm a candidate.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "search/literal.hpp"

namespace textsift::search {

constexpr std::size_t no_position = std::string::npos;

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

// Where a literal of a set occurs, and which one (its index in the set).
struct occurrence {
  std::size_t position = no_position;
  std::size_t index = 0;
};

// One literal: its bytes folded, and the two rarest of them, which the scans compare first.
struct literal_scan {
  std::string folded;  // the literal, letters in lower case when caseless
  std::string mask;    // 0x20 at each letter when caseless, else 0: text | mask == folded
  bool caseless = false;
  std::size_t probe = 0, other_probe = 0;  // the rarest two positions, in order

  // Whether the literal occurs at `candidate`. A loop beats a call for the short literals that
  // patterns mostly hold; the mask is zero when case matters.
  bool matches_at(const char* candidate) const {
    if (!caseless && folded.size() > 16) {
      return std::memcmp(candidate, folded.data(), folded.size()) == 0;
    }
    for (std::size_t i = 0; i < folded.size(); ++i) {
      if ((candidate[i] | mask[i]) != folded[i]) return false;
    }
    return true;
  }
};

// A set of literals: each folded, sorted into eight buckets, and for each bucket a bit in two
// tables per fingerprint byte j, indexed by the low and by the high half of a text byte, where
// some literal of the bucket has a byte with that half at j.
struct set_scan {
  // The first eight bytes of a literal as one word, in the order of memory: `keep` covers the
  // literal's own bytes, `mask` its letters that match either case.
  struct head {
    std::uint64_t folded = 0, mask = 0, keep = 0;
  };

  std::vector<std::string> folded;  // each literal, letters in lower case where caseless
  std::vector<std::string> masks;   // 0x20 at each such letter, else 0: text | mask == folded
  std::vector<head> heads;
  std::size_t shortest = 0;
  std::size_t fingerprint = 0;          // how many first bytes the tables describe: 1 to 4
  std::vector<std::size_t> members[8];  // the literals of each bucket, in order
  unsigned char low[4][16] = {};        // buckets of the literals whose byte j has this low half
  unsigned char high[4][16] = {};       // ... and this high half
  std::uint8_t first_byte_buckets[256] = {};

  // Whether literal `index` occurs at `candidate`, which has `room` bytes of text from it on
  // (at least the literal's length). Where eight bytes can be read, its first eight (or fewer)
  // are compared at once.
  bool matches_at(std::size_t index, const char* candidate, std::size_t room) const {
    const std::string& bytes = folded[index];
    const std::string& letters = masks[index];
    std::size_t i = 0;
    if (room >= 8) {
      const head& first = heads[index];
      std::uint64_t word = 0;
      std::memcpy(&word, candidate, 8);
      if (((word | first.mask) & first.keep) != first.folded) return false;
      i = std::min<std::size_t>(8, bytes.size());
    }
    for (; i < bytes.size(); ++i) {
      if ((candidate[i] | letters[i]) != bytes[i]) return false;
    }
    return true;
  }

  // The first literal in order, among those of `buckets`, that occurs at `position`, or
  // no_position.
  std::size_t first_match(const char* text, std::size_t size, std::size_t position,
                          unsigned buckets) const {
    std::size_t best = no_position;
    for (; buckets != 0; buckets &= buckets - 1) {
      for (const std::size_t index : members[__builtin_ctz(buckets)]) {
        if (index >= best) break;
        if (position + folded[index].size() <= size &&
            matches_at(index, text + position, size - position)) {
          best = index;
          break;
        }
      }
    }
    return best;
  }
};

}  // namespace textsift::search
