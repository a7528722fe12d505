// Keystroke rendering and text conversion. Keys rendered in one layout and converted give what
// the same keys render in the other, and converting back gives the first text again; any text
// whose characters all have a key comes back from a conversion there and back unchanged. The
// first byte picks the part: keys from the bytes, or the bytes as text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "layout/layout.h"
#include "text/text.h"

using namespace klavix;
using klavix::fuzz::escaped;

namespace {

bool has_letter(std::string_view s, Layout l) {
  const std::optional<std::u32string> cps = text::decode_utf8(s);
  for (char32_t c : cps.value_or(U"")) {
    if (is_letter(c, l)) return true;
  }
  return false;
}

// Each byte one key: its row, Shift from the top bit; Caps Lock on for the whole run when
// `caps`, and then only the rendering (not the conversion, which knows no Caps Lock) is checked.
void check_keys(const std::uint8_t* data, std::size_t size, bool caps) {
  std::vector<Keystroke> keys;
  const auto table = key_table();
  for (std::size_t i = 0; i < size; ++i) {
    Keystroke k;
    k.vk = table[(data[i] & 0x7F) % key_table_rows].vk();
    k.shift = data[i] >> 7;
    k.caps = caps;
    k.layout = (i & 1) ? Layout::Ru : Layout::En;  // ignored by the rendering
    keys.push_back(k);
  }
  const std::string en = render_keystrokes(keys, 0, keys.size(), Layout::En);
  const std::string ru = render_keystrokes(keys, 0, keys.size(), Layout::Ru);
  FUZZ_CHECK(text::is_valid_utf8(en) && text::is_valid_utf8(ru), escaped(en) + " / " + escaped(ru));
  FUZZ_CHECK(text::count_code_points(en) == keys.size() && text::count_code_points(ru) == keys.size(),
             "one character per key: " + escaped(en) + " / " + escaped(ru));
  // A part of the keys renders as that part of the whole.
  const std::size_t mid = keys.size() / 2;
  FUZZ_CHECK(render_keystrokes(keys, 0, mid, Layout::En) + render_keystrokes(keys, mid, keys.size(), Layout::En) == en,
             escaped(en));
  if (caps) return;
  const ConvertedText to_ru = convert_text(en);
  FUZZ_CHECK(to_ru.source == Layout::En && to_ru.text == ru,
             escaped(en) + " converted to " + escaped(to_ru.text) + ", its keys give " + escaped(ru));
  if (has_letter(ru, Layout::Ru)) {
    const ConvertedText back = convert_text(ru);
    FUZZ_CHECK(back.source == Layout::Ru && back.text == en,
               escaped(ru) + " converted to " + escaped(back.text) + ", its keys give " + escaped(en));
  }
}

bool every_character_has_a_key(std::string_view s, Layout l) {
  const std::optional<std::u32string> cps = text::decode_utf8(s);
  if (!cps) return false;
  for (char32_t c : *cps) {
    bool found = false;
    for (const KeyRow& row : key_table()) found = found || row.lower(l) == c || row.upper(l) == c;
    if (!found) return false;
  }
  return true;
}

void check_text(std::string_view s) {
  const ConvertedText once = convert_text(s);
  FUZZ_CHECK(once.target == other_layout(once.source) && once.source != Layout::Other, escaped(s));
  // What is not UTF-8 passes through, so the result is UTF-8 exactly when the text was.
  FUZZ_CHECK(text::is_valid_utf8(once.text) == text::is_valid_utf8(s), escaped(s) + " gave " + escaped(once.text));
  const ConvertedText twice = convert_text(once.text);
  if (every_character_has_a_key(s, once.source) && twice.source == once.target) {
    FUZZ_CHECK(twice.text == s, escaped(s) + " gave " + escaped(once.text) + ", and back " + escaped(twice.text));
  }
  for (std::size_t i = 0; i < s.size(); ++i) {
    const std::string swapped = swap_case(static_cast<unsigned char>(s[i]) * 0x101u);
    FUZZ_CHECK(text::is_valid_utf8(swapped) && !swapped.empty(), escaped(swapped));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  switch (data[0] % 3) {
    case 0: check_keys(data + 1, size - 1, false); break;
    case 1: check_keys(data + 1, size - 1, true); break;
    default: check_text(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1)); break;
  }
  return 0;
}
