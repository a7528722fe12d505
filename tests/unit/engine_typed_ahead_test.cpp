// Keys typed while the engine has not yet handled the one before them: they are in the window
// already when its correction goes out, so the correction must count them, or leave the text
// alone when one of them is something else than a plain key.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

class TypedAhead : public EngineDesk {
 public:
  // What the record says the window shows: each key in the layout it carries.
  std::string record_shows() {
    std::string out;
    const std::vector<Keystroke>& k = engine().keys;
    for (std::size_t i = 0; i < k.size(); ++i) out += render_keystrokes(k, i, i + 1, k[i].layout);
    return out;
  }
  void click_ahead() {
    mouse_hook(rt, 0, win::WM_LBUTTONDOWN);
    mouse_hook(rt, 0, win::WM_LBUTTONUP);
  }
  std::uint64_t left_out() { return engine().corrections_left_out; }
  // An empty window on the English layout, the record cleared by a click.
  void start_over() {
    desk.set_text(window, u"");
    set_layout(layout_en_us);
    click();
  }
};

// What the user does right after the event the engine handles first.
struct Ahead {
  const char* name;
  std::function<void(TypedAhead&)> act;
  std::string shown;  // the window once everything was handled
  bool counted;       // the correction went out, counting the keys
};

std::vector<Ahead> plain_and_other(const char* one, const char* three, const char* letter_space,
                                   const char* capital) {
  return {
      {"one letter", [](TypedAhead& t) { t.type_keys_ahead("r"); }, one, true},
      {"three letters", [](TypedAhead& t) { t.type_keys_ahead("rfr"); }, three, true},
      {"a letter and a space", [](TypedAhead& t) { t.type_keys_ahead("e "); }, letter_space, true},
      {"Shift and a letter", [](TypedAhead& t) { t.type_keys_ahead("R"); }, capital, true},
  };
}

void run(TypedAhead& t, const std::function<void(TypedAhead&)>& before, const std::function<void(TypedAhead&)>& first,
         const Ahead& c) {
  SCOPED_TRACE(c.name);
  before(t);
  t.engine().corrections_left_out = 0;
  first(t);
  c.act(t);
  t.drain();
  EXPECT_EQ(t.shown(), c.shown);
  EXPECT_EQ(t.left_out(), c.counted ? 0u : 1u);
  if (c.counted && t.desk.foreground_window() == t.window) {
    EXPECT_EQ(t.record_shows(), t.shown()) << "the record and the window agree";
  }
}

TEST_F(TypedAhead, TheCorrectionAfterASpace) {
  std::vector<Ahead> cases = plain_and_other("привет к", "привет как", "привет у ", "привет К");
  cases.push_back({"Enter", [](TypedAhead& t) { t.press_ahead(win::VK_RETURN); }, "ghbdtn ", false});
  cases.push_back({"a click", [](TypedAhead& t) { t.click_ahead(); }, "ghbdtn ", false});
  cases.push_back({"another window",
                   [](TypedAhead& t) {
                     t.desk.create_window();
                     t.type_keys_ahead("a");
                   },
                   "ghbdtn ", false});
  // Left alone by the space, the word is then converted by the hotkey, spaces and all.
  cases.push_back({"the word hotkey", [](TypedAhead& t) { t.press_ahead(win::VK_PAUSE); }, "привет ", false});
  cases.push_back({"a Backspace", [](TypedAhead& t) { t.press_ahead(win::VK_BACK); }, "ghbdtn", false});
  for (const Ahead& c : cases) {
    desk.set_foreground(window);
    start_over();
    run(
        *this, [](TypedAhead& t) { t.type_keys("ghbdtn"); }, [](TypedAhead& t) { t.press_ahead(win::VK_SPACE); },
        c);
    if (c.counted) {
      ASSERT_TRUE(engine().last_correction.has_value());
      EXPECT_EQ(engine().last_correction->words, std::vector<std::string>{"ghbdtn"});
      EXPECT_EQ(desk.window_layout(window), layout_ru);
    }
  }
}

TEST_F(TypedAhead, TheHotkeysConversion) {
  // руддщу, once its space comes, is judged like any word typed on the Russian layout: as it
  // would be typed slowly, it goes back to English.
  std::vector<Ahead> cases = plain_and_other("руддщк", "руддщкак", "helloe ", "руддщК");
  cases.push_back({"Enter", [](TypedAhead& t) { t.press_ahead(win::VK_RETURN); }, "hello", false});
  cases.push_back({"a click", [](TypedAhead& t) { t.click_ahead(); }, "hello", false});
  // The first press is left out; the second converts the word.
  cases.push_back({"the word hotkey", [](TypedAhead& t) { t.press_ahead(win::VK_PAUSE); }, "руддщ", false});
  cases.push_back({"a Backspace", [](TypedAhead& t) { t.press_ahead(win::VK_BACK); }, "hell", false});
  for (const Ahead& c : cases) {
    start_over();
    run(
        *this, [](TypedAhead& t) { t.type_keys("hello"); }, [](TypedAhead& t) { t.press_ahead(win::VK_PAUSE); }, c);
  }
}

