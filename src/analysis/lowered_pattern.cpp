#include "analysis/lowered_pattern.hpp"

#include <pcre.h>

#include <algorithm>
#include <string>

#include "search/utf8.hpp"

namespace textsift::analysis {
namespace {

using search::ascii_letter;
using search::literal;

// The character beyond ASCII that an ASCII letter matches when case is ignored in UTF-8 mode with
// Unicode case folding (KELVIN SIGN for k, LONG S for s; the library knows no others, as a test
// of every code point shows); empty for the other letters.
std::string beyond_ascii_case(std::uint32_t letter) {
  switch (letter | 0x20) {
    case 'k':
      return "\xe2\x84\xaa";
    case 's':
      return "\xc5\xbf";
    default:
      return std::string();
  }
}

class lowerer {
 public:
  lowerer(const pattern_syntax& syntax, bool unicode_case)
      : utf8_(syntax.utf8),
        newline_is_line_feed_(syntax.newline_is_line_feed),
        unicode_case_(unicode_case),
        wide_(syntax.utf8 ? 4 : 1) {}

  std::vector<branch> lower_all(const std::vector<pattern_branch>& branches) {
    std::vector<branch> lowered;
    lowered.reserve(branches.size());
    for (const pattern_branch& each : branches) lowered.push_back(lower_branch(each));
    return lowered;
  }

  // The properties of alternatives taken together.
  static properties of_alternatives(const std::vector<branch>& branches) {
    properties all;
    all.min_bytes = branches.empty() ? 0 : unbounded;
    for (const branch& each : branches) {
      properties sum;
      for (const node& item : each) {
        sum.min_bytes = bounded_add(sum.min_bytes, item.props.min_bytes);
        sum.max_bytes = bounded_add(sum.max_bytes, item.props.max_bytes);
        merge(sum, item.props);
      }
      all.min_bytes = std::min(all.min_bytes, sum.min_bytes);
      all.max_bytes = std::max(all.max_bytes, sum.max_bytes);
      merge(all, sum);
    }
    return all;
  }

  // Whether something was met that no node kind can stand for: a reader that grew a new kind.
  bool failed() const { return failed_; }

 private:
  static void merge(properties& into, const properties& from) {
    into.line_feed = into.line_feed || from.line_feed;
    into.looks_ahead = into.looks_ahead || from.looks_ahead;
    into.reads_ahead = into.reads_ahead || from.reads_ahead;
    into.text_start = into.text_start || from.text_start;
    into.unmodelled = into.unmodelled || from.unmodelled;
    into.captures += from.captures;
  }

  // Comments and option settings match nothing: they are gone, their effect already in the
  // options each item was read with.
  branch lower_branch(const pattern_branch& items) {
    branch lowered;
    for (const pattern_item& item : items) {
      switch (item.kind) {
        case item_kind::comment:
        case item_kind::option_setting:
          break;
        case item_kind::character:
        case item_kind::character_type:
        case item_kind::character_class:
        case item_kind::class_range:
        case item_kind::posix_class:
        case item_kind::assertion:
        case item_kind::group:
        case item_kind::back_reference:
        case item_kind::subroutine_call:
        case item_kind::match_start_reset:
        case item_kind::callout:
        case item_kind::verb:
          lowered.push_back(lower_item(item));
          break;
      }
    }
    return lowered;
  }

  node lower_item(const pattern_item& item) {
    node lowered;
    lowered.begin = item.begin;
    if (item.repeat.present) {
      lowered.repeat.min = item.repeat.min;
      lowered.repeat.max = item.repeat.max;
      lowered.repeat.mode = mode_of(item.repeat.mode, (item.options & PCRE_UNGREEDY) != 0);
    }
    switch (item.kind) {
      case item_kind::character:
        lower_character(item, lowered);
        break;
      case item_kind::character_type:
        lower_type(item.escape, (item.options & PCRE_DOTALL) != 0, lowered);
        break;
      case item_kind::character_class:
        lower_class(item, lowered);
        break;
      case item_kind::assertion:
        lower_assertion(item, lowered);
        break;
      case item_kind::group:
        lower_group(item, lowered);
        break;
      case item_kind::back_reference:
        unmodelled(lowered, unmodelled_kind::back_reference);
        break;
      case item_kind::subroutine_call:
        unmodelled(lowered, unmodelled_kind::subroutine_call);
        break;
      case item_kind::match_start_reset:
        unmodelled(lowered, unmodelled_kind::match_start_reset);
        break;
      case item_kind::callout:
        unmodelled(lowered, unmodelled_kind::callout);
        break;
      case item_kind::verb:
        unmodelled(lowered, unmodelled_kind::verb);
        break;
      case item_kind::class_range:  // members of a class only
      case item_kind::posix_class:
      case item_kind::comment:  // dropped by lower_branch
      case item_kind::option_setting:
        failed_ = true;
        unmodelled(lowered, unmodelled_kind::verb);
        break;
    }
    apply_repeat(lowered);
    return lowered;
  }

