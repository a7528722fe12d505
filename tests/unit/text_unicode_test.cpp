#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/text.h"

namespace klavix::text {
namespace {

using namespace std::string_view_literals;

struct PropertyCase {
  char32_t cp;
  const char* what;
  bool alphabetic;
  bool lowercase;
  bool uppercase;
  bool white_space;
};

const PropertyCase property_cases[] = {
    // ASCII
    {U'A', "A", true, false, true, false},
    {U'Z', "Z", true, false, true, false},
    {U'a', "a", true, true, false, false},
    {U'z', "z", true, true, false, false},
    {U'@', "@ before A", false, false, false, false},
    {U'[', "[ after Z", false, false, false, false},
    {U'`', "` before a", false, false, false, false},
    {U'{', "{ after z", false, false, false, false},
    {U'0', "digit zero", false, false, false, false},
    {U'9', "digit nine", false, false, false, false},
    {U'_', "underscore", false, false, false, false},
    {0x00, "nul", false, false, false, false},
    {U' ', "space", false, false, false, true},
    {U'\t', "tab", false, false, false, true},
    {U'\n', "line feed", false, false, false, true},
    {0x0B, "vertical tab", false, false, false, true},
    {0x0C, "form feed", false, false, false, true},
    {U'\r', "carriage return", false, false, false, true},
    {0x1F, "unit separator", false, false, false, false},
    {0x7F, "delete", false, false, false, false},
    // Latin-1
    {0x85, "next line", false, false, false, true},
    {0xA0, "no-break space", false, false, false, true},
    {0xAA, "feminine ordinal", true, true, false, false},
    {0xBA, "masculine ordinal", true, true, false, false},
    {0xB5, "micro sign", true, true, false, false},
    {0xC0, "A grave", true, false, true, false},
    {0xD7, "multiplication sign", false, false, false, false},
    {0xDF, "sharp s", true, true, false, false},
    {0xF7, "division sign", false, false, false, false},
    {0xFF, "y diaeresis", true, true, false, false},
    // Cyrillic
    {0x401, "Ё", true, false, true, false},
    {0x451, "ё", true, true, false, false},
    {0x410, "А", true, false, true, false},
    {0x42F, "Я", true, false, true, false},
    {0x430, "а", true, true, false, false},
    {0x44F, "я", true, true, false, false},
    {0x482, "thousands sign", false, false, false, false},
    {0x483, "combining titlo", false, false, false, false},
    {0x4C0, "palochka", true, false, true, false},
    // Greek
    {0x391, "Alpha", true, false, true, false},
    {0x3C9, "omega", true, true, false, false},
    {0x3C2, "final sigma", true, true, false, false},
    {0x37E, "Greek question mark", false, false, false, false},
    // Combining marks
    {0x301, "combining acute", false, false, false, false},
    {0x345, "combining ypogegrammeni", true, true, false, false},
    {0x5B0, "Hebrew sheva", true, false, false, false},
    // Titlecase digraph: a letter that is neither lower nor upper case
    {0x1C5, "Dž", true, false, false, false},
    // Where the bitmap hands over to the ranges
    {0x7FA, "NKo lajanyalan", true, false, false, false},
    {0x7FF, "NKo taman sign", false, false, false, false},
    {0x800, "Samaritan alaf", true, false, false, false},
    // Other scripts and symbols
    {0x10D0, "Georgian an", true, true, false, false},
    {0x1C90, "Georgian Mtavruli an", true, false, true, false},
    {0x13A0, "Cherokee a", true, false, true, false},
    {0x3042, "hiragana a", true, false, false, false},
    {0x4E2D, "CJK ideograph", true, false, false, false},
    {0x9FFF, "last CJK ideograph", true, false, false, false},
    {0x660, "Arabic-Indic zero", false, false, false, false},
    {0xFF10, "fullwidth zero", false, false, false, false},
    {0xFF21, "fullwidth A", true, false, true, false},
    {0x2160, "Roman numeral one", true, false, true, false},
    {0x2170, "small Roman numeral one", true, true, false, false},
    {0x24B6, "circled A", true, false, true, false},
    {0x20AC, "euro sign", false, false, false, false},
    // White space and its look-alikes
    {0x1680, "ogham space", false, false, false, true},
    {0x2000, "en quad", false, false, false, true},
    {0x200A, "hair space", false, false, false, true},
    {0x200B, "zero width space", false, false, false, false},
    {0x2028, "line separator", false, false, false, true},
    {0x2029, "paragraph separator", false, false, false, true},
    {0x202F, "narrow no-break space", false, false, false, true},
    {0x205F, "math space", false, false, false, true},
    {0x3000, "ideographic space", false, false, false, true},
    {0x180E, "Mongolian vowel separator", false, false, false, false},
    {0xFEFF, "byte order mark", false, false, false, false},
    // Astral
    {0x10400, "Deseret capital long I", true, false, true, false},
    {0x10428, "Deseret small long I", true, true, false, false},
    {0x1D400, "math bold A", true, false, true, false},
    {0x1F600, "emoji", false, false, false, false},
    {0x20000, "CJK extension B", true, false, false, false},
    // Not characters
    {0xD800, "high surrogate", false, false, false, false},
    {0xDFFF, "low surrogate", false, false, false, false},
    {0xFFFF, "noncharacter", false, false, false, false},
    {0x10FFFF, "last code point", false, false, false, false},
    {0x110000, "past the last code point", false, false, false, false},
    {0xFFFFFFFF, "largest value", false, false, false, false},
};

TEST(UnicodeProperties, Samples) {
  for (const PropertyCase& c : property_cases) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<std::uint32_t>(c.cp)
                                    << " " << c.what);
    EXPECT_EQ(is_alphabetic(c.cp), c.alphabetic);
    EXPECT_EQ(is_lowercase(c.cp), c.lowercase);
    EXPECT_EQ(is_uppercase(c.cp), c.uppercase);
    EXPECT_EQ(is_white_space(c.cp), c.white_space);
  }
}

