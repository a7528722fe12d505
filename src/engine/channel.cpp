#include "engine/channel.h"

#include "base/fatal.h"

#include <utility>

namespace klavix {

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
    detail::ChannelState& st = *state_;
    std::lock_guard lock(st.mutex);
    if (--st.senders == 0) {
      st.ready.notify_all();
      if (st.wake_armed) {
        st.wake_armed = false;
        st.wake();
      }
    }
  }
  state_.reset();
}

void EventSender::send(const EngineEvent& e) const {
  if (!state_) return;
  detail::ChannelState& st = *state_;
  std::lock_guard lock(st.mutex);
  if (!st.receiver_alive) return;
  st.queue.push_back(e);
  ++st.sent_total;
  st.sent_mirror.store(st.sent_total, std::memory_order_release);
  st.receiver_idle = false;
  st.idle_now.store(false, std::memory_order_relaxed);
  if (st.receiver_waiting) st.ready.notify_one();
  if (st.wake_armed) {
    st.wake_armed = false;
    st.wake();
  }
}

void EventSender::wait_until_idle() const {
  if (!state_) return;
  detail::ChannelState& st = *state_;
  std::unique_lock lock(st.mutex);
  ++st.idle_waiters;
  st.idle.wait(lock, [&] { return !st.receiver_alive || (st.queue.empty() && st.receiver_idle); });
  --st.idle_waiters;
}

bool EventSender::idle() const { return !state_ || state_->idle_now.load(std::memory_order_acquire); }

std::uint64_t EventSender::sent() const { return state_ ? state_->sent_mirror.load(std::memory_order_acquire) : 0; }

EventReceiver::EventReceiver(std::shared_ptr<detail::ChannelState> s) : state_(std::move(s)) {}

EventReceiver::~EventReceiver() {
  if (!state_) return;
  std::lock_guard lock(state_->mutex);
  state_->receiver_alive = false;
  state_->queue.clear();
  state_->wake = nullptr;
  state_->wake_armed = false;
  state_->idle_now.store(true, std::memory_order_release);
  state_->idle.notify_all();
}

namespace {

Received take(detail::ChannelState& st) {
  const Received r{ReceiveStatus::Event, st.queue.pop_front()};
  st.receiver_idle = false;
  return r;
}

// The queue is empty: the receiver is idle, and the next send raises its wake.
void note_empty(detail::ChannelState& st) {
  st.receiver_idle = true;
  st.idle_now.store(true, std::memory_order_release);
  st.wake_armed = static_cast<bool>(st.wake);
  if (st.idle_waiters > 0) st.idle.notify_all();
}

}  // namespace

Received EventReceiver::try_receive() {
  detail::ChannelState& st = *state_;
  std::lock_guard lock(st.mutex);
  if (!st.queue.empty()) return take(st);
  if (st.senders == 0) return {ReceiveStatus::Disconnected, {}};
  note_empty(st);
  return {ReceiveStatus::Timeout, {}};
}

Received EventReceiver::receive(std::chrono::steady_clock::time_point deadline) {
  detail::ChannelState& st = *state_;
  std::unique_lock lock(st.mutex);
  if (!st.queue.empty()) return take(st);
  note_empty(st);
  st.receiver_waiting = true;
  st.ready.wait_until(lock, deadline, [&] { return !st.queue.empty() || st.senders == 0; });
  st.receiver_waiting = false;
  if (!st.queue.empty()) return take(st);
  if (st.senders == 0) return {ReceiveStatus::Disconnected, {}};
  return {ReceiveStatus::Timeout, {}};
}

void EventReceiver::set_wake(std::function<void()> wake) {
  std::lock_guard lock(state_->mutex);
  state_->wake = std::move(wake);
  state_->wake_armed = false;
}

std::size_t EventReceiver::waiting() const {
  std::lock_guard lock(state_->mutex);
  return state_->queue.size();
}

EventReceiver::Look EventReceiver::look(std::vector<EngineEvent>& out, std::size_t most) const {
  std::lock_guard lock(state_->mutex);
  const std::size_t n = state_->queue.size() < most ? state_->queue.size() : most;
  for (std::size_t i = 0; i < n; ++i) out.push_back(state_->queue.at(i));
  return Look{state_->sent_total, n == state_->queue.size()};
}

void EventReceiver::drop_waiting(std::size_t n) {
  std::lock_guard lock(state_->mutex);
  require(n <= state_->queue.size(), "more waiting events dropped than there are");
  for (std::size_t i = 0; i < n; ++i) state_->queue.pop_front();
}

Channel make_channel() {
  auto state = std::make_shared<detail::ChannelState>();
  return Channel{EventSender(state), EventReceiver(state)};
}

}  // namespace klavix
