// The hook logic: what each key and button reports, which keys are swallowed, Caps Lock.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

constexpr std::uintptr_t down = win::WM_KEYDOWN;
constexpr std::uintptr_t up = win::WM_KEYUP;

class Hooks : public ::testing::Test {
 public:
  Hooks() : channel(make_channel()) {
    rt.event_sender.set(channel.sender);
    Settings s = default_settings();
    s.hotkey_word = Hotkey{'F', 1, 0, 1, 0};       // Ctrl+Shift+F
    s.hotkey_selection = Hotkey{win::VK_PAUSE, 0, 0, 1, 0};  // Shift+Pause
    apply_settings(rt, s);
    window = desk.create_window();
  }

  // One hook call; the modifier keys are what the desktop says is physically held.
  bool hook_event(std::uintptr_t wparam, std::uint32_t vk, std::uint32_t flags = 0, int code = 0,
                  std::uintptr_t extra = 0) {
    KeyboardHookEvent ev;
    ev.vk = vk;
    ev.flags = flags;
    ev.extra = extra;
    return keyboard_hook(state, rt, desk, code, wparam, ev);
  }

  std::vector<EngineEvent> events() {
    std::vector<EngineEvent> out;
    for (;;) {
      const Received r = channel.receiver.receive(std::chrono::steady_clock::now());
      if (r.status != ReceiveStatus::Event) return out;
      out.push_back(r.event);
    }
  }

  void hold(const std::vector<int>& vks) {
    for (int vk = 0; vk < 256; ++vk) desk.set_key_down(vk, false);
    // The generic keys stand for their left-hand keys.
    for (int vk : vks) {
      if (vk == win::VK_SHIFT) vk = win::VK_LSHIFT;
      if (vk == win::VK_CONTROL) vk = win::VK_LCONTROL;
      if (vk == win::VK_MENU) vk = win::VK_LMENU;
      desk.set_key_down(vk, true);
    }
  }

  SimDesktop desk;
  Runtime rt;
  Channel channel;
  KeyboardHookState state;
  WindowHandle window = 0;
};

EngineEvent key_event(std::uint16_t vk, WindowHandle w, Layout l = Layout::En, bool shift = false, bool caps = false,
                      bool modifier = false) {
  EngineEvent e;
  e.kind = EventKind::Key;
  e.layout = l;
  e.shift = shift;
  e.caps = caps;
  e.modifier = modifier;
  e.vk = vk;
  e.window = w;
  return e;
}

// A hotkey's event names the window it was pressed in.
EngineEvent kind_event(EventKind k, WindowHandle w) {
  EngineEvent e;
  e.kind = k;
  e.window = w;
  return e;
}

TEST_F(Hooks, KeyDownsAndWhatTheyReport) {
  struct Case {
    const char* name;
    std::vector<int> held;
    std::uint32_t vk;
    bool swallowed;
    std::vector<EventKind> kinds;
    bool modifier;  // of the Key event, when there is one
  };
  const std::vector<Case> cases = {
      {"a letter", {}, 'A', false, {EventKind::Key}, false},
      {"the word hotkey", {win::VK_CONTROL, win::VK_LCONTROL, win::VK_SHIFT, win::VK_LSHIFT}, 'F', true,
       {EventKind::WordHotkey}, false},
      {"right-hand modifiers satisfy it", {win::VK_RCONTROL, win::VK_RSHIFT}, 'F',
       true, {EventKind::WordHotkey}, false},
      {"an extra right Alt prevents it", {win::VK_CONTROL, win::VK_RMENU, win::VK_SHIFT}, 'F', false, {EventKind::Key}, true},
      {"a missing Shift prevents it", {win::VK_CONTROL}, 'F', false, {EventKind::Key}, true},
      {"an extra Win prevents it", {win::VK_CONTROL, win::VK_SHIFT, win::VK_RWIN}, 'F', false, {EventKind::Key}, true},
      {"the selection hotkey", {win::VK_SHIFT, win::VK_LSHIFT}, win::VK_PAUSE, true, {EventKind::SelectionHotkey},
       false},
      {"Pause alone is no hotkey here", {}, win::VK_PAUSE, false, {EventKind::Key}, false},
      {"Alt makes the modifier flag", {win::VK_MENU}, 'A', false, {EventKind::Key}, true},
      {"left Win makes the modifier flag", {win::VK_LWIN}, 'A', false, {EventKind::Key}, true},
      {"right Win makes the modifier flag", {win::VK_RWIN}, 'A', false, {EventKind::Key}, true},
      {"Shift is no modifier", {win::VK_SHIFT}, 'A', false, {EventKind::Key}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    hold(c.held);
    state.swallowed_key = 0;
    EXPECT_EQ(hook_event(down, c.vk), c.swallowed);
    const std::vector<EngineEvent> got = events();
    ASSERT_EQ(got.size(), c.kinds.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].kind, c.kinds[i]);
      EXPECT_EQ(got[i].window, window);
    }
    if (c.kinds == std::vector<EventKind>{EventKind::Key}) {
      EXPECT_EQ(got[0].modifier, c.modifier ? 1 : 0);
    }
    EXPECT_EQ(state.swallowed_key, c.swallowed ? c.vk : 0u);
  }
}

