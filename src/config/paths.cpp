#include <cstdlib>
#include <mutex>

#include "config/config.h"
#include "text/text.h"

namespace klavix {

namespace {

std::mutex override_mutex;
std::optional<std::filesystem::path> dir_override;

}  // namespace

void set_settings_dir_override(std::optional<std::filesystem::path> dir) {
  std::lock_guard<std::mutex> lock(override_mutex);
  dir_override = std::move(dir);
}

std::filesystem::path settings_dir() {
  {
    std::lock_guard<std::mutex> lock(override_mutex);
    if (dir_override) return *dir_override;
  }
  // Read anew each time: nothing about the environment is cached.
#ifdef _WIN32
  const wchar_t* appdata = _wgetenv(L"APPDATA");
#else
  const char* appdata = std::getenv("APPDATA");
#endif
  std::filesystem::path base = (appdata != nullptr && appdata[0] != 0)
                                   ? std::filesystem::path(appdata)
                                   : std::filesystem::path(".");
  return base / "Klavix";
}

std::filesystem::path settings_path() { return settings_dir() / "settings.ini"; }
std::filesystem::path exceptions_path() { return settings_dir() / "exceptions.txt"; }
std::filesystem::path apps_path() { return settings_dir() / "apps.txt"; }
std::filesystem::path welcome_marker_path() { return settings_dir() / ".welcome"; }

std::string path_text(const std::filesystem::path& p) {
#ifdef _WIN32
  const std::wstring& w = p.native();
  return text::from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size()));
#else
  // Bytes that are not UTF-8 become U+FFFD.
  return text::from_utf16(text::to_utf16(p.native()));
#endif
}

std::string_view default_exceptions_text() {
  return "# Слова, которые автопереключение никогда не трогает. По одному слову в строке.\n"
         "# Если вы трижды отменили исправление слова, программа спросит, добавить ли его сюда.\n"
         "# Пишите слово так, как оно набирается, например: lol\n";
}

std::string_view default_apps_text() {
  return "# Программы, в которых автопереключение выключено (имя .exe, по одному в строке).\n"
         "# Ручное исправление клавишей работает везде.\n"
         "cmd.exe\n"
         "powershell.exe\n"
         "pwsh.exe\n"
         "windowsterminal.exe\n"
         "openconsole.exe\n"
         "conhost.exe\n"
         "putty.exe\n"
         "mintty.exe\n"
         "code.exe\n"
         "devenv.exe\n"
         "idea64.exe\n"
         "pycharm64.exe\n"
         "clion64.exe\n"
         "rider64.exe\n"
         "webstorm64.exe\n"
         "goland64.exe\n"
         "sublime_text.exe\n"
         "keepass.exe\n"
         "keepassxc.exe\n"
         "bitwarden.exe\n"
         "1password.exe\n"
         "mstsc.exe\n";
}

}  // namespace klavix