TEST_F(TypedAhead, TheUndo) {
  std::vector<Ahead> cases = plain_and_other("ghbdtn r", "ghbdtn rfr", "ghbdtn e ", "ghbdtn R");
  cases.push_back({"Enter", [](TypedAhead& t) { t.press_ahead(win::VK_RETURN); }, "привет ", false});
  cases.push_back({"a click", [](TypedAhead& t) { t.click_ahead(); }, "привет ", false});
  // Left out, the first press keeps the correction undoable: the second undoes it.
  cases.push_back({"the word hotkey", [](TypedAhead& t) { t.press_ahead(win::VK_PAUSE); }, "ghbdtn ", false});
  cases.push_back({"a Backspace", [](TypedAhead& t) { t.press_ahead(win::VK_BACK); }, "привет", false});
  for (const Ahead& c : cases) {
    start_over();
    engine().undo_counts.clear();
    run(
        *this,
        [](TypedAhead& t) {
          t.type_keys("ghbdtn ");
          ASSERT_EQ(t.shown(), "привет ");
        },
        [](TypedAhead& t) { t.press_ahead(win::VK_PAUSE); }, c);
    const bool undone = c.shown.rfind("ghbdtn", 0) == 0;
    EXPECT_EQ(engine().undo_counts.count("ghbdtn"), undone ? 1u : 0u);
  }
}

// The Caps Lock repair types the keys behind it without the Caps Lock effect, as they come out
// once it is off; a Caps Lock press among them leaves both to the user.
TEST_F(TypedAhead, TheCapsLockRepair) {
  const Ahead cases[] = {
      {"a letter typed with Caps Lock still on", [](TypedAhead& t) { t.type_keys_ahead("b"); }, "Добавь и", true},
      {"the user's own Caps Lock press",
       [](TypedAhead& t) {
         t.press_ahead(win::VK_CAPITAL);
         t.type_keys_ahead("b");
       },
       "дОБАВЬ и", false},
  };
  for (const Ahead& c : cases) {
    desk.set_text(window, u"");
    set_layout(layout_ru);
    desk.set_caps_lock(false);
    rt.caps_on = false;
    click();
    run(
        *this,
        [](TypedAhead& t) {
          t.caps_lock();
          t.type_keys("Lj,fdm");  // on the Russian layout with Caps Lock: дОБАВЬ
          ASSERT_EQ(t.shown(), "дОБАВЬ");
        },
        [](TypedAhead& t) { t.press_ahead(win::VK_SPACE); }, c);
  }
}

// A key that reaches the window after the engine looked at the waiting keys but before its
// correction: the hook drops the correction, and the engine looks again and counts it.
TEST_F(TypedAhead, AKeyThatSlipsInBeforeTheCorrectionIsCountedOnTheNextTry) {
  bool slipped = false;
  route_injected_through_hook([&](const KeyInput& r) {
    if (slipped || r.vk != win::VK_BACK) return;
    slipped = true;
    press_ahead('R');  // r: к on the Russian layout
  });
  type_keys("ghbdtn");
  desk.clear_calls();
  press_ahead(win::VK_SPACE);
  drain();
  EXPECT_TRUE(slipped);
  EXPECT_EQ(shown(), "привет к");
  EXPECT_EQ(record_shows(), shown());
  EXPECT_EQ(left_out(), 0u);
  // Two tries went out: the first (seven backspaces) never reached the window.
  std::vector<std::size_t> backspaces;
  for (const SimCall& c : desk.calls(SimCallKind::SendInput)) {
    std::size_t n = 0;
    for (const KeyInput& k : c.records) n += (k.vk == win::VK_BACK && k.flags == 0) ? 1 : 0;
    if (n) backspaces.push_back(n);
  }
  EXPECT_EQ(backspaces, (std::vector<std::size_t>{7, 8}));
  EXPECT_EQ(desk.layout_requests().size(), 1u);
}

