// The simulated desktop on its own: what synthesized records do to the text field, the
// clipboard and its sequence number, layout requests, the facts of the foreground check,
// handles, message boxes and the virtual clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "desktop/sim_desktop.h"
#include "text/text.h"

namespace klavix {
namespace {

using namespace std::chrono_literals;

KeyInput down(std::uint16_t vk) { return KeyInput{vk, 0, 0, 0, 0}; }
KeyInput up(std::uint16_t vk) { return KeyInput{vk, 0, win::KEYEVENTF_KEYUP, 0, 0}; }
KeyInput unit_down(char16_t u) { return KeyInput{0, u, win::KEYEVENTF_UNICODE, 0, 0}; }
KeyInput unit_up(char16_t u) { return KeyInput{0, u, win::KEYEVENTF_UNICODE | win::KEYEVENTF_KEYUP, 0, 0}; }

std::vector<KeyInput> chord(std::uint16_t modifier, std::uint16_t key) {
  return {down(modifier), down(key), up(key), up(modifier)};
}

std::vector<KeyInput> units(std::u16string_view s) {
  std::vector<KeyInput> out;
  for (char16_t u : s) {
    out.push_back(unit_down(u));
    out.push_back(unit_up(u));
  }
  return out;
}

class SimDesk : public ::testing::Test {
 protected:
  SimDesk() { w = desk.create_window(); }
  void send(const std::vector<KeyInput>& records) { EXPECT_EQ(desk.send_input(records), records.size()); }
  SimField field() const { return desk.window(w)->field; }

  SimDesktop desk;
  WindowHandle w = 0;
};

// ---- the text field ----

struct FieldCase {
  const char* name;
  std::u16string text;
  std::size_t anchor, caret;
  std::vector<KeyInput> records;
  std::u16string expected;
  std::size_t expected_caret;
};

TEST_F(SimDesk, SynthesizedRecordsEditTheFieldAsWindowsWould) {
  const std::u16string smile = u"\U0001F600";  // outside the BMP: two units
  const FieldCase cases[] = {
      {"backspace erases the character before the caret", u"abc", 3, 3, {down(win::VK_BACK), up(win::VK_BACK)}, u"ab", 2},
      {"backspace in the middle", u"abc", 1, 1, {down(win::VK_BACK), up(win::VK_BACK)}, u"bc", 0},
      {"backspace at the start does nothing", u"abc", 0, 0, {down(win::VK_BACK)}, u"abc", 0},
      {"backspace erases a selection and nothing more", u"abcd", 3, 1, {down(win::VK_BACK)}, u"ad", 1},
      {"backspace erases a surrogate pair whole", u"a" + smile, 3, 3, {down(win::VK_BACK)}, u"a", 1},
      {"two backspaces take two characters", u"привет", 6, 6, {down(win::VK_BACK), down(win::VK_BACK)}, u"прив", 4},
      {"a key-up does nothing", u"ab", 2, 2, {up(win::VK_BACK), unit_up(u'x')}, u"ab", 2},
      {"unicode key-downs insert at the caret", u"ac", 1, 1, units(u"b"), u"abc", 2},
      {"a unicode character replaces the selection", u"hello", 0, 5, units(u"п"), u"п", 1},
      {"a surrogate pair's units join into one character", u"", 0, 0, units(smile), smile, 2},
      {"Enter inserts nothing", u"ab", 2, 2, {down(win::VK_RETURN), up(win::VK_RETURN)}, u"ab", 2},
      {"a virtual key types its character in the window's layout", u"", 0, 0, {down('G'), up('G')}, u"g", 1},
      {"Shift held by synthesized input makes it upper case", u"", 0, 0,
       {down(win::VK_LSHIFT), down('G'), up('G'), up(win::VK_LSHIFT)}, u"G", 1},
      {"Ctrl+A selects everything, then typing replaces it", u"abc", 1, 1,
       [] {
         auto r = chord(win::VK_LCONTROL, 'A');
         r.push_back(unit_down(u'z'));
         return r;
       }(),
       u"z", 1},
      {"Alt with a letter types nothing", u"", 0, 0, {down(win::VK_LMENU), down('G'), up('G'), up(win::VK_LMENU)}, u"", 0},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_text(w, c.text);
    desk.select(w, c.anchor, c.caret);
    send(c.records);
    EXPECT_EQ(field().text, c.expected);
    EXPECT_EQ(field().caret, c.expected_caret);
    EXPECT_EQ(field().anchor, c.expected_caret);
  }
}

TEST_F(SimDesk, TextOfAnUnpairedSurrogateReadsAsReplacementCharacter) {
  send({unit_down(0xD83D)});
  EXPECT_EQ(desk.text_utf8(w), "\xEF\xBF\xBD");
}

TEST_F(SimDesk, VirtualKeysFollowTheWindowsLayoutAndCapsLock) {
  struct Case {
    LayoutHandle layout;
    bool caps;
    std::vector<KeyInput> records;
    std::string expected;
  };
  const std::vector<KeyInput> g_comma = {down('G'), up('G'), down(0xBC), up(0xBC)};
  const std::vector<KeyInput> shift_g_comma = {down(win::VK_LSHIFT), down('G'), down(0xBC), up(win::VK_LSHIFT)};
  const Case cases[] = {
      {layout_en_us, false, g_comma, "g,"},
      {layout_ru, false, g_comma, "пб"},
      {layout_de, false, g_comma, "g,"},  // a third layout shows what En gives
      {layout_en_us, true, g_comma, "G,"},  // Caps Lock acts on letters only
      {layout_ru, true, g_comma, "ПБ"},     // the comma key is a letter in Ru
      {layout_en_us, true, shift_g_comma, "g<"},
      {layout_ru, true, shift_g_comma, "пб"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    desk.set_text(w, u"");
    desk.set_window_layout(w, c.layout);
    desk.set_caps_lock(c.caps);
    send(c.records);
    EXPECT_EQ(desk.text_utf8(w), c.expected);
  }
}

TEST_F(SimDesk, InputGoesToTheForegroundWindowOnly) {
  const WindowHandle other = desk.create_window();
  send(units(u"x"));
  desk.set_foreground(w);
  send(units(u"y"));
  desk.set_foreground(0);
  send(units(u"z"));
  EXPECT_EQ(desk.text(other), u"x");
  EXPECT_EQ(desk.text(w), u"y");
}

TEST_F(SimDesk, BlockedInputIsLoggedButNeverArrives) {
  desk.set_send_input_blocked(true);
  const std::vector<KeyInput> r = units(u"x");
  EXPECT_EQ(desk.send_input(r), 0u);
  EXPECT_EQ(desk.text(w), u"");
  ASSERT_EQ(desk.calls(SimCallKind::SendInput).size(), 1u);
  EXPECT_FALSE(desk.calls(SimCallKind::SendInput)[0].ok);
}

TEST_F(SimDesk, EverySendInputCallIsLoggedWithItsExactRecords) {
  const std::vector<KeyInput> first = {KeyInput{win::VK_BACK, 0x0E, 0, 0, 0x41564958}};
  const std::vector<KeyInput> second = units(u"ab");
  send(first);
  send(second);
  const auto calls = desk.calls(SimCallKind::SendInput);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].records, first);
  EXPECT_EQ(calls[1].records, second);
  std::vector<KeyInput> all = first;
  all.insert(all.end(), second.begin(), second.end());
  EXPECT_EQ(desk.sent_records(), all);
}

TEST_F(SimDesk, InjectedInputHookSeesEveryRecordBeforeItTakesEffectAndMaySwallowIt) {
  std::vector<std::string> seen;
  SimDesktop::InjectedInputHook hook;
  hook.batch_begins = [&] { seen.push_back("begin"); };
  hook.record = [&](const KeyInput& r) {
    seen.push_back(text::from_utf16(std::u16string(1, static_cast<char16_t>(r.scan))) +
                   ((r.flags & win::KEYEVENTF_KEYUP) ? " up" : " down") + " text=" + desk.text_utf8(w));
    return r.scan == u'b';  // b never arrives
  };
  hook.batch_ends = [&] { seen.push_back("end"); };
  desk.set_injected_input_hook(hook);
  send(units(u"abc"));
  EXPECT_EQ(seen, (std::vector<std::string>{"begin", "a down text=", "a up text=a", "b down text=a", "b up text=a",
                                            "c down text=a", "c up text=ac", "end"}));
  EXPECT_EQ(desk.text_utf8(w), "ac");
}

// ---- keys ----

TEST_F(SimDesk, KeyStatesAndModifierRelease) {
  struct Case {
    int held;
    int asked;
  };
  const Case cases[] = {
      {win::VK_LSHIFT, win::VK_SHIFT},     {win::VK_RSHIFT, win::VK_SHIFT},     {win::VK_LCONTROL, win::VK_CONTROL},
      {win::VK_RCONTROL, win::VK_CONTROL}, {win::VK_RMENU, win::VK_MENU},       {win::VK_LWIN, win::VK_LWIN},
      {win::VK_CONTROL, win::VK_LCONTROL},  // the generic code stands for the left key
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.held);
    desk.set_key_down(c.held, true);
    EXPECT_LT(desk.get_async_key_state(c.asked), 0);
    EXPECT_LT(desk.get_key_state(c.asked), 0);
    // A synthesized key-up releases what the user physically holds.
    send({up(static_cast<std::uint16_t>(c.held))});
    EXPECT_EQ(desk.get_async_key_state(c.asked), 0);
  }
}

