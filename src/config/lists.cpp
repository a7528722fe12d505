#include "config/config.h"
#include "config/file_io.h"
#include "text/text.h"

namespace klavix {

namespace {

// The entry a line gives, or empty when it gives none.
std::string line_entry(std::string_view line) {
  std::string entry = text::to_lower(text::trim_white_space(line));
  if (!entry.empty() && entry[0] == '#') entry.clear();
  return entry;
}

}  // namespace

std::unordered_set<std::string> parse_list(std::string_view bytes) {
  std::unordered_set<std::string> entries;
  if (!text::is_valid_utf8(bytes)) return entries;
  file_io::for_each_line(bytes, [&](std::string_view line) {
    std::string entry = line_entry(line);
    if (!entry.empty()) entries.insert(std::move(entry));
  });
  return entries;
}

WatchedList load_list(const std::filesystem::path& path) {
  WatchedList list;
  list.path = path;
  refresh(list);
  return list;
}

void refresh(WatchedList& list) {
  std::optional<std::int64_t> now = file_io::modification_time(list.path);
  if (now && list.stamp && *now == *list.stamp) return;
  list.stamp = now;
  std::optional<std::string> bytes = file_io::read_whole(list.path);
  list.entries = bytes ? parse_list(*bytes) : std::unordered_set<std::string>{};
}

bool contains(const WatchedList& list, std::string_view entry) {
  return list.entries.find(std::string(entry)) != list.entries.end();
}

void add(WatchedList& list, std::string_view entry) { list.entries.insert(std::string(entry)); }

void append_to_list(WatchedList& list, std::string_view word) {
  std::string entry = text::to_lower(text::trim_white_space(word));
  if (entry.empty() || contains(list, entry)) return;
  // A line break inside would put a second, unintended entry into the user's file, and a line
  // that starts with # reads back as a comment: the word would hold only until the next read.
  if (entry.find_first_of("\r\n") != std::string::npos || entry[0] == '#') return;

  std::optional<std::int64_t> before = file_io::modification_time(list.path);
  file_io::append_line(list.path, entry);
  add(list, entry);
  if (before == list.stamp) {
    // Only our own write changed the file since it was read: no re-read for it.
    list.stamp = file_io::modification_time(list.path);
  } else {
    // The file changed (or vanished) since it was last read; keeping the new time would
    // hide that change, so the next refresh reads it all again.
    list.stamp = std::nullopt;
  }
}

}  // namespace klavix
