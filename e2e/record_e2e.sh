#!/bin/bash
# Screen recording on X11: `vistrel record --output FILE --duration 5` over an area of a window
# that shows its frame number in large digits and a moving square (e2e/recordpage.cpp), to
# WebM, MP4 and GIF. Each file is decoded and read back by pixels (e2e/recordcheck.py): its
# length, frame numbers that only go up and keep pace, the square's path, and no recording
# control or frame in the picture. The page and the checks are first shown sound on a
# recording ffmpeg makes of the same area, and shown to catch a frame over the area.
source "$(dirname "$0")/lib.sh"
: "${VISTREL_RECORDPAGE:?VISTREL_RECORDPAGE must name the page the recording flow records}"
CHECK="$E2E_DIR/recordcheck.py"
for tool in ffmpeg ffprobe python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh)"
done
"$VISTREL_BIN" --help 2>&1 | grep -q "record" || skip "this vistrel has no record command"

start_x 1280x800
start_wm
start_tray
"$VISTREL_RECORDPAGE" >"$E2E_TMP/page.log" 2>&1 &
E2E_PIDS+=($!)
wait_for 10 xdotool search --onlyvisible --name "^Vistrel Record Page$"
page_id=$(xdotool search --onlyvisible --name "^Vistrel Record Page$" | head -1)
page_x=$(xwininfo -id "$page_id" | awk '/Absolute upper-left X/ { print $4 }')
page_y=$(xwininfo -id "$page_id" | awk '/Absolute upper-left Y/ { print $4 }')
# The area: the page less a white margin of 10 pixels, 460×280.
area_x=$((page_x + 10)) area_y=$((page_y + 10)) area_w=460 area_h=280
xdotool mousemove 5 790
sleep 0.5

# --- the page and the checks, on ffmpeg's own recording of the area ---------------------------
ffmpeg -v error -y -f x11grab -framerate 30 -video_size ${area_w}x${area_h} \
  -i "$DISPLAY+$area_x,$area_y" -t 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p \
  "$E2E_TMP/reference.mp4"
check "ffmpeg's recording of the page passes every check" \
  python3 "$CHECK" "$E2E_TMP/reference.mp4" --duration 2 --origin 10,10 --label reference
ffmpeg -v error -y -f x11grab -framerate 30 -video_size ${area_w}x${area_h} \
  -i "$DISPLAY+$((area_x - 12)),$area_y" -t 1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p \
  "$E2E_TMP/shifted.mp4"
python3 "$CHECK" "$E2E_TMP/shifted.mp4" --duration 1 --origin=-2,10 --label shifted \
  >"$E2E_TMP/shifted.txt" 2>&1
check "the checks see what is not the page at the area's edge" \
  grep -q "^FAIL: shifted: nothing but the page" "$E2E_TMP/shifted.txt"

# --- vistrel records the area to each type ------------------------------------------------------
start_vistrel
for type in webm mp4 gif; do
  out="$E2E_TMP/recording.$type"
  "$VISTREL_BIN" record --output "$out" --duration 5 >"$E2E_TMP/record-$type.out" 2>&1 &
  client=$!
  if ! wait_for 10 overlay_up; then
    fail "record --output $type shows the overlay"
    kill "$client" 2>/dev/null
    continue
  fi
  drag "$area_x" "$area_y" $((area_x + area_w)) $((area_y + area_h))
  # The pointer goes its own way, out of the area, while the countdown runs.
  xdotool mousemove 5 790
  # The countdown (3 s by default), 5 s of recording, then the file is finished.
  for _ in $(seq 300); do kill -0 "$client" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$client" 2>/dev/null; then
    fail "record --output $type ends on its own after 5 s"
    kill "$client" 2>/dev/null
    continue
  fi
  wait "$client"; rc=$?
  check "record --output $type exits 0 (status $rc)" [ "$rc" = 0 ]
  check "and writes the file" test -s "$out"
  size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$out")
  check "of the area's size ($size)" [ "$size" = "$area_w,$area_h" ]
  check "whose frames read back right ($type)" \
    python3 "$CHECK" "$out" --duration 5 --origin 10,10 --label "$type"
done
finish
