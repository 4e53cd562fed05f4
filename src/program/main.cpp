// textsift: applies regular-expression expressions to standard input, one after the other, and
// writes the result to standard output.
#include <csignal>
#include <iostream>
#include <new>
#include <string>

#include "messages/messages.hpp"
#include "program/run.hpp"

namespace {

// The one place where a run's failure is reported.
int report_failure(const std::string& message) {
  std::cerr << "Error: " << message << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  // A reader that goes away early (`| head`) ends us quietly, as it ends any filter, even when
  // the parent left SIGPIPE ignored.
  std::signal(SIGPIPE, SIG_DFL);
  try {
    return textsift::run(argc, argv);
  } catch (const textsift::failure& failed) {
    return report_failure(failed.message());
  } catch (const std::bad_alloc&) {
    return report_failure(textsift::messages::fill(textsift::messages::out_of_memory));
  }
}
