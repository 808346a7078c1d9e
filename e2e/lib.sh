# Shared helpers for the end-to-end flows: a private X server with openbox (no key bindings)
# and a tray, Vistrel started on it, and small checks with xdotool, xclip and ImageMagick.
set -u
: "${VISTREL_BIN:?VISTREL_BIN must name the vistrel executable}"
: "${VISTREL_SOURCE:?VISTREL_SOURCE must name the source tree}"
E2E_TMP=$(mktemp -d /tmp/vistrel-e2e.XXXXXX)
E2E_PIDS=()
E2E_FAILED=0
E2E_PASSED=0

e2e_cleanup() {
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  if [ "$E2E_FAILED" = 0 ]; then rm -rf "$E2E_TMP"; else echo "kept $E2E_TMP for a look"; fi
}
trap e2e_cleanup EXIT

pass() { echo "PASS: $*"; E2E_PASSED=$((E2E_PASSED + 1)); }
fail() { echo "FAIL: $*"; E2E_FAILED=$((E2E_FAILED + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }
finish() { echo "$E2E_PASSED passed, $E2E_FAILED failed"; [ "$E2E_FAILED" = 0 ]; exit $?; }

# wait_for SECONDS COMMAND...: polls every 50 ms until COMMAND succeeds.
wait_for() {
  local deadline=$(( $(date +%s%N) + $1 * 1000000000 )); shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -gt "$deadline" ] && return 1
    sleep 0.05
  done
}

# start_x WIDTHxHEIGHT: Xvfb on a free display, exported as DISPLAY.
start_x() {
  local geometry=${1:-1280x800}
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -screen 0 "${geometry}x${E2E_DEPTH:-24}" -nolisten tcp >"$E2E_TMP/xvfb.log" 2>&1 &
  E2E_PIDS+=($!)
  local n=""
  for _ in $(seq 100); do read -r -t 0.1 -u "$fd" n && break; done
  [ -n "$n" ] || { echo "Xvfb did not start"; cat "$E2E_TMP/xvfb.log"; exit 1; }
  export DISPLAY=:$n
}

start_wm() {
  openbox --config-file "$VISTREL_SOURCE/../shared/x11/openbox-rc.xml" >"$E2E_TMP/openbox.log" 2>&1 ||
    true &
  E2E_PIDS+=($!)
  wait_for 5 xprop -root _NET_SUPPORTING_WM_CHECK
}

start_tray() {
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
    --transparent false --tint 0x404040 >"$E2E_TMP/trayer.log" 2>&1 &
  E2E_PIDS+=($!)
  wait_for 5 sh -c 'xwininfo -root -tree | grep -q "panel"'
}

# start_vistrel: runs the app with its captures kept in $E2E_TMP/captures.
start_vistrel() {
  VISTREL_KEEP_CAPTURES="$E2E_TMP/captures" "$VISTREL_BIN" >>"$E2E_TMP/vistrel.log" 2>&1 &
  VISTREL_PID=$!
  E2E_PIDS+=($VISTREL_PID)
  # Ready once its hot keys are grabbed: the tray icon or, without a tray, a short settle.
  wait_for 10 sh -c "grep -q . /proc/$VISTREL_PID/status && xdotool search --pid $VISTREL_PID >/dev/null" || sleep 1
  sleep 0.3
}

# show_picture FILE: a borderless full-screen picture to capture (ImageMagick's display).
show_picture() {
  display -geometry +0+0 -borderwidth 0 -backdrop -background black "$1" >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  wait_for 10 xdotool search --class display
  sleep 0.5
}

window_mapped() { xdotool search --onlyvisible --name "$1"; }

# same_pixels A B: exit 0 when two pictures have identical pixels.
same_pixels() {
  local diff
  diff=$(compare -metric AE "$1" "$2" null: 2>&1) || true
  [ "$diff" = "0" ]
}

# set_backdrop FILE: the picture on the root window, at 0,0, under every window.
set_backdrop() {
  display -window root "$1" >/dev/null 2>&1
  sleep 0.2
}

overlay_up() { xdotool search --onlyvisible --name "^Vistrel Selection$"; }
overlay_gone() { ! xdotool search --onlyvisible --name "^Vistrel Selection$" >/dev/null 2>&1; }
overlay_count() { xdotool search --onlyvisible --name "^Vistrel Selection$" 2>/dev/null | wc -l; }

# drag X1 Y1 X2 Y2: a left-button drag with a few steps, as a hand would do it.
drag() {
  xdotool mousemove "$1" "$2" sleep 0.05 mousedown 1 sleep 0.05
  xdotool mousemove $(( ($1 + $3) / 2 )) $(( ($2 + $4) / 2 )) sleep 0.05
  xdotool mousemove "$3" "$4" sleep 0.05 mouseup 1
  sleep 0.2
}

# toolbar_button NAME X Y W H SCREEN_W SCREEN_H: prints the centre of a toolbar button for a
# selection at X,Y (top-left, screen pixels) of W×H on a screen of the given size: the panel
# (306×46) is centred under the selection, kept 8 from the sides, above it when there is no
# room below, across its middle when there is none above either.
toolbar_button() {
  local name=$1 x=$2 y=$3 w=$4 h=$5 sw=$6 sh=$7
  local tx=$(( x + w / 2 - 153 )); [ $tx -lt 8 ] && tx=8; [ $tx -gt $(( sw - 306 - 8 )) ] && tx=$(( sw - 306 - 8 ))
  local ty=$(( y + h + 10 ))
  [ $(( sh - ty - 46 )) -lt 8 ] && ty=$(( y - 10 - 46 ))
  [ $ty -lt 8 ] && ty=$(( y + h / 2 - 23 ))
  local bx
  case $name in Edit) bx=$(( 6 + 33 ));; Copy) bx=$(( 78 + 29 ));; Save) bx=$(( 142 + 29 ));;
    Pin) bx=$(( 206 + 29 ));; Cancel) bx=$(( 270 + 15 ));; esac
  echo "$(( tx + bx )) $(( ty + 23 ))"
}

