// klavix-sim: types text into simulated windows with the real engine and hook logic running,
// and prints what each window shows at the end.
//
//   klavix-sim [--layout en|ru|de] [--autoswitch 0|1] [--capsfix 0|1] [--settings-dir DIR]
//              [--app NAME.exe] [--answer yes|no] [--decision word|context] [--fast] [--trace]
//              [FILE]
//
// --decision picks what the automatic correction after a space asks: the word alone, or the
// word in its sentence (the default).
// --fast types the keys of a line without waiting for the engine after each space, as a fast
// typist does; the engine corrects while the next keys arrive.
// Every input line goes into a fresh window and ends with Enter; the output has one line per
// input line. Braces name actions: {Pause}, {Shift+Pause} or any hotkey text, {caps}, {bs},
// {enter}, {click}, {select}, {en}, {ru}, {de}; {{ is a brace.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/startup.h"
#include "config/config.h"
#include "desktop/sim_desktop.h"
#include "sim/sim_driver.h"
#include "temporary_folder.h"
#include "text/text.h"

namespace {

using namespace klavix;

constexpr const char* usage =
    "usage: klavix-sim [--layout en|ru|de] [--autoswitch 0|1] [--capsfix 0|1] [--settings-dir DIR]\n"
    "                  [--app NAME.exe] [--answer yes|no] [--decision word|context] [--fast]\n"
    "                  [--trace] [FILE]\n";

struct Options {
  LayoutHandle layout = layout_en_us;
  std::optional<bool> autoswitch;
  std::optional<bool> capsfix;
  std::optional<std::filesystem::path> settings_dir;
  std::optional<std::string> app;
  int answer = win::IDNO;
  Decision decision = Decision::Context;
  bool trace = false;
  bool fast = false;
  std::optional<std::string> file;
};

std::optional<bool> parse_flag(std::string_view v) {
  if (v == "0") return false;
  if (v == "1") return true;
  return std::nullopt;
}

// Parses the command line; prints the reason and returns none when it is not usable.
std::optional<Options> parse_options(int argc, char** argv) {
  Options o;
  auto fail = [](const std::string& why) -> std::optional<Options> {
    std::cerr << "klavix-sim: " << why << "\n" << usage;
    return std::nullopt;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool takes_value = arg == "--layout" || arg == "--autoswitch" || arg == "--capsfix" ||
                             arg == "--settings-dir" || arg == "--app" || arg == "--answer" ||
                             arg == "--decision";
    if (takes_value && i + 1 >= argc) return fail(std::string(arg) + " needs a value");
    if (arg == "--layout") {
      const std::string_view v = argv[++i];
      if (v == "en") o.layout = layout_en_us;
      else if (v == "ru") o.layout = layout_ru;
      else if (v == "de") o.layout = layout_de;
      else return fail("--layout takes en, ru or de");
    } else if (arg == "--autoswitch" || arg == "--capsfix") {
      const std::optional<bool> v = parse_flag(argv[++i]);
      if (!v) return fail(std::string(arg) + " takes 0 or 1");
      (arg == "--autoswitch" ? o.autoswitch : o.capsfix) = v;
    } else if (arg == "--settings-dir") {
      o.settings_dir = std::filesystem::path(argv[++i]);
    } else if (arg == "--app") {
      o.app = argv[++i];
      if (o.app->empty()) return fail("--app needs a program name");
    } else if (arg == "--answer") {
      const std::string_view v = argv[++i];
      if (v == "yes") o.answer = win::IDYES;
      else if (v == "no") o.answer = win::IDNO;
      else return fail("--answer takes yes or no");
    } else if (arg == "--decision") {
      const std::string_view v = argv[++i];
      if (v == "word") o.decision = Decision::Word;
      else if (v == "context") o.decision = Decision::Context;
      else return fail("--decision takes word or context");
    } else if (arg == "--trace") {
      o.trace = true;
    } else if (arg == "--fast") {
      o.fast = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << usage;
      std::exit(0);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option " + std::string(arg));
    } else if (o.file) {
      return fail("only one input file");
    } else {
      o.file = std::string(arg);
    }
  }
  return o;
}

std::string escaped(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else out += c;
  }
  return out;
}

