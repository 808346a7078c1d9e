#!/bin/bash
# Area capture on a real X server: drag, toolbar, Copy, Save, Pin, window click, Escape.
source "$(dirname "$0")/lib.sh"

start_x 1280x800
start_wm
start_tray
plasma_backdrop 1280x800
start_vistrel
crop() { convert "$E2E_TMP/picture.png" -crop "$3x$4+$1+$2" +repage "$5"; }

# --- drag, Copy: the clipboard holds exactly that region -------------------------------------
xdotool key ctrl+shift+2
check "Ctrl+Shift+2 shows the overlay" wait_for 5 overlay_up
xdotool key ctrl+shift+2
sleep 0.3
check "a second Ctrl+Shift+2 changes nothing" [ "$(overlay_count)" = 1 ]
drag 200 150 520 390
read -r bx by < <(toolbar_button Copy 200 150 320 240 1280 800)
click_at "$bx" "$by"
check "overlay closes after Copy" wait_for 5 overlay_gone
check "toast says Copied to clipboard" wait_for 5 window_mapped "^Copied to clipboard$"
clipboard_png "$E2E_TMP/clip.png"
crop 200 150 320 240 "$E2E_TMP/expected.png"
check "clipboard PNG equals the selected region" same_pixels "$E2E_TMP/clip.png" "$E2E_TMP/expected.png"

# --- Save as JPEG, then as PNG ----------------------------------------------------------------
save_as() {
  xdotool key ctrl+shift+2
  wait_for 5 overlay_up
  drag 600 100 900 300
  read -r bx by < <(toolbar_button Save 600 100 300 200 1280 800)
  click_at "$bx" "$by"
  wait_for 5 xdotool search --onlyvisible --name "^Save$"
  sleep 0.5
  xdotool key ctrl+a
  xdotool type --delay 5 "$1"
  xdotool key Return
  wait_for 10 test -s "$1"
  sleep 0.3
}
save_as "$E2E_TMP/shot.jpg"
check "Save writes a JPEG for .jpg" sh -c "identify -format '%m %wx%h' '$E2E_TMP/shot.jpg' | grep -qx 'JPEG 300x200'"
save_as "$E2E_TMP/shot.png"
check "Save writes a PNG for .png" sh -c "identify -format '%m %wx%h' '$E2E_TMP/shot.png' | grep -qx 'PNG 300x200'"
crop 600 100 300 200 "$E2E_TMP/expected-save.png"
check "saved PNG has the screen's pixels" same_pixels "$E2E_TMP/shot.png" "$E2E_TMP/expected-save.png"

# --- Pin: the picture's real size, top-right, double click closes --------------------------------
xdotool key ctrl+shift+2
wait_for 5 overlay_up
drag 100 400 300 550
read -r bx by < <(toolbar_button Pin 100 400 200 150 1280 800)
click_at "$bx" "$by"
check "a pin appears" wait_for 5 xdotool search --onlyvisible --name "^Vistrel Pin$"
pin=$(xdotool search --onlyvisible --name "^Vistrel Pin$" | head -1)
read -r px py pw ph < <(frame_of "$pin")
check "a 200×150 capture pins at 200×150 on a 1× screen" [ "$pw x $ph" = "200 x 150" ]
check "pin sits 40 in from the top-right corner" [ "$px,$py" = "1040,40" ]
xdotool mousemove $(( px + 50 )) $(( py + 50 )) sleep 0.2 click --repeat 2 --delay 80 1
pin_gone() { ! xdotool search --onlyvisible --name "^Vistrel Pin$" >/dev/null 2>&1; }
check "double click closes the pin" wait_for 5 pin_gone

# --- a plain click on a window selects its frame ------------------------------------------------
xmessage -geometry 300x120+700+420 "Some window" >/dev/null 2>&1 &
E2E_PIDS+=($!)
# Framed once the window manager has said how: the frame is part of the window's picture. The
# search is repeated until then: a window that goes while xdotool walks the tree ends its search.
framed_xmessage() {
  win=$(xdotool search --onlyvisible --name "^xmessage$" 2>/dev/null | head -1)
  [ -n "$win" ] && xprop -id "$win" _NET_FRAME_EXTENTS | grep -q ' = '
}
wait_for 5 framed_xmessage
read -r fx fy fw fh < <(frame_of "$win")
# The screen as the capture will see it: once the new window has painted (two pictures agree).
import -window root "$E2E_TMP/with-window.png"
for _ in 1 2 3 4 5 6 7 8 9 10; do
  sleep 0.3
  import -window root "$E2E_TMP/with-window-next.png"
  same_pixels "$E2E_TMP/with-window.png" "$E2E_TMP/with-window-next.png" && break
  mv "$E2E_TMP/with-window-next.png" "$E2E_TMP/with-window.png"
done
xdotool key ctrl+shift+2
wait_for 5 overlay_up
xdotool mousemove $(( fx + 40 )) $(( fy + 60 )) sleep 0.2 mousemove $(( fx + 42 )) $(( fy + 62 )) sleep 0.2 click 1
# The selection's toolbar is painted after the click; a loaded machine takes longer.
sleep 1
read -r bx by < <(toolbar_button Copy "$fx" "$fy" "$fw" "$fh" 1280 800)
click_at "$bx" "$by"
wait_for 5 overlay_gone
wait_for 5 window_mapped "^Copied to clipboard$"
clipboard_png "$E2E_TMP/clip-window.png"
convert "$E2E_TMP/with-window.png" -crop "${fw}x${fh}+${fx}+${fy}" +repage "$E2E_TMP/expected-window.png"
check "a click selects the window's frame" same_pixels "$E2E_TMP/clip-window.png" "$E2E_TMP/expected-window.png"

# --- Escape cancels everything and a new capture starts at once ---------------------------------
xdotool key ctrl+shift+2
wait_for 5 overlay_up
drag 300 300 400 400
xdotool key Escape
check "Escape closes the overlay" wait_for 5 overlay_gone
xdotool key ctrl+shift+2
check "a new capture starts at once" wait_for 5 overlay_up
xdotool key Escape
wait_for 5 overlay_gone

# --- Return presses Edit -------------------------------------------------------------------------
xdotool key ctrl+shift+2
wait_for 5 overlay_up
drag 300 300 400 380
xdotool key Return
check "Return opens the editor" wait_for 5 window_mapped "Vistrel — Editor"

check "app still running" kill -0 "$VISTREL_PID"
finish
