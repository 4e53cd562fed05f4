// The expression record: one command-line expression from parsing through compilation to its
// application on the text.
#pragma once

#include <pcrecpp.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "templates/application.hpp"
#include "templates/engine_options.hpp"
#include "templates/match_settings.hpp"
#include "templates/pcre_binding.hpp"
#include "templates/pieces.hpp"
#include "templates/rewrite.hpp"

namespace templates {

// A record is a value: copies compile their own expression and share nothing. It is usable when
// its error message is empty; then its pattern is not empty and compiled with the options its
// modifiers select.
template <class String>
class basic_pcre {
 public:
  // A fresh record: match kind, no text, separator set "/|#%", compiled from the empty pattern.
  basic_pcre() : expression_("") {}
  basic_pcre(const basic_pcre&) = default;
  basic_pcre& operator=(const basic_pcre&) = default;
  virtual ~basic_pcre() = default;

  // Stores the argument as typed; the parse does this before any check.
  void set_expression_text(const String& text) { expression_text_ = text; }

  // Marks the record as rejected with `message` (not empty).
  void reject(const String& message) { error_ = message; }

  // Compiles an accepted parse: `pattern` (not empty) with the options selected by `modifiers`,
  // its searches to run as `settings` says. Stores the parts whether or not compilation
  // succeeds. On failure the error message becomes the library's compile error, or the reason
  // why `replacement` can never apply.
  void compile(bool search_kind, const String& pattern, const String& replacement,
               const String& modifiers, const match_settings& settings = match_settings()) {
    const pcrecpp::RE_Options options = engine_options(modifiers, settings);
    expression_ = pcrecpp::RE(pattern, options);
    matcher_ = compiled_pattern(pattern, options, settings);
    global_ = search_kind && modifiers.find('1') == String::npos;
    search_kind_ = search_kind;
    pattern_ = pattern;
    replacement_ = replacement;
    modifiers_ = modifiers;
    if (!matcher_.compiled()) {
      // pcrecpp's message is the one users see; it rejects every pattern the library rejects.
      error_ = expression_.error().empty() ? matcher_.error() : expression_.error();
    } else {
      error_ = validate_rewrite(rewrite(), matcher_.capture_count());
    }
  }

  // Applies this usable record to `text`: the match kind leaves the rewrite of the first match
  // (the empty string when nothing matches), the search kind replaces the first or every match.
  // When the text changes, the new text goes to `result`: a string, a stream, or an output built
  // over the text, as the application functions allow. On failure (an engine failure, or a
  // text longer than `max_size` bytes, at most the engine's limit) the result's failure says why.
  // `known` is what is already known of the text's UTF-8 validity; it must be true.
  template <class Output>
  application_result apply(
      std::string_view text, Output& result, std::size_t max_size = max_text_size,
      textsift::search::utf8_known known = textsift::search::utf8_known::unknown) const {
    std::string failure = text_size_failure(text.size(), std::min(max_size, max_text_size));
    if (!failure.empty()) return {failure};
    if (!search_kind_) return extract(matcher_, rewrite(), text, result, known);
    if (global_) return replace_all(matcher_, replacement_, text, result, known);
    return replace_first(matcher_, replacement_, text, result, known);
  }

