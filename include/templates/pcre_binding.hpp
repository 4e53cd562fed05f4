// Binding to the PCRE library's C interface: one compiled pattern with the engine limits that
// every match attempt runs under. pcrecpp compiles the record's pattern too, but all matching
// goes through this binding, so that the engine, the limits and the UTF-8 checks are under our
// control.
#pragma once

#include <pcre.h>
#include <pcrecpp.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "analysis/pattern_plan.hpp"
#include "messages/messages.hpp"
#include "search/literal_search.hpp"
#include "templates/match_settings.hpp"

namespace templates {

// The engine takes lengths and offsets as 32-bit signed integers: no text may be longer.
constexpr std::size_t max_text_size = 2147483647;

// The JIT stack of the calling thread, which all its JIT searches share (they run one at a time):
// created on first use with 32 KiB, growing to at most 64 MiB. Null when it cannot be created;
// the library then uses 32 KiB of the machine stack. Fits the library's JIT stack callback,
// which the library calls on the thread that searches.
inline pcre_jit_stack* thread_jit_stack(void* = nullptr) {
  struct stack_deleter {
    void operator()(pcre_jit_stack* stack) const { pcre_jit_stack_free(stack); }
  };
  thread_local const std::unique_ptr<pcre_jit_stack, stack_deleter> stack(
      pcre_jit_stack_alloc(32 << 10, 64 << 20));
  return stack.get();
}

// A pattern compiled with a set of option bits and the limits of one match attempt, ready to
// match. Searches run the library's JIT code where it exists and the pattern is one the JIT
// matches correctly, and the interpreter otherwise. Copies compile again from the stored pattern
// and options and share nothing with their source.
class compiled_pattern {
 public:
  // An empty handle: compiled() is false and error() is empty.
  compiled_pattern() = default;

  // Compiles `pattern` (no NUL byte inside) with the option bits and limits of `options`;
  // `settings` choose the engine and whether searches may skip text (its limits are not read).
  // On failure compiled() is false and error() holds the library's message.
  compiled_pattern(std::string pattern, const pcrecpp::RE_Options& options,
                   const match_settings& settings = match_settings())
      : pattern_(std::move(pattern)),
        options_(options.all_options()),
        match_limit_(options.match_limit()),
        recursion_limit_(options.match_limit_recursion()),
        jit_wanted_(settings.jit),
        accelerate_(settings.accelerate),
        width_(settings.width),
        piece_bytes_(settings.piece_bytes) {
    compile();
  }

