// The automatic correction after a space, typed through the hook logic into a notepad window.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

class AutoCorrect : public EngineDesk {};

TEST_F(AutoCorrect, WhatASpaceDoes) {
  struct Case {
    const char* name;
    LayoutHandle layout;     // the window's layout while typing
    const char* typed;       // typed on that layout
    const char* expected;    // what the window shows afterwards
    std::size_t backspaces;  // in the correction
    std::vector<Layout> requests;
  };
  const std::vector<Case> cases = {
      {"a Russian word typed on En", layout_en_us, "ghbdtn ", "привет ", 7, {Layout::Ru}},
      {"an English word typed on Ru", layout_ru, "руддщ ", "hello ", 6, {Layout::En}},
      {"a short word before it goes along", layout_en_us, "z ghbdtn ", "я привет ", 9, {Layout::Ru}},
      {"a three-letter word before it stays", layout_en_us, "xyz ghbdtn ", "xyz привет ", 7, {Layout::Ru}},
      {"a one-key word alone is never converted", layout_en_us, "z ", "z ", 0, {}},
      {"a right English word stays", layout_en_us, "hello ", "hello ", 0, {}},
      {"a right Russian word stays", layout_ru, "привет ", "привет ", 0, {}},
      {"a word typed on a third layout stays", layout_de, "ghbdtn ", "ghbdtn ", 0, {}},
      {"a space after a space does nothing more", layout_en_us, "ghbdtn  ", "привет  ", 7, {Layout::Ru}},
      {"a space as the first key does nothing", layout_en_us, " ", " ", 0, {}},
      {"a word with a digit stays", layout_en_us, "ghbdtn1 ", "ghbdtn1 ", 0, {}},
      {"each word is judged at its own space", layout_en_us, "ghbdtn vbh ", "привет мир ", 7, {Layout::Ru}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WindowHandle w = desk.create_window();
    desk.set_window_layout(w, c.layout);
    desk.clear_calls();
    type(c.typed);
    EXPECT_EQ(desk.text_utf8(w), c.expected);
    EXPECT_EQ(sent().backspaces, c.backspaces);
    EXPECT_EQ(requested(), c.requests);
  }
}

TEST_F(AutoCorrect, CorrectionRecordsAndRequest) {
  type("ghbdtn ");
  const std::vector<KeyInput> records = desk.sent_records();
  ASSERT_EQ(records.size(), 28u);  // 7 backspace taps, 7 characters, down and up each
  for (std::size_t i = 0; i < 14; i += 2) {
    EXPECT_EQ(records[i].vk, win::VK_BACK);
    EXPECT_EQ(records[i].flags, 0u);
    EXPECT_EQ(records[i + 1].flags, win::KEYEVENTF_KEYUP);
  }
  EXPECT_EQ(summarise(records).typed, "привет ");
  // One burst: a single SendInput call, then the request for the Russian layout.
  std::vector<SimCall> calls;
  for (const SimCall& c : desk.calls())
    if (c.kind == SimCallKind::SendInput || c.kind == SimCallKind::PostMessage) calls.push_back(c);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].kind, SimCallKind::SendInput);
  EXPECT_EQ(calls[1].kind, SimCallKind::PostMessage);
  EXPECT_EQ(calls[1].message, win::WM_INPUTLANGCHANGEREQUEST);
  EXPECT_EQ(calls[1].wparam, 0u);
  EXPECT_EQ(static_cast<LayoutHandle>(calls[1].lparam), layout_ru);
  EXPECT_EQ(calls[1].window, window);

  const Engine& e = engine();
  ASSERT_TRUE(e.last_correction.has_value());
  EXPECT_EQ(*e.last_correction, (Correction{false, 0, 6, {"ghbdtn"}, 0, 7, Layout::En}));
  for (const Keystroke& k : e.keys) EXPECT_EQ(k.layout, Layout::Ru);
}

TEST_F(AutoCorrect, ShortWordGoesIntoTheWords) {
  type("z ghbdtn ");
  ASSERT_TRUE(engine().last_correction.has_value());
  EXPECT_EQ(engine().last_correction->words, (std::vector<std::string>{"ghbdtn", "z"}));
  EXPECT_EQ(engine().last_correction->retype_start, 0u);
  EXPECT_EQ(engine().last_correction->caps_start, 2u);
  EXPECT_EQ(engine().last_correction->length, 9u);
}

