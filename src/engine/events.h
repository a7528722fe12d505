#pragma once
// The message that the hooks and the tray menu send to the engine thread.
#include <cstdint>

#include "desktop/desktop.h"
#include "layout/layout.h"

namespace klavix {

enum class EventKind : std::uint8_t { Key = 0, Reset = 1, WordHotkey = 2, SelectionHotkey = 3 };

struct EngineEvent {
  EventKind kind = EventKind::Key;
  Layout layout = Layout::En;  // the fields up to `window` carry meaning for Key only
  std::uint8_t shift = 0;
  std::uint8_t caps = 0;
  std::uint8_t modifier = 0;
  std::uint16_t vk = 0;
  WindowHandle window = 0;  // the foreground window of a key or a hotkey
  friend bool operator==(const EngineEvent&, const EngineEvent&) = default;
};

}  // namespace klavix
