// Converting the selection through the clipboard, and giving the user's clipboard back.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

std::vector<std::uint8_t> utf16_block(std::u16string_view s) {
  std::vector<std::uint8_t> b;
  for (char16_t u : s) {
    b.push_back(static_cast<std::uint8_t>(u & 0xFF));
    b.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  b.push_back(0);
  b.push_back(0);
  return b;
}

class Selection : public EngineDesk {
 public:
  // What the user had on the clipboard: a picture and a text.
  std::vector<SimClipboardItem> users_clipboard() const {
    return {SimClipboardItem{win::CF_DIB, std::vector<std::uint8_t>{40, 0, 0, 0, 1, 2, 3}},
            SimClipboardItem{win::CF_UNICODETEXT, utf16_block(u"keep me")}};
  }
  void select_text(std::u16string_view s) {
    desk.set_text(window, s);
    desk.select_all(window);
  }
  // The formats on the clipboard with their bytes, ignoring what the system would add.
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> formats() const {
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> out;
    for (const SimClipboardItem& i : desk.clipboard()) out.emplace_back(i.format, i.bytes);
    return out;
  }
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> formats_of(
      const std::vector<SimClipboardItem>& items) const {
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> out;
    for (const SimClipboardItem& i : items) out.emplace_back(i.format, i.bytes);
    return out;
  }
  std::size_t pastes() const {
    std::size_t n = 0;
    for (const KeyInput& r : desk.sent_records())
      if (r.vk == 0x56 && r.flags == 0) ++n;
    return n;
  }
};

TEST_F(Selection, Conversions) {
  struct Case {
    const char* name;
    std::u16string selected;
    std::string expected;
    std::optional<Layout> request;
    bool caps_on_before;
    std::size_t caps_taps;
  };
  const std::vector<Case> cases = {
      {"English keys meant as Russian", u"ghbdtn", "привет", Layout::Ru, false, 0},
      {"Russian keys meant as English", u"руддщ", "hello", Layout::En, false, 0},
      {"a tie converts from English", u"ab вг", "фи вг", Layout::Ru, false, 0},
      {"punctuation by key", u"Ghbdtn? vbh!", "Привет, мир!", Layout::Ru, false, 0},
      {"a comma in English text", u"a,b", "фби", Layout::Ru, false, 0},
      {"digits, spaces, tabs and line breaks pass", u"ghb 123\tdtn\r\nz", "при 123\tвет\r\nя", Layout::Ru, false, 0},
      {"characters of neither layout pass", u"café €", "сфаé €", Layout::Ru, false, 0},
      {"the Caps Lock shape is repaired", u"hELLO wORLD", "Hello World", std::nullopt, true, 1},
      {"a repair sends no tap when Caps Lock is believed off", u"hELLO wORLD", "Hello World", std::nullopt, false, 0},
      {"Cyrillic Caps Lock shape", u"дОБАВЬ", "Добавь", std::nullopt, true, 1},
      {"all capitals are a layout conversion", u"HELLO", "РУДДЩ", Layout::Ru, true, 0},
      {"more capitals but no word of the shape", u"HELLO Wo", "РУДДЩ Цщ", Layout::Ru, false, 0},
      {"an unpaired surrogate becomes U+FFFD", u"gh\xD800", "пр\xEF\xBF\xBD", Layout::Ru, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_clipboard(users_clipboard());
    rt.caps_on = c.caps_on_before;
    select_text(c.selected);
    desk.clear_calls();
    hotkey_selection();
    EXPECT_EQ(shown(), c.expected);
    EXPECT_EQ(formats(), formats_of(users_clipboard()));
    if (c.request) {
      EXPECT_EQ(requested(), std::vector<Layout>{*c.request});
    } else {
      EXPECT_TRUE(requested().empty());
    }
    EXPECT_EQ(sent().caps_taps, c.caps_taps);
    if (c.caps_taps == 1) {
      EXPECT_FALSE(rt.caps_on);
    }
  }
}

TEST_F(Selection, TheWholeSequence) {
  desk.set_clipboard(users_clipboard());
  select_text(u"ghbdtn");
  engine();
  desk.clear_calls();
  hotkey_selection();
  // The calls that matter, in order: save, copy, wait, read, write, paste, wait, restore, request.
  std::vector<std::string> seen;
  for (const SimCall& c : desk.calls()) {
    switch (c.kind) {
      case SimCallKind::OpenClipboard: seen.push_back(c.window == engine().clipboard_window ? "open" : "open?"); break;
      case SimCallKind::CloseClipboard: seen.push_back("close"); break;
      case SimCallKind::EmptyClipboard: seen.push_back("empty"); break;
      case SimCallKind::SetClipboardData: seen.push_back("set " + std::to_string(c.format)); break;
      case SimCallKind::SendInput: {
        const std::uint16_t key = c.records.size() == 4 ? c.records[1].vk : 0;
        seen.push_back(key == 0x43 ? "copy" : key == 0x56 ? "paste" : "input");
        break;
      }
      case SimCallKind::Sleep: seen.push_back("sleep " + std::to_string(c.value)); break;
      case SimCallKind::PostMessage: seen.push_back("request"); break;
      default: break;
    }
  }
  const std::vector<std::string> expected = {"open",  "close", "copy",     "sleep 20", "open",  "close",
                                             "open",  "empty", "set 13",   "close",    "paste", "sleep 300",
                                             "open",  "empty", "set 8",    "set 13",   "close", "request"};
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(desk.clipboard_open());
}

TEST_F(Selection, SkippedFormatsAreNotSaved) {
  std::vector<SimClipboardItem> before = users_clipboard();
  before.insert(before.begin(), SimClipboardItem{win::CF_BITMAP, {1, 2, 3, 4}});
  before.push_back(SimClipboardItem{win::CF_ENHMETAFILE, {5}});
  before.push_back(SimClipboardItem{win::CF_PALETTE, {6}});
  before.push_back(SimClipboardItem{0x82, {7}});
  before.push_back(SimClipboardItem{0xC123, {8, 9}});  // a registered format is saved
  before.push_back(SimClipboardItem{0xC124, {}, true, false});   // no handle: skipped
  before.push_back(SimClipboardItem{0xC125, {1}, false, true});  // cannot be locked: skipped
  desk.set_clipboard(before);
  select_text(u"ghbdtn");
  hotkey_selection();
  EXPECT_EQ(shown(), "привет");
  std::vector<SimClipboardItem> kept = users_clipboard();
  kept.push_back(SimClipboardItem{0xC123, {8, 9}});
  EXPECT_EQ(formats(), formats_of(kept));
}

TEST_F(Selection, BlockSizes) {
  struct Case {
    const char* name;
    std::size_t size;
    bool saved;
  };
  const Case cases[] = {
      {"64 MiB exactly is saved", 0x4000000, true},
      {"one byte more is not", 0x4000001, false},
      {"an empty block is not", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      // Built in place and moved: a block this size is costly to copy.
      std::vector<std::uint8_t> big(c.size, 0x5A);
      if (!big.empty()) big.back() = 0x17;
      std::vector<SimClipboardItem> items;
      items.push_back(SimClipboardItem{win::CF_DIB, std::move(big)});
      items.push_back(SimClipboardItem{win::CF_UNICODETEXT, utf16_block(u"x")});
      desk.set_clipboard(std::move(items));
    }
    select_text(u"ghbdtn");
    hotkey_selection();
    EXPECT_EQ(shown(), "привет");
    const std::vector<SimClipboardItem> after = desk.clipboard();
    std::vector<std::uint32_t> formats_after;
    for (const SimClipboardItem& i : after) formats_after.push_back(i.format);
    if (c.saved) {
      ASSERT_EQ(formats_after, (std::vector<std::uint32_t>{win::CF_DIB, win::CF_UNICODETEXT}));
      const std::vector<std::uint8_t>& b = after[0].bytes;
      ASSERT_EQ(b.size(), c.size);
      EXPECT_EQ(b.back(), 0x17);
      EXPECT_TRUE(std::all_of(b.begin(), b.end() - 1, [](std::uint8_t x) { return x == 0x5A; }));
    } else {
      EXPECT_EQ(formats_after, std::vector<std::uint32_t>{win::CF_UNICODETEXT});
    }
  }
}

TEST_F(Selection, NothingCopied) {
  struct Case {
    const char* name;
    std::function<void(Selection&)> setup;
  };
  const std::vector<Case> cases = {
      {"nothing selected", [](Selection& t) { t.desk.set_text(t.window, u"ghbdtn"); }},
      {"the application ignores Ctrl+C",
       [](Selection& t) {
         t.select_text(u"ghbdtn");
         t.desk.update_window(t.window, [](SimWindow& w) { w.copy = SimCopy::Ignore; });
       }},
      {"the clipboard stays locked",
       [](Selection& t) {
         t.select_text(u"ghbdtn");
         t.desk.set_clipboard_locked(true);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_clipboard_locked(false);
    desk.update_window(window, [](SimWindow& w) { w.copy = SimCopy::Text; });
    desk.set_clipboard(users_clipboard());
    c.setup(*this);
    desk.clear_calls();
    const auto start = desk.elapsed();
    hotkey_selection();
    const auto waited = desk.elapsed() - start;
    EXPECT_EQ(shown(), "ghbdtn");
    EXPECT_EQ(pastes(), 0u);
    EXPECT_TRUE(requested().empty());
    // Given up after a little more than 600 ms of polling, the clipboard untouched since.
    EXPECT_GT(waited, std::chrono::milliseconds(600));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    EXPECT_TRUE(desk.calls(SimCallKind::EmptyClipboard).empty());
    desk.set_clipboard_locked(false);
    EXPECT_EQ(formats(), formats_of(users_clipboard()));
  }
}

TEST_F(Selection, LockedClipboardTriesTwentyTimes) {
  desk.set_clipboard(users_clipboard());
  select_text(u"ghbdtn");
  desk.set_clipboard_locked(true);
  engine();
  desk.clear_calls();
  hotkey_selection();
  std::size_t opens = 0;
  for (const SimCall& c : desk.calls(SimCallKind::OpenClipboard)) opens += c.ok ? 0 : 1;
  EXPECT_EQ(opens, 20u);
  std::size_t retry_sleeps = 0;
  for (const SimCall& c : desk.calls(SimCallKind::Sleep)) retry_sleeps += c.value == 10 ? 1 : 0;
  EXPECT_GE(retry_sleeps, 20u);  // after each failed open, then the polling of the copy
}

TEST_F(Selection, ClipboardBusyForAWhile) {
  struct Case {
    const char* name;
    int refused;  // the next N opens fail
    std::string expected_text;
    bool restored;
  };
  const Case cases[] = {
      {"five refusals: retried", 5, "привет", true},
      {"the save gives up: the clipboard is left empty", 20, "привет", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_clipboard(users_clipboard());
    select_text(u"ghbdtn");
    desk.refuse_clipboard_opens(c.refused);
    hotkey_selection();
    EXPECT_EQ(shown(), c.expected_text);
    if (c.restored) {
      EXPECT_EQ(formats(), formats_of(users_clipboard()));
    } else {
      EXPECT_TRUE(desk.clipboard().empty());
    }
    EXPECT_FALSE(desk.clipboard_open());
  }
}

TEST_F(Selection, NoUnicodeTextCopied) {
  desk.set_clipboard(users_clipboard());
  select_text(u"ghbdtn");
  desk.update_window(window, [](SimWindow& w) { w.copy = SimCopy::NoText; });
  hotkey_selection();
  EXPECT_EQ(shown(), "ghbdtn");
  EXPECT_EQ(pastes(), 0u);
  EXPECT_TRUE(requested().empty());
  EXPECT_EQ(formats(), formats_of(users_clipboard()));
  EXPECT_FALSE(desk.clipboard_open());
}

TEST_F(Selection, ClipboardRefusesTheConvertedText) {
  desk.set_clipboard(users_clipboard());
  select_text(u"ghbdtn");
  desk.set_clipboard_refuses_data(true);
  hotkey_selection();
  // The copied selection is pasted over itself, unchanged; the request still follows.
  EXPECT_EQ(shown(), "ghbdtn");
  EXPECT_EQ(pastes(), 1u);
  EXPECT_EQ(requested(), std::vector<Layout>{Layout::Ru});
  EXPECT_FALSE(desk.clipboard_open());
}

TEST_F(Selection, HundredThousandCharacters) {
  std::u16string big;
  std::string expected;
  while (big.size() < 100000) {
    big += u"ghbdtn ";
    expected += "привет ";
  }
  desk.set_clipboard(users_clipboard());
  select_text(big);
  hotkey_selection();
  EXPECT_EQ(shown(), expected);
  EXPECT_EQ(formats(), formats_of(users_clipboard()));
  EXPECT_EQ(requested(), std::vector<Layout>{Layout::Ru});
}

TEST_F(Selection, EmptyClipboardBeforeComesBackEmpty) {
  desk.set_clipboard({});
  select_text(u"ghbdtn");
  hotkey_selection();
  EXPECT_EQ(shown(), "привет");
  EXPECT_TRUE(desk.clipboard().empty());
}

TEST_F(Selection, TheRecordIsEmptiedFirst) {
  set_autoswitch(false);
  type("ghbdtn ");
  desk.set_clipboard(users_clipboard());
  desk.select(window, 0, 6);
  hotkey_selection();
  EXPECT_EQ(shown(), "привет ");
  EXPECT_TRUE(engine().keys.empty());
  // The word hotkey now has no word: it only switches the layout.
  desk.clear_calls();
  hotkey_word();
  EXPECT_TRUE(desk.sent_records().empty());
  EXPECT_EQ(desk.layout_requests().size(), 1u);
}

TEST_F(Selection, ModifiersAreReleasedBeforeTheCopy) {
  desk.set_clipboard(users_clipboard());
  select_text(u"ghbdtn");
  engine();
  desk.clear_calls();
  // The hotkey handled while Shift is still held.
  key_down(win::VK_LSHIFT);
  key_down(win::VK_PAUSE);
  drain();
  const std::vector<KeyInput> r = desk.sent_records();
  ASSERT_GE(r.size(), 5u);
  EXPECT_EQ(r[0].vk, win::VK_LSHIFT);
  EXPECT_EQ(r[0].flags, win::KEYEVENTF_KEYUP);
  EXPECT_EQ(r[1].vk, win::VK_LCONTROL);
  EXPECT_EQ(shown(), "привет");
  key_up(win::VK_PAUSE);
}

TEST(SelectedText, KindOfConversion) {
  struct Case {
    const char* text;
    const char* expected;
    SelectionKind kind;
    Layout target;
  };
  const Case cases[] = {
      {"ghbdtn", "привет", SelectionKind::LayoutConversion, Layout::Ru},
      {"руддщ", "hello", SelectionKind::LayoutConversion, Layout::En},
      {"123", "123", SelectionKind::LayoutConversion, Layout::Ru},
      {"hELLO", "Hello", SelectionKind::CaseRepair, Layout::Ru},
      {"a hELLO!", "A Hello!", SelectionKind::CaseRepair, Layout::Ru},
      {"x1Y", "ч1Н", SelectionKind::LayoutConversion, Layout::Ru},  // U = L
      {"ßSS", "SSss", SelectionKind::CaseRepair, Layout::Ru},  // full case mappings
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const SelectionResult r = convert_selected_text(c.text);
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.text, c.expected);
    if (c.kind == SelectionKind::LayoutConversion) {
      EXPECT_EQ(r.target, c.target);
    }
  }
}

}  // namespace
}  // namespace klavix::testing

namespace klavix::testing {
namespace {

TEST_F(Selection, NoOwnerWindowLeavesTheClipboardAlone) {
  desk.set_clipboard(users_clipboard());
  select_text(u"ghbdtn");
  set_autoswitch(false);
  engine().clipboard_window = 0;
  desk.clear_calls();
  hotkey_selection();
  EXPECT_EQ(shown(), "ghbdtn");
  EXPECT_TRUE(desk.calls(SimCallKind::OpenClipboard).empty());
  EXPECT_EQ(formats(), formats_of(users_clipboard()));
  EXPECT_TRUE(engine().keys.empty());
}

}  // namespace
}  // namespace klavix::testing
