// Writes a deterministic UTF-8 text of about BYTES bytes to standard output, for the benchmark.
// Usage: make_input BYTES [log|fatal|example|json|sparse|late|indented]
//   log      log lines with mixed ASCII and multi-byte words (the default)
//   fatal    the same with one FATAL line near the end
//   example  short lines in the shape of the help text's example, "ABC DEF YES"
//   json     JSON objects, one per line, with string values of 3 to 2,000 words, some holding
//            escaped quotes
//   sparse   log lines where what a search looks for is rare: ERROR on one line in 40, FATAL on
//            one in 400, one of 18 other alarm words on one in 40, an e-mail address on one in
//            40, and "user=" with a name (never a digit) on one in 8
//   late     log lines of exactly BYTES bytes in all, one of them, 2 KB before the end, with
//            "kernel[4242]: PANIC" and the number 555-123-4567, found nowhere else
//   indented log lines indented by 1 to 12 blanks and tabs, as in code or configuration
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A fixed-seed generator with a fully specified sequence (xorshift64*), so that every machine
// produces the same text.
class sequence {
 public:
  std::uint64_t next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 2685821657736338717ULL;
  }
  unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

const char* const levels[] = {"INFO", "INFO", "INFO", "DEBUG", "WARN", "ERROR"};
const char* const words[] = {"user",
                             "session",
                             "request",
                             "foo",
                             "bar",
                             "error",
                             "Error",
                             "errors",
                             "timeout",
                             "cache",
                             "caf\xc3\xa9",
                             "na\xc3\xafve",
                             "\xc3\xbc"
                             "ber",
                             "\xe6\x9d\xb1\xe4\xba\xac",
                             "stra\xc3\x9f"
                             "e",
                             "\xd0\xbc\xd0\xb8\xd1\x80",
                             "r\xc3\xa9sum\xc3\xa9",
                             "food",
                             "ABC",
                             "DEF",
                             "YES",
                             "ok",
                             "\xe2\x82\xac"
                             "42",
                             "path=/api/v1/items",
                             "id=7"};

void append_line(std::string& out, sequence& random, const char* level) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u [%s]", 2020 + random.below(7),
                1 + random.below(12), 1 + random.below(28), random.below(24), random.below(60),
                random.below(60), level);
  out += stamp;
  for (unsigned n = 4 + random.below(10); n > 0; --n) {
    out += ' ';
    const unsigned pick = random.below(sizeof words / sizeof *words + 2);
    if (pick == sizeof words / sizeof *words) {
      out += "[" + std::to_string(random.below(100000)) + "]";
    } else if (pick == sizeof words / sizeof *words + 1) {
      out += "[k=v " + std::string(words[random.below(sizeof words / sizeof *words)]) + "]";
    } else {
      out += words[pick];
    }
  }
  out += '\n';
}

const char* const quiet_levels[] = {"INFO", "INFO", "INFO", "DEBUG", "WARN"};
const char* const quiet_words[] = {"request",
                                   "served",
                                   "cache",
                                   "hit",
                                   "miss",
                                   "session",
                                   "started",
                                   "completed",
                                   "took",
                                   "bytes",
                                   "path=/api/v1/items",
                                   "status=200",
                                   "client",
                                   "connection",
                                   "worker",
                                   "queue",
                                   "job",
                                   "retry",
                                   "ok",
                                   "caf\xc3\xa9",
                                   "\xe6\x9d\xb1"};
const char* const alarm_words[] = {"timeout", "refused", "denied",   "panic",     "overflow",
                                   "corrupt", "invalid", "missing",  "rejected",  "aborted",
                                   "killed",  "crashed", "deadlock", "exhausted", "unreachable",
                                   "expired", "failed",  "dropped"};
const char* const names[] = {"alice", "bob", "carol", "dave", "erin", "frank"};

template <std::size_t N>
const char* pick(sequence& random, const char* const (&choices)[N]) {
  return choices[random.below(N)];
}

void append_sparse_line(std::string& out, sequence& random) {
  const unsigned level = random.below(400);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u [%s]", 2020 + random.below(7),
                1 + random.below(12), 1 + random.below(28), random.below(24), random.below(60),
                random.below(60),
                level == 0        ? "FATAL"
                : level % 40 == 1 ? "ERROR"
                                  : pick(random, quiet_levels));
  out += stamp;
  if (random.below(8) == 0) out += std::string(" user=") + pick(random, names);
  for (unsigned n = 4 + random.below(10); n > 0; --n) {
    out += ' ';
    out += pick(random, quiet_words);
  }
  if (random.below(40) == 0) out += std::string(" ") + pick(random, alarm_words);
  if (random.below(40) == 0) out += std::string(" mail ") + pick(random, names) + "@example.org";
  out += " id=" + std::to_string(random.below(100000)) + '\n';
}

