#!/usr/bin/env bash
# Builds the Debian packages from a configured build folder and checks them the way a user meets
# them: lists them, runs lintian, shows that nothing kadro-serve depends on, however indirectly,
# is a desktop library, installs kadro-serve alone with apt-get and runs its programs and
# manual pages, then installs kadro on top, runs it, renders its manual page, validates the
# desktop entry, and removes both packages again.
#
#   bash scripts/package-test.sh [BUILD_DIR]     (Debian 12, as root; default BUILD_DIR: build)
#
# The build folder is reused as it is (CI passes the one scripts/test.sh has just built), so
# the cost is the packing and the checks. Packages kadro and kadro-serve installed before are
# replaced and then removed.
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
serve_deb=$(pwd)/$build/kadro-serve_${version}_amd64.deb

say "building $deb and $serve_deb"
cmake --build "$build" -j"$(nproc)"
rm -f "$deb" "$serve_deb"
(cd "$build" && cpack -G DEB >/dev/null)
for package in "$serve_deb" "$deb"; do
  [ -f "$package" ] || fail "cpack did not make $package"
  echo "size: $(stat -c %s "$package") bytes"
  dpkg-deb --info "$package"
  dpkg-deb --contents "$package"
done
dpkg-deb -f "$deb" Depends | grep -q "kadro-serve (= $version)" ||
  fail "kadro does not depend on kadro-serve $version"
# kadro-remote moved from kadro into kadro-serve: an older kadro must give it up on upgrade.
for field in Replaces Breaks; do
  dpkg-deb -f "$serve_deb" $field | grep -q "kadro (<< 1.1.0)" ||
    fail "kadro-serve does not declare $field: kadro (<< 1.1.0)"
done

say "lintian"
# Errors and warnings fail the check; informational tags are shown.
lintian --allow-root --display-info --fail-on error,warning "$serve_deb" "$deb"

say "kadro-serve needs no desktop library"
# Every package kadro-serve's dependencies pull in, however indirectly: none may draw a window.
direct=$(dpkg-deb -f "$serve_deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g')
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances $direct | sed -n 's/^\([a-z0-9][^ :]*\).*/\1/p' | sort -u)
echo "$(wc -l <<<"$closure") packages reached: $(tr '\n' ' ' <<<"$closure")"
desktop=$(grep -E '^(libx11|libxi|libxcb|libxext|libfltk|libgtk|libgdk|libwayland|libgl)' \
  <<<"$closure" || true)
[ -z "$desktop" ] || fail "kadro-serve pulls in desktop libraries: $desktop"

say "installing kadro-serve alone with apt-get"
removed=no
remove_packages() {
  [ "$removed" = yes ] && return
  removed=yes
  DEBIAN_FRONTEND=noninteractive apt-get remove -y kadro kadro-serve >/dev/null
}
trap remove_packages EXIT
DEBIAN_FRONTEND=noninteractive apt-get remove -y kadro kadro-serve >/dev/null 2>&1 || true
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends --reinstall "$serve_deb"
if dpkg-query -W -f='${Status}' kadro 2>/dev/null | grep -q 'install ok installed'; then
  fail "installing kadro-serve brought kadro"
fi
[ "$(kadro-serve --version)" = "kadro-serve $version" ] || fail "kadro-serve --version"
[ "$(kadro-remote --version)" = "kadro-remote $version" ] || fail "kadro-remote --version"
serve_help=$(kadro-serve --help)
grep -q 'Exit status' <<<"$serve_help" || fail "kadro-serve --help lists no exit status"
[ -s /usr/share/doc/kadro-serve/kadro-serve.service ] || fail "the example unit is missing"

say "installing kadro with apt-get"
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends --reinstall "$deb"

say "the installed programs"
[ "$(command -v kadro)" = /usr/bin/kadro ] || fail "kadro is not /usr/bin/kadro"
[ "$(kadro --version)" = "kadro $version" ] || fail "kadro --version: $(kadro --version)"
kadro --version
# Captured first: grep -q stops reading early, and pipefail would count the writer's SIGPIPE.
help=$(kadro --help)
grep -q KADRO.INI <<<"$help" || fail "kadro --help does not mention KADRO.INI"

say "manual pages"
for page in kadro kadro-serve kadro-remote; do
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
remove_packages
[ ! -e /usr/bin/kadro ] && [ ! -e /usr/bin/kadro-serve ] &&
  [ ! -e /usr/share/applications/kadro.desktop ] || fail "files are left after removal"
for package in kadro kadro-serve; do
  if dpkg-query -W -f='${Status}' $package 2>/dev/null | grep -q 'install ok installed'; then
    fail "dpkg still lists $package as installed"
  fi
done
echo "package-test: $serve_deb and $deb passed"
