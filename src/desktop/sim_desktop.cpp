#include "desktop/sim_desktop.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "layout/layout.h"
#include "text/text.h"

namespace klavix {

namespace {

constexpr std::uint32_t gui_thread_info_size = 72;  // sizeof(GUITHREADINFO) on x64
constexpr std::uint32_t monitor_info_size = 40;     // sizeof(MONITORINFO)
constexpr std::uint32_t monitor_info_ex_size = 104; // sizeof(MONITORINFOEXW)
constexpr std::uint32_t process_query_information = 0x400;
constexpr std::uint16_t vk_end = 0x23, vk_home = 0x24, vk_left = 0x25, vk_right = 0x27;

// Left and right modifiers are what the system keeps; the generic code stands for the left key.
std::uint16_t physical_vk(std::uint16_t vk) {
  switch (vk) {
    case win::VK_SHIFT: return win::VK_LSHIFT;
    case win::VK_CONTROL: return win::VK_LCONTROL;
    case win::VK_MENU: return win::VK_LMENU;
    default: return vk;
  }
}

// MAPVK_VK_TO_VSC of a US keyboard (set-1 scan codes).
std::uint32_t scan_code(std::uint32_t vk) {
  static constexpr char letters[] = "QWERTYUIOPASDFGHJKLZXCVBNM";
  static constexpr std::uint8_t letter_scans[] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18,
                                                  0x19, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25,
                                                  0x26, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32};
  for (std::size_t i = 0; i < 26; ++i)
    if (vk == static_cast<std::uint32_t>(letters[i])) return letter_scans[i];
  if (vk >= 0x31 && vk <= 0x39) return vk - 0x31 + 0x02;
  switch (vk) {
    case 0x30: return 0x0B;
    case win::VK_BACK: return 0x0E;
    case win::VK_TAB: return 0x0F;
    case win::VK_RETURN: return 0x1C;
    case win::VK_SHIFT: case win::VK_LSHIFT: return 0x2A;
    case win::VK_RSHIFT: return 0x36;
    case win::VK_CONTROL: case win::VK_LCONTROL: case win::VK_RCONTROL: return 0x1D;
    case win::VK_MENU: case win::VK_LMENU: case win::VK_RMENU: return 0x38;
    case win::VK_PAUSE: return 0x45;
    case win::VK_CAPITAL: return 0x3A;
    case 0x1B: return 0x01;  // Esc
    case win::VK_SPACE: return 0x39;
    case win::VK_LWIN: return 0x5B;
    case win::VK_RWIN: return 0x5C;
    case 0xBA: return 0x27;
    case 0xBB: return 0x0D;
    case 0xBC: return 0x33;
    case 0xBD: return 0x0C;
    case 0xBE: return 0x34;
    case 0xBF: return 0x35;
    case 0xC0: return 0x29;
    case 0xDB: return 0x1A;
    case 0xDC: return 0x2B;
    case 0xDD: return 0x1B;
    case 0xDE: return 0x28;
    case 0xE2: return 0x56;
    default: return 0;
  }
}

std::vector<std::uint8_t> utf16_block(std::u16string_view units) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * (units.size() + 1));
  for (char16_t u : units) {
    bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

// The units of a CF_UNICODETEXT block up to its first zero unit.
std::u16string utf16_of_block(const std::vector<std::uint8_t>& bytes) {
  std::u16string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t u = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (u == 0) break;
    out.push_back(u);
  }
  return out;
}

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::optional<char32_t> key_character(std::uint16_t vk, LayoutHandle layout, bool shift, bool caps) {
  const KeyRow* row = key_row(vk);
  if (!row) return std::nullopt;
  Layout l = layout_of_language(layout);
  if (l == Layout::Other) l = Layout::En;
  const char32_t lower = row->lower(l);
  const bool upper = is_letter(lower, l) ? shift != caps : shift;
  return upper ? row->upper(l) : lower;
}

std::string describe_record(const KeyInput& r) {
  char buf[160];
  const bool up = (r.flags & win::KEYEVENTF_KEYUP) != 0;
  if (r.flags & win::KEYEVENTF_UNICODE) {
    std::string ch;
    const char16_t u = static_cast<char16_t>(r.scan);
    if (u >= 0x20 && !is_high_surrogate(u) && !is_low_surrogate(u)) ch = text::from_utf16(std::u16string_view(&u, 1));
    std::snprintf(buf, sizeof buf, "char U+%04X %s%s%s%s flags=0x%X extra=0x%llX", static_cast<unsigned>(r.scan),
                  up ? "up" : "down", ch.empty() ? "" : " '", ch.c_str(), ch.empty() ? "" : "'",
                  static_cast<unsigned>(r.flags), static_cast<unsigned long long>(r.extra));
    return buf;
  }
  const char* name = nullptr;
  switch (r.vk) {
    case win::VK_BACK: name = "Backspace"; break;
    case win::VK_RETURN: name = "Enter"; break;
    case win::VK_CAPITAL: name = "CapsLock"; break;
    case win::VK_LSHIFT: name = "LShift"; break;
    case win::VK_RSHIFT: name = "RShift"; break;
    case win::VK_LCONTROL: name = "LCtrl"; break;
    case win::VK_RCONTROL: name = "RCtrl"; break;
    case win::VK_LMENU: name = "LAlt"; break;
    case win::VK_RMENU: name = "RAlt"; break;
    case win::VK_LWIN: name = "LWin"; break;
    case win::VK_RWIN: name = "RWin"; break;
    case win::VK_CONTROL: name = "Ctrl"; break;
    case win::VK_SHIFT: name = "Shift"; break;
    case win::VK_MENU: name = "Alt"; break;
    case 0xE8: name = "0xE8"; break;
    default: break;
  }
  char letter[2] = {static_cast<char>(r.vk), 0};
  if (!name && ((r.vk >= 0x41 && r.vk <= 0x5A) || (r.vk >= 0x30 && r.vk <= 0x39))) name = letter;
  std::snprintf(buf, sizeof buf, "key vk=0x%02X%s%s%s scan=0x%02X %s flags=0x%X extra=0x%llX",
                static_cast<unsigned>(r.vk), name ? " (" : "", name ? name : "", name ? ")" : "",
                static_cast<unsigned>(r.scan), up ? "up" : "down", static_cast<unsigned>(r.flags),
                static_cast<unsigned long long>(r.extra));
  return buf;
}

SimDesktop::SimDesktop() : layouts_{layout_en_us, layout_ru} {
  start_ = std::chrono::steady_clock::now() + std::chrono::hours(24);
  const MonitorHandle m = next_monitor_++;
  monitors_[m] = MonitorInfo{monitor_info_size, Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1040}};
}

// ---- private helpers (the lock is held) ----

SimWindow* SimDesktop::find_window(WindowHandle w) {
  auto it = windows_.find(w);
  return it == windows_.end() ? nullptr : &it->second;
}

