#!/bin/bash
# `vistrel full --output FILE` timed as a whole command, as a script runs it, with Vistrel
# already running (and once without, when the command starts it), at 1920×1080 on a busy
# picture; beside the floor measured in the same run: one `import -window root` of the same
# screen (grab and PNG file, ImageMagick), and one `xwd -root` (grab and raw file, no encoding).
#   bench/scripted_bench.sh [BUILD_DIR] [RUNS]
source "$(dirname "$0")/lib.sh"
runs=${2:-20}
start_screen

# time_ms COMMAND...: the wall time of one whole command, in ms.
time_ms() {
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  t1=$(date +%s%N)
  awk -v d=$(( t1 - t0 )) 'BEGIN { printf "%.1f\n", d / 1e6 }'
}
# stats NAME FILE: median, min and max of the figures in FILE.
stats() {
  sort -n "$2" | awk -v n="$1" '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "  %-38s median %6.1f ms  (min %.1f, max %.1f, %d runs)\n", n, m, v[1], v[NR], NR; print m > "/dev/stderr" }' 2>"$tmp/$1.median"
}

# Without a running Vistrel: the command starts one in the background and hands over.
mkdir -p "$tmp/config" "$tmp/data"
export XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data
cold=$(time_ms "$bin" full --output "$tmp/cold.png")
sleep 2 # the started Vistrel settles (its warm-up runs once the tray is up)

# round NAME: every figure on the picture now on the screen, the commands in turn.
round() {
  local d=$tmp/$1
  mkdir -p "$d"
  for _ in $(seq "$runs"); do
    time_ms "$bin" full --output "$tmp/shot.png" >>"$d/app.txt"
    time_ms "$bin" full --output - >>"$d/piped.txt"
    time_ms import -window root "$tmp/import.png" >>"$d/import.txt"
    time_ms xwd -root -silent -out "$tmp/floor.xwd" >>"$d/xwd.txt"
  done
  echo "$1: $(identify -format "%wx%h, PNG of %b" "$tmp/shot.png"); $runs runs each, in turn:"
  stats "vistrel full --output shot.png" "$d/app.txt"
  stats "vistrel full --output - >shot.png" "$d/piped.txt"
  stats "floor: import -window root (PNG)" "$d/import.txt"
  stats "floor: xwd -root (raw)" "$d/xwd.txt"
  local app
  app=$(cat "$tmp/vistrel full --output shot.png.median")
  for floor in "floor: import -window root (PNG)" "floor: xwd -root (raw)"; do
    awk -v a="$app" -v f="$(cat "$tmp/$floor.median")" -v n="$floor" \
      'BEGIN { printf "  ratio to the %s: %.2f×\n", substr(n, 8), a / f }'
  done
}
round "plasma (close to noise, the worst case)"
"$build/bench/vistrel_png_bench" --write-desktop "$tmp/desktop.png" >/dev/null 2>&1
timeout 20 display -window root "$tmp/desktop.png"
round "desktop-like picture"
printf "without a running Vistrel, once (a Vistrel started on the way): %.1f ms\n" "$cold"
echo "peers on this kind of machine (figures given, not measured here): flameshot full -p 604 ms, ksnip -f -p 639 ms"
"$bin" quit >/dev/null 2>&1
