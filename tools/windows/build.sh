#!/usr/bin/env bash
# Builds the Windows programs (demo.exe, framedump.exe, bench.exe) with mingw-w64
# against the real Win32 and Direct3D 8, after cross-building the libraries they
# need from Debian's source packages (tools/ports/deps.sh, into the machine's cache
# outside the clone, where every clone finds them).
# Usage: bash tools/windows/build.sh [x86_64|i686 [TARGET...]]
#   (default x86_64 and every program; from anywhere). The programs go to build-windows/ARCH/.
set -euo pipefail
cd "$(dirname "$0")/../.."
arch=${1:-x86_64}
[ $# -gt 0 ] && shift
targets=("$@")
case $arch in
  x86_64 | i686) ;;
  *) echo "build: the architecture is x86_64 or i686, not '$arch'" >&2; exit 2 ;;
esac
root=$PWD/build-windows

toolchain=$PWD/cmake/toolchains/windows-$arch.cmake

bash tools/ports/deps.sh "windows-$arch"
# shellcheck source=../../cmake/toolchains/forget_moved.sh
source cmake/toolchains/forget_moved.sh
forget_tree_of_moved_toolchain "$root/$arch" "$toolchain"
cmake -S . -B "$root/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DDEMO_WINDOWS_DEPS="$(bash tools/ports/deps.sh "windows-$arch" --print-prefix)" >/dev/null
cmake --build "$root/$arch" -j"$(nproc)" ${targets[@]+--target "${targets[@]}"}
echo "build: the Windows programs are in $root/$arch (Demo/demo.exe, tools/*/*.exe)"
