// Core headers come before <windows.h>: its macros would clash with the core's constants.
#include "app/runtime.h"
#include "engine/hooks.h"
#include "win/win32_desktop.h"

#include "win/hook_procs.h"

#include "win/boundary.h"

namespace klavix {

namespace {

// Main-thread state of the keyboard hook; the desktop keeps none of its own.
KeyboardHookState& hook_state() {
  static KeyboardHookState state;
  return state;
}

Win32Desktop& hook_desktop() {
  static Win32Desktop desktop;
  return desktop;
}

}  // namespace

LRESULT CALLBACK keyboard_hook_proc(int code, WPARAM wparam, LPARAM lparam) {
  const bool swallow = at_boundary("keyboard hook failed", [&] {
    KeyboardHookEvent event;
    // The record is only defined for HC_ACTION.
    if (code == HC_ACTION && lparam != 0) {
      const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
      event.vk = k->vkCode;
      event.scan = k->scanCode;
      event.flags = k->flags;
      event.time = k->time;
      event.extra = k->dwExtraInfo;
    }
    return keyboard_hook(hook_state(), process_runtime(), hook_desktop(), code, wparam, event);
  });
  if (swallow) return 1;
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK mouse_hook_proc(int code, WPARAM wparam, LPARAM lparam) {
  at_boundary("mouse hook failed", [&] { mouse_hook(process_runtime(), code, wparam); });
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

InstalledHooks install_hooks(HINSTANCE instance) {
  InstalledHooks hooks;
  hooks.keyboard = SetWindowsHookExW(WH_KEYBOARD_LL, keyboard_hook_proc, instance, 0);
  hooks.mouse = SetWindowsHookExW(WH_MOUSE_LL, mouse_hook_proc, instance, 0);
  return hooks;
}

void remove_hooks(const InstalledHooks& hooks) {
  UnhookWindowsHookEx(hooks.keyboard);
  UnhookWindowsHookEx(hooks.mouse);
}

}  // namespace klavix
