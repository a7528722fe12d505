// The engine thread: its loop, word tracking, the automatic correction after a space, the
// word hotkey with its undo, the Caps Lock repair and the counting of undos.
#include <algorithm>
#include <array>

#include "app/texts.h"
#include "base/fatal.h"
#include "engine/engine.h"
#include "text/text.h"

namespace klavix {

static_assert(undo_threshold == exception_prompt_threshold, "the prompt shows the threshold it is shown at");

namespace {

bool ignored_key(std::uint16_t vk) {
  switch (vk) {
    case 0x10: case 0x11: case 0x12:  // Shift, Ctrl, Alt
    case 0x14:                        // Caps Lock
    case 0x5B: case 0x5C:             // Win keys
    case 0x90: case 0x91:             // Num Lock, Scroll Lock
    case 0xA0: case 0xA1: case 0xA2: case 0xA3: case 0xA4: case 0xA5:
      return true;
    default:
      return false;
  }
}

// The Caps Lock fields of a stretch of the record, to put back when a correction that changed
// them is not sent after all.
class CapsFields {
 public:
  CapsFields() = default;
  CapsFields(std::span<const Keystroke> keys, std::size_t start, std::size_t end) : start_(start) {
    require(start <= end && end <= keys.size(), "caps range outside the keystroke buffer");
    for (std::size_t i = start; i < end; ++i) caps_.push_back(keys[i].caps);
  }
  void restore(std::span<Keystroke> keys) const {
    require(start_ + caps_.size() <= keys.size(), "caps range outside the keystroke buffer");
    for (std::size_t i = 0; i < caps_.size(); ++i) keys[start_ + i].caps = caps_[i];
  }

