#!/bin/bash
# The tray, the hot keys and the full-screen capture on a real X server.
source "$(dirname "$0")/lib.sh"

# --- started without a display: a clear message and status 1, not a crash ------------------
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$VISTREL_BIN" 2>&1); rc=$?
check "no DISPLAY exits 1" [ "$rc" = 1 ]
check "no DISPLAY says why" grep -q "no X display" <<<"$out"
out=$(env -u DISPLAY WAYLAND_DISPLAY=wayland-0 "$VISTREL_BIN" 2>&1); rc=$?
check "Wayland without X exits 1 with a message" sh -c "[ $rc = 1 ] && grep -q Wayland <<'X'
$out
X"
out=$(DISPLAY=:4711 "$VISTREL_BIN" 2>&1); rc=$?
check "unreachable display exits 1" [ "$rc" = 1 ]
check "unreachable display names it" grep -q ':4711' <<<"$out"
check "--version" sh -c "'$VISTREL_BIN' --version | grep -q '^vistrel [0-9]'"

start_x 1280x800
start_wm

# --- without a tray host: says so once, and the hot keys still work ---------------------------
start_vistrel
check "missing tray reported once" [ "$(grep -c 'no system tray' "$E2E_TMP/vistrel.log")" = 1 ]
xdotool key ctrl+shift+1
check "Ctrl+Shift+1 works without a tray" wait_for 5 window_mapped "Vistrel — Editor"
stop_vistrel
rm -rf "$E2E_TMP/captures"

# --- with a tray: the icon docks --------------------------------------------------------------
start_tray
start_vistrel
docked() { xwininfo -root -tree | grep -A4 '"panel"' | grep -q '"Vistrel"'; }
check "tray icon docks" wait_for 5 docked

# --- Ctrl+Shift+1 opens the editor with exactly what the screen shows --------------------------
convert -size 1280x800 plasma:fractal -blur 0x1 -depth 8 "$E2E_TMP/picture.png" 2>/dev/null
show_picture "$E2E_TMP/picture.png"
import -window root "$E2E_TMP/before.png"
xdotool key ctrl+shift+1
check "Ctrl+Shift+1 maps the editor" wait_for 5 window_mapped "Vistrel — Editor"
check "editor picture equals the screen pixel for pixel" \
  same_pixels "$E2E_TMP/captures/capture-1.png" "$E2E_TMP/before.png"

# --- the editor closes cleanly and a new capture opens a new one -------------------------------
wmctrl -c "Vistrel — Editor"
gone() { ! xdotool search --onlyvisible --name "Vistrel — Editor"; }
check "editor closes" wait_for 5 gone
check "app still running after closing the editor" kill -0 "$VISTREL_PID"
xdotool key ctrl+shift+1
check "a second full-screen capture opens an editor" wait_for 5 window_mapped "Vistrel — Editor"
check "second capture kept" wait_for 5 test -f "$E2E_TMP/captures/capture-2.png"
wmctrl -c "Vistrel — Editor"
wait_for 5 gone
stop_vistrel

# --- another client holds one combination: the others still reach Vistrel ----------------------
"$VISTREL_KEYGRAB" 1 >"$E2E_TMP/keygrab.out" 2>&1 &
E2E_PIDS+=($!)
wait_for 5 grep -q ready "$E2E_TMP/keygrab.out"
rm -rf "$E2E_TMP/captures"
start_vistrel
xdotool key ctrl+shift+1
check "the held combination goes to its holder" wait_for 5 grep -q pressed "$E2E_TMP/keygrab.out"
check "and opens no editor" sh -c "! xdotool search --onlyvisible --name 'Vistrel — Editor'"
for digit in 2 9 8; do
  xdotool key ctrl+shift+$digit
  check "Ctrl+Shift+$digit still fires while Ctrl+Shift+1 is held elsewhere" wait_for 5 overlay_up
  xdotool key Escape
  wait_for 5 overlay_gone
done
check "app survived the conflict" kill -0 "$VISTREL_PID"

finish
