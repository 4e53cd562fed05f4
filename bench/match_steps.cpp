// Prints the fewest match-limit steps that one attempt of a pattern needs to match a generated
// text, per byte of the text, on the interpreter and on the JIT: the figures behind the match
// limit's steps per byte.
// Usage: match_steps PATTERN TEXT BYTES [s]
//   TEXT  angle   "<", BYTES "x", ">"
//         quoted  a double quote, BYTES "a", a double quote
//         escaped a double quote, BYTES/2 times backslash-a, a double quote
//         html    a page whose body holds BYTES "x"
//         fields  three comma-separated fields of BYTES/3 bytes and a line feed
//   s     compile with PCRE_DOTALL | PCRE_MULTILINE | PCRE_CASELESS | PCRE_EXTENDED (for the help
//         text's HTML example)
// Run it with a large stack (`ulimit -s unlimited`): the interpreter recurses.
#include <pcre.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string text_of(const std::string& kind, std::size_t bytes) {
  if (kind == "angle") return "<" + std::string(bytes, 'x') + ">";
  if (kind == "quoted") return "\"" + std::string(bytes, 'a') + "\"";
  if (kind == "html") return "<html><body class=a>" + std::string(bytes, 'x') + "</body></html>";
  if (kind == "fields") {
    const std::size_t third = bytes / 3;
    return std::string(third, 'a') + "," + std::string(third, 'b') + "," + std::string(third, 'c') +
           "\n";
  }
  std::string text = "\"";
  for (std::size_t i = 0; i < bytes / 2; ++i) text += "\\a";
  return text + "\"";
}

// Whether the pattern matches within `limit` steps (a failure other than the limit counts as
// a match found, so that the search stops there).
bool matches_within(const pcre* code, const pcre_extra* study, const std::string& text,
                    unsigned long limit) {
  pcre_extra extra = *study;
  extra.flags |= PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
  extra.match_limit = limit;
  extra.match_limit_recursion = 2000000000UL;
  int ovector[30];
  const int status =
      pcre_exec(code, &extra, text.data(), static_cast<int>(text.size()), 0, 0, ovector, 30);
  if (status < 0 && status != PCRE_ERROR_MATCHLIMIT && status != PCRE_ERROR_NOMATCH) {
    std::printf("  (engine error %d)\n", status);
  }
  return status != PCRE_ERROR_MATCHLIMIT;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: match_steps PATTERN angle|quoted|escaped|html|fields BYTES [s]\n");
    return 2;
  }
  const int options =
      PCRE_UTF8 | (argc > 4 ? PCRE_DOTALL | PCRE_MULTILINE | PCRE_CASELESS | PCRE_EXTENDED : 0);
  const std::string text = text_of(argv[2], std::strtoul(argv[3], nullptr, 10));
  const char* message = nullptr;
  int offset = 0;
  pcre* code = pcre_compile(argv[1], options, &message, &offset, nullptr);
  if (code == nullptr) {
    std::fprintf(stderr, "%s\n", message);
    return 1;
  }
  pcre_jit_stack* stack = pcre_jit_stack_alloc(32 << 10, 64 << 20);
  for (const bool jit : {false, true}) {
    pcre_extra* study = pcre_study(code, jit ? PCRE_STUDY_JIT_COMPILE : 0, &message);
    pcre_extra empty{};
    if (study == nullptr) study = &empty;
    if (jit) pcre_assign_jit_stack(study, nullptr, stack);
    unsigned long low = 1, high = 2000000000UL;  // the JIT reads the limit as 32 bits
    if (!matches_within(code, study, text, high)) {
      std::printf("%s: more than %lu steps\n", jit ? "JIT        " : "interpreter", high);
    } else {
      while (low < high) {
        const unsigned long middle = low + (high - low) / 2;
        if (matches_within(code, study, text, middle)) {
          high = middle;
        } else {
          low = middle + 1;
        }
      }
      std::printf("%s: %lu steps for %zu bytes, %.2f per byte\n",
                  jit ? "JIT        " : "interpreter", low, text.size(),
                  static_cast<double>(low) / static_cast<double>(text.size()));
    }
    if (study != &empty) pcre_free_study(study);
  }
  pcre_jit_stack_free(stack);
  pcre_free(code);
  return 0;
}
