#!/bin/bash
# Scrolling capture of web pages in Chromium and Firefox, each filling the screen (the control
# panel then sits over the page): a plain page, an article with pictures, a sticky header with
# a fixed footer, a page that scrolls smoothly, each taken by Auto Scroll and compared row for
# row with the browser's own headless picture of the whole page; the footer comes out once. On
# a page of 1,500 lines (30,016 px) Auto Scroll stops at the tallest picture kept without ending
# the capture, and Done keeps its 16384 rows. Done, clicked at a random moment of Auto Scroll,
# ends the capture every time, ten times in each browser. E2E_BROWSERS=chromium runs one.
source "$(dirname "$0")/lib.sh"
: "${VISTREL_SCROLLPAGE:?VISTREL_SCROLLPAGE must name the scroll page helper}"
for tool in chromium firefox-esr dbus-daemon convert; do
  command -v "$tool" >/dev/null || skip "needs $tool (scripts/install-deps.sh)"
done

W=1280 H=900
start_x ${W}x${H}
start_wm
# The browsers share the flow's own bus (start_x), which starts nothing by itself.
start_vistrel

# --- the pages ------------------------------------------------------------------------------
# page NAME STYLE BODY: a page of fixed width (the browsers' scroll bars take no room from it).
page() {
  cat >"$E2E_TMP/$1.html" <<EOF
<!doctype html><html><head><meta charset="utf-8"><style>
html { background: #fff; $2 }
body { margin: 0; padding: 8px 16px; width: 960px; font: 16px/20px 'DejaVu Sans', sans-serif; color: #222; }
p { margin: 0; height: 20px; white-space: nowrap; }
h2 { margin: 12px 0; font: bold 22px/28px 'DejaVu Serif', serif; }
img { display: block; margin: 10px 0; }
header { position: sticky; top: 0; height: 50px; margin: -8px -16px 0; padding: 0 16px;
  background: #234; color: #fff; font: bold 18px/50px 'DejaVu Sans', sans-serif; }
footer { position: fixed; left: 0; bottom: 0; width: 100%; height: 40px; background: #fd8;
  font: 15px/40px 'DejaVu Sans', sans-serif; padding-left: 16px; }
</style></head><body>
$3
</body></html>
EOF
}
# lines FIRST LAST NAME: lines of text as a page has them, each as long as its own words make it
# (lines that differ in one digit only would make a page that repeats itself every line).
lines() {
  awk -v a="$1" -v b="$2" -v name="$3" 'BEGIN {
    split("alpha bravo charlie delta echo foxtrot golf hotel india juliet kilo lima", w, " ")
    for (i = a; i <= b; i++) {
      s = sprintf("line %04d of the %s page:", i, name)
      for (k = 0; k < 3 + (i * 7) % 9; k++) s = s " " w[1 + (i * 13 + k * 5) % 12]
      print "<p>" s "</p>"
    }
  }'
}

page plain "" "$(lines 1 200 plain)"
article=""
for k in 1 2 3 4 5 6; do
  convert -size 520x180 "gradient:#3a7bd5-#f7b733" -fill '#123' -font DejaVu-Sans -pointsize 40 \
    -annotate +24+100 "Figure $k" "$E2E_TMP/figure-$k.png"
  article+="<h2>Section $k of the article</h2>$(lines $((k * 100)) $((k * 100 + 24)) article)<img src=\"figure-$k.png\" width=\"520\" height=\"180\">"
done
page article "" "$article"
page footer "" "<header>Site title &nbsp; Home &nbsp; About</header>$(lines 1 220 sticky)<footer>We use cookies to make this site work. Accept</footer>"
page smooth "scroll-behavior: smooth;" "$(lines 1 200 smooth)"
page long "" "$(lines 1 1500 long)" # 30,016 px

# view BROWSER NAME OUT HEIGHT: the browser's own picture of a view HEIGHT rows tall.
view() {
  if [ "$1" = chromium ]; then
    timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run \
      --user-data-dir="$E2E_TMP/chromium-headless" --window-size=$W,"$4" --screenshot="$3" \
      "file://$E2E_TMP/$2.html" >>"$E2E_TMP/headless.log" 2>&1
  else
    timeout 120 firefox-esr --headless --no-remote --profile "$E2E_TMP/ff-headless" --screenshot "$3" \
      --window-size=$W,"$4" "file://$E2E_TMP/$2.html" >>"$E2E_TMP/headless.log" 2>&1
  fi
  [ -s "$3" ]
}
# headless BROWSER NAME: the browser's own picture of the whole page in one view as tall as
# the page (Firefox measures it with a picture of the whole page), so that a fixed footer is
# at its end.
headless() {
  local whole="$E2E_TMP/firefox-$2-whole.png"
  [ -s "$whole" ] || timeout 120 firefox-esr --headless --no-remote --profile "$E2E_TMP/ff-headless" \
    --screenshot "$whole" --window-size=$W "file://$E2E_TMP/$2.html" >>"$E2E_TMP/headless.log" 2>&1
  [ -s "$whole" ] && view "$1" "$2" "$E2E_TMP/$1-$2-full.png" "$(identify -format %h "$whole")"
}
mkdir -p "$E2E_TMP/ff-headless" "$E2E_TMP/ff"
cat >"$E2E_TMP/ff/user.js" <<'EOF'
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("browser.aboutwelcome.enabled", false);
user_pref("app.update.auto", false);
user_pref("browser.sessionstore.resume_from_crash", false);
EOF
cp "$E2E_TMP/ff/user.js" "$E2E_TMP/ff-headless/user.js"

# show BROWSER NAME: the page in the browser, filling the screen.
BROWSER_PID=
show() {
  if [ "$1" = chromium ]; then
    chromium --no-sandbox --disable-gpu --no-first-run --no-default-browser-check --password-store=basic \
      --user-data-dir="$E2E_TMP/chromium" --kiosk "file://$E2E_TMP/$2.html" >>"$E2E_TMP/chromium.log" 2>&1 &
  else
    firefox-esr --no-remote --profile "$E2E_TMP/ff" --kiosk "file://$E2E_TMP/$2.html" >>"$E2E_TMP/firefox.log" 2>&1 &
  fi
  BROWSER_PID=$!
  E2E_PIDS+=($BROWSER_PID)
  # Up and painted: the page's white right of its text, where the screen was black.
  wait_for 30 sh -c "import -window root '$E2E_TMP/up.png' &&
    convert '$E2E_TMP/up.png' -crop 150x200+1000+350 -format '%[fx:minima]' info: | grep -qx 1" ||
    fail "$1 shows $2"
  sleep 2
}
close_browser() {
  stop_pid "$BROWSER_PID"
  sleep 0.5
}

panel_up() { xdotool search --onlyvisible --name "^Scrolling Capture$"; }
card_up() { xdotool search --onlyvisible --name "^Vistrel Preview$"; }
kept_count() { ls "$E2E_TMP/captures"/*.png 2>/dev/null | wc -l; }
newest_kept() { ls -t "$E2E_TMP/captures"/*.png | head -1; }
settled() { wait_for 3 sh -c "xprop -id $1 _NET_FRAME_EXTENTS | grep -q ="; sleep 0.2; }
# close_card: the preview card goes with Escape; the picture stays kept.
close_card() {
  local card
  card=$(card_up | head -1)
  settled "$card"
  xdotool windowactivate --sync "$card" key Escape
  wait_for 10 sh -c "! xdotool search --onlyvisible --name '^Vistrel Preview$'"
}
# kept_since COUNT: more than COUNT pictures are kept.
kept_since() { wait_for 30 sh -c "[ \$(ls '$E2E_TMP/captures'/*.png 2>/dev/null | wc -l) -gt $1 ]"; }
# start_capture: Ctrl+Shift+8 over the whole screen, then Auto Scroll; sets PX PY.
start_capture() {
  xdotool key ctrl+shift+8
  wait_for 5 overlay_up || return 1
  drag 0 0 $((W - 1)) $((H - 1))
  wait_for 5 panel_up || return 1
  read -r PX PY _ _ < <(frame_of "$(panel_up | head -1)")
  sleep 0.3
  click_at $((PX + 274)) $((PY + 109)) # Auto Scroll
}

for browser in ${E2E_BROWSERS:-chromium firefox}; do
  for name in plain article footer smooth; do
    check "$browser: the headless picture of the $name page" headless "$browser" "$name"
    show "$browser" "$name"
    before=$(kept_count)
    start_capture || fail "$browser $name: the capture starts"
    if check "$browser $name: Auto Scroll reaches the end and the card opens" wait_for 90 card_up; then
      check "$browser $name: the picture is kept" kept_since "$before"
      band=0
      [ "$name" = footer ] && band=40
      "$VISTREL_SCROLLPAGE" rows "$(newest_kept)" "$E2E_TMP/$browser-$name-full.png" 960 16 $band |
        tee "$E2E_TMP/$browser-$name-rows.txt"
      check "$browser $name: row for row the browser's own picture" \
        "$VISTREL_SCROLLPAGE" rows "$(newest_kept)" "$E2E_TMP/$browser-$name-full.png" 960 16 $band
      close_card
    fi
    close_browser
  done

  # The long page: Auto Scroll stops at the tallest picture kept and says so; Done keeps it,
  # its top rows those of the browser's own picture of the page's top.
  show "$browser" long
  start_capture || fail "$browser long: the capture starts"
  sleep 50
  check "$browser long: at the tallest picture kept, no card opens by itself" sh -c "! xdotool search --onlyvisible --name '^Vistrel Preview$'"
  read -r PX PY _ _ < <(frame_of "$(panel_up | head -1)")
  click_at $((PX + 203)) $((PY + 143)) # Done
  if check "$browser long: Done opens the card" wait_for 30 card_up; then
    # Copy in the card: the picture goes to the clipboard, and the card closes.
    card=$(card_up | head -1)
    settled "$card"
    read -r cx cy cw ch < <(frame_of "$card")
    click_at $((cx + cw - 10 - 66 - 6 - 29)) $((cy + ch - 23))
    wait_for 10 window_mapped "^Copied to clipboard$"
    clipboard_png "$E2E_TMP/$browser-long-kept-all.png"
    # (ImageMagick's policy refuses pictures over 16000 rows: file reads the header.)
    check "$browser long: 16384 rows kept" \
      sh -c "file '$E2E_TMP/$browser-long-kept-all.png' | grep -q '1280 x 16384'"
    view "$browser" long "$E2E_TMP/$browser-long-top.png" 4000
    check "$browser long: row for row the top of the browser's own picture" \
      "$VISTREL_SCROLLPAGE" rows "$E2E_TMP/$browser-long-kept-all.png" "$E2E_TMP/$browser-long-top.png" 960 16 0 top
    wait_for 10 sh -c "! xdotool search --onlyvisible --name '^Vistrel Preview$'"
  fi

  # Done at a random moment of Auto Scroll, ten times: each ends the capture.
  ended=0
  for round in $(seq 10); do
    click_at 1100 450
    xdotool key ctrl+Home
    sleep 1
    if ! start_capture; then
      echo "round $round: the capture did not start"
      continue
    fi
    sleep "$((RANDOM % 3)).$((RANDOM % 10))"
    click_at $((PX + 203)) $((PY + 143)) # Done
    if wait_for 30 card_up; then ended=$((ended + 1)); close_card; else echo "round $round: no card"; fi
  done
  echo "$browser: Done ended $ended of 10 captures"
  check "$browser: Done at random moments ends every capture" [ "$ended" = 10 ]
  close_browser
done

check "app still running" kill -0 "$VISTREL_PID"
finish
