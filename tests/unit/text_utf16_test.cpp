#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/text.h"

namespace klavix::text {
namespace {

using namespace std::string_view_literals;

// UTF-8 to UTF-16: every valid text, and invalid bytes one U+FFFD each.
struct ToUtf16Case {
  const char* name;
  std::string_view utf8;
  std::u16string_view utf16;
};

const ToUtf16Case to_utf16_cases[] = {
    {"empty", "", u""},
    {"ascii", "Pause", u"Pause"},
    {"russian", "Выход", u"Выход"},
    {"three-byte", "€", u"\u20AC"},
    {"last BMP", "\xEF\xBF\xBF", u"\uFFFF"},
    {"first astral as a pair", "\xF0\x90\x80\x80", u"\xD800\xDC00"sv},
    {"deseret as a pair", "\xF0\x90\x90\x80", u"\xD801\xDC00"sv},
    {"last code point as a pair", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"sv},
    {"mixed", "a😀я", u"a\xD83D\xDE00я"sv},
    {"invalid byte", "a\xFFz", u"a\uFFFDz"},
    {"truncated at the end", "я\xD1", u"я\uFFFD"},
    {"each byte of a bad sequence", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
};

TEST(ToUtf16, Conversions) {
  for (const ToUtf16Case& c : to_utf16_cases) {
    SCOPED_TRACE(c.name);
    const std::u16string out = to_utf16(c.utf8);
    EXPECT_TRUE(out == c.utf16);
    // What a W function gets: the text, then the terminating zero.
    EXPECT_EQ(out.c_str()[out.size()], u'\0');
  }
}

// UTF-16 to UTF-8: pairs joined, any surrogate that is not part of a pair one U+FFFD.
struct FromUtf16Case {
  const char* name;
  std::u16string_view utf16;
  std::string_view utf8;
};

const FromUtf16Case from_utf16_cases[] = {
    {"empty", u"", ""},
    {"ascii", u"Klavix", "Klavix"},
    {"russian", u"Перечитать настройки", "Перечитать настройки"},
    {"embedded zero kept", u"a\0b"sv, "a\0b"sv},
    {"pair", u"\xD83D\xDE00"sv, "😀"},
    {"lowest pair", u"\xD800\xDC00"sv, "\xF0\x90\x80\x80"},
    {"highest pair", u"\xDBFF\xDFFF"sv, "\xF4\x8F\xBF\xBF"},
    {"lone high at end", u"a\xD83D"sv, "a\uFFFD"},
    {"lone high before text", u"\xD83Dz"sv, "\uFFFDz"},
    {"lone low", u"\xDE00z"sv, "\uFFFDz"},
    {"low then high is no pair", u"\xDE00\xD83D"sv, "\uFFFD\uFFFD"},
    {"two highs then low", u"\xD83D\xD83D\xDE00"sv, "\uFFFD😀"},
    {"high then zero", u"\xD83D\0x"sv, "\uFFFD\0x"sv},
    {"U+FFFF is not a surrogate", u"\uFFFF", "\xEF\xBF\xBF"},
};

TEST(FromUtf16, Conversions) {
  for (const FromUtf16Case& c : from_utf16_cases) {
    SCOPED_TRACE(c.name);
    const std::string out = from_utf16(c.utf16);
    EXPECT_EQ(out, c.utf8);
    EXPECT_TRUE(is_valid_utf8(out));
  }
}

TEST(FromUtf16, RoundTripOfEveryScalarValue) {
  std::u32string all;
  for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
    if (cp < 0xD800 || cp > 0xDFFF) all.push_back(cp);
  }
  const std::string utf8 = encode_utf8(all);
  const std::u16string utf16 = to_utf16(utf8);
  EXPECT_EQ(utf16.size(), all.size() + (0x110000 - 0x10000));  // astral ones take two units
  EXPECT_TRUE(from_utf16(utf16) == utf8);
}

// A buffer filled by a W function: read up to the first zero unit, never past max_units.
struct FromUtf16ZCase {
  const char* name;
  std::u16string_view buffer;  // the whole buffer, possibly without a zero
  std::size_t max_units;
  std::string_view utf8;
};

const FromUtf16ZCase from_utf16_z_cases[] = {
    {"zero first", u"\0abc"sv, 4, ""},
    {"stops at zero", u"abc\0def"sv, 7, "abc"},
    {"stops at the first of two zeros", u"ab\0c\0"sv, 5, "ab"},
    {"no zero, whole buffer", u"Выход"sv, 5, "Выход"},
    {"max before zero", u"abcdef\0"sv, 3, "abc"},
    {"max zero", u"abc"sv, 0, ""},
    {"max exactly at zero", u"abc\0"sv, 3, "abc"},
    {"pair kept whole", u"x\xD83D\xDE00\0"sv, 4, "x😀"},
    {"max cuts a pair", u"x\xD83D\xDE00"sv, 2, "x\uFFFD"},
    {"zero after high", u"x\xD83D\0\xDE00"sv, 4, "x\uFFFD"},
    {"lone low", u"\xDC00\0"sv, 2, "\uFFFD"},
};

TEST(FromUtf16Z, StopsAtZeroOrLimit) {
  for (const FromUtf16ZCase& c : from_utf16_z_cases) {
    SCOPED_TRACE(c.name);
    ASSERT_LE(c.max_units, c.buffer.size());
    // A copy of exactly the buffer, so that reading past it shows under AddressSanitizer.
    const std::u16string copy(c.buffer);
    auto* exact = new char16_t[copy.size() == 0 ? 1 : copy.size()];
    std::copy(copy.begin(), copy.end(), exact);
    EXPECT_EQ(from_utf16_z(exact, c.max_units), c.utf8);
    delete[] exact;
  }
}

TEST(FromUtf16Z, NullPointerIsEmpty) {
  EXPECT_EQ(from_utf16_z(nullptr, 0), "");
  EXPECT_EQ(from_utf16_z(nullptr, 100), "");
}

}  // namespace
}  // namespace klavix::text
