#pragma once
// The engine thread: owns all typing state and handles one event at a time. Everything it does
// to other programs goes through the Desktop; the handlers below can be called without a
// thread, so tests drive them one event at a time.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/runtime.h"
#include "config/config.h"
#include "desktop/desktop.h"
#include "engine/channel.h"
#include "engine/events.h"
#include "layout/layout.h"

namespace klavix {

// ---- limits and constants ----

inline constexpr std::size_t max_keys = 300;       // keys never holds more
inline constexpr std::size_t keys_cut = 150;       // dropped from the front when full
// Words before a converted word that the decision in context may convert along with it.
inline constexpr std::size_t carry_limit = 3;
// Words before a word that the decision in context reads.
inline constexpr std::size_t context_words = 2;
inline constexpr std::uint32_t undo_threshold = 3;  // undos of one word before the prompt
inline constexpr std::size_t undo_counts_limit = 500;
inline constexpr std::uintptr_t SYNTH_TAG = 0x41564958;  // dwExtraInfo of every synthesized record
inline constexpr std::size_t send_batch = 256;           // records per SendInput call
inline constexpr std::chrono::milliseconds hook_wait{2000};  // for the hook to see its records
// How often the thread looks for events and messages when it cannot sleep until they come.
inline constexpr std::chrono::milliseconds fallback_poll{30};
inline constexpr std::uint32_t prompt_flags = 0x50124;  // YESNO|ICONQUESTION|DEFBUTTON2|SETFOREGROUND|TOPMOST
inline constexpr std::size_t max_saved_block = 0x4000000;  // 64 MiB
inline constexpr std::chrono::milliseconds copy_wait{600};
// The longest the user's clipboard waits for the paste to read the converted text.
inline constexpr std::chrono::milliseconds paste_wait{2000};
// Registered formats that keep what the program puts on the clipboard out of clipboard
// histories, the cloud clipboard and clipboard monitors.
inline constexpr std::string_view private_clipboard_formats[] = {
    "ExcludeClipboardContentFromMonitorProcessing", "CanIncludeInClipboardHistory", "CanUploadToCloudClipboard"};

// What the word hotkey needs to undo the last correction.
struct Correction {
  bool caps_fixed = false;
  std::size_t caps_start = 0;
  std::size_t caps_end = 0;
  std::vector<std::string> words;  // word keys whose layout was switched, the last word first
  std::size_t retype_start = 0;
  std::size_t length = 0;  // size of keys right after the correction
  Layout layout = Layout::En;  // layout of the retyped records before the correction
  friend bool operator==(const Correction&, const Correction&) = default;
};

// The converted selection while it waits on the clipboard for the paste: the text is rendered
// when the paste asks for it, so the engine knows when the paste has read it. Shared with the
// clipboard owner window's handler, which runs on the engine thread while it pumps messages.
struct ClipboardOffer {
  WindowHandle owner = 0;
  std::vector<std::uint8_t> block;  // CF_UNICODETEXT: UTF-16 and a zero unit
  bool owed = false;      // on the clipboard, not rendered yet
  bool owned = false;     // the clipboard is ours since the offer was put there
  bool rendered = false;  // a program asked for the text and got it
  bool lost = false;      // another program emptied the clipboard while it was ours
};

// The state owned by the engine thread. The dictionaries are shared read-only so that tests
// can build them once for a whole test binary.
struct Engine {
  Desktop& desktop;
  Runtime& rt;
  std::vector<Keystroke> keys;
  std::optional<Correction> last_correction;
  WatchedList exceptions;
  WatchedList apps;
  std::shared_ptr<const Dictionaries> dictionaries;
  std::unordered_map<std::string, std::uint32_t> undo_counts;
  WindowHandle last_window = 0;
  WindowHandle clipboard_window = 0;
  std::shared_ptr<ClipboardOffer> clipboard_offer = std::make_shared<ClipboardOffer>();
  // The events waiting behind the one being handled (none for tests that hand over events one
  // by one): keys the user typed after it, in the window already.
  EventReceiver* channel = nullptr;
  // Waiting events a correction took in: erased and typed again with it, they are handled
  // next, before the channel's, as shown in the layout the correction typed them in.
  std::deque<EngineEvent> taken_in{};
  std::vector<EngineEvent> look_scratch{};
  std::uint64_t corrections_left_out = 0;  // because of a waiting event that was not a plain key
  // The layout the last correction asked its window for: keys typed before the window switches
  // still come out in the layout it had.
  WindowHandle requested_window = 0;  // none once the record was emptied or cut
  Layout requested_layout = Layout::Other;
  std::size_t requested_end = 0;  // where in keys the stretch that correction retyped ended
  // A key after requested_end came in the layout asked for: the window has switched, and any
  // other layout from then on is the user's own doing.
  bool requested_shown = false;
  // Keys came in between the last correction's look at the waiting keys and its layout request.
  bool typed_before_request = false;
  // Where the last stretch the program typed again ended: the words before it are never
  // carried along by a later correction, and a layout change across it is the program's.
  std::size_t retyped_end = 0;
  Decision decision = Decision::Context;
};

// ---- the thread ----

// Thread body: builds the dictionaries and lists, then loops until the channel disconnects.
void run_engine(Desktop& desktop, Runtime& rt, EventReceiver receiver);

// Thread start after the dictionaries exist: loads both lists, creates the message-only
// window and starts from an empty record.
Engine make_engine(Desktop& desktop, Runtime& rt, std::shared_ptr<const Dictionaries> dictionaries);

// One event, handled to its end.
void handle_event(Engine& e, const EngineEvent& ev);
// The next event (those a correction took in first, then the channel's), handled to its end;
// false when none is waiting.
bool handle_next_event(Engine& e);

// ---- word tracking ----

void handle_key(Engine& e, const EngineEvent& ev);
// Index just after the last space before `end`, or 0.
std::size_t word_start(std::span<const Keystroke> keys, std::size_t end);
struct WordRange {
  std::size_t start = 0;
  std::size_t end = 0;
  friend bool operator==(const WordRange&, const WordRange&) = default;
};
// The last word (trailing spaces excluded), none when keys hold only spaces.
std::optional<WordRange> last_word(std::span<const Keystroke> keys);
void clear_word(Engine& e);
void forget_correction(Engine& e);

// ---- corrections ----

// The check after the space at keys[space_at] and, when it applies, the correction.
void auto_correct(Engine& e, std::size_t space_at);
// After the key just recorded: when it is the first to come in the layout the last correction
// asked for, the keys typed before the window had switched are typed again in that layout.
void mend_before_switch(Engine& e);
// After an event whose correction saw keys come in before its layout request: they are typed
// again, with the keys that correction took in, in the layout it asked for.
void retype_typed_before_request(Engine& e);
// Rendered in the layout it was typed in, cut to its core, lowercased.
std::string word_key(std::span<const Keystroke> keys, std::size_t start, std::size_t end, Layout layout);
void word_hotkey(Engine& e);
void clear_caps(std::span<Keystroke> keys, std::size_t start, std::size_t end);
void restore_caps(std::span<Keystroke> keys, std::size_t start, std::size_t end);
void count_undo(Engine& e, const std::vector<std::string>& words);

// ---- keystroke synthesis ----

KeyInput key_record(Desktop& d, std::uint16_t vk, std::uint32_t flags);
KeyInput char_record(char16_t unit, bool key_up);
// Every record goes out through send_inputs, which counts what SendInput took.
void send_inputs(Desktop& d, Runtime& rt, std::span<const KeyInput> records);
// Waits, for at most hook_wait, until the keyboard hook has seen every record sent so far.
void wait_for_hook(Desktop& d, Runtime& rt);
void release_modifiers(Desktop& d, Runtime& rt);
void turn_caps_lock_off(Desktop& d, Runtime& rt);
void erase_and_type(Desktop& d, Runtime& rt, std::size_t count, std::string_view text);
void send_copy_chord(Desktop& d, Runtime& rt);
void send_paste_chord(Desktop& d, Runtime& rt);

// ---- layout switching and correction output ----

// The correction of keys[start, end) (end is the end of keys), counting what the waiting events
// put on the screen after it: when they are all plain keys of the same window (keys of the key
// table without Ctrl, Alt or Win, Shift, and Caps Lock unless the correction repairs Caps Lock),
// it erases the stretch and them, types the stretch in `target` and them as they come out in
// `target` (without the Caps Lock effect when `caps_fixed`, and then switches Caps Lock off in
// the same batch), marks the stretch as shown in `target`, takes them in and requests the
// layout. Otherwise it sends nothing and returns false.
// `shown` is the record as the window shows it, when the caller changed Caps Lock fields of
// `keys` for the retyping (none: `keys` itself).
bool retype_counting_waiting(Engine& e, std::size_t start, std::size_t end, Layout target, bool caps_fixed,
                             std::span<const Keystroke> shown = {});

// Erases keys[start, end), types them rendered in `target`, marks them as shown in `target`
// and requests that layout.
void retype_in_layout(Desktop& d, Runtime& rt, std::vector<Keystroke>& keys, std::size_t start, std::size_t end, Layout target);
void request_layout(Desktop& d, Layout target);
// The foreground window's language.
Layout window_layout(Desktop& d);
constexpr bool known_layout(Layout l) { return l == Layout::En || l == Layout::Ru; }
// English when the foreground window's language is Russian, otherwise Russian.
Layout toggled_layout(Desktop& d);
void toggle_layout(Desktop& d);

// ---- foreground context ----

// True when the foreground window must be left alone (listed program, password field, full
// screen).
bool is_excluded_context(Desktop& d, WatchedList& apps);

// ---- selection conversion ----

struct ClipboardItem {
  std::uint32_t format = 0;
  std::vector<std::uint8_t> bytes;
  friend bool operator==(const ClipboardItem&, const ClipboardItem&) = default;
};

// A pause that keeps answering the engine window's messages.
void pause_answering(Desktop& d, std::chrono::milliseconds span);
bool open_clipboard_with_retry(Desktop& d, WindowHandle owner);
// The formats worth saving, in the order the clipboard lists them; none when it cannot be opened.
std::optional<std::vector<ClipboardItem>> save_clipboard(Desktop& d, WindowHandle owner);
// Empties the clipboard and puts the saved formats back, marked as no new copy.
void restore_clipboard(Desktop& d, WindowHandle owner, const std::vector<ClipboardItem>& saved);
// Adds the private formats that `already` lacks to the open clipboard.
void mark_as_private(Desktop& d, const std::vector<ClipboardItem>& already);
// The owner window's answer to the clipboard's requests.
void answer_clipboard_request(Desktop& d, ClipboardOffer& offer, ClipboardRequest request, std::uint32_t format);

enum class SelectionKind { CaseRepair, LayoutConversion };
struct SelectionResult {
  std::string text;
  SelectionKind kind = SelectionKind::LayoutConversion;
  Layout target = Layout::Ru;  // for a layout conversion
};
// The conversion a selected text gets.
SelectionResult convert_selected_text(std::string_view utf8);

// The whole selection-hotkey sequence (the record is emptied first).
void convert_selection(Engine& e);

}  // namespace klavix
