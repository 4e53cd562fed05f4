// Preloaded into the binary under test to stand for another program that truncates the input
// file at the worst moment: right after the binary has mapped it into memory.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <string>

extern "C" void* mmap(void* address, std::size_t length, int protection, int flags, int fd,
                      off_t offset) {
  using function = void* (*)(void*, std::size_t, int, int, int, off_t);
  static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "mmap"));
  void* const mapped = real(address, length, protection, flags, fd, offset);
  if (mapped != MAP_FAILED && fd >= 0) {
    const int writable = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY);
    if (writable >= 0) {
      if (ftruncate(writable, 0) != 0) _exit(3);
      close(writable);
    }
  }
  return mapped;
}

extern "C" void* mmap64(void* address, std::size_t length, int protection, int flags, int fd,
                        off_t offset) {
  return mmap(address, length, protection, flags, fd, offset);
}
