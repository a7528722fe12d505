// Core headers come before <windows.h>: its macros would clash with the core's constants.
#include "config/file_io.h"
#include "win/file_moves.h"

#include <windows.h>

#include <filesystem>

namespace klavix {

namespace {

// One step: either the new file has the name or the old one still does. A file that is open
// without FILE_SHARE_DELETE elsewhere, or read-only, is not replaced; the move fails and the
// layer removes its temporary file.
bool move_file(const std::filesystem::path& from, const std::filesystem::path& to, bool replace) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  return MoveFileExW(from.c_str(), to.c_str(), flags) != 0;
}

}  // namespace

void use_system_file_moves() {
  file_io::FileCalls calls;
  calls.move = &move_file;
  file_io::set_file_calls(calls);
}

}  // namespace klavix