struct CaseCase {
  const char* name;
  std::string_view text;
  std::string_view lower;
  std::string_view upper;
};

const CaseCase case_cases[] = {
    {"empty", "", "", ""},
    {"ascii", "Hello, World 42!", "hello, world 42!", "HELLO, WORLD 42!"},
    {"ascii edges", "@AZ[`az{", "@az[`az{", "@AZ[`AZ{"},
    {"russian", "Привет, Мир", "привет, мир", "ПРИВЕТ, МИР"},
    {"yo", "Ёлка ёж", "ёлка ёж", "ЁЛКА ЁЖ"},
    {"whole Russian alphabet", "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ",
     "абвгдежзийклмнопрстуфхцчшщъыьэюя", "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"},
    {"Ukrainian and Belarusian", "ЇЄІЎҐ їєіўґ", "їєіўґ їєіўґ", "ЇЄІЎҐ ЇЄІЎҐ"},
    {"Latin-1", "ÀÉÎÕÜÝÞ àéîõüýþ", "àéîõüýþ àéîõüýþ", "ÀÉÎÕÜÝÞ ÀÉÎÕÜÝÞ"},
    {"y diaeresis leaves Latin-1", "ÿŸ", "ÿÿ", "ŸŸ"},
    {"micro sign", "µ", "µ", "Μ"},
    // Multi-character results of SpecialCasing
    {"sharp s", "ß", "ß", "SS"},
    {"sharp s in a word", "Straße", "straße", "STRASSE"},
    {"capital sharp s", "ẞ", "ß", "ẞ"},
    {"I with dot above", "İ", "i\u0307", "İ"},
    {"n preceded by apostrophe", "ŉ", "ŉ", "\u02BCN"},
    {"fi ligature", "ﬁ", "ﬁ", "FI"},
    {"ffl ligature", "ﬄ", "ﬄ", "FFL"},
    {"Armenian ech yiwn", "\u0587", "\u0587", "\u0535\u0552"},
    {"iota dialytika tonos", "\u0390", "\u0390", "\u0399\u0308\u0301"},
    {"j caron", "\u01F0", "\u01F0", "J\u030C"},
    {"alpha ypogegrammeni", "\u1FB3", "\u1FB3", "\u0391\u0399"},
    {"alpha prosgegrammeni", "\u1FBC", "\u1FB3", "\u0391\u0399"},
    {"titlecase with psili", "\u1F88", "\u1F80", "\u1F08\u0399"},
    // Sigma: the final form is context dependent, so it is not applied
    {"sigma", "Σ", "σ", "Σ"},
    {"final sigma", "ς", "ς", "Σ"},
    {"sigma at word end", "ΟΔΟΣ", "οδοσ", "ΟΔΟΣ"},
    {"Greek", "Ελληνικά", "ελληνικά", "ΕΛΛΗΝΙΚΆ"},
    // Titlecase digraphs map both ways
    {"DŽ", "\u01C4", "\u01C6", "\u01C4"},
    {"Dž", "\u01C5", "\u01C6", "\u01C4"},
    {"dž", "\u01C6", "\u01C6", "\u01C4"},
    // One-way mappings and large distances
    {"dotless i", "ı", "ı", "I"},
    {"long s", "ſ", "ſ", "S"},
    {"Kelvin sign", "\u212A", "k", "\u212A"},
    {"Ohm sign", "\u2126", "ω", "\u2126"},
    {"turned a", "\u0250", "\u0250", "\u2C6F"},
    {"small capital I", "\u026A", "\u026A", "\uA7AE"},
    {"Georgian", "\u10D0", "\u10D0", "\u1C90"},
    {"Georgian Mtavruli", "\u1C90", "\u10D0", "\u1C90"},
    {"Cherokee", "\u13A0\uAB70", "\uAB70\uAB70", "\u13A0\u13A0"},
    {"Roman numeral", "\u2160\u2170", "\u2170\u2170", "\u2160\u2160"},
    {"circled letter", "\u24B6\u24D0", "\u24D0\u24D0", "\u24B6\u24B6"},
    {"fullwidth", "ＡＢｃ", "ａｂｃ", "ＡＢＣ"},
    {"Deseret", "\U00010400\U00010428", "\U00010428\U00010428", "\U00010400\U00010400"},
    {"Adlam", "\U0001E900\U0001E922", "\U0001E922\U0001E922", "\U0001E900\U0001E900"},
    // No mapping: unchanged
    {"digits and punctuation", "0123 !?.,;", "0123 !?.,;", "0123 !?.,;"},
    {"CJK and kana", "中文かな", "中文かな", "中文かな"},
    {"symbols", "€№©", "€№©", "€№©"},
    {"combining mark kept", "e\u0301", "e\u0301", "E\u0301"},
    {"emoji", "😀", "😀", "😀"},
    {"feminine ordinal", "ª", "ª", "ª"},
    // Invalid bytes: one U+FFFD each, the rest still mapped
    {"invalid byte", "A\xFFZ", "a\uFFFDz", "A\uFFFDZ"},
    {"truncated", "Я\xD0", "я\uFFFD", "Я\uFFFD"},
    {"overlong", "\xC0\xAF", "\uFFFD\uFFFD", "\uFFFD\uFFFD"},
    {"encoded surrogate", "\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD", "\uFFFD\uFFFD\uFFFD"},
};

