# Shared by the benchmark scripts: a 1920×1080 Xvfb with openbox, a tray and a busy picture on
# the root window, the app on it, and the floor client the figures are compared with.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-build}
bin=$build/src/vistrel
latency=$build/bench/vistrel_hotkey_latency
floor=$build/bench/vistrel_hotkey_floor
[ -x "$bin" ] && [ -x "$latency" ] && [ -x "$floor" ] || { echo "build first: $bin, $latency, $floor"; exit 1; }
tmp=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"; }
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
trap 'echo "load after: $(cut -d" " -f1-3 /proc/loadavg)"; cleanup' EXIT

# until_ok SECONDS COMMAND...: polls every 20 ms until COMMAND succeeds.
until_ok() {
  local deadline=$(( $(date +%s%N) + $1 * 1000000000 )); shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -gt "$deadline" ] && return 1
    sleep 0.02
  done
}

start_screen() {
  # -displayfd through a FIFO (opened for reading and writing, so it never sees end-of-file).
  mkfifo "$tmp/displayfd"
  exec {fd}<>"$tmp/displayfd"
  Xvfb -displayfd "$fd" -screen 0 1920x1080x24 -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
  pids+=($!)
  read -r -t 30 -u "$fd" n || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=:$n
  openbox --config-file "$here/../e2e/openbox-rc.xml" >"$tmp/openbox.log" 2>&1 &
  pids+=($!)
  until_ok 5 xprop -root _NET_SUPPORTING_WM_CHECK
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
    --transparent false --tint 0x404040 >"$tmp/trayer.log" 2>&1 &
  pids+=($!)
  # A plasma fractal: busy everywhere and close to noise, the hardest picture to paint or
  # compress (overlay_bench.sh also copies a desktop-like one).
  convert -size 1920x1080 plasma:fractal -depth 8 "$tmp/busy.png" 2>/dev/null
  timeout 20 display -window root "$tmp/busy.png"
}

start_app() {
  # Preferences and data of its own: a run neither reads the user's nor fills their history.
  # BENCH_HISTORY=off runs the app with its capture history switched off, to show its cost.
  mkdir -p "$tmp/config/vistrel" "$tmp/data"
  [ "${BENCH_HISTORY:-on}" = off ] && printf '[history]\nenabled=false\n' >"$tmp/config/vistrel/vistrel.conf"
  XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data "$bin" >"$tmp/vistrel.log" 2>&1 &
  app=$!
  pids+=($app)
  # Ready once its icon has docked; then let the start-up settle.
  until_ok 10 sh -c 'xwininfo -root -tree | grep -A4 "\"panel\"" | grep -q "\"Vistrel\""'
  sleep 2
}

# floor_latency DIGIT: the hot-key figures of the minimal client (bench/hotkey_floor.cpp).
floor_latency() {
  "$floor" "$1" >"$tmp/floor.out" 2>&1 &
  local pid=$!
  until_ok 5 grep -q ready "$tmp/floor.out"
  "$latency" "$1" "Vistrel Bench Floor" 20
  kill "$pid"; wait "$pid" 2>/dev/null
}

# ratio FILE_APP FILE_FLOOR WHAT [STAT]: the app's figure over the floor's for "mapped" or
# "painted": the median, or with STAT "first" the first (cold) run of each.
ratio() {
  local a f stat=${4:-median}
  a=$(sed -n "s/.* $3 .*$stat=\([0-9.]*\).*/\1/p" "$1")
  f=$(sed -n "s/.* $3 .*$stat=\([0-9.]*\).*/\1/p" "$2")
  awk -v a="$a" -v f="$f" -v w="$3 ($stat)" 'BEGIN { if (f > 0) printf "  %-17s %.1f ms / floor %.1f ms = %.1f×\n", w ":", a, f, a / f }'
}
# ratios FILE_APP FILE_FLOOR: the medians and the first (cold) runs beside the floor's.
ratios() {
  echo "ratio to the floor:"
  local what stat
  for stat in median first; do
    for what in mapped painted; do ratio "$1" "$2" "$what" "$stat"; done
  done
}

overlay_up() { xdotool search --onlyvisible --name "^Vistrel Selection$"; }
overlay_gone() { ! overlay_up; }

# select_area X Y W H: Ctrl+Shift+2 and a drag over that area; prints the centre of the
# toolbar's Copy button (the panel, 306×46, centred under the selection and kept 8 from the
# screen's sides, above it when there is no room below, across its middle when there is none
# above either; as e2e/lib.sh's toolbar_button).
select_area() {
  local x=$1 y=$2 w=$3 h=$4 sw=1920 sh=1080
  xdotool key ctrl+shift+2
  until_ok 5 overlay_up || { echo "no overlay" >&2; return 1; }
  xdotool mousemove "$x" "$y" sleep 0.05 mousedown 1 sleep 0.05 \
    mousemove $(( x + w / 2 )) $(( y + h / 2 )) sleep 0.05 \
    mousemove $(( x + w - 1 )) $(( y + h - 1 )) sleep 0.05 mouseup 1 sleep 0.2
  local tx=$(( x + w / 2 - 153 )) ty=$(( y + h + 10 ))
  [ $tx -lt 8 ] && tx=8; [ $tx -gt $(( sw - 306 - 8 )) ] && tx=$(( sw - 306 - 8 ))
  [ $(( sh - ty - 46 )) -lt 8 ] && ty=$(( y - 10 - 46 ))
  [ $ty -lt 8 ] && ty=$(( y + h / 2 - 23 ))
  echo "$(( tx + 107 )) $(( ty + 23 ))"
}

# area_copy X Y W H: one area capture ended with Copy.
area_copy() {
  local bx by
  read -r bx by < <(select_area "$@") || return 1
  xdotool mousemove "$bx" "$by" sleep 0.1 click 1
  until_ok 5 overlay_gone
}

pss_kib() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup"; }
rss_kib() { awk '/^Rss:/ {print $2}' "/proc/$1/smaps_rollup"; }
# pss_split PID: what the PSS is made of: our own memory (heap, stacks), memory shared with
# the X server (grab segments, window backing stores), and mapped files (code, fonts), which
# the kernel can drop and read back at any time.
pss_split() {
  awk '/^Pss_Anon:/ { a = $2 } /^Pss_Shmem:/ { s = $2 } /^Pss_File:/ { f = $2 }
       END { printf "anonymous %.1f MiB, shared with the X server %.1f MiB, files %.1f MiB", a / 1024, s / 1024, f / 1024 }' \
    "/proc/$1/smaps_rollup"
}
# own_kib PID: the part of PSS that is the app's alone (anonymous, and shared with the X server):
# what mapped files add depends on which other programs map the same libraries at the time.
own_kib() { awk '/^Pss_Anon:/ { a = $2 } /^Pss_Shmem:/ { s = $2 } END { print a + s }' "/proc/$1/smaps_rollup"; }
mib() { awk -v k="$1" 'BEGIN { printf "%.2f MiB", k / 1024 }'; }
