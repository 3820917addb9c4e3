#!/usr/bin/env bash
# Builds the Debian package from a configured build folder and checks it the way a user meets
# it: lists it, runs lintian, installs it with apt-get, runs the installed programs, renders
# both manual pages, validates the desktop entry, and removes the package again.
#
#   bash scripts/package-test.sh [BUILD_DIR]     (Debian 12, as root; default BUILD_DIR: build)
#
# The build folder is reused as it is (CI passes the one scripts/test.sh has just built), so
# the cost is the packing and the checks. A kadro package installed before is replaced and
# then removed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ "$(id -u)" -eq 0 ] || { echo "package-test: run as root (it installs the package)" >&2; exit 1; }
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build"
say() { printf '== %s\n' "$*"; }
fail() {
  printf 'package-test: %s\n' "$*" >&2
  exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
deb=$(pwd)/$build/kadro_${version}_amd64.deb

say "building $deb"
cmake --build "$build" -j"$(nproc)"
rm -f "$deb"
(cd "$build" && cpack -G DEB >/dev/null)
[ -f "$deb" ] || fail "cpack did not make $deb"
echo "size: $(stat -c %s "$deb") bytes"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

say "lintian"
# Errors and warnings fail the check; informational tags are shown.
lintian --allow-root --display-info --fail-on error,warning "$deb"

say "installing with apt-get"
removed=no
remove_package() {
  [ "$removed" = yes ] && return
  removed=yes
  DEBIAN_FRONTEND=noninteractive apt-get remove -y kadro >/dev/null
}
trap remove_package EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends --reinstall "$deb"

say "the installed programs"
[ "$(command -v kadro)" = /usr/bin/kadro ] || fail "kadro is not /usr/bin/kadro"
[ "$(kadro --version)" = "kadro $version" ] || fail "kadro --version: $(kadro --version)"
[ "$(kadro-remote --version)" = "kadro-remote $version" ] || fail "kadro-remote --version"
kadro --version
# Captured first: grep -q stops reading early, and pipefail would count the writer's SIGPIPE.
help=$(kadro --help)
grep -q KADRO.INI <<<"$help" || fail "kadro --help does not mention KADRO.INI"

say "manual pages"
for page in kadro kadro-remote; do
  file=/usr/share/man/man1/$page.1.gz
  [ -f "$file" ] || fail "$file is not installed"
  # Rendered by man-db; any complaint of the formatter fails the check.
  problems=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null || echo "man -l failed")
  [ -z "$problems" ] || fail "man -l $file: $problems"
  rendered=$(MANWIDTH=80 man "$page")
  grep -q "^NAME" <<<"$rendered" || fail "man $page shows no page"
done
sed -n 1,8p <<<"$rendered"

say "desktop entry and icons"
desktop-file-validate /usr/share/applications/kadro.desktop
grep -qx 'Terminal=false' /usr/share/applications/kadro.desktop || fail "Terminal is not false"
# The entry's command, run the way a launcher runs it but without a display: it must start the
# installed kadro in ~/KADRO, creating that folder, and end there at the missing display.
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/kadro.desktop)
home=$(mktemp -d)
status=0
(cd / && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" sh -c "exec $exec_line") \
  2>"$home/stderr" || status=$?
[ "$status" -eq 2 ] && [ -d "$home/KADRO" ] && grep -q 'cannot open the display' "$home/stderr" ||
  fail "the desktop entry's command did not start kadro in ~/KADRO (status $status)"
rm -rf "$home"
for icon in /usr/share/icons/hicolor/scalable/apps/kadro.svg \
  /usr/share/icons/hicolor/48x48/apps/kadro.png; do
  [ -s "$icon" ] || fail "$icon is missing"
done
identify /usr/share/icons/hicolor/48x48/apps/kadro.png | grep -q ' PNG 48x48 ' ||
  fail "the PNG icon is not 48x48"

say "removing"
remove_package
[ ! -e /usr/bin/kadro ] && [ ! -e /usr/share/applications/kadro.desktop ] ||
  fail "files are left after removal"
if dpkg-query -W -f='${Status}' kadro 2>/dev/null | grep -q 'install ok installed'; then
  fail "dpkg still lists kadro as installed"
fi
echo "package-test: $deb passed"
