// The two frequency dictionaries: per layout a word-to-count map and a trigram set, built in one
// pass over the list text.
//
// Words are not copied: the word map is an open-addressing table of (offset, count) pairs whose
// offsets point into the list text, where every word is followed by the space that ends it. The
// trigram set is an open-addressing table of three 21-bit code points packed into 64 bits.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "layout/layout.h"
#include "text/text.h"

namespace klavix {

namespace {

// Decodes one character; the ASCII test keeps the word lists' many one-byte characters cheap.
inline text::Utf8Step next_char(std::string_view s, std::size_t pos) {
  const auto b = static_cast<unsigned char>(s[pos]);
  if (b < 0x80) return {b, 1, true};
  return text::decode_utf8_at(s, pos);
}

inline std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

inline std::uint64_t hash_bytes(std::string_view s) {
  std::uint64_t h = 0xcbf29ce484222325ULL;  // FNV-1a
  for (unsigned char b : s) {
    h ^= b;
    h *= 0x100000001b3ULL;
  }
  return mix(h);
}

inline std::uint64_t trigram_key(char32_t a, char32_t b, char32_t c) {
  return (std::uint64_t{a} << 42) | (std::uint64_t{b} << 21) | std::uint64_t{c};
}

std::size_t table_size_for(std::size_t entries) {
  // At most half full, so that a probe rarely goes past two slots.
  std::size_t size = 16;
  while (size < entries * 2) size *= 2;
  return size;
}

class WordMap {
 public:
  struct Slot {
    std::uint32_t offset;
    std::uint32_t count;
  };
  static constexpr std::uint32_t empty = 0xFFFFFFFFu;

  void start(std::string_view text, std::size_t max_words) {
    // Offsets are 32-bit and the top value marks an empty slot.
    require(text.size() < empty, "word list too large");
    text_ = text;
    slots_.assign(table_size_for(max_words), Slot{empty, 0});
    mask_ = slots_.size() - 1;
    size_ = 0;
  }

  // The word must lie in the text at `offset`, followed by a space.
  void insert(std::uint32_t offset, std::size_t length, std::uint32_t count) {
    const std::string_view word = text_.substr(offset, length);
    std::size_t i = hash_bytes(word) & mask_;
    for (;;) {
      Slot& slot = slots_[i];
      if (slot.offset == empty) {
        require(size_ < slots_.size() / 2, "word map overfull");
        slot = {offset, count};
        ++size_;
        return;
      }
      if (matches(slot.offset, word)) {
        slot.count = count;  // the later line wins
        return;
      }
      i = (i + 1) & mask_;
    }
  }

  const Slot* find(std::string_view word) const {
    // No stored word holds a space; one in the query would match a word and its count text.
    if (size_ == 0 || word.find(' ') != std::string_view::npos) return nullptr;
    std::size_t i = hash_bytes(word) & mask_;
    for (;;) {
      const Slot& slot = slots_[i];
      if (slot.offset == empty) return nullptr;
      if (matches(slot.offset, word)) return &slot;
      i = (i + 1) & mask_;
    }
  }

  std::size_t size() const { return size_; }

 private:
  // A stored word ends at the space after it, so a match needs the space right after the bytes.
  bool matches(std::uint32_t offset, std::string_view word) const {
    const std::size_t end = std::size_t{offset} + word.size();
    return end < text_.size() && text_[end] == ' ' && std::memcmp(text_.data() + offset, word.data(), word.size()) == 0;
  }

  std::string_view text_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

class TrigramSet {
 public:
  static constexpr std::uint64_t empty = ~std::uint64_t{0};  // no packed key has bit 63 set

  TrigramSet() : keys_(1024, empty), mask_(1023) {}

  void insert(std::uint64_t key) {
    std::size_t i = mix(key) & mask_;
    for (;;) {
      std::uint64_t& k = keys_[i];
      if (k == key) return;
      if (k == empty) {
        k = key;
        if (++size_ * 2 > keys_.size()) grow();
        return;
      }
      i = (i + 1) & mask_;
    }
  }