  compiled_pattern(const compiled_pattern& other)
      : pattern_(other.pattern_),
        options_(other.options_),
        match_limit_(other.match_limit_),
        recursion_limit_(other.recursion_limit_),
        jit_wanted_(other.jit_wanted_),
        accelerate_(other.accelerate_),
        width_(other.width_),
        piece_bytes_(other.piece_bytes_) {
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

  // Compiles what the first search would compile (its JIT code), so that searches on several
  // threads at once change nothing shared. Call it before starting them.
  void prepare_for_threads() const {
    if (jit_pending_) compile_jit();
  }

  // Whether searches run JIT code (an anchored search always runs the interpreter).
  bool uses_jit() const {
    if (jit_pending_) compile_jit();
    return info_int(PCRE_INFO_JIT) == 1;
  }

  // How its searches run: the pattern's plan. Not known when neither JIT code nor skipping text
  // was wanted, since then the pattern is not read at all.
  const textsift::analysis::pattern_plan& plan() const { return plan_; }

  // Finds the literals of the plan; requires plan().search_literals, or pieces on a guess.
  const textsift::search::literal_set_finder& literals() const { return finder_; }

  // The most bytes before its starting point that a search may read; SIZE_MAX when unknown.
  std::size_t look_back_bytes() const { return plan_.look_back_bytes; }

  // What the library reports about the compiled pattern, as plans use it. Requires compiled().
  textsift::analysis::library_report report() const {
    textsift::analysis::library_report report;
    report.capture_count = capture_count();
    report.max_lookbehind = info_int(PCRE_INFO_MAXLOOKBEHIND);
    report.utf8 = utf8();
    report.start_restricted = start_is_restricted();
    report.anchored = (compile_options() & PCRE_ANCHORED) != 0;
    report.match_empty = info_int(PCRE_INFO_MATCH_EMPTY) == 1;
    if (info_int(PCRE_INFO_FIRSTCHARACTERFLAGS) == 1) {
      report.first_byte = info_int(PCRE_INFO_FIRSTCHARACTER);
    }
    if (info_int(PCRE_INFO_REQUIREDCHARFLAGS) == 1) {
      report.required_byte = info_int(PCRE_INFO_REQUIREDCHAR);
    }
    return report;
  }

  // The width its searches run vector code at.
  textsift::search::vector_width width() const { return width_; }

  // The size of piece that tests force on every text (match_settings), or 0.
  std::size_t piece_bytes() const { return piece_bytes_; }

  // The longest text its searches take: longer than the engine does where the plan lets each
  // piece be searched as a window of its own.
  std::size_t largest_text() const { return plan_.split_alone ? SIZE_MAX : max_text_size; }

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
  // recursion limit and the match limit, which grows with `searched`, the bytes of the search
  // this one serves. `ovector` holds `ovector_size` ints, a multiple of 3. Returns pcre_exec's
  // result: the number of reported groups plus one on a match, PCRE_ERROR_NOMATCH, or another
  // negative error code (PCRE_ERROR_JIT_STACKLIMIT when JIT code ran out of stack). Requires
  // compiled().
  int exec(const char* subject, int length, int start, int flags, int* ovector, int ovector_size,
           std::size_t searched) const {
    if (jit_pending_) compile_jit();
    pcre_extra extra{};
    extra.flags = PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
    extra.match_limit = match_limit_for(match_limit_, searched);
    extra.match_limit_recursion = static_cast<unsigned long>(recursion_limit_);
    if (study_) {
      extra.flags |= study_->flags & (PCRE_EXTRA_STUDY_DATA | PCRE_EXTRA_EXECUTABLE_JIT);
      extra.study_data = study_->study_data;
      extra.executable_jit = study_->executable_jit;
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

  // Compiles and studies the pattern; the JIT compilation waits for the first search.
  void compile() {
    const char* message = nullptr;
    int offset = 0;
    code_.reset(pcre_compile(pattern_.c_str(), options_, &message, &offset, nullptr));
    error_ = code_     ? std::string()
             : message ? std::string(message)
                       : textsift::messages::fill(textsift::messages::compile_failed);
    if (!code_) return;
    study_.reset(pcre_study(code_.get(), 0, &message));
    if (!jit_wanted_ && !accelerate_) return;  // neither needs to look inside the pattern
    plan_ = textsift::analysis::make_plan(
        textsift::analysis::lower_pattern(pattern_, options_), report(),
        textsift::analysis::plan_wanted{jit_wanted_, accelerate_});
    jit_pending_ = plan_.jit;
    if (plan_.search_literals || plan_.split == textsift::analysis::split_mode::guessed) {
      finder_ = textsift::search::literal_set_finder(plan_.literals, width_);
    }
  }

  // Studies the pattern again, for the JIT. The JIT compiles silently or not at all (a library
  // without JIT, no executable memory, a pattern it cannot handle): PCRE_INFO_JIT tells.
  void compile_jit() const {
    jit_pending_ = false;
    const char* message = nullptr;
    // Pieces cut on a guess search their own part with partial matching (the searcher).
    const int modes =
        PCRE_STUDY_JIT_COMPILE | (plan_.split == textsift::analysis::split_mode::guessed
                                      ? PCRE_STUDY_JIT_PARTIAL_HARD_COMPILE
                                      : 0);
    study_.reset(pcre_study(code_.get(), modes, &message));
    if (info_int(PCRE_INFO_JIT) == 1) {
      pcre_assign_jit_stack(study_.get(), thread_jit_stack, nullptr);
    }
  }

  // Whether the library tries a match only at the start of a search, or there and after each
  // newline.
  bool start_is_restricted() const {
    return (compile_options() & PCRE_ANCHORED) != 0 || info_int(PCRE_INFO_FIRSTCHARACTERFLAGS) == 2;
  }

  int info_int(int what) const {
    int value = 0;
    if (code_) pcre_fullinfo(code_.get(), study_.get(), what, &value);
    return value;
  }

  unsigned long compile_options() const {
    unsigned long value = 0;
    if (code_) pcre_fullinfo(code_.get(), nullptr, PCRE_INFO_OPTIONS, &value);
    return value;
  }

  std::string pattern_;
  int options_ = 0;
  int match_limit_ = 0;
  int recursion_limit_ = 0;
  bool jit_wanted_ = false;  // JIT wanted, where the pattern is one it matches correctly
  bool accelerate_ = false;
  textsift::search::vector_width width_ = textsift::search::vector_width::word;
  std::size_t piece_bytes_ = 0;
  std::string error_;
  textsift::analysis::pattern_plan plan_;
  // Empty unless the plan searches for literals, or cuts a text into pieces on a guess.
  textsift::search::literal_set_finder finder_;
  std::unique_ptr<pcre, code_deleter> code_;
  // JIT compilation costs microseconds even for a tiny pattern, and records are copied several
  // times before they are applied, so it happens at the first search: these two change then.
  mutable bool jit_pending_ = false;
  mutable std::unique_ptr<pcre_extra, study_deleter> study_;  // null: nothing useful found
};

// Whether the library can JIT-compile here: built with JIT, and the system grants executable
// memory. Found out by compiling a trivial pattern.
inline bool jit_available() {
  return compiled_pattern("a", pcrecpp::RE_Options()).uses_jit();
}

}  // namespace templates
