// The layout model's costs: building the dictionaries (time and heap kept) beside a naive
// standard-container build of the same lists, the two lookups, and the decision per word.
#include <array>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "harness.h"
#include "layout/layout.h"
#include "text/text.h"

namespace {

using namespace klavix;

// ---- the naive baseline: std::string keys, code-point triples, one std::string per line ----

using Triple = std::array<char32_t, 3>;
struct TripleHash {
  std::size_t operator()(const Triple& t) const {
    return std::hash<std::uint64_t>()((std::uint64_t{t[0]} << 42) ^ (std::uint64_t{t[1]} << 21) ^ t[2]);
  }
};

struct BaselineDictionaries {
  std::unordered_map<std::string, std::uint32_t> words[2];
  std::unordered_set<Triple, TripleHash> trigrams[2];
};

BaselineDictionaries baseline_load() {
  BaselineDictionaries d;
  for (int l = 0; l < 2; ++l) {
    const std::string text(embedded_word_list(static_cast<Layout>(l)));
    std::size_t pos = 0;
    while (pos < text.size()) {
      const std::size_t lf = text.find('\n', pos);
      const std::string line = text.substr(pos, lf - pos);
      pos = lf + 1;
      const std::size_t space = line.find(' ');
      if (space == std::string::npos) continue;
      const std::string word = line.substr(0, space);
      const auto count = static_cast<std::uint32_t>(std::stoul(line.substr(space + 1)));
      std::u32string chars = U"^";
      chars += text::decode_utf8(word).value_or(U"");
      chars += U"$";
      for (std::size_t i = 0; i + 2 < chars.size(); ++i) d.trigrams[l].insert({chars[i], chars[i + 1], chars[i + 2]});
      d.words[l][word] = count;
    }
  }
  return d;
}

// ---- fixed samples ----

struct Lookup {
  Layout layout;
  std::string word;
};

struct TypedWord {
  Layout layout;  // the layout it was typed in
  std::string typed, converted;
};

std::vector<std::string> every_nth_word(Layout l, std::size_t n) {
  std::vector<std::string> out;
  const std::string_view list = embedded_word_list(l);
  std::size_t line = 0;
  for (std::size_t pos = 0; pos < list.size(); ++line) {
    const std::size_t lf = list.find('\n', pos);
    if (line % n == 0) out.emplace_back(list.substr(pos, list.find(' ', pos) - pos));
    pos = lf + 1;
  }
  return out;
}

// Words of both lists, each once as a dictionary word and once as the same keys read in the
// other layout (mostly not found).
std::vector<Lookup> lookup_sample() {
  std::vector<Lookup> out;
  for (Layout l : {Layout::En, Layout::Ru}) {
    for (const std::string& w : every_nth_word(l, 97)) {
      out.push_back({l, w});
      out.push_back({l, convert_text(w).text});
    }
  }
  return out;
}

// Words typed in the right layout (the decision should say no) and the same keys typed in the
// wrong one (it should mostly say yes), for both layouts.
std::vector<TypedWord> typed_sample() {
  std::vector<TypedWord> out;
  for (Layout l : {Layout::En, Layout::Ru}) {
    for (const std::string& w : every_nth_word(l, 53)) {
      const std::string other = convert_text(w).text;
      out.push_back({l, w, other});
      out.push_back({other_layout(l), other, w});
    }
  }
  return out;
}

const Dictionaries& dictionaries() {
  static const Dictionaries d = load_dictionaries();
  return d;
}

// ---- benchmarks ----

void BM_load_dictionaries(benchmark::State& state) {
  for (auto _ : state) {
    Dictionaries d = load_dictionaries();
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_load_dictionaries)->Unit(benchmark::kMillisecond);

void BM_baseline_load(benchmark::State& state) {
  for (auto _ : state) {
    BaselineDictionaries d = baseline_load();
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_baseline_load)->Unit(benchmark::kMillisecond);

void BM_word_count(benchmark::State& state) {
  const auto sample = lookup_sample();
  const Dictionaries& d = dictionaries();
  std::size_t i = 0;
  for (auto _ : state) {
    const Lookup& s = sample[i];
    benchmark::DoNotOptimize(word_count(d, s.layout, s.word));
    if (++i == sample.size()) i = 0;
  }
}
BENCHMARK(BM_word_count);

void BM_missing_trigrams(benchmark::State& state) {
  const auto sample = lookup_sample();
  const Dictionaries& d = dictionaries();
  std::size_t i = 0;
  for (auto _ : state) {
    const Lookup& s = sample[i];
    benchmark::DoNotOptimize(missing_trigrams(d, s.layout, s.word));
    if (++i == sample.size()) i = 0;
  }
}
BENCHMARK(BM_missing_trigrams);

void BM_decide_wrong_layout(benchmark::State& state) {
  const auto sample = typed_sample();
  const Dictionaries& d = dictionaries();
  const WordSet exceptions = {"ёлки", "ok"};
  std::size_t i = 0;
  for (auto _ : state) {
    const TypedWord& s = sample[i];
    benchmark::DoNotOptimize(decide_wrong_layout(d, s.layout, s.typed, s.converted, exceptions, false));
    if (++i == sample.size()) i = 0;
  }
}
BENCHMARK(BM_decide_wrong_layout);

// The two words before each sample word: one Russian, one English, as a mixed sentence has.
const std::array<WordBefore, 2> two_words_before = {WordBefore{"это", "'nj", Layout::Ru},
                                                    WordBefore{"the", "ерн", Layout::En}};

void BM_decide_in_context(benchmark::State& state) {
  const auto sample = typed_sample();
  const Dictionaries& d = dictionaries();
  const WordSet exceptions = {"ёлки", "ok"};
  const WordContext context{two_words_before, false};
  std::size_t i = 0;
  for (auto _ : state) {
    const TypedWord& s = sample[i];
    benchmark::DoNotOptimize(decide_in_context(d, s.layout, s.typed, s.converted, exceptions, context));
    if (++i == sample.size()) i = 0;
  }
}
BENCHMARK(BM_decide_in_context);

// Allocations per decision over the whole sample, after one warm-up pass.
template <typename Decide>
double allocations_per_word(const Decide& decide) {
  const auto sample = typed_sample();
  for (const TypedWord& s : sample) benchmark::DoNotOptimize(decide(s));
  const long long before = bench::heap_allocations();
  for (const TypedWord& s : sample) benchmark::DoNotOptimize(decide(s));
  return static_cast<double>(bench::heap_allocations() - before) / static_cast<double>(sample.size());
}

std::string mb(long long bytes) { return bench::fixed(static_cast<double>(bytes) / 1e6, 2) + " MB"; }

}  // namespace

int main(int argc, char** argv) {
  // Heap kept by each build, measured once with nothing else alive.
  long long heap_bytes = 0;
  long long baseline_heap_bytes = 0;
  {
    Dictionaries d;
    heap_bytes = bench::heap_kept_by(d, [] { return load_dictionaries(); });
  }
  {
    BaselineDictionaries d;
    baseline_heap_bytes = bench::heap_kept_by(d, [] { return baseline_load(); });
  }

  // How the decision answers the sample, as a check that it measures real work.
  const auto sample = typed_sample();
  std::size_t right_kept = 0, wrong_fixed = 0;
  for (std::size_t i = 0; i < sample.size(); ++i) {
    const TypedWord& s = sample[i];
    const bool yes = decide_wrong_layout(dictionaries(), s.layout, s.typed, s.converted, {}, false);
    if (i % 2 == 0) {
      right_kept += !yes;  // typed in the right layout
    } else {
      wrong_fixed += yes;  // the same keys in the wrong one
    }
  }

  const WordSet exceptions = {"ёлки", "ok"};
  const double word_allocs = allocations_per_word([&](const TypedWord& s) {
    return decide_wrong_layout(dictionaries(), s.layout, s.typed, s.converted, exceptions, false);
  });
  const double context_allocs = allocations_per_word([&](const TypedWord& s) {
    return decide_in_context(dictionaries(), s.layout, s.typed, s.converted, exceptions,
                             WordContext{two_words_before, false});
  });

  const bench::CollectingReporter times = bench::run_benchmarks(argc, argv);
  const double load_ms = times.ns("BM_load_dictionaries") / 1e6;
  const double baseline_ms = times.ns("BM_baseline_load") / 1e6;
  const double word_ns = times.ns("BM_word_count");
  const double trigram_ns = times.ns("BM_missing_trigrams");
  const double decide_ns = times.ns("BM_decide_wrong_layout");
  const double load_cpu_ms = times.cpu_ns("BM_load_dictionaries") / 1e6;
  const double baseline_cpu_ms = times.cpu_ns("BM_baseline_load") / 1e6;
  const double decide_cpu_ns = times.cpu_ns("BM_decide_wrong_layout");
  const double context_ns = times.ns("BM_decide_in_context");
  const double context_cpu_ns = times.cpu_ns("BM_decide_in_context");

  auto met = [](bool ok) { return std::string(ok ? "met" : "MISSED"); };
  auto ms = [](double v) { return bench::fixed(v, 2) + " ms"; };
  auto ns = [](double v) { return bench::fixed(v, 1) + " ns"; };
  bench::print_table({
      {"measure", "real time", "cpu time", "naive baseline (real / cpu)", "goal", ""},
      {"load_dictionaries", ms(load_ms), ms(load_cpu_ms), ms(baseline_ms) + " / " + ms(baseline_cpu_ms),
       "<= 1/10 of baseline", met(load_ms <= baseline_ms / 10) + " (ratio " + bench::fixed(baseline_ms / load_ms, 1) + ")"},
      {"heap kept, both layouts", mb(heap_bytes), "", mb(baseline_heap_bytes), "<= 4 MB", met(heap_bytes <= 4'000'000)},
      {"word_count per lookup", ns(word_ns), ns(times.cpu_ns("BM_word_count")), "", "", ""},
      {"missing_trigrams per lookup", ns(trigram_ns), ns(times.cpu_ns("BM_missing_trigrams")), "", "", ""},
      {"decide_wrong_layout per word", ns(decide_ns), ns(decide_cpu_ns), "", "< 1000 ns", met(decide_ns < 1000)},
      {"decide_in_context per word, two words before", ns(context_ns), ns(context_cpu_ns), "", "<= 2000 ns",
       met(context_ns <= 2000)},
      {"allocations per word: word / context", bench::fixed(word_allocs, 2) + " / " + bench::fixed(context_allocs, 2),
       "", "", "context <= word", met(context_allocs <= word_allocs)},
      {"sample: right kept / wrong fixed", std::to_string(right_kept) + " / " + std::to_string(wrong_fixed), "",
       "", "of " + std::to_string(sample.size() / 2) + " each", ""},
  });
  bench::print_json({{"load_ms", load_ms},
                     {"baseline_load_ms", baseline_ms},
                     {"heap_bytes", static_cast<double>(heap_bytes)},
                     {"baseline_heap_bytes", static_cast<double>(baseline_heap_bytes)},
                     {"lookup_ns", word_ns},
                     {"missing_trigrams_ns", trigram_ns},
                     {"decide_ns", decide_ns},
                     {"decide_in_context_ns", context_ns},
                     {"word_decision_allocations", word_allocs},
                     {"context_decision_allocations", context_allocs},
                     {"load_cpu_ms", load_cpu_ms},
                     {"baseline_load_cpu_ms", baseline_cpu_ms},
                     {"decide_cpu_ns", decide_cpu_ns}});
  return 0;
}
