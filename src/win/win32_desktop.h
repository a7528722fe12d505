#pragma once
// The desktop of a real Windows session: every method is the Win32 call its comment in
// desktop/desktop.h names, with records and text translated at the boundary.
#include "desktop/desktop.h"

namespace klavix {

class Win32Desktop final : public Desktop {
 public:
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
  int message_box(WindowHandle owner, std::string_view text, std::string_view caption,
                  std::uint32_t style) override;

  void sleep_ms(std::uint32_t ms) override;
  std::chrono::steady_clock::time_point now() override;
};

}  // namespace klavix
