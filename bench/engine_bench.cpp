// The typing path's costs: the hook logic per key-down, recording a letter, a space with its
// decision, a whole correction. The desktop here records nothing, so only the core is measured.
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "harness.h"
#include "app/runtime.h"
#include "desktop/sim_desktop.h"
#include "config/config.h"
#include "engine/engine.h"
#include "engine/hooks.h"

namespace {

using namespace klavix;

constexpr WindowHandle the_window = 0x10010;

// A desktop that answers every question at once and keeps nothing.
class NullDesktop final : public Desktop {
 public:
  std::uint32_t send_input(std::span<const KeyInput> r) override {
    if (!first_send) first_send = std::chrono::steady_clock::now();
    return static_cast<std::uint32_t>(r.size());
  }
  // When the first SendInput of a correction came, for the time from the space to it.
  std::optional<std::chrono::steady_clock::time_point> first_send;
  std::int16_t get_async_key_state(int) override { return 0; }
  std::int16_t get_key_state(int) override { return 0; }
  std::uint32_t map_virtual_key(std::uint32_t code, std::uint32_t) override { return code & 0x7F; }
  WindowHandle foreground_window() override { return the_window; }
  std::uint32_t window_thread_process_id(WindowHandle, std::uint32_t* pid) override {
    if (pid) *pid = 0;
    return 0x1000;
  }
  LayoutHandle keyboard_layout(std::uint32_t) override { return 0x04090409; }
  int keyboard_layout_list(int capacity, LayoutHandle* out) override {
    if (capacity < 2) return 0;
    out[0] = 0x04090409;
    out[1] = 0x04190419;
    return 2;
  }
  bool post_message(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) override { return true; }
  ProcessHandle open_process(std::uint32_t, bool, std::uint32_t) override { return 0; }
  std::optional<std::u16string> query_full_process_image_name(ProcessHandle, std::uint32_t, std::uint32_t) override {
    return std::nullopt;
  }
  bool close_handle(ProcessHandle) override { return true; }
  bool gui_thread_info(std::uint32_t, GuiThreadInfo&) override { return false; }
  std::u16string class_name(WindowHandle, int) override { return {}; }
  std::int32_t window_long(WindowHandle, int) override { return 0x14CF0000; }
  bool window_rect(WindowHandle, Rect&) override { return false; }
  MonitorHandle monitor_from_window(WindowHandle, std::uint32_t) override { return 1; }
  bool monitor_info(MonitorHandle, MonitorInfo&) override { return false; }
  bool open_clipboard(WindowHandle) override { return false; }
  bool close_clipboard() override { return true; }
  bool empty_clipboard() override { return true; }
  std::uint32_t enum_clipboard_formats(std::uint32_t) override { return 0; }
  std::optional<std::size_t> clipboard_data_size(std::uint32_t) override { return std::nullopt; }
  std::optional<std::vector<std::uint8_t>> clipboard_data(std::uint32_t) override { return std::nullopt; }
  bool set_clipboard_data(std::uint32_t, std::span<const std::uint8_t>) override { return false; }
  std::uint32_t clipboard_sequence_number() override { return 1; }
  std::uint32_t register_clipboard_format(std::string_view) override { return 0; }
  bool set_clipboard_data_on_request(std::uint32_t) override { return false; }
  void set_clipboard_owner_handler(WindowHandle, std::function<void(ClipboardRequest, std::uint32_t)>) override {}
  WindowHandle create_message_window() override { return 0x20020; }
  void pump_messages() override {}
  EventHandle create_event() override { return 0; }
  bool set_event(EventHandle) override { return false; }
  WaitResult wait_for_event_or_message(EventHandle, std::optional<std::chrono::milliseconds>) override {
    return WaitResult::Timeout;
  }
  int message_box(WindowHandle, std::string_view, std::string_view, std::uint32_t) override { return 7; }
  void sleep_ms(std::uint32_t) override {}
  std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }
};