TEST_F(SimDesk, CapsLockTapTogglesTheLowBitOnce) {
  EXPECT_EQ(desk.get_key_state(win::VK_CAPITAL) & 1, 0);
  send({down(win::VK_CAPITAL), up(win::VK_CAPITAL)});
  EXPECT_EQ(desk.get_key_state(win::VK_CAPITAL) & 1, 1);
  EXPECT_TRUE(desk.caps_lock_on());
  // Auto-repeat of a held key toggles nothing.
  desk.physical_key(win::VK_CAPITAL, true);
  desk.physical_key(win::VK_CAPITAL, true);
  desk.physical_key(win::VK_CAPITAL, false);
  EXPECT_FALSE(desk.caps_lock_on());
  EXPECT_EQ(desk.get_async_key_state(win::VK_CAPITAL), 0);
}

TEST(SimKeys, ScanCodesOfTheKeysTheProgramSends) {
  SimDesktop desk;
  struct Case {
    std::uint32_t vk, scan;
  };
  const Case cases[] = {{win::VK_BACK, 0x0E},     {win::VK_LCONTROL, 0x1D}, {'C', 0x2E}, {'V', 0x2F},
                        {win::VK_CAPITAL, 0x3A},  {win::VK_LSHIFT, 0x2A},   {win::VK_RSHIFT, 0x36},
                        {win::VK_RMENU, 0x38},    {win::VK_LWIN, 0x5B},     {0xE8, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vk);
    EXPECT_EQ(desk.map_virtual_key(c.vk, win::MAPVK_VK_TO_VSC), c.scan);
  }
  EXPECT_EQ(desk.map_virtual_key(win::VK_BACK, 1), 0u);  // only VK to scan code is known
}

