// The Run value as the registry really stores it.
#include "win/autostart.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

namespace klavix {
namespace {

struct RunValue {
  DWORD type = 0;
  std::wstring text;  // REG_SZ data without its NUL
  DWORD bytes = 0;
};

std::optional<RunValue> read_run_value() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, run_key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  RunValue v;
  wchar_t buf[4096] = {};
  v.bytes = sizeof(buf);
  const LONG rc = RegQueryValueExW(key, run_value_name, nullptr, &v.type, reinterpret_cast<BYTE*>(buf), &v.bytes);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  if (v.type == REG_SZ) v.text.assign(buf, wcsnlen(buf, v.bytes / sizeof(wchar_t)));
  return v;
}

std::wstring own_path() {
  wchar_t buf[4096];
  const DWORD n = GetModuleFileNameW(nullptr, buf, 4096);
  return std::wstring(buf, n);
}

class RunValueTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name); }
  void TearDown() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name); }

  static void put(DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name, type, data, bytes), ERROR_SUCCESS);
  }
};

TEST_F(RunValueTest, WritesTheQuotedPathOfThisExecutableAsAString) {
  set_autostart(true);
  const auto v = read_run_value();
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->type, static_cast<DWORD>(REG_SZ));
  const std::wstring expected = L"\"" + own_path() + L"\"";
  EXPECT_EQ(v->text, expected);
  // The byte count takes in the terminating NUL, so the value reads back whole.
  EXPECT_EQ(v->bytes, (expected.size() + 1) * sizeof(wchar_t));
  EXPECT_TRUE(autostart_enabled());
}

TEST_F(RunValueTest, RemovingDeletesTheValueAndRemovingAgainIsHarmless) {
  set_autostart(true);
  ASSERT_TRUE(autostart_enabled());
  set_autostart(false);
  EXPECT_FALSE(read_run_value().has_value());
  EXPECT_FALSE(autostart_enabled());
  set_autostart(false);
  EXPECT_FALSE(autostart_enabled());
}

// What a value left by someone else counts as, and that turning autostart on always ends
// with our own string value.
TEST_F(RunValueTest, ExistingValuesOfEveryKind) {
  const DWORD dword = 1;
  const BYTE binary[] = {0x22, 0x00, 0x43, 0x00};
  const std::wstring other = L"\"C:\\Old Place\\klavix.exe\"";
  const std::wstring empty;
  struct Case {
    const char* name;
    DWORD type;
    const void* data;
    DWORD bytes;
    bool enabled;
  } cases[] = {
      {"path of another copy", REG_SZ, other.c_str(), static_cast<DWORD>((other.size() + 1) * 2), true},
      {"empty string", REG_SZ, empty.c_str(), 2, true},
      {"REG_DWORD", REG_DWORD, &dword, sizeof(dword), false},
      {"REG_BINARY", REG_BINARY, binary, sizeof(binary), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name);
    put(c.type, c.data, c.bytes);
    EXPECT_EQ(autostart_enabled(), c.enabled);

    set_autostart(true);
    const auto v = read_run_value();
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v->text, L"\"" + own_path() + L"\"");
    EXPECT_TRUE(autostart_enabled());
  }
}

}  // namespace
}  // namespace klavix
