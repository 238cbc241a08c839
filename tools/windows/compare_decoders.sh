#!/usr/bin/env bash
# Sets the D3DX picture decoders of the two builds side by side: image_check run
# natively and under Wine on the real-world pictures (compare_images.py).
# Usage: bash tools/windows/compare_decoders.sh FIXTURES_DIR LINUX_IMAGE_CHECK OUT_DIR
#   FIXTURES_DIR  the real-world test files, whose images/ are read; DEMO_FIXTURES_DIR
#                 in the environment wins, as in the unit tests. Without them the
#                 comparison is skipped (exit 77), or fails under CI.
set -euo pipefail
fixtures=${DEMO_FIXTURES_DIR:-$1} linux_check=$2 out=$3
if [ ! -d "$fixtures" ]; then
  reason="no real-world test files in $(realpath -ms -- "$fixtures") (set DEMO_FIXTURES_DIR to the folder that holds them)"
  case ${CI:-} in
    "" | false | 0) echo "skipped: $reason"; exit 77 ;;
    *) echo "under CI every test must run: $reason" >&2; exit 1 ;;
  esac
fi
pictures=$(cd "$fixtures/images" && pwd)
cd "$(dirname "$0")/../.."
bash tools/windows/build.sh x86_64 >/dev/null
source tools/windows/wine_env.sh
ensure_wine_prefix
rm -rf "$out"
mkdir -p "$out"
"$linux_check" "$pictures" "$out/linux" >"$out/linux.txt"
"$wine64" build-windows/x86_64/tools/windows/image_check.exe "$pictures" "$out/windows" \
    >"$out/windows.txt" 2>"$out/windows.log" || { cat "$out/windows.log"; exit 1; }
tr -d '\r' <"$out/windows.txt" >"$out/windows.lf.txt"
/usr/bin/python3 tools/windows/compare_images.py "$out/linux.txt" "$out/linux" "$out/windows.lf.txt" "$out/windows"
