#include "analysis/pattern_reader.hpp"

#include <pcre.h>

#include <utility>

#include "search/utf8.hpp"

namespace textsift::analysis {
namespace {

// What ends a # comment under x: the library's newline convention, which a leading setting such
// as (*CR) replaces.
enum class newline { lf, cr, crlf, anycrlf, any };

newline library_newline() {
  int value = '\n';
  pcre_config(PCRE_CONFIG_NEWLINE, &value);
  switch (value) {
    case '\r':
      return newline::cr;
    case ('\r' << 8) | '\n':
      return newline::crlf;
    case -1:
      return newline::any;
    case -2:
      return newline::anycrlf;
    default:
      return newline::lf;
  }
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

int hex_digit(char c) {
  if (is_digit(c)) return c - '0';
  const char lower = static_cast<char>(c | 0x20);
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

bool is_letter(char c) {
  const char lower = static_cast<char>(c | 0x20);
  return lower >= 'a' && lower <= 'z';
}

bool is_word_character(char c) {
  return is_letter(c) || is_digit(c) || c == '_';
}

// The white space that x makes the library skip outside classes: ASCII only.
bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// The settings the library accepts only at the very start of a pattern.
bool is_leading_setting(std::string_view name) {
  static constexpr std::string_view names[] = {
      "UTF8", "UTF",  "UCP", "NO_AUTO_POSSESS", "NO_START_OPT", "CR",
      "LF",   "CRLF", "ANY", "ANYCRLF",         "BSR_ANYCRLF",  "BSR_UNICODE"};
  for (const std::string_view known : names) {
    if (name == known) return true;
  }
  for (const std::string_view limit :
       {std::string_view("LIMIT_MATCH="), std::string_view("LIMIT_RECURSION=")}) {
    if (name.substr(0, limit.size()) != limit || name.size() == limit.size()) continue;
    bool digits = true;
    for (const char c : name.substr(limit.size())) digits = digits && is_digit(c);
    if (digits) return true;
  }
  return false;
}

// PCRE 8.39's default limit of nested parentheses: a deeper pattern fails to compile.
constexpr int max_group_depth = 250;

class reader {
 public:
  reader(std::string_view text, int options)
      : text_(text), options_(options), utf8_((options & PCRE_UTF8) != 0) {}

  pattern_syntax read() {
    pattern_syntax syntax;
    syntax.branches.emplace_back();
    syntax.leading_settings = read_leading_settings(syntax.branches.back());
    read_alternatives(syntax.branches);
    if (!failed_ && position_ != text_.size()) reject();  // an unmatched ")"
    syntax.status = status_;
    syntax.utf8 = utf8_;
    syntax.newline_is_line_feed = newline_ == newline::lf;
    if (failed_) syntax.branches.clear();
    return syntax;
  }

 private:
  // --- the cursor ---
  bool at_end() const { return position_ >= text_.size(); }
  char peek(std::size_t ahead = 0) const {
    return position_ + ahead < text_.size() ? text_[position_ + ahead] : '\0';
  }
  bool at(std::string_view what) const { return text_.compare(position_, what.size(), what) == 0; }
  bool extended() const { return (options_ & PCRE_EXTENDED) != 0; }

  // Stops reading: the library rejects the pattern, so there is nothing to model.
  void reject() { stop(reading::rejected); }

  // Stops reading: the library may accept the pattern, but what follows is not modelled here.
  void not_modelled() { stop(reading::not_modelled); }

  void stop(reading why) {
    if (!failed_) status_ = why;
    failed_ = true;
    position_ = text_.size();
  }

  pattern_item make(item_kind kind, std::size_t begin) const {
    pattern_item item;
    item.kind = kind;
    item.begin = begin;
    item.end = position_;
    item.options = options_;
    return item;
  }

  // --- sequences ---

  // (*UTF8), (*CR) and the other settings at the very start.
  bool read_leading_settings(pattern_branch& branch) {
    bool any = false;
    while (at("(*")) {
      const std::size_t close = text_.find(')', position_);
      if (close == std::string_view::npos) return any;
      const std::string_view name = text_.substr(position_ + 2, close - position_ - 2);
      if (!is_leading_setting(name)) return any;
      if (name == "UTF8" || name == "UTF") utf8_ = true;
      if (name == "CR" || name == "LF" || name == "CRLF" || name == "ANY" || name == "ANYCRLF") {
        newline_ = name == "CR"     ? newline::cr
                   : name == "LF"   ? newline::lf
                   : name == "CRLF" ? newline::crlf
                   : name == "ANY"  ? newline::any
                                    : newline::anycrlf;
      }
      const std::size_t begin = position_;
      position_ = close + 1;
      branch.push_back(make(item_kind::verb, begin));
      any = true;
    }
    return any;
  }

  // Alternatives up to a ")" (left unread) or the end, appended to the last of `branches`.
  // Option settings last to the end of the enclosing group, across its alternatives.
  void read_alternatives(std::vector<pattern_branch>& branches) {
    while (!failed_) {
      skip_ignorable(branches.back(), true);
      if (at_end() || peek() == ')') return;
      if (peek() == '|') {
        ++position_;
        branches.emplace_back();
        continue;
      }
      read_item(branches.back());
    }
  }

  // What the library passes over between items, and between an item and its quantifier: white
  // space and # comments under x and, when `between_items`, (?#...) comments, a stray \E and an
  // empty \Q\E. (Only the first kind may stand between a quantifier and its + or ?.)
  void skip_ignorable(pattern_branch& branch, bool between_items) {
    while (!at_end()) {
      const std::size_t begin = position_;
      if (extended() && is_space(peek())) {
        ++position_;
      } else if (extended() && peek() == '#') {
        skip_line_comment();
        branch.push_back(make(item_kind::comment, begin));
      } else if (between_items && at("(?#")) {
        const std::size_t close = text_.find(')', position_);
        if (close == std::string_view::npos) return reject();  // missing ) after comment
        position_ = close + 1;
        branch.push_back(make(item_kind::comment, begin));
      } else if (between_items && at("\\E")) {
        position_ += 2;
      } else if (between_items && at("\\Q\\E")) {
        position_ += 4;
      } else {
        return;
      }
    }
  }

  // From a "#" to the end of the line, its newline included.
  void skip_line_comment() {
    while (!at_end()) {
      const std::size_t length = newline_length();
      if (length > 0) {
        position_ += length;
        return;
      }
      ++position_;
    }
  }

  // The length of the newline that starts at the cursor, or 0.
  std::size_t newline_length() const {
    const char c = peek();
    switch (newline_) {
      case newline::lf:
        return c == '\n' ? 1 : 0;
      case newline::cr:
        return c == '\r' ? 1 : 0;
      case newline::crlf:
        return at("\r\n") ? 2 : 0;
      case newline::anycrlf:
        return at("\r\n") ? 2 : c == '\r' || c == '\n' ? 1 : 0;
      case newline::any:
        if (at("\r\n")) return 2;
        if (c >= '\n' && c <= '\r') return 1;
        if (!utf8_) return static_cast<unsigned char>(c) == 0x85 ? 1 : 0;
        if (at("\xc2\x85")) return 2;
        return at("\xe2\x80\xa8") || at("\xe2\x80\xa9") ? 3 : 0;
    }
    return 0;
  }

  // One item with its quantifier, or one quoted run \Q...\E whose last character takes it.
  void read_item(pattern_branch& branch) {
    const char c = peek();
    if (c == '*' || c == '+' || c == '?' || (c == '{' && counted_repeat_length() > 0)) {
      return reject();  // nothing to repeat
    }
    if (at("\\Q")) {
      if (!read_quoted(branch)) return;
    } else {
      branch.push_back(c == '(' ? read_parenthesis() : c == '[' ? read_class() : read_atom());
    }
    read_quantifier(branch, branch.size() - 1);
  }

  // A quantifier after branch[target], if one follows.
  void read_quantifier(pattern_branch& branch, std::size_t target) {
    skip_ignorable(branch, true);
    quantifier repeat;
    if (peek() == '*' || peek() == '+' || peek() == '?') {
      repeat.min = peek() == '+' ? 1 : 0;
      repeat.max = peek() == '?' ? 1 : unbounded;
      ++position_;
    } else if (!read_counted_repeat(repeat)) {
      return;
    }
    repeat.present = true;
    skip_ignorable(branch, false);
    if (peek() == '+' || peek() == '?') {
      repeat.mode = peek() == '+' ? repeat_mode::possessive : repeat_mode::lazy;
      ++position_;
    }
    branch[target].repeat = repeat;
  }

  // The length of "{n}", "{n,}" or "{n,m}" at the cursor, or 0 when what stands there is not one
  // (the "{" is then a literal character).
  std::size_t counted_repeat_length() const {
    std::size_t i = position_ + 1;
    const auto digits = [&] {
      const std::size_t from = i;
      while (i < text_.size() && is_digit(text_[i])) ++i;
      return i > from;
    };
    if (peek() != '{' || !digits()) return 0;
    if (i < text_.size() && text_[i] == ',') {
      ++i;
      digits();
    }
    return i < text_.size() && text_[i] == '}' ? i + 1 - position_ : 0;
  }

  bool read_counted_repeat(quantifier& repeat) {
    const std::size_t length = counted_repeat_length();
    if (length == 0) return false;
    const std::string_view inside = text_.substr(position_ + 1, length - 2);
    position_ += length;
    const std::size_t comma = inside.find(',');
    repeat.min = number(inside.substr(0, comma));
    repeat.max = comma == std::string_view::npos ? repeat.min
                 : comma + 1 == inside.size()    ? unbounded
                                                 : number(inside.substr(comma + 1));
    if (repeat.min > 65535 || (repeat.max != unbounded && repeat.max > 65535) ||
        repeat.max < repeat.min) {
      reject();  // too big, or out of order
      return false;
    }
    return true;
  }

  static std::int64_t number(std::string_view digits) {
    std::int64_t value = 0;
    for (const char c : digits) value = std::min<std::int64_t>(value * 10 + (c - '0'), 1 << 20);
    return value;
  }

  // --- characters ---

  // The character written at the cursor as itself: one byte, or a UTF-8 sequence in UTF-8 mode.
  pattern_item read_typed_character() {
    const std::size_t begin = position_;
    const auto lead = static_cast<unsigned char>(peek());
    std::uint32_t value = lead;
    std::size_t length = 1;
    if (utf8_ && lead >= 0x80) {
      length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
      value = lead & (0x3F >> (length == 0 ? 0 : length - 1));
      for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(peek(k));
        if ((next & 0xC0) != 0x80) length = 0;
        value = (value << 6) | (next & 0x3F);
      }
      if (length == 0) {
        reject();
        return make(item_kind::character, begin);
      }
    }
    position_ += length;
    return character(begin, value, false);
  }

  pattern_item character(std::size_t begin, std::uint32_t value, bool escaped) {
    pattern_item item = make(item_kind::character, begin);
    item.value = value;
    item.escaped = escaped;
    if (utf8_) {
      item.bytes = search::utf8_encode(value);
    } else {
      item.bytes = std::string(1, static_cast<char>(value));
    }
    if (!escaped) item.bytes = std::string(text_.substr(begin, position_ - begin));
    return item;
  }

  // At "\Q": every character up to "\E" or the end stands for itself. Returns false when none
  // did (the quoted text was empty).
  bool read_quoted(pattern_branch& branch) {
    const std::size_t first = branch.size();
    position_ += 2;
    while (!at_end() && !at("\\E")) {
      pattern_item next = read_typed_character();
      next.quoted = true;
      branch.push_back(std::move(next));
    }
    if (at("\\E")) position_ += 2;
    return branch.size() > first;
  }

  // Anything but a group, a class or quoted text.
  pattern_item read_atom() {
    const std::size_t begin = position_;
    const char c = peek();
    if (c == '\\') return read_escape();
    if (c == '.' || c == '^' || c == '$') {
      ++position_;
      pattern_item item = make(c == '.' ? item_kind::character_type : item_kind::assertion, begin);
      item.escape = c;
      return item;
    }
    return read_typed_character();
  }

  // --- escapes ---

  pattern_item read_escape() {
    const std::size_t begin = position_++;
    if (at_end()) {
      reject();
      return make(item_kind::character, begin);
    }
    const char c = peek();
    std::uint32_t value = 0;
    if (read_character_escape(false, value)) return character(begin, value, true);
    if (failed_) return make(item_kind::character, begin);
    ++position_;
    switch (c) {
      case 'd':
      case 'D':
      case 's':
      case 'S':
      case 'w':
      case 'W':
      case 'h':
      case 'H':
      case 'v':
      case 'V':
      case 'R':
      case 'X':
      case 'C':
      case 'N':
        return typed(item_kind::character_type, begin, c);
      case 'p':
      case 'P':
        read_property_name();
        return typed(item_kind::character_type, begin, c);
      case 'b':
      case 'B':
      case 'A':
      case 'z':
      case 'Z':
      case 'G':
        return typed(item_kind::assertion, begin, c);
      case 'K':
        return make(item_kind::match_start_reset, begin);
      case 'g':
        return read_g_reference(begin);
      case 'k':
        if (!move_past_name_in("<>", "''", "{}")) reject();
        return make(item_kind::back_reference, begin);
      default:
        break;
    }
    if (is_digit(c)) {  // \1 to \9 and more digits: a back reference, or an octal escape
      while (is_digit(peek())) ++position_;
      return make(item_kind::back_reference, begin);
    }
    reject();  // \L, \l, \U, \u: not supported
    return make(item_kind::character, begin);
  }

  pattern_item typed(item_kind kind, std::size_t begin, char escape) {
    pattern_item item = make(kind, begin);
    item.escape = escape;
    return item;
  }

  // After "\p" or "\P": "{name}" or a one-letter name.
  void read_property_name() {
    if (peek() == '{') {
      if (!move_past('}')) reject();
    } else if (at_end()) {
      reject();
    } else {
      ++position_;
    }
  }

  // After "\g": "{n}", "{-n}", "{name}" or "n", "-n", "+n" refer back; "<n>", "'n'" call.
  pattern_item read_g_reference(std::size_t begin) {
    if (peek() == '<' || peek() == '\'') {
      if (!move_past_name_in("<>", "''", "")) reject();
      return make(item_kind::subroutine_call, begin);
    }
    if (peek() == '{') {
      if (!move_past('}')) reject();
      return make(item_kind::back_reference, begin);
    }
    if (peek() == '-' || peek() == '+') ++position_;
    if (!is_digit(peek())) reject();
    while (is_digit(peek())) ++position_;
    return make(item_kind::back_reference, begin);
  }

  // At an opening bracket of one of the pairs given (such as "<>"): moves past the matching
  // closer. Returns false when no pair opens here or it does not close.
  bool move_past_name_in(std::string_view a, std::string_view b, std::string_view c) {
    for (const std::string_view pair : {a, b, c}) {
      if (!pair.empty() && peek() == pair[0]) {
        ++position_;
        return move_past(pair[1]);
      }
    }
    return false;
  }

  bool move_past(char closer) {
    const std::size_t close = text_.find(closer, position_);
    if (close == std::string_view::npos) return false;
    position_ = close + 1;
    return true;
  }

  // An escape for one character at the cursor (just after a backslash): reads it into `value`
  // and returns true. Returns false, reading nothing, for other escapes; fails the reading for a
  // malformed one. In a class, \b is a backspace and \1 to \7 start octal numbers.
  bool read_character_escape(bool in_class, std::uint32_t& value) {
    const char c = peek();
    switch (c) {
      case 'a':
        value = 0x07;
        break;
      case 'e':
        value = 0x1B;
        break;
      case 'f':
        value = 0x0C;
        break;
      case 'n':
        value = '\n';
        break;
      case 'r':
        value = '\r';
        break;
      case 't':
        value = '\t';
        break;
      case 'b':
        if (!in_class) return false;
        value = 0x08;
        break;
      case 'x':
        ++position_;
        return read_hex(value);
      case 'o':
        ++position_;
        return read_braced_octal(value);
      case 'c':
        return read_control(value);
      default:
        if (c == '0' || (in_class && c >= '1' && c <= '7')) return read_octal(value);
        if ((in_class && (c == '8' || c == '9')) || plain_escape(c, in_class)) {
          if (is_letter(c) && (options_ & PCRE_EXTRA) != 0) reject();  // unknown under X
          return !failed_ && read_escaped_itself(value);
        }
        return false;
    }
    ++position_;
    return true;
  }

  // Whether a backslash before `c` stands for `c` itself: any character but a letter or digit,
  // and the letters that have no meaning of their own.
  static bool plain_escape(char c, bool in_class) {
    if (!is_letter(c) && !is_digit(c)) return true;
    static constexpr std::string_view meaningful = "aAbBcCdDeEfgGhHkKlLnNopPQrRsStuUvVwWxXzZ";
    static constexpr std::string_view class_letters = "bdDeEfhHLlnNopPQrsStuUvVwWx";
    const std::string_view letters = in_class ? class_letters : meaningful;
    return is_letter(c) && letters.find(c) == std::string_view::npos;
  }

  bool read_escaped_itself(std::uint32_t& value) {
    const pattern_item typed_character = read_typed_character();
    value = typed_character.value;
    return !failed_;
  }

  bool read_control(std::uint32_t& value) {
    const auto next = static_cast<unsigned char>(peek(1));
    if (position_ + 1 >= text_.size() || next >= 0x80) {
      reject();
      return false;
    }
    const unsigned char upper = next >= 'a' && next <= 'z' ? next - 0x20 : next;
    value = upper ^ 0x40;
    position_ += 2;
    return true;
  }

  // After "\x": "{h...}", or up to two hexadecimal digits (none: the value 0).
  bool read_hex(std::uint32_t& value) {
    value = 0;
    if (peek() != '{') {
      for (int digits = 0; digits < 2 && hex_digit(peek()) >= 0; ++digits) {
        value = value * 16 + static_cast<std::uint32_t>(hex_digit(peek()));
        ++position_;
      }
      return true;
    }
    ++position_;
    return read_braced_number(16, value);
  }

  bool read_braced_octal(std::uint32_t& value) {
    value = 0;
    if (peek() != '{') {
      reject();
      return false;
    }
    ++position_;
    return read_braced_number(8, value);
  }

  // Digits of `base` up to "}", a character value the mode allows.
  bool read_braced_number(int base, std::uint32_t& value) {
    int digits = 0;
    for (; !at_end() && peek() != '}'; ++digits, ++position_) {
      const int digit = hex_digit(peek());
      if (digit < 0 || digit >= base || value > 0x10FFFF) {
        reject();
        return false;
      }
      value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    if (at_end() || digits == 0) {
      reject();
      return false;
    }
    ++position_;
    return allowed_value(value);
  }

  // "\0" and up to two more octal digits, or in a class "\1" to "\7" and up to two more.
  bool read_octal(std::uint32_t& value) {
    value = 0;
    for (int digits = 0; digits < 3 && peek() >= '0' && peek() <= '7'; ++digits, ++position_) {
      value = value * 8 + static_cast<std::uint32_t>(peek() - '0');
    }
    return allowed_value(value);
  }

  bool allowed_value(std::uint32_t value) {
    const bool allowed =
        utf8_ ? value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF) : value <= 0xFF;
    if (!allowed) reject();
    return allowed;
  }

  // --- classes ---

  pattern_item read_class() {
    pattern_item item = make(item_kind::character_class, position_);
    ++position_;
    skip_class_quotes();
    if (peek() == '^') {
      item.negated = true;
      ++position_;
      skip_class_quotes();
    }
    bool first = true;
    while (!failed_ && !at_end() && (quoting_ || peek() != ']' || first)) {
      first = false;
      if (!quoting_ && at("\\E")) {
        position_ += 2;
      } else if (!quoting_ && at("\\Q")) {
        quoting_ = true;
        position_ += 2;
      } else if (quoting_ && at("\\E")) {
        quoting_ = false;
        position_ += 2;
      } else {
        read_class_member(item.members);
      }
    }
    if (at_end() || quoting_) reject();  // no closing "]"
    ++position_;
    item.end = position_;
    return item;
  }

  // At the start of a class: any number of "\E" and "\Q\E", which change nothing there.
  void skip_class_quotes() {
    while (at("\\E") || at("\\Q\\E")) position_ += at("\\E") ? 2 : 4;
  }

  void read_class_member(pattern_branch& members) {
    if (!quoting_ && peek() == '[' && (peek(1) == ':' || peek(1) == '.' || peek(1) == '=')) {
      members.push_back(read_posix_class());
      return;
    }
    pattern_item member = read_class_single();
    if (failed_) return;
    if (member.kind == item_kind::character) return read_range_from(members, std::move(member));
    members.push_back(std::move(member));
  }

  // One character or character type of a class (not a POSIX class).
  pattern_item read_class_single() {
    const std::size_t begin = position_;
    if (quoting_ || peek() != '\\') {
      pattern_item typed_character = read_typed_character();
      typed_character.quoted = quoting_;
      return typed_character;
    }
    ++position_;
    if (at_end()) {
      reject();
      return make(item_kind::character, begin);
    }
    std::uint32_t value = 0;
    if (read_character_escape(true, value)) return character(begin, value, true);
    const char c = peek();
    static constexpr std::string_view types = "dDsSwWhHvVpP";
    if (!failed_ && !at_end() && types.find(c) != std::string_view::npos) {
      ++position_;
      if (c == 'p' || c == 'P') read_property_name();
      return typed(item_kind::character_type, begin, c);
    }
    reject();  // \N, \L, \l, \U, \u in a class
    return make(item_kind::character, begin);
  }

  // After the single character `low`: a range "low-high", or `low` alone when the "-" is the
  // class's last character (or there is none). A "\E" may stand before the "-", and "\E" or
  // "\Q" after it.
  void read_range_from(pattern_branch& members, pattern_item low) {
    while (at("\\E")) {
      quoting_ = false;
      position_ += 2;
    }
    if (quoting_ || peek() != '-') return members.push_back(std::move(low));
    const std::size_t hyphen = position_++;
    bool quoted = false;
    for (bool more = true; more;) {
      more = false;
      if (at("\\E")) {
        position_ += 2;
        more = true;
      } else if (at("\\Q\\E")) {
        position_ += 4;
        more = true;
      } else if (at("\\Q")) {
        position_ += 2;
        quoted = true;
      }
    }
    if (at_end() || (!quoted && peek() == ']')) {
      position_ = hyphen;  // the "-" is a character of its own
      return members.push_back(std::move(low));
    }
    quoting_ = quoted;
    if (!quoted && peek() == '[' && (peek(1) == ':' || peek(1) == '.' || peek(1) == '=')) {
      return not_modelled();  // a POSIX class, which ends no range, or literal characters
    }
    const pattern_item high = read_class_single();
    if (failed_ || high.kind != item_kind::character || high.value < low.value) return reject();
    pattern_item range = make(item_kind::class_range, low.begin);
    range.value = low.value;
    range.high = high.value;
    members.push_back(std::move(range));
  }

  // At "[:", "[." or "[=": a POSIX class "[:name:]" or "[:^name:]". Anything else that starts
  // so is not read ("[.a.]" and "[=a=]" the library rejects).
  pattern_item read_posix_class() {
    static constexpr std::string_view names[] = {"alpha", "lower", "upper", "alnum", "ascii",
                                                 "blank", "cntrl", "digit", "graph", "print",
                                                 "punct", "space", "word",  "xdigit"};
    pattern_item item = make(item_kind::posix_class, position_);
    const char terminator = peek(1);
    position_ += 2;
    item.negated = terminator == ':' && peek() == '^';
    if (item.negated) ++position_;
    const std::size_t name_begin = position_;
    while (is_letter(peek())) ++position_;
    item.name = std::string(text_.substr(name_begin, position_ - name_begin));
    bool known = false;
    for (const std::string_view name : names) known = known || item.name == name;
    if (peek() != terminator || peek(1) != ']') {
      not_modelled();  // not the syntax of a POSIX class: the library may read it otherwise
      return item;
    }
    if (terminator != ':' || !known) {
      reject();  // a collating element, or an unknown class name
      return item;
    }
    position_ += 2;
    item.end = position_;
    return item;
  }

  // --- parentheses ---

  pattern_item read_parenthesis() {
    const std::size_t begin = position_;
    if (at("(*")) {
      if (!move_past(')')) reject();
      return make(item_kind::verb, begin);
    }
    if (!at("(?")) return read_group(begin, 1, group_kind::capturing);
    static constexpr std::pair<std::string_view, group_kind> openers[] = {
        {"(?:", group_kind::non_capturing},
        {"(?|", group_kind::branch_reset},
        {"(?>", group_kind::atomic},
        {"(?=", group_kind::lookahead},
        {"(?!", group_kind::negative_lookahead},
        {"(?<=", group_kind::lookbehind},
        {"(?<!", group_kind::negative_lookbehind}};
    for (const auto& [opener, kind] : openers) {
      if (at(opener)) return read_group(begin, opener.size(), kind);
    }
    const char c = peek(2);
    if (c == '<' || c == '\'' || at("(?P<")) return read_named_group(begin);
    if (at("(?P=") || at("(?P>")) {
      const item_kind kind =
          peek(3) == '=' ? item_kind::back_reference : item_kind::subroutine_call;
      if (!move_past(')')) reject();
      return make(kind, begin);
    }
    if (c == 'R' || c == '&' || c == '+' || c == '-' || is_digit(c)) {
      if (c == '-' && !is_digit(peek(3))) return read_option_setting(begin);
      if (!move_past(')')) reject();
      return make(item_kind::subroutine_call, begin);
    }
    if (c == 'C') {
      position_ += 3;
      while (is_digit(peek())) ++position_;
      if (peek() != ')') reject();
      ++position_;
      return make(item_kind::callout, begin);
    }
    if (c == '(') return read_conditional(begin);
    return read_option_setting(begin);
  }

  // "(?<name>", "(?'name'" or "(?P<name>": a named capturing group.
  pattern_item read_named_group(std::size_t begin) {
    position_ += at("(?P<") ? 4 : 3;
    const char closer = text_[position_ - 1] == '\'' ? '\'' : '>';
    const std::size_t name_begin = position_;
    while (is_word_character(peek())) ++position_;
    if (position_ == name_begin && peek() == closer) {
      not_modelled();  // an empty name, which PCRE 8.39 accepts
      return make(item_kind::group, begin);
    }
    if (position_ == name_begin || is_digit(text_[name_begin]) || peek() != closer) {
      reject();
      return make(item_kind::group, begin);
    }
    return read_group(begin, position_ + 1 - begin, group_kind::named);
  }

  // "(?(condition)...)". A condition that is an assertion is read as the first item.
  pattern_item read_conditional(std::size_t begin) {
    if (peek(3) == '?') return read_group(begin, 2, group_kind::conditional);
    position_ += 3;
    if (!move_past(')')) {
      reject();
      return make(item_kind::group, begin);
    }
    return read_group(begin, position_ - begin, group_kind::conditional);
  }

  // "(?" with option letters, then ")" (a setting for the rest of the enclosing group) or ":"
  // (a group with those options).
  pattern_item read_option_setting(std::size_t begin) {
    position_ += 2;
    int options = options_;
    bool on = true;
    for (; !at_end() && peek() != ')' && peek() != ':'; ++position_) {
      const int bit = option_bit(peek());
      if (peek() == '-') {
        on = false;
      } else if (bit == 0) {
        reject();
        return make(item_kind::option_setting, begin);
      } else {
        options = on ? options | bit : options & ~bit;
      }
    }
    if (at_end()) {
      reject();
      return make(item_kind::option_setting, begin);
    }
    if (peek() == ':') {
      const int outer = options_;
      options_ = options;
      pattern_item group = read_group(begin, position_ + 1 - begin, group_kind::non_capturing);
      options_ = outer;
      group.options = outer;
      return group;
    }
    ++position_;
    options_ = options;
    return make(item_kind::option_setting, begin);
  }

  static int option_bit(char letter) {
    switch (letter) {
      case 'i':
        return PCRE_CASELESS;
      case 'm':
        return PCRE_MULTILINE;
      case 's':
        return PCRE_DOTALL;
      case 'x':
        return PCRE_EXTENDED;
      case 'J':
        return PCRE_DUPNAMES;
      case 'U':
        return PCRE_UNGREEDY;
      case 'X':
        return PCRE_EXTRA;
      default:
        return 0;
    }
  }

  // A group whose opener is `opener_length` bytes long at `begin`: its alternatives up to ")".
  // Options set inside end with it. Groups nested deeper than the library allows are not read
  // (the reading recurses, and the text may be any argument).
  pattern_item read_group(std::size_t begin, std::size_t opener_length, group_kind kind) {
    const int outer = options_;
    pattern_item item = make(item_kind::group, begin);
    item.group = kind;
    if (++depth_ > max_group_depth) {
      reject();
      return item;
    }
    position_ = begin + opener_length;
    item.branches.emplace_back();
    read_alternatives(item.branches);
    if (peek() != ')') reject();  // missing ")"
    ++position_;
    --depth_;
    options_ = outer;
    item.end = position_;
    return item;
  }

  std::string_view text_;
  std::size_t position_ = 0;
  int options_;
  bool utf8_;
  newline newline_ = library_newline();
  bool quoting_ = false;  // inside \Q...\E in a class
  bool failed_ = false;
  reading status_ = reading::read;
  int depth_ = 0;  // groups open at the cursor
};

}  // namespace

pattern_syntax read_pattern(std::string_view pattern, int options) {
  return reader(pattern, options).read();
}

}  // namespace textsift::analysis
