# shellcheck shell=bash
# Recipes for the third-party libraries the program links: zlib, libpng, libjpeg-turbo and
# libopenmpt, each built from its Debian source package as a static library with its headers and
# pkg-config file. Sourced by a platform's deps script, which first describes its toolchain:
#   PORT_PREFIX          where headers, libraries and .pc files are installed
#   PORT_SOURCES         where Debian source packages are kept (may be shared between toolchains)
#   PORT_CMAKE_TOOLCHAIN a CMake toolchain file, for the libraries built with CMake
#   PORT_TOOLCHAIN_FILES (an array) that file and the ones it includes, for the stamps
#   PORT_HOST            the GNU host triplet, for the one built with autotools
#   PORT_CC PORT_CXX PORT_AR PORT_RANLIB   compilers and archiver, for autotools
#   PORT_CFLAGS PORT_CXXFLAGS              compiler flags (optimisation; no debug information)
#   PORT_JOBS            parallel build jobs
# The recipes themselves know nothing of the platform.
#
# Build trees, logs and stamps live in PORT_PREFIX/build. A library is rebuilt when its stamp
# differs: the stamp records the package version, the compiler, the flags, the toolchain files, a
# digest of the recipe's code and the stamps of the libraries it is built against. It is also
# rebuilt when a file it installed is gone or changed: NAME.files lists them with their digests.

