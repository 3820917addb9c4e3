#!/usr/bin/env bash
# The one-command demo: serves the bundled sample image to the remote-machine simulator over a
# virtual serial line, on the person's screen when there is one, otherwise on a virtual one.
#
#   bash scripts/demo.sh            (Debian 12, as root: installs what it needs first)
#   bash scripts/demo.sh --update-screenshot
#                                   also writes the README's picture, docs/kadro-serving.png:
#                                   the window with its title bar (under openbox when the demo
#                                   runs on a virtual display)
#
# Steps: install packages, build, make the sample image, create a pseudo-terminal pair, write
# demo/KADRO.INI naming the program's end, start KADRO in demo/ with a home of its own there,
# pick sample.vks in the chooser by typing its name, let the simulator fetch every track and
# compare it with the image, copy the log window's text, send "E", and print the verdict, the
# log and a screenshot taken while serving. Everything it makes stays in demo/. KADRO_BUILD_DIR
# picks the build folder (build).
# Exit status: 0 when every byte arrived as sent and KADRO ended with exit code 0.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${KADRO_BUILD_DIR:-build}
update_screenshot=no
case "${1:-}" in
  --update-screenshot) update_screenshot=yes ;;
  "") ;;
  *)
    echo "usage: bash scripts/demo.sh [--update-screenshot]" >&2
    exit 2
    ;;
esac
demo=$root/demo
tracks=160

say() { printf '== %s\n' "$*"; }
fail() {
  printf 'demo: %s\n' "$*" >&2
  verdict=FAIL
  exit 1
}

pids=()
verdict=FAIL
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "${demo:?}/home"
}
trap cleanup EXIT

if [ "$(id -u)" -eq 0 ]; then
  say "installing packages"
  bash scripts/install-deps.sh
else
  for tool in cmake g++ socat xdotool xclip Xvfb import; do
    command -v "$tool" >/dev/null || fail "$tool is missing: run as root so that scripts/install-deps.sh can install it"
  done
fi

say "building"
cmake -S . -B "$build" -DKADRO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target kadro kadro-remote make-sample-image
kadro=$root/$build/kadro
remote=$root/$build/tools/remote/kadro-remote
make_image=$root/$build/tools/make-sample-image/make-sample-image

say "preparing $demo"
mkdir -p "$demo"
rm -f "$demo"/received-*.bin "$demo"/kadro-serving.png "$demo"/logview.txt "$demo"/ttyKADRO \
  "$demo"/ttyREMOTE
"$make_image" "$demo/sample.vks" --sending-order "$demo/sending-order.bin"

# KADRO and the programs that drive it run with a home and XDG folders of their own, made fresh
# in demo/home: what the person's desktop saved (such as the location mode its file chooser
# remembers) does not change the run, and the run saves nothing outside demo/.
export XAUTHORITY=${XAUTHORITY:-$HOME/.Xauthority}
rm -rf "${demo:?}/home"
mkdir -p "$demo"/home/{config,data,cache,state,run}
chmod 700 "$demo/home/run"
export HOME=$demo/home XDG_CONFIG_HOME=$demo/home/config XDG_DATA_HOME=$demo/home/data \
  XDG_CACHE_HOME=$demo/home/cache XDG_STATE_HOME=$demo/home/state XDG_RUNTIME_DIR=$demo/home/run

