#!/bin/bash
# The KDE Plasma flow at one scale (its argument: 1, 2 or 1.5), inside a session bus of its own: a
# virtual KWin, KDE's desktop portal in front of it, and Vistrel's pictures compared with what
# KWin itself reads of the screen (its ScreenShot2 interface, through the kwinshot helper).
source "$(dirname "$0")/lib.sh"

scale=${1:-1}
W=1280 H=800
# dev N: N logical pixels in device pixels (the scale may be fractional, as 1.5).
dev() { awk -v n="$1" -v s="$scale" 'BEGIN { printf "%d", n * s + 0.5 }'; }
DW=$(dev $W) DH=$(dev $H)
export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 XDG_SESSION_TYPE=wayland
unset DISPLAY
# A home of this run's own: the portal writes its pictures into ~/Pictures.
export HOME=$E2E_TMP/home XDG_CACHE_HOME=$E2E_TMP/cache
mkdir -p "$HOME/Pictures"
flow_start=$(date +%s%N)
elapsed() { echo "$(( ($(date +%s%N) - flow_start) / 1000000 )) ms"; }

# A backdrop where every place has its own colour, in device pixels, so a picture cut at the
# wrong place or scaled shows.
convert -size ${DW}x${DH} gradient:'#ff0000-#0000ff' \
  \( -size ${DH}x${DW} gradient:'#00ff00-#000000' -rotate 90 \) -compose plus -composite \
  -depth 8 "$E2E_TMP/backdrop.png"

# Without their permission checks KWin offers fake input and its screenshots to any client.
KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
QT_LOGGING_RULES="kwin_scripting=true" \
  "$KWIN" --virtual --width $W --height $H --scale "$scale" --no-lockscreen --socket wayland-kde \
  >"$E2E_TMP/kwin.log" 2>&1 &
E2E_PIDS+=($!)
on_bus() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q "boolean true"
}
wait_for 20 on_bus org.kde.KWin.ScreenShot2 && [ -S "$XDG_RUNTIME_DIR/wayland-kde" ] ||
  { fail "KWin starts"; tail -20 "$E2E_TMP/kwin.log"; exit 1; }
export WAYLAND_DISPLAY=wayland-kde
echo "KWin ready after $(elapsed)"

swaybg -o '*' -i "$E2E_TMP/backdrop.png" -m fill >"$E2E_TMP/swaybg.log" 2>&1 &
E2E_PIDS+=($!)
reference() { "$KWINSHOT" "$1"; }
backdrop_shown() {
  reference "$E2E_TMP/ref.png" && [ "$(pixel_hex "$E2E_TMP/ref.png" 5 5)" = "$(pixel_hex "$E2E_TMP/backdrop.png" 5 5)" ]
}
wait_for 10 backdrop_shown || { fail "the backdrop shows"; cat "$E2E_TMP/swaybg.log"; exit 1; }

# The portal: KDE's backend first (the front end offers only what a running backend has), and
# only it, so no other desktop's backend answers for KDE.
mkdir -p "$E2E_TMP/portals"
cp /usr/share/xdg-desktop-portal/portals/kde.portal "$E2E_TMP/portals/"
export XDG_DESKTOP_PORTAL_DIR=$E2E_TMP/portals
QT_LOGGING_RULES="xdp-kde*=true" "$KDE_PORTAL" >"$E2E_TMP/xdpk.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 15 on_bus org.freedesktop.impl.portal.desktop.kde ||
  { fail "the KDE portal starts"; tail -20 "$E2E_TMP/xdpk.log"; exit 1; }
G_MESSAGES_DEBUG=all /usr/libexec/xdg-desktop-portal -v >"$E2E_TMP/xdp.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 15 on_bus org.freedesktop.portal.Desktop ||
  { fail "the desktop portal starts"; tail -20 "$E2E_TMP/xdp.log"; exit 1; }
echo "portal ready after $(elapsed)"

