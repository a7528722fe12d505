// Random scripts typed by a fast typist: the engine handles the events only now and then, so
// corrections find keys waiting behind them, and now and then a key slips in between the
// engine's look at them and its correction. Whatever the order, the window shows every key the
// user typed, in order, none lost, doubled or moved, each word in one of its two layouts; and
// where only plain keys were waiting it shows what the same keys give typed slowly.
#include <cstdlib>

#include "engine_fixture.h"
#include "typed_ahead_typing.h"

namespace klavix::testing {
namespace {

const char* const russian_words[] = {"привет", "как", "дела", "у", "тебя", "я", "не", "что", "это",
                                     "мы", "все", "да", "нет", "уже", "может", "объект", "хорошо", "мир"};
const char* const english_words[] = {"hello", "the", "world", "is", "a", "ok", "you", "and", "what", "time"};

std::vector<Action> make_script(std::minstd_rand& rng) {
  auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
  std::vector<Action> out;
  const int words = 2 + static_cast<int>(rng() % 7);
  for (int w = 0; w < words; ++w) {
    const bool russian = chance(70);
    const char* word = russian ? russian_words[rng() % std::size(russian_words)]
                               : english_words[rng() % std::size(english_words)];
    const Layout l = russian ? Layout::Ru : Layout::En;
    const std::u32string cps = *text::decode_utf8(word);
    for (std::size_t i = 0; i < cps.size(); ++i) {
      const auto key = EngineDesk::find_key(cps[i], l);
      out.push_back({Act::Key, key->first, key->second || (i == 0 && chance(15))});
      if (chance(4)) out.push_back({Act::Backspace});
      if (chance(2)) out.push_back({Act::CapsLock});
    }
    if (chance(6)) out.push_back({Act::Hotkey});
    if (chance(3)) out.push_back({Act::Click});
    out.push_back({Act::Key, win::VK_SPACE, false});
    if (chance(8)) out.push_back({Act::Key, win::VK_SPACE, false});
    if (chance(6)) out.push_back({Act::Hotkey});
    if (chance(3)) out.push_back({Act::Backspace});
  }
  return out;
}

TEST(TypedAheadStress, RandomScriptsTypedFast) {
  TempSettings settings;
  // A hundred thousand in the plain build; a tenth under the sanitizers, which are ten times
  // slower, and a few under Wine, where the same logic runs far slower still.
#if defined(_WIN32)
  constexpr int default_scripts = 1000;
#elif defined(__SANITIZE_ADDRESS__)
  constexpr int default_scripts = 10000;
#else
  constexpr int default_scripts = 100000;
#endif
  const char* env = std::getenv("KLAVIX_STRESS_SCRIPTS");
  const int scripts = env ? std::atoi(env) : default_scripts;
  std::minstd_rand rng(20261210);
  int compared = 0, left_out = 0, slipped = 0, failures = 0;
  for (int n = 0; n < scripts && failures < 5; ++n) {
    const std::vector<Action> script = make_script(rng);
    const std::uint32_t seed = static_cast<std::uint32_t>(rng());

    const bool switches = n % 4 != 0;
    Typing slow(false, switches);
    for (const Action& a : script) {
      slow.perform(a);
      slow.drain();
    }

    Typing fast(true, switches);
    std::minstd_rand sched(seed);
    std::size_t next = 0;
    // Now and then the next key reaches the window just as a correction starts.
    std::string order;  // how the run went, for a failure's message: keys, then engine steps (.)
    fast.on_batch = [&] {
      if (next < script.size() && script[next].act == Act::Key && sched() % 4 == 0) {
        order += "[slip " + describe({script[next]}) + "]";
        fast.perform(script[next++]);
        ++slipped;
      }
    };
    // Under Wine a key may even land part way through a batch (Windows keeps one whole), and
    // the hook may see the end of a batch only after SendInput has returned.
    const bool wine_like = n % 8 == 1;
    if (wine_like) {
      fast.desk.set_late_injected_records(sched() % 8);
      fast.on_record = [&] {
        if (next < script.size() && script[next].act == Act::Key && sched() % 16 == 0) {
          order += "[inside " + describe({script[next]}) + "]";
          fast.perform(script[next++]);
          ++slipped;
        }
      };
    }
    while (next < script.size()) {
      order += describe({script[next]});
      fast.perform(script[next++]);
      const unsigned k = sched() % 8;
      if (k < 3) continue;  // the engine is still busy
      if (k == 7) {
        while (fast.handle_one()) order += ".";
      } else {
        for (unsigned i = 0; i < k - 2 && fast.handle_one(); ++i) order += ".";
      }
    }
    fast.on_batch = nullptr;
    fast.on_record = nullptr;
    fast.desk.set_late_injected_records(0);
    fast.drain();

    const std::string why = check_windows(fast);
    if (!why.empty()) {
      ADD_FAILURE() << why << "\n  script: " << describe(script) << "\n  order: " << order
                    << "\n  window: " << fast.desk.text_utf8(fast.front().handle)
                    << "\n  slowly: " << slow.desk.text_utf8(slow.front().handle);
      ++failures;
      continue;
    }
    // Typed slowly into such a window, the keys after a correction stay in the old layout, where
    // a correction that took them in typed them in the new one: only a switching window compares.
    if (!switches) continue;
    if (fast.engine->corrections_left_out != 0) {
      ++left_out;
      continue;
    }
    ++compared;
    if (fast.shown() != slow.shown()) {
      ADD_FAILURE() << "typed fast: " << fast.desk.text_utf8(fast.front().handle) << "\n  order: " << order
                    << "\n  typed slowly: " << slow.desk.text_utf8(slow.front().handle) << "\n  script: " << describe(script);
      ++failures;
    }
  }
  std::printf("%d scripts: %d compared with slow typing, %d with a correction left out, %d keys slipped in\n",
              scripts, compared, left_out, slipped);
}

}  // namespace
}  // namespace klavix::testing
