// Rewrite strings: the text that stands for one match in the output. A backslash followed by a
// digit n stands for group n (0 is the whole match), two backslashes for one backslash; every
// other byte stands for itself.
#pragma once

#include <string>

#include "messages/message_byte.hpp"
#include "messages/messages.hpp"

namespace templates {

namespace messages = textsift::messages;

// Checks that `rewrite` can apply to a match of a pattern with `capture_count` capturing groups.
// Returns an empty string when it can, else the first fault from the left: a reference to a group
// the pattern does not have, a backslash before anything but a digit or a backslash, or a single
// backslash at the end.
template <class String>
std::string validate_rewrite(const String& rewrite, int capture_count) {
  for (std::size_t i = 0; i < rewrite.size(); ++i) {
    if (rewrite[i] != '\\') continue;
    if (i + 1 == rewrite.size()) return messages::fill(messages::single_backslash);
    const char next = rewrite[++i];
    if (next >= '0' && next <= '9') {
      if (next - '0' > capture_count) {
        return messages::fill(messages::missing_group, std::string(1, next));
      }
    } else if (next != '\\') {
      return messages::fill(messages::unknown_escape, textsift::message_byte(next));
    }
  }
  return std::string();
}

// Appends `rewrite` to `out`, each group reference replaced by the text of that group in
// `subject` as `ovector` reports it. `reported` is pcre_exec's positive result; a group at or
// beyond it, or one that took no part in the match, gives the empty string. Requires a rewrite
// that validate_rewrite accepts for the pattern that produced `ovector`.
template <class Output, class String>
void append_rewrite(Output& out, const String& rewrite, const char* subject, const int* ovector,
                    int reported) {
  std::size_t literal_start = 0;
  for (std::size_t i = 0; i < rewrite.size(); ++i) {
    if (rewrite[i] != '\\') continue;
    out.append(rewrite, literal_start, i - literal_start);
    const char next = rewrite[++i];
    literal_start = i + 1;
    if (next == '\\') {
      out.push_back('\\');
      continue;
    }
    const int group = next - '0';
    if (group < reported && ovector[2 * group] >= 0) {
      out.append(subject + ovector[2 * group], ovector[2 * group + 1] - ovector[2 * group]);
    }
  }
  out.append(rewrite, literal_start, rewrite.size() - literal_start);
}

}  // namespace templates
