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

void apply_and_write(const std::vector<expression>& list, int first_number, text_buffer& text,
                     int fd, std::size_t max_size, search::utf8_known known) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const expression& record = list[i];
    const bool last = i + 1 == list.size();
    const auto failed = [&](const std::string& failure) {
      return numbered(first_number + static_cast<int>(i), failure);
    };
    // The last record's result is written as it comes where it cannot fail midway.
    if (last && record.streams_safely() && text.size() <= templates::max_text_size) {
      stream_output out(fd);
      const templates::application_result outcome = record.apply(text.view(), out, max_size, known);
      if (!outcome.failure.empty()) throw failed(outcome.failure);
      if (!outcome.replaced) break;
      out.flush();
      return;
    }
    templates::in_place_application applied =
        record.apply_in_place(text.data(), text.size(), max_size, known);
    if (!applied.failure.empty()) throw failed(applied.failure);
    if (!applied.replaced) continue;
    if (last) {
      std::vector<iovec> pieces;
      for (const in_place_output& out : applied.outputs) out.parts(pieces);
      write_pieces(fd, pieces.data(), pieces.size());
      return;
    }
    // The result becomes the next record's text, in the same buffer, grown where it is longer.
    std::size_t size = 0;
    for (const in_place_output& out : applied.outputs) size += out.size();
    if (size > text.capacity()) {
      const std::ptrdiff_t moved = text.reserve(size);
      for (in_place_output& out : applied.outputs) out.move_by(moved);
    }
    text.resize(join_in_place(applied.outputs, text.data(), text.capacity()));
    known = search::utf8_known::unknown;
  }
  write_all_stdout(fd, text.view());
}

}  // namespace textsift
