#!/bin/bash
# Extract Text over two real terminals side by side, one light and one dark: every line of
# each comes out, each terminal's lines in order, the left one's before the right one's,
# never interleaved although their rows stand at the same heights; the title bars' buttons are
# not read as text.
source "$(dirname "$0")/lib.sh"
command -v xterm >/dev/null || skip "needs xterm (scripts/install-deps.sh)"

start_x 1280x800
start_wm
start_vistrel

light=("Quarterly report shipped on time" "Downloads finished in twelve minutes"
  "Meeting notes are in the shared folder" "Invoice March total 1240 euros"
  "Release notes for version 4.2" "Backup completed without errors"
  "Seven files were renamed today" "Build passed with no warnings")
dark=("drwxr-xr-x  2 alex alex  4096 Mar 14 09:12 docs"
  "-rw-r--r--  1 alex alex   220 Feb  2 17:45 notes.txt"
  "-rw-r--r--  1 alex alex  3771 Jan 30 08:03 report.pdf"
  "drwxr-xr-x  5 alex alex  4096 Apr  1 11:27 src"
  "-rwxr-xr-x  1 alex alex   807 Mar  3 10:00 setup.sh"
  "-rw-r--r--  1 alex alex 18342 May 21 14:56 budget.ods"
  "drwxr-xr-x  3 alex alex  4096 Jun  9 16:40 tests"
  "-rw-r--r--  1 alex alex   512 Jul 11 12:15 todo.md")

# terminal NAME X BG FG LINES...: an xterm showing the lines, cursor hidden, nothing else.
terminal() {
  local name=$1 x=$2 bg=$3 fg=$4; shift 4
  printf '%s\n' "$@" >"$E2E_TMP/$name.txt"
  xterm -T "$name" -geometry 58x14+"$x"+60 -bg "$bg" -fg "$fg" -fa 'DejaVu Sans Mono' -fs 11 \
    -b 6 +sb -e sh -c "printf '\033[?25l'; cat '$E2E_TMP/$name.txt'; exec sleep 600" &
  E2E_PIDS+=($!)
  wait_for 10 xdotool search --onlyvisible --name "^$name\$"
}
terminal lightterm 20 white black "${light[@]}"
terminal darkterm 640 '#1d1f21' '#c5c8c6' "${dark[@]}"
sleep 1
import -window root "$E2E_TMP/screen.png"

# position FILE LINE: the 1-based line of FILE most like LINE (runs of spaces as one), when
# at most one character in twenty differs (what recognition may get wrong in a line it
# found); 0 when none is.
position() {
  awk -v want="$2" '
    function squeeze(s) { gsub(/ +/, " ", s); sub(/^ /, "", s); sub(/ $/, "", s); return s }
    function distance(a, b,    i, j, la, lb, d, cost, x) {
      la = length(a); lb = length(b)
      for (j = 0; j <= lb; j++) d[0, j] = j
      for (i = 1; i <= la; i++) {
        d[i, 0] = i
        for (j = 1; j <= lb; j++) {
          cost = substr(a, i, 1) == substr(b, j, 1) ? 0 : 1
          x = d[i - 1, j] + 1
          if (d[i, j - 1] + 1 < x) x = d[i, j - 1] + 1
          if (d[i - 1, j - 1] + cost < x) x = d[i - 1, j - 1] + cost
          d[i, j] = x
        }
      }
      return d[la, lb]
    }
    BEGIN { want = squeeze(want); best = 0; bestd = int(length(want) / 20) + 1 }
    { got = squeeze($0); dd = distance(got, want); if (dd < bestd) { bestd = dd; best = NR } }
    END { print best }' "$1"
}

# in_order FILE LINES...: every line found, each after the one before.
in_order() {
  local file=$1 last=0 at; shift
  for line in "$@"; do
    at=$(position "$file" "$line")
    [ "$at" -gt "$last" ] || { echo "missing or out of order: '$line' (at line $at)"; return 1; }
    last=$at
  done
}

# not_interleaved FILE: the left terminal's lines all come before the right one's.
not_interleaved() {
  local l_last d_first
  l_last=$(position "$1" "${light[7]}")
  d_first=$(position "$1" "${dark[0]}")
  [ "$l_last" -gt 0 ] && [ "$d_first" -gt "$l_last" ]
}

# no_buttons FILE: the title bars' buttons (circles, crosses, boxes) are not read as words.
no_buttons() {
  ! grep -E '(^|[[:space:]])(\[[^]]{0,2}\]|[Oo0]{2,3}|\|x)([[:space:]]|$)' "$1"
}

for round in 1 2 3; do
  printf 'unchanged' | xclip -selection clipboard -i
  sleep 0.3
  xdotool key ctrl+shift+9
  wait_for 5 overlay_up
  drag 10 40 1270 420
  wait_for 5 overlay_gone
  check "round $round: text on the clipboard" wait_for 15 sh -c \
    "xclip -selection clipboard -o 2>/dev/null | grep -q 'Build passed'"
  clipboard_text >"$E2E_TMP/got-$round.txt"
  check "round $round: every line of the light terminal, in order" in_order "$E2E_TMP/got-$round.txt" "${light[@]}"
  check "round $round: every line of the dark terminal, in order" in_order "$E2E_TMP/got-$round.txt" "${dark[@]}"
  check "round $round: left terminal first, not interleaved" not_interleaved "$E2E_TMP/got-$round.txt"
  check "round $round: no window buttons read as text" no_buttons "$E2E_TMP/got-$round.txt"
  [ "$E2E_FAILED" = 0 ] || { echo "--- got"; cat "$E2E_TMP/got-$round.txt"; echo; }
  sleep 0.5
done

check "app still running" kill -0 "$VISTREL_PID"
finish