const SimWindow* SimDesktop::find_window(WindowHandle w) const {
  auto it = windows_.find(w);
  return it == windows_.end() ? nullptr : &it->second;
}

SimWindow* SimDesktop::find_by_thread(std::uint32_t thread_id) {
  auto it = by_thread_.find(thread_id);
  return it == by_thread_.end() ? nullptr : find_window(it->second);
}

SimWindow* SimDesktop::find_by_process(std::uint32_t process_id) {
  auto it = by_process_.find(process_id);
  return it == by_process_.end() ? nullptr : find_window(it->second);
}

SimWindow* SimDesktop::find_by_focus(WindowHandle f) {
  auto it = by_focus_.find(f);
  return it == by_focus_.end() ? nullptr : find_window(it->second);
}

SimWindow* SimDesktop::foreground_locked() { return find_window(foreground_); }

void SimDesktop::log(SimCall call) {
  if (observer_) observer_(call);
  if (keep_calls_) calls_.push_back(std::move(call));
}

bool SimDesktop::key_is_down(int vk) const {
  switch (vk) {
    case win::VK_SHIFT: return keys_[win::VK_LSHIFT] || keys_[win::VK_RSHIFT];
    case win::VK_CONTROL: return keys_[win::VK_LCONTROL] || keys_[win::VK_RCONTROL];
    case win::VK_MENU: return keys_[win::VK_LMENU] || keys_[win::VK_RMENU];
    default: return vk >= 0 && vk < 256 && keys_[vk];
  }
}

const SimClipboardItem* SimDesktop::clipboard_item(std::uint32_t format) const {
  for (const auto& item : clipboard_)
    if (item.format == format) return &item;
  return nullptr;
}

void SimDesktop::type_char(SimField& f, std::u16string_view units) {
  const std::size_t a = std::min(f.anchor, f.caret), b = std::max(f.anchor, f.caret);
  f.text.replace(a, b - a, units);
  f.caret = f.anchor = a + units.size();
}

void SimDesktop::erase_back(SimField& f) {
  const std::size_t a = std::min(f.anchor, f.caret), b = std::max(f.anchor, f.caret);
  if (a != b) {
    f.text.erase(a, b - a);
    f.caret = f.anchor = a;
    return;
  }
  if (f.caret == 0) return;
  // A surrogate pair is one character: it goes with one Backspace.
  std::size_t n = 1;
  if (f.caret >= 2 && is_low_surrogate(f.text[f.caret - 1]) && is_high_surrogate(f.text[f.caret - 2])) n = 2;
  f.text.erase(f.caret - n, n);
  f.caret = f.anchor = f.caret - n;
}

void SimDesktop::put_clipboard(std::vector<SimClipboardItem> items) {
  clipboard_ = std::move(items);
  ++clipboard_sequence_;
}

void SimDesktop::deliver_copy(std::vector<SimClipboardItem> items, std::uint32_t delay_ms) {
  if (delay_ms == 0) {
    change_owner(0);
    put_clipboard(std::move(items));
    return;
  }
  pending_copy_ = std::move(items);
  pending_copy_due_ = elapsed_ + std::chrono::milliseconds(delay_ms);
}

void SimDesktop::finish_pending_copy() {
  // The application gets the clipboard only once nobody else holds it open.
  if (!pending_copy_ || elapsed_ < pending_copy_due_ || clipboard_is_open_ || clipboard_locked_) return;
  change_owner(0);
  put_clipboard(std::move(*pending_copy_));
  pending_copy_.reset();
}

void SimDesktop::copy_selection(SimWindow& w) {
  // The application opens the clipboard itself; it cannot while someone else holds it.
  if (w.copy == SimCopy::Ignore || clipboard_is_open_ || clipboard_locked_) return;
  if (w.copy == SimCopy::NoText) {
    deliver_copy({SimClipboardItem{win::CF_DIB, std::vector<std::uint8_t>(40 + 4, 0)}}, w.copy_delay_ms);
    return;
  }
  const SimField& f = w.field;
  const std::size_t a = std::min(f.anchor, f.caret), b = std::max(f.anchor, f.caret);
  if (a == b) return;
  const std::u16string_view sel = std::u16string_view(f.text).substr(a, b - a);
  std::vector<SimClipboardItem> items;
  items.push_back({win::CF_UNICODETEXT, utf16_block(sel)});
  const std::uint32_t lcid = static_cast<std::uint32_t>(w.layout & 0xFFFF);
  items.push_back({win::CF_LOCALE, {static_cast<std::uint8_t>(lcid & 0xFF), static_cast<std::uint8_t>(lcid >> 8), 0, 0}});
  // The 8-bit forms the system synthesizes: characters outside ASCII become '?'.
  std::vector<std::uint8_t> ansi;
  for (char16_t u : sel)
    if (!is_low_surrogate(u)) ansi.push_back(u < 0x80 ? static_cast<std::uint8_t>(u) : '?');
  ansi.push_back(0);
  items.push_back({win::CF_TEXT, ansi});
  items.push_back({win::CF_OEMTEXT, ansi});
  deliver_copy(std::move(items), w.copy_delay_ms);
}

void SimDesktop::paste(SimWindow& w) {
  if (w.paste_delay_ms > 0) {
    pending_paste_ = w.handle;
    pending_paste_due_ = elapsed_ + std::chrono::milliseconds(w.paste_delay_ms);
    return;
  }
  read_clipboard_into(w.handle);
}

void SimDesktop::finish_scheduled_copies() {
  if (clipboard_is_open_ || clipboard_locked_) return;
  for (auto it = scheduled_copies_.begin(); it != scheduled_copies_.end();) {
    if (it->first > elapsed_) {
      ++it;
      continue;
    }
    change_owner(0);
    put_clipboard(std::move(it->second));
    it = scheduled_copies_.erase(it);
  }
}

// The first time after now and before `limit` at which an application does something.
std::chrono::milliseconds SimDesktop::next_due(std::chrono::milliseconds limit) const {
  auto next = limit;
  if (pending_copy_ && pending_copy_due_ > elapsed_) next = std::min(next, pending_copy_due_);
  if (pending_paste_ && pending_paste_due_ > elapsed_) next = std::min(next, pending_paste_due_);
  for (const auto& [due, items] : scheduled_copies_)
    if (due > elapsed_) next = std::min(next, due);
  return next;
}

void SimDesktop::finish_pending_paste() {
  if (!pending_paste_ || elapsed_ < pending_paste_due_) return;
  const WindowHandle w = *pending_paste_;
  pending_paste_.reset();
  read_clipboard_into(w);
}

