#!/bin/bash
# `vistrel full --output FILE` on GNOME (a headless GNOME Shell with its own portal, as
# e2e/gnome_e2e.sh runs it) timed as a whole command with Vistrel already running, beside the
# floor measured in the same run: GNOME's own gnome-screenshot, the commands in turn.
#   bench/gnome_bench.sh [BUILD_DIR] [RUNS] [SCALES]
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
export BENCH_RUNS=${2:-10} GNOME_SCALES=${3:-1 2}
export VISTREL_BIN=$build/src/vistrel VISTREL_MUTTERINPUT=$build/e2e/vistrel_mutterinput
[ -x "$VISTREL_BIN" ] && [ -x "$VISTREL_MUTTERINPUT" ] || { echo "build first: $VISTREL_BIN, $VISTREL_MUTTERINPUT"; exit 1; }
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
bash "$here/../e2e/gnome_e2e.sh" | grep -v "^PASS: "
status=${PIPESTATUS[0]}
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$status"
