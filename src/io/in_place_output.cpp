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
  TEXTSIFT_INVARIANT(readable >= readable_ || readable_ == size_,
                     "a search starts before the one before it");
  readable_ = std::min(std::max(readable, readable_), size_);
  if (held_ && proof_ != nullptr && proof_->load(std::memory_order_acquire)) held_ = false;
  drain_queue();
}

void in_place_output::clear() {
  TEXTSIFT_INVARIANT(changed_ == head_keep_, "a result cleared after it overwrote its text");
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

// Moves what the queue holds into the text, as far as nothing reads there any more.
void in_place_output::drain_queue() {
  const std::size_t end = writable_end();
  const std::size_t at = head_keep_ + done_;
  if (head_ == tail_ || at >= end) return;
  const std::size_t part = std::min(tail_ - head_, end - at);
  std::memcpy(text_ + at, queue_.get() + head_, part);
  done_ += part;
  head_ += part;
  if (head_ == tail_) head_ = tail_ = 0;
  note_changed();
}

void in_place_output::append_rest(std::size_t position) {
  position = std::min(position, size_);
  readable_ = std::max(readable_, position);  // no search reads again: only the rest is kept
  drain_queue();
  if (head_ == tail_ && head_keep_ + done_ == position) {
    done_ = size_ - head_keep_;
  } else {
    rest_ = position;
  }
}

void in_place_output::hold(room spare, const std::atomic<bool>* proof) {
  held_ = true;
  proof_ = proof;
  if (spare.capacity < size_) {
    const std::size_t wanted = size_ + size_ / 8;
    spare.bytes.reset(static_cast<char*>(std::malloc(wanted)));
    if (!spare.bytes) throw std::bad_alloc();
    advise_huge_pages(spare.bytes.get(), wanted);
    spare.capacity = wanted;
  }
  const std::size_t queued = tail_ - head_;
  if (queued > 0) std::memcpy(spare.bytes.get(), queue_.get() + head_, queued);
  queue_ = std::move(spare.bytes);
  capacity_ = spare.capacity;
  head_ = 0;
  tail_ = queued;
}

in_place_output::room in_place_output::commit() {
  held_ = false;
  drain_queue();
  room left;
  const std::size_t queued = tail_ - head_;
  if (queued >= capacity_ / 2) return left;  // the room is mostly used: it stays
  // What is left (the kept tail, or what outgrew the text) moves to room of its own size.
  std::unique_ptr<char, release> smaller;
  if (queued > 0) {
    smaller.reset(static_cast<char*>(std::malloc(queued)));
    if (!smaller) throw std::bad_alloc();
    std::memcpy(smaller.get(), queue_.get() + head_, queued);
  }
  left.bytes = std::move(queue_);
  left.capacity = capacity_;
  queue_ = std::move(smaller);
  head_ = 0;
  tail_ = capacity_ = queued;
  return left;
}

void in_place_output::release_all() {
  released_ = true;
  readable_ = std::max(readable_, rest_);
  drain_queue();
  if (head_ == tail_ && head_keep_ + done_ == rest_) {
    done_ = size_ - head_keep_;
    rest_ = size_;
  }
}

void in_place_output::parts(std::vector<iovec>& pieces) const {
  pieces.push_back({text_ + head_keep_, done_});
  pieces.push_back({queue_.get() + head_, tail_ - head_});
  pieces.push_back({text_ + rest_, size_ - rest_});
}

void in_place_output::write_to(int fd) {
  std::vector<iovec> pieces;
  parts(pieces);
  write_pieces(fd, pieces.data(), pieces.size());
}

std::size_t join_in_place(std::vector<in_place_output>& outputs, char* text, std::size_t capacity) {
  std::vector<iovec> pieces;
  for (in_place_output& out : outputs) {
    out.release_all();
    out.parts(pieces);
  }
  // Where each part goes: one after the other from the text's start.
  std::vector<std::size_t> to(pieces.size());
  std::size_t total = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    to[i] = total;
    total += pieces[i].iov_len;
  }
  TEXTSIFT_INVARIANT(total <= capacity, "joined result larger than its room");
  const auto in_text = [&](const iovec& part) {
    const char* at = static_cast<const char*>(part.iov_base);
    return at >= text && at < text + capacity;
  };
  const auto from = [&](const iovec& part) {
    return static_cast<std::size_t>(static_cast<const char*>(part.iov_base) - text);
  };
  // Parts of the text that move left, first to last: each lands on parts already moved or on
  // itself. Then those that move right, last to first, likewise. Then the queues, outside.
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].iov_len > 0 && in_text(pieces[i]) && to[i] <= from(pieces[i])) {
      std::memmove(text + to[i], pieces[i].iov_base, pieces[i].iov_len);
    }
  }
  for (std::size_t i = pieces.size(); i-- > 0;) {
    if (pieces[i].iov_len > 0 && in_text(pieces[i]) && to[i] > from(pieces[i])) {
      std::memmove(text + to[i], pieces[i].iov_base, pieces[i].iov_len);
    }
  }
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].iov_len > 0 && !in_text(pieces[i])) {
      std::memcpy(text + to[i], pieces[i].iov_base, pieces[i].iov_len);
    }
  }
  return total;
}

}  // namespace textsift
