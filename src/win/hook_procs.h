#pragma once
// The two low-level hook procedures: Win32 records in, the portable hook logic decides.
#include <windows.h>

namespace klavix {

LRESULT CALLBACK keyboard_hook_proc(int code, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK mouse_hook_proc(int code, WPARAM wparam, LPARAM lparam);

struct InstalledHooks {
  HHOOK keyboard = nullptr;
  HHOOK mouse = nullptr;
};

// SetWindowsHookExW for all threads of the desktop; a failed installation leaves a null handle.
InstalledHooks install_hooks(HINSTANCE instance);
void remove_hooks(const InstalledHooks& hooks);

}  // namespace klavix
