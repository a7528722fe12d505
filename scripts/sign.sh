#!/usr/bin/env bash
# Signs one Windows executable in place with the release's code-signing certificate.
# Usage: sign.sh FILE [NAME]   (NAME: what the messages call the file; default its own name)
# From the environment: KLAVIX_SIGN_PFX (a PKCS#12 file), KLAVIX_SIGN_PASSWORD and, if set,
# KLAVIX_SIGN_TIMESTAMP_URL (see scripts/release.sh). The release script runs it for klavix.exe
# and the installer; makensis runs it for the uninstaller before it goes into the installer.
set -euo pipefail
file=$1
name=${2:-${file##*/}}
[ -n "${KLAVIX_SIGN_PFX:-}" ] || { echo "sign: KLAVIX_SIGN_PFX is not set" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The password goes in a file of the user's alone, never on a command line.
(umask 077 && printf '%s' "${KLAVIX_SIGN_PASSWORD:-}" >"$tmp/pass")
ts=()
if [ -n "${KLAVIX_SIGN_TIMESTAMP_URL:-}" ]; then
  ts=(-ts "$KLAVIX_SIGN_TIMESTAMP_URL")
else
  echo "release: note: signing $name without a timestamp: the signature ends with the certificate"
fi
osslsigncode sign -pkcs12 "$KLAVIX_SIGN_PFX" -readpass "$tmp/pass" -h sha256 \
  -n "Клавикс" "${ts[@]}" -in "$file" -out "$tmp/signed" >"$tmp/log" 2>&1 || {
  cat "$tmp/log" >&2
  echo "release: signing $name failed" >&2
  exit 1
}
# Written over, not moved: the caller (makensis) reads the file back under its own name.
cat "$tmp/signed" >"$file"
echo "release: signed $name"
