// The real klavix.exe started twice in one session: the second copy says so, changes nothing
// and ends with exit code 0 while the first keeps running.
#include <gtest/gtest.h>

#include "app/texts.h"
#include "klavix_version.h"
#include "text/text.h"

#include "win/autostart.h"
#include "win/wide.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <filesystem>
#include <string>
#include <vector>

namespace klavix {
namespace {

namespace fs = std::filesystem;

// The build hands us a Unix path; Wine shows the Unix root as drive Z:.
std::wstring exe_path() {
  std::string p = KLAVIX_EXE;
  if (!p.empty() && p[0] == '/') {
    for (char& c : p)
      if (c == '/') c = '\\';
    p = "Z:" + p;
  }
  return wide(p);
}

fs::path fresh_folder(const wchar_t* name) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  fs::path dir = fs::path(tmp) / (std::wstring(name) + std::to_wstring(GetCurrentProcessId()));
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
  return dir;
}

struct Child {
  PROCESS_INFORMATION pi{};
  bool started = false;
};

Child start_klavix(const fs::path& appdata) {
  SetEnvironmentVariableW(L"APPDATA", appdata.wstring().c_str());
  Child c;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  std::wstring cmd = L"\"" + exe_path() + L"\"";
  c.started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &c.pi) != 0;
  return c;
}

DWORD window_process(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return pid;
}

// Polls for a top-level window of the given class and title that belongs to `pid`.
HWND wait_for_window(const wchar_t* cls, const wchar_t* title, DWORD pid, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    for (HWND w = FindWindowExW(nullptr, nullptr, cls, title); w; w = FindWindowExW(nullptr, w, cls, title))
      if (window_process(w) == pid) return w;
    Sleep(50);
  }
  return nullptr;
}

BOOL CALLBACK collect_text(HWND w, LPARAM out) {
  wchar_t buf[1024];
  const int n = GetWindowTextW(w, buf, 1024);
  reinterpret_cast<std::vector<std::string>*>(out)->push_back(narrow(std::wstring_view(buf, n)));
  return TRUE;
}

class SecondCopyTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name); }
  void TearDown() override {
    for (Child* c : {&first, &second}) {
      if (!c->started) continue;
      TerminateProcess(c->pi.hProcess, 1);
      WaitForSingleObject(c->pi.hProcess, 5000);
      CloseHandle(c->pi.hProcess);
      CloseHandle(c->pi.hThread);
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name);
    std::error_code ec;
    fs::remove_all(first_appdata, ec);
    fs::remove_all(second_appdata, ec);
  }

  Child first, second;
  fs::path first_appdata = fresh_folder(L"klavix-first-");
  fs::path second_appdata = fresh_folder(L"klavix-second-");
};

