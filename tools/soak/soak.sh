#!/usr/bin/env bash
# Soak run: the real demo under a virtual X server for SECONDS, its resident memory
# and frame times sampled every second from outside (soak_monitor.py says how, and
# what fails the run). Usage:
#   bash tools/soak/soak.sh SECONDS [WARMUP_SECONDS]
# Environment: BUILD_DIR (default ./build, which must hold demo, datagen and
# present_timer.so), SOAK_KEEP=1 keeps the working directory with samples.csv.
#
# Warm-up: by default 70 s, one whole pass of the schedule (the last effect begins
# at 52 s) plus margin. Runs shorter than 180 s use 60 s, so that a two-minute run
# still judges a whole minute: by then every effect has drawn its first frames
# (memory settles when the closing picture starts at 42 s; the greetings from
# 52 s on add nothing).
set -euo pipefail
seconds=${1:?usage: soak.sh SECONDS [WARMUP_SECONDS]}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$(cd "${BUILD_DIR:-$source_dir/build}" && pwd)
# shellcheck source=SCRIPTDIR/common.sh
source "$source_dir/tools/soak/common.sh"
soak_warmup "$@"

demo="$build_dir/Demo/demo"
datagen="$build_dir/tools/datagen/datagen"
timer="$build_dir/tools/soak/present_timer.so"
for file in "$demo" "$datagen" "$timer"; do
  [ -e "$file" ] || { echo "soak: $file is missing: build first"; exit 2; }
done

soak_workdir "$source_dir"
"$datagen" "$work" >/dev/null

# The sound goes nowhere, but it is mixed as usual; a sanitized demo needs its
# runtime first among the preloaded libraries.
export SDL_AUDIODRIVER=dummy
SOAK_ASAN_RUNTIME=$(ldd "$demo" | awk '/libasan/ {print $3}')
export SOAK_ASAN_RUNTIME
echo "soak: $seconds s of $demo"
xvfb-run -a -s "-screen 0 1024x768x24" \
  python3 "$source_dir/tools/soak/soak_monitor.py" "$demo" "$timer" "$work" "$seconds" "$warmup"
