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

// Whether `bytes` holds an ASCII letter: only then does ignoring case change what it matches.
bool has_letter(const std::string& bytes) {
  return std::any_of(bytes.begin(), bytes.end(),
                     [](char c) { return ascii_letter(static_cast<unsigned char>(c)); });
}

// Every literal of `front` followed by every literal of `back`, in the order the engine tries
// them; empty when that makes more than the most a set holds, or when a literal would need
// case ignored in one part and kept in the other.
std::vector<literal> product(const std::vector<literal>& front, const std::vector<literal>& back) {
  std::vector<literal> result;
  if (front.size() * back.size() > max_required_literals) return result;
  for (const literal& first : front) {
    for (const literal& second : back) {
      const bool first_letters = has_letter(first.bytes), second_letters = has_letter(second.bytes);
      if (first_letters && second_letters && first.caseless != second.caseless) return {};
      result.push_back({first.bytes + second.bytes,
                        (first_letters && first.caseless) || (second_letters && second.caseless)});
    }
  }
  return result;
}

// Literals found in a stretch of a branch, of which every match of the branch contains one.
struct literal_set {
  std::vector<literal> literals;  // empty: none found
  std::int64_t offset = 0;        // the most bytes of a match before the stretch starts
  bool pure = false;              // the branch is this set and nothing else, tried in this order
};

std::size_t shortest(const std::vector<literal>& literals) {
  std::size_t length = SIZE_MAX;
  for (const literal& each : literals) length = std::min(length, each.bytes.size());
  return length;
}

// Keeps the set that is worth more to look for: its shortest literal longer, or as long with
// fewer literals; the first of equals.
void keep_better(literal_set& best, literal_set candidate) {
  if (candidate.literals.empty() || candidate.literals.size() > max_required_literals) return;
  const bool better = best.literals.empty() ||
                      shortest(candidate.literals) > shortest(best.literals) ||
                      (shortest(candidate.literals) == shortest(best.literals) &&
                       candidate.literals.size() < best.literals.size());
  if (better) best = std::move(candidate);
}

// What one item (with its quantifier) can match.
struct span {
  bool line_feed = false;  // may hold a line feed
  std::int64_t max_bytes = 0;
  bool zero_width = false;   // an assertion
  bool transparent = false;  // a comment or an option setting: no item at all
  // The item matches exactly one of these, and the engine tries them in this order (empty: the
  // item is not so simple).
  std::vector<literal> literals;
  literal_set required;  // a group: what every match of it contains
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

  pattern_facts facts() const {
    pattern_facts facts;
    bool defeated = !syntax_.known;
    int groups = 0;
    facts.looks_ahead = false;
    for_each_item(syntax_.branches, [&](const pattern_item& item) {
      defeated = defeated || defeats_facts(item);
      facts.looks_ahead = facts.looks_ahead || looks_ahead(item);
      if (captures(item)) ++groups;
    });
    if (defeated) return pattern_facts();
    facts.known = true;
    reading whole = read(syntax_.branches);
    facts.line_feed = whole.line_feed;
    literal_set& set = whole.best;
    if (set.literals.empty()) return facts;
    facts.literals = std::move(set.literals);
    facts.literal_offset = set.offset;
    facts.whole_match_group = groups == 1 && whole_pattern_is_one_group();
    facts.pure_literal = set.pure && (groups == 0 || facts.whole_match_group);
    return facts;
  }

 private:
  static bool looks_ahead(const pattern_item& item) {
    if (item.kind == item_kind::assertion) {
      return item.escape == '$' || item.escape == 'z' || item.escape == 'Z';
    }
    return item.kind == item_kind::group &&
           (item.group == group_kind::lookahead || item.group == group_kind::negative_lookahead);
  }

  // Whether an item is a group that captures: a named one, or a plain one unless the option
  // "no auto capture" makes it a group that does not.
  static bool captures(const pattern_item& item) {
    if (item.kind != item_kind::group) return false;
    return item.group == group_kind::named ||
           (item.group == group_kind::capturing && (item.options & PCRE_NO_AUTO_CAPTURE) == 0);
  }

  // Whether the pattern is one unrepeated capturing group and nothing else.
  bool whole_pattern_is_one_group() const {
    if (syntax_.branches.size() != 1) return false;
    const pattern_item* only = nullptr;
    for (const pattern_item& item : syntax_.branches.front()) {
      if (item.kind == item_kind::comment || item.kind == item_kind::option_setting) continue;
      if (only != nullptr) return false;
      only = &item;
    }
    return only != nullptr && captures(*only) && !only->repeat.present;
  }

  span of(const pattern_item& item) const {
    span result = once(item);
    if (!item.repeat.present) return result;
    // A count of one literal at most a few hundred bytes long spells out in full.
    constexpr std::int64_t longest_spelled = 256;
    std::vector<literal> repeated;
    std::int64_t longest = 0;
    for (const literal& each : result.literals)
      longest = std::max(longest, static_cast<std::int64_t>(each.bytes.size()));
    if (item.repeat.min == item.repeat.max && item.repeat.min > 0 &&
        item.repeat.min * longest <= longest_spelled && !result.literals.empty()) {
      repeated = {literal{std::string(), false}};
      for (std::int64_t n = 0; n < item.repeat.min && !repeated.empty(); ++n)
        repeated = product(repeated, result.literals);
    }
    result.literals = std::move(repeated);
    if (item.repeat.min == 0) result.required = literal_set();
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
        result.literals = class_literals(item);
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
    result.line_feed = item.value == '\n';
    result.max_bytes = static_cast<std::int64_t>(item.bytes.size());
    if (item.value >= 0x80 && (caseless || item.escaped)) {
      result.max_bytes = wide_;
    } else if (!case_folds_beyond_ascii(item.value, caseless)) {
      result.literals = {literal{item.bytes, caseless && has_letter(item.bytes)}};
    } else {
      result.max_bytes = 3;
    }
    return result;
  }

