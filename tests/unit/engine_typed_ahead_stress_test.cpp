// Random scripts typed by a fast typist: the engine handles the events only now and then, so
// corrections find keys waiting behind them, and now and then a key slips in between the
// engine's look at them and its correction. Whatever the order, the window shows every key the
// user typed, in order, none lost, doubled or moved, each word in one of its two layouts; and
// where only plain keys were waiting it shows what the same keys give typed slowly. The user
// also switches layouts by hand, to a third one too: before a word, inside one, before a space.
#include <algorithm>
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
  // En, Ru or German.
  auto switch_by_hand = [&] { out.push_back({Act::SwitchLayout, static_cast<std::uint16_t>(rng() % 3)}); };
  for (int w = 0; w < words; ++w) {
    if (chance(5)) switch_by_hand();
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
      if (chance(1)) switch_by_hand();
    }
    if (chance(6)) out.push_back({Act::Hotkey});
    if (chance(3)) out.push_back({Act::Click});
    if (chance(3)) switch_by_hand();
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
      // A switch by hand lands where it lands in slow typing: once the engine has caught up
      // (its own layout request would otherwise come after it).
      if (script[next].act == Act::SwitchLayout) {
        while (fast.handle_one()) order += ".";
      }
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
    // A switch by hand races the program's own request when the engine is behind: which of
    // the two the next keys find is a matter of timing, and both outcomes are sound.
    if (std::any_of(script.begin(), script.end(), [](const Action& a) { return a.act == Act::SwitchLayout; })) continue;
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

// ---- long sentences typed fast in the wrong layout ----

const char* const sentence_words[] = {
    "привет", "как", "дела", "сегодня", "хорошо", "работа", "здание", "средство", "человек", "время",
    "жизнь", "город", "говорить", "знать", "может", "только", "который", "сказать", "должен", "потом",
    "очень", "тоже", "всегда", "вопрос", "ответ", "дорога", "машина", "компьютер", "программа", "клавиатура",
    "окно", "слово", "письмо", "неделя", "завтра", "вчера", "сейчас", "почему", "когда", "здесь"};

// Sentences typed into a window on En, each ended by a full stop or a question mark and Enter,
// after which the window is on En again. Half of them are Russian all through, typed on the keys
// of the Ru layout; the others start in English and end with one to four Russian words, so the
// first correction of a line, and the first word after it, fall anywhere up to its end.
std::vector<Action> make_sentences(std::minstd_rand& rng, int sentences) {
  std::vector<Action> out;
  auto type = [&](char32_t c, Layout l, bool shift_first) {
    const auto key = EngineDesk::find_key(c, l);
    out.push_back({Act::Key, key->first, key->second || shift_first});
  };
  for (int s = 0; s < sentences; ++s) {
    const int words = 8 + static_cast<int>(rng() % 9);
    const int russian_from = rng() % 2 == 0 ? 0 : words - 1 - static_cast<int>(rng() % 4);
    for (int w = 0; w < words; ++w) {
      const bool russian = w >= russian_from;
      const Layout l = russian ? Layout::Ru : Layout::En;
      const char* word = russian ? sentence_words[rng() % std::size(sentence_words)]
                                 : english_words[rng() % std::size(english_words)];
      const std::u32string cps = *text::decode_utf8(word);
      for (std::size_t i = 0; i < cps.size(); ++i) type(cps[i], l, w == 0 && i == 0);
      if (w + 1 == words) {
        type(rng() % 4 == 0 ? U'?' : U'.', l, false);
        break;
      }
      if (rng() % 10 == 0) type(U',', l, false);
      out.push_back({Act::Key, win::VK_SPACE, false});
    }
    out.push_back({Act::Enter});
  }
  return out;
}

bool latin_letter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }
bool cyrillic_letter(char32_t c) { return c >= 0x400 && c <= 0x4FF; }

struct WordCount {
  int words = 0;
  int split = 0;
  std::string first_split;
};

