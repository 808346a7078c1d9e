#!/bin/bash
# Vistrel on KDE Plasma: a virtual KWin session with KDE's own desktop portal, at scale 1, 2 and
# 1.5 (where Qt rounds the scale up to 2 and the portal's picture is 1920×1200), each on a
# session bus of its own that can start no service by itself.
# The flow itself is kde_session.sh.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/session-setup.sh"
: "${VISTREL_BIN:?VISTREL_BIN must name the vistrel executable}"
kde_portal=""
for p in /usr/lib/*/libexec/xdg-desktop-portal-kde /usr/libexec/xdg-desktop-portal-kde; do
  [ -x "$p" ] && { kde_portal=$p; break; }
done
[ -n "$kde_portal" ] || { echo "SKIP: xdg-desktop-portal-kde is not installed (scripts/install-deps.sh installs it)"; exit 77; }
for tool in kwin_wayland swaybg wl-paste wl-copy dbus-run-session dbus-daemon dbus-send convert compare \
            /usr/libexec/xdg-desktop-portal; do
  command -v "$tool" >/dev/null ||
    { echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"; exit 77; }
done
[ -f /usr/share/xdg-desktop-portal/portals/kde.portal ] || { echo "SKIP: no KDE portal description"; exit 77; }
# The KDE portal is a Qt 5 program: without Qt 5's Wayland plugin it cannot show its dialogs.
ls /usr/lib/*/qt5/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 ||
  { echo "SKIP: Qt 5's Wayland plugin is not installed (qtwayland5)"; exit 77; }
[ -x "${VISTREL_KWININPUT:-}" ] ||
  { echo "SKIP: the input helper was not built (libwayland-dev, plasma-wayland-protocols)"; exit 77; }
[ -x "${VISTREL_KWINSHOT:-}" ] || { echo "SKIP: the reference helper was not built"; exit 77; }

# KWin, like sway, is run by an ordinary user of the tests' own, from a folder of its own.
run=$(mktemp -d /tmp/vistrel-kde.XXXXXX)
cp "$VISTREL_BIN" "$run/vistrel"
cp "$(dirname "$VISTREL_BIN")/vistrel-recognizer" "$run/" # found beside the app
cp "$VISTREL_KWININPUT" "$run/kwininput"
cp "$VISTREL_KWINSHOT" "$run/kwinshot"
# The installed kwin_wayland carries a file capability (to raise its scheduling priority) that a
# container refuses to grant, so it does not start at all; a plain copy has none.
cp "$(command -v kwin_wayland)" "$run/kwin_wayland"
cp "$here/lib.sh" "$here/session-setup.sh" "$here/bounded-tool.sh" "$here/kde_session.sh" "$run/"
# The session bus knows only the services of its folder, which is empty: what the flow needs
# it starts itself, and nothing else installed on the machine is activated.
write_bus_config "$run/bus.conf" "$run"
session_user "$run"
rc=0
# bench/kde_bench.sh asks for figures instead of checks (BENCH_RUNS) at the scales it names.
for scale in ${KDE_SCALES:-1 2 1.5}; do
  echo "--- KWin at scale $scale"
  start=$(date +%s)
  "${as_user[@]}" env -i HOME="$run" PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
    VISTREL_BIN="$run/vistrel" INPUT="$run/kwininput" KWINSHOT="$run/kwinshot" KWIN="$run/kwin_wayland" \
    KDE_PORTAL="$kde_portal" E2E_TMPDIR="$run" ${BENCH_RUNS:+BENCH_RUNS=$BENCH_RUNS} \
    timeout 180 dbus-run-session --config-file="$run/bus.conf" -- bash "$run/kde_session.sh" "$scale" 2>&1 |
    grep -v "^dbus-daemon\["
  status=${PIPESTATUS[0]}
  echo "--- scale $scale took $(( $(date +%s) - start )) s"
  # A skipped half skips the flow, unless the other half failed.
  if [ "$status" = 77 ]; then [ "$rc" = 0 ] && rc=77
  elif [ "$status" != 0 ]; then rc=$status
  fi
done
if [ "$rc" = 0 ]; then rm -rf "$run"; else echo "kept $run for a look"; fi
exit "$rc"