const char* const example_lines[] = {
    "ABC DEF YES", "ABCDEF GHI NO", "abc ABC  xyz", "ABC\tDEF", "caf\xc3\xa9 ABC \xe2\x82\xac 42",
    "nothing here"};

void append_example_line(std::string& out, sequence& random) {
  out += example_lines[random.below(sizeof example_lines / sizeof *example_lines)];
  out += '\n';
}

// A JSON string of `count` words; about one in eight words is quoted with escaped quotes.
void append_json_string(std::string& out, sequence& random, unsigned count) {
  out += '"';
  for (unsigned i = 0; i < count; ++i) {
    if (i > 0) out += ' ';
    const char* word = words[random.below(sizeof words / sizeof *words)];
    if (random.below(8) == 0) {
      out += std::string("\\\"") + word + "\\\"";
    } else {
      out += word;
    }
  }
  out += '"';
}

// One object per line. Most messages are short; one line in sixteen carries a long one, up to
// 2,000 words.
void append_json_line(std::string& out, sequence& random) {
  out += "{\"id\": " + std::to_string(random.below(1000000)) + ", \"user\": ";
  append_json_string(out, random, 3);
  out += ", \"message\": ";
  append_json_string(out, random,
                     random.below(16) == 0 ? 3 + random.below(1998) : 3 + random.below(40));
  out += ", \"level\": ";
  append_json_string(out, random, 1 + random.below(3));
  out += "}\n";
}

}  // namespace

int main(int argc, char* argv[]) {
  const char* const kind = argc > 2 ? argv[2] : "log";
  if (argc < 2 || (std::strcmp(kind, "log") != 0 && std::strcmp(kind, "fatal") != 0 &&
                   std::strcmp(kind, "example") != 0 && std::strcmp(kind, "json") != 0 &&
                   std::strcmp(kind, "sparse") != 0 && std::strcmp(kind, "late") != 0 &&
                   std::strcmp(kind, "indented") != 0)) {
    std::fprintf(stderr, "usage: make_input BYTES [log|fatal|example|json|sparse|late|indented]\n");
    return 2;
  }
  const std::size_t size = std::strtoull(argv[1], nullptr, 10);
  const bool fatal = std::strcmp(kind, "fatal") == 0;
  const bool example = std::strcmp(kind, "example") == 0;
  const bool json = std::strcmp(kind, "json") == 0;
  const bool sparse = std::strcmp(kind, "sparse") == 0;
  const bool late = std::strcmp(kind, "late") == 0;
  const bool indented = std::strcmp(kind, "indented") == 0;
  sequence random;
  std::string out;
  std::size_t written = 0;
  bool fatal_written = false;
  while (written < size) {
    out.clear();
    while (out.size() < (1 << 16) && !(late && written + out.size() >= size)) {
      const bool near_end = written + out.size() > size - size / 100;
      if (late && !fatal_written && written + out.size() + 2000 >= size) {
        out += "2026-12-08 11:37:51 [FATAL] kernel[4242]: PANIC call 555-123-4567 at once\n";
        fatal_written = true;
      } else if (example) {
        append_example_line(out, random);
      } else if (json) {
        append_json_line(out, random);
      } else if (sparse) {
        append_sparse_line(out, random);
      } else if (indented) {
        for (unsigned n = 1 + random.below(12); n > 0; --n)
          out += random.below(4) == 0 ? '\t' : ' ';
        append_line(out, random, levels[random.below(sizeof levels / sizeof *levels)]);
      } else if (fatal && near_end && !fatal_written) {
        append_line(out, random, "FATAL");
        fatal_written = true;
      } else {
        append_line(out, random, levels[random.below(sizeof levels / sizeof *levels)]);
      }
    }
    if (late && written + out.size() > size) {
      out.resize(size - written);  // then no character is cut in two at the end
      for (auto at = out.rbegin(); at != out.rend() && static_cast<unsigned char>(*at) >= 0x80;
           ++at)
        *at = '.';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    written += out.size();
  }
  return 0;
}