// The words on the screen: maximal runs of characters other than spaces whose keys were typed as
// one word. A split word holds both Latin and Cyrillic letters.
WordCount count_words(const Typing& r) {
  WordCount out;
  const std::u32string s = r.shown();
  const TypedWindow& w = r.front();
  if (s.size() != w.slots.size()) {
    out.first_split = "the window shows " + std::to_string(s.size()) + " characters for " +
                      std::to_string(w.slots.size()) + " keys";
    ++out.split;
    return out;
  }
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == U' ') {
      ++i;
      continue;
    }
    std::size_t j = i;
    bool latin = false, cyrillic = false;
    for (; j < s.size() && s[j] != U' ' && w.words[j] == w.words[i]; ++j) {
      latin = latin || latin_letter(s[j]);
      cyrillic = cyrillic || cyrillic_letter(s[j]);
    }
    ++out.words;
    if (latin && cyrillic) {
      if (out.split++ == 0) out.first_split = text::encode_utf8(s.substr(i, j - i));
    }
    i = j;
  }
  return out;
}

// How the window's thread keeps up in a run.
enum class WindowPace : std::uint8_t {
  Idle,          // takes every key the moment it comes: a key after a correction, before its
                 // layout request, comes out in the old layout
  BusyWithOurs,  // busy with each correction until the request is posted, which it takes first
  SlowWithOurs,  // busy with each correction for a few keys more: the request overtakes them
};

TEST(TypedAheadStress, LongSentencesTypedFastKeepEveryWordInOneLayout) {
  TempSettings settings;
#if defined(_WIN32)
  constexpr int default_runs = 100;
#elif defined(__SANITIZE_ADDRESS__)
  constexpr int default_runs = 600;
#else
  constexpr int default_runs = 6000;
#endif
  const char* env = std::getenv("KLAVIX_STRESS_SENTENCE_RUNS");
  const int runs = env ? std::atoi(env) : default_runs;
  std::minstd_rand rng(20261211);
  int words = 0, split = 0, slipped = 0, failures = 0;
  for (int n = 0; n < runs; ++n) {
    const std::vector<Action> script = make_sentences(rng, 3);
    std::minstd_rand sched(static_cast<std::uint32_t>(rng()));
    const auto pace = static_cast<WindowPace>(n % 3);
    Typing fast(true, true);
    fast.desk.set_busy_with_injected_input(pace == WindowPace::BusyWithOurs);
    if (n % 6 == 5) fast.desk.set_late_injected_records(sched() % 8);
    std::size_t next = 0;
    std::string order;  // how the run went, for a failure's message
    const auto slip = [&](unsigned one_in, const char* where) {
      if (next < script.size() && script[next].act == Act::Key && sched() % one_in == 0) {
        order += std::string("[") + where + " " + describe({script[next]}) + "]";
        fast.perform(script[next++]);
        ++slipped;
      }
    };
    int busy_for = 0;  // keys the window is still busy for
    fast.on_batch = [&] {
      if (pace == WindowPace::SlowWithOurs && busy_for == 0) {
        fast.desk.set_window_busy(fast.front().handle, true);
        busy_for = 1 + static_cast<int>(sched() % 6);
        order += "<busy>";
      }
      slip(4, "before");
    };
    fast.on_batch_end = [&] { slip(3, "after"); };
    // And, most to the point, after the correction is done with but before its layout request.
    fast.desk.set_before_post([&](WindowHandle, std::uint32_t message) {
      if (message == win::WM_INPUTLANGCHANGEREQUEST) slip(3, "before the request");
    });
    while (next < script.size()) {
      order += describe({script[next]});
      fast.perform(script[next++]);
      if (busy_for > 0 && --busy_for == 0) {
        order += "<takes>";
        fast.desk.set_window_busy(fast.front().handle, false);
      }
      // The typist is well ahead of the engine, and at times it catches up.
      const unsigned k = sched() % 8;
      if (k < 4) continue;
      if (k == 7) {
        while (fast.handle_one()) order += ".";
      } else {
        for (unsigned i = 0; i < k - 3 && fast.handle_one(); ++i) order += ".";
      }
    }
    fast.on_batch = nullptr;
    fast.on_batch_end = nullptr;
    fast.desk.set_before_post(nullptr);
    fast.desk.set_late_injected_records(0);
    fast.drain();
    fast.desk.take_all_waiting();
    const WordCount c = count_words(fast);
    words += c.words;
    split += c.split;
    if (c.split > 0 && failures++ < 5)
      ADD_FAILURE() << "run " << n << ": " << c.split << " words in two layouts, the first: " << c.first_split
                    << "\n  window: " << fast.desk.text_utf8(fast.front().handle) << "\n  order: " << order;
  }
  std::printf("%d runs of three sentences: %d words, %d in two layouts, %d keys slipped in\n", runs, words, split,
              slipped);
  EXPECT_EQ(split, 0);
}

}  // namespace
}  // namespace klavix::testing
