// klavix-accuracy: types the sentences of the accuracy corpus through the real engine and hook
// logic on the simulated desktop, and scores what the windows show against what was meant.
//
//   klavix-accuracy [--corpus DIR] [--decision word|context|both] [--case NAME]... [--fast]
//                   [--watchful] [--limit N] [--outputs DIR] [--json FILE] [--examples N]
//
// The corpus folder holds ru.tsv, en.tsv and mixed.tsv (lines of `package<TAB>sentence`, or a
// bare sentence), as tools/make_corpus.py writes them. Five cases:
//
//   ru_on_en  Russian sentences typed on the Russian keys while the window has the En layout
//   en_on_ru  English sentences typed on the English keys while the window has the Ru layout
//   ru_on_ru  Russian sentences typed in the Ru layout (nothing should change)
//   en_on_en  English sentences typed in the En layout (nothing should change)
//   mixed     Russian sentences with English words, each word typed in its own layout: the
//             typist switches the layout by hand before each word of the other script (with
//             --watchful also whenever the window shows the wrong layout, as after a false
//             switch)
//
// Each sentence goes into a fresh window and is followed by a space, as in running text (the
// engine looks at a word when the space after it is typed). A typist waits for the engine
// after each space unless --fast is given.
//
// Figures per case: words as meant, lines exact, right words switched (of the words whose keys
// gave the meant text in the window's layout, those the program changed) and lines with no
// right word switched. Misses and false switches are broken down by kind. --outputs writes what
// each window showed, one line per sentence, to DIR/CASE.DECISION.out. The last line printed is
// the summary as one JSON object (also written to --json FILE).
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/startup.h"
#include "config/config.h"
#include "desktop/sim_desktop.h"
#include "sim/sim_driver.h"
#include "temporary_folder.h"
#include "text/text.h"

namespace {

using namespace klavix;

constexpr const char* usage =
    "usage: klavix-accuracy [--corpus DIR] [--decision word|context|both] [--case NAME]...\n"
    "                       [--fast] [--watchful] [--limit N] [--outputs DIR] [--json FILE]\n"
    "                       [--examples N]\n"
    "cases: ru_on_en en_on_ru ru_on_ru en_on_en mixed\n";

struct CaseSpec {
  const char* name;
  const char* title;
  const char* file;    // corpus file without .tsv
  Layout meant;        // the layout of the sentence's words (mixed: of its Russian words)
  Layout window;       // the window's layout at the start of each sentence
  bool mixed;
};

constexpr CaseSpec all_cases[] = {
    {"ru_on_en", "Russian typed on En", "ru", Layout::Ru, Layout::En, false},
    {"en_on_ru", "English typed on Ru", "en", Layout::En, Layout::Ru, false},
    {"ru_on_ru", "Russian typed on Ru", "ru", Layout::Ru, Layout::Ru, false},
    {"en_on_en", "English typed on En", "en", Layout::En, Layout::En, false},
    {"mixed", "Russian with English words, each in its layout", "mixed", Layout::Ru, Layout::Ru, true},
};

const char* decision_name(Decision d) { return d == Decision::Word ? "word" : "context"; }

struct Options {
  std::filesystem::path corpus = "build/corpus";
  std::vector<Decision> decisions{Decision::Word, Decision::Context};
  std::vector<const CaseSpec*> cases;
  bool fast = false;
  bool watchful = false;
  std::size_t limit = 0;
  std::optional<std::filesystem::path> outputs;
  std::optional<std::filesystem::path> json;
  std::size_t examples = 8;
};

std::optional<Options> parse_options(int argc, char** argv) {
  Options o;
  auto fail = [](const std::string& why) -> std::optional<Options> {
    std::cerr << "klavix-accuracy: " << why << "\n" << usage;
    return std::nullopt;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool takes_value = arg == "--corpus" || arg == "--decision" || arg == "--case" || arg == "--limit" ||
                             arg == "--outputs" || arg == "--json" || arg == "--examples";
    if (takes_value && i + 1 >= argc) return fail(std::string(arg) + " needs a value");
    if (arg == "--corpus") {
      o.corpus = argv[++i];
    } else if (arg == "--decision") {
      const std::string_view v = argv[++i];
      if (v == "word") o.decisions = {Decision::Word};
      else if (v == "context") o.decisions = {Decision::Context};
      else if (v == "both") o.decisions = {Decision::Word, Decision::Context};
      else return fail("--decision takes word, context or both");
    } else if (arg == "--case") {
      const std::string_view v = argv[++i];
      const CaseSpec* found = nullptr;
      for (const CaseSpec& c : all_cases)
        if (v == c.name) found = &c;
      if (!found) return fail("unknown case " + std::string(v));
      o.cases.push_back(found);
    } else if (arg == "--limit" || arg == "--examples") {
      char* end = nullptr;
      const unsigned long long v = std::strtoull(argv[++i], &end, 10);
      if (!end || *end != '\0' || argv[i][0] == '\0') return fail(std::string(arg) + " takes a number");
      (arg == "--limit" ? o.limit : o.examples) = static_cast<std::size_t>(v);
    } else if (arg == "--outputs") {
      o.outputs = argv[++i];
    } else if (arg == "--json") {
      o.json = argv[++i];
    } else if (arg == "--fast") {
      o.fast = true;
    } else if (arg == "--watchful") {
      o.watchful = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << usage;
      std::exit(0);
    } else {
      return fail("unknown argument " + std::string(arg));
    }
  }
  if (o.cases.empty())
    for (const CaseSpec& c : all_cases) o.cases.push_back(&c);
  return o;
}

// ---- the corpus ----

struct Sentence {
  std::string source;  // the package it came from, or empty
  std::u32string text;
};

std::optional<std::vector<Sentence>> read_corpus(const std::filesystem::path& file, std::size_t limit) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<Sentence> out;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    Sentence s;
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos) {
      s.source = line.substr(0, tab);
      line.erase(0, tab + 1);
    }
    const std::optional<std::u32string> cps = text::decode_utf8(line);
    if (!cps || cps->empty()) continue;
    s.text = *cps;
    out.push_back(std::move(s));
    if (limit && out.size() >= limit) break;
  }
  return out;
}

