# Shared helpers for the end-to-end flows: a private X server with openbox (no key bindings)
# and a tray, Vistrel started on it, and small checks with xdotool, xclip and ImageMagick.
# Everything a flow needs lives beside this file; nothing outside the checkout is read.
set -u
# The X11 flows run on their own X server even from a Wayland desktop.
unset WAYLAND_DISPLAY XDG_SESSION_TYPE
# The flows read the app's English texts whatever language the machine is set to; a flow in
# another language hands it to start_vistrel (german_e2e.sh).
export LANG=C.UTF-8
unset LANGUAGE LC_ALL LC_MESSAGES
: "${VISTREL_BIN:?VISTREL_BIN must name the vistrel executable}"
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$E2E_DIR/session-setup.sh"
# Each run's files live under the build directory (E2E_TMPDIR, set by CTest), out of reach of
# anything that sweeps /tmp on a shared machine; they are kept when a check fails.
mkdir -p "${E2E_TMPDIR:=/tmp}"
E2E_TMP=$(mktemp -d "$E2E_TMPDIR/vistrel-e2e.XXXXXX")
# A private runtime folder (the instance socket) and configuration, so a Vistrel the developer
# runs, and their preferences, stay out of the tests.
export XDG_RUNTIME_DIR="$E2E_TMP/run" XDG_CONFIG_HOME="$E2E_TMP/config" XDG_DATA_HOME="$E2E_TMP/data"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# Screenshots of the flows never go to a naming tool the machine may have installed.
export VISTREL_SMART_NAMES=0
E2E_PIDS=()
VISTREL_PIDS=()
E2E_FAILED=0
E2E_PASSED=0

# The X tools that can wait without end go through e2e/bounded-tool.sh (also from `sh -c`
# strings): each call has a time limit, and one that would wait for a click is refused.
mkdir -p "$E2E_TMP/bin"
for tool in xwininfo xprop xclip import; do
  ln -s "$E2E_DIR/bounded-tool.sh" "$E2E_TMP/bin/$tool"
done
export E2E_REAL_PATH=$PATH
export PATH=$E2E_TMP/bin:$PATH

# stop_pid PID: SIGTERM, then SIGKILL when it is still there after 10 s (a sanitizer build
# checks for leaks on the way out).
stop_pid() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 200); do kill -0 "$1" 2>/dev/null || break; sleep 0.05; done
  kill -9 "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  return 0
}

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${E2E_PIDS[@]}"; do stop_pid "$pid"; done
  if [ "$E2E_FAILED" = 0 ]; then rm -rf "$E2E_TMP"; else echo "kept $E2E_TMP for a look"; fi
}
trap e2e_cleanup EXIT

