#!/bin/bash
# Idle memory of the running app and the time from Ctrl+Shift+1 to the editor being mapped,
# on a 1920×1080 Xvfb screen.   bench/shell_bench.sh [BUILD_DIR]
source "$(dirname "$0")/lib.sh"
start_screen
start_app
# (Starting over with the thread limit keeps the process id.)
rss=$(awk '/^Rss:/ {print $2}' /proc/$app/smaps_rollup)
pss=$(awk '/^Pss:/ {print $2}' /proc/$app/smaps_rollup)
awk -v r="$rss" -v p="$pss" 'BEGIN { printf "idle memory: RSS %.1f MiB, PSS %.1f MiB (target PSS <= 40 MiB)\n", r / 1024, p / 1024 }'
"$latency" 1 "Vistrel — Editor" 10
echo "(target: median <= 150 ms)"
