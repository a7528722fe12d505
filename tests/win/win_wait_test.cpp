// The engine thread's sleep through the Win32 desktop: it ends when the channel's event is set
// from another thread or when a message reaches the thread's window, and at no other time.
#include <gtest/gtest.h>

#include "engine/channel.h"
#include "win/win32_desktop.h"

#include <windows.h>

#include <chrono>
#include <thread>

namespace klavix {
namespace {

using namespace std::chrono_literals;

class Wait : public ::testing::Test {
 protected:
  void SetUp() override {
    event = desktop.create_event();
    ASSERT_NE(event, 0u);
    window = desktop.create_message_window();
    ASSERT_NE(window, 0u);
    desktop.pump_messages();
  }
  void TearDown() override {
    CloseHandle(reinterpret_cast<HANDLE>(event));
    DestroyWindow(reinterpret_cast<HWND>(window));
  }
  Win32Desktop desktop;
  EventHandle event = 0;
  WindowHandle window = 0;
};

TEST_F(Wait, NothingToWaitForTimesOut) {
  EXPECT_EQ(desktop.wait_for_event_or_message(event, 20ms), WaitResult::Timeout);
}

TEST_F(Wait, TheEventSetByAnotherThreadEndsTheWaitAndResetsItself) {
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    desktop.set_event(event);
  });
  EXPECT_EQ(desktop.wait_for_event_or_message(event, 10s), WaitResult::Event);
  setter.join();
  EXPECT_EQ(desktop.wait_for_event_or_message(event, 0ms), WaitResult::Timeout);
}

TEST_F(Wait, AMessagePostedToTheWindowEndsTheWaitUntilItIsPumped) {
  ASSERT_TRUE(desktop.post_message(window, WM_APP, 0, 0));
  EXPECT_EQ(desktop.wait_for_event_or_message(event, 10s), WaitResult::Message);
  // Seen but not taken: the wait still returns at once for it.
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(desktop.wait_for_event_or_message(event, 10s), WaitResult::Message);
  desktop.pump_messages();
  EXPECT_EQ(desktop.wait_for_event_or_message(event, 0ms), WaitResult::Timeout);
}

TEST_F(Wait, TheChannelWakesTheThreadThroughTheEvent) {
  Channel ch = make_channel();
  ch.receiver.set_wake([this] { desktop.set_event(event); });
  ASSERT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Timeout);
  std::thread sender([s = ch.sender] {
    std::this_thread::sleep_for(20ms);
    s.send(EngineEvent{});
  });
  EXPECT_EQ(desktop.wait_for_event_or_message(event, 10s), WaitResult::Event);
  EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Event);
  sender.join();
}

}  // namespace
}  // namespace klavix
