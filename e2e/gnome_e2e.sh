#!/bin/bash
# Vistrel on GNOME: a real headless GNOME Shell with its own portal backends, at scale 1 and 2,
# each on a private session bus whose only activatable service is dconf (the desktop's
# settings). The flow itself is gnome_session.sh.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/session-setup.sh"
: "${VISTREL_BIN:?VISTREL_BIN must name the vistrel executable}"
for tool in gnome-shell gnome-screenshot gsettings gdbus wl-paste dbus-run-session dbus-daemon dbus-send \
            convert compare /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-gnome \
            /usr/libexec/xdg-desktop-portal-gtk /usr/libexec/xdg-permission-store \
            /usr/libexec/gsd-media-keys /usr/libexec/dconf-service; do
  command -v "$tool" >/dev/null ||
    { echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"; exit 77; }
done
[ -x "${VISTREL_MUTTERINPUT:-}" ] || { echo "SKIP: the input helper was not built"; exit 77; }

# GNOME Shell runs as an ordinary user of the tests' own, with everything it needs copied into
# a folder of its own.
run=$(mktemp -d /tmp/vistrel-gnome.XXXXXX)
cp "$VISTREL_BIN" "$run/vistrel"
cp "$(dirname "$VISTREL_BIN")/vistrel-recognizer" "$run/"
cp "$VISTREL_MUTTERINPUT" "$run/mutterinput"
cp "$here/lib.sh" "$here/session-setup.sh" "$here/bounded-tool.sh" "$here/gnome_session.sh" "$run/"
# The bus activates only what the flow names: nothing installed elsewhere on the machine
# (another desktop's portal backend, a keyring) can change what Vistrel meets.
write_bus_config "$run/bus.conf" "$run"
cp /usr/share/dbus-1/services/ca.desrt.dconf.service "$run/services/"
session_user "$run"
rc=0
for scale in ${GNOME_SCALES:-1 2}; do
  echo "--- GNOME at scale $scale"
  mkdir -p "$run/home-$scale"
  [ ${#as_user[@]} = 0 ] || chown "$user" "$run/home-$scale"
  "${as_user[@]}" env -i HOME="$run/home-$scale" PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
    VISTREL_BIN="$run/vistrel" INPUT="$run/mutterinput" E2E_TMPDIR="$run" SCALE=$scale BENCH_RUNS=${BENCH_RUNS:-} \
    timeout 300 dbus-run-session --config-file="$run/bus.conf" -- bash "$run/gnome_session.sh" 2>&1 |
    grep -v "^dbus-daemon\["
  step=${PIPESTATUS[0]}
  [ "$step" = 0 ] || rc=$step
done
if [ "$rc" = 0 ]; then rm -rf "$run"; else echo "kept $run for a look"; fi
exit "$rc"
