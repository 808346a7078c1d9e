#!/bin/bash
# Extract Text: Ctrl+Shift+9 over a picture of known text puts that text on the clipboard.
source "$(dirname "$0")/lib.sh"

start_x 1280x800
start_wm
convert -size 1280x800 xc:'#f6f6f6' -fill '#1c1c1e' -font DejaVu-Sans -pointsize 16 \
  -annotate +120+220 'Quarterly report shipped on time' \
  -annotate +120+250 'Downloads 12.4 MB of 3:05 remaining' \
  -fill '#2b2b2e' -draw 'rectangle 700,400 1200,700' -fill '#e4e4e6' \
  -annotate +740+560 'Dark panels are read too' -depth 8 "$E2E_TMP/text.png"
set_backdrop "$E2E_TMP/text.png"
start_vistrel

ocr() { # X1 Y1 X2 Y2
  xdotool key ctrl+shift+9
  wait_for 5 overlay_up
  drag "$@"
  wait_for 5 overlay_gone
}
normalised() { tr -s ' \n' '  ' | sed 's/ *$//'; }

ocr 100 195 560 262
check "the text is on the clipboard" wait_for 10 sh -c \
  "xclip -selection clipboard -o 2>/dev/null | grep -q 'remaining'"
got=$(clipboard_text | normalised)
want="Quarterly report shipped on time Downloads 12.4 MB of 3:05 remaining"
check "recognised exactly ($got)" [ "$got" = "$want" ]
check "toast counts the characters" wait_for 3 window_mapped "^Copied $(clipboard_text | wc -m | awk '{print $1}') chars of text$"

ocr 720 520 1150 580
check "light text on a dark panel" wait_for 10 sh -c \
  "[ \"\$(xclip -selection clipboard -o | tr -s ' \n' '  ' | sed 's/ *$//')\" = 'Dark panels are read too' ]"

printf 'unchanged' | xclip -selection clipboard -i
sleep 0.3
ocr 200 500 500 700
check "blank area: No text found" wait_for 10 window_mapped "^No text found$"
check "blank area: clipboard unchanged" [ "$(clipboard_text)" = "unchanged" ]

check "no recognizer is left once recognition is idle" wait_for 10 sh -c "! pgrep -P $VISTREL_PID -f vistrel-recognizer"
check "app still running" kill -0 "$VISTREL_PID"
finish
