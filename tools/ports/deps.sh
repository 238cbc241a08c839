#!/usr/bin/env bash
# Builds the third-party libraries a port links, static, from Debian's source packages, with the
# recipes of tools/ports/recipes.sh: zlib, libpng, libjpeg-turbo and libopenmpt for every target,
# and SDL2 for the Linux release (whose libraries travel inside the program).
# Usage: tools/ports/deps.sh TARGET [--prefix DIR] [--sources DIR]
#   TARGET     windows-x86_64, windows-i686 (mingw-w64), web (emscripten) or linux-x86_64
#   --prefix   where headers, libraries and pkg-config files go (DIR/lib/pkgconfig/*.pc);
#              by default the machine's cache, $(bash tools/ports/deps.sh TARGET --print-prefix)
#   --sources  where the Debian source packages are kept; by default the cache's sources/,
#              shared by every target
#   --print-prefix  only print the default prefix of TARGET
#
# The cache lives outside any clone, so that every clone and every CI run on the machine reuses
# the libraries: ${DEMO_PORTS_CACHE:-${XDG_CACHE_HOME:-~/.cache}/velmor-demo/ports}. Each library
# is rebuilt when what it was built from changes (the Debian package's version, the compiler and its
# flags, the toolchain, the recipe's text, the libraries it is built against), or when one of the
# files it installed is missing or no longer what it installed (see port_build). Builds of the same
# target wait for each other. Each build logs to PREFIX/build/NAME.log.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
fail() { echo "deps: $*" >&2; exit 1; }
usage="usage: deps.sh windows-x86_64|windows-i686|web|linux-x86_64 [--prefix DIR] [--sources DIR] [--print-prefix]"

target=${1:-}
[ $# -gt 0 ] && shift
case $target in
  windows-x86_64 | windows-i686 | web | linux-x86_64) ;;
  *) fail "$usage" ;;
esac
cache=${DEMO_PORTS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmor-demo/ports}
prefix=$cache/$target sources=$cache/sources
while [ $# -gt 0 ]; do
  case $1 in
    --prefix | --sources) [ $# -ge 2 ] || fail "$1 needs a value" ;;&
    --prefix) prefix=$2; shift 2 ;;
    --sources) sources=$2; shift 2 ;;
    --print-prefix) echo "$prefix"; exit 0 ;;
    *) fail "unknown argument '$1' ($usage)" ;;
  esac
done
mkdir -p "$prefix" "$sources"
prefix=$(cd "$prefix" && pwd)
sources=$(cd "$sources" && pwd)

need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" > /dev/null || fail "$tool is missing: run tools/setup.sh"
  done
}
need cmake ninja make pkg-config dpkg-source sha256sum flock

export PORT_PREFIX=$prefix PORT_SOURCES=$sources
export PORT_CFLAGS="-O2 -DNDEBUG" PORT_CXXFLAGS="-O2 -DNDEBUG"
PORT_JOBS=$(nproc)
export PORT_JOBS
# Nothing from the build machine's pkg-config directories may leak into these builds.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=""

case $target in
  windows-*)
    arch=${target#windows-}
    triplet=$arch-w64-mingw32
    # The -posix compilers: their C++ runtime has std::thread (over winpthreads).
    need "$triplet-gcc-posix" "$triplet-g++-posix" "$triplet-ar" "$triplet-ranlib"
    # The program's own toolchain file, which finds libraries in this prefix and the mingw-w64
    # system root only.
    export PORT_CMAKE_TOOLCHAIN=$repo/platform/windows/toolchain-$arch.cmake DEMO_WINDOWS_DEPS=$prefix
    export PORT_HOST=$triplet PORT_CC=$triplet-gcc-posix PORT_CXX=$triplet-g++-posix
    export PORT_AR=$triplet-ar PORT_RANLIB=$triplet-ranlib
    ;;
  web)
    need emcc em++ emar emranlib
    # shellcheck source=SCRIPTDIR/../web/env.sh
    source "$repo/tools/web/env.sh"
    export PORT_CMAKE_TOOLCHAIN=$web_toolchain
    export PORT_HOST=wasm32-unknown-emscripten PORT_CC=emcc PORT_CXX=em++
    export PORT_AR=emar PORT_RANLIB=emranlib
    export PORT_CFLAGS="$web_cflags" PORT_CXXFLAGS="$web_cflags"
    ;;
  linux-x86_64)
    need gcc g++ ar ranlib
    export PORT_CMAKE_TOOLCHAIN=$here/toolchain-linux.cmake
    export PORT_HOST=x86_64-linux-gnu PORT_CC=gcc PORT_CXX=g++ PORT_AR=ar PORT_RANLIB=ranlib
    # Position-independent, so that the program can be a position-independent executable. The
    # libraries' assertion texts name their source files: with the cache's paths mapped out, the
    # release carries no path of the machine that built it.
    flags="-O2 -DNDEBUG -fPIC -ffile-prefix-map=$sources/= -ffile-prefix-map=$prefix/="
    export PORT_CFLAGS=$flags PORT_CXXFLAGS=$flags
    ;;
esac

# shellcheck source=SCRIPTDIR/recipes.sh
source "$here/recipes.sh"

exec 8> "$prefix/.lock"
if ! flock -n 8; then
  echo "deps: waiting for another build of $target ($prefix)"
  flock 8
fi

started=$SECONDS
case $target in
  web)
    port_build zlib-direct zlib
    port_build libpng libpng1.6 zlib-direct
    port_build libjpeg-turbo libjpeg-turbo
    # libopenmpt's autotools are older than emscripten's name in config.sub: to them the
    # host is a bare wasm32 system, and emcc knows the rest.
    PORT_HOST=wasm32-unknown-none port_build libopenmpt libopenmpt zlib-direct
    ;;
  linux-x86_64)
    port_build zlib-direct zlib
    port_build libpng libpng1.6 zlib-direct
    port_build libjpeg-turbo libjpeg-turbo
    port_build libopenmpt libopenmpt zlib-direct
    port_build sdl2 libsdl2
    ;;
  windows-*)
    port_build zlib zlib
    port_build libpng libpng1.6 zlib
    port_build libjpeg-turbo libjpeg-turbo
    port_build libopenmpt libopenmpt zlib
    ;;
esac
echo "deps: $target libraries in $prefix ($((SECONDS - started)) s)"
