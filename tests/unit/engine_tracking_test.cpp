// Word tracking: which keys the record keeps, which empty it, and how words are found in it.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

constexpr WindowHandle window_a = 0x501;
constexpr WindowHandle window_b = 0x502;

// One event of a script: a key in a window, a Reset, or a Backspace.
struct Step {
  EventKind kind = EventKind::Key;
  std::uint16_t vk = 0;
  WindowHandle window = window_a;
  bool modifier = false;
};

Step key(std::uint16_t vk, WindowHandle w = window_a) { return Step{EventKind::Key, vk, w, false}; }
Step chord(std::uint16_t vk) { return Step{EventKind::Key, vk, window_a, true}; }
Step reset() { return Step{EventKind::Reset, 0, 0, false}; }

std::vector<Step> keys_of(std::string_view letters, WindowHandle w = window_a) {
  std::vector<Step> out;
  for (char c : letters) out.push_back(key(c == ' ' ? win::VK_SPACE : static_cast<std::uint16_t>(c), w));
  return out;
}

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
std::vector<Step> operator+(std::vector<Step> a, const Step& b) {
  a.push_back(b);
  return a;
}

class Tracking : public EngineDesk {
 protected:
  void SetUp() override {
    // Decisions are not the subject here: no space may lead to a correction.
    set_autoswitch(false);
    set_capsfix(false);
  }
  void run(const std::vector<Step>& steps) {
    Engine& e = engine();
    for (const Step& s : steps) {
      EngineEvent ev;
      ev.kind = s.kind;
      ev.vk = s.vk;
      ev.window = s.window;
      ev.modifier = s.modifier ? 1 : 0;
      handle_event(e, ev);
    }
  }
  std::string recorded() {
    std::string out;
    for (std::uint16_t vk : recorded_vks()) out += vk == win::VK_SPACE ? ' ' : static_cast<char>(vk);
    return out;
  }
};

TEST_F(Tracking, WhatTheRecordKeeps) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::string expected;  // the recorded keys as their letters
  };
  const std::vector<Case> cases = {
      {"letters and spaces are recorded", keys_of("AB CD"), "AB CD"},
      {"a mouse click starts a new record", keys_of("ABC") + reset() + keys_of("DEF"), "DEF"},
      {"another window starts a new record", keys_of("ABC") + keys_of("DEF", window_b), "DEF"},
      {"an ignored key in another window still clears", keys_of("ABC") + key(win::VK_SHIFT, window_b), ""},
      {"Shift, Ctrl and Caps Lock alone change nothing",
       keys_of("AB") + key(win::VK_SHIFT) + key(win::VK_CONTROL) + key(win::VK_CAPITAL) + key(win::VK_LSHIFT) +
           key(win::VK_RMENU) + key(win::VK_LWIN) + key(0x90) + key(0x91),
       "AB"},
      {"Ctrl+C empties the record", keys_of("AB") + chord('C'), ""},
      {"an ignored key is ignored even with Ctrl held", keys_of("AB") + chord(win::VK_SHIFT), "AB"},
      {"Backspace removes the last record", keys_of("ABC") + key(win::VK_BACK), "AB"},
      {"Backspace removes a space too", keys_of("AB ") + key(win::VK_BACK), "AB"},
      {"Backspace on an empty record does nothing", std::vector<Step>{key(win::VK_BACK)} + keys_of("A"), "A"},
      {"Enter empties the record", keys_of("AB") + key(win::VK_RETURN), ""},
      {"an arrow key empties the record", keys_of("AB") + key(0x25), ""},
      {"a keypad digit empties the record", keys_of("AB") + key(0x61), ""},
      {"a digit-row digit is recorded", keys_of("AB") + key('1'), "AB1"},
      {"punctuation keys are recorded", keys_of("A") + key(0xBC) + key(0xE2), std::string("A") + '\xBC' + '\xE2'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_word(engine());
    engine().last_window = window_a;
    run(c.steps);
    EXPECT_EQ(recorded(), c.expected);
  }
}

TEST_F(Tracking, FirstKeyOnlyStoresTheWindow) {
  EXPECT_EQ(engine().last_window, 0u);
  run({key('A', window_b)});
  EXPECT_EQ(engine().last_window, window_b);
  EXPECT_EQ(recorded(), "A");
}

