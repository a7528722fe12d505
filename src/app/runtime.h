#pragma once
// Process-wide runtime state shared by the main thread (hooks, tray, settings) and the engine
// thread. The program has one instance (process_runtime()); tests make their own.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "config/config.h"
#include "engine/channel.h"
#include "layout/layout.h"

namespace klavix {

// A mutex that turns into a fatal error once a failure left it broken while held.
class GuardedMutex {
 public:
  class Lock {
   public:
    explicit Lock(GuardedMutex& m);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    GuardedMutex& m_;
    int exceptions_at_entry_;
  };

 private:
  std::mutex mutex_;
  std::atomic<bool> broken_{false};
};

// Set once; later sets are dropped.
class EventSenderSlot {
 public:
  bool set(EventSender sender);   // false when it was already set
  const EventSender* get() const;  // null while empty
 private:
  std::atomic<bool> ready_{false};
  std::once_flag once_;
  EventSender sender_;
};

// The correction the engine is sending, as the keyboard hook sees it: off, the number of events
// the channel had taken in when the engine last looked at it, or what became of it.
inline constexpr std::uint64_t guard_off = ~std::uint64_t{0};
inline constexpr std::uint64_t guard_passed = guard_off - 1;   // its first record went through
inline constexpr std::uint64_t guard_dropped = guard_off - 2;  // dropped: keys came in after the look
inline constexpr std::uint64_t guard_cut = guard_off - 3;      // cut short: keys came in part way

struct Runtime {
  std::atomic<bool> autoswitch_on{true};
  std::atomic<bool> capsfix_on{true};
  // The decision behind the automatic correction; set before the engine starts (klavix-sim and
  // the accuracy report compare the two).
  std::atomic<Decision> decision{Decision::Context};
  std::atomic<bool> paused{false};
  std::atomic<bool> caps_on{false};
  GuardedMutex hotkeys_lock;
  std::array<Hotkey, 2> hotkeys{};  // word hotkey, selection hotkey
  GuardedMutex settings_lock;
  std::optional<Settings> current_settings;
  EventSenderSlot event_sender;
  // A correction is computed from the keys the engine knows; a key that reaches the window
  // after the engine's look but before the correction would be erased instead of the word. The
  // keyboard hook sees both in the order the window gets them, so it drops such a correction
  // and the engine looks again.
  std::atomic<std::uint64_t> correction_guard{guard_off};
  // Where the correction got to: the events the channel had taken in at the engine's look, and
  // the backspaces and characters of it that reached the window. Windows never lets a key in
  // part way through one batch; Wine does, and the hook then cuts the rest of it off.
  std::atomic<std::uint64_t> correction_seen{0};
  std::atomic<std::uint32_t> correction_erased{0};
  std::atomic<std::uint32_t> correction_typed{0};
  // The program's own input records: those SendInput took from the engine, and those the
  // keyboard hook has seen. SendInput may return before the hook has seen all of its batch
  // (Wine passes records on to the hook later when it is busy), so the engine reads what
  // became of a correction only once the hook has caught up, and sends the next one only then.
  // Without the hook (tests of the engine alone) nothing is waited for.
  std::atomic<bool> hook_sees_own_input{false};
  std::atomic<std::uint64_t> own_input_sent{0};
  std::atomic<std::uint64_t> own_input_seen{0};
};

Runtime& process_runtime();

// Publishes a settings record: the two flags, then the hotkeys, then the whole record.
void apply_settings(Runtime& rt, const Settings& s);

// Copies the hotkey pair under hotkeys_lock.
std::array<Hotkey, 2> copy_hotkeys(Runtime& rt);
// Copies current_settings (or the defaults) under settings_lock.
Settings copy_settings(Runtime& rt);

// Puts the event into the channel; dropped while the slot is empty. Never blocks.
void post_event(Runtime& rt, const EngineEvent& e);

}  // namespace klavix
