#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config/config.h"
#include "config_temp_folder.h"

namespace klavix {
namespace {

namespace fs = std::filesystem;
using Entries = std::unordered_set<std::string>;
using testing::read_file;
using testing::writes_are_refused;
using testing::shift_mtime;
using testing::TempAppData;
using testing::write_file;

struct ListCase {
  const char* name;
  std::string file;
  Entries expected;
};

TEST(ParseList, LineRules) {
  const std::vector<ListCase> cases = {
      {"empty file", "", {}},
      {"trim, lowercase, skip empty and comment lines", "lol\n  LOL  \n\n# comment\n", {"lol"}},
      {"leading space, repeats, comment, empty", " Lol\nlol\n#x\n\n", {"lol"}},
      {"indented comment", "   # not a word\nok", {"ok"}},
      {"only # starts a comment", ";word\n", {";word"}},
      {"no comments after an entry", "word # remark\n", {"word # remark"}},
      {"CRLF", "a\r\nb\r\n", {"a", "b"}},
      {"one CR dropped, the other is white space", "a\r\r\nb", {"a", "b"}},
      {"lone CR is not a line end", "a\rb\n", {"a\rb"}},
      {"last line without LF", "a\nb", {"a", "b"}},
      {"Unicode white space trimmed", "\u00A0lol\u2003\n\u3000\n", {"lol"}},
      {"Cyrillic lowercased", "ПРИВЕТ\nПривет\n", {"привет"}},
      {"file names", "Code.EXE\nC:\\Tools\\Vim.exe\n", {"code.exe", "c:\\tools\\vim.exe"}},
      {"byte-order mark stays in the first line", "\xEF\xBB\xBFlol\nlol\n",
       {"\xEF\xBB\xBFlol", "lol"}},
      {"byte-order mark turns a first comment into an entry", "\xEF\xBB\xBF# c\n",
       {"\xEF\xBB\xBF# c"}},
      {"NUL bytes are characters", std::string("a\0b\n\0\n", 6), {std::string("a\0b", 3),
                                                                  std::string("\0", 1)}},
      {"invalid UTF-8 gives nothing", "lol\n\xFF\n", {}},
      {"overlong form gives nothing", "\xC0\xAF\n", {}},
      {"surrogate gives nothing", "\xED\xA0\x80\n", {}},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parse_list(c.file), c.expected);
  }
}

TEST(WatchedListMembership, IsExactAndCaseSensitive) {
  WatchedList list;
  list.entries = parse_list("Lol\nпривет\n");
  EXPECT_TRUE(contains(list, "lol"));
  EXPECT_FALSE(contains(list, "Lol"));
  EXPECT_FALSE(contains(list, " lol"));
  EXPECT_TRUE(contains(list, "привет"));
  EXPECT_FALSE(contains(list, "ghbdtn"));
  add(list, "ghbdtn");
  EXPECT_TRUE(contains(list, "ghbdtn"));
}

// Counts what one call did to the file system.
struct IoDelta {
  std::uint64_t metadata_queries;
  std::uint64_t reads;
  friend bool operator==(const IoDelta&, const IoDelta&) = default;
  friend std::ostream& operator<<(std::ostream& os, const IoDelta& d) {
    return os << "{metadata " << d.metadata_queries << ", reads " << d.reads << "}";
  }
};

template <typename F>
IoDelta io_of(F&& f) {
  ListIoCounters before = list_io_counters();
  f();
  ListIoCounters after = list_io_counters();
  return {after.metadata_queries - before.metadata_queries, after.reads - before.reads};
}

class ListFile : public TempAppData {
 protected:
  void SetUp() override {
    TempAppData::SetUp();
    make_folder();
    path_ = exceptions_path();
  }
  fs::path path_;
};

TEST_F(ListFile, LoadReadsTheFileAndKeepsItsTime) {
  write_file(path_, "lol\n");
  WatchedList list;
  EXPECT_EQ(io_of([&] { list = load_list(path_); }), (IoDelta{1, 1}));
  EXPECT_EQ(list.path, path_);
  EXPECT_EQ(list.entries, Entries{"lol"});
  ASSERT_TRUE(list.stamp.has_value());
}

TEST_F(ListFile, UnchangedFileCostsOneMetadataQueryAndNoRead) {
  write_file(path_, "lol\n");
  WatchedList list = load_list(path_);
  // New content under the old time: a read would see it, so it must not happen.
  auto t = fs::last_write_time(path_);
  write_file(path_, "other\n");
  fs::last_write_time(path_, t);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(io_of([&] { refresh(list); }), (IoDelta{1, 0}));
  }
  EXPECT_EQ(list.entries, Entries{"lol"});
}

