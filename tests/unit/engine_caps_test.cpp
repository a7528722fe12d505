// The repair of words typed with Caps Lock on by accident.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

class CapsFix : public EngineDesk {
 public:
  // Caps Lock on (the program knows it), then the keys of "Добавь" with Shift on L only.
  void type_dobav(bool shift_first = true) {
    set_layout(layout_ru);
    if (!rt.caps_on) caps_lock();
    type_keys(shift_first ? "Lj,fdm" : "lj,fdm");
  }
};

TEST_F(CapsFix, RepairedAfterASpace) {
  type_dobav();
  ASSERT_EQ(shown(), "дОБАВЬ");
  desk.clear_calls();
  type(" ");
  EXPECT_EQ(shown(), "Добавь ");
  const std::vector<KeyInput> records = desk.sent_records();
  ASSERT_EQ(records.size(), 30u);  // 7 backspace taps, 7 characters, then one Caps Lock tap
  EXPECT_EQ(summarise(records).backspaces, 7u);
  EXPECT_EQ(summarise(records).typed, "Добавь ");
  EXPECT_EQ(records[28].vk, win::VK_CAPITAL);
  EXPECT_EQ(records[28].flags, 0u);
  EXPECT_EQ(records[29].vk, win::VK_CAPITAL);
  EXPECT_EQ(records[29].flags, win::KEYEVENTF_KEYUP);
  EXPECT_FALSE(rt.caps_on);
  EXPECT_FALSE(desk.caps_lock_on());
  // The same layout is requested again.
  EXPECT_EQ(requested(), std::vector<Layout>{Layout::Ru});
  ASSERT_TRUE(engine().last_correction.has_value());
  EXPECT_EQ(*engine().last_correction, (Correction{true, 0, 6, {}, 0, 7, Layout::Ru}));
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(engine().keys[i].caps, 0) << i;
}

TEST_F(CapsFix, WhatIsNotRepaired) {
  struct Case {
    const char* name;
    std::function<void(CapsFix&)> typing;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"without Shift on the first letter", [](CapsFix& t) { t.type_dobav(false); }, "ДОБАВЬ "},
      {"a one-letter word",
       [](CapsFix& t) {
         t.set_layout(layout_ru);
         t.caps_lock();
         t.type_keys("L");
       },
       "д "},
      {"Caps Lock switched on inside the word",
       [](CapsFix& t) {
         t.set_layout(layout_ru);
         t.type_keys("Lj");
         t.caps_lock();
         t.type_keys(",fdm");
       },
       "ДоБАВЬ "},
      {"capsfix off",
       [](CapsFix& t) {
         t.set_capsfix(false);
         t.type_dobav();
       },
       "дОБАВЬ "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WindowHandle w = desk.create_window();
    if (rt.caps_on) caps_lock();
    set_capsfix(true);
    desk.clear_calls();
    c.typing(*this);
    type(" ");
    EXPECT_EQ(desk.text_utf8(w), c.expected);
    EXPECT_EQ(sent().backspaces, 0u);
  }
}

TEST_F(CapsFix, HotkeyRepairsWhateverTheSettings) {
  set_capsfix(false);
  set_autoswitch(false);
  type_dobav();
  type(" ");
  ASSERT_EQ(shown(), "дОБАВЬ ");
  desk.clear_calls();
  hotkey_word();
  EXPECT_EQ(shown(), "Добавь ");
  EXPECT_EQ(sent().caps_taps, 1u);
  EXPECT_FALSE(rt.caps_on);
  ASSERT_TRUE(engine().last_correction.has_value());
  EXPECT_EQ(*engine().last_correction, (Correction{true, 0, 6, {}, 0, 7, Layout::Ru}));
}

TEST_F(CapsFix, HotkeyRepairsAndSwitchesWhenTheDecisionSaysSo) {
  // "Ghbdtn" with Caps Lock on, on En: the screen shows gHBDTN, meant was Привет.
  set_capsfix(false);
  set_autoswitch(false);
  caps_lock();
  type_keys("Ghbdtn");
  ASSERT_EQ(shown(), "gHBDTN");
  hotkey_word();
  EXPECT_EQ(shown(), "Привет");
  EXPECT_EQ(requested(), std::vector<Layout>{Layout::Ru});
  EXPECT_FALSE(rt.caps_on);
}