// The application's OpenClipboard, GetClipboardData(CF_UNICODETEXT) and CloseClipboard. Text
// the owner renders on request makes it wait until the owner has handled WM_RENDERFORMAT.
void SimDesktop::read_clipboard_into(WindowHandle w) {
  if (clipboard_is_open_ || clipboard_locked_) return;
  const SimClipboardItem* item = clipboard_item(win::CF_UNICODETEXT);
  if (item && item->delayed && !paste_waiting_for_render_ && owner_handlers_.contains(owner_)) {
    paste_waiting_for_render_ = w;
    queue_message(owner_, win::WM_RENDERFORMAT, win::CF_UNICODETEXT, 0);
    return;
  }
  if (!item || item->null_handle || item->lock_fails || item->delayed) return;
  SimWindow* win = find_window(w);
  if (win) type_char(win->field, utf16_of_block(item->bytes));
}

void SimDesktop::queue_message(WindowHandle w, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  messages_.push_back({w, message, wparam, lparam});
  messages_waiting_.store(true, std::memory_order_release);
  wake_.notify_all();
}

// EmptyClipboard sends WM_DESTROYCLIPBOARD to the window that owned the clipboard until then.
void SimDesktop::change_owner(WindowHandle owner) {
  if (owner_ != 0 && message_windows_.contains(owner_)) queue_message(owner_, win::WM_DESTROYCLIPBOARD, 0, 0);
  owner_ = owner;
}

SimDesktop::KeyStates SimDesktop::key_states() const {
  KeyStates k;
  k.shift = key_is_down(win::VK_SHIFT);
  k.ctrl = key_is_down(win::VK_CONTROL);
  k.alt = key_is_down(win::VK_MENU);
  k.winkey = key_is_down(win::VK_LWIN) || key_is_down(win::VK_RWIN);
  k.caps = caps_toggle_;
  return k;
}

// Input reaches the foreground window's queue; a window whose thread is busy leaves it there.
void SimDesktop::deliver(WaitingInput in) {
  SimWindow* w = foreground_locked();
  if (!w) return;
  auto q = queues_.find(w->handle);
  if (q != queues_.end() && q->second.busy) {
    q->second.items.push_back(std::move(in));
    return;
  }
  handle_input(*w, in);
}

void SimDesktop::apply_key(std::uint16_t vk_in, bool down) {
  const std::uint16_t vk = physical_vk(vk_in);
  if (vk >= 256) return;
  const bool was_down = keys_[vk];
  keys_[vk] = down;
  if (!down) return;
  if (vk == win::VK_CAPITAL) {
    if (!was_down) caps_toggle_ = !caps_toggle_;
    return;
  }
  WaitingInput in;
  in.kind = WaitingInput::Kind::Key;
  in.vk = vk;
  in.keys = key_states();
  deliver(std::move(in));
}

// The window's thread takes one input message: the key states are those that came with it.
void SimDesktop::handle_input(SimWindow& w, const WaitingInput& in) {
  SimField& f = w.field;
  switch (in.kind) {
    case WaitingInput::Kind::Text: type_char(f, in.text); return;
    case WaitingInput::Kind::LayoutRequest: w.layout = in.layout; return;
    case WaitingInput::Kind::Key: break;
  }
  const std::uint16_t vk = in.vk;
  const KeyStates& k = in.keys;
  if (k.ctrl && !k.alt && !k.winkey) {
    switch (vk) {
      case 'A': f.anchor = 0; f.caret = f.text.size(); break;
      case 'C': copy_selection(w); break;
      case 'V': paste(w); break;
      case 'X':
        copy_selection(w);
        if (f.anchor != f.caret) erase_back(f);
        break;
      default: break;
    }
    return;
  }
  if (k.ctrl || k.alt || k.winkey) return;  // shortcuts and menu keys type nothing
  switch (vk) {
    case win::VK_BACK: erase_back(f); return;
    case win::VK_RETURN: return;  // single-line editing: the line ends, no break is shown
    case win::VK_TAB: type_char(f, u"\t"); return;
    case vk_home: f.caret = f.anchor = 0; return;
    case vk_end: f.caret = f.anchor = f.text.size(); return;
    case vk_left:
      f.caret = f.anchor = (f.anchor != f.caret) ? std::min(f.anchor, f.caret) : (f.caret ? f.caret - 1 : 0);
      return;
    case vk_right:
      f.caret = f.anchor = (f.anchor != f.caret) ? std::max(f.anchor, f.caret) : std::min(f.caret + 1, f.text.size());
      return;
    default: break;
  }
  // The character comes from the layout the window has when its thread takes the key.
  const auto ch = key_character(vk, w.layout, k.shift, k.caps);
  if (!ch) return;
  std::string utf8;
  text::append_utf8(utf8, *ch);
  type_char(f, text::to_utf16(utf8));
}

// The window's thread takes everything waiting: posted messages first when the desktop keeps
// Windows' order, then the input in the order it came.
void SimDesktop::take_waiting(WindowHandle handle) {
  auto q = queues_.find(handle);
  if (q == queues_.end()) return;
  std::deque<WaitingInput> items = std::move(q->second.items);
  q->second.items.clear();
  SimWindow* w = find_window(handle);
  if (!w) return;
  if (order_ == SimMessageOrder::PostedFirst) {
    for (const WaitingInput& in : items)
      if (in.kind == WaitingInput::Kind::LayoutRequest) handle_input(*w, in);
    for (const WaitingInput& in : items)
      if (in.kind != WaitingInput::Kind::LayoutRequest) handle_input(*w, in);
    return;
  }
  for (const WaitingInput& in : items) handle_input(*w, in);
}

void SimDesktop::end_busy_with_injected() {
  any_busy_with_injected_.store(false, std::memory_order_relaxed);
  for (auto it = queues_.begin(); it != queues_.end(); ++it) {
    if (!it->second.busy_with_injected) continue;
    it->second.busy = it->second.busy_with_injected = false;
    take_waiting(it->first);
  }
}

void SimDesktop::apply_record(const KeyInput& r) {
  const bool up = (r.flags & win::KEYEVENTF_KEYUP) != 0;
  if (r.flags & win::KEYEVENTF_UNICODE) {
    if (up) return;
    WaitingInput in;
    in.kind = WaitingInput::Kind::Text;
    in.text.assign(1, static_cast<char16_t>(r.scan));
    deliver(std::move(in));
    return;
  }
  apply_key(r.vk, !up);
}

// ---- Desktop: keyboard ----

void SimDesktop::pass_injected(const InjectedInputHook& hook, std::span<const KeyInput> records) {
  if (hook.batch_begins) hook.batch_begins();
  for (const KeyInput& r : records) {
    if (hook.record && hook.record(r)) continue;
    std::lock_guard lock(mutex_);
    // The window is busy with the program's input from the first record that reaches it.
    if (busy_with_injected_ && foreground_ != 0 && find_window(foreground_)) {
      WindowQueue& q = queues_[foreground_];
      if (!q.busy) {
        q.busy = q.busy_with_injected = true;
        any_busy_with_injected_.store(true, std::memory_order_relaxed);
      }
    }
    apply_record(r);
  }
  if (hook.batch_ends) hook.batch_ends();
}

