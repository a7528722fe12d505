// The word hotkey: conversion of the last word, undo of a correction, layout toggle.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

class WordHotkey : public EngineDesk {};

TEST_F(WordHotkey, WithNoWordOnlyTheLayoutChanges) {
  struct Case {
    const char* name;
    LayoutHandle from;
    std::string_view typed;  // on `from`
    Layout requested;
  };
  const Case cases[] = {
      {"empty record, Russian window", layout_ru, "", Layout::En},
      {"empty record, English window", layout_en_us, "", Layout::Ru},
      {"empty record, German window", layout_de, "", Layout::Ru},
      {"only spaces", layout_en_us, "  ", Layout::Ru},
      {"a last word on a third layout", layout_de, "ghbdtn", Layout::Ru},
  };
  desk.install_layout(layout_de);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.create_window();
    set_layout(c.from);
    type(c.typed);
    const std::vector<Keystroke> before = engine().keys;
    desk.clear_calls();
    hotkey_word();
    EXPECT_TRUE(desk.sent_records().empty());
    EXPECT_EQ(requested(), std::vector<Layout>{c.requested});
    EXPECT_EQ(engine().keys, before);
  }
}

// The word belongs to the window it was typed in. A window that comes to the front with no
// click and no key (one that takes the focus itself) holds none: the press there only switches
// its layout, and erases nothing of its text.
TEST_F(WordHotkey, InAWindowThatCameToTheFrontUnseenItConvertsNothing) {
  set_autoswitch(false);
  type("ghbdtn");
  const WindowHandle other = desk.create_window();
  desk.set_text(other, u"keep");
  desk.clear_calls();
  hotkey_word();
  EXPECT_TRUE(desk.sent_records().empty());
  EXPECT_EQ(desk.text_utf8(other), "keep");
  EXPECT_EQ(shown(), "ghbdtn");
  EXPECT_EQ(requested(), std::vector<Layout>{Layout::Ru});
  // Back in the first window the word is gone too: the engine saw another window meanwhile.
  desk.set_foreground(window);
  desk.clear_calls();
  hotkey_word();
  EXPECT_TRUE(desk.sent_records().empty());
  EXPECT_EQ(shown(), "ghbdtn");
}

// Keys typed after a press that only switches the layout came out in the layout the window
// had; they go with the switch, also when the press is the first thing the engine sees of the
// window (the keys named a window the engine had not seen yet, and were left as they were).
TEST_F(WordHotkey, KeysTypedAheadOfASwitchGoWithItInAWindowNotSeenBefore) {
  route_injected_through_hook();
  for (const bool earlier_window : {false, true}) {
    SCOPED_TRACE(earlier_window ? "after typing in another window" : "the first event of all");
    if (earlier_window) {
      type("a ");
      desk.create_window();
    }
    press_ahead(win::VK_PAUSE);
    type_keys_ahead("m");
    drain();
    type_keys("u");
    EXPECT_EQ(desk.text_utf8(desk.foreground_window()), "ьг");
  }
}

