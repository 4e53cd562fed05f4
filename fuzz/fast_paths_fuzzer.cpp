// libFuzzer target: a few arguments and a text through a whole run with fast paths and without.
#include "fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::check_fast_paths(data, size);
  return 0;
}
