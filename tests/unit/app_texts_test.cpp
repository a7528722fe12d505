#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/texts.h"
#include "config_temp_folder.h"
#include "klavix_version.h"

namespace klavix {
namespace {

namespace fs = std::filesystem;

Settings with_hotkeys(std::string_view word, std::string_view selection) {
  Settings s = default_settings();
  s.hotkey_word = *parse_hotkey(word);
  s.hotkey_selection = *parse_hotkey(selection);
  return s;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  for (;;) {
    std::size_t lf = text.find('\n', pos);
    lines.push_back(text.substr(pos, lf == std::string::npos ? lf : lf - pos));
    if (lf == std::string::npos) return lines;
    pos = lf + 1;
  }
}

TEST(Texts, FixedMessages) {
  EXPECT_EQ(app_caption, "Клавикс");
  EXPECT_EQ(second_copy_text, "Клавикс уже запущена: значок «Ая» в области уведомлений.");
  EXPECT_EQ(tooltip_text(false), "Клавикс — работает");
  EXPECT_EQ(tooltip_text(true), "Клавикс — пауза");
  // U+2014 dashes and U+00AB/U+00BB quotes, not their ASCII look-alikes.
  EXPECT_NE(second_copy_text.find("\xC2\xAB\xD0\x90\xD1\x8F\xC2\xBB"), std::string_view::npos);
  EXPECT_NE(tooltip_running.find(" \xE2\x80\x94 "), std::string_view::npos);
}

TEST(Texts, MenuItemsInOrder) {
  struct Item {
    std::uint16_t id;
    std::string text;
  };
  const std::vector<Item> expected = {
      {1, "Автопереключение"},
      {10, "Исправлять нечаянный Caps Lock"},
      {2, "Приостановить всё"},
      {0, ""},
      {3, "Слова-исключения\xE2\x80\xA6"},
      {4, "Программы-исключения\xE2\x80\xA6"},
      {9, "Папка настроек"},
      {5, "Перечитать настройки"},
      {6, "Запускать вместе с Windows"},
      {0, ""},
      {7, "Горячие клавиши и справка"},
      {8, "Выход"},
  };
  ASSERT_EQ(menu_items.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("position " + std::to_string(i + 1));
    EXPECT_EQ(menu_items[i].id, expected[i].id);
    EXPECT_EQ(menu_items[i].text, expected[i].text);
  }
}

TEST(WelcomeText, FillsBothHotkeys) {
  struct Case {
    Settings settings;
    std::string text;
  };
  const std::vector<Case> cases = {
      {default_settings(),
       "Pause — исправить слово, Shift+Pause — выделенный текст. Меню — правый клик по значку."},
      {with_hotkeys("ctrl + shift + space", "alt+f12"),
       "Ctrl+Shift+Space — исправить слово, Alt+F12 — выделенный текст. Меню — правый клик по "
       "значку."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    BalloonText b = welcome_text(c.settings);
    EXPECT_EQ(b.title, "Клавикс запущена");
    EXPECT_EQ(b.text, c.text);
  }
}

// The version text is derived from the three numbers the build defines; the help box, the
// version resource and the release's file names all show this text.
TEST(VersionText, IsTheBuildsVersionWithoutAZeroThirdPart) {
  std::string want = std::to_string(KLAVIX_VERSION_MAJOR) + "." + std::to_string(KLAVIX_VERSION_MINOR);
  if (KLAVIX_VERSION_PATCH != 0) want += "." + std::to_string(KLAVIX_VERSION_PATCH);
  EXPECT_EQ(version_text(), want);
  EXPECT_EQ(version_text(), KLAVIX_VERSION_TEXT);
}

TEST(HelpText, DefaultsGiveTheTwelveLinesExactly) {
  const std::string expected =
      "Клавикс " KLAVIX_VERSION_TEXT "\n"
      "\n"
      "Pause — исправить последнее слово. Нажмите ещё раз, чтобы вернуть как было.\n"
      "Pause, если слово не набрано, — просто сменить раскладку.\n"
      "Shift+Pause — исправить выделенный текст.\n"
      "\n"
      "Автопереключение срабатывает после пробела. Если оно ошиблось, нажмите Pause: слово "
      "вернётся как было. После третьей отмены одного и того же слова программа спросит, "
      "добавить ли его в исключения.\n"
      "\n"
      "Нечаянный Caps Lock: «дОБАВЬ» после пробела станет «Добавь», а Caps Lock выключится. "
      "Pause сразу после этого вернёт как было. Для выделенного текста — Shift+Pause.\n"
      "\n"
      "Программа ничего не отправляет в интернет и не сохраняет набранный текст.\n"
      "Настройки: C:\\Users\\Аня\\AppData\\Roaming\\Klavix";
  std::string text = help_text(default_settings(), fs::path(u8"C:\\Users\\Аня\\AppData\\Roaming\\Klavix"));
  EXPECT_EQ(text, expected);
  EXPECT_EQ(split_lines(text).size(), 12u);
}

// The box opens with the program's name and version, never with an empty line.
TEST(HelpText, FirstLineIsTheNameAndVersion) {
  for (const fs::path& folder : {fs::path("x"), fs::path("{3}")}) {
    std::vector<std::string> lines = split_lines(help_text(default_settings(), folder));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], "Клавикс " + std::string(version_text()));
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[11], "Настройки: " + folder.string()) << "the version is not put into values";
  }
}

