// The key table, its virtual-key index, keystroke rendering, the Caps Lock pattern, text
// conversion and case swapping.
#include <array>
#include <cstdint>

#include "base/fatal.h"
#include "layout/layout.h"
#include "layout/next_char.h"
#include "text/text.h"

namespace klavix {

namespace {

// En lower, En upper, Ru lower, Ru upper, virtual key. Conversion searches in this order, so
// the order is part of the behaviour (row 48 repeats row 26 and never answers first).
constexpr std::array<KeyRow, key_table_rows> rows = {{
    {{U' ', U' ', U' ', U' ', 0x20}},              // VK_SPACE
    {{U'`', U'~', U'ё', U'Ё', 0xC0}},              // VK_OEM_3
    {{U'1', U'!', U'1', U'!', 0x31}},
    {{U'2', U'@', U'2', U'"', 0x32}},
    {{U'3', U'#', U'3', U'№', 0x33}},
    {{U'4', U'$', U'4', U';', 0x34}},
    {{U'5', U'%', U'5', U'%', 0x35}},
    {{U'6', U'^', U'6', U':', 0x36}},
    {{U'7', U'&', U'7', U'?', 0x37}},
    {{U'8', U'*', U'8', U'*', 0x38}},
    {{U'9', U'(', U'9', U'(', 0x39}},
    {{U'0', U')', U'0', U')', 0x30}},
    {{U'-', U'_', U'-', U'_', 0xBD}},              // VK_OEM_MINUS
    {{U'=', U'+', U'=', U'+', 0xBB}},              // VK_OEM_PLUS
    {{U'q', U'Q', U'й', U'Й', 0x51}},
    {{U'w', U'W', U'ц', U'Ц', 0x57}},
    {{U'e', U'E', U'у', U'У', 0x45}},
    {{U'r', U'R', U'к', U'К', 0x52}},
    {{U't', U'T', U'е', U'Е', 0x54}},
    {{U'y', U'Y', U'н', U'Н', 0x59}},
    {{U'u', U'U', U'г', U'Г', 0x55}},
    {{U'i', U'I', U'ш', U'Ш', 0x49}},
    {{U'o', U'O', U'щ', U'Щ', 0x4F}},
    {{U'p', U'P', U'з', U'З', 0x50}},
    {{U'[', U'{', U'х', U'Х', 0xDB}},              // VK_OEM_4
    {{U']', U'}', U'ъ', U'Ъ', 0xDD}},              // VK_OEM_6
    {{U'\\', U'|', U'\\', U'/', 0xDC}},            // VK_OEM_5
    {{U'a', U'A', U'ф', U'Ф', 0x41}},
    {{U's', U'S', U'ы', U'Ы', 0x53}},
    {{U'd', U'D', U'в', U'В', 0x44}},
    {{U'f', U'F', U'а', U'А', 0x46}},
    {{U'g', U'G', U'п', U'П', 0x47}},
    {{U'h', U'H', U'р', U'Р', 0x48}},
    {{U'j', U'J', U'о', U'О', 0x4A}},
    {{U'k', U'K', U'л', U'Л', 0x4B}},
    {{U'l', U'L', U'д', U'Д', 0x4C}},
    {{U';', U':', U'ж', U'Ж', 0xBA}},              // VK_OEM_1
    {{U'\'', U'"', U'э', U'Э', 0xDE}},             // VK_OEM_7
    {{U'z', U'Z', U'я', U'Я', 0x5A}},
    {{U'x', U'X', U'ч', U'Ч', 0x58}},
    {{U'c', U'C', U'с', U'С', 0x43}},
    {{U'v', U'V', U'м', U'М', 0x56}},
    {{U'b', U'B', U'и', U'И', 0x42}},
    {{U'n', U'N', U'т', U'Т', 0x4E}},
    {{U'm', U'M', U'ь', U'Ь', 0x4D}},
    {{U',', U'<', U'б', U'Б', 0xBC}},              // VK_OEM_COMMA
    {{U'.', U'>', U'ю', U'Ю', 0xBE}},              // VK_OEM_PERIOD
    {{U'/', U'?', U'.', U',', 0xBF}},              // VK_OEM_2
    {{U'\\', U'|', U'\\', U'/', 0xE2}},            // VK_OEM_102, the extra key beside left Shift
}};

constexpr std::uint16_t first_vk = 0x20;
constexpr std::size_t index_slots = 195;  // 0x20 .. 0xE2
constexpr std::uint8_t no_row = 0xFF;

constexpr std::array<std::uint8_t, index_slots> make_index() {
  std::array<std::uint8_t, index_slots> index{};
  for (auto& slot : index) slot = no_row;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const std::size_t slot = rows[r].vk() - first_vk;
    // A virtual key outside the range or used twice makes this a non-constant expression.
    if (slot >= index_slots || index[slot] != no_row) throw "bad key table";
    index[slot] = static_cast<std::uint8_t>(r);
  }
  return index;
}

constexpr std::array<std::uint8_t, index_slots> key_index = make_index();

constexpr std::size_t filled_slots() {
  std::size_t n = 0;
  for (auto slot : key_index) n += slot != no_row;
  return n;
}
static_assert(filled_slots() == 49, "every row of the key table has its own index slot");
static_assert(rows[48].vk() == 0xE2 && key_index[0xE2 - first_vk] == 48);

constexpr std::size_t letter_keys(Layout l) {
  std::size_t n = 0;
  for (const auto& row : rows) n += is_letter(row.lower(l), l);
  return n;
}
static_assert(letter_keys(Layout::En) == 26 && letter_keys(Layout::Ru) == 33);

void require_layout(Layout l) { require(l == Layout::En || l == Layout::Ru, "layout must be En or Ru"); }

void require_range(std::span<const Keystroke> keys, std::size_t start, std::size_t end) {
  require(start <= end && end <= keys.size(), "keystroke range outside the record");
}

}  // namespace