  bool case_folds_beyond_ascii(std::uint32_t value, bool caseless) const {
    const std::uint32_t lower = value | 0x20;
    return caseless && syntax_.utf8 && value < 0x80 && (lower == 'k' || lower == 's');
  }

  // The characters of a small class of ASCII characters, one literal each, in byte order; empty
  // for any other class. Which of them the engine tries first does not matter: one character
  // matches at most one of them.
  std::vector<literal> class_literals(const pattern_item& item) const {
    constexpr std::uint32_t most = 16;
    const bool caseless = (item.options & PCRE_CASELESS) != 0;
    if (item.negated) return {};
    bool members[128] = {};
    for (const pattern_item& member : item.members) {
      std::uint32_t low = member.value, high = member.value;
      if (member.kind == item_kind::class_range) high = member.high;
      if (member.kind != item_kind::character && member.kind != item_kind::class_range) return {};
      if (high >= 0x80 || high < low || high - low >= most) return {};
      for (std::uint32_t c = low; c <= high; ++c) {
        if (case_folds_beyond_ascii(c, caseless)) return {};
        members[caseless && ascii_letter(c) ? (c | 0x20) : c] = true;
      }
    }
    std::vector<literal> result;
    for (std::uint32_t c = 0; c < 128; ++c) {
      const std::string byte(1, static_cast<char>(c));
      if (members[c]) result.push_back({byte, caseless && has_letter(byte)});
    }
    if (result.size() > most) result.clear();
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
    reading inner = read(item.branches);
    result.line_feed = inner.line_feed;
    result.max_bytes = inner.max_bytes;
    // An atomic group may commit to an alternative that makes the rest of the pattern fail.
    if (inner.best.pure && item.group != group_kind::atomic) result.literals = inner.best.literals;
    result.required = std::move(inner.best);
    return result;
  }

  // What a group's alternatives (or the pattern's) say together.
  struct reading {
    literal_set best;  // the best set that every match of them contains one of
    bool line_feed = false;
    std::int64_t max_bytes = 0;
  };

  // The best set of alternatives of which every match takes one is the union of what each
  // requires; none when one of them requires nothing.
  reading read(const std::vector<pattern_branch>& branches) const {
    reading all;
    all.best.pure = true;
    bool none = false;
    for (const pattern_branch& branch : branches) {
      reading each = read(branch);
      all.line_feed = all.line_feed || each.line_feed;
      all.max_bytes = std::max(all.max_bytes, each.max_bytes);
      std::vector<literal>& literals = each.best.literals;
      none = none || literals.empty() ||
             all.best.literals.size() + literals.size() > max_required_literals;
      if (none) continue;
      all.best.literals.insert(all.best.literals.end(), literals.begin(), literals.end());
      all.best.offset = std::max(all.best.offset, each.best.offset);
      all.best.pure = all.best.pure && each.best.pure;
    }
    if (none) all.best = literal_set();
    return all;
  }

  // The best set of one alternative: a run of consecutive items that each match one of a few
  // literals, or what a group that every match passes through requires.
  reading read(const pattern_branch& branch) const {
    reading result;
    literal_set run;
    std::size_t items = 0, run_items = 0;
    for (const pattern_item& item : branch) {
      span each = of(item);
      if (each.transparent) continue;
      ++items;
      std::vector<literal> joined;
      if (!run.literals.empty() && !each.literals.empty())
        joined = product(run.literals, each.literals);
      if (!joined.empty()) {
        run.literals = std::move(joined);
        ++run_items;
      } else {
        keep_better(result.best, std::move(run));
        run = literal_set();
        run_items = 0;
        if (!each.literals.empty()) {
          run.literals = std::move(each.literals);
          run.offset = result.max_bytes;
          run_items = 1;
        }
      }
      if (!each.required.literals.empty()) {
        each.required.offset = add(each.required.offset, result.max_bytes);
        each.required.pure = false;
        keep_better(result.best, std::move(each.required));
      }
      result.line_feed = result.line_feed || each.line_feed;
      result.max_bytes = add(result.max_bytes, each.max_bytes);
    }
    run.pure = run_items == items && items > 0;
    if (run.pure) {
      result.best = std::move(run);
    } else {
      keep_better(result.best, std::move(run));
    }
    return result;
  }

  const pattern_syntax& syntax_;
  std::int64_t wide_ = 1;
};

}  // namespace

pattern_facts facts_of(const pattern_syntax& syntax) {
  return facts_reader(syntax).facts();
}

namespace {

// Items that the library passes over when it looks for the item a match begins with (a verb
// makes the facts unknown anyway).
bool stands_aside(const pattern_item& item) {
  return item.kind == item_kind::option_setting || item.kind == item_kind::comment ||
         item.kind == item_kind::callout || item.kind == item_kind::verb;
}

bool branches_begin_with_lookahead(const std::vector<pattern_branch>& branches) {
  for (const pattern_branch& branch : branches) {
    for (const pattern_item& item : branch) {
      if (stands_aside(item)) continue;
      if (item.kind != item_kind::group) break;
      if (item.group == group_kind::lookahead || item.group == group_kind::conditional ||
          branches_begin_with_lookahead(item.branches)) {
        return true;
      }
      break;
    }
  }
  return false;
}

}  // namespace

bool begins_with_lookahead(const pattern_syntax& syntax) {
  return !syntax.known || branches_begin_with_lookahead(syntax.branches);
}

}  // namespace templates
