#!/bin/bash
# Scrolling capture on a real X server: Ctrl+Shift+8 over a tall page in a Qt scroll area,
# Auto Scroll until it stops by itself, then Copy in the preview card; then the same with the
# wheel turned by hand and Done. The clipboard picture must match the page row for row. Over the
# whole screen, the panel sits over the area and never hides; Done and Return always end it.
source "$(dirname "$0")/lib.sh"
: "${VISTREL_SCROLLPAGE:?VISTREL_SCROLLPAGE must name the scroll page helper}"

start_x 1280x800
start_wm
start_tray
start_vistrel

# show_page SEED: the page helper on screen; sets VX VY VW VH (its viewport).
show_page() {
  "$VISTREL_SCROLLPAGE" show "$E2E_TMP/page-$1.png" "$1" >"$E2E_TMP/page-$1.log" 2>&1 &
  PAGE_PID=$!
  E2E_PIDS+=($PAGE_PID)
  wait_for 10 grep -q '^viewport' "$E2E_TMP/page-$1.log" || { fail "page helper shows"; finish; }
  read -r _ VX VY VW VH < <(grep '^viewport' "$E2E_TMP/page-$1.log")
  sleep 0.3
}

# settled WINDOW: the window manager has framed (and placed) the window.
settled() { wait_for 3 sh -c "xprop -id $1 _NET_FRAME_EXTENTS | grep -q ="; sleep 0.2; }
panel_up() { xdotool search --onlyvisible --name "^Scrolling Capture$"; }
card_up() { xdotool search --onlyvisible --name "^Vistrel Preview$"; }

# select_viewport: Ctrl+Shift+8 and a drag over exactly the page's viewport.
select_viewport() {
  xdotool key ctrl+shift+8
  check "Ctrl+Shift+8 shows the overlay" wait_for 5 overlay_up
  drag "$VX" "$VY" $((VX + VW)) $((VY + VH))
  check "the control panel appears" wait_for 5 panel_up
  panel=$(panel_up | head -1)
  settled "$panel"
  read -r PX PY PW PH < <(frame_of "$panel")
  check "the panel stays clear of the captured area" \
    [ $((PX >= VX + VW || PX + PW <= VX || PY >= VY + VH || PY + PH <= VY)) = 1 ]
}

# copy_from_card SEED: Copy in the preview card, then compare the clipboard with the page.
copy_from_card() {
  check "the preview card opens" wait_for 60 card_up
  card=$(card_up | head -1)
  settled "$card"
  read -r cx cy cw ch < <(frame_of "$card")
  sleep 0.3
  click_at $((cx + cw - 10 - 66 - 6 - 29)) $((cy + ch - 23)) # Copy, left of Edit
  check "the card closes after Copy" wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Vistrel Preview$'"
  wait_for 5 window_mapped "^Copied to clipboard$"
  clipboard_png "$E2E_TMP/clip-$1.png"
  "$VISTREL_SCROLLPAGE" compare "$E2E_TMP/clip-$1.png" "$E2E_TMP/page-$1.png" | tee "$E2E_TMP/rows-$1.txt"
  check "the stitched picture matches the page row for row (seed $1)" \
    "$VISTREL_SCROLLPAGE" compare "$E2E_TMP/clip-$1.png" "$E2E_TMP/page-$1.png"
}

# --- Auto Scroll until it finishes by itself --------------------------------------------------
show_page 1
select_viewport
sleep 0.5
click_at $((PX + 274)) $((PY + 109)) # Auto Scroll
check "auto-scroll moves the page" wait_for 5 grep -q '^scrolled' "$E2E_TMP/page-1.log"
check "the page reaches its end" wait_for 30 grep -q '^scrolled 2960$' "$E2E_TMP/page-1.log"
steps=$(grep -c '^scrolled' "$E2E_TMP/page-1.log")
first=$(grep -m1 '^scrolled' "$E2E_TMP/page-1.log" | awk '{print $2}')
echo "auto-scroll: $steps scroll positions, the first step moved $first pixels"
copy_from_card 1
check "the stitched picture is kept" sh -c "ls '$E2E_TMP/captures' | grep -q png"
kill "$PAGE_PID" 2>/dev/null

# --- by hand: wheel notches over the page, then Done ------------------------------------------
show_page 2
select_viewport
sleep 0.3
xdotool mousemove $((VX + VW / 2)) $((VY + VH / 2))
for _ in $(seq 52); do xdotool click 5; sleep 0.2; done
check "the wheel reaches the page's end" grep -q '^scrolled 2960$' "$E2E_TMP/page-2.log"
notch=$(grep -m1 '^scrolled' "$E2E_TMP/page-2.log" | awk '{print $2}')
echo "one wheel notch scrolls the page by $notch pixels"
check "one wheel notch moves the page 60 pixels" [ "$notch" = 60 ]
sleep 0.5
click_at $((PX + 203)) $((PY + 143)) # Done
copy_from_card 2

# --- the area fills the screen: the panel sits over its top rows, never hides, and Done and
# Return end the capture whenever they come ----------------------------------------------------
show_page 3
xdotool windowmove "$(xdotool search --onlyvisible --name '^Scroll Page$' | head -1)" 340 40
sleep 0.5
# close_card: the preview card goes with Copy.
close_card() {
  card=$(card_up | head -1)
  settled "$card"
  read -r cx cy cw ch < <(frame_of "$card")
  click_at $((cx + cw - 10 - 66 - 6 - 29)) $((cy + ch - 23))
  wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Vistrel Preview$'"
}
hidden=0 samples=0 ended=0
for round in 1 2 3 4 5; do
  xdotool key ctrl+shift+8
  wait_for 5 overlay_up
  drag 0 0 1279 799
  wait_for 5 panel_up || { fail "round $round: the control panel appears"; continue; }
  panel=$(panel_up | head -1)
  read -r PX PY PW PH < <(frame_of "$panel")
  [ "$round" = 1 ] && check "the panel sits over the area" [ "$PY" -lt 100 ]
  click_at $((PX + 274)) $((PY + 109)) # Auto Scroll
  # Frames go on every 160 ms: the panel is looked at twenty times over a second and more,
  # then ended at a moment of the round's own.
  for _ in $(seq 20); do
    samples=$((samples + 1))
    xwininfo -id "$panel" 2>/dev/null | grep -q IsViewable || hidden=$((hidden + 1))
    sleep 0.05
  done
  sleep "0.$((RANDOM % 9))"
  if [ "$round" = 5 ]; then xdotool key Return; else click_at $((PX + 203)) $((PY + 143)); fi # Done
  if wait_for 60 card_up; then ended=$((ended + 1)); close_card; fi
done
echo "the panel was hidden in $hidden of $samples looks; $ended of 5 rounds ended by Done or Return"
check "the panel never hides while frames are taken" [ "$hidden" = 0 ]
check "Done (four clicks) and Return (once) end every capture" [ "$ended" = 5 ]
kill "$PAGE_PID" 2>/dev/null

# --- Cancel: no card ----------------------------------------------------------------------------
select_viewport
click_at $((PX + 344)) $((PY + 143)) # Cancel
check "Cancel closes the panel" wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Scrolling Capture$'"
sleep 0.5
check "Cancel opens no card" sh -c "! xdotool search --onlyvisible --name '^Vistrel Preview$'"
finish
