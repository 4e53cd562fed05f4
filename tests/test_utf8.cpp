// Our UTF-8 check must agree with the engine's, since matching skips the engine's own check
// once ours has passed: every short sequence, at every position relative to a 16-byte block.
#include <gtest/gtest.h>
#include <pcre.h>

#include <random>
#include <string>

#include "templates/utf8.hpp"

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

// Compares both of our checks with the engine's for `sequence` placed so that it starts at
// several offsets around a block boundary, at the end of the text or followed by ASCII.
void expect_agreement(const engine_check& engine, const std::string& sequence) {
  for (const std::size_t before : {0, 13, 14, 15}) {
    for (const char* after : {"", "z"}) {
      const std::string text = std::string(before, 'a') + sequence + after;
      const bool expected = engine.valid(text);
      ASSERT_EQ(templates::valid_utf8(text.data(), text.size()), expected)
          << testing::PrintToString(text);
      ASSERT_EQ(templates::valid_utf8_scalar(text.data(), text.size()), expected)
          << testing::PrintToString(text);
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
    ASSERT_EQ(templates::valid_utf8(text.data(), text.size()), engine.valid(text))
        << testing::PrintToString(text);
  }
}

}  // namespace
