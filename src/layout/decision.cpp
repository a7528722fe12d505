// The wrong-layout decision and the two text helpers it is built from.
#include "layout/layout.h"
#include "layout/next_char.h"
#include "layout/word_parts.h"
#include "text/text.h"

namespace klavix {

namespace {

constexpr std::size_t min_length_unforced = 2;
constexpr std::size_t common_word_length = 4;
constexpr std::uint32_t common_word_count = 1000;
constexpr std::uint64_t ratio = 20;
constexpr std::size_t trigram_test_length = 5;

}  // namespace

namespace layout_detail {

bool has_barred_character(std::string_view typed) {
  // All barred characters are ASCII, and no byte of a multi-byte UTF-8 sequence is.
  for (char c : typed) {
    if ((c >= '0' && c <= '9') || c == '@' || c == '\\' || c == '_' || c == '|' || c == '#') return true;
  }
  return false;
}

}  // namespace layout_detail

namespace {

bool is_joiner(char32_t c, Layout l) { return c == U'-' || (l == Layout::En && c == U'\''); }

// Letter case of the two layouts' letters, known without a table lookup.
bool is_upper_layout_letter(char32_t c) { return c - U'A' < 26 || c - U'А' < 32 || c == U'Ё'; }
bool is_layout_letter(char32_t c) { return is_en_letter(c) || is_ru_letter(c); }

}  // namespace

namespace layout_detail {

// The full lower-case mapping of `s` and the number of characters it has. Cores are letters of
// the layouts, whose mapping is a fixed offset; anything else goes to the Unicode tables.
std::string lower_case(std::string_view s, std::size_t& chars) {
  std::string out;
  lower_case_into(s, out, chars);
  return out;
}

void lower_case_into(std::string_view s, std::string& out, std::size_t& chars) {
  out.clear();
  out.reserve(s.size());
  chars = 0;
  for (std::size_t i = 0; i < s.size();) {
    const text::Utf8Step step = layout_detail::next_char(s, i);
    i += step.length;
    char32_t c = step.cp;
    ++chars;
    if (c - U'A' < 26) {
      out.push_back(static_cast<char>(c + 0x20));
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (step.valid && is_ru_letter(c)) {
      if (c == U'Ё') {
        c = U'ё';
      } else if (c < U'а') {
        c += 0x20;
      }
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      // A mapping may give several characters; a byte that is not UTF-8 gives U+FFFD, as
      // text::to_lower does.
      const std::size_t before = out.size();
      text::append_lower(out, c);
      chars += text::count_code_points(std::string_view(out).substr(before)) - 1;
    }
  }
}

// Where the core of the word stands in utf8: from the first letter of l to the end of the last
// one. A character that is neither letter nor joiner spoils the word once a letter follows it.
std::optional<ByteRange> core_range(std::string_view utf8, Layout l) {
  if (l != Layout::En && l != Layout::Ru) return std::nullopt;
  std::size_t first = std::string_view::npos;
  std::size_t last_end = 0;
  bool pending_bad = false;
  for (std::size_t i = 0; i < utf8.size();) {
    const text::Utf8Step step = layout_detail::next_char(utf8, i);
    i += step.length;
    if (step.valid && is_letter(step.cp, l)) {
      if (pending_bad) return std::nullopt;
      if (first == std::string_view::npos) first = i - step.length;
      last_end = i;
    } else if (first != std::string_view::npos && !(step.valid && is_joiner(step.cp, l))) {
      pending_bad = true;
    }
  }
  if (first == std::string_view::npos) return std::nullopt;
  return ByteRange{first, last_end};
}

// The typed characters that stand where the converted core stands, lower-cased: the converted
// word the way its keys type it in the typed layout (e;t for "уже,", ,jkmit for "больше"). Each
// key gives one character in either layout, so the two texts line up character by character;
// texts that do not line up give nothing.
std::optional<std::string> typed_keys_of(std::string_view typed, std::string_view converted, ByteRange core) {
  std::size_t from = 0, to = 0;  // the core's characters in converted
  std::size_t chars = 0;
  for (std::size_t i = 0; i < converted.size(); ++chars) {
    if (i == core.begin) from = chars;
    if (i == core.end) to = chars;
    i += layout_detail::next_char(converted, i).length;
  }
  if (core.end == converted.size()) to = chars;
  std::size_t begin = typed.size(), end = typed.size();
  std::size_t typed_chars = 0;
  for (std::size_t i = 0; i < typed.size(); ++typed_chars) {
    if (typed_chars == from) begin = i;
    if (typed_chars == to) end = i;
    i += layout_detail::next_char(typed, i).length;
  }
  if (typed_chars != chars) return std::nullopt;
  std::size_t n = 0;
  return lower_case(typed.substr(begin, end - begin), n);
}

}  // namespace layout_detail

using namespace layout_detail;

std::optional<std::string> word_core(std::string_view utf8, Layout l) {
  const std::optional<ByteRange> core = core_range(utf8, l);
  if (!core) return std::nullopt;
  return std::string(utf8.substr(core->begin, core->end - core->begin));
}

bool plausible_case(std::string_view utf8) {
  std::size_t letters = 0;
  bool all_lower = true;
  bool all_upper = true;
  bool first_upper = false;
  bool rest_lower = true;
  for (std::size_t i = 0; i < utf8.size();) {
    const text::Utf8Step step = layout_detail::next_char(utf8, i);
    i += step.length;
    if (!step.valid) continue;
    bool lower, upper;
    if (is_layout_letter(step.cp)) {
      upper = is_upper_layout_letter(step.cp);
      lower = !upper;
    } else if (text::is_alphabetic(step.cp)) {
      lower = text::is_lowercase(step.cp);
      upper = text::is_uppercase(step.cp);
    } else {
      continue;
    }
    all_lower = all_lower && lower;
    all_upper = all_upper && upper;
    if (letters == 0) {
      first_upper = upper;
    } else {
      rest_lower = rest_lower && lower;
    }
    ++letters;
  }
  if (letters == 0) return false;
  return all_lower || all_upper || (first_upper && rest_lower);
}

bool decide_wrong_layout(const Dictionaries& d, Layout l, std::string_view typed, std::string_view converted,
                         const WordSet& exceptions, bool force) {
  if (l != Layout::En && l != Layout::Ru) return false;
  const Layout t = other_layout(l);

  if (has_barred_character(typed)) return false;
  const std::optional<ByteRange> core = core_range(converted, t);
  if (!core) return false;
  const std::string_view converted_core = converted.substr(core->begin, core->end - core->begin);
  if (!plausible_case(converted_core)) return false;
  std::size_t n = 0;
  const std::string c = lower_case(converted_core, n);
  if (!force && n < min_length_unforced) return false;

  const std::optional<std::string> typed_core = word_core(typed, l);
  std::optional<std::string> w;
  if (typed_core) {
    if (!plausible_case(*typed_core)) return false;
    std::size_t typed_chars = 0;
    w = lower_case(*typed_core, typed_chars);
  }
  if (!exceptions.empty()) {
    // An exception is written as the word is meant or as it is typed. The prompt writes the
    // typed form as the typed core, or as the whole typed text when that has no core (e;t);
    // by hand a user writes the keys of the word, which may differ from both (,jkmit).
    if (exceptions.contains(c)) return false;
    std::size_t typed_chars = 0;
    if (exceptions.contains(w ? *w : lower_case(typed, typed_chars))) return false;
    const std::optional<std::string> keys = typed_keys_of(typed, converted, *core);
    if (keys && exceptions.contains(*keys)) return false;
  }

  if (!w) {
    // The typed text is no clean word of l (a key that is a letter in t gave punctuation in l).
    if (word_count(d, t, c).found) return true;
    return n >= trigram_test_length && missing_trigrams(d, t, c) == 0;
  }

  const WordLookup typed_word = word_count(d, l, *w);
  const WordLookup converted_word = word_count(d, t, c);
  if (converted_word.found) {
    if (!typed_word.found) return true;
    if (n >= common_word_length && typed_word.count >= common_word_count) return false;
    return std::uint64_t{converted_word.count} >= ratio * std::uint64_t{typed_word.count};
  }
  if (n < trigram_test_length) return false;
  if (typed_word.found) return false;
  if (missing_trigrams(d, l, *w) < 2) return false;
  return missing_trigrams(d, t, c) == 0;
}

}  // namespace klavix
