#!/bin/bash
# The editor on a real X server: Return on a selection opens it; a rectangle drawn after its
# letter, an arrow after its toolbar button; Ctrl+C copies, Undo, Save's menu → PDF, Ctrl+W.
source "$(dirname "$0")/lib.sh"

start_x 1280x800
start_wm
start_tray
# A grey desktop with one blue 400×300 block: the capture, easy to find again on screen.
BLUE='#3366CC'
convert -size 1280x800 xc:'#808080' -fill "$BLUE" -draw "rectangle 200,150 599,449" \
  "$E2E_TMP/picture.png"
set_backdrop "$E2E_TMP/picture.png"
start_vistrel

editor_up() { xdotool search --onlyvisible --name "^Vistrel — Editor$"; }
editor_gone() { ! xdotool search --onlyvisible --name "^Vistrel — Editor$" >/dev/null 2>&1; }

# Where the blue picture shows in the editor below its toolbar: "X Y W H" on screen, the
# bounding box of its colour.
find_picture() {
  import -window root "$E2E_TMP/screen.png"
  convert "$E2E_TMP/screen.png" -crop "1280x$(( 800 - wy - 46 ))+0+$(( wy + 46 ))" +repage \
    -fill black +opaque "$BLUE" -fill white -opaque "$BLUE" \
    -format '%@' info: | sed 's/[x+]/ /g' | awk -v top=$(( wy + 46 )) '{print $3, $4 + top, $1, $2}'
}
# near_hex FILE X Y HEX: the pixel is within 24 per channel of HEX (antialiased strokes).
near_hex() {
  local got want
  got=$(pixel_hex "$1" "$2" "$3")
  want=$4
  python3 -c "import sys; a=bytes.fromhex('${got#\#}'); b=bytes.fromhex('${want#\#}'); sys.exit(0 if all(abs(x-y)<=24 for x,y in zip(a,b)) else 1)"
}
RED='#EF4444'

