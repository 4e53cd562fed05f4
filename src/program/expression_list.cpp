#include "program/expression_list.hpp"

#include <iostream>

#include "io/in_place_output.hpp"
#include "io/write_output.hpp"
#include "messages/messages.hpp"
#include "program/parse_expression.hpp"
#include "program/report.hpp"

namespace textsift {
namespace {

failure numbered(int number, const std::string& message) {
  return failure(messages::fill(messages::numbered, std::to_string(number), message));
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

void apply_and_write(const std::vector<expression>& list, int first_number, char* text_data,
                     std::size_t text_size, int fd, std::size_t max_size,
                     search::utf8_known known) {
  std::string_view text(text_data, text_size);
  char* writable = text_data;
  // Record i applied to `text` into `out`; true when `out` holds the new text.
  const auto apply_one = [&](std::size_t i, auto& out) {
    const templates::application_result outcome = list[i].apply(text, out, max_size, known);
    if (!outcome.failure.empty()) {
      throw numbered(first_number + static_cast<int>(i), outcome.failure);
    }
    return outcome.replaced;
  };
  // The last record's result is written as it comes where it cannot fail midway, and built over
  // its text otherwise; earlier ones each make the text for the next.
  const bool stream_last = !list.empty() && list.back().streams_safely();
  const std::size_t held = list.empty() ? 0 : list.size() - 1;
  std::string storage, next;  // the latest text, and room for the one after it
  for (std::size_t i = 0; i < held; ++i) {
    if (apply_one(i, next)) {
      storage.swap(next);
      text = storage;
      writable = storage.data();
      known = search::utf8_known::unknown;
    }
  }
  if (stream_last) {
    stream_output out(fd);
    if (apply_one(held, out)) {
      out.flush();
      return;
    }
  } else if (!list.empty()) {
    in_place_output out(writable, text.size(), list.back().matcher().look_back_bytes());
    if (apply_one(held, out)) {
      out.write_to(fd);
      return;
    }
  }
  write_all_stdout(fd, text);
}

}  // namespace textsift
