// Writing the result.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

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

// A result built over the text it is made from, the run's own, which it overwrites from the
// start where the search has left the text behind: release_text_before() says how far that is.
// Bytes that cannot go there yet wait in a queue, and the rest of the text, the last part of a
// result, stays where it is. The text must stay alive until write_to(). Offers the few string
// operations the application step uses.
class in_place_output {
 public:
  // A result made from text[0, size), which it may overwrite.
  in_place_output(char* text, std::size_t size) : text_(text), size_(size), rest_(size) {}

  void clear();
  void push_back(char c) { append(&c, 1); }
  void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
  void append(const std::string& bytes, std::size_t position, std::size_t count) {
    append(bytes.data() + position, count);
  }
  void append(const char* data, std::size_t size) {
    if (head_ == tail_) {
      if (data == text_ + done_) {  // already where it belongs
        done_ += size;
        return;
      }
      if (done_ + size <= released_) {
        std::memmove(text_ + done_, data, size);
        done_ += size;
        return;
      }
    }
    if (queue_ && size <= capacity_ - tail_) {
      std::memcpy(queue_.get() + tail_, data, size);
      tail_ += size;
      return;
    }
    enqueue_slowly(data, size);
  }

  // The text before `position` will not be read again, except by appends still to come of
  // bytes at or after `position`.
  void release_text_before(std::size_t position);

  // Appends text[position, size), the last part of the result.
  void append_rest(std::size_t position);

  // Writes the whole result to `fd`. Throws as write_all_stdout does; what was written before a
  // failure stays written.
  void write_to(int fd);

 private:
  struct release {
    void operator()(char* bytes) const;
  };

  void enqueue_slowly(const char* data, std::size_t size);

  char* text_;
  std::size_t size_;
  std::size_t done_ = 0;      // text[0, done_) is the result's start
  std::size_t released_ = 0;  // what of the text may be overwritten
  std::unique_ptr<char, release> queue_;
  std::size_t capacity_ = 0;
  std::size_t head_ = 0, tail_ = 0;  // the queue's bytes, which come after text[0, done_)
  std::size_t rest_;                 // text[rest_, size_) follows the queue: the result's end
};

inline void reserve_large(in_place_output&, std::size_t) {}
inline void release_text_before(in_place_output& out, std::size_t position) {
  out.release_text_before(position);
}
inline void append_rest(in_place_output& out, std::string_view, std::size_t position) {
  out.append_rest(position);
}

}  // namespace textsift