// The engine on a settings folder of its own (an existing exceptions.txt, as after start-up).
struct Bench {
  Bench() {
    dir = std::filesystem::temp_directory_path() / ("klavix-engine-bench-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(dir);
    set_settings_dir_override(dir);
    std::ofstream(dir / "exceptions.txt") << "# exceptions\nlol\n";
    std::ofstream(dir / "apps.txt") << "# programs\ncmd.exe\n";
    apply_settings(rt, default_settings());
    engine = std::make_unique<Engine>(make_engine(desk, rt, std::make_shared<const Dictionaries>(load_dictionaries())));
  }
  ~Bench() {
    engine.reset();
    set_settings_dir_override(std::nullopt);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // Sets the record to the keys of `word` typed on En into the window.
  void set_word(std::string_view word) {
    engine->keys.clear();
    engine->last_correction.reset();
    engine->last_window = the_window;
    for (char c : word) engine->keys.push_back(Keystroke{static_cast<std::uint16_t>(c), Layout::En, 0, 0});
  }

  std::filesystem::path dir;
  NullDesktop desk;
  Runtime rt;
  std::unique_ptr<Engine> engine;
};

Bench& the_bench() {
  static Bench b;
  return b;
}

EngineEvent key_event(std::uint16_t vk) {
  EngineEvent e;
  e.kind = EventKind::Key;
  e.vk = vk;
  e.window = the_window;
  return e;
}

// ---- the four operations, each one call of the typing path ----

struct HookRig {
  HookRig() : channel(make_channel()) { rt.event_sender.set(channel.sender); apply_settings(rt, default_settings()); }
  void drain() {
    while (channel.receiver.receive(std::chrono::steady_clock::now()).status == ReceiveStatus::Event) {
    }
  }
  NullDesktop desk;
  Runtime rt;
  Channel channel;
  KeyboardHookState state;
  KeyboardHookEvent ev{0x41, 0x1E, 0, 0, 0};
  bool once() { return keyboard_hook(state, rt, desk, 0, win::WM_KEYDOWN, ev); }
};

constexpr std::size_t drain_every = 1024;

void BM_hook_key_down(benchmark::State& state) {
  HookRig rig;
  std::size_t n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rig.once());
    if (++n % drain_every == 0) {
      state.PauseTiming();
      rig.drain();
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_hook_key_down);

void letter_once(Bench& b, std::size_t i) { handle_key(*b.engine, key_event(static_cast<std::uint16_t>('A' + i % 26))); }

void BM_letter(benchmark::State& state) {
  Bench& b = the_bench();
  b.set_word("");
  std::size_t i = 0;
  for (auto _ : state) letter_once(b, i++);
}
BENCHMARK(BM_letter);

// "hello" then a space: rendered twice, judged (a right English word), not corrected.
void space_once(Bench& b) {
  handle_key(*b.engine, key_event(win::VK_SPACE));
  b.engine->keys.pop_back();
}

void BM_space_with_decision(benchmark::State& state) {
  Bench& b = the_bench();
  b.set_word("HELLO");
  for (auto _ : state) space_once(b);
  if (b.engine->last_correction) state.SkipWithError("the word was corrected");
}
BENCHMARK(BM_space_with_decision);

// The same word's renderings and decision without the rest of the space's handling (the list
// refresh costs a file-system metadata query, which is most of a space on a slow system call).
void decision_once(Bench& b) {
  const Engine& e = *b.engine;
  const std::string typed = render_keystrokes(e.keys, 0, e.keys.size(), Layout::En);
  const std::string converted = render_keystrokes(e.keys, 0, e.keys.size(), Layout::Ru);
  benchmark::DoNotOptimize(decide_wrong_layout(*e.dictionaries, Layout::En, typed, converted, e.exceptions.entries, false));
}

void BM_decision_alone(benchmark::State& state) {
  Bench& b = the_bench();
  b.set_word("HELLO");
  for (auto _ : state) decision_once(b);
}
BENCHMARK(BM_decision_alone);

void BM_exceptions_refresh(benchmark::State& state) {
  Bench& b = the_bench();
  for (auto _ : state) refresh(b.engine->exceptions);
}
BENCHMARK(BM_exceptions_refresh);

// "ghbdtn" then a space: judged, foreground checked, erased and retyped, Russian requested.
void correction_once(Bench& b) {
  handle_key(*b.engine, key_event(win::VK_SPACE));
  b.engine->keys.pop_back();
  for (Keystroke& k : b.engine->keys) k.layout = Layout::En;
}

void BM_full_correction(benchmark::State& state) {
  Bench& b = the_bench();
  b.set_word("GHBDTN");
  for (auto _ : state) correction_once(b);
  if (!b.engine->last_correction) state.SkipWithError("the word was not corrected");
}
BENCHMARK(BM_full_correction);

// The same correction while the user has typed three more keys (r, f, r) that wait in the
// channel: the time from the space to the correction's SendInput, which takes them in.
void BM_correction_with_keys_waiting(benchmark::State& state) {
  Bench& b = the_bench();
  Channel ch = make_channel();
  b.engine->channel = &ch.receiver;
  b.set_word("GHBDTN");
  for (auto _ : state) {
    for (char c : {'R', 'F', 'R'}) ch.sender.send(key_event(static_cast<std::uint16_t>(c)));
    b.desk.first_send.reset();
    const auto start = std::chrono::steady_clock::now();
    handle_key(*b.engine, key_event(win::VK_SPACE));
    const auto sent = b.desk.first_send.value_or(std::chrono::steady_clock::now());
    state.SetIterationTime(std::chrono::duration<double>(sent - start).count());
    state.PauseTiming();
    if (!b.engine->last_correction || b.engine->taken_in.size() != 3) state.SkipWithError("the keys were not taken in");
    b.engine->taken_in.clear();
    b.set_word("GHBDTN");
    state.ResumeTiming();
  }
  b.engine->channel = nullptr;
}
BENCHMARK(BM_correction_with_keys_waiting)->UseManualTime();

// Heap allocations per operation, counted outside the timed runs.
template <class Op>
double allocations_per(std::size_t n, Op&& op) {
  const long long before = bench::heap_allocations();
  for (std::size_t i = 0; i < n; ++i) op(i);
  return static_cast<double>(bench::heap_allocations() - before) / static_cast<double>(n);
}

// ---- idle cost ----

// Voluntary context switches of one thread of this process: each is a sleep the thread woke from.
long long voluntary_switches(pid_t tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stoll(line.substr(24));
  return -1;
}

struct IdleFigures {
  double seconds = 0;
  long long switches = -1;      // the engine thread's sleeps and wake-ups
  std::uint64_t wakeups = 0;    // its waits for an event or a message that returned
};

// The real engine thread against the simulated desktop, idle for a few seconds once it has
// built its dictionaries and handled one event.
IdleFigures measure_idle(std::chrono::milliseconds span) {
  SimDesktop desk;
  Runtime rt;
  apply_settings(rt, default_settings());
  Channel ch = make_channel();
  std::atomic<pid_t> tid{0};
  std::thread engine([&, r = std::move(ch.receiver)]() mutable {
    tid = static_cast<pid_t>(syscall(SYS_gettid));
    run_engine(desk, rt, std::move(r));
  });
  EngineEvent reset;
  reset.kind = EventKind::Reset;
  ch.sender.send(reset);
  ch.sender.wait_until_idle();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the thread has gone to sleep
  IdleFigures f;
  const long long switches = voluntary_switches(tid);
  const std::uint64_t wakeups = desk.wakeups();
  std::this_thread::sleep_for(span);
  f.seconds = std::chrono::duration<double>(span).count();
  if (switches >= 0) f.switches = voluntary_switches(tid) - switches;
  f.wakeups = desk.wakeups() - wakeups;
  ch.sender = EventSender();
  engine.join();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::CollectingReporter reporter = bench::run_benchmarks(argc, argv);

  constexpr std::size_t n = 10000;
  HookRig rig;
  for (std::size_t i = 0; i < 4 * drain_every; ++i) rig.once();  // the ring has grown to its size
  rig.drain();
  const double hook_allocs = allocations_per(n, [&](std::size_t i) {
    rig.once();
    if ((i + 1) % drain_every == 0) rig.drain();
  });
  Bench& b = the_bench();
  b.set_word("");
  const double letter_allocs = allocations_per(n, [&](std::size_t i) { letter_once(b, i); });
  b.set_word("HELLO");
  const double space_allocs = allocations_per(n, [&](std::size_t) { space_once(b); });
  b.set_word("GHBDTN");
  const double correction_allocs = allocations_per(n, [&](std::size_t) { correction_once(b); });

  const IdleFigures idle = measure_idle(std::chrono::seconds(3));

  const double hook_ns = reporter.ns("BM_hook_key_down");
  const double letter_ns = reporter.ns("BM_letter");
  const double space_ns = reporter.ns("BM_space_with_decision");
  const double correction_ns = reporter.ns("BM_full_correction");
  const double waiting_ns = reporter.ns("BM_correction_with_keys_waiting");
  const double decision_ns = reporter.ns("BM_decision_alone");
  const double refresh_ns = reporter.ns("BM_exceptions_refresh");
  auto goal = [](double v, double limit) { return v < 0 ? "not run" : v < limit ? "met" : "MISSED"; };
  bench::print_table({
      {"operation", "ns", "allocations", "goal"},
      {"hook logic per key-down", bench::fixed(hook_ns, 1), bench::fixed(hook_allocs, 3),
       std::string(goal(hook_ns, 200)) + (hook_allocs == 0 ? "" : ", allocates")},
      {"handle_key, a letter", bench::fixed(letter_ns, 1), bench::fixed(letter_allocs, 3),
       std::string(goal(letter_ns, 200)) + (letter_allocs == 0 ? "" : ", allocates")},
      {"a space with its decision", bench::fixed(space_ns, 1), bench::fixed(space_allocs, 3), goal(space_ns, 2000)},
      {"  of which the decision", bench::fixed(decision_ns, 1), "-", "-"},
      {"  of which the exceptions refresh", bench::fixed(refresh_ns, 1), "-", "-"},
      {"a full correction", bench::fixed(correction_ns, 1), bench::fixed(correction_allocs, 3), "-"},
      {"space to SendInput, 3 keys waiting", bench::fixed(waiting_ns, 1), "-", "-"},
  });
  std::printf("\nidle engine thread over %.0f s: %lld wake-ups (voluntary context switches), %llu returned waits; goal 0: %s\n",
              idle.seconds, idle.switches, static_cast<unsigned long long>(idle.wakeups),
              idle.switches == 0 && idle.wakeups == 0 ? "met" : "MISSED");
  bench::print_json({{"hook_ns", hook_ns},
                     {"letter_ns", letter_ns},
                     {"space_ns", space_ns},
                     {"correction_ns", correction_ns},
                     {"space_to_send_with_keys_waiting_ns", waiting_ns},
                     {"hook_allocs", hook_allocs},
                     {"letter_allocs", letter_allocs},
                     {"idle_wakeups_per_s", static_cast<double>(idle.switches) / idle.seconds}});
  return 0;
}
