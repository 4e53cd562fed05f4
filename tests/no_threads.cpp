// Preloaded into the binary under test to stand for a system that gives a process no more
// threads: pthread_create fails with EAGAIN, as it does at the limit of threads or of memory.
#include <pthread.h>

#include <cerrno>

extern "C" int pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) {
  return EAGAIN;
}
