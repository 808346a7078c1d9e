#!/bin/bash
# The X11 recording source on a real X server: the area cut out by pixels, frames at the rate,
# unchanged ticks left out, the pointer drawn in or not, click rings, and a screen that changes
# size ending the recording with its reason (e2e/recordsource.cpp).
source "$(dirname "$0")/lib.sh"
: "${VISTREL_RECORDSOURCE:?VISTREL_RECORDSOURCE must name the source checker}"

start_x 1024x768x24
"$VISTREL_RECORDSOURCE" --resize; rc=$?
check "the recording source's checks (status $rc)" [ "$rc" = 0 ]
finish
