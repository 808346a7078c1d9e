#!/bin/bash
# Preferences end to end: a hot key rebound in the Preferences window works and the old one
# no longer does; Save without asking writes a new file per capture and never overwrites.
source "$(dirname "$0")/lib.sh"

start_x 1280x800
start_wm
start_tray
conf="$XDG_CONFIG_HOME/vistrel/vistrel.conf"
shots="$E2E_TMP/shots"
mkdir -p "$shots" "$(dirname "$conf")"
printf '[save]\nfolder=%s\nwithoutAsking=true\n' "$shots" >"$conf"
plasma_backdrop 1280x800
start_vistrel
docked() { xwininfo -root -tree | grep -A4 '"panel"' | grep -q '"Vistrel"'; }
wait_for 5 docked
prefs_up() { xdotool search --onlyvisible --name "^Vistrel Preferences$"; }

# --- rebind Capture Area in the window: press the new combination in its field ----------------
tray_menu 10 # Preferences… (the disabled information line is skipped)
check "Preferences… opens the window" wait_for 5 prefs_up
sleep 0.5
xdotool key ctrl+alt+a
check "the new combination is stored" wait_for 3 grep -q '1=Ctrl+Alt+A' "$conf"
wmctrl -c "Vistrel Preferences"
wait_for 5 sh -c '! xdotool search --onlyvisible --name "^Vistrel Preferences$"'
sleep 0.3

xdotool key ctrl+shift+2
sleep 1
check "the old combination no longer opens the overlay" overlay_gone
xdotool key ctrl+alt+a
check "the rebound combination opens the overlay" wait_for 5 overlay_up
xdotool key Escape
wait_for 5 overlay_gone
check "another program can now take the old combination" sh -c "
  '$VISTREL_KEYGRAB' 2 >'$E2E_TMP/keygrab.out' 2>&1 & pid=\$!
  for i in \$(seq 50); do grep -q ready '$E2E_TMP/keygrab.out' && break; sleep 0.1; done
  kill \$pid; grep -q ready '$E2E_TMP/keygrab.out'"

# --- Save without asking: a new file per capture, nothing overwritten ---------------------------
# Files with the names the next seconds would get are already there: they must stay as they are.
for s in $(seq 0 20); do
  name="Vistrel $(date -d "+$s seconds" '+%Y-%m-%d at %H.%M.%S').png"
  echo keep >"$shots/$name"
done
before=$(ls "$shots" | wc -l)
save_area() {
  xdotool key ctrl+alt+a
  wait_for 5 overlay_up
  drag 100 100 300 250
  read -r bx by < <(toolbar_button Save 100 100 200 150 1280 800)
  click_at "$bx" "$by"
  wait_for 5 overlay_gone
}
save_area
check "a save writes a file without asking" wait_for 5 sh -c "[ \$(ls '$shots' | wc -l) = $((before + 1)) ]"
save_area
check "a second save writes another file" wait_for 5 sh -c "[ \$(ls '$shots' | wc -l) = $((before + 2)) ]"
check "no save dialog opened" sh -c '! xdotool search --onlyvisible --name "^Save$" >/dev/null 2>&1'
kept=$(grep -l '^keep$' "$shots"/*.png | wc -l)
check "files already there are not overwritten" [ "$kept" = 21 ]
new=$(ls -t "$shots"/*'(2).png' 2>/dev/null | head -1)
check "the new file got a free name" test -n "$new"
[ -n "$new" ] && convert "$E2E_TMP/picture.png" -crop 200x150+100+100 +repage "$E2E_TMP/expected.png" &&
  check "and holds the capture" same_pixels "$new" "$E2E_TMP/expected.png"

finish
