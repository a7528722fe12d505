#pragma once
// The few file operations the configuration needs, with exact control over how a file is
// opened: whole reads, create-or-truncate writes, create-only writes and appends. Paths go to
// the C runtime as UTF-16 on Windows, so folders with non-ASCII names work.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace klavix::file_io {

// The last-modification time, or none when the metadata cannot be read (usually: no file).
std::optional<std::int64_t> modification_time(const std::filesystem::path& p);

// The whole file, or none when it cannot be opened or read (a folder, for instance).
std::optional<std::string> read_whole(const std::filesystem::path& p);

// Creates or truncates the file and writes all bytes. False on any failure.
bool write_whole(const std::filesystem::path& p, std::string_view bytes);

// Creates the file only when nothing of that name exists, so a file that appeared meanwhile
// is never truncated. False when it existed or on any failure.
bool create_new(const std::filesystem::path& p, std::string_view bytes);

// Appends `line` and an LF, creating the file if needed. When the file does not end with an
// LF, a separating LF goes first so the new line never joins the last one. Existing bytes are
// never rewritten. False on any failure.
bool append_line(const std::filesystem::path& p, std::string_view line);

// Calls f with each line of a file's text, in order: split at LF, one CR right before the LF
// dropped, a last line without LF (even an empty one) counted too. Both readers share this rule.
template <class F>
void for_each_line(std::string_view bytes, F&& f) {
  std::size_t pos = 0;
  while (pos <= bytes.size()) {
    const std::size_t lf = bytes.find('\n', pos);
    std::string_view line = bytes.substr(pos, lf == std::string_view::npos ? lf : lf - pos);
    pos = lf == std::string_view::npos ? bytes.size() + 1 : lf + 1;
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    f(line);
  }
}

}  // namespace klavix::file_io