TEST(SimKeys, KeyCharacterOfTheTable) {
  struct Case {
    std::uint16_t vk;
    LayoutHandle layout;
    bool shift, caps;
    std::optional<char32_t> ch;
  };
  const Case cases[] = {
      {'Q', layout_en_us, false, false, U'q'}, {'Q', layout_ru, false, false, U'й'}, {'Q', layout_ru, true, false, U'Й'},
      {'Q', layout_ru, true, true, U'й'},      {'3', layout_ru, true, false, U'№'},  {'3', layout_ru, false, true, U'3'},
      {0xDB, layout_ru, false, true, U'Х'},    {0xDB, layout_en_us, false, true, U'['},
      {'Q', layout_de, false, false, U'q'},    {win::VK_RETURN, layout_en_us, false, false, std::nullopt},
      {0x60, layout_en_us, false, false, std::nullopt},  // keypad digits are not in the table
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vk);
    EXPECT_EQ(key_character(c.vk, c.layout, c.shift, c.caps), c.ch);
  }
}

// ---- Ctrl+C, Ctrl+V and the clipboard ----

TEST_F(SimDesk, CopyPutsTheSelectionOnTheClipboardWithANewSequenceNumber) {
  desk.set_text(w, u"say привет");
  desk.select(w, 4, 10);
  const std::uint32_t before = desk.clipboard_sequence_number();
  send(chord(win::VK_LCONTROL, 'C'));
  EXPECT_NE(desk.clipboard_sequence_number(), before);
  EXPECT_EQ(desk.clipboard_text(), u"привет");
  const auto items = desk.clipboard();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].format, win::CF_UNICODETEXT);
  EXPECT_EQ(items[0].bytes.size(), 2u * 7);  // six units and the terminating zero
  EXPECT_EQ(items[0].bytes[12], 0);
  EXPECT_EQ(items[0].bytes[13], 0);
  EXPECT_EQ(items[1].format, win::CF_LOCALE);
  EXPECT_EQ(items[2].format, win::CF_TEXT);
  EXPECT_EQ(items[3].format, win::CF_OEMTEXT);
  EXPECT_EQ(field().text, u"say привет");  // copying changes nothing on the screen
}

