#!/bin/bash
# Screen recording on a private 1920×1080 Xvfb with a desktop-like picture that changes at
# 30 fps (bench/record_bench.cpp picture), beside `ffmpeg -f x11grab` with the same codec and
# settings, in the same run, one after the other:
#   WebM (VP9 real-time) and MP4 (H.264) of the whole screen for 30 s at 30 fps: frames
#   dropped, processor time (user + system) per recorded second, file size, and the time
#   from Stop to a playable file;
#   GIF of an 800×600 area for 10 s at 15 fps beside ffmpeg's two-pass palettegen/paletteuse
#   GIF of the same frames at the same rate (both made from one lossless recording).
# Vistrel records through `vistrel record` when the build has it, else through the platform's
# X11 source into the engines' RecordingWriter.      bench/record_bench.sh [BUILD_DIR] [SECONDS]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-build}
seconds=${2:-30}
helper=$build/bench/vistrel_record_bench
app=$build/src/vistrel
[ -x "$helper" ] || { echo "build first: $helper"; exit 1; }
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || { echo "ffmpeg and ffprobe are needed"; exit 1; }
tmp=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"; }
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
trap 'echo "load after: $(cut -d" " -f1-3 /proc/loadavg)"; cleanup' EXIT

until_ok() {
  local deadline=$(( $(date +%s%N) + $1 * 1000000000 )); shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -gt "$deadline" ] && return 1
    sleep 0.02
  done
}

mkfifo "$tmp/displayfd"
exec {fd}<>"$tmp/displayfd"
Xvfb -displayfd "$fd" -screen 0 1920x1080x24 -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 30 -u "$fd" n || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$n
openbox --config-file "$here/../e2e/openbox-rc.xml" >"$tmp/openbox.log" 2>&1 &
pids+=($!)
until_ok 5 xprop -root _NET_SUPPORTING_WM_CHECK
"$helper" picture >"$tmp/picture.log" 2>&1 &
pids+=($!)
until_ok 30 xdotool search --onlyvisible --name "^Vistrel Record Bench$" || { echo "no test picture"; exit 1; }
sleep 1

# The app's own recorder when it has one; else the engines through the helper.
use_app=no
if [ -x "$app" ] && timeout 5 "$app" --help 2>&1 | grep -q -- "vistrel record"; then use_app=yes; fi

# field FILE KEY: a "key=value" figure from the last line of FILE.
field() { tail -1 "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }
packets() { ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }
duration() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }
size_of() { stat -c %s "$1"; }

# vistrel_run FILE: records the whole screen for $seconds into FILE; prints the figures line.
ticks_of() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
start_app() {
  # Settings and data of its own: no countdown, no pointer (as ffmpeg's -draw_mouse 0).
  mkdir -p "$tmp/config/vistrel" "$tmp/data"
  printf '[recording]\ncountdownSeconds=0\nshowPointer=false\nfps=30\n' >"$tmp/config/vistrel/vistrel.conf"
  XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data "$app" >"$tmp/vistrel.log" 2>&1 &
  app_pid=$!
  pids+=($app_pid)
  sleep 3
}
# vistrel_run FILE: records the whole screen for $seconds into FILE; prints the figures line.
vistrel_run() {
  if [ $use_app = yes ]; then
    # `vistrel record --output FILE --duration S`, the whole screen dragged on its overlay. The
    # app's processor time is read from /proc; Stop to a playable file is the command's time
    # after the drag less the recording's length (so it holds the source's start too).
    local before after t0 t1 client hz
    hz=$(getconf CLK_TCK)
    before=$(ticks_of "$app_pid")
    : >"$tmp/vistrel.log"
    XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data "$app" record --output "$1" --duration "$seconds" >"$tmp/app.out" 2>&1 &
    client=$!
    until_ok 10 xdotool search --onlyvisible --name "^Vistrel Selection$" || { echo "error=no-overlay"; return; }
    xdotool mousemove 0 0 sleep 0.1 mousedown 1 sleep 0.05 mousemove 960 540 sleep 0.05 \
      mousemove 1919 1079 sleep 0.05
    t0=$(date +%s%N)
    xdotool mouseup 1
    xdotool mousemove 1919 1079
    wait "$client"
    t1=$(date +%s%N)
    after=$(ticks_of "$app_pid")
    local d dropped
    d=$(duration "$1")
    dropped=$(sed -n 's/.*: \([0-9]*\) frames were dropped.*/\1/p' "$tmp/vistrel.log" | tail -1)
    awk -v n="$(packets "$1")" -v d="$d" -v c="$(( after - before ))" -v hz="$hz" -v s="$(size_of "$1")" \
      -v w="$(( (t1 - t0) / 1000000 ))" -v dr="${dropped:-0}" \
      'BEGIN { printf "written=%d dropped=%d cpu_per_s=%.3f size=%d stop_ms=%.0f duration_ms=%.0f\n", n, dr, c / hz / d, s, w - d * 1000, d * 1000 }'
  else
    "$helper" record "$1" "$seconds" | tail -1
  fi
}

