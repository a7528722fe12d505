#pragma once
// What every harness shares: a property that does not hold prints what it saw and aborts, so
// libFuzzer keeps the input as a reproducer.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace klavix::fuzz {

// The bytes of a text as C escapes, for a failure's message.
inline std::string escaped(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

[[noreturn]] inline void fail(const char* file, int line, const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s:%d: property does not hold: %s\n%s\n", file, line, what, detail.c_str());
  std::abort();
}

}  // namespace klavix::fuzz

// FUZZ_CHECK(condition, detail): detail is a std::string built only when the check fails.
#define FUZZ_CHECK(cond, detail)                                  \
  do {                                                            \
    if (!(cond)) ::klavix::fuzz::fail(__FILE__, __LINE__, #cond, (detail)); \
  } while (0)
