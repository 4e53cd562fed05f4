// Finding literals in a text at memory speed. One literal: two bytes of it, the rarest ones in
// typical text, are compared at every position of a vector at once, and only where both agree is
// the whole literal compared. A set of literals: the first bytes of all of them are looked up at
// every position of a vector through tables of their half bytes, which sort the literals into
// eight buckets, and only the literals of the buckets that agree are compared. The scans are
// written once over a vector type (vector_scans.inc); a finder takes the scans of one width when
// it is built.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "search/literal.hpp"
#include "search/literal_scan.hpp"
#include "search/vector_scans.hpp"

namespace textsift::search {

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
  static constexpr std::size_t npos = no_position;

  literal_finder() = default;

  // `literal` must not be empty. With `caseless`, each ASCII letter matches both of its cases;
  // every other byte matches only itself. Searches run at `width`, which this CPU must run.
  literal_finder(const std::string& literal, bool caseless, vector_width width = widest_width())
      : scans_(&scans_at(width)) {
    scan_.caseless = caseless;
    fold_case(literal, caseless, scan_.folded, scan_.mask);
    const std::string& folded = scan_.folded;
    const auto rarer = [&folded](std::size_t a, std::size_t b) {
      return byte_commonness(static_cast<unsigned char>(folded[a])) <
             byte_commonness(static_cast<unsigned char>(folded[b]));
    };
    std::size_t& probe = scan_.probe;
    std::size_t& other = scan_.other_probe;
    for (std::size_t i = 1; i < folded.size(); ++i) {
      if (rarer(i, probe)) probe = i;
    }
    other = probe == 0 ? folded.size() - 1 : 0;
    for (std::size_t i = 0; i < folded.size(); ++i) {
      if (i != probe && rarer(i, other)) other = i;
    }
    if (other < probe) std::swap(probe, other);
  }

  std::size_t size() const { return scan_.folded.size(); }
  vector_width width() const { return scans_->width; }

  // The first position at or after `from` where the literal occurs in text[0, size), or npos.
  std::size_t find(const char* text, std::size_t size, std::size_t from) const {
    const std::size_t length = scan_.folded.size();
    if (length == 0 || size < length || from > size - length) return npos;
    if (!scan_.caseless && length == 1) {
      const void* found = std::memchr(text + from, scan_.folded[0], size - from);
      return found ? static_cast<const char*>(found) - text : npos;
    }
    std::size_t position = scans_->literal(scan_, text, size, from);
    for (; position + length <= size; ++position) {
      if (scan_.matches_at(text + position)) return position;
    }
    return npos;
  }

 private:
  literal_scan scan_;
  const vector_scans* scans_ = &scans_at(vector_width::word);
};

// A set of literals to look for, each exactly or with ASCII letters in either case.
class literal_set_finder {
 public:
  static constexpr std::size_t npos = no_position;
  using occurrence = search::occurrence;

  literal_set_finder() = default;

  // `literals` holds 1 to 256 literals, none of them empty. Searches run at `width`, which this
  // CPU must run.
  explicit literal_set_finder(const std::vector<literal>& literals,
                              vector_width width = widest_width())
      : scans_(&scans_at(width)) {
    if (literals.size() == 1) {
      single_ = literal_finder(literals.front().bytes, literals.front().caseless, width);
    }
    std::size_t shortest = SIZE_MAX;
    for (const literal& each : literals) {
      shortest = std::min(shortest, each.bytes.size());
      scan_.folded.emplace_back();
      scan_.masks.emplace_back();
      fold_case(each.bytes, each.caseless, scan_.folded.back(), scan_.masks.back());
      scan_.heads.push_back(head_of(scan_.folded.back(), scan_.masks.back()));
    }
    scan_.shortest = shortest;
    // With more literals than buckets, a bucket's half bytes admit more text: one byte more
    // keeps the candidates few.
    scan_.fingerprint = std::min<std::size_t>(literals.size() > 8 ? 4 : 3, shortest);
    assign_buckets();
  }

  std::size_t size() const { return scan_.folded.size(); }
  std::size_t length(std::size_t index) const { return scan_.folded[index].size(); }
  vector_width width() const { return scans_->width; }

