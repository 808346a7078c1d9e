#!/bin/bash
# Idle memory of the running app and the time from Ctrl+Shift+1 to the editor being mapped,
# on a 1920×1080 Xvfb screen.   bench/shell_bench.sh [BUILD_DIR]
set -u
build=${1:-build}
bin=$build/src/vistrel
latency=$build/bench/vistrel_hotkey_latency
[ -x "$bin" ] && [ -x "$latency" ] || { echo "build first: $bin, $latency"; exit 1; }
tmp=$(mktemp -d)
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1920x1080x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
read -r -t 10 -u "$fd" n || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$n
convert -size 1920x1080 plasma:fractal "$tmp/busy.png" 2>/dev/null
display -geometry +0+0 "$tmp/busy.png" >/dev/null 2>&1 &
viewer=$!
"$bin" >"$tmp/vistrel.log" 2>&1 &
app=$!
sleep 3
rss=$(awk '/^Rss:/ {print $2}' /proc/$app/smaps_rollup)
pss=$(awk '/^Pss:/ {print $2}' /proc/$app/smaps_rollup)
awk -v r="$rss" -v p="$pss" 'BEGIN { printf "idle memory: RSS %.1f MiB, PSS %.1f MiB (target PSS <= 40 MiB)\n", r / 1024, p / 1024 }'
"$latency" 1 "Vistrel — Editor" 10
echo "(target: median <= 150 ms)"
kill $app $viewer $xvfb 2>/dev/null
wait 2>/dev/null
rm -rf "$tmp"
