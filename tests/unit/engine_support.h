#pragma once
// What the engine tests and the engine's fuzzer share, without GoogleTest: the real
// dictionaries (built once per binary), a settings folder of its own, file helpers and the
// program's own input handed to the hook logic.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/runtime.h"
#include "config/config.h"
#include "desktop/sim_desktop.h"
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

}  // namespace klavix::testing
