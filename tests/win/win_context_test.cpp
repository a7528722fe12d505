// The foreground check through the Win32 desktop against real windows of this process: the
// process image name, the focused control's class and style, window and monitor rectangles.
#include <gtest/gtest.h>

#include "config/config.h"
#include "engine/engine.h"

#include "win/win32_desktop.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace klavix {
namespace {

namespace fs = std::filesystem;

void pump() {
  MSG msg;
  for (int i = 0; i < 20; ++i) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
}

struct Scene {
  HWND top = nullptr;
  HWND focus = nullptr;
  ~Scene() {
    if (top) DestroyWindow(top);
    pump();
  }
};

enum class Frame { Captioned, BorderlessFullScreen, BorderlessOnePixelShort };

// A window in front with one focused child control.
void build(Scene& s, Frame frame, const wchar_t* control_class, DWORD control_style) {
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
  int width = 400, height = 300;
  if (frame != Frame::Captioned) {
    style = WS_POPUP | WS_VISIBLE;
    width = w - (frame == Frame::BorderlessOnePixelShort ? 1 : 0);
    height = h;
  }
  s.top = CreateWindowExW(0, L"STATIC", L"context test", style, 0, 0, width, height, nullptr, nullptr, nullptr,
                          nullptr);
  s.focus = CreateWindowExW(0, control_class, L"", WS_CHILD | WS_VISIBLE | control_style, 10, 10, 200, 24, s.top,
                            nullptr, nullptr, nullptr);
  SetForegroundWindow(s.top);
  SetFocus(s.focus);
  pump();
}

class ContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    folder = fs::path(tmp) / (L"klavix-context-" + std::to_wstring(GetCurrentProcessId()));
    fs::create_directories(folder);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  WatchedList apps_with(std::string_view lines) {
    const fs::path p = folder / "apps.txt";
    std::ofstream(p, std::ios::binary | std::ios::trunc) << lines;
    return load_list(p);
  }
  fs::path folder;
  Win32Desktop desktop;
};

TEST_F(ContextTest, TranslatedFactsOfTheWindowInFront) {
  Scene s;
  build(s, Frame::Captioned, L"EDIT", ES_PASSWORD);
  ASSERT_EQ(desktop.foreground_window(), reinterpret_cast<WindowHandle>(s.top));

  std::uint32_t pid = 0;
  const std::uint32_t tid = desktop.window_thread_process_id(desktop.foreground_window(), &pid);
  EXPECT_EQ(tid, GetCurrentThreadId());
  EXPECT_EQ(pid, GetCurrentProcessId());

  GuiThreadInfo gti;
  gti.size = 72;
  ASSERT_TRUE(desktop.gui_thread_info(tid, gti));
  EXPECT_EQ(gti.focus, reinterpret_cast<WindowHandle>(s.focus));
  EXPECT_EQ(desktop.class_name(gti.focus, 128), u"Edit");
  EXPECT_EQ(desktop.class_name(gti.focus, 3), u"Ed") << "cut to capacity - 1";
  EXPECT_NE(desktop.window_long(gti.focus, GWL_STYLE) & ES_PASSWORD, 0);

  const ProcessHandle p = desktop.open_process(PROCESS_QUERY_LIMITED_INFORMATION, false, pid);
  ASSERT_NE(p, 0u);
  const auto image = desktop.query_full_process_image_name(p, 0, 1024);
  EXPECT_TRUE(desktop.close_handle(p));
  ASSERT_TRUE(image.has_value());
  wchar_t own[1024];
  const DWORD n = GetModuleFileNameW(nullptr, own, 1024);
  EXPECT_EQ(*image, std::u16string(reinterpret_cast<const char16_t*>(own), n));
  EXPECT_FALSE(desktop.query_full_process_image_name(p, 0, 1024).has_value()) << "closed handle";

  Rect r;
  ASSERT_TRUE(desktop.window_rect(desktop.foreground_window(), r));
  EXPECT_EQ(r, (Rect{0, 0, 400, 300}));
  MonitorInfo mi;
  mi.size = 40;
  ASSERT_TRUE(desktop.monitor_info(desktop.monitor_from_window(desktop.foreground_window(), 2), mi));
  EXPECT_EQ(mi.monitor, (Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
}

TEST_F(ContextTest, ExcludedContexts) {
  struct Case {
    const char* name;
    Frame frame;
    const wchar_t* control;
    DWORD style;
    const char* apps;
    bool excluded;
  } cases[] = {
      {"plain edit in a captioned window", Frame::Captioned, L"EDIT", 0, "", false},
      {"password edit", Frame::Captioned, L"EDIT", ES_PASSWORD, "", true},
      {"button with the password bit", Frame::Captioned, L"BUTTON", 0x20, "", false},
      {"this program listed", Frame::Captioned, L"EDIT", 0, "other.exe\nWIN_TESTS.EXE\n", true},
      {"another program listed", Frame::Captioned, L"EDIT", 0, "other.exe\n", false},
      {"borderless and full screen", Frame::BorderlessFullScreen, L"EDIT", 0, "", true},
      {"borderless one pixel short", Frame::BorderlessOnePixelShort, L"EDIT", 0, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scene s;
    build(s, c.frame, c.control, c.style);
    ASSERT_EQ(desktop.foreground_window(), reinterpret_cast<WindowHandle>(s.top));
    WatchedList apps = apps_with(c.apps);
    EXPECT_EQ(is_excluded_context(desktop, apps), c.excluded);
  }
}

}  // namespace
}  // namespace klavix
