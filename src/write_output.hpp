// Writing the result.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace textsift {

// Writes all of `text` to `fd`. Throws "Failed to write to stdout" when a write fails.
void write_all_stdout(int fd, std::string_view text);

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

// A result held as pieces until the whole run has succeeded: spans of the text it was made from,
// and the bytes in between (replacements, and spans too short to be worth a reference) kept in
// compact blocks. The text must stay alive and unchanged until write_to(). Offers the few string
// operations the application step uses.
class piece_output {
 public:
  // A result made from `text`.
  explicit piece_output(std::string_view text) : text_(text) {}

  void clear();
  void push_back(char c) { append(&c, 1); }
  void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
  void append(const std::string& bytes, std::size_t position, std::size_t count) {
    append(bytes.data() + position, count);
  }
  void append(const char* data, std::size_t size) {
    // Most bytes between spans come a few at a time, into a run already begun.
    if (size < shortest_span && run_ != nullptr &&
        size <= static_cast<std::size_t>(end_ - write_) &&
        static_cast<std::size_t>(write_ - run_) + size <= longest_run) {
      std::memcpy(write_, data, size);
      write_ += size;
      return;
    }
    append_slowly(data, size);
  }

  // Writes the whole result to `fd` in order, with writev, a batch of at most `batch_pieces`
  // pieces and `batch_bytes` copied bytes per call. Throws as write_all_stdout does; what was
  // written before a failure stays written.
  void write_to(int fd);

  static constexpr std::size_t batch_pieces = 1024;
  static constexpr std::size_t batch_bytes = std::size_t{128} << 10;

 private:
  // A span of the text shorter than this is copied among the bytes: a reference costs two to
  // four bytes of its own and ends the run of bytes before it. (At 8, a dense replacement holds
  // a quarter less than at 24, and writes no slower.) A run of bytes is at most `longest_run` long,
  // so that its header fits in 3 bytes.
  static constexpr std::size_t shortest_span = 8;
  static constexpr std::size_t longest_run = (std::size_t{1} << 20) - 1;

  struct release {
    void operator()(char* bytes) const;
  };
  struct block {
    std::unique_ptr<char, release> bytes;
    std::size_t used = 0;
  };

  void append_slowly(const char* data, std::size_t size);
  void append_span(std::size_t begin, std::size_t size);
  void append_bytes(const char* data, std::size_t size);
  void close_run();
  void new_block();
  void seal_block();

  std::string_view text_;
  // The pieces in order. Each is a varint header, the length times 2, plus 1 for bytes that
  // follow it; a span of the text has instead the zigzag varint distance from the end of the
  // span before. No piece crosses from one block to the next.
  std::vector<block> blocks_;
  char* write_ = nullptr;   // where the next byte of the last block goes
  char* end_ = nullptr;     // the last block's end, less room for a run's header to grow
  char* run_ = nullptr;     // the header of the bytes being added to, or null
  std::size_t cursor_ = 0;  // where the last span ended
};

// A held result needs no room up front.
inline void reserve_large(piece_output&, std::size_t) {}

}  // namespace textsift
