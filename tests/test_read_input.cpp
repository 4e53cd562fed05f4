// Reading the whole input and the size limits of the engine, with a small limit injected.
#include <gtest/gtest.h>
#include <unistd.h>

#include <pthread.h>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

#include <cstring>
#include <string>
#include <thread>

#include "io/read_input.hpp"
#include "messages/messages.hpp"
#include "program/expression_list.hpp"

namespace {

// Reads `data` back through a pipe written from another thread.
std::string through_pipe(const std::string& data, std::size_t max_size) {
  signal(SIGPIPE, SIG_IGN);  // the reader may stop early
  int ends[2];
  if (pipe(ends) != 0) throw std::runtime_error("pipe");
  std::thread writer([&] {
    for (std::size_t done = 0; done < data.size();) {
      const ssize_t put = write(ends[1], data.data() + done, data.size() - done);
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
    }
    close(ends[1]);
  });
  std::string text;
  try {
    text = std::string(textsift::read_all_stdin(ends[0], max_size).view());
  } catch (...) {
    close(ends[0]);  // the writer may be blocked on a full pipe
    writer.join();
    throw;
  }
  close(ends[0]);
  writer.join();
  return text;
}

std::string thrown_message(const std::function<void()>& action) {
  try {
    action();
  } catch (const textsift::failure& failed) {
    return failed.message();
  }
  return "(nothing thrown)";
}

TEST(read_all_stdin, keeps_every_byte_up_to_the_limit) {
  std::string data;
  for (int i = 0; i < 3000000; ++i) data += static_cast<char>(i * 7 % 256);
  EXPECT_TRUE(through_pipe(data, data.size()) == data);
  EXPECT_EQ(through_pipe("", 10), "");
  EXPECT_EQ(through_pipe(std::string("a\0b", 3), 3), std::string("a\0b", 3));
}

TEST(read_all_stdin, stops_as_soon_as_the_limit_is_passed) {
  EXPECT_EQ(thrown_message([] { through_pipe("12345678901", 10); }), "Input larger than 10 bytes");
  // Far more than the limit: the read ends without waiting for the rest.
  EXPECT_EQ(thrown_message([] { through_pipe(std::string(5000000, 'x'), 100); }),
            "Input larger than 100 bytes");
}

// The run's own copy of `text`.
textsift::text_buffer own_copy(std::string_view text) {
  textsift::text_buffer own(text.size());
  std::memcpy(own.data(), text.data(), text.size());
  own.resize(text.size());
  return own;
}

// What apply_and_write writes for `text`.
std::string written(const std::vector<textsift::expression>& list, int first_number,
                    std::string_view text, std::size_t max_size) {
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), std::fclose);
  textsift::text_buffer own = own_copy(text);
  textsift::apply_and_write(list, first_number, own, fileno(file.get()), max_size);
  std::rewind(file.get());
  std::string out;
  for (int c; (c = std::fgetc(file.get())) != EOF;) out += static_cast<char>(c);
  return out;
}

TEST(apply_and_write, refuses_a_text_grown_beyond_the_limit_naming_the_expression) {
  const std::vector<textsift::expression> list = {textsift::make_expression("s/a/aaa/"),
                                                  textsift::make_expression("s/a/b/")};
  EXPECT_EQ(thrown_message([&] { written(list, 2, "aaaa", 4); }),
            "Expression 3: Text larger than 4 bytes");
  EXPECT_EQ(thrown_message([&] { written(list, 1, "aaaaa", 4); }),
            "Expression 1: Text larger than 4 bytes");
  EXPECT_EQ(written(list, 1, "aa", 6), "bbbbbb");
}

// The last replacement of a plain literal is written as it comes, in blocks; nothing is written
// when it fails.
TEST(apply_and_write, streams_a_literal_replacement_and_nothing_on_failure) {
  const std::vector<textsift::expression> list = {textsift::make_expression("s/a/xy/")};
  ASSERT_TRUE(list.back().streams_safely());
  std::string text, expected;
  for (int i = 0; i < 700000; ++i) {
    text += i % 3 ? "a-" : "b\xc3\xa9";
    expected += i % 3 ? "xy-" : "b\xc3\xa9";
  }
  EXPECT_TRUE(written(list, 1, text, text.size()) == expected);
  EXPECT_EQ(written(list, 1, "bcd", 3), "bcd");
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), std::fclose);
  EXPECT_EQ(thrown_message([&] {
              textsift::text_buffer invalid = own_copy(text + "\xff");
              textsift::apply_and_write(list, 1, invalid, fileno(file.get()));
            }),
            "Expression 1: Text is not valid UTF-8 (use the modifier U to match bytes)");
  EXPECT_EQ(std::ftell(file.get()), 0);
  EXPECT_FALSE(textsift::make_expression("s/a+/xy/").streams_safely());
  EXPECT_FALSE(textsift::make_expression("/a/").streams_safely());
}

}  // namespace

namespace {

void ignore_signal(int) {}

TEST(read_all_stdin, wait_and_reads_go_on_after_signals) {
  struct sigaction quiet {};
  quiet.sa_handler = ignore_signal;  // without SA_RESTART: blocking calls fail with EINTR
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &quiet, &previous), 0);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const pthread_t reader = pthread_self();
  std::thread writer([&] {
    const auto interrupt_a_few_times = [reader] {
      for (int i = 0; i < 3; ++i) {
        usleep(30000);
        pthread_kill(reader, SIGUSR1);
      }
    };
    interrupt_a_few_times();  // during the wait
    EXPECT_EQ(write(ends[1], "ab", 2), 2);
    interrupt_a_few_times();  // during a read
    EXPECT_EQ(write(ends[1], "c", 1), 1);
    close(ends[1]);
  });
  std::string text;
  EXPECT_EQ(thrown_message([&] {
              textsift::wait_for_input(ends[0]);
              text = std::string(textsift::read_all_stdin(ends[0], 100).view());
            }),
            "(nothing thrown)");
  writer.join();
  close(ends[0]);
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(text, "abc");
}

}  // namespace
