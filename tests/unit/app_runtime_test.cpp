#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/runtime.h"

namespace klavix {
namespace {

using namespace std::chrono_literals;

Settings sample_settings() {
  Settings s;
  s.hotkey_word = *parse_hotkey("Ctrl+Shift+Space");
  s.hotkey_selection = *parse_hotkey("F9");
  s.autoswitch = false;
  s.capsfix = false;
  return s;
}

TEST(Runtime, StartsWithTheInitialValues) {
  Runtime rt;
  EXPECT_TRUE(rt.autoswitch_on.load());
  EXPECT_TRUE(rt.capsfix_on.load());
  EXPECT_FALSE(rt.paused.load());
  EXPECT_FALSE(rt.caps_on.load());
  EXPECT_EQ(copy_hotkeys(rt), (std::array<Hotkey, 2>{}));
  EXPECT_EQ(copy_hotkeys(rt)[0].vk, 0);
  EXPECT_FALSE(rt.current_settings.has_value());
  EXPECT_EQ(rt.event_sender.get(), nullptr);
  EXPECT_EQ(copy_settings(rt), default_settings()) << "absent settings read as the defaults";
}

TEST(Runtime, ProcessRuntimeIsOneInstance) {
  EXPECT_EQ(&process_runtime(), &process_runtime());
}

TEST(ApplySettings, PublishesEveryValue) {
  const std::vector<Settings> records = {default_settings(), sample_settings()};
  Runtime rt;
  for (const Settings& s : records) {
    SCOPED_TRACE(format_hotkey(s.hotkey_word));
    apply_settings(rt, s);
    EXPECT_EQ(rt.autoswitch_on.load(), s.autoswitch);
    EXPECT_EQ(rt.capsfix_on.load(), s.capsfix);
    EXPECT_EQ(copy_hotkeys(rt), (std::array<Hotkey, 2>{s.hotkey_word, s.hotkey_selection}));
    EXPECT_EQ(copy_settings(rt), s);
    EXPECT_EQ(rt.current_settings, s);
  }
}

// Polls until `done` holds; the other thread is blocked on a lock, so this ends quickly.
template <typename F>
bool eventually(F done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

TEST(ApplySettings, FlagsFirstThenHotkeysThenTheRecordOneLockAtATime) {
  Runtime rt;
  const Settings s = sample_settings();
  std::optional<GuardedMutex::Lock> hold_hotkeys;
  hold_hotkeys.emplace(rt.hotkeys_lock);
  std::thread writer([&] { apply_settings(rt, s); });

  // Blocked on hotkeys_lock: the flags are already out, hotkeys and record are not.
  ASSERT_TRUE(eventually([&] { return !rt.autoswitch_on.load() && !rt.capsfix_on.load(); }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(rt.hotkeys[0].vk, 0);
  {
    GuardedMutex::Lock settings_free(rt.settings_lock);  // not held while waiting for hotkeys
    EXPECT_FALSE(rt.current_settings.has_value());
  }

  // Now stop it at settings_lock instead.
  std::optional<GuardedMutex::Lock> hold_settings;
  hold_settings.emplace(rt.settings_lock);
  hold_hotkeys.reset();
  ASSERT_TRUE(eventually([&] { return copy_hotkeys(rt)[0] == s.hotkey_word; }));
  EXPECT_FALSE(rt.current_settings.has_value());
  hold_settings.reset();
  writer.join();
  EXPECT_EQ(copy_settings(rt), s);
}

TEST(GuardedMutex, CanBeTakenAgainAfterNormalUse) {
  GuardedMutex m;
  for (int i = 0; i < 3; ++i) GuardedMutex::Lock lock(m);
  // An exception thrown and caught while the lock is held never leaves the lock's scope.
  {
    GuardedMutex::Lock lock(m);
    try {
      throw std::runtime_error("handled inside");
    } catch (const std::exception&) {
    }
  }
  GuardedMutex::Lock again(m);
  SUCCEED();
}

TEST(GuardedMutex, ALockTakenWhileUnwindingAnotherFailureStaysUsable) {
  GuardedMutex m;
  struct TakesLockInDestructor {
    GuardedMutex& m;
    ~TakesLockInDestructor() { GuardedMutex::Lock lock(m); }
  };
  try {
    TakesLockInDestructor t{m};
    throw std::runtime_error("unrelated");
  } catch (const std::exception&) {
  }
  GuardedMutex::Lock again(m);
  SUCCEED();
}

void break_lock(GuardedMutex& m) {
  try {
    GuardedMutex::Lock lock(m);
    throw std::runtime_error("failure while held");
  } catch (const std::exception&) {
  }
}

TEST(GuardedMutexDeathTest, ABrokenLockIsFatalAtEveryLaterAttempt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  GuardedMutex m;
  GuardedMutex other;
  break_lock(m);
  EXPECT_DEATH({ GuardedMutex::Lock lock(m); }, "lock broken");
  EXPECT_DEATH({ GuardedMutex::Lock lock(m); }, "lock broken");
  GuardedMutex::Lock unaffected(other);
}

TEST(GuardedMutexDeathTest, ABrokenSettingsLockMakesCopySettingsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Runtime rt;
  break_lock(rt.settings_lock);
  EXPECT_DEATH(copy_settings(rt), "lock broken");
  EXPECT_EQ(copy_hotkeys(rt)[0].vk, 0) << "the other lock is independent";
}

EngineEvent key_event(std::uint16_t vk) {
  EngineEvent e;
  e.kind = EventKind::Key;
  e.vk = vk;
  return e;
}

std::vector<EngineEvent> drain(EventReceiver& r) {
  std::vector<EngineEvent> got;
  for (;;) {
    Received x = r.receive(std::chrono::steady_clock::now());
    if (x.status != ReceiveStatus::Event) return got;
    got.push_back(x.event);
  }
}

TEST(PostEvent, DropsEventsUntilTheSlotIsSetThenDeliversInOrder) {
  Runtime rt;
  post_event(rt, key_event(1));  // nowhere to go: dropped
  Channel ch = make_channel();
  ASSERT_TRUE(rt.event_sender.set(ch.sender));
  ASSERT_NE(rt.event_sender.get(), nullptr);
  EngineEvent reset;
  reset.kind = EventKind::Reset;
  post_event(rt, key_event(2));
  post_event(rt, reset);
  post_event(rt, key_event(3));
  EXPECT_EQ(drain(ch.receiver), (std::vector<EngineEvent>{key_event(2), reset, key_event(3)}));
}

TEST(EventSenderSlot, IsSetOnceAndLaterSendersAreDropped) {
  Runtime rt;
  Channel first = make_channel();
  Channel second = make_channel();
  EXPECT_TRUE(rt.event_sender.set(first.sender));
  EXPECT_FALSE(rt.event_sender.set(second.sender));
  post_event(rt, key_event(7));
  EXPECT_EQ(drain(first.receiver), std::vector<EngineEvent>{key_event(7)});
  EXPECT_TRUE(drain(second.receiver).empty());
}

TEST(EventSenderSlot, ConcurrentSettersAgreeOnOneWinner) {
  Runtime rt;
  std::vector<Channel> channels;
  for (int i = 0; i < 4; ++i) channels.push_back(make_channel());
  std::atomic<int> winners{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      if (rt.event_sender.set(channels[i].sender)) winners.fetch_add(1);
      post_event(rt, key_event(static_cast<std::uint16_t>(i)));
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(winners.load(), 1);
  std::size_t delivered = 0;
  for (Channel& c : channels) delivered += drain(c.receiver).size();
  EXPECT_EQ(delivered, 4u) << "no thread saw a half-set slot";
}

}  // namespace
}  // namespace klavix
