#include <array>
#include <cstdint>

#include "config/config.h"
#include "text/text.h"

namespace klavix {

namespace {

struct KeyName {
  std::string_view name;
  std::uint16_t vk;
};

constexpr std::array<KeyName, 14> key_names{{
    {"pause", 0x13},     {"break", 0x13}, {"scrolllock", 0x91}, {"scroll", 0x91},
    {"insert", 0x2D},    {"ins", 0x2D},   {"space", 0x20},      {"capslock", 0x14},
    {"caps", 0x14},      {"tab", 0x09},   {"esc", 0x1B},        {"apps", 0x5D},
    {"menu", 0x5D},      {"printscreen", 0x2C},
}};

constexpr std::array<KeyName, 9> canonical_names{{
    {"Tab", 0x09}, {"Pause", 0x13}, {"CapsLock", 0x14}, {"Esc", 0x1B}, {"Space", 0x20},
    {"PrintScreen", 0x2C}, {"Insert", 0x2D}, {"Apps", 0x5D}, {"ScrollLock", 0x91},
}};

constexpr std::uint16_t vk_f1 = 0x70;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether the rest of an "f…" piece is all decimal digits; its value, saturated so that
// any overlong number is simply "above 24".
struct Number {
  bool all_digits;
  std::uint32_t value;
};

Number read_number(std::string_view digits) {
  std::uint32_t v = 0;
  for (char c : digits) {
    if (!is_digit(c)) return {false, 0};
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
    if (v > 0xFFFF) v = 0x10000;
  }
  return {true, v};
}

enum class Piece { Modifier, Key, Invalid };

Piece classify(const std::string& piece, Hotkey& h) {
  if (piece == "ctrl" || piece == "control") {
    h.ctrl = 1;
    return Piece::Modifier;
  }
  if (piece == "alt") {
    h.alt = 1;
    return Piece::Modifier;
  }
  if (piece == "shift") {
    h.shift = 1;
    return Piece::Modifier;
  }
  if (piece == "win") {
    h.win = 1;
    return Piece::Modifier;
  }
  return Piece::Key;
}

std::optional<std::uint16_t> key_vk(const std::string& piece) {
  for (const KeyName& k : key_names) {
    if (piece == k.name) return k.vk;
  }
  if (piece.size() >= 2 && piece[0] == 'f') {
    Number n = read_number(std::string_view(piece).substr(1));
    if (n.all_digits) {
      if (n.value >= 1 && n.value <= 24) return static_cast<std::uint16_t>(vk_f1 - 1 + n.value);
      return std::nullopt;
    }
  }
  if (piece.size() == 1) {
    char c = piece[0];
    if (c >= 'a' && c <= 'z') return static_cast<std::uint16_t>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return static_cast<std::uint16_t>(c);
    if (is_digit(c)) return static_cast<std::uint16_t>(c);
  }
  return std::nullopt;
}

}  // namespace

std::optional<Hotkey> parse_hotkey(std::string_view text) {
  Hotkey h;
  bool have_key = false;
  std::size_t pos = 0;
  for (;;) {
    std::size_t plus = text.find('+', pos);
    std::string_view raw = text.substr(pos, plus == std::string_view::npos ? plus : plus - pos);
    std::string piece = text::to_lower(text::trim_white_space(raw));
    if (classify(piece, h) == Piece::Key) {
      if (have_key) return std::nullopt;
      std::optional<std::uint16_t> vk = key_vk(piece);
      if (!vk) return std::nullopt;
      h.vk = *vk;
      have_key = true;
    }
    if (plus == std::string_view::npos) break;
    pos = plus + 1;
  }
  if (!have_key) return std::nullopt;
  return h;
}

std::string format_hotkey(const Hotkey& h) {
  std::string out;
  if (h.ctrl) out += "Ctrl+";
  if (h.alt) out += "Alt+";
  if (h.shift) out += "Shift+";
  if (h.win) out += "Win+";
  for (const KeyName& k : canonical_names) {
    if (h.vk == k.vk) {
      out += k.name;
      return out;
    }
  }
  if (h.vk >= vk_f1 && h.vk <= vk_f1 + 23) {
    out += 'F';
    out += std::to_string(h.vk - (vk_f1 - 1));
    return out;
  }
  text::append_utf8(out, static_cast<char32_t>(h.vk & 0xFF));
  return out;
}

}  // namespace klavix