void SimDesktop::deliver_late_records() {
  if (late_pending_.empty()) return;
  const std::vector<KeyInput> late = std::move(late_pending_);
  late_pending_.clear();
  pass_injected(late_hook_, late);
}

void SimDesktop::set_late_injected_records(std::size_t n) {
  deliver_late_records();
  late_records_ = n;
}

std::uint32_t SimDesktop::send_input(std::span<const KeyInput> records) {
  // What an earlier batch still had on its way comes first.
  deliver_late_records();
  InjectedInputHook hook;
  {
    std::lock_guard lock(mutex_);
    SimCall c;
    c.kind = SimCallKind::SendInput;
    c.records.assign(records.begin(), records.end());
    c.ok = !send_input_blocked_;
    log(std::move(c));
    if (send_input_blocked_) return 0;
    hook = injected_hook_;
  }
  const std::size_t late = std::min(late_records_, records.size());
  pass_injected(hook, records.first(records.size() - late));
  if (late > 0) {
    late_pending_.assign(records.end() - static_cast<std::ptrdiff_t>(late), records.end());
    late_hook_ = hook;
  }
  // A record a hook swallows was inserted all the same.
  return static_cast<std::uint32_t>(records.size());
}

std::int16_t SimDesktop::get_async_key_state(int vk) {
  std::lock_guard lock(mutex_);
  return key_is_down(vk) ? static_cast<std::int16_t>(0x8000) : 0;
}

std::int16_t SimDesktop::get_key_state(int vk) {
  std::lock_guard lock(mutex_);
  std::uint16_t v = key_is_down(vk) ? 0x8000 : 0;
  if (vk == win::VK_CAPITAL && caps_toggle_) v |= 1;
  return static_cast<std::int16_t>(v);
}

std::uint32_t SimDesktop::map_virtual_key(std::uint32_t code, std::uint32_t map_type) {
  if (map_type != win::MAPVK_VK_TO_VSC) return 0;
  return scan_code(code);
}

// ---- Desktop: windows and layouts ----

WindowHandle SimDesktop::foreground_window() {
  std::lock_guard lock(mutex_);
  return foreground_;
}

std::uint32_t SimDesktop::window_thread_process_id(WindowHandle w, std::uint32_t* process_id) {
  std::lock_guard lock(mutex_);
  const SimWindow* win = find_window(w);
  if (!win) {
    if (process_id) *process_id = 0;
    return 0;
  }
  if (process_id) *process_id = win->process_id;
  return win->thread_id;
}

LayoutHandle SimDesktop::keyboard_layout(std::uint32_t thread_id) {
  std::lock_guard lock(mutex_);
  if (thread_id == 0) return layouts_.empty() ? 0 : layouts_.front();
  const SimWindow* w = find_by_thread(thread_id);
  return w ? w->layout : 0;
}

int SimDesktop::keyboard_layout_list(int capacity, LayoutHandle* out) {
  std::lock_guard lock(mutex_);
  const int n = static_cast<int>(layouts_.size());
  if (capacity <= 0 || !out) return n;
  const int written = std::min(n, capacity);
  std::copy_n(layouts_.begin(), written, out);
  return written;
}

void SimDesktop::set_before_post(std::function<void(WindowHandle, std::uint32_t)> before) {
  std::lock_guard lock(mutex_);
  before_post_ = std::move(before);
}

bool SimDesktop::post_message(WindowHandle w, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  std::function<void(WindowHandle, std::uint32_t)> before;
  {
    std::lock_guard lock(mutex_);
    before = before_post_;
  }
  if (before) before(w, message);
  std::lock_guard lock(mutex_);
  SimWindow* win = find_window(w);
  const bool known = win || message_windows_.contains(w);
  SimCall c;
  c.kind = SimCallKind::PostMessage;
  c.window = w;
  c.message = message;
  c.wparam = wparam;
  c.lparam = lparam;
  c.ok = known;
  if (win && message == win::WM_INPUTLANGCHANGEREQUEST && win->follows_layout_requests) {
    const auto hkl = static_cast<LayoutHandle>(lparam);
    if (std::find(layouts_.begin(), layouts_.end(), hkl) != layouts_.end()) {
      WaitingInput in;
      in.kind = WaitingInput::Kind::LayoutRequest;
      in.layout = hkl;
      auto q = queues_.find(w);
      if (q != queues_.end() && q->second.busy)
        q->second.items.push_back(std::move(in));
      else
        win->layout = hkl;
    }
  }
  // A message posted to a window busy with the program's input wakes its thread.
  if (win) {
    auto q = queues_.find(w);
    if (q != queues_.end() && q->second.busy_with_injected) {
      q->second.busy = q->second.busy_with_injected = false;
      take_waiting(w);
    }
  }
  if (!win && known) {
    // A message-only window's thread finds it in its queue.
    messages_.push_back({w, message, wparam, lparam});
    messages_waiting_.store(true, std::memory_order_release);
    wake_.notify_all();
  }
  log(std::move(c));
  return known;
}

// ---- Desktop: facts of the foreground check ----

ProcessHandle SimDesktop::open_process(std::uint32_t access, bool /*inherit*/, std::uint32_t process_id) {
  std::lock_guard lock(mutex_);
  const SimWindow* owner = find_by_process(process_id);
  ProcessHandle p = 0;
  if (owner && !owner->open_process_fails) {
    p = next_process_handle_;
    next_process_handle_ += 4;
    handles_[p] = Process{access, process_id};
    ++handles_opened_;
  }
  SimCall c;
  c.kind = SimCallKind::OpenProcess;
  c.value = process_id;
  c.handle = p;
  c.ok = p != 0;
  log(std::move(c));
  return p;
}

std::optional<std::u16string> SimDesktop::query_full_process_image_name(ProcessHandle p, std::uint32_t flags,
                                                                         std::uint32_t capacity) {
  std::lock_guard lock(mutex_);
  auto it = handles_.find(p);
  if (it == handles_.end()) return std::nullopt;
  if (!(it->second.access & (win::PROCESS_QUERY_LIMITED_INFORMATION | process_query_information))) return std::nullopt;
  const SimWindow* owner = find_by_process(it->second.process_id);
  if (!owner || owner->image_query_fails) return std::nullopt;
  std::u16string path = owner->image_path;
  if (flags & 1) {  // PROCESS_NAME_NATIVE: the device form of the path
    if (path.size() >= 2 && path[1] == u':') path = u"\\Device\\HarddiskVolume3" + path.substr(2);
  }
  if (path.size() + 1 > capacity) return std::nullopt;  // ERROR_INSUFFICIENT_BUFFER
  return path;
}

bool SimDesktop::close_handle(ProcessHandle p) {
  std::lock_guard lock(mutex_);
  const bool ok = handles_.erase(p) == 1;
  if (!ok) ++bad_closes_;
  SimCall c;
  c.kind = SimCallKind::CloseHandle;
  c.handle = p;
  c.ok = ok;
  log(std::move(c));
  return ok;
}

