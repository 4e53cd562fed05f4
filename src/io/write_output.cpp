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
namespace {

// The queue of a result built in place starts this large, and doubles.
constexpr std::size_t first_queue_bytes = std::size_t{64} << 10;

// Writes `left` pieces from `next` in order with writev. Throws "Failed to write to stdout" when
// a write fails.
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

}  // namespace

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

void in_place_output::release::operator()(char* bytes) const {
  std::free(bytes);
}

void in_place_output::clear() {
  done_ = head_ = tail_ = 0;
  rest_ = size_;
}

void in_place_output::enqueue_slowly(const char* data, std::size_t size) {
  if (size == 0) return;  // nothing to hold, and maybe no queue yet
  const std::size_t queued = tail_ - head_;
  if (queued + size <= capacity_ / 2) {  // room enough once what has gone is dropped
    std::memmove(queue_.get(), queue_.get() + head_, queued);
  } else {
    const std::size_t capacity = std::max({first_queue_bytes, 2 * capacity_, queued + size});
    std::unique_ptr<char, release> larger(static_cast<char*>(std::malloc(capacity)));
    if (!larger) throw std::bad_alloc();
    advise_huge_pages(larger.get(), capacity);
    if (queued > 0) std::memcpy(larger.get(), queue_.get() + head_, queued);
    queue_ = std::move(larger);
    capacity_ = capacity;
  }
  head_ = 0;
  tail_ = queued;
  std::memcpy(queue_.get() + tail_, data, size);
  tail_ += size;
}

void in_place_output::release_text_before(std::size_t position) {
  released_ = std::min(position, size_);
  if (head_ == tail_ || done_ >= released_) return;
  const std::size_t part = std::min(tail_ - head_, released_ - done_);
  std::memcpy(text_ + done_, queue_.get() + head_, part);
  done_ += part;
  head_ += part;
  if (head_ == tail_) head_ = tail_ = 0;
}

void in_place_output::append_rest(std::size_t position) {
  position = std::min(position, size_);
  release_text_before(position);  // nothing after the rest is read
  if (head_ == tail_ && position == done_) {
    done_ = size_;
  } else {
    rest_ = position;
  }
}

void in_place_output::write_to(int fd) {
  iovec pieces[] = {
      {text_, done_}, {queue_.get() + head_, tail_ - head_}, {text_ + rest_, size_ - rest_}};
  write_pieces(fd, pieces, 3);
}

}  // namespace textsift
