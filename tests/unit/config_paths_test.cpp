#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "config_temp_folder.h"

namespace klavix {
namespace {

namespace fs = std::filesystem;
using testing::get_appdata;
using testing::set_appdata;
using testing::TempAppData;

#ifdef _WIN32
constexpr const char* sep = "\\";
#else
constexpr const char* sep = "/";
#endif

using SettingsFolder = TempAppData;

TEST_F(SettingsFolder, IsAppDataJoinedWithKlavix) {
  const std::string base = path_text(root());
  EXPECT_EQ(path_text(settings_dir()), base + sep + "Klavix");
  EXPECT_EQ(path_text(settings_path()), base + sep + "Klavix" + sep + "settings.ini");
  EXPECT_EQ(path_text(exceptions_path()), base + sep + "Klavix" + sep + "exceptions.txt");
  EXPECT_EQ(path_text(apps_path()), base + sep + "Klavix" + sep + "apps.txt");
  EXPECT_EQ(path_text(welcome_marker_path()), base + sep + "Klavix" + sep + ".welcome");
  // The Cyrillic part of the folder survives the environment and the conversions.
  EXPECT_NE(path_text(settings_dir()).find("klavix-тест-"), std::string::npos);
}

TEST_F(SettingsFolder, WithoutAppDataIsKlavixInTheCurrentFolder) {
  set_appdata(std::nullopt);
  EXPECT_EQ(path_text(settings_dir()), std::string(".") + sep + "Klavix");
  EXPECT_EQ(path_text(apps_path()), std::string(".") + sep + "Klavix" + sep + "apps.txt");
  // An empty value names no folder either (on Windows setting it empty removes it).
  set_appdata(fs::path::string_type());
  EXPECT_EQ(path_text(settings_dir()), std::string(".") + sep + "Klavix");
}

TEST_F(SettingsFolder, IsReadAnewAtEveryCall) {
  const fs::path other = root() / "другая";
  EXPECT_EQ(settings_dir(), root() / "Klavix");
  set_appdata(other.native());
  EXPECT_EQ(settings_dir(), other / "Klavix");
  EXPECT_EQ(exceptions_path(), other / "Klavix" / "exceptions.txt");
  set_appdata(std::nullopt);
  EXPECT_EQ(settings_dir(), fs::path(".") / "Klavix");
}

TEST_F(SettingsFolder, OverrideIsTakenAsIsUntilCleared) {
  const fs::path chosen = root() / "sim settings";
  set_settings_dir_override(chosen);
  EXPECT_EQ(settings_dir(), chosen);
  EXPECT_EQ(settings_path(), chosen / "settings.ini");
  set_appdata(std::nullopt);  // the environment no longer matters
  EXPECT_EQ(settings_dir(), chosen);
  set_settings_dir_override(std::nullopt);
  EXPECT_EQ(settings_dir(), fs::path(".") / "Klavix");
}

TEST(PathText, IsUtf8) {
  EXPECT_EQ(path_text(fs::path(u8"Клавикс")), "Клавикс");
  EXPECT_EQ(path_text(fs::path(u8"a/b")), std::string("a") + "/" + "b");
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  for (std::size_t lf; (lf = text.find('\n', pos)) != std::string_view::npos; pos = lf + 1) {
    lines.emplace_back(text.substr(pos, lf - pos));
  }
  EXPECT_EQ(pos, text.size()) << "every line ends with an LF";
  return lines;
}

TEST(DefaultListTexts, ExceptionsTextIsTheThreeCommentLines) {
  EXPECT_EQ(default_exceptions_text().size(), 391u);
  const std::vector<std::string> expected = {
      "# Слова, которые автопереключение никогда не трогает. По одному слову в строке.",
      "# Если вы трижды отменили исправление слова, программа спросит, добавить ли его сюда.",
      "# Пишите слово так, как оно набирается, например: lol",
  };
  EXPECT_EQ(lines_of(default_exceptions_text()), expected);
  EXPECT_TRUE(parse_list(default_exceptions_text()).empty());
}

TEST(DefaultListTexts, AppsTextIsTwoCommentsAndTwentyTwoPrograms) {
  EXPECT_EQ(default_apps_text().size(), 505u);
  const std::vector<std::string> expected = {
      "# Программы, в которых автопереключение выключено (имя .exe, по одному в строке).",
      "# Ручное исправление клавишей работает везде.",
      "cmd.exe", "powershell.exe", "pwsh.exe", "windowsterminal.exe", "openconsole.exe",
      "conhost.exe", "putty.exe", "mintty.exe", "code.exe", "devenv.exe", "idea64.exe",
      "pycharm64.exe", "clion64.exe", "rider64.exe", "webstorm64.exe", "goland64.exe",
      "sublime_text.exe", "keepass.exe", "keepassxc.exe", "bitwarden.exe", "1password.exe",
      "mstsc.exe",
  };
  EXPECT_EQ(lines_of(default_apps_text()), expected);
  EXPECT_EQ(parse_list(default_apps_text()).size(), 22u);
}

}  // namespace
}  // namespace klavix
