#include "config/file_io.h"

#include <atomic>
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
int close_file(int fd) { return _close(fd); }
constexpr int k_read = _O_RDONLY;
constexpr int k_write = _O_WRONLY;
constexpr int k_read_write = _O_RDWR;
constexpr int k_create = _O_CREAT;
constexpr int k_truncate = _O_TRUNC;
constexpr int k_exclusive = _O_EXCL;
constexpr int k_append = _O_APPEND;
#else
using Offset = off_t;
int open_file(const std::filesystem::path& p, int flags) {
  return ::open(p.c_str(), flags | O_CLOEXEC, 0666);
}
long long read_some(int fd, char* buf, std::size_t n) { return ::read(fd, buf, n); }
long long write_some(int fd, const char* buf, std::size_t n) { return ::write(fd, buf, n); }
Offset seek(int fd, Offset off, int whence) { return ::lseek(fd, off, whence); }
int close_file(int fd) { return ::close(fd); }
constexpr int k_read = O_RDONLY;
constexpr int k_write = O_WRONLY;
constexpr int k_read_write = O_RDWR;
constexpr int k_create = O_CREAT;
constexpr int k_truncate = O_TRUNC;
constexpr int k_exclusive = O_EXCL;
constexpr int k_append = O_APPEND;
#endif

// Writes are capped per call so a huge buffer never overflows the runtime's count type.
constexpr std::size_t k_chunk = 1 << 20;

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    long long n = write_some(fd, bytes.data(), bytes.size() < k_chunk ? bytes.size() : k_chunk);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool write_and_close(int fd, std::string_view bytes) {
  if (fd < 0) return false;
  bool ok = write_all(fd, bytes);
  if (close_file(fd) != 0) ok = false;
  return ok;
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

bool write_whole(const std::filesystem::path& p, std::string_view bytes) {
  return write_and_close(open_file(p, k_write | k_create | k_truncate), bytes);
}

bool create_new(const std::filesystem::path& p, std::string_view bytes) {
  return write_and_close(open_file(p, k_write | k_create | k_exclusive), bytes);
}

bool append_line(const std::filesystem::path& p, std::string_view line) {
  bool can_read = true;
  int fd = open_file(p, k_read_write | k_create | k_append);
  if (fd < 0) {
    // A file we may write but not read: we cannot see its last byte.
    can_read = false;
    fd = open_file(p, k_write | k_create | k_append);
    if (fd < 0) return false;
  }
  std::string out;
  Offset size = seek(fd, 0, SEEK_END);
  if (size > 0) {
    char last = '\n';
    if (!can_read || seek(fd, size - 1, SEEK_SET) < 0 || read_some(fd, &last, 1) != 1) {
      last = 0;  // unknown: an empty line is harmless, a joined line is not
    }
    if (last != '\n') out.push_back('\n');
  }
  out.append(line);
  out.push_back('\n');
  // Append mode puts every write at the end whatever the position after the read.
  return write_and_close(fd, out);
}

}  // namespace file_io
}  // namespace klavix
