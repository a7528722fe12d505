#!/usr/bin/env bash
# Sets up the machine, builds both builds and runs every test: generated-source checks,
# native unit tests, the same unit tests under ASan/UBSan, the fuzzers for a short time, the
# Windows tests and end-to-end tests under Wine, and the release (zip and installer) built and
# tried under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
# Debian's wine64 package installs its programs under /usr/lib/wine only.
export PATH="$PATH:/usr/lib/wine"

bash scripts/setup.sh

echo "== generated sources"
for check in scripts/check-*.sh; do
  [ -e "$check" ] || continue
  bash "$check"
done

echo "== native build and tests"
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j"$JOBS"
ctest --test-dir build/native -j"$JOBS" --output-on-failure

echo "== native unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -G Ninja -DKLAVIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan -j"$JOBS" --output-on-failure -LE slow

echo "== fuzzers (clang, libFuzzer): each harness for a fixed time, any finding fails the run"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-15}"

echo "== Windows build and tests (under Wine)"
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/windows -j"$JOBS"
export KLAVIX_WINEPREFIX=$(mktemp -d /tmp/klavix-ci-wine.XXXXXX)
trap 'WINEPREFIX=$KLAVIX_WINEPREFIX wineserver -k 2>/dev/null || true; rm -rf "$KLAVIX_WINEPREFIX"' EXIT
ctest --test-dir build/windows --output-on-failure

echo "== release: reproducible files, signing, the installer and the zip under Wine"
bash tests/release/release_test.sh build/windows
