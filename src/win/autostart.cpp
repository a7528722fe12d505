#include "win/autostart.h"

#include <windows.h>

#include <string>

#include "win/wide.h"

namespace klavix {

bool autostart_enabled() {
  return RegGetValueW(HKEY_CURRENT_USER, run_key_path, run_value_name, RRF_RT_REG_SZ, nullptr, nullptr,
                      nullptr) == ERROR_SUCCESS;
}

namespace {

// The full path of this executable; empty when it cannot be had.
std::wstring module_path() {
  std::wstring buf(512, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    // A cut path comes back filling the whole buffer (and XP-era systems do not set the error).
    if (n < buf.size() && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      buf.resize(n);
      return buf;
    }
    if (buf.size() >= 0x8000) return {};  // longer than any Windows path can be
    buf.resize(buf.size() * 2);
  }
}

}  // namespace

void set_autostart(bool on) {
  if (!on) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name);
    return;
  }
  std::string data = "\"";
  data += narrow(module_path());
  data += '"';
  const std::wstring w = wide(data);
  RegSetKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name, REG_SZ, w.c_str(),
                  static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
}

}  // namespace klavix
