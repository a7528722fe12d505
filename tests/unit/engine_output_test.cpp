// Keystroke synthesis and layout requests: the exact records and posts that reach the desktop.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

class Output : public ::testing::Test {
 public:
  Output() { window = desk.create_window(); }

  // A record as the synthesis builds it, with the desktop's scan code.
  KeyInput vk_record(std::uint16_t vk, std::uint32_t flags) {
    return KeyInput{vk, static_cast<std::uint16_t>(desk.map_virtual_key(vk, 0)), flags, 0, SYNTH_TAG};
  }
  static KeyInput unit_record(char16_t u, bool up) {
    return KeyInput{0, static_cast<std::uint16_t>(u), up ? 6u : 4u, 0, SYNTH_TAG};
  }
  std::vector<std::size_t> call_sizes() const {
    std::vector<std::size_t> out;
    for (const SimCall& c : desk.calls(SimCallKind::SendInput)) out.push_back(c.records.size());
    return out;
  }

  SimDesktop desk;
  Runtime rt;
  WindowHandle window = 0;
};

TEST_F(Output, ReleaseModifiers) {
  struct Case {
    const char* name;
    std::vector<std::uint16_t> held;
    std::vector<std::pair<std::uint16_t, std::uint32_t>> expected;  // vk, flags
  };
  const std::vector<Case> cases = {
      {"nothing held", {}, {}},
      {"right Alt", {win::VK_RMENU}, {{0xE8, 0}, {0xE8, 2}, {0xA5, 3}}},
      {"left Shift and left Ctrl", {win::VK_LSHIFT, win::VK_LCONTROL}, {{0xA0, 2}, {0xA2, 2}}},
      {"right Ctrl is extended", {win::VK_RCONTROL}, {{0xA3, 3}}},
      {"right Shift is not", {win::VK_RSHIFT}, {{0xA1, 2}}},
      {"left Alt", {win::VK_LMENU}, {{0xE8, 0}, {0xE8, 2}, {0xA4, 2}}},
      {"a Win key", {win::VK_LWIN}, {{0xE8, 0}, {0xE8, 2}, {0x5B, 3}}},
      {"all eight, in their order",
       {win::VK_RWIN, win::VK_LWIN, win::VK_RMENU, win::VK_LMENU, win::VK_RCONTROL, win::VK_LCONTROL, win::VK_RSHIFT,
        win::VK_LSHIFT},
       {{0xE8, 0}, {0xE8, 2}, {0xA0, 2}, {0xA1, 2}, {0xA2, 2}, {0xA3, 3}, {0xA4, 2}, {0xA5, 3}, {0x5B, 3}, {0x5C, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int vk = 0; vk < 256; ++vk) desk.set_key_down(vk, false);
    for (std::uint16_t vk : c.held) desk.set_key_down(vk, true);
    desk.clear_calls();
    release_modifiers(desk, rt);
    std::vector<KeyInput> expected;
    for (auto [vk, flags] : c.expected) expected.push_back(vk_record(vk, flags));
    EXPECT_EQ(desk.sent_records(), expected);
    EXPECT_EQ(call_sizes().size(), c.expected.empty() ? 0u : 1u);
  }
}

TEST_F(Output, CapsLockTapOnlyWhenBelievedOn) {
  rt.caps_on = false;
  turn_caps_lock_off(desk, rt);
  EXPECT_TRUE(desk.calls(SimCallKind::SendInput).empty());

  rt.caps_on = true;
  turn_caps_lock_off(desk, rt);
  turn_caps_lock_off(desk, rt);
  EXPECT_FALSE(rt.caps_on);
  EXPECT_EQ(desk.sent_records(), (std::vector<KeyInput>{vk_record(0x14, 0), vk_record(0x14, 2)}));
  EXPECT_EQ(call_sizes(), std::vector<std::size_t>{2});
}

TEST_F(Output, EraseAndType) {
  struct Case {
    const char* name;
    std::size_t count;
    std::string text;
    std::vector<std::size_t> calls;  // records per SendInput call
  };
  const std::vector<Case> cases = {
      {"nothing at all", 0, "", {}},
      {"three backspaces and ab", 3, "ab", {10}},
      {"Cyrillic", 1, "я", {4}},
      {"a character above U+FFFF", 0, "\xF0\x9F\x98\x80", {4}},
      {"a space and a tab are characters too", 0, " \t", {4}},
      {"800 records in 256-record calls", 200, std::string(200, 'x'), {256, 256, 256, 32}},
      {"exactly 256", 64, std::string(64, 'x'), {256}},
      {"one character past 256", 64, std::string(64, 'x') + "\xD0\xB9", {256, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.clear_calls();
    erase_and_type(desk, rt, c.count, c.text);
    EXPECT_EQ(call_sizes(), c.calls);
    std::vector<KeyInput> expected;
    for (std::size_t i = 0; i < c.count; ++i) {
      expected.push_back(vk_record(win::VK_BACK, 0));
      expected.push_back(vk_record(win::VK_BACK, 2));
    }
    for (char16_t u : text::to_utf16(c.text)) {
      expected.push_back(unit_record(u, false));
      expected.push_back(unit_record(u, true));
    }
    EXPECT_EQ(desk.sent_records(), expected);
  }
}

TEST_F(Output, SurrogatePairsComeAsFourRecords) {
  desk.clear_calls();
  erase_and_type(desk, rt, 0, "\xF0\x9F\x98\x80");
  const std::vector<KeyInput> r = desk.sent_records();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], unit_record(0xD83D, false));
  EXPECT_EQ(r[1], unit_record(0xD83D, true));
  EXPECT_EQ(r[2], unit_record(0xDE00, false));
  EXPECT_EQ(r[3], unit_record(0xDE00, true));
  EXPECT_EQ(desk.text_utf8(window), "\xF0\x9F\x98\x80");
}

TEST_F(Output, CopyAndPasteChords) {
  send_copy_chord(desk, rt);
  send_paste_chord(desk, rt);
  EXPECT_EQ(desk.sent_records(),
            (std::vector<KeyInput>{vk_record(0xA2, 0), vk_record(0x43, 0), vk_record(0x43, 2), vk_record(0xA2, 2),
                                   vk_record(0xA2, 0), vk_record(0x56, 0), vk_record(0x56, 2), vk_record(0xA2, 2)}));
  EXPECT_EQ(call_sizes(), (std::vector<std::size_t>{4, 4}));
}

TEST_F(Output, RequestLayout) {
  constexpr LayoutHandle en_gb = 0x08090809;
  struct Case {
    const char* name;
    std::vector<LayoutHandle> installed;
    Layout target;
    std::optional<LayoutHandle> posted;
  };
  const std::vector<Case> cases = {
      {"Russian among three", {layout_en_us, layout_ru, layout_de}, Layout::Ru, layout_ru},
      {"the first English variant wins", {en_gb, layout_en_us}, Layout::En, en_gb},
      {"no Russian installed", {layout_en_us, layout_de}, Layout::Ru, std::nullopt},
      {"nothing installed", {}, Layout::En, std::nullopt},
      {"a bare language id qualifies", {0x0409, 0x0419}, Layout::Ru, LayoutHandle{0x0419}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_installed_layouts(c.installed);
    desk.clear_calls();
    request_layout(desk, c.target);
    const std::vector<SimCall> posts = desk.calls(SimCallKind::PostMessage);
    if (!c.posted) {
      EXPECT_TRUE(posts.empty());
      continue;
    }
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].window, window);
    EXPECT_EQ(posts[0].message, 0x50u);
    EXPECT_EQ(posts[0].wparam, 0u);
    EXPECT_EQ(static_cast<LayoutHandle>(posts[0].lparam), *c.posted);
  }
}

TEST_F(Output, NoForegroundWindowNoRequest) {
  desk.set_foreground(0);
  request_layout(desk, Layout::Ru);
  toggle_layout(desk);
  EXPECT_TRUE(desk.calls(SimCallKind::PostMessage).empty());
}

TEST_F(Output, ToggleLayout) {
  struct Case {
    LayoutHandle from;
    Layout to;
  };
  const Case cases[] = {{layout_ru, Layout::En}, {layout_en_us, Layout::Ru}, {layout_de, Layout::Ru}};
  desk.install_layout(layout_de);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    desk.set_window_layout(window, c.from);
    desk.clear_calls();
    toggle_layout(desk);
    ASSERT_EQ(desk.layout_requests().size(), 1u);
    EXPECT_EQ(layout_of_language(desk.layout_requests()[0].layout), c.to);
  }
}

