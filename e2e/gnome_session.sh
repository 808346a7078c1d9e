#!/bin/bash
# The GNOME flow at one scale (SCALE=1 or 2), inside its own session bus: GNOME Shell headless
# with a virtual monitor, its portal backends, and Vistrel as a user meets them.
source "$(dirname "$0")/lib.sh"

export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
unset DISPLAY
scale=${SCALE:-1}
W=1280 H=800 # logical
monitor=$((W * scale))x$((H * scale))

# Services the bus starts (dconf) see the same folders as the flow.
dbus-update-activation-environment HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_RUNTIME_DIR

# GNOME Shell will not start without a system bus: a stand-in with nothing on it.
dbus-daemon --session --address="unix:path=$E2E_TMP/sysbus" --nofork --nopidfile >"$E2E_TMP/sysbus.log" 2>&1 &
E2E_PIDS+=($!)
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$E2E_TMP/sysbus
wait_for 5 test -S "$E2E_TMP/sysbus" || { fail "the stand-in system bus starts"; exit 1; }

# A backdrop where every place has its own colour, so a picture cut at the wrong place shows;
# no animations, banners or hot corner to come between a step and its check.
convert -size ${W}x${H} gradient:'#ff0000-#0000ff' \
  \( -size ${H}x${W} gradient:'#00ff00-#000000' -rotate 90 \) -compose plus -composite \
  "$E2E_TMP/backdrop.png"
settings() { gsettings set "$@" || fail "gsettings set $*"; }
settings org.gnome.desktop.background picture-uri "file://$E2E_TMP/backdrop.png"
settings org.gnome.desktop.background picture-uri-dark "file://$E2E_TMP/backdrop.png"
settings org.gnome.desktop.background picture-options zoom
settings org.gnome.desktop.interface enable-animations false
settings org.gnome.desktop.interface enable-hot-corners false
settings org.gnome.desktop.notifications show-banners false
# Keys typed into a slow dialog come once each, however late their release arrives.
settings org.gnome.desktop.peripherals.keyboard repeat false

gnome-shell --headless --wayland --no-x11 --virtual-monitor "$monitor" >"$E2E_TMP/shell.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 20 test -S "$XDG_RUNTIME_DIR/wayland-0" || { fail "GNOME Shell starts"; tail -20 "$E2E_TMP/shell.log"; exit 1; }
export WAYLAND_DISPLAY=wayland-0
has_name() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q "boolean true"
}
wait_for 20 has_name org.gnome.Mutter.RemoteDesktop || { fail "GNOME Shell answers"; exit 1; }
# From the bottom-right corner, which is the last device pixel: half a point short of the
# logical size at scale 2.
input() { "$INPUT" "$(awk -v n=$W -v s=$scale 'BEGIN { print n + 1 - 1 / s }')" \
  "$(awk -v n=$H -v s=$scale 'BEGIN { print n + 1 - 1 / s }')" "$@"; }
input key Escape # the overview it starts in
# A keyboard for the whole session, as a desktop has: without one, no app has the keyboard,
# and GNOME lets only the app that has it set the clipboard.
"$INPUT" "$W" "$H" wait 3600000 &
E2E_PIDS+=($!)

if [ "$scale" != 1 ]; then
  serial=$(gdbus call --session --dest org.gnome.Mutter.DisplayConfig --object-path /org/gnome/Mutter/DisplayConfig \
             --method org.gnome.Mutter.DisplayConfig.GetCurrentState | sed -n 's/^(uint32 \([0-9]*\),.*/\1/p')
  gdbus call --session --dest org.gnome.Mutter.DisplayConfig --object-path /org/gnome/Mutter/DisplayConfig \
    --method org.gnome.Mutter.DisplayConfig.ApplyMonitorsConfig "$serial" 1 \
    "[(0, 0, $scale.0, uint32 0, true, [('Meta-0', '$monitor@60.000', @a{sv} {})])]" "@a{sv} {}" >/dev/null ||
    { fail "GNOME takes scale $scale"; exit 1; }
fi

# The portal: GNOME's backend and the GTK one beside it, and no other desktop's.
/usr/libexec/xdg-permission-store --replace >"$E2E_TMP/permissions.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 has_name org.freedesktop.impl.portal.PermissionStore || { fail "the permission store starts"; exit 1; }
allow_screenshots() {
  busctl --user call org.freedesktop.impl.portal.PermissionStore /org/freedesktop/impl/portal/PermissionStore \
    org.freedesktop.impl.portal.PermissionStore SetPermission sbssas screenshot true screenshot '' 1 "$1"
}
allow_screenshots yes # as if "Allow" had been answered once
mkdir -p "$E2E_TMP/portals"
for p in gnome gtk; do
  sed 's/^UseIn=.*/UseIn=GNOME/' "/usr/share/xdg-desktop-portal/portals/$p.portal" >"$E2E_TMP/portals/$p.portal"
