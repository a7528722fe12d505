// The foreground check: listed programs, password fields, full-screen windows.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

class Context : public ::testing::Test {
 public:
  Context() {
    write_file(apps_file(), "code.exe\n");
    apps = load_list(apps_file());
  }
  std::filesystem::path apps_file() const { return settings.dir() / "apps.txt"; }
  bool excluded_with(const std::function<void(SimWindow&)>& change) {
    const WindowHandle w = desk.create_window();
    desk.update_window(w, change);
    return is_excluded_context(desk, apps);
  }

  TempSettings settings;
  SimDesktop desk;
  WatchedList apps;
};

TEST_F(Context, Answers) {
  struct Case {
    const char* name;
    std::function<void(SimWindow&)> change;
    bool excluded;
  };
  const Rect full{0, 0, 1920, 1080};
  const std::vector<Case> cases = {
      {"a plain notepad", [](SimWindow&) {}, false},
      {"a listed program, other letter case", [](SimWindow& w) { w.image_path = u"C:\\Program Files\\VS\\Code.exe"; }, true},
      {"forward slashes", [](SimWindow& w) { w.image_path = u"C:/tools/code.exe"; }, true},
      {"a bare name", [](SimWindow& w) { w.image_path = u"code.exe"; }, true},
      {"the name must match whole", [](SimWindow& w) { w.image_path = u"C:\\x\\mycode.exe"; }, false},
      {"a path ending in a separator", [](SimWindow& w) { w.image_path = u"C:\\code.exe\\"; }, false},
      {"a RichEdit password field",
       [](SimWindow& w) {
         w.focus_class = u"RichEdit20W";
         w.focus_style |= 0x20;
       },
       true},
      {"RICHEDIT50W password", [](SimWindow& w) {
         w.focus_class = u"RICHEDIT50W";
         w.focus_style = 0x20;
       }, true},
      {"a RichEdit without ES_PASSWORD", [](SimWindow& w) { w.focus_class = u"RichEdit20W"; }, false},
      {"a Button with bit 0x20", [](SimWindow& w) {
         w.focus_class = u"Button";
         w.focus_style |= 0x20;
       }, false},
      {"no focus control", [](SimWindow& w) {
         w.has_focus_control = false;
         w.focus_style |= 0x20;
       }, false},
      {"GetGUIThreadInfo fails", [](SimWindow& w) {
         w.gui_thread_info_fails = true;
         w.focus_style |= 0x20;
       }, false},
      {"borderless, exactly the monitor", [full](SimWindow& w) {
         w.style = sim_style_borderless;
         w.rect = full;
       }, true},
      {"borderless, larger than the monitor", [](SimWindow& w) {
         w.style = sim_style_borderless;
         w.rect = Rect{-8, -8, 1928, 1088};
       }, true},
      {"maximised with a caption", [full](SimWindow& w) { w.rect = full; }, false},
      {"only WS_BORDER counts as captionless", [full](SimWindow& w) {
         w.style = static_cast<std::int32_t>(0x90800000u);
         w.rect = full;
       }, true},
      {"only WS_DLGFRAME counts as captionless", [full](SimWindow& w) {
         w.style = static_cast<std::int32_t>(0x90400000u);
         w.rect = full;
       }, true},
      {"one pixel short on the right", [](SimWindow& w) {
         w.style = sim_style_borderless;
         w.rect = Rect{0, 0, 1919, 1080};
       }, false},
      {"one pixel short at the top", [](SimWindow& w) {
         w.style = sim_style_borderless;
         w.rect = Rect{0, 1, 1920, 1080};
       }, false},
      {"the desktop, Progman", [full](SimWindow& w) {
         w.class_name = u"Progman";
         w.style = sim_style_borderless;
         w.rect = full;
       }, false},
      {"the desktop, WorkerW", [full](SimWindow& w) {
         w.class_name = u"WorkerW";
         w.style = sim_style_borderless;
         w.rect = full;
       }, false},
      {"the class is compared in its letter case", [full](SimWindow& w) {
         w.class_name = u"progman";
         w.style = sim_style_borderless;
         w.rect = full;
       }, true},
      {"GetWindowRect fails", [full](SimWindow& w) {
         w.style = sim_style_borderless;
         w.rect = full;
         w.window_rect_fails = true;
       }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(excluded_with(c.change), c.excluded);
    EXPECT_EQ(desk.handles_open(), 0u);
    EXPECT_EQ(desk.bad_closes(), 0u);
  }
}

TEST_F(Context, ProcessThatCannotBeOpened) {
  struct Case {
    const char* name;
    std::function<void(SimWindow&)> change;
    bool excluded;
  };
  const std::vector<Case> cases = {
      {"listed but not openable", [](SimWindow& w) {
         w.image_path = u"C:\\code.exe";
         w.open_process_fails = true;
       }, false},
      {"not openable, password field still found", [](SimWindow& w) {
         w.open_process_fails = true;
         w.focus_style |= 0x20;
       }, true},
      {"not openable, full screen still found", [](SimWindow& w) {
         w.open_process_fails = true;
         w.style = sim_style_borderless;
         w.rect = Rect{0, 0, 1920, 1080};
       }, true},
      {"image query fails, the handle is closed", [](SimWindow& w) {
         w.image_path = u"C:\\code.exe";
         w.image_query_fails = true;
       }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(excluded_with(c.change), c.excluded);
    EXPECT_EQ(desk.handles_open(), 0u);
  }
}

TEST_F(Context, OpensTheProcessWithLimitedRights) {
  excluded_with([](SimWindow&) {});
  const std::vector<SimCall> opens = desk.calls(SimCallKind::OpenProcess);
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].value, desk.window(desk.foreground_window())->process_id);
  EXPECT_EQ(desk.calls(SimCallKind::CloseHandle).size(), 1u);
}

