#pragma once
// A private temporary folder that APPDATA points at for the length of one test, so every
// file the program writes lands there. The folder name is Cyrillic on purpose: paths with
// non-ASCII characters must work everywhere.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "config/config.h"

namespace klavix::testing {

namespace fs = std::filesystem;

inline std::optional<fs::path::string_type> get_appdata() {
#ifdef _WIN32
  const wchar_t* v = _wgetenv(L"APPDATA");
#else
  const char* v = std::getenv("APPDATA");
#endif
  if (v == nullptr) return std::nullopt;
  return fs::path::string_type(v);
}

inline void set_appdata(const std::optional<fs::path::string_type>& v) {
#ifdef _WIN32
  _wputenv_s(L"APPDATA", v ? v->c_str() : L"");  // an empty value removes it
#else
  if (v) {
    setenv("APPDATA", v->c_str(), 1);
  } else {
    unsetenv("APPDATA");
  }
#endif
}

// Whether the file system refuses a write to `p` (a file, or a file inside the folder `p`)
// after its write permission was taken away. Root, and Wine run by root, ignore permissions,
// so tests of read-only files check this first and are skipped where it does not hold.
inline bool writes_are_refused(const fs::path& p) {
  std::error_code ec;
  fs::path target = fs::is_directory(p, ec) ? p / "probe.tmp" : p;
  std::ofstream probe(target, std::ios::binary | std::ios::app);
  if (!probe) return true;
  probe.close();
  if (target != p) fs::remove(target, ec);
  return false;
}

inline void write_file(const fs::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << p;
}

inline std::optional<std::string> read_file(const fs::path& p) {
  std::error_code ec;
  if (!fs::is_regular_file(p, ec)) return std::nullopt;
  std::ifstream in(p, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Moves a file's modification time by whole seconds (the coarsest clock of any platform).
inline void shift_mtime(const fs::path& p, int seconds) {
  fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(seconds));
}

class TempAppData : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = get_appdata();
    std::random_device rd;
    root_ = fs::temp_directory_path() /
            fs::path(u8"klavix-тест-" + std::u8string(reinterpret_cast<const char8_t*>(
                                            std::to_string(rd()).c_str())));
    fs::create_directories(root_);
    set_appdata(root_.native());
  }

  void TearDown() override {
    set_appdata(saved_);
    set_settings_dir_override(std::nullopt);
    set_modification_time_query(nullptr);
    std::error_code ec;
    // Give back write permission anywhere a test took it away, then remove everything.
    for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }

  // The folder APPDATA names; the settings folder is root() / "Klavix".
  const fs::path& root() const { return root_; }
  fs::path folder() const { return root_ / "Klavix"; }
  void make_folder() { fs::create_directories(folder()); }

 private:
  std::optional<fs::path::string_type> saved_;
  fs::path root_;
};

}  // namespace klavix::testing
