#!/bin/bash
# What you see is what you get, on a 1920×1080 screen: the loupe's first frame, a full-screen
# drag, a window that closes right after the hot key, and saves that never fail silently.
source "$(dirname "$0")/lib.sh"

start_x 1920x1080
start_wm
start_tray
# A busy picture with one flat magenta block to find the loupe by.
convert -size 1920x1080 plasma:fractal -blur 0x1 -fill '#ff00ff' -draw 'rectangle 500,400 700,600' \
  -depth 8 "$E2E_TMP/picture.png" 2>/dev/null
set_backdrop "$E2E_TMP/picture.png"
start_vistrel

# --- the loupe's first frame shows what is under the pointer -----------------------------------------
xdotool mousemove 600 500
sleep 0.3
import -window root "$E2E_TMP/screen.png"
xdotool key ctrl+shift+2
wait_for 5 overlay_up
sleep 0.3
import -window root "$E2E_TMP/first-frame.png"
# The loupe (118 × 118) sits 22 right of and 22 above the pointer; away from its cross-hair it
# shows the magnified magenta, brighter than the dimmed block around it.
check "the loupe's first frame shows the pixel under the pointer" \
  [ "$(pixel_hex "$E2E_TMP/first-frame.png" 700 440)" = "#FF00FF" ]
check "the block beside it is dimmed" [ "$(pixel_hex "$E2E_TMP/first-frame.png" 520 420)" != "#FF00FF" ]

# --- a drag to the screen's last pixel takes the whole screen ---------------------------------------
drag 0 0 1919 1079
read -r bx by < <(toolbar_button Copy 0 0 1920 1080 1920 1080)
click_at "$bx" "$by"
check "overlay closes after Copy" wait_for 5 overlay_gone
wait_for 5 window_mapped "^Copied to clipboard$"
clipboard_png "$E2E_TMP/full.png"
check "a full-screen drag copies 1920×1080" \
  sh -c "identify -format '%wx%h' '$E2E_TMP/full.png' | grep -qx 1920x1080"
check "and every pixel of the screen" same_pixels "$E2E_TMP/full.png" "$E2E_TMP/screen.png"

# --- a window that closes when the overlay comes up is still in the picture -------------------------
# Menus and tooltips close as soon as the overlay takes the keyboard; the overlay shows the
# picture taken at the hot key, and that is what is copied.
xmessage -geometry 300x120+900+300 "Gone soon" >/dev/null 2>&1 &
msg=$!
E2E_PIDS+=($msg)
wait_for 5 xdotool search --onlyvisible --name "^xmessage$"
sleep 0.5
import -window root "$E2E_TMP/with-window.png"
xdotool key ctrl+shift+2
wait_for 5 overlay_up
kill "$msg"
sleep 0.5
drag 850 250 1250 470
read -r bx by < <(toolbar_button Copy 850 250 400 220 1920 1080)
click_at "$bx" "$by"
wait_for 5 overlay_gone
wait_for 5 window_mapped "^Copied to clipboard$"
clipboard_png "$E2E_TMP/vanished.png"
convert "$E2E_TMP/with-window.png" -crop 400x220+850+250 +repage "$E2E_TMP/expected-vanished.png"
check "a window gone after the hot key is in the copied picture" \
  same_pixels "$E2E_TMP/vanished.png" "$E2E_TMP/expected-vanished.png"

# --- saves: the content follows the name, and a failure says so and asks again -----------------------
save_dialog_up() { xdotool search --onlyvisible --name "^Save$"; }
save_area() { # NAME: Ctrl+Shift+2, drag, Save, type NAME
  xdotool key ctrl+shift+2
  wait_for 5 overlay_up
  drag 100 100 400 300
  read -r bx by < <(toolbar_button Save 100 100 300 200 1920 1080)
  click_at "$bx" "$by"
  wait_for 5 save_dialog_up
  sleep 0.5
  type_into_dialog "$1"
}
type_into_dialog() {
  xdotool windowactivate --sync "$(save_dialog_up | head -1)" 2>/dev/null
  xdotool key ctrl+a
  xdotool type --delay 5 "$1"
  xdotool key Return
}
save_area "$E2E_TMP/x.pdf"
check "x.pdf is written" wait_for 10 test -s "$E2E_TMP/x.pdf"
sleep 0.3
check "x.pdf is a one-page PDF of the area" sh -c \
  "pdfinfo '$E2E_TMP/x.pdf' | grep -q '^Pages: *1$' && pdfinfo '$E2E_TMP/x.pdf' | grep -q 'Page size: *300 x 200 pts'"
save_area "$E2E_TMP/noext"
check "a name without a type's extension gets .png" wait_for 10 test -s "$E2E_TMP/noext.png"
check "and is a PNG" sh -c "identify -format '%m %wx%h' '$E2E_TMP/noext.png' | grep -qx 'PNG 300x200'"
check "nothing is written under the bare name" [ ! -e "$E2E_TMP/noext" ]

# A folder that cannot be created: a plain file stands where it should be.
touch "$E2E_TMP/blocker"
save_area "$E2E_TMP/blocker/lost.png"
check "a failed save shows an error" wait_for 10 window_mapped "^Vistrel$"
check "and offers the save dialog again" wait_for 5 save_dialog_up
sleep 0.5
# The error stands above the dialog (later in the stacking order), so it is read first.
stacked_above() { # UPPER LOWER: window ids as xdotool gives them
  xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | tr ' ' '\n' | grep '^0x' |
    while read -r id; do printf '%d\n' "$id"; done | awk -v up="$1" -v low="$2" \
      '$1 == low {l = NR} $1 == up {u = NR} END {exit !(l && u && u > l)}'
}
check "the error stands above the dialog" \
  stacked_above "$(window_mapped "^Vistrel$" | head -1)" "$(save_dialog_up | head -1)"
type_into_dialog "$E2E_TMP/rescued.png"
check "the capture is saved on the second try" wait_for 10 test -s "$E2E_TMP/rescued.png"
sleep 0.3
convert "$E2E_TMP/screen.png" -crop 300x200+100+100 +repage "$E2E_TMP/expected-rescued.png"
check "with the area's pixels" same_pixels "$E2E_TMP/rescued.png" "$E2E_TMP/expected-rescued.png"

check "app still running" kill -0 "$VISTREL_PID"
finish
