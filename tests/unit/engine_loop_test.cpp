// The engine thread itself: building, waiting, handling a flood of events in order.
#include <thread>

#include "engine_fixture.h"

namespace klavix::testing {
namespace {

class EngineThread : public ::testing::Test {
 public:
  TempSettings settings;
  SimDesktop desk;
  Runtime rt;
};

TEST_F(EngineThread, WaitsAndPumpsUntilDisconnected) {
  std::optional<Channel> ch(make_channel());
  desk.create_window();
  std::thread engine([&] { run_engine(desk, rt, std::move(ch->receiver)); });
  // Idle: it wakes about every 30 ms to pump its messages and never ends on its own.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (desk.pumps() < 4 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(desk.pumps(), 4u);
  EXPECT_EQ(desk.calls(SimCallKind::CreateMessageWindow).size(), 1u);
  // The last sender gone: the thread returns.
  ch->sender = EventSender();
  engine.join();
}

// A flood from another thread while the engine works: blocks of Reset, one letter and the word
// hotkey. Each hotkey converts exactly that one letter, so what the engine types spells the
// letters in the order they were sent, and a lost or reordered event shows.
TEST_F(EngineThread, MillionEventsInOrder) {
  constexpr std::size_t total = 1'000'000;
  constexpr std::size_t blocks = total / 3;
  Channel ch = make_channel();
  const WindowHandle w = desk.create_window();
  desk.set_keep_calls(false);
  desk.update_window(w, [](SimWindow& sw) { sw.follows_layout_requests = false; });

  std::u16string typed;
  typed.reserve(blocks);
  std::size_t backspaces = 0, requests = 0;
  desk.set_observer([&](const SimCall& c) {
    if (c.kind == SimCallKind::PostMessage) ++requests;
    if (c.kind != SimCallKind::SendInput) return;
    for (const KeyInput& r : c.records) {
      if (r.flags == win::KEYEVENTF_UNICODE) typed.push_back(static_cast<char16_t>(r.scan));
      if (r.vk == win::VK_BACK && r.flags == 0) ++backspaces;
    }
  });

  std::u16string expected;
  expected.reserve(blocks);
  std::vector<std::uint16_t> letters(blocks);
  std::minstd_rand rng(7);
  for (std::size_t i = 0; i < blocks; ++i) {
    letters[i] = static_cast<std::uint16_t>('A' + rng() % 26);
    expected.push_back(static_cast<char16_t>(key_row(letters[i])->lower(Layout::Ru)));
  }

  EventSender sender = ch.sender;
  ch.sender = EventSender();
  std::thread engine([&] { run_engine(desk, rt, std::move(ch.receiver)); });
  // Sent at once, while the engine is still building its dictionaries.
  std::thread producer([&] {
    EngineEvent reset;
    reset.kind = EventKind::Reset;
    EngineEvent hotkey;
    hotkey.kind = EventKind::WordHotkey;
    EngineEvent key;
    key.window = w;
    for (std::size_t i = 0; i < blocks; ++i) {
      sender.send(reset);
      key.vk = letters[i];
      sender.send(key);
      sender.send(hotkey);
    }
    sender.send(reset);
  });
  producer.join();
  sender.wait_until_idle();
  sender = EventSender();
  engine.join();
  desk.set_observer(nullptr);

  EXPECT_EQ(backspaces, blocks);
  EXPECT_EQ(requests, blocks);
  ASSERT_EQ(typed.size(), expected.size());
  EXPECT_TRUE(typed == expected) << "first difference at "
                                 << (std::mismatch(typed.begin(), typed.end(), expected.begin()).first - typed.begin());
}

TEST_F(EngineThread, ListsAreLoadedAtStart) {
  write_file(settings.dir() / "exceptions.txt", " Lol\nlol\n# comment\n\n");
  write_file(settings.dir() / "apps.txt", "Code.EXE\n");
  Engine e = make_engine(desk, rt, real_dictionaries());
  EXPECT_EQ(e.exceptions.entries, (std::unordered_set<std::string>{"lol"}));
  EXPECT_EQ(e.apps.entries, (std::unordered_set<std::string>{"code.exe"}));
  EXPECT_EQ(e.exceptions.path, settings.dir() / "exceptions.txt");
  EXPECT_TRUE(e.keys.empty());
  EXPECT_FALSE(e.last_correction.has_value());
  EXPECT_EQ(e.last_window, 0u);
  EXPECT_NE(e.clipboard_window, 0u);
  EXPECT_EQ(e.clipboard_window, desk.calls(SimCallKind::CreateMessageWindow).at(0).window);
}

TEST_F(EngineThread, KeysAfterThePromptStartANewRecord) {
  // The handler that shows the prompt runs to its end; keys typed meanwhile are handled after
  // it, into a fresh record.
  Engine e = make_engine(desk, rt, real_dictionaries());
  const WindowHandle w = desk.create_window();
  for (const char* k : {"G", "H", "B", "D", "T", "N"}) {
    EngineEvent ev;
    ev.vk = static_cast<std::uint16_t>(k[0]);
    ev.window = w;
    handle_event(e, ev);
  }
  e.undo_counts["ghbdtn"] = 2;
  e.last_correction = Correction{false, 0, 6, {"ghbdtn"}, 0, 6, Layout::En};
  EngineEvent hotkey;
  hotkey.kind = EventKind::WordHotkey;
  handle_event(e, hotkey);
  EXPECT_EQ(desk.message_boxes().size(), 1u);
  EXPECT_TRUE(e.keys.empty());
  EngineEvent a;
  a.vk = 'A';
  a.window = w;
  handle_event(e, a);
  EXPECT_EQ(e.keys.size(), 1u);
}

}  // namespace
}  // namespace klavix::testing
