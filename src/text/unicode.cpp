#include "text/text.h"

// Provisional properties and mappings: ASCII, Latin-1 and Cyrillic only, until the generated
// tables land.
namespace klavix::text {

bool is_alphabetic(char32_t cp) {
  if (cp < 0x80) return (cp | 0x20) >= 'a' && (cp | 0x20) <= 'z';
  if (cp == 0xAA || cp == 0xB5 || cp == 0xBA) return true;
  if (cp >= 0xC0 && cp <= 0xFF) return cp != 0xD7 && cp != 0xF7;
  return cp >= 0x400 && cp <= 0x4FF && !(cp >= 0x482 && cp <= 0x489);
}

bool is_lowercase(char32_t cp) {
  if (cp < 0x80) return cp >= 'a' && cp <= 'z';
  if (cp == 0xAA || cp == 0xB5 || cp == 0xBA) return true;
  if (cp >= 0xDF && cp <= 0xFF) return cp != 0xF7;
  if (cp >= 0x430 && cp <= 0x45F) return true;
  if (cp >= 0x460 && cp <= 0x4FF) return (cp & 1) == 1;
  return false;
}

bool is_uppercase(char32_t cp) {
  if (cp < 0x80) return cp >= 'A' && cp <= 'Z';
  if (cp >= 0xC0 && cp <= 0xDE) return cp != 0xD7;
  if (cp >= 0x400 && cp <= 0x42F) return true;
  if (cp >= 0x460 && cp <= 0x4FF) return (cp & 1) == 0;
  return false;
}

bool is_white_space(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 ||
         cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 ||
         cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

namespace {

char32_t simple_lower(char32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 32;
  if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
  if (cp >= 0x400 && cp <= 0x40F) return cp + 80;
  if (cp >= 0x410 && cp <= 0x42F) return cp + 32;
  if (cp >= 0x460 && cp <= 0x4FF && (cp & 1) == 0) return cp + 1;
  return cp;
}

char32_t simple_upper(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;
  if (cp == 0xFF) return 0x178;
  if (cp == 0xB5) return 0x39C;
  if (cp >= 0x430 && cp <= 0x44F) return cp - 32;
  if (cp >= 0x450 && cp <= 0x45F) return cp - 80;
  if (cp >= 0x460 && cp <= 0x4FF && (cp & 1) == 1) return cp - 1;
  return cp;
}

}  // namespace

void append_lower(std::u32string& out, char32_t cp) { out.push_back(simple_lower(cp)); }

void append_upper(std::u32string& out, char32_t cp) {
  if (cp == 0xDF) {
    out.append(U"SS");
    return;
  }
  out.push_back(simple_upper(cp));
}

void append_lower(std::string& out, char32_t cp) { append_utf8(out, simple_lower(cp)); }

void append_upper(std::string& out, char32_t cp) {
  if (cp == 0xDF) {
    out.append("SS");
    return;
  }
  append_utf8(out, simple_upper(cp));
}

std::string to_lower(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const Utf8Step step = decode_utf8_at(utf8, i);
    append_lower(out, step.cp);
    i += step.length;
  }
  return out;
}

std::string to_upper(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const Utf8Step step = decode_utf8_at(utf8, i);
    append_upper(out, step.cp);
    i += step.length;
  }
  return out;
}

std::u32string to_lower(std::u32string_view cps) {
  std::u32string out;
  out.reserve(cps.size());
  for (char32_t cp : cps) append_lower(out, cp);
  return out;
}

std::string_view trim_white_space(std::string_view utf8) {
  std::size_t begin = utf8.size();
  std::size_t end = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const Utf8Step step = decode_utf8_at(utf8, i);
    if (!(step.valid && is_white_space(step.cp))) {
      if (begin == utf8.size()) begin = i;
      end = i + step.length;
    }
    i += step.length;
  }
  if (begin >= end) return utf8.substr(0, 0);
  return utf8.substr(begin, end - begin);
}

}  // namespace klavix::text
