// Runs the built binary as a child process with chosen standard streams, for end-to-end tests.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace test {

enum class input_mode { pipe, closed, file, terminal };
enum class output_mode { pipe, closed, file };

struct run_request {
  std::vector<std::string> args;  // after the program name
  input_mode input = input_mode::pipe;
  std::vector<std::string> chunks;  // written to the input pipe in order, then it is closed
  int chunk_delay_ms = 0;           // pause before each chunk
  std::string input_path;           // for input_mode::file (a file or a directory)
  output_mode output = output_mode::pipe;
  std::string output_path;        // for output_mode::file
  std::string program;            // defaults to the binary under test
  std::size_t stdout_limit = 0;   // output_mode::pipe: stop reading and close after this many bytes
  std::size_t address_space = 0;  // a limit on the child's address space in bytes, 0 for none
  std::size_t stack = 0;          // a limit on the child's stack in bytes, 0 for the inherited one
  bool without_jit = false;       // refuse the child executable memory, so the JIT cannot work
  std::string preload;            // a library to preload into the child, "" for none
};

// The binary under test: TEXTSIFT_TEST_BINARY when set (such as an installed package's binary),
// otherwise the one this build made.
std::string binary();

// The command that runs the binary under test: TEXTSIFT_TEST_WRAPPER (for example a valgrind
// command line), when set, goes in front of it.
std::vector<std::string> wrapper();

// Whether the binary under test runs under ThreadSanitizer, whose runtime a preloaded library
// that wraps mmap or pthread_create breaks: such runs are left out there.
constexpr bool thread_sanitized = TEXTSIFT_THREAD_SANITIZED;

// Whether runs go through such a wrapper. A wrapper opens descriptors of its own, which can take
// the place of a standard stream that a case closes on purpose.
bool wrapped();

struct run_result {
  std::string out;
  std::string err;
  int status = -1;  // the exit status, or 128 + signal number
};

run_result run(const run_request& request);

// Shorthand: the binary with `args`, `input` piped in, with or without JIT.
run_result run(const std::vector<std::string>& args, const std::string& input,
               bool without_jit = false);

}  // namespace test
