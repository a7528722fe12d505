// The dictionary loader on any list text. Every word a line gives is found with the count that
// line wrote (the later line winning), the totals of words and trigrams are those of the text,
// and a word no line gives is not found. The model below reads the format line by line: a line
// is its word up to the first space, then its count up to the next space or the line's end (a
// CR before the LF belongs to neither); a line without a space, or whose word is not UTF-8,
// gives nothing; a count is an optional "+" and 32-bit digits, anything else counts 1.
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <tuple>

#include "fuzz_check.h"
#include "layout/layout.h"
#include "text/text.h"

using namespace klavix;
using klavix::fuzz::escaped;

namespace {

struct Model {
  std::map<std::string, std::uint32_t> words;
  std::set<std::tuple<char32_t, char32_t, char32_t>> trigrams;
};

std::uint32_t count_of(std::string_view field) {
  if (!field.empty() && field[0] == '+') field.remove_prefix(1);
  if (field.empty()) return 1;
  std::uint64_t v = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return 1;
    v = v * 10 + static_cast<unsigned>(c - '0');
    if (v > 0xFFFFFFFFu) return 1;
  }
  return static_cast<std::uint32_t>(v);
}

Model model(std::string_view list) {
  Model m;
  std::size_t pos = 0;
  while (pos < list.size()) {
    const std::size_t lf = list.find('\n', pos);
    const bool has_lf = lf != std::string_view::npos;
    std::string_view line = list.substr(pos, has_lf ? lf - pos : std::string_view::npos);
    pos = has_lf ? lf + 1 : list.size();
    if (has_lf && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) continue;
    const std::string_view word = line.substr(0, space);
    const std::optional<std::u32string> cps = text::decode_utf8(word);
    if (!cps) continue;
    std::string_view field = line.substr(space + 1);
    field = field.substr(0, field.find(' '));
    m.words[std::string(word)] = count_of(field);
    std::u32string marked = U"^" + *cps + U"$";
    for (std::size_t i = 0; i + 2 < marked.size(); ++i) m.trigrams.insert({marked[i], marked[i + 1], marked[i + 2]});
  }
  return m;
}

void check(const Dictionaries& d, Layout l, std::string_view list, std::string_view probe) {
  const Model m = model(list);
  FUZZ_CHECK(word_total(d, l) == m.words.size(),
             std::to_string(word_total(d, l)) + " words for " + std::to_string(m.words.size()) + " in " + escaped(list));
  FUZZ_CHECK(trigram_count(d, l) == m.trigrams.size(), std::to_string(trigram_count(d, l)) + " trigrams for " +
                                                           std::to_string(m.trigrams.size()) + " in " + escaped(list));
  for (const auto& [word, count] : m.words) {
    const WordLookup found = word_count(d, l, word);
    FUZZ_CHECK(found.found && found.count == count, escaped(word) + ": found " + std::to_string(found.found) + ", count " +
                                                        std::to_string(found.count) + " for " + std::to_string(count) +
                                                        " in " + escaped(list));
    FUZZ_CHECK(missing_trigrams(d, l, word) == 0, escaped(word) + " misses trigrams in " + escaped(list));
  }
  // The probe and every piece of the list between separators: found exactly when a line gives them.
  auto probe_one = [&](std::string_view w) {
    const bool expected = m.words.contains(std::string(w));
    FUZZ_CHECK(word_count(d, l, w).found == expected, escaped(w) + " found: " + std::to_string(!expected) +
                                                          " in " + escaped(list));
  };
  probe_one(probe);
  for (std::size_t pos = 0; pos <= list.size();) {
    const std::size_t end = std::min(list.find_first_of(" \n", pos), list.size());
    probe_one(list.substr(pos, end - pos));
    pos = end + 1;
  }
  FUZZ_CHECK(!word_count(d, Layout::Other, probe).found, escaped(probe));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The English list, a zero byte, the Russian list, a zero byte, a word to look up.
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::size_t a = all.find('\0');
  const std::string_view en = all.substr(0, a);
  const std::string_view rest = a == std::string_view::npos ? std::string_view() : all.substr(a + 1);
  const std::size_t b = rest.find('\0');
  const std::string_view ru = rest.substr(0, b);
  const std::string_view probe = b == std::string_view::npos ? std::string_view() : rest.substr(b + 1);
  const Dictionaries d = build_dictionaries(en, ru);
  check(d, Layout::En, en, probe);
  check(d, Layout::Ru, ru, probe);
  return 0;
}
