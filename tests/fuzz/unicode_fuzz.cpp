// UTF-8 and UTF-16 on any bytes. A valid text comes back unchanged from every conversion;
// invalid input is refused as a whole by the strict readers and, by the lenient ones, read
// step by step with each invalid byte (or unpaired surrogate) standing for one U+FFFD, never
// half a character and never past the end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "text/text.h"

using namespace klavix;
using klavix::fuzz::escaped;

namespace {

// What the lenient readers must give: the valid steps as they are, U+FFFD for each invalid byte.
std::string replaced(std::string_view s, std::size_t& code_points, bool& all_valid) {
  std::string out;
  code_points = 0;
  all_valid = true;
  for (std::size_t pos = 0; pos < s.size();) {
    const text::Utf8Step step = text::decode_utf8_at(s, pos);
    FUZZ_CHECK(step.length >= 1 && step.length <= 4 && pos + step.length <= s.size(),
               "step of " + std::to_string(step.length) + " bytes at " + std::to_string(pos) + " in " + escaped(s));
    if (step.valid) {
      // The step's bytes are exactly the encoding of its code point.
      std::string again;
      text::append_utf8(again, step.cp);
      FUZZ_CHECK(again == s.substr(pos, step.length), "step at " + std::to_string(pos) + " in " + escaped(s));
      out += again;
    } else {
      FUZZ_CHECK(step.length == 1, "an invalid step of several bytes in " + escaped(s));
      all_valid = false;
      text::append_utf8(out, text::replacement_char);
    }
    pos += step.length;
    ++code_points;
  }
  return out;
}

void check_utf8(std::string_view s) {
  std::size_t steps = 0;
  bool all_valid = true;
  const std::string expected = replaced(s, steps, all_valid);
  FUZZ_CHECK(text::is_valid_utf8(s) == all_valid, escaped(s));
  FUZZ_CHECK(text::count_code_points(s) == steps, escaped(s));
  const std::optional<std::u32string> cps = text::decode_utf8(s);
  FUZZ_CHECK(cps.has_value() == all_valid, "decode_utf8 of " + escaped(s));
  if (cps) {
    FUZZ_CHECK(cps->size() == steps, escaped(s));
    FUZZ_CHECK(text::encode_utf8(*cps) == s, "encode(decode) of " + escaped(s));
  }
  // Through UTF-16 and back: the text itself when valid, else each bad byte as U+FFFD.
  const std::u16string units = text::to_utf16(s);
  const std::string back = text::from_utf16(units);
  FUZZ_CHECK(back == expected, escaped(s) + " came back as " + escaped(back));
  FUZZ_CHECK(text::from_utf16_z(units.c_str(), units.size() + 1) == text::from_utf16(std::u16string_view(units.c_str())),
             escaped(s));
  // Case mappings and trimming give UTF-8 from anything.
  FUZZ_CHECK(text::is_valid_utf8(text::to_lower(s)), "to_lower of " + escaped(s));
  FUZZ_CHECK(text::is_valid_utf8(text::to_upper(s)), "to_upper of " + escaped(s));
  const std::string_view trimmed = text::trim_white_space(s);
  FUZZ_CHECK(trimmed.data() >= s.data() && trimmed.data() + trimmed.size() <= s.data() + s.size(),
             "trim left the text: " + escaped(s));
  if (!trimmed.empty()) {
    const text::Utf8Step first = text::decode_utf8_at(trimmed, 0);
    FUZZ_CHECK(!(first.valid && text::is_white_space(first.cp)), "trim kept leading space: " + escaped(s));
  }
}

void check_utf16(std::u16string_view u) {
  // Unpaired surrogates become U+FFFD; everything else comes back unit for unit.
  std::u16string expected;
  for (std::size_t i = 0; i < u.size(); ++i) {
    const char16_t c = u[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
      expected.push_back(c);
      expected.push_back(u[++i]);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      expected.push_back(u'\uFFFD');
    } else {
      expected.push_back(c);
    }
  }
  const std::string utf8 = text::from_utf16(u);
  FUZZ_CHECK(text::is_valid_utf8(utf8), "from_utf16 gave " + escaped(utf8));
  FUZZ_CHECK(text::to_utf16(utf8) == expected, "UTF-16 round trip of " + escaped(utf8));
  // The zero-terminated reader stops at the first zero unit or at its limit.
  const std::size_t limit = u.empty() ? 0 : u[0] % (u.size() + 1);
  const std::u16string_view upto = u.substr(0, limit);
  const std::size_t zero = upto.find(u'\0');
  FUZZ_CHECK(text::from_utf16_z(u.data(), limit) == text::from_utf16(upto.substr(0, zero)), escaped(utf8));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view s(reinterpret_cast<const char*>(data), size);
  check_utf8(s);
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  check_utf16(units);
  return 0;
}
