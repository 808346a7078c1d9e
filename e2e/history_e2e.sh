#!/bin/bash
# The capture history on a real X server: two marks, closed with Discard, come back from the
# tray's "Recent Captures" and still move; an edit cut off by SIGTERM, and one by a crash, is
# offered back at the next start; an editable PNG opens in ordinary viewers and reopens
# editable in Vistrel; a history that cannot be written is said once, and `vistrel quit` then
# fails with the reason and leaves the app asking instead of losing the marks.
source "$(dirname "$0")/lib.sh"

start_x 1280x800
start_wm
start_tray
BLUE='#3366CC'
RED='#EF4444'
convert -size 1280x800 xc:'#808080' -fill "$BLUE" -draw "rectangle 200,150 599,449" \
  "$E2E_TMP/picture.png"
set_backdrop "$E2E_TMP/picture.png"
# Save writes into a folder without a dialog, so the editable PNG is found there.
mkdir -p "$XDG_CONFIG_HOME/vistrel" "$E2E_TMP/saved"
printf '[save]\nfolder=%s\nwithoutAsking=true\n' "$E2E_TMP/saved" >"$XDG_CONFIG_HOME/vistrel/vistrel.conf"
start_vistrel

editor_up() { xdotool search --onlyvisible --name "^Vistrel — Editor$"; }
editor_gone() { ! editor_up >/dev/null 2>&1; }
question_up() { xdotool search --onlyvisible --name "^Vistrel — Unsaved Marks$"; }
offer_up() { xdotool search --onlyvisible --name "^Vistrel — Kept Marks$"; }
unsaved_entries() { ls "$XDG_DATA_HOME/Vistrel/history"/*/unsaved 2>/dev/null | wc -l; }
near_hex() {
  local got
  got=$(pixel_hex "$1" "$2" "$3" 2>/dev/null)
  [ ${#got} = 7 ] || return 1
  python3 -c "import sys; a=bytes.fromhex('${got#\#}'); b=bytes.fromhex('${4#\#}'); sys.exit(0 if all(abs(x-y)<=24 for x,y in zip(a,b)) else 1)"
}
# The newest editor, active; sets win, wx, wy and the picture's place on screen (px, py).
focus_editor() {
  wait_for 5 editor_up || return 1
  sleep 0.8
  win=$(editor_up | tail -1)
  xdotool windowactivate --sync "$win" 2>/dev/null
  read -r wx wy < <(xwininfo -id "$win" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
  import -window root "$E2E_TMP/screen.png"
  read -r px py < <(convert "$E2E_TMP/screen.png" -crop "1280x$(( 800 - wy - 46 ))+0+$(( wy + 46 ))" +repage \
    -fill black +opaque "$BLUE" -fill white -opaque "$BLUE" -format '%@' info: |
    sed 's/[x+]/ /g' | awk -v top=$(( wy + 46 )) '{print $3, $4 + top}')
  [ -n "$px" ]
}
copy_original() {
  xdotool key ctrl+c
  wait_for 5 window_mapped "^Copied to clipboard$"
  sleep 0.3
  clipboard_png "$1"
  sleep 1.6 # the toast goes, so the next one is seen anew
}

# --- two marks, closed with Discard ----------------------------------------------------------------
xdotool key ctrl+shift+2
wait_for 5 overlay_up
drag 200 150 600 450
xdotool key Return
check "the capture opens in the editor" focus_editor
xdotool key r
drag $(( px + 50 )) $(( py + 50 )) $(( px + 150 )) $(( py + 120 ))
drag $(( px + 220 )) $(( py + 160 )) $(( px + 320 )) $(( py + 240 ))
xdotool key ctrl+w
check "closing with marks asks" wait_for 5 question_up
xdotool key alt+d
check "Discard closes the editor" wait_for 5 editor_gone
sleep 1
listing=$("$VISTREL_BIN" history 2>&1)
echo "$listing"
check "vistrel history lists the capture with its two marks" grep -q "400x300  2 marks" <<<"$listing"
check "the history is private" [ "$(stat -c %a "$XDG_DATA_HOME/Vistrel/history")" = 700 ]

# --- back from "Recent Captures": the marks are there and move ------------------------------------
tray_menu 8 # Recent Captures
sleep 0.6
xdotool key Return # its first, newest item
check "Recent Captures reopens the capture" focus_editor
copy_original "$E2E_TMP/reopened.png"
check "the first mark came back" near_hex "$E2E_TMP/reopened.png" 50 85 "$RED"
check "the second mark came back" near_hex "$E2E_TMP/reopened.png" 270 160 "$RED"
xdotool key v
drag $(( px + 100 )) $(( py + 50 )) $(( px + 160 )) $(( py + 110 ))
copy_original "$E2E_TMP/moved.png"
check "the mark moved away from its place" near_hex "$E2E_TMP/moved.png" 50 85 "$BLUE"
check "the mark is at its new place" near_hex "$E2E_TMP/moved.png" 110 145 "$RED"

# --- SIGTERM in the middle of a drag -------------------------------------------------------------------
# The copy took the work so far; a rectangle after it is what is not saved.
xdotool key r
drag $(( px + 20 )) $(( py + 200 )) $(( px + 80 )) $(( py + 240 ))
xdotool key v
xdotool mousemove $(( px + 20 )) $(( py + 250 )) mousedown 1 sleep 0.1 mousemove $(( px + 80 )) $(( py + 280 ))
kill -TERM "$VISTREL_PID"
wait_for 10 sh -c "! kill -0 $VISTREL_PID 2>/dev/null"
xdotool mouseup 1
check "SIGTERM ends the app at once" sh -c "! kill -0 $VISTREL_PID 2>/dev/null"
check "the work is kept as not saved (found $(unsaved_entries))" [ "$(unsaved_entries)" = 1 ]
start_vistrel
check "the next start offers it back" wait_for 10 offer_up
xdotool windowactivate --sync "$(offer_up | head -1)" 2>/dev/null
xdotool key Return # Reopen
check "Reopen opens it" focus_editor
copy_original "$E2E_TMP/after-term.png"
changed=$(compare -metric AE "$E2E_TMP/moved.png" "$E2E_TMP/after-term.png" null: 2>&1) || true
check "it is the work before SIGTERM: the copy and the rectangle after it ($changed pixels differ)" \
  test "${changed:-0}" -gt 300 -a "${changed:-0}" -lt 3000
check "the rectangle after the copy is there" near_hex "$E2E_TMP/after-term.png" 20 220 "$RED"

# --- a crash a second after an edit --------------------------------------------------------------------
xdotool key r
drag $(( px + 250 )) $(( py + 30 )) $(( px + 350 )) $(( py + 100 ))
sleep 1.2
kill -KILL "$VISTREL_PID"
wait "$VISTREL_PID" 2>/dev/null
start_vistrel
check "after a crash the work is offered back" wait_for 10 offer_up
xdotool windowactivate --sync "$(offer_up | head -1)" 2>/dev/null
xdotool key Return
check "Reopen opens it after the crash" focus_editor
copy_original "$E2E_TMP/after-kill.png"
check "the mark drawn a second before the crash is there" near_hex "$E2E_TMP/after-kill.png" 300 30 "$RED"

# --- an editable PNG --------------------------------------------------------------------------------------
xdotool key ctrl+shift+s # Save's other forms
sleep 0.4
xdotool key Down Down Down Down Return # Editable PNG
check "Save writes the editable PNG" wait_for 5 window_mapped "^Saved$"
saved=$(ls "$E2E_TMP"/saved/*.png 2>/dev/null | head -1)
check "an ordinary viewer reads it (identify)" sh -c "identify '$saved' | grep -q 'PNG 400x300'"
check "pngcheck finds it sound" sh -c "pngcheck '$saved' | grep -q '^OK'"
check "it shows the marks drawn in" same_pixels "$E2E_TMP/after-kill.png" "$saved"
xdotool key ctrl+w # saved: it closes without asking
wait_for 5 editor_gone
"$VISTREL_BIN" edit "$saved"
sleep 1
check "vistrel edit opens it" focus_editor
xdotool key v
drag $(( px + 300 )) $(( py + 30 )) $(( px + 300 )) $(( py + 200 ))
copy_original "$E2E_TMP/from-png.png"
check "its marks are marks again: one moved" near_hex "$E2E_TMP/from-png.png" 300 200 "$RED"
check "and left its place to the picture" near_hex "$E2E_TMP/from-png.png" 300 30 "$BLUE"

# --- a history that cannot be written (a file where its folder must be, which stops even root) ------
data="$XDG_DATA_HOME/Vistrel"
mv "$data/history" "$data/history.away"
[ -e "$data/recovery" ] && mv "$data/recovery" "$data/recovery.away"
touch "$data/history" "$data/recovery"
xdotool key r # the copy above took the work so far: new marks are what is not kept
drag $(( px + 100 )) $(( py + 150 )) $(( px + 160 )) $(( py + 250 ))
check "a failed history write is said" wait_for 5 window_mapped "^Vistrel$"
alerts=$(xdotool search --onlyvisible --name "^Vistrel$" | wc -l)
drag $(( px + 200 )) $(( py + 150 )) $(( px + 260 )) $(( py + 250 ))
sleep 1.5
check "and said once" [ "$(xdotool search --onlyvisible --name "^Vistrel$" | wc -l)" = "$alerts" ]
out=$("$VISTREL_BIN" quit 2>&1); rc=$?
echo "$out"
check "vistrel quit fails when the marks cannot be kept" [ "$rc" = 1 ]
check "and says why" grep -q "cannot be kept (.*Not a directory" <<<"$out"
sleep 1
check "the app stays" kill -0 "$VISTREL_PID"
check "and asks to save instead" window_mapped "^Quit Vistrel$"
xdotool windowactivate --sync "$(window_mapped "^Quit Vistrel$" | head -1)" 2>/dev/null
xdotool key Escape
check "Cancel keeps working" wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Quit Vistrel$' >/dev/null"
rm -f "$data/history" "$data/recovery"
mv "$data/history.away" "$data/history"
[ -e "$data/recovery.away" ] && mv "$data/recovery.away" "$data/recovery"

check "app still running" kill -0 "$VISTREL_PID"
check "no sanitizer report" sanitizer_log_clean
finish
