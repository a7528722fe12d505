#pragma once
// Decoding step shared by the layout model's hot loops.
#include <string_view>

#include "text/text.h"

namespace klavix::layout_detail {

// Decodes one character. Words here are ASCII and two-byte Cyrillic, so those two forms are
// taken without a call; everything else goes to the text module's decoder.
inline text::Utf8Step next_char(std::string_view s, std::size_t pos) {
  const auto b = static_cast<unsigned char>(s[pos]);
  if (b < 0x80) return {b, 1, true};
  if (b >= 0xC2 && b < 0xE0 && pos + 1 < s.size()) {
    const auto c = static_cast<unsigned char>(s[pos + 1]);
    if ((c & 0xC0) == 0x80) return {static_cast<char32_t>(((b & 0x1Fu) << 6) | (c & 0x3Fu)), 2, true};
  }
  return text::decode_utf8_at(s, pos);
}

}  // namespace klavix::layout_detail
