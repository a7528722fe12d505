#include "base/fatal.h"
#include "config/config.h"
#include "config/file_io.h"
#include "text/text.h"

namespace klavix {

Settings default_settings() {
  std::optional<Hotkey> word = parse_hotkey("Pause");
  std::optional<Hotkey> selection = parse_hotkey("Shift+Pause");
  require(word.has_value() && selection.has_value(), "built-in hotkeys do not parse");
  Settings s;
  s.hotkey_word = *word;
  s.hotkey_selection = *selection;
  s.autoswitch = true;
  s.capsfix = true;
  return s;
}

std::string render_settings(const Settings& s) {
  std::string out;
  out += "# Настройки программы «Клавикс». После правки выберите в меню значка «Перечитать настройки».\n";
  out += "# Автопереключение после пробела: 1 — включено, 0 — выключено\n";
  out += "autoswitch = ";
  out += s.autoswitch ? "1" : "0";
  out += "\n";
  out += "# Исправлять слова, набранные с нечаянным Caps Lock («дОБАВЬ» → «Добавь»): 1 — да, 0 — нет\n";
  out += "capsfix = ";
  out += s.capsfix ? "1" : "0";
  out += "\n";
  out += "# Исправить последнее слово (или просто сменить раскладку, если слова нет).\n";
  out += "# Примеры: Pause, ScrollLock, Ctrl+Shift+Space, Alt+F12\n";
  out += "hotkey_word = ";
  out += format_hotkey(s.hotkey_word);
  out += "\n";
  out += "# Исправить выделенный текст\n";
  out += "hotkey_selection = ";
  out += format_hotkey(s.hotkey_selection);
  out += "\n";
  return out;
}

Settings parse_settings(std::string_view bytes) {
  Settings s = default_settings();
  if (!text::is_valid_utf8(bytes)) return s;
  file_io::for_each_line(bytes, [&](std::string_view line) {
    std::string_view trimmed = text::trim_white_space(line);
    if (!trimmed.empty() && (trimmed[0] == '#' || trimmed[0] == ';')) return;
    std::size_t eq = trimmed.find('=');
    if (eq == std::string_view::npos) return;
    std::string key = text::to_lower(text::trim_white_space(trimmed.substr(0, eq)));
    std::string_view value = text::trim_white_space(trimmed.substr(eq + 1));

    if (key == "autoswitch") {
      s.autoswitch = value != "0";
    } else if (key == "capsfix") {
      s.capsfix = value != "0";
    } else if (key == "hotkey_word") {
      if (std::optional<Hotkey> h = parse_hotkey(value)) s.hotkey_word = *h;
    } else if (key == "hotkey_selection") {
      if (std::optional<Hotkey> h = parse_hotkey(value)) s.hotkey_selection = *h;
    }
  });
  return s;
}

Settings load_settings() {
  std::optional<std::string> bytes = file_io::read_whole(settings_path());
  if (!bytes) return default_settings();
  return parse_settings(*bytes);
}

void save_settings(const Settings& s) {
  // Replaced whole or not at all, so a crash or a full disk never leaves a half file (which
  // would read as the defaults). A failure keeps the old file and leaves the program running
  // on the values in memory.
  file_io::replace_whole(settings_path(), render_settings(s));
}

}  // namespace klavix
