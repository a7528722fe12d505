#pragma once
// Shared pieces of the benchmarks: a heap counter (the global operator new/delete are replaced
// here, so include this header in exactly one source file of each benchmark executable), a
// reporter that keeps every run's time per iteration, a table printer and the final JSON line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace klavix::bench {

// ---- heap counting ----

struct HeapCounters {
  std::atomic<long long> live_bytes{0};
  std::atomic<long long> allocations{0};
};

inline HeapCounters& heap_counters() {
  static HeapCounters counters;
  return counters;
}

inline long long heap_live_bytes() { return heap_counters().live_bytes.load(std::memory_order_relaxed); }
inline long long heap_allocations() { return heap_counters().allocations.load(std::memory_order_relaxed); }

// Runs make(), keeps its result alive in `out` and returns the heap bytes the result holds
// (what is still allocated afterwards, less what was allocated before).
template <class T, class Make>
long long heap_kept_by(T& out, Make&& make) {
  const long long before = heap_live_bytes();
  out = make();
  return heap_live_bytes() - before;
}

namespace detail {
// Each block carries its size in front, so that every delete knows what it gives back.
constexpr std::size_t header = alignof(std::max_align_t);

// Kept out of line: inlined into a caller, GCC would pair the malloc/free below with that
// caller's new/delete and warn about a mismatch that is not there.
[[gnu::noinline]] inline void* counted_alloc(std::size_t size) {
  void* raw = std::malloc(size + header);
  if (!raw) return nullptr;
  *static_cast<std::size_t*>(raw) = size;
  heap_counters().live_bytes.fetch_add(static_cast<long long>(size), std::memory_order_relaxed);
  heap_counters().allocations.fetch_add(1, std::memory_order_relaxed);
  return static_cast<char*>(raw) + header;
}

[[gnu::noinline]] inline void counted_free(void* p) {
  if (!p) return;
  void* raw = static_cast<char*>(p) - header;
  heap_counters().live_bytes.fetch_sub(static_cast<long long>(*static_cast<std::size_t*>(raw)),
                                       std::memory_order_relaxed);
  std::free(raw);
}
}  // namespace detail

// ---- timing ----

// Time per iteration of every benchmark run, in nanoseconds, by benchmark name: real (wall-clock)
// time, and the process's CPU time, which a machine busy with other work inflates less.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter() : ConsoleReporter(OO_Tabular) {}  // plain text: the output goes to logs

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      const auto n = static_cast<double>(run.iterations);
      times_[run.benchmark_name()] = {run.real_accumulated_time * 1e9 / n, run.cpu_accumulated_time * 1e9 / n};
    }
  }
  // Times of the run whose name starts with `name` (arguments and options follow it), or -1.
  double ns(const std::string& name) const { return find(name).first; }
  double cpu_ns(const std::string& name) const { return find(name).second; }

 private:
  std::pair<double, double> find(const std::string& name) const {
    for (const auto& [key, value] : times_) {
      if (key == name || key.rfind(name + "/", 0) == 0) return value;
    }
    return {-1, -1};
  }

  std::map<std::string, std::pair<double, double>> times_;
};

// Runs the registered benchmarks (command-line options as Google Benchmark takes them).
inline CollectingReporter run_benchmarks(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter;
}

// ---- output ----

// Prints rows as an aligned table; the first row is the heading.
inline void print_table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  auto line = [&](const std::vector<std::string>& row) {
    std::string out;
    for (std::size_t i = 0; i < row.size(); ++i) {
      out += row[i];
      if (i + 1 < row.size()) out += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    std::printf("%s\n", out.c_str());
  };
  std::printf("\n");
  for (std::size_t r = 0; r < rows.size(); ++r) {
    line(rows[r]);
    if (r == 0) {
      std::size_t total = 0;
      for (std::size_t w : widths) total += w + 2;
      std::printf("%s\n", std::string(total - 2, '-').c_str());
    }
  }
  std::printf("\n");
}

inline std::string fixed(double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  return buf;
}

// The machine-readable summary, always the last line a benchmark prints.
inline void print_json(const std::vector<std::pair<std::string, double>>& fields) {
  std::string out = "{";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out += ", ";
    const double v = fields[i].second;
    out += "\"" + fields[i].first + "\": " + (v == static_cast<double>(static_cast<long long>(v))
                                                  ? std::to_string(static_cast<long long>(v))
                                                  : fixed(v, 3));
  }
  out += "}";
  std::printf("%s\n", out.c_str());
  std::fflush(stdout);
}

}  // namespace klavix::bench

// Replacements of the global allocation functions (the array, nothrow and sized forms of the
// library call these).
void* operator new(std::size_t size) {
  if (void* p = klavix::bench::detail::counted_alloc(size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { klavix::bench::detail::counted_free(p); }
void operator delete(void* p, std::size_t) noexcept { klavix::bench::detail::counted_free(p); }
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { klavix::bench::detail::counted_free(p); }
void operator delete[](void* p, std::size_t) noexcept { klavix::bench::detail::counted_free(p); }
