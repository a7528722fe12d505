#!/usr/bin/env bash
# Re-makes the shipped word lists from their source and fails unless data/ holds exactly them.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source_dir=${KLAVIX_WORDLIST_SOURCE:-$repo/../shared/wordlists}

if [ ! -f "$source_dir/en_50k.txt" ] || [ ! -f "$source_dir/ru_50k.txt" ]; then
  echo "check-wordlists: source lists not found in $source_dir; skipped"
  exit 0
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 "$repo/tools/make_wordlists.py" "$source_dir" "$tmp" >/dev/null

status=0
for list in en_words.txt ru_words.txt; do
  if ! cmp -s "$tmp/$list" "$repo/data/$list"; then
    echo "check-wordlists: data/$list differs from what tools/make_wordlists.py makes" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "check-wordlists: data/ word lists reproduced byte for byte"
exit "$status"
