#!/bin/bash
# One instance per display and the command line: commands handed to the running instance,
# delays, editing files, a flood of connections, quitting, a killed instance's socket, two
# starts at once, and Ctrl+Q in the tray menu.
source "$(dirname "$0")/lib.sh"

start_x 1280x800
start_wm
start_tray
docked() { xwininfo -root -tree | grep -A4 '"panel"' | grep -c '"Vistrel"'; }
editor_up() { xdotool search --onlyvisible --name "Vistrel — Editor"; }
editor_gone() { ! xdotool search --onlyvisible --name "Vistrel — Editor" >/dev/null 2>&1; }
close_editors() { while editor_up >/dev/null 2>&1; do wmctrl -c "Vistrel — Editor"; sleep 0.2; done; }
ms() { echo $(( $(date +%s%N) / 1000000 )); }
socket="$XDG_RUNTIME_DIR/vistrel-_${DISPLAY#:}.socket"
# The usual limit of open files, whatever this machine's is: the flood below is measured by it.
ulimit -Sn 1024

# --- a second start without a command says so, and leaves one tray icon -----------------------
start_vistrel
check "the instance docks" wait_for 5 sh -c "[ \$(xwininfo -root -tree | grep -A4 '\"panel\"' | grep -c '\"Vistrel\"') = 1 ]"
out=$("$VISTREL_BIN" 2>&1); rc=$?
check "a second start exits 0" [ "$rc" = 0 ]
check "and says Vistrel is already running" grep -q "already running" <<<"$out"
sleep 0.5
check "still one tray icon" [ "$(docked)" = 1 ]

# --- commands from a second process ------------------------------------------------------------
"$VISTREL_BIN" area; rc=$?
check "vistrel area exits 0" [ "$rc" = 0 ]
check "vistrel area opens the running instance's overlay" wait_for 5 overlay_up
xdotool key Escape
wait_for 5 overlay_gone

# vistrel edit: the editor shows the file's pixels. A marker colour at the picture's top-left
# finds the picture in the window, wherever the editor lays it out.
convert -size 160x120 plasma:fractal -blur 0x1 -depth 8 \
  -fill '#ff00fe' -draw 'rectangle 0,0 3,3' "$E2E_TMP/pic.png" 2>/dev/null
(cd "$E2E_TMP" && "$VISTREL_BIN" edit pic.png); rc=$?
check "vistrel edit exits 0" [ "$rc" = 0 ]
check "vistrel edit opens an editor" wait_for 5 editor_up
sleep 0.5
win=$(editor_up | head -1)
import -window "$win" "$E2E_TMP/editor.png"
at=$(convert "$E2E_TMP/editor.png" txt:- | grep -m1 -i '#FF00FE' | cut -d: -f1)
if [ -n "$at" ]; then
  convert "$E2E_TMP/editor.png" -crop "160x120+${at%,*}+${at#*,}" +repage "$E2E_TMP/shown.png"
  check "the editor shows the file pixel for pixel" same_pixels "$E2E_TMP/shown.png" "$E2E_TMP/pic.png"
else
  fail "the editor shows the file (its marker is not on screen)"
fi
close_editors

out=$("$VISTREL_BIN" edit "$E2E_TMP/missing.png" 2>&1); rc=$?
check "a missing file is refused with status 1" [ "$rc" = 1 ]
check "and named" grep -q "missing.png" <<<"$out"
check "and opens no editor" editor_gone
out=$("$VISTREL_BIN" shoot 2>&1); rc=$?
check "an unknown command is a usage error" sh -c "[ $rc = 2 ]"

# --- a delayed full-screen capture --------------------------------------------------------------
t0=$(ms)
"$VISTREL_BIN" full --delay 2
# The instance starts the delay before it answers, so the client is back before the editor.
check "the client returns without waiting for the delay" editor_gone
wait_for 6 editor_up
t2=$(ms)
check "vistrel full --delay 2 opens the editor" sh -c "xdotool search --onlyvisible --name \"Vistrel — Editor\" >/dev/null"
check "no sooner than 2 s later ($(( t2 - t0 )) ms)" [ $(( t2 - t0 )) -ge 2000 ]
close_editors

