#include "win/win32_desktop.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "win/wide.h"

namespace klavix {

std::uint32_t Win32Desktop::send_input(std::span<const KeyInput> records) {
  if (records.empty()) return 0;
  std::vector<INPUT> inputs(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    INPUT& in = inputs[i];
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = records[i].vk;
    in.ki.wScan = records[i].scan;
    in.ki.dwFlags = records[i].flags;
    in.ki.time = records[i].time;
    in.ki.dwExtraInfo = records[i].extra;
  }
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

std::int16_t Win32Desktop::get_async_key_state(int vk) { return GetAsyncKeyState(vk); }
std::int16_t Win32Desktop::get_key_state(int vk) { return GetKeyState(vk); }
std::uint32_t Win32Desktop::map_virtual_key(std::uint32_t code, std::uint32_t map_type) {
  return MapVirtualKeyW(code, map_type);
}

WindowHandle Win32Desktop::foreground_window() { return from_hwnd(GetForegroundWindow()); }

std::uint32_t Win32Desktop::window_thread_process_id(WindowHandle w, std::uint32_t* process_id) {
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(to_hwnd(w), process_id ? &pid : nullptr);
  if (process_id) *process_id = pid;
  return tid;
}

LayoutHandle Win32Desktop::keyboard_layout(std::uint32_t thread_id) {
  return reinterpret_cast<LayoutHandle>(GetKeyboardLayout(thread_id));
}

int Win32Desktop::keyboard_layout_list(int capacity, LayoutHandle* out) {
  static_assert(sizeof(HKL) == sizeof(LayoutHandle));
  if (capacity <= 0 || out == nullptr) return 0;
  return GetKeyboardLayoutList(capacity, reinterpret_cast<HKL*>(out));
}

bool Win32Desktop::post_message(WindowHandle w, std::uint32_t message, std::uintptr_t wparam,
                                std::intptr_t lparam) {
  return PostMessageW(to_hwnd(w), message, wparam, lparam) != 0;
}

ProcessHandle Win32Desktop::open_process(std::uint32_t access, bool inherit, std::uint32_t process_id) {
  return reinterpret_cast<ProcessHandle>(OpenProcess(access, inherit ? TRUE : FALSE, process_id));
}

std::optional<std::u16string> Win32Desktop::query_full_process_image_name(ProcessHandle p, std::uint32_t flags,
                                                                         std::uint32_t capacity) {
  std::u16string buf(capacity, u'\0');
  DWORD size = capacity;
  if (capacity == 0 ||
      !QueryFullProcessImageNameW(reinterpret_cast<HANDLE>(p), flags, reinterpret_cast<wchar_t*>(buf.data()),
                                  &size))
    return std::nullopt;
  buf.resize(size < capacity ? size : capacity);
  return buf;
}

bool Win32Desktop::close_handle(ProcessHandle p) { return CloseHandle(reinterpret_cast<HANDLE>(p)) != 0; }

bool Win32Desktop::gui_thread_info(std::uint32_t thread_id, GuiThreadInfo& info) {
  GUITHREADINFO g{};
  g.cbSize = info.size;
  if (!GetGUIThreadInfo(thread_id, &g)) return false;
  info.focus = from_hwnd(g.hwndFocus);
  return true;
}

std::u16string Win32Desktop::class_name(WindowHandle w, int capacity) {
  if (capacity <= 0) return {};
  std::u16string buf(static_cast<std::size_t>(capacity), u'\0');
  const int n = GetClassNameW(to_hwnd(w), reinterpret_cast<wchar_t*>(buf.data()), capacity);
  if (n < 1) return {};
  buf.resize(n < capacity ? static_cast<std::size_t>(n) : static_cast<std::size_t>(capacity - 1));
  return buf;
}

std::int32_t Win32Desktop::window_long(WindowHandle w, int index) { return GetWindowLongW(to_hwnd(w), index); }

bool Win32Desktop::window_rect(WindowHandle w, Rect& out) {
  RECT r{};
  if (!GetWindowRect(to_hwnd(w), &r)) return false;
  out = Rect{r.left, r.top, r.right, r.bottom};
  return true;
}

MonitorHandle Win32Desktop::monitor_from_window(WindowHandle w, std::uint32_t flags) {
  return reinterpret_cast<MonitorHandle>(MonitorFromWindow(to_hwnd(w), flags));
}

bool Win32Desktop::monitor_info(MonitorHandle m, MonitorInfo& info) {
  MONITORINFO mi{};
  mi.cbSize = info.size;
  if (!GetMonitorInfoW(reinterpret_cast<HMONITOR>(m), &mi)) return false;
  info.monitor = Rect{mi.rcMonitor.left, mi.rcMonitor.top, mi.rcMonitor.right, mi.rcMonitor.bottom};
  info.work = Rect{mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom};
  return true;
}

bool Win32Desktop::open_clipboard(WindowHandle owner) { return OpenClipboard(to_hwnd(owner)) != 0; }
bool Win32Desktop::close_clipboard() { return CloseClipboard() != 0; }
bool Win32Desktop::empty_clipboard() { return EmptyClipboard() != 0; }
std::uint32_t Win32Desktop::enum_clipboard_formats(std::uint32_t format) { return EnumClipboardFormats(format); }

std::optional<std::size_t> Win32Desktop::clipboard_data_size(std::uint32_t format) {
  HANDLE h = GetClipboardData(format);
  if (h == nullptr) return std::nullopt;
  return static_cast<std::size_t>(GlobalSize(h));
}

std::optional<std::vector<std::uint8_t>> Win32Desktop::clipboard_data(std::uint32_t format) {
  HANDLE h = GetClipboardData(format);
  if (h == nullptr) return std::nullopt;
  const SIZE_T size = GlobalSize(h);
  const void* p = GlobalLock(h);
  if (p == nullptr) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.assign(static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + size);
  } catch (...) {
    // Never leave another program's block locked, even on the way out.
    GlobalUnlock(h);
    throw;
  }
  GlobalUnlock(h);
  return bytes;
}

bool Win32Desktop::set_clipboard_data(std::uint32_t format, std::span<const std::uint8_t> bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
  if (block == nullptr) return false;
  void* p = GlobalLock(block);
  if (p == nullptr) {
    GlobalFree(block);
    return false;
  }
  if (bytes.empty())
    *static_cast<std::uint8_t*>(p) = 0;
  else
    std::memcpy(p, bytes.data(), bytes.size());
  GlobalUnlock(block);
  // Once the clipboard accepts the block it owns it; a refused block is still ours to free.
  if (SetClipboardData(format, block) == nullptr) {
    GlobalFree(block);
    return false;
  }
  return true;
}

std::uint32_t Win32Desktop::clipboard_sequence_number() { return GetClipboardSequenceNumber(); }

std::uint32_t Win32Desktop::register_clipboard_format(std::string_view name) {
  return RegisterClipboardFormatW(wide(name).c_str());
}

bool Win32Desktop::set_clipboard_data_on_request(std::uint32_t format) {
  // With no data the result is null either way; only the last error tells.
  SetLastError(ERROR_SUCCESS);
  SetClipboardData(format, nullptr);
  return GetLastError() == ERROR_SUCCESS;
}

namespace {

// The owner window is a "STATIC" window with its procedure replaced by this one, which hands
// the clipboard's three requests to the core and everything else to the original procedure.
struct OwnerWindow {
  WNDPROC original = nullptr;
  std::function<void(ClipboardRequest, std::uint32_t)> handler;
};
constexpr wchar_t owner_property[] = L"KlavixClipboardOwner";

LRESULT CALLBACK owner_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* owner = static_cast<OwnerWindow*>(GetPropW(hwnd, owner_property));
  if (owner == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  if (owner->handler) {
    switch (message) {
      case WM_RENDERFORMAT:
        owner->handler(ClipboardRequest::RenderFormat, static_cast<std::uint32_t>(wparam));
        return 0;
      case WM_RENDERALLFORMATS:
        owner->handler(ClipboardRequest::RenderAllFormats, 0);
        return 0;
      case WM_DESTROYCLIPBOARD:
        owner->handler(ClipboardRequest::Destroyed, 0);
        return 0;
      default:
        break;
    }
  }
  return CallWindowProcW(owner->original, hwnd, message, wparam, lparam);
}

}  // namespace

void Win32Desktop::set_clipboard_owner_handler(WindowHandle w,
                                               std::function<void(ClipboardRequest, std::uint32_t)> handler) {
  HWND hwnd = to_hwnd(w);
  if (hwnd == nullptr) return;
  auto* owner = static_cast<OwnerWindow*>(GetPropW(hwnd, owner_property));
  if (owner == nullptr) {
    // Kept for the life of the window, which is the life of the engine thread.
    owner = new OwnerWindow;
    owner->original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    if (!SetPropW(hwnd, owner_property, owner)) {
      delete owner;
      return;
    }
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(owner_window_proc));
  }
  owner->handler = std::move(handler);
}

