#!/usr/bin/env bash
# Types the committed sample of the accuracy corpus and compares what each window shows, and
# the summary of figures, with the expected files of each decision.
#   check_sample.sh KLAVIX_ACCURACY [word|context]       check (default: both decisions)
#   check_sample.sh KLAVIX_ACCURACY --update [word|context]   write the expected files anew
# expected/CASE.DECISION.out    one line per sentence, what the window showed
# expected/summary.DECISION.json   the figures, without the time taken
set -u
tool=$(realpath "$1")
shift
update=0
if [ "${1:-}" = --update ]; then
  update=1
  shift
fi
decisions=${1:-word context}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/klavix-accuracy-sample.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$here"
failed=0
for d in $decisions; do
  case $d in word | context) ;; *) echo "check_sample: no decision $d" >&2; exit 2 ;; esac
  if ! "$tool" --corpus sample --decision "$d" --outputs "$work/$d" --json "$work/$d.json" >"$work/$d.txt" 2>&1; then
    echo "check_sample: klavix-accuracy failed:"
    cat "$work/$d.txt"
    exit 1
  fi
  sed -e 's/,"seconds":[0-9.]*//g' "$work/$d.json" >"$work/$d/summary.$d.json"
  if [ "$update" = 1 ]; then
    mkdir -p expected
    cp "$work/$d"/*."$d".out "$work/$d/summary.$d.json" expected/
    echo "check_sample: wrote expected/*.$d.out and expected/summary.$d.json"
    grep '^|' "$work/$d.txt"
    continue
  fi
  for f in "$work/$d"/*."$d".out "$work/$d/summary.$d.json"; do
    name=$(basename "$f")
    if [ ! -e "expected/$name" ]; then
      echo "check_sample: expected/$name is missing (write it with --update $d)"
      failed=1
    elif ! cmp -s "expected/$name" "$f"; then
      echo "check_sample: $name differs (expected, then actual); if the change is meant, run"
      echo "  bash tests/accuracy/check_sample.sh $tool --update $d"
      diff "expected/$name" "$f" | head -20
      failed=1
    fi
  done
done
exit $failed
