#!/usr/bin/env bash
# Makes the demo as viewers get it, under dist/:
#   velmor-demo-windows.zip          demo-32bit.exe and demo-64bit.exe, Data/, the icon
#   velmor-demo-linux-x86_64.tar.gz  one folder with its launcher, the program, its libraries, Data/
#   velmor-demo-web.zip              the static site
#   SHA256SUMS                       the three archives' digests
# each with the viewers' text file (tools/release/velmor-demo.txt). The same commit gives the same
# archives to the byte, wherever and whenever it is built: time stamps come from the commit's
# date, paths are mapped out of the binaries, entries are sorted and modes and owners fixed.
#
# Usage: bash tools/release.sh [--allow-dirty]     (from anywhere; after tools/setup.sh)
#   --allow-dirty  make archives from a work tree with uncommitted changes; their names then
#                  end in -dirty, since no commit describes what is in them
# The builds go to build-dist/ (the Linux program and the staged folders), build-windows/
# (both architectures) and build-web/; the libraries they link come from the machine's cache
# (tools/ports/deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
me=release
# shellcheck source=tools/native_data.sh
source tools/native_data.sh
fail() { echo "$me: $*" >&2; exit 1; }
trap 'echo "$me: stopped: \"$BASH_COMMAND\" failed (line $LINENO)" >&2' ERR

allow_dirty=0
while [ $# -gt 0 ]; do
  case $1 in
    --allow-dirty) allow_dirty=1; shift ;;
    *) echo "usage: bash tools/release.sh [--allow-dirty]" >&2; exit 2 ;;
  esac
done

# Each program the release needs, and the Debian package that brings it.
require() {
  local tool package missing=()
  while [ $# -gt 0 ]; do
    tool=$1 package=$2
    shift 2
    command -v "$tool" > /dev/null || missing+=("$tool (Debian package $package)")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  printf '%s: missing: %s\n' "$me" "${missing[@]}" >&2
  fail "install them (bash tools/setup.sh installs everything the project needs)"
}
require git git cmake cmake ninja ninja-build pkg-config pkg-config dpkg-source dpkg-dev \
  python3 python3 sha256sum coreutils \
  x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix \
  i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix \
  x86_64-w64-mingw32-strip binutils-mingw-w64-x86-64 i686-w64-mingw32-strip binutils-mingw-w64-i686 \
  emcc emscripten strip binutils

git rev-parse --is-inside-work-tree > /dev/null 2>&1 || fail "$repo is not a git clone: a release is made from a commit"
changes=$(git status --porcelain --untracked-files=normal)
suffix=""
if [ -n "$changes" ]; then
  if [ "$allow_dirty" = 0 ]; then
    echo "$me: the work tree has changes that no commit holds:" >&2
    printf '%s\n' "$changes" | head -n 10 | sed 's/^/  /' >&2
    fail "commit them, or pass --allow-dirty for archives named -dirty"
  fi
  suffix=-dirty
  echo "$me: the work tree has uncommitted changes: the archives are named -dirty"
fi


# What the viewers' text file says, and the time stamp of every file in the archives.
version=$(git describe --tags --always)$suffix
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
release_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
stage=$repo/build-dist/stage
dist=$repo/dist
started=$SECONDS
rm -rf "$stage"
mkdir -p "$stage" "$dist"
rm -f "$dist"/velmor-demo-* "$dist/SHA256SUMS"

# The text file with its version and date, into the folder $1.
write_text_file() {
  sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$release_date/" tools/release/velmor-demo.txt \
    > "$1/velmor-demo.txt"
}

# The demo's data, made afresh by the data generator: the configuration, the pictures and the
# module (not the test model, which the program builds but never shows). The generator is built
# in a tree of its own, so that the data does not depend on how a developer's build/ is set up.
make_data() {
  echo "== $me: the data"
  local out=$repo/build-dist/data
  rm -rf "$out"
  mkdir -p "$out/Data"
  cp -r Data/Config "$out/Data/Config"
  native_data -DCMAKE_BUILD_TYPE=Release build-dist/host "$out" > /dev/null
  rm -rf "$out"/terraT* "$out/Data/Logs"
  data=$out/Data
}

windows_zip() {
  local folder=$stage/windows/velmor-demo arch
  mkdir -p "$folder"
  for arch in i686 x86_64; do
    echo "== $me: Windows, $arch"
    bash tools/windows/build.sh "$arch" demo
  done
  i686-w64-mingw32-strip -o "$folder/demo-32bit.exe" build-windows/i686/Demo/demo.exe
  x86_64-w64-mingw32-strip -o "$folder/demo-64bit.exe" build-windows/x86_64/Demo/demo.exe
  cp -r "$data" "$folder/Data"
  cp platform/windows/demo.ico "$folder/velmor-demo.ico"
  write_text_file "$folder"
  python3 tools/release/archive.py "$dist/velmor-demo-windows$suffix.zip" "$folder" --prefix velmor-demo
}

linux_tarball() {
  echo "== $me: Linux"
  local made
  made=$(bash tools/release/linux.sh "$stage/linux" --version "$version" --data "$data" | tail -n 1)
  mv "$made" "$dist/velmor-demo-linux-x86_64$suffix.tar.gz"
}

web_zip() {
  echo "== $me: the web"
  bash tools/web/build.sh
  local folder=$stage/web/velmor-demo-web
  mkdir -p "$folder"
  cp -r build-web/site/. "$folder/"
  write_text_file "$folder"
  python3 tools/release/archive.py "$dist/velmor-demo-web$suffix.zip" "$folder" --prefix velmor-demo-web
}

make_data
windows_zip
linux_tarball
web_zip
(cd "$dist" && sha256sum velmor-demo-* > SHA256SUMS)
echo "== $me: $version in $dist ($((SECONDS - started)) s)"
(cd "$dist" && ls -l velmor-demo-* | awk '{ printf "  %-40s %10d bytes\n", $9, $5 }')
