#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the demo needs.
# Non-interactive and idempotent: packages already present are skipped.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config ninja-build
  # a compiler cache: a second build of the same sources (CI's next run) compiles little
  ccache
  libsdl2-dev libepoxy-dev libjpeg62-turbo-dev libpng-dev zlib1g-dev
  libopenmpt-dev libcairo2-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  # run: software OpenGL (EGL for headless, GLX under X)
  libgl1-mesa-dri libegl1 libegl-mesa0 libgl1 libglx-mesa0
  # capture to video: H.264 and AAC encoding, and ffprobe for its tests
  ffmpeg
  # tests: a virtual X server, key presses, screenshots
  xvfb xauth xdotool x11-apps python3
  # the core X fonts, without which SDL cannot show a message box under Xvfb
  xfonts-base
  # fuzzing (tools/fuzz): clang with libFuzzer and the sanitizer runtimes, and
  # llvm-symbolizer for readable stack traces in its reports
  clang libclang-rt-14-dev llvm
  # the Windows build (tools/windows/deps.sh): mingw-w64 cross compilers with POSIX threads,
  # dpkg-source to unpack Debian source packages, and 64-bit Wine for its check
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-x86-64-dev mingw-w64-i686-dev
  dpkg-dev wine wine64
  # comparing the Windows build's frames with ours (Debian's python3, /usr/bin/python3)
  python3-numpy python3-pil
  # the release (tools/release.sh): unpacking its archives to check them
  unzip
  # the Linux release's check on a clean Debian system (tools/release/check_linux.sh)
  debootstrap
  # the web build (tools/web): emscripten, and headless chromium driven through the
  # DevTools protocol for its tests
  emscripten chromium python3-websocket
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
