// Counting undone corrections and the exception prompt.
#include "app/texts.h"
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

class UndoCount : public EngineDesk {
 public:
  // Types the word on En in a fresh window, lets it be corrected, and undoes it.
  void correct_and_undo(std::string_view word, std::string_view corrected) {
    const WindowHandle w = desk.create_window();
    type(std::string(word) + " ");
    ASSERT_EQ(desk.text_utf8(w), std::string(corrected) + " ");
    hotkey_word();
    ASSERT_EQ(desk.text_utf8(w), std::string(word) + " ");
  }
  std::filesystem::path exceptions_file() const { return settings.dir() / "exceptions.txt"; }
};

TEST_F(UndoCount, ThirdUndoAsksAndYesAddsTheWord) {
  desk.queue_answers({win::IDYES});
  correct_and_undo("ghbdtn", "привет");
  correct_and_undo("ghbdtn", "привет");
  EXPECT_TRUE(desk.message_boxes().empty());
  correct_and_undo("ghbdtn", "привет");
  const std::vector<SimMessageBox> boxes = desk.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, 0u);
  EXPECT_EQ(boxes[0].text, exception_prompt_text("ghbdtn"));
  EXPECT_NE(boxes[0].text.find("«ghbdtn»"), std::string::npos);
  EXPECT_NE(boxes[0].text.find(" 3 "), std::string::npos);
  EXPECT_EQ(boxes[0].caption, app_caption);
  EXPECT_EQ(boxes[0].style, 0x50124u);
  EXPECT_EQ(read_file(exceptions_file()), "ghbdtn\n");
  EXPECT_TRUE(contains(engine().exceptions, "ghbdtn"));
  // The record was emptied before the prompt, and the word is never switched again.
  EXPECT_TRUE(engine().keys.empty());
  EXPECT_TRUE(engine().undo_counts.empty());
  const WindowHandle w = desk.create_window();
  type("ghbdtn ");
  EXPECT_EQ(desk.text_utf8(w), "ghbdtn ");
}

// Words typed with punctuation keys inside have no core: their word key is the typed text.
TEST_F(UndoCount, YesHoldsForAWordWithoutCore) {
  struct Case {
    const char* typed;
    const char* corrected;
  };
  const Case cases[] = {{"e;t", "уже"}, {"j,]trn", "объект"}};
  desk.set_default_answer(win::IDYES);
  std::string written;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    for (int i = 0; i < 3; ++i) correct_and_undo(c.typed, c.corrected);
    written += std::string(c.typed) + "\n";
    EXPECT_EQ(read_file(exceptions_file()), written);
    EXPECT_EQ(desk.message_boxes().back().text, exception_prompt_text(c.typed));
    // Never corrected again: no more undos to count, so no prompt and no second line.
    const std::size_t boxes = desk.message_boxes().size();
    for (int i = 0; i < 4; ++i) {
      const WindowHandle w = desk.create_window();
      type(std::string(c.typed) + " ");
      EXPECT_EQ(desk.text_utf8(w), std::string(c.typed) + " ");
      hotkey_word();  // converts the word by hand, nothing to undo
      EXPECT_EQ(desk.text_utf8(w), std::string(c.corrected) + " ");
    }
    EXPECT_EQ(desk.message_boxes().size(), boxes);
    EXPECT_EQ(read_file(exceptions_file()), written);
  }
}

TEST_F(UndoCount, PromptComesAfterTheTextIsRestored) {
  std::vector<SimCallKind> order;
  desk.set_observer([&](const SimCall& c) {
    if (c.kind == SimCallKind::SendInput || c.kind == SimCallKind::MessageBox) order.push_back(c.kind);
  });
  correct_and_undo("ghbdtn", "привет");
  correct_and_undo("ghbdtn", "привет");
  order.clear();
  correct_and_undo("ghbdtn", "привет");
  // Typing the correction, the undo, then the prompt.
  EXPECT_EQ(order, (std::vector<SimCallKind>{SimCallKind::SendInput, SimCallKind::SendInput, SimCallKind::MessageBox}));
  desk.set_observer(nullptr);
}