TEST_F(CapsFix, RepairAndLayoutSwitchInOneCorrection) {
  caps_lock();
  type_keys("Ghbdtn ");
  EXPECT_EQ(shown(), "Привет ");
  EXPECT_EQ(sent().caps_taps, 1u);
  ASSERT_TRUE(engine().last_correction.has_value());
  EXPECT_TRUE(engine().last_correction->caps_fixed);
  EXPECT_EQ(engine().last_correction->words, std::vector<std::string>{"ghbdtn"});
}

TEST_F(CapsFix, AutoswitchOffStillRepairsTheCase) {
  set_autoswitch(false);
  caps_lock();
  type_keys("Ghbdtn ");
  EXPECT_EQ(shown(), "Ghbdtn ");
  EXPECT_EQ(requested(), std::vector<Layout>{Layout::En});
  EXPECT_FALSE(rt.caps_on);
}

TEST_F(CapsFix, SecondRepairSendsNoSecondTap) {
  type_dobav();
  type(" ");
  ASSERT_EQ(sent().caps_taps, 1u);
  // The program believes Caps Lock is off now; the same pattern again (caps fields set by hand
  // as if the belief had been wrong) is repaired without a tap.
  desk.clear_calls();
  set_layout(layout_ru);
  rt.caps_on = false;
  std::vector<Keystroke>& keys = engine().keys;
  const std::uint16_t vks[] = {'L', 'J', 0xBC, 'F', 'D', 'M'};
  for (std::size_t i = 0; i < 6; ++i) keys.push_back(Keystroke{vks[i], Layout::Ru, i == 0 ? std::uint8_t{1} : std::uint8_t{0}, 1});
  keys.push_back(Keystroke{win::VK_SPACE, Layout::Ru, 0, 0});
  auto_correct(engine(), keys.size() - 1);
  EXPECT_EQ(sent().typed, "Добавь ");
  EXPECT_EQ(sent().caps_taps, 0u);
}

TEST_F(CapsFix, UndoBringsTheCaseBackButNotCapsLock) {
  type_dobav();
  type(" ");
  ASSERT_EQ(shown(), "Добавь ");
  hotkey_word();
  EXPECT_EQ(shown(), "дОБАВЬ ");
  EXPECT_FALSE(rt.caps_on);
  EXPECT_TRUE(engine().undo_counts.empty());
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(engine().keys[i].caps, 1) << i;
  // Converting again afterwards follows the restored fields.
  hotkey_word();
  EXPECT_EQ(shown(), "Добавь ");
}

TEST_F(CapsFix, ExcludedProgramGetsNoRepairAfterASpace) {
  write_file(settings.dir() / "apps.txt", "notepad.exe\n");
  type_dobav();
  type(" ");
  EXPECT_EQ(shown(), "дОБАВЬ ");
  EXPECT_TRUE(rt.caps_on);
  hotkey_word();
  EXPECT_EQ(shown(), "Добавь ");
  EXPECT_FALSE(rt.caps_on);
}

// Pause from the tray, Caps Lock, resume, Caps Lock again: Caps Lock is off, and words come
// out in lower case.
TEST_F(CapsFix, CapsLockPressedWhilePaused) {
  auto switch_pause = [&] {
    rt.paused = !rt.paused;
    EngineEvent reset;
    reset.kind = EventKind::Reset;
    post_event(rt, reset);
    drain();
  };
  switch_pause();
  caps_lock();
  switch_pause();
  caps_lock();
  ASSERT_FALSE(desk.caps_lock_on());
  EXPECT_FALSE(rt.caps_on);
  type("ghbdtn rfr ");
  EXPECT_EQ(shown(), "привет как ");
}

TEST(CapsFields, ClearAndRestore) {
  std::vector<Keystroke> keys(4, Keystroke{'A', Layout::En, 0, 1});
  clear_caps(keys, 1, 3);
  EXPECT_EQ(keys[0].caps, 1);
  EXPECT_EQ(keys[1].caps, 0);
  EXPECT_EQ(keys[2].caps, 0);
  EXPECT_EQ(keys[3].caps, 1);
  restore_caps(keys, 0, 4);
  for (const Keystroke& k : keys) EXPECT_EQ(k.caps, 1);
}

TEST(CapsFieldsDeathTest, StretchOutsideTheRecordEndsTheProcess) {
  std::vector<Keystroke> keys(2);
  EXPECT_DEATH(clear_caps(keys, 1, 3), "");
  EXPECT_DEATH(restore_caps(keys, 2, 1), "");
}

}  // namespace
}  // namespace klavix::testing
