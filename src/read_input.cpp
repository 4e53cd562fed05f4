#include "read_input.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "templates/large_buffer.hpp"

namespace textsift {
namespace {

constexpr std::size_t block_size = 1 << 20;

// Waits for `events` on `fd`, retrying after signals; a negative timeout waits for ever.
// Returns the reported events, or 0 on timeout or failure.
short poll_one(int fd, short events, int timeout_ms) {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, timeout_ms);
    if (ready > 0) return entry.revents;
    if (ready == 0 || errno != EINTR) return 0;
    if (timeout_ms >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
      timeout_ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
  }
}

// How much room to make for the whole input: a regular file tells its size up front, so the
// buffer is allocated once (one byte more, to see the end without growing).
std::size_t expected_size(int fd, std::size_t max_size) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return block_size;
  const off_t offset = std::max<off_t>(lseek(fd, 0, SEEK_CUR), 0);
  const off_t left = std::max<off_t>(info.st_size - offset, 0);
  return std::min(static_cast<std::size_t>(left), max_size) + 1;
}

// The failure for an input of more than `max_size` bytes.
std::string too_large(std::size_t max_size) {
  return "Input larger than " + std::to_string(max_size) + " bytes";
}

// Mapping pays off from here on: below it, reading costs little.
constexpr std::size_t map_threshold = std::size_t{1} << 20;

// A mapped file that another process truncates raises SIGBUS where its pages are gone. Nothing
// can be recovered there: the run ends as failures do, with one line and status 1.
extern "C" void on_truncated_input(int) {
  const char* const parts[] = {"Error: ", "Input file shrank while being read", "\n"};
  for (const char* part : parts) {
    if (write(STDERR_FILENO, part, std::strlen(part)) < 0) break;
  }
  _exit(1);
}

}  // namespace

void input_text::unmapper::operator()(void* address) const {
  munmap(address, length);
}

std::optional<input_text> input_text::map_file(int fd, std::size_t offset, std::size_t size) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t start = offset / page * page;
  const std::size_t length = offset - start + size;
  void* address = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(start));
  if (address == MAP_FAILED) return std::nullopt;
  std::optional<input_text> text{input_text{std::string()}};
  text->mapping_ = std::unique_ptr<void, unmapper>(address, unmapper{length});
  text->mapped_ = std::string_view(static_cast<const char*>(address) + (offset - start), size);
  return text;
}

void wait_for_input(int fd, int terminal_timeout_ms) {
  const int timeout = isatty(fd) ? terminal_timeout_ms : -1;
  const short events = poll_one(fd, POLLIN, timeout);
  if ((events & (POLLIN | POLLHUP)) == 0 || (events & POLLNVAL) != 0) {
    throw "Pipe in your text data.";
  }
}

std::string read_all_stdin(int fd, std::size_t max_size) {
  std::string text;
  templates::reserve_large(text, expected_size(fd, max_size));
  std::size_t length = 0;
  for (;;) {
    if (text.capacity() == length) templates::reserve_large(text, 2 * length);
    // Read block by block, so that only a block at a time is cleared before the read fills it,
    // and ask for at most one byte beyond the limit: enough to know it was passed.
    const std::size_t room =
        std::min({text.capacity() - length, block_size, max_size + 1 - length});
    text.resize(length + room);
    const ssize_t got = read(fd, &text[length], room);
    if (got > 0) {
      length += static_cast<std::size_t>(got);
      if (length > max_size) {
        throw too_large(max_size);
      }
    } else if (got == 0) {
      break;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      poll_one(fd, POLLIN, -1);  // a non-blocking descriptor: wait, then read again
    } else if (errno != EINTR) {
      throw "Failed to read from stdin";
    }
  }
  text.resize(length);
  return text;
}

input_text read_input(int fd, std::size_t max_size) {
  struct stat info {};
  const off_t offset = lseek(fd, 0, SEEK_CUR);
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && offset >= 0 && info.st_size > offset) {
    const auto size = static_cast<std::size_t>(info.st_size - offset);
    if (size > max_size) {
      throw too_large(max_size);
    }
    if (size >= map_threshold) {
      std::optional<input_text> mapped =
          input_text::map_file(fd, static_cast<std::size_t>(offset), size);
      if (mapped) {
        signal(SIGBUS, on_truncated_input);
        lseek(fd, info.st_size, SEEK_SET);
        return std::move(*mapped);
      }
    }
  }
  return input_text(read_all_stdin(fd, max_size));
}

}  // namespace textsift