std::vector<std::u32string> split_words(std::u32string_view s) {
  std::vector<std::u32string> words;
  std::size_t i = 0;
  while (i <= s.size()) {
    const std::size_t end = std::min(s.find(U' ', i), s.size());
    words.emplace_back(s.substr(i, end - i));
    i = end + 1;
  }
  return words;
}

std::string utf8(std::u32string_view s) { return text::encode_utf8(s); }

LayoutHandle handle_of(Layout l) { return l == Layout::Ru ? layout_ru : layout_en_us; }

// What the keys of the word give in the window's layout when nothing corrects them.
std::u32string as_typed(std::u32string_view word, Layout meant, Layout window) {
  std::u32string out;
  for (char32_t c : word) {
    const std::optional<KeyChoice> k = key_for_character(c, meant, false);
    const KeyRow* row = k ? key_row(k->vk) : nullptr;
    out.push_back(row ? (k->shift ? row->upper(window) : row->lower(window)) : c);
  }
  return out;
}

bool is_letter_any(char32_t c) { return is_en_letter(c) || is_ru_letter(c); }

// ---- kinds of misses and false switches ----

enum Kind : int {
  Contraction,
  LeadingQuote,
  TrailingPunctuation,
  EdgeLetterKey,
  ShortWord,
  Acronym,
  CarriedAlong,
  AfterFalseSwitch,
  Other,
  kind_count
};

constexpr const char* kind_names[kind_count] = {
    "contraction", "leading quote/bracket", "trailing colon or other punctuation key",
    "letter on a punctuation key at an edge", "one or two letters", "acronym (all capitals)",
    "carried along (a short word before a change)", "after an earlier false switch in the line", "other"};
constexpr const char* kind_keys[kind_count] = {"contraction", "leading_quote", "trailing_punctuation",
                                               "edge_letter_key", "short_word", "acronym",
                                               "carried_along", "after_false_switch", "other"};

