#!/bin/bash
# The Wayland recording flow, inside its own session bus: frames of an area of sway's screen
# come through the ScreenCast portal (xdg-desktop-portal-wlr) and PipeWire, and are checked by
# their pixels; a chooser that declines, a screen that changes size and a portal that goes away
# end the recording with a reason.
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

# The portal's backends must name this desktop; the gtk one gives the screenshots Vistrel's
# overlay starts from their Access.
mkdir -p "$E2E_TMP/portals"
for p in wlr gtk; do
  sed 's/^UseIn=.*/UseIn=sway/' "/usr/share/xdg-desktop-portal/portals/$p.portal" >"$E2E_TMP/portals/$p.portal"
done
export XDG_DESKTOP_PORTAL_DIR=$E2E_TMP/portals
/usr/libexec/xdg-desktop-portal-gtk >"$E2E_TMP/xdpg.log" 2>&1 &
E2E_PIDS+=($!)

# The wlr backend with a chooser that asks nobody: the one screen. Without
# a GPU the compositor names no DMA-BUF format, which this backend insists on before it shares
# from plain memory: e2e/xdpw_shm.cpp names one.
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
  # Full allocation stacks, as for the app (start_vistrel_wayland): Qt's and PipeWire's
  # libraries keep no frame pointers.
  ASAN_OPTIONS=fast_unwind_on_malloc=0 timeout 60 "$CASTPROBE" "$@" >"$E2E_TMP/$name.log" 2>&1
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

# --- the screen changes size while recording: the recording fails and says so --------------
start_backend none || fail "the backend restarts"
( sleep 3; swaymsg output HEADLESS-1 resolution 1024x768 >/dev/null ) &
check "a screen that changes size ends the recording with a reason" \
  probe resized --expect-failure "changed size" 20 340 200 600 300
swaymsg output HEADLESS-1 resolution 1280x800 >/dev/null

# --- the backend goes away while recording: the recording fails with a reason ---------------
( sleep 3; kill "$XDPW_PID" 2>/dev/null ) &
check "a portal that goes away ends the recording with a reason" \
  probe gone --expect-failure "sharing|stream" 20 340 200 600 300

# --- vistrel record: 5 s of an area of the page to WebM, MP4 and GIF --------------------------
start_backend none || fail "the backend restarts"
"$VISTREL_BIN" --help 2>&1 | grep -q "record" || {
  echo "$E2E_PASSED passed, $E2E_FAILED failed"
  [ "$E2E_FAILED" = 0 ] || exit 1
  skip "this vistrel has no record command: the recordings through the app were not made"
}
tree() { swaymsg -t get_tree; }
has_window() { tree | grep -q "\"name\": \"$1\""; }
overlay_full_screen() { tree | grep -A40 '"name": "Vistrel Selection"' | grep -q '"fullscreen_mode": 1'; }
pointer() { "$POINTER" 1280 800 "$@"; }
# page_rect: "X Y" of the page's window on the screen (a window of fixed size floats).
page_rect() {
  tree | python3 -c '
import json, sys
def find(n):
    if n.get("name") == "Vistrel Record Page":
        return n
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        f = find(c)
        if f:
            return f
f = find(json.load(sys.stdin))
print(f["rect"]["x"], f["rect"]["y"]) if f else sys.exit(1)'
}
"$RECORDPAGE" >"$E2E_TMP/page.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 has_window "Vistrel Record Page" || { fail "the recording page shows"; exit 1; }
sleep 0.5
read -r page_x page_y < <(page_rect)
[ -n "${page_y:-}" ] || { fail "the recording page's place is known"; exit 1; }
# The area: the page less a white margin of 10 pixels, 460×280.
area_x=$((page_x + 10)) area_y=$((page_y + 10)) area_w=460 area_h=280
mkdir -p "$XDG_CONFIG_HOME/vistrel"
printf '[notices]\nbindDesktopShortcuts=true\n' >"$XDG_CONFIG_HOME/vistrel/vistrel.conf"
start_vistrel_wayland
check "Vistrel starts on Wayland" kill -0 "$VISTREL_PID"
for type in webm mp4 gif; do
  out="$E2E_TMP/recording.$type"
  "$VISTREL_BIN" record --output "$out" --duration 5 >"$E2E_TMP/record-$type.out" 2>&1 &
  client=$!
  if ! wait_for 10 overlay_full_screen; then
    fail "record --output $type shows the overlay"
    kill "$client" 2>/dev/null
    continue
  fi
  sleep 0.3
  pointer move "$area_x" "$area_y" down move $((area_x + area_w / 2)) $((area_y + area_h / 2)) \
    move $((area_x + area_w)) $((area_y + area_h)) up wait 200 move 5 790
  # The portal's chooser asks nobody here; the countdown (3 s), 5 s of recording, the file.
  for _ in $(seq 300); do kill -0 "$client" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$client" 2>/dev/null; then
    fail "record --output $type ends on its own after 5 s"
    kill "$client" 2>/dev/null
    continue
  fi
  wait "$client"; rc=$?
  check "record --output $type exits 0 (status $rc)" [ "$rc" = 0 ]
  check "and writes the file" test -s "$out"
  size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$out")
  check "of the area's size ($size)" [ "$size" = "$area_w,$area_h" ]
  check "whose frames read back right ($type)" \
    python3 "$E2E_DIR/recordcheck.py" "$out" --duration 5 --origin 10,10 --label "$type"
done
finish
