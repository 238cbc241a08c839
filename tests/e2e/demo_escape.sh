#!/usr/bin/env bash
# Runs the demo as a user would, in a fresh working directory under an X server:
# the window must open, show something, and close on Escape with exit code 0 and
# a complete log. Usage: demo_escape.sh DEMO DATAGEN SOURCE_DIR (inside xvfb-run).
set -euo pipefail
demo=$1 datagen=$2 source_dir=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Data/Config"
cp "$source_dir/Data/Config/direct3d.cfg" "$work/Data/Config/"
"$datagen" "$work" >/dev/null

cd "$work"
"$demo" >"$work/stdout.txt" 2>"$work/stderr.txt" &
pid=$!

fail() {
  echo "FAIL: $*"
  echo "--- stderr"; cat "$work/stderr.txt" || true
  kill "$pid" 2>/dev/null || true
  exit 1
}

source "$(dirname "$0")/demo_window.sh"
# The window appears at once, with the title the demo gives it.
wait_for_demo_window

# The window shows a picture: more than one colour. Loading and the intro's fade
# from white show one colour for a while, longer on a slow machine or in a
# sanitizer build, so look again every half second for up to 30 s.
colours=0
for _ in $(seq 1 60); do
  sleep 0.5
  xwd -silent -id "$window" -out "$work/shot.xwd" || fail "no screenshot"
  python3 "$(dirname "$0")/xwd_colours.py" "$work/shot.xwd" >"$work/colours.txt" || fail "screenshot unreadable"
  colours=$(cat "$work/colours.txt")
  [ "$colours" -gt 1 ] && break
done
[ "$colours" -gt 1 ] || fail "the window shows a single colour"

quit_with_escape "$window"

log=$(ls "$work"/Data/Logs/*.html 2>/dev/null | head -n 1)
[ -n "$log" ] || fail "no log written"
check_log_complete "$log"
echo "PASS: window shown ($colours colours), quit on Escape, exit 0, log complete"
