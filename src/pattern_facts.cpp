#include "templates/pattern_facts.hpp"

#include <pcre.h>

#include <algorithm>

namespace templates {
namespace {

std::int64_t add(std::int64_t a, std::int64_t b) {
  return a >= unbounded || b >= unbounded ? unbounded : a + b;
}

std::int64_t multiply(std::int64_t a, std::int64_t count) {
  if (a == 0 || count == 0) return 0;
  return a >= unbounded || count >= unbounded || a * count >= unbounded ? unbounded : a * count;
}

// What one item (with its quantifier) can match.
struct span {
  bool line_feed = false;  // may hold a line feed
  std::int64_t max_bytes = 0;
  bool zero_width = false;   // an assertion
  bool transparent = false;  // a comment or an option setting: no item at all
  std::string literal;       // matches exactly these bytes, once
  bool caseless = false;     // `literal` compared with ASCII case ignored
};

// Whether an item makes the facts unknown wherever it stands.
bool defeats_facts(const pattern_item& item) {
  switch (item.kind) {
    case item_kind::back_reference:
    case item_kind::subroutine_call:
    case item_kind::match_start_reset:
    case item_kind::callout:
    case item_kind::verb:
      return true;
    case item_kind::assertion:
      return item.escape == 'G';
    case item_kind::group:
      return item.group == group_kind::branch_reset || item.group == group_kind::conditional;
    default:
      return false;
  }
}

class facts_reader {
 public:
  explicit facts_reader(const pattern_syntax& syntax) : syntax_(syntax) {
    wide_ = syntax.utf8 ? 4 : 1;
  }

  pattern_facts read() const {
    pattern_facts facts;
    bool defeated = !syntax_.known;
    for_each_item(syntax_.branches,
                  [&](const pattern_item& item) { defeated = defeated || defeats_facts(item); });
    if (defeated) return facts;
    facts.known = true;
    facts.line_feed = false;
    for (const pattern_branch& branch : syntax_.branches) {
      for (const pattern_item& item : branch)
        facts.line_feed = facts.line_feed || of(item).line_feed;
    }
    if (syntax_.branches.size() == 1) choose_literal(syntax_.branches.front(), facts);
    return facts;
  }

 private:
  span of(const pattern_item& item) const {
    span result = once(item);
    if (!item.repeat.present) return result;
    result.literal.clear();
    result.max_bytes = multiply(result.max_bytes, item.repeat.max);
    return result;
  }

  span once(const pattern_item& item) const {
    span result;
    switch (item.kind) {
      case item_kind::character:
        return character(item);
      case item_kind::character_type:
        return character_type(item.escape, (item.options & PCRE_DOTALL) != 0);
      case item_kind::character_class:
        result.line_feed = class_holds_line_feed(item);
        result.max_bytes = wide_;
        return result;
      case item_kind::group:
        return group(item);
      case item_kind::comment:
      case item_kind::option_setting:
        result.transparent = true;
        return result;
      default:  // assertions; the others defeat the facts before they are asked for
        result.zero_width = true;
        return result;
    }
  }

  // A character matched as itself is a literal, unless ignoring case lets it match bytes other
  // than its own with their case changed: letters beyond ASCII and, in UTF-8 mode, "k" and "s"
  // (KELVIN SIGN, LONG S). Written as an escape, only ASCII counts.
  span character(const pattern_item& item) const {
    span result;
    const bool caseless = (item.options & PCRE_CASELESS) != 0;
    const std::uint32_t lower = item.value | 0x20;
    const bool letter = item.value < 0x80 && lower >= 'a' && lower <= 'z';
    result.line_feed = item.value == '\n';
    result.max_bytes = static_cast<std::int64_t>(item.bytes.size());
    if (item.value >= 0x80 && (caseless || item.escaped)) {
      result.max_bytes = wide_;
    } else if (letter && caseless && syntax_.utf8 && (lower == 'k' || lower == 's')) {
      result.max_bytes = 3;
    } else {
      result.literal = item.bytes;
      result.caseless = caseless;
    }
    return result;
  }

  // `.` and the escapes for sets of characters; \d and \w are ASCII only without (*UCP).
  span character_type(char escape, bool dotall) const {
    span result;
    result.max_bytes = wide_;
    switch (escape) {
      case '.':
        result.line_feed = dotall || !syntax_.newline_is_line_feed;
        break;
      case 'N':
        result.line_feed = !syntax_.newline_is_line_feed;
        break;
      case 'd':
      case 'w':
        result.max_bytes = 1;
        break;
      case 'S':
      case 'V':
      case 'h':
        break;
      case 'R':  // CR LF, or a character up to U+2029
        result.line_feed = true;
        result.max_bytes = syntax_.utf8 ? 3 : 2;
        break;
      case 'C':
        result.line_feed = true;
        result.max_bytes = 1;
        break;
      case 'X':
        result.line_feed = true;
        result.max_bytes = unbounded;
        break;
      default:  // D W s H v p P
        result.line_feed = true;
        break;
    }
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
        default:
          holds = holds || character_type(member.escape, false).line_feed;
          break;
      }
    }
    return holds != item.negated;
  }

  span group(const pattern_item& item) const {
    span result;
    if (item.group == group_kind::lookahead || item.group == group_kind::negative_lookahead ||
        item.group == group_kind::lookbehind || item.group == group_kind::negative_lookbehind) {
      result.zero_width = true;
      return result;
    }
    for (const pattern_branch& branch : item.branches) {
      std::int64_t length = 0;
      for (const pattern_item& each : branch) {
        const span inner = of(each);
        result.line_feed = result.line_feed || inner.line_feed;
        length = add(length, inner.max_bytes);
      }
      result.max_bytes = std::max(result.max_bytes, length);
    }
    return result;
  }

  // Picks the longest run of consecutive literal characters of one case rule in `branch`.
  void choose_literal(const pattern_branch& branch, pattern_facts& facts) const {
    std::int64_t offset = 0, run_offset = 0;
    std::string run;
    bool run_caseless = false;
    bool pure = true, any = false, pure_caseless = false;
    const auto close_run = [&] {
      if (run.size() > facts.literal.size()) {
        facts.literal = run;
        facts.caseless = run_caseless;
        facts.literal_offset = run_offset;
      }
      run.clear();
    };
    for (const pattern_item& item : branch) {
      const span each = of(item);
      if (each.transparent) continue;
      const bool literal = !each.literal.empty();
      if (!literal || (!run.empty() && each.caseless != run_caseless)) close_run();
      if (literal) {
        if (run.empty()) {
          run_offset = offset;
          run_caseless = each.caseless;
        }
        run += each.literal;
      }
      if (!any) pure_caseless = each.caseless;
      any = true;
      pure = pure && literal && each.caseless == pure_caseless;
      offset = add(offset, each.max_bytes);
    }
    close_run();
    facts.pure_literal = pure && any;
  }

  const pattern_syntax& syntax_;
  std::int64_t wide_ = 1;
};

}  // namespace

pattern_facts facts_of(const pattern_syntax& syntax) {
  return facts_reader(syntax).read();
}

}  // namespace templates
