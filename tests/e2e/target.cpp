// klavix-target.exe: the window the end-to-end tests type into.
//
// One edit control with the keyboard focus. Every change of its text and every
// WM_INPUTLANGCHANGEREQUEST that reaches the window is written to the file named on the
// command line, the whole file rewritten each time (UTF-8):
//
//   text=<the edit control's text>
//   request=0x04190419        (one line per layout request, oldest first)
//
// Wine delivers layout requests but does not act on them, so the window keeps its own record.
// The message WM_APP + 1 (sent by klavix-probe.exe) empties the text and the record.
//
// The window also keeps, in memory, a timeline of the keyboard messages it takes from its
// queue and of its text's changes since the last reset; WM_COPYDATA with the tag 'KLOG' and
// a file name (UTF-16) writes it there, one line each (klavix-probe keylog):
//
//   <microseconds> down|up|char|change <wparam, hex> <extra information, hex> <message time>
//
// where the extra information is GetMessageExtraInfo (Klavix tags what it types) and a change
// line carries the text's length in place of wparam. Key lines are written by the message
// loop, before the message is dispatched, so the file writes of the record do not shift them.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr UINT reset_message = WM_APP + 1;
constexpr int edit_id = 100;

HWND edit_window = nullptr;
WNDPROC edit_proc = nullptr;
std::wstring out_path;
std::vector<unsigned long long> requests;

constexpr ULONG_PTR keylog_tag = 0x474F4C4B;  // 'KLOG'
constexpr std::size_t keylog_limit = 20000;   // a few hundred runs of a sentence; later lines dropped

struct KeyLogLine {
  long long us;
  const char* kind;
  unsigned long long wparam;
  unsigned long long extra;
  unsigned long time;
};
std::vector<KeyLogLine> key_log;

long long now_us() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart / frequency.QuadPart * 1000000 + t.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

void log_line(const char* kind, unsigned long long wparam, unsigned long long extra, unsigned long time) {
  if (key_log.size() < keylog_limit) key_log.push_back({now_us(), kind, wparam, extra, time});
}

void log_message(const MSG& m) {
  const char* kind = nullptr;
  switch (m.message) {
    case WM_KEYDOWN: case WM_SYSKEYDOWN: kind = "down"; break;
    case WM_KEYUP: case WM_SYSKEYUP: kind = "up"; break;
    case WM_CHAR: case WM_SYSCHAR: kind = "char"; break;
    default: return;
  }
  log_line(kind, m.wParam, static_cast<unsigned long long>(GetMessageExtraInfo()), m.time);
}

std::string utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

std::wstring edit_text() {
  int n = GetWindowTextLengthW(edit_window);
  std::wstring w(static_cast<size_t>(n) + 1, L'\0');
  n = GetWindowTextW(edit_window, w.data(), n + 1);
  w.resize(static_cast<size_t>(n < 0 ? 0 : n));
  return w;
}

// Written to a side file and moved over the real one, so a reader never sees half a file.
void write_record() {
  if (out_path.empty() || !edit_window) return;
  std::string body = "text=" + utf8(edit_text()) + "\n";
  for (unsigned long long hkl : requests) {
    char line[48];
    std::snprintf(line, sizeof line, "request=0x%08llx\n", hkl);
    body += line;
  }
  std::wstring tmp = out_path + L".tmp";
  HANDLE f = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(f, body.data(), static_cast<DWORD>(body.size()), &written, nullptr);
  CloseHandle(f);
  MoveFileExW(tmp.c_str(), out_path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool write_key_log(const std::wstring& path) {
  std::string body;
  body.reserve(key_log.size() * 48);
  for (const KeyLogLine& l : key_log) {
    char line[128];
    std::snprintf(line, sizeof line, "%lld %s %llx %llx %lu\n", l.us, l.kind, l.wparam, l.extra, l.time);
    body += line;
  }
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(f, body.data(), static_cast<DWORD>(body.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == body.size();
}

void record_request(LPARAM hkl) {
  requests.push_back(static_cast<unsigned long long>(hkl) & 0xFFFFFFFFull);
  write_record();
}

// The request is posted to the foreground window, but a focused child may get it too
// (a program may forward it); both places record it and neither forwards it further.
LRESULT CALLBACK edit_subclass_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INPUTLANGCHANGEREQUEST) {
    record_request(lp);
    return 0;
  }
  return CallWindowProcW(edit_proc, w, msg, wp, lp);
}

LRESULT CALLBACK main_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE: {
      edit_window = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 10, 10,
                                    560, 30, w, reinterpret_cast<HMENU>(edit_id),
                                    GetModuleHandleW(nullptr), nullptr);
      HFONT font = CreateFontW(-20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH, L"Tahoma");
      if (font) SendMessageW(edit_window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      edit_proc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
          edit_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(edit_subclass_proc)));
      return 0;
    }
    case WM_SETFOCUS:
    case WM_ACTIVATE:
      if (edit_window) SetFocus(edit_window);
      break;
    case WM_COMMAND:
      if (LOWORD(wp) == edit_id && HIWORD(wp) == EN_CHANGE) {
        log_line("change", static_cast<unsigned long long>(GetWindowTextLengthW(edit_window)), 0, 0);
        write_record();
      }
      return 0;
    case WM_COPYDATA: {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
      if (!data || data->dwData != keylog_tag || !data->lpData) return 0;
      const std::wstring path(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
      return write_key_log(path) ? 1 : 0;
    }
    case WM_INPUTLANGCHANGEREQUEST:
      record_request(lp);
      return 0;
    case reset_message:
      requests.clear();
      SetWindowTextW(edit_window, L"");  // EN_CHANGE writes the record
      write_record();
      key_log.clear();
      SetFocus(edit_window);
      return 1;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv && argc >= 2) out_path = argv[1];
  std::wstring title = L"Klavix target";
  if (argv && argc >= 3) title = argv[2];

  WNDCLASSW wc{};
  wc.lpfnWndProc = main_proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"KlavixTargetWindow";
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, title.c_str(),
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 100, 100,
                           600, 100, nullptr, nullptr, instance, nullptr);
  if (!w) return 1;
  ShowWindow(w, SW_SHOWNORMAL);
  UpdateWindow(w);
  SetForegroundWindow(w);
  SetFocus(edit_window);
  write_record();
  key_log.reserve(keylog_limit);

  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    log_message(m);
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return 0;
}
