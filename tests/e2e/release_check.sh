#!/usr/bin/env bash
# The release as a Windows user meets it, under Wine on a private Xvfb with a fresh prefix:
# the installer run silently, the installed copy started and typing, a silent update installed
# over the running copy (which starts the new copy on the user's settings), the installer
# clicked through, the silent uninstall while the program runs, the zip's klavix.exe run from
# where it was unpacked, and a signed installer's uninstaller. Every step waits for what it
# checks, with a timeout.
# Usage: release_check.sh DIST DIST_NEXT klavix-target.exe klavix-probe.exe klavix-release-probe.exe \
#          [DIST_SIGNED CA_CERT]
#   DIST holds a release (zip and installer), DIST_NEXT the same code built as a later version,
#   DIST_SIGNED the release signed with the certificate CA_CERT (PEM).
# With E2E_DOCS=DIR it also saves screenshots of the installer's pages into DIR.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=harness.sh
source "$here/harness.sh"
DIST=$(cd "$1" && pwd)
DIST_NEXT=$(cd "$2" && pwd)
TARGET=$3
PROBE=$4
RELEASE_PROBE=$5
DIST_SIGNED=${6:+$(cd "$6" && pwd)}
CA_CERT=${7:-}
INSTALL_TIMEOUT=${INSTALL_TIMEOUT:-120}
UNINST_KEY='Software\Microsoft\Windows\CurrentVersion\Uninstall'
RUN_KEY='Software\Microsoft\Windows\CurrentVersion\Run'

