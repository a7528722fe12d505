#!/usr/bin/env bash
# Runs klavix-sim on one case and compares what it prints.
#   run_case.sh KLAVIX_SIM CASE [--fast]   (CASE is the path without extension)
# With --fast the typist does not wait for the engine after spaces; the window must show the
# same, but the records on standard error differ (a correction takes in the keys typed after
# it), so standard error is not compared.
# CASE.in      the input lines
# CASE.out     the expected standard output, byte for byte
# CASE.args    options, one line; @SETTINGS@ stands for a fresh settings folder
# CASE.settings.ini, CASE.exceptions.txt, CASE.apps.txt   put into that folder before the run
# CASE.exceptions   the expected exceptions.txt after the run
# CASE.status  the expected exit status (default 0)
# CASE.err     the expected standard error, byte for byte (default: empty, unless CASE.trace)
# CASE.trace   lines that must each appear, whole, on standard error
set -u
sim=$1
case_path=$2
fast=${3:-}
name=$(basename "$case_path")
work=$(mktemp -d "${TMPDIR:-/tmp}/klavix-sim-case.XXXXXX")
trap 'rm -rf "$work"' EXIT
settings="$work/settings"
mkdir -p "$settings"
for f in settings.ini exceptions.txt apps.txt; do
  [ -e "$case_path.$f" ] && cp "$case_path.$f" "$settings/$f"
done

args=()
if [ -e "$case_path.args" ]; then
  line=$(head -n 1 "$case_path.args")
  line=${line//@SETTINGS@/$settings}
  read -r -a args <<<"$line"
fi
[ "$fast" = --fast ] && args+=(--fast)

status=0
"$sim" "${args[@]}" <"$case_path.in" >"$work/out" 2>"$work/err" || status=$?
failed=0

expected_status=0
[ -e "$case_path.status" ] && expected_status=$(cat "$case_path.status")
if [ "$status" != "$expected_status" ]; then
  echo "$name: exit status $status, expected $expected_status"
  failed=1
fi
if ! cmp -s "$work/out" "$case_path.out"; then
  echo "$name: standard output differs (expected, then actual):"
  diff "$case_path.out" "$work/out" | head -40
  failed=1
fi
if [ "$fast" = --fast ]; then
  :
elif [ -e "$case_path.err" ]; then
  if ! cmp -s "$work/err" "$case_path.err"; then
    echo "$name: standard error differs (expected, then actual):"
    diff "$case_path.err" "$work/err" | head -40
    failed=1
  fi
elif [ -e "$case_path.trace" ]; then
  while IFS= read -r want; do
    if ! grep -qxF -- "$want" "$work/err"; then
      echo "$name: missing on standard error: $want"
      failed=1
    fi
  done <"$case_path.trace"
elif [ -s "$work/err" ]; then
  echo "$name: unexpected standard error:"
  head -20 "$work/err"
  failed=1
fi
if [ -e "$case_path.exceptions" ] && ! cmp -s "$settings/exceptions.txt" "$case_path.exceptions"; then
  echo "$name: exceptions.txt differs (expected, then actual):"
  diff "$case_path.exceptions" "$settings/exceptions.txt" | head -20
  failed=1
fi
exit $failed
