#include "base/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace klavix {

namespace {
[[noreturn]] void end_process() {
#ifdef KLAVIX_FATAL_ABORTS
  // The fuzzers' build: libFuzzer keeps the input that led here only when the process aborts.
  std::abort();
#else
  std::_Exit(70);
#endif
}
}  // namespace

void fatal(const char* message) {
  std::fprintf(stderr, "klavix: fatal: %s\n", message);
  std::fflush(stderr);
  end_process();
}

void fatal(const char* message, std::uint32_t system_error) {
  std::fprintf(stderr, "klavix: fatal: %s (error %lu)\n", message,
               static_cast<unsigned long>(system_error));
  std::fflush(stderr);
  end_process();
}

}  // namespace klavix
