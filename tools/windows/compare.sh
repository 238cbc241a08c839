#!/usr/bin/env bash
# Draws the same frames of the demo twice, with the Linux build (our Direct3D 8
# over OpenGL) and with the Windows build under Wine (Wine's Direct3D 8, on the
# same Mesa), and compares them frame by frame (compare_frames.py).
# Usage: bash tools/windows/compare.sh [--frames N] [--fps F] [--out DIR] [--sheet FILE.png]
#                                      [--linux-build DIR] [--arch x86_64|i686]
#   --frames  how many frames, spread evenly over the six scenes (default 48)
#   --fps     the virtual clock's rate; both builds draw every frame up to the
#             last one asked for (default 60, the rate the demo is made for)
#   --out     where the frames and the report go (default build-windows/compare)
#   --sheet   also write a contact sheet of the 12 worst frames there
#   --linux-build  the Linux build tree (default build)
#   --arch    which Windows build: x86_64 (default, under wine64) or i686, the
#             platform the program was written for (under 32-bit Wine, where the
#             machine can run it)
# Exit code: 0 when every frame is within the thresholds, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/../.."
frames=48 fps=60 out=build-windows/compare sheet="" linux_build=build arch=x86_64
while [ $# -gt 0 ]; do
  case $1 in
    --frames) frames=$2; shift 2 ;;
    --fps) fps=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --sheet) sheet=$2; shift 2 ;;
    --linux-build) linux_build=$2; shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    *) echo "compare: unknown argument '$1'" >&2; exit 2 ;;
  esac
done

# The builds, each brought up to date (quick when it is), and the data.
case $arch in
  x86_64 | i686) ;;
  *) echo "compare: --arch is x86_64 or i686, not '$arch'" >&2; exit 2 ;;
esac
bash tools/windows/build.sh "$arch" >/dev/null
# shellcheck source=tools/native_data.sh
source tools/native_data.sh
native_data "$linux_build" . framedump >/dev/null

# N times spread evenly over the scenes (start ms, end ms), the same number in each.
times=$(/usr/bin/python3 - "$frames" <<'PY'
import sys
scenes = [(0, 12000), (12000, 24000), (24000, 36000), (36000, 42000), (42000, 52000), (52000, 64000)]
n = int(sys.argv[1])
times = []
for i, (start, end) in enumerate(scenes):
    count = n // len(scenes) + (1 if i < n % len(scenes) else 0)
    times += [start + (end - start) * (2 * k + 1) // (2 * count) for k in range(count)]
print(",".join(str(t) for t in sorted(times)))
PY
)
rm -rf "$out"
mkdir -p "$out"
echo "compare: $frames frames at $fps frames a second: $times"

source tools/windows/wine_env.sh
ensure_wine_prefix
wine=$wine64
if [ "$arch" = i686 ]; then
  wine=$(command -v wine || echo /usr/lib/wine/wine)
fi
# The two builds draw at the same time, each mostly on one core.
started=$(date +%s)
SDL_VIDEODRIVER=offscreen "$linux_build/tools/framedump/framedump" --times "$times" --fps "$fps" \
    --out "$out/ours" >"$out/ours.log" 2>&1 &
ours=$!
xvfb-run -a -s "-screen 0 1280x1024x24" "$wine" "build-windows/$arch/tools/framedump/framedump.exe" \
    --times "$times" --fps "$fps" --out "$out/wine" >"$out/wine.log" 2>&1 || {
  echo "compare: the Windows build's framedump failed:"; grep -v "^ALSA lib\|XGetInputFocus" "$out/wine.log" | tail -n 20
  show_last_log "$out/wine"
  kill "$ours" 2>/dev/null || true
  exit 1
}
wait "$ours" || { echo "compare: the Linux build's framedump failed:"; tail -n 20 "$out/ours.log"; exit 1; }
echo "compare: both builds drew their frames in $(($(date +%s) - started)) s"

set +e
/usr/bin/python3 tools/windows/compare_frames.py "$out/wine" "$out/ours" "$out" ${sheet:+--sheet "$sheet"}
status=$?
set -e
echo "compare: the report is $out/report.md"
exit $status