TEST_F(Hooks, KeyEventFields) {
  desk.set_window_layout(window, layout_ru);
  hold({win::VK_SHIFT, win::VK_LSHIFT});
  EXPECT_FALSE(hook_event(down, 'Q'));
  EXPECT_EQ(events(), std::vector<EngineEvent>{key_event('Q', window, Layout::Ru, true)});

  desk.install_layout(layout_de);
  desk.set_window_layout(window, layout_de);
  hold({});
  hook_event(down, 'Q');
  EXPECT_EQ(events(), std::vector<EngineEvent>{key_event('Q', window, Layout::Other)});

  // The virtual key is the low 16 bits.
  hook_event(down, 0x10000 | 'W');
  EXPECT_EQ(events().at(0).vk, 'W');
}

TEST_F(Hooks, WhatPassesUnseen) {
  struct Case {
    const char* name;
    int code;
    std::uint32_t flags;
  };
  const Case cases[] = {
      {"injected input", 0, win::LLKHF_INJECTED},
      {"injected and extended", 0, win::LLKHF_INJECTED | 1},
      {"a code other than HC_ACTION", 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    hold({win::VK_CONTROL, win::VK_SHIFT});
    EXPECT_FALSE(hook_event(down, 'F', c.flags, c.code));  // even a hotkey
    EXPECT_FALSE(hook_event(down, win::VK_CAPITAL, c.flags, c.code));
    EXPECT_FALSE(hook_event(up, win::VK_CAPITAL, c.flags, c.code));
    EXPECT_TRUE(events().empty());
    EXPECT_FALSE(rt.caps_on);
    EXPECT_EQ(state.swallowed_key, 0u);
  }
}

TEST_F(Hooks, SystemKeyMessages) {
  // WM_SYSKEYDOWN is a key-down, WM_SYSKEYUP a key-up.
  hold({win::VK_MENU});
  EXPECT_FALSE(hook_event(win::WM_SYSKEYDOWN, 'A'));
  EXPECT_EQ(events().size(), 1u);
  EXPECT_FALSE(hook_event(win::WM_SYSKEYUP, 'A'));
  EXPECT_TRUE(events().empty());
}

TEST_F(Hooks, OnlyTheHotkeysOwnKeyUpIsSwallowed) {
  hold({win::VK_CONTROL, win::VK_SHIFT});
  EXPECT_TRUE(hook_event(down, 'F'));
  EXPECT_FALSE(hook_event(up, win::VK_SHIFT));
  EXPECT_FALSE(hook_event(up, win::VK_CONTROL));
  EXPECT_TRUE(hook_event(up, 'F'));
  EXPECT_EQ(state.swallowed_key, 0u);
  // A later key-up of the same key passes.
  EXPECT_FALSE(hook_event(up, 'F'));
}

TEST_F(Hooks, SwallowedKeyUpEvenWhenPausedMeanwhile) {
  hold({win::VK_CONTROL, win::VK_SHIFT});
  EXPECT_TRUE(hook_event(down, 'F'));
  rt.paused = true;
  EXPECT_TRUE(hook_event(up, 'F'));
  EXPECT_FALSE(hook_event(up, 'F'));
}

TEST_F(Hooks, HeldHotkeyRepeats) {
  hold({win::VK_SHIFT});
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(hook_event(down, win::VK_PAUSE));
  EXPECT_TRUE(hook_event(up, win::VK_PAUSE));
  const std::vector<EngineEvent> got = events();
  EXPECT_EQ(got, std::vector<EngineEvent>(4, kind_event(EventKind::SelectionHotkey, window)));
}

TEST_F(Hooks, EqualHotkeysGiveOnlyTheWordHotkey) {
  Settings s = default_settings();
  s.hotkey_word = s.hotkey_selection = Hotkey{win::VK_PAUSE, 0, 0, 0, 0};
  apply_settings(rt, s);
  hold({});
  EXPECT_TRUE(hook_event(down, win::VK_PAUSE));
  EXPECT_EQ(events(), std::vector<EngineEvent>{kind_event(EventKind::WordHotkey, window)});
}

TEST_F(Hooks, UnsetHotkeysMatchNothing) {
  Runtime fresh;
  const Channel ch = make_channel();
  fresh.event_sender.set(ch.sender);
  KeyboardHookEvent ev;
  hold({});
  for (std::uint32_t vk : {0u, 0x41u, 0x13u}) {
    ev.vk = vk;
    EXPECT_FALSE(keyboard_hook(state, fresh, desk, 0, down, ev));
  }
}

TEST_F(Hooks, WhilePaused) {
  rt.paused = true;
  hold({win::VK_CONTROL, win::VK_SHIFT});
  EXPECT_FALSE(hook_event(down, 'F'));  // the hotkey reaches the application
  EXPECT_FALSE(hook_event(up, 'F'));
  hold({});
  EXPECT_FALSE(hook_event(down, 'A'));
  EXPECT_FALSE(hook_event(down, win::VK_CAPITAL));  // tracked, but reported no more than a letter
  EXPECT_FALSE(hook_event(up, win::VK_CAPITAL));
  mouse_hook(rt, 0, win::WM_LBUTTONDOWN);
  EXPECT_EQ(events(), std::vector<EngineEvent>{kind_event(EventKind::Reset, 0)});
}

// Caps Lock pressed while paused still reaches the system and toggles its light, so the
// program's view follows it; otherwise every word after the pause would be read inverted.
TEST_F(Hooks, CapsLockTrackedWhilePaused) {
  hold({});
  rt.paused = true;
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(hook_event(down, win::VK_CAPITAL));  // with auto-repeat
  EXPECT_TRUE(rt.caps_on);
  EXPECT_FALSE(hook_event(up, win::VK_CAPITAL));
  EXPECT_TRUE(events().empty());
  rt.paused = false;
  EXPECT_FALSE(hook_event(down, win::VK_CAPITAL));
  EXPECT_FALSE(rt.caps_on);
  EXPECT_EQ(events(), std::vector<EngineEvent>{key_event(win::VK_CAPITAL, window)});
  // Paused while the key is held: its repeats flip nothing, and its key-up ends the press.
  rt.paused = true;
  EXPECT_FALSE(hook_event(down, win::VK_CAPITAL));
  EXPECT_FALSE(rt.caps_on);
  EXPECT_FALSE(hook_event(up, win::VK_CAPITAL));
  EXPECT_FALSE(hook_event(down, win::VK_CAPITAL));
  EXPECT_TRUE(rt.caps_on);
  EXPECT_TRUE(events().empty());
}

TEST_F(Hooks, CapsLockAsAHotkeyIsTrackedWhilePaused) {
  // Paused, the hotkey is not recognised: the key reaches the system and toggles Caps Lock.
  Settings s = default_settings();
  s.hotkey_word = Hotkey{win::VK_CAPITAL, 0, 0, 0, 0};
  apply_settings(rt, s);
  hold({});
  rt.paused = true;
  EXPECT_FALSE(hook_event(down, win::VK_CAPITAL));
  EXPECT_TRUE(rt.caps_on);
  EXPECT_FALSE(hook_event(up, win::VK_CAPITAL));
  EXPECT_TRUE(events().empty());
}

TEST_F(Hooks, CapsLockTracking) {
  hold({});
  // Held through auto-repeat: one flip; the key-down itself reports the new state.
  EXPECT_FALSE(hook_event(down, win::VK_CAPITAL));
  EXPECT_FALSE(hook_event(down, win::VK_CAPITAL));
  EXPECT_FALSE(hook_event(down, win::VK_CAPITAL));
  EXPECT_TRUE(rt.caps_on);
  hook_event(down, 'A');
  std::vector<EngineEvent> got = events();
  ASSERT_EQ(got.size(), 4u);
  for (const EngineEvent& e : got) EXPECT_EQ(e.caps, 1);
  EXPECT_EQ(got[0].vk, win::VK_CAPITAL);
  // Released and pressed again: flips back.
  hook_event(up, win::VK_CAPITAL);
  hook_event(down, win::VK_CAPITAL);
  EXPECT_FALSE(rt.caps_on);
  EXPECT_EQ(events().at(0).caps, 0);
  // The engine's exchange and the hook's flip work on the same flag.
  rt.caps_on = true;
  hook_event(up, win::VK_CAPITAL);
  hook_event(down, win::VK_CAPITAL);
  EXPECT_FALSE(rt.caps_on);
}

TEST_F(Hooks, CapsLockAsAHotkeyIsNotTracked) {
  Settings s = default_settings();
  s.hotkey_word = Hotkey{win::VK_CAPITAL, 0, 0, 0, 0};
  apply_settings(rt, s);
  hold({});
  EXPECT_TRUE(hook_event(down, win::VK_CAPITAL));
  EXPECT_FALSE(rt.caps_on);
  EXPECT_FALSE(state.caps_key_down);
}

TEST_F(Hooks, MouseButtons) {
  struct Case {
    std::uintptr_t wparam;
    int code;
    bool reset;
  };
  const Case cases[] = {
      {win::WM_LBUTTONDOWN, 0, true},  {win::WM_RBUTTONDOWN, 0, true}, {win::WM_MBUTTONDOWN, 0, true},
      {win::WM_XBUTTONDOWN, 0, true},  {win::WM_LBUTTONUP, 0, false},  {win::WM_MOUSEMOVE, 0, false},
      {0x20A /* wheel */, 0, false},   {win::WM_LBUTTONDOWN, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wparam);
    mouse_hook(rt, c.code, c.wparam);
    const std::vector<EngineEvent> got = events();
    EXPECT_EQ(got.size(), c.reset ? 1u : 0u);
    if (c.reset) {
      EXPECT_EQ(got[0].kind, EventKind::Reset);
    }
  }
}

TEST_F(Hooks, NothingIsSentBeforeTheChannelExists) {
  Runtime fresh;
  apply_settings(fresh, default_settings());
  KeyboardHookEvent ev;
  ev.vk = win::VK_PAUSE;
  hold({});
  EXPECT_TRUE(keyboard_hook(state, fresh, desk, 0, down, ev));  // still swallowed
  ev.vk = 'A';
  EXPECT_FALSE(keyboard_hook(state, fresh, desk, 0, down, ev));
  mouse_hook(fresh, 0, win::WM_LBUTTONDOWN);
  EXPECT_TRUE(events().empty());
}

}  // namespace
}  // namespace klavix::testing

