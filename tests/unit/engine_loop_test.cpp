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

// Starts the engine thread on a channel of the test's and waits until it sleeps.
struct RunningEngine {
  RunningEngine(SimDesktop& desk, Runtime& rt) : channel(make_channel()) {
    thread = std::thread([&, r = std::move(channel.receiver)]() mutable { run_engine(desk, rt, std::move(r)); });
    channel.sender.wait_until_idle();
  }
  ~RunningEngine() { stop(); }
  void stop() {
    channel.sender = EventSender();
    if (thread.joinable()) thread.join();
  }
  Channel channel;
  std::thread thread;
};

TEST_F(EngineThread, SleepsUntilAnEventAndEndsWhenTheLastSenderGoes) {
  const WindowHandle w = desk.create_window();
  RunningEngine engine(desk, rt);
  EXPECT_EQ(desk.calls(SimCallKind::CreateMessageWindow).size(), 1u);
  EXPECT_EQ(desk.calls(SimCallKind::CreateEvent).size(), 1u);
  // Idle, it does not wake at all: no poll.
  const std::uint64_t wakeups = desk.wakeups();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(desk.wakeups(), wakeups);
  // An event wakes it, and it handles it at once.
  EngineEvent g;
  g.vk = 'G';
  g.window = w;
  EngineEvent hotkey;
  hotkey.kind = EventKind::WordHotkey;
  hotkey.window = w;
  engine.channel.sender.send(g);
  engine.channel.sender.send(hotkey);
  engine.channel.sender.wait_until_idle();
  EXPECT_EQ(desk.text_utf8(w), "\xd0\xbf");  // the hotkey converted what the window had: g is п
  engine.stop();  // returns: the thread saw the last sender go
}

TEST_F(EngineThread, AMessageWhileIdleIsHandledWithoutAnyEvent) {
  RunningEngine engine(desk, rt);
  const WindowHandle own = desk.calls(SimCallKind::CreateMessageWindow).at(0).window;
  constexpr std::uint32_t wm_app = 0x8000;
  ASSERT_TRUE(desk.post_message(own, wm_app, 1, 2));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (desk.calls(SimCallKind::DispatchMessage).empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::vector<SimCall> dispatched = desk.calls(SimCallKind::DispatchMessage);
  ASSERT_EQ(dispatched.size(), 1u);
  EXPECT_EQ(dispatched[0].window, own);
  EXPECT_EQ(dispatched[0].message, wm_app);
  EXPECT_EQ(dispatched[0].wparam, 1u);
  EXPECT_EQ(dispatched[0].lparam, 2);
  EXPECT_TRUE(desk.sent_records().empty());
}

TEST_F(EngineThread, WithoutAWakeEventItPollsAndStillHandlesEverything) {
  desk.set_create_event_fails(true);
  const WindowHandle w = desk.create_window();
  RunningEngine engine(desk, rt);
  EngineEvent g;
  g.vk = 'G';
  g.window = w;
  EngineEvent hotkey;
  hotkey.kind = EventKind::WordHotkey;
  hotkey.window = w;
  engine.channel.sender.send(g);
  engine.channel.sender.send(hotkey);
  engine.channel.sender.wait_until_idle();
  EXPECT_EQ(desk.text_utf8(w), "\xd0\xbf");
  EXPECT_TRUE(desk.calls(SimCallKind::CreateEvent).empty());
}

// A flood from another thread while the engine works: blocks of Reset, one letter and the word
// hotkey. A hotkey converts exactly its block's letter, or nothing when events are waiting
// behind it (they are not plain keys): what the engine types is the sent letters in order, some
// left out, and a lost or reordered event shows. Once the flood has been handled, a block sent
// on its own is converted.
TEST_F(EngineThread, MillionEventsInOrder) {
  constexpr std::size_t total = 1'000'000;
  constexpr std::size_t blocks = total / 3;
  Channel ch = make_channel();
  const WindowHandle w = desk.create_window();
  desk.set_keep_calls(false);
  desk.update_window(w, [](SimWindow& sw) { sw.follows_layout_requests = false; });

  std::u16string typed;
  typed.reserve(blocks + 1);
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
  expected.reserve(blocks + 1);
  std::vector<std::uint16_t> letters(blocks + 1);
  std::minstd_rand rng(7);
  for (std::size_t i = 0; i <= blocks; ++i) {
    letters[i] = static_cast<std::uint16_t>('A' + rng() % 26);
    expected.push_back(static_cast<char16_t>(key_row(letters[i])->lower(Layout::Ru)));
  }

  EventSender sender = ch.sender;
  ch.sender = EventSender();
  std::thread engine([&] { run_engine(desk, rt, std::move(ch.receiver)); });
  EngineEvent reset;
  reset.kind = EventKind::Reset;
  EngineEvent hotkey;
  hotkey.kind = EventKind::WordHotkey;
  hotkey.window = w;
  EngineEvent key;
  key.window = w;
  auto send_block = [&](std::size_t i) {
    sender.send(reset);
    key.vk = letters[i];
    sender.send(key);
    sender.send(hotkey);
  };
  // Sent at once, while the engine is still building its dictionaries.
  std::thread producer([&] {
    for (std::size_t i = 0; i < blocks; ++i) send_block(i);
  });
  producer.join();
  sender.wait_until_idle();
  send_block(blocks);
  sender.wait_until_idle();
  sender = EventSender();
  engine.join();
  desk.set_observer(nullptr);

  EXPECT_EQ(backspaces, typed.size());
  EXPECT_EQ(requests, typed.size());
  ASSERT_FALSE(typed.empty());
  EXPECT_EQ(typed.back(), expected.back()) << "the block sent on its own";
  // In order: each typed letter is the next sent one or a later one.
  std::size_t at = 0;
  for (char16_t c : typed) {
    while (at < expected.size() && expected[at] != c) ++at;
    ASSERT_LT(at, expected.size()) << "a letter typed out of order";
    ++at;
  }
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
  hotkey.window = w;
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
