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
  Xvfb -displayfd "$fd" -screen 0 "${geometry}x24" -nolisten tcp >"$E2E_TMP/xvfb.log" 2>&1 &
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
  VISTREL_KEEP_CAPTURES="$E2E_TMP/captures" "$VISTREL_BIN" >"$E2E_TMP/vistrel.log" 2>&1 &
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
