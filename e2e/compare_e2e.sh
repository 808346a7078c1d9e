#!/bin/bash
# Compare on a real X server: an editor with a pasted picture placed beside its capture,
# Compare, Export GIF; the file has two frames of the capture's size, 0.9 s each, looping.
# Escape and Ctrl+W close the compare and beautify windows.
source "$(dirname "$0")/lib.sh"
# Where a window's client area starts on the screen.
client_origin() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'; }

start_x 1280x800
start_wm
start_tray
plasma_backdrop 1280x800
start_vistrel
editor_up() { xdotool search --onlyvisible --name "^Vistrel — Editor$"; }
compare_up() { xdotool search --onlyvisible --name "^Vistrel — Compare$"; }
compare_gone() { ! compare_up >/dev/null 2>&1; }
beautify_up() { xdotool search --onlyvisible --name "^Vistrel — Beautify$"; }
beautify_gone() { ! beautify_up >/dev/null 2>&1; }
origin_of() { client_origin "$1"; }
size_of() { xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}'; }

xdotool key ctrl+shift+2
wait_for 5 overlay_up
drag 200 150 600 450
xdotool key Return
check "the editor opens" wait_for 5 editor_up
sleep 0.8
editor=$(editor_up | head -1)
xdotool windowactivate --sync "$editor" 2>/dev/null

# A square picture pasted onto the canvas becomes the after picture.
convert -size 240x240 xc:'#22AA44' "$E2E_TMP/after.png"
xclip -selection clipboard -t image/png -i "$E2E_TMP/after.png"
sleep 0.3
xdotool key ctrl+v
sleep 0.5

read -r wx wy < <(origin_of "$editor")
read -r ww wh < <(size_of "$editor")
# Compare is the fifth right-hand button: Save, Copy and Share with their titles, then Beautify
# and Compare with their icons only (a 1280-wide window has no room for their titles).
click_at $(( wx + ww - 318 )) $(( wy + 8 + 15 ))
check "Compare opens its window" wait_for 5 compare_up
sleep 0.5
cmp=$(compare_up | head -1)
read -r cx cy < <(origin_of "$cmp")
read -r cw ch < <(size_of "$cmp")
# The divider follows a click.
click_at $(( cx + cw / 4 )) $(( cy + (ch - 48) / 2 ))
# Export GIF: the rightmost button of the bottom bar, 96 wide, 12 from the edge.
click_at $(( cx + cw - 12 - 48 )) $(( cy + ch - 24 ))
check "Export GIF opens the save panel" wait_for 5 xdotool search --onlyvisible --name "^Save$"
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 5 "$E2E_TMP/before-after.gif"
xdotool key Return
check "the GIF is written" wait_for 15 test -s "$E2E_TMP/before-after.gif"
check "the toast says GIF saved" wait_for 5 window_mapped "^GIF saved$"
frames=$(identify -format '%wx%h %T\n' "$E2E_TMP/before-after.gif")
check "two frames of the capture's size, 0.9 s each" [ "$frames" = "$(printf '400x300 90\n400x300 90')" ]
check "the GIF loops forever" sh -c "identify -verbose '$E2E_TMP/before-after.gif' | grep -q 'Iterations: 0'"
# Frame 2: the 240×240 after picture fitted to 300×300 in the middle, white at the sides.
convert "$E2E_TMP/before-after.gif[1]" "$E2E_TMP/after-frame.png"
check "the after frame is white beside the fitted picture" [ "$(pixel_hex "$E2E_TMP/after-frame.png" 20 150)" = "#FFFFFF" ]
check "the after frame shows the pasted picture" [ "$(pixel_hex "$E2E_TMP/after-frame.png" 200 150)" = "#22AA44" ]

# --- the side windows close from the keyboard, as every window does; the editor stays ---------------
xdotool windowactivate --sync "$cmp" 2>/dev/null
sleep 0.3
xdotool key Escape
check "Escape closes the compare window" wait_for 5 compare_gone
xdotool windowactivate --sync "$editor" 2>/dev/null
# Beautify is the fourth right-hand button.
click_at $(( wx + ww - 276 )) $(( wy + 8 + 15 ))
check "Beautify opens its window" wait_for 5 beautify_up
sleep 0.5
xdotool windowactivate --sync "$(beautify_up | head -1)" 2>/dev/null
sleep 0.3
xdotool key ctrl+w
check "Ctrl+W closes the beautify window" wait_for 5 beautify_gone
# Asked again after a moment: a search while a window is being destroyed can miss the others.
sleep 0.5
check "the editor stays open" wait_for 3 editor_up

check "app still running" kill -0 "$VISTREL_PID"
finish
