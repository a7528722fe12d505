#!/usr/bin/env bash
# Regenerates the Unicode tables from the UCD files and fails unless the committed
# src/text/unicode_tables.cpp is exactly what the generator writes.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
ucd=${KLAVIX_UCD_DIR:-/usr/share/unicode}
committed=$repo/src/text/unicode_tables.cpp

for f in DerivedCoreProperties.txt PropList.txt UnicodeData.txt SpecialCasing.txt; do
  if [ ! -f "$ucd/$f" ]; then
    echo "check-unicode: $ucd/$f is missing (Debian package unicode-data)" >&2
    exit 1
  fi
done

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
python3 "$repo/tools/gen_unicode_tables.py" --ucd "$ucd" --output "$tmp"

if ! cmp -s "$tmp" "$committed"; then
  echo "check-unicode: src/text/unicode_tables.cpp is not what tools/gen_unicode_tables.py makes from $ucd" >&2
  echo "check-unicode: run python3 tools/gen_unicode_tables.py and commit the result; the difference:" >&2
  diff -u "$committed" "$tmp" | head -n 20 >&2 || true
  exit 1
fi
echo "check-unicode: src/text/unicode_tables.cpp reproduced byte for byte"
