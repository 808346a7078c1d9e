#!/bin/bash
# Recording in a Wayland session: a headless sway, pipewire with wireplumber, and the desktop
# portal with its wlr backend, all on a private session bus; the frames come through the
# ScreenCast portal. The flow itself is record_wayland_session.sh: first the frame source on
# its own (e2e/castprobe.cpp), then `vistrel record` to WebM, MP4 and GIF, read back by
# e2e/recordcheck.py as in the X11 flow.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/session-setup.sh"
: "${VISTREL_BIN:?VISTREL_BIN must name the vistrel executable}"
for tool in sway swaymsg dbus-run-session dbus-send pipewire wireplumber ffmpeg ffprobe python3 \
            /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-wlr \
            /usr/libexec/xdg-desktop-portal-gtk; do
  command -v "$tool" >/dev/null ||
    { echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"; exit 77; }
done
[ -f /usr/share/xdg-desktop-portal/portals/wlr.portal ] || { echo "SKIP: no wlr portal backend"; exit 77; }
[ -x "${VISTREL_CASTPROBE:-}" ] || { echo "SKIP: the recording probe was not built"; exit 77; }
[ -x "${VISTREL_WLPOINTER:-}" ] || { echo "SKIP: the pointer helper was not built (libwayland-dev)"; exit 77; }
[ -x "${VISTREL_RECORDPAGE:-}" ] || { echo "SKIP: the recording flow's page was not built"; exit 77; }
[ -f "${VISTREL_XDPW_SHM:-}" ] || { echo "SKIP: the portal backend's shim was not built (libwayland-dev)"; exit 77; }

# sway will not run as root: the session then belongs to an ordinary user of the tests' own,
# with everything it needs copied into a folder of its own.
run=$(mktemp -d /tmp/vistrel-record-wayland.XXXXXX)
cp "$VISTREL_BIN" "$run/vistrel"
cp "$(dirname "$VISTREL_BIN")/vistrel-recognizer" "$run/" # found beside the app
cp "$VISTREL_WLPOINTER" "$run/wlpointer"
cp "$VISTREL_RECORDPAGE" "$run/recordpage"
cp "$VISTREL_CASTPROBE" "$run/castprobe"
cp "$VISTREL_XDPW_SHM" "$run/xdpw_shm.so"
cp "$here/lib.sh" "$here/session-setup.sh" "$here/bounded-tool.sh" "$here/record_wayland_session.sh" \
  "$here/recordcheck.py" "$run/"
# The wlr backend writes every screenshot to the fixed /tmp/out.png; one left by another user
# would make every request fail.
if [ -e /tmp/out.png ] && ! [ -w /tmp/out.png ]; then
  [ "$(id -u)" = 0 ] && rm -f /tmp/out.png ||
    { echo "FAIL: /tmp/out.png belongs to another user; the portal cannot write screenshots"; exit 1; }
fi
# The bus starts nothing by itself: the flow starts every service it names.
write_bus_config "$run/bus.conf" "$run"
session_user "$run"
"${as_user[@]}" env -i HOME="$run" PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
  VISTREL_BIN="$run/vistrel" CASTPROBE="$run/castprobe" POINTER="$run/wlpointer" RECORDPAGE="$run/recordpage" XDPW_SHM="$run/xdpw_shm.so" E2E_TMPDIR="$run" \
  timeout 240 dbus-run-session --config-file="$run/bus.conf" -- bash "$run/record_wayland_session.sh" 2>&1 | grep -v "^dbus-daemon\["
rc=${PIPESTATUS[0]}
if [ "$rc" = 0 ]; then rm -rf "$run"; else echo "kept $run for a look"; fi
exit "$rc"
