// The decision in context: both readings of the whole token weighed in bits, the words before
// it leaning the answer toward their language.
#include <algorithm>
#include <array>
#include <cmath>

#include "layout/char_model.h"
#include "layout/layout.h"
#include "layout/next_char.h"
#include "layout/word_parts.h"
#include "text/text.h"

namespace klavix {

namespace {

using namespace layout_detail;

// The share of running words that no list holds, about one in thirty.
constexpr double unlisted_bits = -5.0;
// A usual mark beside a word (. , : ; ! ? quotes, brackets) and one seldom seen there.
constexpr double usual_mark_bits = -3.0;
constexpr double odd_mark_bits = -12.0;
// A reading that is no word at all: no core, or letters in an impossible case.
constexpr double no_word_bits = -80.0;
// What one word before can add or take away, and how much the nearest two count.
constexpr double context_cap = 12.0;
constexpr std::array<double, 2> context_weight = {0.5, 0.25};
// How sure the other reading must be, by its number of letters (1, 2, 3, 4, 5 and more).
constexpr std::array<double, 6> margin_bits = {0, 40.0, 14.0, 10.0, 8.0, 6.0};
// A word right before one that is converted already leans toward the other layout.
constexpr double carried_bits = 8.0;
// Unlisted words shorter than this read as anything: only listed ones are converted.
constexpr std::size_t unlisted_length = 5;
// Capitals only, up to this many letters, is an acronym rather than a word in either reading
// (RFC, NM): the other reading must be that much surer.
constexpr std::size_t acronym_length = 5;
constexpr double acronym_bits = 12.0;

bool usual_mark(char32_t c) {
  switch (c) {
    case U'.': case U',': case U':': case U';': case U'!': case U'?': case U'"': case U'\'':
    case U'(': case U')': case U'-': case U'«': case U'»': case U'…':
      return true;
    default:
      return false;
  }
}

double list_bits(Layout l, std::uint32_t count) {
  const double total = static_cast<double>(l == Layout::En ? char_model::en_total : char_model::ru_total);
  return std::log2(static_cast<double>(count) / total);
}

// The letter model's cost of a lower-case part; a letter outside the model costs much.
double model_bits(Layout l, std::string_view part) {
  const unsigned symbols = l == Layout::En ? char_model::en_symbols : char_model::ru_symbols;
  const unsigned char* costs = l == Layout::En ? char_model::en_costs : char_model::ru_costs;
  unsigned a = 0, b = 0;
  unsigned eighths = 0;
  for (std::size_t i = 0; i < part.size();) {
    const text::Utf8Step step = next_char(part, i);
    i += step.length;
    unsigned c = 0;
    if (l == Layout::En && step.cp >= U'a' && step.cp <= U'z') c = step.cp - U'a' + 1;
    if (l == Layout::Ru && step.cp >= U'а' && step.cp <= U'я') c = step.cp - U'а' + 1;
    if (l == Layout::Ru && step.cp == U'ё') c = 33;
    if (c == 0) return no_word_bits;
    eighths += costs[(a * symbols + b) * symbols + c];
    a = b;
    b = c;
  }
  eighths += costs[(a * symbols + b) * symbols];
  return -static_cast<double>(eighths) / char_model::cost_scale;
}

struct PartBits {
  double bits = 0;
  bool listed = false;
};

PartBits part_bits(const Dictionaries& d, Layout l, std::string_view part) {
  if (part.empty()) return {odd_mark_bits, false};
  const WordLookup w = word_count(d, l, part);
  if (w.found && w.count > 0) return {list_bits(l, w.count), true};
  return {unlisted_bits + model_bits(l, part), false};
}

// An English contraction: a stem the list holds, an apostrophe and one of the usual endings.
bool contraction_ending(std::string_view s) {
  return s == "s" || s == "t" || s == "d" || s == "m" || s == "re" || s == "ve" || s == "ll";
}

struct Reading {
  bool word = false;    // a core in a plausible case
  double bits = no_word_bits;
  bool listed = false;  // every part of it is in the list
  bool capitals = false;  // two letters or more, all capitals
  std::size_t letters = 0;
};

// Two letters or more, every one a capital.
bool all_capitals(std::string_view core) {
  std::size_t letters = 0;
  for (std::size_t i = 0; i < core.size();) {
    const text::Utf8Step step = next_char(core, i);
    i += step.length;
    if (!step.valid) return false;
    if (is_en_letter(step.cp) || is_ru_letter(step.cp)) {
      if (!text::is_uppercase(step.cp)) return false;
      ++letters;
    }
  }
  return letters >= 2;
}

// The token read as a word of l: the marks around its core, then the core by its parts.
Reading read_token(const Dictionaries& d, Layout l, std::string_view token) {
  Reading r;
  const std::optional<ByteRange> core = core_range(token, l);
  if (!core) return r;
  const std::string_view core_text = token.substr(core->begin, core->end - core->begin);
  if (!plausible_case(core_text)) return r;
  r.word = true;
  r.bits = 0;
  r.capitals = all_capitals(core_text);
  for (std::size_t i = 0; i < token.size();) {
    if (i == core->begin) {
      i = core->end;
      continue;
    }
    const text::Utf8Step step = next_char(token, i);
    i += step.length;
    r.bits += usual_mark(step.cp) ? usual_mark_bits : odd_mark_bits;
  }
  // One buffer per thread: a reading allocates nothing once it has grown to a word's size.
  thread_local std::string lower;
  lower_case_into(core_text, lower, r.letters);
  const std::string_view all(lower);
  const std::size_t apostrophe = all.find('\'');
  if (l == Layout::En && apostrophe != std::string_view::npos && all.find('\'', apostrophe + 1) == std::string_view::npos &&
      all.find('-') == std::string_view::npos && contraction_ending(all.substr(apostrophe + 1))) {
    const PartBits stem = part_bits(d, l, all.substr(0, apostrophe));
    r.bits += stem.bits;
    r.listed = stem.listed;
    return r;
  }
  r.listed = true;
  std::size_t from = 0;
  for (;;) {
    const std::size_t cut = all.find_first_of("-'", from);
    const PartBits p = part_bits(d, l, all.substr(from, cut == std::string_view::npos ? std::string_view::npos : cut - from));
    r.bits += p.bits;
    r.listed = r.listed && p.listed;
    if (cut == std::string_view::npos) break;
    from = cut + 1;
  }
  return r;
}

// A barred character in the typed text that stands inside the other reading's core, or that
// stays barred there: such a token is code, a number or an address, not a word in the wrong
// layout. One outside the core reads as a mark ("@" is the quotation mark of the Russian keys).
bool barred_inside(std::string_view typed, std::string_view converted, ByteRange core) {
  if (!has_barred_character(typed)) return false;
  const auto barred = [](char32_t c) {
    const char ch = static_cast<char>(c);
    return c < 0x80 && has_barred_character(std::string_view(&ch, 1));
  };
  // Each key gives one character in either text: walk them side by side.
  std::size_t i = 0, j = 0;
  for (; i < typed.size() && j < converted.size();) {
    const text::Utf8Step k = next_char(typed, i);
    const text::Utf8Step o = next_char(converted, j);
    if (!k.valid || !o.valid) return true;
    const bool inside = j >= core.begin && j < core.end;
    i += k.length;
    j += o.length;
    if (barred(k.cp) && (inside || barred(o.cp))) return true;
  }
  return i < typed.size() || j < converted.size();
}

// The exceptions in each form a user or the prompt writes them.
bool excepted(const WordSet& exceptions, Layout l, std::string_view typed, std::string_view converted, ByteRange core) {
  if (exceptions.empty()) return false;
  std::size_t n = 0;
  if (exceptions.contains(lower_case(converted.substr(core.begin, core.end - core.begin), n))) return true;
  const std::optional<std::string> typed_core = word_core(typed, l);
  if (exceptions.contains(lower_case(typed_core ? std::string_view(*typed_core) : typed, n))) return true;
  const std::optional<std::string> keys = typed_keys_of(typed, converted, core);
  return keys && exceptions.contains(*keys);
}

// How much the words before lean toward the other layout of l (negative: toward l).
double context_bits(const Dictionaries& d, Layout l, const WordContext& context) {
  double sum = 0;
  const std::size_t n = std::min(context.before.size(), context_weight.size());
  for (std::size_t k = 0; k < n; ++k) {
    const WordBefore& w = context.before[k];
    if (w.layout != Layout::En && w.layout != Layout::Ru) break;
    const double shown = read_token(d, w.layout, w.shown).bits;
    const double other = read_token(d, other_layout(w.layout), w.other).bits;
    // How much better it reads as it stands than the other way, toward the language it reads in.
    const double lean = std::clamp(shown - other, -context_cap, context_cap);
    sum += context_weight[k] * (w.layout == l ? -lean : lean);
  }
  return sum;
}

struct Judgement {
  bool possible = false;  // a word in the other layout, not excepted, not code
  double bits = 0;        // how much better it reads there, context included
  std::size_t letters = 0;
  bool listed = false;
  bool acronym = false;
};

Judgement judge(const Dictionaries& d, Layout l, std::string_view typed, std::string_view converted,
                const WordSet& exceptions, const WordContext& context) {
  Judgement j;
  if (l != Layout::En && l != Layout::Ru) return j;
  if (context.switched_by_hand) return j;
  const Layout t = other_layout(l);
  const std::optional<ByteRange> core = core_range(converted, t);
  if (!core) return j;
  if (barred_inside(typed, converted, *core)) return j;
  if (excepted(exceptions, l, typed, converted, *core)) return j;
  const Reading other = read_token(d, t, converted);
  if (!other.word) return j;
  const Reading as_typed = read_token(d, l, typed);
  j.possible = true;
  j.letters = other.letters;
  j.listed = other.listed;
  j.acronym = other.capitals && other.letters <= acronym_length;
  j.bits = other.bits - as_typed.bits + context_bits(d, l, context);
  return j;
}

double margin(const Judgement& j, std::size_t letters) {
  return margin_bits[std::min(letters, margin_bits.size() - 1)] + (j.acronym ? acronym_bits : 0.0);
}

}  // namespace

double reading_advantage(const Dictionaries& d, Layout l, std::string_view typed, std::string_view converted) {
  if (l != Layout::En && l != Layout::Ru) return no_word_bits;
  return read_token(d, other_layout(l), converted).bits - read_token(d, l, typed).bits;
}

bool decide_in_context(const Dictionaries& d, Layout l, std::string_view typed, std::string_view converted,
                       const WordSet& exceptions, const WordContext& context) {
  const Judgement j = judge(d, l, typed, converted, exceptions, context);
  if (!j.possible || j.letters < 2) return false;
  if (!j.listed && j.letters < unlisted_length) return false;
  return j.bits >= margin(j, j.letters);
}

bool decide_carried(const Dictionaries& d, Layout l, std::string_view typed, std::string_view converted,
                    const WordSet& exceptions, const WordContext& context) {
  const Judgement j = judge(d, l, typed, converted, exceptions, context);
  if (!j.possible || j.letters < 1) return false;
  if (!j.listed && j.letters < unlisted_length) return false;
  // A single letter goes along on the strength of its neighbour, as two letters would alone.
  return j.bits + carried_bits >= margin(j, std::max<std::size_t>(j.letters, 2));
}

}  // namespace klavix