  bool contains(std::uint64_t key) const {
    std::size_t i = mix(key) & mask_;
    for (;;) {
      const std::uint64_t k = keys_[i];
      if (k == key) return true;
      if (k == empty) return false;
      i = (i + 1) & mask_;
    }
  }

  std::size_t size() const { return size_; }
  std::size_t heap_bytes() const { return keys_.capacity() * sizeof(std::uint64_t); }

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

// Step 3 of reading a line: an optional "+", then digits only, within 32 bits; anything else is 1.
std::uint32_t parse_count(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return 1;
  std::uint64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return 1;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 0xFFFFFFFFu) return 1;
  }
  return static_cast<std::uint32_t>(value);
}

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

void build_layout(WordMap& words, TrigramSet& trigrams, std::string_view text) {
  words.start(text, static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  std::u32string chars;  // the current word's characters, reused from word to word
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t lf = text.find('\n', pos);
    std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    const std::size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
    if (lf != std::string_view::npos && end > pos && text[end - 1] == '\r') --end;
    const std::string_view line = text.substr(pos, end - pos);
    const std::size_t word_start = pos;
    pos = next;

    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) continue;
    const std::string_view word = line.substr(0, space);
    std::string_view count_text = line.substr(space + 1);
    count_text = count_text.substr(0, count_text.find(' '));

    // "^", the characters, "$"; a word that is not UTF-8 has no characters to take trigrams of.
    chars.clear();
    chars.push_back(U'^');
    bool valid = true;
    for (std::size_t i = 0; i < word.size();) {
      const text::Utf8Step step = next_char(word, i);
      if (!step.valid) {
        valid = false;
        break;
      }
      chars.push_back(step.cp);
      i += step.length;
    }
    chars.push_back(U'$');
    if (valid) {
      for (std::size_t i = 0; i + 2 < chars.size(); ++i) trigrams.insert(trigram_key(chars[i], chars[i + 1], chars[i + 2]));
    }

    words.insert(static_cast<std::uint32_t>(word_start), word.size(), parse_count(count_text));
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
  const WordMap::Slot* slot = d.impl().words[static_cast<unsigned>(l)].find(word);
  if (!slot) return {};
  return {true, slot->count};
}

unsigned missing_trigrams(const Dictionaries& d, Layout l, std::string_view word) {
  const TrigramSet* set = is_dictionary_layout(l) ? &d.impl().trigrams[static_cast<unsigned>(l)] : nullptr;
  if (set && set->size() == 0) set = nullptr;
  // A window over "^", the characters, "$": each new character closes one trigram.
  unsigned chars = 0;
  unsigned missing = 0;
  bool valid = true;
  char32_t a = U'^';
  char32_t b = 0;
  for (std::size_t i = 0; i < word.size();) {
    const text::Utf8Step step = next_char(word, i);
    i += step.length;
    ++chars;
    if (!step.valid) valid = false;
    if (!valid || !set) continue;
    if (chars >= 2) {
      missing += !set->contains(trigram_key(a, b, step.cp));
      a = b;
    }
    b = step.cp;
  }
  // Bytes that are not UTF-8 form no trigram of any real word: all of them are missing.
  if (!valid || !set) return chars;
  if (chars > 0) missing += !set->contains(trigram_key(a, b, U'$'));
  return missing;
}

std::size_t trigram_count(const Dictionaries& d, Layout l) {
  return is_dictionary_layout(l) ? d.impl().trigrams[static_cast<unsigned>(l)].size() : 0;
}

std::size_t word_total(const Dictionaries& d, Layout l) {
  return is_dictionary_layout(l) ? d.impl().words[static_cast<unsigned>(l)].size() : 0;
}

}  // namespace klavix
