// A failure inside a procedure that Windows calls ends the process through fatal, never by
// unwinding into the system's frames.
#include <gtest/gtest.h>

#include "win/boundary.h"

#include <windows.h>

#include <new>
#include <stdexcept>

namespace klavix {
namespace {

TEST(CallbackBoundary, ValuesPassThrough) {
  EXPECT_EQ(at_boundary("unused", [] { return 42; }), 42);
  EXPECT_TRUE(at_boundary("unused", [] { return true; }));
}

void throw_int() { at_boundary("callback failed", []() -> int { throw 7; }); }
void throw_logic() { at_boundary("callback failed", []() -> int { throw std::logic_error("broken"); }); }
void throw_bad_alloc() { at_boundary("callback failed", []() -> int { throw std::bad_alloc(); }); }

TEST(CallbackBoundaryDeathTest, EveryFailureEndsTheProcessWithItsMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* name;
    void (*body)();
    const char* message;
  } cases[] = {
      {"any thrown value", throw_int, "callback failed"},
      {"a standard exception", throw_logic, "callback failed"},
      {"allocation failure", throw_bad_alloc, "out of memory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(c.body(), ::testing::ExitedWithCode(70), c.message);
  }
}

}  // namespace
}  // namespace klavix
