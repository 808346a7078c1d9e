#!/bin/bash
# The Save dialog never holds the app up: a save into /proc fails with a message, the dialog
# comes back in the last folder a save went to (not in /proc, whose special files can block
# whoever reads them), and the hot keys still answer while it is open.
source "$(dirname "$0")/lib.sh"

start_x 1280x800
start_wm
start_tray
plasma_backdrop 1280x800
export HOME=$E2E_TMP/home
mkdir -p "$HOME/pictures"
start_vistrel
save_dialog() { xdotool search --onlyvisible --name "^Save$"; }

# save_area PATH: Ctrl+Shift+2, a drag, Save, and PATH typed into the dialog.
save_area() {
  xdotool key ctrl+shift+2
  wait_for 5 overlay_up
  drag 600 100 900 300
  read -r bx by < <(toolbar_button Save 600 100 300 200 1280 800)
  click_at "$bx" "$by"
  wait_for 5 save_dialog
  sleep 0.5
  xdotool key ctrl+a
  xdotool type --delay 5 "$1"
  xdotool key Return
}

save_area "$HOME/pictures/good.png"
check "a first save lands" wait_for 10 test -s "$HOME/pictures/good.png"
save_area /proc/shot.png
check "a save into /proc says it could not" wait_for 10 xdotool search --onlyvisible --name "^Vistrel$"
check "and the dialog comes back" wait_for 10 save_dialog
sleep 2
# Responsive: another hot key still opens an overlay while the dialog is up.
xdotool key ctrl+shift+2
check "Ctrl+Shift+2 still opens an overlay" wait_for 5 overlay_up
xdotool key Escape
wait_for 5 overlay_gone
dialog=$(save_dialog | head -1)
focus_dialog() {
  xdotool windowactivate --sync "$dialog" 2>/dev/null; xdotool windowfocus --sync "$dialog" 2>/dev/null
  sleep 0.3
}
# Gone into /proc by hand, the dialog lists it without reading its files (/proc/kmsg blocks).
focus_dialog
xdotool key ctrl+a
xdotool type --delay 5 "/proc/"
xdotool key Return
sleep 2
xdotool key ctrl+shift+2
check "with /proc listed in the dialog, Ctrl+Shift+2 still opens an overlay" wait_for 5 overlay_up
xdotool key Escape
wait_for 5 overlay_gone
# Back in the last good folder, a bare name lands there.
focus_dialog
xdotool key ctrl+a
xdotool type --delay 5 "$HOME/pictures/"
xdotool key Return
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 5 "again.png"
xdotool key Return
check "the reopened dialog saves into the last good folder" wait_for 10 test -s "$HOME/pictures/again.png"
check "nothing was written into /proc" test ! -e /proc/shot.png
kill -TERM "$VISTREL_PID"
check "SIGTERM ends it" wait_for 10 sh -c "! kill -0 $VISTREL_PID 2>/dev/null"
finish
