#pragma once
// The simulated desktop: windows with a text field, keyboard layouts, key states, a clipboard
// with formats and a sequence number, processes, message boxes and a virtual clock. Unit tests
// and klavix-sim run the real core against it. Every method takes one lock, so the engine
// thread and a typing driver may call it at the same time.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/desktop.h"

namespace klavix {

inline constexpr LayoutHandle layout_en_us = 0x04090409;
inline constexpr LayoutHandle layout_ru = 0x04190419;
inline constexpr LayoutHandle layout_de = 0x04070407;

// Window styles of the default window and its edit control.
inline constexpr std::int32_t sim_style_normal = 0x14CF0000;      // WS_VISIBLE | WS_OVERLAPPEDWINDOW
inline constexpr std::int32_t sim_style_borderless = static_cast<std::int32_t>(0x90000000u);  // WS_POPUP | WS_VISIBLE
inline constexpr std::int32_t sim_style_edit = 0x503001C4;        // child, visible, scroll bars, multiline
inline constexpr std::uint16_t sim_vk_packet = 0xE7;              // VK_PACKET: text that comes from no key

// The text field of a window's focus control, in UTF-16 units. The selection runs between
// `anchor` and `caret` (either may be the larger); it is empty when they are equal.
struct SimField {
  std::u16string text;
  std::size_t caret = 0;
  std::size_t anchor = 0;
  friend bool operator==(const SimField&, const SimField&) = default;
};

// What the application does with Ctrl+C.
enum class SimCopy : std::uint8_t {
  Text,    // copies the selection (nothing when it is empty)
  Ignore,  // does nothing: the clipboard and its sequence number stay
  NoText,  // puts a picture (CF_DIB) on the clipboard, no text
};

// One top-level window, its process and thread, and its focus control.
struct SimWindow {
  WindowHandle handle = 0;       // assigned by create_window
  WindowHandle focus = 0;        // the focus control's handle, assigned by create_window
  std::uint32_t thread_id = 0;   // assigned by create_window
  std::uint32_t process_id = 0;  // assigned by create_window
  std::u16string image_path = u"C:\\Windows\\notepad.exe";
  std::u16string class_name = u"Notepad";
  std::int32_t style = sim_style_normal;
  Rect rect{100, 100, 1100, 800};
  MonitorHandle monitor = 0;  // 0 at creation: the primary monitor
  bool has_focus_control = true;  // GetGUIThreadInfo reports the focus control
  std::u16string focus_class = u"Edit";
  std::int32_t focus_style = sim_style_edit;
  LayoutHandle layout = layout_en_us;
  SimField field;
  SimCopy copy = SimCopy::Text;
  // Virtual milliseconds the application takes to put a copy on the clipboard; until then
  // the clipboard and its sequence number stay as they were.
  std::uint32_t copy_delay_ms = 0;
  // Virtual milliseconds between Ctrl+V and the application reading the clipboard.
  std::uint32_t paste_delay_ms = 0;
  bool follows_layout_requests = true;
  // Faults of the queries about this window.
  bool open_process_fails = false;
  bool image_query_fails = false;
  bool gui_thread_info_fails = false;
  bool window_rect_fails = false;
};

// One clipboard format as a program would put it there.
struct SimClipboardItem {
  std::uint32_t format = 0;
  std::vector<std::uint8_t> bytes;
  bool null_handle = false;  // GetClipboardData gives no handle for it
  bool lock_fails = false;   // its block cannot be locked
  bool delayed = false;      // set without data: the owner window renders it on request
  friend bool operator==(const SimClipboardItem&, const SimClipboardItem&) = default;
};

enum class SimCallKind : std::uint8_t {
  SendInput,           // records
  PostMessage,         // window, message, wparam, lparam, ok
  MessageBox,          // window (owner), text, caption, style, answer
  OpenClipboard,       // window (owner), ok
  CloseClipboard,      // ok
  EmptyClipboard,      // ok
  SetClipboardData,    // format, size, ok
  GetClipboardData,    // format, size, ok
  OpenProcess,         // value (process id), handle, ok
  CloseHandle,         // handle, ok
  Sleep,               // value (milliseconds)
  CreateMessageWindow, // window
  CreateEvent,         // handle
  DispatchMessage,     // window, message, wparam, lparam
  Wait,                // value (the timeout in milliseconds; waits without one are not logged)
  SetClipboardDataOnRequest,  // format, ok
};

// One logged call. Only the fields its kind names carry meaning.
struct SimCall {
  SimCallKind kind = SimCallKind::SendInput;
  std::vector<KeyInput> records;
  WindowHandle window = 0;
  std::uint32_t message = 0;
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
  std::uint32_t format = 0;
  std::size_t size = 0;
  std::string text;
  std::string caption;
  std::uint32_t style = 0;
  int answer = 0;
  std::uint32_t value = 0;
  std::uintptr_t handle = 0;
  bool ok = true;
};

// The order in which a window's thread takes what waits in its queue. Windows (and Wine, see
// win_message_order_tests) hands over posted messages before keyboard input, whatever order they
// came in; the other order is kept for comparison.
enum class SimMessageOrder : std::uint8_t {
  PostedFirst,  // posted messages, then the input in the order it came
  Arrival,      // everything in the order it came
};

struct SimLayoutRequest {
  WindowHandle window = 0;
  LayoutHandle layout = 0;
  friend bool operator==(const SimLayoutRequest&, const SimLayoutRequest&) = default;
};

struct SimMessageBox {
  WindowHandle owner = 0;
  std::string text;
  std::string caption;
  std::uint32_t style = 0;
  int answer = 0;
};

class SimDesktop final : public Desktop {
 public:
  // One monitor (1920x1080, work area without a 40-pixel taskbar), En-US and Ru installed, no
  // windows, Caps Lock off, an empty clipboard, message boxes answered with IDNO.
  SimDesktop();

