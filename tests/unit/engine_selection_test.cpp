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
  // The registered formats that keep the program's own clipboard content out of histories.
  std::vector<std::uint32_t> private_formats() {
    std::vector<std::uint32_t> out;
    for (std::string_view name : private_clipboard_formats) out.push_back(desk.register_clipboard_format(name));
    return out;
  }
  bool is_private(std::uint32_t f) {
    const std::vector<std::uint32_t> p = private_formats();
    return std::find(p.begin(), p.end(), f) != p.end();
  }
  // The formats on the clipboard with their bytes, without the private markers.
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> formats() {
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> out;
    for (const SimClipboardItem& i : desk.clipboard())
      if (!is_private(i.format)) out.emplace_back(i.format, i.bytes);
    return out;
  }
  // The private markers on the clipboard, each with its bytes.
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> markers() {
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> out;
    for (const SimClipboardItem& i : desk.clipboard())
      if (is_private(i.format)) out.emplace_back(i.format, i.bytes);
    return out;
  }
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> all_markers() {
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> out;
    for (std::uint32_t f : private_formats()) out.emplace_back(f, std::vector<std::uint8_t>{0, 0, 0, 0});
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
  const std::vector<std::uint32_t> p = private_formats();
  auto name = [&](std::uint32_t f) {
    for (std::size_t i = 0; i < p.size(); ++i)
      if (f == p[i]) return "private " + std::to_string(i);
    return std::to_string(f);
  };
  desk.clear_calls();
  hotkey_selection();
  // The calls that matter, in order: save, copy, wait, read, offer, paste, render, restore,
  // request.
  std::vector<std::string> seen;
  for (const SimCall& c : desk.calls()) {
    switch (c.kind) {
      case SimCallKind::OpenClipboard: seen.push_back(c.window == engine().clipboard_window ? "open" : "open?"); break;
      case SimCallKind::CloseClipboard: seen.push_back("close"); break;
      case SimCallKind::EmptyClipboard: seen.push_back("empty"); break;
      case SimCallKind::SetClipboardData: seen.push_back("set " + name(c.format)); break;
      case SimCallKind::SetClipboardDataOnRequest: seen.push_back("on request " + name(c.format)); break;
      case SimCallKind::DispatchMessage:
        if (c.message == win::WM_RENDERFORMAT) seen.push_back("render " + std::to_string(c.wparam));
        break;
      case SimCallKind::SendInput: {
        const std::uint16_t key = c.records.size() == 4 ? c.records[1].vk : 0;
        seen.push_back(key == 0x43 ? "copy" : key == 0x56 ? "paste" : "input");
        break;
      }
      case SimCallKind::Sleep: seen.push_back("sleep " + std::to_string(c.value)); break;
      case SimCallKind::Wait: seen.push_back("wait " + std::to_string(c.value)); break;
      case SimCallKind::PostMessage: seen.push_back("request"); break;
      default: break;
    }
  }
  const std::vector<std::string> expected = {
      "open", "close", "copy", "wait 20", "open", "close",
      "open", "empty", "on request 13", "set private 0", "set private 1", "set private 2", "close",
      "paste", "render 13", "set 13",
      "open", "empty", "set 8", "set 13", "set private 0", "set private 1", "set private 2", "close",
      "request"};
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(desk.clipboard_open());
  EXPECT_EQ(markers(), all_markers()) << "the user's text back is no new copy for a clipboard history";
}

