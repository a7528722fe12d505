// The typist: which key and Shift state type a character, which layout a word is typed in,
// and a session with the real engine thread behind the hook logic.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "config/config.h"
#include "sim/sim_driver.h"
#include "text/text.h"

namespace klavix {
namespace {

TEST(SimTypist, KeyForCharacter) {
  struct Case {
    const char* name;
    char32_t c;
    Layout first;
    bool caps;
    std::optional<KeyChoice> key;
  };
  const Case cases[] = {
      {"Ru letter", U'п', Layout::Ru, false, KeyChoice{'G', false, Layout::Ru}},
      {"Ru capital", U'П', Layout::Ru, false, KeyChoice{'G', true, Layout::Ru}},
      {"found in the other layout", U'п', Layout::En, false, KeyChoice{'G', false, Layout::Ru}},
      {"Caps Lock on: a lower-case letter needs Shift", U'п', Layout::Ru, true, KeyChoice{'G', true, Layout::Ru}},
      {"Caps Lock on: a capital needs none", U'Д', Layout::Ru, true, KeyChoice{'L', false, Layout::Ru}},
      {"Caps Lock leaves digits alone", U'1', Layout::En, true, KeyChoice{'1', false, Layout::En}},
      {"Caps Lock on the Ru letter on the comma key", U'Б', Layout::Ru, true, KeyChoice{0xBC, false, Layout::Ru}},
      {"the comma in En", U',', Layout::En, false, KeyChoice{0xBC, false, Layout::En}},
      {"the comma in Ru is Shift of the slash key", U',', Layout::Ru, false, KeyChoice{0xBF, true, Layout::Ru}},
      {"the number sign exists only in Ru", U'№', Layout::En, false, KeyChoice{'3', true, Layout::Ru}},
      {"the first row wins: backslash is row 26, not 48", U'\\', Layout::En, false, KeyChoice{0xDC, false, Layout::En}},
      {"space", U' ', Layout::Ru, false, KeyChoice{win::VK_SPACE, false, Layout::Ru}},
      {"no key gives it", U'é', Layout::En, false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(key_for_character(c.c, c.first, c.caps), c.key);
  }
}

TEST(SimTypist, WordLayout) {
  struct Case {
    std::u32string word;
    std::optional<Layout> layout;
  };
  const Case cases[] = {
      {U"привет", Layout::Ru}, {U"hello", Layout::En},  {U"café", Layout::En}, {U"é", Layout::En},
      {U"a,б", Layout::Ru},    {U"123", std::nullopt}, {U";", std::nullopt},  {U"", std::nullopt},
      {U"Їжак", Layout::Ru},  // any Cyrillic letter, even one no Ru key gives
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(text::encode_utf8(c.word));
    EXPECT_EQ(word_layout(c.word), c.layout);
  }
}

// A running engine behind the typist, with a settings folder of its own.
class SimSessionTest : public ::testing::Test {
 protected:
  SimSessionTest() {
    static std::atomic<unsigned> serial{0};
    dir_ = std::filesystem::temp_directory_path() /
           ("klavix-sim-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(dir_);
    set_settings_dir_override(dir_);
    session = std::make_unique<SimSession>(desk);
  }
  ~SimSessionTest() override {
    session.reset();
    set_settings_dir_override(std::nullopt);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  void start() {
    session->start();
    window = session->new_window();
  }
  void type(std::string_view utf8) { session->type_text(*text::decode_utf8(utf8)); }

  SimDesktop desk;
  std::unique_ptr<SimSession> session;
  WindowHandle window = 0;

 private:
  std::filesystem::path dir_;
};

TEST_F(SimSessionTest, WordTypedInTheWrongLayoutIsCorrectedAfterTheSpace) {
  start();
  type("ghbdtn ");
  EXPECT_EQ(session->text(), "привет ");
  EXPECT_EQ(desk.window_layout(window), layout_ru);
  // The engine's own typing passed the hook as injected input and was not taken for keys.
  EXPECT_EQ(session->injected_swallowed(), 0u);
  type("vbh ");  // typed on the Ru layout now: the keys give мир
  EXPECT_EQ(session->text(), "привет мир ");
}

TEST_F(SimSessionTest, RussianWordTypedOnTheEnglishLayoutUsesTheSameKeys) {
  start();
  type("привет");
  EXPECT_EQ(session->text(), "ghbdtn");  // what the user sees before the space
  type(" ");
  EXPECT_EQ(session->text(), "привет ");
}

TEST_F(SimSessionTest, TheHotkeyIsHeldWhileTheEngineActs) {
  session->runtime().autoswitch_on = false;
  start();
  type("ghbdtn");
  desk.select_all(window);
  desk.clear_calls();
  session->press_hotkey(*parse_hotkey("Shift+Pause"));
  // The engine released the Shift the user still held before it copied.
  const std::vector<KeyInput> sent = desk.sent_records();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0].vk, win::VK_LSHIFT);
  EXPECT_EQ(sent[0].flags, win::KEYEVENTF_KEYUP);
  EXPECT_EQ(session->text(), "привет");
  EXPECT_FALSE(desk.key_down(win::VK_SHIFT));
  EXPECT_FALSE(desk.key_down(win::VK_PAUSE));
}

TEST_F(SimSessionTest, SelectionConversionGivesTheUsersClipboardBack) {
  session->runtime().autoswitch_on = false;
  start();
  const std::vector<SimClipboardItem> mine = {SimClipboardItem{win::CF_DIB, {1, 2, 3, 4}},
                                              SimClipboardItem{win::CF_UNICODETEXT, {'m', 0, 0, 0}}};
  desk.set_clipboard(mine);
  type("ghbdtn");
  ASSERT_EQ(session->run_script("{select}{Shift+Pause}"), std::nullopt);
  EXPECT_EQ(session->text(), "привет");
  // The user's formats, then the markers that keep the restore out of clipboard histories.
  std::vector<SimClipboardItem> back = desk.clipboard();
  ASSERT_EQ(back.size(), mine.size() + 3);
  back.resize(mine.size());
  EXPECT_EQ(back, mine);
  EXPECT_FALSE(desk.clipboard_open());
  EXPECT_EQ(desk.window_layout(window), layout_ru);
  // Back as soon as the paste had read the converted text: the copy's settling, no fixed wait.
  EXPECT_LT(desk.elapsed(), std::chrono::milliseconds(300));
}

TEST_F(SimSessionTest, SwallowedHotkeyNeverReachesTheWindow) {
  start();
  session->runtime().hotkeys[0] = *parse_hotkey("Q");
  session->tap('Q');
  session->wait_idle();
  EXPECT_EQ(session->text(), "");
  EXPECT_EQ(desk.window_layout(window), layout_ru);  // no word: the press switched the layout
  session->runtime().paused = true;  // while paused the hotkey is an ordinary key
  session->tap('Q');
  EXPECT_EQ(session->text(), "й");
}

TEST_F(SimSessionTest, CharacterNoKeyGivesIsPastedAndEndsTheWord) {
  start();
  type("ghb×dtn ");
  // The engine lost the word at the pasted character: only dtn was judged.
  const std::string shown = session->text();
  EXPECT_EQ(shown.substr(0, 5), "ghb×");
  type("ghbdtn ");
  EXPECT_EQ(session->text(), shown + "привет ");
}

TEST_F(SimSessionTest, CapsLockPressReachesBothTheDesktopAndTheHook) {
  start();
  session->caps_lock();
  EXPECT_TRUE(desk.caps_lock_on());
  EXPECT_TRUE(session->runtime().caps_on.load());
  type("x");
  EXPECT_EQ(session->text(), "x");  // typed on the key and Shift state that give it
  EXPECT_EQ(session->run_script("{caps}"), std::nullopt);
  EXPECT_FALSE(desk.caps_lock_on());
  EXPECT_FALSE(session->runtime().caps_on.load());
}

TEST_F(SimSessionTest, ScriptActionsAndErrors) {
  start();
  struct Case {
    const char* script;
    std::optional<std::string> error;
    std::string shown;
  };
  const Case cases[] = {
      {"{{a}", std::nullopt, "{a}"},
      {"ab{bs}c", std::nullopt, "ac"},
      {"ab{BS}{enter}c", std::nullopt, "ac"},
      {"abc{select}x", std::nullopt, "x"},
      {"ab{nope}cd", "unknown action {nope}", "ab"},
      {"ab{caps", "unclosed brace: {caps", "ab"},
      {"{ru}ghbdtn", std::nullopt, "привет"},  // the window's layout shows the keys in Ru
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    session->new_window();
    EXPECT_EQ(session->run_script(c.script), c.error);
    EXPECT_EQ(session->text(), c.shown);
  }
}

TEST_F(SimSessionTest, SwitchingToAThirdLayoutInstallsIt) {
  start();
  session->switch_layout(layout_de);
  EXPECT_EQ(desk.window_layout(window), layout_de);
  EXPECT_EQ(desk.installed_layouts().back(), layout_de);
  type("ghbdtn ");  // a third layout is never corrected
  EXPECT_EQ(session->text(), "ghbdtn ");
}

TEST_F(SimSessionTest, StopWaitsForWhatIsQueued) {
  start();
  type("ghbdtn");
  session->tap(win::VK_SPACE);  // no wait: the engine may still be on it
  session->stop();
  EXPECT_EQ(desk.text_utf8(window), "привет ");
  session->stop();  // twice is harmless
}

}  // namespace
}  // namespace klavix
