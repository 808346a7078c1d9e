#!/bin/bash
# Window capture and colour pick, started from the tray menu.
source "$(dirname "$0")/lib.sh"

start_x 1280x800
start_wm
start_tray
plasma_backdrop 1280x800
xmessage -geometry 320x140+300+250 "A window to capture" >/dev/null 2>&1 &
E2E_PIDS+=($!)
wait_for 5 xdotool search --onlyvisible --name "^xmessage$"
start_vistrel
check "tray icon docks" wait_for 5 sh -c "xwininfo -root -tree | grep -A4 '\"panel\"' | grep -q '\"Vistrel\"'"

# --- window capture: a click on a window opens its frame in the editor ---------------------------
win=$(xdotool search --onlyvisible --name "^xmessage$" | head -1)
read -r fx fy fw fh < <(frame_of "$win")
import -window root "$E2E_TMP/screen.png"
tray_menu 4
check "Capture Window shows the picking overlay" wait_for 5 overlay_up
xdotool mousemove $(( fx + 60 )) $(( fy + 70 )) sleep 0.2 mousemove $(( fx + 61 )) $(( fy + 71 )) sleep 0.2 click 1
check "the picked window opens in the editor" wait_for 5 window_mapped "Vistrel — Editor"
convert "$E2E_TMP/screen.png" -crop "${fw}x${fh}+${fx}+${fy}" +repage "$E2E_TMP/expected-window.png"
check "editor picture is the window's frame" same_pixels "$E2E_TMP/captures/capture-1.png" "$E2E_TMP/expected-window.png"
wmctrl -c "Vistrel — Editor"
sleep 0.5

# --- a click where no window is cancels the picking -----------------------------------------------
tray_menu 4
wait_for 5 overlay_up
xdotool mousemove 1000 650 sleep 0.2 mousemove 1001 651 sleep 0.2 click 1
check "a click on no window cancels" wait_for 5 overlay_gone
check "and opens nothing" sh -c "! xdotool search --onlyvisible --name 'Vistrel — Editor'"

# --- colour pick: the clipboard holds the picked pixel's hex code ----------------------------------
tray_menu 7
check "Pick Color shows the picker" wait_for 5 overlay_up
xdotool mousemove 900 600 sleep 0.2 mousemove 901 601 sleep 0.3 click 1
check "the picker closes after a click" wait_for 5 overlay_gone
expected=$(pixel_hex "$E2E_TMP/picture.png" 901 601 | tr a-f A-F)
check "toast says Copied $expected" wait_for 5 window_mapped "^Copied $expected\$"
check "clipboard holds the picked colour ($expected)" wait_for 3 sh -c "[ \"\$(xclip -selection clipboard -o)\" = '$expected' ]"

# --- Escape cancels the pick and leaves the clipboard alone -----------------------------------------
tray_menu 7
wait_for 5 overlay_up
xdotool key Escape
check "Escape closes the picker" wait_for 5 overlay_gone
check "clipboard unchanged after Escape" [ "$(clipboard_text)" = "$expected" ]

check "app still running" kill -0 "$VISTREL_PID"
finish
