// Room for large texts. A text of hundreds of megabytes is touched page by page once when it is
// filled; with 4 KiB pages the page faults cost more than the work itself, so large buffers ask
// the kernel for huge pages.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace textsift {

// The size of a transparent huge page on the machines we run on.
constexpr std::size_t huge_page_bytes = std::size_t{2} << 20;

// Advises the kernel to back the whole huge pages within [begin, begin + size) with transparent
// huge pages. The advice is only a hint: failure is harmless.
inline void advise_huge_pages(void* begin, std::size_t size) {
  constexpr std::uintptr_t huge_page = huge_page_bytes;
  const auto start = reinterpret_cast<std::uintptr_t>(begin);
  const std::uintptr_t first = (start + huge_page - 1) & ~(huge_page - 1);
  const std::uintptr_t last = (start + size) & ~(huge_page - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// Reserves room for `capacity` bytes in `text` and, for large capacities, advises the kernel to
// back the buffer with transparent huge pages.
template <class String>
void reserve_large(String& text, std::size_t capacity) {
  text.reserve(capacity);
  if (text.capacity() < 4 * huge_page_bytes) return;
  advise_huge_pages(text.data(), text.capacity());
}

}  // namespace textsift