# ffmpeg_run FILE CODEC_ARGS...: the same recording through ffmpeg's own grabber, interrupted
# (as a Stop) after $seconds.
ffmpeg_run() {
  local out=$1; shift
  "$helper" timed "$seconds" -- ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f x11grab -draw_mouse 0 -framerate 30 -video_size 1920x1080 -i "$DISPLAY" \
    -pix_fmt yuv420p -threads 2 -g 150 "$@" "$out" >"$tmp/ffmpeg.out" 2>&1
  local n d
  n=$(packets "$out"); d=$(duration "$out")
  awk -v n="$n" -v d="$d" -v c="$(field "$tmp/ffmpeg.out" cpu_s)" -v s="$(size_of "$out")" \
    -v t="$(field "$tmp/ffmpeg.out" stop_ms)" \
    'BEGIN { e = int(d * 30 + 0.5); printf "written=%d dropped=%d cpu_per_s=%.3f size=%d stop_ms=%s duration_ms=%.0f\n", n, (e > n ? e - n : 0), c / d, s, t, d * 1000 }'
}

report() { # WHAT VISTREL_LINE FFMPEG_LINE
  printf '%-5s %-8s %8s %8s %10s %12s %9s %9s %10s\n' "$1" who written dropped "cpu/s" "size B" "kB/s" "stop ms" "length ms"
  for who in vistrel ffmpeg; do
    local line=$2; [ $who = ffmpeg ] && line=$3
    echo "$line" >"$tmp/line"
    printf '%-5s %-8s %8s %8s %10s %12s %9s %9s %10s\n' "" $who "$(field "$tmp/line" written)" \
      "$(field "$tmp/line" dropped)" "$(field "$tmp/line" cpu_per_s)" "$(field "$tmp/line" size)" \
      "$(awk -v s="$(field "$tmp/line" size)" -v d="$(field "$tmp/line" duration_ms)" 'BEGIN { if (d > 0) printf "%.1f", s / d }')" \
      "$(field "$tmp/line" stop_ms)" "$(field "$tmp/line" duration_ms)"
  done
}

[ $use_app = yes ] && start_app
echo "== 1920×1080, 30 fps, ${seconds} s; recorder: $([ $use_app = yes ] && echo "vistrel record" || echo "the X11 source and RecordingWriter through $helper")"
echo "   (written: frames in the file; Vistrel leaves out ticks where nothing changed; dropped: frames lost because the encoder was behind)"
v=$(vistrel_run "$tmp/v.webm")
f=$(ffmpeg_run "$tmp/f.webm" -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -row-mt 1 -tile-columns 2 -crf 32 -b:v 0)
report WebM "$v" "$f"
v=$(vistrel_run "$tmp/v.mp4")
f=$(ffmpeg_run "$tmp/f.mp4" -c:v libx264 -preset veryfast -crf 23 -bf 0 \
  -movflags frag_keyframe+empty_moov+default_base_moof -frag_duration 1000000)
report MP4 "$v" "$f"
echo "(cpu/s: processor time per recorded second; kB/s: size per recorded second)"
echo "(goals: dropped 0; cpu/s <= ffmpeg's; size within 10 % of ffmpeg's; stop <= 1000 ms for WebM)"

echo "== GIF of an 800×600 area, 10 s, 15 fps, from the same lossless frames"
ffmpeg -nostdin -hide_banner -loglevel error -y -f x11grab -draw_mouse 0 -framerate 30 \
  -video_size 800x600 -i "$DISPLAY+100,100" -t 10 -c:v ffv1 "$tmp/area.mkv"
echo "source: $(packets "$tmp/area.mkv") frames, $(duration "$tmp/area.mkv") s"
t0=$(date +%s%N)
"$helper" gif "$tmp/area.mkv" "$tmp/v.gif" >"$tmp/gif.out" 2>&1
t1=$(date +%s%N)
ffmpeg -nostdin -hide_banner -loglevel error -y -i "$tmp/area.mkv" -vf "fps=15,palettegen" "$tmp/palette.png"
ffmpeg -nostdin -hide_banner -loglevel error -y -i "$tmp/area.mkv" -i "$tmp/palette.png" \
  -lavfi "fps=15[x];[x][1:v]paletteuse" "$tmp/f.gif"
t2=$(date +%s%N)
printf '%-8s %12s %8s %10s %10s\n' who "size B" frames "length s" "wall ms"
printf '%-8s %12s %8s %10s %10.0f\n' vistrel "$(size_of "$tmp/v.gif")" "$(packets "$tmp/v.gif")" "$(duration "$tmp/v.gif")" "$(( (t1 - t0) / 1000000 ))"
printf '%-8s %12s %8s %10s %10.0f\n' ffmpeg "$(size_of "$tmp/f.gif")" "$(packets "$tmp/f.gif")" "$(duration "$tmp/f.gif")" "$(( (t2 - t1) / 1000000 ))"
echo "vistrel's encoder: $(tail -1 "$tmp/gif.out")"
echo "(goal: vistrel's GIF no larger than ffmpeg's)"
echo "== the same area recorded live to GIF through the X11 source and RecordingWriter, 10 s"
"$helper" record "$tmp/live.gif" 10 100 100 800 600 | tail -1
