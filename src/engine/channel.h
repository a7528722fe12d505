#pragma once
// The event channel: an unbounded first-in-first-out queue with many senders and one
// receiver. A send never blocks; a receive waits until a deadline.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/events.h"

namespace klavix {

enum class ReceiveStatus { Event, Timeout, Disconnected };

struct Received {
  ReceiveStatus status;
  EngineEvent event;
};

namespace detail {
// A growable ring of events. It only grows: once it has held a burst, sends reuse its slots,
// so the keyboard hook's send allocates nothing in steady typing.
class EventRing {
 public:
  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  void push_back(const EngineEvent& e);
  EngineEvent pop_front();
  void clear() { head_ = size_ = 0; }
  void reserve(std::size_t n);

 private:
  std::vector<EngineEvent> slots_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

struct ChannelState {
  std::mutex mutex;
  std::condition_variable ready;  // an event arrived or the last sender left
  std::condition_variable idle;   // the receiver is waiting with nothing queued
  EventRing queue;
  std::size_t senders = 0;
  bool receiver_alive = true;
  bool receiver_waiting = false;
  std::uint64_t delivered = 0;
  // Mirrors, written under the mutex, that the two sides may glance at without it before they
  // go to sleep.
  std::atomic<bool> has_events{false};
  std::atomic<bool> idle_now{false};  // the receiver waits with nothing queued
};
}  // namespace detail

class EventSender {
 public:
  EventSender() = default;
  explicit EventSender(std::shared_ptr<detail::ChannelState> s);
  EventSender(const EventSender& other);
  EventSender& operator=(const EventSender& other);
  EventSender(EventSender&& other) noexcept;
  EventSender& operator=(EventSender&& other) noexcept;
  ~EventSender();

  // Queues the event; dropped silently when the receiver is gone. Never blocks on the receiver.
  void send(const EngineEvent& e) const;
  explicit operator bool() const { return state_ != nullptr; }

  // For drivers of the simulated desktop: waits until every event sent so far has been
  // received and fully handled (the receiver is back in receive with an empty queue).
  void wait_until_idle() const;

 private:
  void release();
  std::shared_ptr<detail::ChannelState> state_;
};

class EventReceiver {
 public:
  explicit EventReceiver(std::shared_ptr<detail::ChannelState> s);
  EventReceiver(EventReceiver&&) noexcept = default;
  EventReceiver& operator=(EventReceiver&&) noexcept = default;
  ~EventReceiver();

  // One event, a time-out at the deadline, or disconnection (every sender gone, queue empty).
  Received receive(std::chrono::steady_clock::time_point deadline);

 private:
  std::shared_ptr<detail::ChannelState> state_;
};

struct Channel {
  EventSender sender;
  EventReceiver receiver;
};

Channel make_channel();

}  // namespace klavix
