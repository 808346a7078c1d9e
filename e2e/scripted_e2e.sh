#!/bin/bash
# Scripted captures: `vistrel full|area|window` with --output (PNG, JPEG or PDF by the name;
# "-" for standard output) and --clipboard, with and without a running Vistrel, checked
# against what the X server shows; a cancelled area is exit status 1 and writes nothing.
source "$(dirname "$0")/lib.sh"

start_x 1280x800
start_wm
plasma_backdrop 1280x800
xterm -geometry 60x12+420+300 -bg white -fg black -e 'printf "scripted capture\n"; sleep 600' &
E2E_PIDS+=($!)
wait_for 10 xdotool search --onlyvisible --class xterm
sleep 0.5
xterm_id=$(xdotool search --onlyvisible --class xterm | head -1)
# A Vistrel this flow starts in the background writes its sanitizer reports where finish looks.
mkdir -p "$E2E_TMP/sanitizer"
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$E2E_TMP/sanitizer/asan
export UBSAN_OPTIONS=${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}log_path=$E2E_TMP/sanitizer/ubsan
import -window root "$E2E_TMP/screen.png"
socket="$XDG_RUNTIME_DIR/vistrel-_${DISPLAY#:}.socket"

# --- without a running Vistrel: one starts in the background, the command returns ------------
timeout 30 "$VISTREL_BIN" full --output "$E2E_TMP/first.png" >"$E2E_TMP/first.out" 2>&1; rc=$?
check "full --output without a running Vistrel exits 0" [ "$rc" = 0 ]
check "and writes the screen, pixel for pixel" same_pixels "$E2E_TMP/first.png" "$E2E_TMP/screen.png"
check "and leaves a Vistrel running for the next" test -S "$socket"

# --- each type by its name ---------------------------------------------------------------------
(cd "$E2E_TMP" && "$VISTREL_BIN" full --output shot.PNG); rc=$?
check "a relative name is written in the caller's folder" sh -c "[ $rc = 0 ] && [ -s '$E2E_TMP/shot.PNG' ]"
check "as PNG" sh -c "identify -format %m '$E2E_TMP/shot.PNG' | grep -qx PNG"
"$VISTREL_BIN" full --output "$E2E_TMP/shot.jpg"
check "a .jpg is JPEG of the screen's size" sh -c "[ \"\$(identify -format '%m %wx%h' '$E2E_TMP/shot.jpg')\" = 'JPEG 1280x800' ]"
jpeg_error=$(compare -metric MAE "$E2E_TMP/shot.jpg" "$E2E_TMP/screen.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
check "and shows the screen (mean error $jpeg_error)" awk -v e="$jpeg_error" 'BEGIN { exit !(e < 0.03) }'
"$VISTREL_BIN" full --output "$E2E_TMP/shot.pdf"
check "a .pdf is one page" sh -c "pdfinfo '$E2E_TMP/shot.pdf' | grep -q '^Pages: *1$'"
pdfimages -png "$E2E_TMP/shot.pdf" "$E2E_TMP/pdf" 2>/dev/null
check "holding the screen's pixels" same_pixels "$E2E_TMP/pdf-000.png" "$E2E_TMP/screen.png"

# --- standard output and the clipboard -----------------------------------------------------------
"$VISTREL_BIN" full --output - >"$E2E_TMP/piped.png"; rc=$?
check "--output - exits 0" [ "$rc" = 0 ]
check "and pipes the screen's pixels as PNG" same_pixels "$E2E_TMP/piped.png" "$E2E_TMP/screen.png"
"$VISTREL_BIN" full --clipboard; rc=$?
check "--clipboard exits 0" [ "$rc" = 0 ]
clipboard_png "$E2E_TMP/clip.png"
check "and the clipboard holds the screen" same_pixels "$E2E_TMP/clip.png" "$E2E_TMP/screen.png"

# --- an area: taken as the drag ends; Escape is status 1 and no file -----------------------------
"$VISTREL_BIN" area --output "$E2E_TMP/area.png" & client=$!
check "area --output shows the overlay" wait_for 5 overlay_up
drag 100 120 340 280
wait "$client"; rc=$?
check "the drag's end takes the area (status $rc)" [ "$rc" = 0 ]
convert "$E2E_TMP/screen.png" -crop 240x160+100+120 +repage "$E2E_TMP/area-expected.png"
check "the file holds that area" same_pixels "$E2E_TMP/area.png" "$E2E_TMP/area-expected.png"
check "no toolbar or editor is left" wait_for 3 overlay_gone

"$VISTREL_BIN" area --output "$E2E_TMP/cancelled.png" 2>"$E2E_TMP/cancel.err" & client=$!
wait_for 5 overlay_up
xdotool key Escape
wait "$client"; rc=$?
check "Escape ends area --output with status 1" [ "$rc" = 1 ]
check "says so" grep -q "cancelled" "$E2E_TMP/cancel.err"
check "and writes nothing" test ! -e "$E2E_TMP/cancelled.png"

# --- a window: taken when clicked ------------------------------------------------------------------
"$VISTREL_BIN" window --output "$E2E_TMP/window.png" --clipboard & client=$!
wait_for 5 overlay_up
read -r wx wy ww wh < <(frame_of "$xterm_id")
click_at $(( wx + ww / 2 )) $(( wy + wh / 2 ))
wait "$client"; rc=$?
check "window --output exits 0 after the click" [ "$rc" = 0 ]
convert "$E2E_TMP/screen.png" -crop "${ww}x${wh}+${wx}+${wy}" +repage "$E2E_TMP/window-expected.png"
check "the file holds the xterm with its frame" same_pixels "$E2E_TMP/window.png" "$E2E_TMP/window-expected.png"
clipboard_png "$E2E_TMP/window-clip.png"
check "and so does the clipboard" same_pixels "$E2E_TMP/window-clip.png" "$E2E_TMP/window-expected.png"

# --- mistakes ----------------------------------------------------------------------------------------
"$VISTREL_BIN" full --output "$E2E_TMP/shot.gif" 2>/dev/null; rc=$?
check "an unknown type is a usage error" [ "$rc" = 2 ]
"$VISTREL_BIN" full --output /proc/shot.png 2>"$E2E_TMP/proc.err"; rc=$?
check "an unwritable place is status 1" [ "$rc" = 1 ]
check "named in the message" grep -q "/proc/shot.png" "$E2E_TMP/proc.err"

"$VISTREL_BIN" quit
check "the background Vistrel quits" wait_for 10 sh -c "! test -S '$socket'"
check "no sanitizer report" sanitizer_log_clean
finish
