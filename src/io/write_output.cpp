#include "io/write_output.hpp"

#include <poll.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "io/large_buffer.hpp"
#include "messages/messages.hpp"

namespace textsift {
namespace {}  // namespace

void write_pieces(int fd, iovec* next, std::size_t left) {
  for (;;) {
    while (left > 0 && next->iov_len == 0) {
      ++next;
      --left;
    }
    if (left == 0) return;
    const ssize_t written = writev(fd, next, static_cast<int>(left));
    if (written < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd entry{fd, POLLOUT, 0};  // a non-blocking descriptor: wait until it takes more
        poll(&entry, 1, -1);
        continue;
      }
      if (errno == EINTR) continue;
      throw failure(messages::fill(messages::write_failed));
    }
    if (written == 0) throw failure(messages::fill(messages::write_failed));
    auto done = static_cast<std::size_t>(written);
    while (left > 0 && done >= next->iov_len) {
      done -= next->iov_len;
      ++next;
      --left;
    }
    if (left > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + done;
      next->iov_len -= done;
    }
  }
}

void write_all_stdout(int fd, std::string_view text) {
  iovec piece{const_cast<char*>(text.data()), text.size()};
  write_pieces(fd, &piece, 1);
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
