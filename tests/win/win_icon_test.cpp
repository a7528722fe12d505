// The two tray icons, read back pixel by pixel from the icon handles.
#include <gtest/gtest.h>

#include "win/tray.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace klavix {
namespace {

struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> bgra;  // top-down rows, 0xAARRGGBB
  std::uint32_t at(int x, int y) const { return bgra[static_cast<std::size_t>(y) * width + x]; }
};

Pixels read_icon(HICON icon) {
  Pixels p;
  ICONINFO ii{};
  if (!GetIconInfo(icon, &ii)) return p;
  BITMAP bm{};
  GetObjectW(ii.hbmColor, sizeof(bm), &bm);
  p.width = bm.bmWidth;
  p.height = bm.bmHeight;
  p.bgra.assign(static_cast<std::size_t>(p.width) * p.height, 0);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = p.width;
  bi.bmiHeader.biHeight = -p.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  HDC dc = GetDC(nullptr);
  GetDIBits(dc, ii.hbmColor, 0, p.height, p.bgra.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
  return p;
}

bool is_white(std::uint32_t px) {
  return (px & 0xFF) >= 0xE0 && ((px >> 8) & 0xFF) >= 0xE0 && ((px >> 16) & 0xFF) >= 0xE0;
}

TEST(TrayIcon, SizeFollowsTheSmallIconMetricButIsNeverBelowSixteen) {
  const int metric = GetSystemMetrics(SM_CXSMICON);
  EXPECT_EQ(tray_icon_size(), metric < 16 ? 16 : metric);
  HICON icon = draw_tray_icon(true);
  ASSERT_NE(icon, nullptr);
  const Pixels p = read_icon(icon);
  EXPECT_EQ(p.width, tray_icon_size());
  EXPECT_EQ(p.height, tray_icon_size());
  DestroyIcon(icon);
}

// Both variants at the sizes of 100 %, 125 %, 150 % and 200 % scaling, and a request below
// the minimum.
TEST(TrayIcon, BackgroundOpaqueAlphaAndWhiteGlyph) {
  struct Case {
    bool running;
    int requested;
    int size;
    std::uint32_t background;  // 0x00RRGGBB
  } cases[] = {
      {true, 16, 16, 0x1E6AC0},  {false, 16, 16, 0x808080}, {true, 20, 20, 0x1E6AC0},
      {true, 24, 24, 0x1E6AC0},  {false, 24, 24, 0x808080}, {true, 32, 32, 0x1E6AC0},
      {false, 32, 32, 0x808080}, {true, 8, 16, 0x1E6AC0},   {false, 0, 16, 0x808080},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.running ? "running " : "paused ") << c.requested);
    HICON icon = draw_tray_icon(c.running, c.requested);
    ASSERT_NE(icon, nullptr);
    const Pixels p = read_icon(icon);
    DestroyIcon(icon);
    ASSERT_EQ(p.width, c.size);
    ASSERT_EQ(p.height, c.size);

    int transparent = 0;
    for (std::uint32_t px : p.bgra)
      if ((px >> 24) != 0xFF) ++transparent;
    EXPECT_EQ(transparent, 0) << "every pixel must be opaque";

    // The four corners lie outside the glyph.
    for (auto [x, y] : {std::pair{0, 0}, {c.size - 1, 0}, {0, c.size - 1}, {c.size - 1, c.size - 1}})
      EXPECT_EQ(p.at(x, y) & 0xFFFFFF, c.background) << "corner " << x << "," << y;

    // The glyph is white and sits inside the square, away from its edge rows.
    int white = 0;
    int top = c.size, bottom = -1;
    for (int y = 0; y < c.size; ++y)
      for (int x = 0; x < c.size; ++x)
        if (is_white(p.at(x, y))) {
          ++white;
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
    EXPECT_GE(white, c.size) << "too few glyph pixels";
    EXPECT_LT(white, c.size * c.size / 2) << "the background must dominate";
    EXPECT_GT(top, 0);
    EXPECT_LT(bottom, c.size - 1);
  }
}

TEST(TrayIcon, RunningAndPausedDifferOnlyInTheBackground) {
  HICON running = draw_tray_icon(true, 16);
  HICON paused = draw_tray_icon(false, 16);
  const Pixels a = read_icon(running);
  const Pixels b = read_icon(paused);
  DestroyIcon(running);
  DestroyIcon(paused);
  ASSERT_EQ(a.bgra.size(), b.bgra.size());
  for (std::size_t i = 0; i < a.bgra.size(); ++i) {
    SCOPED_TRACE(i);
    // The glyph's fully white pixels are in the same places in both.
    EXPECT_EQ(a.bgra[i] == 0xFFFFFFFF, b.bgra[i] == 0xFFFFFFFF);
  }
}

}  // namespace
}  // namespace klavix