// Under Wine a paste is often read half a second after Ctrl+V, and any program may be slower
// than that: the user's clipboard must wait for it, or the paste puts it over the selection.
TEST_F(Selection, ThePasteReadsTheConvertedTextHoweverLateWithinTheBound) {
  struct Case {
    const char* name;
    std::uint32_t paste_delay_ms;
    std::string shown;
    bool requested;
  };
  const Case cases[] = {
      {"at once", 0, "привет", true},
      {"after the 300 ms the clipboard used to wait", 700, "привет", true},
      {"just within two seconds", 1900, "привет", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_clipboard(users_clipboard());
    select_text(u"ghbdtn");
    desk.update_window(window, [&](SimWindow& w) { w.paste_delay_ms = c.paste_delay_ms; });
    desk.clear_calls();
    const auto start = desk.elapsed();
    hotkey_selection();
    EXPECT_EQ(shown(), c.shown);
    EXPECT_EQ(formats(), formats_of(users_clipboard()));
    EXPECT_EQ(requested().size(), c.requested ? 1u : 0u);
    EXPECT_LT(desk.elapsed() - start, std::chrono::milliseconds(c.paste_delay_ms + 300))
        << "the clipboard comes back as soon as the paste has read it";
  }
}

TEST_F(Selection, APasteThatNeverComesGetsNothingConvertedAndTheClipboardComesBackAfterTwoSeconds) {
  desk.set_clipboard(users_clipboard());
  select_text(u"ghbdtn");
  desk.update_window(window, [](SimWindow& w) { w.paste_delay_ms = 60000; });
  const auto start = desk.elapsed();
  hotkey_selection();
  const auto waited = desk.elapsed() - start;
  EXPECT_GE(waited, paste_wait);
  EXPECT_LT(waited, paste_wait + std::chrono::milliseconds(500));
  EXPECT_EQ(formats(), formats_of(users_clipboard()));
  EXPECT_EQ(shown(), "ghbdtn");
  EXPECT_TRUE(requested().empty()) << "nothing was converted, so the layout stays";
}

TEST_F(Selection, TheUsersClipboardComesBackFirstThenTheMarkers) {
  std::vector<SimClipboardItem> before = users_clipboard();
  // A password manager's copy carries a marker of its own already: it is not doubled.
  const std::uint32_t history = desk.register_clipboard_format("CanIncludeInClipboardHistory");
  before.push_back(SimClipboardItem{history, {0, 0, 0, 0}});
  desk.set_clipboard(before);
  select_text(u"ghbdtn");
  hotkey_selection();
  const std::vector<std::uint32_t> p = private_formats();
  std::vector<std::uint32_t> after;
  for (const SimClipboardItem& i : desk.clipboard()) after.push_back(i.format);
  EXPECT_EQ(after, (std::vector<std::uint32_t>{win::CF_DIB, win::CF_UNICODETEXT, history, p[0], p[2]}));
}

TEST_F(Selection, AnotherProgramTakingTheClipboardMeanwhileKeepsIt) {
  desk.set_clipboard(users_clipboard());
  select_text(u"ghbdtn");
  desk.update_window(window, [](SimWindow& w) { w.paste_delay_ms = 1000; });
  // The user copies something in another program while the paste has not read yet.
  const std::vector<SimClipboardItem> newer = {SimClipboardItem{win::CF_UNICODETEXT, utf16_block(u"newer")}};
  desk.schedule_clipboard(desk.elapsed() + std::chrono::milliseconds(300), newer);
  hotkey_selection();
  EXPECT_EQ(formats(), formats_of(newer)) << "the user's newer copy is not overwritten";
  desk.advance(std::chrono::seconds(1));
  EXPECT_EQ(shown(), "newer") << "the late paste reads what the other program put there";
  EXPECT_TRUE(requested().empty());
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
    std::vector<SimClipboardItem> after = desk.clipboard();
    std::erase_if(after, [&](const SimClipboardItem& i) { return is_private(i.format); });
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

// A busy Wine hands the end of a batch to the hook and the window only after SendInput has
// returned. The engine waits for the copy and the paste only once their chords went through
// (else it gives up on a copy still to come, which then lands over the user's clipboard), and
// is done with the press only then: the user's next key must not come in under its Ctrl.
TEST_F(Selection, TheChordsAreThroughBeforeTheUserTypesOn) {
  route_injected_through_hook();
  for (const bool selected : {false, true}) {
    for (const std::size_t late : {1, 2, 3}) {
      SCOPED_TRACE(std::string(selected ? "a selection" : "nothing selected") + ", late records " +
                   std::to_string(late));
      set_layout(layout_en_us);
      desk.set_clipboard(users_clipboard());
      if (selected) {
        select_text(u"ghbdtn");
      } else {
        desk.set_text(window, u"ghbdtn");
      }
      desk.set_late_injected_records(late);
      hotkey_selection();
      EXPECT_FALSE(desk.key_down(win::VK_LCONTROL));
      type_keys(" a");
      desk.set_late_injected_records(0);
      drain();
      EXPECT_EQ(shown(), selected ? "привет ф" : "ghbdtn a");  // converted, the window is Russian
      EXPECT_EQ(formats(), formats_of(users_clipboard()));
    }
  }
}

// The clipboard held open by another program the whole time: the save fails, and without a
// copy of the user's clipboard nothing may be copied, pasted or emptied.
TEST_F(Selection, ALockedClipboardIsTriedTwentyTimesThenLeftAlone) {
  desk.set_clipboard(users_clipboard());
  select_text(u"ghbdtn");
  desk.set_clipboard_locked(true);
  engine();
  desk.clear_calls();
  const auto start = desk.elapsed();
  hotkey_selection();
  std::size_t failed = 0;
  for (const SimCall& c : desk.calls(SimCallKind::OpenClipboard)) failed += c.ok ? 0 : 1;
  EXPECT_EQ(failed, 20u);
  EXPECT_EQ(desk.elapsed() - start, std::chrono::milliseconds(200));  // 10 ms after each attempt
  EXPECT_EQ(desk.calls(SimCallKind::Wait).size(), 20u) << "each pause answers the window's messages";
  EXPECT_TRUE(desk.calls(SimCallKind::EmptyClipboard).empty());
  EXPECT_EQ(desk.sent_records().size(), 0u) << "no copy chord, no paste";
  desk.set_clipboard_locked(false);
  EXPECT_EQ(formats(), formats_of(users_clipboard()));
  EXPECT_EQ(shown(), "ghbdtn");
}

TEST_F(Selection, ClipboardBusyForAWhile) {
  struct Case {
    const char* name;
    int refused;  // the next N opens fail
    std::string expected_text;
  };
  const Case cases[] = {
      {"five refusals: retried", 5, "привет"},
      {"the save gives up: nothing happens, nothing is lost", 20, "ghbdtn"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desk.set_clipboard(users_clipboard());
    select_text(u"ghbdtn");
    desk.refuse_clipboard_opens(c.refused);
    hotkey_selection();
    EXPECT_EQ(shown(), c.expected_text);
    EXPECT_EQ(formats(), formats_of(users_clipboard()));
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
  // Nothing to paste: the selection stays, and no layout is requested for a conversion that
  // did not happen.
  EXPECT_EQ(shown(), "ghbdtn");
  EXPECT_EQ(pastes(), 0u);
  EXPECT_TRUE(requested().empty());
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
