// libFuzzer target: the plan's literals and line windows against every match the plain engine
// finds.
#include "plan_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::plan_input input;
  if (fuzz::read_plan_input(data, size, input)) fuzz::check_plan_matches(input);
  return 0;
}
