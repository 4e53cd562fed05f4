// The manual page and the README agree with the program: the page lints clean, its DIAGNOSTICS
// name every error message of the program's catalog, and each example of the page and of the README
// prints what the document shows.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "messages/messages.hpp"
#include "process.hpp"

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs a shell command; returns its standard output (standard error joins it when asked).
std::string shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
  pclose(pipe);
  return out;
}

const fs::path page = fs::path(TEXTSIFT_SOURCE_DIR) / "doc" / "textsift.1";

TEST(man_page, lints_clean) {
  EXPECT_EQ(shell("groff -man -ww -z " + page.string() + " 2>&1"), "");
}

// The fixed parts of every message the program can write after "Error: ".
std::vector<std::string> message_fragments() {
  std::vector<std::string> fragments;
  for (const auto& shape : textsift::messages::catalog()) {
    for (const std::string_view part : shape) fragments.emplace_back(part);
  }
  return fragments;
}

// The text of one section of the rendered page, without line filling in the way.
std::string rendered_section(const std::string& title) {
  const std::string text = shell("groff -man -Tascii -P-cbou -rLL=400n " + page.string());
  const std::size_t begin = text.find("\n" + title + "\n");
  if (begin == std::string::npos) return "";
  const std::string rest = text.substr(begin + title.size() + 2);
  std::smatch heading;
  if (std::regex_search(rest, heading, std::regex("\n[A-Z][A-Z ]+\n"))) {
    return rest.substr(0, heading.position());
  }
  return rest;
}

TEST(man_page, diagnostics_name_every_message_in_the_source) {
  const std::string diagnostics = rendered_section("DIAGNOSTICS");
  const std::vector<std::string> fragments = message_fragments();
  EXPECT_GT(fragments.size(), 20u);
  for (const std::string& fragment : fragments) {
    EXPECT_NE(diagnostics.find(fragment), std::string::npos) << fragment;
  }
}

struct example {
  std::string command;
  std::string output;
};

// The EXAMPLES blocks of the page source: a "$ " command line, continued after a trailing "|" or
// backslash, then the lines it prints.
std::vector<example> examples() {
  const std::string source = read_file(page);
  std::vector<example> found;
  for (std::size_t at = source.find("\n.EX\n"); at != std::string::npos;
       at = source.find("\n.EX\n", at + 1)) {
    const std::size_t begin = at + 5;
    std::string block = source.substr(begin, source.find("\n.EE\n", begin) - begin);
    block = std::regex_replace(block, std::regex(R"(\\e)"), "\\");
    std::istringstream lines(block);
    example current;
    std::string line;
    std::getline(lines, line);
    current.command = line.substr(2);  // after "$ "
    while (!current.command.empty() &&
           (current.command.back() == '|' || current.command.back() == '\\') &&
           std::getline(lines, line)) {
      current.command += "\n" + line;
    }
    for (bool first = true; std::getline(lines, line); first = false) {
      current.output += (first ? "" : "\n") + line;
    }
    found.push_back(current);
  }
  return found;
}

// Runs each example's command with the built binary first on the PATH and standard error joined
// to standard output; expects what the document shows.
void expect_examples_print(const std::vector<example>& all) {
  const std::string path = fs::path(test::binary()).parent_path().string();
  // A pipeline's writer whose reader quit early ends quietly, as in a shell: an earlier test of
  // this process may have left SIGPIPE ignored, which the shells would inherit.
  const auto previous = signal(SIGPIPE, SIG_DFL);
  for (const example& e : all) {
    const std::string out =
        shell("PATH='" + path + "':\"$PATH\" bash -c '" +
              std::regex_replace(e.command, std::regex("'"), "'\\''") + "' 2>&1");
    // A document cannot show whether the last line ends with a line break.
    EXPECT_TRUE(out == e.output || out == e.output + "\n") << e.command << "\nprinted:\n"
                                                           << out << "\ndocument shows:\n"
                                                           << e.output;
  }
  signal(SIGPIPE, previous);
}

TEST(man_page, examples_print_what_the_page_shows) {
  const std::vector<example> all = examples();
  EXPECT_GE(all.size(), 5u);
  expect_examples_print(all);
}

// The README's sh blocks: a "$ " command line, continued after a trailing "|" or backslash, then
// what it prints: the lines up to the next command or the block's end, or the text after "  # "
// on the command line itself.
std::vector<example> readme_examples() {
  std::istringstream lines(read_file(fs::path(TEXTSIFT_SOURCE_DIR) / "README.md"));
  std::vector<example> found;
  std::vector<std::string> shown;  // the lines printed by the last command
  const auto finish = [&] {
    for (std::size_t i = 0; i < shown.size(); ++i) {
      found.back().output += (i == 0 ? "" : "\n") + shown[i];
    }
    shown.clear();
  };
  bool in_block = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("```", 0) == 0) {
      if (!found.empty()) finish();
      in_block = !in_block && line == "```sh";
    } else if (in_block && line.rfind("$ ", 0) == 0) {
      if (!found.empty()) finish();
      example current{line.substr(2), ""};
      while ((current.command.back() == '|' || current.command.back() == '\\') &&
             std::getline(lines, line)) {
        current.command += "\n" + line;
      }
      const std::size_t comment = current.command.rfind("  # ");
      if (comment != std::string::npos) {
        current.output = current.command.substr(comment + 4);
        current.command.erase(current.command.find_last_not_of(' ', comment) + 1);
      }
      found.push_back(current);
    } else if (in_block && !found.empty() && found.back().output.empty()) {
      shown.push_back(line);
    }
  }
  return found;
}

TEST(readme, examples_print_what_the_readme_shows) {
  const std::vector<example> all = readme_examples();
  EXPECT_GE(all.size(), 20u);
  expect_examples_print(all);
}

}  // namespace
