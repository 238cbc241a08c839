#!/usr/bin/env bash
# The project's tests, in two sizes. From anywhere; the builds go below the repository.
#
#   bash tools/test.sh          quick: installs what is missing, builds everything
#                               (./build) and runs the unit, render and end-to-end
#                               tests that are not full-only
#   bash tools/test.sh --full   everything (what CI runs): fuzzes each reader of
#                               outside input, runs every test of ./build but the
#                               slow bad-data groups, builds what the run command
#                               builds (./build-run), a two-minute soak, a Release
#                               build (./build-release) that must compile without a
#                               warning and its unit tests, every test but the
#                               Windows, web and release ones again built with
#                               AddressSanitizer and UndefinedBehaviorSanitizer
#                               (./build-sanitize), the bad-data groups among them,
#                               and last the Windows, web and release tests, on the
#                               Windows programs (./build-windows) and the web site
#                               (./build-web) built in the background meanwhile
#
# Full-only tests: a CTest test that belongs only to --full (too slow for a quick
# answer, or for a platform a developer's machine may not have) says so with a
# label: "full", "windows", "web" or "release", besides its kind (unit, render or e2e), e.g.
#   set_tests_properties(NAME PROPERTIES LABELS "e2e;full")
# `ctest -L full` runs the slow ones alone.
#
# Tests that read the real-world files outside the repository (DEMO_FIXTURES_DIR, or
# ../shared/fixtures beside it) skip where they are missing, or fail when CI is set.
# Both commands end by saying how many tests were skipped and why.
set -euo pipefail
# A folder given relative to where the command was typed, before moving from there.
if [ -n "${DEMO_FIXTURES_DIR:-}" ]; then
  DEMO_FIXTURES_DIR=$(realpath -ms -- "$DEMO_FIXTURES_DIR")
  export DEMO_FIXTURES_DIR
fi
cd "$(dirname "$0")/.."
jobs=$(nproc)
full_only_labels='^(full|windows|web|release)$'

# ctest in the build tree $1 with the rest as its arguments. ctest lists skipped
# tests without their reasons; each run's results are kept for report_skips.
results=()
run_ctest() {
  # A file of its own for each run: --full runs ctest in ./build twice.
  local tree=$1 status=0 junit=Testing/results-${#results[@]}.xml
  shift
  rm -f "$tree/$junit"
  (cd "$tree" && ctest --output-on-failure -j"$jobs" --output-junit "$junit" "$@") ||
    status=$?
  results+=("$tree/$junit")
  if [ "$status" != 0 ]; then
    report_skips
    exit "$status"
  fi
}
report_skips() { python3 tools/skipped_tests.py "${results[@]}"; }
# A stage's heading, with the time since the command began (to see where the time goes).
stage() { printf '== %s (at %d:%02d)\n' "$1" $((SECONDS / 60)) $((SECONDS % 60)); }

case "${1:-}" in
  "") full=0 ;;
  --full) full=1 ;;
  *) echo "usage: bash tools/test.sh [--full]" >&2; exit 2 ;;
esac

bash tools/setup.sh

if [ "$full" = 1 ]; then
  # Each fuzz target runs on one core for its minute. Beside it, and beside every
  # stage after it up to the tests that need them: the third-party libraries
  # (minutes to compile from a fresh clone, only checked on a machine that built
  # them before: they are kept in its cache outside the clone), first the
  # instrumented libopenmpt the music target links (the fuzz stage runs that target
  # last, and waits for it there if it is not made yet); then, at the lowest
  # priority, so that they take only the time the stages leave idle and the timed
  # tests keep theirs, the other targets' libraries, the Windows programs
  # (./build-windows), whose tests run under Wine, and the web site (./build-web),
  # which the web tests load in headless chromium.
  echo "== the libraries, the Windows and the web builds, in the background (log: build-ports.log)"
  # A process group of its own, so that a failed stage stops it whole.
  setsid bash -c 'started=$SECONDS
                  bash tools/ports/deps.sh linux-fuzz || exit 1
                  renice -n 19 -p $$ > /dev/null
                  for target in windows-x86_64 web windows-i686 linux-x86_64; do
                    bash tools/ports/deps.sh "$target" || exit 1
                  done
                  echo "== the Windows build (mingw-w64, the real Win32 and Direct3D 8)"
                  bash tools/windows/build.sh x86_64 || exit 1
                  echo "== the web build (emscripten, WebGL2, Web Audio)"
                  bash tools/web/build.sh || exit 1
                  echo "took $((SECONDS - started)) s"' >build-ports.log 2>&1 &
  ports=$!
  trap 'kill -- "-$ports" 2>/dev/null || true' EXIT
  stage "fuzz every reader for 60 s (clang, libFuzzer, ASan+UBSan; tree build-fuzz)"
  bash tools/fuzz/run.sh 60
fi

stage "build and test"
# Under the lock native_data takes (tools/native_data.sh): with --full the web
# build, in the background, builds the data generator in the same tree.
mkdir -p build
{
  flock 9
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build -j"$jobs"
} 9> build/.build.lock
if [ "$full" = 0 ]; then
  run_ctest build -LE "$full_only_labels"
  echo "== quick tests passed. Not run: the full-only tests (ctest -L full in build), the fuzz"
  echo "   stage, the soak, the Release build and the sanitizer build. All of them:"
  echo "   bash tools/test.sh --full"
  report_skips
  exit 0
fi
# The Windows, web and release tests wait for the libraries, at the end. The slow
# bad-data groups (label "full") run once, in the sanitizer tree below, where the
# same cases are also checked for memory errors.
run_ctest build -LE "$full_only_labels"

# The run command builds in a way no other tree does (a unity build): a name that
# two sources of a library both define file-locally would break it alone.
stage "the run command's build (tools/run.sh --build-only; tree build-run)"
bash tools/run.sh --build-only

stage "soak: two minutes of the demo under Xvfb"
bash tools/soak/soak.sh 120

# -O3 finds what RelWithDebInfo's -O2 does not: the optimiser's own warnings, and
# code whose meaning depends on it. The unit tests are enough to run here.
stage "Release build, warnings as errors, and its unit tests"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEMO_WERROR=ON
cmake --build build-release -j"$jobs"
run_ctest build-release -L '^unit$'

stage "build and test with sanitizers"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_SANITIZE=ON
cmake --build build-sanitize -j"$jobs"
# Leak checking stays off: the system's OpenGL and SDL libraries are unloaded
# before exit and leave leaks that cannot be attributed or suppressed by name.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The Windows and web builds are compared with ./build's already, and the release
# archives checked: the same from the sanitizer tree would only take longer. The
# bad-data groups run here only.
run_ctest build-sanitize -LE '^(windows|web|release)$'

stage "the libraries, the Windows and the web builds (waiting for them)"
wait "$ports" || { tail -n 40 build-ports.log; echo "== the libraries, the Windows or the web build failed (build-ports.log)"; exit 1; }
trap - EXIT
stage "the Windows, web and release tests ($(tail -n 1 build-ports.log) in the background)"
run_ctest build -L '^(windows|web|release)$'
stage "every stage passed"
report_skips
