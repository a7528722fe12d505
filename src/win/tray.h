#pragma once
// The notification-area icon, its hidden window, menu and commands, and the tray start-up.
// Main thread only.
#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>

namespace klavix {

struct Runtime;

inline constexpr UINT tray_icon_id = 1;
inline constexpr UINT tray_callback_message = WM_APP + 1;
inline constexpr const wchar_t* tray_class_name = L"KlavixTray";

// Menu command ids. cmd_exit is also taken as WM_COMMAND (wParam 8) from other programs: it is
// how the installer and the uninstaller end a running copy.
enum TrayCommand : UINT {
  cmd_autoswitch = 1,
  cmd_pause = 2,
  cmd_exceptions = 3,
  cmd_apps = 4,
  cmd_reload = 5,
  cmd_autostart = 6,
  cmd_help = 7,
  cmd_exit = 8,
  cmd_folder = 9,
  cmd_capsfix = 10,
};

// A balloon tip: title and body, UTF-8.
struct Balloon {
  std::string title;
  std::string text;
};

// What the tray keeps between calls. Written before the message loop starts.
struct TrayState {
  HWND window = nullptr;
  UINT taskbar_created_message = 0;
  HICON icon_running = nullptr;
  HICON icon_paused = nullptr;
};
TrayState& tray_state();

// The small-icon size of the display, at least 16 pixels.
int tray_icon_size();
// "Ая" in white on blue (running) or grey (paused), drawn at the small-icon size.
HICON draw_tray_icon(bool running);
// The same at a given size (at least 16).
HICON draw_tray_icon(bool running, int size);

// Copies UTF-8 text into a fixed UTF-16 field of `capacity` units, cut to fit with its NUL.
void copy_to_field(wchar_t* field, std::size_t capacity, std::string_view utf8);

// The record Shell_NotifyIconW receives for the tray icon of `window`.
NOTIFYICONDATAW notify_icon_record(HWND window, bool paused, HICON icon_running, HICON icon_paused,
                                   const std::optional<Balloon>& balloon);
// Adds, modifies or deletes the icon with the paused look of `rt`; the result is ignored.
void notify_icon(Runtime& rt, HWND window, DWORD message, const std::optional<Balloon>& balloon);

// ShellExecuteW "open" on a file or folder; the result is ignored.
void open_in_shell(const std::wstring& path);

// Carries out one menu command (ids above); any other id does nothing.
void run_tray_command(Runtime& rt, HWND window, UINT_PTR id);

LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Window, icons, first-run autostart and the welcome tip, in that order.
void tray_startup(Runtime& rt, bool first_run);

}  // namespace klavix
