#include "io/in_place_output.hpp"

#include <sys/uio.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "io/large_buffer.hpp"
#include "io/write_output.hpp"

namespace textsift {
namespace {

// The queue starts this large, and doubles.
constexpr std::size_t first_queue_bytes = std::size_t{64} << 10;

}  // namespace

void in_place_output::release::operator()(char* bytes) const {
  std::free(bytes);
}

void in_place_output::search_from(std::size_t start) {
  const std::size_t readable = look_back_ == SIZE_MAX ? 0
                               : start > look_back_   ? start - look_back_
                                                      : 0;
  TEXTSIFT_INVARIANT(readable >= readable_, "a search starts before the one before it");
  readable_ = std::min(std::max(readable, readable_), size_);
  drain_queue();
}

void in_place_output::clear() {
  TEXTSIFT_INVARIANT(changed_ == 0, "a result cleared after it overwrote its text");
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

// Moves what the queue holds into the text, as far as no search reads there any more.
void in_place_output::drain_queue() {
  if (head_ == tail_ || done_ >= readable_) return;
  const std::size_t part = std::min(tail_ - head_, readable_ - done_);
  std::memcpy(text_ + done_, queue_.get() + head_, part);
  done_ += part;
  head_ += part;
  if (head_ == tail_) head_ = tail_ = 0;
  note_changed();
}

void in_place_output::append_rest(std::size_t position) {
  position = std::min(position, size_);
  readable_ = std::max(readable_, position);  // no search reads again: only the rest is kept
  drain_queue();
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
