// The tray's commands and window procedure against a real window, the real registry and
// settings files in a folder of the test's own.
#include <gtest/gtest.h>

#include "app/runtime.h"
#include "app/texts.h"
#include "config/config.h"
#include "engine/channel.h"

#include "win/autostart.h"
#include "win/tray.h"
#include "win/wide.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace klavix {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const fs::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool reset_arrives(EventReceiver& receiver) {
  const Received r = receiver.receive(std::chrono::steady_clock::now() + std::chrono::milliseconds(200));
  return r.status == ReceiveStatus::Event && r.event.kind == EventKind::Reset;
}

bool nothing_arrives(EventReceiver& receiver) {
  return receiver.receive(std::chrono::steady_clock::now() + std::chrono::milliseconds(20)).status ==
         ReceiveStatus::Timeout;
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    folder = fs::path(tmp) / (L"klavix-tray-" + std::to_wstring(GetCurrentProcessId()));
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
    set_settings_dir_override(folder);
    rt.event_sender.set(channel.sender);
    window = CreateWindowExW(0, L"STATIC", L"tray test", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name);
  }
  void TearDown() override {
    DestroyWindow(window);
    set_settings_dir_override(std::nullopt);
    std::error_code ec;
    fs::remove_all(folder, ec);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name);
  }

  fs::path folder;
  Runtime rt;
  Channel channel = make_channel();
  HWND window = nullptr;
};

// The two toggles flip the running program and rewrite settings.ini in canonical form.
TEST_F(TrayTest, TogglesFlipTheFlagAndRewriteTheFile) {
  struct Case {
    const char* name;
    UINT id;
    std::atomic<bool> Runtime::*flag;
    bool Settings::*field;
  } cases[] = {
      {"autoswitch", cmd_autoswitch, &Runtime::autoswitch_on, &Settings::autoswitch},
      {"capsfix", cmd_capsfix, &Runtime::capsfix_on, &Settings::capsfix},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Settings s = default_settings();
    s.hotkey_word = *parse_hotkey("Ctrl+Shift+Space");
    apply_settings(rt, s);
    write_file(settings_path(), "hotkey_word = Ctrl+Shift+Space\nextra line the user added\n");

    run_tray_command(rt, window, c.id);
    EXPECT_FALSE((rt.*c.flag).load());
    Settings want = s;
    want.*c.field = false;
    EXPECT_EQ(read_file(settings_path()), render_settings(want));
    EXPECT_EQ(copy_settings(rt), want);

    run_tray_command(rt, window, c.id);
    EXPECT_TRUE((rt.*c.flag).load());
    EXPECT_EQ(read_file(settings_path()), render_settings(s));
  }
}

TEST_F(TrayTest, ToggleWithoutPublishedSettingsChangesOnlyTheFlag) {
  run_tray_command(rt, window, cmd_autoswitch);
  EXPECT_FALSE(rt.autoswitch_on.load());
  EXPECT_FALSE(fs::exists(settings_path()));
}

TEST_F(TrayTest, ToggleStillWorksWhenTheFileCannotBeWritten) {
  apply_settings(rt, default_settings());
  fs::create_directories(settings_path());  // a folder where the file should be
  run_tray_command(rt, window, cmd_capsfix);
  EXPECT_FALSE(rt.capsfix_on.load());
  EXPECT_TRUE(fs::is_directory(settings_path()));
}

TEST_F(TrayTest, PauseFlipsAndTellsTheEngineToDropItsWord) {
  EventReceiver& receiver = channel.receiver;
  run_tray_command(rt, window, cmd_pause);
  EXPECT_TRUE(rt.paused.load());
  EXPECT_TRUE(reset_arrives(receiver));
  run_tray_command(rt, window, cmd_pause);
  EXPECT_FALSE(rt.paused.load());
  EXPECT_TRUE(reset_arrives(receiver));
}

TEST_F(TrayTest, ReloadPublishesTheFileAtOnce) {
  apply_settings(rt, default_settings());
  Settings edited = default_settings();
  edited.hotkey_word = *parse_hotkey("F9");
  edited.autoswitch = false;
  write_file(settings_path(), render_settings(edited));
  run_tray_command(rt, window, cmd_reload);
  EXPECT_EQ(copy_hotkeys(rt)[0], *parse_hotkey("F9"));
  EXPECT_FALSE(rt.autoswitch_on.load());
  EXPECT_EQ(copy_settings(rt), edited);
}

TEST_F(TrayTest, AutostartItemInvertsWhatTheRegistrySaysNow) {
  run_tray_command(rt, window, cmd_autostart);
  EXPECT_TRUE(autostart_enabled());
  run_tray_command(rt, window, cmd_autostart);
  EXPECT_FALSE(autostart_enabled());
  // A value of the wrong type counts as off, so the item writes a proper one.
  const DWORD one = 1;
  RegSetKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name, REG_DWORD, &one, sizeof(one));
  run_tray_command(rt, window, cmd_autostart);
  EXPECT_TRUE(autostart_enabled());
}