  // The first position at or after `from` where a literal of the set occurs in text[0, size),
  // with the first literal in the set's order that occurs there; position npos when none does.
  occurrence find(const char* text, std::size_t size, std::size_t from) const {
    if (scan_.folded.size() == 1) return {single_.find(text, size, from), 0};
    return find_in_set(text, size, from);
  }

 private:
  occurrence find_in_set(const char* text, std::size_t size, std::size_t from) const {
    const std::size_t shortest = scan_.shortest;
    if (scan_.folded.empty() || size < shortest || from > size - shortest) return {};
    std::size_t position = from;
    const occurrence found = scans_->set[scan_.fingerprint - 1](scan_, text, size, position);
    if (found.position != npos) return found;
    for (; position + shortest <= size; ++position) {
      const unsigned buckets = scan_.first_byte_buckets[static_cast<unsigned char>(text[position])];
      const std::size_t index = buckets ? scan_.first_match(text, size, position, buckets) : npos;
      if (index != npos) return {position, index};
    }
    return {};
  }

  // Each literal joins the bucket whose tables then admit the fewest new byte strings (one
  // literal alone admits one; literals that begin alike admit no more than one of them), so that
  // few places of a text pass the tables without holding a literal.
  void assign_buckets() {
    for (std::size_t index = 0; index < scan_.folded.size(); ++index) {
      unsigned best = 0;
      double best_growth = 0;
      for (unsigned bucket = 0; bucket < 8; ++bucket) {
        const double growth = admitted(bucket, index) - admitted(bucket, npos);
        if (bucket == 0 || growth < best_growth) {
          best = bucket;
          best_growth = growth;
        }
      }
      scan_.members[best].push_back(index);
      for (std::size_t j = 0; j < scan_.fingerprint; ++j) {
        const unsigned char byte = static_cast<unsigned char>(scan_.folded[index][j]);
        mark(j, byte, 1u << best);
        if (scan_.masks[index][j] != 0) mark(j, byte & ~0x20u, 1u << best);
      }
    }
  }

  // How many strings of fingerprint bytes the tables of `bucket` admit, with literal `extra`
  // added (npos: none).
  double admitted(unsigned bucket, std::size_t extra) const {
    if (scan_.members[bucket].empty() && extra == npos) return 0;
    double product = 1;
    for (std::size_t j = 0; j < scan_.fingerprint; ++j) {
      unsigned low = 0, high = 0;
      for (unsigned half = 0; half < 16; ++half) {
        low |= (scan_.low[j][half] >> bucket & 1u) << half;
        high |= (scan_.high[j][half] >> bucket & 1u) << half;
      }
      if (extra != npos) {
        const unsigned char byte = static_cast<unsigned char>(scan_.folded[extra][j]);
        low |= 1u << (byte & 15);
        high |= 1u << (byte >> 4);
        if (scan_.masks[extra][j] != 0) high |= 1u << ((byte & ~0x20u) >> 4);
      }
      product *= __builtin_popcount(low) * __builtin_popcount(high);
    }
    return product;
  }

  void mark(std::size_t j, unsigned char byte, unsigned bit) {
    scan_.low[j][byte & 15] = static_cast<unsigned char>(scan_.low[j][byte & 15] | bit);
    scan_.high[j][byte >> 4] = static_cast<unsigned char>(scan_.high[j][byte >> 4] | bit);
    if (j == 0) scan_.first_byte_buckets[byte] |= static_cast<std::uint8_t>(bit);
  }

  static set_scan::head head_of(const std::string& folded, const std::string& mask) {
    set_scan::head result;
    const std::size_t length = std::min<std::size_t>(8, folded.size());
    std::memcpy(&result.folded, folded.data(), length);
    std::memcpy(&result.mask, mask.data(), length);
    std::memset(&result.keep, 0xff, length);
    return result;
  }

  literal_finder single_;  // the one literal of a set of one
  set_scan scan_;
  const vector_scans* scans_ = &scans_at(vector_width::word);
};

}  // namespace textsift::search
