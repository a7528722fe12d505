#!/usr/bin/env bash
# Regenerates the letter model from the embedded word lists and fails unless the committed
# src/layout/char_model_tables.cpp is exactly what the generator writes.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
committed=$repo/src/layout/char_model_tables.cpp
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
python3 "$repo/tools/gen_char_model.py" --output "$tmp"
if ! cmp -s "$tmp" "$committed"; then
  echo "check-char-model: src/layout/char_model_tables.cpp is not what tools/gen_char_model.py makes from data/" >&2
  echo "check-char-model: run python3 tools/gen_char_model.py and commit the result" >&2
  exit 1
fi
echo "check-char-model: src/layout/char_model_tables.cpp reproduced byte for byte"
