# Shared pieces of the end-to-end scripts (sourced, bash).
#
# One run = one Xvfb display of its own, one fresh Wine prefix with English and Russian
# layouts preloaded, one persistent wineserver; everything is torn down on exit, also on
# failure. Input is real XTest key presses and clicks (xdotool); results are read by polling
# files (the target window's record, the settings folder) with generous timeouts.

set -u

E2E_TIMEOUT=${E2E_TIMEOUT:-20}
E2E_FAILED=0
E2E_PASSED=0
E2E_PIDS=()
E2E_XVFB_PID=""
E2E_WORK=""
E2E_OUT_DIR=${E2E_OUT_DIR:-$PWD}

e2e_log() { printf '  %s\n' "$*" >&2; }

# Wine's binaries are not always on PATH (Debian's wine64 package keeps them in /usr/lib/wine).
e2e_find_wine() {
  WINE=$(command -v wine64 || command -v wine || true)
  [ -n "$WINE" ] || { [ -x /usr/lib/wine/wine64 ] && WINE=/usr/lib/wine/wine64; }
  WINESERVER=$(command -v wineserver || true)
  [ -n "$WINESERVER" ] || { [ -x /usr/lib/wine/wineserver ] && WINESERVER=/usr/lib/wine/wineserver; }
  if [ -z "$WINE" ] || [ -z "$WINESERVER" ]; then
    echo "e2e: wine64 not found (run scripts/setup.sh)" >&2
    exit 1
  fi
}

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    "$WINESERVER" -k 2>/dev/null || true
    timeout 10 "$WINESERVER" -w 2>/dev/null || true
  fi
  if [ -n "$E2E_XVFB_PID" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null || true
    wait "$E2E_XVFB_PID" 2>/dev/null || true
  fi
  [ -n "$E2E_WORK" ] && rm -rf "$E2E_WORK"
}

# Cleans up after this script even if it is killed outright (a ctest timeout): a detached
# watcher that outlives it by a second. Its output goes nowhere, so it never keeps a pipe open.
e2e_watchdog() {
  local me=$$
  (
    trap '' INT TERM HUP
    while kill -0 "$me" 2>/dev/null; do sleep 1; done
    if [ -d "$WINEPREFIX" ]; then
      "$WINESERVER" -k 2>/dev/null
    fi
    [ -n "$E2E_XVFB_PID" ] && kill "$E2E_XVFB_PID" 2>/dev/null
    rm -rf "$E2E_WORK"
  ) </dev/null >/dev/null 2>&1 &
  disown
}

# Sets up everything up to a running wineserver. A display given in E2E_DISPLAY is used as
# it is (the demo on the user's screen); otherwise a private Xvfb is started.
e2e_start() {
  e2e_find_wine
  E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/klavix-e2e.XXXXXX")
  trap e2e_cleanup EXIT
  trap 'exit 130' INT TERM
  export WINEPREFIX=$E2E_WORK/prefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=C.UTF-8
  unset WINESERVER_PERSISTENT 2>/dev/null || true
  if [ -n "${E2E_DISPLAY:-}" ]; then
    export DISPLAY=$E2E_DISPLAY
  else
    # -displayfd lets the server pick a free display number and tell us which.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$E2E_WORK/display" \
      >"$E2E_WORK/xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
    local i
    for i in $(seq 100); do
      [ -s "$E2E_WORK/display" ] && break
      sleep 0.1
    done
    [ -s "$E2E_WORK/display" ] || { echo "e2e: Xvfb did not start" >&2; exit 1; }
    DISPLAY=":$(head -n1 "$E2E_WORK/display")"
    export DISPLAY
  fi
  mkdir -p "$WINEPREFIX"
  "$WINESERVER" -p
  e2e_watchdog
  "$WINE" wineboot -i >"$E2E_WORK/wineboot.log" 2>&1
  # English and Russian, so that a Russian layout handle exists to be requested. Wine 8 lists
  # the layouts from the keys under HKLM\...\Keyboard Layouts (a fresh prefix has none, and
  # Preload alone changes nothing there); the Preload values are what Windows itself reads.
  local id n=1
  for id in 00000409 00000419; do
    "$WINE" reg add 'HKCU\Keyboard Layout\Preload' /v "$n" /t REG_SZ /d "$id" /f >/dev/null 2>&1
    "$WINE" reg add "HKLM\\System\\CurrentControlSet\\Control\\Keyboard Layouts\\$id" \
      /f >/dev/null 2>&1
    n=$((n + 1))
  done
  local u
  WIN_USER=""
  for u in "$WINEPREFIX"/drive_c/users/*; do
    [ "${u##*/}" = Public ] || { WIN_USER=${u##*/}; break; }
  done
  APPDATA_DIR=$WINEPREFIX/drive_c/users/$WIN_USER/AppData/Roaming
  KLAVIX_DIR=$APPDATA_DIR/Klavix
}

