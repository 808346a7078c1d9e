#!/bin/bash
# Vistrel in a Wayland session: a headless sway, the desktop portal with its wlr backend and
# pipewire, all on a private session bus. The flow itself is wayland_session.sh.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/session-setup.sh"
: "${VISTREL_BIN:?VISTREL_BIN must name the vistrel executable}"
for tool in sway swaymsg grim wl-paste dbus-run-session dbus-send pipewire convert compare \
            /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-wlr \
            /usr/libexec/xdg-desktop-portal-gtk; do
  command -v "$tool" >/dev/null ||
    { echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"; exit 77; }
done
[ -d /usr/share/xdg-desktop-portal/portals ] || { echo "SKIP: no portal backends"; exit 77; }
[ -x "${VISTREL_WLPOINTER:-}" ] || { echo "SKIP: the pointer helper was not built (libwayland-dev)"; exit 77; }

# sway will not run as root: the session then belongs to an ordinary user of the tests' own.
# Everything the session needs is copied into a folder of its own, out of reach of whatever
# keeps the build folder private.
run=$(mktemp -d /tmp/vistrel-wayland.XXXXXX)
cp "$VISTREL_BIN" "$run/vistrel"
cp "$(dirname "$VISTREL_BIN")/vistrel-recognizer" "$run/" # found beside the app
cp "$VISTREL_WLPOINTER" "$run/wlpointer"
cp "$here/lib.sh" "$here/session-setup.sh" "$here/bounded-tool.sh" "$here/wayland_session.sh" "$run/"
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
  VISTREL_BIN="$run/vistrel" POINTER="$run/wlpointer" E2E_TMPDIR="$run" \
  timeout 240 dbus-run-session --config-file="$run/bus.conf" -- bash "$run/wayland_session.sh" 2>&1 | grep -v "^dbus-daemon\["
rc=${PIPESTATUS[0]}
if [ "$rc" = 0 ]; then rm -rf "$run"; else echo "kept $run for a look"; fi
exit "$rc"
