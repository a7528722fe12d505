// The file layer when the disk fails partway: every write that can be cut short is cut short
// after each possible byte count, and the flush and the final move are made to fail. Each
// time the file must hold its old bytes or its new bytes, nothing in between, and no
// temporary file may stay behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/file_io.h"
#include "config_temp_folder.h"

namespace klavix {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::TempAppData;
using testing::write_file;

// What the failing calls do; one test at a time sets it.
struct Faults {
  long long write_budget = -1;  // bytes still written before writes fail; -1: no limit
  bool flush_fails = false;
  bool move_fails = false;
  int moves = 0;  // moves asked for, failed or not
};
Faults faults;
file_io::FileCalls real;

long long budget_write(int fd, const char* buf, std::size_t n) {
  if (faults.write_budget < 0) return real.write(fd, buf, n);
  if (faults.write_budget == 0) return -1;  // as when the disk is full
  const std::size_t allowed = std::min<std::size_t>(n, static_cast<std::size_t>(faults.write_budget));
  const long long written = real.write(fd, buf, allowed);
  if (written > 0) faults.write_budget -= written;
  return written;
}

bool failing_flush(int fd) { return !faults.flush_fails && real.flush(fd); }

bool failing_move(const fs::path& from, const fs::path& to, bool replace) {
  ++faults.moves;
  return !faults.move_fails && real.move(from, to, replace);
}

// The names in a folder, sorted.
std::set<std::string> names_in(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.insert(e.path().filename().string());
  return names;
}

class FailingDisk : public TempAppData {
 protected:
  void SetUp() override {
    TempAppData::SetUp();
    make_folder();
    file_io::set_file_calls({});
    real = file_io::file_calls();
    faults = Faults{};
    file_io::set_file_calls({&budget_write, &failing_flush, &failing_move});
  }
  void TearDown() override {
    file_io::set_file_calls({});
    TempAppData::TearDown();
  }

