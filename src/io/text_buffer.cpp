#include "io/text_buffer.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "io/large_buffer.hpp"

namespace textsift {
namespace {

std::size_t whole_pages(std::size_t bytes, std::size_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

}  // namespace

text_buffer::text_buffer(std::size_t capacity) {
  if (capacity < huge_page_bytes) {
    // A small text lives on the heap: a mapping each would cost two system calls, and a
    // sanitizer's shadow of the address space splits into a new piece for each. Zeroed, as a
    // mapping is: the JIT's code may look at bytes past the text's end (and then not use them).
    capacity_ = std::max<std::size_t>(capacity, 64);
    mapping_ = std::calloc(capacity_, 1);
    if (mapping_ == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(mapping_);
    return;
  }
  // A large text starts at a huge page boundary, so that all of it can be in huge pages: map one
  // huge page more and give back what comes before the boundary and after the end.
  const std::size_t length = whole_pages(capacity, huge_page_bytes);
  const std::size_t extra = huge_page_bytes;
  void* address =
      mmap(nullptr, length + extra, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (address == MAP_FAILED) throw std::bad_alloc();
  const auto base = reinterpret_cast<std::uintptr_t>(address);
  const std::uintptr_t aligned = (base + huge_page_bytes - 1) / huge_page_bytes * huge_page_bytes;
  if (aligned > base) munmap(address, aligned - base);
  munmap(reinterpret_cast<void*>(aligned + length), base + extra - aligned);
  mapping_ = reinterpret_cast<void*>(aligned);
  mapped_ = length;
  data_ = static_cast<char*>(mapping_);
  capacity_ = length;
  advise_huge_pages(mapping_, length);
}

text_buffer::text_buffer(text_buffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      mapping_(std::exchange(other.mapping_, nullptr)),
      mapped_(std::exchange(other.mapped_, 0)) {}

text_buffer& text_buffer::operator=(text_buffer&& other) noexcept {
  if (this != &other) {
    text_buffer gone(std::move(*this));
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    mapping_ = std::exchange(other.mapping_, nullptr);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

text_buffer::~text_buffer() {
  if (mapped_ != 0) {
    munmap(mapping_, mapped_);
  } else {
    std::free(mapping_);
  }
}

std::ptrdiff_t text_buffer::reserve(std::size_t capacity) {
  if (capacity <= capacity_) return 0;
  if (mapping_ == nullptr) {
    *this = text_buffer(capacity);
    return 0;
  }
  // Grow by half at least, so that a result growing bit by bit remaps a few times only.
  const std::size_t wanted = std::max(capacity, capacity_ + capacity_ / 2);
  if (mapped_ == 0) return move_to_new_mapping(wanted);
  const std::size_t length = whole_pages(wanted, huge_page_bytes);
  void* moved = mremap(mapping_, mapped_, length, MREMAP_MAYMOVE);
  if (moved == MAP_FAILED) return move_to_new_mapping(length);
  const std::ptrdiff_t distance = static_cast<char*>(moved) - static_cast<char*>(mapping_);
  mapping_ = moved;
  mapped_ = length;
  data_ = static_cast<char*>(moved);
  capacity_ = length;
  advise_huge_pages(data_, capacity_);
  return distance;
}

// Where the text is on the heap, or its mapping cannot be remapped (valgrind, for one, moves none
// it cannot grow in place), every byte of it is copied into new room (a reader may keep bytes
// beyond size() until it resizes, as remapping would keep them).
std::ptrdiff_t text_buffer::move_to_new_mapping(std::size_t capacity) {
  text_buffer larger(capacity);
  std::memcpy(larger.data_, data_, capacity_);
  larger.size_ = size_;
  const std::ptrdiff_t distance = larger.data_ - data_;
  *this = std::move(larger);
  return distance;
}

}  // namespace textsift
