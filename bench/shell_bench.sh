#!/bin/bash
# The app's memory and its full-screen capture on a 1920×1080 Xvfb screen with openbox, a tray
# and a busy picture: idle PSS, PSS after 20 area captures with Copy and 5 editors opened and
# closed, and Ctrl+Shift+1 → editor mapped and first painted (20 runs) beside a minimal client
# that maps and paints a full-screen window on a hot key.   bench/shell_bench.sh [BUILD_DIR]
source "$(dirname "$0")/lib.sh"
start_screen
# Floor: a bare Qt Widgets program with a tray icon, idle, in the same session.
qt_floor=$build/bench/vistrel_qt_idle_floor
if [ -x "$qt_floor" ]; then
  "$qt_floor" >"$tmp/qt-floor.out" 2>&1 &
  floor_pid=$!
  until_ok 10 grep -q ready "$tmp/qt-floor.out" && sleep 2
  echo "floor (bare Qt Widgets tray program, idle): PSS $(mib "$(pss_kib "$floor_pid")") ($(pss_split "$floor_pid"))"
fi
# The floor program stays while the app's memory is measured, as on a desktop where another Qt
# program runs: the libraries' pages are then shared, as PSS counts them there.
start_app
[ -n "${floor_pid:-}" ] && echo "(the app's PSS below is measured beside the floor program)"
idle_pss=$(pss_kib "$app")
echo "idle: PSS $(mib "$idle_pss") ($(pss_split "$app")), RSS $(mib "$(rss_kib "$app")")"

editor_up() { xdotool search --onlyvisible --name "^Vistrel — Editor$"; }
editor_gone() { ! editor_up; }
copies=0
editors=0
captures() { # AREAS EDITORS
  for run in $(seq "$1"); do
    area_copy $(( 100 + run * 20 )) $(( 100 + run * 10 )) 800 600 && copies=$((copies + 1))
    sleep 0.5
  done
  for run in $(seq "$2"); do
    xdotool key ctrl+shift+1
    until_ok 10 editor_up || continue
    sleep 0.5
    wmctrl -c "Vistrel — Editor"
    until_ok 10 editor_gone && editors=$((editors + 1))
    sleep 0.5
  done
}
# report WHEN
report() {
  after_pss=$(pss_kib "$app")
  echo "after $copies area captures with Copy and $editors editors opened and closed, $1:" \
    "PSS $(mib "$after_pss") ($(pss_split "$app")), RSS $(mib "$(rss_kib "$app")"), $(mib $(( after_pss - idle_pss ))) above idle"
}
# The first capture and editor load what stays for good (code, font faces); more captures
# must add nothing to that. The windows kept for the next capture go 30 s after the last use.
captures 1 1
sleep 32
report "32 s later, kept windows gone"
captures 19 4
sleep 3
report "3 s later, windows kept"
sleep 29
report "32 s later, kept windows gone"
echo "(targets: PSS after <= 25 MiB, and within 5 MiB of idle)"

# Pins keep only their own pixels: 20 pins of 100×100 areas, measured once the overlay's kept
# windows are gone. Floor: their pixels, 20 × 100 × 100 × 4 bytes = 0.76 MiB.
area_pin() {
  local bx by
  read -r bx by < <(select_area "$@") || return 1
  xdotool mousemove $(( bx + 128 )) "$by" sleep 0.1 click 1 # Pin, two buttons right of Copy
  until_ok 5 overlay_gone
}
pins_before=$(pss_kib "$app")
pins_own_before=$(own_kib "$app")
for run in $(seq 20); do
  area_pin $(( 100 + run * 40 )) $(( 300 + run * 17 )) 100 100
  sleep 0.5
done
sleep 32
pins_after=$(pss_kib "$app")
echo "20 pins of 100×100 areas: $(xdotool search --onlyvisible --name '^Vistrel Pin$' | wc -l) open," \
  "PSS $(mib "$pins_before") → $(mib "$pins_after") ($(pss_split "$app")), $(mib $(( pins_after - pins_before ))) more;" \
  "without mapped files $(mib $(( $(own_kib "$app") - pins_own_before ))) more"
echo "(target: under 2 MiB more; floor: their pixels, 0.76 MiB)"
[ -n "${floor_pid:-}" ] && { kill "$floor_pid"; wait "$floor_pid" 2>/dev/null; }

echo "== the preview card of a 1600×20000 scrolling capture (bench/preview_bench.cpp)"
"$build/bench/vistrel_preview_bench" 2>/dev/null

# The editor's figures from a fresh start: the first run is the first editor after the start.
kill "$app"; wait "$app" 2>/dev/null
start_app

echo "== hot key → full-screen window (floor: bench/hotkey_floor.cpp)"
floor_latency 5 | tee "$tmp/floor.txt"
echo "== Ctrl+Shift+1 → editor"
"$latency" 1 "Vistrel — Editor" 20 | tee "$tmp/app.txt"
ratios "$tmp/app.txt" "$tmp/floor.txt"
echo "(targets: painted median <= 60 ms, first (the first editor after the start) <= 40 ms)"