TEST_F(UndoCount, AnswersOtherThanYesWriteNothing) {
  struct Case {
    const char* name;
    int answer;
  };
  const Case cases[] = {{"No", win::IDNO}, {"the box failed", 0}, {"closed some other way", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_default_answer(c.answer);
    const std::size_t before = desk.message_boxes().size();
    for (int i = 0; i < 3; ++i) correct_and_undo("ghbdtn", "привет");
    EXPECT_EQ(desk.message_boxes().size(), before + 1);
    EXPECT_FALSE(std::filesystem::exists(exceptions_file()));
    EXPECT_FALSE(contains(engine().exceptions, "ghbdtn"));
  }
}

TEST_F(UndoCount, NoBringsThePromptBackAfterThreeMore) {
  desk.set_default_answer(win::IDNO);
  for (int i = 0; i < 5; ++i) correct_and_undo("ghbdtn", "привет");
  EXPECT_EQ(desk.message_boxes().size(), 1u);
  correct_and_undo("ghbdtn", "привет");
  EXPECT_EQ(desk.message_boxes().size(), 2u);
}

TEST_F(UndoCount, ShortWordIsCountedToo) {
  desk.queue_answers({win::IDYES, win::IDYES});
  for (int i = 0; i < 3; ++i) correct_and_undo("z ghbdtn", "я привет");
  const std::vector<SimMessageBox> boxes = desk.message_boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, exception_prompt_text("ghbdtn"));
  EXPECT_EQ(boxes[1].text, exception_prompt_text("z"));
  EXPECT_EQ(read_file(exceptions_file()), "ghbdtn\nz\n");
}

TEST_F(UndoCount, CapsLockRepairCountsNothing) {
  for (int i = 0; i < 3; ++i) {
    const WindowHandle w = desk.create_window();
    set_layout(layout_ru);
    if (!rt.caps_on) caps_lock();
    type_keys("Lj,fdm ");
    ASSERT_EQ(desk.text_utf8(w), "Добавь ");
    hotkey_word();
    ASSERT_EQ(desk.text_utf8(w), "дОБАВЬ ");
  }
  EXPECT_TRUE(engine().undo_counts.empty());
  EXPECT_TRUE(desk.message_boxes().empty());
}

TEST_F(UndoCount, YesCreatesAMissingFile) {
  write_file(exceptions_file(), "# comment\n");
  engine();
  std::filesystem::remove(exceptions_file());
  desk.set_default_answer(win::IDYES);
  for (int i = 0; i < 3; ++i) correct_and_undo("ghbdtn", "привет");
  EXPECT_EQ(read_file(exceptions_file()), "ghbdtn\n");
}

TEST_F(UndoCount, YesKeepsWhatTheUserWrote) {
  write_file(exceptions_file(), "# my words\nlol");
  desk.set_default_answer(win::IDYES);
  for (int i = 0; i < 3; ++i) correct_and_undo("ghbdtn", "привет");
  const std::string bytes = read_file(exceptions_file());
  EXPECT_EQ(bytes.rfind("# my words\nlol", 0), 0u);
  EXPECT_NE(bytes.find("\nghbdtn\n"), std::string::npos);
  EXPECT_TRUE(contains(engine().exceptions, "lol"));
}

TEST_F(UndoCount, MapIsEmptiedPastItsBound) {
  Engine& e = engine();
  for (int i = 0; i < 501; ++i) count_undo(e, {std::string("w").append(std::to_string(i))});
  EXPECT_EQ(e.undo_counts.size(), 501u);
  count_undo(e, {"w0"});
  EXPECT_EQ(e.undo_counts.size(), 1u);
  EXPECT_EQ(e.undo_counts.at("w0"), 1u);

  // At 500 entries nothing is dropped.
  e.undo_counts.clear();
  for (int i = 0; i < 500; ++i) count_undo(e, {std::string("v").append(std::to_string(i))});
  count_undo(e, {"v0"});
  EXPECT_EQ(e.undo_counts.size(), 500u);
  EXPECT_EQ(e.undo_counts.at("v0"), 2u);
}

TEST(WordKey, FormOfTheWord) {
  struct Case {
    const char* name;
    std::vector<Keystroke> keys;
    Layout layout;
    const char* expected;
  };
  auto k = [](std::uint16_t vk, Layout l, bool shift = false) { return Keystroke{vk, l, std::uint8_t(shift), 0}; };
  const std::vector<Case> cases = {
      {"as typed, lowercased", {k('G', Layout::En, true), k('H', Layout::En), k('B', Layout::En)}, Layout::En, "ghb"},
      {"in the layout it was typed in", {k('G', Layout::Ru), k('H', Layout::Ru)}, Layout::Ru, "пр"},
      {"punctuation at the ends cut off", {k(0xDE, Layout::En), k('A', Layout::En), k(0xBE, Layout::En)}, Layout::En, "a"},
      {"not a clean word: kept whole", {k('A', Layout::En), k('1', Layout::En), k('B', Layout::En)}, Layout::En, "a1b"},
      {"no letters at all: kept whole", {k('1', Layout::En), k(0xBD, Layout::En)}, Layout::En, "1-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(word_key(c.keys, 0, c.keys.size(), c.layout), c.expected);
  }
}

}  // namespace
}  // namespace klavix::testing
