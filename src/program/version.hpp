// The answer to "--version".
#pragma once

#include <string>

namespace textsift {

// "textsift 1.0 (PCRE <library version>, JIT)", with "no JIT" in place of "JIT" when the library
// cannot JIT-compile here. No line break.
std::string version_line();

}  // namespace textsift