pass() { echo "PASS: $*"; E2E_PASSED=$((E2E_PASSED + 1)); }
fail() { echo "FAIL: $*"; E2E_FAILED=$((E2E_FAILED + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }
# skip WHY: the flow cannot run here; CTest counts it as skipped (SKIP_RETURN_CODE 77), and CI
# fails on it.
skip() { echo "SKIP: $*"; exit 77; }
finish() {
  stop_vistrel_all
  check "the app's sanitizer log is clean" sanitizer_log_clean
  echo "$E2E_PASSED passed, $E2E_FAILED failed"
  [ "$E2E_FAILED" = 0 ]
  exit $?
}

# window_id ID: exit 0 when ID is a window id (decimal or 0x hex); an empty id is a window that
# went away, and reported as such.
window_id() {
  [[ ${1-} =~ ^(0x[0-9a-fA-F]+|[0-9]+)$ ]] && return 0
  echo "no such window (id '${1-}')" >&2
  return 1
}

# wait_for SECONDS COMMAND...: polls every 50 ms until COMMAND succeeds.
wait_for() {
  local deadline=$(( $(date +%s%N) + $1 * 1000000000 )); shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -gt "$deadline" ] && return 1
    sleep 0.05
  done
}

# open_displayfd: an fd (in $displayfd) on a new FIFO for a server's -displayfd; a FIFO opened
# for reading and writing never sees end-of-file, and does not depend on a process substitution.
open_displayfd() {
  local fifo
  fifo=$(mktemp -u "$E2E_TMP/displayfd.XXXXXX")
  mkfifo "$fifo" && exec {displayfd}<>"$fifo"
}

# wait_display PID: the display number server PID writes to $displayfd, exported as DISPLAY;
# fails when the server exits first or has not answered within 30 s.
wait_display() {
  local n="" rc
  for _ in $(seq 30); do
    read -r -t 1 -u "$displayfd" n && break
    rc=$?
    [ "$rc" -gt 128 ] || return 1
    kill -0 "$1" 2>/dev/null || return 1
  done
  [ -n "$n" ] || return 1
  export DISPLAY=:$n
}

# start_bus: a session bus of the flow's own (see write_bus_config in session-setup.sh), exported as
# DBUS_SESSION_BUS_ADDRESS, so no bus is found or started for the flow behind its back.
start_bus() {
  write_bus_config "$E2E_TMP/bus.conf" "$E2E_TMP"
  dbus-daemon --config-file="$E2E_TMP/bus.conf" --nofork --nopidfile --print-address=1 \
    >"$E2E_TMP/bus.out" 2>"$E2E_TMP/bus.log" &
  E2E_PIDS+=($!)
  wait_for 5 test -s "$E2E_TMP/bus.out" || { fail "the flow's session bus starts"; cat "$E2E_TMP/bus.log"; exit 1; }
  export DBUS_SESSION_BUS_ADDRESS
  DBUS_SESSION_BUS_ADDRESS=$(head -1 "$E2E_TMP/bus.out")
}

# start_x WIDTHxHEIGHT[xDEPTH]: Xvfb on a free display, exported as DISPLAY, and the flow's own
# session bus.
start_x() {
  start_bus
  local geometry=${1:-1280x800}
  [[ $geometry == *x*x* ]] || geometry=${geometry}x24
  open_displayfd
  # -noreset: by default the server starts over, black, whenever its last client goes; a
  # backdrop set between clients (the window manager not yet up, or gone) would vanish.
  Xvfb -displayfd "$displayfd" -screen 0 "$geometry" -nolisten tcp -noreset >"$E2E_TMP/xvfb.log" 2>&1 &
  E2E_PIDS+=($!)
  wait_display $! || { fail "Xvfb starts"; cat "$E2E_TMP/xvfb.log"; exit 1; }
}

# start_twohead [LEFT [RIGHT]]: a headless Xorg (dummy driver) with two screens side by side,
# LEFT at 0,0 and RIGHT beside it, each WIDTHxHEIGHT (1280x800 by default), exported as
# DISPLAY. Xorg is started directly, so this needs root; without it the flow is skipped.
start_twohead() {
  local left=${1:-1280x800} right=${2:-1280x800} pid
  start_bus
  [ "$(id -u)" = 0 ] || skip "the two-screen server is started as root"
  command -v Xorg >/dev/null && [ -f /usr/lib/xorg/modules/drivers/dummy_drv.so ] ||
    skip "needs Xorg and its dummy driver (xserver-xorg-core, xserver-xorg-video-dummy)"
  local lw=${left%x*} lh=${left#*x} rw=${right%x*} rh=${right#*x}
  local w=$(( lw + rw )) h=$(( lh > rh ? lh : rh ))
  # An empty -configdir: no snippets from /usr/share/X11/xorg.conf.d.
  mkdir -p "$E2E_TMP/xorg.conf.d"
  open_displayfd
  Xorg -displayfd "$displayfd" -config "$E2E_DIR/twohead-xorg.conf" -configdir "$E2E_TMP/xorg.conf.d" \
    -logfile "$E2E_TMP/xorg.log" -noreset -nolisten tcp </dev/null >"$E2E_TMP/xorg.out" 2>&1 &
  pid=$!
  E2E_PIDS+=($pid)
  wait_display "$pid" || { fail "Xorg with the dummy driver starts"; tail -20 "$E2E_TMP/xorg.log"; exit 1; }
  # One mode as wide as both screens (the pointer must reach either one), cut into two RandR
  # monitors of 96 dpi. Timings: 160 and 40 pixels of blanking at a refresh of at most 60 Hz.
  local mode=both_${w}x${h} refresh clock
  refresh=$(( 200000000 / ((w + 160) * (h + 40)) ))
  [ "$refresh" -gt 60 ] && refresh=60; [ "$refresh" -lt 5 ] && refresh=5
  clock=$(awk -v w="$w" -v h="$h" -v r="$refresh" 'BEGIN { printf "%.2f", (w + 160) * (h + 40) * r / 1e6 }')
  mm() { echo $(( ($1 * 254 + 480) / 960 )); }
  if ! { xrandr --newmode "$mode" "$clock" "$w" $((w + 40)) $((w + 120)) $((w + 160)) \
           "$h" $((h + 3)) $((h + 9)) $((h + 40)) -hsync +vsync &&
         xrandr --addmode DUMMY0 "$mode" &&
         xrandr --output DUMMY0 --mode "$mode" --pos 0x0 --primary &&
         xrandr --setmonitor LEFT "$lw/$(mm "$lw")x$lh/$(mm "$lh")+0+0" DUMMY0 &&
         xrandr --setmonitor RIGHT "$rw/$(mm "$rw")x$rh/$(mm "$rh")+$lw+0" none
       } >"$E2E_TMP/xrandr.log" 2>&1 ||
     [ "$(xrandr --listmonitors | head -1)" != "Monitors: 2" ]; then
    fail "the dummy server shows two screens"; cat "$E2E_TMP/xrandr.log"; xrandr --listmonitors
    exit 1
  fi
}

start_wm() {
  [ -f "$E2E_DIR/openbox-rc.xml" ] || { fail "openbox configuration at $E2E_DIR"; exit 1; }
  openbox --config-file "$E2E_DIR/openbox-rc.xml" >"$E2E_TMP/openbox.log" 2>&1 &
  E2E_PIDS+=($!)
  wait_for 5 xprop -root _NET_SUPPORTING_WM_CHECK
}

start_tray() {
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
    --transparent false --tint 0x404040 >"$E2E_TMP/trayer.log" 2>&1 &
  E2E_PIDS+=($!)
  wait_for 5 sh -c 'xwininfo -root -tree | grep -q "panel"'
}

# start_vistrel: runs the app with its captures kept in $E2E_TMP/captures. A sanitizer build
# writes its reports to $E2E_TMP/sanitizer/, which finish checks.
start_vistrel() {
  mkdir -p "$E2E_TMP/sanitizer"
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$E2E_TMP/sanitizer/asan \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}log_path=$E2E_TMP/sanitizer/ubsan \
  VISTREL_KEEP_CAPTURES="$E2E_TMP/captures" "$VISTREL_BIN" >>"$E2E_TMP/vistrel.log" 2>&1 &
  VISTREL_PID=$!
  E2E_PIDS+=($VISTREL_PID)
  VISTREL_PIDS+=($VISTREL_PID)
  # Ready once its hot keys are grabbed: the tray icon or, without a tray, a short settle.
  wait_for 10 sh -c "grep -q . /proc/$VISTREL_PID/status && xdotool search --pid $VISTREL_PID >/dev/null" || sleep 1
  sleep 0.3
}

# start_vistrel_wayland: start_vistrel in a Wayland session, ready once its command socket is
# there. Full allocation stacks (Qt's libraries keep no frame pointers), so that leaks the
# Wayland plugin leaves behind can be told from ours.
start_vistrel_wayland() {
  mkdir -p "$E2E_TMP/sanitizer"
  ASAN_OPTIONS=fast_unwind_on_malloc=0:log_path=$E2E_TMP/sanitizer/asan UBSAN_OPTIONS=log_path=$E2E_TMP/sanitizer/ubsan \
  VISTREL_KEEP_CAPTURES="$E2E_TMP/captures" "$VISTREL_BIN" >>"$E2E_TMP/vistrel.log" 2>&1 &
  VISTREL_PID=$!
  E2E_PIDS+=($VISTREL_PID)
  VISTREL_PIDS+=($VISTREL_PID)
  wait_for 10 test -S "$XDG_RUNTIME_DIR/vistrel-$WAYLAND_DISPLAY.socket"
}

# stop_vistrel: ends the app started last and waits (bounded) until it has gone.
stop_vistrel() { stop_pid "$VISTREL_PID"; }
stop_vistrel_all() { local pid; for pid in "${VISTREL_PIDS[@]}"; do stop_pid "$pid"; done; }

# sanitizer_log_clean: no AddressSanitizer, LeakSanitizer or UndefinedBehaviorSanitizer report
# from any app run of this flow (prints the reports otherwise; they are kept in $E2E_TMP).
sanitizer_log_clean() {
  local pattern='ERROR: [A-Za-z]*Sanitizer|runtime error:' reports
  reports=$(grep -lE "$pattern" "$E2E_TMP"/sanitizer/* "$E2E_TMP/vistrel.log" 2>/dev/null)
  [ -z "$reports" ] && return 0
  for f in $reports; do echo "--- $f"; grep -E -A40 "$pattern" "$f" | head -120; done
  return 1
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
  timeout 20 display -window root "$1" >/dev/null 2>&1
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
# (386×46, Record included) is centred under the selection, kept 8 from the sides, above it when there is no
# room below, across its middle when there is none above either.
toolbar_button() {
  local name=$1 x=$2 y=$3 w=$4 h=$5 sw=$6 sh=$7
  local tx=$(( x + w / 2 - 193 )); [ $tx -lt 8 ] && tx=8; [ $tx -gt $(( sw - 386 - 8 )) ] && tx=$(( sw - 386 - 8 ))
  local ty=$(( y + h + 10 ))
  [ $(( sh - ty - 46 )) -lt 8 ] && ty=$(( y - 10 - 46 ))
  [ $ty -lt 8 ] && ty=$(( y + h / 2 - 23 ))
  local bx
  case $name in Edit) bx=$(( 6 + 33 ));; Copy) bx=$(( 78 + 29 ));; Save) bx=$(( 142 + 29 ));;
    Pin) bx=$(( 206 + 29 ));; Record) bx=$(( 270 + 37 ));; Cancel) bx=$(( 350 + 15 ));; esac
  echo "$(( tx + bx )) $(( ty + 23 ))"
}

click_at() { xdotool mousemove "$1" "$2" sleep 0.1 click 1; }

clipboard_png() { xclip -selection clipboard -t image/png -o >"$1" 2>/dev/null; }
clipboard_text() { xclip -selection clipboard -o 2>/dev/null; }

# frame_of WINDOW_ID: "X Y W H" of the window with its decorations; fails for a window that
# is not there (any more).
frame_of() {
  local info x y w h l r t b
  window_id "${1-}" || return 1
  info=$(xwininfo -id "$1") || return 1
  x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  w=$(awk '/Width:/ {print $2}' <<<"$info")
  h=$(awk '/Height:/ {print $2}' <<<"$info")
  [[ $x$y$w$h =~ ^-?[0-9]+-?[0-9]+[0-9]+$ ]] || { echo "no geometry for window $1" >&2; return 1; }
  read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= //; s/,//gp')
  echo "$(( x - ${l:-0} )) $(( y - ${t:-0} )) $(( w + ${l:-0} + ${r:-0} )) $(( h + ${t:-0} + ${b:-0} ))"
}

# tray_menu N: opens the tray icon's menu and chooses its N-th command (separators skipped).
tray_menu() {
  local icon ix iy
  icon=$(xwininfo -root -tree | grep -A4 '"panel"' | grep '"Vistrel"' | awk '{print $1}' | head -1)
  window_id "$icon" || { echo "no Vistrel icon in the tray"; return 1; }
  read -r ix iy _ < <(frame_of "$icon") || { echo "the tray icon went away"; return 1; }
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