# windows: "caption<TAB>fullscreen<TAB>x,y,w,h" of every window, as KWin's own scripting sees
# them (printed into KWin's log, between marks of this call's own).
windows() {
  local mark=vistrel$RANDOM$RANDOM script
  script=$E2E_TMP/$mark.js
  cat >"$script" <<JS
const list = workspace.clientList();
for (let i = 0; i < list.length; ++i) {
    const c = list[i];
    print("$mark\t" + c.caption + "\t" + c.fullScreen + "\t" + c.x + "," + c.y + "," + c.width + "," + c.height);
}
print("$mark\tend");
JS
  dbus-send --session --print-reply --dest=org.kde.KWin /Scripting org.kde.kwin.Scripting.loadScript \
    "string:$script" "string:$mark" >/dev/null &&
  dbus-send --session --print-reply --dest=org.kde.KWin /Scripting org.kde.kwin.Scripting.start >/dev/null &&
  wait_for 5 grep -q "$mark	end" "$E2E_TMP/kwin.log"
  dbus-send --session --print-reply --dest=org.kde.KWin /Scripting org.kde.kwin.Scripting.unloadScript \
    "string:$mark" >/dev/null
  rm -f "$script"
  grep -a "$mark	" "$E2E_TMP/kwin.log" | grep -v "	end$" | cut -f2-
}
has_window() { windows | cut -f1 | grep -qx "$1"; }
overlay_full_screen() { windows | grep -q "^Vistrel Selection	.*	0,0,$W,$H$"; }
no_overlay() { ! has_window "Vistrel Selection"; }
input() { "$INPUT" "$@"; }
# files_in_home: every file of the home outside its hidden folders (where GNOME and KDE put
# their screenshots), one a line.
files_in_home() { find "$HOME" -path "$HOME/.*" -prune -o -type f -print | sort; }
# same_except_pointer A B X Y: A and B agree pixel for pixel outside a box around the pointer at
# X,Y (logical), which KDE's portal draws into its pictures.
same_except_pointer() {
  local box
  box="$(dev $(($3 - 16))),$(dev $(($4 - 16))) $(dev $(($3 + 48))),$(dev $(($4 + 48)))"
  convert "$1" -fill black -draw "rectangle $box" "$E2E_TMP/a.png" &&
  convert "$2" -fill black -draw "rectangle $box" "$E2E_TMP/b.png" &&
  same_pixels "$E2E_TMP/a.png" "$E2E_TMP/b.png"
}
size_of() { identify -format "%wx%h" "$1" 2>/dev/null; }

# --- the app; at scale 1 as on its first start, so its advice about shortcuts may show ----------
# (Started first: a scripted capture with no app running starts one of its own, which would
# outlive the flow.)
if [ "$scale" != 1 ]; then
  mkdir -p "$XDG_CONFIG_HOME/vistrel"
  printf '[notices]\nbindDesktopShortcuts=true\n' >"$XDG_CONFIG_HOME/vistrel/vistrel.conf"
fi
start_vistrel_wayland
check "Vistrel starts on KDE" kill -0 "$VISTREL_PID"

# --- figures instead of checks (bench/kde_bench.sh): whole commands, in turn -----------------
if [ -n "${BENCH_RUNS:-}" ]; then
  time_ms() {
    local t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    echo $(( ($(date +%s%N) - t0) / 100000 )) | sed 's/.$/.&/'
  }
  stats() {
    sort -n "$2" | awk -v n="$1" '{ v[NR] = $1 } END {
      m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "  %-44s median %7.1f ms  (min %.1f, max %.1f, %d runs)\n", n, m, v[1], v[NR], NR }'
  }
  input move 1100 700
  for _ in $(seq "$BENCH_RUNS"); do
    time_ms "$VISTREL_BIN" full --output "$E2E_TMP/shot.png" >>"$E2E_TMP/app.txt"
    time_ms "$KWINSHOT" "$E2E_TMP/kwin.png" >>"$E2E_TMP/kwin.txt"
  done
  echo "KWin at scale $scale, $(identify -format "%wx%h, PNG of %b" "$E2E_TMP/shot.png"):"
  stats "vistrel full --output shot.png" "$E2E_TMP/app.txt"
  stats "KWin's ScreenShot2, written as PNG" "$E2E_TMP/kwin.txt"
  finish
