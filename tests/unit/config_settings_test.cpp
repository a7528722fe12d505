#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config/config.h"
#include "config_temp_folder.h"

namespace klavix {
namespace {

using testing::read_file;
using testing::TempAppData;
using testing::write_file;

Hotkey hk(std::string_view text) {
  std::optional<Hotkey> h = parse_hotkey(text);
  if (!h) ADD_FAILURE() << "test hotkey does not parse: " << text;
  return h.value_or(Hotkey{});
}

Settings settings(bool autoswitch, bool capsfix, std::string_view word, std::string_view selection) {
  Settings s;
  s.autoswitch = autoswitch;
  s.capsfix = capsfix;
  s.hotkey_word = hk(word);
  s.hotkey_selection = hk(selection);
  return s;
}

const std::string default_file =
    "# Настройки программы «Клавикс». После правки выберите в меню значка «Перечитать настройки».\n"
    "# Автопереключение после пробела: 1 — включено, 0 — выключено\n"
    "autoswitch = 1\n"
    "# Исправлять слова, набранные с нечаянным Caps Lock («дОБАВЬ» → «Добавь»): 1 — да, 0 — нет\n"
    "capsfix = 1\n"
    "# Исправить последнее слово (или просто сменить раскладку, если слова нет).\n"
    "# Примеры: Pause, ScrollLock, Ctrl+Shift+Space, Alt+F12\n"
    "hotkey_word = Pause\n"
    "# Исправить выделенный текст\n"
    "hotkey_selection = Shift+Pause\n";

TEST(DefaultSettings, ArePauseShiftPauseAndBothFeaturesOn) {
  Settings s = default_settings();
  EXPECT_EQ(s.hotkey_word, (Hotkey{0x13, 0, 0, 0, 0}));
  EXPECT_EQ(s.hotkey_selection, (Hotkey{0x13, 0, 0, 1, 0}));
  EXPECT_TRUE(s.autoswitch);
  EXPECT_TRUE(s.capsfix);
}

TEST(RenderSettings, DefaultsGiveTheTenLineTemplateExactly) {
  EXPECT_EQ(render_settings(default_settings()), default_file);
}

TEST(RenderSettings, ValuesFillLinesThreeFiveEightAndTen) {
  std::string text = render_settings(settings(false, false, "ctrl+shift+space", "alt+f12"));
  std::vector<std::string> lines;
  std::size_t pos = 0;
  for (std::size_t lf; (lf = text.find('\n', pos)) != std::string::npos; pos = lf + 1) {
    lines.push_back(text.substr(pos, lf - pos));
  }
  EXPECT_EQ(pos, text.size()) << "the text must end with an LF";
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[2], "autoswitch = 0");
  EXPECT_EQ(lines[4], "capsfix = 0");
  EXPECT_EQ(lines[7], "hotkey_word = Ctrl+Shift+Space");
  EXPECT_EQ(lines[9], "hotkey_selection = Alt+F12");
  EXPECT_EQ(text.find('\r'), std::string::npos);
}

struct ReadCase {
  const char* name;
  std::string file;
  Settings expected;
};

TEST(ParseSettings, ForgivingReaderRules) {
  const Settings d = default_settings();
  auto with = [&](auto change) {
    Settings s = d;
    change(s);
    return s;
  };
  const auto autoswitch_off = with([](Settings& s) { s.autoswitch = false; });
  const auto capsfix_off = with([](Settings& s) { s.capsfix = false; });
  const std::vector<ReadCase> cases = {
      {"empty file", "", d},
      {"the written template", default_file, d},
      {"key case and no spaces", "AutoSwitch=0", autoswitch_off},
      {"tabs and Unicode spaces", "\tAUTOSWITCH\u00A0=\u2003 0 ", autoswitch_off},
      {"comment after a flag is part of it", "autoswitch = 1 # on", d},
      {"comment after a flag, value 0", "autoswitch = 0 # off", d},
      {"comment after a hotkey makes it invalid", "hotkey_word = F9 # mine", d},
      {"lower case hotkey with spaces", "hotkey_word = ctrl + shift + space",
       with([](Settings& s) { s.hotkey_word = hk("Ctrl+Shift+Space"); })},
      {"selection hotkey", "hotkey_selection=Win+Insert",
       with([](Settings& s) { s.hotkey_selection = hk("Win+Insert"); })},
      {"empty value means true", "capsfix = 0\ncapsfix =", d},
      {"only 0 means false", "capsfix = 0", capsfix_off},
      {"false means true", "capsfix = false", d},
      {"no means true", "capsfix = no", d},
      {"00 means true", "capsfix = 00", d},
      {"value keeps its = signs", "autoswitch == 0", d},
      {"last usable line wins", "hotkey_word = F9\nhotkey_word = F10",
       with([](Settings& s) { s.hotkey_word = hk("F10"); })},
      {"unusable line keeps the earlier value", "hotkey_word = F10\nhotkey_word = F99",
       with([](Settings& s) { s.hotkey_word = hk("F10"); })},
      {"repeated flag, last wins", "autoswitch = 0\nautoswitch = 1", d},
      {"semicolon comment", "; autoswitch = 0", d},
      {"indented hash comment", "    # autoswitch = 0", d},
      {"section header and other keys", "[main]\nother = 0\nautoswitch=0", autoswitch_off},
      {"line without =", "autoswitch 0", d},
      {"CRLF line ends", "autoswitch = 0\r\ncapsfix = 0\r\n",
       with([](Settings& s) { s.autoswitch = false; s.capsfix = false; })},
      {"last line without LF", "autoswitch = 1\ncapsfix = 0", capsfix_off},
      {"a lone CR does not end a line", "autoswitch = 0\rcapsfix = 0", d},
      {"byte-order mark joins the first key", "\xEF\xBB\xBF" "autoswitch = 0", d},
      {"byte-order mark, setting on a later line", "\xEF\xBB\xBF# x\nautoswitch = 0",
       autoswitch_off},
      {"invalid UTF-8 anywhere gives defaults", "autoswitch = 0\n\xC0\xAF\n", d},
      {"truncated UTF-8 at the end", "autoswitch = 0\n\xD0", d},
      {"NUL inside a value", std::string("autoswitch = 0\0", 15), d},
      {"NUL lines are skipped", std::string("\0\0\nautoswitch = 0\n\0", 19), autoswitch_off},
      {"Cyrillic key is just another key", "автопереключение = 0", d},
      {"all four together", "hotkey_selection = F2\ncapsfix=0\nautoswitch=0\nhotkey_word=Ctrl+Q",
       settings(false, false, "Ctrl+Q", "F2")},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parse_settings(c.file), c.expected);
  }
}