TEST_F(SimDesk, CopyThatDoesNotHappen) {
  struct Case {
    const char* name;
    SimCopy copy;
    std::size_t anchor, caret;
    bool hold_clipboard_open;
    bool changes;
  };
  const Case cases[] = {
      {"nothing selected", SimCopy::Text, 2, 2, false, false},
      {"the application ignores Ctrl+C", SimCopy::Ignore, 0, 5, false, false},
      {"someone else holds the clipboard open", SimCopy::Text, 0, 5, true, false},
      {"the application copies a picture", SimCopy::NoText, 0, 5, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_clipboard_text(u"old");
    desk.update_window(w, [&](SimWindow& win) { win.copy = c.copy; });
    desk.set_text(w, u"hello");
    desk.select(w, c.anchor, c.caret);
    if (c.hold_clipboard_open) {
      ASSERT_TRUE(desk.open_clipboard(0x77));
    }
    const std::uint32_t before = desk.clipboard_sequence_number();
    send(chord(win::VK_LCONTROL, 'C'));
    if (c.hold_clipboard_open) desk.close_clipboard();
    EXPECT_EQ(desk.clipboard_sequence_number() != before, c.changes);
    if (c.copy == SimCopy::NoText) {
      ASSERT_EQ(desk.clipboard().size(), 1u);
      EXPECT_EQ(desk.clipboard()[0].format, win::CF_DIB);
      EXPECT_FALSE(desk.clipboard_text().has_value());
    } else {
      EXPECT_EQ(desk.clipboard_text(), u"old");
    }
  }
}

TEST_F(SimDesk, SlowApplicationCopiesOnceTheVirtualClockMovesOn) {
  desk.update_window(w, [](SimWindow& win) { win.copy_delay_ms = 30; });
  desk.set_text(w, u"abc");
  desk.select_all(w);
  desk.set_clipboard_text(u"old");
  const std::uint32_t before = desk.clipboard_sequence_number();
  send(chord(win::VK_LCONTROL, 'C'));
  EXPECT_EQ(desk.clipboard_sequence_number(), before);
  desk.sleep_ms(20);
  EXPECT_EQ(desk.clipboard_text(), u"old");
  // Due now, but someone holds the clipboard open: the copy waits for the close.
  ASSERT_TRUE(desk.open_clipboard(0x55));
  desk.sleep_ms(10);
  EXPECT_EQ(desk.clipboard_sequence_number(), before);
  desk.close_clipboard();
  EXPECT_NE(desk.clipboard_sequence_number(), before);
  EXPECT_EQ(desk.clipboard_text(), u"abc");
}

TEST_F(SimDesk, PasteReplacesTheSelectionWithTheClipboardText) {
  struct Case {
    const char* name;
    std::vector<SimClipboardItem> clipboard;
    std::u16string expected;
  };
  std::vector<std::uint8_t> text_with_garbage = {'x', 0, 0, 0, 'y', 0};  // text ends at the zero unit
  const Case cases[] = {
      {"text", {SimClipboardItem{win::CF_UNICODETEXT, {0x3F, 0x04, 0x40, 0x04, 0, 0}}}, u"a пр d"},
      {"up to the first zero unit", {SimClipboardItem{win::CF_UNICODETEXT, text_with_garbage}}, u"a x d"},
      {"no text on the clipboard", {SimClipboardItem{win::CF_DIB, {1, 2, 3}}}, u"a bc d"},
      {"an empty clipboard", {}, u"a bc d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_text(w, u"a bc d");
    desk.select(w, 2, 4);
    desk.set_clipboard(c.clipboard);
    send(chord(win::VK_CONTROL, 'V'));
    EXPECT_EQ(field().text, c.expected);
  }
}

TEST_F(SimDesk, CtrlReleasedBeforeTheLetterTypesTheLetter) {
  send({down(win::VK_LCONTROL), up(win::VK_LCONTROL), down('C'), up('C')});
  EXPECT_EQ(field().text, u"c");
  EXPECT_FALSE(desk.clipboard_text().has_value());
}

TEST_F(SimDesk, ClipboardCallsFollowTheOpenCloseRules) {
  const std::vector<std::uint8_t> block = {'a', 0, 0, 0};
  EXPECT_FALSE(desk.empty_clipboard());  // not open
  EXPECT_FALSE(desk.set_clipboard_data(win::CF_UNICODETEXT, block));
  EXPECT_EQ(desk.enum_clipboard_formats(0), 0u);
  EXPECT_FALSE(desk.close_clipboard());

  ASSERT_TRUE(desk.open_clipboard(0x55));
  EXPECT_FALSE(desk.open_clipboard(0x66));  // held by another window
  EXPECT_TRUE(desk.open_clipboard(0x55));   // the holder may open it again
  // Data may only be set by the window that emptied the clipboard.
  EXPECT_FALSE(desk.set_clipboard_data(win::CF_UNICODETEXT, block));
  const std::uint32_t before = desk.clipboard_sequence_number();
  EXPECT_TRUE(desk.empty_clipboard());
  EXPECT_TRUE(desk.set_clipboard_data(win::CF_UNICODETEXT, block));
  EXPECT_TRUE(desk.set_clipboard_data(win::CF_LOCALE, {}));  // an empty block still takes 1 byte
  EXPECT_NE(desk.clipboard_sequence_number(), before);
  EXPECT_EQ(desk.enum_clipboard_formats(0), win::CF_UNICODETEXT);
  EXPECT_EQ(desk.enum_clipboard_formats(win::CF_UNICODETEXT), win::CF_LOCALE);
  EXPECT_EQ(desk.enum_clipboard_formats(win::CF_LOCALE), 0u);
  EXPECT_EQ(desk.clipboard_data_size(win::CF_LOCALE), 1u);
  EXPECT_EQ(desk.clipboard_data(win::CF_UNICODETEXT), block);
  EXPECT_TRUE(desk.close_clipboard());
  EXPECT_FALSE(desk.clipboard_open());
  EXPECT_EQ(desk.clipboard_data(win::CF_UNICODETEXT), std::nullopt);  // closed again

  const auto opens = desk.calls(SimCallKind::OpenClipboard);
  ASSERT_EQ(opens.size(), 3u);
  EXPECT_EQ(opens[0].window, 0x55u);
  EXPECT_FALSE(opens[1].ok);
  EXPECT_EQ(desk.calls(SimCallKind::SetClipboardData).size(), 4u);
  EXPECT_EQ(desk.calls(SimCallKind::CloseClipboard).size(), 2u);
}

TEST_F(SimDesk, ClipboardThatRefusesToOpen) {
  desk.refuse_clipboard_opens(2);
  EXPECT_FALSE(desk.open_clipboard(1));
  EXPECT_FALSE(desk.open_clipboard(1));
  EXPECT_TRUE(desk.open_clipboard(1));
  desk.close_clipboard();

  desk.set_clipboard_locked(true);
  for (int i = 0; i < 25; ++i) EXPECT_FALSE(desk.open_clipboard(1));
  // Locked by another program: the application cannot copy either.
  desk.set_text(w, u"abc");
  desk.select_all(w);
  const std::uint32_t before = desk.clipboard_sequence_number();
  send(chord(win::VK_LCONTROL, 'C'));
  EXPECT_EQ(desk.clipboard_sequence_number(), before);
  desk.set_clipboard_locked(false);
  EXPECT_TRUE(desk.open_clipboard(1));
}

TEST_F(SimDesk, ClipboardBlocksThatCannotBeRead) {
  SimClipboardItem no_handle{win::CF_TEXT, {'a', 0}};
  no_handle.null_handle = true;
  SimClipboardItem unlockable{win::CF_OEMTEXT, {'b', 0}};
  unlockable.lock_fails = true;
  std::vector<SimClipboardItem> items = {no_handle, unlockable};
  items.push_back(SimClipboardItem{win::CF_DIB, std::vector<std::uint8_t>(0x4000000 + 1, 7)});
  desk.set_clipboard(std::move(items));
  ASSERT_TRUE(desk.open_clipboard(1));
  EXPECT_EQ(desk.enum_clipboard_formats(0), win::CF_TEXT);  // listed all the same
  EXPECT_EQ(desk.clipboard_data_size(win::CF_TEXT), std::nullopt);
  EXPECT_EQ(desk.clipboard_data(win::CF_TEXT), std::nullopt);
  EXPECT_EQ(desk.clipboard_data_size(win::CF_OEMTEXT), 2u);
  EXPECT_EQ(desk.clipboard_data(win::CF_OEMTEXT), std::nullopt);
  EXPECT_EQ(desk.clipboard_data_size(win::CF_DIB), 0x4000001u);
  EXPECT_EQ(desk.clipboard_data_size(win::CF_BITMAP), std::nullopt);
  desk.close_clipboard();
}

TEST_F(SimDesk, RefusedDataLeavesTheClipboardEmpty) {
  desk.set_clipboard_text(u"old");
  desk.set_clipboard_refuses_data(true);
  ASSERT_TRUE(desk.open_clipboard(1));
  EXPECT_TRUE(desk.empty_clipboard());
  EXPECT_FALSE(desk.set_clipboard_data(win::CF_UNICODETEXT, std::vector<std::uint8_t>{'x', 0, 0, 0}));
  desk.close_clipboard();
  EXPECT_TRUE(desk.clipboard().empty());
}

// ---- keyboard layouts ----

TEST_F(SimDesk, LayoutRequestsSwitchTheWindowOnlyToInstalledLayouts) {
  struct Case {
    const char* name;
    std::vector<LayoutHandle> installed;
    LayoutHandle requested;
    bool follows;
    LayoutHandle expected;
  };
  const Case cases[] = {
      {"installed", {layout_en_us, layout_ru}, layout_ru, true, layout_ru},
      {"not installed", {layout_en_us, layout_ru}, layout_de, true, layout_en_us},
      {"a third installed layout", {layout_en_us, layout_ru, layout_de}, layout_de, true, layout_de},
      {"a window that ignores the request", {layout_en_us, layout_ru}, layout_ru, false, layout_en_us},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.clear_calls();
    desk.set_installed_layouts(c.installed);
    desk.set_window_layout(w, layout_en_us);
    desk.update_window(w, [&](SimWindow& win) { win.follows_layout_requests = c.follows; });
    EXPECT_TRUE(desk.post_message(w, win::WM_INPUTLANGCHANGEREQUEST, 0, static_cast<std::intptr_t>(c.requested)));
    EXPECT_EQ(desk.window_layout(w), c.expected);
    EXPECT_EQ(desk.keyboard_layout(desk.window(w)->thread_id), c.expected);
    // Logged whether or not it switched anything.
    ASSERT_EQ(desk.layout_requests().size(), 1u);
    EXPECT_EQ(desk.layout_requests()[0], (SimLayoutRequest{w, c.requested}));
  }
}

// ---- a busy window's thread ----

// Keys and a layout request wait while the window's thread is busy; it takes the request first
// (as Windows and Wine do), or in the order they came. Each key keeps the Shift state it came with.
TEST_F(SimDesk, BusyWindowTakesWaitingInputInTheDesktopsMessageOrder) {
  struct Case {
    const char* name;
    SimMessageOrder order;
    std::u16string expected;
  };
  const Case cases[] = {
      {"posted first", SimMessageOrder::PostedFirst, u"Пр\u0438x"},
      {"arrival", SimMessageOrder::Arrival, u"Gh\u0438x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_text(w, u"");
    desk.set_window_layout(w, layout_en_us);
    desk.set_message_order(c.order);
    desk.set_window_busy(w, true);
    EXPECT_TRUE(desk.window_busy(w));
    desk.physical_key(win::VK_LSHIFT, true);
    desk.physical_key('G', true);
    desk.physical_key('G', false);
    desk.physical_key(win::VK_LSHIFT, false);
    desk.physical_key('H', true);
    desk.physical_key('H', false);
    EXPECT_TRUE(desk.post_message(w, win::WM_INPUTLANGCHANGEREQUEST, 0, static_cast<std::intptr_t>(layout_ru)));
    send({down('B'), up('B')});
    desk.insert_text(u"x");
    // Nothing taken yet: the window shows nothing new and still reports its old layout.
    EXPECT_EQ(desk.text(w), u"");
    EXPECT_EQ(desk.keyboard_layout(desk.window(w)->thread_id), layout_en_us);
    EXPECT_EQ(desk.waiting_input(w), 6u);  // Shift's key-down among them
    desk.set_window_busy(w, false);
    EXPECT_EQ(desk.waiting_input(w), 0u);
    EXPECT_EQ(desk.text(w), c.expected);
    EXPECT_EQ(desk.window_layout(w), layout_ru);
    // Not busy any more: input is taken the moment it comes.
    desk.physical_key('G', true);
    desk.physical_key('G', false);
    EXPECT_EQ(desk.text(w), c.expected + u"\u043F");
  }
}

// Input for a busy window waits in its own queue even when another window is in front by the
// time its thread takes it; a window that ignores layout requests leaves none waiting.
TEST_F(SimDesk, WaitingInputBelongsToTheWindowItCameTo) {
  desk.set_window_busy(w, true);
  desk.physical_key('G', true);
  desk.update_window(w, [](SimWindow& win) { win.follows_layout_requests = false; });
  EXPECT_TRUE(desk.post_message(w, win::WM_INPUTLANGCHANGEREQUEST, 0, static_cast<std::intptr_t>(layout_ru)));
  const WindowHandle other = desk.create_window();
  desk.physical_key('H', true);
  EXPECT_EQ(desk.waiting_input(w), 1u);
  EXPECT_EQ(desk.text(other), u"h");
  desk.take_all_waiting();
  EXPECT_FALSE(desk.window_busy(w));
  EXPECT_EQ(desk.text(w), u"g");
  EXPECT_EQ(desk.window_layout(w), layout_en_us);
  // A window closed while busy takes nothing more.
  desk.set_window_busy(other, true);
  desk.physical_key('J', true);
  desk.destroy_window(other);
  EXPECT_EQ(desk.waiting_input(other), 0u);
}

// With the program's input keeping a window busy: a batch waits until a message is posted to
// the window (which it takes first) or until the program sleeps or waits.
TEST_F(SimDesk, AWindowIsBusyWithTheProgramsInputUntilAPostOrAWait) {
  struct Case {
    const char* name;
    std::function<void(SimDesktop&, WindowHandle)> then;
    std::u16string expected;
    LayoutHandle layout;
  };
  const Case cases[] = {
      {"a layout request",
       [](SimDesktop& d, WindowHandle win) {
         d.post_message(win, win::WM_INPUTLANGCHANGEREQUEST, 0, static_cast<std::intptr_t>(layout_ru));
       },
       u"ab\u043F", layout_ru},
      {"a sleep", [](SimDesktop& d, WindowHandle) { d.sleep_ms(0); }, u"abg", layout_en_us},
      {"a wait", [](SimDesktop& d, WindowHandle) { d.wait_for_event_or_message(0, 0ms); }, u"abg", layout_en_us},
  };
  desk.set_busy_with_injected_input(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_text(w, u"");
    desk.set_window_layout(w, layout_en_us);
    send(units(u"ab"));
    desk.physical_key('G', true);
    desk.physical_key('G', false);
    EXPECT_EQ(desk.text(w), u"");
    EXPECT_TRUE(desk.window_busy(w));
    c.then(desk, w);
    EXPECT_FALSE(desk.window_busy(w));
    EXPECT_EQ(desk.text(w), c.expected);
    EXPECT_EQ(desk.window_layout(w), c.layout);
  }
  // Physical keys alone never make a window busy.
  desk.set_text(w, u"");
  desk.physical_key('G', true);
  EXPECT_EQ(desk.text(w), u"g");
  desk.set_busy_with_injected_input(false);
  send(units(u"c"));
  EXPECT_EQ(desk.text(w), u"gc");
}

TEST_F(SimDesk, PostingToAWindowThatDoesNotExistFails) {
  EXPECT_FALSE(desk.post_message(0x999, win::WM_INPUTLANGCHANGEREQUEST, 0, static_cast<std::intptr_t>(layout_ru)));
  ASSERT_EQ(desk.calls(SimCallKind::PostMessage).size(), 1u);
  EXPECT_FALSE(desk.calls(SimCallKind::PostMessage)[0].ok);
}

TEST_F(SimDesk, KeyboardLayoutList) {
  desk.set_installed_layouts({layout_en_us, layout_ru, layout_de});
  LayoutHandle out[32] = {};
  EXPECT_EQ(desk.keyboard_layout_list(0, nullptr), 3);  // the number needed
  EXPECT_EQ(desk.keyboard_layout_list(32, out), 3);
  EXPECT_EQ(out[0], layout_en_us);
  EXPECT_EQ(out[1], layout_ru);
  EXPECT_EQ(out[2], layout_de);
  LayoutHandle two[2] = {};
  EXPECT_EQ(desk.keyboard_layout_list(2, two), 2);
  desk.set_installed_layouts({});
  EXPECT_EQ(desk.keyboard_layout_list(32, out), 0);
  desk.install_layout(layout_ru);
  desk.install_layout(layout_ru);
  EXPECT_EQ(desk.installed_layouts(), std::vector<LayoutHandle>{layout_ru});
}

// ---- facts of the foreground check ----

TEST_F(SimDesk, ProcessHandlesAreTrackedUntilClosed) {
  std::uint32_t pid = 0;
  const std::uint32_t thread = desk.window_thread_process_id(w, &pid);
  EXPECT_NE(thread, 0u);
  ASSERT_NE(pid, 0u);
  const ProcessHandle p = desk.open_process(win::PROCESS_QUERY_LIMITED_INFORMATION, false, pid);
  ASSERT_NE(p, 0u);
  EXPECT_EQ(desk.handles_open(), 1u);
  EXPECT_EQ(desk.query_full_process_image_name(p, 0, 1024), u"C:\\Windows\\notepad.exe");
  EXPECT_EQ(desk.query_full_process_image_name(p, 1, 1024), u"\\Device\\HarddiskVolume3\\Windows\\notepad.exe");
  EXPECT_EQ(desk.query_full_process_image_name(p, 0, 22), std::nullopt);  // no room for the NUL
  EXPECT_EQ(desk.query_full_process_image_name(p, 0, 23), u"C:\\Windows\\notepad.exe");
  EXPECT_TRUE(desk.close_handle(p));
  EXPECT_EQ(desk.handles_open(), 0u);
  EXPECT_FALSE(desk.close_handle(p));  // twice
  EXPECT_EQ(desk.bad_closes(), 1u);
  EXPECT_EQ(desk.query_full_process_image_name(p, 0, 1024), std::nullopt);  // closed
  EXPECT_EQ(desk.handles_opened(), 1u);
}

TEST_F(SimDesk, ProcessQueriesThatFail) {
  std::uint32_t pid = 0;
  desk.window_thread_process_id(w, &pid);
  EXPECT_EQ(desk.open_process(win::PROCESS_QUERY_LIMITED_INFORMATION, false, 0), 0u);
  EXPECT_EQ(desk.open_process(win::PROCESS_QUERY_LIMITED_INFORMATION, false, pid + 1000), 0u);
  const ProcessHandle no_rights = desk.open_process(0x10 /* PROCESS_VM_READ */, false, pid);
  ASSERT_NE(no_rights, 0u);
  EXPECT_EQ(desk.query_full_process_image_name(no_rights, 0, 1024), std::nullopt);
  desk.close_handle(no_rights);

  desk.update_window(w, [](SimWindow& win) { win.image_query_fails = true; });
  const ProcessHandle p = desk.open_process(win::PROCESS_QUERY_LIMITED_INFORMATION, false, pid);
  EXPECT_EQ(desk.query_full_process_image_name(p, 0, 1024), std::nullopt);
  desk.close_handle(p);

  desk.update_window(w, [](SimWindow& win) { win.open_process_fails = true; });
  EXPECT_EQ(desk.open_process(win::PROCESS_QUERY_LIMITED_INFORMATION, false, pid), 0u);
  EXPECT_EQ(desk.handles_open(), 0u);
  EXPECT_EQ(desk.calls(SimCallKind::OpenProcess).size(), 5u);
}

TEST_F(SimDesk, FocusControlAndWindowFacts) {
  const SimWindow win = *desk.window(w);
  GuiThreadInfo info;
  info.size = 72;
  ASSERT_TRUE(desk.gui_thread_info(win.thread_id, info));
  EXPECT_EQ(info.focus, win.focus);
  EXPECT_EQ(desk.class_name(info.focus, 128), u"Edit");
  EXPECT_EQ(desk.window_long(info.focus, win::GWL_STYLE) & win::ES_PASSWORD, 0);
  EXPECT_EQ(desk.class_name(w, 128), u"Notepad");
  EXPECT_EQ(desk.class_name(w, 4), u"Not");  // truncated to capacity - 1
  EXPECT_EQ(desk.class_name(w, 0), u"");
  EXPECT_EQ(desk.class_name(0x999, 128), u"");
  EXPECT_EQ(desk.window_long(w, win::GWL_STYLE) & win::WS_CAPTION, win::WS_CAPTION);
  EXPECT_EQ(desk.window_long(w, -20 /* GWL_EXSTYLE */), 0);

  Rect r;
  ASSERT_TRUE(desk.window_rect(w, r));
  EXPECT_EQ(r, win.rect);
  const MonitorHandle m = desk.monitor_from_window(w, win::MONITOR_DEFAULTTONEAREST);
  EXPECT_EQ(m, desk.primary_monitor());
  MonitorInfo mi;
  mi.size = 40;
  ASSERT_TRUE(desk.monitor_info(m, mi));
  EXPECT_EQ(mi.monitor, (Rect{0, 0, 1920, 1080}));
  EXPECT_EQ(mi.work, (Rect{0, 0, 1920, 1040}));
}

TEST_F(SimDesk, QueriesThatFail) {
  desk.update_window(w, [](SimWindow& win) {
    win.focus_class = u"RichEdit20W";
    win.focus_style |= win::ES_PASSWORD;
  });
  const SimWindow win = *desk.window(w);
  GuiThreadInfo info;
  info.size = 48;  // a wrong cbSize is refused
  EXPECT_FALSE(desk.gui_thread_info(win.thread_id, info));
  info.size = 72;
  EXPECT_FALSE(desk.gui_thread_info(win.thread_id + 1000, info));
  ASSERT_TRUE(desk.gui_thread_info(win.thread_id, info));
  EXPECT_EQ(desk.class_name(info.focus, 128), u"RichEdit20W");
  EXPECT_NE(desk.window_long(info.focus, win::GWL_STYLE) & win::ES_PASSWORD, 0);

  desk.update_window(w, [](SimWindow& win) { win.has_focus_control = false; });
  ASSERT_TRUE(desk.gui_thread_info(win.thread_id, info));
  EXPECT_EQ(info.focus, 0u);
  desk.update_window(w, [](SimWindow& win) {
    win.gui_thread_info_fails = true;
    win.window_rect_fails = true;
  });
  EXPECT_FALSE(desk.gui_thread_info(win.thread_id, info));
  Rect r;
  EXPECT_FALSE(desk.window_rect(w, r));
  EXPECT_FALSE(desk.window_rect(0x999, r));
  EXPECT_EQ(desk.monitor_from_window(0x999, win::MONITOR_DEFAULTTONEAREST), 0u);

  MonitorInfo mi;
  mi.size = 0;
  EXPECT_FALSE(desk.monitor_info(desk.primary_monitor(), mi));
  mi.size = 40;
  EXPECT_FALSE(desk.monitor_info(0x999, mi));
  desk.set_monitor_info_fails(true);
  EXPECT_FALSE(desk.monitor_info(desk.primary_monitor(), mi));
}

TEST_F(SimDesk, WindowsOnASecondMonitor) {
  const MonitorHandle second = desk.add_monitor(Rect{1920, 0, 3200, 1024}, Rect{1920, 0, 3200, 1024});
  SimWindow init;
  init.monitor = second;
  init.style = sim_style_borderless;
  init.rect = Rect{1920, 0, 3200, 1024};
  const WindowHandle full = desk.create_window(init);
  EXPECT_EQ(desk.foreground_window(), full);
  EXPECT_EQ(desk.monitor_from_window(full, win::MONITOR_DEFAULTTONEAREST), second);
  MonitorInfo mi;
  mi.size = 40;
  ASSERT_TRUE(desk.monitor_info(second, mi));
  EXPECT_EQ(mi.monitor, init.rect);
  EXPECT_EQ(desk.window_long(full, win::GWL_STYLE) & win::WS_CAPTION, 0);
}

TEST_F(SimDesk, EachWindowHasItsOwnIdentities) {
  const WindowHandle second = desk.create_window();
  const SimWindow a = *desk.window(w), b = *desk.window(second);
  EXPECT_NE(a.handle, b.handle);
  EXPECT_NE(a.focus, b.focus);
  EXPECT_NE(a.thread_id, b.thread_id);
  EXPECT_NE(a.process_id, b.process_id);
  // update_window cannot change them.
  desk.update_window(w, [&](SimWindow& win) { win.thread_id = b.thread_id; });
  EXPECT_EQ(desk.window(w)->thread_id, a.thread_id);

  desk.destroy_window(second);
  EXPECT_EQ(desk.foreground_window(), 0u);
  EXPECT_FALSE(desk.window(second).has_value());
  EXPECT_EQ(desk.window_thread_process_id(second, nullptr), 0u);
  EXPECT_EQ(desk.keyboard_layout(b.thread_id), 0u);
  EXPECT_EQ(desk.class_name(b.focus, 128), u"");
}

TEST_F(SimDesk, MessageWindowIsAWindowOfItsOwn) {
  const WindowHandle m = desk.create_message_window();
  EXPECT_NE(m, 0u);
  EXPECT_NE(m, w);
  EXPECT_EQ(desk.class_name(m, 128), u"Static");
  EXPECT_EQ(desk.calls(SimCallKind::CreateMessageWindow).size(), 1u);
}

// ---- events, messages and the wait for either ----

TEST_F(SimDesk, MessagesToTheMessageWindowWaitInItsQueueUntilPumped) {
  const WindowHandle m = desk.create_message_window();
  EXPECT_TRUE(desk.post_message(m, 0x400, 1, 0));
  EXPECT_TRUE(desk.post_message(m, 0x401, 2, 0));
  EXPECT_TRUE(desk.post_message(w, 0x402, 3, 0));  // a top-level window's message is not ours
  EXPECT_TRUE(desk.calls(SimCallKind::DispatchMessage).empty());
  // Still queued: the wait returns at once, however often it is called.
  EXPECT_EQ(desk.wait_for_event_or_message(0, std::nullopt), WaitResult::Message);
  EXPECT_EQ(desk.wait_for_event_or_message(0, std::nullopt), WaitResult::Message);
  desk.pump_messages();
  const std::vector<SimCall> d = desk.calls(SimCallKind::DispatchMessage);
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].message, 0x400u);
  EXPECT_EQ(d[1].message, 0x401u);
  EXPECT_EQ(d[0].window, m);
  desk.pump_messages();
  EXPECT_EQ(desk.calls(SimCallKind::DispatchMessage).size(), 2u);
  EXPECT_EQ(desk.pumps(), 2u);
  EXPECT_EQ(desk.wait_for_event_or_message(0, 5ms), WaitResult::Timeout);
}

TEST_F(SimDesk, AnEventIsResetByTheWaitItEnds) {
  const EventHandle e = desk.create_event();
  ASSERT_NE(e, 0u);
  EXPECT_TRUE(desk.set_event(e));
  EXPECT_TRUE(desk.set_event(e));  // set twice, still one wake-up
  EXPECT_EQ(desk.wait_for_event_or_message(e, 10ms), WaitResult::Event);
  const auto before = desk.elapsed();
  EXPECT_EQ(desk.wait_for_event_or_message(e, 10ms), WaitResult::Timeout);
  EXPECT_EQ(desk.elapsed() - before, 10ms) << "a wait that nothing ends is a sleep of virtual time";
  EXPECT_FALSE(desk.set_event(e + 1));
  EXPECT_EQ(desk.wait_for_event_or_message(e + 1, std::nullopt), WaitResult::Failed);
  EXPECT_EQ(desk.wakeups(), 2u);
  desk.set_create_event_fails(true);
  EXPECT_EQ(desk.create_event(), 0u);
}

TEST_F(SimDesk, AWaitWithoutTimeoutSleepsUntilAnotherThreadSetsTheEvent) {
  const EventHandle e = desk.create_event();
  const WindowHandle m = desk.create_message_window();
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    desk.set_event(e);
    std::this_thread::sleep_for(20ms);
    desk.post_message(m, 0x400, 0, 0);
  });
  EXPECT_EQ(desk.wait_for_event_or_message(e, std::nullopt), WaitResult::Event);
  EXPECT_EQ(desk.wait_for_event_or_message(e, std::nullopt), WaitResult::Message);
  setter.join();
}

