// The fuzzers' properties on their seed corpus and on every input a fuzzer once failed on, so
// that each fixed fault stays fixed in every test run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz_checks.hpp"
#include "plan_checks.hpp"

namespace {

namespace fs = std::filesystem;

// Calls `check` on every file under fuzz/<each of `directories`>/<target>; returns the count.
template <class Check>
int replay(const std::string& target, Check check) {
  int count = 0;
  for (const char* directory : {"corpus", "regressions"}) {
    const fs::path path = fs::path(TEXTSIFT_FUZZ_DIR) / directory / target;
    if (!fs::exists(path)) continue;
    for (const auto& entry : fs::directory_iterator(path)) {
      std::ifstream file(entry.path(), std::ios::binary);
      std::stringstream bytes;
      bytes << file.rdbuf();
      const std::string data = bytes.str();
      SCOPED_TRACE(entry.path().string());
      check(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
      ++count;
    }
  }
  return count;
}

TEST(fuzz_inputs, parse_and_compile) {
  EXPECT_GT(replay("parse", fuzz::check_parse_compile), 50);
}

TEST(fuzz_inputs, whole_runs) {
  EXPECT_GT(replay("run", fuzz::check_run), 10);
}

TEST(fuzz_inputs, pieces_against_whole) {
  EXPECT_GT(replay("run", fuzz::check_pieces), 10);
}

TEST(fuzz_inputs, fast_paths_on_and_off) {
  EXPECT_GT(replay("run", fuzz::check_fast_paths), 10);
}

TEST(fuzz_inputs, literal_sets) {
  EXPECT_GT(replay("sets", fuzz::check_literal_sets), 10);
}

TEST(fuzz_inputs, plans_against_the_library) {
  EXPECT_GT(replay("plan", fuzz::check_plan_bytes), 10);
}

}  // namespace
