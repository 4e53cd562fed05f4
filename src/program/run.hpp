// The run sequence: options, expressions, input, report, application, output.
#pragma once

namespace textsift {

// Runs the filter for the command line `argv` (argc entries, the program name first) on
// standard input and output. Returns the exit status: 0 after a successful run and after the
// version line, 1 after the help text. Throws a failure (messages/messages.hpp) for everything
// else; nothing has been written to standard output then.
int run(int argc, const char* const argv[]);

}  // namespace textsift