bool SimDesktop::gui_thread_info(std::uint32_t thread_id, GuiThreadInfo& info) {
  std::lock_guard lock(mutex_);
  if (info.size != gui_thread_info_size) return false;  // ERROR_INVALID_PARAMETER
  const SimWindow* w = find_by_thread(thread_id);
  if (!w || w->gui_thread_info_fails) return false;
  info.focus = w->has_focus_control ? w->focus : 0;
  return true;
}

std::u16string SimDesktop::class_name(WindowHandle h, int capacity) {
  std::lock_guard lock(mutex_);
  if (capacity <= 0) return {};
  std::u16string name;
  if (const SimWindow* w = find_window(h)) {
    name = w->class_name;
  } else if (const SimWindow* owner = find_by_focus(h)) {
    name = owner->focus_class;
  } else {
    if (!message_windows_.contains(h)) return {};
    name = u"Static";
  }
  if (name.size() > static_cast<std::size_t>(capacity - 1)) name.resize(static_cast<std::size_t>(capacity - 1));
  return name;
}

std::int32_t SimDesktop::window_long(WindowHandle h, int index) {
  std::lock_guard lock(mutex_);
  if (index != win::GWL_STYLE) return 0;
  if (const SimWindow* w = find_window(h)) return w->style;
  if (const SimWindow* owner = find_by_focus(h)) return owner->focus_style;
  return 0;
}

bool SimDesktop::window_rect(WindowHandle h, Rect& out) {
  std::lock_guard lock(mutex_);
  const SimWindow* w = find_window(h);
  if (!w || w->window_rect_fails) return false;
  out = w->rect;
  return true;
}

MonitorHandle SimDesktop::monitor_from_window(WindowHandle h, std::uint32_t /*flags*/) {
  std::lock_guard lock(mutex_);
  const SimWindow* w = find_window(h);
  if (!w) return 0;
  return w->monitor;
}

bool SimDesktop::monitor_info(MonitorHandle m, MonitorInfo& info) {
  std::lock_guard lock(mutex_);
  if (monitor_info_fails_) return false;
  if (info.size != monitor_info_size && info.size != monitor_info_ex_size) return false;
  auto it = monitors_.find(m);
  if (it == monitors_.end()) return false;
  info.monitor = it->second.monitor;
  info.work = it->second.work;
  return true;
}

// ---- Desktop: clipboard ----

bool SimDesktop::open_clipboard(WindowHandle owner) {
  std::lock_guard lock(mutex_);
  bool ok;
  if (clipboard_locked_) {
    ok = false;
  } else if (refuse_opens_ > 0) {
    --refuse_opens_;
    ok = false;
  } else if (clipboard_is_open_) {
    ok = clipboard_owner_ == owner;  // another window holds it open
  } else {
    ok = true;
    clipboard_is_open_ = true;
    clipboard_owner_ = owner;
    clipboard_emptied_ = false;
  }
  SimCall c;
  c.kind = SimCallKind::OpenClipboard;
  c.window = owner;
  c.ok = ok;
  log(std::move(c));
  return ok;
}

bool SimDesktop::close_clipboard() {
  std::lock_guard lock(mutex_);
  const bool ok = clipboard_is_open_;
  clipboard_is_open_ = false;
  clipboard_emptied_ = false;
  finish_pending_copy();
  SimCall c;
  c.kind = SimCallKind::CloseClipboard;
  c.ok = ok;
  log(std::move(c));
  return ok;
}

bool SimDesktop::empty_clipboard() {
  std::lock_guard lock(mutex_);
  const bool ok = clipboard_is_open_;
  if (ok) {
    change_owner(clipboard_owner_);
    put_clipboard({});
    clipboard_emptied_ = true;
  }
  SimCall c;
  c.kind = SimCallKind::EmptyClipboard;
  c.ok = ok;
  log(std::move(c));
  return ok;
}

std::uint32_t SimDesktop::enum_clipboard_formats(std::uint32_t format) {
  std::lock_guard lock(mutex_);
  if (!clipboard_is_open_) return 0;
  if (format == 0) return clipboard_.empty() ? 0 : clipboard_.front().format;
  for (std::size_t i = 0; i < clipboard_.size(); ++i)
    if (clipboard_[i].format == format) return i + 1 < clipboard_.size() ? clipboard_[i + 1].format : 0;
  return 0;
}

std::optional<std::size_t> SimDesktop::clipboard_data_size(std::uint32_t format) {
  std::lock_guard lock(mutex_);
  if (!clipboard_is_open_) return std::nullopt;
  const SimClipboardItem* item = clipboard_item(format);
  if (!item || item->null_handle) return std::nullopt;
  return item->bytes.size();
}

std::optional<std::vector<std::uint8_t>> SimDesktop::clipboard_data(std::uint32_t format) {
  std::lock_guard lock(mutex_);
  const SimClipboardItem* item = clipboard_is_open_ ? clipboard_item(format) : nullptr;
  const bool ok = item && !item->null_handle && !item->lock_fails;
  SimCall c;
  c.kind = SimCallKind::GetClipboardData;
  c.format = format;
  c.size = ok ? item->bytes.size() : 0;
  c.ok = ok;
  log(std::move(c));
  if (!ok) return std::nullopt;
  return item->bytes;
}

