#!/usr/bin/env bash
# Soak run of demo.exe under Wine: the Windows build on a virtual X server for
# SECONDS with freshly generated data, its resident memory and frame times
# sampled every second from outside by tools/soak/soak_monitor.py, which fails
# the run as for the Linux build (over 1 MB of growth after the warm-up, two
# frames over 250 ms apart, no exit code 0 on Escape). Frames are timed by
# demo.exe's own Present hook; memory is that of demo.exe's process.
# Usage: bash tools/windows/soak.sh SECONDS [WARMUP_SECONDS]   (warm-up: as soak.sh)
# Environment: SOAK_KEEP=1 keeps the working directory with samples.csv.
set -euo pipefail
seconds=${1:?usage: tools/windows/soak.sh SECONDS [WARMUP_SECONDS]}
cd "$(dirname "$0")/../.."
# shellcheck source=SCRIPTDIR/../soak/common.sh
source tools/soak/common.sh
soak_warmup "$@"

bash tools/windows/build.sh x86_64 demo > /dev/null
soak_workdir .
# shellcheck source=SCRIPTDIR/../native_data.sh
source tools/native_data.sh
native_data build "$work" > /dev/null
# shellcheck source=SCRIPTDIR/wine_env.sh
source tools/windows/wine_env.sh
ensure_wine_prefix
demo=$PWD/build-windows/x86_64/Demo/demo.exe
echo "soak: $seconds s of $demo under $("$wine64" --version)"
status=0
xvfb-run -a -s "-screen 0 1024x768x24" \
  python3 tools/soak/soak_monitor.py --wine "$wine64" "$demo" - "$work" "$seconds" "$warmup" || status=$?
# Wine's server lingers a few seconds after its last program: nothing is left running.
"$(dirname "$wine64")/wineserver" -w 2> /dev/null || true
exit "$status"