TEST(CaseMapping, WholeStrings) {
  for (const CaseCase& c : case_cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(to_lower(c.text), c.lower);
    EXPECT_EQ(to_upper(c.text), c.upper);
  }
}

TEST(CaseMapping, CodePointFormsAgreeWithStrings) {
  for (const CaseCase& c : case_cases) {
    const auto cps = decode_utf8(c.text);
    if (!cps) continue;  // the invalid ones
    SCOPED_TRACE(c.name);
    std::u32string lower32;
    std::u32string upper32;
    std::string lower8;
    std::string upper8;
    for (char32_t cp : *cps) {
      append_lower(lower32, cp);
      append_upper(upper32, cp);
      append_lower(lower8, cp);
      append_upper(upper8, cp);
    }
    EXPECT_EQ(encode_utf8(lower32), c.lower);
    EXPECT_EQ(encode_utf8(upper32), c.upper);
    EXPECT_EQ(lower8, c.lower);
    EXPECT_EQ(upper8, c.upper);
    EXPECT_EQ(encode_utf8(to_lower(std::u32string_view(*cps))), c.lower);
  }
}

TEST(CaseMapping, AppendsAfterWhatIsThere) {
  std::u32string s32 = U"x";
  append_upper(s32, 0xDF);
  EXPECT_EQ(s32, U"xSS");
  append_lower(s32, 0x130);
  EXPECT_EQ(s32, U"xSSi\u0307");
  std::string s8 = "x";
  append_lower(s8, 0x130);
  append_upper(s8, 0x149);
  EXPECT_EQ(s8, "xi\u0307\u02BCN");
}

