#!/usr/bin/env bash
# Runs demo.exe under Wine on a virtual X server (call it inside xvfb-run, from
# the directory that holds Data/) for SECONDS, then presses Escape. A watchdog
# fails at once, naming it, when a window other than the demo's appears (a
# message box nobody would answer), and when the demo does not quit on Escape.
# The sound goes to a file through ALSA's file plugin, so that the run can tell
# whether the music played. At the end the log must be complete.
# Usage: headless_run.sh WINE DEMO_EXE SECONDS [OUT_DIR]
#   OUT_DIR  where the program's output, the sound and the screenshot go
#            (default build-windows/headless, below the working directory)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
wine=$1 demo=$2 seconds=$3 out=${4:-build-windows/headless}
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)

cat >"$out/asound.conf" <<CONF
</usr/share/alsa/alsa.conf>
pcm.!default { type file slave.pcm "null" file "$out/sound.raw" format "raw" }
CONF
ALSA_CONFIG_PATH=$out/asound.conf "$wine" "$demo" >"$out/stdout.txt" 2>"$out/stderr.txt" &
pid=$!

fail() {
  echo "headless: FAIL: $*"
  grep -v "^ALSA lib\|XGetInputFocus" "$out/stderr.txt" | tail -n 20 || true
  kill -0 "$pid" 2>/dev/null || { wait "$pid" && echo "demo.exe: exit code 0" || echo "demo.exe: exit code $?"; }
  show_last_log Data/Logs
  kill "$pid" 2>/dev/null || true
  "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
  exit 1
}

# Every visible window that is not the demo's: a message box, waiting for a person.
other_windows() {
  for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    name=$(xdotool getwindowname "$id" 2>/dev/null || true)
    [ -n "$name" ] && [ "$name" != "$demo_title" ] && echo "$name"
  done
  return 0
}

source "$repo/tests/e2e/demo_window.sh"
source "$repo/tools/windows/wine_env.sh"
wait_for_demo_window 60
echo "headless: the window is up; running for $seconds s"

# A screenshot every 10 s: the scenes fade from white and to black, so a single
# shot may show one colour; the most colourful of them must show a picture.
colours=0 counts=""
for tick in $(seq 1 "$((seconds * 2))"); do
  kill -0 "$pid" 2>/dev/null || fail "demo.exe ended on its own"
  boxes=$(other_windows)
  [ -z "$boxes" ] || fail "a window nobody would answer appeared: $boxes"
  if [ $((tick % 20)) -eq 0 ] || [ "$tick" -eq $((seconds * 2)) ]; then
    shot=$out/shot-$((tick / 2))s.xwd
    xwd -silent -id "$window" -out "$shot" || fail "no screenshot"
    count=$(python3 "$repo/tests/e2e/xwd_colours.py" "$shot")
    counts="$counts $count"
    [ "$count" -le "$colours" ] || colours=$count
  fi
  sleep 0.5
done
[ "$colours" -gt 1 ] || fail "the window showed a single colour in every screenshot:$counts"

quit_with_escape "$window" 15

loudest=$(/usr/bin/python3 -c "
import os, sys, numpy as np
path = sys.argv[1]
samples = np.fromfile(path, dtype=np.int16) if os.path.exists(path) else np.zeros(1, np.int16)
print(int(np.abs(samples.astype(np.int32)).max()))" "$out/sound.raw")
[ "$loudest" -gt 0 ] || fail "the music was silent (nothing reached $out/sound.raw)"
log=$(ls -t Data/Logs/*.html 2>/dev/null | head -n 1)
[ -n "$log" ] || fail "no log in Data/Logs"
check_log_complete "$log"
echo "headless: PASS: $seconds s shown (colours in the screenshots every 10 s:$counts), the music played (loudest"
echo "headless: sample $loudest), quit on Escape with exit code 0; log complete: $log"
