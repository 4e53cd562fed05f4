// The run's text: bytes in memory of the run's own, which every expression in turn replaces with
// its result, built over it in place.
#pragma once

#include <cstddef>
#include <string_view>

namespace textsift {

// Room for the text: on the heap while below a huge page, above it memory mapped from a huge page
// boundary (in huge pages) and remapped, not copied, when it must grow. size() <= capacity();
// the bytes beyond size() are the buffer's to use.
class text_buffer {
 public:
  text_buffer() = default;
  // Room for `capacity` bytes, none of them in use. Throws std::bad_alloc when there is none.
  explicit text_buffer(std::size_t capacity);
  text_buffer(const text_buffer&) = delete;
  text_buffer& operator=(const text_buffer&) = delete;
  text_buffer(text_buffer&& other) noexcept;
  text_buffer& operator=(text_buffer&& other) noexcept;
  ~text_buffer();

  char* data() { return data_; }
  const char* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  std::string_view view() const { return std::string_view(data_, size_); }

  // The text is now data()[0, size), size at most capacity().
  void resize(std::size_t size) { size_ = size; }

  // Makes room for at least `capacity` bytes, keeping every byte below capacity(). Returns how
  // far the bytes moved (pointers into the text must move as far). Throws std::bad_alloc when
  // there is no room.
  std::ptrdiff_t reserve(std::size_t capacity);

 private:
  std::ptrdiff_t move_to_new_mapping(std::size_t capacity);

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  void* mapping_ = nullptr;  // what was allocated or mapped
  std::size_t mapped_ = 0;   // how much was mapped (whole huge pages); 0 where on the heap
};

}  // namespace textsift
