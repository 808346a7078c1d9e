#!/bin/bash
# Redact on screenshots of real programs: xterm, light and black, at 9, 12 and 16 pt (an .env
# dump, a Kubernetes listing with a secret, key fingerprints and a commit log beside AWS keys,
# an invoice, an npm lockfile beside a token), the same texts in a GTK text view (zenity), light
# and dark, and Chromium pages, light and dark (a checkout
# form, a commit list, an .env in a code view, a Kubernetes dashboard, an npm lockfile, ssh-keygen
# output beside a webhook and a token), each shown on a 1280x900 screen with planted secrets and
# public look-alikes. vistrel_redact_corpus then prints recall, look-alikes covered per screen
# and Redact's time beside the tesseract tool's own.
# Usage: bench/redact_corpus.sh [BUILD] [KEEP_DIR]; REDACT_VERBOSE=1 lists the misses and what
# was read there, REDACT_SEED=N plants other secrets (the finder was tuned on the default ones).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-build}
corpus=$build/bench/vistrel_redact_corpus
[ -x "$corpus" ] || { echo "build first: $corpus"; exit 1; }
for tool in Xvfb xterm zenity chromium import xdotool python3 tesseract; do
  command -v $tool >/dev/null || { echo "needs $tool (scripts/install-deps.sh)"; exit 1; }
done
out=${2:-$(mktemp -d)}
mkdir -p "$out"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null' EXIT
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

python3 "$here/redact_corpus.py" "$out" "${REDACT_SEED:-39}" || exit 1

mkfifo "$out/displayfd"
exec {fd}<>"$out/displayfd"
Xvfb -displayfd "$fd" -screen 0 1280x900x24 -nolisten tcp -noreset >"$out/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 30 -u "$fd" n || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$n

# Shows what PROGRAM... opens (a window titled TITLE), captures the screen to PNG, closes it.
#   shoot_window TITLE PNG PROGRAM...
shoot_window() {
  local title=$1 png=$2
  shift 2
  "$@" >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1 && break
    sleep 0.05
  done
  sleep 0.5
  import -window root "$png"
  kill $pid 2>/dev/null
  wait $pid 2>/dev/null
}

# xterm NAME THEME PT FILE PNG: the terminal at the screen's top left showing FILE.
shoot_xterm() {
  local colours=(-bg white -fg black)
  [ "$2" = dark ] && colours=(-bg black -fg grey90)
  shoot_window corpusterm "$5" xterm -T corpusterm -geometry 80x24+0+0 "${colours[@]}" \
    -fa 'DejaVu Sans Mono' -fs "$3" -b 6 +sb -e sh -c "printf '\033[?25l'; cat '$4'; exec sleep 60"
}

# gtk NAME THEME PT FILE PNG: a GTK text view (zenity) filling the screen, showing FILE. Lines
# are not wrapped (a secret hidden by spaces would wrap otherwise), the caret does not blink.
mkdir -p "$out/gtk/gtk-3.0"
printf '[Settings]\ngtk-cursor-blink=false\n' >"$out/gtk/gtk-3.0/settings.ini"
shoot_gtk() {
  local theme=()
  [ "$2" = dark ] && theme=(GTK_THEME=Adwaita:dark)
  shoot_window corpusgtk "$5" env "${theme[@]}" NO_AT_BRIDGE=1 XDG_CONFIG_HOME="$out/gtk" \
    zenity --text-info --no-wrap --title=corpusgtk --filename="$4" --width=1280 --height=900 \
    --font="DejaVu Sans Mono $3"
}

shoot_page() {
  chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1280,900 \
    --screenshot="$2" "file://$1" >/dev/null 2>&1
}

while read -r how base theme pt; do
  if [ "$how" = xterm ] || [ "$how" = gtk ]; then
    shoot_$how "$base" "$theme" "$pt" "$out/$base.txt" "$out/$base.png"
    for f in "$out/$base".s*.txt; do
      shoot_$how "$base" "$theme" "$pt" "$f" "${f%.txt}.png"
    done
  else
    shoot_page "$out/$base.html" "$out/$base.png"
    for f in "$out/$base".s*.html; do
      shoot_page "$f" "${f%.html}.png"
    done
  fi
done <"$out/manifest"

"$corpus" "$out" ${REDACT_VERBOSE:+-v}
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
[ -n "${2:-}" ] || rm -rf "$out"
