#pragma once
// Everything the core needs from the outside world. The Win32 shell implements it with the
// calls named beside each method; the simulated desktop implements it for tests and for
// klavix-sim. Records mirror the Win32 ones so a test can assert exactly what would reach
// Windows. No <windows.h> here.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace klavix {

using WindowHandle = std::uintptr_t;   // HWND, 0 = none
using LayoutHandle = std::uintptr_t;   // HKL
using ProcessHandle = std::uintptr_t;  // HANDLE of OpenProcess, 0 = failed
using MonitorHandle = std::uintptr_t;  // HMONITOR, 0 = none
using EventHandle = std::uintptr_t;    // HANDLE of an event object, 0 = none

// What the clipboard asks of the window that owns it.
enum class ClipboardRequest : std::uint8_t { RenderFormat, RenderAllFormats, Destroyed };

// How a wait for an event object or a message ended.
enum class WaitResult : std::uint8_t { Event, Message, Timeout, Failed };

// Win32 constants the core uses (values as in the Windows headers).
namespace win {
inline constexpr std::uint32_t KEYEVENTF_EXTENDEDKEY = 0x1;
inline constexpr std::uint32_t KEYEVENTF_KEYUP = 0x2;
inline constexpr std::uint32_t KEYEVENTF_UNICODE = 0x4;
inline constexpr std::uint32_t LLKHF_INJECTED = 0x10;
inline constexpr std::uint32_t HC_ACTION = 0;
inline constexpr std::uint32_t WM_KEYDOWN = 0x100;
inline constexpr std::uint32_t WM_KEYUP = 0x101;
inline constexpr std::uint32_t WM_SYSKEYDOWN = 0x104;
inline constexpr std::uint32_t WM_SYSKEYUP = 0x105;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x201;
inline constexpr std::uint32_t WM_LBUTTONUP = 0x202;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 0x204;
inline constexpr std::uint32_t WM_MBUTTONDOWN = 0x207;
inline constexpr std::uint32_t WM_XBUTTONDOWN = 0x20B;
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x200;
inline constexpr std::uint32_t WM_INPUTLANGCHANGEREQUEST = 0x50;
inline constexpr std::uint32_t WM_RENDERFORMAT = 0x305;
inline constexpr std::uint32_t WM_RENDERALLFORMATS = 0x306;
inline constexpr std::uint32_t WM_DESTROYCLIPBOARD = 0x307;
inline constexpr std::uint32_t MAPVK_VK_TO_VSC = 0;
inline constexpr std::uint32_t PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;
inline constexpr int GWL_STYLE = -16;
inline constexpr std::uint32_t ES_PASSWORD = 0x20;
inline constexpr std::uint32_t WS_CAPTION = 0xC00000;
inline constexpr std::uint32_t WS_BORDER = 0x800000;
inline constexpr std::uint32_t WS_DLGFRAME = 0x400000;
inline constexpr std::uint32_t MONITOR_DEFAULTTONEAREST = 2;
inline constexpr std::uint32_t CF_TEXT = 1;
inline constexpr std::uint32_t CF_BITMAP = 2;
inline constexpr std::uint32_t CF_METAFILEPICT = 3;
inline constexpr std::uint32_t CF_OEMTEXT = 7;
inline constexpr std::uint32_t CF_DIB = 8;
inline constexpr std::uint32_t CF_PALETTE = 9;
inline constexpr std::uint32_t CF_UNICODETEXT = 13;
inline constexpr std::uint32_t CF_ENHMETAFILE = 14;
inline constexpr std::uint32_t CF_LOCALE = 16;
inline constexpr std::uint32_t CF_OWNERDISPLAY = 0x80;
inline constexpr std::uint32_t CF_DSPBITMAP = 0x82;
inline constexpr std::uint32_t CF_DSPMETAFILEPICT = 0x83;
inline constexpr std::uint32_t CF_DSPENHMETAFILE = 0x8E;
inline constexpr std::uint32_t MB_OK = 0x0;
inline constexpr std::uint32_t MB_YESNO = 0x4;
inline constexpr std::uint32_t MB_ICONQUESTION = 0x20;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr std::uint32_t MB_DEFBUTTON2 = 0x100;
inline constexpr std::uint32_t MB_SETFOREGROUND = 0x10000;
inline constexpr std::uint32_t MB_TOPMOST = 0x40000;
inline constexpr int IDOK = 1;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr std::uint16_t VK_BACK = 0x08;
inline constexpr std::uint16_t VK_TAB = 0x09;
inline constexpr std::uint16_t VK_RETURN = 0x0D;
inline constexpr std::uint16_t VK_SHIFT = 0x10;
inline constexpr std::uint16_t VK_CONTROL = 0x11;
inline constexpr std::uint16_t VK_MENU = 0x12;
inline constexpr std::uint16_t VK_PAUSE = 0x13;
inline constexpr std::uint16_t VK_CAPITAL = 0x14;
inline constexpr std::uint16_t VK_SPACE = 0x20;
inline constexpr std::uint16_t VK_LWIN = 0x5B;
inline constexpr std::uint16_t VK_RWIN = 0x5C;
inline constexpr std::uint16_t VK_LSHIFT = 0xA0;
inline constexpr std::uint16_t VK_RSHIFT = 0xA1;
inline constexpr std::uint16_t VK_LCONTROL = 0xA2;
inline constexpr std::uint16_t VK_RCONTROL = 0xA3;
inline constexpr std::uint16_t VK_LMENU = 0xA4;
inline constexpr std::uint16_t VK_RMENU = 0xA5;
}  // namespace win

