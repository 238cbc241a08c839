#!/usr/bin/env bash
# Installs what is missing, builds, generates the demo's data if any file is
# missing, and runs the demo from the repository (the directory that holds Data/).
# Usage: bash tools/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target demo datagen

# datagen writes only what is missing, so a run after the first is quick.
./build/tools/datagen/datagen --missing .

exec ./build/Demo/demo
