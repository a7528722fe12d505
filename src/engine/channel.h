#pragma once
// The event channel: an unbounded first-in-first-out queue with many senders and one
// receiver. A send never blocks; a receive waits until a deadline.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "engine/events.h"

namespace klavix {

enum class ReceiveStatus { Event, Timeout, Disconnected };

struct Received {
  ReceiveStatus status;
  EngineEvent event;
};

namespace detail {
struct ChannelState {
  std::mutex mutex;
  std::condition_variable ready;  // an event arrived or the last sender left
  std::condition_variable idle;   // the receiver is waiting with nothing queued
  std::deque<EngineEvent> queue;
  std::size_t senders = 0;
  bool receiver_alive = true;
  bool receiver_waiting = false;
  std::uint64_t delivered = 0;
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
