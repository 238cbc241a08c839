# shellcheck shell=bash
# Sourced by the scripts that drive the demo's window on an X server (xdotool):
# the caller defines fail MESSAGE, and sets pid to the demo's process.
demo_title="Velmors Demo - Release version"

# Waits up to SECONDS (30 by default: a loaded machine with software OpenGL can
# be slow to map it) for the demo's window and sets window to its id.
wait_for_demo_window() {
  local tries=$((${1:-30} * 10))
  window=""
  for _ in $(seq 1 "$tries"); do
    window=$(xdotool search --name "$demo_title" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the demo exited before its window appeared"
    sleep 0.1
  done
  [ -n "$window" ] || fail "no window titled '$demo_title'"
}

# Presses Escape in WINDOW, waits up to SECONDS (10) for the demo to end and
# fails unless it ends with exit code 0.
quit_with_escape() {
  local window=$1 tries=$((${2:-10} * 10)) status
  xdotool key --window "$window" Escape
  for _ in $(seq 1 "$tries"); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "the demo did not quit on Escape"
  set +e
  wait "$pid"
  status=$?
  set -e
  [ "$status" -eq 0 ] || fail "exit code $status"
}

# Fails unless LOG is complete: its header, the render loop's start and end, the
# first effect, and its footer; and, given COUNT, the effects #0 to #COUNT-1.
check_log_complete() {
  local log=$1 count=${2:-1} text i
  for text in "<title>Zorbin Engine Log</title>" "Application: 'Demo'" "Start of render loop." \
              "End of render loop.<br>" "<br><b>End of log</b></font></html>"; do
    grep -qF "$text" "$log" || fail "the log lacks '$text'"
  done
  for i in $(seq 0 $((count - 1))); do
    grep -qF "Started rendering new effect: #$i" "$log" || fail "the log lacks effect #$i"
  done
}
