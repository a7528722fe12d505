#include "text/text.h"

#include "base/fatal.h"

namespace klavix::text {

// ---- UTF-8 ----

namespace {

constexpr bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

Utf8Step decode_utf8_at(std::string_view s, std::size_t pos) {
  require(pos < s.size(), "decode_utf8_at: position outside the string");
  const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + pos;
  const std::size_t left = s.size() - pos;
  const unsigned char b0 = p[0];
  constexpr Utf8Step bad{replacement_char, 1, false};
  if (b0 < 0x80) return {b0, 1, true};
  if (b0 < 0xC2) return bad;  // stray continuation byte or overlong two-byte lead
  if (b0 < 0xE0) {
    if (left < 2 || !is_continuation(p[1])) return bad;
    return {static_cast<char32_t>(((b0 & 0x1Fu) << 6) | (p[1] & 0x3Fu)), 2, true};
  }
  if (b0 < 0xF0) {
    if (left < 2) return bad;
    // The second byte's range excludes overlong forms (E0) and surrogates (ED).
    const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
    const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
    if (p[1] < lo || p[1] > hi) return bad;
    if (left < 3 || !is_continuation(p[2])) return bad;
    return {static_cast<char32_t>(((b0 & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu)),
            3, true};
  }
  if (b0 < 0xF5) {
    if (left < 2) return bad;
    // F0 would be overlong below 90; F4 would pass U+10FFFF above 8F.
    const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
    if (p[1] < lo || p[1] > hi) return bad;
    if (left < 4 || !is_continuation(p[2]) || !is_continuation(p[3])) return bad;
    return {static_cast<char32_t>(((b0 & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) |
                                  ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu)),
            4, true};
  }
  return bad;
}

bool is_valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const Utf8Step step = decode_utf8_at(s, i);
    if (!step.valid) return false;
    i += step.length;
  }
  return true;
}

std::optional<std::u32string> decode_utf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const Utf8Step step = decode_utf8_at(s, i);
    if (!step.valid) return std::nullopt;
    out.push_back(step.cp);
    i += step.length;
  }
  return out;
}

std::size_t count_code_points(std::string_view s) {
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    i += static_cast<unsigned char>(s[i]) < 0x80 ? 1 : decode_utf8_at(s, i).length;
    ++n;
  }
  return n;
}

void append_utf8(std::string& out, char32_t cp) {
  // Surrogates and values past U+10FFFF have no UTF-8 form.
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = replacement_char;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string encode_utf8(std::u32string_view cps) {
  std::string out;
  out.reserve(cps.size());
  for (char32_t cp : cps) append_utf8(out, cp);
  return out;
}

// ---- UTF-16 ----

std::u16string to_utf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    const Utf8Step step = decode_utf8_at(utf8, i);
    i += step.length;
    const char32_t cp = step.cp;  // U+FFFD when invalid
    if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      const char32_t v = cp - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    }
  }
  return out;
}

namespace {

// Appends the UTF-16 units of `units` (exactly `n` of them) as UTF-8.
void append_from_utf16(std::string& out, const char16_t* units, std::size_t n) {
  std::size_t i = 0;
  while (i < n) {
    const char32_t u = units[i];
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
      ++i;
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      i += 2;
      continue;
    }
    // A surrogate that is not part of a pair becomes U+FFFD in append_utf8.
    append_utf8(out, u);
    ++i;
  }
}

}  // namespace

std::string from_utf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  append_from_utf16(out, utf16.data(), utf16.size());
  return out;
}

std::string from_utf16_z(const char16_t* units, std::size_t max_units) {
  std::string out;
  if (units == nullptr) return out;
  std::size_t n = 0;
  while (n < max_units && units[n] != 0) ++n;
  out.reserve(n);
  append_from_utf16(out, units, n);
  return out;
}

}  // namespace klavix::text