TEST_F(Tracking, FullRecordDropsItsOldestHalf) {
  std::vector<Step> steps;
  for (int i = 0; i < 300; ++i) steps.push_back(key(static_cast<std::uint16_t>('A' + i % 26)));
  run(steps);
  ASSERT_EQ(engine().keys.size(), 300u);
  engine().last_correction = Correction{};
  run({key('Z')});
  ASSERT_EQ(engine().keys.size(), 151u);
  EXPECT_EQ(engine().keys.front().vk, 'A' + 150 % 26);
  EXPECT_EQ(engine().keys.back().vk, 'Z');
  EXPECT_FALSE(engine().last_correction.has_value());
}

TEST_F(Tracking, RecordedFieldsComeFromTheEvent) {
  EngineEvent ev;
  ev.vk = 'Q';
  ev.layout = Layout::Ru;
  ev.shift = 1;
  ev.caps = 1;
  ev.window = window_a;
  handle_event(engine(), ev);
  ASSERT_EQ(engine().keys.size(), 1u);
  EXPECT_EQ(engine().keys[0], (Keystroke{'Q', Layout::Ru, 1, 1}));
}

TEST_F(Tracking, WhatDropsTheLastCorrection) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    bool kept;
  };
  const std::vector<Case> cases = {
      {"a letter keeps it", keys_of("A"), true},
      {"a space keeps it", keys_of(" "), true},
      {"an ignored key keeps it", {key(win::VK_SHIFT)}, true},
      {"Backspace drops it", {key(win::VK_BACK)}, false},
      {"a chord drops it", {chord('V')}, false},
      {"a key outside the table drops it", {key(win::VK_RETURN)}, false},
      {"a Reset drops it", {reset()}, false},
      {"another window drops it", {key('A', window_b)}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_word(engine());
    engine().last_window = window_a;
    run(keys_of("AB "));
    engine().last_correction = Correction{false, 0, 2, {"ab"}, 0, 3, Layout::En};
    run(c.steps);
    EXPECT_EQ(engine().last_correction.has_value(), c.kept);
  }
}

TEST_F(Tracking, ResetOnEmptyRecordChangesNothing) {
  run({reset()});
  EXPECT_TRUE(engine().keys.empty());
  EXPECT_FALSE(engine().last_correction.has_value());
  EXPECT_TRUE(desk.calls().empty());
}

std::vector<Keystroke> strokes(std::string_view letters) {
  std::vector<Keystroke> out;
  for (char c : letters) out.push_back(Keystroke{c == ' ' ? win::VK_SPACE : static_cast<std::uint16_t>(c), Layout::En, 0, 0});
  return out;
}

TEST(WordBoundaries, WordStart) {
  struct Case {
    const char* keys;
    std::size_t end;
    std::size_t expected;
  };
  const Case cases[] = {
      {"", 0, 0},         {"ABC", 3, 0},     {"AB CD", 5, 3},  {"AB CD", 2, 0},
      {"AB  CD", 3, 3},   // a space right after a space: the word before it is empty
      {"AB ", 3, 3},      {" A", 2, 1},      {"AB CD", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.keys + "\" end " + std::to_string(c.end));
    EXPECT_EQ(word_start(strokes(c.keys), c.end), c.expected);
  }
}

TEST(WordBoundaries, LastWord) {
  struct Case {
    const char* keys;
    std::optional<WordRange> expected;
  };
  const Case cases[] = {
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"AB", WordRange{0, 2}},
      {"AB  ", WordRange{0, 2}},
      {"AB CD ", WordRange{3, 5}},
      {" X", WordRange{1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.keys + "\"");
    EXPECT_EQ(last_word(strokes(c.keys)), c.expected);
  }
}

TEST_F(Tracking, BackspaceMakesTheWordLastAgain) {
  run(keys_of("AB ") + key(win::VK_BACK));
  EXPECT_EQ(last_word(engine().keys), (WordRange{0, 2}));
  EXPECT_EQ(engine().keys.size(), 2u);
}

}  // namespace
}  // namespace klavix::testing
