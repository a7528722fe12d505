#pragma once
// The logic of the two low-level hooks. The Win32 hook procedures only wrap these: when
// keyboard_hook returns true the event is swallowed (the procedure returns 1), otherwise it
// is passed on with CallNextHookEx.
#include <atomic>
#include <cstdint>

#include "app/runtime.h"
#include "desktop/desktop.h"

namespace klavix {

// State the keyboard hook keeps for itself, on the main thread.
struct KeyboardHookState {
  std::uint32_t swallowed_key = 0;  // its next key-up is swallowed
  std::atomic<bool> caps_key_down{false};
};

// Returns true to swallow the event. Never blocks except for the short hotkeys_lock copy.
bool keyboard_hook(KeyboardHookState& state, Runtime& rt, Desktop& desktop, int code, std::uintptr_t wparam,
                   const KeyboardHookEvent& event);

// Posts a Reset on a mouse button press; the event is always passed on.
void mouse_hook(Runtime& rt, int code, std::uintptr_t wparam);

}  // namespace klavix
