#!/bin/bash
# `vistrel full --output FILE` on KDE Plasma (a virtual KWin with KDE's own portal, as
# e2e/kde_e2e.sh runs it) timed as a whole command with Vistrel already running, beside the
# floor measured in the same run: KWin's own ScreenShot2 read of the workspace written as PNG
# (e2e/kwinshot.cpp), the commands in turn.
#   bench/kde_bench.sh [BUILD_DIR] [RUNS] [SCALES]
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
export BENCH_RUNS=${2:-10} KDE_SCALES=${3:-1}
export VISTREL_BIN=$build/src/vistrel VISTREL_KWININPUT=$build/e2e/vistrel_kwininput \
  VISTREL_KWINSHOT=$build/e2e/vistrel_kwinshot
[ -x "$VISTREL_BIN" ] && [ -x "$VISTREL_KWINSHOT" ] || { echo "build first: $VISTREL_BIN, $VISTREL_KWINSHOT"; exit 1; }
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
bash "$here/../e2e/kde_e2e.sh" | grep -v "^PASS: "
status=${PIPESTATUS[0]}
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$status"
