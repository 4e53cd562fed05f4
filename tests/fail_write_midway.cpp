// Preloaded into the binary under test to stand for an output that fails part-way: the first
// write to standard output takes only half of what it is given, and every later one fails with
// EIO.
#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <vector>

namespace {

bool first_write = true;

}  // namespace

extern "C" ssize_t writev(int fd, const iovec* pieces, int count) {
  using function = ssize_t (*)(int, const iovec*, int);
  static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "writev"));
  if (fd != STDOUT_FILENO) return real(fd, pieces, count);
  if (!first_write) {
    errno = EIO;
    return -1;
  }
  first_write = false;
  std::size_t total = 0;
  for (int i = 0; i < count; ++i) total += pieces[i].iov_len;
  std::vector<iovec> half;
  for (std::size_t left = total / 2; left > 0 && half.size() < static_cast<std::size_t>(count);) {
    const iovec& piece = pieces[half.size()];
    half.push_back({piece.iov_base, piece.iov_len < left ? piece.iov_len : left});
    left -= half.back().iov_len;
  }
  return real(fd, half.data(), static_cast<int>(half.size()));
}

extern "C" ssize_t write(int fd, const void* data, std::size_t size) {
  const iovec piece{const_cast<void*>(data), size};
  return writev(fd, &piece, 1);
}