// One INPUT record of type INPUT_KEYBOARD (its KEYBDINPUT part).
struct KeyInput {
  std::uint16_t vk = 0;      // wVk
  std::uint16_t scan = 0;    // wScan
  std::uint32_t flags = 0;   // dwFlags
  std::uint32_t time = 0;    // time
  std::uintptr_t extra = 0;  // dwExtraInfo
  friend bool operator==(const KeyInput&, const KeyInput&) = default;
};

// What a low-level keyboard hook receives (KBDLLHOOKSTRUCT).
struct KeyboardHookEvent {
  std::uint32_t vk = 0;
  std::uint32_t scan = 0;
  std::uint32_t flags = 0;
  std::uint32_t time = 0;
  std::uintptr_t extra = 0;
};

struct Rect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// The parts of GUITHREADINFO the core reads; `size` is what cbSize was set to.
struct GuiThreadInfo {
  std::uint32_t size = 0;
  WindowHandle focus = 0;  // hwndFocus
};

// The parts of MONITORINFO the core reads; `size` is what cbSize was set to.
struct MonitorInfo {
  std::uint32_t size = 0;
  Rect monitor;  // rcMonitor
  Rect work;     // rcWork
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  // ---- keyboard ----
  // One SendInput call with these INPUT_KEYBOARD records; returns how many were inserted.
  virtual std::uint32_t send_input(std::span<const KeyInput> records) = 0;
  virtual std::int16_t get_async_key_state(int vk) = 0;  // GetAsyncKeyState
  virtual std::int16_t get_key_state(int vk) = 0;        // GetKeyState
  virtual std::uint32_t map_virtual_key(std::uint32_t code, std::uint32_t map_type) = 0;  // MapVirtualKeyW

  // ---- windows and layouts ----
  virtual WindowHandle foreground_window() = 0;  // GetForegroundWindow
  // GetWindowThreadProcessId: returns the thread id (0 on failure) and, when asked, the process id.
  virtual std::uint32_t window_thread_process_id(WindowHandle w, std::uint32_t* process_id) = 0;
  virtual LayoutHandle keyboard_layout(std::uint32_t thread_id) = 0;  // GetKeyboardLayout
  // GetKeyboardLayoutList(capacity, out): number of handles written.
  virtual int keyboard_layout_list(int capacity, LayoutHandle* out) = 0;
  virtual bool post_message(WindowHandle w, std::uint32_t message, std::uintptr_t wparam,
                            std::intptr_t lparam) = 0;  // PostMessageW

  // ---- facts of the foreground check ----
  virtual ProcessHandle open_process(std::uint32_t access, bool inherit, std::uint32_t process_id) = 0;
  // QueryFullProcessImageNameW into a buffer of `capacity` units; the path without its NUL.
  virtual std::optional<std::u16string> query_full_process_image_name(ProcessHandle p, std::uint32_t flags,
                                                                      std::uint32_t capacity) = 0;
  virtual bool close_handle(ProcessHandle p) = 0;
  virtual bool gui_thread_info(std::uint32_t thread_id, GuiThreadInfo& info) = 0;  // GetGUIThreadInfo
  // GetClassNameW into `capacity` units (it truncates to capacity - 1); empty on failure.
  virtual std::u16string class_name(WindowHandle w, int capacity) = 0;
  virtual std::int32_t window_long(WindowHandle w, int index) = 0;  // GetWindowLongW
  virtual bool window_rect(WindowHandle w, Rect& out) = 0;          // GetWindowRect
  virtual MonitorHandle monitor_from_window(WindowHandle w, std::uint32_t flags) = 0;
  virtual bool monitor_info(MonitorHandle m, MonitorInfo& info) = 0;  // GetMonitorInfoW

