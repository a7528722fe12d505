// Synthesized input as a low-level keyboard hook sees it: what Windows makes of the records
// the engine builds.
#include <gtest/gtest.h>

#include "app/runtime.h"
#include "config/config.h"
#include "engine/engine.h"
#include "win/win32_desktop.h"

#include "win/hook_procs.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace klavix {
namespace {

struct Seen {
  WPARAM message;
  KBDLLHOOKSTRUCT k;
};

std::mutex seen_mutex;
std::vector<Seen> seen;

LRESULT CALLBACK observer(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    std::lock_guard lock(seen_mutex);
    seen.push_back({wparam, *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam)});
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// A thread with a message loop that owns the hooks (low-level hooks run on the installing
// thread, inside its message loop).
class HookThread {
 public:
  explicit HookThread(bool with_program_hook) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this, ready, with_program_hook] {
      thread_id_ = GetCurrentThreadId();
      HINSTANCE instance = GetModuleHandleW(nullptr);
      observer_ = SetWindowsHookExW(WH_KEYBOARD_LL, observer, instance, 0);
      // Installed last, so it is called first and must hand every event on.
      if (with_program_hook) program_ = SetWindowsHookExW(WH_KEYBOARD_LL, keyboard_hook_proc, instance, 0);
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before anyone waits
      SetEvent(ready);
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
      if (program_) UnhookWindowsHookEx(program_);
      UnhookWindowsHookEx(observer_);
    });
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
  }
  ~HookThread() {
    PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  bool installed() const { return observer_ != nullptr; }
  bool program_installed() const { return program_ != nullptr; }

 private:
  std::thread thread_;
  std::atomic<DWORD> thread_id_{0};
  HHOOK observer_ = nullptr;
  HHOOK program_ = nullptr;
};

std::vector<Seen> wait_for(std::size_t count) {
  for (int i = 0; i < 300; ++i) {
    {
      std::lock_guard lock(seen_mutex);
      if (seen.size() >= count) return seen;
    }
    Sleep(10);
  }
  std::lock_guard lock(seen_mutex);
  return seen;
}

void clear_seen() {
  std::lock_guard lock(seen_mutex);
  seen.clear();
}

struct Expected {
  DWORD vk;
  DWORD scan;
  bool up;
};

void check(const std::vector<Seen>& got, const std::vector<Expected>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "event " << i);
    EXPECT_EQ(got[i].k.vkCode, want[i].vk);
    EXPECT_EQ(got[i].k.scanCode, want[i].scan);
    EXPECT_NE(got[i].k.flags & LLKHF_INJECTED, 0u);
    // Wine leaves LLKHF_UP clear on Unicode key-ups; the message tells them apart everywhere.
    if (want[i].vk != VK_PACKET) {
      EXPECT_EQ((got[i].k.flags & LLKHF_UP) != 0, want[i].up);
    }
    EXPECT_EQ(got[i].message, static_cast<WPARAM>(want[i].up ? WM_KEYUP : WM_KEYDOWN));
    EXPECT_EQ(got[i].k.dwExtraInfo, SYNTH_TAG);
  }
}

TEST(SynthesizedInput, RecordsArriveInjectedTaggedAndWithTheirUnits) {
  Win32Desktop desktop;
  const DWORD back_scan = MapVirtualKeyW(VK_BACK, MAPVK_VK_TO_VSC);
  struct Case {
    const char* name;
    std::size_t erase;
    const char* text;
    std::vector<Expected> want;
  } cases[] = {
      {"one backspace and two Cyrillic letters", 1, "пр",
       {{VK_BACK, back_scan, false}, {VK_BACK, back_scan, true},
        {VK_PACKET, 0x043F, false}, {VK_PACKET, 0x043F, true},
        {VK_PACKET, 0x0440, false}, {VK_PACKET, 0x0440, true}}},
      {"a character beyond the BMP travels as two units", 0, "\xF0\x9F\x98\x80",
       {{VK_PACKET, 0xD83D, false}, {VK_PACKET, 0xD83D, true},
        {VK_PACKET, 0xDE00, false}, {VK_PACKET, 0xDE00, true}}},
      {"space and Latin", 0, " a",
       {{VK_PACKET, 0x20, false}, {VK_PACKET, 0x20, true}, {VK_PACKET, 0x61, false}, {VK_PACKET, 0x61, true}}},
  };
  HookThread hooks(false);
  ASSERT_TRUE(hooks.installed());
  Runtime rt;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_seen();
    erase_and_type(desktop, rt, c.erase, c.text);
    check(wait_for(c.want.size()), c.want);
  }
}

TEST(SynthesizedInput, SendInputTakesWholeBatchesOfThePlatformRecordSize) {
  HookThread hooks(false);
  ASSERT_TRUE(hooks.installed());
  Win32Desktop desktop;
  std::vector<KeyInput> records;
  for (int i = 0; i < 300; ++i) {
    records.push_back(char_record(u'x', false));
    records.push_back(char_record(u'x', true));
  }
  clear_seen();
  EXPECT_EQ(desktop.send_input(records), records.size());
  EXPECT_EQ(desktop.send_input({}), 0u);
  EXPECT_EQ(wait_for(records.size()).size(), records.size());
}

// The program's own hook lets synthesized keys through, even one that matches a hotkey, and
// counts them: once the engine's wait for it ends, it has seen both.
TEST(SynthesizedInput, ProgramHookPassesInjectedKeysOn) {
  Runtime& rt = process_runtime();
  Settings s = default_settings();
  apply_settings(rt, s);
  HookThread hooks(true);
  ASSERT_TRUE(hooks.installed());
  ASSERT_TRUE(hooks.program_installed());
  Win32Desktop desktop;
  clear_seen();
  rt.own_input_sent.store(0);
  rt.own_input_seen.store(0);
  rt.hook_sees_own_input.store(true);
  const KeyInput pause[] = {key_record(desktop, VK_PAUSE, 0), key_record(desktop, VK_PAUSE, KEYEVENTF_KEYUP)};
  send_inputs(desktop, rt, pause);
  wait_for_hook(desktop, rt);
  EXPECT_EQ(rt.own_input_sent.load(), 2u);
  EXPECT_EQ(rt.own_input_seen.load(), 2u);
  rt.hook_sees_own_input.store(false);
  const DWORD scan = MapVirtualKeyW(VK_PAUSE, MAPVK_VK_TO_VSC);
  check(wait_for(2), {{VK_PAUSE, scan, false}, {VK_PAUSE, scan, true}});
}

}  // namespace
}  // namespace klavix
