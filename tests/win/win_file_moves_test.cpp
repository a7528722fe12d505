// settings.ini written with the program's own file calls on Windows: the CRT writes the
// temporary file, MoveFileExW puts it in place. Writes cut short after every byte count, a file
// another program holds open without sharing, and a read-only file: each time settings.ini
// holds the old text or the new one, and no temporary file stays.
#include <gtest/gtest.h>

#include "config/config.h"
#include "config/file_io.h"

#include "win/file_moves.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace klavix {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const fs::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::set<std::wstring> names_in(const fs::path& folder) {
  std::set<std::wstring> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().wstring());
  return names;
}

file_io::FileCalls system_calls;
long long write_budget = -1;  // bytes still written before writes fail; -1: no limit

long long budget_write(int fd, const char* buf, std::size_t n) {
  if (write_budget < 0) return system_calls.write(fd, buf, n);
  if (write_budget == 0) return -1;
  const long long written = system_calls.write(fd, buf, std::min<std::size_t>(n, write_budget));
  if (written > 0) write_budget -= written;
  return written;
}

Settings changed_settings() {
  Settings s = default_settings();
  s.capsfix = false;
  s.hotkey_selection = parse_hotkey("Alt+F12").value_or(Hotkey{});
  return s;
}

class FileMovesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    folder = fs::path(tmp) / (L"klavix-moves-" + std::to_wstring(GetCurrentProcessId()));
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
    set_settings_dir_override(folder);
    use_system_file_moves();
    system_calls = file_io::file_calls();
    write_budget = -1;
    file_io::set_file_calls({&budget_write, nullptr, system_calls.move});
    write_file(settings_path(), old_text);
  }
  void TearDown() override {
    file_io::set_file_calls({});
    set_settings_dir_override(std::nullopt);
    SetFileAttributesW(settings_path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  void expect_only_settings_ini(const std::string& text) {
    EXPECT_EQ(read_file(settings_path()), text);
    EXPECT_EQ(names_in(folder), std::set<std::wstring>{L"settings.ini"});
  }

  fs::path folder;
  const std::string old_text = "# mine\r\nautoswitch = 0\r\n";
  const std::string new_text = render_settings(changed_settings());
};

TEST_F(FileMovesTest, SaveReplacesTheFileWithTheNewText) {
  save_settings(changed_settings());
  expect_only_settings_ini(new_text);
  save_settings(default_settings());  // and again over its own file
  expect_only_settings_ini(render_settings(default_settings()));
}

TEST_F(FileMovesTest, AWriteCutShortAfterAnyByteKeepsTheOldFile) {
  for (std::size_t n = 0; n < new_text.size(); ++n) {
    SCOPED_TRACE("write fails after " + std::to_string(n) + " bytes");
    write_budget = static_cast<long long>(n);
    save_settings(changed_settings());
    expect_only_settings_ini(old_text);
    if (HasFailure()) return;
  }
  write_budget = -1;
  save_settings(changed_settings());
  expect_only_settings_ini(new_text);
}

TEST_F(FileMovesTest, AFileHeldOpenWithoutSharingIsNotReplaced) {
  struct Case {
    const char* name;
    DWORD share;
  };
  const Case cases[] = {
      {"shared for reading only", FILE_SHARE_READ},
      {"shared for reading and writing, not deleting", FILE_SHARE_READ | FILE_SHARE_WRITE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(settings_path(), old_text);
    HANDLE held = CreateFileW(settings_path().c_str(), GENERIC_READ, c.share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    save_settings(changed_settings());
    expect_only_settings_ini(old_text);
    CloseHandle(held);
    save_settings(changed_settings());  // once it is let go, the next save goes through
    expect_only_settings_ini(new_text);
  }
}

TEST_F(FileMovesTest, AReadOnlyFileIsNotReplaced) {
  ASSERT_TRUE(SetFileAttributesW(settings_path().c_str(), FILE_ATTRIBUTE_READONLY));
  save_settings(changed_settings());
  expect_only_settings_ini(old_text);
  EXPECT_TRUE(GetFileAttributesW(settings_path().c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(FileMovesTest, ACreateOnlyMoveNeverReplaces) {
  const fs::path list = folder / "exceptions.txt";
  write_file(list, "mine\n");
  const fs::path tmp = folder / "exceptions.txt.tmp";
  write_file(tmp, "defaults\n");
  EXPECT_FALSE(system_calls.move(tmp, list, false));
  EXPECT_EQ(read_file(list), "mine\n");
  fs::remove(list);
  EXPECT_TRUE(system_calls.move(tmp, list, false));
  EXPECT_EQ(read_file(list), "defaults\n");
  EXPECT_FALSE(fs::exists(tmp));
}

TEST_F(FileMovesTest, AnAppendCutShortLeavesTheListAsItWas) {
  const fs::path list = folder / "exceptions.txt";
  write_file(list, "lol");
  for (long long n = 0; n < 5; ++n) {  // "\nkek\n"
    SCOPED_TRACE(n);
    write_budget = n;
    EXPECT_FALSE(file_io::append_line(list, "kek"));
    EXPECT_EQ(read_file(list), "lol");
  }
  write_budget = -1;
  EXPECT_TRUE(file_io::append_line(list, "kek"));
  EXPECT_EQ(read_file(list), "lol\nkek\n");
}

}  // namespace
}  // namespace klavix
