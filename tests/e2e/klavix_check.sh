#!/usr/bin/env bash
# The real klavix.exe under Wine, driven by real key presses and clicks (xdotool on a private
# Xvfb), typing into klavix-target.exe. One wineserver and one klavix.exe serve every check,
# in this order (some checks build on the state the earlier ones leave); the harness's own
# checks come first, before klavix.exe starts.
# Usage: klavix_check.sh klavix.exe klavix-target.exe klavix-probe.exe
# With E2E_DOCS=DIR it also saves the README's screenshots (tray menu, help box) into DIR.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=harness.sh
source "$here/harness.sh"
# shellcheck source=harness_checks.sh
source "$here/harness_checks.sh"
# shellcheck source=pause_check.sh
source "$here/pause_check.sh"
# shellcheck source=fast_typing_check.sh
source "$here/fast_typing_check.sh"
KLAVIX=$1
TARGET=$2
PROBE=$3
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
RU=0x19
EN=0x09

e2e_start
[ ! -e "$KLAVIX_DIR" ] || { echo "FAIL the fresh prefix already has $KLAVIX_DIR"; exit 1; }
# The target first, so that Wine's desktop process (explorer, which serves the notification
# area) is up before klavix.exe adds its icon.
e2e_start_target "$TARGET" "$E2E_WORK/target.txt" || { echo "FAIL target window did not appear"; exit 1; }
run_harness_checks
e2e_reset_target || { echo "FAIL the target could not be reset"; exit 1; }
e2e_wait "$E2E_TIMEOUT" 'e2e_probe window Shell_TrayWnd' || echo "note: no Shell_TrayWnd yet"
e2e_spawn "$KLAVIX"
KLAVIX_PID=$E2E_LAST_PID
if ! e2e_wait "$E2E_TIMEOUT" 'e2e_probe window KlavixTray'; then
  echo "FAIL klavix.exe did not create its tray window (running: $(kill -0 "$KLAVIX_PID" 2>/dev/null && echo yes || echo no); settings folder: $(ls -A "$KLAVIX_DIR" 2>&1 | tr '\n' ' '))"
  e2e_probe list "$(e2e_winpath "$E2E_WORK/list")" && grep -v '^0 0 0 0 0 ' "$E2E_WORK/list" | sed 's/^/    window: /'
  e2e_shot "$E2E_OUT_DIR/e2e-fail-start.png" && echo "    screenshot: $E2E_OUT_DIR/e2e-fail-start.png"
  exit 1
fi
e2e_focus_target

# The layout request the target recorded last, as its language (0x19 Russian, 0x09 English).
last_request_language() {
  local n
  n=$(target_requests | wc -l)
  [ "$n" -ge 1 ] && request_language "$n"
}

expect_text() {
  e2e_wait_text "$1" || fail "expected '$1', the window shows '$(target_text)'"
}

# Waits for the n-th layout request and checks its language.
expect_request() {
  local n=$1 lang=$2
  e2e_wait_requests "$n" || fail "no layout request number $n (requests: $(target_requests | tr '\n' ' '))" ||
    return 1
  [ "$(request_language "$n")" = "$lang" ] ||
    fail "request $n is $(target_requests | sed -n "${n}p"), wanted language $lang"
}

file_size() { stat -c %s "$1" 2>/dev/null || echo missing; }

# --- first start on a fresh account ---------------------------------------------------------

check_fresh_files() {
  e2e_wait "$E2E_TIMEOUT" '[ -s "$KLAVIX_DIR/settings.ini" ] && [ -s "$KLAVIX_DIR/apps.txt" ]' ||
    fail "no settings files in $KLAVIX_DIR: $(ls -A "$KLAVIX_DIR" 2>&1 | tr '\n' ' ')" || return 1
  [ "$(file_size "$KLAVIX_DIR/exceptions.txt")" = 391 ] ||
    fail "exceptions.txt is $(file_size "$KLAVIX_DIR/exceptions.txt") bytes, not 391" || return 1
  [ "$(file_size "$KLAVIX_DIR/apps.txt")" = 505 ] ||
    fail "apps.txt is $(file_size "$KLAVIX_DIR/apps.txt") bytes, not 505" || return 1
  grep -qx 'cmd.exe' "$KLAVIX_DIR/apps.txt" || fail "apps.txt lacks cmd.exe" || return 1
  grep -q '^hotkey_word' "$KLAVIX_DIR/settings.ini" || fail "settings.ini lacks hotkey_word" || return 1
  [ -e "$KLAVIX_DIR/.welcome" ] || fail "no .welcome marker after the first start"
}

