// Core headers come before <windows.h>: its macros would clash with the core's constants.
#include "app/runtime.h"
#include "app/startup.h"
#include "app/texts.h"
#include "config/config.h"
#include "engine/events.h"

#include "win/tray.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "win/autostart.h"
#include "win/boundary.h"
#include "win/wide.h"

namespace klavix {

TrayState& tray_state() {
  static TrayState state;
  return state;
}

int tray_icon_size() {
  const int s = GetSystemMetrics(SM_CXSMICON);
  return s < 16 ? 16 : s;
}

HICON draw_tray_icon(bool running) { return draw_tray_icon(running, tray_icon_size()); }

HICON draw_tray_icon(bool running, int size) {
  const int s = size < 16 ? 16 : size;
  const COLORREF background = running ? RGB(30, 106, 192) : RGB(128, 128, 128);

  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = s;
  info.bmiHeader.biHeight = -s;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP color = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old_bitmap = color ? SelectObject(dc, color) : nullptr;

  RECT r{0, 0, s, s};
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(dc, &r, brush);
  DeleteObject(brush);

  HFONT font = CreateFontW(-(s * 3 / 4), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                           CLEARTYPE_QUALITY, 0, L"Segoe UI");
  HGDIOBJ old_font = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  const std::wstring glyph = wide("Ая");
  DrawTextW(dc, glyph.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  SelectObject(dc, old_font);
  DeleteObject(font);

  // GDI text leaves alpha at 0; the icon is opaque, background included.
  GdiFlush();
  if (bits != nullptr) {
    auto* px = static_cast<std::uint8_t*>(bits);
    for (int i = 0; i < s * s; ++i) px[4 * i + 3] = 255;
  }

  if (old_bitmap) SelectObject(dc, old_bitmap);
  HBITMAP mask = CreateBitmap(s, s, 1, 1, nullptr);

  ICONINFO ii{};
  ii.fIcon = TRUE;
  ii.hbmMask = mask;
  ii.hbmColor = color;
  HICON icon = CreateIconIndirect(&ii);

  DeleteObject(mask);
  if (color) DeleteObject(color);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return icon;
}

void copy_to_field(wchar_t* field, std::size_t capacity, std::string_view utf8) {
  if (capacity == 0) return;
  const std::u16string u = text::to_utf16(utf8);
  std::size_t n = u.size() < capacity - 1 ? u.size() : capacity - 1;
  // A cut between the halves of a surrogate pair would leave half a character behind.
  if (n < u.size() && n > 0 && u[n - 1] >= 0xD800 && u[n - 1] <= 0xDBFF) --n;
  std::memcpy(field, u.data(), n * sizeof(wchar_t));
  field[n] = L'\0';
}

NOTIFYICONDATAW notify_icon_record(HWND window, bool paused, HICON icon_running, HICON icon_paused,
                                   const std::optional<Balloon>& balloon) {
  NOTIFYICONDATAW nid;
  std::memset(&nid, 0, sizeof(nid));
  nid.cbSize = sizeof(NOTIFYICONDATAW);
  nid.hWnd = window;
  nid.uID = tray_icon_id;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = tray_callback_message;
  nid.hIcon = paused ? icon_paused : icon_running;
  copy_to_field(nid.szTip, std::size(nid.szTip), tooltip_text(paused));
  if (balloon) {
    nid.uFlags |= NIF_INFO;
    copy_to_field(nid.szInfoTitle, std::size(nid.szInfoTitle), balloon->title);
    copy_to_field(nid.szInfo, std::size(nid.szInfo), balloon->text);
    nid.dwInfoFlags = NIIF_INFO;
  }
  return nid;
}

void notify_icon(Runtime& rt, HWND window, DWORD message, const std::optional<Balloon>& balloon) {
  const TrayState& st = tray_state();
  NOTIFYICONDATAW nid = notify_icon_record(window, rt.paused.load(), st.icon_running, st.icon_paused, balloon);
  Shell_NotifyIconW(message, &nid);
}

void open_in_shell(const std::wstring& path) {
  ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

namespace {

void toggle_setting(Runtime& rt, std::atomic<bool>& flag, bool Settings::*field) {
  const bool on = !flag.load();
  flag.store(on);
  GuardedMutex::Lock lock(rt.settings_lock);
  if (rt.current_settings) {
    (*rt.current_settings).*field = on;
    save_settings(*rt.current_settings);
  }
}

void show_help(Runtime& rt, HWND window) {
  const Settings s = copy_settings(rt);
  const std::wstring body = wide(help_text(s, settings_dir()));
  const std::wstring caption = wide(app_caption);
  MessageBoxW(window, body.c_str(), caption.c_str(), MB_ICONINFORMATION);
}

void append_item(HMENU menu, UINT id, std::string_view label, bool checked) {
  const std::wstring w = wide(label);
  AppendMenuW(menu, MF_STRING | (checked ? MF_CHECKED : 0u), id, w.c_str());
}

bool item_checked(Runtime& rt, std::uint16_t id) {
  switch (id) {
    case cmd_autoswitch: return rt.autoswitch_on.load();
    case cmd_capsfix: return rt.capsfix_on.load();
    case cmd_pause: return rt.paused.load();
    case cmd_autostart: return autostart_enabled();  // asked anew each time the menu opens
    default: return false;
  }
}

void show_menu(Runtime& rt, HWND window) {
  HMENU menu = CreatePopupMenu();
  for (const MenuItemText& item : menu_items) {
    if (item.id == 0)
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    else
      append_item(menu, item.id, item.text, item_checked(rt, item.id));
  }

  POINT pt{};
  GetCursorPos(&pt);
  SetForegroundWindow(window);
  const UINT_PTR chosen = static_cast<UINT_PTR>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, pt.x, pt.y, 0, window, nullptr));
  DestroyMenu(menu);
  run_tray_command(rt, window, chosen);
}

}  // namespace

void run_tray_command(Runtime& rt, HWND window, UINT_PTR id) {
  switch (id) {
    case cmd_autoswitch:
      toggle_setting(rt, rt.autoswitch_on, &Settings::autoswitch);
      break;
    case cmd_capsfix:
      toggle_setting(rt, rt.capsfix_on, &Settings::capsfix);
      break;
    case cmd_pause: {
      rt.paused.store(!rt.paused.load());
      EngineEvent reset;
      reset.kind = EventKind::Reset;
      post_event(rt, reset);
      notify_icon(rt, window, NIM_MODIFY, std::nullopt);
      break;
    }
    case cmd_exceptions:
      open_in_shell(exceptions_path().wstring());
      break;
    case cmd_apps:
      open_in_shell(apps_path().wstring());
      break;
    case cmd_folder:
      open_in_shell(settings_dir().wstring());
      break;
    case cmd_reload:
      apply_settings(rt, load_settings());
      break;
    case cmd_autostart:
      set_autostart(!autostart_enabled());
      break;
    case cmd_help:
      show_help(rt, window);
      break;
    case cmd_exit:
      notify_icon(rt, window, NIM_DELETE, std::nullopt);
      PostQuitMessage(0);
      break;
    default:
      break;
  }
}

LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return at_boundary("tray window procedure failed", [&]() -> LRESULT {
    if (message == tray_callback_message) {
      switch (LOWORD(lparam)) {
        case WM_CONTEXTMENU:
        case WM_RBUTTONUP:
          show_menu(process_runtime(), window);
          break;
        case WM_LBUTTONDBLCLK:
          run_tray_command(process_runtime(), window, cmd_pause);
          break;
        default:
          break;
      }
      return 0;
    }
    // Another program (the uninstaller, or the installer before it replaces the file) asks
    // the running copy to end, as «Выход» does. Only that command is taken from outside: the
    // menu hands its choice back through TrackPopupMenu and sends no WM_COMMAND.
    if (message == WM_COMMAND && LOWORD(wparam) == cmd_exit) {
      run_tray_command(process_runtime(), window, cmd_exit);
      return 0;
    }
    const UINT taskbar_created = tray_state().taskbar_created_message;
    if (taskbar_created != 0 && message == taskbar_created) {
      notify_icon(process_runtime(), window, NIM_ADD, std::nullopt);
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  });
}

void tray_startup(Runtime& rt, bool first_run) {
  TrayState& st = tray_state();
  HINSTANCE instance = GetModuleHandleW(nullptr);

  WNDCLASSW wc{};
  wc.lpfnWndProc = tray_window_proc;
  wc.hInstance = instance;
  wc.lpszClassName = tray_class_name;
  RegisterClassW(&wc);

  const std::wstring title = wide(app_caption);
  st.window = CreateWindowExW(0, tray_class_name, title.c_str(), 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  st.taskbar_created_message = RegisterWindowMessageW(L"TaskbarCreated");
  st.icon_running = draw_tray_icon(true);
  st.icon_paused = draw_tray_icon(false);

  const Settings settings = copy_settings(rt);
  if (first_run) set_autostart(true);

  if (!welcome_due()) {
    notify_icon(rt, st.window, NIM_ADD, std::nullopt);
    return;
  }
  const BalloonText welcome = welcome_text(settings);
  notify_icon(rt, st.window, NIM_ADD, Balloon{welcome.title, welcome.text});
}

}  // namespace klavix