std::span<const KeyRow, key_table_rows> key_table() { return std::span<const KeyRow, key_table_rows>(rows); }

const KeyRow* key_row(std::uint16_t vk) {
  const auto slot = static_cast<std::uint16_t>(vk - first_vk);
  if (slot >= index_slots) return nullptr;
  const std::uint8_t r = key_index[slot];
  return r == no_row ? nullptr : &rows[r];
}

std::string render_keystrokes(std::span<const Keystroke> keys, std::size_t start, std::size_t end, Layout l) {
  require_range(keys, start, end);
  require_layout(l);
  std::string out;
  out.reserve((end - start) * 2);
  for (std::size_t i = start; i < end; ++i) {
    const KeyRow* row = key_row(keys[i].vk);
    if (!row) continue;
    const char32_t lower = row->lower(l);
    bool upper = keys[i].shift != 0;
    if (is_letter(lower, l)) upper ^= keys[i].caps != 0;
    text::append_utf8(out, upper ? row->upper(l) : lower);
  }
  return out;
}

bool caps_pattern(std::span<const Keystroke> keys, std::size_t start, std::size_t end, Layout l) {
  require_range(keys, start, end);
  require_layout(l);
  for (Layout m : {l, other_layout(l)}) {
    std::size_t letters = 0;
    bool holds = true;
    for (std::size_t i = start; i < end && holds; ++i) {
      const KeyRow* row = key_row(keys[i].vk);
      if (!row || !is_letter(row->lower(m), m)) continue;
      const bool want_shift = letters == 0;
      holds = keys[i].caps != 0 && (keys[i].shift != 0) == want_shift;
      ++letters;
    }
    if (holds && letters >= 2) return true;
  }
  return false;
}

ConvertedText convert_text(std::string_view utf8) {
  std::size_t en = 0;
  std::size_t ru = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const text::Utf8Step step = layout_detail::next_char(utf8, i);
    i += step.length;
    if (!step.valid) continue;
    en += is_en_letter(step.cp);
    ru += is_ru_letter(step.cp);
  }
  ConvertedText result;
  result.source = ru > en ? Layout::Ru : Layout::En;
  result.target = other_layout(result.source);
  const Layout s = result.source;
  const Layout t = result.target;

  std::string& out = result.text;
  out.reserve(utf8.size() + utf8.size() / 2);
  for (std::size_t i = 0; i < utf8.size();) {
    const text::Utf8Step step = layout_detail::next_char(utf8, i);
    if (!step.valid) {
      // A byte that is not UTF-8 is no key's character: it passes through untouched.
      out.push_back(utf8[i]);
      i += 1;
      continue;
    }
    const std::string_view original = utf8.substr(i, step.length);
    i += step.length;
    const char32_t c = step.cp;
    if (c == U' ' || (c >= U'0' && c <= U'9') || c == U'\t' || c == U'\n' || c == U'\r') {
      out.append(original);
      continue;
    }
    bool found = false;
    for (const KeyRow& row : rows) {
      if (c == row.lower(s)) {
        text::append_utf8(out, row.lower(t));
      } else if (c == row.upper(s)) {
        text::append_utf8(out, row.upper(t));
      } else {
        continue;
      }
      found = true;
      break;
    }
    if (!found) out.append(original);
  }
  return result;
}

std::string swap_case(char32_t ch) {
  std::string out;
  if (ch < 0x80) {
    const bool letter = is_en_letter(ch);
    out.push_back(static_cast<char>(letter ? ch ^ 0x20 : ch));
    return out;
  }
  if (text::is_lowercase(ch)) {
    text::append_upper(out, ch);
  } else if (text::is_uppercase(ch)) {
    text::append_lower(out, ch);
  } else {
    text::append_utf8(out, ch);  // no UTF-8 form (a surrogate, past U+10FFFF) gives U+FFFD
  }
  return out;
}

}  // namespace klavix
