// The expression list: one record per expression argument, built, reported and applied in order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "io/text_buffer.hpp"
#include "templates/basic_pcre.hpp"

namespace textsift {

using expression = templates::basic_pcre<std::string>;

// The record for one argument: parsed, and compiled with `settings` when the parse accepts it.
// A rejected argument gives a record whose error message says why.
expression make_expression(const std::string& argument,
                           const templates::match_settings& settings = {});

// The records of `arguments`, in order; the first argument is expression number
// `first_number` on the command line. Throws "Expression N: <message>" for the first argument
// that is rejected; later arguments are not looked at.
std::vector<expression> build_expression_list(const std::vector<std::string>& arguments,
                                              int first_number);

// Writes "Expression N: " and the report of each record to standard error, N counted from 1.
void report_expressions(const std::vector<expression>& list);

// Applies each record in turn, the first to `text`, each later one to the result of the one
// before, and writes the final text to `fd`. The text is the run's own: every record builds its
// result over it, which leaves it changed. Throws "Expression N: <reason>" for the first record
// that fails, N counted from `first_number` as in build_expression_list; a text longer than
// `max_size` bytes, or than the record's searches take, is such a failure. Nothing is written
// before the last record has succeeded, except that a last record that streams safely writes its
// result as it comes. `known` is what is already known of the UTF-8 validity of the text; it
// must be true.
void apply_and_write(const std::vector<expression>& list, int first_number, text_buffer& text,
                     int fd, std::size_t max_size = templates::max_text_size,
                     search::utf8_known known = search::utf8_known::unknown);

}  // namespace textsift
