// Core headers come before <windows.h>: its macros would clash with the core's constants.
#include "config/config.h"
#include "win/file_times.h"

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>

namespace klavix {

namespace {

// The C++ library's Windows build rounds to whole seconds; this keeps the 100 ns FILETIME.
std::optional<std::int64_t> last_write_filetime(const std::filesystem::path& p) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                   data.ftLastWriteTime.dwLowDateTime);
}

}  // namespace

void use_precise_file_times() { set_modification_time_query(&last_write_filetime); }

}  // namespace klavix
