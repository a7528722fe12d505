#!/usr/bin/env bash
# Twenty thousand one-word lines go through one run, each line into its own window.
set -eu
sim=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/klavix-sim-many.XXXXXX")
trap 'rm -rf "$work"' EXIT
for ((i = 0; i < 5000; ++i)); do
  printf 'ghbdtn \nhello \nvbh \nruddo\n'
done >"$work/in"
"$sim" "$work/in" >"$work/out"
lines=$(wc -l <"$work/out")
if [ "$lines" != 20000 ]; then
  echo "printed $lines lines, expected 20000"
  exit 1
fi
for ((i = 0; i < 5000; ++i)); do
  printf 'привет \nhello \nмир \nruddo\n'
done >"$work/expected"
if ! cmp -s "$work/out" "$work/expected"; then
  echo "output differs:"
  diff "$work/expected" "$work/out" | head -20
  exit 1
fi
