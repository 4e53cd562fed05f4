// The UTF-8 check of a whole text, shared with a second thread when the text is large, so that
// the check of a big file costs half its time and can run beside the caller's own first pass.
#pragma once

#include <cstddef>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "templates/utf8.hpp"

namespace templates {

// Where a text can be cut so that it is valid UTF-8 exactly when both parts are: at or up to
// three bytes before `near`, at a byte that continues no sequence. When there is none, the text
// is invalid (four continuation bytes in a row, or one at its start), and so is the second part,
// which then begins with one.
inline std::size_t utf8_split_point(std::string_view text, std::size_t near) {
  for (std::size_t back = 0; back < 4 && back <= near; ++back) {
    if ((static_cast<unsigned char>(text[near - back]) & 0xC0) != 0x80) return near - back;
  }
  return near;
}

class utf8_check {
 public:
  // Texts from this size on are checked in two halves, one on a thread of its own.
  static constexpr std::size_t split_bytes = std::size_t{1} << 20;

  // Starts the check of `text`, which must outlive this object: the second half of a text of
  // `split_from` bytes or more on a new thread (the whole text here, later, when none can start).
  explicit utf8_check(std::string_view text, std::size_t split_from = split_bytes) : text_(text) {
    if (text.size() < split_from) return;
    const std::size_t split = utf8_split_point(text, text.size() / 2);
    try {
      second_half_ = std::thread([this, split] {
        second_half_valid_ = valid_utf8(text_.data() + split, text_.size() - split);
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
    valid_ = valid_utf8(text_.data(), split_);
    if (second_half_.joinable()) {
      second_half_.join();
      valid_ = valid_ && second_half_valid_;
    }
    answered_ = true;
    return valid_;
  }

 private:
  std::string_view text_;
  std::size_t split_ = text_.size();  // the part checked by valid(); the rest is the thread's
  std::thread second_half_;
  bool second_half_valid_ = false;
  bool answered_ = false;
  bool valid_ = false;
};

}  // namespace templates