TEST(CaseMapping, ValuesOutsideUnicodeAreKept) {
  const char32_t odd[] = {0xD800, 0xDFFF, 0x110000, 0x7FFFFFFF, 0xFFFFFFFF};
  for (char32_t cp : odd) {
    SCOPED_TRACE(testing::Message() << std::hex << static_cast<std::uint32_t>(cp));
    std::u32string lower;
    std::u32string upper;
    append_lower(lower, cp);
    append_upper(upper, cp);
    EXPECT_EQ(lower, std::u32string(1, cp));
    EXPECT_EQ(upper, std::u32string(1, cp));
    std::string lower8;
    append_lower(lower8, cp);
    EXPECT_EQ(lower8, "\uFFFD");  // no UTF-8 form
  }
}

struct TrimCase {
  const char* name;
  std::string_view text;
  std::string_view trimmed;
};

const TrimCase trim_cases[] = {
    {"empty", "", ""},
    {"only spaces", "   ", ""},
    {"only mixed white space", " \t\r\n\u00A0\u3000\u0085", ""},
    {"nothing to trim", "abc", "abc"},
    {"both ends", "  word  ", "word"},
    {"inner space kept", "\t two words \n", "two words"},
    {"line ends", "notepad.exe\r\n", "notepad.exe"},
    {"no-break space", "\u00A0слово\u00A0", "слово"},
    {"ideographic space", "\u3000中\u3000", "中"},
    {"next line", "\u0085x\u0085", "x"},
    {"line separator", "\u2028x\u2029", "x"},
    {"byte order mark is not white space", "\uFEFFx\uFEFF", "\uFEFFx\uFEFF"},
    {"zero width space is not white space", "\u200Bx\u200B", "\u200Bx\u200B"},
    {"invalid byte at an end stays", " \xFF ", "\xFF"},
    {"truncated sequence at the end stays", " я\xD0", "я\xD0"},
    {"truncated no-break space stays", "x\xC2", "x\xC2"},
    {"stray continuation at the start stays", "\xA0 x", "\xA0 x"},
    {"single letter", "я", "я"},
};

TEST(TrimWhiteSpace, Cases) {
  for (const TrimCase& c : trim_cases) {
    SCOPED_TRACE(c.name);
    const std::string copy(c.text);
    const std::string_view out = trim_white_space(copy);
    EXPECT_EQ(out, c.trimmed);
    // A view into the argument, not a copy.
    EXPECT_GE(out.data(), copy.data());
    EXPECT_LE(out.data() + out.size(), copy.data() + copy.size());
  }
}

}  // namespace
}  // namespace klavix::text
