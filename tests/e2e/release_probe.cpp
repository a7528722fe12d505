// klavix-release-probe.exe: what the release check reads and does inside Wine, where the shell
// cannot look: version resources, shortcuts, the current user's registry, processes, the
// installer's buttons.
//
//   klavix-release-probe version EXE OUT    FileVersion=, ProductVersion= and fixed=A.B.C.D
//   klavix-release-probe shortcut LNK OUT   target=, icon= (path,index) of a .lnk file
//   klavix-release-probe reg KEY OUT        the values of HKCU\KEY, "name=value" a line (text as
//                                           it is, DWORD in decimal); exit 1: no such key
//   klavix-release-probe subkeys KEY OUT    the names of HKCU\KEY's subkeys, one a line
//   klavix-release-probe process NAME       exit 0 when a process with image NAME runs
//   klavix-release-probe tray OUT           the KlavixTray window answers a message within 5 s:
//                                           exe= the image path of its process (exit 1: no
//                                           window, or it did not answer)
//   klavix-release-probe quit               post the tray menu's «Выход» (WM_COMMAND 8) to the
//                                           KlavixTray window (exit 1: none)
//   klavix-release-probe page TITLE OUT     the texts of the visible dialog whose title starts
//                                           with TITLE and of its controls, and its client
//                                           area on the screen, rect=X Y W H (exit 1: none)
//   klavix-release-probe click TITLE TEXT   press the enabled button TEXT ('&' ignored) of that
//                                           dialog (exit 1: no such button)
//
// Results go to files as UTF-8, since a console program's output under Wine may carry noise.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

bool write_file(const std::wstring& path, const std::wstring& body) {
  const std::string bytes = utf8(body);
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == bytes.size();
}

int version(const std::wstring& exe, const std::wstring& out) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  if (size == 0) return 1;
  std::vector<BYTE> info(size);
  if (!GetFileVersionInfoW(exe.c_str(), 0, size, info.data())) return 1;
  std::wstring body;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) && fixed) {
    body += L"fixed=" + std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
            std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) +
            L"." + std::to_wstring(LOWORD(fixed->dwFileVersionLS)) + L"\n";
  }
  // The first translation the file lists.
  struct Translation {
    WORD language, codepage;
  }* tr = nullptr;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len) || len < 4)
    return 1;
  wchar_t block[64];
  swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", tr->language, tr->codepage);
  for (const wchar_t* key : {L"FileVersion", L"ProductVersion", L"ProductName"}) {
    wchar_t* value = nullptr;
    if (VerQueryValueW(info.data(), (std::wstring(block) + key).c_str(), reinterpret_cast<void**>(&value), &len))
      body += std::wstring(key) + L"=" + value + L"\n";
  }
  return write_file(out, body) ? 0 : 1;
}

int shortcut(const std::wstring& lnk, const std::wstring& out) {
  if (FAILED(CoInitialize(nullptr))) return 1;
  IShellLinkW* link = nullptr;
  int rc = 1;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      if (SUCCEEDED(file->Load(lnk.c_str(), STGM_READ))) {
        wchar_t target[MAX_PATH * 4] = L"";
        wchar_t icon[MAX_PATH * 4] = L"";
        int index = 0;
        link->GetPath(target, MAX_PATH * 4, nullptr, SLGP_RAWPATH);
        link->GetIconLocation(icon, MAX_PATH * 4, &index);
        std::wstring body = std::wstring(L"target=") + target + L"\nicon=" + icon + L"," + std::to_wstring(index) + L"\n";
        rc = write_file(out, body) ? 0 : 1;
      }
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return rc;
}

int reg_values(const std::wstring& key, const std::wstring& out) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return 1;
  std::wstring body;
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD name_len = 512, type = 0, size = 0;
    BYTE data[8192];
    size = sizeof(data);
    if (RegEnumValueW(k, i, name, &name_len, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    std::wstring value;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      value.assign(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
      while (!value.empty() && value.back() == L'\0') value.pop_back();
    } else if (type == REG_DWORD && size == 4) {
      value = std::to_wstring(*reinterpret_cast<const DWORD*>(data));
    } else {
      value = L"(type " + std::to_wstring(type) + L")";
    }
    body += std::wstring(name, name_len) + L"=" + value + L"\n";
  }
  RegCloseKey(k);
  return write_file(out, body) ? 0 : 1;
}

int reg_subkeys(const std::wstring& key, const std::wstring& out) {
  HKEY k = nullptr;
  std::wstring body;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS) {
    for (DWORD i = 0;; ++i) {
      wchar_t name[512];
      DWORD len = 512;
      if (RegEnumKeyExW(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      body += std::wstring(name, len) + L"\n";
    }
    RegCloseKey(k);
  }
  return write_file(out, body) ? 0 : 1;
}

int process_running(const std::wstring& image) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return 2;
  PROCESSENTRY32W pe{};
  pe.dwSize = sizeof(pe);
  int rc = 1;
  for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
    if (lstrcmpiW(pe.szExeFile, image.c_str()) == 0) rc = 0;
  CloseHandle(snap);
  return rc;
}

