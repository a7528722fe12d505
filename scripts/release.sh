#!/usr/bin/env bash
# Builds what Windows users download, into dist/:
#   klavix-<version>-win64.zip   a folder Klavix/ with klavix.exe, README.txt, LICENSE.txt and
#                                THIRD-PARTY-NOTICES.txt
#   klavix-<version>-setup.exe   the per-user installer (NSIS)
#   SHA256SUMS                   both files, as `sha256sum -c` reads them
# Two runs from the same commit give the same bytes: times come from the commit
# (SOURCE_DATE_EPOCH), the zip's entries are sorted with fixed times and modes, and the PE time
# stamp is fixed by the linker.
#
# Environment (all optional):
#   KLAVIX_VERSION            build as this version (X.Y.Z) instead of the project's; for tests
#   KLAVIX_DIST               output folder (default dist)
#   KLAVIX_RELEASE_BUILD      build folder (default build/release)
#   KLAVIX_SIGN_PFX           a PKCS#12 code-signing certificate: sign klavix.exe, the uninstaller
#                             and the installer (scripts/sign.sh)
#   KLAVIX_SIGN_PASSWORD      its password
#   KLAVIX_SIGN_TIMESTAMP_URL a timestamp server (RFC 3161) for the signatures
#   KLAVIX_SKIP_SETUP=1       do not run scripts/setup.sh (a caller that already did)
#   JOBS                      parallel build jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
JOBS=${JOBS:-2}
export LC_ALL=C.UTF-8 TZ=UTC
umask 022

[ "${KLAVIX_SKIP_SETUP:-}" = 1 ] || bash scripts/setup.sh

build=${KLAVIX_RELEASE_BUILD:-build/release}
dist=${KLAVIX_DIST:-dist}
case "$build" in /*) ;; *) build=$root/$build ;; esac
case "$dist" in /*) ;; *) dist=$root/$dist ;; esac

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || {
    echo "release: not a git checkout; set SOURCE_DATE_EPOCH" >&2
    exit 1
  }
  if [ -n "$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    echo "release: note: the work tree has uncommitted changes; the files are not those of the commit"
  fi
fi
export SOURCE_DATE_EPOCH

echo "== release: building klavix.exe ($build)"
mkdir -p "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKLAVIX_VERSION_OVERRIDE="${KLAVIX_VERSION:-}" >"$build/configure.log" 2>&1 || {
  cat "$build/configure.log"
  exit 1
}
cmake --build "$build" -j"$JOBS" --target klavix
version=$(cat "$build/klavix-version.txt")
IFS=. read -r v_major v_minor v_patch < <(sed -n 's/^#define KLAVIX_VERSION_\(MAJOR\|MINOR\|PATCH\) //p' \
  "$build/generated/klavix_version.h" | paste -sd.)
version4=$v_major.$v_minor.$v_patch.0
exe=$build/src/win/klavix.exe

# Every library the linker took code from must have its notice. Import libraries of system DLLs
# bring no code of their own.
check_notices() {
  local map=$build/src/win/klavix.map archive status=0
  local system='^lib(kernel32|user32|gdi32|shell32|advapi32|version|ole32|oleaut32|comctl32|msvcrt|moldname|uuid|ucrt.*|api-ms-.*)\.a$'
  while read -r archive; do
    case "$archive" in
      libklavix_*.a) true ;;  # our own code
      libstdc++.a | libgcc.a | libgcc_eh.a | libsupc++.a) grep -q 'GCC RUNTIME LIBRARY EXCEPTION' THIRD-PARTY-NOTICES.txt ;;
      libmingw32.a | libmingwex.a) grep -q 'MinGW-w64 runtime' THIRD-PARTY-NOTICES.txt ;;
      libpthread.a | libwinpthread.a) grep -q '^5\. winpthreads' THIRD-PARTY-NOTICES.txt ;;
      *) [[ "$archive" =~ $system ]] ;;
    esac || { echo "release: klavix.exe contains code from $archive, which THIRD-PARTY-NOTICES.txt does not cover" >&2; status=1; }
  done < <(awk '/^Archive member included/{f=1; next} /^(Discarded input sections|Memory Configuration)/{f=0} f' "$map" |
    grep -oE '^[^ (]+\.a\(' | sed -e 's/($//' -e 's|.*/||' | sort -u)
  if grep -qE 'libmingwex\.a\(lib64_libmingwex_a-(gdtoa|strtodg|mingw_pformat)\.o\)' "$map"; then
    grep -q '^4\. gdtoa' THIRD-PARTY-NOTICES.txt || { echo "release: gdtoa is linked in, its notice is missing" >&2; status=1; }
  fi
  return $status
}
check_notices

# A text file for Windows users: CRLF line ends; README.txt also gets a UTF-8 byte-order mark so
# that every editor sees it is UTF-8.
windows_text() {
  local src=$1 out=$2 bom=${3:-}
  { [ -z "$bom" ] || printf '\xef\xbb\xbf'; sed 's/\r*$/\r/' "$src"; } >"$out"
}

sign() {
  [ -z "${KLAVIX_SIGN_PFX:-}" ] || bash "$root/scripts/sign.sh" "$1"
}
# makensis signs the uninstaller with the same script before it packs it.
nsis_sign=()
[ -z "${KLAVIX_SIGN_PFX:-}" ] || nsis_sign=(-DSIGN="$root/scripts/sign.sh")

stage=$build/stage
rm -rf "$stage"
mkdir -p "$stage/Klavix"
cp "$exe" "$stage/Klavix/klavix.exe"
sign "$stage/Klavix/klavix.exe"
windows_text packaging/README.txt "$stage/Klavix/README.txt" bom
windows_text LICENSE "$stage/Klavix/LICENSE.txt"
windows_text THIRD-PARTY-NOTICES.txt "$stage/Klavix/THIRD-PARTY-NOTICES.txt"
chmod 755 "$stage/Klavix"
chmod 644 "$stage/Klavix"/*
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

mkdir -p "$dist"
zip_name=klavix-$version-win64.zip
setup_name=klavix-$version-setup.exe
rm -f "$dist/$zip_name" "$dist/$setup_name" "$dist/SHA256SUMS"

echo "== release: $zip_name"
(cd "$stage" && find Klavix | LC_ALL=C sort | zip -X -9 -q "$dist/$zip_name" -@)

echo "== release: $setup_name"
nsis_stage=$build/nsis
rm -rf "$nsis_stage"
cp -a "$stage/Klavix" "$nsis_stage"
cp "$build/src/win/klavix.ico" "$build/src/win/klavix-wizard.bmp" "$nsis_stage/"
touch -d "@$SOURCE_DATE_EPOCH" "$nsis_stage/klavix.ico" "$nsis_stage/klavix-wizard.bmp"
makensis -V2 -NOCD -INPUTCHARSET UTF8 -DVERSION="$version" -DVERSION4="$version4" \
  -DSTAGE="$nsis_stage" -DOUT_FILE="$dist/$setup_name" "${nsis_sign[@]}" packaging/klavix.nsi
sign "$dist/$setup_name"

(cd "$dist" && sha256sum "$zip_name" "$setup_name" >SHA256SUMS)
echo "== release $version in ${dist#"$root"/}:"
(cd "$dist" && ls -l "$zip_name" "$setup_name" SHA256SUMS | awk '{printf "  %10d  %s\n", $5, $9}')
