#!/bin/bash
# Scrolling capture: stitching 1600×1000 frames and capturing them from a 1920×1080 Xvfb
# screen, each beside its floor.   bench/scroll_bench.sh [BUILD_DIR]   (build Release)
set -u
build=${1:-build}
bin=$build/bench/vistrel_scroll_bench
[ -x "$bin" ] || { echo "build first: $bin"; exit 1; }
tmp=$(mktemp -d)
cleanup() { kill "$xvfb" 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1920x1080x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
read -r -t 10 -u "$fd" n || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$n
convert -size 1920x1080 plasma:fractal "$tmp/busy.png" 2>/dev/null && display -window root "$tmp/busy.png"
"$bin" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '^BM_'
echo "(targets: BM_StitcherAdd <= 1 ms beside BM_FloorReadFrame; BM_FrameCapture <= 5 ms beside BM_FloorCopyFrame)"