int quit() {
  HWND tray = FindWindowW(L"KlavixTray", nullptr);
  if (!tray) return 1;
  return PostMessageW(tray, WM_COMMAND, 8, 0) ? 0 : 1;
}

int tray(const std::wstring& out) {
  HWND w = FindWindowW(L"KlavixTray", nullptr);
  if (!w) return 1;
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored)) return 1;
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  std::wstring exe;
  if (HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
    wchar_t path[MAX_PATH * 4];
    DWORD len = MAX_PATH * 4;
    if (QueryFullProcessImageNameW(p, 0, path, &len)) exe.assign(path, len);
    CloseHandle(p);
  }
  return write_file(out, L"exe=" + exe + L"\n") ? 0 : 1;
}

std::wstring text_of(HWND w) {
  wchar_t buf[4096];
  int n = GetWindowTextW(w, buf, 4096);
  return std::wstring(buf, static_cast<size_t>(n < 0 ? 0 : n));
}

std::wstring without_ampersands(std::wstring s) {
  std::wstring out;
  for (wchar_t c : s)
    if (c != L'&') out += c;
  return out;
}

struct Find {
  std::wstring prefix;
  HWND found = nullptr;
};

BOOL CALLBACK find_dialog(HWND w, LPARAM p) {
  auto* f = reinterpret_cast<Find*>(p);
  wchar_t cls[64];
  GetClassNameW(w, cls, 64);
  if (IsWindowVisible(w) && lstrcmpW(cls, L"#32770") == 0 && text_of(w).rfind(f->prefix, 0) == 0) {
    f->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND dialog(const std::wstring& prefix) {
  Find f{prefix};
  EnumWindows(find_dialog, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

struct Collect {
  std::wstring body;
  std::wstring button;  // for click: the text to find
  HWND found = nullptr;
};

BOOL CALLBACK collect(HWND w, LPARAM p) {
  auto* c = reinterpret_cast<Collect*>(p);
  if (!IsWindowVisible(w)) return TRUE;
  wchar_t cls[64];
  GetClassNameW(w, cls, 64);
  const std::wstring text = text_of(w);
  if (!text.empty()) c->body += std::wstring(cls) + L"=" + text + L"\n";
  if (!c->button.empty() && lstrcmpiW(cls, L"Button") == 0 && IsWindowEnabled(w) &&
      without_ampersands(text) == c->button)
    c->found = w;
  return TRUE;
}

int page(const std::wstring& title, const std::wstring& out) {
  HWND d = dialog(title);
  if (!d) return 1;
  Collect c;
  c.body = L"title=" + text_of(d) + L"\n";
  EnumChildWindows(d, collect, reinterpret_cast<LPARAM>(&c));
  RECT r{};
  // The client area on the screen: without a window manager there is no frame to show.
  GetClientRect(d, &r);
  POINT origin{0, 0};
  ClientToScreen(d, &origin);
  c.body += L"rect=" + std::to_wstring(origin.x) + L" " + std::to_wstring(origin.y) + L" " +
            std::to_wstring(r.right) + L" " + std::to_wstring(r.bottom) + L"\n";
  return write_file(out, c.body) ? 0 : 1;
}

int click(const std::wstring& title, const std::wstring& button) {
  HWND d = dialog(title);
  if (!d) return 1;
  Collect c;
  c.button = button;
  EnumChildWindows(d, collect, reinterpret_cast<LPARAM>(&c));
  if (!c.found) return 1;
  // WM_COMMAND to the dialog, as a click of the button would send it.
  PostMessageW(d, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c.found), BN_CLICKED), reinterpret_cast<LPARAM>(c.found));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring cmd = argv[1];
  if (cmd == L"version" && argc == 4) return version(argv[2], argv[3]);
  if (cmd == L"shortcut" && argc == 4) return shortcut(argv[2], argv[3]);
  if (cmd == L"reg" && argc == 4) return reg_values(argv[2], argv[3]);
  if (cmd == L"subkeys" && argc == 4) return reg_subkeys(argv[2], argv[3]);
  if (cmd == L"process" && argc == 3) return process_running(argv[2]);
  if (cmd == L"tray" && argc == 3) return tray(argv[2]);
  if (cmd == L"quit" && argc == 2) return quit();
  if (cmd == L"page" && argc == 4) return page(argv[2], argv[3]);
  if (cmd == L"click" && argc == 4) return click(argv[2], argv[3]);
  std::fprintf(stderr, "klavix-release-probe: bad command\n");
  return 2;
}
