#include "process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace test {
namespace {

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + std::to_string(errno));
}

// Child side: wires `fd` to `target`, or closes `target` when fd is negative.
void wire(int fd, int target) {
  if (fd < 0) {
    close(target);
  } else if (fd != target) {
    dup2(fd, target);
    close(fd);
  }
}

// Reads what the child writes to `out` and `err` while feeding `in` (negative: nothing to feed).
void exchange(int in, int out, int err, const run_request& request, run_result& result) {
  std::size_t chunk = 0, offset = 0;
  auto next_write_time =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(request.chunk_delay_ms);
  while (out >= 0 || err >= 0 || in >= 0) {
    if (in >= 0 && chunk == request.chunks.size()) {
      close(in);
      in = -1;
      continue;
    }
    pollfd fds[3] = {{out, POLLIN, 0}, {err, POLLIN, 0}, {-1, POLLOUT, 0}};
    int timeout = -1;
    if (in >= 0) {
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
          next_write_time - std::chrono::steady_clock::now());
      if (wait.count() <= 0) {
        fds[2].fd = in;
      } else {
        timeout = static_cast<int>(wait.count());
      }
    }
    const int ready = poll(fds, 3, timeout);
    if (ready < 0 && errno == EINTR) continue;
    check(ready >= 0, "poll");
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const bool limited = i == 0 && request.stdout_limit != 0;
      const std::size_t want =
          limited ? std::min(sizeof buffer, request.stdout_limit - result.out.size())
                  : sizeof buffer;
      const ssize_t got = read(fds[i].fd, buffer, want);
      if (got > 0) {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
      }
      const bool enough = limited && result.out.size() >= request.stdout_limit;
      if (got <= 0 || enough) {
        close(fds[i].fd);
        (i == 0 ? out : err) = -1;
      }
    }
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      const std::string& data = request.chunks[chunk];
      const ssize_t put = data.empty() ? 0 : write(in, data.data() + offset, data.size() - offset);
      if (put < 0) {  // the child stopped reading
        close(in);
        in = -1;
        continue;
      }
      offset += static_cast<std::size_t>(put);
      if (offset == data.size()) {
        ++chunk;
        offset = 0;
        next_write_time =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(request.chunk_delay_ms);
      }
    }
  }
}

}  // namespace

run_result run(const run_request& request) {
  signal(SIGPIPE, SIG_IGN);  // a child that stops reading must not end the test
  int in_pipe[2] = {-1, -1}, out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
  int terminal = -1, terminal_child = -1;
  check(pipe2(err_pipe, O_CLOEXEC) == 0, "pipe");
  if (request.output == output_mode::pipe) check(pipe2(out_pipe, O_CLOEXEC) == 0, "pipe");
  if (request.input == input_mode::pipe) check(pipe2(in_pipe, O_CLOEXEC) == 0, "pipe");
  if (request.input == input_mode::terminal) {
    check(openpty(&terminal, &terminal_child, nullptr, nullptr, nullptr) == 0, "openpty");
  }
  std::vector<std::string> command =
      request.program.empty() ? wrapper() : std::vector<std::string>{};
  command.push_back(request.program.empty() ? binary() : request.program);
  command.insert(command.end(), request.args.begin(), request.args.end());
  std::vector<char*> argv;
  for (std::string& part : command) argv.push_back(part.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  check(child >= 0, "fork");
  if (child == 0) {
    // SIGPIPE stays ignored, as some parents leave it: the program must cope by itself.
    if (request.address_space != 0) {
      const rlimit limit{request.address_space, request.address_space};
      setrlimit(RLIMIT_AS, &limit);
    }
    if (request.stack != 0) {
      const rlimit limit{request.stack, request.stack};
      setrlimit(RLIMIT_STACK, &limit);
    }
    const std::string preload = request.without_jit ? TEXTSIFT_NO_EXEC_MEMORY : request.preload;
    if (!preload.empty()) {
      setenv("LD_PRELOAD", preload.c_str(), 1);
      // A sanitized build wants its runtime first among the loaded libraries.
      setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    }
    int input = -1;
    if (request.input == input_mode::pipe) input = in_pipe[0];
    if (request.input == input_mode::file) input = open(request.input_path.c_str(), O_RDONLY);
    if (request.input == input_mode::terminal) input = terminal_child;
    int output = -1;
    if (request.output == output_mode::pipe) output = out_pipe[1];
    if (request.output == output_mode::file) output = open(request.output_path.c_str(), O_WRONLY);
    wire(input, STDIN_FILENO);
    wire(output, STDOUT_FILENO);
    wire(err_pipe[1], STDERR_FILENO);
    if (input >= 0) fcntl(STDIN_FILENO, F_SETFD, 0);
    if (output >= 0) fcntl(STDOUT_FILENO, F_SETFD, 0);
    fcntl(STDERR_FILENO, F_SETFD, 0);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  for (int fd : {in_pipe[0], out_pipe[1], err_pipe[1], terminal_child}) {
    if (fd >= 0) close(fd);
  }
  run_result result;
  exchange(in_pipe[1], out_pipe[0], err_pipe[0], request, result);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (terminal >= 0) close(terminal);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string binary() {
  const char* installed = std::getenv("TEXTSIFT_TEST_BINARY");
  return installed != nullptr && *installed != '\0' ? installed : TEXTSIFT_BINARY;
}

std::vector<std::string> wrapper() {
  std::vector<std::string> words;
  const char* text = std::getenv("TEXTSIFT_TEST_WRAPPER");
  std::istringstream split(text != nullptr ? text : "");
  for (std::string word; split >> word;) words.push_back(word);
  return words;
}

bool wrapped() {
  return !wrapper().empty();
}

run_result run(const std::vector<std::string>& args, const std::string& input, bool without_jit) {
  run_request request;
  request.args = args;
  request.chunks = {input};
  request.without_jit = without_jit;
  return run(request);
}

}  // namespace test
