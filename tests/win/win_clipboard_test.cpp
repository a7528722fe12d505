// The real clipboard through the Win32 desktop: the save and restore around a selection
// conversion keep every saved format byte for byte and never touch GDI handles.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "text/text.h"
#include "win/win32_desktop.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace klavix {
namespace {

std::vector<std::uint8_t> utf16_bytes(std::string_view utf8) {
  const std::u16string u = text::to_utf16(utf8);
  std::vector<std::uint8_t> b((u.size() + 1) * 2, 0);
  std::memcpy(b.data(), u.data(), u.size() * 2);
  return b;
}

// A 2 x 2 32-bit DIB as CF_DIB holds it: the header, then the pixels.
std::vector<std::uint8_t> tiny_dib() {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(h);
  h.biWidth = 2;
  h.biHeight = 2;
  h.biPlanes = 1;
  h.biBitCount = 32;
  h.biCompression = BI_RGB;
  std::vector<std::uint8_t> b(sizeof(h) + 16);
  std::memcpy(b.data(), &h, sizeof(h));
  for (std::size_t i = 0; i < 16; ++i) b[sizeof(h) + i] = static_cast<std::uint8_t>(0x10 * i + 1);
  return b;
}

const ClipboardItem* find(const std::vector<ClipboardItem>& items, std::uint32_t format) {
  for (const ClipboardItem& it : items)
    if (it.format == format) return &it;
  return nullptr;
}

// The start of a block equals `want` (GlobalSize may round a block up).
bool starts_with(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& want) {
  return got.size() >= want.size() && std::equal(want.begin(), want.end(), got.begin());
}

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner = desktop.create_message_window();
    ASSERT_NE(owner, 0u);
    custom = RegisterClipboardFormatW(L"Klavix test bytes");
    ASSERT_NE(custom, 0u);
  }

  // Puts text, a DIB, private bytes and a GDI bitmap on the clipboard.
  void fill_clipboard() {
    ASSERT_TRUE(desktop.open_clipboard(owner));
    ASSERT_TRUE(desktop.empty_clipboard());
    EXPECT_TRUE(desktop.set_clipboard_data(CF_UNICODETEXT, utf16_bytes("привет, world")));
    EXPECT_TRUE(desktop.set_clipboard_data(CF_DIB, tiny_dib()));
    EXPECT_TRUE(desktop.set_clipboard_data(custom, private_bytes));
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
    EXPECT_NE(SetClipboardData(CF_BITMAP, bitmap), nullptr);
    ASSERT_TRUE(desktop.close_clipboard());
  }

  std::vector<std::uint32_t> formats_now() {
    std::vector<std::uint32_t> f;
    if (!desktop.open_clipboard(owner)) return f;
    for (std::uint32_t x = desktop.enum_clipboard_formats(0); x != 0; x = desktop.enum_clipboard_formats(x))
      f.push_back(x);
    desktop.close_clipboard();
    return f;
  }

  std::optional<std::vector<std::uint8_t>> read(std::uint32_t format) {
    if (!desktop.open_clipboard(owner)) return std::nullopt;
    auto bytes = desktop.clipboard_data(format);
    desktop.close_clipboard();
    return bytes;
  }

  Win32Desktop desktop;
  WindowHandle owner = 0;
  UINT custom = 0;
  const std::vector<std::uint8_t> private_bytes{0, 1, 2, 0, 0xFF, 0x80, 0, 7};
};

TEST_F(ClipboardTest, SaveKeepsMemoryFormatsAndSkipsGdiHandles) {
  fill_clipboard();
  const std::vector<ClipboardItem> saved = save_clipboard(desktop, owner).value();

  const std::uint32_t gdi_formats[] = {CF_BITMAP, CF_METAFILEPICT, CF_PALETTE, CF_ENHMETAFILE,
                                       CF_OWNERDISPLAY, CF_DSPBITMAP, CF_DSPMETAFILEPICT, CF_DSPENHMETAFILE};
  for (std::uint32_t f : gdi_formats) {
    SCOPED_TRACE(f);
    EXPECT_EQ(find(saved, f), nullptr);
  }
  struct Want {
    std::uint32_t format;
    std::vector<std::uint8_t> bytes;
  } wants[] = {{CF_UNICODETEXT, utf16_bytes("привет, world")}, {CF_DIB, tiny_dib()}, {custom, private_bytes}};
  for (const Want& w : wants) {
    SCOPED_TRACE(w.format);
    const ClipboardItem* it = find(saved, w.format);
    ASSERT_NE(it, nullptr);
    EXPECT_TRUE(starts_with(it->bytes, w.bytes));
  }
}

TEST_F(ClipboardTest, RestorePutsBackEverySavedFormat) {
  fill_clipboard();
  const std::vector<ClipboardItem> saved = save_clipboard(desktop, owner).value();
  ASSERT_FALSE(saved.empty());

  // What a conversion leaves behind before the restore.
  ASSERT_TRUE(desktop.open_clipboard(owner));
  desktop.empty_clipboard();
  desktop.set_clipboard_data(CF_UNICODETEXT, utf16_bytes("converted"));
  desktop.close_clipboard();

  restore_clipboard(desktop, owner, saved);
  for (const ClipboardItem& it : saved) {
    SCOPED_TRACE(it.format);
    const auto now = read(it.format);
    ASSERT_TRUE(now.has_value());
    EXPECT_TRUE(starts_with(*now, it.bytes));
  }
  const auto text = read(CF_UNICODETEXT);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text::from_utf16_z(reinterpret_cast<const char16_t*>(text->data()), text->size() / 2), "привет, world");
}

