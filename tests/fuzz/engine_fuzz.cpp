// The engine on the simulated desktop, driven by an event script decoded from the bytes: keys
// of the key table with and without Shift, spaces, Backspace, both hotkeys, clicks, Caps Lock,
// the user's own switches to English, Russian or a third layout (German), changes between
// windows, text another program puts on the clipboard, and when the engine gets to handle what
// is waiting, so that keys are typed ahead of a correction, slip in just before one or (as
// Wine allows) part way through it. Header bytes pick the decision the correction asks (the
// word alone or in its sentence), whether windows follow the engine's layout requests, the
// settings, and the slips.
//
// After every script, in every window: every key the user typed is there, in order, none lost
// or doubled, each showing a character of its own key, and where windows switch and no
// correction was left out, each word in one layout; the clipboard holds what the other program put there; no assertion tripped.
// Where only what the typed-ahead stress plays was typed and no correction was left out, the
// window shows what the same script gives typed slowly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "typed_ahead_typing.h"

using namespace klavix;
using namespace klavix::testing;

namespace {

// One step of a script: an action of the user, or the engine handling up to `events` of what
// waits (all of it for 7).
struct Step {
  bool engine = false;
  unsigned events = 0;
  Action action;
};

constexpr std::size_t max_steps = 600;

char16_t clipboard_unit(std::uint8_t b) {
  if (b == 0xFF) return 0xD800;  // an unpaired surrogate, as a careless program may leave
  if (b < 0x80) return b == 0 ? u' ' : static_cast<char16_t>(b);
  return static_cast<char16_t>(0x410 + (b & 0x3F));
}

std::vector<Step> decode(const std::uint8_t* data, std::size_t size) {
  std::vector<Step> out;
  const auto table = key_table();
  for (std::size_t i = 0; i < size && out.size() < max_steps; ++i) {
    const std::uint8_t op = data[i];
    auto next = [&]() -> std::uint8_t { return i + 1 < size ? data[++i] : 0; };
    Step s;
    if (op < 98) {
      s.action = {Act::Key, table[op % key_table_rows].vk(), op >= 49};
    } else if (op < 112) {
      s.action = {Act::Key, win::VK_SPACE};
    } else if (op < 120) {
      s.action = {Act::Backspace};
    } else if (op < 124) {
      s.action = {Act::Hotkey};
    } else if (op < 126) {
      s.action = {Act::SelectionHotkey};
    } else if (op < 130) {
      s.action = {Act::Click};
    } else if (op < 134) {
      s.action = {Act::CapsLock};
    } else if (op < 140) {
      s.action = {Act::SwitchLayout, static_cast<std::uint16_t>((op - 134) % 3)};
    } else if (op < 144) {
      const std::uint8_t w = next();
      s.action = {Act::Window, static_cast<std::uint16_t>(w % 4), (w & 0x80) != 0};
    } else if (op < 146) {
      std::u16string text;
      for (std::uint8_t n = next() % 16; n > 0; --n) text.push_back(clipboard_unit(next()));
      s.action = {Act::Clipboard, 0, false, std::move(text)};
    } else {
      s.engine = true;
      s.events = (op - 146) % 8;
    }
    out.push_back(std::move(s));
  }
  return out;
}

// What the typed-ahead stress plays: there typing fast and slowly must agree.
bool stress_like(const std::vector<Step>& script) {
  for (const Step& s : script) {
    if (s.engine) continue;
    switch (s.action.act) {
      case Act::Key:
      case Act::Backspace:
      case Act::Hotkey:
      case Act::Click:
      case Act::CapsLock: break;
      default: return false;
    }
  }
  return true;
}

struct Header {
  Decision decision;
  bool switches;
  bool autoswitch;
  bool capsfix;
  std::size_t late_records;
  unsigned slip_before_batch;  // a key slips in before every n-th batch (0: never)
  unsigned slip_in_batch;      // and before every n-th record after a batch's first (0: never)
};

Typing& prepare(Typing& t, const Header& h) {
  t.desk.install_layout(layout_de);
  t.rt.autoswitch_on = h.autoswitch;
  t.rt.capsfix_on = h.capsfix;
  return t;
}

std::string script_text(const std::vector<Step>& script) {
  std::string out;
  for (const Step& s : script) out += s.engine ? (s.events == 7 ? "{engine: all}" : "{engine: " + std::to_string(s.events) + "}") : describe({s.action});
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TempSettings settings;  // one settings folder, default lists, for the whole run
  if (size < 2) return 0;
  Header h;
  h.decision = (data[0] & 1) ? Decision::Context : Decision::Word;
  h.switches = (data[0] & 2) == 0;
  h.autoswitch = (data[0] & 4) == 0;
  h.capsfix = (data[0] & 8) == 0;
  h.late_records = (data[0] >> 4) & 7;
  h.slip_before_batch = data[1] & 7;
  h.slip_in_batch = data[1] >> 4;
  const std::vector<Step> script = decode(data + 2, size - 2);

  Typing fast(true, h.switches, h.decision);
  prepare(fast, h);
  std::size_t next = 0;
  unsigned batches = 0, records = 0;
  std::u16string clipboard;
  bool clipboard_set = false;
  auto slip = [&] {
    // The next key of the script reaches the hook and the window right now.
    if (next < script.size() && !script[next].engine && script[next].action.act == Act::Key) {
      fast.perform(script[next++].action);
    }
  };
  if (h.slip_before_batch)
    fast.on_batch = [&] {
      if (++batches % h.slip_before_batch == 0 && !fast.in_chord) slip();
    };
  if (h.slip_in_batch)
    fast.on_record = [&] {
      if (++records % h.slip_in_batch == 0 && !fast.in_chord) slip();
    };
  fast.desk.set_late_injected_records(h.late_records);
  while (next < script.size()) {
    const Step& s = script[next++];
    if (s.engine) {
      if (s.events == 7) {
        fast.drain();
      } else {
        for (unsigned i = 0; i < s.events && fast.handle_one(); ++i) {
        }
      }
      continue;
    }
    if (s.action.act == Act::Clipboard) {
      clipboard = s.action.text;
      clipboard_set = true;
    }
    fast.perform(s.action);
  }
  fast.on_batch = nullptr;
  fast.on_record = nullptr;
  fast.desk.set_late_injected_records(0);
  fast.drain();

  // A correction left out (other events were waiting) may have switched the layout alone, part
  // way through the keys typed ahead of it: there only the keys are checked.
  const std::string why = check_windows(fast, fast.engine->corrections_left_out == 0);
  FUZZ_CHECK(why.empty(), why + "\n  script: " + script_text(script) + "\n  window: " +
                              fast.desk.text_utf8(fast.front().handle));
  if (clipboard_set) {
    const std::optional<std::u16string> now = fast.desk.clipboard_text();
    FUZZ_CHECK(now == clipboard, "the clipboard holds " + text::from_utf16(now.value_or(u"(no text)")) +
                                     " for " + text::from_utf16(clipboard) + "\n  script: " + script_text(script));
  }

  if (!stress_like(script) || !h.switches || fast.engine->corrections_left_out != 0) return 0;
  Typing slow(false, h.switches, h.decision);
  prepare(slow, h);
  for (const Step& s : script) {
    if (s.engine) continue;
    slow.perform(s.action);
    slow.drain();
  }
  FUZZ_CHECK(check_windows(slow).empty(), check_windows(slow) + "\n  typed slowly: " + script_text(script));
  FUZZ_CHECK(fast.shown() == slow.shown(), "typed fast: " + fast.desk.text_utf8(fast.front().handle) +
                                               "\n  typed slowly: " + slow.desk.text_utf8(slow.front().handle) +
                                               "\n  script: " + script_text(script));
  return 0;
}
