#include "write_output.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace textsift {

void write_all_stdout(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written > 0) {
      text.remove_prefix(static_cast<std::size_t>(written));
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd entry{fd, POLLOUT, 0};  // a non-blocking descriptor: wait until it takes more
      poll(&entry, 1, -1);
    } else if (written == 0 || errno != EINTR) {
      throw "Failed to write to stdout";
    }
  }
}

void stream_output::append(const char* data, std::size_t size) {
  if (block_.size() + size > block_size) {
    flush();
    if (size > block_size) {
      write_all_stdout(fd_, std::string_view(data, size));
      return;
    }
  }
  block_.append(data, size);
}

void stream_output::flush() {
  write_all_stdout(fd_, block_);
  block_.clear();
}

}  // namespace textsift
