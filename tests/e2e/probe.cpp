// klavix-probe.exe: small Win32 look-ups and actions for the end-to-end harness, for what
// xdotool cannot see from the X side (windows inside Wine, the clipboard, key states).
//
//   klavix-probe clip-set TEXT        put TEXT (CF_UNICODETEXT) on the clipboard
//   klavix-probe clip-get OUT         write the clipboard's text to OUT (exit 1: no text)
//   klavix-probe reset                empty the target window's text and request record
//   klavix-probe box OUT              the visible message box captioned "Клавикс": its text and
//                                     the centres of its Yes/No/OK buttons (exit 1: none)
//   klavix-probe menu OUT             the open popup menu: one line per item, text and centre
//   klavix-probe window CLASS         exit 0 when a top-level window of that class exists
//   klavix-probe caps OUT             the system's Caps Lock toggle (0 or 1)
//   klavix-probe rect CLASS OUT       screen rectangle (and client area) of the first visible
//                                     window of CLASS
//   klavix-probe layouts OUT          the installed layout handles, one a line (hex)
//   klavix-probe request LANG         post WM_INPUTLANGCHANGEREQUEST for the first installed
//                                     layout of LANG (hex primary language, e.g. 19) to the
//                                     foreground window, the way Klavix does (exit 1: none)
//   klavix-probe foreground OUT       class and title of the foreground window
//   klavix-probe list OUT             every top-level window: visible, rectangle, class, title
//   klavix-probe keylog OUT           the target window writes its timeline of keyboard messages
//                                     and text changes since its last reset to OUT
//   klavix-probe send-timing OUT ROUNDS RECORDS HOOK
//                                     how long SendInput takes: a second thread sends ROUNDS
//                                     batches of RECORDS key records (F24 down and up, which
//                                     types nothing), one every 30 ms, while this thread pumps
//                                     messages, with (HOOK 1) or without (0) a low-level keyboard
//                                     hook of its own on this thread, the way Klavix has them;
//                                     writes microseconds per batch and per record (minimum,
//                                     median, 90th percentile, maximum). Any other low-level hook
//                                     running (klavix.exe) adds its own round trips.
//
// Results go to files as UTF-8, since a console program's stdout under Wine may carry noise.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

bool write_file(const std::wstring& path, const std::string& body) {
  std::wstring tmp = path + L".tmp";
  HANDLE f = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(f, body.data(), static_cast<DWORD>(body.size()), &written, nullptr);
  CloseHandle(f);
  return ok && MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::wstring window_text(HWND w) {
  wchar_t buf[2048];
  int n = GetWindowTextW(w, buf, 2048);
  return std::wstring(buf, static_cast<size_t>(n < 0 ? 0 : n));
}

std::wstring class_name(HWND w) {
  wchar_t buf[256];
  int n = GetClassNameW(w, buf, 256);
  return std::wstring(buf, static_cast<size_t>(n < 0 ? 0 : n));
}

bool open_clipboard() {
  for (int i = 0; i < 50; ++i) {
    if (OpenClipboard(nullptr)) return true;
    Sleep(20);
  }
  return false;
}

int clip_set(const std::wstring& text) {
  if (!open_clipboard()) return 2;
  EmptyClipboard();
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!block) {
    CloseClipboard();
    return 2;
  }
  void* p = GlobalLock(block);
  memcpy(p, text.c_str(), bytes);
  GlobalUnlock(block);
  bool ok = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
  if (!ok) GlobalFree(block);
  CloseClipboard();
  return ok ? 0 : 2;
}

int clip_get(const std::wstring& out) {
  if (!open_clipboard()) return 2;
  std::wstring text;
  bool found = false;
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
      size_t limit = GlobalSize(h) / sizeof(wchar_t), n = 0;
      while (n < limit && p[n]) ++n;
      text.assign(p, n);
      found = true;
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  if (!write_file(out, utf8(text))) return 2;
  return found ? 0 : 1;
}

int reset_target() {
  HWND w = FindWindowW(L"KlavixTargetWindow", nullptr);
  if (!w) return 1;
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(w, WM_APP + 1, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) return 2;
  return result == 1 ? 0 : 2;
}

int keylog(const std::wstring& out) {
  HWND w = FindWindowW(L"KlavixTargetWindow", nullptr);
  if (!w) return 1;
  COPYDATASTRUCT data{};
  data.dwData = 0x474F4C4B;  // 'KLOG'
  data.cbData = static_cast<DWORD>(out.size() * sizeof(wchar_t));
  data.lpData = const_cast<wchar_t*>(out.data());
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(w, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000,
                           &result))
    return 2;
  return result == 1 ? 0 : 2;
}

LRESULT CALLBACK pass_on(int code, WPARAM wp, LPARAM lp) { return CallNextHookEx(nullptr, code, wp, lp); }

double micros(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  static const double per_tick = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1e6 / static_cast<double>(f.QuadPart);
  }();
  return static_cast<double>(to.QuadPart - from.QuadPart) * per_tick;
}

struct SendTiming {
  int rounds = 0;
  int records = 0;
  HANDLE go = nullptr;
  std::atomic<int> done{0};
  std::vector<double> batch_us;
};

