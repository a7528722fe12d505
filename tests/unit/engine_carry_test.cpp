// The decision in context at the engine: the words before, the user's own switches, and the
// words that go along with a converted one.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

class Carry : public EngineDesk {};

TEST_F(Carry, WordsBeforeAConvertedWordGoAlong) {
  struct Case {
    const char* name;
    Decision decision;
    std::function<void(Carry&)> script;
    const char* expected;
    std::vector<std::string> words;  // of the last correction, the last word first
  };
  const std::vector<Case> cases = {
      {"two short words", Decision::Context, [](Carry& t) { t.type_keys("b z ghbdtn "); }, "и я привет ",
       {"ghbdtn", "z", "b"}},
      {"the word decision takes one", Decision::Word, [](Carry& t) { t.type_keys("b z ghbdtn "); },
       "b я привет ", {"ghbdtn", "z"}},
      {"at most three", Decision::Context, [](Carry& t) { t.type_keys("b z b z ghbdtn "); }, "b я и я привет ",
       {"ghbdtn", "z", "b", "z"}},
      {"a word that reads right stops the carry", Decision::Context,
       [](Carry& t) { t.type_keys("b z ok b ghbdtn "); }, "b z ok и привет ", {"ghbdtn", "b"}},
      {"an undone word is never carried again", Decision::Context,
       [](Carry& t) {
         t.type_keys("ghbdtn ");
         t.hotkey_word();  // undone: the user wants ghbdtn
         t.set_layout(layout_en_us);
         t.type_keys("z ghbdtn ");
       },
       "ghbdtn я привет ", {"ghbdtn", "z"}},
      {"the user's switch right before the word keeps it", Decision::Context,
       [](Carry& t) {
         t.set_layout(layout_ru);
         t.type_keys("z ");  // я, right
         t.set_layout(layout_en_us);
         t.type_keys("ghbdtn ");
       },
       "я ghbdtn ", {}},
      {"a word typed after switching back by hand is no key left over from a correction",
       Decision::Context,
       [](Carry& t) {
         t.type_keys("ghbdtn ");  // corrected, the window switches to Russian
         t.type("мир ");
         t.set_layout(layout_en_us);
         t.type("Linux ");
         t.set_layout(layout_ru);
         t.type("и ");
       },
       "привет мир Linux и ", {"ghbdtn"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engine().decision = c.decision;
    window = desk.create_window();
    c.script(*this);
    EXPECT_EQ(shown(), c.expected);
    if (c.words.empty()) {
      EXPECT_FALSE(engine().last_correction.has_value());
    } else {
      ASSERT_TRUE(engine().last_correction.has_value());
      EXPECT_EQ(engine().last_correction->words, c.words);
    }
  }
}

TEST_F(Carry, TheHotkeyUndoesTheWordsCarriedAlongAndCountsThem) {
  type_keys("b z ghbdtn ");
  ASSERT_EQ(shown(), "и я привет ");
  hotkey_word();
  EXPECT_EQ(shown(), "b z ghbdtn ");
  EXPECT_EQ(requested().back(), Layout::En);
  for (const char* word : {"ghbdtn", "z", "b"}) EXPECT_EQ(engine().undo_counts[word], 1u) << word;
}

TEST_F(Carry, AnExceptionIsNeverCarriedAlong) {
  write_file(settings.dir() / "exceptions.txt", "я\n");
  touch_later(settings.dir() / "exceptions.txt");
  type_keys("b z ghbdtn ");
  EXPECT_EQ(shown(), "b z привет ");
}

}  // namespace
}  // namespace klavix::testing
