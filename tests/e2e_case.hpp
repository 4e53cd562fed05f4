// A table row for an end-to-end run: arguments and input, and the exact standard output,
// standard error and exit status expected.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "lazy_text.hpp"

namespace test {

struct e2e_case {
  std::string name;
  std::vector<std::string> args;
  lazy_text input;
  lazy_text out;
  lazy_text err;
  int status;
};

inline void PrintTo(const e2e_case& c, std::ostream* out) {
  *out << c.name;
}

// Rows are checked by the one TEST_P(pipeline, ...) and instantiated wherever a table stands.
class pipeline : public testing::TestWithParam<e2e_case> {};

// Rows that must hold on both engines: checked once with JIT and once on a system that refuses
// executable memory, where every search runs on the interpreter.
class both_engines : public testing::TestWithParam<e2e_case> {};

// The standard error of a failed run.
inline std::string error(const std::string& message) {
  return "Error: " + message + "\n";
}

}  // namespace test