fi

if [ "$scale" = 1 ]; then
  # --- the hot key: bound through KDE's portal as Vistrel starts --------------------------------
  sleep 2
  input move 1100 700 keys 29+42+3 # Ctrl+Shift+2
  if ! check "Ctrl+Shift+2 opens the overlay through the desktop's global shortcuts" wait_for 10 overlay_full_screen; then
    sed 's/^/  vistrel: /' "$E2E_TMP/vistrel.log"
  fi
  input keys 1 # Escape
  nothing_open() { ! windows | cut -f1 | grep -qxE "Vistrel|Vistrel Selection"; }
  check "Escape closes it" wait_for 5 nothing_open
fi

# --- vistrel full --output: the screen in device pixels, the same as KWin's own picture -----
px=1000 py=600
input move $px $py
before=$(files_in_home)
reference "$E2E_TMP/screen.png"
t0=$(date +%s%N)
"$VISTREL_BIN" full --output "$E2E_TMP/full.png" >"$E2E_TMP/full.out" 2>&1
full_rc=$?
echo "vistrel full --output took $(( ($(date +%s%N) - t0) / 1000000 )) ms"
check "vistrel full --output succeeds" [ "$full_rc" = 0 ]
check "the picture is the device screen's size (${DW}x${DH})" [ "$(size_of "$E2E_TMP/full.png")" = "${DW}x${DH}" ]
check "it is KWin's picture, pixel for pixel, outside the pointer" \
  same_except_pointer "$E2E_TMP/full.png" "$E2E_TMP/screen.png" $px $py

if [ "$scale" = 1 ]; then
  # --- nothing of a capture stays behind ------------------------------------------------------
  for n in 2 3 4 5; do
    "$VISTREL_BIN" full --output "$E2E_TMP/full$n.png" >>"$E2E_TMP/full.out" 2>&1
  done
  after=$(files_in_home)
  check "after five captures no new file is in the home or ~/Pictures" [ "$before" = "$after" ]
  [ "$before" = "$after" ] || diff <(echo "$before") <(echo "$after") | sed -n 's/^> /  left behind: /p'

  # --- a request the desktop fails is a failure, with its reason ------------------------------
  # KDE's portal answers "failed" when ~/Pictures is missing.
  mv "$HOME/Pictures" "$HOME/Pictures.away"
  "$VISTREL_BIN" full --output "$E2E_TMP/none.png" >"$E2E_TMP/none.out" 2>&1
  none_rc=$?
  mv "$HOME/Pictures.away" "$HOME/Pictures"
  check "without ~/Pictures vistrel full --output exits 1 (it exited $none_rc)" [ "$none_rc" = 1 ]
  check "and says why" grep -q '[[:alpha:]]' "$E2E_TMP/none.out"
  check "and writes no picture" [ ! -e "$E2E_TMP/none.png" ]
fi

# --- vistrel full: the editor opens with the portal's picture; its Copy reaches the clipboard --
input move $px $py
reference "$E2E_TMP/screen.png"
ls "$E2E_TMP/captures" >"$E2E_TMP/kept-before.txt" 2>/dev/null
"$VISTREL_BIN" full
check "vistrel full opens the editor" wait_for 10 has_window "Vistrel — Editor"
new_capture() { ls "$E2E_TMP/captures" 2>/dev/null | comm -13 "$E2E_TMP/kept-before.txt" - | head -1; }
wait_for 5 test -n "$(new_capture)"
kept=$E2E_TMP/captures/$(new_capture)
check "the editor's picture is KWin's, pixel for pixel, outside the pointer (${DW}x${DH})" \
  same_except_pointer "$kept" "$E2E_TMP/screen.png" $px $py