# A Unix path as Wine's Z: drive sees it.
e2e_winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Runs a Windows program in the background; its Linux pid goes to E2E_LAST_PID.
e2e_spawn() {
  "$WINE" "$@" >>"$E2E_WORK/spawn.log" 2>&1 &
  E2E_LAST_PID=$!
  E2E_PIDS+=("$E2E_LAST_PID")
}

e2e_probe() { "$WINE" "$PROBE" "$@" 2>>"$E2E_WORK/probe.log"; }

# Polls a shell condition every 0.1 s until it holds or the timeout (seconds) runs out.
e2e_wait() {
  local timeout=$1
  shift
  local deadline=$((SECONDS + timeout))
  while :; do
    if eval "$*"; then return 0; fi
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# The visible X window whose name is exactly $1; its id goes to E2E_WID.
e2e_find_window() {
  local name=$1 timeout=${2:-$E2E_TIMEOUT}
  E2E_WID=""
  local deadline=$((SECONDS + timeout))
  while [ "$SECONDS" -lt "$deadline" ]; do
    E2E_WID=$(xdotool search --onlyvisible --name "^${name}\$" 2>/dev/null | head -n1 || true)
    [ -n "$E2E_WID" ] && return 0
    sleep 0.2
  done
  return 1
}

# Starts a target window (program $1, title "Klavix target"), records into $2.
TARGET_OUT=""
e2e_start_target() {
  local exe=$1
  TARGET_OUT=$2
  rm -f "$TARGET_OUT"
  e2e_spawn "$exe" "$(e2e_winpath "$TARGET_OUT")"
  TARGET_PID=$E2E_LAST_PID
  e2e_wait "$E2E_TIMEOUT" '[ -s "$TARGET_OUT" ]' || return 1
  e2e_find_window "Klavix target" || return 1
  TARGET_WID=$E2E_WID
  e2e_focus_target
}

e2e_stop_target() {
  [ -n "${TARGET_PID:-}" ] || return 0
  kill "$TARGET_PID" 2>/dev/null || true
  e2e_wait 10 '! kill -0 "$TARGET_PID" 2>/dev/null' || kill -9 "$TARGET_PID" 2>/dev/null || true
  TARGET_PID=""
  e2e_wait 10 '[ -z "$(xdotool search --onlyvisible --name "^Klavix target\$" 2>/dev/null)" ]' || true
}

# No window manager: give the X focus directly, then click inside the edit control.
e2e_focus_target() {
  xdotool windowfocus "$TARGET_WID" 2>/dev/null || true
  xdotool mousemove --window "$TARGET_WID" 300 30 click 1 2>/dev/null || true
  sleep 0.3
}

# Empties the target's text and layout-request record, then clicks into it again (the click
# also ends whatever word Klavix was tracking).
e2e_reset_target() {
  e2e_probe reset || return 1
  e2e_wait 5 'grep -qx "text=" "$TARGET_OUT" && ! grep -q "^request=" "$TARGET_OUT"' || return 1
  e2e_focus_target
}

target_text() { sed -n 's/^text=//p' "$TARGET_OUT" 2>/dev/null; }
target_requests() { sed -n 's/^request=//p' "$TARGET_OUT" 2>/dev/null; }

# Waits until the target shows exactly $1.
e2e_wait_text() {
  E2E_WANT=$1
  e2e_wait "${2:-$E2E_TIMEOUT}" '[ "$(target_text)" = "$E2E_WANT" ]'
}

# Waits until the target has recorded at least $1 layout requests.
e2e_wait_requests() {
  E2E_WANT_N=$1
  e2e_wait "${2:-$E2E_TIMEOUT}" '[ "$(target_requests | wc -l)" -ge "$E2E_WANT_N" ]'
}

# The language (low 10 bits) of the n-th recorded request, as 0x19 / 0x09.
request_language() {
  local h
  h=$(target_requests | sed -n "${1}p")
  [ -n "$h" ] || return 1
  printf '0x%02x' $(( h & 0x3ff ))
}

e2e_type() { xdotool type --delay 40 -- "$1"; }
e2e_key() { xdotool key --delay 60 "$@"; }

e2e_shot() {
  import -window root "$1" 2>/dev/null
}

# Runs one named check: a shell function that returns non-zero (after saying why) on failure.
e2e_check() {
  local name=$1
  shift
  E2E_WHY=""
  if "$@"; then
    echo "PASS $name"
    E2E_PASSED=$((E2E_PASSED + 1))
  else
    echo "FAIL $name${E2E_WHY:+: $E2E_WHY}"
    [ -n "$TARGET_OUT" ] && [ -f "$TARGET_OUT" ] && sed 's/^/    target: /' "$TARGET_OUT"
    local shot="$E2E_OUT_DIR/e2e-fail-$name.png"
    e2e_shot "$shot" && echo "    screenshot: $shot"
    E2E_FAILED=$((E2E_FAILED + 1))
  fi
}

# Sets E2E_WHY and fails; for use as `cond || fail "why"`.
fail() {
  E2E_WHY=$*
  return 1
}

e2e_summary() {
  echo "e2e: $E2E_PASSED passed, $E2E_FAILED failed"
  [ "$E2E_FAILED" -eq 0 ]
}
