#!/usr/bin/env bash
# The release, tested end to end: scripts/release.sh run twice from fresh build folders gives
# the same bytes; the files carry the build's version in their names; a later version builds
# from the same code; signing with a throwaway certificate verifies; then under Wine the
# installer, the update, the uninstaller, the zip and the signed installer's uninstaller
# (tests/e2e/release_check.sh).
# Usage: release_test.sh WINDOWS_BUILD   (a Windows build folder with tests/e2e/*.exe built)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
root=$PWD
win_build=$(cd "$1" && pwd)
work=${KLAVIX_RELEASE_TEST_DIR:-$root/build/release-test}
rm -rf "$work"
mkdir -p "$work"
export KLAVIX_SKIP_SETUP=1
passed=0
failed=0

check() {
  local name=$1
  shift
  local why
  if why=$("$@" 2>&1); then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name${why:+: $why}"
    failed=$((failed + 1))
  fi
}

# release NAME BUILD [VAR=VALUE...]: scripts/release.sh into $work/NAME, built in $work/BUILD.
release() {
  local name=$1 build=$2
  shift 2
  env "$@" KLAVIX_RELEASE_BUILD="$work/$build" KLAVIX_DIST="$work/$name" bash scripts/release.sh \
    >"$work/$name.log" 2>&1 || { tail -n 30 "$work/$name.log"; return 1; }
}

start=$SECONDS
release a build-a || { echo "FAIL the release script failed"; exit 1; }
echo "release: built in $((SECONDS - start)) s"
version=$(cat "$work/build-a/klavix-version.txt")
IFS=. read -r major minor patch < <(sed -n 's/^#define KLAVIX_VERSION_\(MAJOR\|MINOR\|PATCH\) //p' \
  "$work/build-a/generated/klavix_version.h" | paste -sd.)

files_named_by_version() {
  local listing
  listing=$(cd "$work/a" && ls | tr '\n' ' ')
  [ "$listing" = "SHA256SUMS klavix-$version-setup.exe klavix-$version-win64.zip " ] ||
    { echo "dist holds $listing, the build's version is $version"; return 1; }
  (cd "$work/a" && sha256sum --quiet -c SHA256SUMS) || return 1
  # Per user, with no elevation prompt: the installer's manifest asks for none.
  grep -aq 'requestedExecutionLevel level="asInvoker"' "$work/a/klavix-$version-setup.exe" ||
    { echo "the installer's manifest does not say asInvoker"; return 1; }
  [ "$(wc -l <"$work/a/SHA256SUMS")" = 2 ] || { echo "SHA256SUMS: $(cat "$work/a/SHA256SUMS")"; return 1; }
}

exe_stripped_unsigned() {
  unzip -p "$work/a/klavix-$version-win64.zip" Klavix/klavix.exe >"$work/klavix.exe" || return 1
  local symbols headers
  symbols=$(x86_64-w64-mingw32-objdump -t "$work/klavix.exe") && headers=$(x86_64-w64-mingw32-objdump -p "$work/klavix.exe") ||
    return 1
  grep -qx 'no symbols' <<<"$symbols" || { echo "klavix.exe has symbols"; return 1; }
  grep -q '^Time/Date.*1970$' <<<"$headers" || { echo "PE time stamp: $(grep Time/Date <<<"$headers")"; return 1; }
  local f
  for f in "$work/klavix.exe" "$work/a/klavix-$version-setup.exe"; do
    ! osslsigncode verify -in "$f" >/dev/null 2>&1 || { echo "${f##*/} is signed without a certificate given"; return 1; }
  done
}

reproducible() {
  release b build-b || return 1
  local f differ=0
  for f in "$work/a"/*; do
    cmp "$f" "$work/b/${f##*/}" || differ=1
  done
  [ "$differ" = 0 ] && diff <(ls "$work/a") <(ls "$work/b")
}

next_version=$major.$minor.$((patch + 1))
next_release() {
  # The second build folder again: only what names the version is built anew.
  release next build-b KLAVIX_VERSION="$next_version" || return 1
  [ -f "$work/next/klavix-$next_version-setup.exe" ] && [ -f "$work/next/klavix-$next_version-win64.zip" ] ||
    { echo "next release holds $(ls "$work/next" | tr '\n' ' ')"; return 1; }
}

signed_release() {
  local cert=$work/cert
  mkdir -p "$cert"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$cert/key.pem" -out "$cert/cert.pem" -days 2 \
    -subj "/CN=Klavix test signing" -addext "extendedKeyUsage=codeSigning" >"$cert/openssl.log" 2>&1 &&
    openssl pkcs12 -export -inkey "$cert/key.pem" -in "$cert/cert.pem" -out "$cert/test.pfx" \
      -passout pass:throwaway >>"$cert/openssl.log" 2>&1 || { cat "$cert/openssl.log"; return 1; }
  # No timestamp server: the test makes no network call.
  release signed build-a KLAVIX_SIGN_PFX="$cert/test.pfx" KLAVIX_SIGN_PASSWORD=throwaway KLAVIX_SIGN_TIMESTAMP_URL= ||
    return 1
  unzip -p "$work/signed/klavix-$version-win64.zip" Klavix/klavix.exe >"$work/signed-klavix.exe" || return 1
  local f
  for f in "$work/signed-klavix.exe" "$work/signed/klavix-$version-setup.exe"; do
    osslsigncode verify -in "$f" -CAfile "$cert/cert.pem" >"$work/verify.log" 2>&1 ||
      { echo "${f##*/}: $(grep -iE 'fail|error|mismatch' "$work/verify.log" | head -n3)"; return 1; }
    grep -q 'Signature verification: ok' "$work/verify.log" || { echo "${f##*/}: $(tail -n3 "$work/verify.log")"; return 1; }
  done
  # The installer carries the signed program.
  (cd "$work/signed" && sha256sum --quiet -c SHA256SUMS)
}

check files_carry_the_builds_version files_named_by_version
check exe_stripped_fixed_time_stamp_unsigned exe_stripped_unsigned
check two_runs_give_the_same_bytes reproducible
check next_version_builds_from_the_same_code next_release
check signing_with_a_throwaway_certificate_verifies signed_release
# makensis signed the uninstaller inside; the check under Wine verifies it as installed.
grep -q '^release: signed uninstall.exe$' "$work/signed.log" && echo "PASS uninstaller_signed_when_packed" &&
  passed=$((passed + 1)) || { echo "FAIL uninstaller_signed_when_packed: $(grep -i sign "$work/signed.log")"; failed=$((failed + 1)); }
signed=()
[ -f "$work/signed/klavix-$version-setup.exe" ] && signed=("$work/signed" "$work/cert/cert.pem")

echo "== release under Wine: install, update, uninstall, zip, signed uninstaller"
E2E_OUT_DIR=$work bash tests/e2e/release_check.sh "$work/a" "$work/next" \
  "$win_build/tests/e2e/klavix-target.exe" "$win_build/tests/e2e/klavix-probe.exe" \
  "$win_build/tests/e2e/klavix-release-probe.exe" "${signed[@]}" && passed=$((passed + 1)) || failed=$((failed + 1))

echo "release tests took $((SECONDS - start)) s"
echo "release: $passed passed, $failed failed"
[ "$failed" = 0 ]
