// Keystroke synthesis, retyping and layout requests: everything the engine types into other
// programs or asks of the foreground window.
#include <algorithm>
#include <array>

#include "base/fatal.h"
#include "engine/engine.h"
#include "text/text.h"

namespace klavix {

namespace {

constexpr std::uint16_t vk_ime_reserved = 0xE8;  // unassigned key: a tap of it stops a lone
                                                 // Alt or Win release from opening a menu

bool is_down(std::int16_t state) { return state < 0; }

}  // namespace

KeyInput key_record(Desktop& d, std::uint16_t vk, std::uint32_t flags) {
  KeyInput r;
  r.vk = vk;
  r.scan = static_cast<std::uint16_t>(d.map_virtual_key(vk, win::MAPVK_VK_TO_VSC));
  r.flags = flags;
  r.time = 0;
  r.extra = SYNTH_TAG;
  return r;
}

KeyInput char_record(char16_t unit, bool key_up) {
  KeyInput r;
  r.vk = 0;
  r.scan = static_cast<std::uint16_t>(unit);
  r.flags = win::KEYEVENTF_UNICODE | (key_up ? win::KEYEVENTF_KEYUP : 0u);
  r.time = 0;
  r.extra = SYNTH_TAG;
  return r;
}

void send_inputs(Desktop& d, Runtime& rt, std::span<const KeyInput> records) {
  while (!records.empty()) {
    const std::size_t n = records.size() < send_batch ? records.size() : send_batch;
    rt.own_input_sent.fetch_add(d.send_input(records.first(n)), std::memory_order_acq_rel);
    records = records.subspan(n);
  }
}

void wait_for_hook(Desktop& d, Runtime& rt) {
  if (!rt.hook_sees_own_input.load(std::memory_order_acquire)) return;
  const auto caught_up = [&] {
    return rt.own_input_seen.load(std::memory_order_acquire) >= rt.own_input_sent.load(std::memory_order_acquire);
  };
  // Usually the hook is there already, or within a few time slices.
  const auto start = d.now();
  for (int round = 0; !caught_up(); ++round) {
    if (d.now() - start > hook_wait) return;
    d.sleep_ms(round < 64 ? 0 : 1);
  }
}

void release_modifiers(Desktop& d, Runtime& rt) {
  static constexpr std::array<std::uint16_t, 8> modifiers = {
      win::VK_LSHIFT, win::VK_RSHIFT, win::VK_LCONTROL, win::VK_RCONTROL,
      win::VK_LMENU,  win::VK_RMENU,  win::VK_LWIN,     win::VK_RWIN};
  std::array<std::uint16_t, 8> held{};
  std::size_t n_held = 0;
  bool alt_or_win = false;
  for (std::uint16_t vk : modifiers) {
    if (!is_down(d.get_async_key_state(vk))) continue;
    held[n_held++] = vk;
    if (vk == win::VK_LWIN || vk == win::VK_RWIN || vk == win::VK_LMENU || vk == win::VK_RMENU) alt_or_win = true;
  }
  if (n_held == 0) return;
  std::array<KeyInput, 10> records;
  std::size_t n = 0;
  if (alt_or_win) {
    records[n++] = key_record(d, vk_ime_reserved, 0);
    records[n++] = key_record(d, vk_ime_reserved, win::KEYEVENTF_KEYUP);
  }
  for (std::size_t i = 0; i < n_held; ++i) {
    const std::uint16_t vk = held[i];
    const bool extended = vk == win::VK_LWIN || vk == win::VK_RWIN || vk == win::VK_RCONTROL || vk == win::VK_RMENU;
    records[n++] = key_record(d, vk, win::KEYEVENTF_KEYUP | (extended ? win::KEYEVENTF_EXTENDEDKEY : 0u));
  }
  send_inputs(d, rt, std::span<const KeyInput>(records.data(), n));
}

namespace {
std::array<KeyInput, 2> caps_lock_tap(Desktop& d) {
  return {key_record(d, win::VK_CAPITAL, 0), key_record(d, win::VK_CAPITAL, win::KEYEVENTF_KEYUP)};
}
}  // namespace

void turn_caps_lock_off(Desktop& d, Runtime& rt) {
  if (!rt.caps_on.exchange(false)) return;
  send_inputs(d, rt, caps_lock_tap(d));
}

namespace {
void append_erase_and_type(std::vector<KeyInput>& records, Desktop& d, std::size_t count, std::string_view text) {
  records.reserve(records.size() + 2 * (count + text.size()));
  for (std::size_t i = 0; i < count; ++i) {
    records.push_back(key_record(d, win::VK_BACK, 0));
    records.push_back(key_record(d, win::VK_BACK, win::KEYEVENTF_KEYUP));
  }
  for (char16_t unit : text::to_utf16(text)) {
    records.push_back(char_record(unit, false));
    records.push_back(char_record(unit, true));
  }
}
}  // namespace

void erase_and_type(Desktop& d, Runtime& rt, std::size_t count, std::string_view text) {
  std::vector<KeyInput> records;
  append_erase_and_type(records, d, count, text);
  send_inputs(d, rt, records);
}

namespace {
void send_chord(Desktop& d, Runtime& rt, std::uint16_t letter) {
  const std::array<KeyInput, 4> chord = {
      key_record(d, win::VK_LCONTROL, 0), key_record(d, letter, 0),
      key_record(d, letter, win::KEYEVENTF_KEYUP), key_record(d, win::VK_LCONTROL, win::KEYEVENTF_KEYUP)};
  send_inputs(d, rt, chord);
  // What the chord does happens when the window gets its letter: waiting for the copy or the
  // paste before that (a busy Wine hands records over after SendInput has returned) would
  // give up on it, and it would happen later, over the clipboard or the selection.
  wait_for_hook(d, rt);
}
}  // namespace

void send_copy_chord(Desktop& d, Runtime& rt) { send_chord(d, rt, 0x43); }
void send_paste_chord(Desktop& d, Runtime& rt) { send_chord(d, rt, 0x56); }

void retype_in_layout(Desktop& d, Runtime& rt, std::vector<Keystroke>& keys, std::size_t start, std::size_t end,
                      Layout target) {
  require(start <= end && end <= keys.size(), "retype range outside the keystroke buffer");
  for (std::size_t i = start; i < end; ++i) keys[i].layout = target;
  const std::string text = render_keystrokes(keys, start, end, target);
  erase_and_type(d, rt, end - start, text);
  request_layout(d, target);
}

namespace {

constexpr int correction_attempts = 8;
constexpr int mending_attempts = 4096;
// Keys typed ahead of the engine that a correction takes in; more means the engine is far
// behind, and the correction is left out.
constexpr std::size_t most_waiting = 64;
constexpr std::size_t most_waiting_mending = 4096;

// A waiting event the correction can count: a key of the same window that puts one character
// there (`chars` goes up) or none, and that word tracking records or ignores.
bool plain_waiting(const EngineEvent& ev, WindowHandle window, bool caps_fixed, std::size_t& chars) {
  if (ev.kind != EventKind::Key || ev.window != window || ev.modifier) return false;
  switch (ev.vk) {
    case win::VK_SHIFT:
    case win::VK_LSHIFT:
    case win::VK_RSHIFT:
      return true;
    case win::VK_CAPITAL:
      // The user at Caps Lock while the program repairs it: leave both alone.
      return !caps_fixed;
    default:
      break;
  }
  if (key_row(ev.vk) == nullptr || ev.layout == Layout::Other) return false;
  ++chars;
  return true;
}

}  // namespace

namespace {

std::u32string code_points(std::string_view utf8) {
  std::optional<std::u32string> cps = text::decode_utf8(utf8);
  require(cps.has_value(), "a rendering that is not UTF-8");
  return std::move(*cps);
}

// A character of a third layout: the window shows something for it, but the key table cannot
// name it. It is erased like any other and is never equal to a character the engine types.
constexpr char32_t unknown_character = 0xFFFFFFFF;

// What the window shows for keys[i], typed in the layout it records. The space bar gives a
// space in every layout.
char32_t shown_character(std::span<const Keystroke> keys, std::size_t i) {
  const Keystroke& k = keys[i];
  if (k.vk == win::VK_SPACE) return U' ';
  if (k.layout != Layout::En && k.layout != Layout::Ru) return unknown_character;
  const std::u32string c = code_points(render_keystrokes(keys, i, i + 1, k.layout));
  require(c.size() == 1, "a recorded key that does not give one character");
  return c[0];
}

// What a waiting key shows: in `l`, with the Caps Lock effect unless `without_caps`.
std::string waiting_key_text(const EngineEvent& ev, Layout l, bool without_caps) {
  const Keystroke k{ev.vk, l, ev.shift, static_cast<std::uint8_t>(without_caps ? 0 : ev.caps)};
  return render_keystrokes(std::span<const Keystroke>(&k, 1), 0, 1, l);
}

}  // namespace

bool retype_counting_waiting(Engine& e, std::size_t start, std::size_t end, Layout target, bool caps_fixed,
                             std::span<const Keystroke> shown) {
  require(start <= end && end == e.keys.size(), "retype range outside the keystroke buffer");
  if (shown.empty()) shown = e.keys;
  require(shown.size() == e.keys.size(), "the record as shown does not match the record");
  // Keys typed in a third layout cannot be counted: the key table cannot say what they show,
  // and a correction they cut short could not be mended. While the window shows such a
  // layout, the keys the user types next are of it.
  if (!known_layout(window_layout(e.desktop))) {
    ++e.corrections_left_out;
    return false;
  }
  std::vector<EngineEvent>& waiting = e.look_scratch;
  // What the window shows from keys[start] on, as far as the engine knows: the stretch, then
  // what the waiting keys it has looked at typed. A try the hook cut short changes it.
  std::u32string screen;
  for (std::size_t i = start; i < end; ++i) screen += shown_character(shown, i);
  std::size_t on_screen_events = 0;
  bool cut = false;
  // Once a try was cut short the window no longer shows what the record says: the engine goes
  // on until it has mended it (the user stops typing at some point).
  for (int attempt = 0; attempt < (cut ? mending_attempts : correction_attempts); ++attempt) {
    // What the engine sends goes to the foreground window: once that is another window than
    // the word's (one came to the front with no click and no key), it would erase and type
    // there.
    if (e.desktop.foreground_window() != e.last_window) break;
    waiting.assign(e.taken_in.begin(), e.taken_in.end());
    const std::size_t known = waiting.size();
    EventReceiver::Look look;
    const std::size_t most = cut ? most_waiting_mending : most_waiting;
    if (e.channel) look = e.channel->look(waiting, most > known ? most - known : 0);
    if (!look.complete) {
      ++e.corrections_left_out;
      return false;
    }
    std::size_t chars = 0;
    for (const EngineEvent& ev : waiting) {
      if (!plain_waiting(ev, e.last_window, caps_fixed, chars)) {
        ++e.corrections_left_out;
        return false;
      }
    }
    // The keys that came in since the last look stand after everything else.
    for (; on_screen_events < waiting.size(); ++on_screen_events) {
      const EngineEvent& ev = waiting[on_screen_events];
      if (key_row(ev.vk) != nullptr) screen += code_points(waiting_key_text(ev, ev.layout, false));
    }
    std::string text = render_keystrokes(e.keys, start, end, target);
    for (const EngineEvent& ev : waiting)
      if (key_row(ev.vk) != nullptr) text += waiting_key_text(ev, target, caps_fixed);
    const std::u32string wanted = code_points(text);
    // A whole correction erases all it retypes; mending a cut one keeps what is right already.
    std::size_t keep = 0;
    if (cut)
      while (keep < screen.size() && keep < wanted.size() && screen[keep] == wanted[keep]) ++keep;
    std::vector<KeyInput> records;
    const std::u32string typed = wanted.substr(keep);
    append_erase_and_type(records, e.desktop, screen.size() - keep, text::encode_utf8(typed));
    // The Caps Lock goes off in the same batch: a key typed after it comes out as meant.
    const bool tap = caps_fixed && e.rt.caps_on.load();
    if (tap) {
      const std::array<KeyInput, 2> caps = caps_lock_tap(e.desktop);
      records.insert(records.end(), caps.begin(), caps.end());
    }
    // The hook must have seen all the program sent before: a record of that seen under this
    // correction's guard would count as part of it.
    wait_for_hook(e.desktop, e.rt);
    if (e.channel) {
      e.rt.correction_seen.store(look.sent, std::memory_order_relaxed);
      e.rt.correction_erased.store(0, std::memory_order_relaxed);
      e.rt.correction_typed.store(0, std::memory_order_relaxed);
      e.rt.correction_guard.store(look.sent, std::memory_order_release);
    }
    send_inputs(e.desktop, e.rt, records);
    // What became of it is known once the hook has seen its last record.
    wait_for_hook(e.desktop, e.rt);
    const std::uint64_t guard = e.rt.correction_guard.exchange(guard_off, std::memory_order_acq_rel);
    // A key came in after the look: the hook dropped the correction, or cut it short and
    // counted what went through; look again.
    if (guard == guard_dropped) continue;
    if (guard == guard_cut) {
      const std::size_t erased = std::min<std::size_t>(e.rt.correction_erased.load(), screen.size());
      const std::size_t put = std::min<std::size_t>(e.rt.correction_typed.load(), typed.size());
      screen.resize(screen.size() - erased);
      screen += typed.substr(0, put);
      cut = true;
      continue;
    }
    // The hook follows the tap where it saw it; without one the engine does.
    if (tap && guard != guard_passed) e.rt.caps_on.store(false);
    for (std::size_t i = start; i < end; ++i) e.keys[i].layout = target;
    if (e.channel) e.channel->drop_waiting(waiting.size() - known);
    e.taken_in.clear();
    for (EngineEvent ev : waiting) {
      if (key_row(ev.vk) != nullptr) {
        ev.layout = target;
        if (caps_fixed) ev.caps = 0;
      }
      e.taken_in.push_back(ev);
    }
    request_layout(e.desktop, target);
    // Keys that came in since the last look may have reached the window before the request, in
    // the layout it had until then: they are typed again once this correction is done with.
    if (e.channel) {
      std::vector<EngineEvent> none;
      e.typed_before_request = e.channel->look(none, 0).sent != look.sent;
    }
    e.retyped_end = end;
    e.requested_window = e.last_window;
    e.requested_layout = target;
    e.requested_end = end + chars;  // the keys it took in are recorded next
    e.requested_shown = false;
    return true;
  }
  ++e.corrections_left_out;
  return false;
}

void request_layout(Desktop& d, Layout target) {
  constexpr int capacity = 32;
  std::array<LayoutHandle, capacity> handles{};
  int n = d.keyboard_layout_list(capacity, handles.data());
  n = std::clamp(n, 0, capacity);
  const std::uintptr_t wanted = static_cast<std::uintptr_t>(target) * 16 + 9;
  for (int i = 0; i < n; ++i) {
    if ((handles[i] & 0x3FF) != wanted) continue;
    const WindowHandle fg = d.foreground_window();
    if (fg != 0) d.post_message(fg, win::WM_INPUTLANGCHANGEREQUEST, 0, static_cast<std::intptr_t>(handles[i]));
    return;
  }
}

Layout window_layout(Desktop& d) {
  const std::uint32_t thread = d.window_thread_process_id(d.foreground_window(), nullptr);
  return layout_of_language(d.keyboard_layout(thread));
}

Layout toggled_layout(Desktop& d) { return window_layout(d) == Layout::Ru ? Layout::En : Layout::Ru; }

void toggle_layout(Desktop& d) { request_layout(d, toggled_layout(d)); }

}  // namespace klavix
