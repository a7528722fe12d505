#include "app/runtime.h"

#include <exception>

#include "base/fatal.h"

namespace klavix {

GuardedMutex::Lock::Lock(GuardedMutex& m) : m_(m), exceptions_at_entry_(std::uncaught_exceptions()) {
  m_.mutex_.lock();
  // Whatever the lock guards may be half-written; going on would spread the damage.
  if (m_.broken_.load(std::memory_order_relaxed)) fatal("lock broken by a failure while it was held");
}

GuardedMutex::Lock::~Lock() {
  if (std::uncaught_exceptions() > exceptions_at_entry_) m_.broken_.store(true, std::memory_order_relaxed);
  m_.mutex_.unlock();
}

bool EventSenderSlot::set(EventSender sender) {
  bool stored = false;
  std::call_once(once_, [&] {
    sender_ = std::move(sender);
    ready_.store(true, std::memory_order_release);
    stored = true;
  });
  return stored;
}

const EventSender* EventSenderSlot::get() const {
  return ready_.load(std::memory_order_acquire) ? &sender_ : nullptr;
}

Runtime& process_runtime() {
  // Never destroyed: the engine thread may still use it while the process exits.
  static Runtime* rt = new Runtime;
  return *rt;
}

void apply_settings(Runtime& rt, const Settings& s) {
  rt.autoswitch_on.store(s.autoswitch, std::memory_order_relaxed);
  rt.capsfix_on.store(s.capsfix, std::memory_order_relaxed);
  {
    GuardedMutex::Lock lock(rt.hotkeys_lock);
    rt.hotkeys = {s.hotkey_word, s.hotkey_selection};
  }
  {
    GuardedMutex::Lock lock(rt.settings_lock);
    rt.current_settings = s;
  }
}

std::array<Hotkey, 2> copy_hotkeys(Runtime& rt) {
  GuardedMutex::Lock lock(rt.hotkeys_lock);
  return rt.hotkeys;
}

Settings copy_settings(Runtime& rt) {
  GuardedMutex::Lock lock(rt.settings_lock);
  if (rt.current_settings) return *rt.current_settings;
  return default_settings();
}

void post_event(Runtime& rt, const EngineEvent& e) {
  if (const EventSender* sender = rt.event_sender.get()) sender->send(e);
}

}  // namespace klavix
