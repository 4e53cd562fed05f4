// libFuzzer target: the plan's look-back: bytes before it change no search.
#include "plan_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::plan_input input;
  if (fuzz::read_plan_input(data, size, input)) fuzz::check_plan_look_back(input);
  return 0;
}
