#pragma once
// A typist at a simulated desktop that hands the engine its events by hand, so that keys can
// wait behind a correction or slip in while it is sent, and the check of what the windows show
// afterwards: every key the user typed, in order, none lost, doubled or moved, each word in one
// of its two layouts. The typed-ahead stress and the engine's fuzzer play their scripts here.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "engine_support.h"

namespace klavix::testing {

enum class Act : std::uint8_t {
  Key,              // vk, with Shift held when `shift`
  Backspace,
  Hotkey,           // the word hotkey (Pause)
  Click,
  CapsLock,
  SelectionHotkey,  // Shift+Pause
  SwitchLayout,     // the user's own switch of the foreground window: vk 0 En, 1 Ru, else German
  Window,           // a click into window number vk (a new one past the last); `shift`: no click
  Clipboard,        // another program puts `text` on the clipboard
  Enter,            // ends the line; the next starts in En once the window took all typed
};

struct Action {
  Action(Act act = Act::Key, std::uint16_t vk = 0, bool shift = false, std::u16string text = {})
      : act(act), vk(vk), shift(shift), text(std::move(text)) {}
  Act act;
  std::uint16_t vk;
  bool shift;
  std::u16string text;
};

// One window, the keys behind what it should show and, for each of them, the word it was typed
// in: a space, a click, the hotkey or a layout switch ends a word, and a Backspace that joins
// two words on the screen does not make them one; and whether it was typed in a third layout,
// which the key table cannot say anything about.
struct TypedWindow {
  WindowHandle handle = 0;
  std::vector<std::uint16_t> slots;
  std::vector<int> words;
  std::vector<bool> third;
};

// Windows on a simulated desktop, the hook logic in front of the engine both ways.
struct Typing {
  Typing(bool slips, bool switches, Decision decision = Decision::Context)
      : channel(make_channel()), switches(switches) {
    apply_settings(rt, default_settings());
    rt.decision = decision;
    rt.event_sender.set(channel.sender);
    desk.install_layout(layout_de);
    windows.push_back({new_window(), {}, {}, {}});
    desk.set_keep_calls(false);
    engine = std::make_unique<Engine>(make_engine(desk, rt, real_dictionaries()));
    engine->channel = &channel.receiver;
    SimDesktop::InjectedInputHook h;
    h.batch_begins = [this, slips] {
      records_in_batch = 0;
      if (slips && on_batch) on_batch();
    };
    h.record = [this, slips](const KeyInput& r) {
      if (slips && records_in_batch++ > 0 && on_record) on_record();
      if (r.vk == win::VK_LCONTROL) in_chord = (r.flags & win::KEYEVENTF_KEYUP) == 0;
      return hook_injected(hook, rt, desk, r);
    };
    h.batch_ends = [this, slips] {
      if (slips && on_batch_end) on_batch_end();
    };
    desk.set_injected_input_hook(std::move(h));
    rt.hook_sees_own_input.store(true);
  }

  WindowHandle new_window() {
    SimWindow w;
    w.follows_layout_requests = switches;  // under Wine a window never switches
    return desk.create_window(w);
  }
  TypedWindow& front() { return windows[current]; }
  const TypedWindow& front() const { return windows[current]; }

  void key(std::uint16_t vk, bool down) {
    KeyboardHookEvent ev;
    ev.vk = vk;
    const bool swallowed = keyboard_hook(hook, rt, desk, 0, down ? win::WM_KEYDOWN : win::WM_KEYUP, ev);
    if (!swallowed) desk.physical_key(vk, down);
  }
  void tap(std::uint16_t vk, bool shift) {
    if (shift) key(win::VK_LSHIFT, true);
    key(vk, true);
    key(vk, false);
    if (shift) key(win::VK_LSHIFT, false);
  }
  void click() {
    mouse_hook(rt, 0, win::WM_LBUTTONDOWN);
    mouse_hook(rt, 0, win::WM_LBUTTONUP);
  }
  void perform(const Action& a) {
    TypedWindow& w = front();
    switch (a.act) {
      case Act::Key:
        tap(a.vk, a.shift);
        if (a.vk == win::VK_SPACE) ++word;
        if (key_row(a.vk) != nullptr) {
          w.slots.push_back(a.vk);
          w.words.push_back(word);
          w.third.push_back(layout_of_language(desk.window_layout(w.handle)) == Layout::Other);
        }
        return;
      case Act::Backspace:
        tap(win::VK_BACK, false);
        if (!w.slots.empty()) {
          w.slots.pop_back();
          w.words.pop_back();
          w.third.pop_back();
        }
        return;
      case Act::Hotkey:
      case Act::SelectionHotkey:
        ++word;
        tap(win::VK_PAUSE, a.act == Act::SelectionHotkey);
        return;
      case Act::Click:
        ++word;
        click();
        return;
      case Act::CapsLock:
        tap(win::VK_CAPITAL, false);
        return;
      case Act::SwitchLayout:
        ++word;
        desk.set_window_layout(w.handle, a.vk == 0 ? layout_en_us : a.vk == 1 ? layout_ru : layout_de);
        return;
      case Act::Window:
        ++word;
        if (!a.shift) click();
        current = a.vk < windows.size() ? a.vk : windows.size();
        if (current == windows.size()) {
          windows.push_back({new_window(), {}, {}, {}});
        } else {
          desk.set_foreground(windows[current].handle);
        }
        return;
      case Act::Clipboard:
        desk.set_clipboard_text(a.text);
        return;
      case Act::Enter:
        ++word;
        tap(win::VK_RETURN, false);
        // The next line starts in En again, as in a new field the user comes to once the window
        // has taken all that was typed.
        desk.take_all_waiting();
        desk.set_window_layout(w.handle, layout_en_us);
        return;
    }
  }
  bool handle_one() { return handle_next_event(*engine); }
  void drain() {
    while (handle_one()) {
    }
  }
  std::u32string shown(const TypedWindow& w) const {
    return text::decode_utf8(desk.text_utf8(w.handle)).value_or(U"\uFFFD(not UTF-8)");
  }
  std::u32string shown() const { return shown(front()); }