  // The ungreedy option swaps what a quantifier with and without "?" does.
  static repeat_mode mode_of(repeat_mode typed, bool ungreedy) {
    switch (typed) {
      case repeat_mode::possessive:
        return repeat_mode::possessive;
      case repeat_mode::greedy:
        return ungreedy ? repeat_mode::lazy : repeat_mode::greedy;
      case repeat_mode::lazy:
        return ungreedy ? repeat_mode::greedy : repeat_mode::lazy;
    }
    return repeat_mode::greedy;
  }

  static void apply_repeat(node& lowered) {
    properties& props = lowered.props;
    props.min_bytes = bounded_multiply(props.min_bytes, lowered.repeat.min);
    props.max_bytes = bounded_multiply(props.max_bytes, lowered.repeat.max);
  }

  static void unmodelled(node& lowered, unmodelled_kind kind) {
    lowered.kind = node_kind::unmodelled;
    lowered.unmodelled = kind;
    lowered.props.max_bytes = unbounded;
    lowered.props.line_feed = true;
    lowered.props.looks_ahead = true;
    lowered.props.reads_ahead = true;
    lowered.props.text_start = true;
    lowered.props.unmodelled = true;
  }

  void exactly(node& lowered, std::vector<literal> strings) {
    lowered.exact = true;
    lowered.props.min_bytes = unbounded;
    lowered.props.max_bytes = 0;
    for (const literal& each : strings) {
      const auto length = static_cast<std::int64_t>(each.bytes.size());
      lowered.props.min_bytes = std::min(lowered.props.min_bytes, length);
      lowered.props.max_bytes = std::max(lowered.props.max_bytes, length);
      lowered.props.line_feed = lowered.props.line_feed || each.bytes == "\n";
    }
    lowered.strings = std::move(strings);
  }

  // Ignoring case, a character matches its other case too: an ASCII letter its ASCII partner
  // (and k and s one character beyond ASCII each), a character beyond ASCII whatever the Unicode
  // tables say, which is not modelled. Written as an escape, a character beyond ASCII is not
  // modelled either.
  void lower_character(const pattern_item& item, node& lowered) {
    lowered.atom = atom_kind::character;
    const bool caseless = (item.options & PCRE_CASELESS) != 0;
    if (item.value >= 0x80 && (caseless || item.escaped)) {
      lowered.props.min_bytes = 1;
      lowered.props.max_bytes = wide_;
      return;
    }
    std::vector<literal> strings{{item.bytes, caseless && search::has_ascii_letter(item.bytes)}};
    const std::string beyond = caseless && folds_beyond_ascii() && item.value < 0x80
                                   ? beyond_ascii_case(item.value)
                                   : std::string();
    if (!beyond.empty()) strings.push_back({beyond, false});
    exactly(lowered, std::move(strings));
  }

  bool folds_beyond_ascii() const { return utf8_ && unicode_case_; }

  // `.` and the escapes for sets of characters; \d and \w are ASCII only without (*UCP), which
  // as a leading setting leaves the pattern unmodelled anyway.
  void lower_type(char escape, bool dotall, node& lowered) const {
    properties& props = lowered.props;
    props.min_bytes = 1;
    props.max_bytes = wide_;
    lowered.atom = atom_kind::character_type;
    switch (escape) {
      case '.':
        lowered.atom = atom_kind::any_character;
        props.line_feed = dotall || !newline_is_line_feed_;
        break;
      case 'N':
        lowered.atom = atom_kind::any_character;
        props.line_feed = !newline_is_line_feed_;
        break;
      case 'd':
      case 'w':
        props.max_bytes = 1;
        break;
      case 'S':
      case 'V':
      case 'h':
        break;
      case 'R':  // CR LF, or one character up to U+2029
        lowered.atom = atom_kind::newline_sequence;
        props.line_feed = true;
        props.max_bytes = utf8_ ? 3 : 2;
        break;
      case 'C':
        lowered.atom = atom_kind::single_byte;
        props.line_feed = true;
        props.max_bytes = 1;
        break;
      case 'X':
        lowered.atom = atom_kind::grapheme;
        props.line_feed = true;
        props.max_bytes = unbounded;
        break;
      default:  // D W s H v p P
        props.line_feed = true;
        break;
    }
  }

