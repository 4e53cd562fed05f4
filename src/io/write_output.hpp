// Writing the result.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace textsift {

// Writes all of `text` to `fd`. Throws "Failed to write to stdout" when a write fails.
void write_all_stdout(int fd, std::string_view text);

// Writes the `left` pieces from `next` in order, all of each, as write_all_stdout does; changes
// the pieces as it goes.
void write_pieces(int fd, iovec* next, std::size_t left);

// A result written to `fd` as it is produced, a block at a time, instead of being held whole:
// for an application that cannot fail once it has begun its output. Offers the few string
// operations the application step uses. Writes throw as write_all_stdout does.
class stream_output {
 public:
  explicit stream_output(int fd) : fd_(fd) { block_.reserve(block_size); }

  void clear() {}
  void push_back(char c) { append(&c, 1); }
  void append(std::string_view text) { append(text.data(), text.size()); }
  void append(const std::string& text, std::size_t position, std::size_t count) {
    append(text.data() + position, count);
  }
  void append(const char* data, std::size_t size);

  // Writes what is still held.
  void flush();

 private:
  static constexpr std::size_t block_size = std::size_t{1} << 20;

  int fd_;
  std::string block_;
};

// Room for a streamed result is the block it already has.
inline void reserve_large(stream_output&, std::size_t) {}

}  // namespace textsift
