// Preloaded into the binary under test to stand for another program that truncates the input
// file at the worst moment: right after the binary has measured it, before its first read.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <string>

extern "C" ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) {
  using function = ssize_t (*)(int, void*, std::size_t, off_t);
  static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "pread"));
  static std::atomic<bool> truncated{false};
  if (!truncated.exchange(true)) {
    const int writable = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY);
    if (writable >= 0) {
      if (ftruncate(writable, 0) != 0) _exit(3);
      close(writable);
    }
  }
  return real(fd, buffer, count, offset);
}

extern "C" ssize_t pread64(int fd, void* buffer, std::size_t count, off_t offset) {
  return pread(fd, buffer, count, offset);
}