DWORD WINAPI timed_sender(LPVOID param) {
  auto* t = static_cast<SendTiming*>(param);
  std::vector<INPUT> in(static_cast<size_t>(t->records));
  for (size_t i = 0; i < in.size(); ++i) {
    in[i].type = INPUT_KEYBOARD;
    in[i].ki.wVk = VK_F24;
    in[i].ki.dwFlags = (i % 2) ? KEYEVENTF_KEYUP : 0;
  }
  for (int r = 0; r < t->rounds; ++r) {
    WaitForSingleObject(t->go, INFINITE);
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    QueryPerformanceCounter(&b);
    t->batch_us.push_back(micros(a, b));
    t->done.fetch_add(1);
  }
  return 0;
}

// Pumps this thread's messages (the hook runs in here) for about `ms` milliseconds, or until
// `until` holds.
template <class Until>
void pump_for(DWORD ms, Until until) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms && !until()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  }
}

std::string spread(const char* name, std::vector<double> v, double divide) {
  if (v.empty()) return std::string(name) + "=none\n";
  std::sort(v.begin(), v.end());
  char line[160];
  std::snprintf(line, sizeof line, "%s=%.0f %.0f %.0f %.0f\n", name, v.front() / divide, v[v.size() / 2] / divide,
                v[v.size() * 9 / 10] / divide, v.back() / divide);
  return line;
}

int send_timing(const std::wstring& out, int rounds, int records, bool hook) {
  if (rounds < 1 || records < 1 || records > 4096) return 64;
  HHOOK h = hook ? SetWindowsHookExW(WH_KEYBOARD_LL, pass_on, GetModuleHandleW(nullptr), 0) : nullptr;
  if (hook && !h) return 2;
  SendTiming t;
  t.rounds = rounds;
  t.records = records;
  t.go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE sender = CreateThread(nullptr, 0, timed_sender, &t, 0, nullptr);
  if (!t.go || !sender) return 2;
  for (int r = 0; r < rounds; ++r) {
    pump_for(30, [] { return false; });
    SetEvent(t.go);
    // The batch passes the hook on this thread, so keep pumping until it is through.
    pump_for(10000, [&] { return t.done.load() > r; });
  }
  WaitForSingleObject(sender, 10000);
  CloseHandle(sender);
  if (h) UnhookWindowsHookEx(h);
  char head[96];
  std::snprintf(head, sizeof head, "rounds=%d\nrecords=%d\nhook=%d\n", rounds, records, hook ? 1 : 0);
  const std::string body = head + spread("batch_us", t.batch_us, 1) + spread("record_us", t.batch_us, records);
  return write_file(out, body) ? 0 : 2;
}

struct BoxSearch {
  HWND found = nullptr;
};

BOOL CALLBACK find_box(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<BoxSearch*>(lp);
  if (IsWindowVisible(w) && class_name(w) == L"#32770" &&
      window_text(w) == L"\u041a\u043b\u0430\u0432\u0438\u043a\u0441") {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

std::string centre_line(const char* name, HWND w) {
  RECT r;
  if (!w || !GetWindowRect(w, &r)) return {};
  char line[96];
  std::snprintf(line, sizeof line, "%s=%ld %ld\n", name, (r.left + r.right) / 2,
                (r.top + r.bottom) / 2);
  return line;
}

int box(const std::wstring& out) {
  BoxSearch s;
  EnumWindows(find_box, reinterpret_cast<LPARAM>(&s));
  if (!s.found) return 1;
  std::string body;
  // The message text is the static control a message box gives the id 0xFFFF.
  HWND text = GetDlgItem(s.found, 0xFFFF);
  std::wstring t = text ? window_text(text) : L"";
  for (auto& c : t)
    if (c == L'\r') c = L' ';
  body += "text=" + utf8(t) + "\n";
  body += centre_line("yes", GetDlgItem(s.found, IDYES));
  body += centre_line("no", GetDlgItem(s.found, IDNO));
  body += centre_line("ok", GetDlgItem(s.found, IDOK));
  RECT r;
  if (GetWindowRect(s.found, &r)) {
    char line[96];
    std::snprintf(line, sizeof line, "rect=%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left,
                  r.bottom - r.top);
    body += line;
  }
  return write_file(out, body) ? 0 : 2;
}

int menu(const std::wstring& out) {
  HWND popup = nullptr;
  for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr)) {
    if (IsWindowVisible(w)) {
      popup = w;
      break;
    }
  }
  if (!popup) return 1;
  HMENU m = reinterpret_cast<HMENU>(SendMessageW(popup, 0x01E1 /* MN_GETHMENU */, 0, 0));
  std::string body;
  RECT pr;
  if (GetWindowRect(popup, &pr)) {
    char line[96];
    std::snprintf(line, sizeof line, "rect=%ld %ld %ld %ld\n", pr.left, pr.top,
                  pr.right - pr.left, pr.bottom - pr.top);
    body += line;
  }
  int count = m ? GetMenuItemCount(m) : 0;
  for (int i = 0; i < count; ++i) {
    wchar_t buf[256] = {};
    GetMenuStringW(m, static_cast<UINT>(i), buf, 256, MF_BYPOSITION);
    UINT state = GetMenuState(m, static_cast<UINT>(i), MF_BYPOSITION);
    RECT r{};
    GetMenuItemRect(nullptr, m, static_cast<UINT>(i), &r);
    char line[96];
    std::snprintf(line, sizeof line, "item=%ld %ld %d %d ", (r.left + r.right) / 2,
                  (r.top + r.bottom) / 2, (state & MF_CHECKED) ? 1 : 0,
                  (state & MF_SEPARATOR) ? 1 : 0);
    body += line + utf8(buf) + "\n";
  }
  return write_file(out, body) ? 0 : 2;
}