check_run_value() {
  local out want
  out=$("$WINE" reg query "$RUN_KEY" /v Klavix 2>/dev/null | tr -d '\r' | grep -i 'Klavix')
  [ -n "$out" ] || fail "no Run value Klavix" || return 1
  grep -q 'REG_SZ' <<<"$out" || fail "Run value is not REG_SZ: $out" || return 1
  want="\"$(e2e_winpath "$KLAVIX")\""
  local data=${out#*REG_SZ}
  data=$(sed 's/^[[:space:]]*//' <<<"$data")
  [ "${data,,}" = "${want,,}" ] || fail "Run value is $data, wanted $want"
}

# --- idle -------------------------------------------------------------------------------------

# CPU ticks (utime + stime, in 1/100 s) and voluntary context switches of every thread of a
# process, from /proc: Wine's processes are Linux processes.
proc_cost() {
  local pid=$1 ticks=0 switches=0 t f
  for t in /proc/"$pid"/task/*; do
    read -r -a f < <(sed 's/^.*) //' "$t/stat" 2>/dev/null) || continue
    ticks=$((ticks + f[11] + f[12]))
    switches=$((switches + $(sed -n 's/^voluntary_ctxt_switches:[[:space:]]*//p' "$t/status" 2>/dev/null || echo 0)))
  done
  echo "$ticks $switches"
}

# Idle, klavix.exe wakes no more often than Wine's notepad idle beside it (2 a second of slack)
# and uses no more CPU than it (20 ms of slack), over the same 30 seconds.
IDLE_SECONDS=${IDLE_SECONDS:-30}
check_idle() {
  e2e_spawn notepad
  e2e_find_window ".*Notepad" || fail "notepad did not start" || return 1
  # `wine notepad` runs start.exe, which starts notepad.exe as a process of its own.
  local np="" p
  for p in $(pgrep -f 'notepad\.exe'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && np=$p
  done
  [ -n "$np" ] || fail "no notepad.exe process of this prefix" || return 1
  # Both have finished starting once neither uses CPU for a second.
  local k0 n0 k1 n1 settled=0 i
  for i in $(seq 20); do
    k0=$(proc_cost "$KLAVIX_PID")
    n0=$(proc_cost "$np")
    sleep 1
    if [ "$(proc_cost "$KLAVIX_PID" | cut -d' ' -f1)" = "${k0% *}" ] &&
      [ "$(proc_cost "$np" | cut -d' ' -f1)" = "${n0% *}" ]; then
      settled=1
      break
    fi
  done
  [ "$settled" = 1 ] || echo "  note: the two processes never went a second without CPU"
  k0=$(proc_cost "$KLAVIX_PID")
  n0=$(proc_cost "$np")
  sleep "$IDLE_SECONDS"
  k1=$(proc_cost "$KLAVIX_PID")
  n1=$(proc_cost "$np")
  kill "$np" "$E2E_LAST_PID" 2>/dev/null
  e2e_wait 10 '[ -z "$(xdotool search --onlyvisible --name ".*Notepad" 2>/dev/null)" ]' || true
  local k_ms=$(((${k1% *} - ${k0% *}) * 10)) n_ms=$(((${n1% *} - ${n0% *}) * 10))
  local k_sw=$((${k1#* } - ${k0#* })) n_sw=$((${n1#* } - ${n0#* }))
  echo "  idle ${IDLE_SECONDS} s: klavix.exe ${k_ms} ms CPU, ${k_sw} wake-ups; notepad ${n_ms} ms CPU, ${n_sw} wake-ups"
  [ "$k_sw" -le $((n_sw + 2 * IDLE_SECONDS)) ] ||
    fail "klavix.exe woke $k_sw times, notepad $n_sw" || return 1
  [ "$k_ms" -le $((n_ms + 20)) ] || fail "klavix.exe used $k_ms ms of CPU, notepad $n_ms ms"
}

# --- typing -----------------------------------------------------------------------------------

check_auto_correct() {
  e2e_type "ghbdtn "
  expect_text "привет " || return 1
  expect_request 1 "$RU"
}

# A word that stays as typed, converted by the word hotkey and converted back.
check_word_hotkey() {
  e2e_reset_target || fail "reset failed" || return 1
  e2e_type "hello"
  e2e_key Pause
  expect_text "руддщ" || return 1
  expect_request 1 "$RU" || return 1
  e2e_key Pause
  expect_text "hello" || return 1
  expect_request 2 "$EN"
}

check_undo() {
  e2e_reset_target || fail "reset failed" || return 1
  e2e_type "ghbdtn "
  expect_text "привет " || return 1
  e2e_key Pause
  expect_text "ghbdtn " || return 1
  expect_request 2 "$EN" || return 1
  # Undone once: the next press converts the word again, as a fresh manual conversion.
  e2e_key Pause
  expect_text "привет " || return 1
  expect_request 3 "$RU"
}

# "gjrf" is "пока" typed on the English layout; three undos of it bring up the prompt.
check_exception_prompt() {
  local i
  for i in 1 2 3; do
    e2e_reset_target || fail "reset failed" || return 1
    e2e_type "gjrf "
    expect_text "пока " || fail "round $i: no correction, the window shows '$(target_text)'" || return 1
    if [ "$i" -lt 3 ] && e2e_probe box "$(e2e_winpath "$E2E_WORK/box")"; then
      fail "a prompt appeared before the third undo"
      return 1
    fi
    e2e_key Pause
    expect_text "gjrf " || fail "round $i: undo gave '$(target_text)'" || return 1
  done
  e2e_wait "$E2E_TIMEOUT" 'e2e_probe box "$(e2e_winpath "$E2E_WORK/box")"' ||
    fail "no message box captioned Клавикс after the third undo" || return 1
  grep -qF 'text=Исправление слова «gjrf» отменили уже 3 раза.' "$E2E_WORK/box" ||
    fail "prompt text: $(head -n1 "$E2E_WORK/box")" || return 1
  grep -q '^yes=' "$E2E_WORK/box" || fail "the prompt has no Yes button" || return 1
  grep -q '^no=' "$E2E_WORK/box" || fail "the prompt has no No button" || return 1
  local x y
  read -r x y < <(sed -n 's/^yes=//p' "$E2E_WORK/box")
  xdotool mousemove "$x" "$y" click 1
  e2e_wait "$E2E_TIMEOUT" 'grep -qx gjrf "$KLAVIX_DIR/exceptions.txt"' ||
    fail "exceptions.txt did not get the line gjrf" || return 1
  e2e_wait "$E2E_TIMEOUT" '! e2e_probe box "$(e2e_winpath "$E2E_WORK/box")"' ||
    fail "the prompt is still open" || return 1
  [ "$(file_size "$KLAVIX_DIR/exceptions.txt")" = $((391 + 5)) ] ||
    fail "exceptions.txt is $(file_size "$KLAVIX_DIR/exceptions.txt") bytes, wanted 396"
}

# After Yes the word is left alone; the word after it shows the engine handled the space.
check_exception_applies() {
  e2e_focus_target
  e2e_reset_target || fail "reset failed" || return 1
  e2e_type "gjrf ghbdtn "
  expect_text "gjrf привет "
}

# Selected ghbdtn becomes привет and the clipboard gets its earlier text back, ten presses out
# of ten. Under Wine the target reads the paste some half a second after the chord; the
# earlier text must not come back before that read.
SELECTION_PRESSES=${SELECTION_PRESSES:-10}
check_selection() {
  local press clip=$E2E_WORK/clip
  for press in $(seq "$SELECTION_PRESSES"); do
    e2e_reset_target || fail "reset failed" || return 1
    e2e_probe clip-set "before-clip-$press" || fail "could not set the clipboard" || return 1
    e2e_type "ghbdtn"
    e2e_key shift+Home
    e2e_wait 5 'e2e_probe clip-get "$(e2e_winpath "$clip")" && [ "$(cat "$clip")" = "before-clip-$press" ]' ||
      fail "press $press: the clipboard was not set" || return 1
    e2e_key shift+Pause
    expect_text "привет" || fail "press $press: the window shows '$(target_text)'" || return 1
    expect_request 1 "$RU" || return 1
    e2e_wait "$E2E_TIMEOUT" 'e2e_probe clip-get "$(e2e_winpath "$clip")" && [ "$(cat "$clip")" = "before-clip-$press" ]' ||
      fail "press $press: the clipboard holds '$(cat "$clip" 2>/dev/null)', not before-clip-$press" || return 1
  done
}

check_excluded_program() {
  local exe=$E2E_WORK/klavix-excluded.exe
  cp "$TARGET" "$exe"
  printf 'klavix-excluded.exe\n' >>"$KLAVIX_DIR/apps.txt"
  e2e_stop_target
  e2e_start_target "$exe" "$E2E_WORK/excluded.txt" || fail "excluded target did not start" || return 1
  e2e_type "ghbdtn "
  expect_text "ghbdtn " || return 1
  # The hotkey works everywhere. Had the space corrected the word, this press would undo it.
  e2e_key Pause
  expect_text "привет " || return 1
  expect_request 1 "$RU"
}

# Caps Lock on by accident, Shift on the first letter: hELLO, repaired after the space.
check_caps_lock() {
  e2e_reset_target || fail "reset failed" || return 1
  e2e_key Caps_Lock
  e2e_key shift+h
  e2e_type "ello "
  expect_text "Hello " || return 1
  e2e_probe caps "$(e2e_winpath "$E2E_WORK/caps")"
  local caps
  caps=$(tr -d '\r\n' <"$E2E_WORK/caps")
  # Wine cannot switch off the X server's Caps Lock; a press here lines both up again.
  e2e_key Caps_Lock
  [ "$caps" = 0 ] || fail "Caps Lock is still on after the repair (Windows key state $caps)" ||
    return 1
  e2e_type "ok "
  expect_text "Hello ok "
}

# --- the tray ---------------------------------------------------------------------------------

# With no X notification area to dock into, Wine shows the icons in its own small window
# ("Wine System Tray"). Right-click the icon there, wait for the menu, click an item by position.
TRAY_RECT=""
open_tray_menu() {
  e2e_wait "$E2E_TIMEOUT" 'e2e_probe rect __winex11_standalone_tray "$(e2e_winpath "$E2E_WORK/tray")"' ||
    return 1
  local x y w h
  read -r x y w h < <(sed -n 's/^client=//p' "$E2E_WORK/tray")
  TRAY_RECT="$x $y $w $h"
  # The first icon sits at the left of the client area.
  xdotool mousemove $((x + 9)) $((y + 9)) click 3
  e2e_wait "$E2E_TIMEOUT" 'e2e_probe menu "$(e2e_winpath "$E2E_WORK/menu")"'
}

# Another process cannot read the menu's items under Wine (MN_GETHMENU gives a handle that
# is empty there), so items are found by position from the popup's rectangle: ten text items
# of equal height and two separators, with a small frame; $1 counts from the bottom (1 = last).
MENU_SEPARATOR=9
MENU_FRAME=2
menu_item_from_bottom() {
  local r
  read -r -a r < <(sed -n 's/^rect=//p' "$E2E_WORK/menu")
  local item_h=$(((r[3] - 2 * MENU_FRAME - 2 * MENU_SEPARATOR) / 10))
  echo "$((r[0] + r[2] / 2)) $((r[1] + r[3] - MENU_FRAME - item_h * $1 + item_h / 2))"
}

check_tray_menu() {
  open_tray_menu || fail "no menu after a right click on the tray icon (tray: ${TRAY_RECT:-none})" ||
    return 1
  local r
  read -r -a r < <(sed -n 's/^rect=//p' "$E2E_WORK/menu")
  # Twelve items: ten text lines and two separators make a menu far taller than wide items.
  [ "${r[3]:-0}" -gt 150 ] || fail "the menu is only ${r[3]:-0} pixels high" || return 1
  if [ -n "${E2E_DOCS:-}" ]; then
    import -window root -crop "$((r[2] + 16))x$((r[3] + 16))+$((r[0] - 8))+$((r[1] - 8))" +repage \
      "$E2E_DOCS/tray-menu.png"
  fi
  local x y
  # "Горячие клавиши и справка" (item 11): the help box with the hotkeys and the folder.
  read -r x y < <(menu_item_from_bottom 2)
  xdotool mousemove "$x" "$y" click 1
  e2e_wait "$E2E_TIMEOUT" 'e2e_probe box "$(e2e_winpath "$E2E_WORK/help")"' ||
    fail "no help box after its menu item" || return 1
  grep -qxF 'Pause — исправить последнее слово. Нажмите ещё раз, чтобы вернуть как было.' \
    "$E2E_WORK/help" || fail "help text: $(head -n4 "$E2E_WORK/help" | tr '\n' '|')" || return 1
  grep -q '^Настройки: .*Klavix$' "$E2E_WORK/help" ||
    fail "help text lacks the settings folder: $(grep '^Настройки' "$E2E_WORK/help")" || return 1
  if [ -n "${E2E_DOCS:-}" ]; then
    read -r -a r < <(sed -n 's/^rect=//p' "$E2E_WORK/help")
    sleep 0.5
    import -window root -crop "${r[2]}x${r[3]}+${r[0]}+${r[1]}" +repage "$E2E_DOCS/help-box.png"
  fi
  read -r x y < <(sed -n 's/^ok=//p' "$E2E_WORK/help")
  xdotool mousemove "$x" "$y" click 1
  e2e_wait "$E2E_TIMEOUT" '! e2e_probe box "$(e2e_winpath "$E2E_WORK/help")"' ||
    fail "help box still open after OK" || return 1
  kill -0 "$KLAVIX_PID" 2>/dev/null || fail "klavix.exe ended after the help box" || return 1
  # "Выход" (item 12) ends the process and takes the tray window with it.
  open_tray_menu || fail "menu did not open again" || return 1
  read -r x y < <(menu_item_from_bottom 1)
  xdotool mousemove "$x" "$y" click 1
  e2e_wait "$E2E_TIMEOUT" '! kill -0 "$KLAVIX_PID" 2>/dev/null' ||
    fail "klavix.exe still runs after Выход" || return 1
  local rc=0
  wait "$KLAVIX_PID" 2>/dev/null || rc=$?
  [ "$rc" = 0 ] || fail "klavix.exe ended with exit code $rc" || return 1
  ! e2e_probe window KlavixTray || fail "the tray window is still there"
}

e2e_check fresh_appdata_gets_default_files check_fresh_files
e2e_check first_start_registers_run_value check_run_value
e2e_check idle_costs_no_more_than_notepad check_idle
e2e_focus_target
e2e_check space_corrects_wrong_layout_word check_auto_correct
e2e_check fast_typing_comes_out_exact check_fast_typing
e2e_check word_hotkey_converts_and_back check_word_hotkey
e2e_check word_hotkey_undoes_correction check_undo
e2e_check third_undo_prompts_and_yes_adds_exception check_exception_prompt
e2e_check exception_word_left_alone check_exception_applies
e2e_check selection_hotkey_converts_and_restores_clipboard check_selection
e2e_check caps_lock_word_repaired check_caps_lock
e2e_check caps_lock_followed_across_pause check_caps_lock_across_pause
e2e_check program_in_apps_list_not_corrected check_excluded_program
e2e_check tray_menu_exit_ends_process check_tray_menu
e2e_summary
