#include "config/file_io.h"

#include <atomic>
#include <cstdio>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "config/config.h"

namespace klavix {

namespace {
std::atomic<std::uint64_t> metadata_queries{0};
std::atomic<std::uint64_t> reads{0};
std::atomic<ModificationTimeQuery> installed_query{nullptr};
}  // namespace

void set_modification_time_query(ModificationTimeQuery query) {
  installed_query.store(query, std::memory_order_release);
}

ListIoCounters list_io_counters() {
  return {metadata_queries.load(std::memory_order_relaxed), reads.load(std::memory_order_relaxed)};
}

namespace file_io {
namespace {

#ifdef _WIN32
using Offset = long long;
int open_file(const std::filesystem::path& p, int flags) {
  return _wopen(p.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
long long read_some(int fd, char* buf, std::size_t n) { return _read(fd, buf, static_cast<unsigned>(n)); }
long long write_some(int fd, const char* buf, std::size_t n) {
  return _write(fd, buf, static_cast<unsigned>(n));
}
Offset seek(int fd, Offset off, int whence) { return _lseeki64(fd, off, whence); }
bool truncate_file(int fd, Offset size) { return _chsize_s(fd, size) == 0; }
bool sync_file(int fd) { return _commit(fd) == 0; }
int close_file(int fd) { return _close(fd); }
constexpr int k_read = _O_RDONLY;
constexpr int k_write = _O_WRONLY;
constexpr int k_read_write = _O_RDWR;
constexpr int k_create = _O_CREAT;
constexpr int k_truncate = _O_TRUNC;
constexpr int k_append = _O_APPEND;
#else
using Offset = off_t;
int open_file(const std::filesystem::path& p, int flags) {
  return ::open(p.c_str(), flags | O_CLOEXEC, 0666);
}
long long read_some(int fd, char* buf, std::size_t n) { return ::read(fd, buf, n); }
long long write_some(int fd, const char* buf, std::size_t n) { return ::write(fd, buf, n); }
Offset seek(int fd, Offset off, int whence) { return ::lseek(fd, off, whence); }
bool truncate_file(int fd, Offset size) { return ::ftruncate(fd, size) == 0; }
bool sync_file(int fd) { return ::fsync(fd) == 0; }
int close_file(int fd) { return ::close(fd); }
constexpr int k_read = O_RDONLY;
constexpr int k_write = O_WRONLY;
constexpr int k_read_write = O_RDWR;
constexpr int k_create = O_CREAT;
constexpr int k_truncate = O_TRUNC;
constexpr int k_append = O_APPEND;
#endif

bool move_file(const std::filesystem::path& from, const std::filesystem::path& to, bool replace) {
  if (replace) {
    // rename(2) natively; the Windows build of the C++ library replaces with MoveFileExW.
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return !ec;
  }
#ifdef _WIN32
  return _wrename(from.c_str(), to.c_str()) == 0;  // fails when `to` exists
#else
  // A second name fails when `to` exists; then the first one goes.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
#endif
}

std::atomic<decltype(FileCalls::write)> installed_write{nullptr};
std::atomic<decltype(FileCalls::flush)> installed_flush{nullptr};
std::atomic<decltype(FileCalls::move)> installed_move{nullptr};

// Writes are capped per call so a huge buffer never overflows the runtime's count type.
constexpr std::size_t k_chunk = 1 << 20;

bool write_all(const FileCalls& calls, int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    long long n = calls.write(fd, bytes.data(), bytes.size() < k_chunk ? bytes.size() : k_chunk);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::filesystem::path temporary_path(const std::filesystem::path& p) {
  std::filesystem::path tmp = p;
  tmp += ".tmp";
  return tmp;
}

// Writes the bytes to `tmp` (created or truncated) and flushes them; on failure `tmp` is gone.
bool write_temporary(const FileCalls& calls, const std::filesystem::path& tmp, std::string_view bytes) {
  int fd = open_file(tmp, k_write | k_create | k_truncate);
  if (fd < 0) return false;  // nothing was created, so nothing is removed
  bool ok = write_all(calls, fd, bytes) && calls.flush(fd);
  if (close_file(fd) != 0) ok = false;
  if (!ok) {
    std::error_code ec;
    std::filesystem::remove(tmp, ec);
  }
  return ok;
}

// Writes a temporary file and moves it to `p`; on failure the temporary file is gone.
bool write_then_move(const std::filesystem::path& p, std::string_view bytes, bool replace) {
  const FileCalls calls = file_calls();
  const std::filesystem::path tmp = temporary_path(p);
  if (!write_temporary(calls, tmp, bytes)) return false;
  if (calls.move(tmp, p, replace)) return true;
  std::error_code ec;
  std::filesystem::remove(tmp, ec);
  return false;
}

}  // namespace

std::optional<std::int64_t> modification_time(const std::filesystem::path& p) {
  metadata_queries.fetch_add(1, std::memory_order_relaxed);
  if (ModificationTimeQuery query = installed_query.load(std::memory_order_acquire)) return query(p);
  std::error_code ec;
  auto t = std::filesystem::last_write_time(p, ec);
  if (ec) return std::nullopt;
  return static_cast<std::int64_t>(t.time_since_epoch().count());
}

std::optional<std::string> read_whole(const std::filesystem::path& p) {
  reads.fetch_add(1, std::memory_order_relaxed);
  int fd = open_file(p, k_read);
  if (fd < 0) return std::nullopt;
  std::string out;
  char buf[64 * 1024];
  bool ok = true;
  for (;;) {
    long long n = read_some(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {  // a folder opened on Linux ends here
      ok = false;
      break;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  close_file(fd);
  if (!ok) return std::nullopt;
  return out;
}

void set_file_calls(FileCalls calls) {
  installed_write.store(calls.write, std::memory_order_release);
  installed_flush.store(calls.flush, std::memory_order_release);
  installed_move.store(calls.move, std::memory_order_release);
}

FileCalls file_calls() {
  FileCalls calls;
  calls.write = installed_write.load(std::memory_order_acquire);
  calls.flush = installed_flush.load(std::memory_order_acquire);
  calls.move = installed_move.load(std::memory_order_acquire);
  if (calls.write == nullptr) calls.write = &write_some;
  if (calls.flush == nullptr) calls.flush = &sync_file;
  if (calls.move == nullptr) calls.move = &move_file;
  return calls;
}

bool replace_whole(const std::filesystem::path& p, std::string_view bytes) {
  // A file the user made read-only keeps its text, as it did when the text was written in
  // place: a rename alone would replace it (POSIX looks only at the folder, and so does Wine,
  // where Windows itself refuses).
  std::error_code ec;
  const std::filesystem::file_status st = std::filesystem::status(p, ec);
  if (!ec && std::filesystem::exists(st) &&
      (st.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none) {
    return false;
  }
  return write_then_move(p, bytes, true);
}

bool create_new(const std::filesystem::path& p, std::string_view bytes) {
  // A quick way out; the move checks again, so a file that appears meanwhile is kept too.
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(p, ec))) return false;
  return write_then_move(p, bytes, false);
}

bool append_line(const std::filesystem::path& p, std::string_view line) {
  std::error_code ec;
  const bool existed = std::filesystem::exists(std::filesystem::symlink_status(p, ec));
  bool can_read = true;
  int fd = open_file(p, k_read_write | k_create | k_append);
  if (fd < 0) {
    // A file we may write but not read: we cannot see its last byte.
    can_read = false;
    fd = open_file(p, k_write | k_create | k_append);
    if (fd < 0) return false;
  }
  const Offset size = seek(fd, 0, SEEK_END);
  std::string out;
  if (size > 0) {
    char last = '\n';
    if (!can_read || seek(fd, size - 1, SEEK_SET) < 0 || read_some(fd, &last, 1) != 1) {
      last = 0;  // unknown: an empty line is harmless, a joined line is not
    }
    if (last != '\n') out.push_back('\n');
  }
  out.append(line);
  out.push_back('\n');
  bool ok = false;
  // One write, so the line is all there or (after the cut) not at all. A list entry is a word;
  // one call takes up to k_chunk bytes.
  if (size >= 0 && out.size() <= k_chunk) {
    // Append mode puts the write at the end whatever the position after the read.
    const long long n = file_calls().write(fd, out.data(), out.size());
    ok = n == static_cast<long long>(out.size());
    if (!ok) truncate_file(fd, size);  // a short write may have left part of the line
  }
  if (close_file(fd) != 0) ok = false;
  // A file this call created and could not fill goes again: it was missing before.
  if (!ok && !existed && size == 0) std::filesystem::remove(p, ec);
  return ok;
}

}  // namespace file_io
}  // namespace klavix
