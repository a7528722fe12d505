// Hotkey texts. Every text that parses gives a hotkey with a key; formatted and parsed again it
// is the same hotkey, and its formatted text is a fixed point. Any hotkey record (also one no
// text gives, as a damaged record might hold) formats to a non-empty UTF-8 text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/config.h"
#include "fuzz_check.h"
#include "text/text.h"

using namespace klavix;
using klavix::fuzz::escaped;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view s(reinterpret_cast<const char*>(data), size);
  if (const std::optional<Hotkey> h = parse_hotkey(s)) {
    FUZZ_CHECK(h->vk != 0, escaped(s) + " parsed without a key");
    const std::string text = format_hotkey(*h);
    const std::optional<Hotkey> again = parse_hotkey(text);
    FUZZ_CHECK(again && *again == *h, escaped(s) + " formats as " + escaped(text) + ", which parses otherwise");
    FUZZ_CHECK(format_hotkey(*again) == text, escaped(text));
  }
  if (size >= 3) {
    Hotkey h;
    h.vk = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
    h.ctrl = data[2] & 1;
    h.alt = (data[2] >> 1) & 1;
    h.shift = (data[2] >> 2) & 1;
    h.win = (data[2] >> 3) & 1;
    const std::string text = format_hotkey(h);
    FUZZ_CHECK(!text.empty() && text::is_valid_utf8(text), escaped(text));
  }
  return 0;
}
