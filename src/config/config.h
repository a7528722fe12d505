#pragma once
// Configuration: the settings folder and its files, settings.ini, the hotkey syntax and the
// two watched list files (exceptions.txt, apps.txt). std::filesystem only.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace klavix {

// ---- Hotkeys ----

struct Hotkey {
  std::uint16_t vk = 0;  // 0 matches no key
  std::uint8_t ctrl = 0;
  std::uint8_t alt = 0;
  std::uint8_t shift = 0;
  std::uint8_t win = 0;
  friend bool operator==(const Hotkey&, const Hotkey&) = default;
};

std::optional<Hotkey> parse_hotkey(std::string_view text);
std::string format_hotkey(const Hotkey& h);

// ---- Settings folder ----

// %APPDATA%\Klavix, or .\Klavix when APPDATA is unset; read anew at every call.
std::filesystem::path settings_dir();
// Process-wide replacement for settings_dir() (the simulator names the folder itself); while
// set, settings_dir() returns it as is. Set it before other threads start.
void set_settings_dir_override(std::optional<std::filesystem::path> dir);
std::filesystem::path settings_path();
std::filesystem::path exceptions_path();
std::filesystem::path apps_path();
std::filesystem::path welcome_marker_path();

// A path as UTF-8 text for the user (help box, shell calls); what cannot be represented
// becomes U+FFFD.
std::string path_text(const std::filesystem::path& p);

// Default contents of the two list files, byte for byte.
std::string_view default_exceptions_text();
std::string_view default_apps_text();

// ---- settings.ini ----

struct Settings {
  Hotkey hotkey_word;
  Hotkey hotkey_selection;
  bool autoswitch = true;
  bool capsfix = true;
  friend bool operator==(const Settings&, const Settings&) = default;
};

Settings default_settings();
Settings load_settings();                 // never fails: defaults for whatever cannot be read
void save_settings(const Settings& s);    // the ten-line template, replaced whole; failures are ignored
std::string render_settings(const Settings& s);  // the text save_settings writes
Settings parse_settings(std::string_view file_bytes);  // the reader's rules on a file's bytes

// ---- Watched list files ----

// A list file held in memory and read again when the file's modification time changes.
struct WatchedList {
  std::filesystem::path path;
  std::unordered_set<std::string> entries;
  std::optional<std::int64_t> stamp;
};

WatchedList load_list(const std::filesystem::path& path);
void refresh(WatchedList& list);
bool contains(const WatchedList& list, std::string_view entry);
void add(WatchedList& list, std::string_view entry);
// The entries a list file's bytes give (trim, lowercase, skip empty and # lines).
std::unordered_set<std::string> parse_list(std::string_view file_bytes);
// Appends a word to the list's file (exceptions.txt) and to the in-memory list.
void append_to_list(WatchedList& list, std::string_view word);

// How often the list operations touched the file system, so that the cost of an unchanged
// file (one metadata query, no read) can be checked. Counts only ever grow.
struct ListIoCounters {
  std::uint64_t metadata_queries = 0;
  std::uint64_t reads = 0;
};
ListIoCounters list_io_counters();

// Where every file's last-modification time comes from (the list stamps, the start-up checks).
// The default asks the C++ library, whose Windows build sees whole seconds only, so two saves
// within one second would look like one; the Windows shell installs a finer source before
// start-up. Null restores the default. Install it before other threads start.
using ModificationTimeQuery = std::optional<std::int64_t> (*)(const std::filesystem::path&);
void set_modification_time_query(ModificationTimeQuery query);

}  // namespace klavix
