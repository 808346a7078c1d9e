#!/bin/bash
# Checks what an install puts in place with the tools desktops and software centres use:
# desktop-file-validate, appstreamcli and man.
#   check-install.sh BUILD_DIR              installs the build into a temporary prefix first
#   check-install.sh --installed PREFIX     checks an install already there (e.g. the package's, /usr)
set -u
usage="usage: check-install.sh BUILD_DIR | --installed PREFIX"
if [ "${1:-}" = --installed ]; then
  prefix=${2:?$usage}
  [ -d "$prefix" ] || { echo "check-install.sh: no folder $prefix"; exit 1; }
else
  build=${1:?$usage}
  prefix=$(mktemp -d /tmp/vistrel-install.XXXXXX)
  trap 'rm -rf "$prefix"' EXIT
  cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; exit 1; }
  rm -f "$prefix.log"
fi
failed=0
check() { local what=$1; shift; if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; failed=1; fi; }

id=io.vistrel.Vistrel
man=share/man/man1/vistrel.1.gz
[ -e "$prefix/$man" ] || man=share/man/man1/vistrel.1
for f in bin/vistrel libexec/vistrel/vistrel-recognizer share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/symbolic/apps/$id-symbolic.svg \
         "$man" share/doc/vistrel/copyright; do
  check "installs $f" test -s "$prefix/$f"
done
desktop=$prefix/share/applications/$id.desktop
check "desktop entry is valid" desktop-file-validate "$desktop"
# Launchers offer the entry's actions on a right click: each runs a command, in English and German.
actions=$(sed -n 's/^Actions=//p' "$desktop" | tr ';' ' ')
has_action() {
  local command=$1 a section
  for a in $actions; do
    section=$(sed -n "/^\[Desktop Action $a\]/,/^\[/p" "$desktop")
    grep -qx "Exec=vistrel $command" <<<"$section" && grep -q '^Name=.' <<<"$section" &&
      grep -q '^Name\[de\]=.' <<<"$section" && return 0
  done
  return 1
}
for command in area full scroll record ocr color; do
  check "desktop entry offers \"vistrel $command\"" has_action "$command"
done
check "metainfo is valid" appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
man_warnings=$(MANWIDTH=80 man --warnings -l "$prefix/$man" 2>&1 >/dev/null)
check "man page renders without warnings" test -z "$man_warnings"
[ -z "$man_warnings" ] || echo "$man_warnings"
page=$(MANWIDTH=80 man -l "$prefix/$man" 2>/dev/null)
names_all() { for c in area full window scroll record ocr color edit quit; do grep -qw "$c" <<<"$page" || return 1; done; }
check "man page names every command" names_all
help=$("$prefix/bin/vistrel" --help)
for word in area full window scroll record ocr color edit quit --delay --duration --output --clipboard Ctrl+Shift+2 \
            VISTREL_SMART_NAMES VISTREL_KEEP_CAPTURES VISTREL_UPLOAD_URL; do
  check "--help mentions $word" grep -q -- "$word" <<<"$help"
done
exit $failed