// The kind of a word by its meant and typed forms (same length: one key per character).
Kind word_kind(std::u32string_view meant, std::u32string_view typed) {
  for (std::size_t i = 1; i + 1 < meant.size(); ++i)
    if ((meant[i] == U'\'' || meant[i] == U'’') && is_letter_any(meant[i - 1]) && is_letter_any(meant[i + 1]))
      return Contraction;
  std::size_t a = 0;
  while (a < meant.size() && !is_letter_any(meant[a])) ++a;
  std::size_t b = meant.size();
  while (b > a && !is_letter_any(meant[b - 1])) --b;
  if (a == meant.size()) {
    // No letter at all (digits and punctuation): a punctuation key that gives a letter there.
    for (char32_t c : typed)
      if (is_letter_any(c)) return TrailingPunctuation;
    return Other;
  }
  if (a > 0) return LeadingQuote;
  if (typed.size() == meant.size()) {
    for (std::size_t i = b; i < meant.size(); ++i)
      if (is_letter_any(typed[i])) return TrailingPunctuation;
    if (a < b && (!is_letter_any(typed[a]) || !is_letter_any(typed[b - 1]))) return EdgeLetterKey;
  }
  std::size_t letters = 0;
  bool all_upper = true;
  for (std::size_t i = a; i < b; ++i) {
    if (!is_letter_any(meant[i])) continue;
    ++letters;
    if (!text::is_uppercase(meant[i])) all_upper = false;
  }
  if (letters <= 2) return ShortWord;
  if (all_upper) return Acronym;
  return Other;
}

// ---- scoring ----

struct Tally {
  std::size_t lines = 0, words = 0;
  std::size_t lines_exact = 0, words_as_meant = 0;
  std::size_t wrong_words = 0, fixed = 0, missed = 0, garbled = 0;  // keys typed in the other layout
  std::size_t right_words = 0, right_switched = 0;                  // keys typed in the right layout
  std::size_t switched_en = 0, switched_ru = 0;  // of right_switched: English words, Russian words
  std::size_t lines_untouched = 0;
  std::size_t misaligned_lines = 0;
  std::size_t miss_kinds[kind_count] = {};
  std::size_t false_kinds[kind_count] = {};
  std::map<std::string, std::size_t> miss_examples, false_examples;
  double seconds = 0;
};

// meant: the sentence's words; typed: what their keys give in the layout the window had;
// other: what the same keys give in the other layout (the engine's reading of a switch); got:
// what the window shows.
void score_line(Tally& t, const std::vector<std::u32string>& meant, const std::vector<std::u32string>& typed,
                const std::vector<std::u32string>& other, const std::vector<std::u32string>& got) {
  ++t.lines;
  t.words += meant.size();
  if (got.size() != meant.size()) {
    // The spaces are the typist's own; a window whose words do not line up lost or gained text.
    ++t.misaligned_lines;
    for (std::size_t i = 0; i < meant.size(); ++i) {
      if (typed[i] == meant[i]) {
        ++t.right_words;
        ++t.right_switched;
        ++t.false_kinds[Other];
      } else {
        ++t.wrong_words;
        ++t.garbled;
        ++t.miss_kinds[Other];
      }
    }
    return;
  }
  bool exact = true, untouched = true;
  bool earlier_false = false;
  for (std::size_t i = 0; i < meant.size(); ++i) {
    const bool ok = got[i] == meant[i];
    t.words_as_meant += ok;
    exact &= ok;
    const std::string example = utf8(meant[i]) + " -> " + utf8(got[i]);
    if (typed[i] == meant[i]) {
      ++t.right_words;
      if (ok) continue;
      ++t.right_switched;
      if (const std::optional<Layout> l = word_layout(meant[i])) ++(*l == Layout::En ? t.switched_en : t.switched_ru);
      untouched = false;
      // A short word is converted along with the word after it; a word after a false switch may
      // be a consequence of it (the window's layout changed, or words were typed again).
      Kind k;
      if (earlier_false) k = AfterFalseSwitch;
      else if (meant[i].size() < 3 && i + 1 < meant.size() && got[i + 1] != typed[i + 1]) k = CarriedAlong;
      else k = word_kind(meant[i], other[i]);
      ++t.false_kinds[k];
      ++t.false_examples[example];
      earlier_false = true;
      continue;
    }
    ++t.wrong_words;
    if (ok) {
      ++t.fixed;
      continue;
    }
    if (got[i] == typed[i]) ++t.missed;
    else ++t.garbled;
    const Kind k = earlier_false && got[i] != typed[i] ? AfterFalseSwitch : word_kind(meant[i], typed[i]);
    ++t.miss_kinds[k];
    ++t.miss_examples[example];
  }
  t.lines_exact += exact;
  t.lines_untouched += untouched;
}

