#!/bin/bash
# Scrolling capture in applications nobody here wrote: xterm turned by Auto Scroll, a GTK text
# view (zenity) turned by hand one wheel notch at a time, and the same view editable with its
# caret blinking. The stitched picture is read back with tesseract: every numbered row must be
# there exactly once, in order. The reading is first tried on a plain screenshot of the same
# text, so a misreading reader cannot pass for a good picture.
source "$(dirname "$0")/lib.sh"
command -v xterm >/dev/null && command -v zenity >/dev/null || skip "needs xterm and zenity"

start_x 1280x900
start_wm
start_tray
start_vistrel
export NO_AT_BRIDGE=1 # GTK without the accessibility bus: nothing to wait for
ROWS=300
seq -f 'row %03g of the capture, then some words' 1 "$ROWS" >"$E2E_TMP/rows.txt"

panel_up() { xdotool search --onlyvisible --name "^Scrolling Capture$"; }
card_up() { xdotool search --onlyvisible --name "^Vistrel Preview$"; }
kept_count() { ls "$E2E_TMP/captures" 2>/dev/null | grep -c png; }
newest_kept() { ls -t "$E2E_TMP/captures"/*.png | head -1; }

# rows_in PICTURE OUT: the row numbers tesseract reads in PICTURE, one a line, into OUT.
rows_in() {
  # A white margin: the reader drops text that touches the picture's edge.
  convert "$1" -colorspace Gray -bordercolor white -border 24 -resize 200% "$2.png"
  # The number and the words after it: a caret beside "row" can spoil that word alone.
  OMP_THREAD_LIMIT=1 tesseract "$2.png" - --psm 6 2>/dev/null | grep -oE '[0-9]{3} of the' |
    awk '{print $1 + 0}' >"$2"
}
# in_order FILE FIRST LAST: FILE holds FIRST..LAST, each once, in order.
in_order() {
  if [ "$(cat "$1")" = "$(seq "$2" "$3")" ]; then return 0; fi
  echo "read $(wc -l <"$1") rows; missing: $(comm -13 <(sort "$1") <(seq "$2" "$3" | sort) | sort -n | tr '\n' ' ' | head -c 300)"
  echo "repeated: $(sort "$1" | uniq -d | sort -n | tr '\n' ' ')"
  return 1
}
# reader_is_honest WINDOW FILE: a screenshot of WINDOW as it is now reads as rows 1..N (N > 10).
reader_is_honest() {
  import -window "$1" "$E2E_TMP/$2-plain.png" && rows_in "$E2E_TMP/$2-plain.png" "$E2E_TMP/$2-plain"
  local n; n=$(tail -1 "$E2E_TMP/$2-plain")
  [ "${n:-0}" -gt 10 ] && in_order "$E2E_TMP/$2-plain" 1 "$n"
}
# panel_at: "X Y" of the control panel; xdotool's search can trip over a window that goes
# while it looks, so it is asked again.
panel_at() {
  local panel
  for _ in $(seq 20); do
    panel=$(panel_up 2>/dev/null | head -1)
    [ -n "$panel" ] && frame_of "$panel" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}
# select_area X0 Y0 X1 Y1: Ctrl+Shift+8 and a drag over the area; sets PX PY (the panel).
select_area() {
  xdotool key ctrl+shift+8
  check "Ctrl+Shift+8 shows the overlay" wait_for 5 overlay_up
  drag "$1" "$2" "$3" "$4"
  check "the control panel appears" wait_for 5 panel_up
  sleep 0.5
  read -r PX PY _ _ < <(panel_at)
}
# inner_of WINDOW: "X Y W H" of the window's inside, without decorations.
inner_of() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}
# stitched_rows NAME: waits for the card, then checks the kept picture's rows.
stitched_rows() {
  check "the preview card opens ($1)" wait_for 90 card_up
  sleep 0.5
  cp "$(newest_kept)" "$E2E_TMP/$1-stitched.png"
  rows_in "$E2E_TMP/$1-stitched.png" "$E2E_TMP/$1-rows"
  check "$1: every one of the $ROWS rows is in the picture once, in order" \
    in_order "$E2E_TMP/$1-rows" 1 "$ROWS"
  xdotool windowactivate --sync "$(card_up | head -1)" key Escape 2>/dev/null
  check "the card closes ($1)" wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Vistrel Preview$'"
}

# --- xterm, Auto Scroll ------------------------------------------------------------------------
xterm -geometry 80x36+60+40 -fa 'DejaVu Sans Mono' -fs 12 -sl 2000 -title Rows \
  -e sh -c "cat '$E2E_TMP/rows.txt'; exec sleep 600" >"$E2E_TMP/xterm.log" 2>&1 &
E2E_PIDS+=($!)
check "xterm shows" wait_for 10 window_mapped "^Rows$"
term=$(window_mapped "^Rows$" | head -1)
sleep 1
# Back to the first row of the scroll-back, as a reader would before capturing.
xdotool windowactivate --sync "$term"
for _ in $(seq 40); do xdotool key shift+Prior; done
sleep 0.5
check "the reader reads xterm's rows (a plain screenshot gives 1..N)" reader_is_honest "$term" xterm
read -r tx ty tw th < <(inner_of "$term")
# Wider than the screen leaves room for: the panel sits over the area's top rows.
select_area $((tx + 1)) $((ty + 1)) $((tx + tw - 2)) $((ty + th - 2))
import -window "$term" "$E2E_TMP/xterm-before.png"
click_at $((PX + 274)) $((PY + 109)) # Auto Scroll
# On a loaded machine the panel may take the click before it is ready: once the terminal has
# not moved for a while, Auto Scroll is pressed again.
for _ in 1 2 3; do
  sleep 3
  card_up >/dev/null 2>&1 && break
  import -window "$term" "$E2E_TMP/xterm-now.png" 2>/dev/null || break
  same_pixels "$E2E_TMP/xterm-before.png" "$E2E_TMP/xterm-now.png" || break
  click_at $((PX + 274)) $((PY + 109))
done
stitched_rows xterm
kill %?Rows 2>/dev/null; xdotool windowclose "$term" 2>/dev/null

# --- a GTK text view, one wheel notch at a time by hand, then Done ------------------------------
# view_rows EDITABLE: zenity's text view of the rows, 600 wide, its view's inside in VX VY VW VH.
view_rows() {
  zenity --text-info --title="GTK rows" --filename="$E2E_TMP/rows.txt" --width=600 --height=700     --font='DejaVu Sans Mono 11' $1 >/dev/null 2>"$E2E_TMP/zenity.log" &
  ZENITY=$!
  E2E_PIDS+=($ZENITY)
  check "the GTK text view shows" wait_for 15 window_mapped "^GTK rows$"
  VIEW=$(window_mapped "^GTK rows$" | head -1)
  xdotool windowmove --sync "$VIEW" 40 40
  sleep 1
  read -r gx gy gw gh < <(inner_of "$VIEW")
  # The text view: inside the dialog's 13-pixel margin (the text starts at 16), above its buttons.
  VX=$((gx + 14)) VY=$((gy + 14)) VW=$((gw - 40)) VH=$((gh - 90))
}
# by_hand NAME: select the view, turn the wheel a notch at a time to the end, Done.
by_hand() {
  select_area "$VX" "$VY" $((VX + VW)) $((VY + VH))
  xdotool mousemove $((VX + VW / 2)) $((VY + VH / 2))
  sleep 2 # still frames first: a blinking caret must add nothing
  for _ in $(seq 90); do xdotool click 5; sleep 0.4; done
  sleep 0.5
  click_at $((PX + 203)) $((PY + 143)) # Done
  stitched_rows "$1"
}

view_rows ""
check "the reader reads the GTK view's rows" reader_is_honest "$VIEW" gtk
by_hand gtk
kill "$ZENITY" 2>/dev/null
# The next view has the same title: the last one must be gone before it is looked for.
wait_for 10 sh -c '! xdotool search --onlyvisible --name "^GTK rows$"'

# The same view editable, its caret blinking on the first row.
view_rows --editable
xdotool mousemove $((VX + 200)) $((VY + 8)) click 1
by_hand gtk-caret

# --- Escape typed into another application stops Auto Scroll, and that application keeps it ----
xev -geometry 200x120+960+520 -event keyboard >"$E2E_TMP/other-got" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 grep -q . "$E2E_TMP/other-got"
sleep 0.5
select_area "$VX" "$VY" $((VX + VW)) $((VY + VH))
click_at $((PX + 274)) $((PY + 109)) # Auto Scroll
sleep 1.5
xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^Event Tester$' | head -1)" key Escape
sleep 0.8
rows_below="${VW}x$((VH / 2))+${VX}+$((VY + VH / 2))"
import -window root -crop "$rows_below" "$E2E_TMP/stopped-1.png"
sleep 1.2
import -window root -crop "$rows_below" "$E2E_TMP/stopped-2.png"
check "Escape pressed in another application stops Auto Scroll" \
  same_pixels "$E2E_TMP/stopped-1.png" "$E2E_TMP/stopped-2.png"
check "and that application got the key" wait_for 3 grep -q "(keysym 0xff1b, Escape)" "$E2E_TMP/other-got"
click_at $((PX + 344)) $((PY + 143)) # Cancel
check "Cancel ends the capture" wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Scrolling Capture$'"
kill "$ZENITY" 2>/dev/null

finish