  // The ways one write of `size` bytes can go wrong: cut after 0 .. size-1 bytes, a failed
  // flush, a failed move.
  static std::vector<Faults> every_failure(std::size_t size) {
    std::vector<Faults> all;
    for (std::size_t n = 0; n < size; ++n) all.push_back({static_cast<long long>(n)});
    all.push_back({-1, true, false});
    all.push_back({-1, false, true});
    return all;
  }
  static std::string describe(const Faults& f) {
    if (f.flush_fails) return "flush fails";
    if (f.move_fails) return "move fails";
    return "write fails after " + std::to_string(f.write_budget) + " bytes";
  }
};

Settings changed_settings() {
  Settings s = default_settings();
  s.autoswitch = false;
  s.hotkey_word = parse_hotkey("Ctrl+Shift+Space").value_or(Hotkey{});
  return s;
}

TEST_F(FailingDisk, SettingsIniHoldsTheOldTextOrTheNewOneAfterEveryFailure) {
  const std::string new_text = render_settings(changed_settings());
  struct Before {
    const char* name;
    std::optional<std::string> file;  // none: no settings.ini yet
  };
  const std::vector<Before> befores = {
      {"the written template", render_settings(default_settings())},
      {"a hand-edited file", "# mine\r\nautoswitch=1\r\nhotkey_word = F9"},
      {"an empty file", ""},
      {"no file", std::nullopt},
  };
  const std::vector<Faults> failures = every_failure(new_text.size());
  for (const Before& b : befores) {
    SCOPED_TRACE(b.name);
    for (const Faults& f : failures) {
      SCOPED_TRACE(describe(f));
      std::error_code ec;
      fs::remove(settings_path(), ec);
      if (b.file) write_file(settings_path(), *b.file);
      faults = f;
      save_settings(changed_settings());
      EXPECT_EQ(read_file(settings_path()), b.file);
      EXPECT_EQ(names_in(folder()), b.file ? std::set<std::string>{"settings.ini"} : std::set<std::string>{});
      if (::testing::Test::HasFailure()) return;  // one report, not thousands
    }
    faults = Faults{};
    save_settings(changed_settings());
    EXPECT_EQ(read_file(settings_path()), new_text);
    EXPECT_EQ(names_in(folder()), std::set<std::string>{"settings.ini"});
  }
}

TEST_F(FailingDisk, SettingsAreWrittenAsideAndMovedInOneStep) {
  write_file(settings_path(), "old");
  save_settings(changed_settings());
  EXPECT_EQ(faults.moves, 1);
  EXPECT_EQ(read_file(settings_path()), render_settings(changed_settings()));
}

TEST_F(FailingDisk, ATemporaryFileLeftByACrashIsReplacedAndGoes) {
  fs::path stale = settings_path();
  stale += ".tmp";
  write_file(settings_path(), "old");
  write_file(stale, std::string(100000, 'x'));
  save_settings(default_settings());
  EXPECT_EQ(read_file(settings_path()), render_settings(default_settings()));
  EXPECT_EQ(names_in(folder()), std::set<std::string>{"settings.ini"});
}

TEST_F(FailingDisk, AReadOnlySettingsIniKeepsItsText) {
  write_file(settings_path(), "autoswitch = 0\n");
  fs::permissions(settings_path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  save_settings(default_settings());
  EXPECT_EQ(read_file(settings_path()), "autoswitch = 0\n");
  EXPECT_EQ(names_in(folder()), std::set<std::string>{"settings.ini"});
  EXPECT_EQ(faults.moves, 0);
}

TEST_F(FailingDisk, ADefaultListFileAppearsWholeOrNotAtAll) {
  const std::string text(default_exceptions_text());
  for (const Faults& f : every_failure(text.size())) {
    SCOPED_TRACE(describe(f));
    faults = f;
    EXPECT_FALSE(file_io::create_new(exceptions_path(), text));
    EXPECT_EQ(names_in(folder()), std::set<std::string>{});
    if (::testing::Test::HasFailure()) return;
  }
  faults = Faults{};
  EXPECT_TRUE(file_io::create_new(exceptions_path(), text));
  EXPECT_EQ(read_file(exceptions_path()), text);
  EXPECT_EQ(names_in(folder()), std::set<std::string>{"exceptions.txt"});
}

TEST_F(FailingDisk, ADefaultListFileNeverReplacesOneThatIsThere) {
  write_file(apps_path(), "mine.exe\n");
  EXPECT_FALSE(file_io::create_new(apps_path(), default_apps_text()));
  EXPECT_EQ(read_file(apps_path()), "mine.exe\n");
  // Also when it appears after the first look: the move itself refuses.
  const fs::path p = folder() / "late.txt";
  file_io::set_file_calls({nullptr, nullptr, [](const fs::path& from, const fs::path& to, bool replace) {
                             write_file(to, "late\n");
                             return real.move(from, to, replace);
                           }});
  EXPECT_FALSE(file_io::create_new(p, "default\n"));
  EXPECT_EQ(read_file(p), "late\n");
  EXPECT_EQ(names_in(folder()), (std::set<std::string>{"apps.txt", "late.txt"}));
}

TEST_F(FailingDisk, AnAppendLeavesNoHalfLine) {
  struct Case {
    const char* name;
    std::optional<std::string> file;
    std::string line;
    std::string written;  // what a successful append adds
  };
  const std::vector<Case> cases = {
      {"after a final LF", "lol\n", "kek", "kek\n"},
      {"with a separating LF", "lol", "kek", "\nkek\n"},
      {"Cyrillic word", "# comment\r\n", "кек", "кек\n"},
      {"empty file", "", "kek", "kek\n"},
      {"no file", std::nullopt, "kek", "kek\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (std::size_t n = 0; n < c.written.size(); ++n) {
      SCOPED_TRACE("write fails after " + std::to_string(n) + " bytes");
      std::error_code ec;
      fs::remove(exceptions_path(), ec);
      if (c.file) write_file(exceptions_path(), *c.file);
      faults = Faults{static_cast<long long>(n)};
      EXPECT_FALSE(file_io::append_line(exceptions_path(), c.line));
      EXPECT_EQ(read_file(exceptions_path()), c.file);
      if (::testing::Test::HasFailure()) return;
    }
    faults = Faults{};
    EXPECT_TRUE(file_io::append_line(exceptions_path(), c.line));
    EXPECT_EQ(read_file(exceptions_path()), c.file.value_or("") + c.written);
    EXPECT_EQ(names_in(folder()), std::set<std::string>{"exceptions.txt"});
  }
}

TEST_F(FailingDisk, AFailedAppendKeepsTheWordInMemoryOnly) {
  write_file(exceptions_path(), "lol\n");
  WatchedList list = load_list(exceptions_path());
  faults = Faults{2};
  append_to_list(list, "kek");
  EXPECT_EQ(read_file(exceptions_path()), "lol\n");
  EXPECT_TRUE(contains(list, "kek"));
}

}  // namespace
}  // namespace klavix
