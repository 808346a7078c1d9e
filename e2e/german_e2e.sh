#!/bin/bash
# Vistrel in German (LANG=de_DE.UTF-8, no system locale needed): an alert at start, the tray
# menu, the area overlay and its toolbar, the editor with a toast and its question on close,
# Preferences, and a refusal the command line prints. Titles are read with xdotool, the rest
# of the screen with tesseract. E2E_SHOTS=DIR also keeps the screenshots there for a look.
source "$(dirname "$0")/lib.sh"
command -v tesseract >/dev/null || skip "needs tesseract (scripts/install-deps.sh)"

start_x 1280x800
start_wm
start_tray
convert -size 1280x800 xc:'#808080' -fill '#3366CC' -draw "rectangle 200,150 599,449" \
  "$E2E_TMP/picture.png"
set_backdrop "$E2E_TMP/picture.png"
# A hot key nobody can use in the settings: the start says so in an alert.
mkdir -p "$XDG_CONFIG_HOME/vistrel"
printf '[hotkeys]\n1=Q\n' >"$XDG_CONFIG_HOME/vistrel/vistrel.conf"
LANG=de_DE.UTF-8 LANGUAGE=de start_vistrel

# shot NAME: the whole screen as $E2E_TMP/german-NAME.png (and in $E2E_SHOTS), and the words
# tesseract reads in it (at twice the size, in grey: small interface text reads better) as
# $E2E_TMP/german-NAME.tsv.
shot() {
  import -window root "$E2E_TMP/german-$1.png"
  [ -n "${E2E_SHOTS:-}" ] && cp "$E2E_TMP/german-$1.png" "$E2E_SHOTS/"
  convert "$E2E_TMP/german-$1.png" -resize 200% -colorspace Gray "$E2E_TMP/ocr.png"
  OMP_THREAD_LIMIT=1 tesseract "$E2E_TMP/ocr.png" - --psm 11 tsv 2>/dev/null >"$E2E_TMP/german-$1.tsv"
}
# reads NAME TEXT...: every TEXT is in what the screenshot NAME says (the English model reads
# umlauts unreliably, so the texts avoid them).
reads() {
  local name=$1 said text; shift
  said=$(awk -F'\t' 'NR > 1 && $12 != "" { printf "%s ", $12 }' "$E2E_TMP/german-$name.tsv")
  for text in "$@"; do
    grep -qF "$text" <<<"$said" || { echo "no '$text' in: $said"; return 1; }
  done
}
# named TITLE: the visible windows with exactly this title, as xdotool getwindowname reads it
# (_NET_WM_NAME, UTF-8). xdotool search reads the legacy WM_NAME, which the app writes in the
# C library's locale: without a German locale installed, ASCII, and so "—" or "ü" garbled.
named() {
  local w
  for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && echo "$w"
  done | grep .
}
gone() { ! named "$1" >/dev/null; }

# --- the alert at start ------------------------------------------------------------------------------
alert='Einige Tastenkürzel aus den Einstellungen wurden nicht verwendet'
check "the alert at start has a German title" wait_for 10 named "$alert"
sleep 0.5
shot alert
check "and says what was wrong in German" reads alert "kein Tastenk" "Standardtasten"
wmctrl -c "$alert"
check "and closes" wait_for 5 gone "$alert"

# --- the tray menu ----------------------------------------------------------------------------------
icon=$(xwininfo -root -tree | grep -A4 '"panel"' | grep '"Vistrel"' | awk '{print $1}' | head -1)
if read -r ix iy _ < <(frame_of "$icon"); then
  xdotool mousemove $(( ix + 10 )) $(( iy + 10 )) sleep 0.2 click 1 sleep 0.8
  shot menu
  check "the tray menu is German" reads menu "Bereich aufnehmen" "Fenster aufnehmen" "Einstellungen" \
    "Vistrel beenden"
  # The key names in the menu are Qt's own texts, German where Qt's translations are installed.
  if [ -f "$(qtpaths6 --query QT_INSTALL_TRANSLATIONS 2>/dev/null)/qtbase_de.qm" ]; then
    check "and so are Qt's key names in it" reads menu "Strg+Umschalt+2"
  fi
  xdotool key Escape
else
  fail "the tray icon docks"
fi
sleep 0.3

# --- the area overlay and its toolbar ------------------------------------------------------------------
xdotool key ctrl+shift+2
check "the overlay's title is German" wait_for 5 named "Vistrel-Auswahl"
sleep 0.3
shot overlay-hint
check "its hint is German" reads overlay-hint "Ziehen zum" "Esc zum Abbrechen"
drag 200 150 600 450
sleep 0.5
shot overlay-toolbar
check "its toolbar is German" reads overlay-toolbar "Bearbeiten" "Kopieren" "Speichern" "Anheften"
xdotool key Return

# --- the editor, a toast, and the question when closing with marks ------------------------------------
editor='Vistrel — Editor'
check "Return opens the editor" wait_for 5 named "$editor"
sleep 0.8
win=$(named "$editor" | head -1)
xdotool windowactivate --sync "$win" 2>/dev/null
shot editor
check "the editor's toolbar is German" reads editor "Kopieren" "Speicher"
# Copy (Ctrl+C) copies at once and says so in a toast.
xdotool key ctrl+c
check "Copy says so in a German toast" wait_for 5 named "In die Zwischenablage kopiert"
shot toast
check "which shows in full" reads toast "In die Zwischenablage kopiert"
xdotool windowactivate --sync "$win" 2>/dev/null
xdotool key r
read -r wx wy _ < <(frame_of "$win")
drag $(( wx + 120 )) $(( wy + 140 )) $(( wx + 260 )) $(( wy + 220 ))
xdotool key ctrl+w
question='Vistrel — Nicht gespeicherte Markierungen'
check "closing with marks asks in German" wait_for 5 named "$question"
sleep 0.5
shot question
check "and German texts" reads question "behalten?" "Kopieren und"
xdotool key alt+v
check "its accelerator Alt+V discards and closes" wait_for 5 gone "$editor"

# --- Preferences ------------------------------------------------------------------------------------
tray_menu 10 # Einstellungen … (the disabled information line is skipped)
check "Preferences opens with a German title" wait_for 5 named "Vistrel-Einstellungen"
sleep 0.5
shot preferences
check "and German labels" reads preferences "Ordner:" "Ohne Nachfrage speichern" "Vistrel bei der Anmeldung starten"
wmctrl -c "Vistrel-Einstellungen"

# --- the command line: the running Vistrel refuses a picture it cannot open, in German ------------------
: >"$E2E_TMP/empty.png"
out=$("$VISTREL_BIN" edit "$E2E_TMP/empty.png" 2>&1)
check "a picture that cannot be opened is refused in German ($out)" \
  grep -q "empty.png kann nicht geöffnet werden: die Datei ist leer" <<<"$out"

check "app still running" kill -0 "$VISTREL_PID"
finish
