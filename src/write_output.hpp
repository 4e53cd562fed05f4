// Writing the result.
#pragma once

#include <string_view>

namespace textsift {

// Writes all of `text` to `fd`. Throws "Failed to write to stdout" when a write fails.
void write_all_stdout(int fd, std::string_view text);

}  // namespace textsift