TEST_F(Output, RetypeInLayout) {
  // Five keys recorded on Ru, then two more; the first five are retyped in En.
  std::vector<Keystroke> keys;
  for (std::uint16_t vk : std::initializer_list<std::uint16_t>{'H', 'T', 'L', 'L', 'O', 'A', 'B'}) keys.push_back(Keystroke{vk, Layout::Ru, 0, 0});
  keys[0].shift = 1;
  retype_in_layout(desk, rt, keys, 0, 5, Layout::En);
  const std::vector<KeyInput> r = desk.sent_records();
  ASSERT_EQ(r.size(), 20u);
  EXPECT_EQ(summarise(r).backspaces, 5u);
  EXPECT_EQ(summarise(r).typed, "Htllo");
  // The request comes after the typing.
  const std::vector<SimCall> calls = desk.calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.back().kind, SimCallKind::PostMessage);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(keys[i].layout, Layout::En);
  EXPECT_EQ(keys[5].layout, Layout::Ru);
  EXPECT_EQ(keys[6].layout, Layout::Ru);
}

TEST_F(Output, EmptyRetypeStillRequests) {
  std::vector<Keystroke> keys(2, Keystroke{'A', Layout::En, 0, 0});
  retype_in_layout(desk, rt, keys, 2, 2, Layout::Ru);
  EXPECT_TRUE(desk.calls(SimCallKind::SendInput).empty());
  EXPECT_EQ(desk.layout_requests().size(), 1u);
}

TEST_F(Output, RecordsTypedIntoTheFieldAsWindowsWould) {
  desk.set_text(window, u"ab ghbdtn ");
  std::vector<Keystroke> keys;
  for (std::uint16_t vk : std::initializer_list<std::uint16_t>{'G', 'H', 'B', 'D', 'T', 'N', win::VK_SPACE}) keys.push_back(Keystroke{vk, Layout::En, 0, 0});
  retype_in_layout(desk, rt, keys, 0, keys.size(), Layout::Ru);
  EXPECT_EQ(desk.text_utf8(window), "ab привет ");
}

using OutputDeathTest = Output;

TEST_F(OutputDeathTest, RetypeOutsideTheRecordEndsTheProcess) {
  std::vector<Keystroke> keys(3);
  EXPECT_DEATH(retype_in_layout(desk, rt, keys, 2, 4, Layout::En), "");
  EXPECT_DEATH(retype_in_layout(desk, rt, keys, 3, 2, Layout::En), "");
}

}  // namespace
}  // namespace klavix::testing
