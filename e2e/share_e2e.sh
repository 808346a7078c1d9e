#!/bin/bash
# Share from the editor on a real X server, against a stand-in endpoint on 127.0.0.1: the link
# it returns lands on the clipboard and the endpoint received the PNG of the editor's picture.
# Then with nothing set up: Share opens Preferences on its Sharing page, where the address and
# token typed in are kept (the token in a private file without a keyring, and in the keyring of
# a gnome-keyring-daemon on a session bus of the flow's own) and used by the next Share.
source "$(dirname "$0")/lib.sh"
command -v dbus-daemon >/dev/null && command -v gnome-keyring-daemon >/dev/null ||
  skip "needs dbus-daemon and gnome-keyring-daemon (scripts/install-deps.sh)"
: "${VISTREL_SHARE_SERVER:?VISTREL_SHARE_SERVER must name the stand-in share endpoint}"

LINK="https://share.test/s/e2e-4711"
mkdir -p "$E2E_TMP/uploads"
"$VISTREL_SHARE_SERVER" "$E2E_TMP/uploads" "$LINK" >"$E2E_TMP/server.out" 2>&1 &
E2E_PIDS+=($!)
wait_for 5 grep -q '^[0-9]' "$E2E_TMP/server.out" || { cat "$E2E_TMP/server.out"; exit 1; }
PORT=$(head -1 "$E2E_TMP/server.out")
ADDRESS="http://127.0.0.1:$PORT/api/upload"
export VISTREL_UPLOAD_URL=$ADDRESS
export VISTREL_UPLOAD_TOKEN="e2e-token"
# No session bus of the machine's: the flow's keyring is the only one it may reach.
unset DBUS_SESSION_BUS_ADDRESS

start_x 1280x800
start_wm
plasma_backdrop 1280x800
start_vistrel

editor_up() { xdotool search --onlyvisible --name "^Vistrel — Editor$"; }
prefs_up() { xdotool search --onlyvisible --name "^Vistrel Preferences$"; }

# share_from_editor: a full-screen capture in the editor, shared with its Share button (editors
# open before, without marks, are closed first: a new one would open cascaded over them).
share_from_editor() {
  local w
  for w in $(editor_up); do wmctrl -i -c "$w"; done
  wait_for 5 sh -c '! xdotool search --onlyvisible --name "^Vistrel — Editor$"'
  xdotool key ctrl+shift+1
  wait_for 5 editor_up || { fail "Ctrl+Shift+1 opens the editor"; return 1; }
  sleep 0.8
  local win wx wy ww
  win=$(editor_up | head -1)
  wx=$(xwininfo -id "$win" | awk '/Absolute upper-left X/ {print $4}')
  wy=$(xwininfo -id "$win" | awk '/Absolute upper-left Y/ {print $4}')
  ww=$(xwininfo -id "$win" | awk '/Width:/ {print $2}')
  # The toolbar ends in Share, Copy and Save (their titles in the desktop's font) before its
  # right padding of 10; its buttons sit in the middle of its 46 points.
  click_at $(( wx + ww - 213 )) $(( wy + 23 ))
}

# set_up_sharing TOKEN: Share with nothing set up opens Preferences on the Sharing page, its
# address field waiting; the address and TOKEN typed there are kept with Return.
set_up_sharing() {
  share_from_editor || return 1
  check "with nothing set up, Share says so" wait_for 5 window_mapped "^Quick-share isn't set up yet$"
  check "and opens Preferences" wait_for 5 prefs_up
  sleep 0.5
  [ -n "${E2E_SHOTS:-}" ] && import -window root "$E2E_SHOTS/share-prefs-$1.png"
  xdotool type --delay 15 "$ADDRESS"
  xdotool key Tab
  xdotool type --delay 15 "$1"
  xdotool key Return
}

