#include "program/version.hpp"

#include <pcre.h>

#include "program/program.hpp"
#include "templates/pcre_binding.hpp"

namespace textsift {

std::string version_line() {
  return std::string(program_name) + " " + program_version + " (PCRE " + pcre_version() + ", " +
         (templates::jit_available() ? "JIT" : "no JIT") + ")";
}

}  // namespace textsift
