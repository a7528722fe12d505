// The decision in context: whole tokens with their marks, both readings, the words before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout/layout.h"

namespace klavix {
namespace {

const Dictionaries& dictionaries() {
  static const Dictionaries d = load_dictionaries();
  return d;
}

// A word before, given as it shows and the layout it shows.
struct Before {
  std::string shown, other;
  Layout layout;
};

Before ru(const char* shown, const char* other) { return {shown, other, Layout::Ru}; }
Before en(const char* shown, const char* other) { return {shown, other, Layout::En}; }

struct Case {
  const char* kind;
  Layout typed_in;
  std::string typed, converted;
  std::vector<Before> before;  // nearest first
  bool carried;                // judged as a word right before a converted one
  bool expected;
};

bool decide(const Case& c, const WordSet& exceptions = {}, bool by_hand = false) {
  std::vector<WordBefore> before;
  for (const Before& b : c.before) before.push_back({b.shown, b.other, b.layout});
  const WordContext context{before, by_hand};
  return c.carried ? decide_carried(dictionaries(), c.typed_in, c.typed, c.converted, exceptions, context)
                   : decide_in_context(dictionaries(), c.typed_in, c.typed, c.converted, exceptions, context);
}

TEST(ContextDecision, ByKind) {
  const std::vector<Case> cases = {
      // What the word decision did right stays right.
      {"a Russian word typed on En", Layout::En, "ghbdtn", "привет", {}, false, true},
      {"an English word typed on Ru", Layout::Ru, "руддщ", "hello", {}, false, true},
      {"punctuation keys inside the typed word", Layout::En, "j,]trn", "объект", {}, false, true},
      {"a right English word", Layout::En, "hello", "руддщ", {}, false, false},
      {"a right Russian word", Layout::Ru, "привет", "ghbdtn", {}, false, false},
      {"a digit inside", Layout::En, "ghbdtn1", "привет1", {}, false, false},
      {"an address", Layout::En, "ghbdtn@vfbk", "привет\"мфшл", {}, false, false},
      {"a third layout", Layout::Other, "ghbdtn", "привет", {}, false, false},
      {"a case no one types", Layout::En, "gHBDTN", "пРИВЕТ", {}, false, false},
      // English contractions: the apostrophe is the key э.
      {"it's", Layout::Ru, "Шеэы", "It's", {}, false, true},
      {"don't", Layout::Ru, "вщтэе", "don't", {}, false, true},
      {"you'll", Layout::Ru, "нщгэдд", "you'll", {}, false, true},
      // Keys that are letters on one side and marks on the other, at either end.
      {"a leading quote", Layout::Ru, "ЭРщц", "\"How", {}, false, true},
      {"a trailing colon", Layout::Ru, "ДфцЖ", "Law:", {}, false, true},
      {"a Russian word in quotes typed on En", Layout::En, "@Ghbdtn@?", "\"Привет\",", {}, false, true},
      {"ё read as a backtick", Layout::Ru, "ещё", "to`", {}, false, false},
      {"ю read as a full stop, after Russian", Layout::Ru, "шею", "it.", {ru("на", "yf")}, false, false},
      {"a common Russian word after Russian", Layout::Ru, "рук", "her", {ru("без", ",tp")}, false, false},
      // Unlisted words by the letter model.
      {"an unlisted Russian word typed on En", Layout::En, "Ldeyjufz", "Двуногая", {}, false, true},
      {"an unlisted English word stays", Layout::En, "klavix", "лдфмшч", {}, false, false},
      {"short unlisted words are never converted", Layout::En, "ghb", "при", {}, false, false},
      // One and two letters, by their neighbours.
      {"я alone", Layout::En, "z", "я", {}, false, false},
      {"я before a converted word", Layout::En, "z", "я", {}, true, true},
      {"и before a converted word", Layout::En, "b", "и", {}, true, true},
      {"a before a converted word", Layout::Ru, "ф", "a", {}, true, true},
      {"же stays before a converted word", Layout::Ru, "же", ";t", {}, true, false},
      {"I after English shown", Layout::Ru, "Ш", "I", {en("and", "фтв")}, true, true},
      // The words before lean the answer.
      {"English before leans toward English", Layout::Ru, "ыщ", "so", {en("and", "фтв"), en("then", "ерут")}, false, true},
      {"a Russian word after Russian stays", Layout::Ru, "ну", "ye", {ru("это", "'nj"), ru("все", "dct")}, false, false},
      {"the same alone", Layout::Ru, "ну", "ye", {}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + ": " + c.typed + " -> " + c.converted);
    EXPECT_EQ(decide(c), c.expected);
  }
}

TEST(ContextDecision, TheUsersOwnSwitchRightBeforeKeepsTheWord) {
  const Case c{"", Layout::En, "ghbdtn", "привет", {ru("я", "z")}, false, true};
  EXPECT_TRUE(decide(c));
  EXPECT_FALSE(decide(c, {}, true));
  EXPECT_FALSE(decide({"", Layout::En, "z", "я", {}, true, true}, {}, true));
}

TEST(ContextDecision, NeverAWordTheExceptionsHold) {
  // Either form, and the keys of the word's core, whether it is decided or carried along.
  for (const char* exception : {"привет", "ghbdtn"}) {
    SCOPED_TRACE(exception);
    const WordSet exceptions{exception};
    EXPECT_FALSE(decide({"", Layout::En, "ghbdtn", "привет", {}, false, true}, exceptions));
    EXPECT_FALSE(decide({"", Layout::En, "Ghbdtn,", "Привет?", {}, false, true}, exceptions));
    EXPECT_FALSE(decide({"", Layout::En, "ghbdtn", "привет", {}, true, true}, exceptions));
  }
  EXPECT_FALSE(decide({"", Layout::Ru, "Шеэы", "It's", {}, false, true}, WordSet{"it's"}));
}

TEST(ContextDecision, ReadingAdvantageFavoursTheLikelierReading) {
  EXPECT_GT(reading_advantage(dictionaries(), Layout::En, "ghbdtn", "привет"), 20.0);
  EXPECT_LT(reading_advantage(dictionaries(), Layout::En, "hello", "руддщ"), -20.0);
  EXPECT_LT(reading_advantage(dictionaries(), Layout::Other, "hello", "руддщ"), -20.0);
}

}  // namespace
}  // namespace klavix
