#pragma once
// The whole life of the process on the main thread: single instance, settings, engine thread,
// hooks, tray, message loop, shutdown. Returns the exit code.

namespace klavix {

inline constexpr const char* single_instance_mutex_name = "Local\\KlavixSingleInstance";
inline constexpr unsigned engine_stack_reservation = 0x200000;  // 2 MiB

int run_program();

}  // namespace klavix
