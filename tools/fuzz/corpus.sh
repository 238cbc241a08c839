#!/usr/bin/env bash
# Builds the seed corpora of the fuzz targets under BUILD_DIR/fuzz-seeds/<target>/
# from three sources:
#   - the real-world files in the fixtures folder (DEMO_FIXTURES_DIR, by default
#     ../shared/fixtures beside the repository, as the tests find it);
#   - the data the program ships with: the settings file in the repository and
#     what the data generator writes (run once into BUILD_DIR/fuzz-data);
#   - the hand-made seeds fuzz_seeds writes (a skeleton with keys, odd settings).
# Usage: tools/fuzz/corpus.sh BUILD_DIR   (the fuzz tree, with datagen and fuzz_seeds built)
# The seed folders are made afresh each time; the corpora the fuzzers grow are
# kept apart (BUILD_DIR/fuzz-corpus), so seeds never mix with what was found.
set -euo pipefail

build=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/../.." && pwd)
fixtures=${DEMO_FIXTURES_DIR:-$repo/../shared/fixtures}
seeds=$build/fuzz-seeds
data=$build/fuzz-data

# The generated data, once per tree: the generator is deterministic.
if [ ! -f "$data/.complete" ]; then
  rm -rf "$data"
  "$build/tools/datagen/datagen" "$data" >/dev/null
  touch "$data/.complete"
fi

rm -rf "$seeds"
mkdir -p "$seeds"/{model,config,image,music}
"$build/tools/fuzz/fuzz_seeds" "$build/fuzz-handmade" >/dev/null

# Copies every existing file that matches into a target's seed folder, each under
# its source's name so duplicates from different sources stay apart.
add() {
  local target=$1 prefix=$2
  shift 2
  local file
  for file in "$@"; do
    [ -f "$file" ] && cp "$file" "$seeds/$target/${prefix}__$(basename "$file")"
  done
  return 0
}

if [ -d "$fixtures" ]; then
  add model fixture "$fixtures"/ms3d/*.ms3d
  add image fixture "$fixtures"/images/jpeg/* "$fixtures"/images/png/* "$fixtures"/images/bmp/* \
    "$fixtures"/ms3d/*.jpg
  add music fixture "$fixtures"/xm/*
else
  echo "corpus: no fixtures at $fixtures; seeding from generated and hand-made files only" >&2
fi
add model generated "$data"/*.ms3d
add image generated "$data"/Data/Textures/* "$data"/*.jpg
add music generated "$data"/Data/Music/*
add config repo "$repo"/Data/Config/*.cfg
add model handmade "$build"/fuzz-handmade/model/*
add config handmade "$build"/fuzz-handmade/config/*

for target in model config image music; do
  echo "corpus: $target: $(find "$seeds/$target" -type f | wc -l) seeds"
done