// Types every sentence of a case with one decision; returns the window texts.
std::vector<std::string> run_case(const CaseSpec& c, Decision decision, const std::vector<Sentence>& sentences,
                                  bool fast, bool watchful, Tally& tally) {
  const auto t0 = std::chrono::steady_clock::now();
  SimDesktop desk;
  desk.set_keep_calls(false);
  desk.set_default_answer(win::IDNO);
  std::vector<std::string> outputs;
  outputs.reserve(sentences.size());
  {
    SimSession session(desk);
    prepare_settings(session.runtime());
    session.runtime().decision = decision;
    session.set_fast(fast);
    session.start();
    SimWindow init;
    init.layout = handle_of(c.window);
    WindowHandle previous = 0;
    for (const Sentence& s : sentences) {
      const WindowHandle w = session.new_window(init);
      if (previous) desk.destroy_window(previous);
      previous = w;
      const std::vector<std::u32string> meant = split_words(s.text);
      std::vector<std::u32string> typed, other;
      Layout in_mind = c.window;
      for (const std::u32string& word : meant) {
        const std::optional<Layout> own = word_layout(word);
        Layout keys = c.meant;
        if (c.mixed) {
          // The typist switches the layout by hand before a word of the other script than the
          // word before; a watchful one whenever the indicator shows the wrong layout for the
          // word (after a false switch too). A word of neither script is typed in whatever
          // layout the typist has in mind.
          const Layout now = layout_of_language(desk.window_layout(w)) == Layout::Ru ? Layout::Ru : Layout::En;
          if (own && *own != (watchful ? now : in_mind)) session.switch_layout(handle_of(*own));
          if (own) in_mind = *own;
          keys = in_mind;
          typed.push_back(word);
          other.push_back(as_typed(word, keys, other_layout(keys)));
        } else {
          typed.push_back(as_typed(word, c.meant, c.window));
          other.push_back(c.meant == c.window ? as_typed(word, c.meant, other_layout(c.window)) : typed.back());
        }
        for (char32_t ch : word) session.type_character(ch, keys);
        session.type_character(U' ', std::nullopt);
      }
      std::string shown = session.text();
      if (!shown.empty() && shown.back() == ' ') shown.pop_back();
      const std::optional<std::u32string> got_cps = text::decode_utf8(shown);
      score_line(tally, meant, typed, other, split_words(got_cps ? *got_cps : std::u32string()));
      outputs.push_back(std::move(shown));
    }
    session.stop();
  }
  tally.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return outputs;
}

// ---- report ----

double pct(std::size_t part, std::size_t whole) { return whole ? 100.0 * part / whole : 0.0; }

