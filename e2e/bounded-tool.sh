#!/bin/sh
# Stands in for an X tool that can wait without end (linked under the tool's name, see
# lib.sh): runs the real one with a time limit, so a flow never hangs on a server or selection
# owner that does not answer, and refuses a call that names no window to act on, which would
# wait for a mouse click (`xwininfo -id ""` does).
tool=${0##*/}
real=$(PATH=${E2E_REAL_PATH:?} command -v "$tool") || { echo "$tool: not installed" >&2; exit 127; }
is_window() { case $1 in root | "" | 0x*[!0-9a-fA-F]* | *[!0-9a-fA-Fx]*) return 1 ;; esac; }
case $tool in
  xwininfo | xprop | import)
    named="" prev=""
    for arg in "$@"; do
      case $prev in
        -id | -window)
          [ "$tool,$arg" = import,root ] || is_window "$arg" ||
            { echo "$tool: no such window (id '$arg')" >&2; exit 2; }
          named=yes ;;
      esac
      case $arg in -root | -name) named=yes ;; esac
      prev=$arg
    done
    # -id/-window given last without a value
    case $prev in -id | -window) echo "$tool: no such window (id '')" >&2; exit 2 ;; esac
    [ -n "$named" ] || { echo "$tool: no window named, refusing to wait for a click" >&2; exit 2; }
    ;;
esac
exec timeout -k 2 20 "$real" "$@"