  // ---- clipboard ----
  virtual bool open_clipboard(WindowHandle owner) = 0;  // OpenClipboard
  virtual bool close_clipboard() = 0;                   // CloseClipboard
  virtual bool empty_clipboard() = 0;                   // EmptyClipboard
  virtual std::uint32_t enum_clipboard_formats(std::uint32_t format) = 0;  // EnumClipboardFormats
  // GetClipboardData + GlobalSize: the size of the format's block, nothing when there is no
  // data handle.
  virtual std::optional<std::size_t> clipboard_data_size(std::uint32_t format) = 0;
  // GetClipboardData + GlobalLock + copy of GlobalSize bytes + GlobalUnlock; nothing when the
  // handle is null or cannot be locked.
  virtual std::optional<std::vector<std::uint8_t>> clipboard_data(std::uint32_t format) = 0;
  // GlobalAlloc(GMEM_MOVEABLE, size or 1 when empty) + GlobalLock + copy + GlobalUnlock +
  // SetClipboardData; a block that cannot be locked or is refused is freed. True when set.
  virtual bool set_clipboard_data(std::uint32_t format, std::span<const std::uint8_t> bytes) = 0;
  virtual std::uint32_t clipboard_sequence_number() = 0;  // GetClipboardSequenceNumber
  // RegisterClipboardFormatW; 0 on failure.
  virtual std::uint32_t register_clipboard_format(std::string_view name) = 0;
  // SetClipboardData(format, NULL): the owner window renders the format when a program asks
  // for it (delayed rendering). True when the system took it.
  virtual bool set_clipboard_data_on_request(std::uint32_t format) = 0;
  // The handler of what the clipboard asks of the owner window `w` (one made by
  // create_message_window), called on the thread that pumps its messages while it dispatches
  // them: WM_RENDERFORMAT (render the format now, with set_clipboard_data and without opening
  // the clipboard), WM_RENDERALLFORMATS (the window is going away: open the clipboard, render
  // what is still owed, close it) and WM_DESTROYCLIPBOARD (the clipboard was emptied: the
  // window owns it no more). An empty function removes it.
  virtual void set_clipboard_owner_handler(WindowHandle w, std::function<void(ClipboardRequest, std::uint32_t format)> handler) = 0;

  // ---- the engine thread's own window and messages ----
  // CreateWindowExW(0, "STATIC", null, 0, 0,0,0,0, HWND_MESSAGE, ...); 0 on failure.
  virtual WindowHandle create_message_window() = 0;
  // PeekMessageW(PM_REMOVE) + TranslateMessage + DispatchMessageW until the queue is empty.
  virtual void pump_messages() = 0;

  // ---- waking the engine thread ----
  // CreateEventW(null, FALSE, FALSE, null): an auto-reset event, not set; 0 on failure.
  virtual EventHandle create_event() = 0;
  // SetEvent. Called from any thread (the keyboard hook's, through the event channel); it never
  // blocks.
  virtual bool set_event(EventHandle e) = 0;
  // MsgWaitForMultipleObjectsEx on the event (none when 0) with QS_ALLINPUT and
  // MWMO_INPUTAVAILABLE: returns Event when the event was set (which resets it), Message when
  // a message is waiting for this thread (also one that was there before the call), Timeout
  // after `timeout` (never when none is given).
  virtual WaitResult wait_for_event_or_message(EventHandle e, std::optional<std::chrono::milliseconds> timeout) = 0;

  // MessageBoxW; text and caption in UTF-8. Returns the button id (0 when it failed).
  virtual int message_box(WindowHandle owner, std::string_view text, std::string_view caption,
                          std::uint32_t style) = 0;

  // ---- time ----
  virtual void sleep_ms(std::uint32_t ms) = 0;                      // Sleep
  virtual std::chrono::steady_clock::time_point now() = 0;          // monotonic clock
};

}  // namespace klavix
