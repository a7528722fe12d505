// Key table, rendering of recorded keys, the Caps Lock pattern, text conversion, case swapping.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "layout/layout.h"
#include "text/text.h"

namespace klavix {
namespace {

constexpr std::uint16_t vk_oem_1 = 0xBA, vk_oem_2 = 0xBF, vk_oem_3 = 0xC0, vk_oem_4 = 0xDB, vk_oem_5 = 0xDC,
                        vk_oem_6 = 0xDD, vk_oem_7 = 0xDE, vk_oem_comma = 0xBC, vk_oem_period = 0xBE,
                        vk_oem_102 = 0xE2;

// Keys as typed: an upper-case letter or digit is its own virtual key; flags per key.
struct K {
  std::uint16_t vk;
  bool shift = false;
  bool caps = false;
};

std::vector<Keystroke> keys_of(std::initializer_list<K> ks, Layout typed_in = Layout::En) {
  std::vector<Keystroke> out;
  for (const K& k : ks) out.push_back({k.vk, typed_in, std::uint8_t(k.shift), std::uint8_t(k.caps)});
  return out;
}

std::vector<Keystroke> plain(std::string_view vks) {
  std::vector<Keystroke> out;
  for (char c : vks) out.push_back({static_cast<std::uint16_t>(c), Layout::En, 0, 0});
  return out;
}

// ---- the table and its index ----

TEST(KeyTable, IndexFindsEveryRowAndNothingElse) {
  const auto table = key_table();
  std::set<std::uint16_t> vks;
  for (const KeyRow& row : table) {
    SCOPED_TRACE(row.vk());
    vks.insert(row.vk());
    const KeyRow* found = key_row(row.vk());
    ASSERT_NE(found, nullptr);
    if (row.vk() != vk_oem_102) {
      EXPECT_EQ(found, &row);
    }
  }
  EXPECT_EQ(vks.size(), 49u);
  for (unsigned vk = 0; vk <= 0xFFFF; ++vk) {
    if (!vks.count(static_cast<std::uint16_t>(vk))) {
      ASSERT_EQ(key_row(static_cast<std::uint16_t>(vk)), nullptr) << std::hex << vk;
    }
  }
}

// Every cell of every row, in table order: virtual key, then the characters it gives in En
// without and with Shift, then in Ru without and with Shift.
TEST(KeyTable, EveryRowAndCell) {
  struct Row {
    std::uint16_t vk;
    char32_t en_lower, en_upper, ru_lower, ru_upper;
  };
  const Row expected[] = {
      {0x20, 0x0020, 0x0020, 0x0020, 0x0020},  //  0 VK_SPACE: space space space space
      {0xC0, 0x0060, 0x007E, 0x0451, 0x0401},  //  1 VK_OEM_3: ` ~ ё Ё
      {0x31, 0x0031, 0x0021, 0x0031, 0x0021},  //  2 '1': 1 ! 1 !
      {0x32, 0x0032, 0x0040, 0x0032, 0x0022},  //  3 '2': 2 @ 2 "
      {0x33, 0x0033, 0x0023, 0x0033, 0x2116},  //  4 '3': 3 # 3 №
      {0x34, 0x0034, 0x0024, 0x0034, 0x003B},  //  5 '4': 4 $ 4 ;
      {0x35, 0x0035, 0x0025, 0x0035, 0x0025},  //  6 '5': 5 % 5 %
      {0x36, 0x0036, 0x005E, 0x0036, 0x003A},  //  7 '6': 6 ^ 6 :
      {0x37, 0x0037, 0x0026, 0x0037, 0x003F},  //  8 '7': 7 & 7 ?
      {0x38, 0x0038, 0x002A, 0x0038, 0x002A},  //  9 '8': 8 * 8 *
      {0x39, 0x0039, 0x0028, 0x0039, 0x0028},  // 10 '9': 9 ( 9 (
      {0x30, 0x0030, 0x0029, 0x0030, 0x0029},  // 11 '0': 0 ) 0 )
      {0xBD, 0x002D, 0x005F, 0x002D, 0x005F},  // 12 VK_OEM_MINUS: - _ - _
      {0xBB, 0x003D, 0x002B, 0x003D, 0x002B},  // 13 VK_OEM_PLUS: = + = +
      {0x51, 0x0071, 0x0051, 0x0439, 0x0419},  // 14 'Q': q Q й Й
      {0x57, 0x0077, 0x0057, 0x0446, 0x0426},  // 15 'W': w W ц Ц
      {0x45, 0x0065, 0x0045, 0x0443, 0x0423},  // 16 'E': e E у У
      {0x52, 0x0072, 0x0052, 0x043A, 0x041A},  // 17 'R': r R к К
      {0x54, 0x0074, 0x0054, 0x0435, 0x0415},  // 18 'T': t T е Е
      {0x59, 0x0079, 0x0059, 0x043D, 0x041D},  // 19 'Y': y Y н Н
      {0x55, 0x0075, 0x0055, 0x0433, 0x0413},  // 20 'U': u U г Г
      {0x49, 0x0069, 0x0049, 0x0448, 0x0428},  // 21 'I': i I ш Ш
      {0x4F, 0x006F, 0x004F, 0x0449, 0x0429},  // 22 'O': o O щ Щ
      {0x50, 0x0070, 0x0050, 0x0437, 0x0417},  // 23 'P': p P з З
      {0xDB, 0x005B, 0x007B, 0x0445, 0x0425},  // 24 VK_OEM_4: [ { х Х
      {0xDD, 0x005D, 0x007D, 0x044A, 0x042A},  // 25 VK_OEM_6: ] } ъ Ъ
      {0xDC, 0x005C, 0x007C, 0x005C, 0x002F},  // 26 VK_OEM_5: \ | \ /
      {0x41, 0x0061, 0x0041, 0x0444, 0x0424},  // 27 'A': a A ф Ф
      {0x53, 0x0073, 0x0053, 0x044B, 0x042B},  // 28 'S': s S ы Ы
      {0x44, 0x0064, 0x0044, 0x0432, 0x0412},  // 29 'D': d D в В
      {0x46, 0x0066, 0x0046, 0x0430, 0x0410},  // 30 'F': f F а А
      {0x47, 0x0067, 0x0047, 0x043F, 0x041F},  // 31 'G': g G п П
      {0x48, 0x0068, 0x0048, 0x0440, 0x0420},  // 32 'H': h H р Р
      {0x4A, 0x006A, 0x004A, 0x043E, 0x041E},  // 33 'J': j J о О
      {0x4B, 0x006B, 0x004B, 0x043B, 0x041B},  // 34 'K': k K л Л
      {0x4C, 0x006C, 0x004C, 0x0434, 0x0414},  // 35 'L': l L д Д
      {0xBA, 0x003B, 0x003A, 0x0436, 0x0416},  // 36 VK_OEM_1: ; : ж Ж
      {0xDE, 0x0027, 0x0022, 0x044D, 0x042D},  // 37 VK_OEM_7: ' " э Э
      {0x5A, 0x007A, 0x005A, 0x044F, 0x042F},  // 38 'Z': z Z я Я
      {0x58, 0x0078, 0x0058, 0x0447, 0x0427},  // 39 'X': x X ч Ч
      {0x43, 0x0063, 0x0043, 0x0441, 0x0421},  // 40 'C': c C с С
      {0x56, 0x0076, 0x0056, 0x043C, 0x041C},  // 41 'V': v V м М
      {0x42, 0x0062, 0x0042, 0x0438, 0x0418},  // 42 'B': b B и И
      {0x4E, 0x006E, 0x004E, 0x0442, 0x0422},  // 43 'N': n N т Т
      {0x4D, 0x006D, 0x004D, 0x044C, 0x042C},  // 44 'M': m M ь Ь
      {0xBC, 0x002C, 0x003C, 0x0431, 0x0411},  // 45 VK_OEM_COMMA: , < б Б
      {0xBE, 0x002E, 0x003E, 0x044E, 0x042E},  // 46 VK_OEM_PERIOD: . > ю Ю
      {0xBF, 0x002F, 0x003F, 0x002E, 0x002C},  // 47 VK_OEM_2: / ? . ,
      {0xE2, 0x005C, 0x007C, 0x005C, 0x002F},  // 48 VK_OEM_102: \ | \ /
  };
  const auto table = key_table();
  ASSERT_EQ(std::size(expected), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    const Row& want = expected[i];
    const KeyRow& row = table[i];
    SCOPED_TRACE(testing::Message() << "row " << i << " vk 0x" << std::hex << want.vk);
    EXPECT_EQ(row.vk(), want.vk);
    EXPECT_EQ(row.lower(Layout::En), want.en_lower);
    EXPECT_EQ(row.upper(Layout::En), want.en_upper);
    EXPECT_EQ(row.lower(Layout::Ru), want.ru_lower);
    EXPECT_EQ(row.upper(Layout::Ru), want.ru_upper);
  }
}

TEST(KeyTable, KeyRowEdges) {
  struct Case {
    std::uint16_t vk;
    bool has_row;
    char32_t en_lower;
  } cases[] = {
      {0x1F, false, 0},       {0x20, true, U' '},  {0x60, false, 0},         // numeric keypad 0
      {0xE3, false, 0},       {0x00, false, 0},    {0xFFFF, false, 0},
      {vk_oem_102, true, U'\\'}, {0x41, true, U'a'}, {vk_oem_3, true, U'`'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vk);
    const KeyRow* row = key_row(c.vk);
    ASSERT_EQ(row != nullptr, c.has_row);
    if (row) {
      EXPECT_EQ(row->lower(Layout::En), c.en_lower);
    }
  }
  // The extra 102-key backslash repeats the main backslash key in every cell.
  const KeyRow* extra = key_row(vk_oem_102);
  const KeyRow* main = key_row(vk_oem_5);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(extra->cells[i], main->cells[i]);
  EXPECT_EQ(&key_table()[48], extra);
  EXPECT_EQ(&key_table()[26], main);
}

TEST(KeyTable, LetterKeysOfEachLayout) {
  std::set<std::uint16_t> en, ru;
  std::set<char32_t> ru_lower;
  for (const KeyRow& row : key_table()) {
    if (is_letter(row.lower(Layout::En), Layout::En)) en.insert(row.vk());
    if (is_letter(row.lower(Layout::Ru), Layout::Ru)) {
      ru.insert(row.vk());
      ru_lower.insert(row.lower(Layout::Ru));
    }
  }
  std::set<std::uint16_t> az;
  for (std::uint16_t vk = 'A'; vk <= 'Z'; ++vk) az.insert(vk);
  EXPECT_EQ(en, az);
  std::set<std::uint16_t> ru_expected = az;
  ru_expected.insert({vk_oem_3, vk_oem_4, vk_oem_6, vk_oem_1, vk_oem_7, vk_oem_comma, vk_oem_period});
  EXPECT_EQ(ru, ru_expected);
  // Each of the 33 lower-case Russian letters sits on exactly one key.
  std::set<char32_t> alphabet{U'ё'};
  for (char32_t c = U'а'; c <= U'я'; ++c) alphabet.insert(c);
  EXPECT_EQ(ru_lower, alphabet);
}

TEST(KeyTable, LetterCellsAreCasePairs) {
  // A typo in either cell of a letter key shows up as a pair that is not lower/upper case.
  for (const KeyRow& row : key_table()) {
    for (Layout l : {Layout::En, Layout::Ru}) {
      if (!is_letter(row.lower(l), l)) continue;
      SCOPED_TRACE(testing::Message() << "vk " << row.vk() << " layout " << int(l));
      std::u32string upper;
      text::append_upper(upper, row.lower(l));
      EXPECT_EQ(upper, std::u32string(1, row.upper(l)));
      if (l == Layout::En) {
        EXPECT_EQ(row.upper(l), row.vk());
      }
    }
  }
}

TEST(KeyTable, LetterClasses) {
  struct Case {
    char32_t c;
    bool en, ru;
  } cases[] = {
      {U'A', true, false}, {U'Z', true, false}, {U'a', true, false}, {U'z', true, false},
      {U'@', false, false}, {U'[', false, false}, {U'`', false, false}, {U'{', false, false},
      {0xC1, false, false},  // Á: bit 0x20 cleared would not make it ASCII
      {0xE1, false, false},  // á
      {0x141, false, false}, {0x161, false, false},  // code points whose low byte is a letter
      {U'Ё', false, true}, {U'ё', false, true}, {U'А', false, true}, {U'я', false, true},
      {0x400, false, false}, {0x40F, false, false}, {0x450, false, false}, {0x452, false, false},
      {0x1F600, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<std::uint32_t>(c.c));
    EXPECT_EQ(is_en_letter(c.c), c.en);
    EXPECT_EQ(is_ru_letter(c.c), c.ru);
    EXPECT_EQ(is_letter(c.c, Layout::En), c.en);
    EXPECT_EQ(is_letter(c.c, Layout::Ru), c.ru);
  }
}

TEST(KeyTable, LanguageOfLayoutHandle) {
  struct Case {
    std::uintptr_t hkl;
    Layout layout;
  } cases[] = {
      {0x04090409, Layout::En}, {0x0409, Layout::En}, {0x0809, Layout::En}, {0x04190419, Layout::Ru},
      {0x0419, Layout::Ru},     {0x0407, Layout::Other}, {0, Layout::Other}, {0x0422, Layout::Other},
      {0xF0010409, Layout::En},  // a layout variant: only the primary language of the low word counts
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hkl);
    EXPECT_EQ(layout_of_language(c.hkl), c.layout);
  }
  EXPECT_EQ(other_layout(Layout::En), Layout::Ru);
  EXPECT_EQ(other_layout(Layout::Ru), Layout::En);
}

// ---- render_keystrokes ----

TEST(RenderKeystrokes, InBothLayouts) {
  struct Case {
    const char* name;
    std::vector<Keystroke> keys;
    std::string en, ru;
  } cases[] = {
      {"plain word", plain("GHBDTN"), "ghbdtn", "привет"},
      {"caps with shift on the first key",
       keys_of({{'L', true, true}, {'J', false, true}, {vk_oem_comma, false, true}, {'F', false, true},
                {'D', false, true}, {'M', false, true}}),
       "lJ,FDM", "дОБАВЬ"},
      {"shift 2", keys_of({{'2', true}}), "@", "\""},
      {"shift 3", keys_of({{'3', true}}), "#", "№"},
      {"shifted extra backslash key", keys_of({{vk_oem_102, true}}), "|", "/"},
      {"extra backslash key", keys_of({{vk_oem_102}}), "\\", "\\"},
      {"caps on a key that is a letter only in Ru", keys_of({{vk_oem_4, false, true}}), "[", "Х"},
      {"caps and shift on a letter", keys_of({{'A', true, true}}), "a", "ф"},
      {"caps on digits and punctuation", keys_of({{'1', false, true}, {'1', true, true}, {vk_oem_2, false, true}}),
       "1!/", "1!."},
      {"caps on the yo key", keys_of({{vk_oem_3, false, true}}), "`", "Ё"},
      {"space", keys_of({{'A'}, {0x20, true, true}, {'B'}}), "a b", "ф и"},
      {"all punctuation keys, shifted",
       keys_of({{vk_oem_1, true}, {vk_oem_7, true}, {vk_oem_comma, true}, {vk_oem_period, true}, {vk_oem_2, true},
                {vk_oem_6, true}}),
       ":\"<>?}", "ЖЭБЮ,Ъ"},
      {"key without a row produces nothing", keys_of({{'A'}, {0x13}, {0x60, true}, {'B'}}), "ab", "фи"},
      {"flags other than 0 and 1 count as set",
       {{'A', Layout::En, 2, 0}, {'B', Layout::En, 0, 7}, {'C', Layout::En, 255, 255}}, "ABc", "ФИс"},
      {"empty", {}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(render_keystrokes(c.keys, 0, c.keys.size(), Layout::En), c.en);
    EXPECT_EQ(render_keystrokes(c.keys, 0, c.keys.size(), Layout::Ru), c.ru);
  }
}

TEST(RenderKeystrokes, IgnoresTheLayoutEachKeyWasTypedIn) {
  auto keys = plain("GHBDTN");
  for (std::size_t i = 0; i < keys.size(); i += 2) keys[i].layout = Layout::Ru;
  keys[1].layout = Layout::Other;
  EXPECT_EQ(render_keystrokes(keys, 0, keys.size(), Layout::En), "ghbdtn");
  EXPECT_EQ(render_keystrokes(keys, 0, keys.size(), Layout::Ru), "привет");
}

TEST(RenderKeystrokes, HalfOpenRanges) {
  const auto keys = plain("GHBDTN");
  struct Case {
    std::size_t start, end;
    const char* ru;
  } cases[] = {{0, 6, "привет"}, {1, 3, "ри"}, {5, 6, "т"}, {3, 3, ""}, {6, 6, ""}, {0, 0, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << ".." << c.end);
    EXPECT_EQ(render_keystrokes(keys, c.start, c.end, Layout::Ru), c.ru);
  }
}

TEST(RenderKeystrokesDeathTest, RangeOutsideTheRecordEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto keys = plain("AB");
  EXPECT_DEATH(render_keystrokes(keys, 0, 3, Layout::En), "keystroke range");
  EXPECT_DEATH(render_keystrokes(keys, 2, 1, Layout::En), "keystroke range");
  EXPECT_DEATH(caps_pattern(keys, 1, 5, Layout::En), "keystroke range");
  EXPECT_DEATH(render_keystrokes(keys, 0, 2, Layout::Other), "layout must be En or Ru");
}

// ---- caps_pattern ----

TEST(CapsPattern, Cases) {
  const auto dobav = keys_of({{'L', true, true}, {'J', false, true}, {vk_oem_comma, false, true}, {'F', false, true},
                              {'D', false, true}, {'M', false, true}});
  struct Case {
    const char* name;
    std::vector<Keystroke> keys;
    bool from_en, from_ru;
  } cases[] = {
      {"дОБАВЬ", dobav, true, true},
      {"two letters", keys_of({{'G', true, true}, {'H', false, true}}), true, true},
      {"a single letter key", keys_of({{'G', true, true}}), false, false},
      {"first letter without shift", keys_of({{'G', false, true}, {'H', false, true}}), false, false},
      {"a letter typed with caps lock off", keys_of({{'G', true, true}, {'H', false, true}, {'B', false, false}}),
       false, false},
      {"two shifted letters", keys_of({{'G', true, true}, {'H', true, true}, {'B', false, true}}), false, false},
      {"no caps lock at all", keys_of({{'G', true}, {'H'}, {'B'}}), false, false},
      {"non-letter keys are ignored whatever their flags",
       keys_of({{'1', true, false}, {'G', true, true}, {'2', true, false}, {'H', false, true}, {0x20, true, false}}),
       true, true},
      // The comma key is a letter (б) only in Ru: in En the word has a single letter.
      {"only Ru sees two letters", keys_of({{vk_oem_comma, true, true}, {'A', false, true}}), true, true},
      // The comma key typed without caps lock breaks the pattern in Ru only.
      {"only En holds", keys_of({{'G', true, true}, {vk_oem_comma, false, false}, {'H', false, true}}), true, true},
      // En sees one letter; Ru sees the unshifted G first.
      {"neither holds", keys_of({{'G', false, true}, {vk_oem_comma, true, true}}), false, false},
      {"empty", {}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(caps_pattern(c.keys, 0, c.keys.size(), Layout::En), c.from_en);
    EXPECT_EQ(caps_pattern(c.keys, 0, c.keys.size(), Layout::Ru), c.from_ru);
  }
}

TEST(CapsPattern, LooksOnlyAtTheRange) {
  // A lower-case word before the one typed with caps lock must not spoil it.
  const auto keys = keys_of({{'A'}, {'B'}, {0x20}, {'G', true, true}, {'H', false, true}, {'C'}});
  EXPECT_TRUE(caps_pattern(keys, 3, 5, Layout::Ru));
  EXPECT_FALSE(caps_pattern(keys, 0, 5, Layout::Ru));
  EXPECT_FALSE(caps_pattern(keys, 3, 6, Layout::Ru));
  EXPECT_FALSE(caps_pattern(keys, 3, 4, Layout::Ru));
}

// ---- convert_text ----

TEST(ConvertText, Cases) {
  struct Case {
    std::string in, out;
    Layout source;
  } cases[] = {
      {"ghbdtn", "привет", Layout::En},
      {"руддщ", "hello", Layout::Ru},
      {"Ghbdtn? rfr ltkf&", "Привет, как дела?", Layout::En},
      {"Привет, как дела?", "Ghbdtn? rfr ltkf&", Layout::Ru},
      {"ab вг", "фи вг", Layout::En},  // a tie converts from En
      {"123", "123", Layout::En},
      {"", "", Layout::En},
      {"café 123", "сфаé 123", Layout::En},
      {".,;?&/", "юбж,?.", Layout::En},
      {"я.,;?/", "z/?$&|", Layout::Ru},
      {"\"a\"", "ЭфЭ", Layout::En},     // the quotation mark is a key of its own in En
      {"я\"", "z@", Layout::Ru},        // and shift 2 in Ru
      {"a№", "ф№", Layout::En},         // № is no En character
      {"я№", "z#", Layout::Ru},
      {"a\\|b", "ф\\/и", Layout::En},  // the earlier of the two backslash rows answers
      {"я\\/", "z\\|", Layout::Ru},
      {"ёЁж", "`~;", Layout::Ru},
      {"`~[]{}", "ёЁхъХЪ", Layout::En},
      {"a\tb\r\nc 0", "ф\tи\r\nс 0", Layout::En},
      {"aя", "фя", Layout::En},  // letters of the target layout stay
      {"日本 abc", "日本 фис", Layout::En},
      // Characters outside the Basic Multilingual Plane pass through.
      {"😀ghbdtn😀", "😀привет😀", Layout::En},
      {"𝐀 руддщ", "𝐀 hello", Layout::Ru},
      // Bytes that are not UTF-8 pass through unchanged and count as no letter.
      {"\xff" "ab\xd0", "\xff" "фи\xd0", Layout::En},
      {"\xc3\x28" "я", "\xc3" "(z", Layout::Ru},
      {"\xed\xa0\x80" "ф", "\xed\xa0\x80" "a", Layout::Ru},  // an encoded surrogate
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    const ConvertedText r = convert_text(c.in);
    EXPECT_EQ(r.text, c.out);
    EXPECT_EQ(r.source, c.source);
    EXPECT_EQ(r.target, other_layout(c.source));
  }
}

TEST(ConvertText, EveryKeyCharacterConvertsByKey) {
  // A character that stands in one cell only of the source layout converts to the same cell of
  // the target layout; characters on two keys are covered by the cases above.
  for (Layout s : {Layout::En, Layout::Ru}) {
    const Layout t = other_layout(s);
    std::multiset<char32_t> source_cells;
    for (const KeyRow& row : key_table()) source_cells.insert({row.lower(s), row.upper(s)});
    for (const KeyRow& row : key_table()) {
      for (bool upper : {false, true}) {
        const char32_t from = upper ? row.upper(s) : row.lower(s);
        const char32_t to = upper ? row.upper(t) : row.lower(t);
        if (source_cells.count(from) != 1 || (from >= U'0' && from <= U'9')) continue;
        SCOPED_TRACE(testing::Message() << "layout " << int(s) << " vk " << row.vk() << " upper " << upper);
        // A letter of the source layout in front pins the direction.
        std::string in = s == Layout::En ? "a" : "я", out = s == Layout::En ? "ф" : "z";
        text::append_utf8(in, from);
        text::append_utf8(out, to);
        EXPECT_EQ(convert_text(in).text, out);
      }
    }
  }
}

// ---- swap_case ----

TEST(SwapCase, Cases) {
  struct Case {
    char32_t in;
    std::string out;
  } cases[] = {
      {U'a', "A"},  {U'Z', "z"},  {U'1', "1"},  {U'@', "@"}, {U'[', "["}, {U'`', "`"}, {U'{', "{"},
      {U' ', " "},  {0, std::string(1, '\0')},  {0x7F, "\x7f"},
      {U'Я', "я"},  {U'я', "Я"},  {U'ё', "Ё"},  {U'Ё', "ё"},
      {U'ß', "SS"}, {U'é', "É"},  {U'É', "é"},  {U'ÿ', "Ÿ"},
      {U'İ', "i̇"},                         // upper case with a two-character lower-case mapping
      {U'ŉ', "ʼN"},                         // lower case with a two-character upper-case mapping
      {U'ﬃ', "FFI"},                        // three characters
      {U'ǅ', "ǅ"},                          // title case is neither Lowercase nor Uppercase
      {U'ª', "ª"},                          // Lowercase without an upper-case mapping
      {U'№', "№"},  {U'中', "中"},
      {0x10428, "\U00010400"},              // Deseret small letter long i
      {0x10400, "\U00010428"},
      {0x1F600, "\U0001F600"},
      {0xD800, "\uFFFD"},  {0x110000, "\uFFFD"},  {0xFFFFFFFF, "\uFFFD"},  // no characters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<std::uint32_t>(c.in));
    EXPECT_EQ(swap_case(c.in), c.out);
  }
}

}  // namespace
}  // namespace klavix
