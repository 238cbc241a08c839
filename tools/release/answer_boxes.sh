#!/usr/bin/env bash
# Runs a Windows program under Wine on the current X server, from the working directory, and
# answers every message box it shows as a viewer pressing Enter would (the box's default
# button), until the program ends. Writes each box's title and the exit code to OUT, and fails
# on Wine's crash dialog, on a box that will not go away, or when the program has not ended
# after SECONDS.
# Usage: answer_boxes.sh WINE EXE OUT [SECONDS]   (SECONDS: 120 by default)
set -euo pipefail
wine=$1 exe=$2 out=$3 seconds=${4:-120}
: > "$out"
"$wine" "$exe" > /dev/null 2>&1 &
pid=$!
fail() {
  echo "FAIL: $*" >> "$out"
  kill "$pid" 2> /dev/null || true
  "$(dirname "$wine")/wineserver" -k 2> /dev/null || true
  exit 1
}

demo_title="Velmors Demo - Release version"
answered=0
for _ in $(seq 1 $((seconds * 4))); do
  kill -0 "$pid" 2> /dev/null || break
  for id in $(xdotool search --onlyvisible --name '.' 2> /dev/null); do
    name=$(xdotool getwindowname "$id" 2> /dev/null || true)
    [ -n "$name" ] && [ "$name" != "$demo_title" ] || continue
    case $name in
      *"Program Error"* | *"winedbg"*) fail "Wine's crash dialog: $name" ;;
    esac
    echo "box: $name" >> "$out"
    answered=$((answered + 1))
    [ "$answered" -le 20 ] || fail "more than 20 boxes: the program does not end"
    xdotool key --window "$id" Return 2> /dev/null || true
    sleep 1
  done
  sleep 0.25
done
kill -0 "$pid" 2> /dev/null && fail "the program has not ended after $seconds s"
set +e
wait "$pid"
status=$?
set -e
echo "exit code: $status" >> "$out"
