#!/usr/bin/env bash
# Frames a second of each effect on both builds in one run: effect_fps natively
# (our Direct3D 8 over OpenGL) and under Wine (Wine's Direct3D 8 over the same
# Mesa), both unpaced (Mesa's vblank_mode=0 for Wine's GLX), one after the
# other, and prints the table: ours, Wine's, and the ratio.
# Usage: bash tools/windows/bench_peer.sh [--runs N] [--linux-build DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=5 linux_build=build
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --linux-build) linux_build=$2; shift 2 ;;
    *) echo "bench_peer: unknown argument '$1'" >&2; exit 2 ;;
  esac
done

bash tools/windows/build.sh x86_64 >/dev/null
[ -f "$linux_build/build.ninja" ] || cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$linux_build" -j"$(nproc)" --target effect_fps datagen >/dev/null
"$linux_build/tools/datagen/datagen" --missing . >/dev/null
source tools/windows/wine_env.sh
ensure_wine_prefix

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
echo "bench_peer: ours ($runs runs of each effect)..." >&2
SDL_VIDEODRIVER=offscreen "$linux_build/tools/bench/effect_fps" --runs "$runs" >"$out/ours.txt"
echo "bench_peer: Wine's..." >&2
vblank_mode=0 xvfb-run -a -s "-screen 0 1280x1024x24" "$wine64" build-windows/x86_64/tools/bench/effect_fps.exe \
    --runs "$runs" 2>"$out/wine.log" | tr -d '\r' >"$out/wine.txt" || { tail "$out/wine.log"; exit 1; }

/usr/bin/python3 - "$out/ours.txt" "$out/wine.txt" "$runs" <<'PY'
import sys
def read(path):
    with open(path) as f:
        return [line.rstrip("\n").split("\t") for line in f if "\t" in line]
ours, wine = read(sys.argv[1]), dict(read(sys.argv[2]))
print("| effect | ours (fps) | Wine (fps) | ours / Wine |")
print("|---|---|---|---|")
for name, fps in ours:
    theirs = float(wine[name])
    print("| %s | %.1f | %.1f | %.2f |" % (name, float(fps), theirs, float(fps) / theirs))
print("\nmedians of %s runs; 640x480, the first 6 s of each effect at 60 fps, every frame read back" % sys.argv[3])
PY
