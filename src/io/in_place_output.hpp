// The last expression's result, built over the text it is made from while the searches still
// read that text: no second copy of a large text.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "io/invariant.hpp"

namespace textsift {

// A result built over its own text, the run's own copy, from the start of that text, wherever
// the searches have left the text behind. The searches tell it where each one starts
// (search_from); a search from `start` may read the text from `start` minus the pattern's
// look-back on. Bytes that cannot go into the text yet wait in a queue, which drains into the
// text as the searches move on; the rest of the text after the last match stays where it is. The
// text must stay alive until write_to().
//
// Its one invariant, checked in debug, sanitizer and fuzzing builds: nothing is written at or
// above the first byte a search may still read (changed_ <= readable_), and what is appended from
// the text is read only where nothing has been written. The result is text[0, done_), then the
// queue, then text[rest_, size_).
//
// It offers the few string operations the application step uses.
class in_place_output {
 public:
  // A result made from text[0, size), which it may overwrite, for searches that read at most
  // `look_back` bytes before their start (SIZE_MAX: unknown, and the whole result is queued).
  in_place_output(char* text, std::size_t size, std::size_t look_back)
      : text_(text), size_(size), look_back_(look_back), rest_(size) {}

  in_place_output(const in_place_output&) = delete;
  in_place_output& operator=(const in_place_output&) = delete;

  // The next search starts at `start`, at or after the one before: the text before `start`
  // minus the look-back will not be read again, except by appends of bytes at or after it.
  void search_from(std::size_t start);

  void clear();
  void push_back(char c) { append(&c, 1); }
  void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
  void append(const std::string& bytes, std::size_t position, std::size_t count) {
    append(bytes.data() + position, count);
  }
  void append(const char* data, std::size_t size) {
    check_source(data, size);
    if (head_ == tail_) {
      if (data == text_ + done_) {  // already where it belongs
        done_ += size;
        return;
      }
      if (done_ + size <= readable_) {
        std::memmove(text_ + done_, data, size);
        done_ += size;
        note_changed();
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
  void drain_queue();

  // The invariant, after a write into the text.
  void note_changed() {
    changed_ = done_ > changed_ ? done_ : changed_;
    TEXTSIFT_INVARIANT(changed_ <= readable_, "result written where a search may still read");
  }
  // Bytes appended from the text must not have been overwritten.
  void check_source(const char* data, std::size_t size) const {
    const bool in_text = data >= text_ && data < text_ + size_;
    TEXTSIFT_INVARIANT(!in_text || data >= text_ + changed_ || size == 0,
                       "appended bytes read from text already overwritten");
    static_cast<void>(in_text);
  }

  char* text_;
  std::size_t size_;
  std::size_t look_back_;
  std::size_t readable_ = 0;  // the first byte a search may still read
  std::size_t changed_ = 0;   // text[changed_, size_) holds the text's own bytes
  std::size_t done_ = 0;      // text[0, done_) is the result's start
  std::unique_ptr<char, release> queue_;
  std::size_t capacity_ = 0;
  std::size_t head_ = 0, tail_ = 0;  // the queue's bytes, which come after text[0, done_)
  std::size_t rest_;                 // text[rest_, size_) follows the queue: the result's end
};

// The hooks through which the application step drives it (found by argument-dependent lookup).
inline void reserve_large(in_place_output&, std::size_t) {}
inline void will_search_from(in_place_output& out, std::size_t start) {
  out.search_from(start);
}
inline void append_rest(in_place_output& out, std::string_view, std::size_t position) {
  out.append_rest(position);
}

}  // namespace textsift
