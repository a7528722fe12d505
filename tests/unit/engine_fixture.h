#pragma once
// A typing desk for engine tests: a simulated desktop with one notepad window, a runtime whose
// event channel is drained by hand, the real hook logic between the keyboard and the engine,
// and a fresh settings folder. The real dictionaries are built once per test binary.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/runtime.h"
#include "config/config.h"
#include "desktop/sim_desktop.h"
#include "engine/engine.h"
#include "engine/hooks.h"
#include "layout/layout.h"
#include "text/text.h"

namespace klavix::testing {

inline const std::shared_ptr<const Dictionaries>& real_dictionaries() {
  static const std::shared_ptr<const Dictionaries> d = std::make_shared<const Dictionaries>(load_dictionaries());
  return d;
}

// A settings folder of its own for each test.
class TempSettings {
 public:
  TempSettings() {
    static std::atomic<unsigned> serial{0};
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() /
           ("klavix-engine-" + std::to_string(rd()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(dir_);
    set_settings_dir_override(dir_);
  }
  ~TempSettings() {
    set_settings_dir_override(std::nullopt);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

inline void write_file(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Moves a file's modification time on, as an editor's save would, so a list sees the change.
inline void touch_later(const std::filesystem::path& p, int seconds = 5) {
  std::filesystem::last_write_time(p, std::filesystem::last_write_time(p) + std::chrono::seconds(seconds));
}

inline std::string utf8(std::u16string_view s) { return text::from_utf16(s); }

// Counts of what a run sent, read from the desktop's log.
struct Sent {
  std::size_t backspaces = 0;  // VK_BACK key-downs
  std::string typed;           // the Unicode characters typed
  std::size_t caps_taps = 0;   // VK_CAPITAL key-downs
};

inline Sent summarise(const std::vector<KeyInput>& records) {
  Sent s;
  std::u16string units;
  for (const KeyInput& r : records) {
    if (r.flags == win::KEYEVENTF_UNICODE) units.push_back(static_cast<char16_t>(r.scan));
    if (r.vk == win::VK_BACK && r.flags == 0) ++s.backspaces;
    if (r.vk == win::VK_CAPITAL && r.flags == 0) ++s.caps_taps;
  }
  s.typed = text::from_utf16(units);
  return s;
}

// One record of the program's own input at the hook logic, as the system hands it over: marked
// as injected, a typed character as VK_PACKET. True when the hook swallows it.
inline bool hook_injected(KeyboardHookState& hook, Runtime& rt, Desktop& desk, const KeyInput& r) {
  KeyboardHookEvent ev;
  const bool up = (r.flags & win::KEYEVENTF_KEYUP) != 0;
  ev.vk = (r.flags & win::KEYEVENTF_UNICODE) ? sim_vk_packet : r.vk;
  ev.scan = r.scan;
  ev.flags = win::LLKHF_INJECTED | (up ? 0x80u : 0u);
  ev.extra = r.extra;
  return keyboard_hook(hook, rt, desk, 0, up ? win::WM_KEYUP : win::WM_KEYDOWN, ev);
}

class EngineDesk : public ::testing::Test {
  public:
  EngineDesk() : channel(make_channel()) {
    apply_settings(rt, default_settings());
    rt.event_sender.set(channel.sender);
    window = desk.create_window();
  }

  // The engine as thread start leaves it; tests write list files before calling this.
  Engine& engine() {
    if (!engine_) {
      engine_ = std::make_unique<Engine>(make_engine(desk, rt, real_dictionaries()));
      engine_->channel = &channel.receiver;
      desk.clear_calls();
    }
    return *engine_;
  }

  // Hands every queued event to the engine, as the engine thread would.
  void drain() {
    Engine& e = engine();
    while (handle_next_event(e)) {
    }
  }

  // Hands the engine only the next event: the ones behind it are waiting, as when the user
  // types faster than the engine answers.
  bool handle_one() { return handle_next_event(engine()); }

  // The program's own input passes the hook logic before it reaches the window, as on Windows.
  // `before_record` runs first for each record (to play a key that slips in just then).
  void route_injected_through_hook(std::function<void(const KeyInput&)> before_record = {}) {
    SimDesktop::InjectedInputHook h;
    h.record = [this, before_record](const KeyInput& r) {
      if (before_record) before_record(r);
      return hook_injected(hook, rt, desk, r);
    };
    desk.set_injected_input_hook(std::move(h));
    rt.hook_sees_own_input.store(true);
  }

  // A key pressed and released through the hook logic, left waiting for the engine.
  void press_ahead(std::uint16_t vk, bool shift = false) {
    if (shift) key_down(win::VK_LSHIFT);
    key_down(vk);
    key_up(vk);
    if (shift) key_up(win::VK_LSHIFT);
  }
  // Keys named by their En characters, left waiting for the engine.
  void type_keys_ahead(std::string_view en_keys) {
    for (char c : en_keys) {
      const auto key = find_key(static_cast<char32_t>(c), Layout::En);
      ASSERT_TRUE(key.has_value());
      press_ahead(key->first, key->second);
    }
  }

  // A physical key through the hook logic, then to the window unless it was swallowed.
  bool key_down(std::uint16_t vk) {
    KeyboardHookEvent ev;
    ev.vk = vk;
    const bool alt = desk.key_down(win::VK_MENU) || vk == win::VK_LMENU || vk == win::VK_RMENU;
    const bool swallowed = keyboard_hook(hook, rt, desk, 0, alt ? win::WM_SYSKEYDOWN : win::WM_KEYDOWN, ev);
    if (!swallowed) desk.physical_key(vk, true);
    return swallowed;
  }
  bool key_up(std::uint16_t vk) {
    KeyboardHookEvent ev;
    ev.vk = vk;
    const bool alt = desk.key_down(win::VK_MENU);
    const bool swallowed = keyboard_hook(hook, rt, desk, 0, alt ? win::WM_SYSKEYUP : win::WM_KEYUP, ev);
    if (!swallowed) desk.physical_key(vk, false);
    return swallowed;
  }
  void press(std::uint16_t vk, bool shift = false) {
    if (shift) key_down(win::VK_LSHIFT);
    key_down(vk);
    key_up(vk);
    if (shift) key_up(win::VK_LSHIFT);
    drain();
  }
  void click() {
    mouse_hook(rt, 0, win::WM_LBUTTONDOWN);
    mouse_hook(rt, 0, win::WM_LBUTTONUP);
    drain();
  }
  void hotkey_word() { press(win::VK_PAUSE); }
  void hotkey_selection() { press(win::VK_PAUSE, true); }
  void caps_lock() { press(win::VK_CAPITAL); }

  // Types text the way a user would on the window's current layout: each character on the key
  // and Shift state that gives it there (a third layout types as En), else on the other layout.
  void type(std::string_view utf8_text) {
    const std::u32string cps = *text::decode_utf8(utf8_text);
    for (char32_t c : cps) {
      const Layout shown = layout_of_language(desk.window_layout(desk.foreground_window()));
      const Layout first = shown == Layout::Ru ? Layout::Ru : Layout::En;
      const std::optional<std::pair<std::uint16_t, bool>> key = find_key(c, first);
      ASSERT_TRUE(key.has_value()) << "no key types U+" << std::hex << static_cast<std::uint32_t>(c);
      press(key->first, key->second);
    }
  }

  // Keys named by their En characters ("L" is Shift+L), whatever the window shows.
  void type_keys(std::string_view en_keys) {
    for (char c : en_keys) {
      const auto key = find_key(static_cast<char32_t>(c), Layout::En);
      ASSERT_TRUE(key.has_value());
      press(key->first, key->second);
    }
  }

  static std::optional<std::pair<std::uint16_t, bool>> find_key(char32_t c, Layout first) {
    for (Layout l : {first, other_layout(first)})
      for (const KeyRow& row : key_table()) {
        if (row.lower(l) == c) return std::pair{row.vk(), false};
        if (row.upper(l) == c) return std::pair{row.vk(), true};
      }
    return std::nullopt;
  }

  void set_layout(LayoutHandle l) { desk.set_window_layout(desk.foreground_window(), l); }

  std::string shown() const { return desk.text_utf8(window); }

  std::vector<Layout> requested() const {
    std::vector<Layout> out;
    for (const SimLayoutRequest& r : desk.layout_requests()) out.push_back(layout_of_language(r.layout));
    return out;
  }

  Sent sent() const { return summarise(desk.sent_records()); }

  void set_autoswitch(bool on) { rt.autoswitch_on = on; }
  void set_capsfix(bool on) { rt.capsfix_on = on; }

  std::vector<std::uint16_t> recorded_vks() {
    std::vector<std::uint16_t> out;
    for (const Keystroke& k : engine().keys) out.push_back(k.vk);
    return out;
  }

  TempSettings settings;
  SimDesktop desk;
  Runtime rt;
  Channel channel;
  KeyboardHookState hook;
  WindowHandle window = 0;

 private:
  std::unique_ptr<Engine> engine_;
};

}  // namespace klavix::testing
