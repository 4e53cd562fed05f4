// libFuzzer target: the plan against what the library reports about the compiled pattern.
#include "plan_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::plan_input input;
  if (fuzz::read_plan_input(data, size, input)) fuzz::check_plan_against_library(input);
  return 0;
}
