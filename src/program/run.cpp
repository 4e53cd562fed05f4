#include "program/run.hpp"

#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "io/read_input.hpp"
#include "io/write_output.hpp"
#include "messages/messages.hpp"
#include "program/expression_list.hpp"
#include "program/help.hpp"
#include "program/program.hpp"
#include "program/version.hpp"

namespace textsift {
namespace {

enum class first_argument { expression, help, verbose, version };

// Options count only as the very first argument, compared as whole strings.
first_argument classify(const std::string& argument) {
  if (argument == "-h" || argument == "--help") return first_argument::help;
  if (argument == "--version") return first_argument::version;
  if (argument == "-v" || argument == "--verbose" || argument == "-vv" || argument == "-v2" ||
      argument == "--debug") {
    return first_argument::verbose;
  }
  return first_argument::expression;
}

}  // namespace

int run(int argc, const char* const argv[]) {
  if (argc < 2) throw failure(messages::fill(messages::no_expression, program_name));
  const first_argument first = classify(argv[1]);
  if (first == first_argument::help) {
    print_help();
    return 1;
  }
  if (first == first_argument::version) {
    write_all_stdout(STDOUT_FILENO, version_line() + "\n");
    return 0;
  }
  const int first_number = first == first_argument::verbose ? 2 : 1;
  std::vector<std::string> arguments;
  for (int i = first_number; i < argc && argv[i] != nullptr; ++i) arguments.emplace_back(argv[i]);
  const std::vector<expression> list = build_expression_list(arguments, first_number);

  wait_for_input(STDIN_FILENO);
  // The first expression checks its text as UTF-8 unless it matches bytes: that check is best
  // made while the text comes in.
  const bool check_utf8 = !list.empty() && list.front().matcher().utf8();
  // A text longer than the engine takes is read where the first expression can search it in
  // windows of its own; the later ones each say whether they can.
  const std::size_t max_size =
      list.empty() ? templates::max_text_size : list.front().matcher().largest_text();
  input_text input = read_input(STDIN_FILENO, max_size, check_utf8);
  if (first == first_argument::verbose) report_expressions(list);
  apply_and_write(list, first_number, input.text(), STDOUT_FILENO, SIZE_MAX, input.utf8());
  return 0;
}

}  // namespace textsift
