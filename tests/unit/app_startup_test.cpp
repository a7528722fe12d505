#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "config_temp_folder.h"

namespace klavix {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::writes_are_refused;
using testing::set_appdata;
using testing::TempAppData;
using testing::write_file;

class Startup : public TempAppData {
 protected:
  std::optional<std::string> file(const char* name) { return read_file(folder() / name); }
  Runtime rt;
};

TEST_F(Startup, CleanAccountGetsTheFolderAndTheThreeDefaultFiles) {
  EXPECT_TRUE(prepare_settings(rt));
  EXPECT_TRUE(fs::is_directory(folder()));
  EXPECT_EQ(file("settings.ini"), render_settings(default_settings()));
  EXPECT_EQ(file("exceptions.txt"), std::string(default_exceptions_text()));
  EXPECT_EQ(file("apps.txt"), std::string(default_apps_text()));
  EXPECT_EQ(file("exceptions.txt")->size(), 391u);
  EXPECT_EQ(file("apps.txt")->size(), 505u);
  EXPECT_FALSE(fs::exists(folder() / ".welcome")) << "the marker belongs to the tray start-up";
  EXPECT_EQ(copy_settings(rt), default_settings());
  EXPECT_EQ(copy_hotkeys(rt)[0], default_settings().hotkey_word);
}

TEST_F(Startup, MissingParentFoldersAreCreated) {
  set_appdata((root() / "a" / "b").native());
  EXPECT_TRUE(prepare_settings(rt));
  EXPECT_TRUE(fs::exists(root() / "a" / "b" / "Klavix" / "apps.txt"));
}

TEST_F(Startup, ExistingFilesAreNeverTouched) {
  struct Case {
    const char* name;
    std::string settings, exceptions, apps;
  };
  const std::vector<Case> cases = {
      {"all empty", "", "", ""},
      {"user content", "autoswitch=0\nhotkey_word = f9\n", "lol\nkek", "notepad.exe\n"},
      {"garbage", "\xFF\xFE\x00garbage", "\xC0\xAF", std::string(3, '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_folder();
    write_file(folder() / "settings.ini", c.settings);
    write_file(folder() / "exceptions.txt", c.exceptions);
    write_file(folder() / "apps.txt", c.apps);
    Runtime fresh;
    EXPECT_FALSE(prepare_settings(fresh));
    EXPECT_EQ(file("settings.ini"), c.settings);
    EXPECT_EQ(file("exceptions.txt"), c.exceptions);
    EXPECT_EQ(file("apps.txt"), c.apps);
    EXPECT_EQ(copy_settings(fresh), parse_settings(c.settings));
  }
}

TEST_F(Startup, SettingsFromTheFileArePublished) {
  make_folder();
  write_file(folder() / "settings.ini", "autoswitch = 0\nhotkey_word = Ctrl+Q\n");
  EXPECT_FALSE(prepare_settings(rt));
  EXPECT_FALSE(rt.autoswitch_on.load());
  EXPECT_TRUE(rt.capsfix_on.load());
  EXPECT_EQ(copy_hotkeys(rt)[0], *parse_hotkey("Ctrl+Q"));
  EXPECT_EQ(copy_hotkeys(rt)[1], *parse_hotkey("Shift+Pause"));
}

TEST_F(Startup, DeletedSettingsIniIsAFirstRunThatLeavesTheListsAlone) {
  ASSERT_TRUE(prepare_settings(rt));
  write_file(folder() / "exceptions.txt", "mine\n");
  fs::remove(folder() / "apps.txt");
  fs::remove(folder() / "settings.ini");
  Runtime again;
  EXPECT_TRUE(prepare_settings(again));
  EXPECT_EQ(file("settings.ini"), render_settings(default_settings()));
  EXPECT_EQ(file("exceptions.txt"), "mine\n");
  EXPECT_EQ(file("apps.txt"), std::string(default_apps_text()));
}

TEST_F(Startup, FoldersNamedLikeTheFilesAreNotFirstRunAndGiveDefaults) {
  make_folder();
  for (const char* name : {"settings.ini", "exceptions.txt", "apps.txt"}) {
    fs::create_directory(folder() / name);
  }
  EXPECT_FALSE(prepare_settings(rt));
  for (const char* name : {"settings.ini", "exceptions.txt", "apps.txt"}) {
    EXPECT_TRUE(fs::is_directory(folder() / name)) << name;
  }
  EXPECT_EQ(copy_settings(rt), default_settings());
}

TEST_F(Startup, WithoutAppDataTheFolderIsKlavixUnderTheCurrentFolder) {
  const fs::path cwd = fs::current_path();
  fs::current_path(root());
  set_appdata(std::nullopt);
  bool first = prepare_settings(rt);
  fs::current_path(cwd);
  EXPECT_TRUE(first);
  EXPECT_EQ(read_file(root() / "Klavix" / "apps.txt"), std::string(default_apps_text()));
  EXPECT_TRUE(fs::exists(root() / "Klavix" / "settings.ini"));
}

TEST_F(Startup, UnreachableAppDataLeavesNoFilesAndRunsOnDefaults) {
  // APPDATA names a file, so no folder can be made under it.
  write_file(root() / "not a folder", "x");
  set_appdata((root() / "not a folder").native());
  EXPECT_TRUE(prepare_settings(rt));
  EXPECT_EQ(read_file(root() / "not a folder"), "x");
  EXPECT_EQ(copy_settings(rt), default_settings());
  EXPECT_EQ(copy_hotkeys(rt)[1], default_settings().hotkey_selection);
}

TEST_F(Startup, ReadOnlyAppDataLeavesNoFilesAndRunsOnDefaults) {
  fs::permissions(root(), fs::perms::owner_read | fs::perms::owner_exec);
  if (!writes_are_refused(root())) {
    GTEST_SKIP() << "folder permissions are not enforced (running as root, or on Windows)";
  }
  EXPECT_TRUE(prepare_settings(rt));
  EXPECT_FALSE(fs::exists(folder()));
  EXPECT_EQ(copy_settings(rt), default_settings());
}

TEST_F(Startup, WelcomeIsDueOnceWhileTheMarkerExists) {
  make_folder();
  EXPECT_TRUE(welcome_due());
  EXPECT_EQ(read_file(folder() / ".welcome"), "");
  EXPECT_FALSE(welcome_due());
  EXPECT_FALSE(welcome_due());
  fs::remove(folder() / ".welcome");
  EXPECT_TRUE(welcome_due());
}

TEST_F(Startup, WelcomeIsDueAtEveryStartWhenTheMarkerCannotBeMade) {
  // No settings folder: the marker cannot be created.
  EXPECT_TRUE(welcome_due());
  EXPECT_TRUE(welcome_due());
  EXPECT_FALSE(fs::exists(folder()));
}

#ifdef _WIN32
TEST(StartupOnWindows, FilesLandInTheRealAppData) {
  std::optional<fs::path::string_type> appdata = testing::get_appdata();
  if (!appdata) GTEST_SKIP() << "APPDATA is not set";
  const fs::path folder = fs::path(*appdata) / "Klavix";
  if (fs::exists(folder)) GTEST_SKIP() << "a Klavix folder already exists here; not touching it";
  EXPECT_EQ(settings_dir().native(), *appdata + L"\\Klavix");
  Runtime rt;
  EXPECT_TRUE(prepare_settings(rt));
  EXPECT_EQ(read_file(folder / "apps.txt"), std::string(default_apps_text()));
  EXPECT_EQ(read_file(folder / "exceptions.txt"), std::string(default_exceptions_text()));
  EXPECT_EQ(read_file(folder / "settings.ini"), render_settings(default_settings()));
  std::error_code ec;
  fs::remove_all(folder, ec);
}
#endif

}  // namespace
}  // namespace klavix
