#!/usr/bin/env bash
# Installs what is missing, builds, generates the demo's data if any file is
# missing, and runs the demo from the repository (the directory that holds Data/).
# Usage: bash tools/run.sh [--build-only]
#   --build-only  stop before running the demo (tools/test.sh --full checks with it
#                 that this build still compiles)
#
# The demo and the data generator are built in a tree of their own, build-run/,
# for a first run as quick as can be: the same optimisation as build/ (-O2) but
# no debug information, which changes no instruction, and a unity build (the
# sources of each library compiled eight at a time, as one unit), which together
# take two fifths of the processor time of build/'s. build/ stays the developers'
# tree (tools/test.sh). datagen writes only what is missing, so a run after the
# first starts at once.
set -euo pipefail
cd "$(dirname "$0")/.."
build_only=0
case "${1:-}" in
  "") ;;
  --build-only) build_only=1 ;;
  *) echo "usage: bash tools/run.sh [--build-only]" >&2; exit 2 ;;
esac

bash tools/setup.sh
# shellcheck source=tools/native_data.sh
source tools/native_data.sh
native_data -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON \
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" \
  build-run . demo

[ "$build_only" = 0 ] || exit 0
exec ./build-run/Demo/demo
