#!/usr/bin/env bash
# Checks the Windows zip as a viewer meets it: unpacked into a fresh folder and started in a fresh
# Wine prefix on a virtual X server.
#   - both programs are there: demo-32bit.exe a 32-bit PE (i386), demo-64bit.exe a 64-bit one,
#     each importing only Windows' own DLLs (Direct3D 8 is loaded at run time), with the data,
#     the icon and the text file, which says which one is for 32-bit Windows;
#   - demo-64bit.exe runs the whole schedule: its window, the music (not silent), Escape ends it
#     with exit code 0, and the log names all six effects and is complete;
#   - demo-64bit.exe alone, without Data/ beside it: the program's own message boxes (answered as
#     a viewer pressing Enter would), a log saying which file it could not load, no crash.
# There is no 32-bit Wine on the machines this runs on: demo-32bit.exe is only inspected.
# Usage: check_windows.sh ZIP [SECONDS]   (SECONDS of the demo: 62 by default, the whole schedule)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
zip=$(realpath "$1") seconds=${2:-62}
me=check_windows
fail() { echo "$me: FAIL: $*" >&2; exit 1; }
[ -f "$zip" ] || fail "no zip at $1"
for tool in unzip xvfb-run xdotool x86_64-w64-mingw32-objdump; do
  command -v "$tool" > /dev/null || fail "$tool is missing: run tools/setup.sh"
done

work=$(mktemp -d)
# A fresh prefix, as on a machine that has never run the demo.
export WINEPREFIX=$work/wineprefix
# shellcheck source=../windows/wine_env.sh
source "$repo/tools/windows/wine_env.sh"
# The prefix's wineserver outlives the programs for a moment and may still be writing in it.
remove_work() {
  "$(dirname "$wine64")/wineserver" -k 2> /dev/null || true
  "$(dirname "$wine64")/wineserver" -w 2> /dev/null || true
  rm -rf "$work"
}
trap remove_work EXIT

unzip -q "$zip" -d "$work/unpacked"
folder=$work/unpacked/velmor-demo
[ -d "$folder" ] || fail "the zip does not unpack to one folder velmor-demo/"
for f in demo-32bit.exe demo-64bit.exe velmor-demo.txt velmor-demo.ico Data/Config/direct3d.cfg \
         Data/Music/onehitw.xm Data/Textures/loading.jpg; do
  [ -f "$folder/$f" ] || fail "the zip lacks velmor-demo/$f"
done
[ ! -e "$folder/Data/Logs" ] || fail "the zip holds a log folder"
grep -q "32-bit" "$folder/velmor-demo.txt" || fail "the text file does not say which build is for 32-bit Windows"

# The DLLs a program may import: Windows' own.
windows_dlls='^(KERNEL32|USER32|GDI32|ADVAPI32|msvcrt|WINMM)\.dll$'
check_pe() {
  local exe=$1 format=$2 dlls
  x86_64-w64-mingw32-objdump -f "$folder/$exe" | grep -q "file format $format" ||
    fail "$exe is not a $format executable"
  dlls=$(x86_64-w64-mingw32-objdump -p "$folder/$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  printf '%s\n' "$dlls" | grep -qviE "$windows_dlls" &&
    fail "$exe imports DLLs that are not Windows' own: $(printf '%s\n' "$dlls" | grep -viE "$windows_dlls" | tr '\n' ' ')"
  echo "$me: $exe: $format, imports $(printf '%s ' $dlls)"
}
check_pe demo-32bit.exe pei-i386
check_pe demo-64bit.exe pei-x86-64

ensure_wine_prefix > /dev/null
echo "$me: demo-64bit.exe for $seconds s in a fresh Wine prefix"
(cd "$folder" && xvfb-run -a -s "-screen 0 1280x1024x24" \
   bash "$repo/tools/windows/headless_run.sh" "$wine64" demo-64bit.exe "$seconds" "$work/run") ||
  fail "demo-64bit.exe did not run as it should (above)"
source "$repo/tests/e2e/demo_window.sh"
check_log_complete "$(ls "$folder"/Data/Logs/*.html | head -n 1)" 6

echo "$me: demo-64bit.exe without Data/ beside it"
mkdir -p "$work/alone"
cp "$folder/demo-64bit.exe" "$work/alone/"
(cd "$work/alone" && xvfb-run -a -s "-screen 0 1280x1024x24" \
   bash "$here/answer_boxes.sh" "$wine64" demo-64bit.exe "$work/alone.txt") ||
  fail "demo-64bit.exe without its data: $(cat "$work/alone.txt" 2>/dev/null)"
echo "$me: without Data/: $(grep '^box: ' "$work/alone.txt" | sort | uniq -c |
  sed -E 's/^ *([0-9]+) box: (.*)$/\1 x "\2"/' | paste -sd, -), $(grep '^exit code' "$work/alone.txt")"
log=$(ls "$work"/alone/Data/Logs/*.html 2>/dev/null | head -n 1)
[ -n "$log" ] || fail "without its data, the program wrote no log"
grep -qF "Error while loading file" "$log" || fail "the log does not say which file it could not load"
grep -qF "<br><b>End of log</b></font></html>" "$log" || fail "the log was not closed"
echo "$me: PASS"
