// How far before the point where a search starts the engine may read the text: lookbehinds,
// and the assertions that look at the character before them. Output that overwrites the text
// the search has left behind must keep that much of it.
#pragma once

#include <cstdint>

#include "templates/pattern_reader.hpp"

namespace templates {

// The most characters before a search's starting point that a search of `syntax` may read,
// given the library's longest lookbehind `max_lookbehind` (in characters, as the library
// reports it); `unbounded` when the reading is unknown or the pattern calls groups as
// subroutines, whose lengths inside a lookbehind the library does not report.
std::int64_t look_back_characters(const pattern_syntax& syntax, int max_lookbehind);

}  // namespace templates