  // Applies this usable record to text[0, size), the run's own copy, building the new text over
  // it: in pieces at once where the plan allows and the text is long enough (pieces.hpp), and in
  // windows of its own where it is longer than the engine takes. On success with `replaced`,
  // `outputs` hold the new text, piece by piece in order; the text itself is then changed. On
  // failure (as for apply) the text may be changed, and nothing else holds.
  in_place_application apply_in_place(
      char* text, std::size_t size, std::size_t max_size = max_text_size,
      textsift::search::utf8_known known = textsift::search::utf8_known::unknown) const {
    in_place_application result;
    result.failure = text_size_failure(size, std::min(max_size, matcher_.largest_text()));
    if (!result.failure.empty()) return result;
    const std::string_view view(text, size);
    const std::size_t back = matcher_.look_back_bytes();
    // The whole text in one piece.
    const auto whole = [&] {
      result.outputs.emplace_back(text, size, back);
      const application_result outcome = apply(view, result.outputs.back(), max_size, known);
      result.failure = outcome.failure;
      result.replaced = outcome.replaced;
    };
    // Pieces cut on a guess serve global replacements only: a first match is searched for whole.
    const bool guessed = matcher_.plan().split == textsift::analysis::split_mode::guessed;
    const std::size_t wanted =
        guessed && !global_ ? 1 : pieces_wanted(matcher_, size, matcher_.piece_bytes());
    if (wanted == 1 && size <= max_text_size) {
      whole();
      return result;
    }
    // The pieces all take the text as valid UTF-8: it is checked once, here, before any cut.
    if (matcher_.utf8() && known == textsift::search::utf8_known::unknown) {
      known = textsift::search::utf8_check(view, textsift::search::utf8_check::split_bytes,
                                           matcher_.width())
                      .valid()
                  ? textsift::search::utf8_known::valid
                  : textsift::search::utf8_known::invalid;
    }
    if (matcher_.utf8() && known == textsift::search::utf8_known::invalid) {
      result.failure = search_failure_message(PCRE_ERROR_BADUTF8);
      return result;
    }
    const piece_layout layout = lay_out_pieces(matcher_, view, wanted, matcher_.piece_bytes() != 0);
    if (layout.pieces() == 1 && size <= max_text_size) {
      whole();
      return result;
    }
    if (guessed) {
      result.failure = replace_all_on_guesses(matcher_, replacement_, text, size, layout, known,
                                              result.outputs, result.replaced);
      return result;
    }
    if (global_) {
      result.failure = replace_all_in_pieces(matcher_, replacement_, text, size, layout, known,
                                             result.outputs, result.replaced);
      return result;
    }
    std::vector<int> ovector;
    std::size_t base = 0;
    const int status = first_match_in_pieces(matcher_, view, layout, known, ovector, base);
    if (status < PCRE_ERROR_NOMATCH) {
      result.failure = search_failure_message(status);
      return result;
    }
    if (status == PCRE_ERROR_NOMATCH && search_kind_) return result;  // the text stays
    result.outputs.emplace_back(text, size, back);
    textsift::in_place_output& out = result.outputs.back();
    if (!search_kind_) {
      out.clear();
      if (status > 0) extract_match(rewrite(), text + base, ovector.data(), status, out);
      out.append_rest(size);
    } else {
      replace_match(replacement_, view, base, ovector.data(), status, out);
    }
    result.replaced = true;
    return result;
  }

  // The same in place: `text` becomes the new text. Returns an empty string on success, else the
  // reason; `text` is then unchanged.
  std::string apply(String& text, std::size_t max_size = max_text_size) const {
    String result;
    application_result outcome = apply(std::string_view(text), result, max_size);
    if (outcome.failure.empty() && outcome.replaced) text.swap(result);
    return outcome.failure;
  }

  // Whether an application can fail only before it produces output, so that its result may be
  // written as it comes: a replacement of a plain literal, where no engine runs and the only
  // failures (text size, UTF-8) come first.
  bool streams_safely() const {
    return search_kind_ && matcher_.plan().search_literals && matcher_.plan().pure_literal;
  }

  bool search_kind() const { return search_kind_; }
  bool global() const { return global_; }
  char separator() const { return separator_; }
  const String& separators() const { return separators_; }
  const String& expression_text() const { return expression_text_; }
  const String& pattern() const { return pattern_; }
  const String& modifiers() const { return modifiers_; }
  const String& replacement() const { return replacement_; }
  const String& error() const { return error_; }
  const pcrecpp::RE& expression() const { return expression_; }
  const compiled_pattern& matcher() const { return matcher_; }

 private:
  // The match kind without a replacement keeps the whole match.
  String rewrite() const {
    if (!search_kind_ && replacement_.empty()) return String("\\0");
    return replacement_;
  }

  bool search_kind_ = false;
  bool global_ = false;
  char separator_ = '/';
  String separators_ = "/|#%";
  String expression_text_;
  String pattern_;
  String modifiers_;
  String replacement_;
  String error_;
  pcrecpp::RE expression_;
  compiled_pattern matcher_;
};

}  // namespace templates
