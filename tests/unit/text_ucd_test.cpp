// Every code point against the Unicode Character Database files themselves, read here with a
// parser of their own, so that a fault in the packing of the tables or in their lookup (a run
// cut short, a stride applied to the wrong range, the edge of the low bitmap) shows up. The
// files come from Debian's unicode-data package; without them the test is skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "text/text.h"

namespace klavix::text {
namespace {

constexpr char32_t code_space = 0x110000;

std::string ucd_dir() {
  const char* dir = std::getenv("KLAVIX_UCD_DIR");
  return dir != nullptr ? dir : "/usr/share/unicode";
}

bool read_lines(const std::string& name, std::vector<std::string>& lines) {
  std::ifstream in(ucd_dir() + "/" + name);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return true;
}

// Fields of a data line, comment cut off and blanks trimmed.
std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> out;
  const std::string body = line.substr(0, line.find('#'));
  std::stringstream ss(body);
  for (std::string f; std::getline(ss, f, ';');) {
    const auto b = f.find_first_not_of(' ');
    const auto e = f.find_last_not_of(' ');
    out.push_back(b == std::string::npos ? "" : f.substr(b, e - b + 1));
  }
  return out;
}

std::u32string code_points_of(const std::string& text) {
  std::u32string out;
  std::stringstream ss(text);
  for (std::string hex; ss >> hex;) out.push_back(static_cast<char32_t>(std::stoul(hex, nullptr, 16)));
  return out;
}

std::vector<bool> property_set(const std::vector<std::string>& lines, const std::string& name) {
  std::vector<bool> set(code_space, false);
  for (const std::string& line : lines) {
    const auto f = fields_of(line);
    if (f.size() < 2 || f[1] != name) continue;
    const auto dots = f[0].find("..");
    const unsigned long first = std::stoul(f[0].substr(0, dots), nullptr, 16);
    const unsigned long last =
        dots == std::string::npos ? first : std::stoul(f[0].substr(dots + 2), nullptr, 16);
    for (unsigned long cp = first; cp <= last; ++cp) set[cp] = true;
  }
  return set;
}

class UcdFiles : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    loaded_ = read_lines("DerivedCoreProperties.txt", derived_) &&
              read_lines("PropList.txt", proplist_) &&
              read_lines("UnicodeData.txt", unicode_data_) &&
              read_lines("SpecialCasing.txt", special_);
  }
  void SetUp() override {
    if (!loaded_) GTEST_SKIP() << "UCD files not found in " << ucd_dir();
  }

  static bool loaded_;
  static std::vector<std::string> derived_, proplist_, unicode_data_, special_;
};

bool UcdFiles::loaded_ = false;
std::vector<std::string> UcdFiles::derived_, UcdFiles::proplist_, UcdFiles::unicode_data_,
    UcdFiles::special_;

TEST_F(UcdFiles, PropertiesOfEveryCodePoint) {
  struct Prop {
    const char* name;
    const std::vector<std::string>& file;
    bool (*fn)(char32_t);
  };
  const Prop props[] = {
      {"Alphabetic", derived_, is_alphabetic},
      {"Lowercase", derived_, is_lowercase},
      {"Uppercase", derived_, is_uppercase},
      {"White_Space", proplist_, is_white_space},
  };
  for (const Prop& p : props) {
    SCOPED_TRACE(p.name);
    const std::vector<bool> expected = property_set(p.file, p.name);
    std::size_t members = 0;
    for (char32_t cp = 0; cp < code_space; ++cp) {
      members += expected[cp];
      if (p.fn(cp) != expected[cp]) {
        ADD_FAILURE() << "U+" << std::hex << static_cast<std::uint32_t>(cp);
        break;
      }
    }
    EXPECT_GT(members, 0u);
  }
}

TEST_F(UcdFiles, FullCaseMappingsOfEveryCodePoint) {
  // Simple mappings first, then the unconditional full ones over them.
  std::map<char32_t, std::u32string> lower;
  std::map<char32_t, std::u32string> upper;
  for (const std::string& line : unicode_data_) {
    const auto f = fields_of(line);
    if (f.size() < 14) continue;
    const auto cp = static_cast<char32_t>(std::stoul(f[0], nullptr, 16));
    if (!f[12].empty()) upper[cp] = code_points_of(f[12]);
    if (!f[13].empty()) lower[cp] = code_points_of(f[13]);
  }
  std::size_t unconditional = 0;
  for (const std::string& line : special_) {
    const auto f = fields_of(line);
    if (f.size() < 4 || (f.size() > 4 && !f[4].empty())) continue;
    const auto cp = static_cast<char32_t>(std::stoul(f[0], nullptr, 16));
    lower[cp] = code_points_of(f[1]);
    upper[cp] = code_points_of(f[3]);
    ++unconditional;
  }
  EXPECT_GT(unconditional, 100u);

  std::size_t multi = 0;
  std::u32string got_lower;
  std::u32string got_upper;
  auto lower_it = lower.begin();
  auto upper_it = upper.begin();
  for (char32_t cp = 0; cp < code_space; ++cp) {
    // Both maps are walked in code point order beside the loop.
    const char32_t self[] = {cp};
    std::u32string_view want_lower(self, 1);
    std::u32string_view want_upper(self, 1);
    if (lower_it != lower.end() && lower_it->first == cp) want_lower = (lower_it++)->second;
    if (upper_it != upper.end() && upper_it->first == cp) want_upper = (upper_it++)->second;
    multi += want_upper.size() > 1;
    got_lower.clear();
    got_upper.clear();
    append_lower(got_lower, cp);
    append_upper(got_upper, cp);
    if (got_lower != want_lower || got_upper != want_upper) {
      ADD_FAILURE() << "U+" << std::hex << static_cast<std::uint32_t>(cp);
      break;
    }
  }
  EXPECT_GT(multi, 90u);  // the ligatures, Greek iota forms and the like
}

}  // namespace
}  // namespace klavix::text
