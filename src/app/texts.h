#pragma once
// Everything the program says to the user, in one copy for the Windows shell, the engine and
// the tests. UTF-8; dashes are U+2014, quotation marks U+00AB/U+00BB, "…" is U+2026.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "config/config.h"

namespace klavix {

// Caption of every message box.
inline constexpr std::string_view app_caption = "Клавикс";

// Message box when another copy is already running.
inline constexpr std::string_view second_copy_text =
    "Клавикс уже запущена: значок «Ая» в области уведомлений.";

// The version the build defines, as people read it: "0.1" for 0.1.0, "0.1.2" for 0.1.2.
std::string_view version_text();

// ---- Welcome balloon and help box ({0} word hotkey, {1} selection hotkey, {2} folder,
// {3} version) ----

inline constexpr std::string_view welcome_title = "Клавикс запущена";
inline constexpr std::string_view welcome_template =
    "{0} — исправить слово, {1} — выделенный текст. Меню — правый клик по значку.";

inline constexpr std::string_view help_template =
    "Клавикс {3}\n"
    "\n"
    "{0} — исправить последнее слово. Нажмите ещё раз, чтобы вернуть как было.\n"
    "{0}, если слово не набрано, — просто сменить раскладку.\n"
    "{1} — исправить выделенный текст.\n"
    "\n"
    "Автопереключение срабатывает после пробела. Если оно ошиблось, нажмите {0}: слово вернётся "
    "как было. После третьей отмены одного и того же слова программа спросит, добавить ли его в "
    "исключения.\n"
    "\n"
    "Нечаянный Caps Lock: «дОБАВЬ» после пробела станет «Добавь», а Caps Lock выключится. {0} "
    "сразу после этого вернёт как было. Для выделенного текста — {1}.\n"
    "\n"
    "Программа ничего не отправляет в интернет и не сохраняет набранный текст.\n"
    "Настройки: {2}";

struct BalloonText {
  std::string title;
  std::string text;
  friend bool operator==(const BalloonText&, const BalloonText&) = default;
};

// The welcome balloon with the two hotkeys of `s`.
BalloonText welcome_text(const Settings& s);
// The help box text: the program's name and version, the two hotkeys of `s` and the settings
// folder (not a file in it).
std::string help_text(const Settings& s, const std::filesystem::path& folder);

// ---- Exception prompt ----

// Undos of the same word before the prompt; also the number the prompt shows.
inline constexpr std::uint32_t exception_prompt_threshold = 3;
// First {} the word key, second {} the threshold.
inline constexpr std::string_view exception_prompt_template =
    "Исправление слова «{}» отменили уже {} раза.\n\nДобавить его в исключения? Тогда "
    "автопереключение больше не будет его трогать.\n\nЕсли это пароль или другие личные данные, "
    "нажмите «Нет»: исключения хранятся в обычном текстовом файле.";
std::string exception_prompt_text(std::string_view word);

// ---- Tray ----

inline constexpr std::string_view tooltip_running = "Клавикс — работает";
inline constexpr std::string_view tooltip_paused = "Клавикс — пауза";
inline std::string_view tooltip_text(bool paused) { return paused ? tooltip_paused : tooltip_running; }

// One item of the tray menu in its order; a separator has id 0 and no text.
struct MenuItemText {
  std::uint16_t id;
  std::string_view text;
};

inline constexpr std::array<MenuItemText, 12> menu_items{{
    {1, "Автопереключение"},
    {10, "Исправлять нечаянный Caps Lock"},
    {2, "Приостановить всё"},
    {0, ""},
    {3, "Слова-исключения…"},
    {4, "Программы-исключения…"},
    {9, "Папка настроек"},
    {5, "Перечитать настройки"},
    {6, "Запускать вместе с Windows"},
    {0, ""},
    {7, "Горячие клавиши и справка"},
    {8, "Выход"},
}};

}  // namespace klavix
