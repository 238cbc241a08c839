#!/usr/bin/env bash
# Installs what is missing, builds, generates the demo's data if any file is
# missing, and runs the demo from the repository (the directory that holds Data/).
# Usage: bash tools/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
# shellcheck source=tools/native_data.sh
source tools/native_data.sh
# datagen writes only what is missing, so a run after the first is quick.
native_data build . demo

exec ./build/Demo/demo