TEST_F(Context, MonitorInfoFails) {
  desk.set_monitor_info_fails(true);
  EXPECT_FALSE(excluded_with([](SimWindow& w) {
    w.style = sim_style_borderless;
    w.rect = Rect{0, 0, 1920, 1080};
  }));
}

TEST_F(Context, SecondMonitor) {
  const MonitorHandle m = desk.add_monitor(Rect{1920, 0, 3200, 1024}, Rect{1920, 0, 3200, 984});
  EXPECT_TRUE(excluded_with([m](SimWindow& w) {
    w.monitor = m;
    w.style = sim_style_borderless;
    w.rect = Rect{1920, 0, 3200, 1024};
  }));
  // Covering only the work area is not full screen.
  EXPECT_FALSE(excluded_with([m](SimWindow& w) {
    w.monitor = m;
    w.style = sim_style_borderless;
    w.rect = Rect{1920, 0, 3200, 984};
  }));
}

TEST_F(Context, NoForegroundWindow) {
  desk.create_window();
  desk.set_foreground(0);
  EXPECT_FALSE(is_excluded_context(desk, apps));
  EXPECT_EQ(desk.handles_open(), 0u);
}

TEST_F(Context, EmptyListMatchesNothing) {
  write_file(apps_file(), "# nothing\n\n");
  touch_later(apps_file());
  EXPECT_FALSE(excluded_with([](SimWindow& w) { w.image_path = u"C:\\code.exe"; }));
}

TEST_F(Context, ListEditsTakeEffectAtTheNextCheck) {
  const auto code = [](SimWindow& w) { w.image_path = u"C:\\Code.exe"; };
  EXPECT_TRUE(excluded_with(code));
  write_file(apps_file(), "notepad.exe\n");
  touch_later(apps_file());
  EXPECT_FALSE(excluded_with(code));
  EXPECT_TRUE(excluded_with([](SimWindow&) {}));
  // A deleted file empties the list.
  std::filesystem::remove(apps_file());
  EXPECT_FALSE(excluded_with([](SimWindow&) {}));
  EXPECT_TRUE(apps.entries.empty());
  // And it is tried again at every check.
  write_file(apps_file(), "code.exe\n");
  EXPECT_TRUE(excluded_with(code));
}

}  // namespace
}  // namespace klavix::testing
