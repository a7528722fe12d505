#include "engine/channel.h"

#include <thread>
#include <utility>

namespace klavix {

namespace {

// A typist's next key, and the engine's answer to a key, usually come within microseconds.
// Both sides look for them briefly before they sleep: a sleep and a wake-up cost two context
// switches, far more than the look.
constexpr int spin_checks = 2000;

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

template <class Ready>
void spin_until(Ready ready) {
  for (int i = 0; i < spin_checks && !ready(); ++i) cpu_relax();
}

}  // namespace

namespace detail {

void EventRing::reserve(std::size_t n) {
  if (n <= slots_.size()) return;
  std::vector<EngineEvent> grown(n);
  for (std::size_t i = 0; i < size_; ++i) grown[i] = slots_[(head_ + i) % slots_.size()];
  slots_ = std::move(grown);
  head_ = 0;
}

void EventRing::push_back(const EngineEvent& e) {
  if (size_ == slots_.size()) reserve(slots_.empty() ? 64 : 2 * slots_.size());
  slots_[(head_ + size_) % slots_.size()] = e;
  ++size_;
}

EngineEvent EventRing::pop_front() {
  const EngineEvent e = slots_[head_];
  head_ = (head_ + 1) % slots_.size();
  --size_;
  return e;
}

}  // namespace detail

EventSender::EventSender(std::shared_ptr<detail::ChannelState> s) : state_(std::move(s)) {
  if (state_) {
    std::lock_guard lock(state_->mutex);
    ++state_->senders;
  }
}

EventSender::EventSender(const EventSender& other) : EventSender(other.state_) {}

EventSender& EventSender::operator=(const EventSender& other) {
  if (this != &other) {
    EventSender copy(other);
    *this = std::move(copy);
  }
  return *this;
}

EventSender::EventSender(EventSender&& other) noexcept : state_(std::move(other.state_)) {}

EventSender& EventSender::operator=(EventSender&& other) noexcept {
  if (this != &other) {
    release();
    state_ = std::move(other.state_);
  }
  return *this;
}

EventSender::~EventSender() { release(); }

void EventSender::release() {
  if (!state_) return;
  {
    std::lock_guard lock(state_->mutex);
    if (--state_->senders == 0) state_->ready.notify_all();
  }
  state_.reset();
}

void EventSender::send(const EngineEvent& e) const {
  if (!state_) return;
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->receiver_alive) return;
    state_->queue.push_back(e);
    state_->has_events.store(true, std::memory_order_release);
    state_->idle_now.store(false, std::memory_order_relaxed);
  }
  state_->ready.notify_one();
}

void EventSender::wait_until_idle() const {
  if (!state_) return;
  spin_until([&] { return state_->idle_now.load(std::memory_order_acquire); });
  std::unique_lock lock(state_->mutex);
  state_->idle.wait(lock, [&] {
    return !state_->receiver_alive || (state_->queue.empty() && state_->receiver_waiting);
  });
}

EventReceiver::EventReceiver(std::shared_ptr<detail::ChannelState> s) : state_(std::move(s)) {}

EventReceiver::~EventReceiver() {
  if (!state_) return;
  std::lock_guard lock(state_->mutex);
  state_->receiver_alive = false;
  state_->queue.clear();
  state_->has_events.store(false, std::memory_order_relaxed);
  state_->idle_now.store(true, std::memory_order_release);
  state_->idle.notify_all();
}

Received EventReceiver::receive(std::chrono::steady_clock::time_point deadline) {
  detail::ChannelState& st = *state_;
  const auto take = [&] {
    Received r{ReceiveStatus::Event, st.queue.pop_front()};
    st.has_events.store(!st.queue.empty(), std::memory_order_relaxed);
    ++st.delivered;
    return r;
  };
  {
    std::lock_guard lock(st.mutex);
    if (!st.queue.empty()) return take();
    st.receiver_waiting = true;
    st.idle_now.store(true, std::memory_order_release);
    st.idle.notify_all();
  }
  spin_until([&] { return st.has_events.load(std::memory_order_acquire); });
  std::unique_lock lock(st.mutex);
  const bool woke = st.ready.wait_until(lock, deadline, [&] { return !st.queue.empty() || st.senders == 0; });
  st.receiver_waiting = false;
  st.idle_now.store(false, std::memory_order_relaxed);
  if (!st.queue.empty()) return take();
  if (woke && st.senders == 0) return {ReceiveStatus::Disconnected, {}};
  return {ReceiveStatus::Timeout, {}};
}

Channel make_channel() {
  auto state = std::make_shared<detail::ChannelState>();
  return Channel{EventSender(state), EventReceiver(state)};
}

}  // namespace klavix
