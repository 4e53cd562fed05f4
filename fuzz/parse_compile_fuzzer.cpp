// libFuzzer target: one argument through parse and compile.
#include "fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::check_parse_compile(data, size);
  return 0;
}