done
export XDG_DESKTOP_PORTAL_DIR=$E2E_TMP/portals
dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE \
  DBUS_SYSTEM_BUS_ADDRESS XDG_DESKTOP_PORTAL_DIR
for backend in gnome gtk; do
  "/usr/libexec/xdg-desktop-portal-$backend" >"$E2E_TMP/xdp-$backend.log" 2>&1 &
  E2E_PIDS+=($!)
done
wait_for 10 has_name org.freedesktop.impl.portal.desktop.gnome || { fail "GNOME's portal backend starts"; exit 1; }
/usr/libexec/xdg-desktop-portal >"$E2E_TMP/xdp.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 15 has_name org.freedesktop.portal.Desktop || { fail "the desktop portal starts"; cat "$E2E_TMP/xdp.log"; exit 1; }

screen() { gnome-screenshot -f "$1" 2>/dev/null && [ -s "$1" ]; }
pictures() { find "$HOME" -type f \( -name '*.png' -o -name '*.jpg' \) 2>/dev/null | sort; }
# the clipboard, read while the input session gives the seat a keyboard (a Wayland client may
# read the clipboard only then)
clipboard() { timeout 5 wl-paste "$@" 2>/dev/null; }
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}'; }
same_size() { [ "$(identify -format '%wx%h' "$1")" = "$2" ]; }

# --- Vistrel starts; GNOME binds no shortcuts for apps ----------------------------------------
mkdir -p "$XDG_CONFIG_HOME/vistrel"
# At scale 2 the question about GNOME's shortcuts has been answered once already.
[ "$scale" = 1 ] || printf '[notices]\nbindDesktopShortcuts=true\n' >"$XDG_CONFIG_HOME/vistrel/vistrel.conf"
start_vistrel_wayland
check "Vistrel starts" test -S "$XDG_RUNTIME_DIR/vistrel-$WAYLAND_DISPLAY.socket"
check "it says the hot keys need GNOME's own shortcuts, with the steps" \
  wait_for 10 grep -q "Custom Shortcuts, add one shortcut for each command" "$E2E_TMP/vistrel.log"
if [ -n "${BENCH_RUNS:-}" ]; then
  # Figures: each command timed whole, in turn, with Vistrel already running.
  : >"$E2E_TMP/app.txt"; : >"$E2E_TMP/gnome.txt"
  ms() { local t0=$(date +%s%N); "$@" >/dev/null 2>&1; echo $(( ($(date +%s%N) - t0) / 1000000 )); }
  "$VISTREL_BIN" full --output "$E2E_TMP/warm.png" # the first answer loads what later ones reuse
  for _ in $(seq "$BENCH_RUNS"); do
    ms "$VISTREL_BIN" full --output "$E2E_TMP/shot.png" >>"$E2E_TMP/app.txt"
    ms gnome-screenshot -f "$E2E_TMP/ref.png" >>"$E2E_TMP/gnome.txt"
  done
  stats() { sort -n "$2" | awk -v what="$1" '{ v[NR] = $1 } END { printf "  %-40s median %d ms (%d–%d ms, %d runs)\n", what, v[int((NR + 1) / 2)], v[1], v[NR], NR }'; }
  echo "GNOME at scale $scale, $(identify -format '%wx%h' "$E2E_TMP/shot.png"):"
  stats "vistrel full --output shot.png" "$E2E_TMP/app.txt"
  stats "gnome-screenshot -f ref.png" "$E2E_TMP/gnome.txt"
  finish
fi

shortcut_added() { gsettings get org.gnome.settings-daemon.plugins.media-keys custom-keybindings | grep -q vistrel-area; }
if [ "$scale" = 1 ]; then
  # The question is in the middle of the screen: a click gives it the keyboard, Return
  # takes its default answer.
  sleep 1
  screen "$E2E_TMP/question.png"
  input move $((W / 2)) $((H / 2 - 20)) down up wait 300 key Return
  check "Add Shortcuts puts them in GNOME's custom shortcuts" wait_for 15 shortcut_added
  check "running this Vistrel" sh -c "gsettings get org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/vistrel-area/ command | grep -q '$VISTREL_BIN area'"
  /usr/libexec/gsd-media-keys >"$E2E_TMP/media-keys.log" 2>&1 &
  E2E_PIDS+=($!)
  wait_for 10 has_name org.gnome.SettingsDaemon.MediaKeys
  sleep 1
  screen "$E2E_TMP/before.png"
  input key Control_L Shift_L 2
  # The overlay dims the desktop: the middle of the screen turns darker.
  dimmed() {
    screen "$E2E_TMP/dim.png" || return 1
    local a b
    a=$(convert "$E2E_TMP/before.png" -crop 200x200+900+500 -colorspace gray -format '%[fx:mean]' info:)
    b=$(convert "$E2E_TMP/dim.png" -crop 200x200+900+500 -colorspace gray -format '%[fx:mean]' info:)
    awk -v a="$a" -v b="$b" 'BEGIN { exit !(b < a * 0.8) }'
  }
  check "Ctrl+Shift+2 opens the overlay through GNOME's shortcut" wait_for 10 dimmed
  cp "$E2E_TMP/dim.png" "$E2E_TMP/hotkey.png"
  input key Escape
  sleep 0.5
