// The event channel on its own: order, the three outcomes of a receive, the wake that ends
// the receiver's sleep, and a look at the events waiting behind the one being handled.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/channel.h"

namespace klavix {
namespace {

EngineEvent key(std::uint16_t vk) {
  EngineEvent e;
  e.vk = vk;
  return e;
}

struct CountingWake {
  std::atomic<int> raised{0};
  std::function<void()> fn() {
    return [this] { raised.fetch_add(1); };
  }
};

TEST(Channel, TryReceiveGivesEventsInOrderThenTimeoutThenDisconnection) {
  Channel ch = make_channel();
  EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Timeout);
  ch.sender.send(key(1));
  ch.sender.send(key(2));
  ch.sender = EventSender();  // the last sender is gone, but what it sent is still delivered
  Received a = ch.receiver.try_receive();
  Received b = ch.receiver.try_receive();
  EXPECT_EQ(a.status, ReceiveStatus::Event);
  EXPECT_EQ(a.event, key(1));
  EXPECT_EQ(b.event, key(2));
  EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Disconnected);
}

TEST(Channel, TheWakeIsRaisedOnceWhenAnEmptyQueueGetsEvents) {
  Channel ch = make_channel();
  CountingWake wake;
  ch.receiver.set_wake(wake.fn());
  ch.sender.send(key(1));  // the receiver has not found the queue empty yet: it is not asleep
  EXPECT_EQ(wake.raised, 0);
  EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Event);
  EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Timeout);  // about to sleep
  ch.sender.send(key(2));
  ch.sender.send(key(3));
  EXPECT_EQ(wake.raised, 1) << "one wake per sleep, not one per event";
  EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Event);
  EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Event);
  EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Timeout);
  ch.sender.send(key(4));
  EXPECT_EQ(wake.raised, 2);
}

TEST(Channel, TheLastSenderLeavingWakesASleepingReceiver) {
  Channel ch = make_channel();
  CountingWake wake;
  ch.receiver.set_wake(wake.fn());
  EventSender second = ch.sender;
  EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Timeout);
  ch.sender = EventSender();
  EXPECT_EQ(wake.raised, 0) << "a sender is left";
  second = EventSender();
  EXPECT_EQ(wake.raised, 1);
  EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Disconnected);
}

TEST(Channel, SendsAfterTheReceiverIsGoneAreDroppedWithoutAWake) {
  CountingWake wake;
  EventSender sender;
  {
    Channel ch = make_channel();
    ch.receiver.set_wake(wake.fn());
    EXPECT_EQ(ch.receiver.try_receive().status, ReceiveStatus::Timeout);
    sender = ch.sender;
  }
  sender.send(key(1));
  EXPECT_EQ(wake.raised, 0);
  EXPECT_TRUE(sender.idle());
  sender.wait_until_idle();  // returns: nobody will ever handle it
}

TEST(Channel, WaitingEventsCanBeLookedAtAndTakenWithoutReceiving) {
  Channel ch = make_channel();
  for (std::uint16_t vk = 1; vk <= 4; ++vk) ch.sender.send(key(vk));
  EXPECT_EQ(ch.receiver.try_receive().event, key(1));
  ASSERT_EQ(ch.receiver.waiting(), 3u);
  std::vector<EngineEvent> seen = {key(9)};
  const EventReceiver::Look all = ch.receiver.look(seen, 3);
  EXPECT_EQ(all.sent, 4u) << "four were sent";
  EXPECT_TRUE(all.complete);
  EXPECT_EQ(seen, (std::vector<EngineEvent>{key(9), key(2), key(3), key(4)}));
  std::vector<EngineEvent> some;
  EXPECT_FALSE(ch.receiver.look(some, 2).complete);
  EXPECT_EQ(some, (std::vector<EngineEvent>{key(2), key(3)}));
  EXPECT_EQ(ch.sender.sent(), 4u);
  ch.receiver.drop_waiting(2);
  EXPECT_EQ(ch.receiver.waiting(), 1u);
  EXPECT_EQ(ch.receiver.try_receive().event, key(4));
  EXPECT_EQ(ch.receiver.waiting(), 0u);
}

TEST(Channel, IdleOnlyOnceTheReceiverFoundTheQueueEmpty) {
  Channel ch = make_channel();
  ch.sender.send(key(1));
  EXPECT_FALSE(ch.sender.idle());
  ch.receiver.try_receive();
  EXPECT_FALSE(ch.sender.idle()) << "the event is taken but may still be being handled";
  ch.receiver.try_receive();
  EXPECT_TRUE(ch.sender.idle());
  ch.sender.send(key(2));
  EXPECT_FALSE(ch.sender.idle());
}

// An auto-reset event, as the engine's wake is on Windows. (Not std::binary_semaphore: the
// one of MinGW-w64's libstdc++ 12 can miss a release and sleep for ever.)
class AutoResetEvent {
 public:
  void set() {
    std::lock_guard lock(mutex_);
    set_ = true;
    cv_.notify_one();
  }
  void wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return set_; });
    set_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_ = false;
};

// A receiver that sleeps on its wake, as the engine does, against a producer that never
// waits: every event arrives, in order, and the receiver ends when the producer leaves.
TEST(Channel, AMillionEventsFromAnotherThreadArriveInOrder) {
  constexpr std::uint32_t total = 1'000'000;
  Channel ch = make_channel();
  AutoResetEvent wake;
  ch.receiver.set_wake([&] { wake.set(); });
  std::uint32_t next = 0;
  bool in_order = true;
  std::thread receiver([&] {
    for (;;) {
      const Received r = ch.receiver.try_receive();
      if (r.status == ReceiveStatus::Disconnected) return;
      if (r.status == ReceiveStatus::Timeout) {
        wake.wait();
        continue;
      }
      const std::uint32_t n = static_cast<std::uint32_t>(r.event.window);
      in_order = in_order && n == next;
      ++next;
    }
  });
  std::thread producer([sender = std::move(ch.sender)]() mutable {
    EngineEvent e;
    for (std::uint32_t i = 0; i < total; ++i) {
      e.window = i;
      sender.send(e);
    }
  });
  producer.join();
  receiver.join();
  EXPECT_EQ(next, total);
  EXPECT_TRUE(in_order);
}

}  // namespace
}  // namespace klavix
