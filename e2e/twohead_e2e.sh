#!/bin/bash
# Two monitors side by side (an Xorg dummy server that the toolkit sees as two screens).
source "$(dirname "$0")/lib.sh"

start_twohead
plasma_backdrop 2560x800
start_vistrel

xdotool key ctrl+shift+2
check "one overlay on each screen" wait_for 5 sh -c '[ "$(xdotool search --onlyvisible --name "^Vistrel Selection$" | wc -l)" = 2 ]'
sleep 0.3
import -window root "$E2E_TMP/dimmed.png"
dimmer() { # is pixel X,Y of the screenshot darker than the picture's?
  local a b
  a=$(convert "$E2E_TMP/dimmed.png" -format "%[fx:int(255*p{$1,$2}.intensity)]" info:)
  b=$(convert "$E2E_TMP/picture.png" -format "%[fx:int(255*p{$1,$2}.intensity)]" info:)
  [ "$a" -lt "$b" ]
}
check "the left screen is dimmed" dimmer 300 600
check "the right screen is dimmed" dimmer 2200 600

drag 1500 200 1900 500
read -r bx by < <(toolbar_button Copy 220 200 400 300 1280 800)
click_at $(( bx + 1280 )) "$by"
check "every overlay window closes" wait_for 5 overlay_gone
wait_for 5 window_mapped "^Copied to clipboard$"
clipboard_png "$E2E_TMP/clip.png"
convert "$E2E_TMP/picture.png" -crop 400x300+1500+200 +repage "$E2E_TMP/expected.png"
check "the picture comes from the right screen" same_pixels "$E2E_TMP/clip.png" "$E2E_TMP/expected.png"
stop_vistrel

# --- the right screen at twice the pixel density --------------------------------------------------
QT_SCREEN_SCALE_FACTORS='LEFT=1;RIGHT=2' start_vistrel
xdotool key ctrl+shift+2
wait_for 5 sh -c '[ "$(xdotool search --onlyvisible --name "^Vistrel Selection$" | wc -l)" = 2 ]'
sleep 0.3
# 200 × 150 points on the right screen are 400 × 300 pixels from 1280 + 2·100, 2·50.
drag 1480 100 1880 400
read -r bx by < <(toolbar_button Copy 100 50 200 150 640 400)
click_at $(( 1280 + bx * 2 )) $(( by * 2 ))
check "overlays close at scale 2" wait_for 5 overlay_gone
wait_for 5 window_mapped "^Copied to clipboard$"
clipboard_png "$E2E_TMP/clip2.png"
convert "$E2E_TMP/picture.png" -crop 400x300+1480+100 +repage "$E2E_TMP/expected2.png"
check "a scale-2 selection is captured at full pixel size" same_pixels "$E2E_TMP/clip2.png" "$E2E_TMP/expected2.png"

# --- a pin opens on the screen it was taken on, at the picture's real size there ------------------
xdotool key ctrl+shift+2
wait_for 5 sh -c '[ "$(xdotool search --onlyvisible --name "^Vistrel Selection$" | wc -l)" = 2 ]'
sleep 0.3
drag 1480 100 1880 400
read -r bx by < <(toolbar_button Pin 100 50 200 150 640 400)
click_at $(( 1280 + bx * 2 )) $(( by * 2 ))
check "a pin appears" wait_for 5 xdotool search --onlyvisible --name "^Vistrel Pin$"
pin=$(xdotool search --onlyvisible --name "^Vistrel Pin$" | head -1)
read -r px py pw ph < <(frame_of "$pin")
# 400 × 300 pixels taken at scale 2 are 200 × 150 points: 400 × 300 pixels on that screen.
check "a 200×150-point capture pins at 200×150 points on the 2× screen ($pw×$ph px at $px,$py)" \
  [ "$pw x $ph" = "400 x 300" ]
check "on the screen it was taken on" [ "$px" -ge 1280 ]
stop_vistrel

# --- Preferences open on the screen with the pointer: Share with nothing set up, pressed in an -----
# --- editor on the right screen -------------------------------------------------------------------
export HOME=$E2E_TMP/home # no ~/.vistrel of the machine's
mkdir -p "$HOME"
start_vistrel
xdotool key ctrl+shift+1
editor_up() { xdotool search --onlyvisible --name "^Vistrel — Editor$"; }
prefs_up() { xdotool search --onlyvisible --name "^Vistrel Preferences$"; }
check "Ctrl+Shift+1 opens the editor" wait_for 5 editor_up
sleep 0.5
win=$(editor_up | head -1)
xdotool windowmove --sync "$win" 1400 60
sleep 0.3
read -r wx wy ww _ < <(frame_of "$win")
# Share: the toolbar ends in Share, Copy and Save before its right padding of 10.
click_at $(( wx + ww - 213 )) $(( wy + 23 ))
check "Share with nothing set up opens Preferences" wait_for 5 prefs_up
sleep 0.3
read -r fx fy fw fh < <(frame_of "$(prefs_up | head -1)")
check "on the right screen, where the pointer is ($fx,$fy ${fw}x$fh)" \
  [ "$fx" -ge 1280 ] && [ $(( fx + fw )) -le 2560 ] && [ "$fy" -ge 0 ] && [ $(( fy + fh )) -le 800 ]
centre=$(( fx + fw / 2 ))
check "centred on it ($centre)" [ "$centre" -ge 1918 ] && [ "$centre" -le 1922 ]
finish