TEST_F(SecondCopyTest, ShowsTheNoticeExitsWithZeroAndLeavesTheFirstRunning) {
  first = start_klavix(first_appdata);
  ASSERT_TRUE(first.started);
  HWND tray = wait_for_window(L"KlavixTray", nullptr, first.pi.dwProcessId, 30000);
  ASSERT_NE(tray, nullptr) << "the first copy never created its tray window";

  // The first start on a clean account: folder, files, marker and the Run value. The window
  // comes before the marker, so wait for the last step of the start-up.
  const fs::path folder = first_appdata / L"Klavix";
  for (int waited = 0; waited < 10000 && !fs::exists(folder / L".welcome"); waited += 50) Sleep(50);
  struct File {
    const wchar_t* name;
    std::uintmax_t size;  // 0: any size
  } files[] = {{L"settings.ini", 0}, {L"exceptions.txt", 391}, {L"apps.txt", 505}, {L".welcome", 0}};
  for (const File& f : files) {
    SCOPED_TRACE(narrow(f.name));
    std::error_code ec;
    const auto size = fs::file_size(folder / f.name, ec);
    ASSERT_FALSE(ec);
    if (f.size) {
      EXPECT_EQ(size, f.size);
    }
  }
  EXPECT_TRUE(autostart_enabled());

  second = start_klavix(second_appdata);
  ASSERT_TRUE(second.started);
  const std::wstring caption = wide(app_caption);
  HWND box = wait_for_window(L"#32770", caption.c_str(), second.pi.dwProcessId, 30000);
  ASSERT_NE(box, nullptr) << "the second copy showed no message box";

  std::vector<std::string> shown;
  EnumChildWindows(box, collect_text, reinterpret_cast<LPARAM>(&shown));
  EXPECT_NE(std::find(shown.begin(), shown.end(), std::string(second_copy_text)), shown.end());

  // Until the box is closed the second copy waits; then it ends with 0.
  EXPECT_EQ(WaitForSingleObject(second.pi.hProcess, 300), static_cast<DWORD>(WAIT_TIMEOUT));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_EQ(WaitForSingleObject(second.pi.hProcess, 15000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 1234;
  GetExitCodeProcess(second.pi.hProcess, &code);
  EXPECT_EQ(code, 0u);

  // The second copy created nothing: not even its settings folder.
  EXPECT_FALSE(fs::exists(second_appdata / L"Klavix"));

  EXPECT_EQ(WaitForSingleObject(first.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(IsWindow(tray));
}

// "Выход" from the tray menu: the icon's right click opens the menu, the last item ends the
// process with exit code 0.
TEST_F(SecondCopyTest, ExitFromTheMenuEndsTheProcessWithZero) {
  first = start_klavix(first_appdata);
  ASSERT_TRUE(first.started);
  HWND tray = wait_for_window(L"KlavixTray", nullptr, first.pi.dwProcessId, 30000);
  ASSERT_NE(tray, nullptr);
  PostMessageW(tray, WM_APP + 1, 1, WM_RBUTTONUP);
  HWND menu = wait_for_window(L"#32768", nullptr, first.pi.dwProcessId, 10000);
  ASSERT_NE(menu, nullptr) << "no menu opened";
  // The menu's own loop reads the keys from its thread's queue: up from nothing selected
  // lands on the last item.
  PostMessageW(tray, WM_KEYDOWN, VK_UP, 0);
  PostMessageW(tray, WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_EQ(WaitForSingleObject(first.pi.hProcess, 15000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 1234;
  GetExitCodeProcess(first.pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
}

// The uninstaller's way: another process posts the «Выход» command to the tray window.
TEST_F(SecondCopyTest, ExitCommandFromAnotherProgramEndsTheProcessWithZero) {
  first = start_klavix(first_appdata);
  ASSERT_TRUE(first.started);
  HWND tray = wait_for_window(L"KlavixTray", nullptr, first.pi.dwProcessId, 30000);
  ASSERT_NE(tray, nullptr);
  // Other command ids are not taken from outside: the pause switch, say, stays as it was.
  PostMessageW(tray, WM_COMMAND, 2, 0);
  PostMessageW(tray, WM_COMMAND, 7, 0);  // would open the help box
  EXPECT_EQ(wait_for_window(L"#32770", nullptr, first.pi.dwProcessId, 1000), nullptr);
  EXPECT_EQ(WaitForSingleObject(first.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  PostMessageW(tray, WM_COMMAND, 8, 0);
  ASSERT_EQ(WaitForSingleObject(first.pi.hProcess, 15000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 1234;
  GetExitCodeProcess(first.pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(IsWindow(tray));
}

// The program's icon: one group, five sizes, each the tray's blue square with white letters in
// the middle.
TEST(ExecutableResources, IconAtEverySizeWithTheTrayLook) {
  HMODULE image = LoadLibraryExW(exe_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  HRSRC group = FindResourceW(image, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr) << "no icon group 1";
  const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(image, group)));
  const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* entry = dir + 6 + 14 * i;  // GRPICONDIRENTRY, packed
    const int size = entry[0] == 0 ? 256 : entry[0];
    const WORD id = *reinterpret_cast<const WORD*>(entry + 12);
    sizes.push_back(size);
    SCOPED_TRACE(size);
    HRSRC res = FindResourceW(image, MAKEINTRESOURCEW(id), RT_ICON);
    ASSERT_NE(res, nullptr);
    BYTE* bits = static_cast<BYTE*>(LockResource(LoadResource(image, res)));
    HICON icon = CreateIconFromResourceEx(bits, SizeofResource(image, res), TRUE, 0x00030000, size, size, 0);
    ASSERT_NE(icon, nullptr);
    ICONINFO ii{};
    ASSERT_TRUE(GetIconInfo(icon, &ii));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = size;
    bi.bmiHeader.biHeight = -size;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> px(static_cast<std::size_t>(size) * size);
    HDC dc = GetDC(nullptr);
    ASSERT_EQ(GetDIBits(dc, ii.hbmColor, 0, size, px.data(), &bi, DIB_RGB_COLORS), size);
    ReleaseDC(nullptr, dc);
    DeleteObject(ii.hbmColor);
    DeleteObject(ii.hbmMask);
    DestroyIcon(icon);
    auto at = [&](int x, int y) { return px[static_cast<std::size_t>(y) * size + x]; };
    const std::pair<int, int> corners[] = {{0, 0}, {size - 1, 0}, {0, size - 1}, {size - 1, size - 1}};
    for (auto [x, y] : corners)
      EXPECT_EQ(at(x, y), 0xFF1E6AC0u) << "corner " << x << "," << y;  // opaque RGB(30, 106, 192)
    int white = 0, left = size, right = -1;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        if ((at(x, y) & 0xFFFFFF) == 0xFFFFFF) {
          ++white;
          left = std::min(left, x);
          right = std::max(right, x);
        }
    EXPECT_GT(white, size * size / 20) << "too little of the glyph";
    EXPECT_LT(white, size * size / 2);
    // Two letters side by side, centred: the glyph spans most of the width.
    EXPECT_LE(left, size / 4);
    EXPECT_GE(right, size - 1 - size / 4);
    EXPECT_LE(std::abs((left + right + 1) - size), size / 8 + 1) << "not centred";
  }
  FreeLibrary(image);
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 256}));
}

// What Windows reads from the executable's resources before it runs a line of it.
TEST(ExecutableResources, VersionAndManifest) {
  const std::wstring path = exe_path();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
  // The numbers and the texts all come from the one version the build defines.
  const DWORD ms = (KLAVIX_VERSION_MAJOR << 16) | KLAVIX_VERSION_MINOR;
  const DWORD ls = KLAVIX_VERSION_PATCH << 16;
  EXPECT_EQ(fixed->dwProductVersionMS, ms);
  EXPECT_EQ(fixed->dwProductVersionLS, ls);
  EXPECT_EQ(fixed->dwFileVersionMS, ms);
  EXPECT_EQ(fixed->dwFileVersionLS, ls);

  const std::wstring version = wide(version_text());
  struct Str {
    const wchar_t* key;
    const wchar_t* value;
  } strings[] = {{L"ProductName", L"Klavix"},
                 {L"ProductVersion", version.c_str()},
                 {L"FileVersion", version.c_str()},
                 {L"OriginalFilename", L"klavix.exe"}};
  for (const Str& st : strings) {
    SCOPED_TRACE(narrow(st.key));
    const std::wstring query = std::wstring(L"\\StringFileInfo\\041904B0\\") + st.key;
    wchar_t* value = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &len));
    EXPECT_STREQ(value, st.value);
  }

  HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  HRSRC res = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(res, nullptr) << "no manifest with id 1";
  const char* data = static_cast<const char*>(LockResource(LoadResource(image, res)));
  const std::string manifest(data, SizeofResource(image, res));
  FreeLibrary(image);
  const std::string own_identity = "name=\"Klavix\" version=\"" + std::to_string(KLAVIX_VERSION_MAJOR) + "." +
                                   std::to_string(KLAVIX_VERSION_MINOR) + "." +
                                   std::to_string(KLAVIX_VERSION_PATCH) + ".0\"";
  for (const std::string& needle : {std::string("Microsoft.Windows.Common-Controls"), std::string("version=\"6.0.0.0\""),
                                    std::string("<dpiAware"), std::string("PerMonitorV2"), own_identity}) {
    SCOPED_TRACE(needle);
    EXPECT_NE(manifest.find(needle), std::string::npos);
  }
}

}  // namespace
}  // namespace klavix
