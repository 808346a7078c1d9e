#!/bin/bash
# The Wayland recording flow, inside its own session bus: frames of an area of sway's screen
# come through the ScreenCast portal (xdg-desktop-portal-wlr) and PipeWire, and are checked by
# their pixels; a chooser that declines and a portal that goes away end the recording with a
# reason.
source "$(dirname "$0")/lib.sh"

export XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland
unset DISPLAY
export WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1

cat >"$E2E_TMP/sway.conf" <<CONF
output HEADLESS-1 resolution 1280x800 position 0 0 bg #202020 solid_color
default_border none
CONF
sway -c "$E2E_TMP/sway.conf" >"$E2E_TMP/sway.log" 2>&1 &
E2E_PIDS+=($!)
compositor_up() { ls "$XDG_RUNTIME_DIR"/wayland-* && ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock; }
wait_for 10 compositor_up || { fail "sway starts"; cat "$E2E_TMP/sway.log"; exit 1; }
export WAYLAND_DISPLAY
WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-? | head -1)")
export SWAYSOCK
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -1)
wait_for 10 swaymsg -t get_outputs || { fail "sway answers"; exit 1; }

# PipeWire, and wireplumber to link the portal's screen node to the recording's stream.
pipewire >"$E2E_TMP/pipewire.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || { fail "pipewire starts"; cat "$E2E_TMP/pipewire.log"; exit 1; }
wireplumber >"$E2E_TMP/wireplumber.log" 2>&1 &
E2E_PIDS+=($!)

# The wlr backend, naming this desktop, with a chooser that asks nobody: the one screen. Without
# a GPU the compositor names no DMA-BUF format, which this backend insists on before it shares
# from plain memory: e2e/xdpw_shm.cpp names one.
mkdir -p "$E2E_TMP/portals"
sed 's/^UseIn=.*/UseIn=sway/' /usr/share/xdg-desktop-portal/portals/wlr.portal >"$E2E_TMP/portals/wlr.portal"
export XDG_DESKTOP_PORTAL_DIR=$E2E_TMP/portals
XDPW_PID=
# start_backend CHOOSER_TYPE [CHOOSER_CMD]: (re)starts xdg-desktop-portal-wlr with that chooser.
start_backend() {
  [ -n "$XDPW_PID" ] && stop_pid "$XDPW_PID"
  printf '[screencast]\nchooser_type=%s\noutput_name=HEADLESS-1\nchooser_cmd=%s\n' "$1" "${2-}" >"$E2E_TMP/xdpw.conf"
  LD_PRELOAD=$XDPW_SHM /usr/libexec/xdg-desktop-portal-wlr -c "$E2E_TMP/xdpw.conf" -l DEBUG >>"$E2E_TMP/xdpw.log" 2>&1 &
  XDPW_PID=$!
  E2E_PIDS+=($XDPW_PID)
  backend_up() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.impl.portal.desktop.wlr | grep -q "boolean true"
  }
  wait_for 10 backend_up
}
start_backend none || { fail "the wlr portal backend starts"; cat "$E2E_TMP/xdpw.log"; exit 1; }
/usr/libexec/xdg-desktop-portal >"$E2E_TMP/xdp.log" 2>&1 &
E2E_PIDS+=($!)
cast_offered() {
  dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
    org.freedesktop.DBus.Properties.Get string:org.freedesktop.portal.ScreenCast string:AvailableSourceTypes | grep -q uint32
}
check "the desktop portal offers ScreenCast" wait_for 15 cast_offered || { cat "$E2E_TMP/xdp.log"; exit 1; }

export QT_QPA_PLATFORM=wayland
# probe NAME ARGS...: runs the probe, its output in $E2E_TMP/NAME.log, its checks counted here.
probe() {
  local name=$1; shift
  timeout 60 "$CASTPROBE" "$@" >"$E2E_TMP/$name.log" 2>&1
  local rc=$?
  sed 's/^/  /' "$E2E_TMP/$name.log" | grep -E '^  (PASS|FAIL|[0-9]+ frames)' || cat "$E2E_TMP/$name.log"
  return $rc
}

# --- 3 s of an area through the portal: the square's path, frame by frame ------------------
check "an area recorded through the ScreenCast portal shows what was on the screen" \
  probe area 3 340 200 600 300 "$E2E_TMP/frames"

# --- the chooser declines: the recording fails and says it was cancelled --------------------
start_backend simple "true" || fail "the backend restarts with a chooser"
check "a declined chooser ends the recording as cancelled" \
  probe declined --expect-failure "cancelled" 2 340 200 600 300

# --- the backend goes away while recording: the recording fails with a reason ---------------
start_backend none || fail "the backend restarts"
( sleep 3; kill "$XDPW_PID" 2>/dev/null ) &
check "a portal that goes away ends the recording with a reason" \
  probe gone --expect-failure "sharing|stream" 20 340 200 600 300

echo "$E2E_PASSED passed, $E2E_FAILED failed"
[ "$E2E_FAILED" = 0 ]
