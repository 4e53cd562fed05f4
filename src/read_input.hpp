// Reading the text: the wait for input and the read of all of it.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace textsift {

// The whole input, held as cheaply as it came: a large regular file is mapped into memory, never
// copied; anything else is read into a string.
class input_text {
 public:
  explicit input_text(std::string bytes) : bytes_(std::move(bytes)) {}

  // Maps `size` bytes (not 0) of the regular file `fd` from `offset`, read-only; nothing when the
  // file cannot be mapped.
  static std::optional<input_text> map_file(int fd, std::size_t offset, std::size_t size);

  std::string_view view() const { return mapping_ ? mapped_ : std::string_view(bytes_); }

 private:
  struct unmapper {
    std::size_t length;
    void operator()(void* address) const;
  };

  std::string bytes_;
  std::unique_ptr<void, unmapper> mapping_{nullptr, unmapper{0}};
  std::string_view mapped_;  // the input within the mapping
};

// Waits until `fd` is readable (end of input counts). A terminal gets `terminal_timeout_ms`
// for someone to type or pipe something; anything else is waited on as long as its writer takes.
// Throws "Pipe in your text data." when the wait times out, fails, or `fd` is not open.
void wait_for_input(int fd, int terminal_timeout_ms = 2000);

// Reads `fd` to its end and returns every byte, NUL bytes included. Throws "Failed to read from
// stdin" on a read error, and "Input larger than <max_size> bytes" as soon as more than
// `max_size` bytes have arrived.
std::string read_all_stdin(int fd, std::size_t max_size);

// All of `fd`, with the failures of read_all_stdin. A regular file of 1 MiB or more is mapped
// from its current offset, which then moves to the end as a read would have moved it; should
// the file shrink while it is mapped, the run ends with "Input file shrank while being read".
input_text read_input(int fd, std::size_t max_size);

}  // namespace textsift
