// Times the set search against Hyperscan's literal API on one text, the two ways a search uses
// it: every occurrence in one pass, and the first occurrence from each place a search resumes.
// Usage: set_search FILE LITERAL... (each literal exact)
// Prints, per way, the milliseconds of each (median of 7 runs) and the occurrences found, which
// must agree.
#include <hs.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "search/literal_search.hpp"

namespace {

double median_ms(const std::function<void()>& run) {
  std::vector<double> times;
  for (int i = 0; i < 7; ++i) {
    const auto start = std::chrono::steady_clock::now();
    run();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[3];
}

// The first occurrence found by Hyperscan from `from`: matches come by their end, so the scan
// goes on until no later end can belong to an earlier start.
struct first_occurrence {
  const std::vector<std::string>* literals;
  unsigned long long best = ~0ULL;
  std::size_t longest = 0;
};

int on_match(unsigned id, unsigned long long, unsigned long long to, unsigned, void* context) {
  auto& first = *static_cast<first_occurrence*>(context);
  const unsigned long long start = to - (*first.literals)[id].size();
  first.best = std::min(first.best, start);
  return to >= first.best + first.longest ? 1 : 0;
}

int count_match(unsigned, unsigned long long, unsigned long long, unsigned, void* context) {
  ++*static_cast<std::size_t*>(context);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: set_search FILE LITERAL...\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  const std::string text = bytes.str();
  std::vector<std::string> literals(argv + 2, argv + argc);
  std::vector<textsift::search::literal> set;
  std::vector<const char*> expressions;
  std::vector<unsigned> ids, flags;
  std::vector<std::size_t> lengths;
  std::size_t longest = 0;
  for (std::size_t i = 0; i < literals.size(); ++i) {
    set.push_back({literals[i], false});
    expressions.push_back(literals[i].c_str());
    lengths.push_back(literals[i].size());
    ids.push_back(static_cast<unsigned>(i));
    flags.push_back(0);
    longest = std::max(longest, literals[i].size());
  }
  hs_database_t* database = nullptr;
  hs_compile_error_t* error = nullptr;
  if (hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(), lengths.data(),
                           static_cast<unsigned>(literals.size()), HS_MODE_BLOCK, nullptr,
                           &database, &error) != HS_SUCCESS) {
    std::fprintf(stderr, "hyperscan: %s\n", error->message);
    return 1;
  }
  hs_scratch_t* scratch = nullptr;
  hs_alloc_scratch(database, &scratch);
  const textsift::search::literal_set_finder finder(set);

  std::size_t ours_all = 0, theirs_all = 0, ours_first = 0, theirs_first = 0;
  const double ours_pass = median_ms([&] {
    ours_all = 0;
    for (std::size_t at = 0;; ++at) {
      at = finder.find(text.data(), text.size(), at).position;
      if (at == std::string::npos) break;
      ++ours_all;
    }
  });
  const double theirs_pass = median_ms([&] {
    theirs_all = 0;
    hs_scan(database, text.data(), static_cast<unsigned>(text.size()), 0, scratch, count_match,
            &theirs_all);
  });
  const double ours_resumed = median_ms([&] {
    ours_first = 0;
    for (std::size_t at = 0;;) {
      const std::size_t found = finder.find(text.data(), text.size(), at).position;
      if (found == std::string::npos) break;
      ++ours_first;
      at = found + 1;
    }
  });
  const double theirs_resumed = median_ms([&] {
    theirs_first = 0;
    for (std::size_t at = 0; at < text.size();) {
      first_occurrence first{&literals, ~0ULL, longest};
      hs_scan(database, text.data() + at, static_cast<unsigned>(text.size() - at), 0, scratch,
              on_match, &first);
      if (first.best == ~0ULL) break;
      ++theirs_first;
      at += first.best + 1;
    }
  });
  std::printf("one pass:   ours %.1f ms (%zu), hyperscan %.1f ms (%zu)\n", ours_pass, ours_all,
              theirs_pass, theirs_all);
  std::printf("resumed:    ours %.1f ms (%zu), hyperscan %.1f ms (%zu)\n", ours_resumed, ours_first,
              theirs_resumed, theirs_first);
  hs_free_scratch(scratch);
  hs_free_database(database);
  return 0;
}