  void lower_class(const pattern_item& item, node& lowered) {
    lowered.atom = atom_kind::character_class;
    std::vector<literal> strings = class_strings(item);
    if (!strings.empty()) return exactly(lowered, std::move(strings));
    lowered.props.min_bytes = 1;
    lowered.props.max_bytes = wide_;
    lowered.props.line_feed = class_holds_line_feed(item);
  }

  // The characters of a small class of ASCII characters, one string each, in byte order, then
  // those beyond ASCII that case folding adds; empty for any other class. Which of them the
  // engine tries first does not matter: one character matches at most one of them.
  std::vector<literal> class_strings(const pattern_item& item) const {
    constexpr std::uint32_t most = 16;
    const bool caseless = (item.options & PCRE_CASELESS) != 0;
    if (item.negated) return {};
    bool members[128] = {};
    bool beyond[2] = {};  // k, s
    for (const pattern_item& member : item.members) {
      std::uint32_t low = member.value, high = member.value;
      if (member.kind == item_kind::class_range) high = member.high;
      if (member.kind != item_kind::character && member.kind != item_kind::class_range) return {};
      if (high >= 0x80 || high < low || high - low >= most) return {};
      for (std::uint32_t c = low; c <= high; ++c) {
        members[caseless && ascii_letter(c) ? (c | 0x20) : c] = true;
        if (caseless && folds_beyond_ascii() && !beyond_ascii_case(c).empty()) {
          beyond[(c | 0x20) == 's'] = true;
        }
      }
    }
    std::vector<literal> result;
    for (std::uint32_t c = 0; c < 128; ++c) {
      const std::string byte(1, static_cast<char>(c));
      if (members[c]) result.push_back({byte, caseless && search::has_ascii_letter(byte)});
    }
    if (result.size() > most) return {};
    if (beyond[0]) result.push_back({beyond_ascii_case('k'), false});
    if (beyond[1]) result.push_back({beyond_ascii_case('s'), false});
    return result;
  }

  bool class_holds_line_feed(const pattern_item& item) const {
    bool holds = false;
    for (const pattern_item& member : item.members) {
      switch (member.kind) {
        case item_kind::character:
          holds = holds || member.value == '\n';
          break;
        case item_kind::class_range:
          holds = holds || (member.value <= '\n' && member.high >= '\n');
          break;
        case item_kind::posix_class: {
          const bool space =
              member.name == "space" || member.name == "cntrl" || member.name == "ascii";
          holds = holds || space != member.negated;
          break;
        }
        case item_kind::character_type: {
          node type;
          lower_type(member.escape, false, type);
          holds = holds || type.props.line_feed;
          break;
        }
        case item_kind::character_class:  // no class holds one, nor any of these
        case item_kind::assertion:
        case item_kind::group:
        case item_kind::back_reference:
        case item_kind::subroutine_call:
        case item_kind::match_start_reset:
        case item_kind::callout:
        case item_kind::verb:
        case item_kind::option_setting:
        case item_kind::comment:
          holds = true;
          break;
      }
    }
    return holds != item.negated;
  }

