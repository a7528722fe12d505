#pragma once
// The last step of every whole-file write of the configuration (settings.ini, the default list
// files): the finished temporary file takes the file's name through MoveFileExW, written
// through to the disk before the call returns.

namespace klavix {

// Installs the system's move into the configuration's file layer; call before start-up.
void use_system_file_moves();

}  // namespace klavix
