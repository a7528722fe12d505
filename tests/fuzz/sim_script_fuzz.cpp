// klavix-sim's script reader (one line of text and {actions}) with the real engine behind it,
// one new window per input as klavix-sim gives each line. The first byte picks the part:
//   - plain text with every "{" written "{{" and each word on its own layout, corrections off:
//     the reader reports no error and the window shows the text, character for character (a
//     byte that is not UTF-8 as U+FFFD);
//   - the bytes as they are, corrections on (the decision from the first byte): any error is
//     one of the reader's two messages, and the window shows UTF-8.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "fuzz_folder.h"
#include "layout/layout.h"
#include "sim/sim_driver.h"
#include "text/text.h"

using namespace klavix;
using klavix::fuzz::escaped;

namespace {

struct Sim {
  Sim() {
    fuzz::folder();
    desk.set_keep_calls(false);
    session = std::make_unique<SimSession>(desk);
    session->start();
  }
  SimDesktop desk;
  std::unique_ptr<SimSession> session;
  WindowHandle previous = 0;
};

Sim& sim() {
  static Sim* s = new Sim;  // lives until exit: the engine thread must never see it go
  return *s;
}

std::string as_typed(std::string_view s) {
  std::string out;
  for (std::size_t pos = 0; pos < s.size();) {
    const text::Utf8Step step = text::decode_utf8_at(s, pos);
    text::append_utf8(out, step.valid ? step.cp : text::replacement_char);
    pos += step.length;
  }
  return out;
}

bool has_key(char32_t c, Layout l) {
  for (const KeyRow& row : key_table())
    if (row.lower(l) == c || row.upper(l) == c) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Sim& s = sim();
  const std::uint8_t mode = data[0];
  const std::string_view line(reinterpret_cast<const char*>(data + 1), size - 1);
  SimSession& session = *s.session;
  session.runtime().decision = (mode & 2) ? Decision::Context : Decision::Word;
  session.set_fast(mode & 4);
  const WindowHandle w = session.new_window();
  if (s.previous) s.desk.destroy_window(s.previous);
  s.previous = w;

  if ((mode & 1) == 0) {
    // Each word on the layout its keys are looked up in ({en} or {ru} before it), so the keys
    // give its characters; a text with a character only the other layout has is left out.
    session.runtime().autoswitch_on = false;
    session.runtime().capsfix_on = false;
    const std::string typed = as_typed(line);
    const std::u32string cps = *text::decode_utf8(typed);
    std::string script;
    Layout window = Layout::En;
    for (std::size_t i = 0; i < cps.size();) {
      std::size_t end = cps.find(U' ', i);
      if (end == i) {
        script += ' ';
        ++i;
        continue;
      }
      if (end == std::u32string::npos) end = cps.size();
      const std::u32string_view word = std::u32string_view(cps).substr(i, end - i);
      if (const std::optional<Layout> l = word_layout(word); l && *l != window) {
        window = *l;
        script += window == Layout::Ru ? "{ru}" : "{en}";
      }
      for (char32_t c : word) {
        if (!has_key(c, window) && has_key(c, other_layout(window))) return 0;
        if (c == U'{') script += '{';
        text::append_utf8(script, c);
      }
      i = end;
    }
    const std::optional<std::string> error = session.run_script(script);
    FUZZ_CHECK(!error, "an error for plain text: " + error.value_or("") + "\n  script: " + escaped(script));
    const std::string shown = session.text();
    FUZZ_CHECK(shown == typed, "the window shows " + escaped(shown) + "\n  script: " + escaped(script));
    return 0;
  }

  session.runtime().autoswitch_on = true;
  session.runtime().capsfix_on = true;
  const std::optional<std::string> error = session.run_script(line);
  if (error) {
    FUZZ_CHECK(error->rfind("unknown action {", 0) == 0 || error->rfind("unclosed brace: ", 0) == 0,
               *error + "\n  script: " + escaped(line));
  }
  const std::string shown = session.text();
  FUZZ_CHECK(text::is_valid_utf8(shown), escaped(shown) + "\n  script: " + escaped(line));
  return 0;
}