  void lower_assertion(const pattern_item& item, node& lowered) {
    lowered.kind = node_kind::assertion;
    const bool multiline = (item.options & PCRE_MULTILINE) != 0;
    switch (item.escape) {
      case '^':
        lowered.assertion = multiline ? assertion_kind::line_start : assertion_kind::text_start;
        break;
      case '$':
        lowered.assertion = multiline ? assertion_kind::line_end
                            : (item.options & PCRE_DOLLAR_ENDONLY) != 0
                                ? assertion_kind::text_end
                                : assertion_kind::text_end_or_final_newline;
        break;
      case 'A':
        lowered.assertion = assertion_kind::text_start;
        break;
      case 'z':
        lowered.assertion = assertion_kind::text_end;
        break;
      case 'Z':
        lowered.assertion = assertion_kind::text_end_or_final_newline;
        break;
      case 'b':
        lowered.assertion = assertion_kind::word_boundary;
        break;
      case 'B':
        lowered.assertion = assertion_kind::not_word_boundary;
        break;
      case 'G':
        lowered.assertion = assertion_kind::search_start;
        break;
      default:
        failed_ = true;
        return unmodelled(lowered, unmodelled_kind::verb);
    }
    properties& props = lowered.props;
    switch (lowered.assertion) {
      case assertion_kind::text_end:
      case assertion_kind::text_end_or_final_newline:
        props.looks_ahead = true;
        props.reads_ahead = true;
        break;
      case assertion_kind::line_end:  // the character at its place: a line feed, or none
        props.looks_ahead = true;
        break;
      case assertion_kind::search_start:  // where a match can start depends on the search
        props.unmodelled = true;
        break;
      case assertion_kind::text_start:
        props.text_start = true;
        break;
      case assertion_kind::line_start:
      case assertion_kind::word_boundary:
      case assertion_kind::not_word_boundary:
        break;
    }
  }

  void lower_group(const pattern_item& item, node& lowered) {
    lowered.branches = lower_all(item.branches);
    lowered.props = of_alternatives(lowered.branches);
    lowered.kind = node_kind::group;
    switch (item.group) {
      case group_kind::capturing:
        lowered.captures = (item.options & PCRE_NO_AUTO_CAPTURE) == 0;
        break;
      case group_kind::named:
        lowered.captures = true;
        break;
      case group_kind::non_capturing:
        break;
      case group_kind::atomic:
        lowered.atomic = true;
        break;
      case group_kind::lookahead:
        return look(lowered, look_kind::ahead);
      case group_kind::negative_lookahead:
        return look(lowered, look_kind::negative_ahead);
      case group_kind::lookbehind:
        return look(lowered, look_kind::behind);
      case group_kind::negative_lookbehind:
        return look(lowered, look_kind::negative_behind);
      case group_kind::branch_reset: {
        std::vector<branch> body = std::move(lowered.branches);
        unmodelled(lowered, unmodelled_kind::branch_reset);
        lowered.branches = std::move(body);
        return;
      }
      case group_kind::conditional: {
        std::vector<branch> body = std::move(lowered.branches);
        unmodelled(lowered, unmodelled_kind::conditional);
        lowered.branches = std::move(body);
        return;
      }
    }
    if (lowered.captures) ++lowered.props.captures;
  }

  // A lookaround matches no text: what it holds counts only for looking ahead, for what is not
  // modelled, and for the groups it captures.
  static void look(node& lowered, look_kind kind) {
    lowered.kind = node_kind::look;
    lowered.look = kind;
    properties& props = lowered.props;
    props.min_bytes = props.max_bytes = 0;
    props.line_feed = false;
    const bool ahead = kind == look_kind::ahead || kind == look_kind::negative_ahead;
    props.looks_ahead = props.looks_ahead || ahead;
    props.reads_ahead = props.reads_ahead || ahead;
  }

  bool utf8_;
  bool newline_is_line_feed_;
  bool unicode_case_;
  std::int64_t wide_;
  bool failed_ = false;
};

bool library_folds_unicode_case() {
  static const bool folds = [] {
    int properties = 0;
    pcre_config(PCRE_CONFIG_UNICODE_PROPERTIES, &properties);
    return properties != 0;
  }();
  return folds;
}

}  // namespace

lowered_pattern lower(const pattern_syntax& syntax, bool unicode_case) {
  lowered_pattern lowered;
  lowered.status = syntax.status;
  lowered.utf8 = syntax.utf8;
  if (!syntax.known()) return lowered;
  lowerer lowering(syntax, unicode_case);
  lowered.branches = lowering.lower_all(syntax.branches);
  lowered.props = lowerer::of_alternatives(lowered.branches);
  if (lowering.failed()) {
    lowered.status = reading::not_modelled;
    lowered.branches.clear();
  }
  return lowered;
}

lowered_pattern lower_pattern(std::string_view pattern, int options) {
  return lower(read_pattern(pattern, options), library_folds_unicode_case());
}

}  // namespace textsift::analysis
