#include "engine/channel.h"

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
  }
  state_->ready.notify_one();
}

void EventSender::wait_until_idle() const {
  if (!state_) return;
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
  state_->idle.notify_all();
}

Received EventReceiver::receive(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(state_->mutex);
  state_->receiver_waiting = true;
  if (state_->queue.empty()) state_->idle.notify_all();
  const bool woke = state_->ready.wait_until(lock, deadline, [&] {
    return !state_->queue.empty() || state_->senders == 0;
  });
  state_->receiver_waiting = false;
  if (!state_->queue.empty()) {
    Received r{ReceiveStatus::Event, state_->queue.pop_front()};
    ++state_->delivered;
    return r;
  }
  if (woke && state_->senders == 0) return {ReceiveStatus::Disconnected, {}};
  return {ReceiveStatus::Timeout, {}};
}

Channel make_channel() {
  auto state = std::make_shared<detail::ChannelState>();
  return Channel{EventSender(state), EventReceiver(state)};
}

}  // namespace klavix