TEST_F(ClipboardTest, RestoringNothingLeavesTheClipboardEmpty) {
  fill_clipboard();
  restore_clipboard(desktop, owner, {});
  EXPECT_TRUE(formats_now().empty());
}

TEST_F(ClipboardTest, BlocksOfEverySize) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::size_t at_least;
  } cases[] = {
      {"empty block gets one byte", {}, 1},
      {"one byte", {0x5A}, 1},
      {"one MiB", std::vector<std::uint8_t>(1 << 20, 0xA5), 1 << 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(desktop.open_clipboard(owner));
    desktop.empty_clipboard();
    EXPECT_TRUE(desktop.set_clipboard_data(custom, c.bytes));
    const auto size = desktop.clipboard_data_size(custom);
    const auto bytes = desktop.clipboard_data(custom);
    desktop.close_clipboard();
    ASSERT_TRUE(size.has_value());
    ASSERT_TRUE(bytes.has_value());
    EXPECT_GE(*size, c.at_least);
    EXPECT_EQ(bytes->size(), *size);
    EXPECT_TRUE(starts_with(*bytes, c.bytes));
  }
}

TEST_F(ClipboardTest, MissingFormatGivesNothing) {
  ASSERT_TRUE(desktop.open_clipboard(owner));
  desktop.empty_clipboard();
  EXPECT_FALSE(desktop.clipboard_data_size(custom).has_value());
  EXPECT_FALSE(desktop.clipboard_data(custom).has_value());
  desktop.close_clipboard();
}

// Another thread holding the clipboard: the retry waits about 200 ms for it.
TEST_F(ClipboardTest, OpeningRetriesWhileAnotherWindowHoldsTheClipboard) {
  struct Case {
    int hold_ms;
    bool opens;
  } cases[] = {{60, true}, {1500, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hold_ms);
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
      Win32Desktop other;
      const WindowHandle w = other.create_message_window();
      const bool ok = other.open_clipboard(w);
      SetEvent(held);
      if (!ok) return;
      Sleep(c.hold_ms);
      other.close_clipboard();
    });
    WaitForSingleObject(held, 5000);
    const bool opened = open_clipboard_with_retry(desktop, owner);
    if (opened) desktop.close_clipboard();
    holder.join();
    CloseHandle(held);
    EXPECT_EQ(opened, c.opens);
  }
}

// The converted text rendered on request: another program's read of CF_UNICODETEXT reaches
// the owner's handler while the owner thread pumps, and gets the text rendered there; emptying
// the clipboard from elsewhere tells the owner it lost it.
TEST_F(ClipboardTest, TextRenderedOnRequestReachesAReaderOnAnotherThread) {
  std::vector<ClipboardRequest> requests;
  const std::vector<std::uint8_t> text = utf16_bytes("привет");
  desktop.set_clipboard_owner_handler(owner, [&](ClipboardRequest r, std::uint32_t format) {
    requests.push_back(r);
    if (r == ClipboardRequest::RenderFormat && format == CF_UNICODETEXT) desktop.set_clipboard_data(format, text);
  });
  ASSERT_TRUE(desktop.open_clipboard(owner));
  ASSERT_TRUE(desktop.empty_clipboard());
  ASSERT_TRUE(desktop.set_clipboard_data_on_request(CF_UNICODETEXT));
  ASSERT_TRUE(desktop.close_clipboard());
  requests.clear();  // the empty above told the window about its own earlier ownership

  std::atomic<bool> done{false};
  std::u16string read_back;
  std::thread reader([&] {
    for (int i = 0; i < 100 && !OpenClipboard(nullptr); ++i) Sleep(10);
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* p = static_cast<const char16_t*>(GlobalLock(h))) {
        read_back = p;
        GlobalUnlock(h);
      }
    }
    CloseClipboard();
    done = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done && std::chrono::steady_clock::now() < deadline) {
    desktop.pump_messages();
    desktop.wait_for_event_or_message(0, std::chrono::milliseconds(10));
  }
  reader.join();
  EXPECT_EQ(read_back, u"привет");
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0], ClipboardRequest::RenderFormat);

  // Another window empties the clipboard: the owner hears of it.
  requests.clear();
  std::thread other([] {
    Win32Desktop d;
    const WindowHandle w = d.create_message_window();
    if (d.open_clipboard(w)) {
      d.empty_clipboard();
      d.close_clipboard();
    }
  });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (requests.empty() && std::chrono::steady_clock::now() < until) {
    desktop.pump_messages();
    desktop.wait_for_event_or_message(0, std::chrono::milliseconds(10));
  }
  other.join();
  EXPECT_EQ(requests, std::vector<ClipboardRequest>{ClipboardRequest::Destroyed});
  desktop.set_clipboard_owner_handler(owner, nullptr);
}

TEST_F(ClipboardTest, RegisteredFormatsAreOneNumberEach) {
  const std::uint32_t a = desktop.register_clipboard_format("CanIncludeInClipboardHistory");
  EXPECT_GE(a, 0xC000u);
  EXPECT_EQ(desktop.register_clipboard_format("CanIncludeInClipboardHistory"), a);
  EXPECT_NE(desktop.register_clipboard_format("CanUploadToCloudClipboard"), a);
}

}  // namespace
}  // namespace klavix
