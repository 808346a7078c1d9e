#!/bin/bash
# Ctrl+Shift+2 → selection overlay mapped on a 1920×1080 Xvfb screen (10 runs), then the
# per-move repaint cost of the overlay.   bench/overlay_bench.sh [BUILD_DIR]
source "$(dirname "$0")/lib.sh"
start_screen
start_app
"$latency" 2 "Vistrel Selection" 10
echo "(target: median <= 60 ms)"
"$build/bench/vistrel_overlay_bench" 2>/dev/null | grep -E '^BM_'
echo "(target: one pointer move <= 4 ms)"
