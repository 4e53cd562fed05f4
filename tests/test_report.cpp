// The report operator on records the run sequence never reports: rejected ones.
#include <gtest/gtest.h>

#include <sstream>

#include "program/expression_list.hpp"
#include "program/report.hpp"

namespace {

TEST(report_operator, shows_a_rejected_record_as_not_ok_and_chains) {
  std::ostringstream out;
  out << "[" << textsift::make_expression("s/a/b/gi") << "]";
  EXPECT_EQ(out.str(),
            "[\n{\n - ok: no\n - pattern: \"s/a/b/gi\"\n - match: \"\"\n - modifiers: \"\",\n"
            "   - not global replace first match (`1`)\n"
            "   - case sensitive matching (no `i`)\n"
            "   - comments/unmatched spaces in pattern not permitted (no `x`)\n"
            "   - Line-by-line (^/$ match start/end of line) (no `m`)\n"
            "   - `.` does not match newlines (no `s`)\n"
            "   - UTF support enabled. (no `U`)\n}\n]");
}

TEST(report_operator, writes_values_raw_including_nul_bytes) {
  std::ostringstream out;
  out << textsift::make_expression("s/\"/\\0\"/");
  const std::string expected = std::string(" - search: \"\"\"\n - replace: \"") + '\0' + "\"\"\n";
  EXPECT_NE(out.str().find(expected), std::string::npos);
}

}  // namespace