int rect(const std::wstring& cls, const std::wstring& out) {
  for (HWND w = FindWindowW(cls.c_str(), nullptr); w;
       w = FindWindowExW(nullptr, w, cls.c_str(), nullptr)) {
    RECT r;
    RECT c;
    POINT origin{0, 0};
    if (IsWindowVisible(w) && GetWindowRect(w, &r) && GetClientRect(w, &c) &&
        ClientToScreen(w, &origin)) {
      char line[160];
      std::snprintf(line, sizeof line, "rect=%ld %ld %ld %ld\nclient=%ld %ld %ld %ld\n", r.left,
                    r.top, r.right - r.left, r.bottom - r.top, origin.x, origin.y, c.right,
                    c.bottom);
      return write_file(out, line) ? 0 : 2;
    }
  }
  return 1;
}

int layouts(const std::wstring& out) {
  HKL list[32] = {};
  int n = GetKeyboardLayoutList(32, list);
  std::string body;
  for (int i = 0; i < n; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "0x%08llx\n",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(list[i])) & 0xFFFFFFFFull);
    body += line;
  }
  return write_file(out, body) ? 0 : 2;
}

int request(const std::wstring& lang) {
  unsigned long want = wcstoul(lang.c_str(), nullptr, 16);
  HKL list[32] = {};
  int n = GetKeyboardLayoutList(32, list);
  for (int i = 0; i < n; ++i) {
    if ((reinterpret_cast<UINT_PTR>(list[i]) & 0x3FF) == want) {
      HWND fg = GetForegroundWindow();
      if (!fg) return 1;
      return PostMessageW(fg, WM_INPUTLANGCHANGEREQUEST, 0, reinterpret_cast<LPARAM>(list[i]))
                 ? 0
                 : 2;
    }
  }
  return 1;
}

int foreground(const std::wstring& out) {
  HWND fg = GetForegroundWindow();
  std::string body = "class=" + (fg ? utf8(class_name(fg)) : std::string()) + "\n" +
                     "title=" + (fg ? utf8(window_text(fg)) : std::string()) + "\n";
  return write_file(out, body) ? 0 : 2;
}

BOOL CALLBACK list_window(HWND w, LPARAM lp) {
  auto* body = reinterpret_cast<std::string*>(lp);
  RECT r{};
  GetWindowRect(w, &r);
  char line[96];
  std::snprintf(line, sizeof line, "%d %ld %ld %ld %ld ", IsWindowVisible(w) ? 1 : 0, r.left,
                r.top, r.right - r.left, r.bottom - r.top);
  *body += line + utf8(class_name(w)) + " | " + utf8(window_text(w)) + "\n";
  return TRUE;
}

int list(const std::wstring& out) {
  std::string body;
  EnumWindows(list_window, reinterpret_cast<LPARAM>(&body));
  return write_file(out, body) ? 0 : 2;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 64;
  std::wstring cmd = argv[1];
  auto arg = [&](int i) { return i < argc ? std::wstring(argv[i]) : std::wstring(); };
  if (cmd == L"clip-set" && argc >= 3) return clip_set(arg(2));
  if (cmd == L"clip-get" && argc >= 3) return clip_get(arg(2));
  if (cmd == L"reset") return reset_target();
  if (cmd == L"box" && argc >= 3) return box(arg(2));
  if (cmd == L"menu" && argc >= 3) return menu(arg(2));
  if (cmd == L"window" && argc >= 3) return FindWindowW(arg(2).c_str(), nullptr) ? 0 : 1;
  if (cmd == L"caps" && argc >= 3)
    return write_file(arg(2), (GetKeyState(VK_CAPITAL) & 1) ? "1\n" : "0\n") ? 0 : 2;
  if (cmd == L"rect" && argc >= 4) return rect(arg(2), arg(3));
  if (cmd == L"layouts" && argc >= 3) return layouts(arg(2));
  if (cmd == L"request" && argc >= 3) return request(arg(2));
  if (cmd == L"foreground" && argc >= 3) return foreground(arg(2));
  if (cmd == L"list" && argc >= 3) return list(arg(2));
  if (cmd == L"keylog" && argc >= 3) return keylog(arg(2));
  if (cmd == L"send-timing" && argc >= 6)
    return send_timing(arg(2), _wtoi(arg(3).c_str()), _wtoi(arg(4).c_str()), arg(5) == L"1");
  return 64;
}
