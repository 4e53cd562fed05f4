// Our UTF-8 check must agree with the engine's, since matching skips the engine's own check
// once ours has passed: every short sequence, at every position relative to a 16-byte block, at
// every vector width this machine runs.
#include <gtest/gtest.h>
#include <pcre.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "search/utf8.hpp"
#include "search/utf8_check.hpp"

namespace {

class engine_check {
 public:
  engine_check() {
    const char* error = nullptr;
    int offset = 0;
    code_ = pcre_compile("", PCRE_UTF8, &error, &offset, nullptr);
  }
  ~engine_check() { pcre_free(code_); }
  bool valid(const std::string& text) const {
    int ovector[3];
    const int status =
        pcre_exec(code_, nullptr, text.data(), static_cast<int>(text.size()), 0, 0, ovector, 3);
    return status != PCRE_ERROR_BADUTF8;
  }

 private:
  pcre* code_ = nullptr;
};

using textsift::search::vector_width;

// Every width this machine runs the check at, the widest (the one production takes) last.
const std::vector<vector_width> widths = textsift::search::widths_here();

// Compares our checks with the engine's for `sequence` placed so that it starts at several
// offsets around a 16-, a 32- and a 64-byte block boundary, at the end of the text or followed by
// more than a block of ASCII.
void expect_agreement(const engine_check& engine, const std::string& sequence) {
  for (const std::size_t before : {0, 13, 14, 15, 29, 30, 31, 61, 62, 63}) {
    for (const std::size_t after : {0, 65}) {
      const std::string text = std::string(before, 'a') + sequence + std::string(after, 'z');
      const bool expected = engine.valid(text);
      for (const vector_width width : widths) {
        ASSERT_EQ(textsift::search::valid_utf8(text.data(), text.size(), width), expected)
            << textsift::search::width_name(width) << " " << testing::PrintToString(text);
      }
    }
  }
}

const unsigned char tails[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F,
                               0xA0, 0xBF, 0xC0, 0xC2, 0xE0, 0xF0, 0xFF};

TEST(valid_utf8, agrees_with_the_engine_on_every_one_and_two_byte_sequence) {
  const engine_check engine;
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      expect_agreement(engine, {static_cast<char>(first), static_cast<char>(second)});
    }
  }
}

TEST(valid_utf8, agrees_with_the_engine_on_three_and_four_byte_sequences) {
  const engine_check engine;
  for (int lead = 0xC0; lead < 256; ++lead) {
    for (int second = 0; second < 256; ++second) {
      for (const unsigned char third : tails) {
        const std::string three = {static_cast<char>(lead), static_cast<char>(second),
                                   static_cast<char>(third)};
        expect_agreement(engine, three);
        if (lead < 0xF0) continue;
        for (const unsigned char fourth : tails) {
          expect_agreement(engine, three + static_cast<char>(fourth));
        }
      }
    }
  }
}

TEST(valid_utf8, agrees_with_the_engine_on_long_mixed_texts) {
  const engine_check engine;
  const char* const pieces[] = {"a",
                                "0123456789abcdef",
                                "\xc3\xa9",
                                "\xe2\x82\xac",
                                "\xf0\x9f\x98\x80",
                                "\xed\x9f\xbf",
                                "\xf4\x8f\xbf\xbf"};
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    for (int n = random() % 40; n > 0; --n) text += pieces[random() % 7];
    if (round % 2 == 1 && !text.empty()) text[random() % text.size()] ^= 1 << (random() % 8);
    for (const vector_width width : widths) {
      ASSERT_EQ(textsift::search::valid_utf8(text.data(), text.size(), width), engine.valid(text))
          << textsift::search::width_name(width) << " " << testing::PrintToString(text);
    }
    // The same text cut in the middle, its second half checked on a thread of its own.
    for (const vector_width width : widths) {
      ASSERT_EQ(textsift::search::utf8_check(text, 1, width).valid(), engine.valid(text))
          << "split " << testing::PrintToString(text);
    }
    // The same text as it arrives in blocks of 1 to 8 bytes, in two parts read side by side.
    const std::size_t middle = text.size() / 2;
    textsift::search::utf8_running_check first, second(middle, true);
    for (std::size_t at = 0; at < middle;) {
      at = std::min(middle, at + 1 + random() % 8);
      first.advance(text.data(), at);
    }
    for (std::size_t at = middle; at < text.size();) {
      at = std::min(text.size(), at + 1 + random() % 8);
      second.advance(text.data(), at);
    }
    second.finish(text.data(), text.size());
    first.finish(text.data(), second.begin());
    ASSERT_EQ(first.valid() && second.valid(), engine.valid(text))
        << "blocks " << testing::PrintToString(text);
  }
}

// The cut falls inside runs of one to five continuation bytes, valid or not.
TEST(utf8_check, agrees_with_the_engine_where_the_middle_continues_a_sequence) {
  const engine_check engine;
  for (const char* middle : {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80\x80",
                             "\x80\x80\x80\x80", "\xc3\xa9\xa9"}) {
    for (std::size_t before = 60; before < 68; ++before) {
      const std::string text = std::string(before, 'a') + middle + std::string(64, 'z');
      for (const vector_width width : widths) {
        EXPECT_EQ(textsift::search::utf8_check(text, 1, width).valid(), engine.valid(text))
            << textsift::search::width_name(width) << " " << testing::PrintToString(text);
      }
    }
  }
}

}  // namespace
