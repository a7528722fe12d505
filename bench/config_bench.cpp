// Configuration costs: what the engine pays per decision for an unchanged list file (one
// metadata query), what a changed or huge file costs to read, and the settings and hotkey
// readers. Files live in a private temporary folder.
#include "harness.h"

#include <filesystem>
#include <fstream>
#include <random>

#include "config/config.h"

namespace klavix {
namespace {

namespace fs = std::filesystem;

fs::path folder() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("klavix-config-bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

fs::path write(const char* name, std::string_view bytes) {
  fs::path p = folder() / name;
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return p;
}

std::string huge_list() {
  std::string text;
  text.reserve(51u << 20);
  for (int i = 0; i < 50; ++i) text += std::string((1u << 20) - 1, static_cast<char>('a' + i % 26)) + "\n";
  return text;
}

void BM_refresh_unchanged(benchmark::State& state) {
  WatchedList list = load_list(write("exceptions.txt", default_exceptions_text()));
  for (auto _ : state) {
    refresh(list);
    benchmark::DoNotOptimize(list.entries.size());
  }
}
BENCHMARK(BM_refresh_unchanged);

void BM_refresh_missing(benchmark::State& state) {
  WatchedList list = load_list(folder() / "nothing-here.txt");
  for (auto _ : state) {
    refresh(list);
    benchmark::DoNotOptimize(list.entries.size());
  }
}
BENCHMARK(BM_refresh_missing);

void BM_refresh_changed_apps(benchmark::State& state) {
  WatchedList list = load_list(write("apps.txt", default_apps_text()));
  for (auto _ : state) {
    list.stamp.reset();  // as if the file had changed
    refresh(list);
    benchmark::DoNotOptimize(list.entries.size());
  }
}
BENCHMARK(BM_refresh_changed_apps);

void BM_contains(benchmark::State& state) {
  WatchedList list = load_list(write("apps.txt", default_apps_text()));
  for (auto _ : state) benchmark::DoNotOptimize(contains(list, "windowsterminal.exe"));
}
BENCHMARK(BM_contains);

void BM_load_list_50mb(benchmark::State& state) {
  fs::path p = write("huge.txt", huge_list());
  for (auto _ : state) {
    WatchedList list = load_list(p);
    benchmark::DoNotOptimize(list.entries.size());
  }
}
BENCHMARK(BM_load_list_50mb)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_parse_settings(benchmark::State& state) {
  const std::string text = render_settings(default_settings());
  for (auto _ : state) benchmark::DoNotOptimize(parse_settings(text));
}
BENCHMARK(BM_parse_settings);

void BM_parse_hotkey(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(parse_hotkey("ctrl + shift + space"));
}
BENCHMARK(BM_parse_hotkey);

}  // namespace
}  // namespace klavix

int main(int argc, char** argv) {
  using namespace klavix;
  // Heap held by the default apps list once loaded.
  long long apps_heap = 0;
  {
    WatchedList list;
    const fs::path p = write("apps.txt", default_apps_text());
    apps_heap = bench::heap_kept_by(list, [&] { return load_list(p); });
  }

  const bench::CollectingReporter times = bench::run_benchmarks(argc, argv);
  auto ns = [](double v) { return bench::fixed(v, 1) + " ns"; };
  auto us = [](double v) { return bench::fixed(v / 1e3, 2) + " us"; };
  auto ms = [](double v) { return bench::fixed(v / 1e6, 1) + " ms"; };
  bench::print_table({
      {"measure", "real time", "cpu time"},
      {"refresh, unchanged file", ns(times.ns("BM_refresh_unchanged")), ns(times.cpu_ns("BM_refresh_unchanged"))},
      {"refresh, missing file", ns(times.ns("BM_refresh_missing")), ns(times.cpu_ns("BM_refresh_missing"))},
      {"refresh, changed apps.txt (read + parse)", us(times.ns("BM_refresh_changed_apps")),
       us(times.cpu_ns("BM_refresh_changed_apps"))},
      {"contains", ns(times.ns("BM_contains")), ns(times.cpu_ns("BM_contains"))},
      {"load_list, 50 MB", ms(times.ns("BM_load_list_50mb")), ms(times.cpu_ns("BM_load_list_50mb"))},
      {"parse_settings, the template", ns(times.ns("BM_parse_settings")), ns(times.cpu_ns("BM_parse_settings"))},
      {"parse_hotkey", ns(times.ns("BM_parse_hotkey")), ns(times.cpu_ns("BM_parse_hotkey"))},
      {"heap kept by the default apps list", std::to_string(apps_heap) + " B", ""},
  });
  std::error_code ec;
  fs::remove_all(folder(), ec);
  bench::print_json({{"refresh_unchanged_ns", times.ns("BM_refresh_unchanged")},
                     {"refresh_missing_ns", times.ns("BM_refresh_missing")},
                     {"refresh_changed_apps_ns", times.ns("BM_refresh_changed_apps")},
                     {"contains_ns", times.ns("BM_contains")},
                     {"load_list_50mb_ms", times.ns("BM_load_list_50mb") / 1e6},
                     {"parse_settings_ns", times.ns("BM_parse_settings")},
                     {"parse_hotkey_ns", times.ns("BM_parse_hotkey")},
                     {"apps_list_heap_bytes", static_cast<double>(apps_heap)}});
  return 0;
}
