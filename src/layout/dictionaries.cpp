// The two frequency dictionaries: per layout a word-to-count map and a trigram set, built in one
// pass over the list text.
//
// Words are not copied: the word map is an open-addressing table of (offset, count) pairs whose
// offsets point into the list text, where every word is followed by the space that ends it. The
// trigram set is a bitmap for triples of the lists' own alphabet and, for any other triple, an
// open-addressing set of three 21-bit code points packed into 64 bits.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "layout/layout.h"
#include "layout/next_char.h"
#include "text/text.h"

namespace klavix {

namespace {

using layout_detail::next_char;

inline std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

inline std::uint64_t load64(const char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline std::uint64_t load32(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline std::uint64_t hash_bytes(std::string_view s) {
  // Eight bytes at a time, the tail read by overlapping loads (never byte by byte, which would
  // stall on store forwarding): words are short, and hashing is a large part of a build.
  constexpr std::uint64_t k = 0x9E3779B97F4A7C15ULL;
  const char* p = s.data();
  const std::size_t n = s.size();
  std::uint64_t h = n * k;
  if (n > 8) {
    const char* last = p + n - 8;
    for (; p < last; p += 8) {
      h = (h ^ load64(p)) * k;
      h ^= h >> 29;
    }
    h = (h ^ load64(last)) * k;
  } else if (n >= 4) {
    h = (h ^ (load32(p) | (load32(p + n - 4) << 32))) * k;
  } else if (n > 0) {
    const auto b = [&](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
    h = (h ^ (b(0) | (b(n / 2) << 8) | (b(n - 1) << 16))) * k;
  }
  return mix(h);
}

inline std::uint64_t trigram_key(char32_t a, char32_t b, char32_t c) {
  return (std::uint64_t{a} << 42) | (std::uint64_t{b} << 21) | std::uint64_t{c};
}

// Room for `entries` at most three quarters full.
std::size_t table_size_for(std::size_t entries) {
  std::size_t size = 16;
  while (size / 4 * 3 < entries) size *= 2;
  return size;
}

// The count text that starts at `pos`, right after a word's space: an optional "+", then digits
// within 32 bits; anything else makes it 1. It ends at a space, a line feed, a carriage return
// right before a line feed, or the end of the text; `pos` is left there.
std::uint32_t parse_count(std::string_view text, std::size_t& pos) {
  const std::size_t size = text.size();
  std::uint64_t value = 0;
  bool digits = false;
  bool bad = false;
  if (pos < size && text[pos] == '+') ++pos;
  for (; pos < size; ++pos) {
    const char c = text[pos];
    if (c == ' ' || c == '\n' || (c == '\r' && pos + 1 < size && text[pos + 1] == '\n')) break;
    if (c < '0' || c > '9') {
      bad = true;
    } else if (!bad) {
      digits = true;
      value = value * 10 + static_cast<unsigned>(c - '0');
      bad = value > 0xFFFFFFFFu;
    }
  }
  return static_cast<std::uint32_t>(digits && !bad ? value : 1);
}

class WordMap {
 public:
  void start(std::string_view text, std::size_t max_words) {
    // Offsets are 32-bit.
    require(text.size() <= 0xFFFFFFFFu, "word list too large");
    text_ = text;
    const std::size_t size = table_size_for(max_words);
    tags_.assign(size, 0);
    // Only the slots whose tag is set are ever read, so they need no initial value.
    offsets_ = std::make_unique_for_overwrite<std::uint32_t[]>(size);
    mask_ = size - 1;
    size_ = 0;
  }

  // The word must lie in the text at `offset`, followed by a space and its count text: the
  // count is read from there when the word is looked up, so a slot is one offset.
  void insert(std::uint32_t offset, std::size_t length) {
    const std::string_view word = text_.substr(offset, length);
    const std::uint64_t h = hash_bytes(word);
    const std::uint8_t tag = tag_of(h);
    for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
      if (tags_[i] == 0) {
        require(size_ < tags_.size() / 4 * 3, "word map overfull");
        tags_[i] = tag;
        offsets_[i] = offset;
        ++size_;
        return;
      }
      if (tags_[i] == tag && matches(offsets_[i], word)) {
        offsets_[i] = offset;  // the later line's count wins
        return;
      }
    }
  }

  WordLookup find(std::string_view word) const {
    // No stored word holds a space; one in the query would match a word and its count text.
    if (size_ == 0 || word.find(' ') != std::string_view::npos) return {};
    const std::uint64_t h = hash_bytes(word);
    const std::uint8_t tag = tag_of(h);
    for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
      if (tags_[i] == 0) return {};
      if (tags_[i] == tag && matches(offsets_[i], word)) {
        std::size_t pos = std::size_t{offsets_[i]} + word.size() + 1;
        return {true, parse_count(text_, pos)};
      }
    }
  }

  std::size_t size() const { return size_; }

 private:
  // A one-byte digest per slot, 0 for empty: probing reads this small array (64 slots to a cache
  // line) and touches the slots and the text only when the digest matches.
  static std::uint8_t tag_of(std::uint64_t h) {
    const auto tag = static_cast<std::uint8_t>(h >> 56);
    return tag ? tag : 1;
  }

  // A stored word ends at the space after it, so a match needs the space right after the bytes.
  bool matches(std::uint32_t offset, std::string_view word) const {
    const std::size_t end = std::size_t{offset} + word.size();
    // An empty view may have no data at all, and memcmp must not see a null pointer even for
    // zero bytes.
    return end < text_.size() && text_[end] == ' ' &&
           (word.empty() || std::memcmp(text_.data() + offset, word.data(), word.size()) == 0);
  }

  std::string_view text_;
  std::vector<std::uint8_t> tags_;
  std::unique_ptr<std::uint32_t[]> offsets_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

// Exact sets of code-point triples. The triples of the shipped lists use 63 symbols only (the
// letters of both layouts, the two word-end markers, hyphen and apostrophe); those live in a
// bitmap of 64^3 bits, so that a test is one bit. Any other triple goes to a hash set.
class TrigramSet {
 public:
  static constexpr std::uint8_t no_symbol = 64;

  // A character with its bitmap symbol, classified once however many trigrams it is part of.
  struct Char {
    char32_t cp;
    std::uint8_t symbol;
  };

  static Char classify(char32_t c) {
    if (c - U'a' < 26) return {c, static_cast<std::uint8_t>(c - U'a')};
    if (c - U'а' < 32) return {c, static_cast<std::uint8_t>(26 + (c - U'а'))};
    switch (c) {
      case U'ё': return {c, 58};
      case U'^': return {c, 59};
      case U'$': return {c, 60};
      case U'-': return {c, 61};
      case U'\'': return {c, 62};
      default: return {c, no_symbol};
    }
  }

  TrigramSet() : bits_(64 * 64 * 64 / 64, 0) {}

  void insert(Char a, Char b, Char c) {
    if ((a.symbol | b.symbol | c.symbol) < no_symbol) {
      const unsigned bit = (unsigned{a.symbol} << 12) | (unsigned{b.symbol} << 6) | c.symbol;
      std::uint64_t& word = bits_[bit >> 6];
      const std::uint64_t mask = std::uint64_t{1} << (bit & 63);
      size_ += (word & mask) == 0;
      word |= mask;
      return;
    }
    size_ += others_.insert(trigram_key(a.cp, b.cp, c.cp));
  }

  bool contains(Char a, Char b, Char c) const {
    if ((a.symbol | b.symbol | c.symbol) < no_symbol) {
      const unsigned bit = (unsigned{a.symbol} << 12) | (unsigned{b.symbol} << 6) | c.symbol;
      return (bits_[bit >> 6] >> (bit & 63)) & 1;
    }
    return others_.contains(trigram_key(a.cp, b.cp, c.cp));
  }

  std::size_t size() const { return size_; }

 private:
  class KeySet {
   public:
    static constexpr std::uint64_t empty = ~std::uint64_t{0};  // no packed key has bit 63 set

    KeySet() : keys_(16, empty), mask_(15) {}

    // True when the key was not there before.
    bool insert(std::uint64_t key) {
      for (std::size_t i = mix(key) & mask_;; i = (i + 1) & mask_) {
        std::uint64_t& k = keys_[i];
        if (k == key) return false;
        if (k == empty) {
          k = key;
          if (++size_ * 2 > keys_.size()) grow();
          return true;
        }
      }
    }

    bool contains(std::uint64_t key) const {
      if (size_ == 0) return false;
      for (std::size_t i = mix(key) & mask_;; i = (i + 1) & mask_) {
        const std::uint64_t k = keys_[i];
        if (k == key) return true;
        if (k == empty) return false;
      }
    }

   private:
    void grow() {
      std::vector<std::uint64_t> old(keys_.size() * 2, empty);
      old.swap(keys_);
      mask_ = keys_.size() - 1;
      for (std::uint64_t key : old) {
        if (key == empty) continue;
        std::size_t i = mix(key) & mask_;
        while (keys_[i] != empty) i = (i + 1) & mask_;
        keys_[i] = key;
      }
    }

    std::vector<std::uint64_t> keys_;
    std::size_t mask_;
    std::size_t size_ = 0;
  };

  std::vector<std::uint64_t> bits_;
  KeySet others_;
  std::size_t size_ = 0;
};

}  // namespace

struct Dictionaries::Impl {
  std::string owned[2];  // copies of lists that are not the embedded ones
  WordMap words[2];
  TrigramSet trigrams[2];
};

Dictionaries::Dictionaries() : impl_(std::make_unique<Impl>()) {}
Dictionaries::Dictionaries(Dictionaries&&) noexcept = default;
Dictionaries& Dictionaries::operator=(Dictionaries&&) noexcept = default;
Dictionaries::~Dictionaries() = default;

namespace {

// The characters of one word with its two markers: a fixed array for every real word, a vector
// only for an overlong line (vector bookkeeping per character was a noticeable part of a build).
class CharRun {
 public:
  void clear() {
    n_ = 0;
    spill_.clear();
  }
  void push(TrigramSet::Char c) {
    if (n_ < fixed_size) {
      fixed_[n_] = c;
    } else {
      if (n_ == fixed_size) spill_.assign(fixed_, fixed_ + fixed_size);
      spill_.push_back(c);
    }
    ++n_;
  }
  const TrigramSet::Char* data() const { return n_ <= fixed_size ? fixed_ : spill_.data(); }
  std::size_t size() const { return n_; }

 private:
  static constexpr std::size_t fixed_size = 64;
  TrigramSet::Char fixed_[fixed_size];
  std::vector<TrigramSet::Char> spill_;
  std::size_t n_ = 0;
};

// Upper bound of the lines of a text (memchr runs many bytes at a time; a byte loop was a
// noticeable part of a build).
std::size_t count_lines(std::string_view text) {
  std::size_t lines = 1;
  const char* p = text.data();
  const char* end = p + text.size();
  while (const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
    ++lines;
    p = static_cast<const char*>(lf) + 1;
  }
  return lines;
}

// One pass over the text. A line is its word up to the first space, then the count text up to the
// next space or the end of the line; a carriage return right before the line feed belongs to
// neither. A line without a space is skipped.
void build_layout(WordMap& words, TrigramSet& trigrams, std::string_view text) {
  words.start(text, count_lines(text));
  CharRun chars;  // "^", the word's characters, "$"; reused from line to line
  const std::size_t size = text.size();
  std::size_t pos = 0;
  while (pos < size) {
    const std::size_t line_start = pos;

    // The word. No byte of a multi-byte character is a space or a line feed, so decoding in
    // place never runs past the word.
    chars.clear();
    chars.push(TrigramSet::classify(U'^'));
    bool valid = true;
    while (pos < size && text[pos] != ' ' && text[pos] != '\n') {
      const text::Utf8Step step = next_char(text, pos);
      valid = valid && step.valid;
      chars.push(TrigramSet::classify(step.cp));
      pos += step.length;
    }
    if (pos == size || text[pos] == '\n') {
      ++pos;
      continue;
    }
    const std::size_t word_end = pos;

    // The count text and any further fields stay in the text: a lookup reads the count there.
    const std::size_t lf = text.find('\n', pos);
    pos = (lf == std::string_view::npos ? size : lf) + 1;

    // A word that is not UTF-8 is no word of the language: it has no characters to take
    // trigrams of, and keeping it would make such bytes findable.
    if (!valid) continue;
    chars.push(TrigramSet::classify(U'$'));
    const TrigramSet::Char* c = chars.data();
    for (std::size_t i = 0; i + 2 < chars.size(); ++i) trigrams.insert(c[i], c[i + 1], c[i + 2]);
    words.insert(static_cast<std::uint32_t>(line_start), word_end - line_start);
  }
}

bool is_dictionary_layout(Layout l) { return l == Layout::En || l == Layout::Ru; }

}  // namespace

Dictionaries build_dictionaries(std::string_view en_list, std::string_view ru_list) {
  Dictionaries d;
  Dictionaries::Impl& impl = d.impl();
  impl.owned[0].assign(en_list);
  impl.owned[1].assign(ru_list);
  for (int l = 0; l < 2; ++l) build_layout(impl.words[l], impl.trigrams[l], impl.owned[l]);
  return d;
}

Dictionaries load_dictionaries() {
  // The embedded lists live as long as the program: the maps point straight into them.
  Dictionaries d;
  Dictionaries::Impl& impl = d.impl();
  build_layout(impl.words[0], impl.trigrams[0], embedded_word_list(Layout::En));
  build_layout(impl.words[1], impl.trigrams[1], embedded_word_list(Layout::Ru));
  return d;
}

WordLookup word_count(const Dictionaries& d, Layout l, std::string_view word) {
  if (!is_dictionary_layout(l)) return {};
  return d.impl().words[static_cast<unsigned>(l)].find(word);
}

unsigned missing_trigrams(const Dictionaries& d, Layout l, std::string_view word) {
  const TrigramSet* set = is_dictionary_layout(l) ? &d.impl().trigrams[static_cast<unsigned>(l)] : nullptr;
  if (set && set->size() == 0) set = nullptr;
  // A window over "^", the characters, "$": each new character closes one trigram.
  unsigned chars = 0;
  unsigned missing = 0;
  bool valid = true;
  TrigramSet::Char a = TrigramSet::classify(U'^');
  TrigramSet::Char b{};
  for (std::size_t i = 0; i < word.size();) {
    const text::Utf8Step step = next_char(word, i);
    i += step.length;
    ++chars;
    if (!step.valid) valid = false;
    if (!valid || !set) continue;
    const TrigramSet::Char c = TrigramSet::classify(step.cp);
    if (chars >= 2) {
      missing += !set->contains(a, b, c);
      a = b;
    }
    b = c;
  }
  // Bytes that are not UTF-8 form no trigram of any real word: all of them are missing.
  if (!valid || !set) return chars;
  if (chars > 0) missing += !set->contains(a, b, TrigramSet::classify(U'$'));
  return missing;
}

std::size_t trigram_count(const Dictionaries& d, Layout l) {
  return is_dictionary_layout(l) ? d.impl().trigrams[static_cast<unsigned>(l)].size() : 0;
}

std::size_t word_total(const Dictionaries& d, Layout l) {
  return is_dictionary_layout(l) ? d.impl().words[static_cast<unsigned>(l)].size() : 0;
}

}  // namespace klavix
