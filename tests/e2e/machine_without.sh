#!/usr/bin/env bash
# The demo started on a machine that lacks a display or a sound device: it must
# say so in one line of its own, not run invisibly nor print its libraries'
# internals. Usage: machine_without.sh display|sound DEMO DATAGEN SOURCE_DIR
#   display: the environment cleared (no DISPLAY, no WAYLAND_DISPLAY, no driver
#            chosen): one line saying why, the failure box, exit code -1 (255);
#   sound:   (inside xvfb-run) SDL's ALSA driver on a card that does not exist:
#            one line saying the music is silent, no ALSA messages, the demo
#            runs and quits on Escape with exit code 0.
set -euo pipefail
mode=$1 demo=$2 datagen=$3 source_dir=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Data/Config"
cp "$source_dir/Data/Config/direct3d.cfg" "$work/Data/Config/"
"$datagen" "$work" >/dev/null
cd "$work"

fail() {
  echo "FAIL: $*"
  echo "--- stderr"; cat "$work/stderr.txt" || true
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  exit 1
}

if [ "$mode" = display ]; then
  set +e
  env -i PATH="$PATH" HOME="$HOME" timeout 60 "$demo" >"$work/stdout.txt" 2>"$work/stderr.txt"
  status=$?
  set -e
  [ "$status" -eq 255 ] || fail "exit code $status, not 255 (-1)"
  [ "$(grep -c '^No display' "$work/stderr.txt")" -eq 1 ] || fail "not one 'No display' line"
  head -n 1 "$work/stderr.txt" | grep -q "DISPLAY is not set" || fail "the first line does not say why"
  grep -qF "Something went wrong..." "$work/stderr.txt" || fail "no 'Something went wrong...' box"
  grep -q "ALSA lib\|XDG_RUNTIME_DIR" "$work/stderr.txt" && fail "library internals on stderr"
  echo "PASS: no display: one line, the failure box, exit code -1"
  exit 0
fi

SDL_AUDIODRIVER=alsa AUDIODEV=hw:99 "$demo" >"$work/stdout.txt" 2>"$work/stderr.txt" &
pid=$!
source "$(dirname "$0")/demo_window.sh"
wait_for_demo_window
# The sound starts while the effects initialise, before the render loop.
for _ in $(seq 1 100); do
  grep -q "Start of render loop." Data/Logs/*.html 2>/dev/null && break
  sleep 0.1
done
quit_with_escape "$window"
[ "$(grep -c '^No sound' "$work/stderr.txt")" -eq 1 ] || fail "not one 'No sound' line"
grep -q "^No sound.*tried alsa" "$work/stderr.txt" || fail "the line does not name the driver tried"
grep -q "ALSA lib" "$work/stderr.txt" && fail "ALSA's messages reached stderr"
echo "PASS: no sound device: one line naming alsa, the demo ran and quit with 0"
