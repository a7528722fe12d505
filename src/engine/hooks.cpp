// The logic of the two low-level hooks: report, recognise the hotkeys, track Caps Lock.
// Called for every key of the desktop, so it stays short and allocates nothing.
#include "engine/hooks.h"

#include "base/fatal.h"
#include "engine/engine.h"
#include "engine/events.h"

namespace klavix {

namespace {

constexpr std::uint16_t vk_packet = 0xE7;  // VK_PACKET: what a typed Unicode character shows as

bool down(Desktop& d, int vk) { return d.get_async_key_state(vk) < 0; }

struct Modifiers {
  bool ctrl, alt, shift, win;
};

bool matches(const Hotkey& h, std::uint16_t vk, const Modifiers& m) {
  return h.vk != 0 && h.vk == vk && (h.ctrl != 0) == m.ctrl && (h.alt != 0) == m.alt && (h.shift != 0) == m.shift &&
         (h.win != 0) == m.win;
}

// A Caps Lock key-down that reaches the system: the first one of a press flips the program's
// view; auto-repeats of a held key flip nothing.
void track_caps_lock(KeyboardHookState& state, Runtime& rt) {
  if (state.caps_key_down.exchange(true)) return;
  // An atomic exclusive-or: the engine may clear the flag at the same moment.
  bool was = rt.caps_on.load();
  while (!rt.caps_on.compare_exchange_weak(was, !was)) {
  }
}

// Input the program sent itself. While the engine sends a correction, every record shows
// whether a key came in since the engine looked at the waiting keys: that key is in the window
// already, ahead of what follows of the correction, which counted without it. Found at the
// first record, the correction is dropped whole; found later (Wine lets keys in part way), the
// rest of its key-downs is cut off and what went through is counted, so the engine can mend it.
// Either way the engine then looks again. Other input is never touched.
// `key_down` comes from the message: Wine leaves LLKHF_UP out of the flags of a typed
// character's key-up (VK_PACKET), which would count every character twice.
bool drop_stale_correction(Runtime& rt, const KeyboardHookEvent& event, bool key_down) {
  if (event.extra != SYNTH_TAG) return false;
  rt.own_input_seen.fetch_add(1, std::memory_order_acq_rel);
  const std::uint64_t guard = rt.correction_guard.load(std::memory_order_acquire);
  const auto vk = static_cast<std::uint16_t>(event.vk & 0xFFFF);
#ifndef NDEBUG
  // Every erasing correction goes out guarded; one that does not has not counted the keys
  // already on the screen.
  if (guard == guard_off && vk == win::VK_BACK && key_down)
    fatal("a correction was sent without a look at the keys already on the screen");
#endif
  if (guard == guard_dropped) return true;
  // Key-ups of a cut correction still go through, so that no key stays down.
  if (guard == guard_cut) return key_down;
  if (guard != guard_off) {
    const EventSender* sender = rt.event_sender.get();
    if (sender != nullptr && sender->sent() != rt.correction_seen.load(std::memory_order_acquire)) {
      rt.correction_guard.store(guard == guard_passed ? guard_cut : guard_dropped, std::memory_order_release);
      return guard != guard_passed || key_down;
    }
    if (guard != guard_passed) rt.correction_guard.store(guard_passed, std::memory_order_release);
    if (key_down && vk == win::VK_BACK) rt.correction_erased.fetch_add(1, std::memory_order_relaxed);
    if (key_down && vk == vk_packet) rt.correction_typed.fetch_add(1, std::memory_order_relaxed);
  }
  // The program only ever taps Caps Lock to switch it off; its view follows the tap in the
  // order the keys reach the window.
  if (vk == win::VK_CAPITAL && key_down) rt.caps_on.store(false);
  return false;
}

}  // namespace

bool keyboard_hook(KeyboardHookState& state, Runtime& rt, Desktop& desktop, int code, std::uintptr_t wparam,
                   const KeyboardHookEvent& event) {
  if (code != static_cast<int>(win::HC_ACTION)) return false;
  const bool key_down = (wparam | 0x4) == win::WM_SYSKEYDOWN;
  if ((event.flags & win::LLKHF_INJECTED) != 0) return drop_stale_correction(rt, event, key_down);
  const auto vk = static_cast<std::uint16_t>(event.vk & 0xFFFF);
  if (!key_down) {
    // 0 means no key is remembered: a key-up without a virtual key is not ours to swallow.
    if (state.swallowed_key != 0 && vk == state.swallowed_key) {
      state.swallowed_key = 0;
      return true;
    }
    if (vk == win::VK_CAPITAL) state.caps_key_down.store(false);
    return false;
  }
  if (rt.paused.load(std::memory_order_relaxed)) {
    // Paused, nothing is reported and no hotkey is recognised, so every Caps Lock press
    // reaches the system and toggles it: keep following it, or the words typed after the
    // pause would be read with the case inverted.
    if (vk == win::VK_CAPITAL) track_caps_lock(state, rt);
    return false;
  }

  Modifiers m{};
  m.ctrl = down(desktop, win::VK_CONTROL);
  m.alt = down(desktop, win::VK_MENU);
  m.shift = down(desktop, win::VK_SHIFT);
  m.win = down(desktop, win::VK_LWIN);
  if (!m.win) m.win = down(desktop, win::VK_RWIN);

  // Every event names the window it was pressed in: the word the engine holds is that
  // window's only while the window stays the same.
  const WindowHandle fg = desktop.foreground_window();
  const std::array<Hotkey, 2> hotkeys = copy_hotkeys(rt);
  if (matches(hotkeys[0], vk, m)) {
    state.swallowed_key = vk;
    EngineEvent e;
    e.kind = EventKind::WordHotkey;
    e.window = fg;
    post_event(rt, e);
    return true;
  }
  if (matches(hotkeys[1], vk, m)) {
    state.swallowed_key = vk;
    EngineEvent e;
    e.kind = EventKind::SelectionHotkey;
    e.window = fg;
    post_event(rt, e);
    return true;
  }

  if (vk == win::VK_CAPITAL) track_caps_lock(state, rt);

  const std::uint32_t thread = desktop.window_thread_process_id(fg, nullptr);
  const Layout layout = layout_of_language(desktop.keyboard_layout(thread));

  EngineEvent e;
  e.kind = EventKind::Key;
  e.layout = layout;
  e.shift = m.shift ? 1 : 0;
  e.caps = rt.caps_on.load() ? 1 : 0;
  e.modifier = (m.ctrl || m.alt || m.win) ? 1 : 0;
  e.vk = vk;
  e.window = fg;
  post_event(rt, e);
  return false;
}

void mouse_hook(Runtime& rt, int code, std::uintptr_t wparam) {
  if (code != static_cast<int>(win::HC_ACTION)) return;
  if (wparam == win::WM_LBUTTONDOWN || wparam == win::WM_RBUTTONDOWN || wparam == win::WM_MBUTTONDOWN ||
      wparam == win::WM_XBUTTONDOWN) {
    EngineEvent e;
    e.kind = EventKind::Reset;
    post_event(rt, e);
  }
}

}  // namespace klavix
