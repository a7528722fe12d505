#include "sim/sim_driver.h"

#include <functional>
#include <utility>
#include <vector>

#include "engine/channel.h"
#include "engine/engine.h"
#include "text/text.h"

namespace klavix {

namespace {

constexpr std::uint32_t llkhf_up = 0x80;  // LLKHF_UP: the transition flag of a key-up
constexpr int idle_spin_checks = 2000;

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

bool is_cyrillic_letter(char32_t c) { return c >= 0x400 && c <= 0x52F && text::is_alphabetic(c); }
bool is_latin_letter(char32_t c) {
  return is_en_letter(c) || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7 && text::is_alphabetic(c));
}

Layout keyboard_layout_of(LayoutHandle h) {
  // A third layout types what En would.
  return layout_of_language(h) == Layout::Ru ? Layout::Ru : Layout::En;
}

std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

std::optional<KeyChoice> key_for_character(char32_t c, Layout first, bool caps_lock) {
  for (Layout l : {first, other_layout(first)}) {
    for (const KeyRow& row : key_table()) {
      const bool letter = is_letter(row.lower(l), l);
      if (row.lower(l) == c) return KeyChoice{row.vk(), caps_lock && letter, l};
      if (row.upper(l) == c) return KeyChoice{row.vk(), !(caps_lock && letter), l};
    }
  }
  return std::nullopt;
}

std::optional<Layout> word_layout(std::u32string_view word) {
  bool latin = false;
  for (char32_t c : word) {
    if (is_cyrillic_letter(c)) return Layout::Ru;
    if (is_latin_letter(c)) latin = true;
  }
  if (latin) return Layout::En;
  return std::nullopt;
}

SimSession::SimSession(SimDesktop& desktop) : desktop_(desktop), rt_(std::make_unique<Runtime>()) {
  apply_settings(*rt_, default_settings());
}

SimSession::~SimSession() { stop(); }

void SimSession::start() {
  if (started_ || !rt_) return;
  started_ = true;
  rt_->caps_on.store((desktop_.get_key_state(win::VK_CAPITAL) & 1) != 0);
  Channel channel = make_channel();
  rt_->event_sender.set(std::move(channel.sender));
  // The program's own input passes the hook too, marked as injected. A batch of it is never
  // interleaved with physical keys: the hook lock is held from its first record to its last.
  SimDesktop::InjectedInputHook hook;
  hook.batch_begins = [this] {
    batch_lock_ = std::unique_lock(hook_mutex_);
    batch_dropped_ = false;
  };
  hook.record = [this](const KeyInput& r) {
    const bool unicode = (r.flags & win::KEYEVENTF_UNICODE) != 0;
    const bool up = (r.flags & win::KEYEVENTF_KEYUP) != 0;
    const std::uint32_t flags = win::LLKHF_INJECTED | (up ? llkhf_up : 0) | (r.flags & win::KEYEVENTF_EXTENDEDKEY);
    const bool swallowed = hook_key(unicode ? sim_vk_packet : r.vk, !up, flags, r.scan, r.extra);
    if (swallowed) {
      ++injected_swallowed_;
      batch_dropped_ = true;
    }
    return swallowed;
  };
  hook.batch_ends = [this] {
    // A correction that went through lets a typist who overran the last one go on.
    overrun_ = batch_dropped_;
    batch_lock_.unlock();
  };
  desktop_.set_injected_input_hook(std::move(hook));
  rt_->hook_sees_own_input.store(true);
  engine_ = std::thread(run_engine, std::ref(desktop_), std::ref(*rt_), std::move(channel.receiver));
}

void SimSession::stop() {
  if (!started_ || !rt_) return;
  sent_since_wait_ = true;  // and the dictionaries may still be building
  wait_idle();
  desktop_.set_injected_input_hook({});
  // The runtime holds the last sending end: with it gone the engine sees the channel close
  // while it waits in its receive, and returns without touching the runtime again.
  rt_.reset();
  if (engine_.joinable()) engine_.join();
}

void SimSession::wait_idle() {
  // Nothing sent since the last wait: the engine is idle already (it only acts on events).
  if (!rt_ || !sent_since_wait_.exchange(false)) return;
  const EventSender* s = rt_->event_sender.get();
  if (!s) return;
  // The engine usually answers within microseconds: look before going to sleep.
  for (int i = 0; i < idle_spin_checks && !s->idle(); ++i) cpu_relax();
  s->wait_until_idle();
  // By now the window's thread has had its turn as well.
  desktop_.take_all_waiting();
}

bool SimSession::hook_key(std::uint16_t vk, bool down, std::uint32_t flags, std::uint32_t scan,
                          std::uintptr_t extra) {
  if (!rt_) return false;
  const bool alt = desktop_.key_down(win::VK_MENU) || vk == win::VK_LMENU || vk == win::VK_RMENU;
  std::uintptr_t wparam;
  if (down)
    wparam = alt ? win::WM_SYSKEYDOWN : win::WM_KEYDOWN;
  else
    wparam = alt ? win::WM_SYSKEYUP : win::WM_KEYUP;
  KeyboardHookEvent ev;
  ev.vk = vk;
  ev.scan = scan;
  ev.flags = flags;
  ev.extra = extra;
  if (!(flags & win::LLKHF_INJECTED)) sent_since_wait_ = true;
  return keyboard_hook(hook_state_, *rt_, desktop_, static_cast<int>(win::HC_ACTION), wparam, ev);
}

void SimSession::let_correction_through() {
  // A person types far slower than the engine answers: after overrunning one correction the
  // typist lets the engine's next try go through (or waits until it has given up).
  const EventSender* s = rt_ ? rt_->event_sender.get() : nullptr;
  while (overrun_.load()) {
    if (s == nullptr || s->idle()) {
      overrun_ = false;
      break;
    }
    std::this_thread::yield();
  }
}

void SimSession::settle() {
  if (fast_) wait_idle();
}

bool SimSession::key_down(std::uint16_t vk) {
  if (fast_) let_correction_through();
  // The key reaches the window before anything the engine sends in answer to it.
  std::lock_guard lock(hook_mutex_);
  const bool swallowed = hook_key(vk, true, 0, desktop_.map_virtual_key(vk, win::MAPVK_VK_TO_VSC));
  if (!swallowed) desktop_.physical_key(vk, true);
  return swallowed;
}

bool SimSession::key_up(std::uint16_t vk) {
  std::lock_guard lock(hook_mutex_);
  const bool swallowed = hook_key(vk, false, llkhf_up, desktop_.map_virtual_key(vk, win::MAPVK_VK_TO_VSC));
  if (!swallowed) desktop_.physical_key(vk, false);
  return swallowed;
}

void SimSession::tap(std::uint16_t vk, bool shift) {
  if (key_row(vk) == nullptr) settle();
  if (shift) key_down(win::VK_LSHIFT);
  key_down(vk);
  key_up(vk);
  if (shift) key_up(win::VK_LSHIFT);
}

void SimSession::press_hotkey(const Hotkey& h) {
  settle();
  std::vector<std::uint16_t> mods;
  if (h.ctrl) mods.push_back(win::VK_LCONTROL);
  if (h.alt) mods.push_back(win::VK_LMENU);
  if (h.shift) mods.push_back(win::VK_LSHIFT);
  if (h.win) mods.push_back(win::VK_LWIN);
  for (std::uint16_t m : mods) key_down(m);
  key_down(h.vk);
  // The user still holds the keys while the engine acts on the press.
  wait_idle();
  key_up(h.vk);
  for (auto it = mods.rbegin(); it != mods.rend(); ++it) key_up(*it);
  wait_idle();
}

void SimSession::caps_lock() {
  tap(win::VK_CAPITAL);
  wait_idle();
}

void SimSession::click() {
  if (!rt_) return;
  settle();
  std::lock_guard lock(hook_mutex_);
  sent_since_wait_ = true;
  mouse_hook(*rt_, static_cast<int>(win::HC_ACTION), win::WM_LBUTTONDOWN);
  mouse_hook(*rt_, static_cast<int>(win::HC_ACTION), win::WM_LBUTTONUP);
}

void SimSession::select_all() {
  click();
  wait_idle();
  desktop_.select_all(desktop_.foreground_window());
}

void SimSession::type_character(char32_t c, std::optional<Layout> word) {
  const Layout first = word ? *word : keyboard_layout_of(desktop_.window_layout(desktop_.foreground_window()));
  const std::optional<KeyChoice> key = key_for_character(c, first, desktop_.caps_lock_on());
  if (!key) {
    settle();
    std::string utf8;
    text::append_utf8(utf8, c);
    std::lock_guard lock(hook_mutex_);
    hook_key(sim_vk_packet, true, 0, 0);
    desktop_.insert_text(text::to_utf16(utf8));
    hook_key(sim_vk_packet, false, llkhf_up, 0);
    return;
  }
  tap(key->vk, key->shift);
  // The engine may correct the word the space ended: a typist who waits for it lets the
  // correction come before the next key; a fast one types on.
  if (key->vk == win::VK_SPACE && !fast_) wait_idle();
}

void SimSession::type_text(std::u32string_view t) {
  std::size_t i = 0;
  while (i < t.size()) {
    if (t[i] == U' ') {
      type_character(U' ', std::nullopt);
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < t.size() && t[end] != U' ') ++end;
    const std::optional<Layout> layout = word_layout(t.substr(i, end - i));
    for (; i < end; ++i) type_character(t[i], layout);
  }
}

WindowHandle SimSession::new_window(SimWindow init) {
  wait_idle();
  return desktop_.create_window(std::move(init));
}

void SimSession::switch_layout(LayoutHandle layout) {
  wait_idle();
  desktop_.install_layout(layout);
  desktop_.set_window_layout(desktop_.foreground_window(), layout);
}

std::string SimSession::text() {
  wait_idle();
  return desktop_.text_utf8(desktop_.foreground_window());
}

std::optional<std::string> SimSession::run_script(std::string_view utf8_line) {
  // First the line as characters and actions; an action does not split the word around it.
  struct Item {
    char32_t ch = 0;
    std::string action;  // empty for a character
  };
  std::vector<Item> items;
  std::optional<std::string> error;
  std::size_t pos = 0;
  while (pos < utf8_line.size()) {
    const text::Utf8Step step = text::decode_utf8_at(utf8_line, pos);
    const char32_t c = step.valid ? step.cp : text::replacement_char;
    if (c == U'{') {
      if (pos + 1 < utf8_line.size() && utf8_line[pos + 1] == '{') {
        items.push_back({U'{', {}});
        pos += 2;
        continue;
      }
      const std::size_t close = utf8_line.find('}', pos + 1);
      if (close == std::string_view::npos) {
        error = "unclosed brace: " + std::string(utf8_line.substr(pos));
        break;
      }
      items.push_back({0, std::string(utf8_line.substr(pos + 1, close - pos - 1))});
      pos = close + 1;
      continue;
    }
    items.push_back({c, {}});
    pos += step.length;
  }

  // Each character's word layout, over the characters alone.
  std::vector<std::optional<Layout>> layouts(items.size());
  for (std::size_t i = 0; i < items.size();) {
    if (!items[i].action.empty() || items[i].ch == U' ') {
      ++i;
      continue;
    }
    std::u32string word;
    std::vector<std::size_t> members;
    std::size_t j = i;
    for (; j < items.size(); ++j) {
      if (items[j].action.empty()) {
        if (items[j].ch == U' ') break;
        word.push_back(items[j].ch);
        members.push_back(j);
      }
    }
    const std::optional<Layout> l = word_layout(word);
    for (std::size_t m : members) layouts[m] = l;
    i = j;
  }

  for (std::size_t i = 0; i < items.size(); ++i) {
    const Item& it = items[i];
    if (it.action.empty()) {
      type_character(it.ch, layouts[i]);
      continue;
    }
    const std::string name = ascii_lower(it.action);
    if (name == "caps") {
      caps_lock();
    } else if (name == "bs") {
      tap(win::VK_BACK);
    } else if (name == "enter") {
      tap(win::VK_RETURN);
    } else if (name == "click") {
      click();
    } else if (name == "select") {
      select_all();
    } else if (name == "en") {
      switch_layout(layout_en_us);
    } else if (name == "ru") {
      switch_layout(layout_ru);
    } else if (name == "de") {
      switch_layout(layout_de);
    } else if (const std::optional<Hotkey> h = parse_hotkey(it.action)) {
      press_hotkey(*h);
    } else {
      return "unknown action {" + it.action + "}";
    }
  }
  return error;
}

}  // namespace klavix
