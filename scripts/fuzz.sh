#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, build/fuzz) and runs each one for a fixed time:
#   bash scripts/fuzz.sh [SECONDS]     (default: FUZZ_SECONDS, else 15; FUZZ_HARNESSES picks some)
# Each run starts from the committed seeds (tests/fuzz/corpus/<harness>) and the format's
# dictionary, and adds what it finds to build/fuzz/runs/<harness>/corpus. Any finding fails the
# script; the reproducer is printed (path and bytes) and kept next to the run's log. Replay one:
#   build/fuzz/tests/fuzz/fuzz_<harness> <reproducer>
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${FUZZ_SECONDS:-15}}
JOBS=${JOBS:-2}
build=build/fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DKLAVIX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
all=(unicode convert decision context_decision dictionaries settings hotkey lists engine sim_script)
read -r -a harnesses <<<"${FUZZ_HARNESSES:-${all[*]}}"
cmake --build "$build" -j"$JOBS" --target "${harnesses[@]/#/fuzz_}"

failed=()
for h in "${harnesses[@]}"; do
  work=$build/runs/$h
  rm -rf "$work"
  mkdir -p "$work/corpus"
  case $h in
    engine) max_len=1024 ;;
    sim_script) max_len=512 ;;
    *) max_len=4096 ;;
  esac
  args=(-max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2560 -max_len="$max_len"
        -artifact_prefix="$work/")
  [ -f "tests/fuzz/dict/$h.dict" ] && args+=(-dict="tests/fuzz/dict/$h.dict")
  if "$build/tests/fuzz/fuzz_$h" "${args[@]}" "$work/corpus" "tests/fuzz/corpus/$h" >"$work/log" 2>&1; then
    execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
    last=$(grep -E '^#[0-9]+' "$work/log" | tail -1 | sed -E 's/^#([0-9]+)[[:space:]]+[A-Z]+[[:space:]]+/\1 runs, /')
    echo "fuzz $h: ${seconds}s, ${execs} exec/s, ${last}"
  else
    failed+=("$h")
    echo "fuzz $h: FINDING"
    grep -v -E '^#[0-9]+|^INFO:|Uses: [0-9]+$|NEW_FUNC' "$work/log" | head -60
    found=0
    for r in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$work"/slow-unit-*; do
      [ -e "$r" ] || continue
      found=1
      echo "reproducer: $r ($(stat -c %s "$r") bytes)"
      od -A x -t x1z -v "$r" | head -40
      echo "replay: $build/tests/fuzz/fuzz_$h $r"
    done
    [ "$found" = 1 ] || echo "no reproducer was written; the whole log: $work/log"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]}"
  exit 1
fi
