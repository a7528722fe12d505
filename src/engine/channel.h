#pragma once
// The event channel: an unbounded first-in-first-out queue with many senders and one
// receiver. A send never waits for the receiver. The receiver takes events without waiting
// and sleeps elsewhere (with its window's messages) until the wake it registered is raised;
// a receive with a deadline is there for the simple cases.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/events.h"

namespace klavix {

// Timeout: nothing arrived before the deadline (at once for try_receive).
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
  const EngineEvent& at(std::size_t i) const { return slots_[(head_ + i) % slots_.size()]; }
  void clear() { head_ = size_ = 0; }
  void reserve(std::size_t n);

 private:
  std::vector<EngineEvent> slots_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

struct ChannelState {
  std::mutex mutex;
  std::condition_variable ready;  // for receive with a deadline: an event or the last sender
  std::condition_variable idle;   // for wait_until_idle
  EventRing queue;
  std::size_t senders = 0;
  bool receiver_alive = true;
  bool receiver_waiting = false;  // inside receive with a deadline
  bool receiver_idle = false;     // found the queue empty and has taken nothing since
  std::size_t idle_waiters = 0;
  std::uint64_t sent_total = 0;  // events queued since the channel was made
  std::atomic<std::uint64_t> sent_mirror{0};
  // Raised, under the mutex, by the first send after the receiver found the queue empty, and
  // when the last sender leaves; then disarmed until the receiver finds the queue empty again.
  std::function<void()> wake;
  bool wake_armed = false;
  // Mirror of "queue empty and receiver idle", written under the mutex, for a glance without it.
  std::atomic<bool> idle_now{false};
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

  // Queues the event; dropped silently when the receiver is gone. Never waits for the receiver.
  void send(const EngineEvent& e) const;
  explicit operator bool() const { return state_ != nullptr; }

  // For drivers of the simulated desktop: waits until every event sent so far has been
  // received and fully handled (the receiver came back and found the queue empty).
  void wait_until_idle() const;
  // The same state at a glance, without the lock and without waiting.
  bool idle() const;
  // Events queued since the channel was made, by every sender. Exact for a thread that does
  // all the sending itself (the hooks and the tray menu share the main thread).
  std::uint64_t sent() const;

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

  // The next event at once, Timeout when the queue is empty (the wake is then armed), or
  // disconnection (every sender gone, queue empty).
  Received try_receive();
  // One event, a time-out at the deadline, or disconnection.
  Received receive(std::chrono::steady_clock::time_point deadline);

  // Registers what raises the receiver from its sleep; it must never block. Called under the
  // channel's lock from the sending thread. An empty function removes it.
  void set_wake(std::function<void()> wake);

  // The events waiting behind the one being handled, up to `most` of them, appended to `out`
  // in the order they will be received, without taking them.
  struct Look {
    std::uint64_t sent = 0;  // events the channel had taken in by then
    bool complete = true;    // no more than `most` were waiting
  };
  Look look(std::vector<EngineEvent>& out, std::size_t most) const;
  std::size_t waiting() const;
  // Takes the next n waiting events, which the caller has looked at and handles itself.
  void drop_waiting(std::size_t n);

 private:
  std::shared_ptr<detail::ChannelState> state_;
};

struct Channel {
  EventSender sender;
  EventReceiver receiver;
};

Channel make_channel();

}  // namespace klavix
