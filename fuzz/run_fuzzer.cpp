// libFuzzer target: a few arguments and a text through a whole run, in process.
#include "fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::check_run(data, size);
  return 0;
}
