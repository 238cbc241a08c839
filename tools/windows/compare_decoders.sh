#!/usr/bin/env bash
# Sets the D3DX picture decoders of the two builds side by side: image_check run
# natively and under Wine on the same folder of pictures (compare_images.py).
# Usage: bash tools/windows/compare_decoders.sh PICTURES_DIR LINUX_IMAGE_CHECK OUT_DIR
set -euo pipefail
pictures=$(cd "$1" && pwd) linux_check=$2 out=$3
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
