# Fast typing (sourced by klavix_check.sh, whose helpers it uses). A sentence typed in the
# wrong layout, with real key presses at a fixed time between keys, must come out corrected
# word by word with nothing lost, doubled or moved, however soon the next key follows a space.
# At 40 ms between keys every run must be exact; at 20, 10 and 5 ms the check reports how
# many runs were exact and does not fail on them. Each run also reports what the target's
# timeline shows: the spacing the keys really had, how long after each space its correction's
# last record reached the window's queue, and how many typed keys landed inside a correction.

FAST_TYPED='ghbdtn rfr ltkf e nt,z ghbdtn rfr ltkf e nt,z '
FAST_WANTED='привет как дела у тебя привет как дела у тебя '
FAST_GATE_DELAY=${FAST_GATE_DELAY:-40}
FAST_GATE_RUNS=${FAST_GATE_RUNS:-3}
FAST_REPORT_DELAYS=${FAST_REPORT_DELAYS-20 10 5}
FAST_REPORT_RUNS=${FAST_REPORT_RUNS:-3}
# A run has settled once every typed key is in the window and the text has not changed for
# this long (a correction follows its space by a few tens of milliseconds).
FAST_SETTLE=${FAST_SETTLE:-1}
# The timeline of a run that was not exact is kept in E2E_OUT_DIR for the gate's runs, and
# for every run with FAST_KEEP_LOGS=1.
FAST_KEEP_LOGS=${FAST_KEEP_LOGS:-0}

# The keysyms xdotool presses for each character of $1, one a line.
fast_keysyms() {
  local s=$1 i c
  for ((i = 0; i < ${#s}; i++)); do
    c=${s:i:1}
    case $c in
      ' ') echo space ;;
      ',') echo comma ;;
      *) echo "$c" ;;
    esac
  done
}

# The target's timeline since its last reset, into $E2E_WORK/keylog.
fast_keylog() { e2e_probe keylog "$(e2e_winpath "$E2E_WORK/keylog")"; }

# Key-ups of typed (untagged) keys in the timeline: one per key typed.
fast_typed_ups() { awk '$2 == "up" && $4 != "41564958"' "$E2E_WORK/keylog" 2>/dev/null | wc -l; }

# One line of figures from the timeline, all from message times (stamped as a key enters the
# system's queue): the spacing of the typed key-downs; the time from each typed space to the
# last record of the correction that follows it; the typed keys that landed inside a
# correction. A correction is a run of tagged records that starts with a Backspace down after
# a tagged record other than a Backspace; a typed key-down between its first and its last
# record landed inside it.
fast_figures() {
  awk '
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
      return n ? a[int((n + 1) / 2)] : "-"
    }
    function close_correction() {
      if (!open) return
      open = 0
      pending = 0
      if (cspace == "") return
      nl++
      lat[nl] = last_t - cspace
      if (lat[nl] > maxlat) maxlat = lat[nl]
    }
    $2 != "down" && $2 != "up" { next }
    $4 != "41564958" {
      if ($2 != "down") next
      if (prev != "") {
        ng++
        gap[ng] = $5 - prev
        if (ng == 1 || gap[ng] < mingap) mingap = gap[ng]
        if (gap[ng] > maxgap) maxgap = gap[ng]
      }
      prev = $5
      if (open) pending++
      if ($3 == "20") space = $5
      next
    }
    {
      if ($2 == "down" && $3 == "8" && last_vk != "8") {
        close_correction()
        open = 1
        cspace = space
        corrections++
      }
      if (open) { last_t = $5; inside += pending; pending = 0 }
      last_vk = $3
    }
    END {
      close_correction()
      printf "keys every %s-%s ms (median %s); space to the last record of its correction: median %s ms, max %s ms (%d corrections); %d typed keys inside a correction\n",
        mingap, maxgap, median(gap, ng), median(lat, nl), maxlat + 0, corrections, inside
    }' "$E2E_WORK/keylog"
}

# Types the sentence once at $1 ms between keys and waits until it settles. Sets FAST_TEXT to
# what the window shows, FAST_FIGURES to the timeline's figures; returns 0 when the text is
# exact, 1 when it is not, 2 when the run could not be made (say why in E2E_WHY).
fast_run() {
  local delay=$1 keys
  mapfile -t keys < <(fast_keysyms "$FAST_TYPED")
  FAST_TEXT=""
  FAST_FIGURES=""
  # The reset clears the target's timeline too; a failed one would mix two runs.
  e2e_reset_target || e2e_reset_target || { E2E_WHY="the target could not be reset"; return 2; }
  xdotool key --delay "$delay" "${keys[@]}"
  local deadline=$((SECONDS + E2E_TIMEOUT)) last="" same_since=$SECONDS text
  while [ "$SECONDS" -lt "$deadline" ]; do
    text=$(target_text)
    if [ "$text" != "$last" ]; then
      last=$text
      same_since=$SECONDS
    elif [ $((SECONDS - same_since)) -ge "$FAST_SETTLE" ] &&
      fast_keylog && [ "$(fast_typed_ups)" -ge "${#keys[@]}" ] && [ "$(target_text)" = "$text" ]; then
      break
    fi
    sleep 0.1
  done
  FAST_TEXT=$(target_text)
  fast_keylog || { E2E_WHY="the target did not write its timeline"; return 2; }
  FAST_FIGURES=$(fast_figures)
  [ "$(fast_typed_ups)" -ge "${#keys[@]}" ] ||
    { E2E_WHY="only $(fast_typed_ups) of ${#keys[@]} typed keys reached the window"; return 2; }
  [ "$FAST_TEXT" = "$FAST_WANTED" ]
}

# $1 runs at $2 ms; prints one line per run and a summary; sets FAST_EXACT to the exact runs.
fast_series() {
  local runs=$1 delay=$2 run rc
  FAST_EXACT=0
  for run in $(seq "$runs"); do
    rc=0
    fast_run "$delay" || rc=$?
    [ "$rc" = 2 ] && return 2
    if [ "$rc" = 0 ]; then
      FAST_EXACT=$((FAST_EXACT + 1))
      echo "  $delay ms, run $run: exact; $FAST_FIGURES"
    else
      echo "  $delay ms, run $run: '$FAST_TEXT'; $FAST_FIGURES"
      if [ "$delay" = "$FAST_GATE_DELAY" ] || [ "$FAST_KEEP_LOGS" = 1 ]; then
        cp "$E2E_WORK/keylog" "$E2E_OUT_DIR/e2e-fast-typing-$delay-ms-run-$run.log" &&
          echo "    timeline: $E2E_OUT_DIR/e2e-fast-typing-$delay-ms-run-$run.log"
      fi
    fi
  done
  echo "  $delay ms between keys: $FAST_EXACT of $runs runs exact"
}

check_fast_typing() {
  local delay gate_exact
  fast_series "$FAST_GATE_RUNS" "$FAST_GATE_DELAY" || return 1
  gate_exact=$FAST_EXACT
  for delay in $FAST_REPORT_DELAYS; do
    fast_series "$FAST_REPORT_RUNS" "$delay" || return 1
  done
  [ "$gate_exact" = "$FAST_GATE_RUNS" ] ||
    fail "at $FAST_GATE_DELAY ms between keys only $gate_exact of $FAST_GATE_RUNS runs gave '$FAST_WANTED'"
}
