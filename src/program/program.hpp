// The program's name and version, as the help text and the usage hint show them.
#pragma once

namespace textsift {

constexpr const char* program_name = "textsift";
constexpr const char* program_version = "1.0";

}  // namespace textsift
