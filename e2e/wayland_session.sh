#!/bin/bash
# The Wayland flow, inside its own session bus: the full screen and an area come from the
# compositor through the screenshot portal, and match what grim reads of the same screen.
source "$(dirname "$0")/lib.sh"

export XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland
unset DISPLAY
export WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1

# A backdrop where every place has its own colour, so a picture cut at the wrong place shows.
convert -size 1280x800 gradient:'#ff0000-#0000ff' \
  \( -size 800x1280 gradient:'#00ff00-#000000' -rotate 90 \) -compose plus -composite \
  "$E2E_TMP/backdrop.png"
cat >"$E2E_TMP/sway.conf" <<CONF
output HEADLESS-1 resolution 1280x800 position 0 0 bg $E2E_TMP/backdrop.png center
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

# The portal: the wlr backend takes screenshots (it needs pipewire), and the frontend offers
# Screenshot only beside a backend with Access (the gtk one). Both must name this desktop.
pipewire >"$E2E_TMP/pipewire.log" 2>&1 &
E2E_PIDS+=($!)
mkdir -p "$E2E_TMP/portals"
for p in wlr gtk; do
  sed 's/^UseIn=.*/UseIn=sway/' "/usr/share/xdg-desktop-portal/portals/$p.portal" >"$E2E_TMP/portals/$p.portal"
done
export XDG_DESKTOP_PORTAL_DIR=$E2E_TMP/portals
sleep 0.5
/usr/libexec/xdg-desktop-portal-wlr >"$E2E_TMP/xdpw.log" 2>&1 &
E2E_PIDS+=($!)
/usr/libexec/xdg-desktop-portal-gtk >"$E2E_TMP/xdpg.log" 2>&1 &
E2E_PIDS+=($!)
/usr/libexec/xdg-desktop-portal >"$E2E_TMP/xdp.log" 2>&1 &
E2E_PIDS+=($!)
portal_up() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.portal.Desktop | grep -q "boolean true"
}
wait_for 15 portal_up || { fail "the desktop portal starts"; cat "$E2E_TMP/xdp.log"; exit 1; }

tree() { swaymsg -t get_tree; }
has_window() { tree | grep -q "\"name\": \"$1\""; }
overlay_full_screen() { tree | grep -A40 '"name": "Vistrel Selection"' | grep -q '"fullscreen_mode": 1'; }
no_overlay() { ! has_window "Vistrel Selection"; }
pointer() { "$POINTER" 1280 800 "$@"; }
kept() { ls "$E2E_TMP/captures" 2>/dev/null | wc -l; }

# Vistrel, with its advice about shortcuts already given once (so no box covers the screen).
mkdir -p "$XDG_CONFIG_HOME/vistrel"
printf '[notices]\nbindDesktopShortcuts=true\n' >"$XDG_CONFIG_HOME/vistrel/vistrel.conf"
start_vistrel_wayland
check "Vistrel starts on Wayland" kill -0 "$VISTREL_PID"
check "without a shortcuts portal it says how to bind sway's own" \
  wait_for 5 grep -q "Add these lines to ~/.config/sway/config" "$E2E_TMP/vistrel.log"

# --- vistrel full: the editor opens with the compositor's picture ----------------------------
grim "$E2E_TMP/screen.png"
"$VISTREL_BIN" full
check "vistrel full opens the editor" wait_for 10 has_window "Vistrel — Editor"
check "the full-screen capture is kept" wait_for 5 [ "$(kept)" -ge 1 ]
full=$(ls "$E2E_TMP"/captures/* 2>/dev/null | head -1)
check "the full screen is the compositor's picture, pixel for pixel" \
  same_pixels "${full:-/nonexistent}" "$E2E_TMP/screen.png"
swaymsg '[title="^Vistrel — Editor$"] kill' >/dev/null
wait_for 5 sh -c "! swaymsg -t get_tree | grep -q 'Vistrel — Editor'"

# --- vistrel area: a full-screen overlay, a drag, Copy ---------------------------------------
grim "$E2E_TMP/screen.png"
"$VISTREL_BIN" area
check "vistrel area shows a full-screen overlay" wait_for 10 overlay_full_screen
read -r bx by < <(toolbar_button Copy 200 150 320 240 1280 800)
pointer move 200 150 down move 360 270 move 520 390 up wait 300 move "$bx" "$by" down up
check "the overlay closes after Copy" wait_for 5 no_overlay
clip_ready() { wl-paste --list-types | grep -q image/png; }
check "the clipboard offers a PNG" wait_for 5 clip_ready
wl-paste --type image/png >"$E2E_TMP/clip.png" 2>/dev/null
convert "$E2E_TMP/screen.png" -crop 320x240+200+150 +repage "$E2E_TMP/expected.png"
check "the copied area has the dragged pixels" same_pixels "$E2E_TMP/clip.png" "$E2E_TMP/expected.png"

# --- vistrel color: this desktop has no picker of its own, so the loupe picks ---------------
"$VISTREL_BIN" color
check "vistrel color shows the loupe" wait_for 10 overlay_full_screen
sleep 0.3
pointer move 640 400 wait 100 down up
check "the loupe closes after the click" wait_for 5 no_overlay
expected=$(convert "$E2E_TMP/screen.png" -crop 1x1+640+400 -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}')
colour_copied() { wl-paste --no-newline >"$E2E_TMP/colour.txt" 2>/dev/null; [ "$(cat "$E2E_TMP/colour.txt")" = "$expected" ]; }
check "the clipboard holds the picked pixel's colour ($expected)" wait_for 5 colour_copied

# --- what Wayland does not allow is refused with a reason ------------------------------------
"$VISTREL_BIN" window
check "window capture says why it cannot work here" wait_for 5 has_window "Vistrel"
check "and shows no overlay" no_overlay

finish
