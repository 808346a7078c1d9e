#!/bin/bash
# Share from the editor on a real X server, against a stand-in endpoint on 127.0.0.1: the link
# it returns lands on the clipboard and the endpoint received the PNG of the editor's picture.
source "$(dirname "$0")/lib.sh"
: "${VISTREL_SHARE_SERVER:?VISTREL_SHARE_SERVER must name the stand-in share endpoint}"

LINK="https://share.test/s/e2e-4711"
mkdir -p "$E2E_TMP/uploads"
"$VISTREL_SHARE_SERVER" "$E2E_TMP/uploads" "$LINK" >"$E2E_TMP/server.out" 2>&1 &
E2E_PIDS+=($!)
wait_for 5 grep -q '^[0-9]' "$E2E_TMP/server.out" || { cat "$E2E_TMP/server.out"; exit 1; }
PORT=$(head -1 "$E2E_TMP/server.out")
export VISTREL_UPLOAD_URL="http://127.0.0.1:$PORT/api/upload"
export VISTREL_UPLOAD_TOKEN="e2e-token"

start_x 1280x800
start_wm
plasma_backdrop 1280x800
start_vistrel

editor_up() { xdotool search --onlyvisible --name "^Vistrel — Editor$"; }

# --- a full-screen capture in the editor, shared with its Share button --------------------------
xdotool key ctrl+shift+1
check "Ctrl+Shift+1 opens the editor" wait_for 5 editor_up
sleep 0.8
win=$(editor_up | head -1)
wx=$(xwininfo -id "$win" | awk '/Absolute upper-left X/ {print $4}')
wy=$(xwininfo -id "$win" | awk '/Absolute upper-left Y/ {print $4}')
ww=$(xwininfo -id "$win" | awk '/Width:/ {print $2}')
# The toolbar ends in Share, Copy and Save (their titles in the desktop's font) before its right
# padding of 10; its buttons sit in the middle of its 46 points.
click_at $(( wx + ww - 213 )) $(( wy + 23 ))
check "the endpoint received one upload" wait_for 10 test -s "$E2E_TMP/uploads/upload-1.png"
check "the returned link is on the clipboard" wait_for 10 sh -c "[ \"\$(xclip -selection clipboard -o 2>/dev/null)\" = '$LINK' ]"
check "the link is shown" wait_for 5 window_mapped "^Link copied · $LINK$"
check "the upload is the editor's picture, pixel for pixel" \
  same_pixels "$E2E_TMP/uploads/upload-1.png" "$E2E_TMP/captures/capture-1.png"
check "the token went as a bearer token" grep -qx 'authorization: Bearer e2e-token' "$E2E_TMP/uploads/upload-1.txt"
check "to the upload path" grep -qx 'POST /api/upload' "$E2E_TMP/uploads/upload-1.txt"
check "the app is still running" kill -0 "$VISTREL_PID"

finish