click_at() { xdotool mousemove "$1" "$2" sleep 0.1 click 1; }

clipboard_png() { xclip -selection clipboard -t image/png -o >"$1" 2>/dev/null; }
clipboard_text() { xclip -selection clipboard -o 2>/dev/null; }

# frame_of WINDOW_ID: "X Y W H" of the window with its decorations.
frame_of() {
  local x y w h l r t b
  x=$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print $4}')
  y=$(xwininfo -id "$1" | awk '/Absolute upper-left Y/ {print $4}')
  w=$(xwininfo -id "$1" | awk '/Width:/ {print $2}')
  h=$(xwininfo -id "$1" | awk '/Height:/ {print $2}')
  read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  echo "$(( x - ${l:-0} )) $(( y - ${t:-0} )) $(( w + ${l:-0} + ${r:-0} )) $(( h + ${t:-0} + ${b:-0} ))"
}

# tray_menu N: opens the tray icon's menu and chooses its N-th command (separators skipped).
tray_menu() {
  local icon ix iy
  icon=$(xwininfo -root -tree | grep -A4 '"panel"' | grep '"Vistrel"' | awk '{print $1}')
  ix=$(xwininfo -id "$icon" | awk '/Absolute upper-left X/ {print $4}')
  iy=$(xwininfo -id "$icon" | awk '/Absolute upper-left Y/ {print $4}')
  xdotool mousemove $(( ix + 10 )) $(( iy + 10 )) sleep 0.2 click 1 sleep 0.5
  for _ in $(seq "$1"); do xdotool key Down; done
  xdotool key Return
}

# pixel_hex FILE X Y: "#RRGGBB" of one pixel.
pixel_hex() { convert "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6 | sed 's/^/#/'; }

# plasma_backdrop WxH: a busy picture ($E2E_TMP/picture.png) on the root window, at 0,0.
plasma_backdrop() {
  convert -size "$1" plasma:fractal -blur 0x1 -depth 8 "$E2E_TMP/picture.png" 2>/dev/null
  set_backdrop "$E2E_TMP/picture.png"
}
