// klavix.exe: a GUI-subsystem program with no window of its own; the command line is not read.
#include <windows.h>

#include "win/boundary.h"
#include "win/program.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return klavix::at_boundary("start-up failed", [] { return klavix::run_program(); });
}