bool SimDesktop::set_clipboard_data(std::uint32_t format, std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  // Only the window that emptied the clipboard owns it and may put data there, or the owner
  // rendering a format on request (without opening the clipboard).
  const bool ok = ((clipboard_is_open_ && clipboard_emptied_) || rendering_ == format) && !clipboard_refuses_data_;
  if (ok) {
    // GlobalAlloc of 0 bytes gives 1.
    SimClipboardItem item{format, bytes.empty() ? std::vector<std::uint8_t>(1, 0)
                                                : std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
    auto it = std::find_if(clipboard_.begin(), clipboard_.end(), [&](const auto& i) { return i.format == format; });
    const bool rendered = it != clipboard_.end() && it->delayed;
    if (it != clipboard_.end())
      *it = std::move(item);
    else
      clipboard_.push_back(std::move(item));
    if (!rendered) ++clipboard_sequence_;
  }
  SimCall c;
  c.kind = SimCallKind::SetClipboardData;
  c.format = format;
  c.size = bytes.size();
  c.ok = ok;
  log(std::move(c));
  return ok;
}

std::uint32_t SimDesktop::clipboard_sequence_number() {
  std::lock_guard lock(mutex_);
  return clipboard_sequence_;
}

std::uint32_t SimDesktop::register_clipboard_format(std::string_view name) {
  std::lock_guard lock(mutex_);
  if (name.empty()) return 0;
  const auto [it, added] = registered_formats_.emplace(std::string(name), 0);
  if (added) it->second = 0xC000 + static_cast<std::uint32_t>(registered_formats_.size() - 1);
  return it->second;
}

bool SimDesktop::set_clipboard_data_on_request(std::uint32_t format) {
  std::lock_guard lock(mutex_);
  const bool ok = clipboard_is_open_ && clipboard_emptied_ && !clipboard_refuses_data_;
  if (ok) {
    SimClipboardItem item{format, {}};
    item.delayed = true;
    auto it = std::find_if(clipboard_.begin(), clipboard_.end(), [&](const auto& i) { return i.format == format; });
    if (it != clipboard_.end())
      *it = std::move(item);
    else
      clipboard_.push_back(std::move(item));
    ++clipboard_sequence_;
  }
  SimCall c;
  c.kind = SimCallKind::SetClipboardDataOnRequest;
  c.format = format;
  c.ok = ok;
  log(std::move(c));
  return ok;
}

void SimDesktop::set_clipboard_owner_handler(WindowHandle w,
                                             std::function<void(ClipboardRequest, std::uint32_t)> handler) {
  std::lock_guard lock(mutex_);
  if (!message_windows_.contains(w)) return;
  if (handler)
    owner_handlers_[w] = std::move(handler);
  else
    owner_handlers_.erase(w);
}

// ---- Desktop: the engine's window, message boxes, time ----

WindowHandle SimDesktop::create_message_window() {
  std::lock_guard lock(mutex_);
  const WindowHandle h = next_message_window_;
  next_message_window_ += 0x10;
  SimCall c;
  c.kind = SimCallKind::CreateMessageWindow;
  c.window = h;
  message_windows_.insert(h);
  log(std::move(c));
  return h;
}

void SimDesktop::pump_messages() {
  // The lock only when something was posted: the engine pumps before every event.
  pumps_.fetch_add(1, std::memory_order_relaxed);
  if (!messages_waiting_.load(std::memory_order_acquire)) return;
  std::unique_lock lock(mutex_);
  while (!messages_.empty()) {
    const QueuedMessage m = messages_.front();
    messages_.pop_front();
    SimCall c;
    c.kind = SimCallKind::DispatchMessage;
    c.window = m.window;
    c.message = m.message;
    c.wparam = m.wparam;
    c.lparam = m.lparam;
    log(std::move(c));
    const auto h = owner_handlers_.find(m.window);
    if (h == owner_handlers_.end()) continue;
    std::optional<ClipboardRequest> request;
    if (m.message == win::WM_RENDERFORMAT) request = ClipboardRequest::RenderFormat;
    if (m.message == win::WM_RENDERALLFORMATS) request = ClipboardRequest::RenderAllFormats;
    if (m.message == win::WM_DESTROYCLIPBOARD) request = ClipboardRequest::Destroyed;
    if (!request) continue;
    // The window procedure runs without the lock: it calls the desktop.
    const std::function<void(ClipboardRequest, std::uint32_t)> handler = h->second;
    if (*request == ClipboardRequest::RenderFormat) rendering_ = static_cast<std::uint32_t>(m.wparam);
    lock.unlock();
    handler(*request, static_cast<std::uint32_t>(m.wparam));
    lock.lock();
    rendering_.reset();
    if (*request == ClipboardRequest::RenderFormat && paste_waiting_for_render_) {
      // The application's GetClipboardData returns now, with whatever the owner put there.
      const WindowHandle w = *paste_waiting_for_render_;
      paste_waiting_for_render_.reset();
      read_clipboard_into(w);
    }
  }
  messages_waiting_.store(false, std::memory_order_release);
}

EventHandle SimDesktop::create_event() {
  std::lock_guard lock(mutex_);
  const std::size_t made = events_made_.load();
  if (create_event_fails_ || made == max_events) return 0;
  const EventHandle h = first_event + 4 * made;
  event_set_[made].store(false);
  events_made_.store(made + 1);
  SimCall c;
  c.kind = SimCallKind::CreateEvent;
  c.handle = h;
  log(std::move(c));
  return h;
}

std::atomic<bool>* SimDesktop::event_flag(EventHandle e) {
  if (e < first_event || (e - first_event) % 4 != 0) return nullptr;
  const std::size_t i = (e - first_event) / 4;
  return i < events_made_.load() ? &event_set_[i] : nullptr;
}

bool SimDesktop::set_event(EventHandle e) {
  std::atomic<bool>* flag = event_flag(e);
  if (flag == nullptr) return false;
  // The flag first, then a look for sleepers: a waiter counts itself before its last look at
  // the flag, so one of the two always sees the other.
  flag->store(true);
  if (sleepers_.load() > 0) {
    std::lock_guard lock(mutex_);
    wake_.notify_all();
  }
  return true;
}

namespace {
// klavix-sim's typist sends its next key within microseconds of the engine's answer: a short
// look before sleeping saves two context switches per key. Only the simulated desktop does this.
constexpr int wait_spin_checks = 2000;

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}
}  // namespace

WaitResult SimDesktop::wait_for_event_or_message(EventHandle e, std::optional<std::chrono::milliseconds> timeout) {
  std::atomic<bool>* flag = e == 0 ? nullptr : event_flag(e);
  if (e != 0 && flag == nullptr) return WaitResult::Failed;
  if (any_busy_with_injected_.load(std::memory_order_relaxed)) {
    std::lock_guard lock(mutex_);
    end_busy_with_injected();
  }
  const auto set = [&] { return flag != nullptr && flag->load(std::memory_order_acquire); };
  if (!timeout) {
    for (int i = 0; i < wait_spin_checks && !set() && !messages_waiting_.load(std::memory_order_acquire); ++i)
      cpu_relax();
    // The usual wake: the event is set and no message waits. Taken without the lock, which the
    // typist's keys need meanwhile.
    if (!messages_waiting_.load(std::memory_order_acquire) && flag != nullptr && flag->exchange(false)) {
      wakeups_.fetch_add(1, std::memory_order_relaxed);
      return WaitResult::Event;
    }
  }
  std::unique_lock lock(mutex_);
  WaitResult result;
  for (;;) {
    if (!messages_.empty()) {
      result = WaitResult::Message;
      break;
    }
    if (flag != nullptr && flag->exchange(false)) {
      result = WaitResult::Event;
      break;
    }
    if (timeout) {
      // Virtual time: a wait that nothing ends is a sleep, cut short by what an application
      // does meanwhile (a slow copy or paste) when that leaves a message.
      const auto end = elapsed_ + *timeout;
      result = WaitResult::Timeout;
      while (elapsed_ < end) {
        elapsed_ = next_due(end);
        finish_pending_copy();
        finish_scheduled_copies();
        finish_pending_paste();
        if (!messages_.empty()) {
          result = WaitResult::Message;
          break;
        }
      }
      SimCall c;
      c.kind = SimCallKind::Wait;
      c.value = static_cast<std::uint32_t>(timeout->count());
      log(std::move(c));
      break;
    }
    sleepers_.fetch_add(1);
    if (!set()) wake_.wait(lock);
    sleepers_.fetch_sub(1);
  }
  wakeups_.fetch_add(1, std::memory_order_relaxed);
  return result;
}

