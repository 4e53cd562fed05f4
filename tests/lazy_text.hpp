// Text for a table row that is built only when a case reads it, once per process. Every test
// process registers every table, so a large input built eagerly would cost each of them, the many
// one-line cases included; built lazily, it costs only the cases that use it.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

namespace test {

class lazy_text {
 public:
  // Small texts, as they are.
  lazy_text(std::string text) : state_(std::make_shared<state>()) {  // NOLINT: implicit on purpose
    state_->text = std::move(text);
    state_->built = true;
  }
  lazy_text(const char* text) : lazy_text(std::string(text)) {}  // NOLINT

  // A text that `make` builds when it is first read; copies of a row share it.
  explicit lazy_text(std::function<std::string()> make) : state_(std::make_shared<state>()) {
    state_->make = std::move(make);
  }

  const std::string& get() const {
    if (!state_->built) {
      state_->text = state_->make();
      state_->built = true;
    }
    return state_->text;
  }
  operator const std::string&() const { return get(); }  // NOLINT

  friend bool operator==(const std::string& a, const lazy_text& b) { return a == b.get(); }
  friend std::ostream& operator<<(std::ostream& out, const lazy_text& text) {
    return out << text.get();
  }

 private:
  struct state {
    std::function<std::string()> make;
    std::string text;
    bool built = false;
  };
  std::shared_ptr<state> state_;
};

}  // namespace test

// A row's text built when a case reads it: LATER(std::string(1 << 20, 'a')).
#define LATER(...) ::test::lazy_text([] { return std::string(__VA_ARGS__); })