# Waits up to $1 seconds for a visible window whose name matches $2; prints its id.
wait_window() {
  local deadline=$((SECONDS + $1)) id
  while [ $SECONDS -lt $deadline ]; do
    id=$(xdotool search --onlyvisible --name "$2" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

say "virtual serial line"
socat "pty,raw,echo=0,link=$demo/ttyKADRO" "pty,raw,echo=0,link=$demo/ttyREMOTE" 2>"$demo/socat.log" &
pids+=($!)
for _ in $(seq 50); do
  [ -e "$demo/ttyKADRO" ] && [ -e "$demo/ttyREMOTE" ] && break
  sleep 0.1
done
[ -e "$demo/ttyKADRO" ] || fail "socat did not create the pseudo-terminal pair"
printf '[Impostazioni]\r\nPorta=%s\r\n' "$demo/ttyKADRO" >"$demo/KADRO.INI"
echo "KADRO.INI: Porta=$demo/ttyKADRO"

if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  say "using your display $DISPLAY"
  on_screen=yes
else
  say "no display reachable: starting Xvfb"
  exec {displayfd}<> <(:)
  Xvfb -displayfd "$displayfd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  read -r -t 15 -u "$displayfd" number || fail "Xvfb did not start"
  exec {displayfd}<&-
  export DISPLAY=:$number
  echo "Xvfb on $DISPLAY"
  on_screen=no
fi

say "starting KADRO"
(cd "$demo" && exec "$kadro") >"$demo/kadro.out" 2>&1 &
kadro_pid=$!
pids+=($kadro_pid)

# Picks sample.vks as a person does, whichever way the chooser shows its name field: the field
# emptied (one that was left showing fills it with the first file's name), the name typed, read
# back (keys can be lost while the chooser starts), and only then confirmed; typed afresh while
# the chooser stays on the screen.
pick_image() {
  local title='^Seleziona immagine da inviare$' chooser held
  chooser=$(wait_window 30 "$title") || fail "the file chooser did not appear"
  for _ in 1 2 3; do
    xdotool windowfocus --sync "$chooser"
    xdotool key ctrl+a
    xdotool type --delay 40 sample.vks
    sleep 0.3
    xdotool key ctrl+a ctrl+c
    sleep 0.3
    held=$(xclip -o -selection clipboard 2>/dev/null || true)
    # The toolkit's own chooser shows the whole path once the name is typed.
    [ "$held" = sample.vks ] || [ "$held" = "$demo/sample.vks" ] || continue
    xdotool key Return
    for _ in $(seq 40); do
      xdotool search --onlyvisible --name "$title" 2>/dev/null | grep -qx "$chooser" || return 0
      sleep 0.2
    done
  done
  fail "the file chooser did not take the name sample.vks (its field held '$held')"
}
pick_image
window=$(wait_window 30 '^KADRO 1\.00 ') || fail "the main window did not appear (see $demo/kadro.out)"
echo "window: $(xdotool getwindowname "$window")"
xdotool getwindowgeometry "$window" | sed 's/^/  /'
# The README's picture shows the window with its title bar. A virtual display has no window
# manager: openbox frames the window for the picture only, started after the chooser has gone
# so that it cannot take the keyboard from it, and stopped right after the picture.
window_manager=
if [ "$update_screenshot" = yes ] && [ "$on_screen" = no ]; then
  command -v openbox >/dev/null || fail "--update-screenshot on a virtual display needs openbox"
  openbox >/dev/null 2>&1 &
  window_manager=$!
  pids+=($window_manager)
fi

say "the remote machine fetches $tracks tracks"
"$remote" --device "$demo/ttyREMOTE" --tracks $((tracks / 2)) --quiet --out "$demo/received-1.bin" ||
  fail "the first half of the transfer failed"
if [ "$on_screen" = yes ]; then
  import -window "$window" "$demo/kadro-serving.png"
else
  import -window root "$demo/kadro-serving.png"
fi
if [ "$update_screenshot" = yes ]; then
  mkdir -p "$root/docs"
  import -frame -window "$window" "$root/docs/kadro-serving.png"
  echo "README picture: $root/docs/kadro-serving.png"
  if [ -n "$window_manager" ]; then
    kill "$window_manager"
    wait "$window_manager" 2>/dev/null || true
  fi
fi
"$remote" --device "$demo/ttyREMOTE" --tracks $((tracks - tracks / 2)) --quiet \
  --out "$demo/received-2.bin" || fail "the second half of the transfer failed"
cat "$demo/received-1.bin" "$demo/received-2.bin" >"$demo/received.bin"
if cmp "$demo/received.bin" "$demo/sending-order.bin"; then
  transfer=identical
  echo "all $tracks tracks ($(stat -c %s "$demo/received.bin") bytes) match the image"
else
  transfer=different
fi

# The log window's text, copied the way a person would: select all of it and copy.
xdotool windowfocus --sync "$window"
xdotool key ctrl+Home ctrl+shift+End ctrl+c
sleep 0.3
xclip -o -selection clipboard >"$demo/logview.txt" 2>/dev/null || true

say 'sending "E"'
"$remote" --device "$demo/ttyREMOTE" --tracks 0 --end --quiet || fail 'sending "E" failed'
status=timeout
for _ in $(seq 150); do
  if ! kill -0 "$kadro_pid" 2>/dev/null; then
    status=ended
    break
  fi
  sleep 0.1
done
exit_code=none
if [ "$status" = ended ]; then
  wait "$kadro_pid" && exit_code=0 || exit_code=$?
fi

say "log window (demo/logview.txt)"
if [ -s "$demo/logview.txt" ]; then
  lines=$(grep -c '' "$demo/logview.txt")
  head -n 3 "$demo/logview.txt" | tr -d '\r'
  echo "  ... ($lines lines)"
  tail -n 3 "$demo/logview.txt" | tr -d '\r'
else
  echo "(could not copy the log window's text)"
fi
[ -s "$demo/kadro.out" ] && {
  echo "KADRO's own output:"
  sed 's/^/  /' "$demo/kadro.out"
}

if [ "$transfer" = identical ] && [ "$exit_code" = 0 ]; then
  verdict=PASS
fi
say "verdict: $verdict (transfer $transfer, KADRO exit code $exit_code)"
echo "screenshot while serving: $demo/kadro-serving.png"
[ "$verdict" = PASS ]