 private:
  std::size_t start_ = 0;
  std::vector<std::uint8_t> caps_;
};

bool same_layout(std::span<const Keystroke> keys, std::size_t start, std::size_t end, Layout l) {
  for (std::size_t i = start; i < end; ++i)
    if (keys[i].layout != l) return false;
  return true;
}

// The word keys[start, end), in both layouts, starts where the last correction ended and holds
// the layout that correction asked the window for: the keys that show the other one were typed
// before the window had switched. The user meant the layout asked for.
std::optional<Layout> layout_meant(const Engine& e, std::size_t start, std::size_t end) {
  if (e.requested_window != e.last_window || e.requested_layout == Layout::Other) return std::nullopt;
  if (start > e.requested_end || e.requested_end > e.keys.size()) return std::nullopt;
  bool asked = false;
  for (std::size_t i = start; i < end; ++i) {
    if (e.keys[i].layout == Layout::Other) return std::nullopt;
    asked = asked || e.keys[i].layout == e.requested_layout;
  }
  if (!asked) return std::nullopt;
  return e.requested_layout;
}

// The records between the end of the last correction and `start` hold a key in the other
// layout than `word`, which is the layout that correction asked for, and none in that layout:
// once one came in it, the window had switched, and keys in the old layout after it are the
// user's own switch back.
bool stale_before(const Engine& e, std::size_t start, Layout word) {
  if (e.requested_window != e.last_window || e.requested_layout != word) return false;
  if (e.requested_end >= start || start > e.keys.size()) return false;
  bool stale = false;
  for (std::size_t i = e.requested_end; i < start; ++i) {
    const Keystroke& k = e.keys[i];
    if (k.layout == Layout::Other) return false;
    if (k.vk == win::VK_SPACE) continue;
    if (k.layout == word) return false;
    stale = true;
  }
  return stale;
}

// The word keys[start, end) typed in `l`: does it belong to the other layout?
bool wrong_layout(Engine& e, std::size_t start, std::size_t end, Layout l, bool force) {
  const std::string typed = render_keystrokes(e.keys, start, end, l);
  const std::string converted = render_keystrokes(e.keys, start, end, other_layout(l));
  return decide_wrong_layout(*e.dictionaries, l, typed, converted, e.exceptions.entries, force);
}

// The word before keys[start]: none when only spaces or nothing stand before it.
std::optional<WordRange> word_before(std::span<const Keystroke> keys, std::size_t start) {
  return last_word(keys.first(start));
}

// A word of the record read for the context: in the one layout it shows.
struct ContextWord {
  std::string shown, other;
  Layout layout = Layout::En;
};

// The words before keys[start] as the window shows them, nearest first, as far as each shows
// one known layout.
void words_before(const Engine& e, std::size_t start, std::size_t most, std::vector<ContextWord>& out) {
  out.clear();
  std::optional<WordRange> w = word_before(e.keys, start);
  while (w && out.size() < most) {
    const Layout shows = e.keys[w->end - 1].layout;
    if (!known_layout(shows) || !same_layout(e.keys, w->start, w->end, shows)) break;
    out.push_back({render_keystrokes(e.keys, w->start, w->end, shows),
                   render_keystrokes(e.keys, w->start, w->end, other_layout(shows)), shows});
    w = word_before(e.keys, w->start);
  }
}

// The context of the word keys[start, end) typed in `l`.
struct Context {
  std::vector<ContextWord> words;
  std::array<WordBefore, context_words> before{};
  WordContext view;
};

void read_context(const Engine& e, std::size_t start, Layout l, Context& c) {
  words_before(e, start, context_words, c.words);
  for (std::size_t i = 0; i < c.words.size(); ++i) c.before[i] = {c.words[i].shown, c.words[i].other, c.words[i].layout};
  c.view.before = std::span<const WordBefore>(c.before.data(), c.words.size());
  // The user's own switch: the word before shows another layout, and the program did not type
  // it (its correction's switch would explain that).
  const std::optional<WordRange> prev = word_before(e.keys, start);
  c.view.switched_by_hand = prev && prev->start >= e.retyped_end && known_layout(e.keys[prev->end - 1].layout) &&
                            e.keys[prev->end - 1].layout != l;
}

// The decision in context for the word keys[start, end) typed in `l`.
bool wrong_in_context(Engine& e, std::size_t start, std::size_t end, Layout l) {
  Context c;
  read_context(e, start, l, c);
  const std::string typed = render_keystrokes(e.keys, start, end, l);
  const std::string converted = render_keystrokes(e.keys, start, end, other_layout(l));
  return decide_in_context(*e.dictionaries, l, typed, converted, e.exceptions.entries, c.view);
}

// The words right before a word that is converted, typed in the same layout after the last
// stretch the program typed again, that the decision in context converts along with it: the
// nearest first, up to carry_limit, stopping at the first that stays.
void carry_along(Engine& e, Correction& c, Layout l) {
  std::size_t start = c.retype_start;
  Context context;
  for (std::size_t n = 0; n < carry_limit; ++n) {
    const std::optional<WordRange> w = word_before(e.keys, start);
    if (!w || w->start < e.retyped_end || !same_layout(e.keys, w->start, start, l)) return;
    read_context(e, w->start, l, context);
    const std::string typed = render_keystrokes(e.keys, w->start, w->end, l);
    const std::string converted = render_keystrokes(e.keys, w->start, w->end, other_layout(l));
    if (!decide_carried(*e.dictionaries, l, typed, converted, e.exceptions.entries, context.view)) return;
    c.words.push_back(word_key(e.keys, w->start, w->end, l));
    c.retype_start = w->start;
    start = w->start;
  }
}

}  // namespace

// ---- the thread ----

Engine make_engine(Desktop& desktop, Runtime& rt, std::shared_ptr<const Dictionaries> dictionaries) {
  require(dictionaries != nullptr, "engine started without dictionaries");
  // Braced initialisation runs in order: the two lists, then the message-only window.
  Engine e{desktop,
           rt,
           {},
           std::nullopt,
           load_list(exceptions_path()),
           load_list(apps_path()),
           std::move(dictionaries),
           {},
           0,
           desktop.create_message_window()};
  // Room for the whole record up front, so recording a key never allocates.
  e.keys.reserve(max_keys + 1);
  e.decision = rt.decision.load(std::memory_order_relaxed);
  if (e.clipboard_window != 0) {
    e.desktop.set_clipboard_owner_handler(
        e.clipboard_window, [&d = e.desktop, offer = e.clipboard_offer](ClipboardRequest r, std::uint32_t format) {
          answer_clipboard_request(d, *offer, r, format);
        });
  }
  return e;
}

void run_engine(Desktop& desktop, Runtime& rt, EventReceiver receiver) {
  Engine e = make_engine(desktop, rt, std::make_shared<const Dictionaries>(load_dictionaries()));
  // The channel sets this event when an event arrives while the queue was empty, so the thread
  // sleeps until there is an event or a message for its window, and not a moment longer.
  const EventHandle wake = desktop.create_event();
  if (wake != 0) receiver.set_wake([&desktop, wake] { desktop.set_event(wake); });
  e.channel = &receiver;
  for (;;) {
    desktop.pump_messages();
    if (!e.taken_in.empty()) {
      const EngineEvent ev = e.taken_in.front();
      e.taken_in.pop_front();
      handle_event(e, ev);
      continue;
    }
    const Received r = receiver.try_receive();
    if (r.status == ReceiveStatus::Disconnected) break;
    if (r.status == ReceiveStatus::Event) {
      handle_event(e, r.event);
      continue;
    }
    // Without the event (it could not be made, or the wait failed) fall back to polling.
    const WaitResult w =
        desktop.wait_for_event_or_message(wake, wake != 0 ? std::nullopt : std::optional(fallback_poll));
    if (w == WaitResult::Failed) desktop.sleep_ms(static_cast<std::uint32_t>(fallback_poll.count()));
  }
  receiver.set_wake(nullptr);
  e.channel = nullptr;
}

bool handle_next_event(Engine& e) {
  if (!e.taken_in.empty()) {
    const EngineEvent ev = e.taken_in.front();
    e.taken_in.pop_front();
    handle_event(e, ev);
    return true;
  }
  if (e.channel == nullptr) return false;
  const Received r = e.channel->try_receive();
  if (r.status != ReceiveStatus::Event) return false;
  handle_event(e, r.event);
  return true;
}

namespace {

// A key or a hotkey in another window than the last one: the word held belongs to that one.
// (A window can come to the front with no click and no key, as one that takes the focus
// itself; the word hotkey there must not erase its text for the other window's word.)
void enter_window(Engine& e, WindowHandle w) {
  if (w == e.last_window) return;
  clear_word(e);
  e.last_window = w;
}

}  // namespace

void handle_event(Engine& e, const EngineEvent& ev) {
  switch (ev.kind) {
    case EventKind::Key: handle_key(e, ev); break;
    case EventKind::Reset: clear_word(e); break;
    case EventKind::WordHotkey:
      enter_window(e, ev.window);
      word_hotkey(e);
      break;
    case EventKind::SelectionHotkey:
      enter_window(e, ev.window);
      convert_selection(e);
      break;
  }
  retype_typed_before_request(e);
  // The user types on once the engine is done: what it sent (a copy chord's Ctrl key-up, say)
  // must have passed the hook and reached the window first, or a key of the user's would come
  // in under the program's Ctrl (a busy Wine hands records over after SendInput returned).
  wait_for_hook(e.desktop, e.rt);
}

// Windows hands a window its posted messages before its waiting input, so a key the user typed
// after a correction came out in the new layout when it still waited in the window's queue as
// the layout request came, and in the old one when the window took it at once. Either way,
// erasing it and typing it again in the layout asked for shows what the user meant; once the
// request is posted, every later key comes out in the new layout.
void retype_typed_before_request(Engine& e) {
  if (!e.typed_before_request) return;
  e.typed_before_request = false;
  if (e.requested_window != e.last_window || e.requested_layout == Layout::Other) return;
  retype_counting_waiting(e, e.keys.size(), e.keys.size(), e.requested_layout, false);
  // Keys that came in during this one are typed again only when their word shows the switch.
  e.typed_before_request = false;
}

// ---- word tracking ----

void forget_correction(Engine& e) { e.last_correction.reset(); }

void clear_word(Engine& e) {
  e.keys.clear();
  forget_correction(e);
  e.requested_window = 0;
  e.retyped_end = 0;
}

std::size_t word_start(std::span<const Keystroke> keys, std::size_t end) {
  require(end <= keys.size(), "word end outside the keystroke buffer");
  for (std::size_t i = end; i > 0; --i)
    if (keys[i - 1].vk == win::VK_SPACE) return i;
  return 0;
}

std::optional<WordRange> last_word(std::span<const Keystroke> keys) {
  std::size_t end = keys.size();
  while (end > 0 && keys[end - 1].vk == win::VK_SPACE) --end;
  if (end == 0) return std::nullopt;
  return WordRange{word_start(keys, end), end};
}

void handle_key(Engine& e, const EngineEvent& ev) {
  enter_window(e, ev.window);
  if (ignored_key(ev.vk)) return;
  if (ev.modifier) {
    clear_word(e);
    return;
  }
  if (ev.vk == win::VK_BACK) {
    if (!e.keys.empty()) e.keys.pop_back();
    e.retyped_end = std::min(e.retyped_end, e.keys.size());
    forget_correction(e);
    return;
  }
  if (key_row(ev.vk) == nullptr) {
    clear_word(e);
    return;
  }
  if (e.keys.size() >= max_keys) {
    e.keys.erase(e.keys.begin(), e.keys.begin() + keys_cut);
    e.retyped_end = e.retyped_end > keys_cut ? e.retyped_end - keys_cut : 0;
    forget_correction(e);
    e.requested_window = 0;
  }
  e.keys.push_back(Keystroke{ev.vk, ev.layout, static_cast<std::uint8_t>(ev.shift ? 1 : 0),
                             static_cast<std::uint8_t>(ev.caps ? 1 : 0)});
  if (ev.vk == win::VK_SPACE) {
    auto_correct(e, e.keys.size() - 1);
    return;
  }
  mend_before_switch(e);
}

// A key typed after a correction reaches the window before the layout request the correction
// posted when the window takes it at once (Windows hands the window a posted message before
// waiting input, so only then). It comes out in the old layout, and the rest of its word in the
// new one. The first key recorded in the new layout shows that the window has switched: the keys
// before it are typed again then, while the word goes on and only plain keys wait, since a key
// such as Enter could not be erased over safely (a single-line field may have acted on it). With
// the window busy, those keys came out in the new layout already: typed again, they look the same.
// It finishes the program's own correction in the same window, so it needs no setting of its own.
void mend_before_switch(Engine& e) {
  if (e.requested_shown || e.requested_window != e.last_window || e.requested_layout == Layout::Other) return;
  const std::size_t last = e.keys.size() - 1;
  if (e.requested_end > last || e.keys[last].layout != e.requested_layout) return;
  e.requested_shown = true;
  bool stale = false;
  for (std::size_t i = e.requested_end; i < last; ++i) {
    const Keystroke& k = e.keys[i];
    if (k.layout == Layout::Other) return;
    stale = stale || (k.layout != e.requested_layout && k.vk != win::VK_SPACE);
  }
  if (!stale) return;
  // Left out (a key other than a plain one waits), it is tried again at the word's space.
  if (!retype_counting_waiting(e, e.requested_end, e.keys.size(), e.requested_layout, false)) e.requested_shown = false;
}

// ---- automatic correction ----

std::string word_key(std::span<const Keystroke> keys, std::size_t start, std::size_t end, Layout layout) {
  const std::string rendered = render_keystrokes(keys, start, end, layout);
  const std::optional<std::string> core = word_core(rendered, layout);
  return text::to_lower(core ? *core : rendered);
}

void auto_correct(Engine& e, std::size_t space_at) {
  require(space_at < e.keys.size(), "space outside the keystroke buffer");
  const bool autoswitch = e.rt.autoswitch_on.load(std::memory_order_relaxed);
  const bool capsfix = e.rt.capsfix_on.load(std::memory_order_relaxed);
  if (!autoswitch && !capsfix) return;
  if (space_at == 0) return;
  const std::size_t start = word_start(e.keys, space_at);
  if (start == space_at) return;
  Layout typed = e.keys[space_at - 1].layout;
  // A word that holds a key of a third layout is the user's own: the key table cannot say what
  // it shows.
  for (std::size_t i = start; i < space_at; ++i)
    if (!known_layout(e.keys[i].layout)) return;
  // Nor is a word the user left by switching to a third layout before the space: a correction
  // would switch the window away from the layout just chosen, and the keys typed next in it
  // cannot be counted, so a correction they cut short could not be mended.
  if (!known_layout(e.keys[space_at].layout)) return;
  // Words typed after the last correction but before its window switched to the layout it
  // asked for came out in the layout the window had. Once a word comes in the new layout, they
  // are typed again in it too, as they would have come out a moment later.
  if (stale_before(e, start, typed)) {
    if (!retype_counting_waiting(e, e.requested_end, space_at + 1, typed, false)) return;
  }
  // A word that changed layout part way is left alone, unless the change is the engine's own:
  // the window had not switched yet to the layout it asked for, or switched only then.
  bool split = false;
  if (!same_layout(e.keys, start, space_at, typed)) {
    const std::optional<Layout> meant = layout_meant(e, start, space_at);
    if (!meant) return;
    typed = *meant;
    split = true;
  }
  const Layout other = other_layout(typed);

  bool caps_fixed = false;
  CapsFields caps_before;
  std::vector<Keystroke> shown;  // the record as on the screen, before the repair changes it
  if (capsfix && caps_pattern(e.keys, start, space_at, typed)) {
    if (is_excluded_context(e.desktop, e.apps)) return;
    caps_before = CapsFields(e.keys, start, space_at);
    shown = e.keys;
    clear_caps(e.keys, start, space_at);
    caps_fixed = true;
  }

  refresh(e.exceptions);
  const bool in_context = e.decision == Decision::Context;
  if (autoswitch && (in_context ? wrong_in_context(e, start, space_at, typed) : wrong_layout(e, start, space_at, typed, false))) {
    if (!caps_fixed && is_excluded_context(e.desktop, e.apps)) return;
    Correction c;
    c.words.push_back(word_key(e.keys, start, space_at, typed));
    c.retype_start = start;
    if (in_context) {
      carry_along(e, c, typed);
    } else if (start >= 1) {
      const std::size_t prev_end = start - 1;
      const std::size_t prev_start = word_start(e.keys, prev_end);
      const std::size_t prev_len = prev_end - prev_start;
      if (prev_len > 0 && prev_len < 3 && same_layout(e.keys, prev_start, prev_end, typed) &&
          wrong_layout(e, prev_start, prev_end, typed, true)) {
        c.words.push_back(word_key(e.keys, prev_start, prev_end, typed));
        c.retype_start = prev_start;
      }
    }
    if (!retype_counting_waiting(e, c.retype_start, space_at + 1, other, caps_fixed, shown)) {
      caps_before.restore(e.keys);
      return;
    }
    c.caps_fixed = caps_fixed;
    c.caps_start = start;
    c.caps_end = space_at;
    c.length = space_at + 1;
    c.layout = typed;
    e.last_correction = std::move(c);
    return;
  }

  if (!caps_fixed && !split) return;
  if (!caps_fixed && is_excluded_context(e.desktop, e.apps)) return;
  if (!retype_counting_waiting(e, start, space_at + 1, typed, caps_fixed, shown)) {
    caps_before.restore(e.keys);
    return;
  }
  // Only a Caps Lock repair is the user's to undo; a split word now shows what was meant.
  if (!caps_fixed) return;
  e.last_correction = Correction{true, start, space_at, {}, start, space_at + 1, typed};
}

// ---- the word hotkey ----

void word_hotkey(Engine& e) {
  release_modifiers(e.desktop, e.rt);
  const std::optional<WordRange> word = last_word(e.keys);
  // A window that shows a third layout gets only the switch, as for a word typed in one: the
  // keys typed next in it could not be counted by a conversion.
  if (!word || !known_layout(e.keys[word->end - 1].layout) || !known_layout(window_layout(e.desktop))) {
    // Keys typed after the press came out in the layout the window had: they go with the
    // switch. Anything else waiting, and the switch alone is made.
    const Layout target = toggled_layout(e.desktop);
    if (!retype_counting_waiting(e, e.keys.size(), e.keys.size(), target, false)) {
      request_layout(e.desktop, target);
      e.requested_window = e.last_window;
      e.requested_layout = target;
      e.requested_end = e.keys.size();
      e.requested_shown = false;
    }
    return;
  }
  const std::size_t start = word->start, end = word->end;
  const Layout shown = e.keys[end - 1].layout;
  const std::size_t count = e.keys.size();

  // A press that sends nothing (keys other than plain ones are waiting) leaves everything as
  // it was, so the waiting events find the state they were typed into.
  std::optional<Correction> taken = std::move(e.last_correction);
  e.last_correction.reset();
  if (taken && taken->length <= count &&
      std::all_of(e.keys.begin() + static_cast<std::ptrdiff_t>(taken->length), e.keys.end(),
                  [](const Keystroke& k) { return k.vk == win::VK_SPACE; })) {
    const CapsFields caps_before(e.keys, taken->caps_start, taken->caps_end);
    std::vector<Keystroke> shown;
    if (taken->caps_fixed) {
      shown = e.keys;
      restore_caps(e.keys, taken->caps_start, taken->caps_end);
    }
    if (!retype_counting_waiting(e, taken->retype_start, count, taken->layout, false, shown)) {
      caps_before.restore(e.keys);
      e.last_correction = std::move(taken);
      return;
    }
    count_undo(e, taken->words);
    return;
  }

  if (caps_pattern(e.keys, start, end, shown)) {
    const CapsFields caps_before(e.keys, start, end);
    const std::vector<Keystroke> as_shown = e.keys;
    clear_caps(e.keys, start, end);
    refresh(e.exceptions);
    const Layout target = wrong_layout(e, start, end, shown, true) ? other_layout(shown) : shown;
    if (!retype_counting_waiting(e, start, count, target, true, as_shown)) {
      caps_before.restore(e.keys);
      e.last_correction = std::move(taken);
      return;
    }
    e.last_correction = Correction{true, start, end, {}, start, count, shown};
    return;
  }
  if (!retype_counting_waiting(e, start, count, other_layout(shown), false)) e.last_correction = std::move(taken);
}

// ---- Caps Lock fields ----

void clear_caps(std::span<Keystroke> keys, std::size_t start, std::size_t end) {
  require(start <= end && end <= keys.size(), "caps range outside the keystroke buffer");
  for (std::size_t i = start; i < end; ++i) keys[i].caps = 0;
}

void restore_caps(std::span<Keystroke> keys, std::size_t start, std::size_t end) {
  require(start <= end && end <= keys.size(), "caps range outside the keystroke buffer");
  for (std::size_t i = start; i < end; ++i) keys[i].caps = 1;
}

// ---- undo counting ----

void count_undo(Engine& e, const std::vector<std::string>& words) {
  if (e.undo_counts.size() > undo_counts_limit) e.undo_counts.clear();
  for (const std::string& word : words) {
    std::uint32_t& count = e.undo_counts[word];
    ++count;
    if (count < undo_threshold) continue;
    e.undo_counts.erase(word);
    clear_word(e);
    const std::string prompt = exception_prompt_text(word);
    const int answer = e.desktop.message_box(0, prompt, app_caption, prompt_flags);
    if (answer != win::IDYES) continue;
    append_to_list(e.exceptions, word);
  }
}

}  // namespace klavix