sleep 0.5
input keys 29+46 # Ctrl+C in the editor, which has the keyboard
clip_png() { timeout 3 wl-paste --type image/png >"$E2E_TMP/clip.png" 2>/dev/null && [ -s "$E2E_TMP/clip.png" ]; }
editor_copied() { clip_png && same_pixels "$E2E_TMP/clip.png" "$kept"; }
check "Ctrl+C in the editor puts its picture on the clipboard" wait_for 5 editor_copied
input keys 29+17 # Ctrl+W
check "Ctrl+W closes the editor" wait_for 5 eval '! has_window "Vistrel — Editor"'

# --- vistrel area: a full-screen overlay, a 320×240 drag, Copy --------------------------------
# The pointer waits away from the drag, since the frozen picture shows it where it was.
input move 1100 700
reference "$E2E_TMP/screen.png"
# Something else on the clipboard first (wl-paste waits for ever while it is empty).
printf 'before the copy' | timeout 5 wl-copy 2>/dev/null
"$VISTREL_BIN" area
check "vistrel area shows a full-screen overlay" wait_for 10 overlay_full_screen
read -r bx by < <(toolbar_button Copy 200 150 320 240 $W $H)
input move 200 150 down move 360 270 move 520 390 up wait 300 move "$bx" "$by" down up
check "the overlay closes after Copy" wait_for 5 no_overlay
check "the clipboard holds a PNG" wait_for 5 clip_png
convert "$E2E_TMP/screen.png" -crop "$(dev 320)x$(dev 240)+$(dev 200)+$(dev 150)" +repage \
  "$E2E_TMP/expected.png"
check "the copied area has the dragged pixels ($(dev 320)x$(dev 240))" \
  same_pixels "$E2E_TMP/clip.png" "$E2E_TMP/expected.png"

# --- vistrel color: KWin's own picker ---------------------------------------------------------
printf 'before the colour' | timeout 5 wl-copy 2>/dev/null
"$VISTREL_BIN" color
picker_armed() { [ "$(grep -c "PickColor called" "$E2E_TMP/xdpk.log")" -ge 1 ]; }
check "vistrel color asks the desktop's picker" wait_for 10 picker_armed
expected=$(pixel_hex "$E2E_TMP/screen.png" "$(dev 640)" "$(dev 400)" | tr a-f A-F)
# The portal logs the request a moment before KWin's picker takes clicks: once more if the
# first click came too early (a later one lands on the backdrop).
pick() { sleep 0.5; input move 641 401 wait 100 move 640 400 wait 200 down wait 50 up; }
colour_copied() { [ "$(timeout 3 wl-paste --no-newline 2>/dev/null)" = "$expected" ]; }
# KWin gives the clipboard only to the app in front, which after its own picker is not Vistrel:
# Vistrel then offers the colour in a box whose Copy (its default button) puts it there.
offered() { has_window "Vistrel — Colour"; }
answered() { colour_copied || offered; }
pick
wait_for 3 answered || pick
check "the picked colour ($expected) is copied, or offered with a Copy button" wait_for 5 answered
if offered; then
  sleep 0.5
  input keys 28 # Return
fi
check "the clipboard holds that colour" wait_for 5 colour_copied

if [ "$scale" = 1 ]; then
  # --- the portal's Save dialog writes the file -----------------------------------------------
  saved_before=$(files_in_home)
  "$VISTREL_BIN" area
  wait_for 10 overlay_full_screen
  read -r bx by < <(toolbar_button Save 600 100 300 200 $W $H)
  input move 600 100 down move 750 200 move 900 300 up wait 300 move "$bx" "$by" down up
  save_dialog() { windows | cut -f1 | grep -q "Save"; }
  check "Save opens the desktop's save dialog" wait_for 10 save_dialog
  sleep 1
  input keys 28 # Return: the suggested name in the suggested folder
  # The suggested name is Vistrel's own, unlike the portal's Screenshot_<time>.png.
  new_png() { comm -13 <(echo "$saved_before") <(files_in_home) | grep -q '/Vistrel[^/]*\.png$'; }
  check "the dialog's answer is where the picture is written" wait_for 10 new_png
fi

echo "scale $scale done after $(elapsed)"
finish
