// Reading the text: the wait for input and the read of all of it.
#pragma once

#include <cstddef>
#include <string>

namespace textsift {

// Waits until `fd` is readable (end of input counts). A terminal gets `terminal_timeout_ms`
// for someone to type or pipe something; anything else is waited on as long as its writer takes.
// Throws "Pipe in your text data." when the wait times out, fails, or `fd` is not open.
void wait_for_input(int fd, int terminal_timeout_ms = 2000);

// Reads `fd` to its end and returns every byte, NUL bytes included. Throws "Failed to read from
// stdin" on a read error, and "Input larger than <max_size> bytes" as soon as more than
// `max_size` bytes have arrived.
std::string read_all_stdin(int fd, std::size_t max_size);

}  // namespace textsift
