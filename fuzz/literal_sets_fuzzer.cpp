// libFuzzer target: an alternation of literals from the input, searched with fast paths and
// without, on a text made of those literals.
#include "fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::check_literal_sets(data, size);
  return 0;
}
