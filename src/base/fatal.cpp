#include "base/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace klavix {

void fatal(const char* message) {
  std::fprintf(stderr, "klavix: fatal: %s\n", message);
  std::fflush(stderr);
  std::_Exit(70);
}

void fatal(const char* message, std::uint32_t system_error) {
  std::fprintf(stderr, "klavix: fatal: %s (error %lu)\n", message,
               static_cast<unsigned long>(system_error));
  std::fflush(stderr);
  std::_Exit(70);
}

}  // namespace klavix
