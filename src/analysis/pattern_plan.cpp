#include "analysis/pattern_plan.hpp"

#include <algorithm>
#include <utility>

namespace textsift::analysis {
namespace {

using search::ascii_letter;
using search::literal;

// ---------------------------------------------------------------------------------------------
// The rules. Each says what a plan may take from the pattern, and why that changes no result.
//
// Rule "read": a pattern the reader could not read exactly has no plan. Its searches run on the
//   interpreter over the whole text, and its result is held whole.
// Rule "unmodelled": back references, subroutine calls, \K, callouts, verbs (leading settings
//   such as (*CR) or (*UCP) included), conditional groups, branch resets and \G decide where and
//   how a match can start in ways no rule here follows: no literals, no line windows.
// Rule "jit": the JIT runs only patterns clear of the constructs on which PCRE 8.39's JIT and its
//   interpreter disagree (jit_is_trusted below); the interpreter's results are the reference.
// Rule "look back": a search reads at most 2 characters before its start (\b and \B read the one
//   before, ^ in multi-line mode a newline that may be CR LF, and so does the library's own
//   start-of-line search), and each lookbehind steps back at most the library's longest
//   lookbehind, nested ones adding up; a subroutine call can reach lookbehinds whose lengths the
//   library does not report, so its look-back is unknown. In UTF-8 mode a character is up to 4
//   bytes.
// Rule "literals": every match of the pattern holds one literal of a set, found from runs of
//   atoms that match few strings, alternatives and groups every match passes through
//   (extractor below); a search may skip text where no literal occurs, and start the engine no
//   earlier than the literal's offset allows.
// Rule "start restricted": where the library tries a match only at the start of a search and
//   after newlines (a leading .*, also inside a leading lookahead), and the pattern begins with a
//   lookahead, a search that skips ahead would try starts the library never tries: no literals.
// Rule "pure": a pattern that is nothing but a set of literals, with no capturing group or one
//   around all of it, matches exactly the leftmost occurrence of a literal, the first of the set
//   in order there: no engine is needed.
// Rule "worth it": single bytes that start every match are what the library's own start-of-match
//   search looks for already: no set of them is searched for.
// Rule "line windows": where no match can hold a line feed nor look past its end, a candidate's
//   line holds every match that starts on it, so the engine may be asked about that line alone.
// Rule "pieces": a text is cut after line feeds into pieces searched at once, each from its
//   start, taking the matches that start in it; the results are joined in order. That gives the
//   matches of one search over the whole text when (1) a match attempt depends only on the text
//   around it, not on where the search started: nothing unmodelled (\G above all), and not
//   anchored (which the library tries only where a search starts; leading .* it tries after
//   each newline, and every cut is after one); (2) a search that reaches a cut starts afresh
//   there: no match crosses a cut, so the search before the cut ends at or before it (a match
//   ends there, or an empty one steps over the line feed), and attempts at a cut fail or succeed
//   alike from either side; (3) a piece's searches read no text another piece writes: nothing
//   reads past the character after a match (no lookahead, no \z, \Z or $ outside multi-line
//   mode), the look-back is known, and each piece keeps the look-back before its end and the
//   window after its start unwritten until all are done. No match holds a line feed: every
//   cut qualifies and a piece's searches see the text to its end. Every match is short: a cut
//   qualifies where no attempt in the bytes before it can reach past it, and a piece's searches
//   see that many bytes (and one character) past its end. Otherwise, where (1) holds, the
//   look-back is known and every match holds a literal of the plan at a bounded offset, the
//   pieces of a global replacement are searched on a guess: that no match crosses the cut before
//   each. A piece's search before a cut ends, in the result of one search over the whole text,
//   either at or before the cut (it found no match starting before the cut, which its literals
//   prove without the engine where none occurs near enough, or its last match ended there), and
//   then the guess holds as in (2); or past it, after a match that crosses the cut, and then the
//   piece after is searched again from that match's end. Each piece's searches may read the
//   whole text, which no piece after the earliest one still searched writes, but try no start
//   past the piece's end (partial matching tells where an attempt needs the text past it), and a
//   piece's result is held until every piece before it is done and its guess is proved.
//   Otherwise the whole text is one piece.
// Rule "agree": a plan that contradicts the library on a fact both know (library_disagreement)
//   is dropped for the slow, exact way.
// ---------------------------------------------------------------------------------------------

// Every literal of `front` followed by every literal of `back`, in the order the engine tries
// them; empty when that makes more than the most a set holds, or when a literal would need
// case ignored in one part and kept in the other.
std::vector<literal> product(const std::vector<literal>& front, const std::vector<literal>& back) {
  std::vector<literal> result;
  if (front.size() * back.size() > max_required_literals) return result;
  for (const literal& first : front) {
    for (const literal& second : back) {
      const bool first_letters = search::has_ascii_letter(first.bytes),
                 second_letters = search::has_ascii_letter(second.bytes);
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

// The rule "literals": what every match holds, read from the lowered nodes.
class extractor {
 public:
  // What alternatives say together: the best set of which every match holds one.
  literal_set read(const std::vector<branch>& branches) const {
    literal_set all;
    all.pure = true;
    for (const branch& each : branches) {
      literal_set one = read(each);
      if (one.literals.empty() ||
          all.literals.size() + one.literals.size() > max_required_literals) {
        return literal_set();  // one alternative requires nothing: neither do they all
      }
      all.literals.insert(all.literals.end(), one.literals.begin(), one.literals.end());
      all.offset = std::max(all.offset, one.offset);
      all.pure = all.pure && one.pure;
    }
    return all;
  }

 private:
  // What one node (with its quantifier) gives: the strings it matches exactly, in the order the
  // engine tries them (empty: not so simple), and what every match of it holds.
  struct yield {
    std::vector<literal> exact;
    literal_set required;
  };

  yield of(const node& item) const {
    yield result = once(item);
    if (!item.repeat.quantified()) return result;
    // A count of one literal at most a few hundred bytes long spells out in full.
    constexpr std::int64_t longest_spelled = 256;
    std::vector<literal> repeated;
    std::int64_t longest = 0;
    for (const literal& each : result.exact)
      longest = std::max(longest, static_cast<std::int64_t>(each.bytes.size()));
    if (item.repeat.min == item.repeat.max && item.repeat.min > 0 &&
        item.repeat.min * longest <= longest_spelled && !result.exact.empty()) {
      repeated = {literal{std::string(), false}};
      for (std::int64_t n = 0; n < item.repeat.min && !repeated.empty(); ++n)
        repeated = product(repeated, result.exact);
    }
    result.exact = std::move(repeated);
    if (item.repeat.min == 0) result.required = literal_set();
    return result;
  }

  yield once(const node& item) const {
    yield result;
    switch (item.kind) {
      case node_kind::atom:
        if (item.exact) result.exact = item.strings;
        break;
      case node_kind::group: {
        literal_set inner = read(item.branches);
        // An atomic group may commit to an alternative that makes the rest of the pattern fail.
        if (inner.pure && !item.atomic) result.exact = inner.literals;
        result.required = std::move(inner);
        break;
      }
      case node_kind::assertion:  // zero width: they break a run, and require nothing
      case node_kind::look:
      case node_kind::unmodelled:  // the rule "unmodelled" has no literals at all
        break;
    }
    return result;
  }

  // The best set of one alternative: a run of consecutive nodes that each match one of a few
  // strings, or what a group that every match passes through requires.
  literal_set read(const branch& nodes) const {
    literal_set best, run;
    std::int64_t before = 0;  // the most bytes of a match before the current node
    std::size_t run_nodes = 0;
    for (const node& item : nodes) {
      yield each = of(item);
      std::vector<literal> joined;
      if (!run.literals.empty() && !each.exact.empty()) joined = product(run.literals, each.exact);
      if (!joined.empty()) {
        run.literals = std::move(joined);
        ++run_nodes;
      } else {
        keep_better(best, std::move(run));
        run = literal_set();
        run_nodes = 0;
        if (!each.exact.empty()) {
          run.literals = std::move(each.exact);
          run.offset = before;
          run_nodes = 1;
        }
      }
      if (!each.required.literals.empty()) {
        each.required.offset = bounded_add(each.required.offset, before);
        each.required.pure = false;
        keep_better(best, std::move(each.required));
      }
      before = bounded_add(before, item.props.max_bytes);
    }
    run.pure = run_nodes == nodes.size() && !nodes.empty();
    if (run.pure) return run;
    keep_better(best, std::move(run));
    return best;
  }
};

// Whether some top-level alternative begins, through the groups it opens, with a lookahead (or
// a condition, which may be one). The library may read a `.*` that starts such a lookahead as
// tying every match to the start of the text or of a line.
bool begins_with_lookahead(const std::vector<branch>& branches) {
  for (const branch& each : branches) {
    for (const node& item : each) {
      bool stands_aside = false;  // passed over where the library looks for the first item
      switch (item.kind) {
        case node_kind::atom:
        case node_kind::assertion:
          break;
        case node_kind::look:
          if (item.look == look_kind::ahead) return true;
          if (begins_with_lookahead(item.branches)) return true;
          break;
        case node_kind::group:
          if (begins_with_lookahead(item.branches)) return true;
          break;
        case node_kind::unmodelled:
          switch (item.unmodelled) {
            case unmodelled_kind::conditional:
              return true;
            case unmodelled_kind::callout:
            case unmodelled_kind::verb:
              stands_aside = true;
              break;
            case unmodelled_kind::branch_reset:
              if (begins_with_lookahead(item.branches)) return true;
              break;
            case unmodelled_kind::back_reference:
            case unmodelled_kind::subroutine_call:
            case unmodelled_kind::match_start_reset:
              break;
          }
          break;
      }
      if (!stands_aside) break;
    }
  }
  return false;
}

// The rule "jit". PCRE 8.39's JIT and its interpreter disagree on these, and the interpreter
// gives the results users expect (mostly Perl's):
//   possessive quantifier on a group    `(bb|b){2,}+` finds no match in "bb"
//   backtracking verbs                  `x*(*PRUNE).|` matches in "x"
//   \K next to lookarounds or verbs     other match spans
//   \X in byte mode                     `\X{2}` on CR LF at the end runs past the text
//   back reference in a branch reset    `((?|(()?)|(\2)).)+[ab]` crashes on "-x"
//   conditional group                   `(()(?(1)a)??)A` matches "A" in "aA", not "aA"
//   lookahead starting with `.*`        `(?=.*)a?\n` matches in "c\n"; the interpreter tries
//                                       line starts only and finds none
//   group captured in an assertion      `((?=())\n){1,}` on "\n" sets group 2 to 0-0, not 1-1
//   back reference to its own group     `((?:.]?\p{L}|)*\g{1}*)a` finds no match in "ab"
//   subroutine call                     `(?:(-*+)(?1)|)` leaves group 1 unset
// So: no verbs or leading settings, \K, \X, branch reset, conditional group, back reference or
// subroutine call; no lookaround in a pattern with a capturing group; no `.` or \N after the
// first lookahead; no possessive quantifier on a group.
bool jit_is_trusted(const lowered_pattern& pattern) {
  constexpr std::size_t none = static_cast<std::size_t>(-1);
  bool untrusted = false, lookaround = false;
  std::size_t first_lookahead = none, last_dot = 0;
  for_each_node(pattern.branches, [&](const node& item) {
    const bool possessive = item.repeat.mode == repeat_mode::possessive;
    switch (item.kind) {
      case node_kind::atom:
        switch (item.atom) {
          case atom_kind::grapheme:
            untrusted = true;
            break;
          case atom_kind::any_character:
            last_dot = std::max(last_dot, item.begin);
            break;
          case atom_kind::character:
          case atom_kind::character_class:
          case atom_kind::single_byte:
          case atom_kind::newline_sequence:
          case atom_kind::character_type:
            break;
        }
        break;
      case node_kind::assertion:
        break;
      case node_kind::group:
        untrusted = untrusted || possessive;
        break;
      case node_kind::look:
        lookaround = true;
        if (item.look == look_kind::ahead) first_lookahead = std::min(first_lookahead, item.begin);
        untrusted = untrusted || possessive;
        break;
      case node_kind::unmodelled:
        switch (item.unmodelled) {
          case unmodelled_kind::back_reference:
          case unmodelled_kind::subroutine_call:
          case unmodelled_kind::match_start_reset:
          case unmodelled_kind::verb:
          case unmodelled_kind::conditional:
          case unmodelled_kind::branch_reset:
            untrusted = true;
            break;
          case unmodelled_kind::callout:
            untrusted = untrusted || possessive;
            break;
        }
        break;
    }
  });
  const bool dot_after_lookahead = first_lookahead != none && last_dot > first_lookahead;
  return !untrusted && !(lookaround && pattern.props.captures > 0) && !dot_after_lookahead;
}

// The rule "look back", for one node: how far before its own position it may read. Every node
// after it in its branch stands at or after that position, so the most of any node bounds a
// branch. A lookbehind steps back at most `lookbehind` characters and matches from there.
std::int64_t back_of_branches(const std::vector<branch>& branches, std::int64_t lookbehind);

std::int64_t back_of(const node& item, std::int64_t lookbehind) {
  constexpr std::int64_t newline = 2;  // CR LF
  switch (item.kind) {
    case node_kind::atom:
      return 0;
    case node_kind::assertion:
      switch (item.assertion) {
        case assertion_kind::line_start:
        case assertion_kind::word_boundary:
        case assertion_kind::not_word_boundary:
          return newline;
        case assertion_kind::text_start:
        case assertion_kind::text_end:
        case assertion_kind::text_end_or_final_newline:
        case assertion_kind::line_end:
        case assertion_kind::search_start:
          return 0;
      }
      return unbounded;
    case node_kind::group:
      return back_of_branches(item.branches, lookbehind);
    case node_kind::look: {
      const std::int64_t inside = back_of_branches(item.branches, lookbehind);
      switch (item.look) {
        case look_kind::behind:
        case look_kind::negative_behind:
          return std::min(unbounded, inside + lookbehind);
        case look_kind::ahead:
        case look_kind::negative_ahead:
          return inside;
      }
      return unbounded;
    }
    case node_kind::unmodelled:
      switch (item.unmodelled) {
        case unmodelled_kind::subroutine_call:
          return unbounded;
        case unmodelled_kind::conditional:
        case unmodelled_kind::branch_reset:
          return back_of_branches(item.branches, lookbehind);
        case unmodelled_kind::back_reference:
        case unmodelled_kind::match_start_reset:
        case unmodelled_kind::callout:
        case unmodelled_kind::verb:
          return 0;
      }
      return unbounded;
  }
  return unbounded;
}

std::int64_t back_of_branches(const std::vector<branch>& branches, std::int64_t lookbehind) {
  std::int64_t most = 0;
  for (const branch& each : branches) {
    for (const node& item : each) most = std::max(most, back_of(item, lookbehind));
  }
  return most;
}

// Whether a node is a group that captures, alone in the only alternative, unrepeated.
bool whole_pattern_is_one_group(const lowered_pattern& pattern) {
  if (pattern.branches.size() != 1 || pattern.branches.front().size() != 1) return false;
  const node& only = pattern.branches.front().front();
  return only.kind == node_kind::group && only.captures && !only.repeat.quantified();
}

bool holds_branch_reset(const lowered_pattern& pattern) {
  bool found = false;
  for_each_node(pattern.branches, [&](const node& item) {
    found = found || (item.kind == node_kind::unmodelled &&
                      item.unmodelled == unmodelled_kind::branch_reset);
  });
  return found;
}

// The rule "worth it".
bool worth_looking_for(const std::vector<literal>& literals, std::int64_t offset, bool pure) {
  if (literals.empty()) return false;
  if (pure || offset > 0) return true;
  return std::all_of(literals.begin(), literals.end(),
                     [](const literal& each) { return each.bytes.size() >= 2; });
}

// Whether byte `a` and the literal's byte `b` can be the same byte of a match.
bool same_byte(unsigned char a, unsigned char b) {
  return a == b || (ascii_letter(a) && (a | 0x20) == (b | 0x20));
}

// The bytes past a match's end that an attempt may read: the character after it, and a margin.
constexpr std::size_t after_match_bytes = 8;

// The most bytes a short match may span for the rule "pieces".
constexpr std::int64_t short_match_bytes = 4096;

// The rule "pieces".
void plan_pieces(const lowered_pattern& pattern, const library_report& library,
                 pattern_plan& plan) {
  const properties& props = pattern.props;
  if (props.unmodelled || library.anchored || props.reads_ahead ||
      plan.look_back_bytes == SIZE_MAX) {
    return;
  }
  if (!props.line_feed) {
    plan.split = split_mode::lines;
    plan.split_alone = !props.text_start;
  } else if (props.max_bytes <= short_match_bytes) {
    plan.split = split_mode::bounded;
    plan.split_window = static_cast<std::size_t>(props.max_bytes) + after_match_bytes;
  }
}

// The rule "pieces", for a pattern with no cut known in advance: on a guess, once its literals
// are known.
void plan_guessed_pieces(const lowered_pattern& pattern, const library_report& library,
                         pattern_plan& plan) {
  if (plan.split != split_mode::whole || pattern.props.unmodelled || library.anchored ||
      plan.look_back_bytes == SIZE_MAX || plan.literals.empty() ||
      plan.literal_offset >= unbounded) {
    return;
  }
  plan.split = split_mode::guessed;
}

}  // namespace

std::int64_t look_back_characters(const lowered_pattern& pattern, int max_lookbehind) {
  constexpr std::int64_t newline = 2;
  if (!pattern.known() || max_lookbehind < 0) return unbounded;
  return std::min(unbounded, newline + back_of_branches(pattern.branches, max_lookbehind));
}

pattern_plan plan_from(const lowered_pattern& pattern, const library_report& library,
                       const plan_wanted& wanted) {
  pattern_plan plan;
  if (!pattern.known()) return plan;  // rule "read"
  plan.known = true;
  plan.capture_count = holds_branch_reset(pattern) ? -1 : pattern.props.captures;
  plan.jit = wanted.jit && jit_is_trusted(pattern);
  const std::int64_t characters = look_back_characters(pattern, library.max_lookbehind);
  if (characters < unbounded) {
    plan.look_back_bytes = static_cast<std::size_t>(characters) * (library.utf8 ? 4 : 1);
  }
  plan_pieces(pattern, library, plan);
  if (!wanted.accelerate || pattern.props.unmodelled) return plan;  // rule "unmodelled"
  if (library.start_restricted && begins_with_lookahead(pattern.branches)) return plan;
  plan.facts = true;
  plan.line_feed = pattern.props.line_feed;
  literal_set set = extractor().read(pattern.branches);
  if (set.literals.empty()) return plan;
  plan.whole_match_group = pattern.props.captures == 1 && whole_pattern_is_one_group(pattern);
  plan.pure_literal = set.pure && (pattern.props.captures == 0 || plan.whole_match_group);
  if (!plan.pure_literal) plan.whole_match_group = false;
  plan.literals = std::move(set.literals);
  plan.literal_offset = set.offset;
  plan.search_literals = worth_looking_for(plan.literals, plan.literal_offset, plan.pure_literal);
  plan.line_windows =
      plan.search_literals && !pattern.props.line_feed && !pattern.props.looks_ahead;
  plan_guessed_pieces(pattern, library, plan);
  return plan;
}

std::string library_disagreement(const pattern_plan& plan, const library_report& library) {
  if (!plan.known) return std::string();
  if (plan.capture_count >= 0 && plan.capture_count != library.capture_count) {
    return "the plan counts " + std::to_string(plan.capture_count) +
           " capturing groups, the library " + std::to_string(library.capture_count);
  }
  if (plan.literals.empty()) return std::string();
  if (library.match_empty) return "the library matches the empty string, which holds no literal";
  for (const literal& each : plan.literals) {
    const auto first = static_cast<unsigned char>(each.bytes.front());
    if (plan.literal_offset == 0 && library.first_byte >= 0 &&
        !same_byte(first, static_cast<unsigned char>(library.first_byte))) {
      return "a literal starts with byte " + std::to_string(first) + ", every match with byte " +
             std::to_string(library.first_byte);
    }
    const bool holds_required =
        library.required_byte < 0 || std::any_of(each.bytes.begin(), each.bytes.end(), [&](char c) {
          return same_byte(static_cast<unsigned char>(c),
                           static_cast<unsigned char>(library.required_byte));
        });
    if (plan.pure_literal && !holds_required) {
      return "a literal of a pure set lacks the required byte " +
             std::to_string(library.required_byte);
    }
  }
  return std::string();
}

pattern_plan make_plan(const lowered_pattern& pattern, const library_report& library,
                       const plan_wanted& wanted) {
  pattern_plan plan = plan_from(pattern, library, wanted);
  if (!library_disagreement(plan, library).empty()) return pattern_plan();  // rule "agree"
  return plan;
}

}  // namespace textsift::analysis