TEST_F(ListFile, ChangedFileIsReadAgain) {
  write_file(path_, "lol\n");
  WatchedList list = load_list(path_);
  write_file(path_, "kek\nLOL\n");
  shift_mtime(path_, 5);
  EXPECT_EQ(io_of([&] { refresh(list); }), (IoDelta{1, 1}));
  EXPECT_EQ(list.entries, (Entries{"kek", "lol"}));
  // Also when the time goes back (a file restored from a copy).
  write_file(path_, "old\n");
  shift_mtime(path_, -3600);
  EXPECT_EQ(io_of([&] { refresh(list); }), (IoDelta{1, 1}));
  EXPECT_EQ(list.entries, Entries{"old"});
  EXPECT_EQ(list.stamp, fs::last_write_time(path_).time_since_epoch().count());
}

TEST_F(ListFile, DeletedFileEmptiesTheListAndIsTriedAtEveryRefresh) {
  write_file(path_, "lol\n");
  WatchedList list = load_list(path_);
  fs::remove(path_);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(io_of([&] { refresh(list); }), (IoDelta{1, 1}));
    EXPECT_TRUE(list.entries.empty());
    EXPECT_FALSE(list.stamp.has_value());
  }
  write_file(path_, "back\n");
  refresh(list);
  EXPECT_EQ(list.entries, Entries{"back"});
  EXPECT_TRUE(list.stamp.has_value());
}