TEST(ParseSettings, WhatTheWriterWritesTheReaderReadsBack) {
  const std::vector<Settings> records = {
      default_settings(),
      settings(false, true, "ScrollLock", "Ctrl+Alt+Shift+Win+F24"),
      settings(true, false, "Q", "9"),
      settings(false, false, "Apps", "Alt+PrintScreen"),
  };
  for (const Settings& s : records) {
    SCOPED_TRACE(format_hotkey(s.hotkey_word));
    EXPECT_EQ(parse_settings(render_settings(s)), s);
  }
}

using SettingsFile = TempAppData;

TEST_F(SettingsFile, SaveWritesTheTemplateToSettingsIni) {
  make_folder();
  save_settings(default_settings());
  EXPECT_EQ(read_file(folder() / "settings.ini"), default_file);
}

TEST_F(SettingsFile, SaveReplacesTheWholeFile) {
  make_folder();
  write_file(settings_path(), default_file + std::string(100000, 'x') + "\n# mine\nother = 1\n");
  save_settings(settings(false, true, "F9", "Shift+Pause"));
  EXPECT_EQ(read_file(settings_path()), render_settings(settings(false, true, "F9", "Shift+Pause")));
}

TEST_F(SettingsFile, SaveIntoAMissingFolderIsIgnored) {
  save_settings(default_settings());  // the settings folder does not exist
  EXPECT_FALSE(std::filesystem::exists(folder()));
}

TEST_F(SettingsFile, HandEditedHotkeyComesBackCanonical) {
  make_folder();
  write_file(settings_path(), "hotkey_word = ctrl + shift + space\r\n");
  Settings s = load_settings();
  save_settings(s);
  std::string expected = default_file;
  expected.replace(expected.find("hotkey_word = Pause"), 19, "hotkey_word = Ctrl+Shift+Space");
  EXPECT_EQ(read_file(settings_path()), expected);
}

TEST_F(SettingsFile, UnreadableOrOddFilesGiveDefaults) {
  make_folder();
  struct Case {
    const char* name;
    std::function<void()> prepare;
  };
  const std::filesystem::path p = folder() / "settings.ini";
  const std::vector<Case> cases = {
      {"missing file", [] {}},
      {"folder where the file should be", [&] { std::filesystem::create_directory(p); }},
      {"binary garbage",
       [&] {
         std::string bytes;
         for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 7919) & 0xFF);
         write_file(p, bytes);
       }},
      {"very long line", [&] { write_file(p, "autoswitch = " + std::string(4 << 20, '0') + "\n"); }},
      {"very long key", [&] { write_file(p, std::string(4 << 20, 'k') + " = 0\n"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    std::filesystem::remove_all(p, ec);
    c.prepare();
    EXPECT_EQ(load_settings(), default_settings());
  }
}

TEST_F(SettingsFile, FiftyMegabytesOfGarbageGiveDefaults) {
  make_folder();
  std::string bytes(50u << 20, '\0');
  std::uint32_t x = 12345;
  for (char& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<char>(x >> 24);
  }
  write_file(settings_path(), bytes);
  EXPECT_EQ(load_settings(), default_settings());
}

TEST_F(SettingsFile, FiftyMegabytesOfValidLinesAreRead) {
  make_folder();
  std::string bytes;
  bytes.reserve(51u << 20);
  while (bytes.size() < (50u << 20)) bytes += "# filler line of a very patient user\n";
  bytes += "autoswitch = 0\n";
  write_file(settings_path(), bytes);
  EXPECT_FALSE(load_settings().autoswitch);
}

}  // namespace
}  // namespace klavix
