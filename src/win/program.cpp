// Core headers come before <windows.h>: its macros would clash with the core's constants.
#include "app/runtime.h"
#include "app/startup.h"
#include "app/texts.h"
#include "base/fatal.h"
#include "engine/channel.h"
#include "engine/engine.h"
#include "win/win32_desktop.h"

#include "win/program.h"

#include <windows.h>

#include <memory>

#include "win/boundary.h"
#include "win/file_moves.h"
#include "win/file_times.h"
#include "win/hook_procs.h"
#include "win/tray.h"
#include "win/wide.h"

namespace klavix {

namespace {

struct EngineThreadStart {
  EventReceiver receiver;
};

DWORD WINAPI engine_thread_proc(LPVOID param) {
  at_boundary("engine thread failed", [&] {
    std::unique_ptr<EngineThreadStart> start(static_cast<EngineThreadStart*>(param));
    Win32Desktop desktop;
    run_engine(desktop, process_runtime(), std::move(start->receiver));
  });
  return 0;
}

// True when another copy already runs in this logon session. The handle is kept open for
// the life of the process on purpose: the system releases it at exit.
bool another_copy_running() {
  const std::wstring name = wide(single_instance_mutex_name);
  CreateMutexW(nullptr, FALSE, name.c_str());
  return GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

int run_program() {
  if (another_copy_running()) {
    const std::wstring text = wide(second_copy_text);
    const std::wstring caption = wide(app_caption);
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_ICONINFORMATION);
    return 0;
  }

  use_precise_file_times();
  use_system_file_moves();
  Runtime& rt = process_runtime();
  const bool first_run = prepare_settings(rt);
  rt.caps_on.store((GetKeyState(VK_CAPITAL) & 1) != 0);

  Channel channel = make_channel();
  rt.event_sender.set(std::move(channel.sender));

  // The manifest maps "STATIC" to the common controls 6 library. Loaded here, before the
  // engine thread creates its window, so the two threads never load it at the same time:
  // under Wine that race can deadlock the loader lock against the window lock.
  LoadLibraryW(L"comctl32.dll");

  auto* start = new EngineThreadStart{std::move(channel.receiver)};
  HANDLE thread = CreateThread(nullptr, engine_stack_reservation, engine_thread_proc, start,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) fatal("failed to spawn thread", GetLastError());
  // Every record of a correction makes a round trip through the keyboard hook on this thread
  // before it reaches the window, and every key the user types waits for the hook as well. On
  // a busy machine, threads of normal priority wait for a core at each of those steps, and the
  // user's next keys come in while a correction is still on its way. Both threads run only in
  // short bursts. (Wine applies thread priorities only where the wineserver may lower
  // niceness, RLIMIT_NICE; elsewhere this changes nothing there.)
  SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  CloseHandle(thread);

  const InstalledHooks hooks = install_hooks(GetModuleHandleW(nullptr));
  rt.hook_sees_own_input.store(hooks.keyboard != nullptr);
  tray_startup(rt, first_run);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }

  remove_hooks(hooks);
  return 0;
}

}  // namespace klavix