// One trace line per synthesized record, layout request and message box.
void trace_call(const SimCall& c) {
  char head[96];
  switch (c.kind) {
    case SimCallKind::SendInput:
      for (const KeyInput& r : c.records) std::fprintf(stderr, "input %s\n", describe_record(r).c_str());
      break;
    case SimCallKind::PostMessage:
      if (c.message == win::WM_INPUTLANGCHANGEREQUEST) {
        std::snprintf(head, sizeof head, "layout request window=0x%llX layout=0x%08llX",
                      static_cast<unsigned long long>(c.window), static_cast<unsigned long long>(c.lparam));
        std::fprintf(stderr, "%s\n", head);
      }
      break;
    case SimCallKind::MessageBox:
      std::snprintf(head, sizeof head, "message box owner=0x%llX style=0x%X answer=%d",
                    static_cast<unsigned long long>(c.window), c.style, c.answer);
      std::fprintf(stderr, "%s caption=\"%s\" text=\"%s\"\n", head, escaped(c.caption).c_str(),
                   escaped(c.text).c_str());
      break;
    default:
      break;
  }
}

std::optional<std::string> read_input(const std::optional<std::string>& file) {
  if (!file || *file == "-") {
    return std::string(std::istreambuf_iterator<char>(std::cin), {});
  }
  std::ifstream in(*file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Lines split at LF; a CR before the LF belongs to the line end; a last line without LF counts.
std::vector<std::string_view> split_lines(std::string_view all) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos < all.size()) {
    std::size_t end = all.find('\n', pos);
    const std::size_t next = end == std::string_view::npos ? all.size() : end + 1;
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r' && end < all.size()) line.remove_suffix(1);
    lines.push_back(line);
    pos = next;
  }
  return lines;
}

SimWindow window_setup(const Options& o) {
  SimWindow w;
  w.layout = o.layout;
  if (o.app) {
    const bool has_folder = o.app->find_first_of("\\/") != std::string::npos;
    w.image_path = text::to_utf16(has_folder ? *o.app : "C:\\Program Files\\" + *o.app);
  }
  return w;
}

int run(const Options& o) {
  std::optional<tools::TemporaryFolder> temporary;
  if (o.settings_dir) {
    set_settings_dir_override(*o.settings_dir);
  } else {
    temporary.emplace("klavix-sim");
    if (temporary->path().empty()) {
      std::cerr << "klavix-sim: cannot create a temporary settings folder\n";
      return 1;
    }
    set_settings_dir_override(temporary->path());
  }

  const std::optional<std::string> input = read_input(o.file);
  if (!input) {
    std::cerr << "klavix-sim: cannot read " << *o.file << "\n";
    return 1;
  }

  SimDesktop desk;
  desk.set_keep_calls(false);  // a long run would keep every call otherwise
  desk.set_default_answer(o.answer);
  if (o.layout == layout_de) desk.install_layout(layout_de);
  if (o.trace) desk.set_observer(trace_call);

  int status = 0;
  {
    SimSession session(desk);
    prepare_settings(session.runtime());
    if (o.autoswitch) session.runtime().autoswitch_on = *o.autoswitch;
    if (o.capsfix) session.runtime().capsfix_on = *o.capsfix;
    session.runtime().decision = o.decision;
    session.set_fast(o.fast);
    session.start();

    const SimWindow init = window_setup(o);
    WindowHandle previous = 0;
    std::string out;
    std::size_t number = 0;
    for (std::string_view line : split_lines(*input)) {
      ++number;
      if (o.trace) std::fprintf(stderr, "-- line %zu\n", number);
      const WindowHandle w = session.new_window(init);
      if (previous) desk.destroy_window(previous);
      previous = w;
      if (const std::optional<std::string> error = session.run_script(line)) {
        std::cerr << "klavix-sim: line " << number << ": " << *error << "\n";
        status = 2;
      }
      session.tap(win::VK_RETURN);
      out += session.text();
      out += '\n';
      if (out.size() >= 1 << 16) {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
      }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    session.stop();
  }
  set_settings_dir_override(std::nullopt);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> o = parse_options(argc, argv);
  if (!o) return 2;
  return run(*o);
}
