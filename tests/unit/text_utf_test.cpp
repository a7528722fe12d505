#include <gtest/gtest.h>

#include "text/text.h"

namespace klavix::text {
namespace {

TEST(Utf8Smoke, RoundTrip) {
  const std::string s = "ghbdtn привет";
  EXPECT_TRUE(is_valid_utf8(s));
  EXPECT_EQ(from_utf16(to_utf16(s)), s);
  EXPECT_EQ(to_lower("ПРИВЕТ"), "привет");
}

}  // namespace
}  // namespace klavix::text