namespace klavix::testing {
namespace {

// What of a correction went through is counted from the messages: Wine sends the key-up of a
// typed character (VK_PACKET) without LLKHF_UP in its flags, and counted by the flags each
// character counted twice, so a mend took text for typed that never was.
TEST_F(Hooks, ACorrectionsCharactersAndBackspacesCountOnceEach) {
  constexpr std::uint32_t vk_packet = 0xE7;
  for (const std::uint32_t up_flags : {win::LLKHF_INJECTED | 0x80u, win::LLKHF_INJECTED}) {
    SCOPED_TRACE(up_flags);
    rt.correction_guard.store(0);  // guarded: the look saw nothing sent yet
    rt.correction_erased.store(0);
    rt.correction_typed.store(0);
    for (const std::uint32_t vk : {static_cast<std::uint32_t>(win::VK_BACK), vk_packet, vk_packet}) {
      EXPECT_FALSE(hook_event(down, vk, win::LLKHF_INJECTED, 0, SYNTH_TAG));
      EXPECT_FALSE(hook_event(up, vk, up_flags, 0, SYNTH_TAG));
    }
    EXPECT_EQ(rt.correction_erased.load(), 1u);
    EXPECT_EQ(rt.correction_typed.load(), 2u);
    rt.correction_guard.store(guard_off);
  }
}

// A correction erases only after a look at the keys already on the screen, and goes out
// guarded; an erasing record of the program's own without the guard is a correction that may
// erase the user's keys instead of the word. Debug builds stop there.
TEST_F(Hooks, AnUnguardedErasingCorrectionIsFatalInDebugBuilds) {
  rt.correction_guard.store(0);  // guarded: the look saw nothing sent yet
  EXPECT_FALSE(hook_event(down, win::VK_BACK, win::LLKHF_INJECTED, 0, SYNTH_TAG));
  rt.correction_guard.store(guard_off);
  EXPECT_FALSE(hook_event(down, 'A', win::LLKHF_INJECTED, 0, SYNTH_TAG));
#ifdef NDEBUG
  GTEST_SKIP() << "the check is in debug builds only";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(hook_event(down, win::VK_BACK, win::LLKHF_INJECTED, 0, SYNTH_TAG), "without a look");
#endif
}

TEST_F(Hooks, KeyUpWithoutAVirtualKeyPasses) {
  // Nothing remembered is 0; a key-up that carries virtual key 0 is not a remembered hotkey.
  EXPECT_FALSE(hook_event(up, 0));
  EXPECT_FALSE(hook_event(up, 0x10000));  // low 16 bits zero
}

}  // namespace
}  // namespace klavix::testing
