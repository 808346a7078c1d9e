#!/bin/bash
# Runs every test of a build directory with CTest and fails when an end-to-end flow was
# skipped (or not run): a flow that could not run its scenario has shown nothing.
#   scripts/run-tests.sh BUILD_DIR [MORE CTEST OPTIONS, e.g. -R area]
set -u
build=${1:?usage: scripts/run-tests.sh BUILD_DIR [CTEST OPTIONS]}
shift
log=$build/ctest.log
ctest --test-dir "$build" --output-on-failure -j2 "$@" 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
# CTest lists the tests it did not run (Skipped, Not Run, Disabled) after its summary.
flows=$(ctest --test-dir "$build" -N -L e2e | sed -n 's/^ *Test *#[0-9]*: *//p')
missed=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" |
  sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (.*/\1/p' | grep -Fxf <(printf '%s\n' "$flows"))
if [ -n "$missed" ]; then
  echo "End-to-end flows that did not run (CI runs every one):" $missed
  grep -E '^[0-9]+% tests passed' "$log" | tail -1
  exit 1
fi
exit "$rc"