TEST_F(AutoCorrect, SwitchesOff) {
  struct Case {
    const char* name;
    bool autoswitch;
    bool capsfix;
    const char* expected;
  };
  const Case cases[] = {
      {"both on", true, true, "привет "},
      {"autoswitch off", false, true, "ghbdtn "},
      {"both off", false, false, "ghbdtn "},
      {"capsfix off alone", true, false, "привет "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WindowHandle w = desk.create_window();
    set_autoswitch(c.autoswitch);
    set_capsfix(c.capsfix);
    type("ghbdtn ");
    EXPECT_EQ(desk.text_utf8(w), c.expected);
  }
}

TEST_F(AutoCorrect, SettingsAreReadAtEverySpace) {
  set_autoswitch(false);
  type("ghbdtn ");
  EXPECT_EQ(shown(), "ghbdtn ");
  set_autoswitch(true);
  click();  // the word left before is no longer in the record, so nothing carries it along
  type("ghbdtn ");
  EXPECT_EQ(shown(), "ghbdtn привет ");
}

TEST_F(AutoCorrect, LayoutChangedInsideTheWord) {
  type("ghb");
  set_layout(layout_ru);
  type_keys("dtn ");  // the same keys now give вет
  EXPECT_EQ(shown(), "ghbвет ");
  EXPECT_EQ(sent().backspaces, 0u);
}

TEST_F(AutoCorrect, ShortWordOnAnotherLayoutStays) {
  type("z ");
  set_layout(layout_ru);
  set_layout(layout_en_us);
  // Same layout again: z goes along.
  type("ghbdtn ");
  EXPECT_EQ(shown(), "я привет ");

  // Typed on Ru, я is right. The word decision converts the next word alone; the decision in
  // context takes the switch to English right before it as the user's, and leaves the word.
  for (const Decision d : {Decision::Word, Decision::Context}) {
    SCOPED_TRACE(d == Decision::Word ? "word" : "context");
    engine().decision = d;
    const WindowHandle w = desk.create_window();
    set_layout(layout_ru);
    type_keys("z ");  // я on Ru
    set_layout(layout_en_us);
    type("ghbdtn ");
    if (d == Decision::Word) {
      EXPECT_EQ(desk.text_utf8(w), "я привет ");
      ASSERT_TRUE(engine().last_correction.has_value());
      EXPECT_EQ(engine().last_correction->words.size(), 1u);
    } else {
      EXPECT_EQ(desk.text_utf8(w), "я ghbdtn ");
      EXPECT_FALSE(engine().last_correction.has_value());
    }
  }
}

TEST_F(AutoCorrect, ExcludedWindowsGetNothing) {
  struct Case {
    const char* name;
    std::function<void(SimWindow&)> change;
  };
  const std::vector<Case> cases = {
      {"a listed program", [](SimWindow& w) { w.image_path = u"C:\\Program Files\\Editor\\Listed.EXE"; }},
      {"a password field", [](SimWindow& w) { w.focus_style |= 0x20; }},
      {"a full-screen window",
       [](SimWindow& w) {
         w.style = sim_style_borderless;
         w.rect = Rect{0, 0, 1920, 1080};
       }},
  };
  write_file(settings.dir() / "apps.txt", "listed.exe\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WindowHandle w = desk.create_window();
    desk.update_window(w, c.change);
    desk.clear_calls();
    type("ghbdtn ");
    EXPECT_EQ(desk.text_utf8(w), "ghbdtn ");
    EXPECT_TRUE(desk.sent_records().empty());
    EXPECT_TRUE(desk.layout_requests().empty());
    EXPECT_FALSE(engine().last_correction.has_value());
  }
}

TEST_F(AutoCorrect, ExceptionsStopTheSwitch) {
  struct Case {
    const char* name;
    const char* file;
    std::string typed = "ghbdtn";
  };
  const Case cases[] = {
      {"the word as typed", "ghbdtn\n"},
      {"the word as meant", "привет\n"},
      {"another letter case", "  GHBDTN \r\n"},
      // Punctuation keys inside: the typed text has no core.
      {"no core, as typed", "e;t\n", "e;t"},
      {"no core, as typed, in capitals", "E;T\n", "e;t"},
      {"no core, as meant", "Уже\n", "e;t"},
      {"no core, as typed, the word followed by a comma", "e;t\n", "e;t?"},
      {"brackets inside, as typed", "j,]trn\n", "j,]trn"},
      {"brackets inside, as meant", "объект\n", "j,]trn"},
      // The comma key is the letter б: the typed core is only jkmit.
      {"a letter key that types punctuation first, as typed", ",jkmit\n", ",jkmit"},
  };
  engine();
  int later = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(settings.dir() / "exceptions.txt", c.file);
    // Each write further on than the last: modification times may count whole seconds only.
    touch_later(settings.dir() / "exceptions.txt", later += 5);
    const WindowHandle w = desk.create_window();
    type(c.typed + " ");
    EXPECT_EQ(desk.text_utf8(w), c.typed + " ");
  }
}

TEST_F(AutoCorrect, SavedExceptionsArePickedUpAtTheNextDecision) {
  type("ghbdtn ");
  EXPECT_EQ(shown(), "привет ");
  write_file(settings.dir() / "exceptions.txt", "ghbdtn\n");
  touch_later(settings.dir() / "exceptions.txt");
  set_layout(layout_en_us);
  type("ghbdtn ");
  EXPECT_EQ(shown(), "привет ghbdtn ");
  // Removing the line lets the next one through.
  write_file(settings.dir() / "exceptions.txt", "# none\n");
  touch_later(settings.dir() / "exceptions.txt", 10);
  click();
  type("ghbdtn ");
  EXPECT_EQ(shown(), "привет ghbdtn привет ");
}

TEST_F(AutoCorrect, NoRussianLayoutInstalled) {
  desk.set_installed_layouts({layout_en_us});
  type("ghbdtn ");
  EXPECT_EQ(shown(), "привет ");
  EXPECT_TRUE(desk.layout_requests().empty());
}

TEST_F(AutoCorrect, KeysTypedAfterTheCorrectionCarryTheirOwnLayout) {
  // The window followed the request: the next word is typed on Ru.
  type("ghbdtn ");
  EXPECT_EQ(desk.window_layout(window), layout_ru);
  type("мир ");
  EXPECT_EQ(shown(), "привет мир ");
}

}  // namespace
}  // namespace klavix::testing

namespace klavix::testing {
namespace {

TEST_F(AutoCorrect, ForegroundIsCheckedOnlyForAWordAboutToChange) {
  type("hello world ");
  EXPECT_TRUE(desk.calls(SimCallKind::OpenProcess).empty());
  type("ghbdtn ");
  EXPECT_EQ(desk.calls(SimCallKind::OpenProcess).size(), 1u);
  EXPECT_EQ(desk.handles_open(), 0u);
}

}  // namespace
}  // namespace klavix::testing
