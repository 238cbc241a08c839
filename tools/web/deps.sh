#!/usr/bin/env bash
# Builds the third-party libraries for the web port with Debian's emscripten: zlib, libpng,
# libjpeg-turbo and libopenmpt, static, from Debian's source packages (the same recipes as the
# Windows build, tools/ports/recipes.sh).
# Usage: tools/web/deps.sh --prefix DIR [--sources DIR]
#   --prefix   where headers, libraries and pkg-config files go (DIR/lib/pkgconfig/*.pc)
#   --sources  where the Debian source packages are kept; DIR/../sources by default
# A second run rebuilds only what changed; each build logs to DIR/build/NAME.log.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "web deps: $*" >&2; exit 1; }

prefix="" sources=""
while [ $# -gt 0 ]; do
  case $1 in
    --prefix | --sources) [ $# -ge 2 ] || fail "$1 needs a value" ;;&
    --prefix) prefix=$2; shift 2 ;;
    --sources) sources=$2; shift 2 ;;
    *) fail "unknown argument '$1' (usage: deps.sh --prefix DIR [--sources DIR])" ;;
  esac
done
[ -n "$prefix" ] || fail "--prefix DIR is required"
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
[ -n "$sources" ] || sources=$(dirname "$prefix")/sources
mkdir -p "$sources"
sources=$(cd "$sources" && pwd)

for tool in emcc em++ emar emranlib cmake ninja make pkg-config dpkg-source; do
  command -v "$tool" > /dev/null || fail "$tool is missing: run tools/setup.sh"
done
# shellcheck source=SCRIPTDIR/env.sh
source "$here/env.sh"

export PORT_PREFIX=$prefix PORT_SOURCES=$sources PORT_CMAKE_TOOLCHAIN=$web_toolchain
export PORT_HOST=wasm32-unknown-emscripten
export PORT_CC=emcc PORT_CXX=em++ PORT_AR=emar PORT_RANLIB=emranlib
export PORT_CFLAGS="$web_cflags" PORT_CXXFLAGS="$web_cflags"
PORT_JOBS=$(nproc)
export PORT_JOBS
# Nothing from the build machine's pkg-config directories may leak into a web build.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=""

# shellcheck source=SCRIPTDIR/../ports/recipes.sh
source "$here/../ports/recipes.sh"

# zlib's CMake build cannot target emscripten: its shared library becomes a static one there, of
# the same name as the static one. The library is compiled directly instead: its C files, with
# the zconf.h of its source, and a zlib.pc of our own.
recipe_zlib_web() {
  local src=$1 c version
  for c in "$src"/*.c; do
    "$PORT_CC" $PORT_CFLAGS -DHAVE_UNISTD_H -DHAVE_STDARG_H -I "$src" -c "$c" -o "$(basename "$c" .c).o"
  done
  rm -f libz.a
  "$PORT_AR" rcs libz.a ./*.o
  version=$(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' "$src/zlib.h")
  printf '%s\n' "prefix=$PORT_PREFIX" 'libdir=${prefix}/lib' 'includedir=${prefix}/include' '' \
    'Name: zlib' 'Description: zlib compression library' "Version: $version" \
    'Libs: -L${libdir} -lz' 'Cflags: -I${includedir}' > zlib.pc
  install_files include "$src/zlib.h" "$src/zconf.h"
  install_files lib libz.a
  install_files lib/pkgconfig zlib.pc
}

started=$SECONDS
port_build zlib-web zlib
port_build libpng libpng1.6 zlib-web
port_build libjpeg-turbo libjpeg-turbo
# libopenmpt's autotools are older than emscripten's name in config.sub: to them the
# host is a bare wasm32 system, and emcc knows the rest.
PORT_HOST=wasm32-unknown-none port_build libopenmpt libopenmpt zlib-web
echo "web deps: libraries in $prefix ($((SECONDS - started)) s)"