else
  not_added() { ! shortcut_added; }
  check "it does not ask again" not_added
fi

# --- vistrel full --output: the screen at its own size, pixel for pixel ------------------------
full_matches() {
  screen "$E2E_TMP/reference.png" &&
    "$VISTREL_BIN" full --output "$E2E_TMP/full.png" &&
    compare -metric AE "$E2E_TMP/full.png" "$E2E_TMP/reference.png" null: 2>/dev/null
}
# The clock in the top bar may turn between the two pictures: a few tries.
check "vistrel full --output equals GNOME's own screenshot" wait_for 20 full_matches
check "at the screen's device size ($monitor)" same_size "$E2E_TMP/full.png" "$monitor"

# --- an area dragged on the overlay, pixel for pixel -------------------------------------------
screen "$E2E_TMP/reference.png"
"$VISTREL_BIN" area --output "$E2E_TMP/area.png" >"$E2E_TMP/area.out" 2>&1 &
area_pid=$!
sleep 2
input move 200 150 down move 360 270 move 520 390 up
wait "$area_pid"
check "vistrel area --output ends after the drag" test -s "$E2E_TMP/area.png"
convert "$E2E_TMP/reference.png" -crop $((320 * scale))x$((240 * scale))+$((200 * scale))+$((150 * scale)) +repage \
  "$E2E_TMP/expected.png"
check "the dragged area has the screen's pixels" \
  sh -c "compare -metric AE '$E2E_TMP/area.png' '$E2E_TMP/expected.png' null: 2>/dev/null"

# --- GNOME's own colour picker ------------------------------------------------------------------
"$VISTREL_BIN" color
sleep 1.5
screen "$E2E_TMP/picker.png"
input move 640 400 wait 200 down up
expected=$(pixel "$E2E_TMP/reference.png" $((640 * scale)) $((400 * scale)))
# GNOME gives the clipboard only to the app in front, which after its own picker is not
# Vistrel: Vistrel offers the colour in a box whose Copy (its default button) puts it there.
sleep 1.5
screen "$E2E_TMP/colour-box.png"
input move $((W / 2)) $((H / 2 - 20)) down up wait 300 key Return
colour_copied() { [ "$(clipboard --no-newline)" = "$expected" ]; }
check "the picked colour ($expected) is on the clipboard" wait_for 10 colour_copied

# --- an area copied from the overlay --------------------------------------------------------------
"$VISTREL_BIN" area
sleep 2
read -r bx by < <(toolbar_button Copy 200 150 320 240 "$W" "$H")
input move 200 150 down move 360 270 move 520 390 up wait 500 move "$bx" "$by" down up
clipboard --type image/png >"$E2E_TMP/clip.png"
check "Copy puts the dragged area on the clipboard, pixel for pixel" \
  sh -c "compare -metric AE '$E2E_TMP/clip.png' '$E2E_TMP/expected.png' null: 2>/dev/null"

# --- the desktop's save dialog writes the file -------------------------------------------------
"$VISTREL_BIN" full
sleep 2
# The editor opens in the middle of the screen: a click there gives it the keyboard.
input move $((W / 2)) $((H / 2)) down up wait 300 key Control_L s
sleep 2
screen "$E2E_TMP/save-dialog.png"
# Over the editor, in the middle of the screen (without a parent GNOME puts it top left).
grey() { convert "$E2E_TMP/save-dialog.png" -crop "5x5+$(($1 * scale))+$(($2 * scale))" -colorspace gray -format '%[fx:mean]' info:; }
centred() { awk -v mid="$(grey $((W / 2)) $((H / 2)))" -v left="$(grey 40 150)" 'BEGIN { exit !(mid > 0.9 && left < 0.8) }'; }
check "the save dialog opens over the editor" centred
input key Control_L a wait 100 type "$E2E_TMP/saved.png" wait 300 key Return
check "GNOME's save dialog writes the file" wait_for 10 test -s "$E2E_TMP/saved.png"
check "a PNG of the screen's size" same_size "$E2E_TMP/saved.png" "$monitor"

# --- nothing of a capture stays on disk ---------------------------------------------------------
for _ in 1 2 3; do "$VISTREL_BIN" full --output "$E2E_TMP/again.png"; done
check "no picture is left in the home folder after five captures" test -z "$(pictures)"
pictures

# --- a refusal is a failure with its reason ------------------------------------------------------
allow_screenshots no
"$VISTREL_BIN" full --output "$E2E_TMP/refused.png" 2>"$E2E_TMP/refused.err"
check "a refused screenshot exits 1" test $? = 1
check "and says how to allow it again" grep -q "answered with Deny" "$E2E_TMP/refused.err"
check "and writes nothing" test ! -e "$E2E_TMP/refused.png"
allow_screenshots yes

finish
