// An expression's result, built over the text it is made from while the searches still read
// that text: no second copy of a large text.
#pragma once

#include <sys/uio.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/invariant.hpp"

namespace textsift {

// A result built over its own text (the run's own copy, or a piece of it), from the start of that
// text, wherever the searches have left the text behind. The searches tell it where each one
// starts (search_from); a search from `start` may read the text from `start` minus the pattern's
// look-back on. Bytes that cannot go into the text yet wait in a queue, which drains into the
// text as the searches move on; the rest of the text after the last match stays where it is. The
// text must stay alive until the result has been written or moved.
//
// A piece's result is built the same way with two more bounds while the other pieces are
// searched: its first `kept_head` bytes stay as they are, since the searches of the piece before
// may read them, and so do its last `kept_tail`, which the searches of the piece after may read
// back into. Its result is then written from `kept_head` on; release_all() lifts both bounds
// once all searches are done. A piece searched on a guess writes nothing into its text until
// the guess is proved (held until commit()), so that it can be searched again if it was wrong.
//
// Its one invariant, checked in debug, sanitizer and fuzzing builds: nothing is written where a
// search may still read (kept_head_ <= written bytes < writable_end()), and what is appended
// from the text is read only where nothing has been written. The result is
// text[kept_head_, kept_head_ + done_), then the queue, then text[rest_, size_).
//
// It offers the few string operations the application step uses. Each lies on cache lines of its
// own, so that pieces' outputs side by side, each written on its own thread, share none.
class alignas(64) in_place_output {
 public:
  // A result made from text[0, size), which it may overwrite, for searches that read at most
  // `look_back` bytes before their start (SIZE_MAX: unknown, and the whole result is queued).
  in_place_output(char* text, std::size_t size, std::size_t look_back, std::size_t kept_head = 0,
                  std::size_t kept_tail = 0)
      : text_(text),
        size_(size),
        look_back_(look_back),
        head_keep_(kept_head < size ? kept_head : size),
        tail_keep_(kept_tail),
        changed_(head_keep_),
        rest_(size) {}

  in_place_output(const in_place_output&) = delete;
  in_place_output& operator=(const in_place_output&) = delete;
  in_place_output(in_place_output&&) = default;
  in_place_output& operator=(in_place_output&&) = default;

  struct release {
    void operator()(char* bytes) const;
  };
  // Memory for a queue, handed from one result to the next.
  struct room {
    std::unique_ptr<char, release> bytes;
    std::size_t capacity = 0;
  };

  // Writes nothing into the text until commit(), or until `proof` (when not null) is set, as
  // the next search_from finds it: the result waits in the queue, which starts in `spare` when
  // that holds the text (else in new room, an eighth larger). Call it before the first append.
  void hold(room spare, const std::atomic<bool>* proof = nullptr);

  // The result is right, and its searches are done: what waits goes into the text, as far as
  // the bounds allow. Returns the queue's room when it is left empty, for another result.
  room commit();

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
      // Already where it belongs, inside this text (a match that crosses its end reads on).
      if (data == text_ + head_keep_ + done_ && head_keep_ + done_ + size <= size_) {
        done_ += size;
        return;
      }
      if (head_keep_ + done_ + size <= writable_end()) {
        std::memmove(text_ + head_keep_ + done_, data, size);
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

  // No search reads the text any more, nor another piece: everything may be written.
  void release_all();

  // The result's length, and its parts in order: the written start, the queue, the rest.
  std::size_t size() const { return done_ + (tail_ - head_) + (size_ - rest_); }
  void parts(std::vector<iovec>& pieces) const;

  // Writes the whole result to `fd`. Throws as write_all_stdout does; what was written before a
  // failure stays written.
  void write_to(int fd);

  // The text moved `distance` bytes, as a whole (its buffer grew).
  void move_by(std::ptrdiff_t distance) { text_ += distance; }

 private:
  void enqueue_slowly(const char* data, std::size_t size);
  void drain_queue();

  // What no search nor other piece reads any more may be written: up to here.
  std::size_t writable_end() const {
    if (held_) return 0;
    const std::size_t limit = released_ ? size_ : size_ > tail_keep_ ? size_ - tail_keep_ : 0;
    return readable_ < limit ? readable_ : limit;
  }

  // The invariant, after a write into the text.
  void note_changed() {
    const std::size_t written = head_keep_ + done_;
    changed_ = written > changed_ ? written : changed_;
    TEXTSIFT_INVARIANT(released_ || (held_ ? changed_ == head_keep_ : changed_ <= writable_end()),
                       "result written where a search may still read");
  }
  // Bytes appended from the text must not have been overwritten.
  void check_source(const char* data, std::size_t size) const {
    const bool in_written = data >= text_ + head_keep_ && data < text_ + changed_;
    TEXTSIFT_INVARIANT(!in_written || size == 0,
                       "appended bytes read from text already overwritten");
    static_cast<void>(in_written);
  }

  char* text_;
  std::size_t size_;
  std::size_t look_back_;
  std::size_t head_keep_;  // text[0, head_keep_) is never written
  std::size_t tail_keep_;  // text[size_ - tail_keep_, size_) is written only once released
  bool released_ = false;  // release_all() was called
  bool held_ = false;      // hold() was called, and commit() not yet: nothing is written
  const std::atomic<bool>* proof_ = nullptr;  // once set, held_ may end
  std::size_t readable_ = 0;                  // the first byte a search may still read
  std::size_t changed_;                       // text[changed_, size_) holds the text's own bytes
  std::size_t done_ = 0;  // text[head_keep_, head_keep_ + done_) is the result's start
  std::unique_ptr<char, release> queue_;
  std::size_t capacity_ = 0;
  std::size_t head_ = 0, tail_ = 0;  // the queue's bytes, which come after the result's start
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

// Moves the results of `outputs`, made from consecutive parts of one text that begins at `text`,
// into one contiguous text there, which must have room for all of them (`capacity` bytes).
// Returns its length.
std::size_t join_in_place(std::vector<in_place_output>& outputs, char* text, std::size_t capacity);

}  // namespace textsift
