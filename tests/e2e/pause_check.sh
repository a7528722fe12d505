# Caps Lock pressed while Klavix is paused (sourced by klavix_check.sh, whose helpers it uses).
# Paused, Klavix reports no keys, but Caps Lock still reaches the system and toggles; after
# pause, Caps Lock, resume, Caps Lock, the lock is off and a wrong-layout word must come out
# in lower case. Every step waits for what it did to show: the tray icon's colour for the
# pause, a typed letter for Caps Lock, the window's text for the correction.

# The look of Klavix's tray icon, the first one in Wine's tray window: its background is blue
# while running and grey while paused (the white glyph covers less than half of it).
tray_icon_look() {
  e2e_probe rect __winex11_standalone_tray "$(e2e_winpath "$E2E_WORK/tray")" || return 1
  local x y pixels
  read -r x y _ < <(sed -n 's/^client=//p' "$E2E_WORK/tray")
  pixels=$(import -window root -crop "20x20+$x+$y" +repage -depth 8 txt:- 2>/dev/null) || return 1
  if [ "$(grep -ci '#1E6AC0' <<<"$pixels")" -ge 100 ]; then
    echo running
  elif [ "$(grep -ci '#808080' <<<"$pixels")" -ge 100 ]; then
    echo paused
  else
    echo unknown
  fi
}

# Double-clicks the tray icon (the pause switch) and waits until the icon shows $1.
switch_pause_to() {
  E2E_WANT_LOOK=$1
  local x y
  read -r x y _ < <(sed -n 's/^client=//p' "$E2E_WORK/tray")
  xdotool mousemove $((x + 9)) $((y + 9)) click --repeat 2 --delay 80 1
  e2e_wait "$E2E_TIMEOUT" '[ "$(tray_icon_look)" = "$E2E_WANT_LOOK" ]'
}

# The steps; the check below puts the pause back off whatever happens here.
caps_lock_across_pause() {
  e2e_reset_target || fail "reset failed" || return 1
  local look
  look=$(tray_icon_look)
  [ "$look" = running ] || fail "the tray icon looks $look before the pause" || return 1
  switch_pause_to paused || fail "a double click on the tray icon did not pause Klavix" || return 1
  # Windows' Caps Lock state is not readable from another process under Wine, so a letter
  # shows it. Wine hands a key to the window only once the low-level hooks have had it.
  e2e_focus_target
  e2e_key Caps_Lock
  e2e_type "a"
  e2e_wait_text "A" || fail "Caps Lock did not go on while paused: the window shows '$(target_text)'" ||
    return 1
  switch_pause_to running || fail "a second double click did not resume Klavix" || return 1
  e2e_reset_target || fail "reset failed" || return 1
  e2e_key Caps_Lock
  e2e_type "ghbdtn "
  e2e_wait "$E2E_TIMEOUT" 'case "$(target_text)" in "привет " | "ПРИВЕТ ") true ;; *) false ;; esac'
  [ "$(target_text)" = "привет " ] ||
    fail "after Caps Lock on while paused and off again, ghbdtn gave '$(target_text)'"
}

check_caps_lock_across_pause() {
  local rc=0
  caps_lock_across_pause || rc=1
  if [ "$(tray_icon_look)" = paused ]; then
    switch_pause_to running || echo "  note: Klavix stays paused after this check"
  fi
  return "$rc"
}
