#!/usr/bin/env bash
# Cross-builds the third-party libraries for Windows with Debian's mingw-w64 compilers: zlib,
# libpng, libjpeg-turbo and libopenmpt, static, from Debian's source packages.
# Usage: tools/windows/deps.sh --arch x86_64|i686 --prefix DIR [--sources DIR] [--check]
#   --prefix   where headers, libraries and pkg-config files go (DIR/lib/pkgconfig/*.pc), with
#              DIR/toolchain.cmake, the CMake toolchain for programs that link them
#   --sources  where the Debian source packages are kept; DIR/../sources by default, so both
#              architectures share one download
#   --check    then build tools/windows/deps_check.cpp against them and, for x86_64, run it under
#              Wine and compare what it decodes with the same program built natively
# A second run rebuilds only what changed (see tools/ports/recipes.sh); each build logs to
# DIR/build/NAME.log.
#
# Programs link the libraries with the C++ compiler, statically:
#   PKG_CONFIG_LIBDIR=DIR/lib/pkgconfig pkg-config --static --cflags --libs libopenmpt libpng libjpeg
# plus -static: with only -static-libgcc -static-libstdc++ the program still needs
# libwinpthread-1.dll, on which the -posix C++ runtime is built. In CMake, with
# -DCMAKE_TOOLCHAIN_FILE=DIR/toolchain.cmake, pkg_check_modules(... IMPORTED_TARGET ...) needs
# -DPKG_CONFIG_ARGN=--static: its imported targets otherwise leave out the private libraries.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "deps: $*" >&2; exit 1; }

arch="" prefix="" sources="" check=0
while [ $# -gt 0 ]; do
  case $1 in
    --arch | --prefix | --sources) [ $# -ge 2 ] || fail "$1 needs a value" ;;&
    --arch) arch=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --sources) sources=$2; shift 2 ;;
    --check) check=1; shift ;;
    *) fail "unknown argument '$1' (usage: deps.sh --arch x86_64|i686 --prefix DIR [--sources DIR] [--check])" ;;
  esac
done
case $arch in
  x86_64 | i686) ;;
  *) fail "--arch must be x86_64 or i686" ;;
esac
[ -n "$prefix" ] || fail "--prefix DIR is required"
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
[ -n "$sources" ] || sources=$(dirname "$prefix")/sources
mkdir -p "$sources"
sources=$(cd "$sources" && pwd)

triplet=$arch-w64-mingw32
# The -posix compilers: their C++ runtime has std::thread (over winpthreads).
for tool in "$triplet-gcc-posix" "$triplet-g++-posix" "$triplet-ar" "$triplet-ranlib" \
            cmake ninja make pkg-config dpkg-source; do
  command -v "$tool" > /dev/null || fail "$tool is missing: run tools/setup.sh"
done

# The toolchain for the CMake builds here, and for the programs that link these libraries: it
# looks for libraries in the mingw-w64 system root and in this prefix only (the prefix must be a
# find root, or pkg_check_modules cannot turn -L and -l into the paths of the libraries).
# Rewritten only when it changes, since the stamps record it.
write_toolchain() {
  cat <<EOF
# Written by tools/windows/deps.sh: Debian's mingw-w64 compilers for $arch Windows, and the
# libraries in $prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $arch)
set(CMAKE_C_COMPILER $triplet-gcc-posix)
set(CMAKE_CXX_COMPILER $triplet-g++-posix)
set(CMAKE_RC_COMPILER $triplet-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triplet "$prefix")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}
toolchain=$prefix/toolchain.cmake
if ! cmp -s <(write_toolchain) "$toolchain" 2> /dev/null; then
  write_toolchain > "$toolchain"
fi

export PORT_PREFIX=$prefix PORT_SOURCES=$sources PORT_CMAKE_TOOLCHAIN=$toolchain
export PORT_HOST=$triplet
export PORT_CC=$triplet-gcc-posix PORT_CXX=$triplet-g++-posix
export PORT_AR=$triplet-ar PORT_RANLIB=$triplet-ranlib
export PORT_CFLAGS="-O2 -DNDEBUG" PORT_CXXFLAGS="-O2 -DNDEBUG"
PORT_JOBS=$(nproc)
export PORT_JOBS
# Nothing from the build machine's pkg-config directories may leak into a Windows build.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=""

# shellcheck source=SCRIPTDIR/../ports/recipes.sh
source "$here/../ports/recipes.sh"

started=$SECONDS
port_build zlib zlib
port_build libpng libpng1.6 zlib
port_build libjpeg-turbo libjpeg-turbo
port_build libopenmpt libopenmpt zlib
echo "deps: $arch libraries in $prefix ($((SECONDS - started)) s)"

if [ "$check" -eq 1 ]; then
  bash "$here/deps_check.sh" --arch "$arch" --prefix "$prefix"
fi
