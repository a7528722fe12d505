#!/usr/bin/env bash
# Runs a Windows program under Wine with a private prefix unless the caller chose one.
# ctest uses it as the emulator for every Windows test.
set -u
# Debian's wine64 package installs its programs under /usr/lib/wine only.
export PATH="$PATH:/usr/lib/wine"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=${KLAVIX_WINEPREFIX:-${TMPDIR:-/tmp}/klavix-wine-$(id -u)}
fi
wine=$(command -v wine64 || command -v wine)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
  wineserver -w 2>/dev/null || true
fi
exec "$wine" "$@"
