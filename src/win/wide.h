#pragma once
// Text at the Win32 boundary: UTF-8 inside, NUL-terminated UTF-16 at every W call.
#include <windows.h>

#include <string>
#include <string_view>

#include "text/text.h"

namespace klavix {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

inline std::wstring wide(std::string_view utf8) {
  const std::u16string u = text::to_utf16(utf8);
  return std::wstring(reinterpret_cast<const wchar_t*>(u.data()), u.size());
}

inline std::string narrow(std::wstring_view w) {
  return text::from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size()));
}

inline HWND to_hwnd(std::uintptr_t h) { return reinterpret_cast<HWND>(h); }
inline std::uintptr_t from_hwnd(HWND h) { return reinterpret_cast<std::uintptr_t>(h); }

}  // namespace klavix