  // ---- Desktop ----
  std::uint32_t send_input(std::span<const KeyInput> records) override;
  std::int16_t get_async_key_state(int vk) override;
  std::int16_t get_key_state(int vk) override;
  std::uint32_t map_virtual_key(std::uint32_t code, std::uint32_t map_type) override;
  WindowHandle foreground_window() override;
  std::uint32_t window_thread_process_id(WindowHandle w, std::uint32_t* process_id) override;
  LayoutHandle keyboard_layout(std::uint32_t thread_id) override;
  int keyboard_layout_list(int capacity, LayoutHandle* out) override;
  bool post_message(WindowHandle w, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
  ProcessHandle open_process(std::uint32_t access, bool inherit, std::uint32_t process_id) override;
  std::optional<std::u16string> query_full_process_image_name(ProcessHandle p, std::uint32_t flags,
                                                              std::uint32_t capacity) override;
  bool close_handle(ProcessHandle p) override;
  bool gui_thread_info(std::uint32_t thread_id, GuiThreadInfo& info) override;
  std::u16string class_name(WindowHandle w, int capacity) override;
  std::int32_t window_long(WindowHandle w, int index) override;
  bool window_rect(WindowHandle w, Rect& out) override;
  MonitorHandle monitor_from_window(WindowHandle w, std::uint32_t flags) override;
  bool monitor_info(MonitorHandle m, MonitorInfo& info) override;
  bool open_clipboard(WindowHandle owner) override;
  bool close_clipboard() override;
  bool empty_clipboard() override;
  std::uint32_t enum_clipboard_formats(std::uint32_t format) override;
  std::optional<std::size_t> clipboard_data_size(std::uint32_t format) override;
  std::optional<std::vector<std::uint8_t>> clipboard_data(std::uint32_t format) override;
  bool set_clipboard_data(std::uint32_t format, std::span<const std::uint8_t> bytes) override;
  std::uint32_t clipboard_sequence_number() override;
  std::uint32_t register_clipboard_format(std::string_view name) override;
  bool set_clipboard_data_on_request(std::uint32_t format) override;
  void set_clipboard_owner_handler(WindowHandle w,
                                   std::function<void(ClipboardRequest, std::uint32_t)> handler) override;
  WindowHandle create_message_window() override;
  void pump_messages() override;
  EventHandle create_event() override;
  bool set_event(EventHandle e) override;
  WaitResult wait_for_event_or_message(EventHandle e, std::optional<std::chrono::milliseconds> timeout) override;
  int message_box(WindowHandle owner, std::string_view text, std::string_view caption, std::uint32_t style) override;
  void sleep_ms(std::uint32_t ms) override;
  std::chrono::steady_clock::time_point now() override;

  // ---- windows ----
  // Adds a window (handles, thread and process ids are assigned) and brings it to the front.
  WindowHandle create_window(SimWindow init = {});
  // Removes a window (as closing it would); the foreground becomes none when it was in front.
  void destroy_window(WindowHandle w);
  void set_foreground(WindowHandle w);  // 0: no foreground window
  std::optional<SimWindow> window(WindowHandle w) const;  // a copy
  // Changes a window under the lock; `change` must not call the desktop.
  void update_window(WindowHandle w, const std::function<void(SimWindow&)>& change);
  std::u16string text(WindowHandle w) const;
  std::string text_utf8(WindowHandle w) const;  // unpaired surrogates as U+FFFD
  void set_text(WindowHandle w, std::u16string_view text);  // caret at the end, nothing selected
  void select(WindowHandle w, std::size_t anchor, std::size_t caret);  // clamped to the text
  void select_all(WindowHandle w);
  LayoutHandle window_layout(WindowHandle w) const;  // 0 for an unknown window
  void set_window_layout(WindowHandle w, LayoutHandle layout);  // what the user's own switch does

  // ---- the windows' threads ----
  // By default a window's thread takes every key, character and layout request the moment it
  // comes. A busy thread leaves them in the window's queue: keys are put in the window's layout
  // only when the thread takes them, with the key states that came with them, and the keyboard
  // layout the window reports changes only when it takes the request. Not busy any more, it
  // takes everything waiting in the desktop's message order.
  void set_window_busy(WindowHandle w, bool busy);
  bool window_busy(WindowHandle w) const;
  std::size_t waiting_input(WindowHandle w) const;  // keys, characters and layout requests
  void set_message_order(SimMessageOrder order);
  // A window that gets the program's input is busy with it for a while, as a real application
  // is: from the first record of a SendInput batch that reaches it (a hook may swallow them) until a message is posted to it or the
  // program's thread sleeps or waits (and so lets the window's thread run).
  void set_busy_with_injected_input(bool on);
  // Every busy window takes what waits (the end of a run: what the user sees at last).
  void take_all_waiting();

  // ---- input that reaches the foreground window ----
  // A physical key as the system applies it after the hooks let it through: the key state
  // changes, then the foreground window reacts (the character of the key in the window's
  // layout, Backspace, Ctrl+A/C/V, Caps Lock). A swallowed key must not be passed here.
  void physical_key(std::uint16_t vk, bool down);
  // Text that reaches the foreground window without a key (pasted): replaces the selection.
  void insert_text(std::u16string_view text);
  // The key states the physical keyboard has, without any window seeing it.
  void set_key_down(int vk, bool down);
  bool key_down(int vk) const;
  bool caps_lock_on() const;  // the toggle state, GetKeyState(VK_CAPITAL) & 1
  void set_caps_lock(bool on);

  // What a low-level keyboard hook makes of synthesized input, called outside the lock: `record`
  // sees every record before it takes effect and returns true to swallow it; `batch_begins`
  // and `batch_ends` come before the first and after the last record of one SendInput call,
  // which Windows never interleaves with other input.
  struct InjectedInputHook {
    std::function<void()> batch_begins;
    std::function<bool(const KeyInput&)> record;
    std::function<void()> batch_ends;
  };
  void set_injected_input_hook(InjectedInputHook hook);
  // Called outside the lock as PostMessage begins, before the message is posted: a test may
  // type a key there, as a user may between the end of a correction and its layout request.
  void set_before_post(std::function<void(WindowHandle, std::uint32_t)> before);
  // SendInput returns before the hook has seen the last `n` records of each batch: they pass
  // the hook and reach the window at the caller's next Sleep or SendInput, as when a busy Wine
  // hands records to the hook after SendInput has returned. For one thread that sends.
  void set_late_injected_records(std::size_t n);
  // SendInput blocked (as by a higher-integrity foreground window): calls are logged, nothing
  // is inserted and 0 is returned.
  void set_send_input_blocked(bool blocked);

  // ---- keyboard layouts ----
  void set_installed_layouts(std::vector<LayoutHandle> layouts);
  std::vector<LayoutHandle> installed_layouts() const;
  void install_layout(LayoutHandle layout);  // appended when missing

  // ---- monitors ----
  MonitorHandle primary_monitor() const;
  MonitorHandle add_monitor(Rect monitor, Rect work);
  void set_monitor_info_fails(bool fails);

  // ---- clipboard ----
  // What another program puts there: the formats in this order and a new sequence number.
  void set_clipboard(std::vector<SimClipboardItem> items);
  void set_clipboard_text(std::u16string_view text);  // CF_UNICODETEXT with its zero unit
  // What another program puts there at a virtual time to come (as soon as nobody holds the
  // clipboard open then).
  void schedule_clipboard(std::chrono::milliseconds at, std::vector<SimClipboardItem> items);
  std::vector<SimClipboardItem> clipboard() const;
  // CF_UNICODETEXT up to its first zero unit; none without that format.
  std::optional<std::u16string> clipboard_text() const;
  bool clipboard_open() const;
  // The next `count` OpenClipboard calls fail (the application's own copy is not affected).
  void refuse_clipboard_opens(int count);
  // Held by another program: every OpenClipboard fails, and the application cannot copy or
  // paste either.
  void set_clipboard_locked(bool locked);
  void set_clipboard_refuses_data(bool refuses);  // SetClipboardData fails

  // ---- processes ----
  std::size_t handles_open() const;    // opened and not closed yet
  std::size_t handles_opened() const;  // all successful OpenProcess calls
  std::size_t bad_closes() const;      // CloseHandle of a handle not open

  // ---- message boxes ----
  void queue_answers(std::vector<int> answers);  // used first, in order
  void set_default_answer(int answer);
  std::vector<SimMessageBox> message_boxes() const;

  // ---- log ----
  std::vector<SimCall> calls() const;
  std::vector<SimCall> calls(SimCallKind kind) const;
  void clear_calls();
  std::vector<KeyInput> sent_records() const;  // every SendInput record, in order
  std::vector<SimLayoutRequest> layout_requests() const;  // posted WM_INPUTLANGCHANGEREQUEST
  // Sees every call as it is logged, under the lock: it must not call the desktop.
  void set_observer(std::function<void(const SimCall&)> observer);
  // Keeps calls in memory (the default); the observer sees them either way.
  void set_keep_calls(bool keep);

  // ---- clock ----
  // The virtual clock stands still except for sleeps and advance(), so a run never waits for
  // real time. It starts a day ahead of the real clock, far from any real time point.
  std::chrono::milliseconds elapsed() const;
  void advance(std::chrono::milliseconds by);
  std::uint64_t pumps() const;
  // Waits for an event or a message that have returned: the waiting thread's wake-ups.
  std::uint64_t wakeups() const;
  void set_create_event_fails(bool fails);  // CreateEventW returns 0

 private:
  struct Process {
    std::uint32_t access;
    std::uint32_t process_id;
  };

  SimWindow* find_window(WindowHandle w);
  const SimWindow* find_window(WindowHandle w) const;
  SimWindow* find_by_thread(std::uint32_t thread_id);
  SimWindow* find_by_focus(WindowHandle w);
  SimWindow* find_by_process(std::uint32_t process_id);
  SimWindow* foreground_locked();
  void log(SimCall call);
  // What a window's thread takes from its queue: input comes with the key states of its time.
  struct KeyStates {
    bool shift = false, ctrl = false, alt = false, winkey = false, caps = false;
  };
  struct WaitingInput {
    enum class Kind : std::uint8_t { Key, Text, LayoutRequest } kind = Kind::Key;
    std::uint16_t vk = 0;
    KeyStates keys;
    std::u16string text;
    LayoutHandle layout = 0;
  };
  struct WindowQueue {
    bool busy = false;
    bool busy_with_injected = false;  // ends at a post to the window or the program's next wait
    std::deque<WaitingInput> items;
  };
  KeyStates key_states() const;
  void deliver(WaitingInput in);
  void handle_input(SimWindow& w, const WaitingInput& in);
  void take_waiting(WindowHandle w);
  void end_busy_with_injected();
  void apply_record(const KeyInput& r);
  void apply_key(std::uint16_t vk, bool down);
  void type_char(SimField& f, std::u16string_view units);
  void erase_back(SimField& f);
  void copy_selection(SimWindow& w);
  void paste(SimWindow& w);
  void read_clipboard_into(WindowHandle w);
  void finish_pending_paste();
  void finish_scheduled_copies();
  std::chrono::milliseconds next_due(std::chrono::milliseconds limit) const;
  void queue_message(WindowHandle w, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);
  void change_owner(WindowHandle owner);
  void put_clipboard(std::vector<SimClipboardItem> items);
  void deliver_copy(std::vector<SimClipboardItem> items, std::uint32_t delay_ms);
  void finish_pending_copy();
  bool key_is_down(int vk) const;
  const SimClipboardItem* clipboard_item(std::uint32_t format) const;

  mutable std::mutex mutex_;
  std::map<WindowHandle, SimWindow> windows_;
  std::set<WindowHandle> message_windows_;
  // Lookups by thread, process and focus control stay cheap with thousands of windows.
  std::map<std::uint32_t, WindowHandle> by_thread_;
  std::map<std::uint32_t, WindowHandle> by_process_;
  std::map<WindowHandle, WindowHandle> by_focus_;
  WindowHandle foreground_ = 0;
  WindowHandle next_handle_ = 0x10010;
  // Apart from the others, so window handles do not depend on when the engine made its own.
  WindowHandle next_message_window_ = 0x7F0010;
  std::uint32_t next_thread_ = 0x1000;
  std::uint32_t next_process_ = 0x2000;
  std::vector<LayoutHandle> layouts_;
  std::map<MonitorHandle, MonitorInfo> monitors_;
  MonitorHandle next_monitor_ = 0x65537;
  bool monitor_info_fails_ = false;
  bool keys_[256] = {};
  bool caps_toggle_ = false;
  InjectedInputHook injected_hook_;
  void pass_injected(const InjectedInputHook& hook, std::span<const KeyInput> records);
  void deliver_late_records();
  std::size_t late_records_ = 0;
  std::vector<KeyInput> late_pending_;
  InjectedInputHook late_hook_;
  bool send_input_blocked_ = false;
  std::map<WindowHandle, WindowQueue> queues_;
  std::function<void(WindowHandle, std::uint32_t)> before_post_;
  SimMessageOrder order_ = SimMessageOrder::PostedFirst;
  bool busy_with_injected_ = false;
  std::atomic<bool> any_busy_with_injected_{false};
  // clipboard
  std::vector<SimClipboardItem> clipboard_;
  std::uint32_t clipboard_sequence_ = 1;
  bool clipboard_is_open_ = false;
  bool clipboard_emptied_ = false;  // by the window that holds it open
  WindowHandle clipboard_owner_ = 0;
  int refuse_opens_ = 0;
  bool clipboard_locked_ = false;
  bool clipboard_refuses_data_ = false;
  std::optional<std::vector<SimClipboardItem>> pending_copy_;  // a slow application's copy
  std::chrono::milliseconds pending_copy_due_{0};
  WindowHandle owner_ = 0;  // the window that emptied the clipboard last; 0 for another program
  std::map<std::string, std::uint32_t> registered_formats_;
  std::map<WindowHandle, std::function<void(ClipboardRequest, std::uint32_t)>> owner_handlers_;
  std::optional<std::uint32_t> rendering_;  // the format an owner renders right now
  // A slow application's paste, and one that waits for the owner to render the text.
  std::optional<WindowHandle> pending_paste_;
  std::chrono::milliseconds pending_paste_due_{0};
  std::optional<WindowHandle> paste_waiting_for_render_;
  std::vector<std::pair<std::chrono::milliseconds, std::vector<SimClipboardItem>>> scheduled_copies_;
  // processes
  std::map<ProcessHandle, Process> handles_;
  ProcessHandle next_process_handle_ = 0x104;
  std::size_t handles_opened_ = 0;
  std::size_t bad_closes_ = 0;
  // message boxes
  std::deque<int> answers_;
  int default_answer_ = win::IDNO;
  // log and clock
  std::vector<SimCall> calls_;
  bool keep_calls_ = true;
  std::function<void(const SimCall&)> observer_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::milliseconds elapsed_{0};
  std::atomic<std::uint64_t> pumps_{0};
  // events and the message queue of the message-only windows
  struct QueuedMessage {
    WindowHandle window;
    std::uint32_t message;
    std::uintptr_t wparam;
    std::intptr_t lparam;
  };
  // Events are flags that the waiting thread takes without the lock when it finds one set;
  // the lock and the condition variable are for a thread that found nothing and sleeps.
  static constexpr std::size_t max_events = 16;
  static constexpr EventHandle first_event = 0x3F0004;
  std::atomic<bool>* event_flag(EventHandle e);
  std::array<std::atomic<bool>, max_events> event_set_{};
  std::atomic<std::size_t> events_made_{0};
  std::atomic<int> sleepers_{0};  // threads asleep on wake_, or about to be
  std::deque<QueuedMessage> messages_;
  std::condition_variable wake_;               // an event was set or a message queued
  std::atomic<bool> messages_waiting_{false};  // messages_ is not empty
  std::atomic<std::uint64_t> wakeups_{0};
  bool create_event_fails_ = false;
};

// The character a key gives in a window on `layout` (a third layout gives what the key gives
// in En), Shift and Caps Lock applied; none for a key outside the key table.
std::optional<char32_t> key_character(std::uint16_t vk, LayoutHandle layout, bool shift, bool caps);

// Readable names of a record and a handle, for traces and test messages.
std::string describe_record(const KeyInput& r);

}  // namespace klavix