// ---- message boxes ----

TEST_F(SimDesk, MessageBoxesAreAnsweredFromTheQueueThenTheDefault) {
  desk.queue_answers({win::IDYES, win::IDNO});
  desk.set_default_answer(win::IDOK);
  EXPECT_EQ(desk.message_box(0, "first", "Клавикс", 0x50124), win::IDYES);
  EXPECT_EQ(desk.message_box(w, "second\n\nline", "c", win::MB_OK), win::IDNO);
  EXPECT_EQ(desk.message_box(0, "third", "c", win::MB_OK), win::IDOK);
  const auto boxes = desk.message_boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text, "first");
  EXPECT_EQ(boxes[0].caption, "Клавикс");
  EXPECT_EQ(boxes[0].style, 0x50124u);
  EXPECT_EQ(boxes[0].owner, 0u);
  EXPECT_EQ(boxes[1].owner, w);
  EXPECT_EQ(boxes[1].text, "second\n\nline");
  EXPECT_EQ(boxes[2].answer, win::IDOK);
}

TEST(SimMessageBox, DefaultAnswerIsNo) {
  SimDesktop desk;
  EXPECT_EQ(desk.message_box(0, "?", "c", win::MB_YESNO), win::IDNO);
}

// ---- clock and log ----

TEST(SimClock, SleepsAdvanceTheVirtualClockAtOnce) {
  SimDesktop desk;
  const auto start = desk.now();
  desk.sleep_ms(10);
  desk.sleep_ms(600000);  // ten minutes pass without waiting
  desk.advance(5ms);
  EXPECT_EQ(desk.now() - start, 600015ms);
  EXPECT_EQ(desk.elapsed(), 600015ms);
  const auto sleeps = desk.calls(SimCallKind::Sleep);
  ASSERT_EQ(sleeps.size(), 2u);
  EXPECT_EQ(sleeps[0].value, 10u);
  EXPECT_EQ(sleeps[1].value, 600000u);
  // Without sleeps the clock stands still.
  EXPECT_EQ(desk.now(), desk.now());
}

