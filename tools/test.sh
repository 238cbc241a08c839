#!/usr/bin/env bash
# The project's tests, in two sizes. From anywhere; the builds go below the repository.
#
#   bash tools/test.sh          quick: installs what is missing, builds everything
#                               (./build) and runs the unit, render and end-to-end
#                               tests that are not full-only
#   bash tools/test.sh --full   everything (what CI runs): fuzzes each reader of
#                               outside input, builds the Windows programs
#                               (./build-windows) and the web site (./build-web),
#                               runs every test of ./build, a two-
#                               minute soak, a Release build (./build-release) that
#                               must compile without a warning and its unit tests,
#                               then every test again built with AddressSanitizer and
#                               UndefinedBehaviorSanitizer (./build-sanitize)
#
# Full-only tests: a CTest test that belongs only to --full (too slow for a quick
# answer, or for a platform a developer's machine may not have) says so with a
# label: "full", "windows" or "web", besides its kind (unit, render or e2e), e.g.
#   set_tests_properties(NAME PROPERTIES LABELS "e2e;full")
# `ctest -L full` runs the slow ones alone.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
full_only_labels='^(full|windows|web)$'

case "${1:-}" in
  "") full=0 ;;
  --full) full=1 ;;
  *) echo "usage: bash tools/test.sh [--full]" >&2; exit 2 ;;
esac

bash tools/setup.sh

if [ "$full" = 1 ]; then
  # The Windows, web and Linux release builds' third-party libraries take minutes
  # to compile from a fresh clone, and each fuzz target runs on one core for its
  # minute: the libraries are built beside the fuzz stage, on the other core.
  echo "== the Windows, web and Linux release builds' libraries, beside the fuzz stage (log: build-ports.log)"
  # A process group of its own, so that a failed fuzz stage stops it whole.
  # They are kept in the machine's cache outside the clone: on a machine that built them before,
  # this only checks them.
  setsid bash -c 'bash tools/ports/deps.sh windows-x86_64 && bash tools/ports/deps.sh web &&
                  bash tools/ports/deps.sh linux-x86_64' \
    >build-ports.log 2>&1 &
  ports=$!
  trap 'kill -- "-$ports" 2>/dev/null || true' EXIT
  echo "== fuzz every reader for 60 s (clang, libFuzzer, ASan+UBSan; tree build-fuzz)"
  bash tools/fuzz/run.sh 60
  wait "$ports" || { tail -n 40 build-ports.log; echo "== the libraries failed to build (build-ports.log)"; exit 1; }
  trap - EXIT
fi

if [ "$full" = 1 ]; then
  # Before the tests of ./build, whose windows-labelled ones run these programs
  # under Wine. The first build cross-compiles the third-party libraries too.
  echo "== the Windows build (mingw-w64, the real Win32 and Direct3D 8; tree build-windows)"
  bash tools/windows/build.sh x86_64
  # Likewise the web site, which the web-labelled tests load in headless chromium.
  echo "== the web build (emscripten, WebGL2, Web Audio; tree build-web)"
  bash tools/web/build.sh
fi

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
if [ "$full" = 0 ]; then
  (cd build && ctest --output-on-failure -j"$jobs" -LE "$full_only_labels")
  echo "== quick tests passed. Not run: the full-only tests (ctest -L full in build), the fuzz"
  echo "   stage, the soak, the Release build and the sanitizer build. All of them:"
  echo "   bash tools/test.sh --full"
  exit 0
fi
(cd build && ctest --output-on-failure -j"$jobs")

echo "== soak: two minutes of the demo under Xvfb"
bash tools/soak/soak.sh 120

# -O3 finds what RelWithDebInfo's -O2 does not: the optimiser's own warnings, and
# code whose meaning depends on it. The unit tests are enough to run here.
echo "== Release build, warnings as errors, and its unit tests"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDEMO_WERROR=ON
cmake --build build-release -j"$jobs"
(cd build-release && ctest --output-on-failure -j"$jobs" -L '^unit$')

echo "== build and test with sanitizers"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_SANITIZE=ON
cmake --build build-sanitize -j"$jobs"
# Leak checking stays off: the system's OpenGL and SDL libraries are unloaded
# before exit and leave leaks that cannot be attributed or suppressed by name.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The Windows and web builds are compared with ./build's already, and the Linux
# release is built apart from either tree: running them again from the sanitizer
# tree would only take longer.
(cd build-sanitize && ctest --output-on-failure -j"$jobs" -LE '^(windows|web|release)$')