int SimDesktop::message_box(WindowHandle owner, std::string_view text, std::string_view caption, std::uint32_t style) {
  std::lock_guard lock(mutex_);
  int answer = default_answer_;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  SimCall c;
  c.kind = SimCallKind::MessageBox;
  c.window = owner;
  c.text = std::string(text);
  c.caption = std::string(caption);
  c.style = style;
  c.answer = answer;
  log(std::move(c));
  return answer;
}

void SimDesktop::sleep_ms(std::uint32_t ms) {
  deliver_late_records();
  std::lock_guard lock(mutex_);
  end_busy_with_injected();
  elapsed_ += std::chrono::milliseconds(ms);
  finish_pending_copy();
  finish_scheduled_copies();
  finish_pending_paste();
  SimCall c;
  c.kind = SimCallKind::Sleep;
  c.value = ms;
  log(std::move(c));
}

std::chrono::steady_clock::time_point SimDesktop::now() {
  std::lock_guard lock(mutex_);
  return start_ + elapsed_;
}

// ---- windows ----

WindowHandle SimDesktop::create_window(SimWindow init) {
  std::lock_guard lock(mutex_);
  init.handle = next_handle_;
  init.focus = next_handle_ + 8;
  next_handle_ += 0x10;
  init.thread_id = next_thread_;
  next_thread_ += 4;
  init.process_id = next_process_;
  next_process_ += 4;
  if (init.monitor == 0) init.monitor = monitors_.begin()->first;
  init.field.caret = std::min(init.field.caret, init.field.text.size());
  init.field.anchor = std::min(init.field.anchor, init.field.text.size());
  const WindowHandle h = init.handle;
  by_thread_[init.thread_id] = h;
  by_process_[init.process_id] = h;
  by_focus_[init.focus] = h;
  windows_[h] = std::move(init);
  foreground_ = h;
  return h;
}

void SimDesktop::destroy_window(WindowHandle w) {
  std::lock_guard lock(mutex_);
  auto it = windows_.find(w);
  if (it == windows_.end()) return;
  by_thread_.erase(it->second.thread_id);
  by_process_.erase(it->second.process_id);
  by_focus_.erase(it->second.focus);
  windows_.erase(it);
  queues_.erase(w);
  if (foreground_ == w) foreground_ = 0;
}

void SimDesktop::set_foreground(WindowHandle w) {
  std::lock_guard lock(mutex_);
  foreground_ = w;
}

std::optional<SimWindow> SimDesktop::window(WindowHandle w) const {
  std::lock_guard lock(mutex_);
  const SimWindow* win = find_window(w);
  if (!win) return std::nullopt;
  return *win;
}

void SimDesktop::update_window(WindowHandle w, const std::function<void(SimWindow&)>& change) {
  std::lock_guard lock(mutex_);
  SimWindow* win = find_window(w);
  if (!win) return;
  const WindowHandle handle = win->handle, focus = win->focus;
  const std::uint32_t thread = win->thread_id, process = win->process_id;
  change(*win);
  // The identities belong to the desktop.
  win->handle = handle;
  win->focus = focus;
  win->thread_id = thread;
  win->process_id = process;
  win->field.caret = std::min(win->field.caret, win->field.text.size());
  win->field.anchor = std::min(win->field.anchor, win->field.text.size());
}

std::u16string SimDesktop::text(WindowHandle w) const {
  std::lock_guard lock(mutex_);
  const SimWindow* win = find_window(w);
  return win ? win->field.text : std::u16string{};
}

std::string SimDesktop::text_utf8(WindowHandle w) const { return text::from_utf16(text(w)); }

void SimDesktop::set_text(WindowHandle w, std::u16string_view t) {
  std::lock_guard lock(mutex_);
  if (SimWindow* win = find_window(w)) {
    win->field.text = std::u16string(t);
    win->field.caret = win->field.anchor = t.size();
  }
}

void SimDesktop::select(WindowHandle w, std::size_t anchor, std::size_t caret) {
  std::lock_guard lock(mutex_);
  if (SimWindow* win = find_window(w)) {
    win->field.anchor = std::min(anchor, win->field.text.size());
    win->field.caret = std::min(caret, win->field.text.size());
  }
}

void SimDesktop::select_all(WindowHandle w) {
  std::lock_guard lock(mutex_);
  if (SimWindow* win = find_window(w)) {
    win->field.anchor = 0;
    win->field.caret = win->field.text.size();
  }
}

LayoutHandle SimDesktop::window_layout(WindowHandle w) const {
  std::lock_guard lock(mutex_);
  const SimWindow* win = find_window(w);
  return win ? win->layout : 0;
}

void SimDesktop::set_window_layout(WindowHandle w, LayoutHandle layout) {
  std::lock_guard lock(mutex_);
  if (SimWindow* win = find_window(w)) win->layout = layout;
}

// ---- the windows' threads ----

void SimDesktop::set_window_busy(WindowHandle w, bool busy) {
  std::lock_guard lock(mutex_);
  if (!find_window(w)) return;
  WindowQueue& q = queues_[w];
  q.busy_with_injected = false;
  q.busy = busy;
  if (!busy) take_waiting(w);
}

bool SimDesktop::window_busy(WindowHandle w) const {
  std::lock_guard lock(mutex_);
  auto q = queues_.find(w);
  return q != queues_.end() && q->second.busy;
}

std::size_t SimDesktop::waiting_input(WindowHandle w) const {
  std::lock_guard lock(mutex_);
  auto q = queues_.find(w);
  return q == queues_.end() ? 0 : q->second.items.size();
}

void SimDesktop::set_message_order(SimMessageOrder order) {
  std::lock_guard lock(mutex_);
  order_ = order;
}

void SimDesktop::set_busy_with_injected_input(bool on) {
  std::lock_guard lock(mutex_);
  busy_with_injected_ = on;
  if (!on) end_busy_with_injected();
}

void SimDesktop::take_all_waiting() {
  std::lock_guard lock(mutex_);
  any_busy_with_injected_.store(false, std::memory_order_relaxed);
  for (auto& [handle, q] : queues_) {
    q.busy = q.busy_with_injected = false;
    take_waiting(handle);
  }
}

// ---- input ----

void SimDesktop::physical_key(std::uint16_t vk, bool down) {
  std::lock_guard lock(mutex_);
  apply_key(vk, down);
}

void SimDesktop::insert_text(std::u16string_view t) {
  std::lock_guard lock(mutex_);
  WaitingInput in;
  in.kind = WaitingInput::Kind::Text;
  in.text = std::u16string(t);
  deliver(std::move(in));
}

