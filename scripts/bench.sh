#!/usr/bin/env bash
# Runs every benchmark executable of a native build: scripts/bench.sh [BUILD_DIR] [options...]
# (default build/native; further options go to each benchmark, e.g. --benchmark_min_time=0.1).
# Each prints a table and, last, one JSON line of its figures.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
shift || true

if [ ! -d "$build" ]; then
  echo "bench: no build folder $build (configure it with: cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release)" >&2
  exit 1
fi
found=0
for exe in "$build"/bench/*_bench; do
  [ -x "$exe" ] || continue
  found=1
  echo "== $(basename "$exe")"
  "$exe" "$@"
done
if [ "$found" -eq 0 ]; then
  echo "bench: no benchmark executables in $build/bench (build them: cmake --build $build --target layout_bench)" >&2
  exit 1
fi
