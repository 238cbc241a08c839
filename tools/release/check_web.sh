#!/usr/bin/env bash
# Checks the web zip as a viewer who puts it on a web site meets it: at most 6 MB, unpacked to one
# folder with the page, the program, its data and the text file, and served from a sub-path
# (/demos/velmor/) by a plain static server to headless chromium, where it must load with its
# progress bar, fit the window, start on a click, play the music and end on Escape
# (tools/web/browser_test.py page).
# Usage: check_web.sh ZIP
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
zip=$(realpath "$1")
me=check_web
fail() { echo "$me: FAIL: $*" >&2; exit 1; }
[ -f "$zip" ] || fail "no zip at $1"
size=$(stat -c %s "$zip")
[ "$size" -le $((6 * 1024 * 1024)) ] || fail "the zip is $size bytes, over 6 MB"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
site=$work/velmor-demo-web
[ -d "$site" ] || fail "the zip does not unpack to one folder velmor-demo-web/"
for f in index.html demo.js demo.wasm demo.data velmor-demo.txt; do
  [ -f "$site/$f" ] || fail "the zip lacks velmor-demo-web/$f"
done
echo "$me: $size bytes; served from /demos/velmor/"
/usr/bin/python3 "$repo/tools/web/browser_test.py" page --site "$site" --path /demos/velmor/ ||
  fail "the page did not play as it should (above)"
echo "$me: PASS"
