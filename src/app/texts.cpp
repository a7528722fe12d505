#include "app/texts.h"

#include "klavix_version.h"

namespace klavix {

namespace {

// Replaces each "{0}", "{1}", "{2}" by its value in one pass over the template, so a value
// that itself contains such a marker (a folder named "{1}") stays as it is.
std::string fill_numbered(std::string_view tpl, std::initializer_list<std::string_view> values) {
  std::string out;
  std::size_t i = 0;
  while (i < tpl.size()) {
    if (tpl[i] == '{' && i + 2 < tpl.size() && tpl[i + 2] == '}' && tpl[i + 1] >= '0' &&
        static_cast<std::size_t>(tpl[i + 1] - '0') < values.size()) {
      out += values.begin()[tpl[i + 1] - '0'];
      i += 3;
    } else {
      out += tpl[i++];
    }
  }
  return out;
}

// Replaces the "{}" markers in order, also in one pass.
std::string fill_in_order(std::string_view tpl, std::initializer_list<std::string_view> values) {
  std::string out;
  auto next = values.begin();
  std::size_t i = 0;
  while (i < tpl.size()) {
    if (next != values.end() && tpl.substr(i, 2) == "{}") {
      out += *next++;
      i += 2;
    } else {
      out += tpl[i++];
    }
  }
  return out;
}

}  // namespace

std::string_view version_text() { return KLAVIX_VERSION_TEXT; }

BalloonText welcome_text(const Settings& s) {
  std::string word = format_hotkey(s.hotkey_word);
  std::string selection = format_hotkey(s.hotkey_selection);
  return {std::string(welcome_title), fill_numbered(welcome_template, {word, selection})};
}

std::string help_text(const Settings& s, const std::filesystem::path& folder) {
  std::string word = format_hotkey(s.hotkey_word);
  std::string selection = format_hotkey(s.hotkey_selection);
  std::string dir = path_text(folder);
  return fill_numbered(help_template, {word, selection, dir, version_text()});
}

std::string exception_prompt_text(std::string_view word) {
  std::string count = std::to_string(exception_prompt_threshold);
  return fill_in_order(exception_prompt_template, {word, count});
}

}  // namespace klavix
