#include "expression_list.hpp"

#include <iostream>

#include "parse_expression.hpp"
#include "report.hpp"

namespace textsift {
namespace {

std::string numbered(int number, const std::string& message) {
  return "Expression " + std::to_string(number) + ": " + message;
}

}  // namespace

expression make_expression(const std::string& argument, const templates::match_settings& settings) {
  expression record;
  record.set_expression_text(argument);
  parsed_expression parsed = parse_expression(argument, record.separators());
  if (!parsed.error.empty()) {
    record.reject(parsed.error);
  } else {
    record.compile(parsed.search_kind, parsed.pattern, parsed.replacement, parsed.modifiers,
                   settings);
  }
  return record;
}

std::vector<expression> build_expression_list(const std::vector<std::string>& arguments,
                                              int first_number) {
  std::vector<expression> list;
  list.reserve(arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    list.push_back(make_expression(arguments[i]));
    const std::string& error = list.back().error();
    if (!error.empty()) throw numbered(first_number + static_cast<int>(i), error);
  }
  return list;
}

void report_expressions(const std::vector<expression>& list) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const expression copy = list[i];
    std::cerr << "Expression " << i + 1 << ": " << copy;
  }
}

void apply_expressions(const std::vector<expression>& list, int first_number, std::string& text,
                       std::size_t max_size) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string failure = list[i].apply(text, max_size);
    if (!failure.empty()) throw numbered(first_number + static_cast<int>(i), failure);
  }
}

}  // namespace textsift