TEST(SimLog, ObserverSeesCallsEvenWhenTheyAreNotKept) {
  SimDesktop desk;
  std::vector<SimCallKind> seen;
  desk.set_observer([&](const SimCall& c) { seen.push_back(c.kind); });
  desk.set_keep_calls(false);
  desk.sleep_ms(1);
  desk.message_box(0, "t", "c", 0);
  EXPECT_TRUE(desk.calls().empty());
  EXPECT_EQ(seen, (std::vector<SimCallKind>{SimCallKind::Sleep, SimCallKind::MessageBox}));
  desk.set_keep_calls(true);
  desk.sleep_ms(1);
  EXPECT_EQ(desk.calls().size(), 1u);
  desk.clear_calls();
  EXPECT_TRUE(desk.calls().empty());
}

TEST(SimLog, DescribedRecords) {
  EXPECT_EQ(describe_record(KeyInput{win::VK_BACK, 0x0E, 0, 0, 0x41564958}),
            "key vk=0x08 (Backspace) scan=0x0E down flags=0x0 extra=0x41564958");
  EXPECT_EQ(describe_record(KeyInput{0xA5, 0x38, 3, 0, 0}), "key vk=0xA5 (RAlt) scan=0x38 up flags=0x3 extra=0x0");
  EXPECT_EQ(describe_record(KeyInput{0, 0x43F, 4, 0, 0x41564958}), "char U+043F down 'п' flags=0x4 extra=0x41564958");
  EXPECT_EQ(describe_record(KeyInput{0, 0xD83D, 6, 0, 0}), "char U+D83D up flags=0x6 extra=0x0");
}

}  // namespace
}  // namespace klavix
