#!/bin/bash
# The X11 recording source on a real X server: the area cut out by pixels, frames at the rate,
# unchanged ticks left out, the pointer drawn in or not, click rings, and a screen that changes
# size ending the recording with its reason (e2e/recordsource.cpp); also on screens of depth 16
# and 30.
source "$(dirname "$0")/lib.sh"
: "${VISTREL_RECORDSOURCE:?VISTREL_RECORDSOURCE must name the source checker}"

start_x 1024x768x24
"$VISTREL_RECORDSOURCE" --resize; rc=$?
check "the recording source's checks (status $rc)" [ "$rc" = 0 ]
# Screens of 16 and 30 bits per pixel: the same frames, converted.
for depth in 16 30; do
  open_displayfd
  Xvfb -displayfd "$displayfd" -screen 0 1024x768x$depth -nolisten tcp -noreset \
    >"$E2E_TMP/xvfb-$depth.log" 2>&1 &
  E2E_PIDS+=($!)
  wait_display $! || { fail "Xvfb starts at depth $depth"; continue; }
  "$VISTREL_RECORDSOURCE"; rc=$?
  check "the same at depth $depth (status $rc)" [ "$rc" = 0 ]
done
finish
