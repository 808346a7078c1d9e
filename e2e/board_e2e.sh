#!/bin/bash
# Board session on a real X server: Add in an editor, two regions with a cancelled capture in
# between, Done; the editor comes back with both pictures placed beside its own, and the panel
# never takes the keyboard from the application the user works in.
source "$(dirname "$0")/lib.sh"
# Where a window's client area starts on the screen.
client_origin() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'; }

start_x 1280x800
start_wm
start_tray
plasma_backdrop 1280x800
start_vistrel
crop() { convert "$E2E_TMP/picture.png" -crop "$3x$4+$1+$2" +repage "$5"; }
editor_up() { xdotool search --onlyvisible --name "^Vistrel — Editor$"; }
editor_gone() { ! xdotool search --onlyvisible --name "^Vistrel — Editor$" >/dev/null 2>&1; }
panel_up() { xdotool search --onlyvisible --name "^Add to board$"; }
panel_gone() { ! xdotool search --onlyvisible --name "^Add to board$" >/dev/null 2>&1; }
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
# The panel's buttons: Capture Region at (16, 50) 200 × 30, Done at (256, 50) 68 × 30.
panel_click() {
  local panel px py
  panel=$(panel_up | head -1)
  read -r px py < <(client_origin "$panel")
  case $1 in capture) click_at $(( px + 116 )) $(( py + 65 ));; done) click_at $(( px + 290 )) $(( py + 65 ));;
    title) click_at $(( px + 200 )) $(( py + 16 ));; esac
}

# --- an editor of a 300×200 region ----------------------------------------------------------------
xdotool key ctrl+shift+2
wait_for 5 overlay_up
drag 100 100 400 300
xdotool key Return
check "the editor opens" wait_for 5 editor_up
sleep 0.8
editor=$(editor_up | head -1)
read -r wx wy < <(client_origin "$editor")

# The application the user works in, beside the regions to capture.
xmessage -geometry 300x100+900+60 "Work in progress" >/dev/null 2>&1 &
E2E_PIDS+=($!)
wait_for 5 xdotool search --onlyvisible --name "^xmessage$"
work=$(xdotool search --onlyvisible --name "^xmessage$" | head -1)
xdotool windowactivate --sync "$editor" 2>/dev/null
sleep 0.3

# --- Add: the editor hides, the panel shows on every desktop -----------------------------------------
# The Add button, icon only at 1280 wide: after eleven 34-wide tool buttons, Redact Secrets, the
# colour button and the narrow width slider, its middle 587 from the window's left.
click_at $(( wx + 587 )) $(( wy + 8 + 15 ))
check "Add shows the board panel" wait_for 5 panel_up
check "Add hides the editor" wait_for 5 editor_gone
panel=$(panel_up | head -1)
xprop -id "$panel" _NET_WM_STATE WM_HINTS _NET_WM_DESKTOP >"$E2E_TMP/panel-props.txt"
# Every desktop: sticky, or (as openbox has it) the desktop number for all of them.
check "the panel is on every desktop, above, out of the task bar" sh -c \
  "grep -q 'STICKY\|_NET_WM_DESKTOP(CARDINAL) = 4294967295' '$E2E_TMP/panel-props.txt' &&
   grep -q ABOVE '$E2E_TMP/panel-props.txt' && grep -q SKIP_TASKBAR '$E2E_TMP/panel-props.txt'"
check "the panel asks never to be given the keyboard" grep -qi 'input or input focus: False' "$E2E_TMP/panel-props.txt"
xdotool windowactivate --sync "$work" 2>/dev/null
sleep 0.3
check "the work window has the keyboard" active_is "$work"
panel_click title
sleep 0.4
check "a click on the panel leaves the keyboard where it was" active_is "$work"

# --- Capture Region twice, with a cancel in between ----------------------------------------------------
panel_click capture
check "Capture Region shows the overlay" wait_for 5 overlay_up
check "the panel hides while the overlay is up" panel_gone
drag 500 150 700 300
check "the overlay closes when the region is drawn" wait_for 5 overlay_gone
check "the panel comes back after the capture" wait_for 5 panel_up
sleep 0.4
check "the work window has the keyboard again" active_is "$work"

panel_click capture
wait_for 5 overlay_up
sleep 0.3
xdotool key Escape
wait_for 5 overlay_gone
check "a cancelled capture shows the panel again" wait_for 5 panel_up
sleep 0.4
check "after the cancel the work window has the keyboard" active_is "$work"

panel_click capture
wait_for 5 overlay_up
drag 150 500 310 620
wait_for 5 overlay_gone
check "the panel comes back after the second capture" wait_for 5 panel_up
sleep 0.4

# --- Done: the editor comes back with both pictures placed -----------------------------------------------
panel_click done
check "Done brings the editor back" wait_for 5 editor_up
check "Done closes the panel" wait_for 5 panel_gone
sleep 0.5
editor=$(editor_up | head -1)
xdotool windowactivate --sync "$editor" 2>/dev/null
sleep 0.3
xdotool key ctrl+c # Original, at once
wait_for 5 window_mapped "^Copied to clipboard$"
sleep 0.3
clipboard_png "$E2E_TMP/board.png"
# The capture, then each added picture 40 to the right of everything, tops level.
check "the board holds three pictures side by side" \
  sh -c "identify -format '%wx%h' '$E2E_TMP/board.png' | grep -qx 740x200"
part() { convert "$E2E_TMP/board.png" -crop "$3x$4+$1+$2" +repage "$5"; }
crop 100 100 300 200 "$E2E_TMP/a.png"; part 0 0 300 200 "$E2E_TMP/got-a.png"
crop 500 150 200 150 "$E2E_TMP/b.png"; part 340 0 200 150 "$E2E_TMP/got-b.png"
crop 150 500 160 120 "$E2E_TMP/c.png"; part 580 0 160 120 "$E2E_TMP/got-c.png"
check "the editor's own capture is unchanged" same_pixels "$E2E_TMP/got-a.png" "$E2E_TMP/a.png"
check "the first board picture is placed 40 to its right" same_pixels "$E2E_TMP/got-b.png" "$E2E_TMP/b.png"
check "the second board picture is placed 40 to the right of the first" same_pixels "$E2E_TMP/got-c.png" "$E2E_TMP/c.png"

check "app still running" kill -0 "$VISTREL_PID"
finish
