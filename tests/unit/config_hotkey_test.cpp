#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "config/config.h"

namespace klavix {
namespace {

Hotkey key(std::uint16_t vk, bool ctrl = false, bool alt = false, bool shift = false,
           bool win = false) {
  Hotkey h;
  h.vk = vk;
  h.ctrl = ctrl;
  h.alt = alt;
  h.shift = shift;
  h.win = win;
  return h;
}

struct ParseCase {
  std::string text;
  std::optional<Hotkey> expected;
};

TEST(ParseHotkey, AcceptsTheVocabularyAndRejectsEverythingElse) {
  const std::vector<ParseCase> cases = {
      // names, case and surrounding white space never matter
      {"Pause", key(0x13)},
      {"  pause\t", key(0x13)},
      {"PAUSE", key(0x13)},
      {"Break", key(0x13)},
      {"\u00A0Pause\u2003", key(0x13)},  // Unicode white space is trimmed too
      {"ScrollLock", key(0x91)},
      {"scroll", key(0x91)},
      {"Insert", key(0x2D)},
      {"ins", key(0x2D)},
      {"Space", key(0x20)},
      {"CapsLock", key(0x14)},
      {"caps", key(0x14)},
      {"Tab", key(0x09)},
      {"Esc", key(0x1B)},
      {"Apps", key(0x5D)},
      {"menu", key(0x5D)},  // the context-menu key, not Alt
      {"PrintScreen", key(0x2C)},
      // modifiers, in any order, repeated or not
      {"Shift+Pause", key(0x13, false, false, true)},
      {"shift+ctrl+f5", key(0x74, true, false, true)},
      {"control+a", key(0x41, true)},
      {"ctrl+ctrl+a", key(0x41, true)},
      {"win+space", key(0x20, false, false, false, true)},
      {"Alt+F12", key(0x7B, false, true)},
      {"ctrl + shift + space", key(0x20, true, false, true)},
      {"Win+Shift+Alt+Ctrl+Z", key(0x5A, true, true, true, true)},
      // function keys
      {"F1", key(0x70)},
      {"F24", key(0x87)},
      {"f01", key(0x70)},
      {"F0024", key(0x87)},
      {"F25", std::nullopt},
      {"F0", std::nullopt},
      {"F000", std::nullopt},
      {"F65536", std::nullopt},  // past 16 bits is still just "above 24"
      {"F65559", std::nullopt},  // 65559 mod 65536 would be 23
      {"F99999999999999999999999", std::nullopt},
      {"f", key(0x46)},  // a lone f is the letter
      {"F1a", std::nullopt},
      {"fx", std::nullopt},
      {"F\u0661", std::nullopt},  // only ASCII digits count
      // letters and digits
      {"Q", key(0x51)},
      {"q", key(0x51)},
      {"7", key(0x37)},
      {"Ctrl+0", key(0x30, true)},
      // not hotkeys
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"+", std::nullopt},
      {"Ctrl+Shift", std::nullopt},
      {"Ctrl+", std::nullopt},
      {"+A", std::nullopt},
      {"Ctrl++A", std::nullopt},
      {"A+B", std::nullopt},
      {"Pause+Pause", std::nullopt},
      {"Ctrl+Я", std::nullopt},
      {"Ctrl+.", std::nullopt},
      {"Ctrl+Enter", std::nullopt},
      {"Ctrl+Left", std::nullopt},
      {"Ctrl+Numpad1", std::nullopt},
      {"Ctrl+Alt+Del", std::nullopt},
      {"Escape", std::nullopt},
      {"Pause # comment", std::nullopt},
      {"Scroll Lock", std::nullopt},
      {"AB", std::nullopt},
      {std::string("Pause\0", 6), std::nullopt},  // NUL is not white space
      {"\xFF", std::nullopt},
      {"Ctrl+\xC3", std::nullopt},  // broken UTF-8
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE("text: \"" + c.text + "\"");
    EXPECT_EQ(parse_hotkey(c.text), c.expected);
  }
}

struct FormatCase {
  Hotkey hotkey;
  std::string expected;
};

TEST(FormatHotkey, WritesModifiersInFixedOrderAndCanonicalKeyNames) {
  const std::vector<FormatCase> cases = {
      {key(0x13), "Pause"},
      {key(0x13, false, false, true), "Shift+Pause"},
      {key(0x74, true, false, true), "Ctrl+Shift+F5"},
      {key(0x5A, true, true, true, true), "Ctrl+Alt+Shift+Win+Z"},
      {key(0x20, false, true, false, true), "Alt+Win+Space"},
      {key(0x09), "Tab"},
      {key(0x14), "CapsLock"},
      {key(0x1B), "Esc"},
      {key(0x2C), "PrintScreen"},
      {key(0x2D), "Insert"},
      {key(0x5D), "Apps"},
      {key(0x91), "ScrollLock"},
      {key(0x70), "F1"},
      {key(0x79), "F10"},
      {key(0x87), "F24"},
      {key(0x41), "A"},
      {key(0x37), "7"},
      // outside the vocabulary: the character of the low byte
      {key(0x2E), "."},
      {key(0x6F), "o"},
      {key(0x88), "\xC2\x88"},
      {key(0x1E9), "\xC3\xA9"},
      {key(0x141), "A"},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE("expected: " + c.expected);
    EXPECT_EQ(format_hotkey(c.hotkey), c.expected);
  }
}

// The keys the syntax can name: fourteen names for nine keys, F1 to F24, A to Z, 0 to 9.
std::set<std::uint16_t> nameable_keys() {
  std::set<std::uint16_t> vks = {0x09, 0x13, 0x14, 0x1B, 0x20, 0x2C, 0x2D, 0x5D, 0x91};
  for (std::uint16_t vk = 0x70; vk <= 0x87; ++vk) vks.insert(vk);
  for (std::uint16_t vk = 'A'; vk <= 'Z'; ++vk) vks.insert(vk);
  for (std::uint16_t vk = '0'; vk <= '9'; ++vk) vks.insert(vk);
  return vks;
}

Hotkey with_modifiers(std::uint16_t vk, unsigned mask) {
  return key(vk, mask & 1, mask & 2, mask & 4, mask & 8);
}

TEST(HotkeyRoundTrip, EveryRecordTheParserCanReturnComesBackFromItsText) {
  const std::set<std::uint16_t> vks = nameable_keys();
  ASSERT_EQ(vks.size(), 9u + 24u + 26u + 10u);
  for (std::uint16_t vk : vks) {
    for (unsigned mask = 0; mask < 16; ++mask) {
      Hotkey h = with_modifiers(vk, mask);
      std::string text = format_hotkey(h);
      SCOPED_TRACE(text);
      EXPECT_EQ(parse_hotkey(text), h);
    }
  }
}

TEST(HotkeyRoundTrip, TheParserNamesNoKeyOutsideTheWalkedSet) {
  // Every single character, every key name with a modifier, every F number up to 300:
  // whatever parses must land in the set the round trip walked.
  const std::set<std::uint16_t> vks = nameable_keys();
  std::vector<std::string> probes = {"pause", "break", "scrolllock", "scroll", "insert",
                                     "ins", "space", "capslock", "caps", "tab", "esc",
                                     "apps", "menu", "printscreen", "enter", "del", "home"};
  for (int c = 1; c < 0x80; ++c) probes.push_back(std::string(1, static_cast<char>(c)));
  for (int n = 0; n <= 300; ++n) probes.push_back(std::string("f").append(std::to_string(n)));
  std::set<std::uint16_t> seen;
  for (const std::string& p : probes) {
    for (const std::string& text : {p, "Ctrl+Alt+" + p}) {
      if (std::optional<Hotkey> h = parse_hotkey(text)) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(vks.count(h->vk));
        EXPECT_NE(h->vk, 0);
        seen.insert(h->vk);
      }
    }
  }
  EXPECT_EQ(seen, vks);
}

}  // namespace
}  // namespace klavix
