#pragma once
// Broken invariants end the process here, never by unwinding through a caller.
#include <cstdint>

namespace klavix {

[[noreturn]] void fatal(const char* message);
[[noreturn]] void fatal(const char* message, std::uint32_t system_error);

// Cheap invariant check that stays on in release builds.
inline void require(bool ok, const char* message) {
  if (!ok) fatal(message);
}

}  // namespace klavix
