#pragma once
// A settings folder of the harness's own, made at the first input and removed at exit.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <fstream>
#include <unistd.h>

#include "config/config.h"

namespace klavix::fuzz {

inline const std::filesystem::path& folder() {
  static const std::filesystem::path dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "klavix-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    set_settings_dir_override(std::filesystem::path(pattern));
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(folder(), ec);
    });
    return std::filesystem::path(pattern);
  }();
  return dir;
}

inline void write_bytes(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_bytes(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

}  // namespace klavix::fuzz