TEST_F(ListFile, FileThatExistsButCannotBeUsedIsReadAgainOnlyWhenItChanges) {
  struct Case {
    const char* name;
    std::function<void()> make;
  };
  const std::vector<Case> cases = {
      {"folder where the file should be", [&] { fs::create_directory(path_); }},
      {"invalid UTF-8", [&] { write_file(path_, "lol\n\xFE\xFF\n"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove_all(path_, ec);
    c.make();
    WatchedList list = load_list(path_);
    EXPECT_TRUE(list.entries.empty());
    EXPECT_TRUE(list.stamp.has_value());
    EXPECT_EQ(io_of([&] { refresh(list); }), (IoDelta{1, 0}));
    fs::remove_all(path_);
    write_file(path_, "fixed\n");
    shift_mtime(path_, 7);
    refresh(list);
    EXPECT_EQ(list.entries, Entries{"fixed"});
  }
}

TEST_F(ListFile, MissingFileGivesAnEmptyListWithoutStamp) {
  WatchedList list = load_list(path_);
  EXPECT_TRUE(list.entries.empty());
  EXPECT_FALSE(list.stamp.has_value());
  EXPECT_FALSE(fs::exists(path_)) << "reading never creates the file";
}

TEST_F(ListFile, HugeFiles) {
  // Fifty megabytes of binary garbage: not UTF-8, so an empty list.
  std::string garbage(50u << 20, '\0');
  std::uint32_t x = 99;
  for (char& b : garbage) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<char>(x >> 24);
  }
  write_file(path_, garbage);
  EXPECT_TRUE(load_list(path_).entries.empty());

  // Fifty megabytes of valid text in very long lines: every line is an entry.
  std::string text;
  text.reserve(51u << 20);
  for (int i = 0; i < 50; ++i) {
    text += std::string((1u << 20) - 1, static_cast<char>('a' + i % 26)) + std::to_string(i) + "\n";
  }
  text += "LOL";
  write_file(path_, text);
  WatchedList list = load_list(path_);
  EXPECT_EQ(list.entries.size(), 51u);
  EXPECT_TRUE(contains(list, "lol"));
}

std::optional<std::int64_t> fake_time;
std::optional<std::int64_t> fake_time_query(const fs::path&) { return fake_time; }

TEST_F(ListFile, StampsComeFromTheInstalledTimeSource) {
  write_file(path_, "lol\n");
  fake_time = 100;
  set_modification_time_query(&fake_time_query);
  WatchedList list = load_list(path_);
  EXPECT_EQ(list.stamp, 100);
  write_file(path_, "kek\n");  // a save within the same tick of the source: not seen
  EXPECT_EQ(io_of([&] { refresh(list); }), (IoDelta{1, 0}));
  EXPECT_EQ(list.entries, Entries{"lol"});
  fake_time = 101;  // the finer source tells the saves apart
  refresh(list);
  EXPECT_EQ(list.entries, Entries{"kek"});
  EXPECT_EQ(list.stamp, 101);
  set_modification_time_query(nullptr);
  refresh(list);
  EXPECT_EQ(list.stamp, fs::last_write_time(path_).time_since_epoch().count());
}

struct AppendCase {
  const char* name;
  std::optional<std::string> file;  // none: no file
  std::string word;
  std::optional<std::string> expected_file;
  std::string expected_entry;  // empty: nothing added
};

TEST_F(ListFile, AppendWritesOneLineAndNeverRewritesTheFile) {
  const std::string defaults(default_exceptions_text());
  const std::vector<AppendCase> cases = {
      {"missing file gets only the word", std::nullopt, "ghbdtn", "ghbdtn\n", "ghbdtn"},
      {"after a final LF", "lol\n", "kek", "lol\nkek\n", "kek"},
      {"last line without LF gets a separating LF", "lol", "kek", "lol\nkek\n", "kek"},
      {"empty file", "", "kek", "kek\n", "kek"},
      {"CRLF file keeps its bytes", "lol\r\n", "kek", "lol\r\nkek\n", "kek"},
      {"default comments stay", defaults, "lol", defaults + "lol\n", "lol"},
      {"trimmed and lowercased", "", "  ПрИвЕт\t", "привет\n", "привет"},
      {"already listed in another case", "LOL\n", "lol", "LOL\n", ""},
      {"already listed, no final LF", "  LOL", "Lol", "  LOL", ""},
      {"empty word", "lol", "  \u00A0 ", "lol", ""},
      {"empty word, no file", std::nullopt, "", std::nullopt, ""},
      {"line break inside is refused", "lol\n", "a\nb", "lol\n", ""},
      // The reader takes such a line for a comment: the word would be in memory only.
      {"a word that would read back as a comment is refused", "lol\n", "#tag", "lol\n", ""},
      {"also after trimming", "lol\n", " \t#tag", "lol\n", ""},
      {"# further in is an entry", "lol\n", "c#", "lol\nc#\n", "c#"},
      {"user's invalid bytes are kept", "\xFF\xFE", "kek", "\xFF\xFE\nkek\n", "kek"},
      {"NUL bytes are kept", std::string("a\0", 2), "kek", std::string("a\0\nkek\n", 7), "kek"},
  };
  for (const AppendCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove_all(path_, ec);
    if (c.file) write_file(path_, *c.file);
    WatchedList list = load_list(path_);
    Entries before = list.entries;
    append_to_list(list, c.word);
    EXPECT_EQ(read_file(path_), c.expected_file);
    Entries after = before;
    if (!c.expected_entry.empty()) after.insert(c.expected_entry);
    EXPECT_EQ(list.entries, after);
  }
}

TEST_F(ListFile, OwnAppendDoesNotCauseARead) {
  write_file(path_, "lol\n");
  WatchedList list = load_list(path_);
  shift_mtime(path_, -10);  // so the append surely moves the time
  refresh(list);
  append_to_list(list, "kek");
  EXPECT_EQ(list.stamp, fs::last_write_time(path_).time_since_epoch().count());
  EXPECT_EQ(io_of([&] { refresh(list); }), (IoDelta{1, 0}));
  EXPECT_EQ(list.entries, (Entries{"lol", "kek"}));
}

TEST_F(ListFile, AppendAfterAnUnreadEditKeepsTheEditVisible) {
  write_file(path_, "lol\n");
  WatchedList list = load_list(path_);
  write_file(path_, "lol\nmine\n");  // the user saves; the list has not looked yet
  shift_mtime(path_, 5);
  append_to_list(list, "kek");
  EXPECT_EQ(read_file(path_), "lol\nmine\nkek\n");
  refresh(list);
  EXPECT_EQ(list.entries, (Entries{"lol", "mine", "kek"}));
}

TEST_F(ListFile, AppendAfterTheFileWasDeletedLeavesOnlyTheWord) {
  write_file(path_, "lol\n");
  WatchedList list = load_list(path_);
  fs::remove(path_);
  append_to_list(list, "kek");
  EXPECT_EQ(read_file(path_), "kek\n");
  refresh(list);
  EXPECT_EQ(list.entries, Entries{"kek"});
}

TEST_F(ListFile, FailedAppendKeepsTheWordInMemoryUntilTheFileIsRead) {
  fs::create_directory(path_);  // cannot be opened for writing
  WatchedList list = load_list(path_);
  append_to_list(list, "kek");
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_TRUE(contains(list, "kek"));
  refresh(list);  // the folder did not change
  EXPECT_TRUE(contains(list, "kek"));
}

TEST_F(ListFile, AppendToAReadOnlyFileChangesNothingOnDisk) {
  write_file(path_, "lol\n");
  fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  if (!writes_are_refused(path_)) GTEST_SKIP() << "permissions are not enforced (running as root)";
  WatchedList list = load_list(path_);
  append_to_list(list, "kek");
  EXPECT_EQ(read_file(path_), "lol\n");
  EXPECT_TRUE(contains(list, "kek"));
}

}  // namespace
}  // namespace klavix
