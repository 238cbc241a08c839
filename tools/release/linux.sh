#!/usr/bin/env bash
# Makes the Linux release: OUT_DIR/velmor-demo-linux-x86_64.tar.gz, one folder velmor-demo/ with
#   velmor-demo          the launcher (tools/release/linux_launcher.sh)
#   bin/velmor-demo      the program, stripped: the pictures', music and SDL2 libraries and the
#                        C++ runtime linked in (tools/ports/deps.sh linux-x86_64)
#   lib/libepoxy.so.0    the build machine's libepoxy, found through the program's RUNPATH
#   Data/                Config/direct3d.cfg, and Textures/ and Music/ as datagen writes them
#   velmor-demo.txt      the viewers' text, with the version and the commit's date
# The same commit gives the same bytes from any clone, in any directory, at any time: every
# time stamp is the commit's, and Release builds map the trees' paths out of the program.
#
# Usage: tools/release/linux.sh OUT_DIR [--version TEXT] [--data DIR]
#   --version  the version the text file names (default: git describe --always --dirty)
#   --data     a Data/ folder with the generated Textures/ and Music/ to take (default: made
#              here by datagen)
# Build trees: build-dist/linux (the program), build-dist/host (datagen), build-dist/linux-folder
# (the folder as packed). Prints the archive's path on the last line of stdout.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
archive_name=velmor-demo-linux-x86_64.tar.gz
fail() { echo "linux.sh: $*" >&2; exit 1; }

out_dir="" version="" given_data=""
while [ $# -gt 0 ]; do
  case $1 in
    --version) [ $# -ge 2 ] || fail "--version needs a value"; version=$2; shift 2 ;;
    --data) [ $# -ge 2 ] || fail "--data needs a value"; given_data=$(realpath "$2"); shift 2 ;;
    -*) fail "unknown option '$1' (usage: linux.sh OUT_DIR [--version TEXT] [--data DIR])" ;;
    *) [ -z "$out_dir" ] || fail "one OUT_DIR only"; out_dir=$1; shift ;;
  esac
done
[ -n "$out_dir" ] || fail "usage: linux.sh OUT_DIR [--version TEXT]"
mkdir -p "$out_dir"
out_dir=$(cd "$out_dir" && pwd)

cd "$repo"
# shellcheck source=tools/native_data.sh
source tools/native_data.sh
[ -n "$version" ] || version=$(git describe --always --dirty)
[[ $version =~ ^[A-Za-z0-9._+-]+$ ]] || fail "the version '$version' is not letters, digits and ._+-"
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
release_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
jobs=$(nproc)

program_tree=$repo/build-dist/linux
host_tree=$repo/build-dist/host
folder=$repo/build-dist/linux-folder/velmor-demo

# Libraries a release may ask the system for: the C library's parts, and what every desktop has
# (X11 and Wayland clients, the OpenGL and EGL driver stack, ALSA). The rest travels inside.
allowed_needed='^(libc\.so\.6|libm\.so\.6|libdl\.so\.2|libpthread\.so\.0|librt\.so\.1|ld-linux-x86-64\.so\.2|libepoxy\.so\.0|libX[a-z0-9]*\.so\.[0-9]+|libxcb[a-z0-9-]*\.so\.[0-9]+|libxkbcommon\.so\.0|libwayland-[a-z]+\.so\.0|libdecor-0\.so\.0|lib(GL|GLX|EGL|OpenGL|GLdispatch)\.so\.[0-9]+|libasound\.so\.2)$'

build_program() {
  local prefix
  bash tools/ports/deps.sh linux-x86_64 >&2
  prefix=$(bash tools/ports/deps.sh linux-x86_64 --print-prefix)
  cmake -S . -B "$program_tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEMO_BUNDLED_LIBS="$prefix" >&2
  cmake --build "$program_tree" --target demo -j"$jobs" >&2
}

# Fails unless every library FILE names is one a desktop has.
check_needed() {
  local file=$1 name
  for name in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
    [[ $name =~ $allowed_needed ]] || fail "$(basename "$file") needs $name, which is not on every desktop"
  done
}

# The library the program loads as libepoxy.so.0 on this machine, by the loader's own search.
system_libepoxy() {
  local path
  path=$(ldd "$program_tree/Demo/demo" | awk '$1 == "libepoxy.so.0" { print $3 }')
  [ -f "$path" ] || fail "libepoxy.so.0 not found on this machine"
  echo "$path"
}

assemble_folder() {
  local data
  rm -rf "$(dirname "$folder")"
  mkdir -p "$folder/bin" "$folder/lib" "$folder/Data/Config"
  install -m 0755 "$here/linux_launcher.sh" "$folder/velmor-demo"
  strip --strip-all -o "$folder/bin/velmor-demo" "$program_tree/Demo/demo"
  install -m 0644 "$(system_libepoxy)" "$folder/lib/libepoxy.so.0"
  install -m 0644 Data/Config/direct3d.cfg "$folder/Data/Config/"
  if [ -n "$given_data" ]; then
    cp -r "$given_data/Textures" "$given_data/Music" "$folder/Data/"
  else
    # datagen runs on the build machine only: the ordinary build, with the system's libraries.
    data=$(mktemp -d)
    native_data -DCMAKE_BUILD_TYPE=Release "$host_tree" "$data" >&2
    cp -r "$data/Data/Textures" "$data/Data/Music" "$folder/Data/"
    rm -rf "$data"
  fi
  sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$release_date/" tools/release/velmor-demo.txt \
    > "$folder/velmor-demo.txt"
  check_needed "$folder/bin/velmor-demo"
  check_needed "$folder/lib/libepoxy.so.0"
}

# The newest glibc symbol version the program binds to: the oldest C library it runs on.
glibc_needed() {
  objdump -T "$1" | grep -o 'GLIBC_[0-9.]*' | sort -Vu | tail -n 1 | sed 's/GLIBC_//'
}

build_program
assemble_folder
python3 "$here/archive.py" "$out_dir/$archive_name" "$folder" --prefix velmor-demo \
  --mtime "$SOURCE_DATE_EPOCH"

echo "linux.sh: version $version ($release_date), $(stat -c %s "$out_dir/$archive_name") bytes," \
     "sha256 $(sha256sum "$out_dir/$archive_name" | cut -c1-16), needs glibc $(glibc_needed "$folder/bin/velmor-demo")" >&2
echo "$out_dir/$archive_name"
