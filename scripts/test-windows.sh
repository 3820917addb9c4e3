#!/usr/bin/env bash
# The Windows build and its tests: installs mingw-w64 and Wine when missing, cross-builds
# kadro.exe, kadro-remote.exe, the Windows tests, the zip and the installer, then runs the tests
# under Wine (the end-to-end ones on a virtual X display).
#   scripts/test-windows.sh [BUILD_DIR] [extra cmake arguments...]
# KADRO_CTEST_ARGS adds arguments to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
shift || true

KADRO_EXTRA_PACKAGES="g++-mingw-w64-x86-64-posix googletest locales wine wine64 nsis" \
  bash scripts/install-deps.sh

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "$@"
cmake --build "$build" -j"$(nproc)"
# The zip and the installer (windows_installer installs and removes that one under Wine).
(cd "$build" && cpack -G "ZIP;NSIS" >cpack.log)

# A private Wine prefix, made once per build folder. The server is started, and the prefix
# booted, before ctest: otherwise the first test's Wine services keep ctest's output pipe open
# and ctest hangs until its time-out. Wine's own output goes to files, never to pipes.
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$build/wine-logs"
# A server left from an earlier run (the persistent one below never ends by itself) goes first.
wineserver -k >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 wine wineboot -i >"$build/wine-logs/wineboot-init.log" 2>&1 || true
fi
# Headless by default: dialogs, boxes, key state and cross-thread sends all work on the null
# graphics driver; the end-to-end tests switch to X themselves.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >"$build/wine-logs/reg.log" 2>&1
wineserver -w
setsid wineserver -p </dev/null >/dev/null 2>&1
timeout 120 wine wineboot >"$build/wine-logs/wineboot.log" 2>&1 || true

rc=0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ${KADRO_CTEST_ARGS:-} || rc=$?
wineserver -k || true
exit $rc
