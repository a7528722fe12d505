// settings.ini on any bytes. Loading never fails and gives what the reader's rules give on
// those bytes; the record that came out, and one with hotkeys parsed from the bytes, saved and
// loaded again are the same record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/config.h"
#include "fuzz_check.h"
#include "fuzz_folder.h"

using namespace klavix;
using klavix::fuzz::escaped;

namespace {

std::string describe(const Settings& s) {
  return "autoswitch " + std::to_string(s.autoswitch) + ", capsfix " + std::to_string(s.capsfix) + ", hotkeys " +
         format_hotkey(s.hotkey_word) + " / " + format_hotkey(s.hotkey_selection);
}

void round_trip(const Settings& s, std::string_view from) {
  FUZZ_CHECK(parse_settings(render_settings(s)) == s, describe(s) + " from " + escaped(from));
  save_settings(s);
  const Settings back = load_settings();
  FUZZ_CHECK(back == s, describe(s) + " came back as " + describe(back) + " from " + escaped(from));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::folder();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fuzz::write_bytes(settings_path(), bytes);
  const Settings loaded = load_settings();
  FUZZ_CHECK(loaded == parse_settings(bytes), escaped(bytes));
  round_trip(loaded, bytes);

  // Hotkeys from the first two lines of the bytes, flags from the first byte.
  Settings s = default_settings();
  const std::size_t lf = bytes.find('\n');
  if (const std::optional<Hotkey> h = parse_hotkey(bytes.substr(0, lf))) s.hotkey_word = *h;
  if (lf != std::string_view::npos) {
    if (const std::optional<Hotkey> h = parse_hotkey(bytes.substr(lf + 1))) s.hotkey_selection = *h;
  }
  if (size > 0) {
    s.autoswitch = data[0] & 1;
    s.capsfix = data[0] & 2;
  }
  round_trip(s, bytes);

  // No file, or a folder where the file should be: the defaults.
  std::filesystem::remove(settings_path());
  FUZZ_CHECK(load_settings() == default_settings(), "without a file");
  return 0;
}
