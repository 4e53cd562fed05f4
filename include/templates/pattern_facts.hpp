// What the text of a pattern says about every match of it: a literal that each match contains,
// how far into a match that literal can start, and whether a match can span a line feed. Read
// once per pattern, so that searches can skip text that cannot hold a match. The reader knows a
// small part of PCRE's syntax exactly and answers "unknown" for everything else.
#pragma once

#include <pcre.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace templates {

// A byte count too large for any text: "no bound".
constexpr std::int64_t unbounded = INT64_MAX / 4;

// Facts about every match of a pattern. When `known` is false nothing below holds.
struct pattern_facts {
  bool known = false;
  // Bytes that every match contains (empty: no such literal was found). When `caseless`, ASCII
  // letters in it match either case and its other bytes match exactly.
  std::string literal;
  bool caseless = false;
  // The most bytes a match can span before the literal starts, or `unbounded`.
  std::int64_t literal_offset = unbounded;
  // Whether a match can contain a line feed.
  bool line_feed = true;
  // Whether each match is exactly an occurrence of `literal`: the pattern holds nothing else.
  bool pure_literal = false;
};

namespace facts_detail {

// One item of a pattern as the reader sees it.
struct item {
  bool line_feed = false;  // can consume a line feed
  std::int64_t max_bytes = 0;
  bool zero_width = false;
  std::string literal;  // a single character matched literally: its bytes
  bool caseless = false;
  bool quantified = false;
};

inline std::int64_t add(std::int64_t a, std::int64_t b) {
  return a >= unbounded || b >= unbounded ? unbounded : a + b;
}

inline std::int64_t multiply(std::int64_t a, std::int64_t count) {
  if (a == 0 || count == 0) return 0;
  return a >= unbounded || count >= unbounded || a * count >= unbounded ? unbounded : a * count;
}

inline bool is_alphanumeric(char c) {
  return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

// The character that a backslash before `c` stands for ("\t", "\n", ...), or -1.
inline int escaped_character(char c) {
  switch (c) {
    case 't':
      return '\t';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 'f':
      return '\f';
    case 'e':
      return 0x1b;
    case 'a':
      return '\a';
    default:
      return -1;
  }
}

// For a backslash before `c` that stands for a set of characters valid in a class too (\d, \s,
// ...): 1 when the set holds a line feed, 0 when not; -1 when `c` names no such set.
inline int set_holds_line_feed(char c) {
  switch (c) {
    case 'd':
    case 'w':
    case 'S':
    case 'V':
    case 'h':
      return 0;
    case 'D':
    case 'W':
    case 's':
    case 'H':
    case 'v':
      return 1;
    default:
      return -1;
  }
}

// The options in force at a point of the pattern.
struct option_state {
  bool caseless = false;
  bool extended = false;
  bool dotall = false;
};

class reader {
 public:
  reader(std::string_view pattern, int options)
      : pattern_(pattern), utf8_((options & PCRE_UTF8) != 0) {
    options_.caseless = (options & PCRE_CASELESS) != 0;
    options_.extended = (options & PCRE_EXTENDED) != 0;
    options_.dotall = (options & PCRE_DOTALL) != 0;
  }

  pattern_facts read() {
    std::vector<std::vector<item>> branches = alternatives();
    pattern_facts facts;
    if (failed_ || position_ != pattern_.size()) return facts;
    facts.known = true;
    facts.line_feed = false;
    for (const auto& branch : branches) {
      for (const item& each : branch) facts.line_feed = facts.line_feed || each.line_feed;
    }
    if (branches.size() == 1) choose_literal(branches.front(), facts);
    return facts;
  }

 private:
  void fail() {
    failed_ = true;
    position_ = pattern_.size();
  }

  bool at(char c) const { return position_ < pattern_.size() && pattern_[position_] == c; }

  bool starts_with(std::string_view text) const {
    return pattern_.compare(position_, text.size(), text) == 0;
  }

  // Moves past the first `closer` at or after `from`; without one the reading fails.
  bool move_past(std::string_view closer, std::size_t from) {
    const std::size_t end = pattern_.find(closer, from);
    if (end == std::string_view::npos) {
      fail();
      return false;
    }
    position_ = end + closer.size();
    return true;
  }

  // Moves over the rest of a UTF-8 character whose first byte `lead` has been read.
  void finish_character(unsigned char lead) {
    if (!utf8_ || lead < 0xC0) return;
    while (position_ < pattern_.size() &&
           (static_cast<unsigned char>(pattern_[position_]) & 0xC0) == 0x80) {
      ++position_;
    }
  }

  // White space and # comments under the modifier x.
  void skip_ignorable() {
    while (options_.extended && position_ < pattern_.size()) {
      const char c = pattern_[position_];
      if (c == ' ' || (c >= '\t' && c <= '\r')) {
        ++position_;
      } else if (c == '#') {
        const std::size_t end = pattern_.find('\n', position_);
        position_ = end == std::string_view::npos ? pattern_.size() : end + 1;
      } else {
        return;
      }
    }
  }

  // Branches up to a ")" or the end, each a sequence of items. Options set inside last until the
  // enclosing group ends, across its branches.
  std::vector<std::vector<item>> alternatives() {
    std::vector<std::vector<item>> branches(1);
    while (!failed_) {
      skip_ignorable();
      if (position_ == pattern_.size() || at(')')) break;
      if (at('|')) {
        ++position_;
        branches.emplace_back();
        continue;
      }
      if (starts_with("\\Q")) {
        read_quoted(branches.back());
        continue;
      }
      item next;
      if (!read_item(next)) continue;  // an option setting or a comment: no item
      quantify(next);
      branches.back().push_back(next);
    }
    return branches;
  }

  // Reads one item into `out`; returns false when what was read matches nothing at all.
  bool read_item(item& out) {
    const char c = pattern_[position_];
    if (c == '(') return read_group(out);
    if (c == '[') return read_class(out);
    if (c == '\\') return read_escape(out);
    if (c == '*' || c == '+' || c == '?') {
      fail();
      return false;
    }
    ++position_;
    if (c == '.') {
      out.line_feed = options_.dotall;
      out.max_bytes = utf8_ ? 4 : 1;
    } else if (c == '^' || c == '$') {
      out.zero_width = true;
    } else {
      read_character(out);
    }
    return true;
  }

  // A character written as itself, whose first byte has just been read.
  void read_character(item& out) {
    const std::size_t begin = position_ - 1;
    finish_character(static_cast<unsigned char>(pattern_[begin]));
    literal_character(std::string(pattern_.substr(begin, position_ - begin)), out);
  }

  // An item that matches the character `bytes` (one UTF-8 character, or one byte).
  void literal_character(const std::string& bytes, item& out) const {
    const auto first = static_cast<unsigned char>(bytes[0]);
    const bool letter = (first | 0x20) >= 'a' && (first | 0x20) <= 'z';
    out.line_feed = bytes == "\n";
    out.max_bytes = static_cast<std::int64_t>(bytes.size());
    if (!options_.caseless || (!letter && first < 0x80)) {
      out.literal = bytes;
      out.caseless = options_.caseless;  // matched exactly all the same: it has no case
      return;
    }
    // Ignoring case, a letter beyond ASCII may match other bytes; so may "k" and "s" in UTF-8
    // mode (KELVIN SIGN, LONG S): such characters match something, but not a literal.
    if (first >= 0x80) {
      out.max_bytes = utf8_ ? 4 : 1;
    } else if (utf8_ && ((first | 0x20) == 'k' || (first | 0x20) == 's')) {
      out.max_bytes = 3;
    } else {
      out.literal = bytes;
      out.caseless = true;
    }
  }

  bool read_escape(item& out) {
    ++position_;
    if (position_ == pattern_.size()) {
      fail();
      return false;
    }
    const char c = pattern_[position_++];
    const int wide = utf8_ ? 4 : 1;
    if (const int character = escaped_character(c); character >= 0) {
      literal_character(std::string(1, static_cast<char>(character)), out);
      return true;
    }
    if (const int holds = set_holds_line_feed(c); holds >= 0) {
      out.line_feed = holds == 1;
      out.max_bytes = c == 'd' || c == 'w' ? 1 : wide;  // ASCII only without (*UCP)
      return true;
    }
    switch (c) {
      case 'N':
        out.max_bytes = wide;
        return true;
      case 'R':
        out.line_feed = true;
        out.max_bytes = wide;
        return true;
      case 'C':
        out.line_feed = true;
        out.max_bytes = 1;
        return true;
      case 'p':
      case 'P':
        out.line_feed = true;
        out.max_bytes = wide;
        return skip_property();
      case 'b':
      case 'B':
      case 'A':
      case 'z':
      case 'Z':
        out.zero_width = true;
        return true;
      case 'E':
        return false;
      case 'x':
        return read_hex(out);
      default:
        break;
    }
    if (static_cast<unsigned char>(c) >= 0x80 || is_alphanumeric(c)) {  // \G, \K, \1, \g, ...
      fail();
      return false;
    }
    literal_character(std::string(1, c), out);
    return true;
  }

  // \p or \P has been read: skips "{name}" or a one-letter name.
  bool skip_property() {
    if (at('{')) return move_past("}", position_);
    if (position_ < pattern_.size()) {
      ++position_;
    }
    return true;
  }

  // \x has been read: "\xhh" (up to two digits) or "\x{h...}". Only values below 0x80 become
  // literal characters; larger ones match one character (not a line feed) of up to four bytes.
  bool read_hex(item& out) {
    std::uint32_t value = 0;
    const bool braced = at('{');
    if (braced) ++position_;
    int digits = 0;
    while (position_ < pattern_.size() && (braced || digits < 2)) {
      const char h = pattern_[position_];
      const int digit = h >= '0' && h <= '9'                     ? h - '0'
                        : (h | 0x20) >= 'a' && (h | 0x20) <= 'f' ? (h | 0x20) - 'a' + 10
                                                                 : -1;
      if (digit < 0 || value > 0x10FFFF) break;
      value = value * 16 + static_cast<std::uint32_t>(digit);
      ++digits;
      ++position_;
    }
    if (braced) {
      if (!at('}') || digits == 0) {
        fail();
        return false;
      }
      ++position_;
    }
    if (value < 0x80) {
      literal_character(std::string(1, static_cast<char>(value)), out);
    } else {
      out.max_bytes = utf8_ ? 4 : 1;
    }
    return true;
  }

  // At "\Q": every character up to "\E" (or the end) stands for itself, white space too; a
  // quantifier after "\E" applies to the last of them.
  void read_quoted(std::vector<item>& branch) {
    position_ += 2;
    const std::size_t end = pattern_.find("\\E", position_);
    const std::size_t stop = end == std::string_view::npos ? pattern_.size() : end;
    const std::size_t first = branch.size();
    while (position_ < stop) {
      item next;
      ++position_;
      read_character(next);
      branch.push_back(next);
    }
    position_ = end == std::string_view::npos ? stop : stop + 2;
    if (branch.size() > first) quantify(branch.back());
  }

  bool read_class(item& out) {
    ++position_;
    const bool negated = at('^');
    if (negated) ++position_;
    bool line_feed = false;
    bool first = true;
    while (position_ < pattern_.size()) {
      if (at(']') && !first) break;
      first = false;
      std::uint32_t low = 0;
      bool single = false;
      if (!class_member(low, single, line_feed)) return false;
      if (single && at('-') && position_ + 1 < pattern_.size() && pattern_[position_ + 1] != ']') {
        ++position_;
        std::uint32_t high = 0;
        bool high_single = false;
        if (!class_member(high, high_single, line_feed)) return false;
        if (!high_single) {
          fail();
          return false;
        }
        if (low <= '\n' && high >= '\n') line_feed = true;
      } else if (single && low == '\n') {
        line_feed = true;
      }
    }
    if (!at(']')) {
      fail();
      return false;
    }
    ++position_;
    out.line_feed = negated ? !line_feed : line_feed;
    out.max_bytes = utf8_ ? 4 : 1;
    return true;
  }

  // One member of a class: a single character (its value in `value`, `single` set) or a set
  // such as \d or [:alpha:], which sets `line_feed` when it holds a line feed.
  bool class_member(std::uint32_t& value, bool& single, bool& line_feed) {
    const char c = pattern_[position_];
    if (c == '[' && position_ + 1 < pattern_.size() && pattern_[position_ + 1] == ':') {
      return posix_class(line_feed);
    }
    if (c != '\\') {
      value = decode_character();
      single = true;
      return true;
    }
    ++position_;
    if (position_ == pattern_.size()) {
      fail();
      return false;
    }
    const char e = pattern_[position_++];
    if (const int holds = set_holds_line_feed(e); holds >= 0) {
      line_feed = line_feed || holds == 1;
      return true;
    }
    single = true;
    if (const int character = escaped_character(e); character >= 0) {
      value = static_cast<std::uint32_t>(character);
    } else if (e == 'b') {
      value = '\b';
    } else if (e == 'x') {
      item hex;
      if (!read_hex(hex)) return false;
      value = hex.literal.empty() ? 0x80 : static_cast<unsigned char>(hex.literal[0]);
    } else if (e == 'p' || e == 'P') {
      single = false;
      line_feed = true;
      return skip_property();
    } else if (static_cast<unsigned char>(e) >= 0x80 || is_alphanumeric(e)) {
      fail();
      return false;
    } else {
      value = static_cast<unsigned char>(e);
    }
    return true;
  }

  // A POSIX class "[:name:]" or "[:^name:]" inside a class.
  bool posix_class(bool& line_feed) {
    const std::size_t begin = position_ + 2;
    if (!move_past(":]", begin)) return false;
    std::string_view name = pattern_.substr(begin, position_ - 2 - begin);
    const bool negated = !name.empty() && name[0] == '^';
    if (negated) name.remove_prefix(1);
    static constexpr std::string_view with_line_feed[] = {"space", "cntrl", "ascii"};
    static constexpr std::string_view without[] = {"alpha", "digit",  "alnum", "upper",
                                                   "lower", "xdigit", "word",  "blank",
                                                   "punct", "graph",  "print"};
    bool holds = false, named = false;
    for (const std::string_view known : with_line_feed) {
      if (name == known) holds = named = true;
    }
    for (const std::string_view known : without) {
      if (name == known) named = true;
    }
    if (!named) {
      fail();
      return false;
    }
    if (holds != negated) line_feed = true;
    return true;
  }

  // The value of the character at the current position (a whole UTF-8 sequence in UTF-8 mode);
  // values from 0x80 on are only told apart from ASCII.
  std::uint32_t decode_character() {
    const auto lead = static_cast<unsigned char>(pattern_[position_++]);
    finish_character(lead);
    return lead;
  }

  bool read_group(item& out) {
    if (starts_with("(?#")) {
      move_past(")", position_);
      return false;
    }
    const option_state outer = options_;
    bool zero_width = false;
    if (starts_with("(?:") || starts_with("(?>")) {
      position_ += 3;
    } else if (starts_with("(?=") || starts_with("(?!")) {
      position_ += 3;
      zero_width = true;
    } else if (starts_with("(?<=") || starts_with("(?<!")) {
      position_ += 4;
      zero_width = true;
    } else if (starts_with("(?<") || starts_with("(?P<") || starts_with("(?'")) {
      const std::size_t end = pattern_.find_first_of(">'", position_ + 3);
      if (end == std::string_view::npos) {
        fail();
        return false;
      }
      position_ = end + 1;
    } else if (starts_with("(?")) {
      position_ += 2;
      if (!read_option_letters()) return false;
      if (at(')')) {  // a setting for the rest of the enclosing group
        ++position_;
        return false;
      }
      ++position_;  // ":"
    } else if (starts_with("(*")) {
      fail();
      return false;
    } else {
      ++position_;
    }
    const std::vector<std::vector<item>> branches = alternatives();
    options_ = outer;
    if (failed_ || !at(')')) {
      fail();
      return false;
    }
    ++position_;
    out.zero_width = zero_width;
    if (zero_width) return true;
    for (const auto& branch : branches) {
      std::int64_t length = 0;
      for (const item& each : branch) {
        out.line_feed = out.line_feed || each.line_feed;
        length = add(length, each.max_bytes);
      }
      if (length > out.max_bytes) out.max_bytes = length;
    }
    return true;
  }

  // Option letters after "(?", up to ")" or ":" (left unread); anything else is unknown.
  bool read_option_letters() {
    bool on = true;
    for (; position_ < pattern_.size() && !at(')') && !at(':'); ++position_) {
      switch (pattern_[position_]) {
        case '-':
          on = false;
          break;
        case 'i':
          options_.caseless = on;
          break;
        case 'x':
          options_.extended = on;
          break;
        case 's':
          options_.dotall = on;
          break;
        case 'm':
        case 'J':
        case 'U':
        case 'X':
          break;
        default:
          fail();
          return false;
      }
    }
    if (position_ == pattern_.size()) {
      fail();
      return false;
    }
    return true;
  }

  // A quantifier after `target`, if one follows: the item may repeat, so it is a literal no more.
  void quantify(item& target) {
    skip_ignorable();
    std::int64_t most = 0;
    if (at('*') || at('+')) {
      most = unbounded;
      ++position_;
    } else if (at('?')) {
      most = 1;
      ++position_;
    } else if (!counted_repeat(most)) {
      return;
    }
    if (at('?') || at('+')) ++position_;
    target.quantified = true;
    target.literal.clear();
    target.max_bytes = multiply(target.max_bytes, most);
  }

  // "{n}", "{n,}" or "{n,m}" at the current position: reads it and sets `most`. Anything else
  // is a literal "{" and stays unread.
  bool counted_repeat(std::int64_t& most) {
    if (!at('{')) return false;
    std::size_t i = position_ + 1;
    std::int64_t first = 0, second = -1;
    bool digits = false, comma = false;
    for (; i < pattern_.size() && pattern_[i] != '}'; ++i) {
      const char c = pattern_[i];
      if (c == ',' && !comma && digits) {
        comma = true;
        second = 0;
      } else if (c >= '0' && c <= '9') {
        std::int64_t& number = comma ? second : first;
        number = number * 10 + (c - '0');
        if (number > 65535) return false;
        digits = true;
      } else {
        return false;
      }
    }
    if (i == pattern_.size() || !digits) return false;
    position_ = i + 1;
    most = !comma ? first : pattern_[i - 1] == ',' ? unbounded : second;
    return true;
  }

  // Picks the longest run of consecutive literal characters of one case rule in `branch`.
  void choose_literal(const std::vector<item>& branch, pattern_facts& facts) const {
    std::int64_t offset = 0, run_offset = 0;
    std::string run;
    bool run_caseless = false;
    bool pure = !branch.empty();
    const auto close_run = [&] {
      if (run.size() > facts.literal.size()) {
        facts.literal = run;
        facts.caseless = run_caseless;
        facts.literal_offset = run_offset;
      }
      run.clear();
    };
    for (const item& each : branch) {
      const bool literal = !each.literal.empty();
      if (!literal || (!run.empty() && each.caseless != run_caseless)) close_run();
      if (literal) {
        if (run.empty()) {
          run_offset = offset;
          run_caseless = each.caseless;
        }
        run += each.literal;
      }
      pure = pure && literal && each.caseless == branch.front().caseless;
      offset = add(offset, each.max_bytes);
    }
    close_run();
    facts.pure_literal = pure;
  }

  std::string_view pattern_;
  std::size_t position_ = 0;
  bool utf8_;
  option_state options_;
  bool failed_ = false;
};

}  // namespace facts_detail

// The facts of `pattern` compiled with the PCRE option bits `options` (of which PCRE_UTF8,
// PCRE_CASELESS, PCRE_EXTENDED and PCRE_DOTALL matter). `pattern` must be one the library
// compiles. Unknown when the pattern holds anything the reader does not know exactly: verbs and
// leading settings "(*...)", \G, \K, back references, recursion, subroutine calls, conditions,
// callouts, branch resets, escapes other than the common ones.
inline pattern_facts read_pattern_facts(std::string_view pattern, int options) {
  return facts_detail::reader(pattern, options).read();
}

}  // namespace templates
