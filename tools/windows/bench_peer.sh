#!/usr/bin/env bash
# Frames a second of each effect on both builds in one run: effect_fps natively
# (our Direct3D 8 over OpenGL) and under Wine (Wine's Direct3D 8 over the same
# Mesa), both unpaced (Mesa's vblank_mode=0 for Wine's GLX), one after the
# other, then bench's figures of our build (frames finished with glFinish, and
# the bare-GL ceiling of the same frames), and prints one table of all of them.
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
# shellcheck source=tools/native_data.sh
source tools/native_data.sh
native_data "$linux_build" . effect_fps bench >/dev/null
source tools/windows/wine_env.sh
ensure_wine_prefix

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
echo "bench_peer: ours ($runs runs of each effect)..." >&2
SDL_VIDEODRIVER=offscreen "$linux_build/tools/bench/effect_fps" --runs "$runs" >"$out/ours.txt"
echo "bench_peer: Wine's..." >&2
vblank_mode=0 xvfb-run -a -s "-screen 0 1280x1024x24" "$wine64" build-windows/x86_64/tools/bench/effect_fps.exe \
    --runs "$runs" 2>"$out/wine.log" | tr -d '\r' >"$out/wine.txt" || { tail "$out/wine.log"; exit 1; }
echo "bench_peer: ours finished with glFinish, and the bare-GL ceiling..." >&2
SDL_VIDEODRIVER=offscreen "$linux_build/tools/bench/bench" --runs "$runs" --json "$out/bench.json" >/dev/null

/usr/bin/python3 - "$out/ours.txt" "$out/wine.txt" "$out/bench.json" "$runs" <<'PY'
import json, sys
def read(path):
    with open(path) as f:
        return [line.rstrip("\n").split("\t") for line in f if "\t" in line]
ours, wine = read(sys.argv[1]), dict(read(sys.argv[2]))
with open(sys.argv[3]) as f:
    bench = {e["name"]: e for e in json.load(f)["effects"]}
print("| effect | read back: ours | Wine | ours / Wine | glFinish: ours | ceiling | ours / ceiling |"
      " engine CPU (us/frame) |")
print("|---|---|---|---|---|---|---|---|")
for name, fps in ours:
    theirs, b = float(wine[name]), bench[name]
    print("| %s | %.1f | %.1f | %.2f | %.1f | %.1f | %.2f | %.1f |"
          % (name, float(fps), theirs, float(fps) / theirs, b["gl_fps"], b["ceiling_fps"], b["ratio"],
             b["cpu_us_per_frame"]))
print("\nmedians of %s runs; 640x480, the first 6 s of each effect at 60 fps" % sys.argv[4])
PY
