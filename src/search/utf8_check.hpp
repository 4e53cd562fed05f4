// The UTF-8 check of a whole text: shared with a second thread when the text is large, so that
// the check of a big file costs half its time and can run beside the caller's own first pass; or
// made block by block while the text arrives, each block checked while it is still in cache.
#pragma once

#include <algorithm>
#include <cstddef>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "search/utf8.hpp"

namespace textsift::search {

// Whether `byte` continues a UTF-8 sequence (10xxxxxx) rather than starting a character.
inline bool continuation_byte(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Where a text can be cut so that it is valid UTF-8 exactly when both parts are: at or up to
// three bytes before `near`, at a byte that continues no sequence. When there is none, the text
// is invalid (four continuation bytes in a row, or one at its start), and so is the second part,
// which then begins with one.
inline std::size_t utf8_split_point(std::string_view text, std::size_t near) {
  for (std::size_t back = 0; back < 4 && back <= near; ++back) {
    if (!continuation_byte(text[near - back])) return near - back;
  }
  return near;
}

// What is known of a text's UTF-8 validity before any search.
enum class utf8_known { unknown, valid, invalid };

// The check of a text that arrives in order, from `begin` on: each part is checked once it is
// there, up to the last character that may still be incomplete.
class utf8_running_check {
 public:
  // Checks from `begin` on. With `mid_text`, a character may have begun before `begin`: the check
  // then begins at the first byte from there that continues no sequence, at most three bytes on,
  // and the bytes before begin() are the caller's to check (finishing the check of what precedes
  // at begin() cuts the text where it is valid exactly when both parts are).
  explicit utf8_running_check(std::size_t begin = 0, bool mid_text = false)
      : checked_(begin), mid_text_(mid_text) {}

  // Checks what of the unchecked part of text[0, size) is complete, given that more may follow.
  void advance(const char* text, std::size_t size) {
    if (mid_text_ && size >= checked_ + 4) start(text, size);
    if (mid_text_ || size < checked_ + 4) return;
    const std::size_t cut = utf8_split_point(std::string_view(text, size), size - 1);
    valid_ = valid_ && valid_utf8(text + checked_, cut - checked_);
    checked_ = cut;
  }

  // Checks all of the unchecked part of text[0, size): nothing follows.
  void finish(const char* text, std::size_t size) {
    if (mid_text_) start(text, size);
    valid_ = valid_ && valid_utf8(text + checked_, size - checked_);
    checked_ = size;
  }

  // Where the check began; valid once the check has advanced or finished.
  std::size_t begin() const { return begin_; }
  bool valid() const { return valid_; }

 private:
  void start(const char* text, std::size_t size) {
    const std::size_t last = std::min(checked_ + 3, size);
    while (checked_ < last && continuation_byte(text[checked_])) {
      ++checked_;
    }
    begin_ = checked_;
    mid_text_ = false;
  }

  std::size_t checked_;  // where the unchecked part begins: a character start, or the end seen
  std::size_t begin_ = checked_;
  bool mid_text_;
  bool valid_ = true;
};

class utf8_check {
 public:
  // Texts from this size on are checked in two halves, one on a thread of its own.
  static constexpr std::size_t split_bytes = std::size_t{1} << 20;

  // Starts the check of `text`, which must outlive this object: the second half of a text of
  // `split_from` bytes or more on a new thread (the whole text here, later, when none can start).
  // Checks at `width`, which this CPU must run.
  explicit utf8_check(std::string_view text, std::size_t split_from = split_bytes,
                      vector_width width = widest_width())
      : text_(text), width_(width) {
    if (text.size() < split_from) return;
    const std::size_t split = utf8_split_point(text, text.size() / 2);
    try {
      second_half_ = std::thread([this, split] {
        second_half_valid_ = valid_utf8(text_.data() + split, text_.size() - split, width_);
      });
      split_ = split;
    } catch (const std::system_error&) {  // no thread to be had: all of it is checked here
    } catch (const std::bad_alloc&) {
    }
  }

  utf8_check(const utf8_check&) = delete;
  utf8_check& operator=(const utf8_check&) = delete;

  ~utf8_check() {
    if (second_half_.joinable()) second_half_.join();
  }

  // Whether the whole text is valid UTF-8, as valid_utf8 says; checks the first half on the
  // calling thread and waits for the second. May be called again: the answer is kept.
  bool valid() {
    if (answered_) return valid_;
    valid_ = valid_utf8(text_.data(), split_, width_);
    if (second_half_.joinable()) {
      second_half_.join();
      valid_ = valid_ && second_half_valid_;
    }
    answered_ = true;
    return valid_;
  }

 private:
  std::string_view text_;
  vector_width width_;
  std::size_t split_ = text_.size();  // the part checked by valid(); the rest is the thread's
  std::thread second_half_;
  bool second_half_valid_ = false;
  bool answered_ = false;
  bool valid_ = false;
};

}  // namespace textsift::search
