#!/usr/bin/env bash
# Runs a Windows program under Wine on the current X server, from the working directory, and
# answers every message box it shows as a viewer who gives up would: Escape (Cancel, as closing
# the box) where it asks whether to go on, Enter where it only tells. Writes each box's title and
# the exit code to OUT, and fails on Wine's crash dialog, on more than 40 boxes, or when the
# program has not ended after SECONDS.
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
declare -A seen=()
for _ in $(seq 1 $((seconds * 4))); do
  kill -0 "$pid" 2> /dev/null || break
  for id in $(xdotool search --onlyvisible --name '.' 2> /dev/null); do
    name=$(xdotool getwindowname "$id" 2> /dev/null || true)
    [ -n "$name" ] && [ "$name" != "$demo_title" ] || continue
    case $name in
      *"Program Error"* | *"winedbg"*) fail "Wine's crash dialog: $name" ;;
    esac
    if [ -z "${seen[$id]:-}" ]; then
      seen[$id]=1
      echo "box: $name" >> "$out"
      [ "${#seen[@]}" -le 40 ] || fail "more than 40 boxes: the program does not end"
    fi
    # The engine's questions are its errors ("continue?"); its warnings only tell.
    key=Return
    case $name in *Error*) key=Escape ;; esac
    xdotool windowfocus --sync "$id" key "$key" 2> /dev/null || true
  done
  sleep 0.5
done
kill -0 "$pid" 2> /dev/null && fail "the program has not ended after $seconds s"
set +e
wait "$pid"
status=$?
set -e
echo "exit code: $status" >> "$out"
