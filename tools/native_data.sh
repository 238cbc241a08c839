# shellcheck shell=bash
# The native build's programs and the demo's data, for the scripts that need them
# (the run command, the Windows and web builds, the comparisons with Wine, the
# release). Sourced, it defines one function:
#
#   native_data [-DNAME=VALUE...] TREE DATA_DIR [TARGET...]
#
# brings the build tree TREE up to date for datagen and each TARGET, then writes
# below DATA_DIR the data files it lacks (all of them into an empty folder;
# Data/Config/direct3d.cfg is never written, it is kept in the repository).
# A tree that is not configured yet is configured first, as a RelWithDebInfo
# build of this repository or as the -D options say; one that is keeps its
# settings (ninja configures it again itself when the CMake files change), so a
# Release tree given here stays one. The build's progress and datagen's lines
# ("wrote ...", "kept ...") go to stdout. On a failure it says which step failed
# and returns 1, so that the caller's own error trap names the call.
native_data_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

native_data() {
  local configure=() tree data_dir
  while [[ ${1:-} == -D* ]]; do
    configure+=("$1")
    shift
  done
  if [ $# -lt 2 ]; then
    echo "usage: native_data [-DNAME=VALUE...] TREE DATA_DIR [TARGET...]" >&2
    return 2
  fi
  tree=$1 data_dir=$2
  shift 2
  [ ${#configure[@]} -gt 0 ] || configure=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)

  # One build of a tree at a time: the full test command builds ./build while the
  # web build, in the background, takes its data generator from there.
  mkdir -p "$tree"
  {
    flock 9
    if [ ! -f "$tree/build.ninja" ]; then
      cmake -S "$native_data_repo" -B "$tree" -G Ninja "${configure[@]}" > /dev/null ||
        { echo "native_data: configuring $tree failed" >&2; return 1; }
    fi
    cmake --build "$tree" -j"$(nproc)" --target datagen "$@" ||
      { echo "native_data: building datagen $* in $tree failed" >&2; return 1; }
  } 9> "$tree/.build.lock"
  "$tree/tools/datagen/datagen" --missing "$data_dir" ||
    { echo "native_data: datagen could not write the data below $data_dir" >&2; return 1; }
}