TEST_F(TrayTest, UnknownIdsDoNothing) {
  apply_settings(rt, default_settings());
  for (UINT_PTR id : {UINT_PTR{0}, UINT_PTR{11}, UINT_PTR{999}, ~UINT_PTR{0}}) {
    SCOPED_TRACE(id);
    run_tray_command(rt, window, id);
    EXPECT_TRUE(rt.autoswitch_on.load());
    EXPECT_TRUE(rt.capsfix_on.load());
    EXPECT_FALSE(rt.paused.load());
    EXPECT_TRUE(nothing_arrives(channel.receiver));
    EXPECT_FALSE(fs::exists(settings_path()));
    EXPECT_FALSE(autostart_enabled());
  }
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(TrayTest, ExitEndsTheMessageLoop) {
  run_tray_command(rt, window, cmd_exit);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0u);
}

BOOL CALLBACK collect_text(HWND w, LPARAM out) {
  wchar_t buf[4096];
  const int n = GetWindowTextW(w, buf, 4096);
  reinterpret_cast<std::vector<std::string>*>(out)->push_back(narrow(std::wstring_view(buf, n)));
  return TRUE;
}

// The help box shows the hotkeys last published and the folder, and the command waits for it.
TEST_F(TrayTest, HelpBoxShowsTheHotkeysAndTheFolder) {
  Settings s = default_settings();
  s.hotkey_word = *parse_hotkey("Ctrl+Shift+Space");
  apply_settings(rt, s);
  std::vector<std::string> shown;
  std::atomic<bool> found{false};
  std::thread closer([&] {
    const std::wstring caption = wide(app_caption);
    for (int i = 0; i < 400 && !found; ++i) {
      for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", caption.c_str()); w;
           w = FindWindowExW(nullptr, w, L"#32770", caption.c_str())) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid != GetCurrentProcessId()) continue;
        EnumChildWindows(w, collect_text, reinterpret_cast<LPARAM>(&shown));
        found = true;
        PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        break;
      }
      Sleep(25);
    }
  });
  run_tray_command(rt, window, cmd_help);
  closer.join();
  ASSERT_TRUE(found);
  const std::string want = help_text(s, folder);
  EXPECT_NE(std::find(shown.begin(), shown.end(), want), shown.end());
}

// The window procedure of the real tray window, set up by the tray start-up.
TEST_F(TrayTest, WindowProcedureAnswersTheIconAndTheTaskbar) {
  Runtime& prt = process_runtime();
  Channel ch = make_channel();
  prt.event_sender.set(ch.sender);
  tray_startup(prt, false);
  const TrayState& st = tray_state();
  ASSERT_NE(st.window, nullptr);
  wchar_t cls[64];
  GetClassNameW(st.window, cls, 64);
  EXPECT_STREQ(cls, tray_class_name);
  EXPECT_FALSE(IsWindowVisible(st.window));
  EXPECT_NE(st.taskbar_created_message, 0u);
  EXPECT_NE(st.icon_running, nullptr);
  EXPECT_NE(st.icon_paused, nullptr);
  EXPECT_TRUE(fs::exists(folder / ".welcome"));
  EXPECT_FALSE(autostart_enabled()) << "not a first run";

  struct Case {
    UINT mouse;
    bool flips;
  } cases[] = {{WM_LBUTTONDBLCLK, true}, {WM_LBUTTONDOWN, false}, {WM_LBUTTONUP, false},
               {WM_MOUSEMOVE, false},    {WM_LBUTTONDBLCLK, true}, {WM_RBUTTONDOWN, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mouse);
    const bool before = prt.paused.load();
    EXPECT_EQ(SendMessageW(st.window, tray_callback_message, tray_icon_id, c.mouse), 0);
    EXPECT_EQ(prt.paused.load(), c.flips ? !before : before);
    EXPECT_TRUE(c.flips ? reset_arrives(ch.receiver) : nothing_arrives(ch.receiver));
  }
  // Explorer restarting: the icon is gone until "TaskbarCreated" arrives, then it is back.
  auto icon_present = [&] {
    NOTIFYICONDATAW probe = notify_icon_record(st.window, false, st.icon_running, st.icon_paused, std::nullopt);
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
  };
  EXPECT_TRUE(icon_present());
  notify_icon(prt, st.window, NIM_DELETE, std::nullopt);
  EXPECT_FALSE(icon_present());
  EXPECT_EQ(SendMessageW(st.window, st.taskbar_created_message, 0, 0), 0);
  EXPECT_TRUE(icon_present());
  EXPECT_FALSE(prt.paused.load());
  // Anything else goes to the default procedure.
  const std::wstring title = wide(app_caption);
  wchar_t got[64] = {};
  EXPECT_EQ(SendMessageW(st.window, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(got)),
            static_cast<LRESULT>(title.size()));
  EXPECT_EQ(std::wstring(got), title);
}

}  // namespace
}  // namespace klavix