  SimDesktop desk;
  Runtime rt;
  Channel channel;
  KeyboardHookState hook;
  bool switches;
  std::vector<TypedWindow> windows;
  std::size_t current = 0;
  std::unique_ptr<Engine> engine;
  int word = 0;
  std::function<void()> on_batch;   // a key may slip in before a batch
  std::function<void()> on_record;  // or, as Wine allows, between its records
  std::function<void()> on_batch_end;  // or after its last record, before the layout request
  std::size_t records_in_batch = 0;
  // Between the program's Ctrl down and up (a copy or paste chord, whose end a busy Wine may
  // hand over late): a key that lands there comes with that Ctrl, and no program can keep it
  // out (nor does Windows let it in).
  bool in_chord = false;
};

// The characters a key can show: either case in either layout.
inline bool key_gives(std::uint16_t vk, char32_t c, Layout l) {
  const KeyRow* row = key_row(vk);
  return row && (row->lower(l) == c || row->upper(l) == c);
}

inline bool in_one_layout(const std::u32string& s, const std::vector<std::uint16_t>& slots, std::size_t i,
                          std::size_t j) {
  for (Layout l : {Layout::En, Layout::Ru}) {
    bool all = true;
    for (std::size_t k = i; k < j && all; ++k) all = key_gives(slots[k], s[k], l);
    if (all) return true;
  }
  return false;
}

// Every key typed is on the screen of its window, in its place, each word as it was typed in
// one layout. A window that never follows the layout requests (as under Wine) keeps showing the
// keys typed after a correction in the layout it has, so there only the keys are checked; so
// also where `words` is false (a switch the engine made alone, as the word hotkey's with a
// click waiting behind it, may come part way through a word typed ahead of it).
// Empty when all holds, else what does not.
inline std::string check_window(const Typing& r, const TypedWindow& w, bool words = true) {
  const std::u32string s = r.shown(w);
  const std::string which = r.windows.size() > 1 ? " (window " + std::to_string(&w - r.windows.data()) + ")" : "";
  if (s.size() != w.slots.size())
    return "the window shows " + std::to_string(s.size()) + " characters for " + std::to_string(w.slots.size()) +
           " keys" + which;
  for (std::size_t k = 0; k < s.size(); ++k)
    if (!key_gives(w.slots[k], s[k], Layout::En) && !key_gives(w.slots[k], s[k], Layout::Ru))
      return "the character at " + std::to_string(k) + " is not its key's" + which;
  // Keys typed in a third layout stay as they came out, and so does the rest of the word they
  // stand in on the screen: the program never types into such a word, since it cannot tell
  // what those keys put there.
  std::vector<bool> third_word(s.size(), false);
  for (std::size_t i = 0; i < s.size();) {
    std::size_t j = i;
    bool third = false;
    for (; j < s.size() && s[j] != U' '; ++j) third = third || w.third[j];
    for (std::size_t k = i; k < j; ++k) third_word[k] = third;
    i = j + 1;
  }
  for (std::size_t i = 0; words && r.switches && i < s.size();) {
    std::size_t j = i;
    bool user_layout = false;
    for (; j < s.size() && w.words[j] == w.words[i]; ++j) user_layout = user_layout || third_word[j];
    if (!user_layout && !in_one_layout(s, w.slots, i, j))
      return "the word at " + std::to_string(i) + " is in no one layout" + which;
    i = j;
  }
  return {};
}

inline std::string check_windows(const Typing& r, bool words = true) {
  for (const TypedWindow& w : r.windows)
    if (std::string why = check_window(r, w, words); !why.empty()) return why;
  return {};
}

inline std::string describe(const std::vector<Action>& script) {
  std::string out;
  for (const Action& a : script) {
    switch (a.act) {
      case Act::Key:
        if (a.vk == win::VK_SPACE) {
          out += "␣";
        } else if (const KeyRow* row = key_row(a.vk)) {
          text::append_utf8(out, a.shift ? row->upper(Layout::En) : row->lower(Layout::En));
        } else {
          out += "{vk " + std::to_string(a.vk) + "}";
        }
        break;
      case Act::Backspace: out += "{bs}"; break;
      case Act::Hotkey: out += "{Pause}"; break;
      case Act::Click: out += "{click}"; break;
      case Act::CapsLock: out += "{caps}"; break;
      case Act::SelectionHotkey: out += "{Shift+Pause}"; break;
      case Act::SwitchLayout: out += a.vk == 0 ? "{en}" : a.vk == 1 ? "{ru}" : "{de}"; break;
      case Act::Window:
        out += "{window " + std::to_string(a.vk) + (a.shift ? " without a click}" : "}");
        break;
      case Act::Clipboard: out += "{clipboard " + text::from_utf16(a.text) + "}"; break;
      case Act::Enter: out += "{enter}"; break;
    }
  }
  return out;
}

}  // namespace klavix::testing
