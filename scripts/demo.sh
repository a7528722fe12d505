#!/usr/bin/env bash
# Klavix's main job, shown for real: sets up the machine, builds klavix.exe, starts it under
# Wine (on your display when $DISPLAY works, else on a virtual one) and types a sentence in the
# wrong layout into a small window with real key presses. Prints what the window shows without
# Klavix and with it, and saves a screenshot.
#   DEMO_TEXT   the keys to type (default "ghbdtn rfr ltkf ", which is "привет как дела "
#               typed on the English layout)
#   DEMO_HOLD   seconds to keep everything on screen at the end (default 0; 10 on your display)
#   DEMO_BUILD  the Windows build folder (default build/windows, the one `make windows` makes)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
text=${DEMO_TEXT:-"ghbdtn rfr ltkf "}

bash scripts/setup.sh
echo "== building klavix.exe (make windows)"
build_dir=${DEMO_BUILD:-build/windows}
mkdir -p build
log=$root/build/demo-build.log
# The whole Windows build first; should some other part of it be broken, the three programs the
# demo needs are built on their own.
if ! make --no-print-directory windows WINDOWS="$build_dir" >"$log" 2>&1; then
  echo "demo: make windows failed (log: $log); building only klavix.exe and the demo window"
  cmake --build "$build_dir" -j"${JOBS:-2}" --target klavix klavix-target klavix-probe >>"$log" 2>&1 || {
    tail -n 30 "$log"
    echo "demo: klavix.exe could not be built (log: $log)"
    exit 1
  }
fi
bin=$root/$build_dir
klavix=$bin/src/win/klavix.exe
target=$bin/tests/e2e/klavix-target.exe
PROBE=$bin/tests/e2e/klavix-probe.exe
for f in "$klavix" "$target" "$PROBE"; do
  [ -f "$f" ] || { echo "demo: $f was not built"; exit 1; }
done

set +e
source tests/e2e/harness.sh
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  E2E_DISPLAY=$DISPLAY
  where="your display $DISPLAY"
  DEMO_HOLD=${DEMO_HOLD:-10}
else
  where="a virtual display (Xvfb)"
  DEMO_HOLD=${DEMO_HOLD:-0}
fi
echo "== starting Wine on $where (a fresh Wine prefix, removed at the end)"
e2e_start
shot_dir=$root/build/demo
mkdir -p "$shot_dir"
shot=$shot_dir/klavix-demo.png

demo_fail() {
  echo "demo: $*"
  e2e_shot "$shot_dir/klavix-demo-failed.png" && echo "screenshot: $shot_dir/klavix-demo-failed.png"
  exit 1
}

e2e_start_target "$target" "$E2E_WORK/target.txt" || demo_fail "the target window did not appear"
echo "typing with real key presses (xdotool): \"$text\""

# Without Klavix: the keys come out as typed.
e2e_type "$text"
e2e_wait_text "$text" || demo_fail "the window shows '$(target_text)' instead of the typed keys"
echo "before (window, no Klavix running): \"$(target_text)\""

e2e_spawn "$klavix"
klavix_pid=$E2E_LAST_PID
e2e_wait "$E2E_TIMEOUT" 'e2e_probe window KlavixTray' || demo_fail "klavix.exe did not start"
e2e_reset_target || demo_fail "the target window could not be emptied"

# Waits until the window has not changed for $1 tenths of a second.
wait_still() {
  local last="" still=0 now
  for _ in $(seq 300); do
    now=$(target_text)
    if [ "$now" = "$last" ]; then still=$((still + 1)); else still=0 last=$now; fi
    [ "$still" -ge "$1" ] && return 0
    sleep 0.1
  done
}

# Word by word, each corrected after its space before the next is typed: keys typed while a
# correction is still on its way would reach the window before its backspaces (under Wine on
# a busy machine that takes longer than the gap between two keys).
for word in $text; do
  e2e_type "$word "
  wait_still 6
done
wait_still 15
after=$(target_text)
echo "after  (window, Klavix running):    \"$after\""
requests=$(target_requests | tr '\n' ' ')
[ -n "$requests" ] && echo "layout requests the window received:  ${requests% }"
e2e_shot "$shot" && echo "screenshot: $shot"
kill -0 "$klavix_pid" 2>/dev/null || echo "(klavix.exe is no longer running)"
if [ "$DEMO_HOLD" -gt 0 ]; then
  echo "(leaving it on screen for ${DEMO_HOLD}s)"
  sleep "$DEMO_HOLD"
fi
[ "$after" != "$text" ]
