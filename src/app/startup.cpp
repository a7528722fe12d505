#include "app/startup.h"

#include <system_error>

#include "config/file_io.h"

namespace klavix {

bool prepare_settings(Runtime& rt) {
  std::error_code ec;
  std::filesystem::create_directories(settings_dir(), ec);

  bool first_run = !file_io::modification_time(settings_path()).has_value();
  if (first_run) save_settings(default_settings());
  // Create-only: a list file that appears between the check and the write keeps its lines,
  // and a new one appears with all its default lines or not at all.
  if (!file_io::modification_time(exceptions_path())) {
    file_io::create_new(exceptions_path(), default_exceptions_text());
  }
  if (!file_io::modification_time(apps_path())) {
    file_io::create_new(apps_path(), default_apps_text());
  }

  apply_settings(rt, load_settings());
  return first_run;
}

bool welcome_due() {
  std::filesystem::path marker = welcome_marker_path();
  if (file_io::modification_time(marker)) return false;
  file_io::create_new(marker, "");
  return true;
}

}  // namespace klavix
