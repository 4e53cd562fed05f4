// One of the ways a file can reach memory and be checked as UTF-8, followed by a search for a
// literal near its end: mapped (with one of the madvise choices), read block by block (checked
// afterwards, or each block as it arrives), or read as textsift reads it (in two halves at once,
// each block checked as it arrives). Run it under hyperfine, once per process as textsift runs:
// the figures behind how large inputs are taken in.
// Usage: read_or_map FILE WAY [BLOCK_BYTES]
//   WAY  map, map-sequential, map-populate, map-willneed, map-hugepage, read, read-checking,
//        textsift
// Prints where the literal is (the size of the file when it is absent or the text is invalid).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/large_buffer.hpp"
#include "io/read_input.hpp"
#include "search/utf8.hpp"

namespace {

constexpr char needle[] = "]: PANIC";

// Where the literal is, so that no way can skip its work.
std::size_t search(const char* text, std::size_t size) {
  const void* found = memmem(text, size, needle, sizeof needle - 1);
  return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : size;
}

std::size_t mapped(int fd, std::size_t size, int flags, int advice) {
  void* address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | flags, fd, 0);
  if (address == MAP_FAILED) std::exit(2);
  if (advice >= 0) madvise(address, size, advice);
  const auto* text = static_cast<const char*>(address);
  const std::size_t result = textsift::search::valid_utf8(text, size) ? search(text, size) : size;
  munmap(address, size);
  return result;
}

// Reads all of `fd` in blocks; with `fused`, each block is checked once it has arrived, up to
// the last character that is whole.
std::size_t read_whole(int fd, std::size_t size, std::size_t block, bool fused) {
  std::string text;
  textsift::reserve_large(text, size + 1);
  text.resize(size);
  std::size_t length = 0, checked = 0;
  bool valid = true;
  while (length < size) {
    const ssize_t got = pread(fd, &text[length], std::min(block, size - length), length);
    if (got <= 0) std::exit(2);
    length += static_cast<std::size_t>(got);
    if (!fused) continue;
    std::size_t cut = length;
    while (cut > checked && length - cut < 4 &&
           (static_cast<unsigned char>(text[cut - 1]) & 0xC0) == 0x80)
      --cut;
    if (cut > checked && static_cast<unsigned char>(text[cut - 1]) >= 0xC0) --cut;
    valid = valid && textsift::search::valid_utf8(text.data() + checked, cut - checked);
    checked = cut;
  }
  valid = valid && textsift::search::valid_utf8(text.data() + checked, length - checked);
  return valid ? search(text.data(), length) : length;
}

}  // namespace

int main(int argc, char* argv[]) {
  const int fd = argc > 2 ? open(argv[1], O_RDONLY) : -1;
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0 || info.st_size == 0) {
    std::fprintf(stderr, "usage: read_or_map FILE WAY [BLOCK_BYTES]\n");
    return 2;
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  const std::size_t block = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : std::size_t{1} << 20;
  const std::string way = argv[2];
  std::size_t found = 0;
  if (way == "map") {
    found = mapped(fd, size, 0, -1);
  } else if (way == "map-sequential") {
    found = mapped(fd, size, 0, MADV_SEQUENTIAL);
  } else if (way == "map-populate") {
    found = mapped(fd, size, MAP_POPULATE, -1);
  } else if (way == "map-willneed") {
    found = mapped(fd, size, 0, MADV_WILLNEED);
  } else if (way == "map-hugepage") {
    found = mapped(fd, size, 0, MADV_HUGEPAGE);
  } else if (way == "read" || way == "read-checking") {
    found = read_whole(fd, size, block, way == "read-checking");
  } else if (way == "textsift") {
    const textsift::input_text input = textsift::input_text::read_file(fd, 0, size, true);
    const std::string_view text = input.view();
    found = input.utf8() == textsift::search::utf8_known::valid ? search(text.data(), size) : size;
  } else {
    std::fprintf(stderr, "unknown way: %s\n", way.c_str());
    return 2;
  }
  std::printf("%zu\n", found);
  return 0;
}