# --- Return on a selection opens the editor with it -------------------------------------------------
xdotool key ctrl+shift+2
wait_for 5 overlay_up
drag 200 150 600 450
xdotool key Return
check "Return opens the editor" wait_for 5 editor_up
sleep 0.8
win=$(editor_up | head -1)
read -r wx wy < <(xwininfo -id "$win" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
read -r px py pw ph < <(find_picture)
check "the editor shows the 400×300 selection at 1:1 (found ${pw}x${ph} at $px,$py; window at $wx,$wy)" \
  [ "$pw x $ph" = "400 x 300" ]

# --- an arrow with its toolbar button, then a rectangle with its letter -------------------------------
# Tool buttons are 32 wide every 34 points from x = 10, 8 below the toolbar's top; the arrow is
# the second.
click_at $(( wx + 44 + 16 )) $(( wy + 8 + 15 ))
drag $(( px + 250 )) $(( py + 250 )) $(( px + 350 )) $(( py + 250 ))
xdotool key r
drag $(( px + 50 )) $(( py + 50 )) $(( px + 150 )) $(( py + 120 ))

copy_original() {
  xdotool key ctrl+c # copies at once, the other forms wait on the button's arrow
  wait_for 5 window_mapped "^Copied to clipboard$"
  sleep 0.3
  clipboard_png "$1"
}
copy_original "$E2E_TMP/marks.png"
check "the copy has the capture's size" \
  sh -c "identify -format '%wx%h' '$E2E_TMP/marks.png' | grep -qx 400x300"
check "the rectangle's left edge is red" near_hex "$E2E_TMP/marks.png" 50 85 "$RED"
check "the rectangle's top edge is red" near_hex "$E2E_TMP/marks.png" 100 50 "$RED"
check "inside the rectangle the capture shows" near_hex "$E2E_TMP/marks.png" 100 85 "$BLUE"
check "the arrow's shaft is red" near_hex "$E2E_TMP/marks.png" 290 250 "$RED"
check "beside the arrow the capture shows" near_hex "$E2E_TMP/marks.png" 290 270 "$BLUE"

# --- Ctrl+Z takes the rectangle back ---------------------------------------------------------------
sleep 1.6 # let the first toast go, so the next one is seen anew
xdotool key ctrl+z
copy_original "$E2E_TMP/undone.png"
check "after Ctrl+Z the rectangle is gone" near_hex "$E2E_TMP/undone.png" 50 85 "$BLUE"
check "after Ctrl+Z the arrow stays" near_hex "$E2E_TMP/undone.png" 290 250 "$RED"

# --- Ctrl+Shift+S → PDF: one page of the export's size ------------------------------------------
xdotool key ctrl+shift+s
sleep 0.4
xdotool key Down Down Down Return # the third item, PDF
check "Save opens the save panel" wait_for 5 xdotool search --onlyvisible --name "^Save$"
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 5 "$E2E_TMP/marks.pdf"
xdotool key Return
wait_for 10 test -s "$E2E_TMP/marks.pdf"
sleep 0.3
check "the PDF has one page" sh -c "pdfinfo '$E2E_TMP/marks.pdf' | grep -q '^Pages: *1$'"
check "the page is the export's size" \
  sh -c "pdfinfo '$E2E_TMP/marks.pdf' | grep -q '^Page size: *400 x 300 pts'"

# --- a numbered step with its caption, and a pasted picture beside the capture ------------------
xdotool key s
click_at $(( px + 320 )) $(( py + 80 ))
sleep 0.4
xdotool key Return # the caption field waits for Return: letters stay tool letters
xdotool type --delay 5 "Open the menu"
xdotool key Return
convert -size 160x120 xc:'#22AA55' "$E2E_TMP/paste.png"
xclip -selection clipboard -t image/png -i "$E2E_TMP/paste.png"
sleep 0.3
xdotool key ctrl+v
sleep 0.6
import -window root "$E2E_TMP/editor-view.png"
[ -n "${VISTREL_E2E_SHOTS:-}" ] && cp "$E2E_TMP/editor-view.png" "$VISTREL_E2E_SHOTS/"
sleep 1.2
copy_original "$E2E_TMP/all.png"
read -r aw ah < <(identify -format '%w %h' "$E2E_TMP/all.png")
check "the copy takes in the caption legend and the pasted picture" [ "${aw:-0}" -gt 600 ]
check "the pasted picture is in the copy" \
  sh -c "convert '$E2E_TMP/all.png' -fill black +opaque '#22AA55' -format '%@' info: | grep -q '^160x120'"

# --- closing with marks asks; SIGTERM keeps them for the next start -------------------------------
# The copy took the work away; one more rectangle after it is what a close would lose.
question_up() { xdotool search --onlyvisible --name "^Vistrel — Unsaved Marks$"; }
question_gone() { ! question_up >/dev/null 2>&1; }
xdotool windowactivate --sync "$win" 2>/dev/null
read -r px py pw ph < <(find_picture)
xdotool key r
drag $(( px + 60 )) $(( py + 180 )) $(( px + 140 )) $(( py + 230 ))
xdotool key ctrl+w
check "Ctrl+W with marks asks first" wait_for 5 question_up
xdotool key Escape
sleep 0.5
check "Cancel closes the question" question_gone
check "Cancel keeps the editor" wait_for 5 editor_up
# Kept in the capture history, marked as not saved.
kept_entries() { ls "$XDG_DATA_HOME/Vistrel/history"/*/unsaved 2>/dev/null | wc -l; }
kill -TERM "$VISTREL_PID"
wait_for 10 sh -c "! kill -0 $VISTREL_PID 2>/dev/null"
check "SIGTERM ends the app without waiting on a question" sh -c "! kill -0 $VISTREL_PID 2>/dev/null"
check "the unsaved marks are kept on disk (found $(kept_entries))" [ "$(kept_entries)" = 1 ]

start_vistrel
offer_up() { xdotool search --onlyvisible --name "^Vistrel — Kept Marks$"; }
check "the next start offers the kept marks back" wait_for 10 offer_up
xdotool windowactivate --sync "$(offer_up | head -1)" 2>/dev/null
xdotool key Return # Reopen
check "Reopen opens an editor" wait_for 5 editor_up
sleep 0.8
win=$(editor_up | head -1)
xdotool windowactivate --sync "$win" 2>/dev/null
copy_original "$E2E_TMP/reopened.png"
# The copy before the quit, and the one rectangle drawn after it (80×50 at width 5).
changed=$(compare -metric AE "$E2E_TMP/all.png" "$E2E_TMP/reopened.png" null: 2>&1) || true
check "the reopened copy has the size of the one before the quit" \
  [ "$(identify -format '%wx%h' "$E2E_TMP/all.png")" = "$(identify -format '%wx%h' "$E2E_TMP/reopened.png")" ]
check "and its pixels but for the rectangle after it ($changed pixels differ)" \
  test "${changed:-0}" -gt 400 -a "${changed:-0}" -lt 4000

# --- after a copy nothing is lost: Ctrl+W closes without asking ---------------------------------------
xdotool key ctrl+w
check "a copied editor closes without asking" wait_for 5 editor_gone
check "no question came up" question_gone
no_kept_entries() { [ "$(kept_entries)" = 0 ]; }
check "nothing is kept as unsaved after the copy (written within a second)" wait_for 3 no_kept_entries

check "app still running" kill -0 "$VISTREL_PID"
finish
