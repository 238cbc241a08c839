#!/usr/bin/env bash
# Builds the third-party libraries a port links, static, from Debian's source packages, with the
# recipes of tools/ports/recipes.sh: zlib, libpng, libjpeg-turbo and libopenmpt for every target,
# and SDL2 for the Linux release (whose libraries travel inside the program). linux-fuzz is zlib
# and libopenmpt alone, for the music fuzz target: built with clang, the fuzzer's coverage
# instrumentation and the sanitizers, so that the fuzzer is guided by the library's own code.
# Usage: tools/ports/deps.sh TARGET [--prefix DIR] [--sources DIR]
#   TARGET     windows-x86_64, windows-i686 (mingw-w64), web (emscripten), linux-x86_64 or
#              linux-fuzz
#   --prefix   where headers, libraries and pkg-config files go (DIR/lib/pkgconfig/*.pc);
#              by default the machine's cache, $(bash tools/ports/deps.sh TARGET --print-prefix)
#   --sources  where the Debian source packages are kept; by default the cache's sources/,
#              shared by every target
#   --print-prefix  only print the default prefix of TARGET
#
# The cache lives outside any clone, so that every clone and every CI run on the machine reuses
# the libraries: ${DEMO_PORTS_CACHE:-${XDG_CACHE_HOME:-~/.cache}/velmor-demo/ports}/TARGET-KEY,
# where KEY is a digest of the recipes, the target's toolchain files and its compiler's version:
# clones at different commits each find their own libraries instead of rebuilding each other's.
# Within it each library is rebuilt when what it was built from changes (the Debian package's
# version, the compiler and its flags, the toolchain, the recipe's text, the libraries it is built
# against), or when one of the files it installed is missing or no longer what it installed (see
# port_build). Builds of the same prefix wait for each other. Each build logs to
# PREFIX/build/NAME.log.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
fail() { echo "deps: $*" >&2; exit 1; }
usage="usage: deps.sh windows-x86_64|windows-i686|web|linux-x86_64|linux-fuzz [--prefix DIR] [--sources DIR] [--print-prefix]"

target=${1:-}
[ $# -gt 0 ] && shift
case $target in
  windows-x86_64 | windows-i686 | web | linux-x86_64 | linux-fuzz) ;;
  *) fail "$usage" ;;
esac
# The target's toolchain file and the ones it includes (each library's stamp names them), and
# the web's environment script, whose flags its libraries are compiled with.
toolchains=$repo/cmake/toolchains
case $target in
  windows-*)
    PORT_TOOLCHAIN_FILES=("$toolchains/$target.cmake" "$toolchains"/windows-mingw.cmake)
    setup_files=() compiler=${target#windows-}-w64-mingw32-g++-posix ;;
  web) PORT_TOOLCHAIN_FILES=("$toolchains"/web.cmake) setup_files=("$repo"/tools/web/env.sh) compiler=em++ ;;
  linux-x86_64) PORT_TOOLCHAIN_FILES=("$toolchains"/linux-x86_64.cmake) setup_files=() compiler=g++ ;;
  linux-fuzz) PORT_TOOLCHAIN_FILES=("$toolchains"/linux-fuzz.cmake) setup_files=() compiler=clang++ ;;
esac
# What the libraries are built from, beside the Debian packages (which the stamps name). Not
# this script's own text: the flags it sets are in each library's stamp, which rebuilds the
# library when they change, and a change to the rest of it should not rebuild them all.
# The compiler's whole answer is read before its first line is taken: cut off by a closed
# pipe, emcc may fail, and under pipefail that would end this script without a word.
cache_key() {
  local version
  version=$("$compiler" --version 2> /dev/null || true)
  { cat "$here"/recipes.sh "$here"/debian_source.sh "${PORT_TOOLCHAIN_FILES[@]}" \
        "${setup_files[@]}"
    echo "${version%%$'\n'*}"; } | sha256sum | cut -c1-12
}
cache=${DEMO_PORTS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmor-demo/ports}
prefix="" sources=$cache/sources print=0
while [ $# -gt 0 ]; do
  case $1 in
    --prefix | --sources) [ $# -ge 2 ] || fail "$1 needs a value" ;;&
    --prefix) prefix=$2; shift 2 ;;
    --sources) sources=$2; shift 2 ;;
    --print-prefix) print=1; shift ;;
    *) fail "unknown argument '$1' ($usage)" ;;
  esac
done
[ -n "$prefix" ] || prefix=$cache/$target-$(cache_key)
if [ "$print" = 1 ]; then
  echo "$prefix"
  exit 0
fi
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
# The libraries' own source paths (in their assertions' texts) are mapped out, so that the
# programs linking them are the same bytes whichever machine or user built them.
map_paths="-ffile-prefix-map=$sources/= -ffile-prefix-map=$prefix/="
export PORT_CFLAGS="-O2 -DNDEBUG $map_paths" PORT_CXXFLAGS="-O2 -DNDEBUG $map_paths"
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
    export PORT_CMAKE_TOOLCHAIN=${PORT_TOOLCHAIN_FILES[0]} DEMO_WINDOWS_DEPS=$prefix
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
    export PORT_CFLAGS="$web_cflags $map_paths" PORT_CXXFLAGS="$web_cflags $map_paths"
    ;;
  linux-x86_64)
    need gcc g++ ar ranlib
    export PORT_CMAKE_TOOLCHAIN=${PORT_TOOLCHAIN_FILES[0]}
    export PORT_HOST=x86_64-linux-gnu PORT_CC=gcc PORT_CXX=g++ PORT_AR=ar PORT_RANLIB=ranlib
    # Position-independent, so that the program can be a position-independent executable.
    export PORT_CFLAGS="$PORT_CFLAGS -fPIC" PORT_CXXFLAGS="$PORT_CXXFLAGS -fPIC"
    ;;
  linux-fuzz)
    need clang clang++ ar ranlib
    export PORT_CMAKE_TOOLCHAIN=${PORT_TOOLCHAIN_FILES[0]}
    export PORT_HOST=x86_64-linux-gnu PORT_CC=clang PORT_CXX=clang++
    export PORT_AR=ar PORT_RANLIB=ranlib
    # The fuzz tree's instrumentation and checks (see DEMO_FUZZ in CMakeLists.txt), at -O1: the
    # sanitizers' usual level, and a third quicker to compile than -O2. Line tables only, for
    # the reports' stacks. Assertions stay off, as in the library the program ships with: the
    # fuzzer is to find what that library does.
    fuzz_flags="-O1 -DNDEBUG -gline-tables-only -fPIC -fno-omit-frame-pointer $map_paths"
    fuzz_flags+=" -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
    export PORT_CFLAGS=$fuzz_flags PORT_CXXFLAGS=$fuzz_flags
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
  linux-fuzz)
    port_build zlib-direct zlib
    port_build libopenmpt libopenmpt zlib-direct
    ;;
  windows-*)
    port_build zlib zlib
    port_build libpng libpng1.6 zlib
    port_build libjpeg-turbo libjpeg-turbo
    port_build libopenmpt libopenmpt zlib
    ;;
esac
echo "deps: $target libraries in $prefix ($((SECONDS - started)) s)"

# The prefixes of this target that no build has used for a month are left from older commits.
touch "$prefix"
find "$cache" -mindepth 1 -maxdepth 1 -type d -name "$target-*" ! -path "$prefix" -mtime +30 \
  -exec rm -rf {} +