# The version of a release folder, read from its installer's file name.
release_version() {
  local f
  f=$(cd "$1" && ls klavix-*-setup.exe 2>/dev/null | head -n1)
  f=${f#klavix-}
  printf '%s' "${f%-setup.exe}"
}
V=$(release_version "$DIST")
V_NEXT=$(release_version "$DIST_NEXT")
[ -n "$V" ] && [ -n "$V_NEXT" ] && [ -f "$DIST/klavix-$V-win64.zip" ] ||
  { echo "FAIL no release in $DIST and $DIST_NEXT"; exit 1; }
echo "release check: $V, then $V_NEXT over it"

e2e_start
# Wine would turn the Start menu shortcut into a launcher of the Linux desktop; not here.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
LOCAL_DIR=$WINEPREFIX/drive_c/users/$WIN_USER/AppData/Local
INSTALL_DIR=$LOCAL_DIR/Programs/Klavix
INSTALL_WIN="C:\\users\\$WIN_USER\\AppData\\Local\\Programs\\Klavix"
SHORTCUT="$APPDATA_DIR/Microsoft/Windows/Start Menu/Programs/Клавикс.lnk"
e2e_start_target "$TARGET" "$E2E_WORK/target.txt" || { echo "FAIL target window did not appear"; exit 1; }
e2e_wait "$E2E_TIMEOUT" 'e2e_probe window Shell_TrayWnd' || echo "note: no Shell_TrayWnd yet"

rprobe() { "$WINE" "$RELEASE_PROBE" "$@" 2>>"$E2E_WORK/release-probe.log"; }
klavix_running() { rprobe process klavix.exe; }
# name=value lines of HKCU\$1 into $2; fails when the key is missing.
reg_dump() { rprobe reg "$1" "$(e2e_winpath "$2")"; }
reg_value() { sed -n "s/^$1=//p" "$2"; }

run_installer() {
  local setup=$1
  shift
  timeout "$INSTALL_TIMEOUT" "$WINE" "$(e2e_winpath "$setup")" "$@" >>"$E2E_WORK/install.log" 2>&1
}

expect_text() {
  e2e_wait_text "$1" || fail "expected '$1', the window shows '$(target_text)'"
}

# ghbdtn typed into the target comes out as привет.
check_typing_corrected() {
  e2e_reset_target || fail "reset failed" || return 1
  e2e_type "ghbdtn "
  expect_text "привет "
}

# The installed program, shortcut and Apps & features entry of version $1, and its exe is the
# one in the zip of release folder $2.
check_installed() {
  local want=$1 dist=$2 f
  for f in klavix.exe uninstall.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    [ -f "$INSTALL_DIR/$f" ] || fail "no $f in $INSTALL_DIR: $(ls -A "$INSTALL_DIR" 2>&1 | tr '\n' ' ')" || return 1
  done
  unzip -p "$dist/klavix-$want-win64.zip" Klavix/klavix.exe >"$E2E_WORK/zip-klavix.exe"
  cmp -s "$INSTALL_DIR/klavix.exe" "$E2E_WORK/zip-klavix.exe" ||
    fail "the installed klavix.exe is not the one in the zip" || return 1
  rprobe version "$INSTALL_WIN\\klavix.exe" "$(e2e_winpath "$E2E_WORK/version")" ||
    fail "no version resource in the installed klavix.exe" || return 1
  grep -qx "FileVersion=$want" "$E2E_WORK/version" && grep -qx "ProductVersion=$want" "$E2E_WORK/version" ||
    fail "installed klavix.exe says $(tr '\n' ' ' <"$E2E_WORK/version"), wanted $want" || return 1

  [ -f "$SHORTCUT" ] || fail "no Start menu shortcut Клавикс.lnk" || return 1
  rprobe shortcut "$(e2e_winpath "$SHORTCUT")" "$(e2e_winpath "$E2E_WORK/lnk")" ||
    fail "the shortcut cannot be read" || return 1
  [ "$(reg_value target "$E2E_WORK/lnk")" = "$INSTALL_WIN\\klavix.exe" ] ||
    fail "the shortcut points at '$(reg_value target "$E2E_WORK/lnk")'" || return 1

  local entry=$E2E_WORK/entry
  reg_dump "$UNINST_KEY\\Klavix" "$entry" || fail "no Apps & features entry HKCU\\$UNINST_KEY\\Klavix" || return 1
  local name value
  while IFS='|' read -r name value; do
    [ "$(reg_value "$name" "$entry")" = "$value" ] ||
      fail "$name is '$(reg_value "$name" "$entry")', wanted '$value'" || return 1
  done <<EOF
DisplayName|Клавикс
DisplayVersion|$want
Publisher|The Klavix authors
DisplayIcon|$INSTALL_WIN\\klavix.exe,0
UninstallString|"$INSTALL_WIN\\uninstall.exe"
QuietUninstallString|"$INSTALL_WIN\\uninstall.exe" /S
InstallLocation|$INSTALL_WIN
EOF
  local kb
  kb=$(reg_value EstimatedSize "$entry")
  local bytes
  bytes=$(du -sk "$INSTALL_DIR" | cut -f1)
  [ -n "$kb" ] && [ "$kb" -gt $((bytes / 2)) ] && [ "$kb" -lt $((bytes * 2)) ] ||
    fail "EstimatedSize is '$kb' KB, the folder holds $bytes KB" || return 1

  # Exactly one entry of ours, whatever was installed before.
  rprobe subkeys "$UNINST_KEY" "$(e2e_winpath "$E2E_WORK/subkeys")" || fail "cannot list $UNINST_KEY" || return 1
  local key count=0
  while read -r key; do
    key=${key%$'\r'}
    reg_dump "$UNINST_KEY\\$key" "$E2E_WORK/other" && [ "$(reg_value DisplayName "$E2E_WORK/other")" = Клавикс ] &&
      count=$((count + 1))
  done <"$E2E_WORK/subkeys"
  [ "$count" = 1 ] || fail "$count Apps & features entries named Клавикс"
}

check_silent_install() {
  ! klavix_running || fail "klavix.exe runs before the installation" || return 1
  rprobe version "$(e2e_winpath "$DIST/klavix-$V-setup.exe")" "$(e2e_winpath "$E2E_WORK/setup-version")" &&
    grep -qx "ProductVersion=$V" "$E2E_WORK/setup-version" ||
    fail "the installer says $(tr '\n' ' ' <"$E2E_WORK/setup-version" 2>/dev/null), wanted $V" || return 1
  run_installer "$DIST/klavix-$V-setup.exe" /S || fail "the silent installation failed (exit code $?)" || return 1
  check_installed "$V" "$DIST" || return 1
  # A silent installation does not start the program.
  ! e2e_probe window KlavixTray && ! klavix_running || fail "the silent installation started klavix.exe"
}

KLAVIX_PID=""
check_installed_copy_runs() {
  e2e_spawn "$INSTALL_WIN\\klavix.exe"
  KLAVIX_PID=$E2E_LAST_PID
  e2e_wait "$E2E_TIMEOUT" 'e2e_probe window KlavixTray' || fail "the installed klavix.exe made no tray window" || return 1
  # Its first start registers it to start with Windows, with the installed path.
  local run=$E2E_WORK/run
  e2e_wait "$E2E_TIMEOUT" 'reg_dump "$RUN_KEY" "$run" && grep -q "^Klavix=" "$run"' ||
    fail "no Run value Klavix" || return 1
  local data want
  data=$(reg_value Klavix "$run")
  want="\"$INSTALL_WIN\\klavix.exe\""
  [ "${data,,}" = "${want,,}" ] || fail "the Run value is $data, wanted $want" || return 1
  check_typing_corrected
}

check_update_over_running_copy() {
  kill -0 "$KLAVIX_PID" 2>/dev/null || fail "the installed copy is not running" || return 1
  # The user's files before the update, one of them edited by hand, to compare with afterwards.
  printf '# my own note\r\n' >>"$KLAVIX_DIR/settings.ini"
  local f
  for f in settings.ini exceptions.txt apps.txt; do
    cp "$KLAVIX_DIR/$f" "$E2E_WORK/before-$f" || fail "no $f in %APPDATA%\\Klavix" || return 1
  done
  run_installer "$DIST_NEXT/klavix-$V_NEXT-setup.exe" /S || fail "the silent update failed (exit code $?)" || return 1
  # The installer asked the running copy to end: it is gone, with exit code 0 as after «Выход».
  e2e_wait "$E2E_TIMEOUT" '! kill -0 "$KLAVIX_PID" 2>/dev/null' || fail "the old copy still runs" || return 1
  local rc=0
  wait "$KLAVIX_PID" 2>/dev/null || rc=$?
  [ "$rc" = 0 ] || fail "the old copy ended with exit code $rc, not by «Выход»" || return 1
  check_installed "$V_NEXT" "$DIST_NEXT"
}

# The silent update started the new copy again: the installed klavix.exe (of the new version, as
# the check before found) has a tray window that answers, it corrects, and the settings folder
# holds the user's files byte for byte.
check_update_restarts_program() {
  e2e_wait "$E2E_TIMEOUT" 'rprobe tray "$(e2e_winpath "$E2E_WORK/tray")"' ||
    fail "no KlavixTray window answers after the silent update" || return 1
  local exe want
  exe=$(reg_value exe "$E2E_WORK/tray")
  want="$INSTALL_WIN\\klavix.exe"
  [ "${exe,,}" = "${want,,}" ] || fail "the tray window belongs to '$exe', wanted '$want'" || return 1
  local f
  for f in settings.ini exceptions.txt apps.txt; do
    cmp -s "$E2E_WORK/before-$f" "$KLAVIX_DIR/$f" || fail "$f changed across the update" || return 1
  done
  check_typing_corrected || return 1
  # The next check starts from nothing running.
  rprobe quit || fail "no tray window to send «Выход» to" || return 1
  e2e_wait "$E2E_TIMEOUT" '! klavix_running' || fail "the new copy still runs after «Выход»"
}

shot_page() {
  [ -n "${E2E_DOCS:-}" ] || return 0
  local r
  read -r -a r < <(sed -n 's/^rect=//p' "$E2E_WORK/page")
  sleep 0.5  # let the page finish painting; the picture is for people, nothing waits on it
  import -window root -crop "${r[2]}x${r[3]}+${r[0]}+${r[1]}" +repage "$E2E_WORK/shot-$1.png"
}

# Waits for the dialog titled $1 to show button $2, then presses it.
press() {
  local title=$1 button=$2
  e2e_wait "$INSTALL_TIMEOUT" 'rprobe page "$title" "$(e2e_winpath "$E2E_WORK/page")" && grep -qx "Button=&\?$button" "$E2E_WORK/page"' ||
    fail "no button '$button' in the window '$title' ($(tr '\n' '|' <"$E2E_WORK/page" 2>/dev/null || echo none))" || return 1
  [ -z "${3:-}" ] || shot_page "$3"
  rprobe click "$title" "$button" || fail "could not press '$button'"
}

# The installer clicked through as a user would: it starts the program at the end.
check_interactive_install() {
  ! klavix_running || fail "klavix.exe already runs" || return 1
  e2e_spawn "$(e2e_winpath "$DIST_NEXT/klavix-$V_NEXT-setup.exe")"
  # shellcheck disable=SC2034  # read by the condition e2e_wait evaluates
  local setup_pid=$E2E_LAST_PID title="Клавикс $V_NEXT"
  press "$title" "Установить" 1-welcome || return 1
  grep -qF "$INSTALL_WIN" "$E2E_WORK/page" || fail "the welcome page does not name $INSTALL_WIN" || return 1
  press "$title" "Готово" 3-finish || return 1
  grep -qx 'Button=&Запустить Клавикс' "$E2E_WORK/page" || fail "no «Запустить Клавикс» on the last page" || return 1
  e2e_wait "$INSTALL_TIMEOUT" '! kill -0 "$setup_pid" 2>/dev/null' || fail "the installer did not end" || return 1
  e2e_wait "$E2E_TIMEOUT" 'e2e_probe window KlavixTray' || fail "the program did not start at the end" || return 1
  check_installed "$V_NEXT" "$DIST_NEXT" || return 1
  check_typing_corrected
}

check_silent_uninstall() {
  klavix_running || fail "klavix.exe is not running before the uninstall" || return 1
  # The command Apps & features and package managers run.
  reg_dump "$UNINST_KEY\\Klavix" "$E2E_WORK/entry" || fail "no entry" || return 1
  local quiet exe
  quiet=$(reg_value QuietUninstallString "$E2E_WORK/entry")
  exe=${quiet#\"}
  exe=${exe%%\"*}
  [ "${quiet#\""$exe"\" }" = /S ] || fail "QuietUninstallString is '$quiet'" || return 1
  timeout "$INSTALL_TIMEOUT" "$WINE" "$exe" /S >>"$E2E_WORK/install.log" 2>&1 ||
    fail "the uninstaller failed (exit code $?)" || return 1
  # The uninstaller goes on from a copy of itself in %TEMP%: wait for what it does.
  e2e_wait "$INSTALL_TIMEOUT" '! klavix_running' || fail "klavix.exe still runs" || return 1
  e2e_wait "$INSTALL_TIMEOUT" '[ ! -e "$INSTALL_DIR" ]' ||
    fail "$INSTALL_DIR is still there: $(ls -A "$INSTALL_DIR" 2>&1 | tr '\n' ' ')" || return 1
  e2e_wait "$E2E_TIMEOUT" '! reg_dump "$UNINST_KEY\\Klavix" "$E2E_WORK/gone"' ||
    fail "the Apps & features entry is still there" || return 1
  [ ! -e "$SHORTCUT" ] || fail "the Start menu shortcut is still there" || return 1
  reg_dump "$RUN_KEY" "$E2E_WORK/run" || : >"$E2E_WORK/run"
  ! grep -q '^Klavix=' "$E2E_WORK/run" || fail "the Run value is still there: $(grep '^Klavix=' "$E2E_WORK/run")" ||
    return 1
  # The user's settings and exceptions stay.
  [ -s "$KLAVIX_DIR/settings.ini" ] && [ -s "$KLAVIX_DIR/exceptions.txt" ] ||
    fail "%APPDATA%\\Klavix lost its files: $(ls -A "$KLAVIX_DIR" 2>&1 | tr '\n' ' ')"
}

check_zip() {
  local dir=$E2E_WORK/portable
  mkdir -p "$dir"
  unzip -q "$DIST/klavix-$V-win64.zip" -d "$dir" || fail "the zip does not unpack" || return 1
  local listing
  listing=$(cd "$dir" && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' ')
  [ "$listing" = "./Klavix ./Klavix/LICENSE.txt ./Klavix/README.txt ./Klavix/THIRD-PARTY-NOTICES.txt ./Klavix/klavix.exe " ] ||
    fail "the zip holds $listing" || return 1
  e2e_spawn "$dir/Klavix/klavix.exe"
  local pid=$E2E_LAST_PID
  e2e_wait "$E2E_TIMEOUT" 'e2e_probe window KlavixTray' || fail "the unpacked klavix.exe made no tray window" || return 1
  check_typing_corrected || return 1
  rprobe quit || fail "no tray window to send «Выход» to" || return 1
  e2e_wait "$E2E_TIMEOUT" '! kill -0 "$pid" 2>/dev/null' || fail "klavix.exe still runs after «Выход»" || return 1
  local rc=0
  wait "$pid" 2>/dev/null || rc=$?
  [ "$rc" = 0 ] || fail "klavix.exe ended with exit code $rc"
}

# A signed release: the installer writes an uninstaller that carries a valid signature too.
check_signed_uninstaller() {
  local dir_win='C:\klavix-signed' dir=$WINEPREFIX/drive_c/klavix-signed
  run_installer "$DIST_SIGNED/klavix-$V-setup.exe" /S "/D=$dir_win" ||
    fail "the signed installer failed (exit code $?)" || return 1
  [ -f "$dir/uninstall.exe" ] || fail "no uninstall.exe in $dir: $(ls -A "$dir" 2>&1 | tr '\n' ' ')" || return 1
  local f
  for f in uninstall.exe klavix.exe; do
    osslsigncode verify -in "$dir/$f" -CAfile "$CA_CERT" >"$E2E_WORK/verify.log" 2>&1 &&
      grep -q 'Signature verification: ok' "$E2E_WORK/verify.log" ||
      fail "the installed $f: $(grep -iE 'fail|error|mismatch|no signature' "$E2E_WORK/verify.log" | head -n3 | tr '\n' ' ')" ||
      return 1
  done
  # A silent first installation: nothing started.
  ! klavix_running || fail "the silent installation started klavix.exe" || return 1
  timeout "$INSTALL_TIMEOUT" "$WINE" "$dir_win\\uninstall.exe" /S >>"$E2E_WORK/install.log" 2>&1 ||
    fail "the signed uninstaller failed (exit code $?)" || return 1
  e2e_wait "$INSTALL_TIMEOUT" '[ ! -e "$dir" ]' || fail "$dir is still there after the uninstall"
}

e2e_check silent_install_files_shortcut_entry check_silent_install
e2e_check installed_copy_registers_and_corrects check_installed_copy_runs
e2e_check update_closes_running_copy_one_entry check_update_over_running_copy
e2e_check silent_update_starts_new_copy_settings_untouched check_update_restarts_program
e2e_check interactive_install_starts_program check_interactive_install
e2e_check silent_uninstall_while_running_keeps_settings check_silent_uninstall
e2e_check zip_copy_runs_where_unpacked check_zip
if [ -n "$DIST_SIGNED" ]; then
  e2e_check signed_installer_installs_signed_uninstaller check_signed_uninstaller
fi
if [ -n "${E2E_DOCS:-}" ] && ls "$E2E_WORK"/shot-*.png >/dev/null 2>&1; then
  convert "$E2E_WORK"/shot-*.png -background white -splice 12x0 +append -chop 12x0 "$E2E_DOCS/installer.png" &&
    echo "screenshot: $E2E_DOCS/installer.png"
fi
e2e_summary