// Under Wine a key can even land part way through one batch, which Windows never allows: the
// hook cuts the rest of the correction off, and the engine mends what the window shows.
TEST_F(TypedAhead, AKeyThatLandsPartWayThroughACorrectionIsMended) {
  // The correction of ghbdtn and its space: 7 backspaces, then 7 characters, two records each.
  for (const int before_record : {1, 2, 7, 13, 14, 20, 27}) {
    SCOPED_TRACE(before_record);
    start_over();
    int seen = 0;
    bool landed = false;
    route_injected_through_hook([&](const KeyInput&) {
      if (landed || seen++ != before_record) return;
      landed = true;
      press_ahead('R');
    });
    type_keys("ghbdtn");
    press_ahead(win::VK_SPACE);
    drain();
    desk.set_injected_input_hook({});
    EXPECT_TRUE(landed);
    EXPECT_EQ(shown(), "привет к");
    EXPECT_EQ(record_shows(), shown());
    EXPECT_EQ(left_out(), 0u);
  }
}

// A busy Wine hands the last records of a batch to the hook after SendInput has returned, and
// a key can land among them. The engine reads what became of the correction only once the
// hook has seen its last record, and sends nothing before that.
TEST_F(TypedAhead, RecordsTheHookSeesAfterSendInputReturnedAreWaitedFor) {
  // The correction of ghbdtn and its space: 7 backspaces, then 7 characters, two records each.
  for (const int before_record : {-1, 20, 22, 27}) {
    SCOPED_TRACE(before_record);
    start_over();
    int seen = 0;
    bool landed = false;
    route_injected_through_hook([&](const KeyInput&) {
      if (landed || seen++ != before_record) return;
      landed = true;
      press_ahead('R');
    });
    desk.set_late_injected_records(8);
    type_keys("ghbdtn");
    press_ahead(win::VK_SPACE);
    drain();
    // Whatever was still on its way reaches the window now.
    desk.set_late_injected_records(0);
    drain();
    desk.set_injected_input_hook({});
    EXPECT_EQ(landed, before_record >= 0);
    EXPECT_EQ(shown(), landed ? "привет к" : "привет ");
    EXPECT_EQ(record_shows(), shown());
    EXPECT_EQ(left_out(), 0u);
    EXPECT_EQ(rt.own_input_seen.load(), rt.own_input_sent.load());
  }
}

// Keys typed after a correction but before the window switched come out in the layout it had;
// once the word goes on in the new layout, they are typed again in it.
TEST_F(TypedAhead, KeysTypedBeforeTheWindowSwitchedAreRetypedInTheNewLayout) {
  desk.update_window(window, [](SimWindow& w) { w.follows_layout_requests = false; });
  type_keys("ghbdtn ");
  ASSERT_EQ(shown(), "привет ");
  type_keys("rf");  // the window still shows the English layout: rf
  set_layout(layout_ru);
  type_keys("r ");  // now it has switched: к
  EXPECT_EQ(shown(), "привет как ");
  EXPECT_EQ(record_shows(), shown());
  // The user's own switch back to English is not undone.
  set_layout(layout_en_us);
  type_keys("e ");
  EXPECT_EQ(shown(), "привет как e ");
}

// A key typed after a correction but before its layout request: a window that takes it at once
// shows it in the old layout, a busy one in the new (it takes the posted request first). Either
// way it is typed again in the new layout at once, so the line's Enter may follow at any time.
TEST_F(TypedAhead, KeysTypedBeforeTheLayoutRequestAreTypedAgainInTheNewLayout) {
  struct Case {
    const char* name;
    bool busy_window;        // busy with the correction until the request comes
    const char* before;      // En keys typed as the request is about to be posted
    const char* then;        // En keys typed after it, then Enter
    bool enter_before;       // those too, before the request
    std::string shown;
  };
  const Case cases[] = {
      {"idle window, one key", false, "r", "", false, "привет к"},
      {"idle window, the word goes on", false, "r", "fr", false, "привет как"},
      {"busy window", true, "rf", "r", false, "привет как"},
      // Nothing is erased across an Enter the window has taken: the keys stay as they came.
      {"Enter waiting already", false, "r", "fr", true, "привет rfr"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start_over();
    desk.set_busy_with_injected_input(c.busy_window);
    bool typed = false;
    desk.set_before_post([&](WindowHandle, std::uint32_t message) {
      if (typed || message != win::WM_INPUTLANGCHANGEREQUEST) return;
      typed = true;
      type_keys_ahead(c.before);
      if (c.enter_before) {
        type_keys_ahead(c.then);
        press_ahead(win::VK_RETURN);
      }
    });
    type_keys("ghbdtn");
    press_ahead(win::VK_SPACE);
    drain();
    desk.set_before_post(nullptr);
    if (!c.enter_before) {
      type_keys_ahead(c.then);
      press_ahead(win::VK_RETURN);
      drain();
    }
    desk.take_all_waiting();
    desk.set_busy_with_injected_input(false);
    EXPECT_TRUE(typed);
    EXPECT_EQ(shown(), c.shown);
  }
}

}  // namespace
}  // namespace klavix::testing
