// The embedded word lists and the dictionaries built from them or from any list text.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "layout/layout.h"
#include "text/text.h"

namespace klavix {
namespace {

std::string first_line(std::string_view s) { return std::string(s.substr(0, s.find('\n'))); }

std::string last_line(std::string_view s) {
  s.remove_suffix(1);  // the final line feed
  return std::string(s.substr(s.rfind('\n') + 1));
}

// The whole embedded dictionaries are built once for all tests that read them.
const Dictionaries& shipped() {
  static const Dictionaries d = load_dictionaries();
  return d;
}

// ---- the embedded lists ----

TEST(EmbeddedLists, Figures) {
  struct Case {
    Layout layout;
    std::size_t lines, bytes, trigrams;
    const char* first;
    const char* last;
  } cases[] = {
      {Layout::En, 46717, 581332, 7680, "you 28787591", "pho 159"},
      {Layout::Ru, 48694, 985103, 9434, "я 5081568", "грейт 138"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.layout));
    const std::string_view list = embedded_word_list(c.layout);
    EXPECT_EQ(list.size(), c.bytes);
    EXPECT_EQ(static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n')), c.lines);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.back(), '\n');
    EXPECT_EQ(first_line(list), c.first);
    EXPECT_EQ(last_line(list), c.last);
    EXPECT_TRUE(text::is_valid_utf8(list));
    EXPECT_EQ(word_total(shipped(), c.layout), c.lines);
    EXPECT_EQ(trigram_count(shipped(), c.layout), c.trigrams);
  }
  EXPECT_TRUE(embedded_word_list(Layout::Other).empty());
}

TEST(EmbeddedLists, WordsWithYoAndHyphen) {
  const std::string_view ru = embedded_word_list(Layout::Ru);
  std::size_t yo = 0, hyphen = 0;
  for (std::size_t pos = 0; pos < ru.size();) {
    const std::size_t lf = ru.find('\n', pos);
    const std::string_view word = ru.substr(pos, ru.find(' ', pos) - pos);
    yo += word.find("ё") != std::string_view::npos;
    hyphen += word.find('-') != std::string_view::npos;
    pos = lf + 1;
  }
  EXPECT_EQ(yo, 821u);
  EXPECT_EQ(hyphen, 445u);
}

TEST(EmbeddedLists, Lookups) {
  struct Case {
    Layout layout;
    std::string word;
    bool found;
    std::uint32_t count;
  } cases[] = {
      {Layout::En, "you", true, 28787591}, {Layout::En, "i", true, 27086011},  {Layout::En, "pho", true, 159},
      {Layout::Ru, "я", true, 5081568},    {Layout::Ru, "грейт", true, 138},   {Layout::Ru, "что-то", true, 162833},
      {Layout::En, "я", false, 0},         {Layout::Ru, "you", false, 0},      {Layout::En, "You", false, 0},
      {Layout::En, "you ", false, 0},      {Layout::En, "yo", true, 46233},        {Layout::En, "", false, 0},
      {Layout::En, "you 28787591", false, 0},  // a line is not a word
      {Layout::En, "ghbdtn", false, 0},    {Layout::Ru, "привет", true, 177992},    {Layout::Ru, "Привет", false, 0},
      {Layout::Other, "you", false, 0},
      // "ё" is a letter of its own: the two spellings are separate entries.
      {Layout::Ru, "еще", true, 268978},   {Layout::Ru, "ещё", true, 179679},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    const WordLookup r = word_count(shipped(), c.layout, c.word);
    EXPECT_EQ(r.found, c.found);
    EXPECT_EQ(r.count, c.count);
  }
}

// Every word of a list, looked up, gives the count on its line.
TEST(EmbeddedLists, EveryLineIsFoundWithItsCount) {
  for (Layout l : {Layout::En, Layout::Ru}) {
    const std::string_view list = embedded_word_list(l);
    std::size_t checked = 0;
    for (std::size_t pos = 0; pos < list.size();) {
      const std::size_t lf = list.find('\n', pos);
      const std::size_t space = list.find(' ', pos);
      const std::string_view word = list.substr(pos, space - pos);
      const auto count = static_cast<std::uint32_t>(std::stoul(std::string(list.substr(space + 1, lf - space - 1))));
      const WordLookup r = word_count(shipped(), l, word);
      ASSERT_TRUE(r.found) << word;
      ASSERT_EQ(r.count, count) << word;
      ASSERT_EQ(missing_trigrams(shipped(), l, word), 0u) << word;
      ++checked;
      pos = lf + 1;
    }
    EXPECT_EQ(checked, word_total(shipped(), l));
  }
}

// "^", the characters, "$".
std::u32string marked(std::string_view word) {
  std::u32string w(1, U'^');
  w += *text::decode_utf8(word);
  w.push_back(U'$');
  return w;
}

// A plain set of code-point triples, made the slow way, as a reference.
std::set<std::u32string> reference_trigrams(std::string_view list) {
  std::set<std::u32string> out;
  for (std::size_t pos = 0; pos < list.size();) {
    const std::size_t lf = list.find('\n', pos);
    const std::u32string w = marked(list.substr(pos, list.find(' ', pos) - pos));
    for (std::size_t i = 0; i + 3 <= w.size(); ++i) out.insert(w.substr(i, 3));
    pos = lf + 1;
  }
  return out;
}

TEST(EmbeddedLists, MissingTrigramsAgreeWithAPlainSet) {
  struct Case {
    Layout layout;
    std::string word;
  } cases[] = {
      {Layout::En, "ghbdtn"},  {Layout::En, "ghbdtnrb"}, {Layout::En, "hello"}, {Layout::En, "xqzj"},
      {Layout::En, "zzzzzz"},  {Layout::Ru, "руддщ"},    {Layout::Ru, "привет"}, {Layout::Ru, "ъъъ"},
      {Layout::Ru, "ёжик"},    {Layout::Ru, "ьы"},       {Layout::En, "q"},      {Layout::Ru, "щщщщщщщщщщ"},
  };
  const std::set<std::u32string> ref[2] = {reference_trigrams(embedded_word_list(Layout::En)),
                                           reference_trigrams(embedded_word_list(Layout::Ru))};
  EXPECT_EQ(ref[0].size(), 7680u);
  EXPECT_EQ(ref[1].size(), 9434u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    const std::u32string w = marked(c.word);
    unsigned expected = 0;
    for (std::size_t i = 0; i + 3 <= w.size(); ++i) expected += !ref[int(c.layout)].count(w.substr(i, 3));
    EXPECT_EQ(missing_trigrams(shipped(), c.layout, c.word), expected);
  }
  EXPECT_EQ(missing_trigrams(shipped(), Layout::Ru, "привет"), 0u);
  EXPECT_GE(missing_trigrams(shipped(), Layout::En, "ghbdtn"), 2u);
}

// ---- reading list text ----

TEST(BuildDictionaries, LineRules) {
  struct Case {
    const char* name;
    std::string list;
    std::string word;
    bool found;
    std::uint32_t count;
  } cases[] = {
      {"plain", "word 12\n", "word", true, 12},
      {"line without a count is skipped", "word\n", "word", false, 0},
      {"last line without a count is skipped", "a 1\nword", "word", false, 0},
      {"count that is no number", "word x\n", "word", true, 1},
      {"plus sign", "word +7\n", "word", true, 7},
      {"lone plus sign", "word +\n", "word", true, 1},
      {"two plus signs", "word ++7\n", "word", true, 1},
      {"minus sign", "word -7\n", "word", true, 1},
      {"minus zero", "word -0\n", "word", true, 1},
      {"empty count", "word \n", "word", true, 1},
      {"two spaces give an empty count", "word  5\n", "word", true, 1},
      {"largest count", "word 4294967295\n", "word", true, 4294967295u},
      {"overflow", "word 4294967296\n", "word", true, 1},
      {"far overflow", "word 99999999999999999999999\n", "word", true, 1},
      {"leading zeros", "word 007\n", "word", true, 7},
      {"zero", "word 0\n", "word", true, 0},
      {"hex", "word 0x10\n", "word", true, 1},
      {"digits then letters", "word 12ab\n", "word", true, 1},
      {"tab inside the count", "word 1\t2\n", "word", true, 1},
      {"further fields ignored", "word 12 34 x\n", "word", true, 12},
      {"CRLF", "word 7\r\nnext 3\r\n", "word", true, 7},
      {"CRLF next line", "word 7\r\nnext 3\r\n", "next", true, 3},
      {"CRLF without a count", "word\r\n", "word", false, 0},
      {"CRLF without a count keeps no CR", "word\r\n", "word\r", false, 0},
      {"CR not before a line feed stays in the count", "word 7\r", "word", true, 1},
      {"CR inside a word", "wo\rrd 3\n", "wo\rrd", true, 3},
      {"no final line feed", "a 1\nword 7", "word", true, 7},
      {"later duplicate wins", "word 5\nword 9\n", "word", true, 9},
      {"later duplicate wins, even smaller", "word 9\nother 2\nword 5\n", "word", true, 5},
      {"later duplicate with a bad count", "word 9\nword x\n", "word", true, 1},
      {"a shorter word is another word", "words 5\n", "word", false, 0},
      {"a longer word is another word", "word 5\n", "words", false, 0},
      {"a query with the count is no word", "word 5\n", "word 5", false, 0},
      {"a query with a space is no word", "a b 5\n", "a b", false, 0},
      {"empty lines", "\n\nword 4\n\n", "word", true, 4},
      {"empty word", " 4\n", "", true, 4},
      {"empty text", "", "word", false, 0},
      {"only line feeds", "\n\n\n", "", false, 0},
      {"a word that is not UTF-8 is skipped", "a\xff" "b 5\n", "a\xff" "b", false, 0},
      {"a truncated character is skipped", "a\xd0 5\n", "a\xd0", false, 0},
      {"skipping does not affect the next line", "a\xff 5\nab 6\n", "ab", true, 6},
      {"astral characters", "a😀 3\n", "a😀", true, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (Layout l : {Layout::En, Layout::Ru}) {
      const Dictionaries d = l == Layout::En ? build_dictionaries(c.list, "") : build_dictionaries("", c.list);
      const WordLookup r = word_count(d, l, c.word);
      EXPECT_EQ(r.found, c.found);
      EXPECT_EQ(r.count, c.count);
      EXPECT_FALSE(word_count(d, other_layout(l), c.word).found);
    }
  }
}

// A line may give the empty word; looking it up through an empty view, which has no data,
// must find it without handing memcmp a null pointer (the sanitizers stop there).
TEST(BuildDictionaries, EmptyWordThroughAViewWithoutData) {
  const Dictionaries d = build_dictionaries(" 4\n", "x 1\n 5\n");
  const WordLookup en = word_count(d, Layout::En, std::string_view());
  const WordLookup ru = word_count(d, Layout::Ru, std::string_view());
  EXPECT_TRUE(en.found);
  EXPECT_EQ(en.count, 4u);
  EXPECT_TRUE(ru.found);
  EXPECT_EQ(ru.count, 5u);
}

TEST(BuildDictionaries, Trigrams) {
  struct Case {
    const char* name;
    std::string list;
    std::size_t words, trigrams;
  } cases[] = {
      {"two letters give two", "да 1\n", 1, 2},
      {"one letter gives one", "a 1\n", 1, 1},
      {"repetition adds none", "ab 1\nab 2\n", 1, 2},
      {"shared trigrams counted once", "ab 1\nabc 2\n", 2, 4},  // ^ab ab$ abc bc$
      {"markers make ends differ", "aaa 1\n", 1, 3},            // ^aa aaa aa$
      {"empty word has none", " 3\n", 1, 0},
      {"skipped lines add none", "abc\nabc x\n", 1, 3},
      {"a word that is not UTF-8 adds nothing", "a\xff" "b 1\n", 0, 0},
      {"CRLF adds no CR", "ab 1\r\n", 1, 2},
      {"astral", "😀 1\n😁 1\n", 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Dictionaries d = build_dictionaries(c.list, c.list);
    for (Layout l : {Layout::En, Layout::Ru}) {
      EXPECT_EQ(word_total(d, l), c.words);
      EXPECT_EQ(trigram_count(d, l), c.trigrams);
    }
  }
}

TEST(BuildDictionaries, MissingTrigrams) {
  const Dictionaries d = build_dictionaries("hello 5\nab 1\n😀x 2\n", "привет 1\nкот 2\n");
  struct Case {
    Layout layout;
    std::string word;
    unsigned missing;
  } cases[] = {
      {Layout::Ru, "привет", 0},
      {Layout::Ru, "кот", 0},
      {Layout::Ru, "при", 1},           // ^пр при present, ри$ not
      {Layout::Ru, "котот", 2},         // ото тот
      {Layout::Ru, "ототот", 5},        // a missing trigram counts at every occurrence
      {Layout::Ru, "", 0},              // no trigrams at all
      {Layout::Ru, "к", 1},
      {Layout::Ru, "hello", 5},
      {Layout::En, "hello", 0},
      {Layout::En, "hell", 1},          // ll$
      {Layout::En, "ab", 0},
      {Layout::En, "a", 1},             // ^a$ is no trigram of "ab"
      {Layout::En, "😀x", 0},
      {Layout::En, "😁x", 2},           // neighbouring astral code points are different characters
      {Layout::En, "Hello", 2},         // no folding: ^He Hel
      // Not UTF-8: every character missing, an invalid byte counting as one.
      {Layout::En, "\xff\xfe", 2},
      {Layout::Ru, "при\xff", 4},       // even the trigrams that are present
      {Layout::Ru, "\xd0", 1},          // a truncated sequence
      {Layout::Ru, "\xd0\xbf\xd1", 2},  // "п" then a truncated one
      {Layout::En, "\xe0\x80\x80", 3},  // an overlong form
      {Layout::En, "\xed\xa0\x80", 3},  // an encoded surrogate
      {Layout::Other, "hello", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    EXPECT_EQ(missing_trigrams(d, c.layout, c.word), c.missing);
  }
  for (std::string_view bad : {"\xff", "\xc3\x28", "h\xffllo", "\xf4\x90\x80\x80"}) {
    EXPECT_FALSE(word_count(d, Layout::En, bad).found);
  }
}

TEST(BuildDictionaries, EmptyListsFindNothing) {
  const Dictionaries d = build_dictionaries("", "no-count-lines\nhere\n");
  for (Layout l : {Layout::En, Layout::Ru}) {
    SCOPED_TRACE(int(l));
    EXPECT_FALSE(word_count(d, l, "").found);
    EXPECT_FALSE(word_count(d, l, "here").found);
    EXPECT_EQ(missing_trigrams(d, l, "abc"), 3u);
    EXPECT_EQ(missing_trigrams(d, l, "привет"), 6u);
    EXPECT_EQ(missing_trigrams(d, l, ""), 0u);
    EXPECT_EQ(word_total(d, l), 0u);
    EXPECT_EQ(trigram_count(d, l), 0u);
  }
}

TEST(BuildDictionaries, ManyWords) {
  // Enough distinct words and trigrams to crowd the tables: every one is still found.
  std::string list;
  std::vector<std::string> words;
  for (unsigned i = 0; i < 20000; ++i) {
    std::string w;
    for (unsigned v = i; ; v /= 26) {
      w.push_back(static_cast<char>('a' + v % 26));
      if (v < 26) break;
    }
    w += "q";
    list += w + " " + std::to_string(i) + "\n";
    words.push_back(w);
  }
  const Dictionaries d = build_dictionaries(list, list);
  EXPECT_EQ(word_total(d, Layout::En), words.size());
  for (unsigned i = 0; i < words.size(); ++i) {
    const WordLookup r = word_count(d, Layout::Ru, words[i]);
    ASSERT_TRUE(r.found) << words[i];
    ASSERT_EQ(r.count, i) << words[i];
    ASSERT_EQ(missing_trigrams(d, Layout::En, words[i]), 0u) << words[i];
    ASSERT_FALSE(word_count(d, Layout::En, words[i] + "x").found);
  }
}

TEST(BuildDictionaries, SurvivesAMove) {
  Dictionaries d = build_dictionaries("cat 3\n", "кот 4\n");
  Dictionaries moved = std::move(d);
  EXPECT_EQ(word_count(moved, Layout::En, "cat").count, 3u);
  Dictionaries other = build_dictionaries("", "");
  other = std::move(moved);
  EXPECT_EQ(word_count(other, Layout::Ru, "кот").count, 4u);
  EXPECT_EQ(missing_trigrams(other, Layout::Ru, "кот"), 0u);
}

TEST(BuildDictionaries, TheListTextMayGoAway) {
  // The dictionaries keep what they need of a list that is not the embedded one.
  std::string en = "cat 3\ndog 5\n";
  Dictionaries d = build_dictionaries(en, std::string("кот 4\n"));
  std::fill(en.begin(), en.end(), 'x');
  en.clear();
  en.shrink_to_fit();
  EXPECT_EQ(word_count(d, Layout::En, "dog").count, 5u);
  EXPECT_EQ(word_count(d, Layout::Ru, "кот").count, 4u);
}

}  // namespace
}  // namespace klavix
