#!/usr/bin/env bash
# The end-to-end harness on its own, for a build without klavix.exe.
# Usage: harness_check.sh klavix-target.exe klavix-probe.exe
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=harness.sh
source "$here/harness.sh"
# shellcheck source=harness_checks.sh
source "$here/harness_checks.sh"
TARGET=$1
PROBE=$2

e2e_start
e2e_start_target "$TARGET" "$E2E_WORK/target.txt" || { echo "FAIL target window did not appear"; exit 1; }
run_harness_checks
e2e_summary
