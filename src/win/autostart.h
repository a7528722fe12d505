#pragma once
// Start with Windows: the value "Klavix" under the current user's Run key.

namespace klavix {

inline constexpr const wchar_t* run_key_path = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* run_value_name = L"Klavix";

// True when the value exists as a string, whatever it holds.
bool autostart_enabled();
// Writes the quoted path of this executable, or removes the value. Failures are ignored.
void set_autostart(bool on);

}  // namespace klavix
