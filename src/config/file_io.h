#pragma once
// The few file operations the configuration needs, with exact control over how a file is
// opened: whole reads, whole replacements, create-only writes and appends. None of them ever
// leaves a file half written. Paths go to
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

// Puts `bytes` in the place of the file, whole or not at all: the text goes to a temporary
// file beside it (same name, ".tmp" added), is flushed to the disk and then takes the file's
// place in one step. A read-only file is left alone. On any failure the old file stays as it
// was and the temporary file is gone. False on any failure.
bool replace_whole(const std::filesystem::path& p, std::string_view bytes);

// Creates the file only when nothing of that name exists, so a file that appeared meanwhile
// is never truncated; like replace_whole it appears with all its bytes or not at all. False
// when it existed or on any failure.
bool create_new(const std::filesystem::path& p, std::string_view bytes);

// Appends `line` and an LF, creating the file if needed. When the file does not end with an
// LF, a separating LF goes first so the new line never joins the last one. Existing bytes are
// never rewritten, and the new bytes go in one write: when it falls short, the file is cut
// back to its old size, so no half line stays. False on any failure.
bool append_line(const std::filesystem::path& p, std::string_view line);

// The calls through which the layer changes files: tests put failing ones in, and the Windows
// shell puts in the system's own move. A null member means the built-in one.
struct FileCalls {
  // Writes up to n bytes at the file's position; the count written, or -1.
  long long (*write)(int fd, const char* buf, std::size_t n) = nullptr;
  // Pushes what was written to the disk; false on failure.
  bool (*flush)(int fd) = nullptr;
  // Gives `from` the name `to` in one step. With `replace`, a file named `to` is replaced;
  // without, the move fails when anything has that name. On failure `from` stays as it was.
  bool (*move)(const std::filesystem::path& from, const std::filesystem::path& to, bool replace) = nullptr;
};
// Installs the calls (before other threads start); FileCalls{} restores the built-in ones.
void set_file_calls(FileCalls calls);
// The calls in use, every member filled in: a test's failing call can hand on to them.
FileCalls file_calls();

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
