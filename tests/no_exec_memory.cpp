// Preloaded into the binary under test to stand for a system that refuses executable memory, as
// hardened ones do: mmap and mprotect fail with EACCES when asked for PROT_EXEC. The library's
// JIT then compiles nothing, and every search runs on the interpreter.
#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>

namespace {

template <class Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

void* mmap(void* address, std::size_t length, int protection, int flags, int fd, off_t offset) {
  using function = void* (*)(void*, std::size_t, int, int, int, off_t);
  static const auto real = next<function>("mmap");
  if ((protection & PROT_EXEC) != 0) {
    errno = EACCES;
    return MAP_FAILED;
  }
  return real(address, length, protection, flags, fd, offset);
}

void* mmap64(void* address, std::size_t length, int protection, int flags, int fd, off_t offset) {
  return mmap(address, length, protection, flags, fd, offset);
}

int mprotect(void* address, std::size_t length, int protection) {
  using function = int (*)(void*, std::size_t, int);
  static const auto real = next<function>("mprotect");
  if ((protection & PROT_EXEC) != 0) {
    errno = EACCES;
    return -1;
  }
  return real(address, length, protection);
}
}
