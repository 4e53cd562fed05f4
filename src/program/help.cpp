#include "program/help.hpp"

#include <iostream>
#include <string>

#include "program/program.hpp"

namespace textsift {
namespace {

// The help text, one entry per line; @NAME@ and @VERSION@ stand for the program's name and
// version.
constexpr const char* help_lines[] = {
    "NAME",
    "",
    "  @NAME@",
    "",
    "SYNOPSIS",
    "",
    "  @NAME@ [-h|--help|-v] '<pattern1>' ['<pattern2>'] [...]",
    "",
    "DESCRIPTION",
    "",
    "  @NAME@.",
    "",
    "  The program allows performing match-extract / search-replace operations",
    "  with pattern known from PCRE (or Perl: stdout = stdin =~ <pattern>), where",
    "  one of [`/`, `|`, `#`] can be chosen as pattern separator.",
    "",
    "    `@NAME@ 'm/pattern/'` or `@NAME@ '/pattern/'`: Prints first match to",
    "     stdout.",
    "",
    "    `@NAME@ 's/pattern/replace/': Replaces all occurrences ot the pattern with",
    "    the replace text (accepted subexpression references are `\\1`,`\\2`, etc,",
    "    and `$1`,`$2` etc, both have the same meaning).",
    "",
    " Modifiers:",
    "",
    "   Modifiers are appended to the pattern as known from Perl / PCRE",
    "   (`@NAME@ /pattern/modifiers` or `@NAME@/pattern/replace/modifiers`).",
    "",
    "   `i`  Ignore case (as in Perl).",
    "   `x`  Permit whitespaces and comments in the pattern (as in Perl).",
    "   `m`  Multi line: `^` and `$` match start/end of the whole text (as in Perl).",
    "   `s`  `.` matches newlines as well (as in Perl).",
    "",
    "   `1`  (Character 'one') Extract/replace only first match, not the whole text.",
    "   `$`  `$` matches only at the end (else normal dollar sign).",
    "   `!`  Meaning of `*?` and `*` swapped (`*?` now consumes as much as possible).",
    "   `*`  Disable parenthesise (subexpression) matching.",
    "   `X`  Extra (PCRE strict escape parsing).",
    "   `U`  Disable UTF support.",
    "",
    " Sequential execution:",
    "",
    "   You can specify multiple expressions as command line arguments, they",
    "   will be processed sequentially, and the final result will be printed",
    "   to stdout. E.g.",
    "",
    "     echo 'ABC DEF YES' | @NAME@ 's/ABC[\\s]?/X/' '/(\\w+)\\s(\\w+)/$1=$2/'",
    "                                ( --> XDEF YES)    ( --> XDEF=YES)",
    "",
    " Examples:",
    "",
    "   - Remove tailing spaces of each line:",
    "",
    "     @NAME@ 's/^(.*?)[\\s]+(\\n|$)/$1$2/m'",
    "",
    "   - Extract body from HTML:",
    "",
    "     @NAME@ '|< [\\s]* body .*? > (.*?) <[\\s]* / [\\s]* body |$1|smix1'",
    "",
    "   - Section of an ini-file to json object:",
    "",
    "     @NAME@ '/(.*)/\\n$1\\n/sm' \\",
    "           '/.*? \\n \\[SECTION_NAME\\] [\\s]* (.*?) \\n (\\[|$) /$1/smix1' \\",
    "           's/^([\\w]+) [\\s]* = [\\s]* (.*) ($|\\n)/$1: \"$2\"/imx' \\",
    "           's#\\n#, #imx' \\",
    "           'm|(.*)|{ $1 }|'",
    "",
    " Annotations:",
    "",
    "   - The replace function is global by default, as this is the most often",
    "     used. You can switch it of to replace only one using the modifier `1`.",
    "",
    "   - The match operation (optionally) takes a replace part to rearrange",
    "     the matched string using subexpressions (`m/<pattern>/replace/mods`),",
    "     so that the match operation is practically an extract operation.",
    "",
    "   - Replace returns the input string if no pattern matches, extract an",
    "     empty string if a pattern does not match.",
    "",
    "   - The program always reads the complete text (to memory) before processing.",
    "     Hence, large texts cause a higher memory consumption.",
    "",
    "   - On error the program does not return any text to stdout.",
    "",
    "   - The program understands common escape sequences in the replace text:",
    "     \\n, \\r, \\t, \\v, \\f, \\a, \\b.",
    "",
    "ARGUMENTS",
    "",
    "  -h,  --help     Show this help",
    "",
    "  -v,  --verbose  Increased verbosity (outputs to stderr)",
    "",
    "  -vv, --debug    High verbosity (debug information if compiled with)",
    "",
    "  <pattern>       A perl compatible regex pattern as described above.",
    "",
    "RETURN VALUES",
    "",
    "  returns 0 on success,",
    "          1 on error",
    "",
    "SEE ALSO",
    "",
    "  perlre, pcregrep, grep, egrep, sed, awk, ex",
    "",
    "@NAME@ v@VERSION@, regular expressions by the PCRE library",
};

std::string fill_in(std::string line) {
  const auto replace = [&line](const std::string& token, const char* value) {
    for (auto at = line.find(token); at != std::string::npos; at = line.find(token, at)) {
      line.replace(at, token.size(), value);
    }
  };
  replace("@NAME@", program_name);
  replace("@VERSION@", program_version);
  return line;
}

}  // namespace

void print_help() {
  for (const char* line : help_lines) std::cerr << fill_in(line) << std::endl;
}

}  // namespace textsift
