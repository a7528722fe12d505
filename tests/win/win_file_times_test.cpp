// The list files' change check with the program's own time source: two saves within one
// second are two changes.
#include <gtest/gtest.h>

#include "config/config.h"

#include "win/file_times.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace klavix {
namespace {

namespace fs = std::filesystem;

void write_file(const fs::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

class FileTimesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    folder = fs::path(tmp) / (L"klavix-times-" + std::to_wstring(GetCurrentProcessId()));
    fs::create_directories(folder);
    use_precise_file_times();
  }
  void TearDown() override {
    set_modification_time_query(nullptr);
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  fs::path folder;
};

TEST_F(FileTimesTest, EditsWithinOneSecondAreSeen) {
  const fs::path p = folder / "apps.txt";
  write_file(p, "first.exe\n");
  WatchedList list = load_list(p);
  ASSERT_TRUE(contains(list, "first.exe"));
  const char* edits[] = {"second.exe\n", "third.exe\n", "fourth.exe\n"};
  for (const char* e : edits) {
    SCOPED_TRACE(e);
    Sleep(30);
    write_file(p, e);
    refresh(list);
    std::string want(e);
    want.pop_back();
    EXPECT_TRUE(contains(list, want));
    EXPECT_EQ(list.entries.size(), 1u);
  }
}

TEST_F(FileTimesTest, MissingFileHasNoStampAndComesBack) {
  const fs::path p = folder / "exceptions.txt";
  WatchedList list = load_list(p);
  EXPECT_FALSE(list.stamp.has_value());
  EXPECT_TRUE(list.entries.empty());
  write_file(p, "слово\n");
  refresh(list);
  EXPECT_TRUE(list.stamp.has_value());
  EXPECT_TRUE(contains(list, "слово"));
  fs::remove(p);
  refresh(list);
  EXPECT_TRUE(list.entries.empty());
}

}  // namespace
}  // namespace klavix
