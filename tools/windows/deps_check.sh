#!/usr/bin/env bash
# Checks the Windows libraries tools/ports/deps.sh built by using them. Builds deps_check.cpp against
# them as a program links them (pkg-config --static, static C and C++ runtimes); for x86_64 runs it
# under Wine on the real-world pictures and module in the fixtures folder and compares its output
# with the same program built natively against the system's libraries, which are the same upstream
# versions, so the pixels and samples must be the same. There is no 32-bit Wine here: for i686 the
# program is only linked.
# Usage: tools/windows/deps_check.sh --arch x86_64|i686 [--prefix DIR]
#   --prefix  where the libraries are; the machine's cache of tools/ports/deps.sh by default
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
fixtures=${DEMO_FIXTURES_DIR:-$repo/../shared/fixtures}
fail() { echo "deps_check: $*" >&2; exit 1; }

arch="" prefix=""
while [ $# -gt 0 ]; do
  case $1 in
    --arch | --prefix) [ $# -ge 2 ] || fail "$1 needs a value" ;;&
    --arch) arch=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    *) fail "unknown argument '$1' (usage: deps_check.sh --arch x86_64|i686 --prefix DIR)" ;;
  esac
done
case $arch in
  x86_64 | i686) ;;
  *) fail "--arch must be x86_64 or i686" ;;
esac
[ -n "$prefix" ] || prefix=$(bash "$repo/tools/ports/deps.sh" "windows-$arch" --print-prefix)
[ -f "$prefix/lib/pkgconfig/libopenmpt.pc" ] ||
  fail "no libraries in '$prefix': run tools/ports/deps.sh windows-$arch first"
prefix=$(cd "$prefix" && pwd)
work=$prefix/build/check
mkdir -p "$work"

packages=(libjpeg libpng libopenmpt zlib)
flags=(-std=c++17 -O2 -Wall -Wextra -Werror)

exe=$work/deps_check.exe
# -static: -static-libgcc -static-libstdc++ alone would leave the program needing
# libwinpthread-1.dll, which the -posix C++ runtime is built on.
# shellcheck disable=SC2046 # pkg-config's output is a list of arguments
"$arch-w64-mingw32-g++-posix" "${flags[@]}" "$here/deps_check.cpp" -o "$exe" \
  $(PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH="" pkg-config --static --cflags --libs "${packages[@]}") \
  -static
echo "deps_check: $arch program links; it loads $("$arch-w64-mingw32-objdump" -p "$exe" |
  sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')"
[ "$arch" = x86_64 ] || exit 0

shopt -s nullglob
files=("$fixtures"/images/jpeg/*.jpg "$fixtures"/ms3d/*.jpg "$fixtures"/images/png/*.png "$fixtures"/xm/*)
shopt -u nullglob
[ ${#files[@]} -gt 0 ] || fail "no fixtures in $fixtures"

native=$work/deps_check-native
# shellcheck disable=SC2046
g++ "${flags[@]}" "$here/deps_check.cpp" -o "$native" \
  $(env -u PKG_CONFIG_LIBDIR -u PKG_CONFIG_PATH pkg-config --cflags --libs "${packages[@]}")
"$native" "${files[@]}" > "$work/native.txt"

# A private Wine prefix, made on the first run; without Mono and Gecko, which nothing here needs.
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot --init > "$work/wineboot.log" 2>&1 ||
    fail "cannot make a Wine prefix; see $work/wineboot.log"
fi
/usr/lib/wine/wine64 "$exe" "${files[@]}" | tr -d '\r' > "$work/wine.txt" ||
  fail "the program failed under Wine; its output: $work/wine.txt"

for kind in jpeg png module; do
  grep -q "^$kind .* crc32=" "$work/native.txt" || fail "no $kind was decoded; see $work/native.txt"
done
if ! diff -u "$work/native.txt" "$work/wine.txt" > "$work/differences.txt"; then
  cat "$work/differences.txt" >&2
  fail "the Windows build decodes differently from the system's libraries"
fi
echo "deps_check: under Wine, the same output as natively for ${#files[@]} files:"
sed 's/^/  /' "$work/wine.txt"