TEST(HelpText, TheWordHotkeyShowsOnEveryLineThatNamesIt) {
  std::vector<std::string> lines =
      split_lines(help_text(with_hotkeys("Ctrl+Shift+Space", "F9"), fs::path("x")));
  ASSERT_EQ(lines.size(), 12u);
  for (int n : {3, 4, 7, 9}) {
    SCOPED_TRACE("line " + std::to_string(n));
    EXPECT_NE(lines[n - 1].find("Ctrl+Shift+Space"), std::string::npos);
    EXPECT_EQ(lines[n - 1].find("Pause"), std::string::npos);
  }
  for (int n : {5, 9}) EXPECT_NE(lines[n - 1].find("F9"), std::string::npos) << n;
  EXPECT_EQ(lines[11], "Настройки: x");
}

TEST(HelpText, ValuesAreInsertedAsTheyAre) {
  // A folder whose name looks like a placeholder stays as it is.
  std::string text = help_text(default_settings(), fs::path("{0}{1}{2}"));
  EXPECT_EQ(split_lines(text).back(), "Настройки: {0}{1}{2}");
  EXPECT_EQ(text.find("{", 0), text.rfind("{0}{1}{2}")) << "no other braces are left";
}

using HelpFolder = testing::TempAppData;

TEST_F(HelpFolder, ShowsTheSettingsFolderNotTheFile) {
  std::string last = split_lines(help_text(default_settings(), settings_dir())).back();
  EXPECT_EQ(last, "Настройки: " + path_text(root() / "Klavix"));
  testing::set_appdata(std::nullopt);
  last = split_lines(help_text(default_settings(), settings_dir())).back();
#ifdef _WIN32
  EXPECT_EQ(last, "Настройки: .\\Klavix");
#else
  EXPECT_EQ(last, "Настройки: ./Klavix");
#endif
}

TEST(ExceptionPrompt, ShowsTheWordAndTheThreshold) {
  struct Case {
    std::string word;
    std::string first_line;
  };
  const std::vector<Case> cases = {
      {"ghbdtn", "Исправление слова «ghbdtn» отменили уже 3 раза."},
      {"привет", "Исправление слова «привет» отменили уже 3 раза."},
      {"{}", "Исправление слова «{}» отменили уже 3 раза."},
  };
  const std::string rest =
      "\n\nДобавить его в исключения? Тогда автопереключение больше не будет его трогать.\n\n"
      "Если это пароль или другие личные данные, нажмите «Нет»: исключения хранятся в обычном "
      "текстовом файле.";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    EXPECT_EQ(exception_prompt_text(c.word), c.first_line + rest);
  }
  EXPECT_EQ(exception_prompt_threshold, 3u);
}

}  // namespace
}  // namespace klavix
