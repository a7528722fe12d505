# The harness's own checks, run before Klavix starts (sourced, bash): real key presses reach
# the target window and its record follows them, layout requests posted to the foreground
# window are recorded, a Russian layout is installed, the clipboard can be set and read, and
# the reset works. When one of these fails, the failures after it are the harness's, not
# Klavix's.

check_layouts() {
  e2e_probe layouts "$(e2e_winpath "$E2E_WORK/layouts")" || fail "probe failed"
  local langs
  langs=$(while read -r h; do printf '0x%02x\n' $((h & 0x3ff)); done <"$E2E_WORK/layouts")
  grep -qx 0x09 <<<"$langs" || fail "no English layout: $(tr '\n' ' ' <"$E2E_WORK/layouts")" || return 1
  grep -qx 0x19 <<<"$langs" || fail "no Russian layout: $(tr '\n' ' ' <"$E2E_WORK/layouts")"
}

check_foreground() {
  e2e_probe foreground "$(e2e_winpath "$E2E_WORK/fg")" || fail "probe failed" || return 1
  grep -qx 'class=KlavixTargetWindow' "$E2E_WORK/fg" ||
    fail "foreground is $(tr '\n' ' ' <"$E2E_WORK/fg")"
}

check_typing() {
  e2e_type "hello, World 42"
  e2e_wait_text "hello, World 42" || fail "text is '$(target_text)'"
}

# The same keys as the word and selection hotkeys, with no program to catch them: Shift+Home
# selects, Pause reaches the window and types nothing.
check_keys() {
  e2e_reset_target || fail "reset failed" || return 1
  e2e_type "abc"
  e2e_key Pause shift+Home BackSpace
  e2e_type "xy"
  e2e_wait_text "xy" || fail "text is '$(target_text)'"
}

check_request() {
  e2e_reset_target || fail "reset failed" || return 1
  e2e_probe request 19 || fail "no Russian layout to request" || return 1
  e2e_wait_requests 1 || fail "no request recorded" || return 1
  [ "$(request_language 1)" = 0x19 ] || fail "request $(target_requests | head -n1) is not Russian"
}

check_clipboard() {
  e2e_probe clip-set "before-clip" || fail "clip-set failed" || return 1
  e2e_probe clip-get "$(e2e_winpath "$E2E_WORK/clip")" || fail "clip-get found no text" || return 1
  [ "$(cat "$E2E_WORK/clip")" = before-clip ] || fail "clipboard holds '$(cat "$E2E_WORK/clip")'"
}

check_caps_lock() {
  e2e_reset_target || fail "reset failed" || return 1
  e2e_key Caps_Lock
  e2e_type "abc"
  e2e_key Caps_Lock
  e2e_type "d"
  e2e_wait_text "ABCd" || fail "text is '$(target_text)'"
}

check_reset() {
  e2e_type "zzz"
  e2e_wait_text "ABCdzzz" 5 || true
  e2e_reset_target || fail "reset failed" || return 1
  [ "$(target_text)" = "" ] || fail "text is '$(target_text)'"
}

run_harness_checks() {
  e2e_check layouts_include_russian check_layouts
  e2e_check target_is_foreground check_foreground
  e2e_check typed_text_recorded check_typing
  e2e_check hotkey_keys_reach_target check_keys
  e2e_check layout_request_recorded check_request
  e2e_check clipboard_round_trip check_clipboard
  e2e_check caps_lock_typing check_caps_lock
  e2e_check reset_empties_target check_reset
}
