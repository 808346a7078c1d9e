#!/bin/bash
# Makes the Debian package from a build directory, checks it with lintian, installs it with
# apt-get, checks the installed program and files, reads text with the installed program on a
# private X server, and removes the package again (with anything its installation brought in).
#   scripts/package-test.sh BUILD_DIR
# The build must be an optimised one without sanitizers (Release or RelWithDebInfo: the
# package's programs are stripped either way); the tests and benchmarks of the build stay out
# of the package. Uses sudo when not run as root, as scripts/install-deps.sh does.
set -eu
build=${1:?usage: scripts/package-test.sh BUILD_DIR}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
started=$SECONDS
say() { echo "package-test: $*"; }
fail() { say "$*"; exit 1; }

cache=$build/CMakeCache.txt
[ -f "$cache" ] || fail "$build is not a configured build directory"
cached() { sed -n "s/^$1:[A-Z]*=//p" "$cache"; }
[ "$(cached VISTREL_SANITIZE)" != ON ] || fail "$build is a sanitizer build; package an optimised one"
case "$(cached CMAKE_BUILD_TYPE)" in
  "" | Release | RelWithDebInfo | MinSizeRel) ;; # an empty type is RelWithDebInfo (CMakeLists.txt)
  *) fail "$build is a $(cached CMAKE_BUILD_TYPE) build; package an optimised one" ;;
esac
status=$(dpkg-query -W -f='${db:Status-Status}' vistrel 2>/dev/null || true)
[ "$status" != installed ] ||
  fail "vistrel is installed on this machine already; remove it first (apt-get remove vistrel)"

# The package.
cmake --build "$build"
rm -f "$build"/vistrel_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; fail "cpack failed"; }
debs=("$build"/vistrel_*.deb)
if [ "${#debs[@]}" != 1 ] || [ ! -f "${debs[0]}" ]; then fail "cpack made no single vistrel_*.deb in $build"; fi
deb=${debs[0]}
say "$(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
dpkg-deb --field "$deb" Depends Recommends Suggests
lintian_rc=0
findings=$(lintian --fail-on error "$deb" 2>&1) || lintian_rc=$?
grep -v 'running with root privileges' <<<"$findings" || true
[ "$lintian_rc" = 0 ] || fail "lintian found errors"

# Installed as a user would, and taken away again whatever happens next.
installed_packages() {
  dpkg-query -W -f='${binary:Package} ${db:Status-Status}\n' | awk '$2 == "installed" { print $1 }' | sort
}
before=$(installed_packages)
remove_again() {
  local added
  added=$(comm -13 <(echo "$before") <(installed_packages) | tr '\n' ' ')
  if [ -n "$added" ]; then
    say "removing $added"
    # shellcheck disable=SC2086 # a list of package names
    DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq $added >/dev/null
  fi
}
trap remove_again EXIT
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get install -y -qq --no-install-recommends "$deb" >"$build/apt.log" 2>&1 ||
  { cat "$build/apt.log"; fail "apt-get could not install $deb"; }

failed=0
check() { local what=$1; shift; if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; failed=1; fi; }
version=$(dpkg-deb --field "$deb" Version)
check "the installed program says its version" [ "$(/usr/bin/vistrel --version)" = "vistrel $version" ]
no_missing_libraries() { ! ldd /usr/bin/vistrel /usr/libexec/vistrel/vistrel-recognizer | grep 'not found'; }
check "every library the programs need is there" no_missing_libraries
bash "$source_dir/data/check-install.sh" --installed /usr || failed=1
# Extract Text with the installed program: its platform and image plugins, its recogniser in
# /usr/libexec and the English model from the package's dependencies.
mkdir -p "$build/e2e/runs"
VISTREL_BIN=/usr/bin/vistrel E2E_TMPDIR=$build/e2e/runs bash "$source_dir/e2e/ocr_e2e.sh" || failed=1

remove_again
trap - EXIT
check "the package is gone again" [ "$(installed_packages)" = "$before" ]
say "$((SECONDS - started)) s"
exit $failed