void SimDesktop::set_key_down(int vk, bool down) {
  std::lock_guard lock(mutex_);
  const std::uint16_t v = physical_vk(static_cast<std::uint16_t>(vk));
  if (v < 256) keys_[v] = down;
}

bool SimDesktop::key_down(int vk) const {
  std::lock_guard lock(mutex_);
  return key_is_down(vk);
}

bool SimDesktop::caps_lock_on() const {
  std::lock_guard lock(mutex_);
  return caps_toggle_;
}

void SimDesktop::set_caps_lock(bool on) {
  std::lock_guard lock(mutex_);
  caps_toggle_ = on;
}

void SimDesktop::set_injected_input_hook(InjectedInputHook hook) {
  std::lock_guard lock(mutex_);
  injected_hook_ = std::move(hook);
}

void SimDesktop::set_send_input_blocked(bool blocked) {
  std::lock_guard lock(mutex_);
  send_input_blocked_ = blocked;
}

// ---- layouts and monitors ----

void SimDesktop::set_installed_layouts(std::vector<LayoutHandle> layouts) {
  std::lock_guard lock(mutex_);
  layouts_ = std::move(layouts);
}

std::vector<LayoutHandle> SimDesktop::installed_layouts() const {
  std::lock_guard lock(mutex_);
  return layouts_;
}

void SimDesktop::install_layout(LayoutHandle layout) {
  std::lock_guard lock(mutex_);
  if (std::find(layouts_.begin(), layouts_.end(), layout) == layouts_.end()) layouts_.push_back(layout);
}

MonitorHandle SimDesktop::primary_monitor() const {
  std::lock_guard lock(mutex_);
  return monitors_.begin()->first;
}

MonitorHandle SimDesktop::add_monitor(Rect monitor, Rect work) {
  std::lock_guard lock(mutex_);
  const MonitorHandle m = next_monitor_++;
  monitors_[m] = MonitorInfo{monitor_info_size, monitor, work};
  return m;
}

void SimDesktop::set_monitor_info_fails(bool fails) {
  std::lock_guard lock(mutex_);
  monitor_info_fails_ = fails;
}

// ---- clipboard ----

void SimDesktop::set_clipboard(std::vector<SimClipboardItem> items) {
  std::lock_guard lock(mutex_);
  change_owner(0);
  put_clipboard(std::move(items));
}

void SimDesktop::schedule_clipboard(std::chrono::milliseconds at, std::vector<SimClipboardItem> items) {
  std::lock_guard lock(mutex_);
  scheduled_copies_.emplace_back(at, std::move(items));
}

void SimDesktop::set_clipboard_text(std::u16string_view t) {
  std::lock_guard lock(mutex_);
  change_owner(0);
  put_clipboard({SimClipboardItem{win::CF_UNICODETEXT, utf16_block(t)}});
}

std::vector<SimClipboardItem> SimDesktop::clipboard() const {
  std::lock_guard lock(mutex_);
  return clipboard_;
}

std::optional<std::u16string> SimDesktop::clipboard_text() const {
  std::lock_guard lock(mutex_);
  const SimClipboardItem* item = clipboard_item(win::CF_UNICODETEXT);
  if (!item) return std::nullopt;
  return utf16_of_block(item->bytes);
}

bool SimDesktop::clipboard_open() const {
  std::lock_guard lock(mutex_);
  return clipboard_is_open_;
}

void SimDesktop::refuse_clipboard_opens(int count) {
  std::lock_guard lock(mutex_);
  refuse_opens_ = count;
}

void SimDesktop::set_clipboard_locked(bool locked) {
  std::lock_guard lock(mutex_);
  clipboard_locked_ = locked;
}

void SimDesktop::set_clipboard_refuses_data(bool refuses) {
  std::lock_guard lock(mutex_);
  clipboard_refuses_data_ = refuses;
}

// ---- processes and message boxes ----

std::size_t SimDesktop::handles_open() const {
  std::lock_guard lock(mutex_);
  return handles_.size();
}

std::size_t SimDesktop::handles_opened() const {
  std::lock_guard lock(mutex_);
  return handles_opened_;
}

std::size_t SimDesktop::bad_closes() const {
  std::lock_guard lock(mutex_);
  return bad_closes_;
}

void SimDesktop::queue_answers(std::vector<int> answers) {
  std::lock_guard lock(mutex_);
  answers_.insert(answers_.end(), answers.begin(), answers.end());
}

void SimDesktop::set_default_answer(int answer) {
  std::lock_guard lock(mutex_);
  default_answer_ = answer;
}

std::vector<SimMessageBox> SimDesktop::message_boxes() const {
  std::lock_guard lock(mutex_);
  std::vector<SimMessageBox> out;
  for (const SimCall& c : calls_)
    if (c.kind == SimCallKind::MessageBox) out.push_back({c.window, c.text, c.caption, c.style, c.answer});
  return out;
}

// ---- log and clock ----

std::vector<SimCall> SimDesktop::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<SimCall> SimDesktop::calls(SimCallKind kind) const {
  std::lock_guard lock(mutex_);
  std::vector<SimCall> out;
  for (const SimCall& c : calls_)
    if (c.kind == kind) out.push_back(c);
  return out;
}

void SimDesktop::clear_calls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

std::vector<KeyInput> SimDesktop::sent_records() const {
  std::lock_guard lock(mutex_);
  std::vector<KeyInput> out;
  for (const SimCall& c : calls_)
    if (c.kind == SimCallKind::SendInput) out.insert(out.end(), c.records.begin(), c.records.end());
  return out;
}

std::vector<SimLayoutRequest> SimDesktop::layout_requests() const {
  std::lock_guard lock(mutex_);
  std::vector<SimLayoutRequest> out;
  for (const SimCall& c : calls_)
    if (c.kind == SimCallKind::PostMessage && c.message == win::WM_INPUTLANGCHANGEREQUEST)
      out.push_back({c.window, static_cast<LayoutHandle>(c.lparam)});
  return out;
}

void SimDesktop::set_observer(std::function<void(const SimCall&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void SimDesktop::set_keep_calls(bool keep) {
  std::lock_guard lock(mutex_);
  keep_calls_ = keep;
}

std::chrono::milliseconds SimDesktop::elapsed() const {
  std::lock_guard lock(mutex_);
  return elapsed_;
}

void SimDesktop::advance(std::chrono::milliseconds by) {
  std::lock_guard lock(mutex_);
  elapsed_ += by;
  finish_pending_copy();
  finish_scheduled_copies();
  finish_pending_paste();
}

std::uint64_t SimDesktop::pumps() const { return pumps_.load(std::memory_order_relaxed); }
std::uint64_t SimDesktop::wakeups() const { return wakeups_.load(std::memory_order_relaxed); }

void SimDesktop::set_create_event_fails(bool fails) {
  std::lock_guard lock(mutex_);
  create_event_fails_ = fails;
}

}  // namespace klavix