// The engine types into the foreground window. When another window comes to the front (with no
// click and no key) before the engine gets to keys typed ahead, neither the correction after a
// space nor the keys that go with a hotkey's switch may land there.
TEST_F(WordHotkey, NothingIsTypedIntoAWindowThatCameToTheFrontMeanwhile) {
  route_injected_through_hook();
  struct Case {
    const char* name;
    std::function<void(WordHotkey&)> ahead;
    std::string stays;
  };
  const std::vector<Case> cases = {
      {"the correction after a space",
       [](WordHotkey& t) {
         t.type_keys_ahead("ghbdtn");
         t.press_ahead(win::VK_SPACE);
       },
       "ghbdtn "},
      {"keys typed ahead of the hotkey's switch",
       [](WordHotkey& t) {
         t.press_ahead(win::VK_PAUSE);
         t.type_keys_ahead("|l");
       },
       "|l"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WindowHandle first = desk.create_window();
    type_keys("a ");  // the engine knows the window
    desk.set_text(first, u"");
    c.ahead(*this);
    const WindowHandle other = desk.create_window();
    drain();
    EXPECT_EQ(desk.text_utf8(other), "");
    EXPECT_EQ(desk.text_utf8(first), c.stays);
  }
}

TEST_F(WordHotkey, ConvertsAndConvertsBack) {
  set_autoswitch(false);
  type("ghbdtn ");
  desk.clear_calls();
  hotkey_word();
  EXPECT_EQ(shown(), "привет ");
  EXPECT_EQ(sent().backspaces, 7u);
  EXPECT_EQ(sent().typed, "привет ");
  EXPECT_EQ(requested(), std::vector<Layout>{Layout::Ru});
  EXPECT_FALSE(engine().last_correction.has_value());

  desk.clear_calls();
  hotkey_word();
  EXPECT_EQ(shown(), "ghbdtn ");
  EXPECT_EQ(sent().backspaces, 7u);
  EXPECT_EQ(requested(), std::vector<Layout>{Layout::En});
}

TEST_F(WordHotkey, TrailingSpacesAreRetyped) {
  set_autoswitch(false);
  type("ghbdtn  ");
  desk.clear_calls();
  hotkey_word();
  EXPECT_EQ(sent().backspaces, 8u);
  EXPECT_EQ(shown(), "привет  ");
}

TEST_F(WordHotkey, WordWithoutSpace) {
  set_autoswitch(false);
  type("vbh");
  hotkey_word();
  EXPECT_EQ(shown(), "мир");
  // Typing goes on in the requested layout.
  type(" ");
  EXPECT_EQ(shown(), "мир ");
}

TEST_F(WordHotkey, UndoesAnAutomaticCorrection) {
  type("ghbdtn ");
  ASSERT_EQ(shown(), "привет ");
  set_layout(layout_ru);
  type("  ");
  desk.clear_calls();
  hotkey_word();
  // The word and the three spaces after it, back as typed, and En requested.
  EXPECT_EQ(shown(), "ghbdtn   ");
  EXPECT_EQ(sent().backspaces, 9u);
  EXPECT_EQ(requested(), std::vector<Layout>{Layout::En});
  EXPECT_FALSE(engine().last_correction.has_value());
  EXPECT_EQ(engine().undo_counts.at("ghbdtn"), 1u);

  // The next press converts again and counts nothing.
  desk.clear_calls();
  hotkey_word();
  EXPECT_EQ(shown(), "привет   ");
  EXPECT_EQ(engine().undo_counts.at("ghbdtn"), 1u);
}

TEST_F(WordHotkey, UndoWithAShortWord) {
  type("z ghbdtn ");
  ASSERT_EQ(shown(), "я привет ");
  hotkey_word();
  EXPECT_EQ(shown(), "z ghbdtn ");
  EXPECT_EQ(engine().undo_counts.size(), 2u);
}

TEST_F(WordHotkey, ANewWordEndsTheUndo) {
  type("ghbdtn ");
  ASSERT_EQ(shown(), "привет ");
  set_layout(layout_en_us);
  type("ckjdj");  // слово on the wrong layout, no space yet
  hotkey_word();
  EXPECT_EQ(shown(), "привет слово");
  EXPECT_TRUE(engine().undo_counts.empty());
}

TEST_F(WordHotkey, WhatEndsTheChanceToUndo) {
  struct Case {
    const char* name;
    std::function<void(WordHotkey&)> between;
    const char* expected;  // after the hotkey
  };
  const std::vector<Case> cases = {
      {"only spaces: undone", [](WordHotkey& t) { t.type(" "); }, "ghbdtn  "},
      {"a Backspace: converted instead",
       [](WordHotkey& t) { t.press(win::VK_BACK); },
       "ghbdtn"},  // the space erased, the word converted back by key
      {"a mouse click: only the layout", [](WordHotkey& t) { t.click(); }, "привет "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WindowHandle w = desk.create_window();
    type("ghbdtn ");
    ASSERT_EQ(desk.text_utf8(w), "привет ");
    set_layout(layout_ru);
    c.between(*this);
    hotkey_word();
    EXPECT_EQ(desk.text_utf8(w), c.expected);
  }
}

TEST_F(WordHotkey, WorksInExcludedPrograms) {
  write_file(settings.dir() / "apps.txt", "notepad.exe\n");
  type("ghbdtn ");
  EXPECT_EQ(shown(), "ghbdtn ");
  hotkey_word();
  EXPECT_EQ(shown(), "привет ");
}

TEST_F(WordHotkey, ReleasesHeldModifiersFirst) {
  // A hotkey with Ctrl: the user still holds Ctrl when the engine starts typing.
  Settings s = default_settings();
  s.hotkey_word = Hotkey{win::VK_PAUSE, 1, 0, 0, 0};
  apply_settings(rt, s);
  set_autoswitch(false);
  type("ghbdtn");
  desk.clear_calls();
  key_down(win::VK_LCONTROL);
  key_down(win::VK_PAUSE);
  drain();
  const std::vector<KeyInput> records = desk.sent_records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].vk, win::VK_LCONTROL);
  EXPECT_EQ(records[0].flags, win::KEYEVENTF_KEYUP);
  EXPECT_EQ(summarise(records).typed, "привет");
  key_up(win::VK_PAUSE);
  key_up(win::VK_LCONTROL);
}

}  // namespace
}  // namespace klavix::testing
