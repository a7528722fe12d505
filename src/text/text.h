#pragma once
// Unicode text: UTF-8 and UTF-16 conversion, the four character properties the program
// needs (Alphabetic, Lowercase, Uppercase, White_Space) and the full case mappings.
// Tables come from the Unicode Character Database (see tools/gen_unicode_tables.py).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace klavix::text {

inline constexpr char32_t replacement_char = U'\uFFFD';

// ---- UTF-8 ----

// One decoded code point. `length` is the number of bytes consumed (1 to 4); when `valid` is
// false the byte at the position does not start a well-formed sequence and `length` is 1.
struct Utf8Step {
  char32_t cp;
  std::uint8_t length;
  bool valid;
};

// Decodes the code point that starts at `pos` (pos < s.size()). Rejects overlong forms,
// surrogates, values above U+10FFFF and truncated sequences.
Utf8Step decode_utf8_at(std::string_view s, std::size_t pos);

bool is_valid_utf8(std::string_view s);

// The code points of `s`, or nothing when `s` is not valid UTF-8.
std::optional<std::u32string> decode_utf8(std::string_view s);

// Number of code points of valid UTF-8 (each invalid byte counts as one).
std::size_t count_code_points(std::string_view s);

void append_utf8(std::string& out, char32_t cp);
std::string encode_utf8(std::u32string_view cps);

// ---- UTF-16 (the form of every Windows call) ----

// UTF-8 to UTF-16; invalid bytes become U+FFFD. The result's c_str() is the NUL-terminated
// string a W function wants.
std::u16string to_utf16(std::string_view utf8);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string from_utf16(std::u16string_view utf16);

// The units up to the first zero unit, never more than `max_units`.
std::string from_utf16_z(const char16_t* units, std::size_t max_units);

// ---- Properties (Unicode 15.0) ----

bool is_alphabetic(char32_t cp);
bool is_lowercase(char32_t cp);
bool is_uppercase(char32_t cp);
bool is_white_space(char32_t cp);

// ---- Case mappings (full: SpecialCasing's unconditional entries included) ----

void append_lower(std::u32string& out, char32_t cp);
void append_upper(std::u32string& out, char32_t cp);
void append_lower(std::string& out, char32_t cp);  // appends UTF-8
void append_upper(std::string& out, char32_t cp);

// Whole strings of UTF-8; invalid bytes come out as U+FFFD.
std::string to_lower(std::string_view utf8);
std::string to_upper(std::string_view utf8);
std::u32string to_lower(std::u32string_view cps);

// Removes White_Space characters from both ends (U+FEFF is not white space).
std::string_view trim_white_space(std::string_view utf8);

}  // namespace klavix::text
