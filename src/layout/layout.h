#pragma once
// The layout model: the key table that ties every tracked key to its English (US QWERTY) and
// Russian (JCUKEN) characters, rendering of recorded keys, text conversion, the two embedded
// word-frequency dictionaries and the wrong-layout decision. Pure: no state, no I/O.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>

namespace klavix {

// Input language of a key press or of a window.
enum class Layout : std::uint8_t { En = 0, Ru = 1, Other = 2 };

constexpr Layout other_layout(Layout l) { return static_cast<Layout>(static_cast<std::uint8_t>(l) ^ 1u); }

// Layout of a keyboard-layout handle or language identifier: its primary language
// (low 10 bits) 0x09 is En, 0x19 is Ru, anything else Other.
constexpr Layout layout_of_language(std::uintptr_t hkl) {
  switch (hkl & 0x3FF) {
    case 0x09: return Layout::En;
    case 0x19: return Layout::Ru;
    default: return Layout::Other;
  }
}

// One recorded key of the word being typed.
struct Keystroke {
  std::uint16_t vk = 0;
  Layout layout = Layout::En;
  std::uint8_t shift = 0;
  std::uint8_t caps = 0;
  friend bool operator==(const Keystroke&, const Keystroke&) = default;
};

// One row of the key table: the characters a key gives in each layout, then its virtual key.
// Cell 2*L is layout L without Shift, cell 2*L+1 with Shift.
struct KeyRow {
  std::uint32_t cells[5];
  constexpr char32_t lower(Layout l) const { return cells[2 * static_cast<unsigned>(l)]; }
  constexpr char32_t upper(Layout l) const { return cells[2 * static_cast<unsigned>(l) + 1]; }
  constexpr std::uint16_t vk() const { return static_cast<std::uint16_t>(cells[4]); }
};

inline constexpr std::size_t key_table_rows = 49;

// The 49 rows in table order (text conversion searches them in this order).
std::span<const KeyRow, key_table_rows> key_table();

// The row of a virtual key, or null: a bounds check and one indexed load.
const KeyRow* key_row(std::uint16_t vk);

// Letter classes: En is A-Z/a-z, Ru is Ё, А-я, ё.
constexpr bool is_en_letter(char32_t c) { return (c & ~char32_t{0x20}) - 0x41 <= 0x19; }
constexpr bool is_ru_letter(char32_t c) { return c == 0x401 || c == 0x451 || (c >= 0x410 && c <= 0x44F); }
constexpr bool is_letter(char32_t c, Layout l) { return l == Layout::En ? is_en_letter(c) : is_ru_letter(c); }

// The text keys[start, end) would have produced in layout l (En or Ru); each key's own layout
// field is ignored. Caps Lock acts only on letter keys of l, and Shift cancels it. Keys without
// a row produce nothing; any non-zero flag counts as set. A range outside `keys` or a layout
// other than En/Ru is a caller's bug and ends the process (also for caps_pattern).
std::string render_keystrokes(std::span<const Keystroke> keys, std::size_t start, std::size_t end, Layout l);

// True when keys[start, end) look like a word typed with Caps Lock on and Shift held for the
// first letter only, judged in l first, then in the other layout.
bool caps_pattern(std::span<const Keystroke> keys, std::size_t start, std::size_t end, Layout l);

struct ConvertedText {
  std::string text;
  Layout source;
  Layout target;
};

// Converts text typed in the wrong layout key by key; the direction comes from the text
// (more Ru letters than En letters: Ru to En, otherwise En to Ru). Characters of no key, and
// bytes that are not UTF-8, pass through unchanged.
ConvertedText convert_text(std::string_view utf8);

// Swaps the case of one character with the full mappings ("ß" gives "SS"). A value that is no
// character (a surrogate, past U+10FFFF) gives U+FFFD.
std::string swap_case(char32_t ch);

// ---- Frequency dictionaries ----

struct WordLookup {
  bool found = false;
  std::uint32_t count = 0;
};

// Per layout a word-to-count map and a trigram set, built once and read-only afterwards. The
// maps of load_dictionaries() point into the embedded lists; build_dictionaries() keeps copies.
class Dictionaries {
 public:
  Dictionaries();
  Dictionaries(Dictionaries&&) noexcept;
  Dictionaries& operator=(Dictionaries&&) noexcept;
  ~Dictionaries();

  struct Impl;
  const Impl& impl() const { return *impl_; }
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// The two lists built into the program.
std::string_view embedded_word_list(Layout l);

// Builds from the two embedded lists.
Dictionaries load_dictionaries();
// Builds from any two lists of the same format (tests use small ones). A line whose word is not
// UTF-8 is skipped.
Dictionaries build_dictionaries(std::string_view en_list, std::string_view ru_list);

// Exact byte lookups, no normalisation. Layout Other has no dictionary: not found, and every
// trigram missing. A word that is not UTF-8 is not found and misses all its trigrams (each
// invalid byte counting as one character).
WordLookup word_count(const Dictionaries& d, Layout l, std::string_view word);
unsigned missing_trigrams(const Dictionaries& d, Layout l, std::string_view word);

// Number of distinct trigrams and of words of a layout (for tests and benchmarks).
std::size_t trigram_count(const Dictionaries& d, Layout l);
std::size_t word_total(const Dictionaries& d, Layout l);

// ---- Wrong-layout decision ----

// Which decision the automatic correction after a space asks: the word alone, or the word in
// its sentence (the default).
enum class Decision : std::uint8_t { Word = 0, Context = 1 };

using WordSet = std::unordered_set<std::string>;

// The word stripped of surrounding non-letters of l, or nothing when it is not a clean word.
std::optional<std::string> word_core(std::string_view utf8, Layout l);

// All lower case, all upper case, or one upper-case letter followed by lower case.
bool plausible_case(std::string_view utf8);

// Was the word typed in layout l meant in the other layout? Always no for layout Other.
bool decide_wrong_layout(const Dictionaries& d, Layout l, std::string_view typed, std::string_view converted,
                         const WordSet& exceptions, bool force);

// ---- The decision in context ----

// A word the record holds before the one decided, as the window shows it now.
struct WordBefore {
  std::string_view shown;      // its keys rendered in `layout`
  std::string_view other;      // the same keys in the other layout
  Layout layout = Layout::En;  // the layout it shows (En or Ru)
};

// What the record knows around the word decided.
struct WordContext {
  std::span<const WordBefore> before;  // nearest first; the decision reads the first two
  // The user changed the layout between the word before and this one: the word stays as typed.
  bool switched_by_hand = false;
};

// Was the whole token typed in l (punctuation included) meant in the other layout? Both
// readings are weighed: each as a dictionary word (contractions and hyphenated words by their
// parts) or, when no list holds it, by the letter model of its language, with the marks around
// it; the words before lean the answer toward the language they read in. Pure, deterministic,
// and never yes for a word the exceptions hold.
bool decide_in_context(const Dictionaries& d, Layout l, std::string_view typed, std::string_view converted,
                       const WordSet& exceptions, const WordContext& context);

// The same for a word left as typed right before a word that is being converted to the other
// layout: does it go along? `context` holds the words before this one.
bool decide_carried(const Dictionaries& d, Layout l, std::string_view typed, std::string_view converted,
                    const WordSet& exceptions, const WordContext& context);

// How much better the token reads in the other layout than as typed, in bits (negative: as
// typed is better); the decisions compare it with their margins. For reports and tests.
double reading_advantage(const Dictionaries& d, Layout l, std::string_view typed, std::string_view converted);

}  // namespace klavix
