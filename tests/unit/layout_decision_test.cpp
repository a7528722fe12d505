// word_core, plausible_case and the wrong-layout decision.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "layout/layout.h"
#include "text/text.h"

namespace klavix {
namespace {

TEST(WordCore, Cases) {
  struct Case {
    std::string text;
    Layout layout;
    std::optional<std::string> core;
  } cases[] = {
      {"«слово»,", Layout::Ru, "слово"},
      {"hello", Layout::En, "hello"},
      {"ab1c", Layout::En, std::nullopt},
      {"don't", Layout::En, "don't"},
      {"дон'т", Layout::Ru, std::nullopt},  // no apostrophe inside a Russian word
      {"mother-in-law", Layout::En, "mother-in-law"},
      {"что-то", Layout::Ru, "что-то"},
      {"rock'n'roll", Layout::En, "rock'n'roll"},
      {"a--b", Layout::En, "a--b"},
      {"—", Layout::Ru, std::nullopt},
      {"123", Layout::En, std::nullopt},
      {"", Layout::En, std::nullopt},
      {"'hello'", Layout::En, "hello"},
      {"ab-", Layout::En, "ab"},
      {"-ab-", Layout::Ru, std::nullopt},
      {"-вг-", Layout::Ru, "вг"},
      {"(ghbdtn)", Layout::En, "ghbdtn"},
      {"hello", Layout::Ru, std::nullopt},   // letters of the other layout only
      {"abвг", Layout::En, "ab"},            // letters of the other script at an end are dropped
      {"вгab", Layout::Ru, "вг"},
      {"вabг", Layout::Ru, std::nullopt},    // but not inside
      {"a b", Layout::En, std::nullopt},
      {"a1b.", Layout::En, std::nullopt},    // a bad character inside, another after the end
      {"a-b-,", Layout::En, "a-b"},          // joiners after the last letter are outside
      {".a'b1", Layout::En, "a'b"},
      {"ёжик", Layout::Ru, "ёжик"},
      {"ЁЖ", Layout::Ru, "ЁЖ"},
      {"café", Layout::En, "caf"},           // é is no En letter: at the end it is dropped
      {"cafés", Layout::En, std::nullopt},   // and inside it disqualifies
      {"cafe\u0301", Layout::En, "cafe"},    // a trailing combining accent is outside the core
      {"j,]trn", Layout::En, std::nullopt},
      {"\U0001F600ab\U0001F600", Layout::En, "ab"},
      {"a\U0001F600b", Layout::En, std::nullopt},
      // Bytes that are not UTF-8 are no letters.
      {"\xff" "ab\xfe", Layout::En, "ab"},
      {"a\xff" "b", Layout::En, std::nullopt},
      {"\xd0", Layout::Ru, std::nullopt},
      {"п\xd0", Layout::Ru, "п"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(word_core(c.text, c.layout), c.core);
  }
}

TEST(PlausibleCase, Cases) {
  struct Case {
    std::string text;
    bool plausible;
  } cases[] = {
      {"", false},         {"123", false},        {"-", false},         {"Привет", true},
      {"привет", true},    {"ПРИВЕТ", true},      {"I", true},          {"i", true},
      {"пРИВЕТ", false},   {"ПРивет", false},     {"привеТ", false},    {"don't", true},
      {"Hello, world", true},                     {"Hello, World", false},
      {"1a2B", false},     {"«Слово»", true},     {"ß", true},          {"Straße", true},
      {"中文", false},      {"a中", false},        {"ǅ", false},         // title case is neither
      {"ǅa", false},       {"A中", false},        {"Пǅ", false},        // caseless after a capital
      {"\U0001D400\U0001D401", true},             // mathematical capitals are Uppercase
      {"\U00010400\U00010428", true},             // Deseret capital then small
      {"\U00010428\U00010400", false},
      {"\U0001F600a", true},                      // an emoji is no letter
      {"\U0001F600", false},
      {"\xff" "A\xfe" "b", true},                 // bytes that are not UTF-8 are no letters
      {"\xff", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(plausible_case(c.text), c.plausible);
  }
}

// A decision case: both dictionaries are given as list text, so each case shows its conditions.
struct DecisionCase {
  const char* name;
  std::string en_list, ru_list;
  Layout layout;
  std::string typed, converted;
  bool force;
  bool expected;
  WordSet exceptions = {};
};

void run(const DecisionCase& c) {
  SCOPED_TRACE(c.name);
  const Dictionaries d = build_dictionaries(c.en_list, c.ru_list);
  EXPECT_EQ(decide_wrong_layout(d, c.layout, c.typed, c.converted, c.exceptions, c.force), c.expected);
}

const std::string privet = "привет 177992\n";

TEST(DecideWrongLayout, BarredCharactersAndCase) {
  const DecisionCase cases[] = {
      {"Russian word typed in En", "hello 5\n", privet, Layout::En, "ghbdtn", "привет", false, true},
      {"English word typed in Ru", "hello 5\n", privet, Layout::Ru, "руддщ", "hello", false, true},
      {"capitalised", "hello 5\n", privet, Layout::En, "Ghbdtn", "Привет", false, true},
      {"all capitals", "hello 5\n", privet, Layout::En, "GHBDTN", "ПРИВЕТ", false, true},
      {"inverted case", "hello 5\n", privet, Layout::En, "gHBDTN", "пРИВЕТ", false, false},
      {"surrounding punctuation", "hello 5\n", privet, Layout::En, "(ghbdtn)", "(привет)", false, true},
      {"digit", "", "ф 1\n", Layout::En, "abc1", "фис1", false, false},
      {"digit even with force", "", privet, Layout::En, "ghbdtn1", "привет1", true, false},
      {"commercial at", "", privet, Layout::En, "ghb@dtn", "при\"втн", false, false},
      {"backslash", "", privet, Layout::En, "ghbdtn\\", "привет\\", false, false},
      {"low line", "", privet, Layout::En, "_ghbdtn", "_привет", false, false},
      {"vertical bar", "", privet, Layout::En, "ghbdtn|", "привет/", false, false},
      {"number sign", "", privet, Layout::En, "ghbdtn#", "привет№", false, false},
      // The converted text must hold a clean word of the other layout.
      {"no converted core", "", privet, Layout::En, "...", "ююю", false, false},
      {"converted core broken", "hello 5\n", "", Layout::Ru, "руд.щ", "hel/o", false, false},
      // Keys: comma, shift+A, B. Typed "бФи" has an implausible case; converted ",Ab" is fine.
      {"typed core of implausible case", "ab 100\n", "", Layout::Ru, "бФи", ",Ab", false, false},
  };
  for (const DecisionCase& c : cases) run(c);
}

TEST(DecideWrongLayout, ShortWordsAndForce) {
  const DecisionCase cases[] = {
      {"one character without force", "", "я 5081568\n", Layout::En, "z", "я", false, false},
      {"one character with force", "", "я 5081568\n", Layout::En, "z", "я", true, true},
      {"one character with force, ratio decides", "z 1000\n", "я 5081568\n", Layout::En, "z", "я", true, true},
      {"one character with force, ratio too small", "z 300000\n", "я 5081568\n", Layout::En, "z", "я", true,
       false},
      {"one character with force, unknown", "", "", Layout::En, "z", "я", true, false},
      // The length is that of the converted core: the punctuation around it does not count.
      {"one key more in the other layout", "", "яб 5\n", Layout::En, "z,", "яб", false, true},  // n is 2
      {"one letter in punctuation", "", "я 5\n", Layout::Ru, "я.", "z/", false, false},
  };
  for (const DecisionCase& c : cases) run(c);
}

TEST(DecideWrongLayout, TypedTextWithoutCore) {
  // "j,]trn": comma and bracket stand inside, so the converted word alone decides.
  const std::string object_trigrams = "объем 1\nпроект 1\n";  // all of ^объект$ but ъек
  const DecisionCase cases[] = {
      {"converted word known", "", "объект 1\n", Layout::En, "j,]trn", "объект", false, true},
      {"converted word unknown, trigrams all present", "", "объем 1\nъект 1\nпроект 1\n", Layout::En, "j,]trn",
       "объект", false, true},
      {"converted word unknown, a trigram missing", "", object_trigrams, Layout::En, "j,]trn", "объект", false,
       false},
      {"converted word unknown and short", "", "объем 1\nъе 1\n", Layout::En, "j,]t", "объе", false, false},
      {"converted word in the exceptions", "", "объект 1\n", Layout::En, "j,]trn", "объект", false, false,
       {"объект"}},
  };
  for (const DecisionCase& c : cases) run(c);
}

TEST(DecideWrongLayout, ExceptionWrittenAsTyped) {
  // The exception prompt writes a word the way it is typed: the typed core, or the whole typed
  // text when it has none. A word the user writes by hand, in either form, counts as well.
  const std::string ru = "уже 1000\nобъект 1000\nбольше 1000\n";
  const DecisionCase cases[] = {
      {"no exceptions", "", ru, Layout::En, "e;t", "уже", false, true},
      {"typed text without core", "", ru, Layout::En, "e;t", "уже", false, false, {"e;t"}},
      {"typed text without core, capitalised", "", ru, Layout::En, "E;t", "Уже", false, false, {"e;t"}},
      {"typed text without core, other words listed", "", ru, Layout::En, "e;t", "уже", false, true,
       {"e;", ";t", "e;t "}},
      {"brackets inside", "", ru, Layout::En, "j,]trn", "объект", false, false, {"j,]trn"}},
      {"converted form", "", ru, Layout::En, "j,]trn", "объект", false, false, {"объект"}},
      // "e;t?" is "уже," : the prompt writes the whole typed text, a user writes the word.
      {"whole typed text with its punctuation", "", ru, Layout::En, "e;t?", "уже,", false, false, {"e;t?"}},
      {"typed keys of the converted word", "", ru, Layout::En, "e;t?", "уже,", false, false, {"e;t"}},
      {"converted word with its punctuation", "", ru, Layout::En, "e;t?", "уже,", false, true, {"уже,"}},
      // ",jkmit" is "больше": the typed core leaves out the comma that is the letter б.
      {"typed core", "", ru, Layout::En, ",jkmit", "больше", false, false, {"jkmit"}},
      {"typed keys of a converted word longer than the typed core", "", ru, Layout::En, ",jkmit", "больше", false,
       false, {",jkmit"}},
      {"typed keys, other words listed", "", ru, Layout::En, ",jkmit", "больше", false, true, {",jkmi", "jkmit,"}},
  };
  for (const DecisionCase& c : cases) run(c);
}

TEST(DecideWrongLayout, BothFormsKnown) {
  const DecisionCase cases[] = {
      {"n 2, converted far more common", "ds 18264\n", "вы 1142662\n", Layout::En, "ds", "вы", false, true},
      {"n 2, typed far more common", "ds 5516364\n", "вы 650\n", Layout::En, "ds", "вы", false, false},
      {"n 2, exactly twenty times", "ds 100\n", "вы 2000\n", Layout::En, "ds", "вы", false, true},
      {"n 2, just under twenty times", "ds 100\n", "вы 1999\n", Layout::En, "ds", "вы", false, false},
      {"n 4, common typed word stays", "that 3138591\n", "ерфе 4294967295\n", Layout::En, "that", "ерфе", false,
       false},
      {"n 4, typed count 1000 is common", "that 1000\n", "ерфе 4294967295\n", Layout::En, "that", "ерфе", false,
       false},
      {"n 4, typed count 999, ratio met", "that 999\n", "ерфе 19980\n", Layout::En, "that", "ерфе", false, true},
      {"n 4, typed count 999, ratio missed", "that 999\n", "ерфе 19979\n", Layout::En, "that", "ерфе", false,
       false},
      {"n 3, common typed word, ratio met", "the 1000\n", "еру 20000\n", Layout::En, "the", "еру", false, true},
      {"n 3, equal counts", "the 500\n", "еру 500\n", Layout::En, "the", "еру", false, false},
      // Twenty times 300,000,000 does not fit in 32 bits (it would wrap to 1,705,032,704).
      {"ratio without overflow", "ds 300000000\n", "вы 2000000000\n", Layout::En, "ds", "вы", false, false},
      {"largest counts", "ds 4294967295\n", "вы 4294967295\n", Layout::En, "ds", "вы", false, false},
      {"typed count zero", "ds 0\n", "вы 0\n", Layout::En, "ds", "вы", false, true},
      {"only converted known", "", "вы 1\n", Layout::En, "ds", "вы", false, true},
      {"both cores are lower-cased", "ds 1\n", "вы 1000\n", Layout::En, "DS", "ВЫ", false, true},
      {"lower-cased converted core is looked up", "", "вы 1\n", Layout::En, "Ds", "Вы", false, true},
      {"typed core in the exceptions", "", privet, Layout::En, "ghbdtn", "привет", false, false, {"ghbdtn"}},
      {"converted core in the exceptions", "", privet, Layout::En, "Ghbdtn", "Привет", false, false, {"привет"}},
      {"exceptions are matched exactly", "", privet, Layout::En, "Ghbdtn", "Привет", false, true,
       {"Привет", "ghbdtn ", "при"}},
  };
  for (const DecisionCase& c : cases) run(c);
}

TEST(DecideWrongLayout, NeitherFormKnown) {
  // ^приветки$ is covered by "привет" and "сетки"; "сетка" leaves out тки and ки$.
  const std::string ru_all = "привет 5\nсетки 3\n";
  const std::string ru_gap = "привет 5\nсетка 3\n";
  const DecisionCase cases[] = {
      {"n 8, all converted trigrams present", "hello 5\n", ru_all, Layout::En, "ghbdtnrb", "приветки", false, true},
      {"n 8, one converted trigram missing", "hello 5\n", ru_gap, Layout::En, "ghbdtnrb", "приветки", false, false},
      // ^gh ghb hbd bdt dtn tn$ and ^xt xtn tnr nrb rbx bx$: only rb$ of ^ghbdtnrb$ is missing.
      {"typed word misses only one trigram", "ghbdtn 1\nxtnrbx 1\n", ru_all, Layout::En, "ghbdtnrb", "приветки",
       false, false},
      {"typed word misses two trigrams", "ghbdtn 1\nxtnrx 1\n", ru_all, Layout::En, "ghbdtnrb", "приветки", false,
       true},
      {"typed word known", "ghbdtnrb 1\n", ru_all, Layout::En, "ghbdtnrb", "приветки", false, false},
      {"n 4, all converted trigrams present", "", "привет 1\nрив 1\nив 1\n", Layout::En, "ghbd", "прив", false,
       false},
      {"n 4 with force", "", "привет 1\nрив 1\nив 1\n", Layout::En, "ghbd", "прив", true, false},
      {"n 5", "", "привет 1\nиве 1\n", Layout::En, "ghbdt", "приве", false, true},
      {"empty dictionaries", "", "", Layout::En, "ghbdtnrb", "приветки", false, false},
  };
  for (const DecisionCase& c : cases) run(c);
}

TEST(DecideWrongLayout, EveryLetterIsLowerCasedForTheLookup) {
  // Each letter key typed with Shift twice: the converted core is found only in lower case.
  for (const KeyRow& row : key_table()) {
    for (Layout l : {Layout::En, Layout::Ru}) {
      const Layout t = other_layout(l);
      if (!is_letter(row.lower(t), t) || !is_letter(row.upper(t), t)) continue;
      SCOPED_TRACE(testing::Message() << "vk " << row.vk() << " into " << int(t));
      std::string typed, converted, word;
      for (int i = 0; i < 2; ++i) {
        text::append_utf8(typed, row.upper(l));
        text::append_utf8(converted, row.upper(t));
        text::append_utf8(word, row.lower(t));
      }
      ASSERT_EQ(text::to_lower(converted), word);
      const std::string list = word + " 5\n";
      const Dictionaries d = t == Layout::En ? build_dictionaries(list, "") : build_dictionaries("", list);
      EXPECT_TRUE(decide_wrong_layout(d, l, typed, converted, {}, false));
      EXPECT_TRUE(plausible_case(converted));
      EXPECT_TRUE(plausible_case(word));
    }
  }
}

TEST(DecideWrongLayout, LengthIsCountedInCharacters) {
  // Neither form known: five characters are judged by trigrams, four are not, though the four
  // Cyrillic letters take eight bytes.
  const DecisionCase cases[] = {
      {"five capitals", "", "привет 1\nиве 1\n", Layout::En, "GHBDT", "ПРИВЕ", false, true},
      {"four capitals", "", "привет 1\nрив 1\nив 1\n", Layout::En, "GHBD", "ПРИВ", false, false},
      {"four with yo", "", "ёжик 1\nёжи 1\nжи 1\n", Layout::En, "~:BR", "ЁЖИК", false, true},  // the word is known
      {"four with yo, unknown", "", "ёжики 1\nик 1\n", Layout::En, "~:BR", "ЁЖИК", false, false},
  };
  for (const DecisionCase& c : cases) run(c);
}

TEST(DecideWrongLayout, ShippedDictionaries) {
  static const Dictionaries d = load_dictionaries();
  struct Case {
    Layout layout;
    std::string typed, converted;
    bool expected;
  } cases[] = {
      {Layout::En, "ghbdtn", "привет", true},  {Layout::Ru, "руддщ", "hello", true},
      {Layout::En, "hello", "руддщ", false},   {Layout::Ru, "привет", "ghbdtn", false},
      {Layout::En, "j,]trn", "объект", true},
      {Layout::En, "ghbdtn?", "привет,", true}, {Layout::En, "rfr", "как", true},
      {Layout::En, "the", "еру", false},       {Layout::Ru, "еру", "the", true},
      {Layout::En, "z", "я", false},           {Layout::En, "ghbdtn2", "привет2", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(decide_wrong_layout(d, c.layout, c.typed, c.converted, {}, false), c.expected);
  }
  EXPECT_TRUE(decide_wrong_layout(d, Layout::En, "z", "я", {}, true));
  EXPECT_FALSE(decide_wrong_layout(d, Layout::Other, "ghbdtn", "привет", {}, true));
}

TEST(DecideWrongLayout, AnyTextIsSafe) {
  static const Dictionaries d = load_dictionaries();
  const std::string texts[] = {"", "\xff", "\xd0", "\xff\xfe\xfd\xfc\xfb", "a\xff" "b", "\U0001F600",
                               "a\U0001F600b", "ghbdtn\U0001F600", "\U0001D400\U0001D401", "\xed\xa0\x80",
                               std::string(1000, 'a'), std::string("a\0b", 3)};
  for (const std::string& typed : texts) {
    for (const std::string& converted : texts) {
      for (Layout l : {Layout::En, Layout::Ru}) {
        for (bool force : {false, true}) {
          (void)decide_wrong_layout(d, l, typed, converted, {}, force);
        }
      }
    }
  }
  // A long word that neither list knows: the trigram test still answers.
  EXPECT_FALSE(decide_wrong_layout(d, Layout::En, std::string(1000, 'q'), std::string(1000, 'q'), {}, false));
}

}  // namespace
}  // namespace klavix
