#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/text.h"

namespace klavix::text {
namespace {

using namespace std::string_view_literals;

struct DecodeCase {
  const char* name;
  std::string_view bytes;
  char32_t cp;  // expected code point of the first step
  int length;   // expected length of the first step
  bool valid;
};

constexpr char32_t bad = replacement_char;

const DecodeCase decode_cases[] = {
    // Well-formed, at the edges of each length.
    {"nul", "\0"sv, 0x00, 1, true},
    {"ascii", "A", U'A', 1, true},
    {"last one-byte", "\x7F", 0x7F, 1, true},
    {"first two-byte", "\xC2\x80", 0x80, 2, true},
    {"cyrillic ya", "я", 0x44F, 2, true},
    {"cyrillic yo", "Ё", 0x401, 2, true},
    {"last two-byte", "\xDF\xBF", 0x7FF, 2, true},
    {"first three-byte", "\xE0\xA0\x80", 0x800, 3, true},
    {"before surrogates", "\xED\x9F\xBF", 0xD7FF, 3, true},
    {"after surrogates", "\xEE\x80\x80", 0xE000, 3, true},
    {"bom", "\xEF\xBB\xBF", 0xFEFF, 3, true},
    {"last three-byte", "\xEF\xBF\xBF", 0xFFFF, 3, true},
    {"first four-byte", "\xF0\x90\x80\x80", 0x10000, 4, true},
    {"deseret", "\xF0\x90\x90\x80", 0x10400, 4, true},
    {"emoji", "\xF0\x9F\x98\x80", 0x1F600, 4, true},
    {"last code point", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4, true},
    {"followed by more", "жx", 0x436, 2, true},
    // Overlong forms.
    {"overlong nul C0", "\xC0\x80", bad, 1, false},
    {"overlong slash C1", "\xC1\xAF", bad, 1, false},
    {"overlong three-byte", "\xE0\x9F\xBF", bad, 1, false},
    {"overlong three-byte nul", "\xE0\x80\x80", bad, 1, false},
    {"overlong four-byte", "\xF0\x8F\xBF\xBF", bad, 1, false},
    // Surrogates D800-DFFF encoded directly.
    {"high surrogate D800", "\xED\xA0\x80", bad, 1, false},
    {"high surrogate DBFF", "\xED\xAF\xBF", bad, 1, false},
    {"low surrogate DC00", "\xED\xB0\x80", bad, 1, false},
    {"low surrogate DFFF", "\xED\xBF\xBF", bad, 1, false},
    // Above U+10FFFF and bytes that never start anything.
    {"110000", "\xF4\x90\x80\x80", bad, 1, false},
    {"F5 lead", "\xF5\x80\x80\x80", bad, 1, false},
    {"F8 lead", "\xF8\x88\x80\x80\x80", bad, 1, false},
    {"FE", "\xFE", bad, 1, false},
    {"FF", "\xFF", bad, 1, false},
    // Truncated sequences: at the end of the input and before another character.
    {"two-byte cut", "\xD0", bad, 1, false},
    {"three-byte cut after 1", "\xE2", bad, 1, false},
    {"three-byte cut after 2", "\xE2\x82", bad, 1, false},
    {"four-byte cut after 3", "\xF0\x9F\x98", bad, 1, false},
    {"two-byte then ascii", "\xD0" "A", bad, 1, false},
    {"three-byte then ascii", "\xE2\x82" "A", bad, 1, false},
    {"four-byte then new lead", "\xF0\x9F\x98\xF0\x9F\x98\x80", bad, 1, false},
    // Stray continuation bytes.
    {"stray 80", "\x80", bad, 1, false},
    {"stray BF", "\xBF", bad, 1, false},
    {"stray before a letter", "\x80\xD0\xB0", bad, 1, false},
};

TEST(DecodeUtf8At, FirstStepOfEachForm) {
  for (const DecodeCase& c : decode_cases) {
    SCOPED_TRACE(c.name);
    const Utf8Step step = decode_utf8_at(c.bytes, 0);
    EXPECT_EQ(step.cp, c.cp);
    EXPECT_EQ(step.length, c.length);
    EXPECT_EQ(step.valid, c.valid);
  }
}

TEST(DecodeUtf8At, NeverLooksPastTheView) {
  // The bytes after the view's end complete the sequence; the decoder must not use them.
  const std::string whole = "x\xD0\xB0\xE2\x82\xAC\xF0\x9F\x98\x80";
  struct Cut {
    std::size_t pos;
    std::size_t size;
  };
  const Cut cuts[] = {{1, 2}, {3, 4}, {3, 5}, {6, 7}, {6, 8}, {6, 9}};
  for (const Cut& c : cuts) {
    SCOPED_TRACE(testing::Message() << "pos " << c.pos << " size " << c.size);
    const Utf8Step step = decode_utf8_at(std::string_view(whole).substr(0, c.size), c.pos);
    EXPECT_FALSE(step.valid);
    EXPECT_EQ(step.length, 1);
  }
}

TEST(DecodeUtf8At, DecodesInTheMiddle) {
  const std::string_view s = "aж€😀";
  const char32_t expected[] = {U'a', 0x436, 0x20AC, 0x1F600};
  std::size_t pos = 0;
  for (char32_t cp : expected) {
    ASSERT_LT(pos, s.size());
    const Utf8Step step = decode_utf8_at(s, pos);
    EXPECT_TRUE(step.valid);
    EXPECT_EQ(step.cp, cp);
    pos += step.length;
  }
  EXPECT_EQ(pos, s.size());
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
TEST(DecodeUtf8AtDeathTest, PositionAtOrPastTheEndIsFatal) {
  EXPECT_DEATH(decode_utf8_at("", 0), "position outside");
  EXPECT_DEATH(decode_utf8_at("ab", 2), "position outside");
}
#endif

struct ValidityCase {
  const char* name;
  std::string_view bytes;
  bool valid;
  std::size_t code_points;  // count_code_points, invalid bytes counted one each
};

const ValidityCase validity_cases[] = {
    {"empty", "", true, 0},
    {"ascii", "hello, world", true, 12},
    {"russian", "привет", true, 6},
    {"mixed lengths", "aж€😀", true, 4},
    {"embedded nul", "a\0b"sv, true, 3},
    {"bom is a character", "\xEF\xBB\xBFx", true, 2},
    {"invalid at start", "\xFFпривет", false, 7},
    {"invalid in the middle", "при\x80вет", false, 7},
    {"truncated at the end", "привет\xD0", false, 7},
    {"truncated four-byte at the end", "ok\xF0\x9F\x98", false, 5},
    {"surrogate inside", "a\xED\xA0\x80z", false, 5},
    {"overlong inside", "a\xC0\xAFz", false, 4},
    {"above 10FFFF", "\xF4\x90\x80\x80", false, 4},
    {"only continuations", "\x80\x80\x80", false, 3},
};

TEST(Utf8Validity, ValidateDecodeAndCount) {
  for (const ValidityCase& c : validity_cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid);
    const auto decoded = decode_utf8(c.bytes);
    EXPECT_EQ(decoded.has_value(), c.valid);
    if (decoded) {
      EXPECT_EQ(decoded->size(), c.code_points);
      EXPECT_EQ(encode_utf8(*decoded), c.bytes);
    }
    EXPECT_EQ(count_code_points(c.bytes), c.code_points);
  }
}

TEST(Utf8Validity, DecodeGivesTheCodePoints) {
  EXPECT_EQ(decode_utf8("Ёж 😀"), std::u32string(U"Ёж 😀"));
  EXPECT_EQ(decode_utf8(""), std::u32string());
}

// Every sequence of two and three bytes with no ASCII byte: exactly the shortest forms of the
// code points of that length are valid, and each decodes and encodes back to itself.
TEST(Utf8Validity, ExhaustiveTwoAndThreeByteSequences) {
  std::size_t valid2 = 0;
  for (int a = 0x80; a < 0x100; ++a) {
    for (int b = 0x80; b < 0x100; ++b) {
      const char bytes[] = {static_cast<char>(a), static_cast<char>(b)};
      const std::string_view s(bytes, 2);
      const Utf8Step step = decode_utf8_at(s, 0);
      if (step.valid) {
        ++valid2;
        ASSERT_EQ(step.length, 2);
        ASSERT_EQ(encode_utf8(std::u32string(1, step.cp)), s);
      } else {
        ASSERT_EQ(step.length, 1);
        ASSERT_FALSE(is_valid_utf8(s));
      }
    }
  }
  EXPECT_EQ(valid2, 0x800u - 0x80u);

  std::size_t valid3 = 0;
  for (int a = 0xE0; a < 0x100; ++a) {
    for (int b = 0x80; b < 0x100; ++b) {
      for (int c = 0x80; c < 0x100; ++c) {
        const char bytes[] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
        const std::string_view s(bytes, 3);
        const Utf8Step step = decode_utf8_at(s, 0);
        if (step.valid && step.length == 3) {
          ++valid3;
          ASSERT_EQ(encode_utf8(std::u32string(1, step.cp)), s);
        } else {
          ASSERT_FALSE(is_valid_utf8(s));
        }
      }
    }
  }
  // U+0800..U+FFFF without the 2048 surrogates.
  EXPECT_EQ(valid3, 0x10000u - 0x800u - 0x800u);
}

struct EncodeCase {
  char32_t cp;
  std::string_view bytes;
};

const EncodeCase encode_cases[] = {
    {0x00, "\0"sv},
    {U'z', "z"},
    {0x7F, "\x7F"},
    {0x80, "\xC2\x80"},
    {0x451, "ё"},
    {0x7FF, "\xDF\xBF"},
    {0x800, "\xE0\xA0\x80"},
    {0xFFFD, "\xEF\xBF\xBD"},
    {0xFFFF, "\xEF\xBF\xBF"},
    {0x10000, "\xF0\x90\x80\x80"},
    {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    // No UTF-8 form: surrogates and values past the last code point become U+FFFD.
    {0xD800, "\xEF\xBF\xBD"},
    {0xDFFF, "\xEF\xBF\xBD"},
    {0x110000, "\xEF\xBF\xBD"},
    {0xFFFFFFFF, "\xEF\xBF\xBD"},
};

TEST(EncodeUtf8, EachLengthAndTheUnencodable) {
  for (const EncodeCase& c : encode_cases) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<std::uint32_t>(c.cp));
    std::string out = "<";
    append_utf8(out, c.cp);
    EXPECT_EQ(out, std::string("<").append(c.bytes));
    EXPECT_EQ(encode_utf8(std::u32string(1, c.cp)), c.bytes);
  }
  EXPECT_EQ(encode_utf8(U""), "");
}

TEST(EncodeUtf8, EveryScalarValueRoundTrips) {
  std::u32string all;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp < 0xD800 || cp > 0xDFFF) all.push_back(cp);
  }
  const std::string bytes = encode_utf8(all);
  ASSERT_TRUE(is_valid_utf8(bytes));
  EXPECT_EQ(count_code_points(bytes), all.size());
  const auto back = decode_utf8(bytes);
  ASSERT_TRUE(back.has_value());
  EXPECT_TRUE(*back == all);
}

}  // namespace
}  // namespace klavix::text
