#pragma once
// A typing desk for engine tests: a simulated desktop with one notepad window, a runtime whose
// event channel is drained by hand, the real hook logic between the keyboard and the engine,
// and a fresh settings folder.
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
#include "engine_support.h"

namespace klavix::testing {

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
