#!/bin/bash
# Installs the build into a temporary prefix and checks what landed there with the tools
# desktops and software centres use: desktop-file-validate, appstreamcli and man.
set -u
build=${1:?usage: check-install.sh BUILD_DIR}
prefix=$(mktemp -d /tmp/vistrel-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
failed=0
check() { local what=$1; shift; if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; failed=1; fi; }

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; exit 1; }
rm -f "$prefix.log"
id=io.vistrel.Vistrel
for f in bin/vistrel libexec/vistrel/vistrel-recognizer share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/symbolic/apps/$id-symbolic.svg \
         share/man/man1/vistrel.1; do
  check "installs $f" test -s "$prefix/$f"
done
check "desktop entry is valid" desktop-file-validate "$prefix/share/applications/$id.desktop"
check "metainfo is valid" appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
man_warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/vistrel.1" 2>&1 >/dev/null)
check "man page renders without warnings" test -z "$man_warnings"
[ -z "$man_warnings" ] || echo "$man_warnings"
page=$(MANWIDTH=80 man -l "$prefix/share/man/man1/vistrel.1" 2>/dev/null)
names_all() { for c in area full window scroll ocr color edit quit; do grep -qw "$c" <<<"$page" || return 1; done; }
check "man page names every command" names_all
help=$("$prefix/bin/vistrel" --help)
for word in area full window scroll ocr color edit quit --delay Ctrl+Shift+2 VISTREL_SMART_NAMES \
            VISTREL_KEEP_CAPTURES VISTREL_UPLOAD_URL; do
  check "--help mentions $word" grep -q -- "$word" <<<"$help"
done
exit $failed
