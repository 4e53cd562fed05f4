// Binding to the PCRE library's C interface: one compiled pattern with the engine limits that
// every match attempt runs under. pcrecpp compiles the record's pattern too, but all matching
// goes through this binding, so that limits and UTF-8 checks are under our control.
#pragma once

#include <pcre.h>

#include <cstddef>
#include <memory>
#include <string>

namespace templates {

// Limits of one match attempt (per start position of an unanchored search).
constexpr int match_limit = 10000;
constexpr int recursion_limit = 500;

// The engine takes lengths and offsets as 32-bit signed integers: no text may be longer.
constexpr std::size_t max_text_size = 2147483647;

// A pattern compiled with a set of option bits, ready to match. Copies compile again from the
// stored pattern and options and share nothing with their source.
class compiled_pattern {
 public:
  // An empty handle: compiled() is false and error() is empty.
  compiled_pattern() = default;

  // Compiles `pattern` (no NUL byte inside) with the PCRE option bits `options`. On failure
  // compiled() is false and error() holds the library's message.
  compiled_pattern(std::string pattern, int options)
      : pattern_(std::move(pattern)), options_(options) {
    compile();
  }

  compiled_pattern(const compiled_pattern& other)
      : pattern_(other.pattern_), options_(other.options_) {
    if (other.code_) compile();
  }

  compiled_pattern& operator=(const compiled_pattern& other) {
    if (this != &other) *this = compiled_pattern(other);
    return *this;
  }

  compiled_pattern(compiled_pattern&&) noexcept = default;
  compiled_pattern& operator=(compiled_pattern&&) noexcept = default;
  ~compiled_pattern() = default;

  bool compiled() const { return code_ != nullptr; }
  const std::string& error() const { return error_; }

  // Number of capturing groups; 0 when not compiled.
  int capture_count() const { return info_int(PCRE_INFO_CAPTURECOUNT); }

  // Whether the pattern matches in UTF-8 mode (the subject must then be valid UTF-8).
  bool utf8() const { return (compile_options() & PCRE_UTF8) != 0; }

  // Whether CR LF counts as one newline under the pattern's newline convention, which a leading
  // (*CRLF), (*ANYCRLF) or (*ANY) may select.
  bool crlf_is_newline() const {
    const unsigned long newline = compile_options() & 0x700000UL;
    return newline == PCRE_NEWLINE_CRLF || newline == PCRE_NEWLINE_ANY ||
           newline == PCRE_NEWLINE_ANYCRLF;
  }

  // One search over subject[0, length) from `start` with the exec option bits `flags`, under the
  // match and recursion limits. `ovector` holds `ovector_size` ints, a multiple of 3. Returns
  // pcre_exec's result: the number of reported groups plus one on a match, PCRE_ERROR_NOMATCH,
  // or another negative error code. Requires compiled().
  int exec(const char* subject, int length, int start, int flags, int* ovector,
           int ovector_size) const {
    pcre_extra extra{};
    extra.flags = PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
    extra.match_limit = match_limit;
    extra.match_limit_recursion = recursion_limit;
    if (study_) {
      extra.flags |= PCRE_EXTRA_STUDY_DATA;
      extra.study_data = study_->study_data;
    }
    return pcre_exec(code_.get(), &extra, subject, length, start, flags, ovector, ovector_size);
  }

 private:
  struct code_deleter {
    void operator()(pcre* code) const { pcre_free(code); }
  };
  struct study_deleter {
    void operator()(pcre_extra* study) const { pcre_free_study(study); }
  };

  void compile() {
    const char* message = nullptr;
    int offset = 0;
    code_.reset(pcre_compile(pattern_.c_str(), options_, &message, &offset, nullptr));
    error_ = code_ ? std::string() : std::string(message ? message : "compilation failed");
    if (code_) study_.reset(pcre_study(code_.get(), 0, &message));
  }

  int info_int(int what) const {
    int value = 0;
    if (code_) pcre_fullinfo(code_.get(), nullptr, what, &value);
    return value;
  }

  unsigned long compile_options() const {
    unsigned long value = 0;
    if (code_) pcre_fullinfo(code_.get(), nullptr, PCRE_INFO_OPTIONS, &value);
    return value;
  }

  std::string pattern_;
  int options_ = 0;
  std::string error_;
  std::unique_ptr<pcre, code_deleter> code_;
  std::unique_ptr<pcre_extra, study_deleter> study_;  // null when studying found nothing useful
};

}  // namespace templates