# --- set up in the environment --------------------------------------------------------------------
share_from_editor
check "the endpoint received one upload" wait_for 10 test -s "$E2E_TMP/uploads/upload-1.png"
check "the returned link is on the clipboard" wait_for 10 sh -c "[ \"\$(xclip -selection clipboard -o 2>/dev/null)\" = '$LINK' ]"
check "the link is shown" wait_for 5 window_mapped "^Link copied · $LINK$"
check "the upload is the editor's picture, pixel for pixel" \
  same_pixels "$E2E_TMP/uploads/upload-1.png" "$E2E_TMP/captures/capture-1.png"
check "the token went as a bearer token" grep -qx 'authorization: Bearer e2e-token' "$E2E_TMP/uploads/upload-1.txt"
check "to the upload path" grep -qx 'POST /api/upload' "$E2E_TMP/uploads/upload-1.txt"
check "the app is still running" kill -0 "$VISTREL_PID"
stop_vistrel

# --- set up in Preferences, without a keyring: a file only the user can read -----------------------
unset VISTREL_UPLOAD_URL VISTREL_UPLOAD_TOKEN
export HOME=$E2E_TMP/home
mkdir -p "$HOME"
start_vistrel
set_up_sharing "typed-token-1"
tokenfile=$HOME/.vistrel/share-token
check "the token goes to ~/.vistrel/share-token" wait_for 5 grep -qx typed-token-1 "$tokenfile"
check "which only its owner can read, in a folder only its owner enters" \
  sh -c "[ \"\$(stat -c %a '$tokenfile') \$(stat -c %a '$HOME/.vistrel')\" = '600 700' ]"
conf=$XDG_CONFIG_HOME/vistrel/vistrel.conf
check "the address goes to the settings" grep -qxF "url=$ADDRESS" "$conf"
check "and the token does not" sh -c "! grep -q typed-token '$conf'"
wmctrl -c "Vistrel Preferences"
wait_for 5 sh -c '! xdotool search --onlyvisible --name "^Vistrel Preferences$"'
share_from_editor
check "the next Share uploads" wait_for 10 test -s "$E2E_TMP/uploads/upload-2.txt"
check "with the token typed in Preferences" \
  grep -qx 'authorization: Bearer typed-token-1' "$E2E_TMP/uploads/upload-2.txt"
stop_vistrel

# --- set up in Preferences with a keyring running ---------------------------------------------------
export HOME=$E2E_TMP/home2 XDG_CONFIG_HOME=$E2E_TMP/config2
mkdir -p "$HOME"
dbus-daemon --config-file="$E2E_TMP/bus.conf" --nofork --nopidfile --print-address=1 >"$E2E_TMP/keyring-bus.out" 2>"$E2E_TMP/keyring-bus.log" &
E2E_PIDS+=($!)
wait_for 5 grep -q . "$E2E_TMP/keyring-bus.out" || { fail "a session bus starts"; cat "$E2E_TMP/keyring-bus.log"; finish; }
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$E2E_TMP/keyring-bus.out")
# A login keyring made and unlocked with the password given on its input.
printf 'e2e-password' | gnome-keyring-daemon --foreground --unlock --components=secrets \
  >"$E2E_TMP/keyring.log" 2>&1 &
E2E_PIDS+=($!)
keyring_up() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets | grep -q 'boolean true'
}
check "gnome-keyring-daemon runs on the flow's bus" wait_for 10 keyring_up
start_vistrel
set_up_sharing "typed-token-2"
conf=$XDG_CONFIG_HOME/vistrel/vistrel.conf
check "the settings say the keyring holds the token" wait_for 5 grep -qx 'tokenInKeyring=true' "$conf"
check "which is neither in the settings" sh -c "! grep -q typed-token '$conf'"
check "nor in a file" test ! -e "$HOME/.vistrel/share-token"
wmctrl -c "Vistrel Preferences"
wait_for 5 sh -c '! xdotool search --onlyvisible --name "^Vistrel Preferences$"'
share_from_editor
check "the next Share uploads" wait_for 10 test -s "$E2E_TMP/uploads/upload-3.txt"
check "with the token from the keyring" \
  grep -qx 'authorization: Bearer typed-token-2' "$E2E_TMP/uploads/upload-3.txt"
check "the app is still running" kill -0 "$VISTREL_PID"

finish
