// Reading the text: the wait for input and the read of all of it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "io/text_buffer.hpp"
#include "search/utf8_check.hpp"

namespace textsift {

// The whole input, and what reading it found out about its UTF-8 validity.
class input_text {
 public:
  explicit input_text(text_buffer text, search::utf8_known utf8 = search::utf8_known::unknown)
      : text_(std::move(text)), utf8_(utf8) {}

  // Reads `size` bytes (not 0) of the regular file `fd` from `offset`, in two halves at once when
  // the file is large, without moving the file offset; with `check_utf8`, each block is checked
  // as it arrives. Throws "Input file shrank while being read" when the file ends early and
  // "Failed to read from stdin" on a read error.
  static input_text read_file(int fd, std::size_t offset, std::size_t size, bool check_utf8);

  std::string_view view() const { return text_.view(); }
  // The run's own copy, to be changed in place.
  text_buffer& text() { return text_; }
  search::utf8_known utf8() const { return utf8_; }

 private:
  text_buffer text_;
  search::utf8_known utf8_;
};

// Waits until `fd` is readable (end of input counts). A terminal gets `terminal_timeout_ms`
// for someone to type or pipe something; anything else is waited on as long as its writer takes.
// Throws "Pipe in your text data." when the wait times out, fails, or `fd` is not open.
void wait_for_input(int fd, int terminal_timeout_ms = 2000);

// Reads `fd` to its end and returns every byte, NUL bytes included; with `check`, each block is
// checked as UTF-8 as it arrives, and the check finished at the end. Throws "Failed to read from
// stdin" on a read error, and "Input larger than <max_size> bytes" as soon as more than
// `max_size` bytes have arrived.
text_buffer read_all_stdin(int fd, std::size_t max_size,
                           search::utf8_running_check* check = nullptr);

// All of `fd`, with the failures of read_all_stdin; with `check_utf8`, its UTF-8 validity is
// known. A regular file of 1 MiB or more is read as read_file reads it, from its current offset,
// which then moves to the end as a read would have moved it.
input_text read_input(int fd, std::size_t max_size, bool check_utf8 = false);

}  // namespace textsift
