// The foreground check made before any automatic change to a word.
#include "engine/engine.h"
#include "text/text.h"

namespace klavix {

namespace {

constexpr std::uint32_t image_path_units = 1024;
constexpr int class_name_units = 128;
constexpr std::uint32_t gui_thread_info_size = 72;
constexpr std::uint32_t monitor_info_size = 40;

bool listed_program(Desktop& d, const WatchedList& apps) {
  std::uint32_t pid = 0;
  d.window_thread_process_id(d.foreground_window(), &pid);
  if (pid == 0) return false;
  const ProcessHandle p = d.open_process(win::PROCESS_QUERY_LIMITED_INFORMATION, false, pid);
  if (p == 0) return false;
  const std::optional<std::u16string> path = d.query_full_process_image_name(p, 0, image_path_units);
  d.close_handle(p);
  if (!path) return false;
  const std::string utf8 = text::from_utf16(*path);
  const std::size_t cut = utf8.find_last_of("\\/");
  const std::string name = text::to_lower(cut == std::string::npos ? std::string_view(utf8)
                                                                    : std::string_view(utf8).substr(cut + 1));
  return !name.empty() && !apps.entries.empty() && contains(apps, name);
}

bool password_field(Desktop& d) {
  const std::uint32_t thread = d.window_thread_process_id(d.foreground_window(), nullptr);
  GuiThreadInfo info;
  info.size = gui_thread_info_size;
  if (!d.gui_thread_info(thread, info) || info.focus == 0) return false;
  const std::string cls = text::to_lower(text::from_utf16(d.class_name(info.focus, class_name_units)));
  if (cls.find("edit") == std::string::npos) return false;
  const auto style = static_cast<std::uint32_t>(d.window_long(info.focus, win::GWL_STYLE));
  return (style & win::ES_PASSWORD) != 0;
}

bool full_screen(Desktop& d) {
  const WindowHandle fg = d.foreground_window();
  if (fg == 0) return false;
  const std::string cls = text::from_utf16(d.class_name(fg, class_name_units));
  if (cls == "Progman" || cls == "WorkerW") return false;
  Rect r;
  if (!d.window_rect(fg, r)) return false;
  const MonitorHandle m = d.monitor_from_window(fg, win::MONITOR_DEFAULTTONEAREST);
  MonitorInfo mi;
  mi.size = monitor_info_size;
  if (!d.monitor_info(m, mi)) return false;
  const auto style = static_cast<std::uint32_t>(d.window_long(fg, win::GWL_STYLE));
  const bool captioned = (style & win::WS_CAPTION) == win::WS_CAPTION;
  const bool covers = r.left <= mi.monitor.left && r.top <= mi.monitor.top && r.right >= mi.monitor.right &&
                      r.bottom >= mi.monitor.bottom;
  return !captioned && covers;
}

}  // namespace

bool is_excluded_context(Desktop& d, WatchedList& apps) {
  refresh(apps);
  // Each test reads the foreground window anew.
  return listed_program(d, apps) || password_field(d) || full_screen(d);
}

}  // namespace klavix
