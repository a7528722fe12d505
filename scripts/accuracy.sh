#!/usr/bin/env bash
# Prints the accuracy table for both decisions: scripts/accuracy.sh [BUILD_DIR] [options...]
# (default build/native, which must hold tools/klavix-accuracy; further options go to it, e.g.
# --fast or --case en_on_ru). Makes the corpus first when build/corpus has none. The summary
# is also written to build/accuracy.json, one JSON line.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
shift || true
tool="$build/tools/klavix-accuracy"
if [ ! -x "$tool" ]; then
  echo "accuracy: no $tool (build it: cmake --build $build --target klavix-accuracy)" >&2
  exit 1
fi
if [ ! -s build/corpus/manifest.txt ]; then
  bash scripts/make-corpus.sh >/dev/null
fi
grep -E '^package|sentences' build/corpus/manifest.txt
echo
"$tool" --corpus build/corpus --json build/accuracy.json "$@"
