// textsift: applies regular-expression expressions to standard input, one after the other, and
// writes the result to standard output.
#include <iostream>
#include <string>

#include "run.hpp"

namespace {

// The one place where a run's failure is reported.
int report_failure(const std::string& message) {
  std::cerr << "Error: " << message << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  try {
    return textsift::run(argc, argv);
  } catch (const char* message) {
    return report_failure(message);
  } catch (const std::string& message) {
    return report_failure(message);
  }
}
