// The vector scans of each width: every scan written once over the vector type of a width
// (vector_scans.inc) and compiled once per width. A searcher takes the scans of one width when it
// is built, and calls them through this table.
#pragma once

#include <cstddef>

#include "search/literal_scan.hpp"
#include "search/vector.hpp"

namespace textsift::search {

struct vector_scans {
  vector_width width;
  // From `position`, the first position where the literal occurs, or where the vector loop
  // stopped (less than a vector and the literal from the end), which the caller scans on.
  std::size_t (*literal)(const literal_scan& scan, const char* text, std::size_t size,
                         std::size_t position);
  // From `position`, the first occurrence of a literal of the set that the vector loop finds;
  // none, with `position` where the loop stopped, which the caller scans on. One scan per
  // fingerprint length, 1 to 4.
  occurrence (*set[4])(const set_scan& scan, const char* text, std::size_t size,
                       std::size_t& position);
  // Whether data[0, size) is valid UTF-8 (RFC 3629, as the engine defines it).
  bool (*utf8)(const char* data, std::size_t size);
};

// The scans of `width`, which this CPU must run (cpu_has).
const vector_scans& scans_at(vector_width width);

}  // namespace textsift::search
