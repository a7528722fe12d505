// The NOTIFYICONDATAW records the tray hands to Shell_NotifyIconW.
#include <gtest/gtest.h>

#include "app/texts.h"
#include "text/text.h"

#include "win/tray.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace klavix {
namespace {

std::u16string field(const wchar_t* f, std::size_t capacity) {
  const std::size_t n = wcsnlen(f, capacity);
  return std::u16string(reinterpret_cast<const char16_t*>(f), n);
}

std::string repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

HWND fake_window() { return reinterpret_cast<HWND>(0x1234); }
HICON running_icon() { return reinterpret_cast<HICON>(0x111); }
HICON paused_icon() { return reinterpret_cast<HICON>(0x222); }

TEST(NotifyRecord, FixedFieldsOfTheFullSizeRecord) {
  EXPECT_EQ(sizeof(NOTIFYICONDATAW), 976u);
  for (bool paused : {false, true}) {
    SCOPED_TRACE(paused ? "paused" : "running");
    const NOTIFYICONDATAW nid = notify_icon_record(fake_window(), paused, running_icon(), paused_icon(), std::nullopt);
    EXPECT_EQ(nid.cbSize, 976u);
    EXPECT_EQ(nid.hWnd, fake_window());
    EXPECT_EQ(nid.uID, 1u);
    EXPECT_EQ(nid.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(nid.uCallbackMessage, 0x8001u);
    EXPECT_EQ(nid.hIcon, paused ? paused_icon() : running_icon());
    EXPECT_EQ(field(nid.szTip, 128), text::to_utf16(tooltip_text(paused)));
    // Without a balloon every balloon field stays zero, and no icon version is set.
    EXPECT_EQ(nid.szInfo[0], L'\0');
    EXPECT_EQ(nid.szInfoTitle[0], L'\0');
    EXPECT_EQ(nid.dwInfoFlags, 0u);
    EXPECT_EQ(nid.uVersion, 0u);
    EXPECT_EQ(nid.dwState, 0u);
    EXPECT_EQ(nid.dwStateMask, 0u);
    EXPECT_EQ(nid.hBalloonIcon, nullptr);
  }
}

// Balloon texts are cut to their fields with room for the NUL, never written past them.
TEST(NotifyRecord, BalloonTextsAreCutToTheirFields) {
  const std::string smile = "\xF0\x9F\x98\x80";  // two UTF-16 units
  struct Case {
    const char* name;
    std::string title;
    std::string text;
    std::u16string want_title;
    std::u16string want_text;
  } cases[] = {
      {"short texts stay whole", "Заголовок", "Текст — с тире", u"Заголовок", u"Текст — с тире"},
      {"title of exactly 63 units fits", repeat("a", 63), "", text::to_utf16(repeat("a", 63)), u""},
      {"title of 64 units loses one", repeat("a", 64), "", text::to_utf16(repeat("a", 63)), u""},
      {"Cyrillic title of 100 letters", repeat("я", 100), "", text::to_utf16(repeat("я", 63)), u""},
      {"text of 255 units fits", "", repeat("б", 255), u"", text::to_utf16(repeat("б", 255))},
      {"text of 1000 units", "", repeat("б", 1000), u"", text::to_utf16(repeat("б", 255))},
      {"pair across the title's cut is dropped whole", repeat("a", 62) + smile, "",
       text::to_utf16(repeat("a", 62)), u""},
      {"pair before the title's cut is kept", repeat("a", 61) + smile + "b", "",
       text::to_utf16(repeat("a", 61) + smile), u""},
      {"pair across the text's cut is dropped whole", "", repeat("b", 254) + smile, u"",
       text::to_utf16(repeat("b", 254))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NOTIFYICONDATAW nid;
    std::memset(&nid, 0xCC, sizeof(nid));
    nid = notify_icon_record(fake_window(), false, running_icon(), paused_icon(), Balloon{c.title, c.text});
    EXPECT_EQ(nid.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO));
    EXPECT_EQ(nid.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
    EXPECT_EQ(field(nid.szInfoTitle, 64), c.want_title);
    EXPECT_EQ(field(nid.szInfo, 256), c.want_text);
    EXPECT_EQ(field(nid.szTip, 128), text::to_utf16(tooltip_running));
  }
}

TEST(NotifyRecord, TooltipIsCutToItsField) {
  struct Case {
    std::string text;
    std::size_t units;
  } cases[] = {{"", 0}, {repeat("x", 127), 127}, {repeat("x", 128), 127}, {repeat("ж", 500), 127}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.size());
    wchar_t f[128];
    std::memset(f, 0xCC, sizeof(f));
    copy_to_field(f, 128, c.text);
    EXPECT_EQ(wcsnlen(f, 128), c.units);
    EXPECT_EQ(f[c.units], L'\0');
  }
}

TEST(NotifyRecord, WelcomeBalloonWithTheDefaultHotkeys) {
  const BalloonText w = welcome_text(default_settings());
  const NOTIFYICONDATAW nid =
      notify_icon_record(fake_window(), false, running_icon(), paused_icon(), Balloon{w.title, w.text});
  EXPECT_EQ(field(nid.szInfoTitle, 64), text::to_utf16(welcome_title));
  EXPECT_EQ(field(nid.szInfo, 256), text::to_utf16(w.text));
  EXPECT_LT(w.text.size(), 255u);  // the welcome fits its field uncut
}

}  // namespace
}  // namespace klavix
