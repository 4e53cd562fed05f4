// Runs the built binary as a child process with chosen standard streams, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace test {

enum class input_mode { pipe, closed, file, terminal };
enum class output_mode { pipe, closed, file };

struct run_spec {
  std::vector<std::string> args;  // after the program name
  input_mode input = input_mode::pipe;
  std::vector<std::string> chunks;  // written to the input pipe in order, then it is closed
  int chunk_delay_ms = 0;           // pause before each chunk
  std::string input_path;           // for input_mode::file (a file or a directory)
  output_mode output = output_mode::pipe;
  std::string output_path;  // for output_mode::file
  std::string program;      // defaults to the binary under test
};

struct run_result {
  std::string out;
  std::string err;
  int status = -1;  // the exit status, or 128 + signal number
};

run_result run(const run_spec& spec);

// Shorthand: the binary with `args`, `input` piped in.
run_result run(const std::vector<std::string>& args, const std::string& input);

}  // namespace test
