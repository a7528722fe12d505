#pragma once
// A typist at the simulated desktop: the real engine on its own thread, and physical keys and
// mouse buttons that pass through the real hook logic before they reach the foreground window,
// as Windows would deliver them. A human is slower than the engine, so the typist waits until
// the engine has handled everything queued whenever the engine may act on the screen; a fast
// typist only before what is not a key of the key table.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "app/runtime.h"
#include "config/config.h"
#include "desktop/sim_desktop.h"
#include "engine/hooks.h"
#include "layout/layout.h"

namespace klavix {

// The key and Shift state that type a character: looked up in `first`, then in the other
// layout (rows in table order, the lower cell before the upper one). `layout` is where it
// was found. With Caps Lock on, a letter key of that layout needs the opposite Shift.
struct KeyChoice {
  std::uint16_t vk = 0;
  bool shift = false;
  Layout layout = Layout::En;
  friend bool operator==(const KeyChoice&, const KeyChoice&) = default;
};
std::optional<KeyChoice> key_for_character(char32_t c, Layout first, bool caps_lock);

// The layout a word's characters are looked up in: Ru when it holds a Cyrillic letter, else En
// when it holds a Latin letter, else none (the window's current layout decides).
std::optional<Layout> word_layout(std::u32string_view word);

class SimSession {
 public:
  // A runtime with the default settings applied; the engine is not started yet, so the caller
  // may prepare settings and change the runtime first.
  explicit SimSession(SimDesktop& desktop);
  // Waits for the engine to finish what is queued, then ends its thread.
  ~SimSession();
  SimSession(const SimSession&) = delete;
  SimSession& operator=(const SimSession&) = delete;

  Runtime& runtime() { return *rt_; }
  SimDesktop& desktop() { return desktop_; }

  // Reads Caps Lock into the runtime as start-up does, creates the channel and starts the
  // engine thread (which builds the dictionaries before its first event).
  void start();
  // Ends the engine thread after everything queued was handled. The runtime goes with it:
  // nothing can be typed and runtime() must not be used afterwards.
  void stop();

  // Returns when every event sent so far has been handled.
  void wait_idle();

  // ---- physical input ----
  // A key through the hook logic (flags 0, WM_SYSKEYDOWN/UP while Alt is held), then to the
  // window unless the hook swallowed it. Returns true when it was swallowed.
  bool key_down(std::uint16_t vk);
  bool key_up(std::uint16_t vk);
  void tap(std::uint16_t vk, bool shift = false);
  // The hotkey's modifiers, its key (held while the engine acts), then everything released.
  void press_hotkey(const Hotkey& h);
  void caps_lock();  // one Caps Lock press
  void click();      // left button down and up, through the mouse hook
  // A mouse selection of the whole text of the foreground window.
  void select_all();
  // One character on the key that gives it (see key_for_character; `word` picks the layout,
  // none for the window's current one). A character no key gives reaches the window as
  // pasted text, and the hook sees a key outside the key table (VK_PACKET).
  void type_character(char32_t c, std::optional<Layout> word);
  // Plain text: each space-separated word typed on the keys of its own layout.
  void type_text(std::u32string_view text);

  // ---- the desktop around the typist ----
  // A new foreground window (the engine starts a new word there).
  WindowHandle new_window(SimWindow init = {});
  // The user's own switch of the foreground window's layout (installed first when missing).
  void switch_layout(LayoutHandle layout);
  // The foreground window's text once the engine is done.
  std::string text();

  // One line of the klavix-sim script: text and {actions}. Returns an error message for an
  // unknown action or an unclosed brace (what came before it has been typed).
  std::optional<std::string> run_script(std::string_view utf8_line);

  // Injected records that the hook logic swallowed: those of a correction a key overran (it
  // reached the window after the engine's look at the waiting keys, before the correction).
  std::uint64_t injected_swallowed() const { return injected_swallowed_.load(); }

  // A fast typist does not wait for the engine after a space: the keys of the key table go on
  // reaching the hook and the window while the engine works, as they do on Windows. Before
  // anything else (a hotkey, Backspace, Enter, a click, Caps Lock, a layout switch) and at the
  // end it lets the engine catch up, so what the window shows is what slow typing gives.
  // The window is busy with each correction a while, as a real application is: keys that come
  // in meanwhile wait behind it, and the layout request posted after it is taken first.
  void set_fast(bool fast) {
    fast_ = fast;
    desktop_.set_busy_with_injected_input(fast);
  }

 private:
  bool hook_key(std::uint16_t vk, bool down, std::uint32_t flags, std::uint32_t scan,
                std::uintptr_t extra = 0);  // hook_mutex_ held
  void settle();
  void let_correction_through();

  SimDesktop& desktop_;
  std::unique_ptr<Runtime> rt_;
  KeyboardHookState hook_state_;
  // The hook procedures run one at a time, as on the main thread, and a physical key is
  // delivered to the window before the engine's answer to it (held across both).
  std::mutex hook_mutex_;
  std::thread engine_;
  bool started_ = false;
  std::atomic<std::uint64_t> injected_swallowed_{0};
  std::atomic<bool> sent_since_wait_{false};
  bool fast_ = false;
  std::unique_lock<std::mutex> batch_lock_;  // held by the engine thread during one batch
  bool batch_dropped_ = false;               // engine thread only, under batch_lock_
  std::atomic<bool> overrun_{false};
};

}  // namespace klavix
