#include "io/read_input.hpp"

#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <new>
#include <system_error>
#include <thread>

#include "io/large_buffer.hpp"
#include "messages/messages.hpp"

namespace textsift {
namespace {

// Reads ask for at most a block; a pipe's first read asks for less, and each later one for as
// much as has arrived, so that a short input clears and touches only a few pages before the
// read fills them.
constexpr std::size_t block_size = 1 << 20;
constexpr std::size_t first_block_size = 64 << 10;

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
// buffer is made once (one byte more, to see the end without growing).
std::size_t expected_size(int fd, std::size_t max_size) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return first_block_size;
  const off_t offset = std::max<off_t>(lseek(fd, 0, SEEK_CUR), 0);
  const off_t left = std::max<off_t>(info.st_size - offset, 0);
  return std::min(static_cast<std::size_t>(left), max_size - std::min<std::size_t>(max_size, 1)) +
         1;
}

// The failure for an input of more than `max_size` bytes.
failure too_large(std::size_t max_size) {
  return failure(messages::fill(messages::input_too_large, std::to_string(max_size)));
}

// From this size on a regular file is read into a buffer of its own, sized once and never
// cleared before the reads fill it.
constexpr std::size_t own_buffer_bytes = std::size_t{1} << 20;

// From this size on the two halves of a file are read at once, each by its own thread, and the
// second begins at a huge page of the buffer, so that the two never fill the same one.
constexpr std::size_t halves_bytes = std::size_t{4} << 20;
constexpr std::size_t huge_page = huge_page_bytes;

// Reads text[begin, end) from the file's bytes at `offset + begin`; with `check`, each block is
// checked as UTF-8 as soon as it is in, while it is still in cache. Returns null, or the failure.
const messages::shape<0>* read_part(int fd, std::size_t offset, char* text, std::size_t begin,
                                    std::size_t end, search::utf8_running_check* check) {
  for (std::size_t at = begin; at < end;) {
    const ssize_t got =
        pread(fd, text + at, std::min(block_size, end - at), static_cast<off_t>(offset + at));
    if (got > 0) {
      at += static_cast<std::size_t>(got);
      if (check != nullptr) check->advance(text, at);
    } else if (got == 0) {
      return &messages::input_shrank;
    } else if (errno != EINTR) {
      return &messages::read_failed;
    }
  }
  return nullptr;
}

}  // namespace

input_text input_text::read_file(int fd, std::size_t offset, std::size_t size, bool check_utf8) {
  text_buffer buffer(size);
  char* const text = buffer.data();
  // The second half begins at a huge page of the buffer, so that the two never fill the same one.
  const std::size_t split = size >= halves_bytes ? size / 2 / huge_page * huge_page : size;
  search::utf8_running_check first_check, second_check(split, true);
  const messages::shape<0>* second_failure = nullptr;
  std::thread second_half;
  if (split < size) {
    try {
      second_half = std::thread([&] {
        second_failure =
            read_part(fd, offset, text, split, size, check_utf8 ? &second_check : nullptr);
        if (check_utf8 && second_failure == nullptr) second_check.finish(text, size);
      });
    } catch (const std::system_error&) {  // no thread to be had: all of it is read here
    } catch (const std::bad_alloc&) {
    }
  }
  const bool halves = second_half.joinable();
  const messages::shape<0>* failed =
      read_part(fd, offset, text, 0, halves ? split : size, check_utf8 ? &first_check : nullptr);
  if (halves) second_half.join();
  if (failed == nullptr) failed = second_failure;
  if (failed != nullptr) throw failure(messages::fill(*failed));

  buffer.resize(size);
  search::utf8_known known = search::utf8_known::unknown;
  if (check_utf8) {
    first_check.finish(text, halves ? second_check.begin() : size);
    const bool valid = first_check.valid() && (!halves || second_check.valid());
    known = valid ? search::utf8_known::valid : search::utf8_known::invalid;
  }
  return input_text(std::move(buffer), known);
}

void wait_for_input(int fd, int terminal_timeout_ms) {
  const int timeout = isatty(fd) ? terminal_timeout_ms : -1;
  const short events = poll_one(fd, POLLIN, timeout);
  if ((events & (POLLIN | POLLHUP)) == 0 || (events & POLLNVAL) != 0) {
    throw failure(messages::fill(messages::no_input));
  }
}

text_buffer read_all_stdin(int fd, std::size_t max_size, search::utf8_running_check* check) {
  text_buffer text(expected_size(fd, max_size));
  std::size_t length = 0;
  for (;;) {
    if (text.capacity() == length) text.reserve(2 * length);
    // Read block by block, so that only a block at a time is touched before the read fills it,
    // and ask for at most one byte beyond the limit: enough to know it was passed.
    const std::size_t left = max_size - std::min(max_size, length);
    const std::size_t room =
        std::min({text.capacity() - length, block_size, std::max(first_block_size, length),
                  left < SIZE_MAX ? left + 1 : left});
    const ssize_t got = read(fd, text.data() + length, room);
    if (got > 0) {
      length += static_cast<std::size_t>(got);
      if (length > max_size) {
        throw too_large(max_size);
      }
      if (check != nullptr) check->advance(text.data(), length);
    } else if (got == 0) {
      break;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      poll_one(fd, POLLIN, -1);  // a non-blocking descriptor: wait, then read again
    } else if (errno != EINTR) {
      throw failure(messages::fill(messages::read_failed));
    }
  }
  text.resize(length);
  if (check != nullptr) check->finish(text.data(), length);
  return text;
}

input_text read_input(int fd, std::size_t max_size, bool check_utf8) {
  struct stat info {};
  const off_t offset = lseek(fd, 0, SEEK_CUR);
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && offset >= 0 && info.st_size > offset) {
    const auto size = static_cast<std::size_t>(info.st_size - offset);
    if (size > max_size) {
      throw too_large(max_size);
    }
    if (size >= own_buffer_bytes) {
      input_text input =
          input_text::read_file(fd, static_cast<std::size_t>(offset), size, check_utf8);
      lseek(fd, info.st_size, SEEK_SET);
      return input;
    }
  }
  search::utf8_running_check check;
  text_buffer text = read_all_stdin(fd, max_size, check_utf8 ? &check : nullptr);
  if (!check_utf8) return input_text(std::move(text));
  const auto known = check.valid() ? search::utf8_known::valid : search::utf8_known::invalid;
  return input_text(std::move(text), known);
}

}  // namespace textsift