WindowHandle Win32Desktop::create_message_window() {
  return from_hwnd(CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
}

void Win32Desktop::pump_messages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

EventHandle Win32Desktop::create_event() {
  return reinterpret_cast<EventHandle>(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

bool Win32Desktop::set_event(EventHandle e) { return SetEvent(reinterpret_cast<HANDLE>(e)) != 0; }

WaitResult Win32Desktop::wait_for_event_or_message(EventHandle e, std::optional<std::chrono::milliseconds> timeout) {
  HANDLE handle = reinterpret_cast<HANDLE>(e);
  const DWORD count = handle != nullptr ? 1 : 0;
  DWORD ms = INFINITE;
  if (timeout) ms = timeout->count() <= 0 ? 0 : static_cast<DWORD>(std::min<std::int64_t>(timeout->count(), INFINITE - 1));
  const DWORD r = MsgWaitForMultipleObjectsEx(count, count ? &handle : nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (count == 1 && r == WAIT_OBJECT_0) return WaitResult::Event;
  if (r == WAIT_OBJECT_0 + count) return WaitResult::Message;
  if (r == WAIT_TIMEOUT) return WaitResult::Timeout;
  return WaitResult::Failed;
}

int Win32Desktop::message_box(WindowHandle owner, std::string_view text, std::string_view caption,
                              std::uint32_t style) {
  const std::wstring t = wide(text);
  const std::wstring c = wide(caption);
  return MessageBoxW(to_hwnd(owner), t.c_str(), c.c_str(), style);
}

void Win32Desktop::sleep_ms(std::uint32_t ms) { Sleep(ms); }

std::chrono::steady_clock::time_point Win32Desktop::now() { return std::chrono::steady_clock::now(); }

}  // namespace klavix