std::string fmt(const char* f, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

std::string json_escape(std::string_view s) {
  std::string out;
  for (char ch : s) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (static_cast<unsigned char>(ch) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", ch);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::size_t>> top(const std::map<std::string, std::size_t>& m, std::size_t n) {
  std::vector<std::pair<std::string, std::size_t>> v(m.begin(), m.end());
  std::stable_sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  if (v.size() > n) v.resize(n);
  return v;
}

std::string tally_json(const Tally& t) {
  std::ostringstream j;
  j << "{\"lines\":" << t.lines << ",\"words\":" << t.words << ",\"words_as_meant\":" << fmt("%.2f", pct(t.words_as_meant, t.words))
    << ",\"lines_exact\":" << fmt("%.2f", pct(t.lines_exact, t.lines))
    << ",\"right_words\":" << t.right_words << ",\"right_switched\":" << t.right_switched
    << ",\"right_switched_pct\":" << fmt("%.3f", pct(t.right_switched, t.right_words))
    << ",\"switched_en\":" << t.switched_en << ",\"switched_ru\":" << t.switched_ru
    << ",\"lines_untouched\":" << fmt("%.2f", pct(t.lines_untouched, t.lines))
    << ",\"wrong_words\":" << t.wrong_words << ",\"fixed\":" << t.fixed << ",\"missed\":" << t.missed
    << ",\"garbled\":" << t.garbled << ",\"misaligned_lines\":" << t.misaligned_lines << ",\"misses\":{";
  bool first = true;
  for (int k = 0; k < kind_count; ++k) {
    if (!t.miss_kinds[k]) continue;
    j << (first ? "" : ",") << '"' << kind_keys[k] << "\":" << t.miss_kinds[k];
    first = false;
  }
  j << "},\"false_switches\":{";
  first = true;
  for (int k = 0; k < kind_count; ++k) {
    if (!t.false_kinds[k]) continue;
    j << (first ? "" : ",") << '"' << kind_keys[k] << "\":" << t.false_kinds[k];
    first = false;
  }
  j << "},\"seconds\":" << fmt("%.1f", t.seconds) << "}";
  return j.str();
}

int run(const Options& o) {
  tools::TemporaryFolder settings("klavix-accuracy");
  if (settings.path().empty()) {
    std::cerr << "klavix-accuracy: cannot create a temporary settings folder\n";
    return 1;
  }
  set_settings_dir_override(settings.path());
  if (o.outputs) {
    std::error_code ec;
    std::filesystem::create_directories(*o.outputs, ec);
  }

  std::map<std::string, std::vector<Sentence>> corpus;
  for (const CaseSpec* c : o.cases) {
    if (corpus.count(c->file)) continue;
    const std::filesystem::path file = o.corpus / (std::string(c->file) + ".tsv");
    std::optional<std::vector<Sentence>> s = read_corpus(file, o.limit);
    if (!s) {
      std::cerr << "klavix-accuracy: cannot read " << file.string() << " (make it with scripts/make-corpus.sh)\n";
      return 1;
    }
    corpus[c->file] = std::move(*s);
  }

  // tallies[case][decision]
  std::vector<std::vector<Tally>> tallies(o.cases.size(), std::vector<Tally>(o.decisions.size()));
  for (std::size_t ci = 0; ci < o.cases.size(); ++ci) {
    for (std::size_t di = 0; di < o.decisions.size(); ++di) {
      const CaseSpec& c = *o.cases[ci];
      std::vector<std::string> out = run_case(c, o.decisions[di], corpus[c.file], o.fast, o.watchful, tallies[ci][di]);
      if (o.outputs) {
        const std::filesystem::path f = *o.outputs / (std::string(c.name) + "." + decision_name(o.decisions[di]) + ".out");
        std::ofstream of(f, std::ios::binary);
        for (const std::string& line : out) of << line << '\n';
        if (!of) {
          std::cerr << "klavix-accuracy: cannot write " << f.string() << "\n";
          return 1;
        }
      }
    }
  }

  std::string decisions_head;
  for (std::size_t di = 0; di < o.decisions.size(); ++di)
    decisions_head += std::string(di ? " / " : "") + decision_name(o.decisions[di]);
  std::printf("Accuracy on %s (%s%s typist), decision %s\n\n", o.corpus.string().c_str(), o.fast ? "fast" : "human-speed",
              o.watchful ? " watchful" : "", decisions_head.c_str());
  std::printf("| case | sentences | words | words as meant | lines exact | right words switched | lines untouched |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
  for (std::size_t ci = 0; ci < o.cases.size(); ++ci) {
    const std::vector<Tally>& ts = tallies[ci];
    auto cell = [&](auto value, const char* f) {
      std::string s;
      for (std::size_t di = 0; di < ts.size(); ++di) s += (di ? " / " : "") + fmt(f, value(ts[di]));
      return s;
    };
    const std::string meant = cell([](const Tally& t) { return pct(t.words_as_meant, t.words); }, "%.2f %%");
    const std::string exact = cell([](const Tally& t) { return pct(t.lines_exact, t.lines); }, "%.1f %%");
    std::string switched;
    for (std::size_t di = 0; di < ts.size(); ++di) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "%s%.3f %% (%zu of %zu)", di ? " / " : "", pct(ts[di].right_switched, ts[di].right_words),
                    ts[di].right_switched, ts[di].right_words);
      switched += buf;
    }
    const std::string untouched = cell([](const Tally& t) { return pct(t.lines_untouched, t.lines); }, "%.1f %%");
    std::printf("| %s | %zu | %zu | %s | %s | %s | %s |\n", o.cases[ci]->title, ts[0].lines, ts[0].words,
                meant.c_str(), exact.c_str(), switched.c_str(), untouched.c_str());
  }

  std::printf("\nBy kind. Missed: words typed in the other layout that the window does not show as meant;"
              " switched: right words changed.\n");
  for (std::size_t ci = 0; ci < o.cases.size(); ++ci) {
    const std::vector<Tally>& ts = tallies[ci];
    std::printf("\n%s\n", o.cases[ci]->title);
    for (std::size_t di = 0; di < ts.size(); ++di) {
      const Tally& t = ts[di];
      std::printf("  %-8s %zu words typed in the other layout: %zu put right, %zu left as typed, %zu changed wrongly;"
                  " right words switched: %zu English, %zu Russian",
                  (std::string(decision_name(o.decisions[di])) + ":").c_str(), t.wrong_words, t.fixed, t.missed,
                  t.garbled, t.switched_en, t.switched_ru);
      if (t.misaligned_lines) std::printf("; %zu lines lost or gained words", t.misaligned_lines);
      std::printf("\n");
    }
    bool header = false;
    for (int k = 0; k < kind_count; ++k) {
      bool any = false;
      std::string misses, falses;
      for (std::size_t di = 0; di < ts.size(); ++di) {
        any |= ts[di].miss_kinds[k] || ts[di].false_kinds[k];
        misses += (di ? " / " : "") + std::to_string(ts[di].miss_kinds[k]);
        falses += (di ? " / " : "") + std::to_string(ts[di].false_kinds[k]);
      }
      if (!any) continue;
      if (!header) {
        std::printf("  %-44s %-14s %s   (%s)\n", "kind", "missed", "switched", decisions_head.c_str());
        header = true;
      }
      std::printf("  %-44s %-14s %s\n", kind_names[k], misses.c_str(), falses.c_str());
    }
    for (std::size_t di = 0; di < ts.size(); ++di) {
      if (di && ts[di].miss_examples == ts[0].miss_examples && ts[di].false_examples == ts[0].false_examples) continue;
      const char* which = ts.size() > 1 && ts[di].miss_examples != ts[0].miss_examples ? decision_name(o.decisions[di]) : "";
      const auto m = top(ts[di].miss_examples, o.examples);
      const auto f = top(ts[di].false_examples, o.examples);
      if (!m.empty()) {
        std::printf("  most missed%s%s:", *which ? ", " : "", which);
        for (const auto& [e, n] : m) std::printf(" %s (%zu);", e.c_str(), n);
        std::printf("\n");
      }
      if (!f.empty()) {
        std::printf("  most switched%s%s:", *which ? ", " : "", which);
        for (const auto& [e, n] : f) std::printf(" %s (%zu);", e.c_str(), n);
        std::printf("\n");
      }
    }
  }

  std::ostringstream j;
  j << "{\"corpus\":\"" << json_escape(o.corpus.string()) << "\",\"typist\":\"" << (o.fast ? "fast" : "human")
    << (o.watchful ? " watchful" : "") << "\",\"cases\":{";
  for (std::size_t ci = 0; ci < o.cases.size(); ++ci) {
    j << (ci ? "," : "") << '"' << o.cases[ci]->name << "\":{";
    for (std::size_t di = 0; di < o.decisions.size(); ++di)
      j << (di ? "," : "") << '"' << decision_name(o.decisions[di]) << "\":" << tally_json(tallies[ci][di]);
    j << "}";
  }
  j << "}}";
  std::printf("\n%s\n", j.str().c_str());
  std::fflush(stdout);
  if (o.json) {
    std::ofstream jf(*o.json, std::ios::binary);
    jf << j.str() << '\n';
    if (!jf) {
      std::cerr << "klavix-accuracy: cannot write " << o.json->string() << "\n";
      return 1;
    }
  }
  set_settings_dir_override(std::nullopt);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> o = parse_options(argc, argv);
  if (!o) return 2;
  return run(*o);
}