ports_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# port_build NAME DEBIAN_SOURCE [NAMES_BUILT_AGAINST...]
port_build() {
  local name=$1 package=$2
  shift 2
  local work=$PORT_PREFIX/build
  local tree stamp=$work/$name.stamp log=$work/$name.log recipe=recipe_${name//-/_}
  mkdir -p "$work"
  tree=$(bash "$ports_dir/debian_source.sh" "$package" "$PORT_SOURCES") || exit 1

  local wanted
  wanted=$(port_stamp "$recipe" "$tree" "$@")
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then
    if installed_files_intact "$work/$name.files"; then
      echo "$name: up to date ($(basename "$tree"))"
      return 0
    fi
    echo "$name: a file it installed is missing or changed"
  fi

  echo "$name: building $(basename "$tree") (log: $log)"
  rm -f "$stamp"
  rm -rf "${work:?}/$name"
  mkdir -p "$work/$name"
  local started=$SECONDS status
  prefix_digests > "$work/$name.before"
  set +e
  (set -e; cd "$work/$name" && "$recipe" "$tree") > "$log" 2>&1
  status=$?
  set -e
  if [ "$status" -ne 0 ]; then
    echo "----- last lines of $log" >&2
    tail -n 30 "$log" >&2
    echo "-----" >&2
    echo "$name: build failed; full log: $log" >&2
    exit 1
  fi
  # What the recipe installed or replaced: the lines that were not there before.
  prefix_digests | grep -vxF -f "$work/$name.before" > "$work/$name.files" || true
  rm -f "$work/$name.before"
  printf '%s\n' "$wanted" > "$stamp"
  echo "$name: built in $((SECONDS - started)) s"
}

# The digests of every file installed in the prefix (not the build trees), as sha256sum prints them.
prefix_digests() {
  (cd "$PORT_PREFIX" && find . -path ./build -prune -o -type f ! -name .lock -print0 |
     LC_ALL=C sort -z | xargs -0 -r sha256sum)
}

installed_files_intact() {
  [ -s "$1" ] && (cd "$PORT_PREFIX" && sha256sum --check --quiet --status "$1")
}

port_stamp() {
  local recipe=$1 tree=$2 dep
  shift 2
  echo "source $(basename "$tree")"
  # (A compiler that writes more after head has gone, as emcc does, complains of the closed pipe.)
  echo "cc $("$PORT_CC" --version 2> /dev/null | head -n1)"
  echo "cxx $("$PORT_CXX" --version 2> /dev/null | head -n1)"
  echo "host $PORT_HOST"
  echo "cflags $PORT_CFLAGS"
  echo "cxxflags $PORT_CXXFLAGS"
  echo "toolchain $(cat "${PORT_TOOLCHAIN_FILES[@]}" | sha256sum | cut -c1-16)"
  echo "recipe $( (declare -f "$recipe" cmake_configure cmake_build install_files remove_empty_dirs) | sha256sum | cut -c1-16)"
  for dep in "$@"; do
    echo "built-against $dep $(sha256sum < "$PORT_PREFIX/build/$dep.stamp" | cut -c1-16)"
  done
}

# Configures the CMake project in $1 into the current directory, Release with our flags.
# The install directories are typed: as untyped paths, libjpeg-turbo's CMake makes them absolute
# under the build tree, and its libjpeg.pc would point there.
cmake_configure() {
  local src=$1
  shift
  cmake -S "$src" -B . -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PORT_CMAKE_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="$PORT_CFLAGS" \
    -DCMAKE_CXX_FLAGS_RELEASE="$PORT_CXXFLAGS" \
    -DCMAKE_INSTALL_PREFIX="$PORT_PREFIX" \
    -DCMAKE_INSTALL_LIBDIR:PATH=lib \
    -DCMAKE_INSTALL_INCLUDEDIR:PATH=include \
    "$@"
}

cmake_build() { cmake --build . -j "$PORT_JOBS" "$@"; }

# install_files DIR FILE... : copies the files into DIR under the prefix.
install_files() {
  local dir=$PORT_PREFIX/$1
  shift
  mkdir -p "$dir"
  cp -f "$@" "$dir/"
}

# remove_empty_dirs DIR... : removes those directories under the prefix that are empty.
remove_empty_dirs() {
  local dir
  for dir in "$@"; do
    [ ! -d "$PORT_PREFIX/$dir" ] || rmdir --ignore-fail-on-non-empty "$PORT_PREFIX/$dir"
  done
}

recipe_zlib() {
  # zlib's CMake build renames zconf.h in its source tree, so it works on a copy and the unpacked
  # package stays as it is for every other build.
  cp -a "$1" source
  cmake_configure source
  # Only the static library: the DLL and the test programs are not wanted.
  cmake_build --target zlibstatic
  # The target is named libzlibstatic.a on Windows, libz.a elsewhere; zlib.pc links -lz.
  local lib
  lib=$(find . -maxdepth 1 -name 'lib*.a')
  install_files include source/zlib.h zconf.h
  install_files lib/pkgconfig zlib.pc
  cp -f "$lib" "$PORT_PREFIX/lib/libz.a"
}

recipe_libpng() {
  # No hardware-specific row filters: the plain C ones give the same pixels and build for every
  # target. zlib is the one in the prefix, named outright so that no other copy is found.
  cmake_configure "$1" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DPNG_HARDWARE_OPTIMIZATIONS=OFF \
    -DZLIB_LIBRARY="$PORT_PREFIX/lib/libz.a" -DZLIB_INCLUDE_DIR="$PORT_PREFIX/include" \
    -DSKIP_INSTALL_EXECUTABLES=ON -DSKIP_INSTALL_EXPORT=ON
  cmake_build
  cmake --install .
  # libpng-config and the manual pages describe a native installation; nothing here uses them.
  rm -rf "$PORT_PREFIX/bin/libpng"*-config "$PORT_PREFIX/share/man"
  remove_empty_dirs bin share
}

recipe_libjpeg_turbo() {
  # Without the SIMD extensions, so no assembler is needed and every target builds the same code.
  # For the default integer DCT the SIMD and C paths give the same pixels; textures are decoded
  # once, at load time, where the speed does not matter.
  # The libjpeg v6b interface (not v8), like Debian's libjpeg62-turbo.
  cmake_configure "$1" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF \
    -DWITH_JAVA=OFF -DWITH_ARITH_DEC=ON -DWITH_ARITH_ENC=ON
  # Only the library: its install rule would also want the command-line tools built.
  cmake_build --target jpeg-static
  install_files include "$1/jpeglib.h" "$1/jerror.h" "$1/jmorecfg.h" jconfig.h
  install_files lib libjpeg.a
  install_files lib/pkgconfig pkgscripts/libjpeg.pc
}

recipe_libopenmpt() {
  # Debian's source is upstream's autotools release, which knows mingw-w64 (it adds the Windows
  # libraries libopenmpt needs to libopenmpt.pc). Only the library, and of the optional
  # dependencies only zlib: tracker modules (XM, MOD, IT, S3M...) need no other.
  # The C++ runtime is not named in libopenmpt.pc: programs link with the C++ compiler, which
  # adds it (statically with -static-libstdc++).
  "$1/configure" --host="$PORT_HOST" --prefix="$PORT_PREFIX" --libdir="$PORT_PREFIX/lib" \
    --disable-shared --enable-static --disable-dependency-tracking \
    --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
    --with-zlib --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile \
    --without-pulseaudio --without-portaudio --without-portaudiocpp --without-sdl2 \
    --without-sndfile --without-flac \
    CC="$PORT_CC" CXX="$PORT_CXX" AR="$PORT_AR" RANLIB="$PORT_RANLIB" \
    CFLAGS="$PORT_CFLAGS" CXXFLAGS="$PORT_CXXFLAGS" \
    PKG_CONFIG=pkg-config PKG_CONFIG_LIBDIR="$PORT_PREFIX/lib/pkgconfig" PKG_CONFIG_PATH=
  make -j"$PORT_JOBS"
  make install
  # libtool's archive description and the documentation are not needed to link.
  rm -rf "$PORT_PREFIX/lib/libopenmpt.la" "$PORT_PREFIX/share/doc/libopenmpt"
  remove_empty_dirs share/doc share
}

# zlib's CMake build cannot target emscripten (its shared library becomes a static one there, of
# the same name as the static one), nor Linux from Debian's source (which lacks the Windows
# resource file its CMake list names on every system but mingw). The library is compiled directly
# instead: its C files, with the zconf.h of its source, and a zlib.pc of our own.
recipe_zlib_direct() {
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

recipe_sdl2() {
  # For a program that runs on any Linux desktop: static, with every window system and sound
  # server loaded at run time (X11, Wayland, KMS/DRM, ALSA, PulseAudio, PipeWire), so the program
  # needs none of their libraries to start and uses whichever the machine has. Left out: what the
  # demo never uses (joysticks over libusb, sound servers of the past, sample-rate conversion by
  # libsamplerate, the test library), and ccache.
  cmake_configure "$1" \
    -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_STATIC_PIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF \
    -DSDL_CCACHE=OFF -DSDL_RPATH=OFF \
    -DSDL_X11_SHARED=ON -DSDL_WAYLAND_SHARED=ON -DSDL_WAYLAND_LIBDECOR_SHARED=ON \
    -DSDL_KMSDRM_SHARED=ON -DSDL_ALSA_SHARED=ON -DSDL_PULSEAUDIO_SHARED=ON \
    -DSDL_PIPEWIRE_SHARED=ON \
    -DSDL_JACK=OFF -DSDL_ESD=OFF -DSDL_ARTS=OFF -DSDL_NAS=OFF -DSDL_SNDIO=OFF \
    -DSDL_LIBSAMPLERATE=OFF -DSDL_HIDAPI_LIBUSB=OFF -DSDL_DIRECTFB=OFF -DSDL_RPI=OFF \
    -DSDL_VIVANTE=OFF
  cmake_build
  cmake --install .
  # sdl2-config, the CMake package files and the aclocal macro are for other build systems.
  rm -rf "$PORT_PREFIX/bin/sdl2-config" "$PORT_PREFIX/lib/cmake/SDL2" "$PORT_PREFIX/share/aclocal"
  remove_empty_dirs bin lib/cmake share
}
