// libFuzzer target: a few arguments and a text through a whole run, each text cut into small
// pieces searched at once, against the same run searching each text whole.
#include "fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::check_pieces(data, size);
  return 0;
}
