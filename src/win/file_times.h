#pragma once
// File modification times at the file system's own resolution (100 ns), for the list stamps.

namespace klavix {

// Installs the precise source into the configuration module; call before start-up.
void use_precise_file_times();

}  // namespace klavix