# --- a flood of connections ------------------------------------------------------------------------
# More at once than the instance has file handles (1024): it keeps answering and its socket stays.
cat >"$E2E_TMP/flood.py" <<'PY'
import resource, socket, sys, time
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))
held, deadline = [], time.time() + 10
while len(held) < 1100 and time.time() < deadline:
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.setblocking(False)
    try:
        s.connect(sys.argv[1])
        held.append(s)
    except (BlockingIOError, ConnectionRefusedError, FileNotFoundError):
        s.close()
        time.sleep(0.001)
print(len(held), flush=True)
time.sleep(float(sys.argv[2]))
PY
python3 "$E2E_TMP/flood.py" "$socket" 4 >"$E2E_TMP/flood.out" &
flood=$!
sleep 3
out=$(timeout 10 "$VISTREL_BIN" 2>&1); rc=$?
check "during a flood of connections the instance still answers" grep -q "already running" <<<"$out"
wait "$flood"
echo "flood: $(cat "$E2E_TMP/flood.out") connections held"
check "its socket is still there" test -S "$socket"
out=$(timeout 10 "$VISTREL_BIN" 2>&1)
check "and it answers after the flood" grep -q "already running" <<<"$out"

# --- quit ---------------------------------------------------------------------------------------
"$VISTREL_BIN" quit; rc=$?
check "vistrel quit exits 0" [ "$rc" = 0 ]
check "vistrel quit ends the instance" wait_for 5 sh -c "! kill -0 $VISTREL_PID"

# --- a command without an instance starts one ----------------------------------------------------
"$VISTREL_BIN" full >>"$E2E_TMP/vistrel.log" 2>&1 &
VISTREL_PID=$!
E2E_PIDS+=($VISTREL_PID)
check "vistrel full without an instance starts one and captures" wait_for 10 editor_up
close_editors

# --- a killed instance leaves its socket; the next start is not blocked --------------------------
kill -9 "$VISTREL_PID"; wait "$VISTREL_PID" 2>/dev/null
check "the killed instance left its socket" test -S "$socket"
start_vistrel
check "a new instance starts over the stale socket" kill -0 "$VISTREL_PID"
"$VISTREL_BIN" area
check "and takes commands" wait_for 5 overlay_up
xdotool key Escape
wait_for 5 overlay_gone
"$VISTREL_BIN" quit
wait_for 5 sh -c "! kill -0 $VISTREL_PID"

# --- two starts at the same moment end as one ----------------------------------------------------
"$VISTREL_BIN" >"$E2E_TMP/a.out" 2>&1 & a=$!
"$VISTREL_BIN" >"$E2E_TMP/b.out" 2>&1 & b=$!
E2E_PIDS+=($a $b)
one_left() { local alive=0 p; for p in $a $b; do kill -0 "$p" 2>/dev/null && alive=$((alive + 1)); done
  [ "$alive" = 1 ]; }
check "two simultaneous starts leave one instance" wait_for 30 one_left
sleep 1
check "and it stays one" one_left
check "the other said so" sh -c "cat '$E2E_TMP/a.out' '$E2E_TMP/b.out' | grep -q 'already running'"
check "one tray icon" wait_for 5 sh -c "[ \$(xwininfo -root -tree | grep -A4 '\"panel\"' | grep -c '\"Vistrel\"') = 1 ]"
VISTREL_PID=$a; kill -0 "$a" 2>/dev/null || VISTREL_PID=$b

# --- Ctrl+Q quits from the open tray menu ------------------------------------------------------------
icon=$(xwininfo -root -tree | grep -A4 '"panel"' | grep '"Vistrel"' | awk '{print $1}')
ix=$(xwininfo -id "$icon" | awk '/Absolute upper-left X/ {print $4}')
iy=$(xwininfo -id "$icon" | awk '/Absolute upper-left Y/ {print $4}')
xdotool mousemove $(( ix + 10 )) $(( iy + 10 )) sleep 0.2 click 1 sleep 0.5
menu_open() { xdotool search --onlyvisible --pid "$VISTREL_PID" 2>/dev/null | while read -r w; do
  [ "$(xwininfo -id "$w" | awk '/Height:/ {print $2}')" -gt 100 ] && echo "$w"; done | grep -q .; }
check "the tray menu opens" wait_for 3 menu_open
xdotool key ctrl+q
check "Ctrl+Q in the open menu quits" wait_for 5 sh -c "! kill -0 $VISTREL_PID"

finish
