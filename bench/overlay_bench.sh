#!/bin/bash
# Ctrl+Shift+2 → selection overlay mapped on a 1920×1080 Xvfb screen (10 runs), then the
# per-move repaint cost of the overlay.   bench/overlay_bench.sh [BUILD_DIR]
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
display -window root "$tmp/busy.png"
"$bin" >"$tmp/vistrel.log" 2>&1 &
app=$!
sleep 3
"$latency" 2 "Vistrel Selection" 10
echo "(target: median <= 60 ms)"
kill $app $xvfb 2>/dev/null
wait 2>/dev/null
rm -rf "$tmp"
"$build/bench/vistrel_overlay_bench" 2>/dev/null | grep -E '^BM_'
echo "(target: one pointer move <= 4 ms)"
