// The help text of "-h" and "--help".
#pragma once

namespace textsift {

// Writes the help text to standard error, each line followed by a line break and a flush. The
// stream state is not checked.
void print_help();

}  // namespace textsift
