// In which order a window's thread takes its messages when keys and posted messages both wait
// in its queue. Windows hands over posted messages before keyboard input, whatever order they
// came in: a layout request the program posts after a correction is handled before the keys the
// user typed meanwhile, so those keys come out in the new layout. The simulated desktop copies
// the order this test finds.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

LRESULT CALLBACK plain_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, msg, wp, lp); }

// Everything waiting, handled as an application's loop would.
void drain() {
  MSG m;
  for (int i = 0; i < 10; ++i) {
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    Sleep(5);
  }
}

void send_key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  ASSERT_EQ(SendInput(1, &in, sizeof in), 1u);
}

// Forgets what came into the queue so far, for wait_for_queue.
void mark_queue() { GetQueueStatus(QS_ALLINPUT); }

// Waits until a message of `flags` came into the queue since the last look (nothing is taken
// out of it).
bool wait_for_queue(UINT flags) {
  for (int i = 0; i < 500; ++i) {
    if (LOWORD(GetQueueStatus(flags)) & flags) return true;
    Sleep(10);
  }
  return false;
}

// The messages of interest in the order the thread's message loop takes them: K for a key-down
// of `vk`, P for the posted message `posted`, taking messages until both were seen `count` times.
std::string taken_order(UINT posted, WORD vk, int count, bool with_get_message) {
  std::string order;
  int keys = 0, posts = 0;
  MSG m;
  for (int i = 0; i < 2000 && (keys < count || posts < count); ++i) {
    bool got;
    if (with_get_message) {
      // Only after the queue has something, so GetMessage never blocks the test.
      if (!(HIWORD(GetQueueStatus(QS_ALLINPUT)) & QS_ALLINPUT)) {
        Sleep(5);
        continue;
      }
      got = GetMessageW(&m, nullptr, 0, 0) > 0;
    } else {
      got = PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE) != 0;
      if (!got) {
        Sleep(5);
        continue;
      }
    }
    if (!got) break;
    if (m.message == WM_KEYDOWN && m.wParam == vk) {
      order += 'K';
      ++keys;
    } else if (m.message == posted) {
      order += 'P';
      ++posts;
      continue;  // not dispatched: a layout request would go on to the default handling
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return order;
}

struct Case {
  const char* name;
  UINT posted;
  bool with_get_message;
};

// A window of this thread in front with the keyboard focus, made once (Wine takes seconds to
// destroy one); nothing is pumped while a test fills the queue, as if the thread were busy.
class MessageOrder : public ::testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = plain_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KlavixOrderTest";
    RegisterClassW(&wc);
    window = CreateWindowExW(0, wc.lpszClassName, L"order test", WS_POPUP | WS_VISIBLE, 200, 200, 300, 200, nullptr,
                             nullptr, wc.hInstance, nullptr);
  }
  static void TearDownTestSuite() {
    DestroyWindow(window);
    drain();
  }
  void SetUp() override {
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(window);
    SetFocus(window);
    drain();
    ASSERT_EQ(GetForegroundWindow(), window);
    ASSERT_EQ(GetFocus(), window);
  }
  void TearDown() override { drain(); }
  static inline HWND window = nullptr;
};

// A key reaches the queue first, then a message is posted; the thread takes the posted one first.
TEST_P(MessageOrder, PostedMessageBeforeTheKeyThatCameFirst) {
  const Case c = GetParam();
  mark_queue();
  send_key('A', false);
  send_key('A', true);
  ASSERT_TRUE(wait_for_queue(QS_KEY)) << "the key never reached the window's queue";
  const LPARAM hkl = reinterpret_cast<LPARAM>(GetKeyboardLayout(0));
  mark_queue();
  ASSERT_TRUE(PostMessageW(window, c.posted, 0, c.posted == WM_INPUTLANGCHANGEREQUEST ? hkl : 0));
  ASSERT_TRUE(wait_for_queue(QS_POSTMESSAGE));
  EXPECT_EQ(taken_order(c.posted, 'A', 1, c.with_get_message), "PK");
}

// Keys and posts interleaved: every posted message comes before every key still waiting, and
// the keys keep their own order among themselves.
TEST_P(MessageOrder, AllPostedMessagesBeforeAllWaitingKeys) {
  const Case c = GetParam();
  const LPARAM hkl = reinterpret_cast<LPARAM>(GetKeyboardLayout(0));
  const LPARAM lp = c.posted == WM_INPUTLANGCHANGEREQUEST ? hkl : 0;
  for (int i = 0; i < 3; ++i) {
    mark_queue();
    send_key('B', false);
    ASSERT_TRUE(wait_for_queue(QS_KEY)) << "key " << i << " never reached the window's queue";
    mark_queue();
    ASSERT_TRUE(PostMessageW(window, c.posted, 0, lp));
    ASSERT_TRUE(wait_for_queue(QS_POSTMESSAGE));
  }
  send_key('B', true);
  EXPECT_EQ(taken_order(c.posted, 'B', 3, c.with_get_message), "PPPKKK");
}

INSTANTIATE_TEST_SUITE_P(Win32, MessageOrder,
                         ::testing::Values(Case{"LayoutRequestGetMessage", WM_INPUTLANGCHANGEREQUEST, true},
                                           Case{"LayoutRequestPeekMessage", WM_INPUTLANGCHANGEREQUEST, false},
                                           Case{"AppMessageGetMessage", WM_APP + 7, true}),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

}  // namespace
